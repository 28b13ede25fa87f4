#include "fake_skin_service.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

FakeSkinService::FakeSkinService(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QObject::destroyed, this, [this, socket] {
                m_pending.remove(socket);
                for (int i = m_held.size() - 1; i >= 0; --i)
                    if (m_held[i].first == socket)
                        m_held.removeAt(i);
            });
        }
    });
}

bool FakeSkinService::Listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

QString FakeSkinService::BaseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_server->serverPort());
}

int FakeSkinService::DownloadRequestCount() const
{
    int count = 0;
    for (const Request& request : requests)
        count += request.method == "GET";
    return count;
}

void FakeSkinService::SetHolding(bool hold)
{
    m_holding = hold;
    if (hold)
        return;
    const auto held = m_held;
    m_held.clear();
    for (const auto& [socket, request] : held)
        Answer(socket, request);
}

void FakeSkinService::Read(QTcpSocket* socket)
{
    QByteArray& pending = m_pending[socket];
    pending += socket->readAll();
    const int headerEnd = pending.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    const QList<QByteArray> lines = pending.left(headerEnd).split('\n');
    Request request;
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.target = first.value(1);
    qsizetype length = 0;
    for (const QByteArray& raw : lines.mid(1)) {
        const QByteArray line = raw.trimmed();
        const int colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length")
            length = value.toLongLong();
        else if (name == "range")
            request.range = value;
    }
    if (pending.size() < headerEnd + 4 + length)
        return;
    request.body = pending.mid(headerEnd + 4, length);
    pending.clear();
    requests.append(request);
    if (m_holding && request.method == "GET")
        m_held.append({socket, request});
    else
        Answer(socket, request);
}

void FakeSkinService::Answer(QTcpSocket* socket, const Request& request)
{
    auto send = [socket](int status, const QByteArray& reason, const QByteArray& extra,
                         const QByteArray& body) {
        socket->write("HTTP/1.0 " + QByteArray::number(status) + " " + reason + "\r\n" + extra +
                      "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        socket->disconnectFromHost();
    };
    if (request.method == "POST") {
        if (listStatus == 200)
            send(200, "OK", "", listReply);
        else
            send(listStatus, "Failed", "", "no");
        return;
    }
    const QUrlQuery query(QUrl::fromEncoded(request.target).query());
    const QByteArray key = query.queryItemValue("action").toLatin1() + ":" +
                           query.queryItemValue("skin_id").toLatin1();
    if (!files.contains(key)) {
        send(404, "Not Found", "", "missing");
        return;
    }
    const QByteArray file = files.value(key);
    if (request.range.isEmpty()) {
        send(200, "OK", "", file);
        return;
    }
    // "bytes=a-b", b inclusive and clipped to the file.
    const QList<QByteArray> bounds = request.range.mid(6).split('-');
    const qsizetype begin = bounds.value(0).toLongLong();
    qsizetype end = bounds.value(1).isEmpty() ? file.size() - 1 : bounds.value(1).toLongLong();
    end = qMin(end, file.size() - 1);
    if (begin > end) {
        send(416, "Range Not Satisfiable", "", "");
        return;
    }
    send(206, "Partial Content",
         "Content-Range: bytes " + QByteArray::number(begin) + "-" + QByteArray::number(end) + "/" +
             QByteArray::number(file.size()) + "\r\n",
         file.mid(begin, end - begin + 1));
}
