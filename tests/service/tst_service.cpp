// Runs the real lumo-service on a free loopback port with a small catalogue
// in a temporary folder and talks to it byte for byte like the client does.
#include "skin/skin_file.h"
#include "tests/support/service_process.h"
#include "util/gbk.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <cerrno>
#include <memory>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int recordsForTests = 3000;

QByteArray gbk(const QString& text)
{
    return Gbk::fromUnicode(text);
}

QJsonArray jsonArray(const ServiceReply& reply)
{
    return QJsonDocument::fromJson(Gbk::toUnicode(reply.body).toUtf8()).array();
}

// A connection of the test's own, for peers that do what the client never
// does. Every wait is bounded.
class Peer
{
public:
    explicit Peer(quint16 port)
    {
        socket_.connectToHost(QHostAddress::LocalHost, port);
        socket_.waitForConnected(5000);
    }

    bool Connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    void Send(const QByteArray& bytes)
    {
        socket_.write(bytes);
        socket_.waitForBytesWritten(0);
    }
    // Everything up to the close, or up to 30 seconds.
    QByteArray ReadUntilClosed()
    {
        QByteArray reply;
        QElapsedTimer timer;
        timer.start();
        while (Connected() && timer.elapsed() < 30000) {
            socket_.waitForReadyRead(200);
            reply += socket_.readAll();
        }
        return reply + socket_.readAll();
    }

private:
    QTcpSocket socket_;
};

// Sends `start`, `chunk` `times` times and `end`, as far as the service
// takes them, then reads until it closes the connection. A plain socket:
// it still reads the answer when the service, having answered, resets the
// connection on the bytes it did not read.
struct Flooded
{
    QByteArray reply;
    bool closed = false;
};

Flooded flood(quint16 port, const QByteArray& start, const QByteArray& chunk, int times,
              const QByteArray& end)
{
    Flooded result;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval bound{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return result;
    }
    auto sendAll = [fd](const QByteArray& bytes) {
        for (qsizetype sent = 0; sent < bytes.size();) {
            ssize_t n =
                ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    };
    bool open = sendAll(start);
    for (int i = 0; i < times && open; ++i)
        open = sendAll(chunk);
    if (open)
        sendAll(end);
    char buffer[16384];
    for (;;) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            result.reply.append(buffer, n);
            continue;
        }
        result.closed = n == 0 || errno == ECONNRESET;
        break;
    }
    close(fd);
    return result;
}

int statusOf(const QByteArray& reply)
{
    return reply.startsWith("HTTP/1.") ? reply.mid(9, 3).toInt() : 0;
}

} // namespace

class TestService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void searchFindsNamesHoldingEveryWord_data();
    void searchFindsNamesHoldingEveryWord();
    void searchReplyIsGbkJsonWithEightMembers();
    void searchKeepsAtMostHundredHits();
    void searchGivesSizesAboveTwoGigabytesAsNumbers();
    void catalogueIsTheSameOnEveryStart();
    void commendGivesTheMostSearchedWords();
    void reviewAndReportAreStoredAndShown();
    void badRequestsGetErrorsAndTheServiceCarriesOn_data();
    void badRequestsGetErrorsAndTheServiceCarriesOn();
    void detailPageHasOnePopupScriptAndOneNewWindowLink();
    void unknownDetailPagesAreNotFound_data();
    void unknownDetailPagesAreNotFound();
    void skinListNamesTheSkinsInTheFolder();
    void skinDownloads_data();
    void skinDownloads();
    void forumPage();
    void headerFloodsAreRefusedAndClosed_data();
    void headerFloodsAreRefusedAndClosed();
    void slowPeersNeitherHoldUpSearchesNorStay();
    void malformedRequestsAreAnsweredAtOnce_data();
    void malformedRequestsAreAnsweredAtOnce();
    void takenPortIsRefusedByNumber_data();
    void takenPortIsRefusedByNumber();
    void restartRightAfterStopBinds();
    void catalogueOfAnOlderServiceIsRenewed();
    void categoryWordsFindAPageNamesFirst_data();
    void categoryWordsFindAPageNamesFirst();
    void everyHotWordFindsFiles();
    void charmIsOfferedAsASkinFile();

private:
    QTemporaryDir dir_;
    ServiceProcess service_{LUMO_SERVICE_BINARY};
};

void TestService::initTestCase()
{
    QVERIFY(dir_.isValid());
    QDir folder(dir_.path());
    QVERIFY(folder.mkpath("skins"));
    auto write = [&](const QString& name, const QByteArray& data) {
        QFile file(folder.filePath("skins/" + name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(data);
    };
    write("alpha.skn", "0123456789");
    write("alpha.jpg", QByteArray("\xFF\xD8\xFF\xE0 preview \xFF\xD9"));
    write("beta.skn", "beta skin");
    write("bad id.skn", "not an id");   // a space: outside the id format
    write("gamma.jpg", "preview only"); // no skin file: not offered
    QVERIFY(service_.Start(folder.filePath("data"), folder.filePath("skins"), recordsForTests));
}

void TestService::cleanupTestCase()
{
    QVERIFY(service_.Stop());
}

void TestService::searchFindsNamesHoldingEveryWord_data()
{
    QTest::addColumn<QByteArray>("word");       // the value as sent (GBK, maybe encoded)
    QTest::addColumn<QStringList>("contained"); // what every hit's name must hold
    QTest::addColumn<bool>("hits");

    QTest::newRow("chinese") << gbk("周杰伦") << QStringList{"周杰伦"} << true;
    QTest::newRow("english, any case") << gbk("primer") << QStringList{"primer"} << true;
    QTest::newRow("two characters") << gbk("晴天") << QStringList{"晴天"} << true;
    QTest::newRow("one letter") << gbk("7") << QStringList{"7"} << true;
    QTest::newRow("two words") << gbk("周杰伦 晴天") << QStringList{"周杰伦", "晴天"} << true;
    QTest::newRow("long and short word") << gbk("Windows 7") << QStringList{"windows", "7"} << true;
    QTest::newRow("blanks around") << gbk("  Primer\t") << QStringList{"primer"} << true;
    QTest::newRow("encoded plus") << gbk("C%2B%2B Primer") << QStringList{"c++ primer"} << true;
    QTest::newRow("encoded ampersand")
        << gbk("Tom %26 Jerry") << QStringList{"tom & jerry"} << true;
    QTest::newRow("encoded percent") << gbk("100%25") << QStringList{"100%"} << true;
    QTest::newRow("encoded equals") << gbk("a%3Db%2Bc") << QStringList{"a=b+c"} << true;
    QTest::newRow("plus is a blank") << gbk("Tom+%26+Jerry") << QStringList{"tom & jerry"} << true;
    QTest::newRow("wildcards are plain") << gbk("100_") << QStringList{"100_"} << false;
    QTest::newRow("nothing") << gbk("zzqqxx") << QStringList{"zzqqxx"} << false;
    QTest::newRow("blanks only") << gbk("   ") << QStringList{} << false;
}

void TestService::searchFindsNamesHoldingEveryWord()
{
    QFETCH(QByteArray, word);
    QFETCH(QStringList, contained);
    QFETCH(bool, hits);

    ServiceReply reply = service_.Post("/vexa_client.php", "action=search&word=" + word);
    QVERIFY(reply.complete);
    QCOMPARE(reply.status, 200);
    QJsonArray files = jsonArray(reply);
    QCOMPARE(!files.isEmpty(), hits);
    if (!hits)
        QCOMPARE(reply.body, QByteArray("[]"));
    for (const QJsonValue& file : files) {
        QString name = file.toObject().value("file_name").toString();
        for (const QString& part : contained)
            QVERIFY2(name.contains(part, Qt::CaseInsensitive), qPrintable(name));
    }
    // Best first: short names (where the keyword is most of the name), then
    // the popular ones.
    for (qsizetype i = 1; i < files.size(); ++i) {
        QJsonObject before = files.at(i - 1).toObject();
        QJsonObject after = files.at(i).toObject();
        qsizetype lengthBefore = before.value("file_name").toString().size();
        qsizetype lengthAfter = after.value("file_name").toString().size();
        QVERIFY(lengthBefore <= lengthAfter);
        if (lengthBefore == lengthAfter)
            QVERIFY(before.value("file_views").toDouble() >= after.value("file_views").toDouble());
    }
}

void TestService::searchReplyIsGbkJsonWithEightMembers()
{
    ServiceReply reply = service_.Post("/vexa_client.php", "action=search&word=" + gbk("周杰伦"));
    QVERIFY(reply.complete);
    QVERIFY(reply.headers.value("content-type").contains("GBK"));
    QVERIFY(reply.body.contains(gbk("周杰伦")));
    QVERIFY(!reply.body.contains(QString("周杰伦").toUtf8()));

    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(Gbk::toUnicode(reply.body).toUtf8(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(!document.array().isEmpty());
    const QStringList members = {"file_extension", "file_id",    "file_name",  "file_size",
                                 "file_time",      "file_value", "file_views", "s_url"};
    for (const QJsonValue& value : document.array()) {
        QJsonObject file = value.toObject();
        QStringList keys = file.keys();
        keys.sort();
        QCOMPARE(keys, members);
        QVERIFY(file.value("file_size").isDouble());
        QVERIFY(file.value("file_name")
                    .toString()
                    .endsWith("." + file.value("file_extension").toString()));
        QVERIFY(file.value("s_url").toString().startsWith("http://"));
        QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d$")
                    .match(file.value("file_time").toString())
                    .hasMatch());
    }
    // The members come in the order the client fills its columns.
    QVERIFY(QRegularExpression("^\\[\\{\"file_name\":.*,\"file_extension\":.*,\"file_size\":\\d+,"
                               "\"file_value\":.*,\"file_views\":.*,\"file_time\":.*,\"s_url\":"
                               ".*,\"file_id\":\\d+\\}")
                .match(QString::fromLatin1(reply.body))
                .hasMatch());
}

void TestService::searchKeepsAtMostHundredHits()
{
    ServiceReply reply = service_.Post("/vexa_client.php", "action=search&word=e");
    QVERIFY(reply.complete);
    QCOMPARE(jsonArray(reply).size(), 100);
}

void TestService::searchGivesSizesAboveTwoGigabytesAsNumbers()
{
    ServiceReply reply =
        service_.Post("/vexa_client.php", "action=search&word=Game.of.Thrones.S03.Complete");
    QVERIFY(reply.complete);
    QVERIFY(reply.body.contains("\"file_size\":38654705664,"));
    reply = service_.Post("/vexa_client.php", "action=search&word=" + gbk("100%25 纯净"));
    QVERIFY(reply.body.contains("\"file_size\":3320578048,"));
}

void TestService::catalogueIsTheSameOnEveryStart()
{
    QTemporaryDir other;
    QVERIFY(other.isValid());
    ServiceProcess second(LUMO_SERVICE_BINARY);
    QVERIFY(second.Start(other.path(), other.path(), recordsForTests));
    for (const QByteArray& word : {gbk("周杰伦"), gbk("e"), gbk("Windows")}) {
        QByteArray body = "action=search&word=" + word;
        QCOMPARE(second.Post("/vexa_client.php", body).body,
                 service_.Post("/vexa_client.php", body).body);
    }
    QVERIFY(second.Stop());
}

void TestService::commendGivesTheMostSearchedWords()
{
    ServiceReply reply = service_.Post("/vexa_client.php", "action=commend");
    QVERIFY(reply.complete);
    QCOMPARE(reply.status, 200);
    QJsonArray words = jsonArray(reply);
    QCOMPARE(words.size(), 10); // the seeded log
    for (const QJsonValue& word : words)
        QVERIFY(!word.toObject().value("word").toString().isEmpty());

    // Real searches count; searches that find nothing do not.
    for (int i = 0; i < 80; ++i) {
        QCOMPARE(service_.Post("/vexa_client.php", "action=search&word=" + gbk("猫和老鼠")).status,
                 200);
        QCOMPARE(service_.Post("/vexa_client.php", "action=search&word=qqxxzz").status, 200);
    }
    words = jsonArray(service_.Post("/vexa_client.php", "action=commend"));
    QCOMPARE(words.size(), 10);
    QCOMPARE(words.at(0).toObject().value("word").toString(), QString("猫和老鼠"));
    for (const QJsonValue& word : words)
        QVERIFY(word.toObject().value("word").toString() != "qqxxzz");
}

void TestService::reviewAndReportAreStoredAndShown()
{
    ServiceReply page = service_.Get("/vexa-4");
    QCOMPARE(page.status, 200);
    QVERIFY(QString::fromUtf8(page.body).contains("暂无评分"));

    ServiceReply reply =
        service_.Post("/vexa_client.php", "action=review&file_id=4&score=" + gbk("8分优秀"));
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.body, QByteArray("true"));
    QCOMPARE(reply.headers.value("content-length"), QByteArray("4"));
    reply = service_.Post("/vexa_client.php", "action=review&file_id=4&score=" + gbk("10分满意"));
    QCOMPARE(reply.body, QByteArray("true"));

    // Report texts travel raw: GBK, blanks and line breaks; form syntax
    // inside them percent-encoded.
    reply = service_.Post("/vexa_client.php",
                          "action=report&content=" + gbk("链接失效 %26 无法下载\r\n<第二行>") +
                              "&file_id=4");
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.body, QByteArray("true"));

    QString html = QString::fromUtf8(service_.Get("/vexa-4").body);
    QVERIFY(html.contains("共 2 人评分，平均 9.0 分"));
    QVERIFY(html.contains("8分优秀"));
    QVERIFY(html.contains("10分满意"));
    QVERIFY(html.contains("共 1 次举报"));
    QVERIFY2(html.contains("链接失效 &amp; 无法下载<br>&lt;第二行&gt;"), qPrintable(html));
    QVERIFY(QString::fromUtf8(service_.Get("/vexa-5").body).contains("暂无举报"));
}

void TestService::badRequestsGetErrorsAndTheServiceCarriesOn_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");

    QTest::newRow("unknown action") << QByteArray("action=delete&file_id=1") << 400;
    QTest::newRow("no action") << QByteArray("word=abc") << 400;
    QTest::newRow("empty body") << QByteArray() << 400;
    QTest::newRow("not a form") << QByteArray("\x01\x02\xff{}") << 400;
    QTest::newRow("search without word") << QByteArray("action=search") << 400;
    QTest::newRow("search, not GBK") << QByteArray("action=search&word=\xff\xfe") << 400;
    QTest::newRow("search, NUL byte") << QByteArray("action=search&word=a%00b") << 400;
    QTest::newRow("search, too long") << "action=search&word=" + QByteArray(300, 'x') << 400;
    QTest::newRow("review without score") << QByteArray("action=review&file_id=1") << 400;
    QTest::newRow("review without id") << "action=review&score=" + gbk("8分优秀") << 400;
    QTest::newRow("review, id not a number")
        << "action=review&file_id=1x&score=" + gbk("8分优秀") << 400;
    QTest::newRow("review, huge id")
        << "action=review&file_id=99999999999999999999999&score=" + gbk("8分优秀") << 400;
    QTest::newRow("review, placeholder score")
        << "action=review&file_id=1&score=" + gbk("- 请选择 -") << 400;
    QTest::newRow("review, score 11") << "action=review&file_id=1&score=" + gbk("11分") << 400;
    QTest::newRow("review, unknown file")
        << "action=review&file_id=987654&score=" + gbk("8分优秀") << 404;
    QTest::newRow("report, empty")
        << QByteArray("action=report&content=%20%0D%0A&file_id=1") << 400;
    QTest::newRow("report without id") << "action=report&content=" + gbk("失效") << 400;
    QTest::newRow("report, unknown file")
        << QByteArray("action=report&content=x&file_id=987654") << 404;
    QTest::newRow("huge body") << "action=report&file_id=1&content=" + QByteArray(200000, 'x')
                               << 413;
}

void TestService::badRequestsGetErrorsAndTheServiceCarriesOn()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);

    ServiceReply reply = service_.Post("/vexa_client.php", body);
    QVERIFY(reply.complete);
    QCOMPARE(reply.status, status);
    QVERIFY(reply.body != "true");
    QVERIFY(service_.Running());
    QCOMPARE(service_.Post("/vexa_client.php", "action=commend").status, 200);
}

void TestService::detailPageHasOnePopupScriptAndOneNewWindowLink()
{
    ServiceReply reply = service_.Get("/vexa-3");
    QVERIFY(reply.complete);
    QCOMPARE(reply.status, 200);
    QVERIFY(reply.headers.value("content-type").contains("text/html; charset=utf-8"));
    QString html = QString::fromUtf8(reply.body);
    QVERIFY(html.contains("100% 纯净 Windows 7 旗舰版 SP1 64位.iso"));
    QVERIFY(html.contains("iso文件"));
    QVERIFY(html.contains("3.09GB"));
    QVERIFY(html.contains("http://"));
    QCOMPARE(html.count("window.open("), 1);
    QCOMPARE(html.count("target=\"_blank\""), 1);
    QVERIFY(html.contains("window.open('/popup-ad.html"));
    QVERIFY(html.contains("<a href=\"/popup-ad.html?from=link\" target=\"_blank\">"));
    QCOMPARE(service_.Get("/popup-ad.html").status, 200);
}

void TestService::unknownDetailPagesAreNotFound_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("no such id") << QByteArray("/vexa-987654");
    QTest::newRow("id zero") << QByteArray("/vexa-0");
    QTest::newRow("not a number") << QByteArray("/vexa-abc");
    QTest::newRow("too long") << QByteArray("/vexa-123456789012345678901234567890");
    QTest::newRow("unknown path") << QByteArray("/nothing.html");
}

void TestService::unknownDetailPagesAreNotFound()
{
    QFETCH(QByteArray, target);
    ServiceReply reply = service_.Get(target);
    QVERIFY(reply.complete);
    QCOMPARE(reply.status, 404);
    QVERIFY(reply.body.contains("404"));
}

void TestService::skinListNamesTheSkinsInTheFolder()
{
    ServiceReply reply = service_.Post("/plugins/getskin.php", "action=list");
    QVERIFY(reply.complete);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.body, QByteArray("alpha,beta"));
    QCOMPARE(service_.Post("/plugins/getskin.php", "action=other").status, 400);
}

void TestService::skinDownloads_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentRange");

    const QByteArray skin = "action=downskin&skin_id=alpha";
    QTest::newRow("probe") << skin << QByteArray() << 200 << QByteArray("0123456789")
                           << QByteArray();
    QTest::newRow("part") << skin << QByteArray("bytes=0-5") << 206 << QByteArray("012345")
                          << QByteArray("bytes 0-5/10");
    QTest::newRow("end one past the last byte") << skin << QByteArray("bytes=6-10") << 206
                                                << QByteArray("6789") << QByteArray("bytes 6-9/10");
    QTest::newRow("one byte") << skin << QByteArray("bytes=9-9") << 206 << QByteArray("9")
                              << QByteArray("bytes 9-9/10");
    QTest::newRow("open end") << skin << QByteArray("bytes=3-") << 206 << QByteArray("3456789")
                              << QByteArray("bytes 3-9/10");
    QTest::newRow("suffix") << skin << QByteArray("bytes=-2") << 206 << QByteArray("89")
                            << QByteArray("bytes 8-9/10");
    QTest::newRow("start at the end")
        << skin << QByteArray("bytes=10-") << 416 << QByteArray() << QByteArray("bytes */10");
    QTest::newRow("start past the end")
        << skin << QByteArray("bytes=50-60") << 416 << QByteArray() << QByteArray("bytes */10");
    QTest::newRow("preview") << QByteArray("action=downimg&skin_id=alpha") << QByteArray() << 200
                             << QByteArray("\xFF\xD8\xFF\xE0 preview \xFF\xD9") << QByteArray();
    QTest::newRow("unknown id") << QByteArray("action=downskin&skin_id=nosuch") << QByteArray()
                                << 404 << QByteArray() << QByteArray();
    QTest::newRow("unknown id, ranged")
        << QByteArray("action=downskin&skin_id=nosuch") << QByteArray("bytes=0-1") << 404
        << QByteArray() << QByteArray();
    QTest::newRow("empty id") << QByteArray("action=downskin&skin_id=") << QByteArray() << 404
                              << QByteArray() << QByteArray();
    QTest::newRow("path in id") << QByteArray("action=downskin&skin_id=..%2Fskins%2Falpha")
                                << QByteArray() << 404 << QByteArray() << QByteArray();
    QTest::newRow("preview missing") << QByteArray("action=downimg&skin_id=beta") << QByteArray()
                                     << 404 << QByteArray() << QByteArray();
}

void TestService::skinDownloads()
{
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentRange);

    ServiceReply reply = service_.Get("/plugins/getskin.php?" + query,
                                      range.isEmpty() ? QByteArray() : "Range: " + range + "\r\n");
    QVERIFY(reply.complete);
    QCOMPARE(reply.status, status);
    if (status < 400)
        QCOMPARE(reply.body, body);
    QCOMPARE(reply.headers.value("content-range"), contentRange);
}

void TestService::forumPage()
{
    ServiceReply reply = service_.Get("/forum-32-1.html");
    QVERIFY(reply.complete);
    QCOMPARE(reply.status, 200);
    QVERIFY(QString::fromUtf8(reply.body).contains("意见反馈"));
}

void TestService::headerFloodsAreRefusedAndClosed_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("times");

    // Each of the first two would be about 12 MB of header.
    QTest::newRow("two million header lines") << QByteArray("X-A: b\r\n").repeated(1000) << 2000;
    QTest::newRow("one endless header line") << QByteArray(8000, 'a') << 1500;
    QTest::newRow("small header of many lines") << QByteArray("X-A: b\r\n") << 150;
}

void TestService::headerFloodsAreRefusedAndClosed()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, times);

    const qint64 before = service_.PeakMemoryKiB();
    QVERIFY(before > 0);
    // HTTP/1.1, so that the connection would stay open if not refused.
    const Flooded flooded = flood(
        service_.Port(), "GET /forum-32-1.html HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Flood: ", chunk,
        times, "\r\n\r\n");
    QVERIFY(flooded.closed);
    const int status = statusOf(flooded.reply);
    QVERIFY2(status == 431 || status == 400, flooded.reply.left(80).constData());
    // The service holds at most a connection's bounded share of it.
    QVERIFY2(service_.PeakMemoryKiB() - before < 32 * 1024,
             qPrintable(QString::number(service_.PeakMemoryKiB() - before)));
    QCOMPARE(service_.Post("/vexa_client.php", "action=commend").status, 200);
}

void TestService::slowPeersNeitherHoldUpSearchesNorStay()
{
    // Far more peers than the service has workers, each in the middle of
    // a request header.
    std::vector<std::unique_ptr<Peer>> slow;
    for (int i = 0; i < 64; ++i) {
        slow.push_back(std::make_unique<Peer>(service_.Port()));
        QVERIFY(slow.back()->Connected());
        slow.back()->Send("POST /vexa_client.php HTTP/1.0\r\nX-Slow: ");
    }
    // Within the exchange's own bound of ten seconds.
    ServiceReply reply = service_.Post("/vexa_client.php", "action=search&word=" + gbk("周杰伦"));
    QVERIFY(reply.complete);
    QCOMPARE(reply.status, 200);
    QVERIFY(!jsonArray(reply).isEmpty());

    // A byte now and then does not keep a request open for ever.
    QElapsedTimer timer;
    timer.start();
    auto anyConnected = [&] {
        return std::any_of(slow.begin(), slow.end(),
                           [](const std::unique_ptr<Peer>& peer) { return peer->Connected(); });
    };
    while (anyConnected() && timer.elapsed() < 90000) {
        for (auto& peer : slow) {
            if (peer->Connected())
                peer->Send("a");
        }
        QTest::qWait(500);
    }
    QVERIFY(!anyConnected());
}

void TestService::malformedRequestsAreAnsweredAtOnce_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status"); // 0: closed without an answer

    QTest::newRow("no version") << QByteArray("GET /forum-32-1.html\r\n\r\n") << 400;
    QTest::newRow("header line without colon")
        << QByteArray("GET /forum-32-1.html HTTP/1.0\r\nNo colon here\r\n\r\n") << 400;
    QTest::newRow("unknown version") << QByteArray("GET / HTTP/9.9\r\n\r\n") << 505;
    QTest::newRow("length not a number")
        << QByteArray("POST /vexa_client.php HTTP/1.0\r\nContent-Length: abc\r\n\r\n") << 400;
    QTest::newRow("broken chunk") << QByteArray("POST /vexa_client.php HTTP/1.1\r\nHost: x\r\n"
                                                "Transfer-Encoding: chunked\r\n\r\nzz\r\n")
                                  << 400;
    QTest::newRow("not HTTP") << QByteArray("\x01\x02\x03 hello\r\n\r\n") << 400;
    QTest::newRow("one word") << QByteArray("GARBAGE\r\n\r\n") << 0;
}

void TestService::malformedRequestsAreAnsweredAtOnce()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);

    // A peer that sends nothing, connected first: the malformed request
    // must be settled while this one still waits for its timeout.
    Peer idle(service_.Port());
    Peer peer(service_.Port());
    QVERIFY(idle.Connected() && peer.Connected());
    peer.Send(request);
    const QByteArray reply = peer.ReadUntilClosed();
    QVERIFY(!peer.Connected());
    QCOMPARE(statusOf(reply), status);
    QVERIFY(idle.Connected());
}

void TestService::takenPortIsRefusedByNumber_data()
{
    QTest::addColumn<bool>("byService");
    QTest::newRow("another lumo-service") << true;
    QTest::newRow("another program") << false;
}

void TestService::takenPortIsRefusedByNumber()
{
    QFETCH(bool, byService);

    QTcpServer other;
    quint16 port = service_.Port();
    if (!byService) {
        QVERIFY(other.listen(QHostAddress::LocalHost));
        port = other.serverPort();
    }
    QTemporaryDir data;
    QVERIFY(data.isValid());
    QProcess second;
    second.start(LUMO_SERVICE_BINARY,
                 {"--port", QString::number(port), "--data", data.path(), "--records", "10"});
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QVERIFY(second.exitCode() != 0);
    const QString message = QString::fromUtf8(second.readAllStandardError());
    QVERIFY2(message.contains(QString::number(port)) && message.contains("taken"),
             qPrintable(message));
    QVERIFY(second.readAllStandardOutput().isEmpty());
    // Every answer still comes from the first one.
    for (int i = 0; i < 10; ++i)
        QCOMPARE(service_.Post("/plugins/getskin.php", "action=list").body,
                 QByteArray("alpha,beta"));
}

void TestService::restartRightAfterStopBinds()
{
    QTemporaryDir data;
    QVERIFY(data.isValid());
    ServiceProcess first(LUMO_SERVICE_BINARY);
    QVERIFY(first.Start(data.path(), data.path(), recordsForTests));
    const quint16 port = first.Port();
    // Connections the service closed linger on its side for a while.
    for (int i = 0; i < 20; ++i)
        QCOMPARE(first.Get("/forum-32-1.html").status, 200);
    QVERIFY(first.Stop());

    ServiceProcess second(LUMO_SERVICE_BINARY);
    QVERIFY(second.Start(data.path(), data.path(), recordsForTests, false, port));
    QCOMPARE(second.Port(), port);
    QCOMPARE(second.Get("/forum-32-1.html").status, 200);
    QVERIFY(second.Stop());
}

void TestService::catalogueOfAnOlderServiceIsRenewed()
{
    // The tables as the first services made them, with a rating.
    QTemporaryDir data;
    QVERIFY(data.isValid());
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(data.filePath("catalogue.db")).constData(), &db),
             SQLITE_OK);
    QString script = "CREATE TABLE files(id INTEGER PRIMARY KEY, name TEXT NOT NULL,"
                     " extension TEXT NOT NULL, size INTEGER NOT NULL, value INTEGER NOT NULL,"
                     " views INTEGER NOT NULL, indexed TEXT NOT NULL, share_url TEXT NOT NULL,"
                     " name_length INTEGER NOT NULL);"
                     "CREATE VIRTUAL TABLE files_fts USING fts5(name, content='files',"
                     " content_rowid='id', tokenize='trigram');"
                     "CREATE TABLE reviews(id INTEGER PRIMARY KEY, file_id INTEGER NOT NULL,"
                     " score INTEGER NOT NULL, score_text TEXT NOT NULL, created TEXT NOT NULL"
                     " DEFAULT (datetime('now', 'localtime')));"
                     "CREATE TABLE reports(id INTEGER PRIMARY KEY, file_id INTEGER NOT NULL,"
                     " content TEXT NOT NULL, created TEXT NOT NULL"
                     " DEFAULT (datetime('now', 'localtime')));"
                     "CREATE TABLE search_log(word TEXT NOT NULL, day TEXT NOT NULL,"
                     " count INTEGER NOT NULL, PRIMARY KEY(word, day));"
                     "INSERT INTO reviews(file_id, score, score_text) VALUES(4, 7, '7分一般');";
    for (int id = 1; id <= 40; ++id)
        script += QString("INSERT INTO files VALUES(%1, 'old %1.txt', 'txt', 1, 1, 1,"
                          " '2013-01-01', 'http://pan.example.com/s/1', 9);")
                      .arg(id);
    QCOMPARE(sqlite3_exec(db, script.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    ServiceProcess renewed(LUMO_SERVICE_BINARY);
    QVERIFY(renewed.Start(data.path(), data.path(), recordsForTests));
    const QJsonArray files =
        jsonArray(renewed.Post("/vexa_client.php", "action=search&word=" + gbk("周杰伦 晴天")));
    QCOMPARE(files.size(), 1);
    QCOMPARE(files.at(0).toObject().value("file_id").toInt(), 4);
    QVERIFY(renewed.Post("/vexa_client.php", "action=search&word=old").body == "[]");
    QCOMPARE(renewed.Get("/vexa-40").status, 200);
    QCOMPARE(renewed.Get("/vexa-41").status, 404); // as many files as before
    const QString page = QString::fromUtf8(renewed.Get("/vexa-4").body);
    QVERIFY2(page.contains("共 1 人评分") && page.contains("/音乐/"), qPrintable(page));
    QVERIFY(renewed.Stop());
}

void TestService::categoryWordsFindAPageNamesFirst_data()
{
    QTest::addColumn<QString>("word");
    for (const char* word :
         {"电影", "音乐", "软件", "电子书", "动漫", "小说", "视频", "美剧", "游戏", "种子", "教程"})
        QTest::newRow(word) << QString::fromUtf8(word);
}

void TestService::categoryWordsFindAPageNamesFirst()
{
    QFETCH(QString, word);

    ServiceReply reply = service_.Post("/vexa_client.php", "action=search&word=" + gbk(word));
    QVERIFY(reply.complete);
    const QJsonArray files = jsonArray(reply);
    QCOMPARE(files.size(), 100);
    auto name = [&](qsizetype i) { return files.at(i).toObject().value("file_name").toString(); };
    QVERIFY2(name(0).contains(word), qPrintable(name(0)));
    qsizetype firstByFolder = 0;
    while (firstByFolder < files.size() && name(firstByFolder).contains(word))
        ++firstByFolder;
    // The rest hold the word in their share folder only, most popular first.
    static const QRegularExpression folderCell("<code id=\"folder\">(.*)</code>");
    for (qsizetype i = firstByFolder; i < files.size(); ++i) {
        const QJsonObject file = files.at(i).toObject();
        QVERIFY2(!name(i).contains(word), qPrintable(name(i)));
        const QString page = QString::fromUtf8(
            service_.Get("/vexa-" + QByteArray::number(file.value("file_id").toInteger())).body);
        const QString folder = folderCell.match(page).captured(1);
        QVERIFY2(folder.contains(word), qPrintable(folder));
        if (i > firstByFolder)
            QVERIFY(files.at(i - 1).toObject().value("file_views").toDouble() >=
                    file.value("file_views").toDouble());
    }
}

void TestService::everyHotWordFindsFiles()
{
    const QJsonArray words = jsonArray(service_.Post("/vexa_client.php", "action=commend"));
    QVERIFY(!words.isEmpty());
    for (const QJsonValue& word : words) {
        const QString text = word.toObject().value("word").toString();
        ServiceReply reply = service_.Post("/vexa_client.php", "action=search&word=" + gbk(text));
        QVERIFY2(!jsonArray(reply).isEmpty(), qPrintable(text));
    }
}

void TestService::charmIsOfferedAsASkinFile()
{
    QTemporaryDir data;
    QVERIFY(data.isValid());
    ServiceProcess samples(LUMO_SERVICE_BINARY);
    QVERIFY(samples.Start(data.path(), LUMO_SAMPLE_SKINS, 10));
    const QList<QByteArray> ids =
        samples.Post("/plugins/getskin.php", "action=list").body.split(',');
    QVERIFY(ids.contains("Charm"));
    for (const QByteArray& action : {QByteArray("downskin"), QByteArray("downimg")}) {
        ServiceReply reply =
            samples.Get("/plugins/getskin.php?action=" + action + "&skin_id=Charm");
        QVERIFY(reply.complete);
        QCOMPARE(reply.status, 200);
        QVERIFY(!reply.body.isEmpty());
        if (action == "downimg")
            QVERIFY(reply.body.startsWith("\xFF\xD8"));
        else {
            // The built-in look itself, as a skin file.
            QFile builtIn(LUMO_SKIN_SOURCES "/charm.skin");
            QVERIFY(builtIn.open(QIODevice::ReadOnly));
            QCOMPARE(UnpackSkinFile(reply.body), builtIn.readAll());
        }
    }
    QVERIFY(samples.Stop());
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
