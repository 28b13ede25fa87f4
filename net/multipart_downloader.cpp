#include "net/multipart_downloader.h"

#include "net/http_cli.h"

#include <QIODevice>
#include <QMetaObject>

#include <stdexcept>

TMultipartHttpDownloader::TMultipartHttpDownloader(QObject* parent) : QObject(parent) {}

TMultipartHttpDownloader::~TMultipartHttpDownloader() = default;

void TMultipartHttpDownloader::Start()
{
    if (m_partCount <= 1)
        throw std::out_of_range("PartCount must be positive");
    ++m_serial;
    m_contentLength = 0;
    m_receivedCount = 0;
    // Destroying the clients abandons a running transfer: their connections
    // close and none of their events arrive any more.
    m_parts.clear();

    auto probe = std::make_unique<Part>();
    probe->client = std::make_unique<THttpCli>();
    THttpCli* client = probe->client.get();
    client->SetURL(m_url);
    client->OnHeaderEnd = [this](THttpCli* sender) { ProbeHeaderEnd(sender); };
    client->OnRequestDone = [this](THttpCli* sender, THttpRequest, quint16 errCode) {
        GetASyncRequestDone(sender, errCode);
    };
    m_parts.push_back(std::move(probe));
    client->GetASync();
}

void TMultipartHttpDownloader::ProbeHeaderEnd(THttpCli* client)
{
    if (client->StatusCode() != 200)
        return;
    m_contentLength = client->ContentLength();
    // The probe only learns the length; its body is never read.
    client->Abort();
}

void TMultipartHttpDownloader::GetASyncRequestDone(THttpCli* client, quint16 errCode)
{
    if (m_contentLength > 0) {
        // The parts start once the probe client has finished its own
        // completion work, so that it can be reused as part 0.
        const quint32 serial = m_serial;
        QMetaObject::invokeMethod(
            this, [this, serial] { StartParts(serial); }, Qt::QueuedConnection);
        return;
    }
    if (errCode != 0)
        Report(errCode, "Download failed");
    else
        Report(client->StatusCode(), client->ReasonPhrase());
}

void TMultipartHttpDownloader::StartParts(quint32 serial)
{
    if (serial != m_serial || m_parts.size() != 1)
        return;
    const qint64 size = m_contentLength / m_partCount;
    m_parts.front()->client->OnHeaderEnd = nullptr;
    while (static_cast<int>(m_parts.size()) < m_partCount) {
        auto part = std::make_unique<Part>();
        part->client = std::make_unique<THttpCli>();
        m_parts.push_back(std::move(part));
    }
    qint64 start = 0;
    for (int i = 0; i < m_partCount; ++i) {
        Part& part = *m_parts[i];
        part.StartOffset = start;
        part.EndOffset = i + 1 < m_partCount ? start + size : m_contentLength;
        start += size + 1;
        part.Index = i;
        part.DataCount = 0;
        part.Done = false;
        part.Restarts = 0;
        THttpCli* client = part.client.get();
        client->SetURL(m_url);
        client->SetContentRangeBegin(QByteArray::number(part.StartOffset));
        client->SetContentRangeEnd(QByteArray::number(part.EndOffset));
        Part* p = &part;
        // Parts still running after a failure report act no more.
        client->OnLocationChange = [this, p, serial](THttpCli*) {
            if (serial == m_serial)
                PartLocationChange(*p);
        };
        client->OnDocData = [this, p, serial](THttpCli*, const char* buffer, int len) {
            if (serial == m_serial)
                PartDocData(*p, buffer, len);
        };
        client->OnRequestDone = [this, p, serial](THttpCli*, THttpRequest, quint16 errCode) {
            if (serial == m_serial)
                PartRequestDone(*p, errCode);
        };
    }
    for (int i = 0; i < m_partCount && serial == m_serial; ++i)
        m_parts[i]->client->GetASync();
}

void TMultipartHttpDownloader::PartLocationChange(Part& part)
{
    part.client->SetContentRangeBegin(QByteArray::number(part.StartOffset + part.DataCount));
    part.client->SetContentRangeEnd(QByteArray::number(part.EndOffset));
}

void TMultipartHttpDownloader::PartDocData(Part& part, const char* buffer, int len)
{
    if (len <= 0 || !m_fileStream)
        return;
    if (!m_fileStream->seek(part.StartOffset + part.DataCount) ||
        m_fileStream->write(buffer, len) != len)
        throw std::runtime_error("Cannot write the downloaded data");
    part.DataCount += len;
    m_receivedCount += len;
}

void TMultipartHttpDownloader::PartRequestDone(Part& part, quint16 errCode)
{
    part.Done = true;
    if (errCode != 0 || part.client->StatusCode() != 206) {
        if (part.Restarts >= MaxPartRestarts) {
            Report(errCode != 0 ? errCode : part.client->StatusCode(), "Download failed");
            return;
        }
        RestartPart(part);
        return;
    }
    CheckDone();
}

void TMultipartHttpDownloader::RestartPart(Part& part)
{
    ++part.Restarts;
    part.client->SetContentRangeBegin(QByteArray::number(part.StartOffset));
    part.client->SetContentRangeEnd(QByteArray::number(part.EndOffset));
    part.DataCount = 0;
    part.Done = false;
    part.client->GetASync();
}

void TMultipartHttpDownloader::CheckDone()
{
    for (const auto& part : m_parts)
        if (!part->Done)
            return;
    if (QIODevice* stream = m_fileStream) {
        m_fileStream = nullptr;
        stream->close();
        delete stream;
    }
    Report(200, "OK");
}

void TMultipartHttpDownloader::Report(int code, const QByteArray& reason)
{
    ++m_serial; // the transfer is over; nothing of it may act any more
    if (OnRequestDone)
        OnRequestDone(this, code, reason);
}
