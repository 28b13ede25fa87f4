#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class QIODevice;
class THttpCli;
class TMultipartHttpDownloader;

using TMultipartDownloadDone =
    std::function<void(TMultipartHttpDownloader* Sender, int ErrorCode, const QByteArray& Reason)>;

// Fetches one document into a caller-supplied file stream: a probe request
// learns its length, then PartCount range requests run at the same time,
// each writing its bytes at their place in the stream. A failed part is
// requested again from its first byte. On success the stream is closed,
// deleted and cleared before OnRequestDone(200, "OK"); on failure it is
// left to the caller. Start while a transfer runs abandons that transfer
// without a report (its stream is not touched).
class TMultipartHttpDownloader : public QObject
{
    Q_OBJECT

public:
    // A part given up after this many restarts ends the transfer with a
    // failure report, so a server that never answers 206 cannot keep us busy.
    static constexpr int MaxPartRestarts = 8;

    explicit TMultipartHttpDownloader(QObject* parent = nullptr);
    ~TMultipartHttpDownloader() override;

    QByteArray URL() const { return m_url; }
    void SetURL(const QByteArray& url) { m_url = url; }
    int PartCount() const { return m_partCount; }
    void SetPartCount(int count) { m_partCount = count; }
    QIODevice* FileStream() const { return m_fileStream; }
    void SetFileStream(QIODevice* stream) { m_fileStream = stream; }

    qint64 ContentLength() const { return m_contentLength; }
    qint64 ReceivedCount() const { return m_receivedCount; }

    // Raises std::out_of_range "PartCount must be positive" for PartCount <= 1.
    void Start();

    TMultipartDownloadDone OnRequestDone;

private:
    struct Part
    {
        std::unique_ptr<THttpCli> client;
        qint64 DataCount = 0;
        qint64 StartOffset = 0;
        qint64 EndOffset = 0;
        int Index = 0;
        bool Done = false;
        int Restarts = 0;
    };

    void ProbeHeaderEnd(THttpCli* client);
    void GetASyncRequestDone(THttpCli* client, quint16 errCode);
    void StartParts(quint32 serial);
    void PartLocationChange(Part& part);
    void PartDocData(Part& part, const char* buffer, int len);
    void PartRequestDone(Part& part, quint16 errCode);
    void RestartPart(Part& part);
    void CheckDone();
    void Report(int code, const QByteArray& reason);

    QByteArray m_url;
    int m_partCount = 0;
    QIODevice* m_fileStream = nullptr;
    qint64 m_contentLength = 0;
    qint64 m_receivedCount = 0;
    // Changes with every Start, so that a posted start of parts or an event
    // of an abandoned transfer is recognised and dropped.
    quint32 m_serial = 0;
    std::vector<std::unique_ptr<Part>> m_parts;
};
