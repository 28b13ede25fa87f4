#pragma once

#include "platform/wsocket_error.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QSocketNotifier;

// A non-blocking TCP connection with asynchronous name lookup. Every
// outcome arrives as a notification carrying an error number; nothing is
// thrown out of this class. Notifications run on the thread of the object,
// from its event loop, never from inside a call made on the object, except
// that Abort() reports the close at once.
//
// The socket itself is driven with the system's calls (wsocket_system.h) and
// Qt's socket notifiers rather than QTcpSocket: QTcpSocket reports a
// connection reset as an orderly close, and the client must tell the two
// apart (a reset in the middle of a body is a failed transfer). Reading
// straight into the caller's buffer also saves a copy of every byte.
//
// An exception escaping a notification handler is caught here: OnBgException
// is told, then the connection is aborted (which reports the close).
//
// The methods are virtual so that tests and fuzz targets can drive a client
// without a network.
class TWSocket : public QObject
{
    Q_OBJECT

public:
    enum TSocketState
    {
        wsClosed,
        wsDnsLookup,
        wsConnecting,
        wsConnected,
        wsClosing
    };

    explicit TWSocket(QObject* parent = nullptr);
    // Closes the connection without any notification.
    ~TWSocket() override;

    // Resolves a host name to its first IPv4 address; a dotted address needs
    // no lookup. Reports through OnDnsLookupDone; DnsResult() then holds the
    // address text.
    virtual void DnsLookup(const QString& host);
    // Stops a running lookup; no OnDnsLookupDone follows.
    virtual void CancelDnsLookup();
    QString DnsResult() const { return m_dnsResult; }

    // Starts a connection from localAddr (empty or "0.0.0.0": any) to
    // addr:port. Returns an error number when the connect cannot even start;
    // otherwise 0, and OnSessionConnected follows.
    virtual int Connect(const QString& addr, quint16 port, const QString& localAddr);

    // Queues bytes for sending. OnDataSent follows once everything queued so
    // far has been handed to the system. Returns the number queued, or -1
    // when the socket is not connected.
    virtual qint64 Send(const char* data, qint64 len);
    // Bytes received and not yet taken.
    virtual qint64 RcvdCount() const;
    // Takes up to maxLen received bytes; returns how many (0 when none).
    virtual qint64 Receive(char* buffer, qint64 maxLen);

    // Graceful close: queued data is sent first; OnSessionClosed follows.
    virtual void Close();
    // Close posted to the event queue, so the current handler ends first.
    void CloseDelayed();
    // Abortive close. OnSessionClosed is raised before this returns when a
    // connection existed (connecting or connected).
    virtual void Abort();
    // Drops the connection and any lookup without a single notification.
    virtual void Shutdown();

    TSocketState State() const { return m_state; }
    int LastError() const { return m_lastError; }
    static QString ErrorText(int error);

    // Notification handlers, each optional. The argument is the error number.
    std::function<void(int)> OnDnsLookupDone;
    std::function<void(int)> OnSessionConnected;
    std::function<void(int)> OnDataAvailable;
    std::function<void(int)> OnDataSent;
    std::function<void(int)> OnSessionClosed;
    // Told when a notification handler threw; the connection is then aborted.
    std::function<void()> OnBgException;

protected:
    // Raise a notification, catching what the handler throws. Return false
    // when this object was destroyed by the handler.
    bool TriggerDnsLookupDone(int error);
    bool TriggerSessionConnected(int error);
    bool TriggerDataAvailable(int error);
    bool TriggerDataSent(int error);
    bool TriggerSessionClosed(int error);

    void SetState(TSocketState state) { m_state = state; }
    void SetLastError(int error) { m_lastError = error; }
    void SetDnsResult(const QString& address) { m_dnsResult = address; }

private:
    bool Trigger(const std::function<void(int)>& handler, int error);
    template <class F> void Post(F&& f);
    void DropSocket();
    void LookupFinished(int lookup, int error, const QString& address);
    void ConnectDone(int generation);
    void ReadReady(int generation);
    void WriteReady(int generation);
    void DataSentPosted(int generation);
    void ClosedPosted(int generation, int error);
    void CloseDelayedPosted(int generation);
    // Writes what the system takes; returns an error number or 0.
    int Flush();
    // Closes the descriptor at once and reports the close with `error`.
    void CloseNow(int error);

    qintptr m_socket = -1; // WSocketSystem::NoSocket
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QByteArray m_sendBuf;
    qsizetype m_sendPos = 0;
    bool m_dataSentPosted = false;
    bool m_writePosted = false;
    bool m_eof = false;
    int m_recvError = 0;
    qint64 m_readThisRound = 0;

    TSocketState m_state = wsClosed;
    int m_lastError = 0;
    QString m_dnsResult;
    int m_lookupId = -1;
    int m_lookupSerial = 0;
    // Raised whenever a socket is dropped, so that posted notifications of
    // the old one are recognised and ignored.
    int m_generation = 0;
};
