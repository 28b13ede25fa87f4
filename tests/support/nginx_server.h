#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class QProcess;

// An nginx from the system, started on a free port of 127.0.0.1 with a
// temporary configuration and temporary folders for its pid, logs and temp
// files, serving the files put into Root(). Stopped when destroyed. Used by
// the tests and the benchmarks that need a real HTTP server.
class NginxServer
{
public:
    NginxServer();
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    // Starts nginx and waits (bounded) until it accepts connections. False
    // when it cannot run here; Error() then says why.
    bool Start();
    void Stop();
    QString Error() const { return m_error; }

    // The folder served as "/".
    QString Root() const;
    // "http://127.0.0.1:" + port
    QByteArray BaseUrl() const;

private:
    bool StartOn(const QString& nginx, quint16 port);

    QTemporaryDir m_dir;
    QProcess* m_process = nullptr;
    quint16 m_port = 0;
    QString m_error;
};
