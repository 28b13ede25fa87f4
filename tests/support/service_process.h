#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

// An HTTP reply as read off the socket.
struct ServiceReply
{
    bool complete = false; // status line, header and a body matching Content-Length
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// One real lumo-service process on a loopback port of its own choosing,
// with its data and skins in folders of the test's choosing. It goes with
// the test: stopped when this object goes, killed when the test dies.
class ServiceProcess
{
public:
    // `program`: the lumo-service executable.
    explicit ServiceProcess(const QString& program) : program_(program) {}
    ~ServiceProcess() { Stop(); }

    // Starts with a catalogue of `records` files (made on the first start
    // in `dataDir`) and waits until the service listens, on `port` or on a
    // free one. With `accessLog` the service prints a line for every
    // request (see AccessLog).
    bool Start(const QString& dataDir, const QString& skinsDir, int records, bool accessLog = false,
               quint16 port = 0);
    // Stops with SIGTERM; true when the service ended cleanly.
    bool Stop();

    bool Running() const { return process_.state() == QProcess::Running; }
    quint16 Port() const { return port_; }
    // "http://127.0.0.1:<port>/"
    QString BaseUrl() const;

    // The most memory the service has held so far (VmHWM), in KiB; 0 when
    // it does not run.
    qint64 PeakMemoryKiB() const;

    // The request lines printed so far, as "GET /vexa-1 200".
    QStringList AccessLog();

    // Sends raw request bytes and reads the reply up to the close.
    ServiceReply Exchange(const QByteArray& request) const;
    // A form POST exactly as the client sends it.
    ServiceReply Post(const QByteArray& path, const QByteArray& body) const;
    ServiceReply Get(const QByteArray& target, const QByteArray& extraHeaders = {}) const;

private:
    QString program_;
    QProcess process_;
    quint16 port_ = 0;
    QByteArray output_; // standard output after the listening line
};
