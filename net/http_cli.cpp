#include "net/http_cli.h"

#include "platform/wsocket.h"
#include "util/gbk.h"
#include "util/hex_digit.h"

#include <QBuffer>
#include <QFileDevice>
#include <QIODevice>
#include <QMetaObject>
#include <QTimer>

#include <cstring>
#include <limits>

namespace {

// Room made in the receive buffer before each read (never below 8192).
constexpr qsizetype kReadSize = 256 * 1024;
constexpr qsizetype kMinFree = 8192;
// Bytes taken from one data-available notification before yielding to the
// event loop, so that one fast connection cannot starve the others.
constexpr qint64 kReadPerRound = 4 * 1024 * 1024;
constexpr qint64 kSendChunk = 8192;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The connection layer's text for an error, with its number.
QByteArray SocketErrorPhrase(int error)
{
    return Gbk::fromUnicode(TWSocket::ErrorText(error)) + " (Error #" +
           QByteArray::number(error) + ")";
}

QByteArray SkipBlanks(const QByteArray& s)
{
    qsizetype i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    return s.mid(i);
}

bool StartsWithNoCase(const QByteArray& s, const char* prefix)
{
    const qsizetype n = qsizetype(std::strlen(prefix));
    return s.size() >= n && s.left(n).toLower() == QByteArray(prefix).toLower();
}

// Bytes that cannot stand in a request line are sent percent-encoded, so a
// redirect target cannot smuggle in header lines or split the request line.
QByteArray RequestPath(const QByteArray& path)
{
    QByteArray out;
    out.reserve(path.size());
    for (char ch : path) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F) {
            static const char hex[] = "0123456789ABCDEF";
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

// Cuts a reply stream back to `size`: a redirect's body must not stay in
// front of the final body.
void CutBack(QIODevice* stream, qint64 size)
{
    if (!stream)
        return;
    if (auto* buffer = qobject_cast<QBuffer*>(stream)) {
        if (buffer->size() > size)
            buffer->buffer().resize(size);
        buffer->seek(size);
    } else if (auto* file = qobject_cast<QFileDevice*>(stream)) {
        file->flush();
        file->resize(size);
        file->seek(size);
    } else if (!stream->isSequential()) {
        stream->seek(size);
    }
}

} // namespace

THttpCli::THttpCli(QObject* parent) : THttpCli(new TWSocket, parent) {}

THttpCli::THttpCli(TWSocket* socket, QObject* parent)
    : QObject(parent), m_socket(socket), m_noDataTimer(new QTimer(this))
{
    m_noDataTimer->setSingleShot(true);
    connect(m_noDataTimer, &QTimer::timeout, this, &THttpCli::NoDataTimeoutExpired);
    m_socket->setParent(this);
    m_socket->OnDnsLookupDone = [this](int e) { SocketDnsLookupDone(e); };
    m_socket->OnSessionConnected = [this](int e) { SocketSessionConnected(e); };
    m_socket->OnDataAvailable = [this](int e) { SocketDataAvailable(e); };
    m_socket->OnDataSent = [this](int e) { SocketDataSent(e); };
    m_socket->OnSessionClosed = [this](int e) { SocketSessionClosed(e); };
    m_socket->OnBgException = [this] { SocketBgException(); };
}

THttpCli::~THttpCli()
{
    // Close without raising anything; posted notifications die with us.
    delete m_socket;
    m_socket = nullptr;
}

template <class E, class... A> bool THttpCli::Raise(const E& event, A&&... args)
{
    if (!event)
        return true;
    // A copy, so that a handler may replace the event while it runs.
    const E handler = event;
    QPointer<THttpCli> self(this);
    handler(this, std::forward<A>(args)...);
    return !self.isNull();
}

void THttpCli::SetRequestVer(const QByteArray& version)
{
    if (version != "1.0" && version != "1.1")
        throw EHttpException("Insupported HTTP version", httperrVersion);
    m_requestVer = version;
}

bool THttpCli::SetState(THttpState state)
{
    m_state = state;
    return Raise(OnStateChange);
}

bool THttpCli::Stopped(quint32 serial) const
{
    return m_serial != serial || m_state == httpReady || m_state == httpAborting || m_failed;
}

// ---- starting a request ----

void THttpCli::GetASync()
{
    StartRequest(httpGET);
}

void THttpCli::PostASync()
{
    StartRequest(httpPOST);
}

void THttpCli::StartRequest(THttpRequest type)
{
    if (IsBusy()) {
        const QByteArray name = m_name.toUtf8();
        throw EHttpException("HTTP component " + name.toStdString() + " is busy", httperrBusy);
    }
    if ((type == httpPOST || type == httpPUT) && !m_sendStream)
        throw EHttpException("HTTP component has nothing to post or put", httperrNoData);

    m_locationChangeCurCount = 0;
    m_requestType = type;
    ++m_serial;
    m_errCode = 0;
    m_statusCode = 0;
    m_rcvdCount = 0;
    m_sentCount = 0;
    m_contentLength = -1;
    m_rcvdHeader.clear();
    m_location = m_url;
    m_locationFlag = false;
    m_closeAfterReply = m_requestVer == "1.0";
    m_failed = false;
    m_relocatePending = false;
    m_sendingBody = false;
    m_holdSetReady = false;
    ResetReply();
    m_rcvdStreamStartSize = m_rcvdStream ? m_rcvdStream->size() : 0;

    SplitTarget(m_url);
    m_docName = DocNameFromPath(m_targetPath);
    const quint32 serial = m_serial;
    m_noDataTimer->start(qMax(0, m_noDataTimeout));

    Guard([&] {
        if (m_socket->State() == TWSocket::wsConnected && m_curHost == m_targetHost &&
            m_curPort == m_targetPort && m_curScheme == m_targetScheme) {
            // The previous reply left the connection open: send on it.
            if (!SetState(httpConnected) || Stopped(serial))
                return;
            SendRequest();
            return;
        }
        m_socket->Shutdown();
        if (!SetState(httpNotConnected) || Stopped(serial))
            return;
        Connecting();
    });
}

void THttpCli::NoDataTimeoutExpired()
{
    if (!IsBusy() || m_state == httpAborting || m_failed)
        return;
    m_reasonPhrase = "No data from the server for " + QByteArray::number(m_noDataTimeout) + " ms";
    FailReply(httperrTimeout);
}

void THttpCli::SplitTarget(const QByteArray& url)
{
    QByteArray rest = url;
    const qsizetype sep = url.indexOf("://");
    m_targetScheme = sep >= 0 ? url.left(sep).toLower() : QByteArray();
    if (sep >= 0)
        rest = url.mid(sep + 3);

    qsizetype end = -1;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        if (rest[i] == '/' || rest[i] == '?') {
            end = i;
            break;
        }
    }
    QByteArray authority = end >= 0 ? rest.left(end) : rest;
    QByteArray path = end >= 0 ? rest.mid(end) : QByteArray();

    m_user.clear();
    m_password.clear();
    const qsizetype at = authority.lastIndexOf('@');
    if (at >= 0) {
        const QByteArray userInfo = authority.left(at);
        const qsizetype colon = userInfo.indexOf(':');
        m_user = colon >= 0 ? userInfo.left(colon) : userInfo;
        m_password = colon >= 0 ? userInfo.mid(colon + 1) : QByteArray();
        authority = authority.mid(at + 1);
    }
    const qsizetype colon = authority.lastIndexOf(':');
    m_targetHost = colon >= 0 ? authority.left(colon) : authority;
    m_targetPort = colon >= 0 ? authority.mid(colon + 1) : QByteArray();

    if (m_targetPort.isEmpty())
        m_targetPort = "80";
    if (m_targetScheme.isEmpty())
        m_targetScheme = "http";
    const qsizetype hash = path.indexOf('#');
    if (hash >= 0)
        path.truncate(hash);
    if (path.isEmpty())
        path = "/";
    else if (path.startsWith('?'))
        path.prepend('/');
    m_targetPath = path;
}

QByteArray THttpCli::DocNameFromPath(const QByteArray& path)
{
    const qsizetype query = path.indexOf('?');
    const QByteArray p = query >= 0 ? path.left(query) : path;
    if (p.isEmpty() || p.endsWith('/'))
        return "document.htm";
    return p.mid(p.lastIndexOf('/') + 1).left(255);
}

QByteArray THttpCli::LocationFor(const QByteArray& path) const
{
    QByteArray location = m_targetScheme + "://" + m_targetHost;
    if (!m_targetPort.isEmpty() && m_targetPort != "80")
        location += ":" + m_targetPort;
    return location + path;
}

// ---- connecting ----

void THttpCli::Connecting()
{
    const quint32 serial = m_serial;
    if (!SetState(httpDnsLookup) || Stopped(serial))
        return;
    m_socket->DnsLookup(QString::fromLatin1(m_targetHost));
}

void THttpCli::SocketDnsLookupDone(int error)
{
    if (m_state != httpDnsLookup)
        return;
    const quint32 serial = m_serial;
    if (error != 0) {
        m_errCode = quint16(error);
        m_statusCode = 404;
        m_reasonPhrase = "can't resolve hostname to IP address";
        ConnectionClosed(error);
        return;
    }
    if (!SetState(httpDnsLookupDone) || Stopped(serial))
        return;
    m_curHost = m_targetHost;
    m_curPort = m_targetPort;
    m_curScheme = m_targetScheme;
    if (m_targetScheme != "http") {
        m_statusCode = 501;
        m_reasonPhrase = "Protocol \"" + m_targetScheme + "\" not implemented";
        m_socket->Shutdown();
        ConnectionClosed(0);
        return;
    }
    bool ok = false;
    const uint port = m_targetPort.toUInt(&ok);
    const int rc = m_socket->Connect(m_socket->DnsResult(), ok && port <= 65535 ? quint16(port) : 0,
                                     QString::fromLatin1(m_localAddr));
    if (rc != 0) {
        m_errCode = quint16(rc);
        m_statusCode = 404;
        m_reasonPhrase = "can't connect: " + SocketErrorPhrase(rc);
        ConnectionClosed(rc);
    }
}

void THttpCli::SocketSessionConnected(int error)
{
    if (m_state != httpDnsLookupDone)
        return;
    const quint32 serial = m_serial;
    if (error != 0) {
        // The layer reports the close next; that completes the request.
        m_errCode = quint16(error);
        m_statusCode = 404;
        m_reasonPhrase = SocketErrorPhrase(error);
        Raise(OnSessionConnected);
        return;
    }
    if (!SetState(httpConnected) || Stopped(serial))
        return;
    if (!Raise(OnSessionConnected) || Stopped(serial))
        return;
    SendRequest();
}

void THttpCli::SendRequest()
{
    const quint32 serial = m_serial;
    if (!SetState(httpWaitingHeader) || Stopped(serial))
        return;
    ResetReply();

    const bool withBody = m_requestType == httpPOST || m_requestType == httpPUT;
    QByteArray method;
    switch (m_requestType) {
    case httpPOST:
        method = "POST";
        break;
    case httpPUT:
        method = "PUT";
        break;
    case httpHEAD:
        method = "HEAD";
        break;
    default:
        method = "GET";
        break;
    }

    QList<QByteArray> headers;
    headers << method + " " + RequestPath(m_targetPath) + " HTTP/" + m_requestVer;
    if (!m_accept.isEmpty())
        headers << "Accept: " + m_accept;
    if (withBody && !m_contentTypePost.isEmpty())
        headers << "Content-Type: " + m_contentTypePost;
    if (!m_agent.isEmpty())
        headers << "User-Agent: " + m_agent;
    if (m_targetPort.isEmpty() || m_targetPort == "80")
        headers << "Host: " + m_targetHost;
    else
        headers << "Host: " + m_targetHost + ":" + m_targetPort;
    if (m_noCache)
        headers << "Pragma: no-cache";
    if (withBody) {
        qint64 length = 0;
        if (m_sendStream)
            length = qMax<qint64>(0, m_sendStream->size() - m_sendStream->pos());
        headers << "Content-Length: " + QByteArray::number(length);
    }
    if (!m_contentRangeBegin.isEmpty() || !m_contentRangeEnd.isEmpty()) {
        headers << "Range: bytes=" + m_contentRangeBegin + "-" + m_contentRangeEnd;
        m_contentRangeBegin.clear();
        m_contentRangeEnd.clear();
    }
    m_acceptRanges.clear();

    if (!Raise(OnBeforeHeaderSend, method, headers) || Stopped(serial))
        return;
    if (!Raise(OnRequestHeaderBegin) || Stopped(serial))
        return;
    QByteArray out;
    for (QByteArray& line : headers) {
        if (!Raise(OnCommand, line) || Stopped(serial))
            return;
        out += line;
        out += "\r\n";
    }
    if (!Raise(OnRequestHeaderEnd) || Stopped(serial))
        return;
    out += "\r\n";
    m_socket->Send(out.constData(), out.size());

    if (withBody) {
        m_sendingBody = true;
        if (!Raise(OnSendBegin) || Stopped(serial))
            return;
        SendNextChunk();
    }
}

void THttpCli::SendNextChunk()
{
    if (!m_sendingBody)
        return;
    const quint32 serial = m_serial;
    char buffer[kSendChunk];
    const qint64 n = m_sendStream ? m_sendStream->read(buffer, kSendChunk) : 0;
    if (n < 0) {
        FailReply(httperrStream);
        return;
    }
    if (n == 0) {
        m_sendingBody = false;
        if (!Raise(OnSendEnd) || m_serial != serial)
            return;
        if (m_holdSetReady) {
            m_holdSetReady = false;
            PostSetReady();
        }
        return;
    }
    m_sentCount += n;
    if (!Raise(OnSendData, static_cast<const char*>(buffer), int(n)) || Stopped(serial))
        return;
    m_socket->Send(buffer, n);
}

void THttpCli::SocketDataSent(int)
{
    if (m_sendingBody && (m_state == httpWaitingHeader || m_state == httpWaitingBody))
        SendNextChunk();
}

// ---- receiving ----

void THttpCli::ResetReply()
{
    ClearRcvBuf();
    m_headerLineCount = 0;
    m_headerBytes = 0;
    m_inHeader = false;
    m_headerEnded = false;
    m_afterContinue = false;
    m_replyDone = false;
    m_responseVer.clear();
    m_replyContentType.clear();
    m_transferCoding.clear();
    m_contentCoding.clear();
    m_authHeaders.clear();
    m_bodyLineCount = 0;
    m_docEndRaised = false;
    m_chunkState = chunkGetSize;
    m_chunkSize = 0;
    m_chunkRcvd = 0;
    m_chunkDigits = 0;
    m_chunkLineBytes = 0;
    m_lastChunk = false;
}

void THttpCli::SocketDataAvailable(int)
{
    const bool reading = (m_state == httpWaitingHeader || m_state == httpWaitingBody) &&
                         !m_replyDone && !m_failed && !m_relocatePending;
    if (!reading) {
        // Nothing is expected: drop what came. Bytes on an idle kept-alive
        // connection mean it is out of step, so it is not reused.
        char scratch[8192];
        while (m_socket->Receive(scratch, sizeof scratch) > 0) {
        }
        if (m_state == httpReady)
            m_socket->Shutdown();
        return;
    }
    const quint32 serial = m_serial;
    qint64 taken = 0;
    while (taken < kReadPerRound) {
        if (m_rcvStart == m_rcvLen)
            ClearRcvBuf();
        if (m_rcvBuf.size() - m_rcvLen - 1 < kMinFree) {
            if (m_rcvStart > 0) {
                std::memmove(m_rcvBuf.data(), m_rcvBuf.constData() + m_rcvStart,
                             size_t(m_rcvLen - m_rcvStart));
                m_rcvLen -= m_rcvStart;
                m_rcvStart = 0;
            }
            if (m_rcvBuf.size() - m_rcvLen - 1 < kMinFree)
                m_rcvBuf.resize(m_rcvLen + kReadSize + 1);
        }
        const qint64 n =
            m_socket->Receive(m_rcvBuf.data() + m_rcvLen, m_rcvBuf.size() - m_rcvLen - 1);
        if (n <= 0)
            break;
        if (taken == 0)
            m_noDataTimer->start(qMax(0, m_noDataTimeout));
        taken += n;
        m_rcvLen += n;
        m_rcvBuf.data()[m_rcvLen] = '\0';

        if (m_state == httpWaitingBody) {
            const char* data = m_rcvBuf.constData() + m_rcvStart;
            const qint64 len = m_rcvLen - m_rcvStart;
            ClearRcvBuf();
            if (!ProcessBody(data, len))
                return;
        } else if (!ProcessHeaderLines()) {
            return;
        }
        if (Stopped(serial) || m_replyDone || m_relocatePending)
            break;
    }
    if (Stopped(serial) || m_replyDone || m_relocatePending) {
        ClearRcvBuf();
        if (m_socket && serial == m_serial && m_state != httpReady) {
            char scratch[8192];
            while (m_socket->Receive(scratch, sizeof scratch) > 0) {
            }
        }
    }
}

bool THttpCli::ProcessHeaderLines()
{
    const quint32 serial = m_serial;
    while (m_state != httpWaitingBody) {
        const char* p = m_rcvBuf.constData() + m_rcvStart;
        const qsizetype avail = m_rcvLen - m_rcvStart;
        // Bytes already searched are not searched again when a long line
        // comes in many small pieces.
        const char* lf = static_cast<const char*>(
            std::memchr(p + m_rcvScanned, '\n', size_t(avail - m_rcvScanned)));
        if (!lf) {
            m_rcvScanned = avail;
            if (avail > MaxHeaderLine)
                FailReply(httperrBadReply);
            return true;
        }
        m_rcvScanned = 0;
        const qsizetype len = lf - p;
        m_headerBytes += len + 1;
        if (len > MaxHeaderLine || m_headerBytes > MaxHeaderBlock) {
            FailReply(httperrBadReply);
            return true;
        }
        const QByteArray line(p, len > 0 && p[len - 1] == '\r' ? len - 1 : len);
        m_rcvStart += len + 1;
        if (!HeaderLine(line))
            return false;
        if (Stopped(serial) || m_replyDone || m_relocatePending)
            return true;
    }
    if (m_rcvStart < m_rcvLen) {
        const char* data = m_rcvBuf.constData() + m_rcvStart;
        const qint64 len = m_rcvLen - m_rcvStart;
        ClearRcvBuf();
        return ProcessBody(data, len);
    }
    ClearRcvBuf();
    return true;
}

bool THttpCli::HeaderLine(const QByteArray& line)
{
    const quint32 serial = m_serial;
    if (m_headerLineCount == 0) {
        // Blank lines before a status line (left over from a previous
        // reply) are skipped.
        if (line.isEmpty())
            return true;
        if (!m_afterContinue) {
            if (!Raise(OnHeaderBegin))
                return false;
            if (Stopped(serial))
                return true;
        }
        m_inHeader = true;
        if (StartsWithNoCase(line, "<HTML>") || StartsWithNoCase(line, "<!DOCTYPE")) {
            // A bare document without a header: all of it until the close
            // is body.
            if (m_replyContentType.isEmpty())
                m_replyContentType = "text/html";
            ++m_headerLineCount;
            m_inHeader = false;
            m_headerEnded = true;
            m_contentLength = -1;
            m_transferCoding.clear();
            if (!SetState(httpWaitingBody))
                return false;
            if (Stopped(serial))
                return true;
            return Raise(OnHeaderEnd);
        }
    }
    if (line.isEmpty())
        return HeaderEnd();
    ++m_headerLineCount;
    m_rcvdHeader.append(line);
    if (m_headerLineCount == 1) {
        if (!StatusLine(line))
            return false;
    } else if (!HeaderField(line)) {
        return false;
    }
    if (Stopped(serial))
        return true;
    return Raise(OnHeaderData);
}

bool THttpCli::StatusLine(const QByteArray& line)
{
    const QByteArray start = line.left(8);
    if (start != "HTTP/1.0" && start != "HTTP/1.1")
        return Raise(OnDataPush2);
    m_responseVer = line.mid(5, 3);
    if (m_requestVer == "1.0")
        m_closeAfterReply = true;
    else
        m_closeAfterReply = m_responseVer == "1.0";

    qsizetype i = 9;
    while (i < line.size() && !IsDigit(line[i]))
        ++i;
    if (i + 3 > line.size() || !IsDigit(line[i]) || !IsDigit(line[i + 1]) ||
        !IsDigit(line[i + 2])) {
        // Unreadable reply: give it up with status 0.
        m_statusCode = 0;
        FailReply(0);
        return true;
    }
    m_statusCode = (line[i] - '0') * 100 + (line[i + 1] - '0') * 10 + (line[i + 2] - '0');
    m_reasonPhrase = line.mid(i + 4);
    return true;
}

bool THttpCli::HeaderField(const QByteArray& line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon < 0)
        return true;
    const QByteArray name = line.left(colon).toLower();
    const QByteArray value = SkipBlanks(line.mid(colon + 1));

    if (name == "location") {
        HandleLocation(value);
    } else if (name == "content-length") {
        bool ok = false;
        const qint64 length = value.trimmed().toLongLong(&ok);
        // A negative length is no length: the body then runs to the close.
        m_contentLength = ok && length >= 0 ? length : -1;
    } else if (name == "transfer-encoding") {
        m_transferCoding = value.trimmed().toLower();
    } else if (name == "content-range") {
        // "bytes " first "-" last "/" total
        const QByteArray v = value.trimmed();
        if (StartsWithNoCase(v, "bytes ")) {
            const QByteArray range = v.mid(6).trimmed();
            const qsizetype dash = range.indexOf('-');
            const qsizetype slash = range.indexOf('/');
            if (dash > 0 && slash > dash) {
                m_contentRangeBegin = range.left(dash).trimmed();
                m_contentRangeEnd = range.mid(dash + 1, slash - dash - 1).trimmed();
            }
        }
    } else if (name == "accept-ranges") {
        m_acceptRanges = value;
    } else if (name == "content-type") {
        m_replyContentType = value.toLower();
    } else if (name == "set-cookie") {
        bool accept = true;
        return Raise(OnCookie, value, accept);
    } else if (name == "connection" || name == "proxy-connection") {
        const QByteArray v = value.trimmed().toLower();
        if (v == "close")
            m_closeAfterReply = true;
        else if (v == "keep-alive")
            m_closeAfterReply = false;
    } else if (name == "content-encoding") {
        m_contentCoding = value;
    } else if (name == "www-authenticate" || name == "proxy-authenticate") {
        if (m_authHeaders.size() < 64)
            m_authHeaders.append(value);
    }
    return true;
}

void THttpCli::HandleLocation(const QByteArray& raw)
{
    const QByteArray value = raw.trimmed();
    if (!m_followRelocation || m_requestType == httpPUT) {
        m_location = value;
        return;
    }
    m_locationFlag = true;
    if (value.startsWith('/')) {
        m_targetPath = value;
        m_location = LocationFor(m_targetPath);
    } else if (!StartsWithNoCase(value, "http://") && !StartsWithNoCase(value, "https://")) {
        const qsizetype query = m_targetPath.indexOf('?');
        const QByteArray head = query >= 0 ? m_targetPath.left(query) : m_targetPath;
        const qsizetype cut = qMax(head.lastIndexOf('/'), head.lastIndexOf(':'));
        m_targetPath = head.left(cut + 1) + value;
        m_location = LocationFor(m_targetPath);
    } else {
        const qsizetype sep = value.indexOf("://");
        const QByteArray rest = value.mid(sep + 3);
        qsizetype pathStart = -1;
        for (qsizetype i = 0; i < rest.size(); ++i) {
            if (rest[i] == '/' || rest[i] == '?') {
                pathStart = i;
                break;
            }
        }
        SplitTarget(value);
        m_location = LocationFor(pathStart >= 0 ? m_targetPath : QByteArray());
    }
    const qsizetype hash = m_targetPath.indexOf('#');
    if (hash >= 0)
        m_targetPath.truncate(hash);
}

bool THttpCli::HeaderEnd()
{
    const quint32 serial = m_serial;
    if (m_responseVer == "1.1" && m_statusCode == 100) {
        // Interim reply: the real status line follows.
        m_rcvdHeader.clear();
        m_headerLineCount = 0;
        m_afterContinue = true;
        return true;
    }
    m_inHeader = false;
    m_headerEnded = true;
    if (!Raise(OnHeaderEnd))
        return false;
    if (Stopped(serial)) {
        ClearRcvBuf();
        return true;
    }

    const int s = m_statusCode;
    const bool noBody =
        (m_contentLength == -1 && m_transferCoding != "chunked" &&
         (s < 200 || s == 204 || s == 301 || s == 302 || s == 304 || s == 401 || s == 407)) ||
        m_contentLength == 0;
    if (noBody) {
        m_replyDone = true;
        if (m_closeAfterReply) {
            if (m_locationFlag)
                return RelocateAfterReply();
            m_socket->CloseDelayed();
        } else {
            ReplyComplete();
        }
        return true;
    }
    if (m_maxBodySize >= 0 && m_contentLength > m_maxBodySize) {
        m_reasonPhrase = "Reply body of " + QByteArray::number(m_contentLength) +
                         " bytes, more than " + QByteArray::number(m_maxBodySize);
        FailReply(httperrTooLarge);
        return true;
    }
    AdjustDocName();
    return SetState(httpWaitingBody);
}

void THttpCli::AdjustDocName()
{
    if (m_replyContentType != "text/html")
        return;
    const qsizetype dot = m_docName.lastIndexOf('.');
    if (dot < 0)
        m_docName += ".htm";
    else if (dot == m_docName.size() - 1 || m_docName.mid(dot + 1).toLower() == "exe")
        m_docName = m_docName.left(dot + 1) + "htm";
}

bool THttpCli::ProcessBody(const char* data, qint64 len)
{
    const quint32 serial = m_serial;
    if (m_bodyLineCount == 0) {
        if (!Raise(OnDocBegin))
            return false;
        if (Stopped(serial))
            return true;
        m_chunkState = chunkGetSize;
        m_chunkSize = m_chunkRcvd = 0;
        m_chunkDigits = m_chunkLineBytes = 0;
        m_lastChunk = false;
    }
    ++m_bodyLineCount;

    if (m_transferCoding != "chunked") {
        qint64 n = len;
        if (m_contentLength >= 0)
            n = qMin(len, m_contentLength - m_rcvdCount);
        if (n > 0 && !DeliverBody(data, n))
            return false;
        if (Stopped(serial))
            return true;
        if (m_contentLength >= 0 && m_rcvdCount >= m_contentLength)
            return BodyComplete();
        return true;
    }

    const char* p = data;
    const char* end = data + len;
    while (p < end) {
        switch (m_chunkState) {
        case chunkGetSize: {
            const int digit = HexDigit(*p);
            if (digit < 0) {
                if (m_chunkDigits == 0) {
                    FailReply(httperrBadReply);
                    return true;
                }
                m_chunkState = chunkGetExt;
                break;
            }
            if (m_chunkSize > (std::numeric_limits<qint64>::max() >> 4)) {
                FailReply(httperrBadReply);
                return true;
            }
            m_chunkSize = m_chunkSize * 16 + digit;
            ++m_chunkDigits;
            ++p;
            if (++m_chunkLineBytes > MaxHeaderLine) {
                FailReply(httperrBadReply);
                return true;
            }
            break;
        }
        case chunkGetExt:
        case chunkSkipDataEnd: {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            const qint64 skipped = (lf ? lf : end) - p;
            m_chunkLineBytes += int(qMin<qint64>(skipped, MaxHeaderLine + 1));
            if (m_chunkLineBytes > MaxHeaderLine) {
                FailReply(httperrBadReply);
                return true;
            }
            if (!lf) {
                p = end;
                break;
            }
            p = lf + 1;
            m_chunkLineBytes = 0;
            if (m_chunkState == chunkGetExt) {
                if (m_chunkSize == 0) {
                    m_lastChunk = true;
                    m_chunkState = chunkSkipDataEnd;
                } else {
                    m_chunkRcvd = 0;
                    m_chunkState = chunkGetData;
                }
            } else if (m_lastChunk) {
                m_chunkState = chunkDone;
                return BodyComplete();
            } else {
                m_chunkSize = 0;
                m_chunkDigits = 0;
                m_chunkState = chunkGetSize;
            }
            break;
        }
        case chunkGetData: {
            const qint64 n = qMin<qint64>(end - p, m_chunkSize - m_chunkRcvd);
            if (!DeliverBody(p, n))
                return false;
            if (Stopped(serial))
                return true;
            m_chunkRcvd += n;
            p += n;
            if (m_chunkRcvd == m_chunkSize) {
                m_chunkState = chunkSkipDataEnd;
                m_chunkLineBytes = 0;
            }
            break;
        }
        case chunkDone:
            return true;
        }
    }
    return true;
}

bool THttpCli::DeliverBody(const char* data, qint64 len)
{
    if (m_maxBodySize >= 0 && m_rcvdCount + len > m_maxBodySize) {
        m_reasonPhrase = "Reply body longer than " + QByteArray::number(m_maxBodySize) + " bytes";
        FailReply(httperrTooLarge);
        return true;
    }
    m_rcvdCount += len;
    if (m_rcvdStream && m_rcvdStream->write(data, len) != len) {
        FailReply(httperrStream);
        return true;
    }
    return Raise(OnDocData, data, int(len));
}

bool THttpCli::BodyComplete()
{
    const quint32 serial = m_serial;
    m_replyDone = true;
    m_docEndRaised = true;
    if (!Raise(OnDocEnd))
        return false;
    if (Stopped(serial))
        return true;
    if (m_closeAfterReply)
        m_socket->CloseDelayed();
    else
        ReplyComplete();
    return true;
}

void THttpCli::ReplyComplete()
{
    // On a kept connection a redirect is not followed.
    m_locationFlag = false;
    if (m_sendingBody && (m_statusCode == 401 || m_statusCode == 407))
        m_holdSetReady = true;
    else
        PostSetReady();
}

// ---- close and relocation ----

void THttpCli::SocketSessionClosed(int error)
{
    ConnectionClosed(error);
}

bool THttpCli::ConnectionClosed(int error)
{
    const quint32 serial = m_serial;
    ClearRcvBuf();
    if (m_state == httpReady)
        return Raise(OnSessionClosed);
    if (error != 0)
        m_errCode = quint16(error);
    if (m_holdSetReady) {
        // The body can go no further: do not wait for its end.
        m_holdSetReady = false;
        m_sendingBody = false;
        PostSetReady();
    }
    m_sendingBody = false;
    if (m_relocatePending) {
        m_relocatePending = false;
        return Relocate();
    }
    const bool givenUp = m_state == httpAborting || m_failed;
    const bool cutShort = !givenUp && !m_locationFlag && ReplyCutShort();
    if (cutShort && m_errCode == 0)
        m_errCode = httperrIncomplete;
    if (!givenUp) {
        if (m_state == httpWaitingHeader && !m_headerEnded) {
            m_headerEnded = true;
            m_inHeader = false;
            // A header cut off is no header: nobody may act on its part.
            if (!cutShort && !Raise(OnHeaderEnd))
                return false;
        } else if (m_bodyLineCount > 0 && !m_docEndRaised) {
            m_docEndRaised = true;
            if (!Raise(OnDocEnd))
                return false;
        }
        if (m_serial != serial)
            return true;
        if (m_locationFlag && !Stopped(serial))
            return Relocate();
    }
    if (!Raise(OnSessionClosed))
        return false;
    if (m_serial == serial && m_state != httpReady)
        PostSetReady();
    return true;
}

bool THttpCli::ReplyCutShort() const
{
    if (m_replyDone)
        return false;
    if (!m_headerEnded)
        return m_state == httpWaitingHeader;
    if (m_state != httpWaitingBody)
        return false;
    if (m_transferCoding == "chunked")
        return m_chunkState != chunkDone;
    return m_contentLength >= 0 && m_rcvdCount < m_contentLength;
}

bool THttpCli::RelocateAfterReply()
{
    const quint32 serial = m_serial;
    m_rcvdCount = 0;
    ClearRcvBuf();
    m_headerLineCount = 0;
    m_bodyLineCount = 0;
    ++m_locationChangeCurCount;
    const int verdict = TestRelocationLimit();
    if (verdict < 0)
        return false;
    if (verdict == 0 || Stopped(serial))
        return true;
    m_relocatePending = true;
    m_socket->CloseDelayed();
    return true;
}

int THttpCli::TestRelocationLimit()
{
    if (m_locationChangeCurCount <= m_locationChangeMaxCount)
        return 1;
    const quint32 serial = m_serial;
    bool allow = false;
    if (!Raise(OnLocationChangeExceeded, m_locationChangeCurCount, allow))
        return -1;
    if (Stopped(serial))
        return 0;
    if (allow)
        return 1;
    // The request ends with the redirect reply's own status.
    m_locationFlag = false;
    m_relocatePending = false;
    PostSetReady();
    return 0;
}

bool THttpCli::Relocate()
{
    const quint32 serial = m_serial;
    const qsizetype hash = m_location.indexOf('#');
    if (hash >= 0)
        m_location.truncate(hash);
    m_docName = DocNameFromPath(m_targetPath);
    m_locationFlag = false;
    if (m_requestType == httpPOST)
        m_requestType = httpGET;
    ++m_locationChangeCurCount;
    const int verdict = TestRelocationLimit();
    if (verdict < 0)
        return false;
    if (verdict == 0 || Stopped(serial))
        return true;
    if (!Raise(OnLocationChange))
        return false;
    if (Stopped(serial))
        return true;

    m_rcvdCount = 0;
    m_rcvdHeader.clear();
    m_statusCode = 0;
    m_contentLength = -1;
    m_replyContentType.clear();
    m_transferCoding.clear();
    m_contentCoding.clear();
    CutBack(m_rcvdStream, m_rcvdStreamStartSize);
    if (m_sendStream && m_sentCount > 0 && !m_sendStream->isSequential())
        m_sendStream->seek(qMax<qint64>(0, m_sendStream->pos() - m_sentCount));
    m_sentCount = 0;
    m_sendingBody = false;

    QMetaObject::invokeMethod(
        this, [this, serial] { RelocationRestart(serial); }, Qt::QueuedConnection);
    return true;
}

void THttpCli::RelocationRestart(quint32 serial)
{
    if (Stopped(serial))
        return;
    m_closeAfterReply = m_requestVer == "1.0";
    ResetReply();
    Guard([&] {
        m_socket->Shutdown();
        if (!SetState(httpNotConnected) || Stopped(serial))
            return;
        Connecting();
    });
}

// ---- completion ----

void THttpCli::PostSetReady()
{
    const quint32 serial = m_serial;
    QMetaObject::invokeMethod(
        this, [this, serial] { SetReady(serial); }, Qt::QueuedConnection);
}

void THttpCli::SetReady(quint32 serial)
{
    if (serial != m_serial || m_state == httpReady)
        return;
    m_noDataTimer->stop();
    // A reply's bytes are not kept beyond its request.
    m_rcvBuf = QByteArray();
    ClearRcvBuf();
    const bool reusable =
        !m_closeAfterReply && m_replyDone && !m_failed && !m_sendingBody && m_statusCode != 0;
    if (!reusable)
        m_socket->Shutdown();
    m_locationFlag = false;
    m_relocatePending = false;
    m_sendingBody = false;
    m_holdSetReady = false;
    const THttpRequest type = m_requestType;
    const quint16 error = m_errCode;
    m_state = httpReady;
    QPointer<THttpCli> self(this);
    try {
        if (!Raise(OnStateChange))
            return;
    } catch (...) {
        if (!self)
            return;
    }
    PostRequestDone(type, error);
}

void THttpCli::PostRequestDone(THttpRequest type, quint16 error)
{
    QMetaObject::invokeMethod(
        this, [this, type, error] { RaiseRequestDone(type, error); }, Qt::QueuedConnection);
}

void THttpCli::RaiseRequestDone(THttpRequest type, quint16 error)
{
    try {
        Raise(OnRequestDone, type, error);
    } catch (...) {
        // The client is ready already; a failing handler changes nothing.
    }
}

void THttpCli::FailReply(quint16 error)
{
    if (!IsBusy() || m_state == httpAborting)
        return;
    if (error != 0)
        m_errCode = error;
    m_failed = true;
    m_locationFlag = false;
    m_relocatePending = false;
    m_sendingBody = false;
    m_holdSetReady = false;
    ClearRcvBuf();
    m_socket->Shutdown();
    PostSetReady();
}

void THttpCli::SocketBgException()
{
    FailReply(m_errCode != 0 ? m_errCode : httperrHandler);
}

template <class F> void THttpCli::Guard(F&& f)
{
    QPointer<THttpCli> self(this);
    try {
        f();
    } catch (...) {
        if (self)
            FailReply(m_errCode != 0 ? m_errCode : httperrHandler);
    }
}

// ---- abort ----

void THttpCli::Abort()
{
    if (m_state == httpAborting)
        return;
    QPointer<THttpCli> self(this);
    auto raiseStateChange = [&] {
        try {
            return Raise(OnStateChange);
        } catch (...) {
            return !self.isNull();
        }
    };

    m_noDataTimer->stop();
    if (m_state == httpReady) {
        m_state = httpAborting;
        m_socket->Shutdown();
        m_statusCode = 200;
        m_reasonPhrase = "OK";
        m_errCode = 0;
        m_state = httpReady;
        if (!raiseStateChange())
            return;
        RaiseRequestDone(m_requestType, 0);
        return;
    }

    const quint32 serial = m_serial;
    m_state = httpAborting;
    if (!raiseStateChange())
        return;
    if (m_serial != serial)
        return;
    m_state = httpAborting;
    m_statusCode = 404;
    m_reasonPhrase = "Connection aborted on request";
    m_errCode = httperrAborted;
    m_locationFlag = false;
    m_relocatePending = false;
    m_sendingBody = false;
    m_holdSetReady = false;
    ClearRcvBuf();
    const TWSocket::TSocketState socketState = m_socket->State();
    try {
        if (socketState == TWSocket::wsConnecting || socketState == TWSocket::wsConnected ||
            socketState == TWSocket::wsClosing) {
            m_socket->Abort(); // its close is handled at once
        } else {
            m_socket->Shutdown();
            ConnectionClosed(0);
        }
    } catch (...) {
    }
    if (!self || m_serial != serial)
        return;
    m_socket->Shutdown();
    const THttpRequest type = m_requestType;
    m_state = httpReady;
    if (!raiseStateChange())
        return;
    PostRequestDone(type, httperrAborted);
}
