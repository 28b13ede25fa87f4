// The client's windows against a service that misbehaves in every way a
// network peer can: each request of each window ends, the control keeps its
// specified state, the status text says what happened, and no box opens
// that the user did not ask for.
#include "net/multipart_downloader.h"
#include "skin/skin_data.h"
#include "skin/skin_message_box.h"
#include "skin/skin_speed_button.h"
#include "tests/support/scripted_server.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uSkin.h"
#include "ui/uWB.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

using Reply = ScriptedServer::Reply;

// Bound of every client in the windows: short, so that the rows are quick.
constexpr int kNoData = 300;

enum class Fault
{
    NeverAnswers,
    AnswersLate, // a good reply, but long after the bound
    ClosesEarly, // fewer bytes than the reply announced
    Refuses,     // nobody listens
    Status500,
    EndlessBody,  // 200, no length, the body never ends
    EndlessChunks // 200, chunked, the last chunk never comes
};

enum class Request
{
    Search,
    HotWords,
    Review,
    Report,
    SkinList,
    PreviewDownload,
    SkinDownload
};

bool IsDownload(Request r)
{
    return r == Request::PreviewDownload || r == Request::SkinDownload;
}

// The reply a well-behaved service gives.
QByteArray GoodBody(Request r)
{
    switch (r) {
    case Request::Search:
    case Request::HotWords:
        return "[]";
    case Request::Review:
    case Request::Report:
        return "true";
    default:
        return "Dark,Blue";
    }
}

Reply Misbehave(Fault fault, Request request)
{
    const QByteArray body = GoodBody(request);
    const QByteArray ok = "HTTP/1.0 200 OK\r\nContent-Length: ";
    switch (fault) {
    case Fault::NeverAnswers:
        return Reply::Raw(QByteArray(), Reply::Silent);
    case Fault::AnswersLate: {
        Reply r = Reply::Raw(ok + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        r.delayMs = 10 * kNoData;
        return r;
    }
    case Fault::ClosesEarly:
        // A download's probe reads only the header: it is the header that
        // breaks off.
        if (IsDownload(request))
            return Reply::Raw("HTTP/1.0 200 OK\r\nContent-Len");
        return Reply::Raw(ok + QByteArray::number(body.size() + 2) + "\r\n\r\n" + body);
    case Fault::Status500:
        return Reply::Raw("HTTP/1.0 500 Internal Server Error\r\nContent-Length: 4\r\n\r\noops");
    case Fault::EndlessBody: {
        // A download is refused by the length its probe announces.
        Reply r = Reply::Raw(IsDownload(request)
                                 ? "HTTP/1.0 200 OK\r\nContent-Length: 10737418240\r\n\r\n"
                                 : "HTTP/1.0 200 OK\r\n\r\n[");
        r.endless = QByteArray(64 * 1024, ' ');
        return r;
    }
    case Fault::EndlessChunks: {
        Reply r = Reply::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
        r.endless = "4000\r\n" + QByteArray(0x4000, ' ') + "\r\n";
        return r;
    }
    case Fault::Refuses:
        break;
    }
    return Reply::Raw(QByteArray());
}

quint16 UnusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The five windows as the program builds them, their clients bounded by
// kNoData, the hot-word timers stopped.
struct Client
{
    explicit Client(const QString& folder, const QString& baseUrl)
        : main(folder), wb(main), skin(main), rp(main)
    {
        main.tmr1->stop();
        main.tmr2->stop();
        main.base_url = baseUrl;
        for (THttpCli* cli :
             {main.HttpCli1, main.HttpCliCmd, wb.HttpCli1, rp.HttpCli1, skin.HttpCli1})
            cli->SetNoDataTimeout(kNoData);
        skin.HttpImg->SetNoDataTimeout(kNoData);
        skin.HttpDownFile->SetNoDataTimeout(kNoData);
        main.view_url = baseUrl + QStringLiteral("vexa-7");
        main.sel_file_id = "7";
    }

    void Send(Request request)
    {
        switch (request) {
        case Request::Search:
            main.ed_word->setText(QStringLiteral("abc"));
            QTest::keyClick(main.ed_word, Qt::Key_Return);
            break;
        case Request::HotWords:
            main.SkinSpeedButton1Click();
            break;
        case Request::Review:
            wb.cb_score->setCurrentIndex(1);
            wb.btn_review->click();
            break;
        case Request::Report:
            rp.show();
            rp.mm1->setPlainText(QStringLiteral("文件不能下载"));
            rp.btn_report->click();
            break;
        case Request::SkinList:
            skin.RequestList();
            break;
        case Request::PreviewDownload:
            skin.sel_skin_id = "Blue";
            skin.FetchPreview();
            break;
        case Request::SkinDownload:
            skin.UseSkin("Blue");
            break;
        }
    }

    QString StatusText(Request request) const
    {
        if (request == Request::SkinList || IsDownload(request))
            return skin.SFStatus->text();
        return main.statusBar()->currentMessage();
    }

    // The control that started the request, as the window leaves it after
    // a failure.
    bool HeldAsSpecified(Request request) const
    {
        switch (request) {
        case Request::Search:
            return !main.btn_search->isEnabled() &&
                   main.btn_search->text() == QStringLiteral("搜索中...") && main.tmr3->isActive();
        case Request::HotWords:
            return main.pn4->findChildren<TSkinSpeedButton*>().isEmpty();
        case Request::Review:
            return !wb.btn_review->isEnabled() &&
                   wb.btn_review->text() == QStringLiteral("提交中...") && wb.lb2->isHidden();
        case Request::Report:
            return rp.isVisible() && !rp.btn_report->isEnabled() &&
                   rp.btn_report->text() == QStringLiteral("提交中...");
        case Request::SkinList:
            return skin.SLBox->count() == 0 && skin.list_reply.isEmpty();
        case Request::PreviewDownload:
            // Neither a picture nor the loading picture that promises one.
            return skin.PVImg->pixmap().isNull() && !QFile::exists(skin.SkinPath("Blue", ".jpg"));
        case Request::SkinDownload:
            return !QFile::exists(skin.SkinPath("Blue", ".skn"));
        }
        return false;
    }

    bool Idle(Request request) const
    {
        switch (request) {
        case Request::Search:
            return main.HttpCli1->State() == httpReady;
        case Request::HotWords:
            return main.HttpCliCmd->State() == httpReady;
        case Request::Review:
            return wb.HttpCli1->State() == httpReady;
        case Request::Report:
            return rp.HttpCli1->State() == httpReady;
        case Request::SkinList:
            return skin.HttpCli1->State() == httpReady;
        default:
            return true;
        }
    }

    TMainForm main;
    TWBForm wb;
    TSkinFrm skin;
    TRpForm rp;
};

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Request)

class TstHostileService : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void failureIsToldWithoutABox_data();
    void failureIsToldWithoutABox();
    void laterSuccessClearsTheText();
    void stalledServiceOpensNoBoxByItself();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TstHostileService::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    QVERIFY(QDir(m_folder->path()).mkpath("skins"));
    TSkinMessageBox::resetTestHooks();
    // A box that opens is recorded and answered, never left waiting.
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
}

void TstHostileService::cleanup()
{
    TSkinMessageBox::resetTestHooks();
    m_folder.reset();
}

void TstHostileService::failureIsToldWithoutABox_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<Request>("request");
    QTest::addColumn<QString>("told"); // %1: the service's host and port

    const QList<QPair<const char*, Request>> requests = {
        {"search", Request::Search},
        {"hot words", Request::HotWords},
        {"rating", Request::Review},
        {"report", Request::Report},
        {"skin list", Request::SkinList},
        {"preview download", Request::PreviewDownload},
        {"skin download", Request::SkinDownload}};
    const QString late = QStringLiteral("服务器 %1 没有及时回复");
    const QString tooLarge = QStringLiteral("服务器 %1 的回复过大");
    const QList<std::tuple<const char*, Fault, QString>> faults = {
        {"never answers", Fault::NeverAnswers, late},
        {"answers after the bound", Fault::AnswersLate, late},
        {"closes before Content-Length", Fault::ClosesEarly,
         QStringLiteral("服务器 %1 的回复不完整")},
        {"refuses", Fault::Refuses, QStringLiteral("无法连接服务器 %1（连接被拒绝）")},
        {"answers 500", Fault::Status500, QStringLiteral("服务器 %1 返回错误（HTTP 500）")},
        {"body without end", Fault::EndlessBody, tooLarge},
        {"chunked without end", Fault::EndlessChunks, tooLarge}};
    for (const auto& [requestName, request] : requests) {
        for (const auto& [faultName, fault, told] : faults) {
            // A download's probe never reads a body, chunked or not.
            if (IsDownload(request) && fault == Fault::EndlessChunks)
                continue;
            QString text = told;
            if (request == Request::PreviewDownload)
                text = QStringLiteral("预览图文件【Blue】下载失败：") + told;
            else if (request == Request::SkinDownload)
                text = QStringLiteral("皮肤文件【Blue】下载失败：") + told;
            QTest::addRow("%s: %s", requestName, faultName) << fault << request << text;
        }
    }
}

void TstHostileService::failureIsToldWithoutABox()
{
    QFETCH(Fault, fault);
    QFETCH(Request, request);
    QFETCH(QString, told);
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Responder = [=](const QByteArray&) { return Misbehave(fault, request); };
    const quint16 port = fault == Fault::Refuses ? UnusedPort() : server.Port();
    const QString address = QStringLiteral("127.0.0.1:%1").arg(port);
    Client client(m_folder->path() + "/", QStringLiteral("http://%1/").arg(address));

    client.Send(request);
    QTRY_VERIFY_WITH_TIMEOUT(!client.StatusText(request).isEmpty(), 20000);
    QCOMPARE(client.StatusText(request), told.arg(address));
    QVERIFY(client.HeldAsSpecified(request));
    QVERIFY(client.Idle(request));
    QCOMPARE(TSkinMessageBox::takeShownMessages().size(), 0);
    // A late answer finds the client free and changes nothing.
    QTest::qWait(fault == Fault::AnswersLate ? 12 * kNoData : 100);
    QCOMPARE(client.StatusText(request), told.arg(address));
    QCOMPARE(TSkinMessageBox::takeShownMessages().size(), 0);
}

void TstHostileService::laterSuccessClearsTheText()
{
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Enqueue(Misbehave(Fault::Status500, Request::Search));
    server.Enqueue(Misbehave(Fault::Status500, Request::SkinList));
    server.Enqueue("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\n[]");
    server.Enqueue("HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\nDark,Blue");
    Client client(m_folder->path() + "/", QString::fromLatin1(server.BaseUrl() + "/"));

    client.Send(Request::Search);
    QTRY_VERIFY_WITH_TIMEOUT(!client.StatusText(Request::Search).isEmpty(), 10000);
    client.Send(Request::SkinList);
    QTRY_VERIFY_WITH_TIMEOUT(!client.StatusText(Request::SkinList).isEmpty(), 10000);
    // The search timeout frees the button for the next search.
    client.main.SearchTimeout();
    client.Send(Request::Search);
    // The search's own outcome takes the failure's place.
    QTRY_COMPARE_WITH_TIMEOUT(client.StatusText(Request::Search),
                              QStringLiteral("共找到 0 个文件"), 10000);
    QVERIFY(client.main.btn_search->isEnabled());
    client.Send(Request::SkinList);
    QTRY_VERIFY_WITH_TIMEOUT(client.StatusText(Request::SkinList).isEmpty(), 10000);
    QCOMPARE(client.skin.SLBox->count(), 2);
    QCOMPARE(TSkinMessageBox::takeShownMessages().size(), 0);
}

void TstHostileService::stalledServiceOpensNoBoxByItself()
{
    // The window's timers at a smaller scale than their 5, 20 and 30 s, the
    // clients' bound below the search timeout as it is at full scale.
    ScriptedServer server;
    QVERIFY(server.Listen());
    server.Responder = [](const QByteArray&) { return Reply::Raw(QByteArray(), Reply::Silent); };
    Client client(m_folder->path() + "/", QString::fromLatin1(server.BaseUrl() + "/"));
    client.main.tmr1->setInterval(1500);
    client.main.tmr2->setInterval(100);
    client.main.tmr3->setInterval(1000);
    client.main.tmr1->start();
    client.main.tmr2->start();

    client.Send(Request::Search);
    QTest::qWait(5000);
    QCOMPARE(TSkinMessageBox::takeShownMessages().size(), 0);
    // Free again: a new search goes out.
    QTRY_VERIFY_WITH_TIMEOUT(client.main.btn_search->isEnabled(), 5000);
    const int before = server.Requests().size();
    client.Send(Request::Search);
    QTRY_VERIFY_WITH_TIMEOUT(server.Requests().size() > before, 5000);
    QCOMPARE(TSkinMessageBox::takeShownMessages().size(), 0);
    QCOMPARE(client.main.statusBar()->currentMessage(),
             QStringLiteral("服务器 127.0.0.1:%1 没有及时回复").arg(server.Port()));
}

QTEST_MAIN(TstHostileService)
#include "tst_hostile_service.moc"
