#include "tests/support/service_process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpSocket>

#include <csignal>
#include <sys/prctl.h>

bool ServiceProcess::Start(const QString& dataDir, const QString& skinsDir, int records,
                           bool accessLog, quint16 port)
{
    QStringList arguments{
        "--port",    QString::number(port),   "--data", dataDir, "--skins", skinsDir,
        "--records", QString::number(records)};
    if (accessLog)
        arguments << "--access-log";
    process_.setProgram(program_);
    process_.setArguments(arguments);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Should the test die, the service goes with it.
    process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_.start();
    if (!process_.waitForStarted(10000))
        return false;
    // The service prints its address once it listens.
    static const QRegularExpression listening("listening on http://127\\.0\\.0\\.1:(\\d+)/\n");
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000 && process_.state() == QProcess::Running) {
        process_.waitForReadyRead(500);
        output_ += process_.readAllStandardOutput();
        QRegularExpressionMatch match = listening.match(QString::fromUtf8(output_));
        if (match.hasMatch()) {
            port_ = match.captured(1).toUShort();
            output_ = output_.mid(output_.indexOf("/\n") + 2);
            return port_ != 0;
        }
    }
    return false;
}

bool ServiceProcess::Stop()
{
    if (process_.state() == QProcess::NotRunning)
        return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
        return false;
    }
    return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

QString ServiceProcess::BaseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(port_);
}

qint64 ServiceProcess::PeakMemoryKiB() const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process_.processId()));
    if (!Running() || !status.open(QIODevice::ReadOnly))
        return 0;
    static const QRegularExpression peak("VmHWM:\\s*(\\d+) kB");
    return peak.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
}

QStringList ServiceProcess::AccessLog()
{
    output_ += process_.readAllStandardOutput();
    QStringList lines = QString::fromUtf8(output_).split('\n');
    lines.removeLast(); // an unfinished line, or nothing
    return lines;
}

ServiceReply ServiceProcess::Exchange(const QByteArray& request) const
{
    ServiceReply reply;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port_);
    if (!socket.waitForConnected(5000))
        return reply;
    socket.write(request);
    QByteArray data;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000 && socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(200);
        data += socket.readAll();
    }
    data += socket.readAll();

    int headerEnd = data.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return reply;
    QList<QByteArray> lines = data.left(headerEnd).split('\n');
    QList<QByteArray> statusLine = lines.takeFirst().trimmed().split(' ');
    if (statusLine.size() < 2 || !statusLine[0].startsWith("HTTP/1."))
        return reply;
    reply.status = statusLine[1].toInt();
    for (const QByteArray& line : lines) {
        int colon = line.indexOf(':');
        if (colon > 0)
            reply.headers.insert(line.left(colon).trimmed().toLower(),
                                 line.mid(colon + 1).trimmed());
    }
    reply.body = data.mid(headerEnd + 4);
    bool hasLength = false;
    qint64 length = reply.headers.value("content-length").toLongLong(&hasLength);
    reply.complete = hasLength && length == reply.body.size();
    return reply;
}

ServiceReply ServiceProcess::Post(const QByteArray& path, const QByteArray& body) const
{
    QByteArray request = "POST " + path +
                         " HTTP/1.0\r\n"
                         "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
                         "Content-Type: application/x-www-form-urlencoded\r\n"
                         "User-Agent: vexa-client-http\r\n"
                         "Host: 127.0.0.1:" +
                         QByteArray::number(port_) +
                         "\r\n"
                         "Content-Length: " +
                         QByteArray::number(body.size()) + "\r\n\r\n" + body;
    return Exchange(request);
}

ServiceReply ServiceProcess::Get(const QByteArray& target, const QByteArray& extraHeaders) const
{
    return Exchange("GET " + target +
                    " HTTP/1.0\r\n"
                    "User-Agent: Mozilla/4.0 (compatible; VexaHttp)\r\n"
                    "Host: 127.0.0.1:" +
                    QByteArray::number(port_) + "\r\n" + extraHeaders + "\r\n");
}
