#include "net/http_cli.h"
#include "net/http_exception.h"
#include "net/multipart_downloader.h"
#include "tests/support/nginx_server.h"
#include "tests/support/scripted_server.h"

#include <QBuffer>
#include <QFile>
#include <QPointer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

using Reply = ScriptedServer::Reply;

// A document without zero bytes, so that a byte never written (a hole of
// the file) cannot pass for document data.
QByteArray Doc(qint64 n)
{
    QByteArray d(n, Qt::Uninitialized);
    for (qint64 i = 0; i < n; ++i)
        d[i] = char('a' + (i * 31 + i / 251) % 26);
    return d;
}

QByteArray Head(const QByteArray& status, const QByteArray& fields)
{
    return "HTTP/1.0 " + status + "\r\n" + fields + "\r\n";
}

QByteArray Length(qint64 n)
{
    return "Content-Length: " + QByteArray::number(n) + "\r\n";
}

// What the server is made to do wrong.
enum class Fault
{
    None,
    ProbeRedirect, // the probe meets a 302 first
    Probe404,
    ProbeNoLength,   // 200 without Content-Length
    ProbeZeroLength, // 200 with Content-Length 0
    RedirectBefore,  // every range request to /doc gets a 302 with a body
    RedirectDuring,  // the later part gets half its bytes and a Location
    ResetHalfway,    // the later part's first reply is reset halfway
    ShortReply,      // the later part's first reply closes halfway, cleanly
    RangesIgnored,   // every range request gets 200 and the whole document
    WrongRange,      // the later part gets bytes from position 0
    AlwaysReset,     // every request of the later part is reset halfway
    SilentParts,     // range requests are never answered
    PartOverrun,     // the later part's reply has no length and runs on past its range
    SlowParts,       // range replies come a few bytes at a time
    ProbeHuge,       // the probe announces 10 GiB
    ProbeStalls,     // the probe is never answered
};

// Serves one document at /doc (and /moved) with range replies, with one
// fault. Records path and range of every request.
class Site
{
public:
    explicit Site(const QByteArray& doc, Fault fault = Fault::None) : m_doc(doc), m_fault(fault)
    {
        m_server.Listen();
        m_server.Responder = [this](const QByteArray& request) { return Answer(request); };
    }

    QByteArray Url() const { return m_server.BaseUrl() + "/doc"; }
    // "path range" of every request ("/doc -" for none).
    QList<QByteArray> Requests() const { return m_log; }
    QList<QByteArray> RangeRequests() const
    {
        QList<QByteArray> out;
        for (const QByteArray& r : m_log)
            if (!r.endsWith(" -"))
                out << r;
        return out;
    }
    ScriptedServer& Server() { return m_server; }

private:
    Reply Answer(const QByteArray& request)
    {
        const QByteArray path = request.mid(4, request.indexOf(' ', 4) - 4);
        QByteArray range = "-";
        const qsizetype at = request.indexOf("\r\nRange: bytes=");
        if (at >= 0) {
            const qsizetype from = at + 15;
            range = request.mid(from, request.indexOf('\r', from) - from);
        }
        m_log << path + " " + range;
        const qint64 len = m_doc.size();
        if (range == "-")
            return Probe(path);

        const qint64 a = range.left(range.indexOf('-')).toLongLong();
        const qint64 b = range.mid(range.indexOf('-') + 1).toLongLong();
        const bool later = a > 0;
        switch (m_fault) {
        case Fault::RedirectBefore:
            if (path == "/doc")
                return Reply::Raw(Head("302 Found", "Location: /moved\r\n" + Length(9)) +
                                  "elsewhere");
            break;
        case Fault::RedirectDuring:
        case Fault::ShortReply:
        case Fault::ResetHalfway:
            if (later && !m_faulted && path == "/doc") {
                m_faulted = true;
                const qint64 last = qMin(b, len - 1);
                const QByteArray head =
                    Head("206 Partial Content",
                         (m_fault == Fault::RedirectDuring ? "Location: /moved\r\n" : "") +
                             ContentRange(a, last) + Length(last - a + 1));
                const QByteArray half = m_doc.mid(a, (last - a + 1) / 2);
                Reply r = Reply::Raw(head + half);
                if (m_fault == Fault::ResetHalfway)
                    r.resetAfter = head.size() + half.size();
                return r;
            }
            break;
        case Fault::AlwaysReset:
            if (later) {
                const qint64 last = qMin(b, len - 1);
                const QByteArray head =
                    Head("206 Partial Content", ContentRange(a, last) + Length(last - a + 1));
                Reply r = Reply::Raw(head + m_doc.mid(a, (last - a + 1) / 2));
                r.resetAfter = r.pieces[0].size();
                return r;
            }
            break;
        case Fault::RangesIgnored:
            return Reply::Raw(Head("200 OK", Length(len)) + m_doc);
        case Fault::WrongRange:
            if (later)
                return Partial(0, b - a);
            break;
        case Fault::SilentParts:
            return Reply::Raw(QByteArray(), Reply::Silent);
        case Fault::PartOverrun:
            if (later) {
                const qint64 last = qMin(b, len - 1);
                Reply r = Reply::Raw(Head("206 Partial Content", ContentRange(a, last)) +
                                     m_doc.mid(a, last - a + 1));
                r.endless = QByteArray(4096, '#');
                return r;
            }
            break;
        case Fault::SlowParts: {
            Reply r = Partial(a, b);
            const QByteArray all = r.pieces.takeFirst();
            for (qsizetype at = 0; at < all.size(); at += 25)
                r.pieces << all.mid(at, 25);
            r.gapMs = 60;
            return r;
        }
        default:
            break;
        }
        return Partial(a, b);
    }

    Reply Probe(const QByteArray& path)
    {
        switch (m_fault) {
        case Fault::ProbeRedirect:
            if (path == "/doc")
                return Reply::Raw(Head("302 Found", "Location: /moved\r\n" + Length(0)));
            break;
        case Fault::Probe404:
            return Reply::Raw(Head("404 Not Found", Length(9)) + "not found");
        case Fault::ProbeNoLength:
            return Reply::Raw(Head("200 OK", QByteArray()) + m_doc);
        case Fault::ProbeZeroLength:
            return Reply::Raw(Head("200 OK", Length(0)));
        case Fault::ProbeHuge: {
            Reply r = Reply::Raw(Head("200 OK", Length(10LL << 30)));
            r.endless = QByteArray(4096, 'h');
            return r;
        }
        case Fault::ProbeStalls:
            return Reply::Raw(QByteArray(), Reply::Silent);
        default:
            break;
        }
        // The downloader never reads the probe's body.
        return Reply::Raw(Head("200 OK", Length(m_doc.size())) + m_doc.left(64 * 1024));
    }

    QByteArray ContentRange(qint64 a, qint64 last) const
    {
        return "Content-Range: bytes " + QByteArray::number(a) + "-" + QByteArray::number(last) +
               "/" + QByteArray::number(m_doc.size()) + "\r\n";
    }

    Reply Partial(qint64 a, qint64 b) const
    {
        const qint64 len = m_doc.size();
        if (a >= len)
            return Reply::Raw(
                Head("416 Range Not Satisfiable",
                     "Content-Range: bytes */" + QByteArray::number(len) + "\r\n" + Length(0)));
        const qint64 last = qMin(b, len - 1);
        return Reply::Raw(
            Head("206 Partial Content", ContentRange(a, last) + Length(last - a + 1)) +
            m_doc.mid(a, last - a + 1));
    }

    ScriptedServer m_server;
    QByteArray m_doc;
    Fault m_fault;
    bool m_faulted = false;
    QList<QByteArray> m_log;
};

// One downloader writing into a file of a temporary folder, and what it
// reported.
struct Transfer
{
    Transfer()
    {
        dl.SetPartCount(2);
        dl.OnRequestDone = [this](TMultipartHttpDownloader* sender, int code,
                                  const QByteArray& why) {
            ++reports;
            QCOMPARE(sender, &dl);
            errorCode = code;
            reason = why;
            received = dl.ReceivedCount();
            streamAtReport = dl.FileStream();
            fileGoneAtReport = file.isNull();
            if (afterReport)
                afterReport();
        };
    }

    QFile* OpenFile(const QString& name = "doc.tmp")
    {
        path = dir.filePath(name);
        auto* f = new QFile(path);
        f->open(QIODevice::ReadWrite | QIODevice::Truncate);
        file = f;
        return f;
    }

    void Start(const QByteArray& url, int parts = 2, const QString& name = "doc.tmp")
    {
        dl.SetURL(url);
        dl.SetPartCount(parts);
        dl.SetFileStream(OpenFile(name));
        dl.Start();
    }

    QByteArray FileBytes() const
    {
        if (file)
            file->flush();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

    bool Wait(int ms = 10000)
    {
        return QTest::qWaitFor([this] { return reports > 0; }, ms);
    }

    ~Transfer() { delete file.data(); }

    QTemporaryDir dir;
    QString path;
    QPointer<QFile> file;
    TMultipartHttpDownloader dl;
    int reports = 0;
    int errorCode = -1;
    QByteArray reason;
    qint64 received = -1;
    QIODevice* streamAtReport = nullptr;
    bool fileGoneAtReport = false;
    std::function<void()> afterReport;
};

// Every byte of `file` is either a hole (0) or the document's byte there.
bool NoForeignBytes(const QByteArray& file, const QByteArray& doc)
{
    if (file.size() > doc.size())
        return false;
    for (qsizetype i = 0; i < file.size(); ++i)
        if (file[i] != 0 && file[i] != doc[i])
            return false;
    return true;
}

void Settle()
{
    QTest::qWait(100);
}

// A stream that refuses every write once it holds `limit` bytes.
class FullDevice : public QBuffer
{
public:
    explicit FullDevice(qint64 limit) : m_limit(limit) {}

protected:
    qint64 writeData(const char* data, qint64 len) override
    {
        if (pos() + len > m_limit) {
            setErrorString("disk full");
            return -1;
        }
        return QBuffer::writeData(data, len);
    }

private:
    qint64 m_limit;
};

quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestDownloader : public QObject
{
    Q_OBJECT

private slots:
    void partCountRefused_data();
    void partCountRefused();
    void ranges_data();
    void ranges();
    void downloads_data();
    void downloads();
    void failures_data();
    void failures();
    void writeFailureEndsTransfer();
    void oldContentIsCut();
    void settingsChangedWhileRunning();
    void startWhileRunning_data();
    void startWhileRunning();
    void startAgainFromReport();
    void destroyFromReport();
    void nginx_data();
    void nginx();
};

void TestDownloader::partCountRefused_data()
{
    QTest::addColumn<int>("parts");
    QTest::addColumn<QString>("message");
    QTest::newRow("unset (0)") << 0 << "PartCount must be positive";
    QTest::newRow("one") << 1 << "PartCount must be positive";
    QTest::newRow("negative") << -3 << "PartCount must be positive";
    QTest::newRow("too many") << TMultipartHttpDownloader::MaxPartCount + 1
                              << "PartCount must be at most 64";
}

void TestDownloader::partCountRefused()
{
    QFETCH(int, parts);
    QFETCH(QString, message);
    Site site(Doc(10));
    Transfer t;
    t.dl.SetURL(site.Url());
    t.dl.SetPartCount(parts);
    QFile* f = t.OpenFile();
    t.dl.SetFileStream(f);
    try {
        t.dl.Start();
        QFAIL("Start accepted the part count");
    } catch (const EHttpException& e) {
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }
    Settle();
    QCOMPARE(site.Requests().size(), 0);
    QCOMPARE(t.reports, 0);
    QCOMPARE(t.dl.FileStream(), f);
    QVERIFY(f->isOpen());

    // Without a usable stream Start refuses as well.
    t.dl.SetPartCount(2);
    t.dl.SetFileStream(nullptr);
    QVERIFY_THROWS_EXCEPTION(EHttpException, t.dl.Start());
}

void TestDownloader::ranges_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<int>("parts");
    QTest::addColumn<QList<QByteArray>>("expected");
    QTest::newRow("10, two parts") << qint64(10) << 2 << QList<QByteArray>{"0-5", "6-10"};
    QTest::newRow("1000, three parts")
        << qint64(1000) << 3 << QList<QByteArray>{"0-333", "334-667", "668-1000"};
    QTest::newRow("1, two parts: the second is empty")
        << qint64(1) << 2 << QList<QByteArray>{"0-0"};
    QTest::newRow("3, four parts: the last is empty")
        << qint64(3) << 4 << QList<QByteArray>{"0-0", "1-1", "2-2"};
    QTest::newRow("5 GB: 64-bit positions")
        << qint64(5000000000LL) << 2 << QList<QByteArray>{"0-2500000000", "2500000001-5000000000"};
}

void TestDownloader::ranges()
{
    QFETCH(qint64, length);
    QFETCH(int, parts);
    QFETCH(QList<QByteArray>, expected);
    // The probe learns the length; the parts are never answered.
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(Head("200 OK", Length(length)));
    server.Responder = [](const QByteArray&) { return Reply::Raw(QByteArray(), Reply::Silent); };
    Transfer t;
    t.Start(server.BaseUrl() + "/doc", parts);
    QTRY_COMPARE_WITH_TIMEOUT(server.Requests().size(), 1 + expected.size(), 10000);
    Settle();
    QList<QByteArray> ranges;
    for (const QByteArray& r : server.Requests()) {
        const qsizetype at = r.indexOf("\r\nRange: bytes=");
        if (at >= 0)
            ranges << r.mid(at + 15, r.indexOf('\r', at + 15) - at - 15);
    }
    QCOMPARE(server.Requests().size(), 1 + expected.size());
    QVERIFY(!server.Requests()[0].contains("Range:"));
    std::sort(ranges.begin(), ranges.end(), [](const QByteArray& x, const QByteArray& y) {
        return x.left(x.indexOf('-')).toLongLong() < y.left(y.indexOf('-')).toLongLong();
    });
    QCOMPARE(ranges, expected);
    QCOMPARE(t.dl.ContentLength(), length);
    QCOMPARE(t.reports, 0);
}

void TestDownloader::downloads_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<int>("parts");
    QTest::addColumn<Fault>("fault");
    // Bytes written beyond the length (written twice after a restart).
    QTest::addColumn<qint64>("extra");
    // Requests that must have been made ("path range").
    QTest::addColumn<QList<QByteArray>>("requests");
    // Bound of the clients (0: the default).
    QTest::addColumn<int>("noDataTimeout");

    QTest::newRow("10, two parts") << qint64(10) << 2 << Fault::None << qint64(0)
                                   << QList<QByteArray>{"/doc -", "/doc 0-5", "/doc 6-10"} << 0;
    QTest::newRow("1000, three parts")
        << qint64(1000) << 3 << Fault::None << qint64(0)
        << QList<QByteArray>{"/doc 0-333", "/doc 334-667", "/doc 668-1000"} << 0;
    QTest::newRow("length 1: second part starts past the end")
        << qint64(1) << 2 << Fault::None << qint64(0) << QList<QByteArray>{"/doc 0-0"} << 0;
    QTest::newRow("length 2: second part starts at the end")
        << qint64(2) << 2 << Fault::None << qint64(0) << QList<QByteArray>{"/doc 0-1"} << 0;
    QTest::newRow("probe redirected") << qint64(10) << 2 << Fault::ProbeRedirect << qint64(0)
                                      << QList<QByteArray>{"/doc -", "/moved -"} << 0;
    QTest::newRow("redirect before the parts, with a body")
        << qint64(10) << 2 << Fault::RedirectBefore << qint64(0)
        << QList<QByteArray>{"/doc 0-5", "/moved 0-5", "/doc 6-10", "/moved 6-10"} << 0;
    QTest::newRow("redirect during a part asks for the rest")
        << qint64(1000) << 2 << Fault::RedirectDuring << qint64(0)
        << QList<QByteArray>{"/doc 501-1000", "/moved 750-1000"} << 0;
    QTest::newRow("reset halfway: the part starts again")
        << qint64(1000) << 2 << Fault::ResetHalfway << qint64(249)
        << QList<QByteArray>{"/doc 501-1000"} << 0;
    QTest::newRow("early clean close: the rest is asked for")
        << qint64(1000) << 2 << Fault::ShortReply << qint64(0)
        << QList<QByteArray>{"/doc 501-1000", "/doc 750-1000"} << 0;
    QTest::newRow("part overrun: the part stops reading once whole")
        << qint64(1000) << 2 << Fault::PartOverrun << qint64(0)
        << QList<QByteArray>{"/doc 0-500", "/doc 501-1000"} << 0;
    // Each part takes over a second, far beyond the bound, in pieces 60 ms apart.
    QTest::newRow("slow but flowing parts finish")
        << qint64(1000) << 2 << Fault::SlowParts << qint64(0)
        << QList<QByteArray>{"/doc 0-500", "/doc 501-1000"} << 800;
}

void TestDownloader::downloads()
{
    QFETCH(qint64, length);
    QFETCH(int, parts);
    QFETCH(Fault, fault);
    QFETCH(qint64, extra);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(int, noDataTimeout);
    const QByteArray doc = Doc(length);
    Site site(doc, fault);
    Transfer t;
    if (noDataTimeout > 0)
        t.dl.SetNoDataTimeout(noDataTimeout);
    t.Start(site.Url(), parts);
    QVERIFY(t.Wait(30000));
    QCOMPARE(t.errorCode, 200);
    QCOMPARE(t.reason, QByteArray("OK"));
    // The stream was closed and released before the report.
    QVERIFY(t.fileGoneAtReport);
    QCOMPARE(t.streamAtReport, nullptr);
    QCOMPARE(t.dl.FileStream(), nullptr);
    QCOMPARE(t.dl.ContentLength(), length);
    QCOMPARE(t.received, length + extra);
    QCOMPARE(t.FileBytes(), doc);
    for (const QByteArray& r : requests)
        QVERIFY2(site.Requests().contains(r), r + " not among " + site.Requests().join(", "));
    Settle();
    QCOMPARE(t.reports, 1);
}

void TestDownloader::failures_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<int>("code"); // -1: any code but 0 and 200
    QTest::addColumn<QByteArray>("reason");
    QTest::addColumn<int>("rangeRequests"); // -1: not checked

    const int aborted = THttpCli::httperrAborted;
    QTest::newRow("probe 404") << Fault::Probe404 << false << 404 << QByteArray("Not Found") << 0;
    QTest::newRow("probe without length")
        << Fault::ProbeNoLength << false << aborted << QByteArray("Download failed") << 0;
    QTest::newRow("probe with length 0")
        << Fault::ProbeZeroLength << false << aborted << QByteArray("Download failed") << 0;
    QTest::newRow("connection refused")
        << Fault::None << true << -1 << QByteArray("Download failed") << 0;
    QTest::newRow("ranges ignored")
        << Fault::RangesIgnored << false << -1 << QByteArray("Download failed: part ") << -1;
    QTest::newRow("wrong range") << Fault::WrongRange << false << -1
                                 << QByteArray("Download failed: part 1") << -1;
    QTest::newRow("part keeps breaking")
        << Fault::AlwaysReset << false << -1 << QByteArray("Download failed: part 1")
        << 1 + TMultipartHttpDownloader::MaxPartFailures;
    QTest::newRow("probe announces more than the bound")
        << Fault::ProbeHuge << false << int(THttpCli::httperrTooLarge)
        << QByteArray("Download failed: the document has 10737418240 bytes, more than 1048576")
        << 0;
    QTest::newRow("probe never answered")
        << Fault::ProbeStalls << false << int(THttpCli::httperrTimeout)
        << QByteArray("Download failed") << 0;
}

void TestDownloader::failures()
{
    QFETCH(Fault, fault);
    QFETCH(bool, refused);
    QFETCH(int, code);
    QFETCH(QByteArray, reason);
    QFETCH(int, rangeRequests);
    const QByteArray doc = Doc(1000);
    Site site(doc, fault);
    Transfer t;
    const QByteArray url =
        refused ? "http://127.0.0.1:" + QByteArray::number(FreePort()) + "/doc" : site.Url();
    t.dl.SetMaxLength(1 << 20);
    if (fault == Fault::ProbeStalls)
        t.dl.SetNoDataTimeout(300);
    t.Start(url);
    QFile* f = t.file;
    QVERIFY(t.Wait());
    if (code >= 0) {
        QCOMPARE(t.errorCode, code);
        QCOMPARE(t.reason, reason);
    } else {
        QVERIFY2(t.errorCode != 0 && t.errorCode != 200, QByteArray::number(t.errorCode));
        QVERIFY2(t.reason.startsWith(reason), t.reason);
    }
    // The stream stays with the caller, and nothing counts as delivered.
    QCOMPARE(t.streamAtReport, f);
    QCOMPARE(t.dl.FileStream(), f);
    QVERIFY(f->isOpen());
    QCOMPARE(t.received, 0);
    QVERIFY(NoForeignBytes(t.FileBytes(), doc));
    if (rangeRequests >= 0)
        QCOMPARE(site.RangeRequests().size(), rangeRequests);
    // A bounded number of requests, then silence.
    const int made = site.Requests().size();
    QVERIFY(made <= 1 + 2 * TMultipartHttpDownloader::MaxPartFailures);
    Settle();
    QCOMPARE(site.Requests().size(), made);
    QCOMPARE(t.reports, 1);
}

void TestDownloader::writeFailureEndsTransfer()
{
    const QByteArray doc = Doc(100000);
    Site site(doc);
    Transfer t;
    FullDevice device(1000);
    QVERIFY(device.open(QIODevice::ReadWrite));
    t.dl.SetURL(site.Url());
    t.dl.SetPartCount(2);
    t.dl.SetFileStream(&device);
    t.dl.Start();
    QVERIFY(t.Wait());
    QCOMPARE(t.errorCode, int(THttpCli::httperrStream));
    QVERIFY2(t.reason.startsWith("Download failed: cannot write the file: disk full"), t.reason);
    QCOMPARE(t.dl.FileStream(), &device);
    QCOMPARE(t.received, 0);
    const int made = site.Requests().size();
    Settle();
    QCOMPARE(site.Requests().size(), made);
    QCOMPARE(t.reports, 1);
}

void TestDownloader::oldContentIsCut()
{
    // A stream handed in with longer old content ends as the document.
    const QByteArray doc = Doc(1000);
    Site site(doc);
    Transfer t;
    QFile* f = t.OpenFile();
    f->write(QByteArray(5000, 'x'));
    t.dl.SetURL(site.Url());
    t.dl.SetPartCount(3);
    t.dl.SetFileStream(f);
    t.dl.Start();
    QVERIFY(t.Wait());
    QCOMPARE(t.errorCode, 200);
    QCOMPARE(t.FileBytes(), doc);
}

void TestDownloader::settingsChangedWhileRunning()
{
    // The transfer keeps the part count and address Start found.
    const QByteArray doc = Doc(1000);
    Site site(doc);
    Transfer t;
    t.Start(site.Url(), 2);
    t.dl.SetPartCount(0);
    t.dl.SetURL("http://127.0.0.1:1/elsewhere");
    QVERIFY(t.Wait());
    QCOMPARE(t.errorCode, 200);
    QCOMPARE(t.FileBytes(), doc);
    QCOMPARE(site.RangeRequests().size(), 2);
}

void TestDownloader::startWhileRunning_data()
{
    QTest::addColumn<bool>("duringParts");
    QTest::newRow("during the probe") << false;
    QTest::newRow("during the parts") << true;
}

void TestDownloader::startWhileRunning()
{
    QFETCH(bool, duringParts);
    const QByteArray doc = Doc(1000);
    Site stuck(doc, Fault::SilentParts);
    Site good(doc);
    Transfer t;
    if (duringParts) {
        t.Start(stuck.Url());
        QTRY_COMPARE_WITH_TIMEOUT(stuck.Requests().size(), 3, 10000);
    } else {
        // A probe that is never answered.
        stuck.Server().Enqueue(QByteArray(), Reply::Silent);
        t.Start(stuck.Url());
        QTRY_COMPARE_WITH_TIMEOUT(stuck.Server().Requests().size(), 1, 10000);
    }
    QPointer<QFile> first = t.file;
    const QByteArray firstBytes = t.FileBytes();

    t.Start(good.Url(), 2, "second.tmp");
    QVERIFY(t.Wait());
    QCOMPARE(t.errorCode, 200);
    QCOMPARE(t.FileBytes(), doc);
    Settle();
    QCOMPARE(t.reports, 1);
    // The abandoned stream is the caller's, untouched since.
    QVERIFY(first);
    QVERIFY(first->isOpen());
    QFile old(first->fileName());
    first->flush();
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), firstBytes);
    delete first.data();
}

void TestDownloader::startAgainFromReport()
{
    // The first transfer fails; its report starts a second one at once.
    const QByteArray doc = Doc(10);
    Site missing(doc, Fault::Probe404);
    Site good(doc);
    Transfer t;
    QList<int> codes;
    t.afterReport = [&] {
        codes << t.errorCode;
        if (codes.size() == 1) {
            delete t.file.data();
            t.Start(good.Url());
        }
    };
    t.Start(missing.Url());
    QTRY_COMPARE_WITH_TIMEOUT(codes.size(), 2, 10000);
    QCOMPARE(codes, (QList<int>{404, 200}));
    QCOMPARE(t.FileBytes(), doc);
    Settle();
    QCOMPARE(codes.size(), 2);
}

void TestDownloader::destroyFromReport()
{
    // The caller may drop the downloader in its handler, on success as on
    // failure, while the client that reported is still on the stack.
    for (Fault fault : {Fault::None, Fault::AlwaysReset}) {
        Site site(Doc(1000), fault);
        QTemporaryDir dir;
        auto* dl = new TMultipartHttpDownloader;
        QPointer<TMultipartHttpDownloader> watch(dl);
        auto* f = new QFile(dir.filePath("x"));
        QVERIFY(f->open(QIODevice::ReadWrite));
        QPointer<QFile> file(f);
        int reports = 0;
        dl->OnRequestDone = [&](TMultipartHttpDownloader* sender, int, const QByteArray&) {
            ++reports;
            delete sender;
        };
        dl->SetURL(site.Url());
        dl->SetPartCount(2);
        dl->SetFileStream(f);
        dl->Start();
        QTRY_VERIFY_WITH_TIMEOUT(watch.isNull(), 10000);
        Settle();
        QCOMPARE(reports, 1);
        delete file.data();
    }
}

void TestDownloader::nginx_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<int>("parts");
    for (qint64 length : {qint64(0), qint64(1), qint64(2), qint64(10), qint64(1024 * 1024 + 1),
                          qint64(20 * 1024 * 1024)}) {
        for (int parts : {2, 4}) {
            const QByteArray name =
                QByteArray::number(length) + " bytes, " + QByteArray::number(parts) + " parts";
            QTest::newRow(name.constData()) << length << parts;
        }
    }
}

void TestDownloader::nginx()
{
    QFETCH(qint64, length);
    QFETCH(int, parts);
    static NginxServer* server = nullptr;
    static QByteArray failure;
    if (!server && failure.isEmpty()) {
        server = new NginxServer;
        if (!server->Start()) {
            failure = server->Error().toUtf8();
            delete server;
            server = nullptr;
        }
        // Stopped when the test program ends.
        qAddPostRoutine([] { delete server; });
    }
    if (!server)
        QSKIP(("nginx cannot run here: " + failure).constData());

    const QByteArray doc = Doc(length);
    const QString name = QString("f%1.bin").arg(length);
    QFile file(server->Root() + "/" + name);
    if (!file.exists()) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(doc), length);
        file.close();
    }
    Transfer t;
    t.Start(server->BaseUrl() + "/" + name.toLatin1(), parts);
    QVERIFY(t.Wait(60000));
    if (length == 0) {
        // The probe learns no usable length.
        QCOMPARE(t.errorCode, int(THttpCli::httperrAborted));
        QCOMPARE(t.reason, QByteArray("Download failed"));
        QCOMPARE(t.received, 0);
        QVERIFY(t.dl.FileStream() != nullptr);
        return;
    }
    QCOMPARE(t.errorCode, 200);
    QCOMPARE(t.reason, QByteArray("OK"));
    QCOMPARE(t.received, length);
    const QByteArray got = t.FileBytes();
    QCOMPARE(got.size(), doc.size());
    QVERIFY(got == doc);
}

QTEST_GUILESS_MAIN(TestDownloader)
#include "tst_downloader.moc"
