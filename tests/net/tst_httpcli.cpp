#include "net/http_cli.h"
#include "platform/wsocket.h"
#include "tests/support/scripted_server.h"

#include <QBuffer>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QtTest>

#include <memory>

namespace {

const QByteArray kAccept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";

// Records what a client reports.
struct Recorder
{
    explicit Recorder(THttpCli* c) : cli(c)
    {
        cli->SetName("HttpCli1");
        cli->OnRequestDone = [this](THttpCli*, THttpRequest rq, quint16 err) {
            ++done;
            rqType = rq;
            errCode = err;
            status = cli->StatusCode();
            reason = cli->ReasonPhrase();
            events << "done";
            if (afterDone)
                afterDone();
        };
        cli->OnDocData = [this](THttpCli*, const char* buf, int len) {
            body.append(buf, len);
            ++pieces;
        };
        cli->OnHeaderBegin = [this](THttpCli*) { events << "headerbegin"; };
        cli->OnHeaderEnd = [this](THttpCli*) {
            events << "headerend";
            if (onHeaderEnd)
                onHeaderEnd();
        };
        cli->OnDocBegin = [this](THttpCli*) { events << "docbegin"; };
        cli->OnDocEnd = [this](THttpCli*) { events << "docend"; };
        cli->OnLocationChange = [this](THttpCli*) {
            events << "location:" + cli->Location();
            if (onLocationChange)
                onLocationChange();
        };
        cli->OnCommand = [this](THttpCli*, QByteArray& line) { commands << line; };
    }

    THttpCli* cli;
    int done = 0;
    THttpRequest rqType = httpABORT;
    quint16 errCode = 0xFFFF;
    int status = -1;
    QByteArray reason;
    QByteArray body;
    int pieces = 0;
    QList<QByteArray> events;
    QList<QByteArray> commands;
    std::function<void()> afterDone;
    std::function<void()> onHeaderEnd;
    std::function<void()> onLocationChange;
};

// Lets the event loop run a little longer, to see that nothing more comes.
void Settle()
{
    QTest::qWait(60);
}

QByteArray Ok(const QByteArray& body, const QByteArray& extra = QByteArray())
{
    return "HTTP/1.0 200 OK\r\n" + extra + "Content-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

// A port on 127.0.0.1 that nobody listens on.
quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TestHttpCli : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void requestBytes_data();
    void requestBytes();
    void hostLineWithoutPort();
    void rangeIsClearedAfterOneRequest();
    void httpsGives501WithNothingSent();
    void transportFailures_data();
    void transportFailures();
    void startRefusals();
    void busyRefusalLeavesRequestAlone();
    void startFromInsideRequestDone();
    void abortBusy_data();
    void abortBusy();
    void abortIdleReportsAtOnce();
    void abortInsideHeaderEnd();
    void statusLine_data();
    void statusLine();
    void headerNamesIgnoreCase_data();
    void headerNamesIgnoreCase();
    void connectionReuse_data();
    void connectionReuse();
    void bodyFraming_data();
    void bodyFraming();
    void chunkedSplitAtEveryByte();
    void continueIsSkipped();
    void docName_data();
    void docName();
    void redirectCounting_data();
    void redirectCounting();
    void redirectTurnsPostIntoGet();
    void redirectToOtherHostAndHttps();
    void redirectBodiesAreNotMixedIn_data();
    void redirectBodiesAreNotMixedIn();
    void redirectOnKeptConnectionIsNotFollowed();
    void rangeForRedirectedRequest();
    void limits_data();
    void limits();
    void resetMidBodyIsAnError();
    void stalledReplyTimesOut_data();
    void stalledReplyTimesOut();
    void slowButFlowingReplyFinishes();
    void bodyLimit_data();
    void bodyLimit();
    void handlerExceptions();
    void destroyInsideHandlers_data();
    void destroyInsideHandlers();
    void sendsLargeBodyInChunks();
};

void TestHttpCli::defaults()
{
    THttpCli cli;
    QCOMPARE(cli.RequestVer(), QByteArray("1.0"));
    QCOMPARE(cli.Agent(), QByteArray("Mozilla/4.0 (compatible; VexaHttp)"));
    QCOMPARE(cli.Accept(), kAccept);
    QCOMPARE(cli.ContentTypePost(), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(cli.LocalAddr(), QByteArray("0.0.0.0"));
    QCOMPARE(cli.FollowRelocation(), true);
    QCOMPARE(cli.LocationChangeMaxCount(), 5);
    QCOMPARE(cli.Timeout(), 30);
    QCOMPARE(cli.BandwidthLimit(), 10000);
    QCOMPARE(cli.BandwidthSampling(), 1000);
    QCOMPARE(cli.State(), httpReady);
    QCOMPARE(cli.ContentLength(), qint64(-1));
    QCOMPARE(cli.StatusCode(), 0);
}

void TestHttpCli::requestBytes_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("atEnd");
    QTest::addColumn<QByteArray>("agent");
    QTest::addColumn<bool>("noCache");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("expected"); // HOST stands for 127.0.0.1:port

    const QByteArray envelope = "Accept: " + kAccept +
                                "\r\nContent-Type: application/x-www-form-urlencoded"
                                "\r\nUser-Agent: vexa-client-http\r\nHost: HOST\r\n";
    QTest::newRow("search envelope") << QByteArray("POST") << QByteArray("/vexa_client.php")
                                     << QByteArray("action=search&word=abc") << false
                                     << QByteArray("vexa-client-http") << false << QByteArray("1.0")
                                     << "POST /vexa_client.php HTTP/1.0\r\n" + envelope +
                                            "Content-Length: 22\r\n\r\naction=search&word=abc";
    QTest::newRow("body stream at its end")
        << QByteArray("POST") << QByteArray("/p") << QByteArray("xyz") << true
        << QByteArray("vexa-client-http") << false << QByteArray("1.0")
        << "POST /p HTTP/1.0\r\n" + envelope + "Content-Length: 0\r\n\r\n";
    QTest::newRow("get without path")
        << QByteArray("GET") << QByteArray("") << QByteArray() << false << QByteArray("A") << false
        << QByteArray("1.0")
        << "GET / HTTP/1.0\r\nAccept: " + kAccept + "\r\nUser-Agent: A\r\nHost: HOST\r\n\r\n";
    QTest::newRow("no agent, no-cache, 1.1")
        << QByteArray("GET") << QByteArray("/a/b?q=1&r=2") << QByteArray() << false << QByteArray()
        << true << QByteArray("1.1")
        << "GET /a/b?q=1&r=2 HTTP/1.1\r\nAccept: " + kAccept +
               "\r\nHost: HOST\r\nPragma: no-cache\r\n\r\n";
    QTest::newRow("control bytes in path are encoded")
        << QByteArray("GET") << QByteArray("/a b\rc") << QByteArray() << false << QByteArray("A")
        << false << QByteArray("1.0")
        << "GET /a%20b%0Dc HTTP/1.0\r\nAccept: " + kAccept +
               "\r\nUser-Agent: A\r\nHost: HOST\r\n\r\n";
}

void TestHttpCli::requestBytes()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    QFETCH(bool, atEnd);
    QFETCH(QByteArray, agent);
    QFETCH(bool, noCache);
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, expected);

    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(Ok("fine"));
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetAgent(agent);
    cli.SetNoCache(noCache);
    cli.SetRequestVer(version);
    cli.SetURL(server.BaseUrl() + path);
    QBuffer send;
    QBuffer rcvd;
    if (method == "POST") {
        send.setData(body);
        send.open(QIODevice::ReadOnly);
        if (atEnd)
            send.seek(send.size());
        rcvd.open(QIODevice::ReadWrite);
        cli.SetSendStream(&send);
        cli.SetRcvdStream(&rcvd);
        cli.PostASync();
    } else {
        cli.GetASync();
    }
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    expected.replace("HOST", "127.0.0.1:" + QByteArray::number(server.Port()));
    QCOMPARE(server.Requests().value(0), expected);
    QCOMPARE(rec.errCode, quint16(0));
    QCOMPARE(rec.status, 200);
    QCOMPARE(rec.body, QByteArray("fine"));
    if (method == "POST")
        QCOMPARE(rcvd.data(), QByteArray("fine"));
    // Every header line went through OnCommand, in order.
    QCOMPARE(rec.commands.join("\r\n") + "\r\n\r\n",
             expected.left(expected.indexOf("\r\n\r\n") + 4));
}

void TestHttpCli::hostLineWithoutPort()
{
    ScriptedServer server;
    if (!server.Listen(80))
        QSKIP("port 80 on 127.0.0.1 is taken or not allowed");
    server.Enqueue(Ok("x"));
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL("http://127.0.0.1:80/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QVERIFY(server.Requests().value(0).contains("\r\nHost: 127.0.0.1\r\n"));
}

void TestHttpCli::rangeIsClearedAfterOneRequest()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(Ok("1"));
    server.Enqueue(Ok("2"));
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetLocalAddr("127.0.0.1");
    cli.SetURL(server.BaseUrl() + "/f");
    cli.SetContentRangeBegin("100");
    cli.GetASync();
    QCOMPARE(cli.ContentRangeBegin(), QByteArray("100")); // not built yet
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QVERIFY(server.Requests().value(0).endsWith("\r\nRange: bytes=100-\r\n\r\n"));
    QCOMPARE(cli.ContentRangeBegin(), QByteArray());
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 2, 5000);
    QVERIFY(!server.Requests().value(1).contains("Range"));
}

void TestHttpCli::httpsGives501WithNothingSent()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL("https://127.0.0.1:" + QByteArray::number(server.Port()) + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(rec.status, 501);
    QCOMPARE(rec.reason, QByteArray("Protocol \"https\" not implemented"));
    QCOMPARE(rec.errCode, quint16(0));
    Settle();
    QCOMPARE(server.ConnectionCount(), 0);
    QCOMPARE(rec.done, 1);
}

void TestHttpCli::transportFailures_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("localAddr");
    QTest::addColumn<QByteArray>("reason");
    QTest::addColumn<int>("errCode");

    const QByteArray any = "0.0.0.0";
    const QByteArray cantAssign = "can't connect: Cannot assign requested address (Error #10049)";
    const QByteArray refusedUrl = "http://127.0.0.1:" + QByteArray::number(FreePort()) + "/x";
    QTest::newRow("unresolvable host")
        << QByteArray("http://no-such-host.invalid/x") << any
        << QByteArray("can't resolve hostname to IP address") << WSocketError::HostNotFound;
    QTest::newRow("empty host") << QByteArray("http:///x") << any
                                << QByteArray("can't resolve hostname to IP address")
                                << WSocketError::HostNotFound;
    QTest::newRow("refused port") << refusedUrl << any
                                  << QByteArray("Connection refused (Error #10061)")
                                  << WSocketError::ConnectionRefused;
    QTest::newRow("port out of range") << QByteArray("http://127.0.0.1:70000/x") << any
                                       << cantAssign << WSocketError::AddressNotAvailable;
    QTest::newRow("local address not ours")
        << refusedUrl << QByteArray("192.0.2.1") << cantAssign << WSocketError::AddressNotAvailable;
    QTest::newRow("local address not an address")
        << refusedUrl << QByteArray("nowhere") << cantAssign << WSocketError::AddressNotAvailable;
}

void TestHttpCli::transportFailures()
{
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, localAddr);
    QFETCH(QByteArray, reason);
    QFETCH(int, errCode);
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetLocalAddr(localAddr);
    cli.SetURL(url);
    cli.GetASync();
    QCOMPARE(rec.done, 0);
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 10000);
    QCOMPARE(rec.status, 404);
    QCOMPARE(rec.reason, reason);
    QCOMPARE(int(rec.errCode), errCode);
    QCOMPARE(cli.State(), httpReady);
    Settle();
    QCOMPARE(rec.done, 1);
}

void TestHttpCli::startRefusals()
{
    THttpCli cli;
    cli.SetName("HttpCli1");
    cli.SetURL("http://127.0.0.1:1/x");
    try {
        cli.PostASync();
        QFAIL("POST without a body stream was accepted");
    } catch (const EHttpException& e) {
        QCOMPARE(e.Code(), 2);
        QCOMPARE(QByteArray(e.what()), QByteArray("HTTP component has nothing to post or put"));
    }
    QCOMPARE(cli.State(), httpReady);
    try {
        cli.SetRequestVer("2.0");
        QFAIL("version 2.0 was accepted");
    } catch (const EHttpException& e) {
        QCOMPARE(e.Code(), 5);
        QCOMPARE(QByteArray(e.what()), QByteArray("Insupported HTTP version"));
    }
    QCOMPARE(cli.RequestVer(), QByteArray("1.0"));
    cli.SetRequestVer("1.1");
    QCOMPARE(cli.RequestVer(), QByteArray("1.1"));
}

void TestHttpCli::busyRefusalLeavesRequestAlone()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    ScriptedServer::Reply reply = ScriptedServer::Reply::Raw(Ok("whole body"));
    reply.delayMs = 100;
    server.Enqueue(reply);
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QBuffer send;
    send.setData("a=b");
    send.open(QIODevice::ReadOnly);
    cli.SetSendStream(&send);
    for (int round = 0; round < 2; ++round) {
        try {
            if (round == 0)
                cli.PostASync();
            else
                cli.GetASync();
            QFAIL("a busy client started a second request");
        } catch (const EHttpException& e) {
            QCOMPARE(e.Code(), 1);
            QCOMPARE(QByteArray(e.what()), QByteArray("HTTP component HttpCli1 is busy"));
        }
        QTest::qWait(20);
    }
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(rec.rqType, httpGET);
    QCOMPARE(rec.errCode, quint16(0));
    QCOMPARE(rec.status, 200);
    QCOMPARE(rec.body, QByteArray("whole body"));
    QCOMPARE(server.Requests().size(), 1);
}

void TestHttpCli::startFromInsideRequestDone()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(Ok("one"));
    server.Enqueue(Ok("two"));
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL(server.BaseUrl() + "/1");
    rec.afterDone = [&] {
        if (rec.done == 1) {
            QCOMPARE(cli.State(), httpReady);
            cli.SetURL(server.BaseUrl() + "/2");
            cli.GetASync();
        }
    };
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 2, 5000);
    QCOMPARE(rec.body, QByteArray("onetwo"));
    QVERIFY(server.Requests().value(1).startsWith("GET /2 HTTP/1.0\r\n"));
}

void TestHttpCli::abortBusy_data()
{
    QTest::addColumn<int>("when"); // 0: during the lookup, 1: waiting for the reply, 2: in body
    QTest::newRow("during lookup") << 0;
    QTest::newRow("waiting for the header") << 1;
    QTest::newRow("inside the body") << 2;
}

void TestHttpCli::abortBusy()
{
    QFETCH(int, when);
    ScriptedServer server;
    QVERIFY(server.Listen());
    ScriptedServer::Reply reply =
        ScriptedServer::Reply::Raw("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nabc");
    reply.after = ScriptedServer::Reply::Silent;
    if (when == 1)
        reply.delayMs = 3000;
    server.Enqueue(reply);
    THttpCli cli;
    Recorder rec(&cli);
    int closed = 0;
    cli.OnSessionClosed = [&](THttpCli*) { ++closed; };
    cli.SetURL(when == 0 ? QByteArray("http://localhost:1/x") : server.BaseUrl() + "/x");
    cli.GetASync();
    if (when == 1)
        QTRY_COMPARE_WITH_TIMEOUT(cli.State(), httpWaitingHeader, 5000);
    if (when == 2)
        QTRY_COMPARE_WITH_TIMEOUT(rec.body, QByteArray("abc"), 5000);
    cli.Abort();
    QCOMPARE(cli.State(), httpReady);
    QCOMPARE(rec.done, 0); // reported from the event loop
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(rec.errCode, quint16(3));
    QCOMPARE(rec.status, 404);
    QCOMPARE(rec.reason, QByteArray("Connection aborted on request"));
    Settle();
    QCOMPARE(rec.done, 1);
    QVERIFY(!rec.events.contains("docend"));
}

void TestHttpCli::abortIdleReportsAtOnce()
{
    THttpCli cli;
    Recorder rec(&cli);
    cli.Abort();
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.errCode, quint16(0));
    QCOMPARE(rec.status, 200);
    QCOMPARE(rec.reason, QByteArray("OK"));
    QCOMPARE(cli.State(), httpReady);
    Settle();
    QCOMPARE(rec.done, 1);
}

void TestHttpCli::abortInsideHeaderEnd()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(Ok("0123456789"));
    THttpCli cli;
    Recorder rec(&cli);
    bool inHandler = false;
    int doneInHandler = -1;
    rec.onHeaderEnd = [&] {
        inHandler = true;
        QCOMPARE(cli.StatusCode(), 200);
        QCOMPARE(cli.ContentLength(), qint64(10));
        cli.Abort();
        doneInHandler = rec.done;
        inHandler = false;
    };
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(doneInHandler, 0);
    QCOMPARE(rec.errCode, quint16(3));
    QCOMPARE(rec.body, QByteArray());
    Settle();
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.events.count("headerend"), 1);
}

void TestHttpCli::statusLine_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reason");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("errCode");

    QTest::newRow("1.1 200 OK") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi")
                                << 200 << QByteArray("OK") << QByteArray("hi") << 0;
    QTest::newRow("1.0 404") << QByteArray("HTTP/1.0 404 Not Found\r\nContent-Length: 1\r\n\r\nx")
                             << 404 << QByteArray("Not Found") << QByteArray("x") << 0;
    QTest::newRow("no reason") << QByteArray("HTTP/1.0 200\r\n\r\nbody") << 200 << QByteArray()
                               << QByteArray("body") << 0;
    QTest::newRow("extra blanks") << QByteArray("HTTP/1.0    201 Made\r\n\r\nb") << 201
                                  << QByteArray("Made") << QByteArray("b") << 0;
    QTest::newRow("LF only") << QByteArray("HTTP/1.0 200 OK\nContent-Length: 2\n\nok") << 200
                             << QByteArray("OK") << QByteArray("ok") << 0;
    QTest::newRow("code not three digits")
        << QByteArray("HTTP/1.0 2x0 Odd\r\n\r\nbody") << 0 << QByteArray() << QByteArray() << 0;
    QTest::newRow("no code") << QByteArray("HTTP/1.0\r\n\r\nbody") << 0 << QByteArray()
                             << QByteArray() << 0;
    QTest::newRow("HTTP/2.0") << QByteArray("HTTP/2.0 200 OK\r\n\r\nbody") << 0 << QByteArray()
                              << QByteArray() << 0;
    QTest::newRow("lower-case http")
        << QByteArray("http/1.0 200 OK\r\n\r\nbody") << 0 << QByteArray() << QByteArray() << 0;
    QTest::newRow("bare html") << QByteArray("<html><body>hi\r\n</body></html>") << 0
                               << QByteArray() << QByteArray("</body></html>") << 0;
    // A reply cut off before its header ended is a failure, whatever status it gave.
    QTest::newRow("closed before any byte")
        << QByteArray() << 0 << QByteArray() << QByteArray() << int(THttpCli::httperrIncomplete);
    QTest::newRow("closed inside header")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Le") << 200 << QByteArray("OK") << QByteArray()
        << int(THttpCli::httperrIncomplete);
    QTest::newRow("204 without length") << QByteArray("HTTP/1.0 204 No Content\r\n\r\n") << 204
                                        << QByteArray("No Content") << QByteArray() << 0;
}

void TestHttpCli::statusLine()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    QFETCH(QByteArray, reason);
    QFETCH(QByteArray, body);
    QFETCH(int, errCode);
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(reply);
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(int(rec.errCode), errCode);
    QCOMPARE(rec.status, status);
    if (status != 0)
        QCOMPARE(rec.reason, reason);
    QCOMPARE(rec.body, body);
    Settle();
    QCOMPARE(rec.done, 1);
}

void TestHttpCli::headerNamesIgnoreCase_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("canonical") << QByteArray(
        "Content-Length: 4\r\nContent-Range: bytes 100-199/1000"
        "\r\nAccept-Ranges: bytes\r\n");
    QTest::newRow("lower") << QByteArray("content-length: 4\r\ncontent-range: bytes 100-199/1000"
                                         "\r\naccept-ranges: bytes\r\n");
    QTest::newRow("upper, no blank") << QByteArray("CONTENT-LENGTH:4\r\nCONTENT-RANGE:bytes "
                                                   "100-199/1000\r\nACCEPT-RANGES:bytes\r\n");
}

void TestHttpCli::headerNamesIgnoreCase()
{
    QFETCH(QByteArray, header);
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue("HTTP/1.0 206 Partial\r\n" + header + "\r\nbodyIGNORED");
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(rec.status, 206);
    QCOMPARE(cli.ContentLength(), qint64(4));
    QCOMPARE(rec.body, QByteArray("body"));
    QCOMPARE(cli.RcvdCount(), qint64(4));
    QCOMPARE(cli.ContentRangeBegin(), QByteArray("100"));
    QCOMPARE(cli.ContentRangeEnd(), QByteArray("199"));
    QCOMPARE(cli.AcceptRanges(), QByteArray("bytes"));
    QCOMPARE(cli.RcvdHeader().size(), 4);
    QCOMPARE(cli.RcvdHeader().first(), QByteArray("HTTP/1.0 206 Partial"));
}

void TestHttpCli::connectionReuse_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("connectionHeader");
    QTest::addColumn<QByteArray>("replyVersion");
    QTest::addColumn<bool>("reused");

    QTest::newRow("1.0 plain: closed")
        << QByteArray("1.0") << QByteArray() << QByteArray("1.0") << false;
    QTest::newRow("1.0 keep-alive: kept")
        << QByteArray("1.0") << QByteArray("Keep-Alive") << QByteArray("1.0") << true;
    QTest::newRow("1.1 to 1.1: kept")
        << QByteArray("1.1") << QByteArray() << QByteArray("1.1") << true;
    QTest::newRow("1.1 to 1.0: closed")
        << QByteArray("1.1") << QByteArray() << QByteArray("1.0") << false;
    QTest::newRow("1.1 Connection: Close")
        << QByteArray("1.1") << QByteArray("Close") << QByteArray("1.1") << false;
}

void TestHttpCli::connectionReuse()
{
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, connectionHeader);
    QFETCH(QByteArray, replyVersion);
    QFETCH(bool, reused);
    ScriptedServer server;
    QVERIFY(server.Listen());
    const QByteArray extra =
        connectionHeader.isEmpty() ? QByteArray() : "Connection: " + connectionHeader + "\r\n";
    const QByteArray reply =
        "HTTP/" + replyVersion + " 200 OK\r\n" + extra + "Content-Length: 3\r\n\r\nabc";
    // The server keeps its side open: only the client decides.
    server.Enqueue(reply, ScriptedServer::Reply::KeepOpen);
    server.Enqueue(reply, ScriptedServer::Reply::KeepOpen);
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetRequestVer(version);
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(rec.status, 200);
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 2, 5000);
    QCOMPARE(rec.errCode, quint16(0));
    QCOMPARE(rec.body, QByteArray("abcabc"));
    QCOMPARE(server.ConnectionCount(), reused ? 1 : 2);
}

void TestHttpCli::bodyFraming_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("after"); // ScriptedServer::Reply::After
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("errCode");

    const int keep = ScriptedServer::Reply::KeepOpen;
    const int close = ScriptedServer::Reply::Close;
    QTest::newRow("length with surplus bytes")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\n0123456789ABCDE") << close
        << QByteArray("0123456789") << 0;
    QTest::newRow("length, kept connection")
        << QByteArray("HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Length: 3\r\n\r\nabc")
        << keep << QByteArray("abc") << 0;
    QTest::newRow("until close") << QByteArray("HTTP/1.0 200 OK\r\n\r\nall of it") << close
                                 << QByteArray("all of it") << 0;
    QTest::newRow("length 0") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n") << keep
                              << QByteArray() << 0;
    QTest::newRow("closed before its length")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nabc") << close
        << QByteArray("abc") << int(THttpCli::httperrIncomplete);
    QTest::newRow("closed before the body")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\n") << close << QByteArray()
        << int(THttpCli::httperrIncomplete);
    QTest::newRow("chunked, closed inside a chunk")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel") << close
        << QByteArray("hel") << int(THttpCli::httperrIncomplete);
    QTest::newRow("chunked, closed before the last chunk")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n")
        << close << QByteArray("hello") << int(THttpCli::httperrIncomplete);
    QTest::newRow("chunked")
        << QByteArray(
               "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n")
        << keep << QByteArray("hello") << 0;
    QTest::newRow("chunked, extensions and upper hex")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n"
                      "5;name=val\r\nhello\r\nA ; x\r\n0123456789\r\n0;end\r\n\r\n")
        << keep << QByteArray("hello0123456789") << 0;
    QTest::newRow("chunked, leading zeros")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                      "00000000000000000000003\r\nabc\r\n0\r\n\r\n")
        << keep << QByteArray("abc") << 0;
    QTest::newRow("chunk size not hex")
        << QByteArray(
               "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n")
        << keep << QByteArray() << int(THttpCli::httperrBadReply);
    QTest::newRow("chunk size beyond 63 bits")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                      "8000000000000000\r\nhello\r\n0\r\n\r\n")
        << keep << QByteArray() << int(THttpCli::httperrBadReply);
    QTest::newRow("negative length is no length")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: -5\r\n\r\nrest") << close
        << QByteArray("rest") << 0;
}

void TestHttpCli::bodyFraming()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, after);
    QFETCH(QByteArray, body);
    QFETCH(int, errCode);
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(reply, ScriptedServer::Reply::After(after));
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetRequestVer(reply.startsWith("HTTP/1.1") ? "1.1" : "1.0");
    cli.SetURL(server.BaseUrl() + "/x");
    QBuffer rcvd;
    rcvd.open(QIODevice::ReadWrite);
    cli.SetRcvdStream(&rcvd);
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(int(rec.errCode), errCode);
    QCOMPARE(rec.body, body);
    QCOMPARE(rcvd.data(), body);
    QCOMPARE(cli.RcvdCount(), qint64(body.size()));
    if (errCode == 0 && !body.isEmpty())
        QCOMPARE(rec.events.count("docend"), 1);
    Settle();
    QCOMPARE(rec.done, 1);
}

void TestHttpCli::chunkedSplitAtEveryByte()
{
    const QByteArray head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const QByteArray chunked = "5;e=1\r\nhello\r\n1\r\n \r\n5\r\nworld\r\n0\r\n\r\n";
    const QByteArray reply = head + chunked;
    ScriptedServer server;
    QVERIFY(server.Listen());
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetRequestVer("1.1");
    cli.SetURL(server.BaseUrl() + "/x");
    for (int cut = 1; cut < reply.size(); ++cut) {
        server.Enqueue(
            ScriptedServer::Reply::Split(reply, {cut}, 10, ScriptedServer::Reply::KeepOpen));
        rec.body.clear();
        cli.GetASync();
        QTRY_COMPARE_WITH_TIMEOUT(rec.done, cut, 5000);
        QVERIFY2(rec.body == "hello world", qPrintable("cut at " + QString::number(cut)));
        QCOMPARE(rec.errCode, quint16(0));
        QCOMPARE(rec.status, 200);
    }
    // All on one kept connection: every reply ended exactly where it should.
    QCOMPARE(server.ConnectionCount(), 1);
}

void TestHttpCli::continueIsSkipped()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(ScriptedServer::Reply::Split(
        "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", {26}));
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(rec.status, 200);
    QCOMPARE(rec.body, QByteArray("ok"));
    QCOMPARE(rec.events.count("headerbegin"), 1);
    QCOMPARE(rec.events.count("headerend"), 1);
    QCOMPARE(cli.RcvdHeader(), QList<QByteArray>({"HTTP/1.1 200 OK", "Content-Length: 2"}));
}

void TestHttpCli::docName_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("docName");
    QTest::newRow("file") << QByteArray("/skins/a.skn?x=1") << QByteArray("application/x")
                          << QByteArray("a.skn");
    QTest::newRow("folder") << QByteArray("/skins/") << QByteArray("text/html")
                            << QByteArray("document.htm");
    QTest::newRow("root") << QByteArray("") << QByteArray("text/plain")
                          << QByteArray("document.htm");
    QTest::newRow("html named exe")
        << QByteArray("/a/setup.EXE") << QByteArray("Text/HTML") << QByteArray("setup.htm");
    QTest::newRow("html without extension")
        << QByteArray("/a/page") << QByteArray("text/html") << QByteArray("page.htm");
    QTest::newRow("html with charset keeps name")
        << QByteArray("/a/page") << QByteArray("text/html; charset=gbk") << QByteArray("page");
}

void TestHttpCli::docName()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, docName);
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(Ok("x", "Content-Type: " + contentType + "\r\n"));
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL(server.BaseUrl() + path);
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(cli.DocName(), docName);
}

void TestHttpCli::redirectCounting_data()
{
    QTest::addColumn<bool>("withBody");
    QTest::addColumn<int>("followed"); // redirects followed before the limit stops
    // Without a body each redirect counts twice: two of them fit in five.
    QTest::newRow("302 without body") << false << 2;
    QTest::newRow("302 with body") << true << 5;
}

void TestHttpCli::redirectCounting()
{
    QFETCH(bool, withBody);
    QFETCH(int, followed);
    ScriptedServer server;
    QVERIFY(server.Listen());
    for (int i = 0; i < 10; ++i) {
        const QByteArray location = "Location: /r" + QByteArray::number(i + 1) + "\r\n";
        server.Enqueue(
            "HTTP/1.0 302 Found\r\n" + location +
            (withBody ? QByteArray("Content-Length: 4\r\n\r\nmove") : QByteArray("\r\n")));
    }
    THttpCli cli;
    Recorder rec(&cli);
    int exceeded = 0;
    cli.OnLocationChangeExceeded = [&](THttpCli*, int, bool& allow) {
        ++exceeded;
        QCOMPARE(allow, false);
    };
    cli.SetURL(server.BaseUrl() + "/r0");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    Settle();
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.status, 302);
    QCOMPARE(rec.errCode, quint16(0));
    QCOMPARE(exceeded, 1);
    QCOMPARE(server.Requests().size(), followed + 1);
    QVERIFY(server.Requests().last().startsWith("GET /r" + QByteArray::number(followed) + " "));
}

void TestHttpCli::redirectTurnsPostIntoGet()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue("HTTP/1.0 302 Found\r\nContent-Length: 0\r\nLocation: /final#frag\r\n\r\n");
    server.Enqueue(Ok("done"));
    THttpCli cli;
    Recorder rec(&cli);
    QBuffer send;
    send.setData("action=search&word=abc");
    send.open(QIODevice::ReadOnly);
    QBuffer rcvd;
    rcvd.open(QIODevice::ReadWrite);
    cli.SetSendStream(&send);
    cli.SetRcvdStream(&rcvd);
    cli.SetURL(server.BaseUrl() + "/vexa_client.php");
    cli.PostASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    Settle();
    QCOMPARE(rec.done, 1);
    QCOMPARE(rec.status, 200);
    QCOMPARE(rec.rqType, httpGET);
    QCOMPARE(cli.RequestType(), httpGET);
    QCOMPARE(rcvd.data(), QByteArray("done"));
    QCOMPARE(cli.LocationChangeCurCount(), 2);
    QCOMPARE(cli.Location(), server.BaseUrl() + "/final");
    QCOMPARE(cli.DocName(), QByteArray("final"));
    QCOMPARE(send.pos(), qint64(0)); // moved back over what was sent
    const QByteArray second = server.Requests().value(1);
    QVERIFY2(second.startsWith("GET /final HTTP/1.0\r\n"), second.constData());
    QVERIFY(!second.contains("Content-Length"));
    QVERIFY(!second.contains("Content-Type"));
    QVERIFY(second.endsWith("\r\n\r\n"));
    QCOMPARE(rec.events.count("location:" + server.BaseUrl() + "/final"), 1);
}

void TestHttpCli::redirectToOtherHostAndHttps()
{
    ScriptedServer first;
    ScriptedServer second;
    QVERIFY(first.Listen());
    QVERIFY(second.Listen());
    const QByteArray other = "http://localhost:" + QByteArray::number(second.Port());
    first.Enqueue("HTTP/1.0 301 Moved\r\nLocation: " + other + "/elsewhere?a=1\r\n\r\n");
    second.Enqueue("HTTP/1.0 302 Found\r\nLocation: https://127.0.0.1/x\r\n\r\n");
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL(first.BaseUrl() + "/start");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QVERIFY(second.Requests().value(0).startsWith("GET /elsewhere?a=1 HTTP/1.0\r\n"));
    QVERIFY(second.Requests().value(0).contains(
        "\r\nHost: localhost:" + QByteArray::number(second.Port()) + "\r\n"));
    QCOMPARE(rec.status, 501);
    QCOMPARE(rec.reason, QByteArray("Protocol \"https\" not implemented"));
    QCOMPARE(cli.Location(), QByteArray("https://127.0.0.1/x"));
}

void TestHttpCli::redirectBodiesAreNotMixedIn_data()
{
    QTest::addColumn<bool>("toFile");
    QTest::newRow("memory buffer") << false;
    QTest::newRow("file") << true;
}

void TestHttpCli::redirectBodiesAreNotMixedIn()
{
    QFETCH(bool, toFile);
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue("HTTP/1.0 302 Found\r\nLocation: next\r\nContent-Type: text/html\r\n"
                   "Content-Length: 20\r\n\r\n<a>moved here</a>...");
    QByteArray big(1000, 'z');
    server.Enqueue(ScriptedServer::Reply::Split(Ok(big), {40, 500}, 5));
    THttpCli cli;
    Recorder rec(&cli);
    QBuffer buffer;
    QTemporaryFile file;
    QIODevice* rcvd = toFile ? static_cast<QIODevice*>(&file) : &buffer;
    QVERIFY(toFile ? file.open() : buffer.open(QIODevice::ReadWrite));
    rcvd->write("kept:");
    cli.SetRcvdStream(rcvd);
    cli.SetURL(server.BaseUrl() + "/dir/first?q=1");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(rec.status, 200);
    rcvd->seek(0);
    QCOMPARE(rcvd->readAll(), "kept:" + big);
    QCOMPARE(cli.RcvdCount(), qint64(1000));
    QCOMPARE(cli.LocationChangeCurCount(), 1);
    QVERIFY(server.Requests().value(1).startsWith("GET /dir/next HTTP/1.0\r\n"));
}

void TestHttpCli::redirectOnKeptConnectionIsNotFollowed()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue("HTTP/1.0 301 Moved\r\nConnection: keep-alive\r\nLocation: /x\r\n\r\n",
                   ScriptedServer::Reply::KeepOpen);
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL(server.BaseUrl() + "/a");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(rec.status, 301);
    Settle();
    QCOMPARE(server.Requests().size(), 1);
    QCOMPARE(rec.done, 1);
}

void TestHttpCli::rangeForRedirectedRequest()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue("HTTP/1.0 302 Found\r\nLocation: /b\r\n\r\n");
    server.Enqueue("HTTP/1.0 206 Partial\r\nContent-Range: bytes 5-9/10\r\nContent-Length: 5\r\n"
                   "\r\n56789");
    THttpCli cli;
    Recorder rec(&cli);
    rec.onLocationChange = [&] {
        cli.SetContentRangeBegin("5");
        cli.SetContentRangeEnd("9");
    };
    cli.SetContentRangeBegin("0");
    cli.SetContentRangeEnd("9");
    cli.SetURL(server.BaseUrl() + "/a");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QVERIFY(server.Requests().value(0).contains("\r\nRange: bytes=0-9\r\n"));
    QVERIFY(server.Requests().value(1).contains("\r\nRange: bytes=5-9\r\n"));
    QCOMPARE(rec.status, 206);
    QCOMPARE(rec.body, QByteArray("56789"));
}

void TestHttpCli::limits_data()
{
    QTest::addColumn<QByteArray>("reply");
    QByteArray longLine =
        "HTTP/1.0 200 OK\r\nX-Long: " + QByteArray(THttpCli::MaxHeaderLine + 10, 'a');
    QTest::newRow("header line without end") << longLine;
    QTest::newRow("header line too long") << longLine + "\r\n\r\nbody";
    QByteArray many = "HTTP/1.0 200 OK\r\n";
    while (many.size() <= THttpCli::MaxHeaderBlock)
        many += "X-Filler: " + QByteArray(1000, 'b') + "\r\n";
    QTest::newRow("header block too large") << many + "\r\nbody";
    QTest::newRow("chunk extension without end")
        << "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;" +
               QByteArray(THttpCli::MaxHeaderLine + 10, 'e');
}

void TestHttpCli::limits()
{
    QFETCH(QByteArray, reply);
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(reply, ScriptedServer::Reply::Silent);
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 10000);
    QCOMPARE(rec.errCode, THttpCli::httperrBadReply);
    QCOMPARE(rec.body, QByteArray());
    Settle();
    QCOMPARE(rec.done, 1);
}

void TestHttpCli::resetMidBodyIsAnError()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    ScriptedServer::Reply reply =
        ScriptedServer::Reply::Raw("HTTP/1.0 206 Partial\r\nContent-Length: 100\r\n\r\n0123456789");
    reply.after = ScriptedServer::Reply::Reset;
    server.Enqueue(reply);
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(int(rec.errCode), WSocketError::ConnectionReset);
    QCOMPARE(rec.status, 206);
    QCOMPARE(rec.body, QByteArray("0123456789"));
    QCOMPARE(cli.RcvdCount(), qint64(10));
}

void TestHttpCli::stalledReplyTimesOut_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("status");
    QTest::newRow("accepts and never answers") << QByteArray() << 0;
    QTest::newRow("stalls inside the header") << QByteArray("HTTP/1.0 200 OK\r\nConte") << 200;
    QTest::newRow("stalls inside the body")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc") << 200;
    QTest::newRow("chunked without end")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n") << 200;
}

void TestHttpCli::stalledReplyTimesOut()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(reply, ScriptedServer::Reply::Silent);
    server.Enqueue(Ok("next"));
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetNoDataTimeout(300);
    QBuffer rcvd;
    rcvd.open(QIODevice::ReadWrite);
    cli.SetRcvdStream(&rcvd);
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 10000);
    QCOMPARE(rec.errCode, THttpCli::httperrTimeout);
    QCOMPARE(rec.status, status);
    QCOMPARE(rec.reason, QByteArray("No data from the server for 300 ms"));
    QCOMPARE(cli.State(), httpReady);
    Settle();
    QCOMPARE(rec.done, 1);

    // The client is free for the next request.
    rcvd.buffer().clear();
    rcvd.seek(0);
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 2, 10000);
    QCOMPARE(rec.errCode, quint16(0));
    QCOMPARE(rcvd.data(), QByteArray("next"));
}

void TestHttpCli::slowButFlowingReplyFinishes()
{
    // Far longer in all than the bound, but never a long pause.
    QByteArray body;
    QList<int> cuts;
    const QByteArray head = "HTTP/1.0 200 OK\r\nContent-Length: 60\r\n\r\n";
    for (int i = 0; i < 60; ++i) {
        body += char('a' + i % 26);
        cuts << head.size() + i;
    }
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(ScriptedServer::Reply::Split(head + body, cuts, 50));
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetNoDataTimeout(1500);
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 30000);
    QCOMPARE(rec.errCode, quint16(0));
    QCOMPARE(rec.body, body);
}

void TestHttpCli::bodyLimit_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("endless");
    QTest::addColumn<int>("errCode");
    QTest::addColumn<QByteArray>("body"); // held after a success
    const QByteArray limitBody(1000, 'x');
    QTest::newRow("exactly the limit") << Ok(limitBody) << QByteArray() << 0 << limitBody;
    QTest::newRow("length above the limit")
        << Ok(limitBody + "y") << QByteArray() << int(THttpCli::httperrTooLarge) << QByteArray();
    QTest::newRow("no length, one byte too many")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\n" + limitBody + "y") << QByteArray()
        << int(THttpCli::httperrTooLarge) << QByteArray();
    QTest::newRow("body without end")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\n") << QByteArray(4096, 'z')
        << int(THttpCli::httperrTooLarge) << QByteArray();
    QTest::newRow("chunked without end")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
        << "100\r\n" + QByteArray(256, 'c') + "\r\n"
        << int(THttpCli::httperrTooLarge) << QByteArray();
}

void TestHttpCli::bodyLimit()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, endless);
    QFETCH(int, errCode);
    QFETCH(QByteArray, body);
    ScriptedServer server;
    QVERIFY(server.Listen());
    ScriptedServer::Reply reply = ScriptedServer::Reply::Raw(head);
    reply.endless = endless;
    server.Enqueue(reply);
    THttpCli cli;
    Recorder rec(&cli);
    cli.SetMaxBodySize(1000);
    QBuffer rcvd;
    rcvd.open(QIODevice::ReadWrite);
    cli.SetRcvdStream(&rcvd);
    qint64 largest = 0;
    cli.OnDocData = [&](THttpCli*, const char*, int) { largest = qMax(largest, rcvd.size()); };
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 10000);
    QCOMPARE(int(rec.errCode), errCode);
    QVERIFY(largest <= 1000);
    QVERIFY(rcvd.size() <= 1000);
    if (errCode == 0)
        QCOMPARE(rcvd.data(), body);
    Settle();
    QCOMPARE(rec.done, 1);
}

void TestHttpCli::handlerExceptions()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(ScriptedServer::Reply::Split(Ok("0123456789"), {40}, 20));
    server.Enqueue(Ok("again"));
    THttpCli cli;
    Recorder rec(&cli);
    cli.OnDocData = [&](THttpCli*, const char* buf, int len) {
        rec.body.append(buf, len);
        throw std::runtime_error("disk full");
    };
    rec.afterDone = [&] { throw std::runtime_error("handler fails too"); };
    cli.SetURL(server.BaseUrl() + "/x");
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(rec.errCode, THttpCli::httperrHandler);
    QCOMPARE(cli.State(), httpReady);
    Settle();
    QCOMPARE(rec.done, 1);
    // The client is fine for the next request.
    cli.OnDocData = [&](THttpCli*, const char* buf, int len) { rec.body.append(buf, len); };
    rec.body.clear();
    cli.GetASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 2, 5000);
    QCOMPARE(rec.errCode, quint16(0));
    QCOMPARE(rec.body, QByteArray("again"));
}

void TestHttpCli::destroyInsideHandlers_data()
{
    QTest::addColumn<QByteArray>("where");
    QTest::newRow("OnHeaderEnd") << QByteArray("headerend");
    QTest::newRow("OnDocData") << QByteArray("docdata");
    QTest::newRow("OnDocEnd") << QByteArray("docend");
    QTest::newRow("OnRequestDone") << QByteArray("done");
    QTest::newRow("OnLocationChange") << QByteArray("location");
    QTest::newRow("OnStateChange") << QByteArray("state");
}

void TestHttpCli::destroyInsideHandlers()
{
    QFETCH(QByteArray, where);
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue("HTTP/1.0 302 Found\r\nLocation: /b\r\nContent-Length: 2\r\n\r\nzz");
    server.Enqueue(Ok("0123456789"));
    auto* cli = new THttpCli;
    QPointer<THttpCli> guard(cli);
    int events = 0;
    bool afterDeath = false;
    auto kill = [&](const QByteArray& here) {
        if (!guard)
            afterDeath = true;
        ++events;
        if (here == where && guard)
            delete cli;
    };
    cli->OnHeaderEnd = [&](THttpCli*) { kill("headerend"); };
    cli->OnDocData = [&](THttpCli*, const char*, int) { kill("docdata"); };
    cli->OnDocEnd = [&](THttpCli*) { kill("docend"); };
    cli->OnRequestDone = [&](THttpCli*, THttpRequest, quint16) { kill("done"); };
    cli->OnLocationChange = [&](THttpCli*) { kill("location"); };
    cli->OnStateChange = [&](THttpCli* c) {
        if (c->State() == httpWaitingBody)
            kill("state");
    };
    cli->SetURL(server.BaseUrl() + "/a");
    cli->GetASync();
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 5000);
    const int seen = events;
    Settle();
    QCOMPARE(events, seen);
    QVERIFY(!afterDeath);
}

void TestHttpCli::sendsLargeBodyInChunks()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(Ok("got"));
    QByteArray payload(100000, 'p');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char('a' + i % 26);
    THttpCli cli;
    Recorder rec(&cli);
    QList<int> chunks;
    int begins = 0;
    int ends = 0;
    cli.OnSendBegin = [&](THttpCli*) { ++begins; };
    cli.OnSendEnd = [&](THttpCli*) { ++ends; };
    cli.OnSendData = [&](THttpCli*, const char*, int len) { chunks << len; };
    QBuffer send;
    send.setData("HEAD" + payload);
    send.open(QIODevice::ReadOnly);
    send.seek(4); // sent from the current position on
    cli.SetSendStream(&send);
    cli.SetURL(server.BaseUrl() + "/up");
    cli.PostASync();
    QTRY_COMPARE_WITH_TIMEOUT(rec.done, 1, 5000);
    QCOMPARE(rec.status, 200);
    const QByteArray request = server.Requests().value(0);
    QVERIFY(request.contains("\r\nContent-Length: 100000\r\n\r\n"));
    QVERIFY(request.endsWith("\r\n\r\n" + payload));
    QCOMPARE(begins, 1);
    QCOMPARE(ends, 1);
    int total = 0;
    for (int len : chunks) {
        QVERIFY(len > 0 && len <= 8192);
        total += len;
    }
    QCOMPARE(total, payload.size());
}

QTEST_GUILESS_MAIN(TestHttpCli)
#include "tst_httpcli.moc"
