#include "net/http_cli.h"
#include "net/http_exception.h"
#include "net/service_messages.h"
#include "net/skin_catalogue.h"
#include "tests/support/scripted_server.h"
#include "util/gbk.h"

#include <QUrlQuery>
#include <QtTest>

namespace {

QByteArray Gb(const char16_t* text)
{
    return Gbk::fromUnicode(QString::fromUtf16(text));
}

QByteArray Reply(int status, const QByteArray& body)
{
    return "HTTP/1.0 " + QByteArray::number(status) +
           " X\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// Decodes a form body the way a standard form decoder does.
QUrlQuery DecodeForm(const QByteArray& body)
{
    QByteArray plusAsSpace = body;
    plusAsSpace.replace('+', ' ');
    return QUrlQuery(QString::fromLatin1(plusAsSpace));
}

QByteArray FormField(const QByteArray& body, const QString& key)
{
    return QUrlQuery(DecodeForm(body)).queryItemValue(key, QUrl::FullyDecoded).toLatin1();
}

} // namespace

class TestMessages : public QObject
{
    Q_OBJECT

private slots:
    void bodies_data();
    void bodies();
    void valuesSurviveAFormDecoder_data();
    void valuesSurviveAFormDecoder();
    void addresses();
    void searchGoesOutInTheEnvelope();
    void busyClientKeepsTheRunningRequest();
    void replyTaken_data();
    void replyTaken();
    void skinList_data();
    void skinList();
};

void TestMessages::bodies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("search abc") << SearchMessage("abc") << QByteArray("action=search&word=abc");
    QTest::newRow("search GBK stays raw")
        << SearchMessage(Gb(u"中文 资料")) << "action=search&word=" + Gb(u"中文 资料");
    QTest::newRow("commend") << CommendMessage() << QByteArray("action=commend");
    QTest::newRow("review: file id first") << ReviewMessage("123", Gb(u"8分优秀"))
                                           << "action=review&file_id=123&score=" + Gb(u"8分优秀");
    QTest::newRow("report: file id last, line breaks raw")
        << ReportMessage(Gb(u"病毒\r\n文件"), "77")
        << "action=report&content=" + Gb(u"病毒\r\n文件") + "&file_id=77";
    QTest::newRow("form syntax encoded")
        << SearchMessage("C++ a&b=50%") << QByteArray("action=search&word=C%2B%2B a%26b%3D50%25");
}

void TestMessages::bodies()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    QCOMPARE(body, expected);
}

void TestMessages::valuesSurviveAFormDecoder_data()
{
    QTest::addColumn<QByteArray>("keyword");
    QTest::newRow("C++") << QByteArray("C++");
    QTest::newRow("a&b") << QByteArray("a&b");
    QTest::newRow("smuggled field") << QByteArray("x&action=commend");
    QTest::newRow("percent") << QByteArray("100%25");
    QTest::newRow("equals") << QByteArray("a=b");
}

void TestMessages::valuesSurviveAFormDecoder()
{
    QFETCH(QByteArray, keyword);
    const QByteArray body = SearchMessage(keyword);
    const QUrlQuery form = DecodeForm(body);
    QCOMPARE(form.queryItems().size(), 2);
    QCOMPARE(FormField(body, "action"), QByteArray("search"));
    QCOMPARE(FormField(body, "word"), keyword);
}

void TestMessages::addresses()
{
    const QString base = "http://127.0.0.1:8990/";
    QCOMPARE(ServiceEndpoint(base), QByteArray("http://127.0.0.1:8990/vexa_client.php"));
    QCOMPARE(DetailPageUrl(base, "123"), QString("http://127.0.0.1:8990/vexa-123"));
    QCOMPARE(SkinCatalogueAddress(base), QByteArray("http://127.0.0.1:8990/plugins/getskin.php"));
    QCOMPARE(SkinListMessage(), QByteArray("action=list"));
    QCOMPARE(SkinDownloadUrl(base, "Dark"),
             QByteArray("http://127.0.0.1:8990/plugins/getskin.php?action=downskin&skin_id=Dark"));
    QCOMPARE(PreviewDownloadUrl(base, ""),
             QByteArray("http://127.0.0.1:8990/plugins/getskin.php?action=downimg&skin_id="));
}

void TestMessages::searchGoesOutInTheEnvelope()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(Reply(200, "[]"));
    THttpCli client;
    ConfigureServiceClient(client, "HttpCli1");
    std::optional<QByteArray> reply;
    int done = 0;
    client.OnRequestDone = [&](THttpCli* sender, THttpRequest, quint16 err) {
        ++done;
        reply = TakeServiceReply(*sender, err);
    };
    PostServiceMessage(client, ServiceEndpoint(server.BaseUrl() + "/"), SearchMessage("abc"),
                       kSearchReplyLimit);
    QTRY_COMPARE_WITH_TIMEOUT(done, 1, 5000);
    const QByteArray host = "127.0.0.1:" + QByteArray::number(server.Port());
    QCOMPARE(server.Requests().value(0),
             "POST /vexa_client.php HTTP/1.0\r\n"
             "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
             "Content-Type: application/x-www-form-urlencoded\r\n"
             "User-Agent: vexa-client-http\r\n"
             "Host: " +
                 host +
                 "\r\n"
                 "Content-Length: 22\r\n"
                 "\r\n"
                 "action=search&word=abc");
    QCOMPARE(reply, std::optional<QByteArray>("[]"));
    QVERIFY(!client.SendStream() && !client.RcvdStream());
}

void TestMessages::busyClientKeepsTheRunningRequest()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    ScriptedServer::Reply slow = ScriptedServer::Reply::Raw(Reply(200, "first"));
    slow.delayMs = 300;
    server.Enqueue(slow);
    THttpCli client;
    ConfigureServiceClient(client, "HttpCli1");
    std::optional<QByteArray> reply;
    int done = 0;
    client.OnRequestDone = [&](THttpCli* sender, THttpRequest, quint16 err) {
        ++done;
        reply = TakeServiceReply(*sender, err);
    };
    const QByteArray url = ServiceEndpoint(server.BaseUrl() + "/");
    PostServiceMessage(client, url, SearchMessage("one"), kSearchReplyLimit);
    QIODevice* const running = client.RcvdStream();
    try {
        PostServiceMessage(client, url, SearchMessage("two"), kSearchReplyLimit);
        QFAIL("a busy client took a second request");
    } catch (const EHttpException& e) {
        QCOMPARE(QByteArray(e.what()), QByteArray("HTTP component HttpCli1 is busy"));
    }
    QCOMPARE(client.RcvdStream(), running);
    QTRY_COMPARE_WITH_TIMEOUT(done, 1, 5000);
    QCOMPARE(reply, std::optional<QByteArray>("first"));
    QCOMPARE(server.Requests().size(), 1);
    QVERIFY(server.Requests().value(0).endsWith("word=one"));
}

void TestMessages::replyTaken_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<bool>("isTrue");
    QTest::newRow("true, 200") << Reply(200, "true") << true << true;
    QTest::newRow("true, 201") << Reply(201, "true") << false << false;
    QTest::newRow("true CR LF, 200") << Reply(200, "true\r\n") << true << false;
    QTest::newRow("TRUE, 200") << Reply(200, "TRUE") << true << false;
    QTest::newRow("status 500") << Reply(500, "oops") << false << false;
    QTest::newRow("closed without reply") << QByteArray() << false << false;
    QTest::newRow("true, closed before its length")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\ntrue") << false << false;
    QTest::newRow("true, chunked without the last chunk")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\ntrue\r\n") << false
        << false;
    QTest::newRow("longer than a verdict")
        << Reply(200, "true" + QByteArray(kVerdictReplyLimit, ' ')) << false << false;
}

void TestMessages::replyTaken()
{
    QFETCH(QByteArray, raw);
    QFETCH(bool, taken);
    QFETCH(bool, isTrue);
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(raw);
    THttpCli client;
    ConfigureServiceClient(client, "HttpCli1");
    std::optional<QByteArray> reply;
    int done = 0;
    client.OnRequestDone = [&](THttpCli* sender, THttpRequest, quint16 err) {
        ++done;
        reply = TakeServiceReply(*sender, err);
    };
    PostServiceMessage(client, ServiceEndpoint(server.BaseUrl() + "/"), ReviewMessage("1", "x"),
                       kVerdictReplyLimit);
    QTRY_COMPARE_WITH_TIMEOUT(done, 1, 5000);
    QCOMPARE(reply.has_value(), taken);
    QCOMPARE(reply && IsTrueReply(*reply), isTrue);
    QVERIFY(!client.SendStream() && !client.RcvdStream());
}

void TestMessages::skinList_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QList<QByteArray>>("ids");
    using L = QList<QByteArray>;
    QTest::newRow("three ids") << QByteArray("Dark,Blue,Green") << L{"Dark", "Blue", "Green"};
    QTest::newRow("trailing line break") << QByteArray("Dark,Blue\r\n") << L{"Dark", "Blue"};
    QTest::newRow("single id taken whole") << QByteArray("Dark\r\n") << L{"Dark\r\n"};
    QTest::newRow("empty reply") << QByteArray() << L{""};
    QTest::newRow("trailing comma") << QByteArray("Dark,") << L{"Dark", ""};
    QTest::newRow("quoted comma leaves an empty entry")
        << QByteArray("\"a,b\",c") << L{"a,b", "c", ""};
}

void TestMessages::skinList()
{
    QFETCH(QByteArray, reply);
    QFETCH(QList<QByteArray>, ids);
    const QVector<TSkinRes> entries = ParseSkinList(reply);
    QCOMPARE(entries.size(), ids.size());
    for (int i = 0; i < ids.size(); ++i) {
        QCOMPARE(entries[i].Id, ids[i]);
        QCOMPARE(entries[i].Title, ids[i] + Gb(u"皮肤"));
    }
}

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
