#include "app/service_launcher.h"

#include "platform/child_process.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {

// A loopback port takes a connection at once or refuses it; one that does
// neither is held by something that is there but stalled.
constexpr int kProbeTimeoutMs = 3000;
// A first start builds the catalogue before the service listens.
constexpr int kReadyTimeoutMs = 60000;
constexpr int kStopTimeoutMs = 5000;
// Only the service's last lines matter.
constexpr qsizetype kOutputLimit = 4096;

bool IsLoopback(const QString& host)
{
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           QHostAddress(host).isLoopback();
}

} // namespace

TServiceLauncher::TServiceLauncher(const QString& program, const QString& dataFolder,
                                   const QString& skinFolder, QObject* parent)
    : QObject(parent), m_program(program), m_dataFolder(dataFolder), m_skinFolder(skinFolder)
{
    m_probeTimer.setSingleShot(true);
    m_probeTimer.setInterval(kProbeTimeoutMs);
    connect(&m_probeTimer, &QTimer::timeout, this, [this] { ProbeDone(true); });
    m_readyTimer.setSingleShot(true);
    m_readyTimer.setInterval(kReadyTimeoutMs);
    connect(&m_readyTimer, &QTimer::timeout, this, [this] {
        Fail(QStringLiteral("本地搜索服务在 %1 秒内没有就绪，已停止").arg(kReadyTimeoutMs / 1000));
        m_service.kill();
    });
    m_service.setProcessChannelMode(QProcess::MergedChannels);
    EndWithParent(m_service);
    connect(&m_service, &QProcess::readyRead, this, &TServiceLauncher::ReadServiceOutput);
    connect(&m_service, &QProcess::finished, this, &TServiceLauncher::ServiceEnded);
    connect(&m_service, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            Fail(QStringLiteral("本地搜索服务无法启动：%1").arg(m_service.errorString()));
    });
}

TServiceLauncher::~TServiceLauncher()
{
    // The client is ending: nothing is reported any more.
    disconnect(&m_service, nullptr, this, nullptr);
    if (m_service.state() == QProcess::NotRunning)
        return;
    m_service.terminate();
    if (!m_service.waitForFinished(kStopTimeoutMs)) {
        m_service.kill();
        m_service.waitForFinished(kStopTimeoutMs);
    }
}

void TServiceLauncher::Start(const QUrl& baseUrl)
{
    if (m_state != TState::Idle)
        return;
    m_baseUrl = baseUrl;
    if (!IsLoopback(baseUrl.host())) {
        m_state = TState::Done;
        emit Settled();
        return;
    }
    m_state = TState::Probing;
    m_probe = new QTcpSocket(this);
    connect(m_probe, &QTcpSocket::connected, this, [this] { ProbeDone(true); });
    connect(m_probe, &QTcpSocket::errorOccurred, this, [this] { ProbeDone(false); });
    m_probeTimer.start();
    m_probe->connectToHost(baseUrl.host(), quint16(baseUrl.port(80)));
}

void TServiceLauncher::ProbeDone(bool answered)
{
    if (m_state != TState::Probing)
        return;
    m_probeTimer.stop();
    m_probe->disconnect(this);
    m_probe->abort();
    m_probe->deleteLater();
    m_probe = nullptr;
    if (answered) {
        m_state = TState::Done;
        emit Settled();
    } else {
        StartService();
    }
}

void TServiceLauncher::StartService()
{
    m_state = TState::Starting;
    emit StatusText(QStringLiteral("正在启动本地搜索服务…"));
    m_service.setProgram(m_program);
    m_service.setArguments({QStringLiteral("--host"), m_baseUrl.host(), QStringLiteral("--port"),
                            QString::number(m_baseUrl.port(80)), QStringLiteral("--data"),
                            m_dataFolder, QStringLiteral("--skins"), m_skinFolder});
    m_readyTimer.start();
    m_service.start(QIODevice::ReadOnly);
}

void TServiceLauncher::ReadServiceOutput()
{
    m_output += m_service.readAll();
    if (m_state == TState::Starting && m_output.contains("listening on")) {
        m_state = TState::Running;
        m_readyTimer.stop();
        emit StatusText(QString());
        emit Settled();
    }
    if (m_output.size() > kOutputLimit)
        m_output = m_output.right(kOutputLimit);
}

void TServiceLauncher::ServiceEnded()
{
    m_output += m_service.readAll();
    if (m_state == TState::Starting) {
        Fail(QStringLiteral("本地搜索服务无法启动：%1").arg(EndReason()));
    } else if (m_state == TState::Running) {
        m_state = TState::Done;
        emit StatusText(QStringLiteral("本地搜索服务已意外退出：%1").arg(EndReason()));
    }
}

void TServiceLauncher::Fail(const QString& text)
{
    if (m_state != TState::Starting)
        return;
    m_state = TState::Done;
    m_readyTimer.stop();
    emit StatusText(text);
    emit Settled();
}

// The service's last line of output, or how it ended.
QString TServiceLauncher::EndReason() const
{
    const QByteArray last = m_output.trimmed().split('\n').last().trimmed();
    if (!last.isEmpty())
        return QString::fromLocal8Bit(last);
    if (m_service.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("进程异常终止");
    return QStringLiteral("退出码 %1").arg(m_service.exitCode());
}
