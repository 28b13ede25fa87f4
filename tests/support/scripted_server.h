#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QTcpServer;
class QTcpSocket;

// A loopback HTTP server for tests that answers with scripted raw bytes.
// It records the exact bytes of every request and answers the requests in
// the order they arrive with the queued replies: split at chosen points,
// delayed, then closed, kept open for the next request, or reset.
class ScriptedServer : public QObject
{
    Q_OBJECT

public:
    struct Reply
    {
        enum After
        {
            Close,
            KeepOpen,
            Reset,
            Silent
        };
        // Sent in this order, gapMs apart, after delayMs.
        QList<QByteArray> pieces;
        int delayMs = 0;
        int gapMs = 0;
        After after = Close;
        // Reset the connection once this many reply bytes are out (-1: never).
        qint64 resetAfter = -1;
        // Sent again and again after the pieces, as fast as the peer reads,
        // for as long as it reads (a body without end).
        QByteArray endless;

        static Reply Raw(const QByteArray& bytes, After after = Close);
        // `bytes` cut before each position in `cuts` (ascending).
        static Reply Split(const QByteArray& bytes, const QList<int>& cuts, int gapMs = 15,
                           After after = Close);
    };

    explicit ScriptedServer(QObject* parent = nullptr);
    ~ScriptedServer() override;

    // Listens on 127.0.0.1 (port 0: any free port).
    bool Listen(quint16 port = 0);
    void StopListening();
    quint16 Port() const;
    // "http://127.0.0.1:" + port
    QByteArray BaseUrl() const;

    void Enqueue(const Reply& reply);
    void Enqueue(const QByteArray& raw, Reply::After after = Reply::Close)
    {
        Enqueue(Reply::Raw(raw, after));
    }

    // Every complete request so far (header and body), in arrival order.
    QList<QByteArray> Requests() const { return m_requests; }
    // All bytes received, over all connections.
    QByteArray AllReceived() const;
    int ConnectionCount() const { return m_connectionCount; }
    // Bytes of endless bodies written so far, over all connections.
    qint64 PouredCount() const { return m_poured; }

    // Answers each request that finds the queue empty (the queued replies go
    // first). Without it such a request is answered by a close.
    std::function<Reply(const QByteArray& request)> Responder;

private:
    struct Conn
    {
        QPointer<QTcpSocket> socket;
        QByteArray pending;
        QByteArray all;
        bool answering = false;
    };

    void Accept();
    void Read(Conn* conn);
    void Answer(Conn* conn, const Reply& reply);
    void SendPiece(Conn* conn, Reply reply, int index, qint64 sent);
    void Pour(Conn* conn, const QByteArray& fill);

    QTcpServer* m_server = nullptr;
    QList<Conn*> m_conns;
    QList<Reply> m_replies;
    QList<QByteArray> m_requests;
    int m_connectionCount = 0;
    qint64 m_poured = 0;
};
