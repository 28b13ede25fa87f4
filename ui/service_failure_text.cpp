#include "ui/service_failure_text.h"

#include "net/http_cli.h"
#include "platform/wsocket.h"

#include <QUrl>

namespace {

QString Address(const QByteArray& url)
{
    const QUrl parsed(QString::fromLatin1(url));
    if (parsed.host().isEmpty())
        return QString::fromLatin1(url);
    return parsed.host() + QLatin1Char(':') + QString::number(parsed.port(80));
}

// The reason a connection could not be made, or an empty text when the
// error is not one of making a connection.
QString ConnectFailure(int error)
{
    switch (error) {
    case WSocketError::ConnectionRefused:
        return QStringLiteral("连接被拒绝");
    case WSocketError::TimedOut:
        return QStringLiteral("连接超时");
    case WSocketError::HostNotFound:
    case WSocketError::TryAgain:
    case WSocketError::NoRecovery:
    case WSocketError::NoData:
        return QStringLiteral("找不到该主机");
    case WSocketError::NetworkDown:
    case WSocketError::NetworkUnreachable:
    case WSocketError::HostUnreachable:
        return QStringLiteral("网络不可达");
    case WSocketError::AddressNotAvailable:
    case WSocketError::InvalidArgument:
        return QStringLiteral("地址无效");
    default:
        return QString();
    }
}

} // namespace

QString ServiceFailureText(quint16 errCode, int statusCode, const QByteArray& url)
{
    const QString address = Address(url);
    switch (errCode) {
    case THttpCli::httperrNoError:
        if (statusCode == 200)
            return QString();
        if (statusCode == 0)
            return UnreadableReplyText(url);
        return QStringLiteral("服务器 %1 返回错误（HTTP %2）").arg(address).arg(statusCode);
    case THttpCli::httperrTimeout:
        return QStringLiteral("服务器 %1 没有及时回复").arg(address);
    case THttpCli::httperrIncomplete:
        return QStringLiteral("服务器 %1 的回复不完整").arg(address);
    case WSocketError::ConnectionReset:
    case WSocketError::ConnectionAborted:
        return QStringLiteral("服务器 %1 的回复不完整（连接中断）").arg(address);
    case THttpCli::httperrTooLarge:
        return QStringLiteral("服务器 %1 的回复过大").arg(address);
    case THttpCli::httperrBadReply:
    case THttpCli::httperrStream:
    case THttpCli::httperrHandler:
        return UnreadableReplyText(url);
    default:
        break;
    }
    const QString reason = ConnectFailure(errCode);
    return QStringLiteral("无法连接服务器 %1（%2）")
        .arg(address, reason.isEmpty() ? QStringLiteral("错误 #%1").arg(errCode) : reason);
}

QString DownloadFailureText(int errorCode, const QByteArray& url)
{
    if (errorCode >= 100 && errorCode <= 599)
        return ServiceFailureText(0, errorCode, url);
    return ServiceFailureText(quint16(errorCode), 0, url);
}

QString UnreadableReplyText(const QByteArray& url)
{
    return QStringLiteral("服务器 %1 的回复无法识别").arg(Address(url));
}
