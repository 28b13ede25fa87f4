#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>

class QTcpServer;

// A loopback web server for the preview tests: serves fixed pages as often
// as they are asked for, optionally late, and records every requested path.
class PageServer : public QObject
{
    Q_OBJECT

public:
    explicit PageServer(QObject* parent = nullptr);

    bool Listen();
    // "http://127.0.0.1:" + port
    QString BaseUrl() const;
    void AddPage(const QString& path, const QByteArray& html, int delayMs = 0);
    QStringList RequestedPaths() const { return m_paths; }

private:
    struct Page
    {
        QByteArray html;
        int delayMs = 0;
    };
    void Accept();

    QTcpServer* m_server;
    QHash<QString, Page> m_pages;
    QStringList m_paths;
};
