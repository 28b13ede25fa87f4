#include "tests/support/fake_service.h"

FakeService::FakeService() = default;

bool FakeService::Start()
{
    return m_server.Listen();
}

QString FakeService::BaseUrl() const
{
    return QString::fromLatin1(m_server.BaseUrl()) + QLatin1Char('/');
}

QByteArray FakeService::ReplyBytes(int status, const QByteArray& body)
{
    return "HTTP/1.0 " + QByteArray::number(status) +
           " Scripted\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nContent-Type: text/html\r\n\r\n" + body;
}

void FakeService::Reply(int status, const QByteArray& body, int delayMs)
{
    ScriptedServer::Reply reply = ScriptedServer::Reply::Raw(ReplyBytes(status, body));
    reply.delayMs = delayMs;
    m_server.Enqueue(reply);
}

QList<QByteArray> FakeService::Bodies() const
{
    QList<QByteArray> bodies;
    for (const QByteArray& request : m_server.Requests()) {
        const qsizetype end = request.indexOf("\r\n\r\n");
        bodies << (end < 0 ? QByteArray() : request.mid(end + 4));
    }
    return bodies;
}

QByteArray FakeService::FormField(const QByteArray& body, const QString& key)
{
    // application/x-www-form-urlencoded as browsers and servers decode it:
    // fields split at "&", name and value at the first "=", "+" a blank,
    // then %XX decoded to bytes.
    const auto decode = [](QByteArray text) {
        text.replace('+', ' ');
        return QByteArray::fromPercentEncoding(text);
    };
    for (const QByteArray& field : body.split('&')) {
        const qsizetype equals = field.indexOf('=');
        const QByteArray name = decode(equals < 0 ? field : field.left(equals));
        if (name == key.toLatin1())
            return equals < 0 ? QByteArray() : decode(field.mid(equals + 1));
    }
    return {};
}
