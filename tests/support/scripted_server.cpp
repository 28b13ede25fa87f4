#include "tests/support/scripted_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

ScriptedServer::Reply ScriptedServer::Reply::Raw(const QByteArray& bytes, After after)
{
    Reply r;
    r.pieces << bytes;
    r.after = after;
    return r;
}

ScriptedServer::Reply ScriptedServer::Reply::Split(const QByteArray& bytes, const QList<int>& cuts,
                                                   int gapMs, After after)
{
    Reply r;
    int from = 0;
    for (int cut : cuts) {
        if (cut <= from || cut >= bytes.size())
            continue;
        r.pieces << bytes.mid(from, cut - from);
        from = cut;
    }
    r.pieces << bytes.mid(from);
    r.gapMs = gapMs;
    r.after = after;
    return r;
}

ScriptedServer::ScriptedServer(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &ScriptedServer::Accept);
}

ScriptedServer::~ScriptedServer()
{
    for (Conn* c : m_conns) {
        if (c->socket)
            c->socket->abort();
        delete c;
    }
}

bool ScriptedServer::Listen(quint16 port)
{
    return m_server->listen(QHostAddress::LocalHost, port);
}

void ScriptedServer::StopListening()
{
    m_server->close();
}

quint16 ScriptedServer::Port() const
{
    return m_server->serverPort();
}

QByteArray ScriptedServer::BaseUrl() const
{
    return "http://127.0.0.1:" + QByteArray::number(Port());
}

void ScriptedServer::Enqueue(const Reply& reply)
{
    m_replies << reply;
}

QByteArray ScriptedServer::AllReceived() const
{
    QByteArray all;
    for (const Conn* c : m_conns)
        all += c->all;
    return all;
}

void ScriptedServer::Accept()
{
    while (QTcpSocket* s = m_server->nextPendingConnection()) {
        ++m_connectionCount;
        s->setParent(this);
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto* conn = new Conn;
        conn->socket = s;
        m_conns << conn;
        connect(s, &QTcpSocket::readyRead, this, [this, conn] { Read(conn); });
    }
}

void ScriptedServer::Read(Conn* conn)
{
    if (!conn->socket)
        return;
    const QByteArray data = conn->socket->readAll();
    conn->pending += data;
    conn->all += data;
    while (!conn->answering) {
        const qsizetype end = conn->pending.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        qint64 bodyLength = 0;
        const QList<QByteArray> lines = conn->pending.left(end).split('\n');
        for (const QByteArray& raw : lines) {
            const QByteArray line = raw.trimmed();
            if (line.toLower().startsWith("content-length:"))
                bodyLength = line.mid(15).trimmed().toLongLong();
        }
        const qint64 total = end + 4 + bodyLength;
        if (conn->pending.size() < total)
            return;
        const QByteArray request = conn->pending.left(total);
        m_requests << request;
        conn->pending.remove(0, total);
        if (!m_replies.isEmpty()) {
            Answer(conn, m_replies.takeFirst());
        } else if (Responder) {
            Answer(conn, Responder(request));
        } else {
            conn->socket->disconnectFromHost();
            return;
        }
    }
}

void ScriptedServer::Answer(Conn* conn, const Reply& reply)
{
    conn->answering = true;
    QTimer::singleShot(reply.delayMs, this, [this, conn, reply] { SendPiece(conn, reply, 0, 0); });
}

void ScriptedServer::SendPiece(Conn* conn, Reply reply, int index, qint64 sent)
{
    QTcpSocket* s = conn->socket;
    if (!s)
        return;
    if (index < reply.pieces.size()) {
        QByteArray piece = reply.pieces[index];
        bool reset = false;
        if (reply.resetAfter >= 0 && sent + piece.size() >= reply.resetAfter) {
            piece.truncate(reply.resetAfter - sent);
            reset = true;
        }
        s->write(piece);
        s->flush();
        sent += piece.size();
        if (!reset) {
            QTimer::singleShot(reply.gapMs, this, [this, conn, reply, index, sent] {
                SendPiece(conn, reply, index + 1, sent);
            });
            return;
        }
        reply.after = Reply::Reset;
    } else if (!reply.endless.isEmpty()) {
        const QByteArray fill = reply.endless;
        connect(s, &QTcpSocket::bytesWritten, this, [this, conn, fill] { Pour(conn, fill); });
        Pour(conn, fill);
        return;
    }
    switch (reply.after) {
    case Reply::Close:
        s->disconnectFromHost();
        break;
    case Reply::KeepOpen:
        conn->answering = false;
        Read(conn);
        break;
    case Reply::Reset: {
        // Give the bytes a moment to leave, then reset (linger 0 sends RST).
        QTimer::singleShot(20, this, [conn] {
            if (QTcpSocket* sock = conn->socket) {
                linger l{1, 0};
                ::setsockopt(int(sock->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
                sock->abort();
            }
        });
        break;
    }
    case Reply::Silent:
        break;
    }
}

void ScriptedServer::Pour(Conn* conn, const QByteArray& fill)
{
    // Only as much ahead of the peer as a socket buffer: the server itself
    // stays small however long the body runs.
    constexpr qint64 kAhead = 256 * 1024;
    QTcpSocket* s = conn->socket;
    if (!s || s->state() != QAbstractSocket::ConnectedState)
        return;
    while (s->bytesToWrite() < kAhead) {
        s->write(fill);
        m_poured += fill.size();
    }
}
