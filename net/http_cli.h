#pragma once

#include "net/http_exception.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QIODevice;
class QTimer;
class TWSocket;

enum THttpRequest
{
    httpABORT,
    httpGET,
    httpPOST,
    httpPUT,
    httpHEAD,
    httpCLOSE
};

enum THttpState
{
    httpReady,
    httpNotConnected,
    httpConnected,
    httpDnsLookup,
    httpDnsLookupDone,
    httpWaitingHeader,
    httpWaitingBody,
    httpBodyReceived,
    httpWaitingProxyConnect,
    httpClosing,
    httpAborting
};

enum THttpCliOption
{
    httpoNoBasicAuth = 0x01,
    httpoNoNTLMAuth = 0x02,
    httpoBandwidthControl = 0x04,
    httpoEnableContentCoding = 0x08,
    httpoUseQuality = 0x10,
    httpoNoDigestAuth = 0x20
};
using THttpCliOptions = int;

enum THttpAuthType
{
    httpAuthNone,
    httpAuthBasic,
    httpAuthNtlm,
    httpAuthDigest
};

class THttpCli;

using TNotifyEvent = std::function<void(THttpCli* Sender)>;
using THttpRequestDone =
    std::function<void(THttpCli* Sender, THttpRequest RqType, quint16 ErrCode)>;
using TBeforeHeaderSendEvent =
    std::function<void(THttpCli* Sender, const QByteArray& Method, QList<QByteArray>& Headers)>;
using THttpCommandEvent = std::function<void(THttpCli* Sender, QByteArray& Line)>;
using TDocDataEvent = std::function<void(THttpCli* Sender, const char* Buffer, int Len)>;
using TCookieRcvdEvent =
    std::function<void(THttpCli* Sender, const QByteArray& Data, bool& Accept)>;
using TLocationChangeExceeded =
    std::function<void(THttpCli* Sender, int RelocationCount, bool& AllowMoreRelocations)>;

// Non-blocking HTTP/1.0 (and 1.1) client. A request is started by GetASync
// or PostASync, which return at once; progress and the end are reported by
// the events below, raised from the event loop. Each started request ends in
// exactly one OnRequestDone, raised after the client is ready again, so the
// next request may be started from inside it.
//
// Texts are byte strings (GBK / ASCII). SendStream and RcvdStream belong to
// the caller. When a redirect is followed, RcvdStream is cut back to the size
// it had at the start of the request; that works for QBuffer and QFileDevice
// (QFile, QSaveFile...). Any other device is only positioned back, so bytes
// of the redirect reply may remain beyond the final body.
//
// A client may be destroyed at any time, also inside one of its own event
// handlers: it then closes its connection and raises nothing further.
class THttpCli : public QObject
{
    Q_OBJECT

public:
    // Completion and exception codes.
    static constexpr quint16 httperrNoError = 0;
    static constexpr quint16 httperrBusy = 1;
    static constexpr quint16 httperrNoData = 2;
    static constexpr quint16 httperrAborted = 3;
    // The reply broke a limit (a header line or the header beyond its
    // bound) or its framing (a chunk size line that is not a hexadecimal
    // number of at most 63 bits).
    static constexpr quint16 httperrBadReply = 4;
    static constexpr quint16 httperrVersion = 5;
    // RcvdStream refused a write, or SendStream a read.
    static constexpr quint16 httperrStream = 6;
    // An event handler threw while the reply was processed.
    static constexpr quint16 httperrHandler = 7;
    // No byte arrived for NoDataTimeout milliseconds (name lookup and
    // connect included).
    static constexpr quint16 httperrTimeout = 8;
    // The connection closed before the reply was complete: inside the
    // header, before Content-Length bytes of body, or before the last chunk.
    static constexpr quint16 httperrIncomplete = 9;
    // The body is longer than MaxBodySize.
    static constexpr quint16 httperrTooLarge = 10;

    // Bounds on what a reply may make the client hold.
    static constexpr int MaxHeaderLine = 64 * 1024;
    static constexpr int MaxHeaderBlock = 1024 * 1024;
    // A stalled service frees the client within this bound: before the
    // search window's 20 s timeout and the hot-word bar's 30 s tick.
    static constexpr int DefaultNoDataTimeout = 15000;

    explicit THttpCli(QObject* parent = nullptr);
    // For tests and fuzzing: run on the given connection layer (taken over).
    THttpCli(TWSocket* socket, QObject* parent);
    ~THttpCli() override;

    // ---- configuration ----
    QString Name() const { return m_name; }
    void SetName(const QString& name) { m_name = name; }
    QByteArray URL() const { return m_url; }
    void SetURL(const QByteArray& url) { m_url = url; }
    QByteArray RequestVer() const { return m_requestVer; }
    // Only "1.0" and "1.1"; anything else raises EHttpException (code 5).
    void SetRequestVer(const QByteArray& version);
    QByteArray Agent() const { return m_agent; }
    void SetAgent(const QByteArray& agent) { m_agent = agent; }
    QByteArray Accept() const { return m_accept; }
    void SetAccept(const QByteArray& accept) { m_accept = accept; }
    QByteArray ContentTypePost() const { return m_contentTypePost; }
    void SetContentTypePost(const QByteArray& type) { m_contentTypePost = type; }
    bool NoCache() const { return m_noCache; }
    void SetNoCache(bool noCache) { m_noCache = noCache; }
    QByteArray LocalAddr() const { return m_localAddr; }
    void SetLocalAddr(const QByteArray& addr) { m_localAddr = addr; }
    bool FollowRelocation() const { return m_followRelocation; }
    void SetFollowRelocation(bool follow) { m_followRelocation = follow; }
    int LocationChangeMaxCount() const { return m_locationChangeMaxCount; }
    void SetLocationChangeMaxCount(int count) { m_locationChangeMaxCount = count; }
    QByteArray ContentRangeBegin() const { return m_contentRangeBegin; }
    void SetContentRangeBegin(const QByteArray& begin) { m_contentRangeBegin = begin; }
    QByteArray ContentRangeEnd() const { return m_contentRangeEnd; }
    void SetContentRangeEnd(const QByteArray& end) { m_contentRangeEnd = end; }
    // Milliseconds without a received byte after which a request ends with
    // httperrTimeout. Counted from the start and from every byte, so a slow
    // but flowing reply runs as long as it flows.
    int NoDataTimeout() const { return m_noDataTimeout; }
    void SetNoDataTimeout(int ms) { m_noDataTimeout = ms; }
    // Largest reply body accepted (-1: no bound); a longer one ends the
    // request with httperrTooLarge as soon as its length is known or its
    // bytes pass the bound, before RcvdStream holds more than this.
    qint64 MaxBodySize() const { return m_maxBodySize; }
    void SetMaxBodySize(qint64 bytes) { m_maxBodySize = bytes; }
    // Stored only: these take effect in no asynchronous request.
    int Timeout() const { return m_timeout; }
    void SetTimeout(int seconds) { m_timeout = seconds; }
    int BandwidthLimit() const { return m_bandwidthLimit; }
    void SetBandwidthLimit(int limit) { m_bandwidthLimit = limit; }
    int BandwidthSampling() const { return m_bandwidthSampling; }
    void SetBandwidthSampling(int sampling) { m_bandwidthSampling = sampling; }
    THttpCliOptions Options() const { return m_options; }
    void SetOptions(THttpCliOptions options) { m_options = options; }
    THttpAuthType ServerAuth() const { return m_serverAuth; }
    void SetServerAuth(THttpAuthType auth) { m_serverAuth = auth; }
    THttpAuthType ProxyAuth() const { return m_proxyAuth; }
    void SetProxyAuth(THttpAuthType auth) { m_proxyAuth = auth; }
    QIODevice* SendStream() const { return m_sendStream; }
    void SetSendStream(QIODevice* stream) { m_sendStream = stream; }
    QIODevice* RcvdStream() const { return m_rcvdStream; }
    void SetRcvdStream(QIODevice* stream) { m_rcvdStream = stream; }

    // ---- run-time properties ----
    int StatusCode() const { return m_statusCode; }
    QByteArray ReasonPhrase() const { return m_reasonPhrase; }
    qint64 ContentLength() const { return m_contentLength; }
    QByteArray AcceptRanges() const { return m_acceptRanges; }
    QByteArray DocName() const { return m_docName; }
    QByteArray Location() const { return m_location; }
    qint64 RcvdCount() const { return m_rcvdCount; }
    const QList<QByteArray>& RcvdHeader() const { return m_rcvdHeader; }
    THttpRequest RequestType() const { return m_requestType; }
    THttpState State() const { return m_state; }
    int LocationChangeCurCount() const { return m_locationChangeCurCount; }

    // ---- operations ----
    void GetASync();
    void PostASync();
    void Abort();

    // ---- events ----
    THttpRequestDone OnRequestDone;
    TNotifyEvent OnStateChange;
    TNotifyEvent OnSessionConnected;
    TNotifyEvent OnSessionClosed;
    TBeforeHeaderSendEvent OnBeforeHeaderSend;
    TNotifyEvent OnRequestHeaderBegin;
    TNotifyEvent OnRequestHeaderEnd;
    THttpCommandEvent OnCommand;
    TNotifyEvent OnSendBegin;
    TNotifyEvent OnSendEnd;
    TDocDataEvent OnSendData;
    TNotifyEvent OnHeaderBegin;
    TNotifyEvent OnHeaderData;
    TNotifyEvent OnHeaderEnd;
    TNotifyEvent OnDataPush2;
    TCookieRcvdEvent OnCookie;
    TNotifyEvent OnDocBegin;
    TDocDataEvent OnDocData;
    TNotifyEvent OnDocEnd;
    TNotifyEvent OnLocationChange;
    TLocationChangeExceeded OnLocationChangeExceeded;

private:
    enum TChunkState
    {
        chunkGetSize,
        chunkGetExt,
        chunkGetData,
        chunkSkipDataEnd,
        chunkDone
    };

    void StartRequest(THttpRequest type);
    void NoDataTimeoutExpired();
    // The connection closed before the reply being read was complete.
    bool ReplyCutShort() const;
    bool SetState(THttpState state);
    // True once the request `serial` is over or given up, so that the
    // caller stops working on it.
    bool Stopped(quint32 serial) const;
    void Connecting();
    void SendRequest();
    void SendNextChunk();
    void ResetReply();

    // Connection-layer notifications.
    void SocketDnsLookupDone(int error);
    void SocketSessionConnected(int error);
    void SocketDataAvailable(int error);
    void SocketDataSent(int error);
    void SocketSessionClosed(int error);
    void SocketBgException();

    // Reply reading; each returns false once the client is gone.
    bool ProcessHeaderLines();
    bool HeaderLine(const QByteArray& line);
    bool StatusLine(const QByteArray& line);
    bool HeaderField(const QByteArray& line);
    bool HeaderEnd();
    bool ProcessBody(const char* data, qint64 len);
    bool DeliverBody(const char* data, qint64 len);
    bool BodyComplete();
    void ReplyComplete();
    void AdjustDocName();
    void HandleLocation(const QByteArray& value);

    bool ConnectionClosed(int error);
    bool RelocateAfterReply();
    bool Relocate();
    void RelocationRestart(quint32 serial);
    // 1: go on, 0: the request ends here, -1: the client is gone.
    int TestRelocationLimit();

    // Completion.
    void PostSetReady();
    void SetReady(quint32 serial);
    void PostRequestDone(THttpRequest type, quint16 error);
    void RaiseRequestDone(THttpRequest type, quint16 error);
    // Gives the reply up at once: the connection is dropped and the request
    // completes with `error` (0 keeps the code it has).
    void FailReply(quint16 error);
    // Runs f; a handler exception escaping it gives the request up.
    template <class F> void Guard(F&& f);

    void SplitTarget(const QByteArray& url);
    static QByteArray DocNameFromPath(const QByteArray& path);
    QByteArray LocationFor(const QByteArray& path) const;
    bool IsBusy() const { return m_state != httpReady; }

    // Raise an event; false when a handler destroyed the client.
    template <class E, class... A> bool Raise(const E& event, A&&... args);

    TWSocket* m_socket = nullptr;
    QTimer* m_noDataTimer = nullptr;

    // Configuration.
    QString m_name;
    QByteArray m_url;
    QByteArray m_requestVer = "1.0";
    QByteArray m_agent = "Mozilla/4.0 (compatible; VexaHttp)";
    QByteArray m_accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    QByteArray m_contentTypePost = "application/x-www-form-urlencoded";
    bool m_noCache = false;
    QByteArray m_localAddr = "0.0.0.0";
    bool m_followRelocation = true;
    int m_locationChangeMaxCount = 5;
    QByteArray m_contentRangeBegin;
    QByteArray m_contentRangeEnd;
    int m_timeout = 30;
    int m_noDataTimeout = DefaultNoDataTimeout;
    qint64 m_maxBodySize = -1;
    int m_bandwidthLimit = 10000;
    int m_bandwidthSampling = 1000;
    THttpCliOptions m_options = 0;
    THttpAuthType m_serverAuth = httpAuthNone;
    THttpAuthType m_proxyAuth = httpAuthNone;
    QIODevice* m_sendStream = nullptr;
    QIODevice* m_rcvdStream = nullptr;

    // Run-time state.
    int m_statusCode = 0;
    QByteArray m_reasonPhrase;
    qint64 m_contentLength = -1;
    QByteArray m_acceptRanges;
    QByteArray m_docName;
    QByteArray m_location;
    qint64 m_rcvdCount = 0;
    QList<QByteArray> m_rcvdHeader;
    THttpRequest m_requestType = httpGET;
    THttpState m_state = httpReady;
    int m_locationChangeCurCount = 0;

    // Request target, and the target the connection is open to.
    QByteArray m_targetScheme, m_targetHost, m_targetPort, m_targetPath;
    QByteArray m_user, m_password;
    QByteArray m_curScheme, m_curHost, m_curPort;
    bool m_closeAfterReply = true;
    quint16 m_errCode = 0;
    quint32 m_serial = 0; // of the current request
    qint64 m_sentCount = 0;
    qint64 m_rcvdStreamStartSize = 0;
    bool m_sendingBody = false;
    bool m_holdSetReady = false;
    bool m_failed = false;          // the reply was given up (limit, handler, stream)
    bool m_relocatePending = false; // path A: relocate once the connection closed

    // Receive buffer: bytes [m_rcvStart, m_rcvLen) are waiting.
    QByteArray m_rcvBuf;
    qsizetype m_rcvStart = 0;
    qsizetype m_rcvLen = 0;
    qsizetype m_rcvScanned = 0; // of the waiting bytes, searched for LF already
    void ClearRcvBuf() { m_rcvStart = m_rcvLen = m_rcvScanned = 0; }

    // Per reply.
    int m_headerLineCount = 0;
    qint64 m_headerBytes = 0;
    bool m_inHeader = false;
    bool m_headerEnded = false;
    bool m_afterContinue = false;
    bool m_replyDone = false;
    QByteArray m_responseVer;
    QByteArray m_replyContentType;
    QByteArray m_transferCoding;
    QByteArray m_contentCoding;
    QList<QByteArray> m_authHeaders;
    bool m_locationFlag = false;
    qint64 m_bodyLineCount = 0;
    bool m_docEndRaised = false;
    TChunkState m_chunkState = chunkGetSize;
    qint64 m_chunkSize = 0;
    qint64 m_chunkRcvd = 0;
    int m_chunkDigits = 0;
    int m_chunkLineBytes = 0;
    bool m_lastChunk = false;
};
