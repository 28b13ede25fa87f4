#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>

class QTcpServer;
class QTcpSocket;

// A loopback stand-in for the service's skin catalogue: answers the list
// POST and the probe and range GETs of skin and preview downloads from
// in-memory files, as the real service does. Range requests of one download
// run in parallel, so the answers depend on the request, not on its order.
class FakeSkinService : public QObject
{
    Q_OBJECT

public:
    explicit FakeSkinService(QObject* parent = nullptr);
    bool Listen();
    // "http://127.0.0.1:<port>/"
    QString BaseUrl() const;

    QByteArray listReply;
    int listStatus = 200;
    // Keyed by "downskin:<id>" and "downimg:<id>"; anything else answers 404.
    QMap<QByteArray, QByteArray> files;
    // While set, download requests are held unanswered.
    void SetHolding(bool hold);

    struct Request
    {
        QByteArray method;
        QByteArray target;
        QByteArray range; // empty without a Range header
        QByteArray body;
    };
    QList<Request> requests;
    int DownloadRequestCount() const;

private:
    void Read(QTcpSocket* socket);
    void Answer(QTcpSocket* socket, const Request& request);

    QTcpServer* m_server;
    bool m_holding = false;
    QList<QPair<QTcpSocket*, Request>> m_held;
    QMap<QTcpSocket*, QByteArray> m_pending;
};
