#include "tests/web/page_server.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

PageServer::PageServer(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &PageServer::Accept);
}

bool PageServer::Listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

QString PageServer::BaseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server->serverPort());
}

void PageServer::AddPage(const QString& path, const QByteArray& html, int delayMs)
{
    m_pages.insert(path, Page{html, delayMs});
}

void PageServer::Accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (socket->property("answered").toBool())
                return;
            QByteArray head = socket->property("head").toByteArray() + socket->readAll();
            socket->setProperty("head", head);
            if (!head.contains("\r\n\r\n") || head.size() > 64 * 1024)
                return;
            socket->setProperty("answered", true);
            const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
            const QString path = words.size() > 1 ? QString::fromLatin1(words[1]) : QString();
            m_paths.append(path);
            const auto page = m_pages.constFind(path);
            QByteArray reply;
            if (page == m_pages.cend()) {
                reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            } else {
                reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                        "Content-Length: " +
                        QByteArray::number(page->html.size()) + "\r\nConnection: close\r\n\r\n" +
                        page->html;
            }
            QPointer<QTcpSocket> guard(socket);
            QTimer::singleShot(page == m_pages.cend() ? 0 : page->delayMs, this, [guard, reply] {
                if (!guard)
                    return;
                guard->write(reply);
                guard->disconnectFromHost();
            });
        });
    }
}
