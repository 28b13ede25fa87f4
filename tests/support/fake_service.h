#pragma once

#include "tests/support/scripted_server.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The search service as tests see it: a scripted loopback server answering
// with HTTP/1.0 replies, and the form bodies it received.
class FakeService
{
public:
    FakeService();

    // Listens on 127.0.0.1; false when no port could be had.
    bool Start();
    // "http://127.0.0.1:" + port + "/"
    QString BaseUrl() const;

    // Queues a reply with a Content-Length, sent `delayMs` after the request.
    void Reply(int status, const QByteArray& body, int delayMs = 0);
    static QByteArray ReplyBytes(int status, const QByteArray& body);

    // Raw requests (header and body) and their bodies, in arrival order.
    QList<QByteArray> Requests() const { return m_server.Requests(); }
    QList<QByteArray> Bodies() const;

    // Field `key` of a form body as a standard form decoder reads it ("+" is
    // a blank, %XX a byte); empty when missing.
    static QByteArray FormField(const QByteArray& body, const QString& key);

    ScriptedServer& Server() { return m_server; }

private:
    ScriptedServer m_server;
};
