#include "net/service_messages.h"

#include "net/http_cli.h"
#include "util/gbk.h"

#include <QBuffer>

QByteArray ServiceEndpoint(const QString& baseUrl)
{
    return baseUrl.toUtf8() + "vexa_client.php";
}

QString DetailPageUrl(const QString& baseUrl, const QByteArray& fileId)
{
    return baseUrl + QStringLiteral("vexa-") + Gbk::toUnicode(fileId);
}

QByteArray FormValue(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '%':
            out.append("%25");
            break;
        case '&':
            out.append("%26");
            break;
        case '+':
            out.append("%2B");
            break;
        case '=':
            out.append("%3D");
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

QByteArray SearchMessage(const QByteArray& keyword)
{
    return "action=search&word=" + FormValue(keyword);
}

QByteArray CommendMessage()
{
    return "action=commend";
}

QByteArray ReviewMessage(const QByteArray& fileId, const QByteArray& score)
{
    return "action=review&file_id=" + FormValue(fileId) + "&score=" + FormValue(score);
}

QByteArray ReportMessage(const QByteArray& content, const QByteArray& fileId)
{
    return "action=report&content=" + FormValue(content) + "&file_id=" + FormValue(fileId);
}

void ConfigureServiceClient(THttpCli& client, const QString& name)
{
    client.SetName(name);
    client.SetRequestVer("1.0");
    client.SetAgent("vexa-client-http");
    client.SetAccept("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
    client.SetContentTypePost("application/x-www-form-urlencoded");
    client.SetNoCache(false);
    client.SetFollowRelocation(true);
    client.SetLocationChangeMaxCount(5);
    client.SetLocalAddr("0.0.0.0");
    client.SetServerAuth(httpAuthNone);
    client.SetProxyAuth(httpAuthNone);
    client.SetOptions(0);
    client.SetTimeout(30);
    client.SetBandwidthLimit(10000);
    client.SetBandwidthSampling(1000);
}

void PostServiceMessage(THttpCli& client, const QByteArray& url, const QByteArray& body,
                        qint64 replyLimit)
{
    auto* request = new QBuffer(&client);
    request->setData(body);
    request->open(QIODevice::ReadOnly);
    auto* reply = new QBuffer(&client);
    reply->open(QIODevice::ReadWrite);

    // A busy client refuses before it looks at anything; the running
    // request keeps its own buffers.
    QIODevice* const runningSend = client.SendStream();
    QIODevice* const runningRcvd = client.RcvdStream();
    const QByteArray runningUrl = client.URL();
    const qint64 runningLimit = client.MaxBodySize();
    client.SetSendStream(request);
    client.SetRcvdStream(reply);
    client.SetURL(url);
    client.SetContentTypePost("application/x-www-form-urlencoded");
    client.SetMaxBodySize(replyLimit);
    try {
        client.PostASync();
    } catch (...) {
        client.SetSendStream(runningSend);
        client.SetRcvdStream(runningRcvd);
        client.SetURL(runningUrl);
        client.SetMaxBodySize(runningLimit);
        delete request;
        delete reply;
        throw;
    }
}

std::optional<QByteArray> TakeServiceReply(THttpCli& client, quint16 errCode)
{
    delete client.SendStream();
    client.SetSendStream(nullptr);
    QIODevice* const reply = client.RcvdStream();
    client.SetRcvdStream(nullptr);
    std::optional<QByteArray> body;
    if (errCode == 0 && client.StatusCode() == 200 && reply) {
        reply->seek(0);
        body = reply->readAll();
    }
    delete reply;
    return body;
}

bool IsTrueReply(const QByteArray& reply)
{
    return reply == "true";
}
