#include "net/multipart_downloader.h"

#include "net/http_exception.h"
#include "net/part_http_cli.h"

#include <QBuffer>
#include <QFileDevice>
#include <QIODevice>
#include <QMetaObject>

namespace {

// "Content-Range: bytes first-last/total" of the reply; total -1 for "*".
bool ReplyRange(const QList<QByteArray>& header, qint64& first, qint64& last, qint64& total)
{
    bool found = false;
    for (const QByteArray& line : header) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed().toLower() != "content-range")
            continue;
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!value.toLower().startsWith("bytes "))
            return false;
        const QByteArray range = value.mid(6).trimmed();
        const qsizetype dash = range.indexOf('-');
        const qsizetype slash = range.indexOf('/');
        if (dash <= 0 || slash < dash)
            return false;
        bool ok1 = false, ok2 = false, ok3 = true;
        first = range.left(dash).trimmed().toLongLong(&ok1);
        last = range.mid(dash + 1, slash - dash - 1).trimmed().toLongLong(&ok2);
        const QByteArray t = range.mid(slash + 1).trimmed();
        total = t == "*" ? -1 : t.toLongLong(&ok3);
        if (!ok1 || !ok2 || !ok3 || first < 0 || last < first)
            return false;
        found = true;
    }
    return found;
}

QByteArray PartName(const TPartHttpCli* client)
{
    return "part " + QByteArray::number(client->Index);
}

} // namespace

TMultipartHttpDownloader::TMultipartHttpDownloader(QObject* parent) : QObject(parent) {}

TMultipartHttpDownloader::~TMultipartHttpDownloader()
{
    DestroyClients();
}

void TMultipartHttpDownloader::DestroyClients()
{
    // Destroyed clients close their connections and raise nothing more, even
    // the one whose handler is running now.
    const QList<TPartHttpCli*> clients = m_clients;
    m_clients.clear();
    qDeleteAll(clients);
}

void TMultipartHttpDownloader::Start()
{
    if (m_partCount <= 1)
        throw EHttpException("PartCount must be positive", 0);
    if (m_partCount > MaxPartCount)
        throw EHttpException("PartCount must be at most " + std::to_string(MaxPartCount), 0);
    if (!m_fileStream || !m_fileStream->isWritable() || m_fileStream->isSequential())
        throw EHttpException("FileStream must be an open, writable, seekable stream",
                             THttpCli::httperrStream);

    ++m_serial;
    m_parts = m_partCount;
    m_transferUrl = m_url;
    m_contentLength = 0;
    m_receivedCount = 0;
    DestroyClients();

    auto* probe = new TPartHttpCli(this);
    probe->SetName("Part0");
    probe->Index = 0;
    probe->SetURL(m_transferUrl);
    probe->SetNoDataTimeout(m_noDataTimeout);
    probe->OnRequestDone = [this](THttpCli* client, THttpRequest, quint16 error) {
        GetASyncRequestDone(client, error);
    };
    probe->OnHeaderEnd = [this](THttpCli* client) { ProbeHeaderEnd(client); };
    m_clients << probe;
    probe->GetASync();
}

void TMultipartHttpDownloader::ProbeHeaderEnd(THttpCli* client)
{
    // Redirects are followed by the client; a final status other than 200
    // is read to its end and dropped.
    if (client->StatusCode() != 200)
        return;
    if (m_maxLength >= 0 && client->ContentLength() > m_maxLength) {
        Fail(THttpCli::httperrTooLarge, "Download failed: the document has " +
                                            QByteArray::number(client->ContentLength()) +
                                            " bytes, more than " + QByteArray::number(m_maxLength));
        return;
    }
    m_contentLength = client->ContentLength();
    client->Abort();
}

void TMultipartHttpDownloader::GetASyncRequestDone(THttpCli* client, quint16 ErrCode)
{
    if (m_contentLength > 0) {
        // The parts start once this client has finished its own completion
        // work, so that it can be reused as part 0.
        const quint32 serial = m_serial;
        QMetaObject::invokeMethod(
            this, [this, serial] { StartParts(serial); }, Qt::QueuedConnection);
        return;
    }
    if (ErrCode != 0) {
        Fail(ErrCode, "Download failed");
        return;
    }
    const int status = client->StatusCode();
    if (status == 0 || status == 200) {
        // An unreadable reply: never a code that could pass for success.
        Fail(THttpCli::httperrBadReply, "Download failed");
        return;
    }
    Fail(status, client->ReasonPhrase());
}

void TMultipartHttpDownloader::StartParts(quint32 serial)
{
    if (!Current(serial) || m_clients.size() != 1)
        return;
    const qint64 length = m_contentLength;
    const qint64 partSize = length / m_parts;

    m_clients[0]->OnHeaderEnd = nullptr;
    while (m_clients.size() < m_parts) {
        auto* client = new TPartHttpCli(this);
        client->SetName("Part" + QString::number(m_clients.size()));
        m_clients << client;
    }

    qint64 offset = 0;
    for (int i = 0; i < m_parts; ++i) {
        TPartHttpCli* client = m_clients[i];
        client->StartOffset = offset;
        client->EndOffset = i < m_parts - 1 ? offset + partSize : length;
        offset += partSize + 1;
        // With more parts than bytes to spare, the last parts start past the
        // end of the document: they have nothing to fetch.
        client->Size = client->StartOffset < length
                           ? qMin(client->EndOffset, length - 1) - client->StartOffset + 1
                           : 0;
        client->Index = i;
        client->SetURL(m_transferUrl);
        client->SetNoDataTimeout(m_noDataTimeout);
        client->OnHeaderEnd = [this](THttpCli* c) { PartHeaderEnd(static_cast<TPartHttpCli*>(c)); };
        client->OnDocData = [this](THttpCli* c, const char* buffer, int len) {
            PartDocData(static_cast<TPartHttpCli*>(c), buffer, len);
        };
        client->OnLocationChange = [this](THttpCli* c) {
            PartLocationChange(static_cast<TPartHttpCli*>(c));
        };
        client->OnRequestDone = [this](THttpCli* c, THttpRequest, quint16 error) {
            PartRequestDone(static_cast<TPartHttpCli*>(c), error);
        };
        client->DataCount = 0;
        client->Failures = 0;
        client->Done = client->Size == 0;
    }

    for (TPartHttpCli* client : QList<TPartHttpCli*>(m_clients)) {
        if (client->Done)
            continue;
        RequestPart(client, client->StartOffset);
        if (!Current(serial))
            return;
    }
}

void TMultipartHttpDownloader::RequestPart(TPartHttpCli* client, qint64 begin)
{
    client->Done = false;
    client->Accepted = false;
    client->AttemptStart = client->DataCount;
    client->FailCode = 0;
    client->FailReason.clear();
    client->SetContentRangeBegin(QByteArray::number(begin));
    client->SetContentRangeEnd(QByteArray::number(client->EndOffset));
    try {
        client->GetASync();
    } catch (const EHttpException& e) {
        Fail(e.Code(), QByteArray("Download failed: ") + e.what());
    }
}

void TMultipartHttpDownloader::PartHeaderEnd(TPartHttpCli* client)
{
    client->Accepted = false;
    const int status = client->StatusCode();
    const qint64 want = client->StartOffset + client->DataCount;
    if (status == 206) {
        qint64 first = 0, last = 0, total = 0;
        if (ReplyRange(client->RcvdHeader(), first, last, total) && first == want &&
            (total < 0 || total == m_contentLength)) {
            client->Accepted = true;
            return;
        }
        client->FailCode = THttpCli::httperrBadReply;
        client->FailReason = "Download failed: " + PartName(client) +
                             ": the server sent another range than bytes " +
                             QByteArray::number(want) + "-" + QByteArray::number(client->EndOffset);
    } else {
        // Redirects are followed by the client; a reply without a status
        // line ends the request by itself.
        if (status == 0 || (status >= 300 && status < 400))
            return;
        client->FailCode = status == 200 ? THttpCli::httperrBadReply : status;
        client->FailReason = "Download failed: " + PartName(client) + ": the server answered " +
                             QByteArray::number(status) + " " + client->ReasonPhrase() +
                             " to a range request";
    }
    // Whatever this reply carries does not belong in the file.
    client->Abort();
}

void TMultipartHttpDownloader::PartDocData(TPartHttpCli* client, const char* Buffer, int Len)
{
    if (Len <= 0 || !client->Accepted)
        return;
    // Bytes beyond the part (a server sending more than asked) are dropped.
    const qint64 n = qMin<qint64>(Len, client->Size - client->DataCount);
    if (n <= 0) {
        client->Abort();
        return;
    }
    QIODevice* stream = m_fileStream;
    if (!stream) {
        Fail(THttpCli::httperrStream, "Download failed: the file was taken away");
        return;
    }
    const qint64 position = client->StartOffset + client->DataCount;
    if ((stream->pos() != position && !stream->seek(position)) || stream->write(Buffer, n) != n) {
        Fail(THttpCli::httperrStream,
             "Download failed: cannot write the file: " + stream->errorString().toUtf8());
        return;
    }
    client->DataCount += n;
    m_receivedCount += n;
    // The part is whole: whatever else the server sends is not read.
    if (client->DataCount >= client->Size)
        client->Abort();
}

void TMultipartHttpDownloader::PartLocationChange(TPartHttpCli* client)
{
    if (client->DataCount >= client->Size) {
        // All of the part is there already: nothing to ask the new address.
        client->Abort();
        return;
    }
    client->SetContentRangeBegin(QByteArray::number(client->StartOffset + client->DataCount));
    client->SetContentRangeEnd(QByteArray::number(client->EndOffset));
}

void TMultipartHttpDownloader::PartRequestDone(TPartHttpCli* client, quint16 ErrCode)
{
    client->Done = true;
    if (client->DataCount >= client->Size) {
        client->Failures = 0;
        CheckDone(200, "OK");
        return;
    }

    const int status = client->StatusCode();
    const bool shortReply = client->FailReason.isEmpty() && status == 206 &&
                            (ErrCode == 0 || ErrCode == THttpCli::httperrIncomplete);
    if (shortReply && client->DataCount > client->AttemptStart) {
        // The server closed before the end of the range but sent something:
        // ask for the rest.
        client->Failures = 0;
        ContinuePart(client);
        return;
    }

    int code = client->FailCode;
    QByteArray reason = client->FailReason;
    if (reason.isEmpty()) {
        if (ErrCode != 0) {
            code = ErrCode;
            reason = "Download failed: " + PartName(client) + " broke off (error " +
                     QByteArray::number(ErrCode) + ")";
        } else if (status == 206) {
            code = THttpCli::httperrBadReply;
            reason = "Download failed: " + PartName(client) + ": the server sent no data";
        } else {
            code = status == 0 || status == 200 ? THttpCli::httperrBadReply : status;
            reason = "Download failed: " + PartName(client) + ": the server answered " +
                     QByteArray::number(status) + " " + client->ReasonPhrase() +
                     " to a range request";
        }
    }
    if (++client->Failures >= MaxPartFailures) {
        Fail(code, reason + " (" + QByteArray::number(client->Failures) + " attempts)");
        return;
    }
    if (shortReply)
        ContinuePart(client);
    else
        RestartPart(client);
}

void TMultipartHttpDownloader::RestartPart(TPartHttpCli* client)
{
    // From the part's first byte again; its bytes overwrite what it wrote.
    client->DataCount = 0;
    RequestPart(client, client->StartOffset);
}

void TMultipartHttpDownloader::ContinuePart(TPartHttpCli* client)
{
    RequestPart(client, client->StartOffset + client->DataCount);
}

void TMultipartHttpDownloader::CheckDone(int code, const QByteArray& reason)
{
    for (const TPartHttpCli* client : m_clients) {
        if (!client->Done)
            return;
    }
    QIODevice* stream = m_fileStream;
    if (!stream) {
        Fail(THttpCli::httperrStream, "Download failed: the file was taken away");
        return;
    }
    // A stream handed in with old content longer than the document is cut
    // to the document.
    auto* file = qobject_cast<QFileDevice*>(stream);
    if (file && !file->flush()) {
        Fail(THttpCli::httperrStream,
             "Download failed: cannot write the file: " + file->errorString().toUtf8());
        return;
    }
    if (stream->size() > m_contentLength) {
        if (file)
            file->resize(m_contentLength);
        else if (auto* buffer = qobject_cast<QBuffer*>(stream))
            buffer->buffer().resize(m_contentLength);
    }
    if (stream->size() != m_contentLength) {
        Fail(THttpCli::httperrStream,
             "Download failed: the file holds " + QByteArray::number(stream->size()) +
                 " bytes instead of " + QByteArray::number(m_contentLength));
        return;
    }
    m_fileStream = nullptr;
    stream->close();
    delete stream;
    Report(code, reason);
}

void TMultipartHttpDownloader::Fail(int code, const QByteArray& reason)
{
    // Nothing of a failed transfer may pass for delivered data.
    ++m_serial;
    m_receivedCount = 0;
    DestroyClients();
    Report(code, reason);
}

void TMultipartHttpDownloader::Report(int code, const QByteArray& reason)
{
    if (!OnRequestDone)
        return;
    const TDownloadDoneEvent handler = OnRequestDone;
    try {
        handler(this, code, reason);
    } catch (...) {
        // A failing handler changes nothing here.
    }
}
