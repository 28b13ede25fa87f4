#include "platform/wsocket.h"

#include "platform/wsocket_system.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QMetaObject>
#include <QSocketNotifier>

TWSocket::TWSocket(QObject* parent) : QObject(parent) {}

TWSocket::~TWSocket()
{
    OnDnsLookupDone = nullptr;
    OnSessionConnected = nullptr;
    OnDataAvailable = nullptr;
    OnDataSent = nullptr;
    OnSessionClosed = nullptr;
    OnBgException = nullptr;
    Shutdown();
}

QString TWSocket::ErrorText(int error)
{
    switch (error) {
    case WSocketError::None:
        return QStringLiteral("No error");
    case WSocketError::Interrupted:
        return QStringLiteral("Interrupted function call");
    case WSocketError::PermissionDenied:
        return QStringLiteral("Permission denied");
    case WSocketError::InvalidArgument:
        return QStringLiteral("Invalid argument");
    case WSocketError::TooManyOpenFiles:
        return QStringLiteral("Too many open files");
    case WSocketError::InProgress:
        return QStringLiteral("Operation now in progress");
    case WSocketError::AddressInUse:
        return QStringLiteral("Address already in use");
    case WSocketError::AddressNotAvailable:
        return QStringLiteral("Cannot assign requested address");
    case WSocketError::NetworkDown:
        return QStringLiteral("Network is down");
    case WSocketError::NetworkUnreachable:
        return QStringLiteral("Network is unreachable");
    case WSocketError::ConnectionAborted:
        return QStringLiteral("Software caused connection abort");
    case WSocketError::ConnectionReset:
        return QStringLiteral("Connection reset by peer");
    case WSocketError::NoBufferSpace:
        return QStringLiteral("No buffer space available");
    case WSocketError::NotConnected:
        return QStringLiteral("Socket is not connected");
    case WSocketError::TimedOut:
        return QStringLiteral("Connection timed out");
    case WSocketError::ConnectionRefused:
        return QStringLiteral("Connection refused");
    case WSocketError::HostUnreachable:
        return QStringLiteral("No route to host");
    case WSocketError::HostNotFound:
        return QStringLiteral("Host not found");
    case WSocketError::TryAgain:
        return QStringLiteral("Non-authoritative host not found");
    case WSocketError::NoRecovery:
        return QStringLiteral("Non-recoverable lookup error");
    case WSocketError::NoData:
        return QStringLiteral("No IPv4 address for this host name");
    default:
        return QStringLiteral("Network error");
    }
}

template <class F> void TWSocket::Post(F&& f)
{
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
}

bool TWSocket::Trigger(const std::function<void(int)>& handler, int error)
{
    if (!handler)
        return true;
    QPointer<TWSocket> self(this);
    try {
        handler(error);
    } catch (...) {
        if (!self)
            return false;
        if (OnBgException) {
            try {
                OnBgException();
            } catch (...) {
            }
            if (!self)
                return false;
        }
        Abort();
    }
    return !self.isNull();
}

bool TWSocket::TriggerDnsLookupDone(int error)
{
    return Trigger(OnDnsLookupDone, error);
}

bool TWSocket::TriggerSessionConnected(int error)
{
    return Trigger(OnSessionConnected, error);
}

bool TWSocket::TriggerDataAvailable(int error)
{
    return Trigger(OnDataAvailable, error);
}

bool TWSocket::TriggerDataSent(int error)
{
    return Trigger(OnDataSent, error);
}

bool TWSocket::TriggerSessionClosed(int error)
{
    return Trigger(OnSessionClosed, error);
}

// ---- name lookup ----

void TWSocket::DnsLookup(const QString& host)
{
    CancelDnsLookup();
    DropSocket();
    const int serial = ++m_lookupSerial;
    m_state = wsDnsLookup;
    m_dnsResult.clear();

    bool plain = !host.isEmpty();
    for (QChar c : host) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F)
            plain = false;
    }
    if (!plain) {
        Post([this, serial] { LookupFinished(serial, WSocketError::HostNotFound, QString()); });
        return;
    }
    quint32 dotted;
    if (WSocketSystem::ParseIPv4(host, &dotted)) {
        const QString text = host;
        Post([this, serial, text] { LookupFinished(serial, 0, text); });
        return;
    }
    m_lookupId = QHostInfo::lookupHost(host, this, [this, serial](const QHostInfo& info) {
        int error = 0;
        QString address;
        if (info.error() != QHostInfo::NoError) {
            error = info.error() == QHostInfo::HostNotFound ? WSocketError::HostNotFound
                                                            : WSocketError::TryAgain;
        } else {
            for (const QHostAddress& a : info.addresses()) {
                if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                    address = a.toString();
                    break;
                }
            }
            if (address.isEmpty())
                error = WSocketError::NoData;
        }
        // Handlers may destroy this object; keep them out of QHostInfo's
        // own delivery.
        Post([this, serial, error, address] { LookupFinished(serial, error, address); });
    });
}

void TWSocket::CancelDnsLookup()
{
    if (m_state != wsDnsLookup)
        return;
    // The lookup is left to finish and its answer ignored (the serial has
    // moved on): aborting a lookup that has a functor leaks it in Qt.
    m_lookupId = -1;
    ++m_lookupSerial;
    m_state = wsClosed;
}

void TWSocket::LookupFinished(int serial, int error, const QString& address)
{
    if (serial != m_lookupSerial || m_state != wsDnsLookup)
        return;
    m_lookupId = -1;
    m_state = wsClosed;
    m_lastError = error;
    m_dnsResult = error == 0 ? address : QString();
    TriggerDnsLookupDone(error);
}

// ---- connection ----

void TWSocket::DropSocket()
{
    ++m_generation;
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_socket != WSocketSystem::NoSocket)
        WSocketSystem::Close(m_socket);
    m_socket = WSocketSystem::NoSocket;
    m_sendBuf.clear();
    m_sendPos = 0;
    m_dataSentPosted = false;
    m_writePosted = false;
    m_eof = false;
    m_recvError = 0;
    if (m_state != wsDnsLookup)
        m_state = wsClosed;
}

int TWSocket::Connect(const QString& addr, quint16 port, const QString& localAddr)
{
    CancelDnsLookup();
    DropSocket();
    m_lastError = 0;

    quint32 remote;
    if (!WSocketSystem::ParseIPv4(addr, &remote))
        return m_lastError = WSocketError::InvalidArgument;
    if (port == 0)
        return m_lastError = WSocketError::AddressNotAvailable;

    quint32 local = 0;
    const bool bindLocal = !localAddr.isEmpty() && localAddr != QLatin1String("0.0.0.0");
    if (bindLocal && !WSocketSystem::ParseIPv4(localAddr, &local))
        return m_lastError = WSocketError::AddressNotAvailable;

    qintptr handle = WSocketSystem::NoSocket;
    if (const int error = WSocketSystem::Open(bindLocal, local, &handle))
        return m_lastError = error;

    m_socket = handle;
    const int generation = m_generation;
    m_state = wsConnecting;
    m_writeNotifier = new QSocketNotifier(handle, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, [this, generation] {
        m_writeNotifier->setEnabled(false);
        if (m_state == wsConnecting) {
            Post([this, generation] { ConnectDone(generation); });
        } else {
            m_writePosted = true;
            Post([this, generation] { WriteReady(generation); });
        }
    });
    m_readNotifier = new QSocketNotifier(handle, QSocketNotifier::Read, this);
    m_readNotifier->setEnabled(false);
    connect(m_readNotifier, &QSocketNotifier::activated, this, [this, generation] {
        m_readNotifier->setEnabled(false);
        Post([this, generation] { ReadReady(generation); });
    });

    int error = 0;
    switch (WSocketSystem::StartConnect(handle, remote, port, &error)) {
    case WSocketSystem::ConnectStart::Settled:
        // Reported from the event loop, like any attempt.
        Post([this, generation] { ConnectDone(generation); });
        break;
    case WSocketSystem::ConnectStart::Pending:
        m_writeNotifier->setEnabled(true);
        break;
    case WSocketSystem::ConnectStart::Failed:
        m_lastError = error;
        DropSocket();
        return m_lastError;
    }
    return 0;
}

void TWSocket::ConnectDone(int generation)
{
    if (generation != m_generation || m_state != wsConnecting)
        return;
    const int error = WSocketSystem::ConnectError(m_socket);
    if (error != 0) {
        m_lastError = error;
        DropSocket();
        if (!TriggerSessionConnected(error))
            return;
        // The layer closes a socket whose connect failed.
        TriggerSessionClosed(error);
        return;
    }
    m_state = wsConnected;
    m_readNotifier->setEnabled(true);
    TriggerSessionConnected(0);
}

qint64 TWSocket::Send(const char* data, qint64 len)
{
    if (m_state != wsConnected || m_socket == WSocketSystem::NoSocket)
        return -1;
    if (len <= 0)
        return 0;
    if (m_sendPos > 0 && m_sendPos == m_sendBuf.size()) {
        m_sendBuf.clear();
        m_sendPos = 0;
    }
    m_sendBuf.append(data, len);
    if (m_writeNotifier->isEnabled() || m_writePosted)
        return len;
    const int error = Flush();
    const int generation = m_generation;
    if (error != 0) {
        m_lastError = error;
        Post([this, generation, error] { ClosedPosted(generation, error); });
    } else if (m_sendPos < m_sendBuf.size()) {
        m_writeNotifier->setEnabled(true);
    } else if (!m_dataSentPosted) {
        m_dataSentPosted = true;
        Post([this, generation] { DataSentPosted(generation); });
    }
    return len;
}

int TWSocket::Flush()
{
    while (m_sendPos < m_sendBuf.size()) {
        int error = 0;
        const qint64 n = WSocketSystem::Send(m_socket, m_sendBuf.constData() + m_sendPos,
                                             m_sendBuf.size() - m_sendPos, &error);
        if (n <= 0)
            return error;
        m_sendPos += n;
    }
    m_sendBuf.clear();
    m_sendPos = 0;
    return 0;
}

void TWSocket::WriteReady(int generation)
{
    if (generation != m_generation || (m_state != wsConnected && m_state != wsClosing))
        return;
    m_writePosted = false;
    const int error = Flush();
    if (error != 0) {
        m_lastError = error;
        CloseNow(error);
        return;
    }
    if (m_sendPos < m_sendBuf.size()) {
        m_writeNotifier->setEnabled(true);
        return;
    }
    if (m_state == wsClosing) {
        CloseNow(0);
        return;
    }
    TriggerDataSent(0);
}

void TWSocket::DataSentPosted(int generation)
{
    if (generation != m_generation)
        return;
    m_dataSentPosted = false;
    if (m_state != wsConnected || m_sendPos < m_sendBuf.size())
        return;
    TriggerDataSent(0);
}

qint64 TWSocket::RcvdCount() const
{
    if (m_socket == WSocketSystem::NoSocket)
        return 0;
    return WSocketSystem::Pending(m_socket);
}

qint64 TWSocket::Receive(char* buffer, qint64 maxLen)
{
    if (m_socket == WSocketSystem::NoSocket || maxLen <= 0 || m_eof || m_recvError != 0)
        return 0;
    const qint64 n = WSocketSystem::Receive(m_socket, buffer, maxLen, &m_recvError);
    if (n > 0) {
        m_readThisRound += n;
        return n;
    }
    m_eof = n == 0;
    return 0;
}

void TWSocket::ReadReady(int generation)
{
    if (generation != m_generation || m_state != wsConnected)
        return;
    m_readThisRound = 0;
    if (!OnDataAvailable) {
        // Nobody reads: drain, so that the close is still seen.
        char scratch[16384];
        while (Receive(scratch, sizeof scratch) > 0) {
        }
    } else if (!TriggerDataAvailable(0)) {
        return;
    }
    if (generation != m_generation || m_state != wsConnected)
        return;
    if (m_readThisRound == 0 && !m_eof && m_recvError == 0) {
        // The handler took nothing; look whether the peer has gone, so that a
        // readable socket cannot keep waking us.
        m_eof = WSocketSystem::Peek(m_socket, &m_recvError) == 0;
    }
    if (m_eof || m_recvError != 0) {
        if (m_recvError != 0)
            m_lastError = m_recvError;
        CloseNow(m_recvError);
        return;
    }
    m_readNotifier->setEnabled(true);
}

void TWSocket::CloseNow(int error)
{
    DropSocket();
    TriggerSessionClosed(error);
}

void TWSocket::ClosedPosted(int generation, int error)
{
    if (generation != m_generation)
        return;
    CloseNow(error);
}

void TWSocket::Close()
{
    if (m_state == wsDnsLookup) {
        CancelDnsLookup();
        return;
    }
    if (m_socket == WSocketSystem::NoSocket || m_state == wsClosing)
        return;
    const int generation = m_generation;
    if (m_state == wsConnected && m_sendPos < m_sendBuf.size()) {
        // Let the queued bytes go out first.
        m_state = wsClosing;
        m_readNotifier->setEnabled(false);
        m_writeNotifier->setEnabled(true);
        return;
    }
    m_state = wsClosing;
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    WSocketSystem::ShutdownBoth(m_socket);
    Post([this, generation] { ClosedPosted(generation, 0); });
}

void TWSocket::CloseDelayed()
{
    const int generation = m_generation;
    Post([this, generation] { CloseDelayedPosted(generation); });
}

void TWSocket::CloseDelayedPosted(int generation)
{
    if (generation != m_generation)
        return;
    Close();
}

void TWSocket::Abort()
{
    CancelDnsLookup();
    if (m_socket == WSocketSystem::NoSocket)
        return;
    CloseNow(0);
}

void TWSocket::Shutdown()
{
    CancelDnsLookup();
    DropSocket();
}
