#include "tests/support/nginx_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

quint16 FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

// Workers of an nginx started by root run as another user: they must be
// able to read the served files.
void OpenUp(const QString& path)
{
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                    QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                    QFileDevice::ExeOther);
}

} // namespace

NginxServer::NginxServer() = default;

NginxServer::~NginxServer()
{
    Stop();
}

QString NginxServer::Root() const
{
    return m_dir.filePath("www");
}

QByteArray NginxServer::BaseUrl() const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port);
}

bool NginxServer::Start()
{
    Stop();
    if (!m_dir.isValid()) {
        m_error = "cannot create a temporary folder for nginx";
        return false;
    }
    QString nginx = QStandardPaths::findExecutable("nginx");
    if (nginx.isEmpty())
        nginx = QStandardPaths::findExecutable("nginx", {"/usr/sbin", "/usr/local/sbin"});
    if (nginx.isEmpty()) {
        m_error = "nginx is not installed (Debian package nginx-light)";
        return false;
    }
    QDir dir(m_dir.path());
    for (const char* sub : {"www", "logs", "tmp"})
        dir.mkpath(sub);
    OpenUp(m_dir.path());
    OpenUp(Root());
    // A port found free may be taken before nginx binds it: try a few.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const quint16 port = FreePort();
        if (port != 0 && StartOn(nginx, port))
            return true;
    }
    return false;
}

bool NginxServer::StartOn(const QString& nginx, quint16 port)
{
    const QString work = m_dir.path();
    const QString conf = work + "/nginx.conf";
    QFile file(conf);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = "cannot write " + conf;
        return false;
    }
    const QByteArray w = work.toLocal8Bit();
    file.write("worker_processes 1;\n"
               "daemon off;\n"
               "pid " +
               w +
               "/nginx.pid;\n"
               "error_log " +
               w +
               "/logs/error.log;\n"
               "events { worker_connections 256; }\n"
               "http {\n"
               "    access_log off;\n"
               "    sendfile on;\n"
               "    tcp_nopush on;\n"
               "    client_body_temp_path " +
               w +
               "/tmp/body;\n"
               "    proxy_temp_path " +
               w +
               "/tmp/proxy;\n"
               "    fastcgi_temp_path " +
               w +
               "/tmp/fastcgi;\n"
               "    uwsgi_temp_path " +
               w +
               "/tmp/uwsgi;\n"
               "    scgi_temp_path " +
               w +
               "/tmp/scgi;\n"
               "    server {\n"
               "        listen 127.0.0.1:" +
               QByteArray::number(port) +
               ";\n"
               "        root " +
               w +
               "/www;\n"
               "    }\n"
               "}\n");
    file.close();

    m_process = new QProcess;
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(nginx, {"-p", work, "-c", conf, "-e", work + "/logs/error.log"});
    if (!m_process->waitForStarted(5000)) {
        m_error = "nginx does not start: " + m_process->errorString();
        Stop();
        return false;
    }
    m_port = port;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (m_process->state() != QProcess::Running)
            break;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    QFile log(work + "/logs/error.log");
    log.open(QIODevice::ReadOnly);
    m_error = "nginx does not accept connections: " +
              QString::fromLocal8Bit(m_process->readAll() + log.readAll()).trimmed();
    Stop();
    return false;
}

void NginxServer::Stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    delete m_process;
    m_process = nullptr;
    m_port = 0;
}
