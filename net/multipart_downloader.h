#pragma once

#include "net/http_cli.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>

class QIODevice;
class TPartHttpCli;
class TMultipartHttpDownloader;

using TDownloadDoneEvent =
    std::function<void(TMultipartHttpDownloader* Sender, int ErrorCode, const QByteArray& Reason)>;

// Fetches one document into a caller-supplied file over several range
// requests at once. A probe request learns the length; the length is then
// cut into PartCount ranges, each fetched by its own TPartHttpCli and
// written at its place in FileStream as it arrives.
//
// FileStream: an open, writable, seekable device set by the caller before
// Start. On success (report 200, "OK") the downloader closes and deletes it
// and clears the property; after any other report, and when a transfer is
// abandoned by a new Start, it stays open and belongs to the caller.
//
// OnRequestDone comes at most once per transfer, from the event loop:
//   200, "OK"                  the file holds exactly ContentLength bytes,
//                              each written from its own range;
//   client error code, "Download failed"
//                              the probe failed in transport, or its 200
//                              reply had no length or length 0;
//   status, reason phrase      the probe ended with a status other than 200;
//   httperrTooLarge, "Download failed: ..."
//                              the probe announced more than MaxLength bytes;
//   other codes, "Download failed: ..."
//                              a part failed MaxPartFailures times in a row
//                              or the file refused a write (then the code is
//                              THttpCli::httperrStream).
// After every report but (200, "OK") ReceivedCount is 0: nothing usable was
// delivered. The handler may call Start again or destroy the downloader.
class TMultipartHttpDownloader : public QObject
{
    Q_OBJECT

public:
    // Failed requests in a row after which a part gives the transfer up.
    static constexpr int MaxPartFailures = 5;
    // More parts than this are refused (each part is a connection).
    static constexpr int MaxPartCount = 64;

    explicit TMultipartHttpDownloader(QObject* parent = nullptr);
    ~TMultipartHttpDownloader() override;

    QByteArray URL() const { return m_url; }
    void SetURL(const QByteArray& url) { m_url = url; }
    int PartCount() const { return m_partCount; }
    void SetPartCount(int count) { m_partCount = count; }
    QIODevice* FileStream() const { return m_fileStream; }
    void SetFileStream(QIODevice* stream) { m_fileStream = stream; }
    // Longest document accepted (-1: no bound); the probe refuses a longer
    // one before anything is written.
    qint64 MaxLength() const { return m_maxLength; }
    void SetMaxLength(qint64 bytes) { m_maxLength = bytes; }
    // THttpCli::NoDataTimeout of the probe and of every part.
    int NoDataTimeout() const { return m_noDataTimeout; }
    void SetNoDataTimeout(int ms) { m_noDataTimeout = ms; }

    // Document length learned by the probe (-1: the reply had none).
    qint64 ContentLength() const { return m_contentLength; }
    // Body bytes written by all parts since Start, bytes written again after
    // a restart included.
    qint64 ReceivedCount() const { return m_receivedCount; }

    // Begins a transfer and returns at once; a running transfer is abandoned
    // without a report. Raises EHttpException "PartCount must be positive"
    // when PartCount is 1 or less, and refuses a missing or unusable
    // FileStream; nothing changes then.
    void Start();

    TDownloadDoneEvent OnRequestDone;

private:
    void ProbeHeaderEnd(THttpCli* client);
    void GetASyncRequestDone(THttpCli* client, quint16 ErrCode);
    void StartParts(quint32 serial);
    void PartHeaderEnd(TPartHttpCli* client);
    void PartDocData(TPartHttpCli* client, const char* Buffer, int Len);
    void PartLocationChange(TPartHttpCli* client);
    void PartRequestDone(TPartHttpCli* client, quint16 ErrCode);
    void RestartPart(TPartHttpCli* client);
    // Asks for the bytes of the part still missing, from StartOffset +
    // DataCount.
    void ContinuePart(TPartHttpCli* client);
    void RequestPart(TPartHttpCli* client, qint64 begin);
    void CheckDone(int code, const QByteArray& reason);
    // Ends the transfer with a failure report.
    void Fail(int code, const QByteArray& reason);
    void Report(int code, const QByteArray& reason);
    void DestroyClients();
    bool Current(quint32 serial) const { return serial == m_serial; }

    QByteArray m_url;
    int m_partCount = 0;
    QIODevice* m_fileStream = nullptr;
    qint64 m_maxLength = -1;
    int m_noDataTimeout = THttpCli::DefaultNoDataTimeout;
    qint64 m_contentLength = 0;
    qint64 m_receivedCount = 0;
    // PartCount and URL as Start found them: changing the properties while a
    // transfer runs does not reach it.
    int m_parts = 0;
    QByteArray m_transferUrl;
    QList<TPartHttpCli*> m_clients;
    // Tells the events of the current transfer from those of abandoned ones.
    quint32 m_serial = 0;
};
