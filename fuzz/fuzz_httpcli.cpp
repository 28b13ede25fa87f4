// Feeds arbitrary reply bytes, cut into arbitrary pieces, to the HTTP client
// over a connection layer without a network, and checks that every request
// ends in exactly one OnRequestDone and that the body it delivered is the
// body it stored.
//
// Input: one byte of options, then pieces, each a length byte k followed by
// k bytes of reply; k = 0 closes the connection (a later connection made for
// a redirect gets the pieces that follow).

#include "net/http_cli.h"
#include "platform/wsocket.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QMetaObject>

#include <cstdint>
#include <cstdlib>

namespace {

class FeedSocket : public TWSocket
{
public:
    void DnsLookup(const QString&) override
    {
        SetState(wsDnsLookup);
        const int g = ++m_gen;
        Post([this, g] {
            if (g != m_gen || State() != wsDnsLookup)
                return;
            SetState(wsClosed);
            SetDnsResult(QStringLiteral("127.0.0.1"));
            TriggerDnsLookupDone(0);
        });
    }
    void CancelDnsLookup() override
    {
        if (State() == wsDnsLookup) {
            ++m_gen;
            SetState(wsClosed);
        }
    }
    int Connect(const QString&, quint16, const QString&) override
    {
        ++m_gen;
        m_in.clear();
        SetState(wsConnecting);
        const int g = m_gen;
        Post([this, g] {
            if (g != m_gen || State() != wsConnecting)
                return;
            SetState(wsConnected);
            ++connections;
            TriggerSessionConnected(0);
        });
        return 0;
    }
    qint64 Send(const char*, qint64 len) override
    {
        if (State() != wsConnected)
            return -1;
        const int g = m_gen;
        Post([this, g] {
            if (g == m_gen && State() == wsConnected)
                TriggerDataSent(0);
        });
        return len;
    }
    qint64 RcvdCount() const override { return m_in.size(); }
    qint64 Receive(char* buffer, qint64 maxLen) override
    {
        const qint64 n = qMin<qint64>(maxLen, m_in.size());
        memcpy(buffer, m_in.constData(), size_t(n));
        m_in.remove(0, n);
        return n;
    }
    void Close() override
    {
        if (State() == wsConnected || State() == wsConnecting) {
            const int g = ++m_gen;
            SetState(wsClosing);
            Post([this, g] {
                if (g != m_gen)
                    return;
                SetState(wsClosed);
                TriggerSessionClosed(0);
            });
        }
    }
    void Abort() override
    {
        CancelDnsLookup();
        if (State() == wsConnected || State() == wsConnecting || State() == wsClosing) {
            ++m_gen;
            SetState(wsClosed);
            TriggerSessionClosed(0);
        }
    }
    void Shutdown() override
    {
        ++m_gen;
        SetState(wsClosed);
        m_in.clear();
    }

    // Test side.
    void Feed(const QByteArray& bytes)
    {
        if (State() != wsConnected)
            return;
        m_in += bytes;
        TriggerDataAvailable(0);
    }
    void PeerClose(int error)
    {
        if (State() != wsConnected)
            return;
        ++m_gen;
        SetState(wsClosed);
        TriggerSessionClosed(error);
    }

    int connections = 0;

private:
    template <class F> void Post(F f) { QMetaObject::invokeMethod(this, f, Qt::QueuedConnection); }
    QByteArray m_in;
    int m_gen = 0;
};

void Pump()
{
    QCoreApplication::sendPostedEvents();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_httpcli";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
    if (size < 1)
        return 0;

    const uint8_t options = data[0];
    auto* socket = new FeedSocket;
    auto* cli = new THttpCli(socket, nullptr);
    cli->SetRequestVer(options & 1 ? "1.1" : "1.0");
    cli->SetFollowRelocation(!(options & 2));
    cli->SetLocationChangeMaxCount((options >> 2) & 7);
    const bool post = options & 0x20;
    const bool abortInHeaderEnd = options & 0x40;
    const bool throwInDocData = options & 0x80;

    int done = 0;
    qint64 delivered = 0; // since the last redirect
    cli->OnRequestDone = [&](THttpCli*, THttpRequest, quint16) { ++done; };
    cli->OnLocationChange = [&](THttpCli*) { delivered = 0; };
    cli->OnDocData = [&](THttpCli*, const char*, int len) {
        if (len <= 0)
            abort();
        delivered += len;
        if (throwInDocData && delivered > 3)
            throw std::runtime_error("stop");
    };
    cli->OnHeaderEnd = [&](THttpCli* c) {
        if (abortInHeaderEnd && c->StatusCode() == 200)
            c->Abort();
    };

    QBuffer send;
    send.setData("a=b&c=d");
    send.open(QIODevice::ReadOnly);
    QBuffer rcvd;
    rcvd.open(QIODevice::ReadWrite);
    cli->SetSendStream(&send);
    cli->SetRcvdStream(&rcvd);
    cli->SetURL("http://127.0.0.1:8080/a/b.exe?x=1");
    if (post)
        cli->PostASync();
    else
        cli->GetASync();

    size_t pos = 1;
    int rounds = 0;
    while (done == 0 && rounds < 20000) {
        ++rounds;
        Pump();
        if (done)
            break;
        if (socket->State() != TWSocket::wsConnected)
            continue;
        if (pos >= size) {
            socket->PeerClose(rounds & 1 ? 0 : WSocketError::ConnectionReset);
            continue;
        }
        const size_t k = data[pos++];
        if (k == 0) {
            socket->PeerClose(0);
            continue;
        }
        const size_t n = qMin(k, size - pos);
        socket->Feed(QByteArray(reinterpret_cast<const char*>(data + pos), qsizetype(n)));
        pos += n;
    }
    for (int i = 0; i < 10; ++i)
        Pump();

    if (done != 1)
        abort(); // every request ends in exactly one completion
    if (cli->State() != httpReady)
        abort();
    if (!throwInDocData && rcvd.data().size() != delivered)
        abort(); // the stream holds exactly the final reply's body
    if (!throwInDocData && cli->RcvdCount() != delivered)
        abort();
    delete cli;
    Pump();
    return 0;
}
