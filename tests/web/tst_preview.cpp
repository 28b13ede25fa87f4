#include "tests/web/page_server.h"

#include "platform/shell_open.h"
#include "skin/skin_message_box.h"
#include "tests/support/scripted_server.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uWB.h"
#include "util/gbk.h"
#include "web/html_view.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <memory>

namespace {

// The web engine needs time to start on a busy machine.
constexpr int kWebTimeout = 60000;
constexpr int kNetTimeout = 10000;

// Besides its pop-ups the page raises a script error and asks for dialogs,
// none of which may reach the user.
const QByteArray kDetailPage =
    "<html><head><title>detail</title>"
    "<script>alert('welcome'); confirm('stay?'); prompt('name'); noSuchFunction();</script>"
    "</head>"
    "<body onload=\"window.open('/popup-ad.html?from=script')\">"
    "<a id=\"ad\" target=\"_blank\" href=\"/popup-ad.html?from=link\">ad</a>"
    "</body></html>";
const QByteArray kPlainPage = "<html><body>plain</body></html>";

QByteArray Reply(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.0 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

QByteArray BodyOf(const QByteArray& request)
{
    return request.mid(request.indexOf("\r\n\r\n") + 4);
}

QStringList ShownTexts()
{
    QStringList texts;
    for (const TShownMessage& message : TSkinMessageBox::takeShownMessages())
        texts.append(message.text);
    return texts;
}

// The main window, the preview window and the report dialog, as the
// entry point creates them.
struct Windows
{
    Windows() : main(QStringLiteral(LUMO_APP_DIR "/")), wb(main), report(main) {}

    // Opens a hit the way the result list does and waits until the preview
    // window is the active window.
    bool Open(const QString& url, const QByteArray& value = "88", const QByteArray& views = "1234")
    {
        main.view_url = url;
        main.sel_file_id = "7";
        main.sel_value = value;
        main.sel_views = views;
        main.sel_share_url = "http://pan.example.com/s/abc";
        wb.NavigatePage(url);
        wb.move(main.pos() + QPoint(200, 100));
        wb.show();
        wb.raise();
        wb.activateWindow();
        return QTest::qWaitFor(
            [this] { return QGuiApplication::focusWindow() == wb.windowHandle(); }, kNetTimeout);
    }
    bool ActivateMain()
    {
        main.activateWindow();
        return QTest::qWaitFor(
            [this] { return QGuiApplication::focusWindow() == main.windowHandle(); }, kNetTimeout);
    }
    bool PageShown() const { return wb.wb1->isVisible() && !wb.wb_load->isVisible(); }

    TMainForm main;
    TWBForm wb;
    TRpForm report;
};

} // namespace

class TstPreview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void popupsOfTheDetailPageOpenNothing();
    void popupSinkPassesOnlyAboutBlank_data();
    void popupSinkPassesOnlyAboutBlank();
    void loadingViewCoversPageUntilComplete();
    void activationKeepsOrResetsState();
    void rating_data();
    void rating();
    void secondRatingWhileOneRuns();
    void reportFlows_data();
    void reportFlows();
    void reportTrueAfterDialogClosed();
    void reportReasonsAndRefusals();

private:
    PageServer* m_pages = nullptr;
    std::unique_ptr<ScriptedServer> m_service;
    std::unique_ptr<Windows> m_w;
};

void TstPreview::initTestCase()
{
    m_pages = new PageServer(this);
    QVERIFY(m_pages->Listen());
    m_pages->AddPage("/vexa-1", kDetailPage);
    m_pages->AddPage("/vexa-2", kPlainPage);
    m_pages->AddPage("/vexa-slow", kPlainPage, 1500);
    m_pages->AddPage("/popup-ad.html", "<html>ad</html>");
}

void TstPreview::init()
{
    TSkinMessageBox::resetTestHooks();
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    m_service = std::make_unique<ScriptedServer>();
    QVERIFY(m_service->Listen());
    m_w = std::make_unique<Windows>();
    m_w->main.base_url = QString::fromLatin1(m_service->BaseUrl()) + "/";
    m_w->main.show();
    QVERIFY(m_w->ActivateMain());
}

void TstPreview::cleanup()
{
    m_w.reset();
    m_service.reset();
    TSkinMessageBox::resetTestHooks();
    TShell::SetOpenHook(nullptr);
}

void TstPreview::popupsOfTheDetailPageOpenNothing()
{
    Windows& w = *m_w;
    // Watch what reaches the sink without changing its verdict.
    QStringList sinkUrls;
    auto verdict = w.wb.WbNoAd->OnBeforeNavigate;
    w.wb.WbNoAd->OnBeforeNavigate = [&](const QString& url, bool& cancel) {
        verdict(url, cancel);
        if (!cancel)
            return;
        sinkUrls.append(url);
    };
    const int windowsBefore = QApplication::topLevelWidgets().size();
    const QString url = m_pages->BaseUrl() + "/vexa-1";

    QVERIFY(w.Open(url));
    QTRY_VERIFY_WITH_TIMEOUT(w.PageShown(), kWebTimeout);
    // The script's window.open on load went to the sink and stopped there.
    QTRY_VERIFY_WITH_TIMEOUT(sinkUrls.contains(m_pages->BaseUrl() + "/popup-ad.html?from=script"),
                             kWebTimeout);

    // A link aimed at a new window, and window.open after the override.
    QString linkUrl = m_pages->BaseUrl() + "/popup-ad.html?from=link";
    w.wb.wb1->ExecScript("document.getElementById('ad').click();"
                         "window.open('/popup-ad.html?from=late');");
    QTRY_VERIFY_WITH_TIMEOUT(sinkUrls.contains(linkUrl), kWebTimeout);
    // Give a stray request time to arrive: a page reload marks the end.
    w.wb.NavigatePage(m_pages->BaseUrl() + "/vexa-2");
    QTRY_VERIFY_WITH_TIMEOUT(m_pages->RequestedPaths().contains("/vexa-2"), kWebTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(w.wb.wb1->LocationURL(), m_pages->BaseUrl() + "/vexa-2", kWebTimeout);

    for (const QString& path : m_pages->RequestedPaths())
        QVERIFY2(!path.startsWith("/popup-ad.html"), qPrintable(path));
    QVERIFY(!sinkUrls.contains(m_pages->BaseUrl() + "/popup-ad.html?from=late"));
    QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
    QVERIFY(!w.wb.WbNoAd->isVisible());
    QVERIFY(ShownTexts().isEmpty());
}

void TstPreview::popupSinkPassesOnlyAboutBlank_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("about:blank") << "about:blank" << false;
    QTest::newRow("upper case") << "ABOUT:BLANK" << true;
    QTest::newRow("mixed case") << "about:Blank" << true;
    QTest::newRow("fragment") << "about:blank#x" << true;
    QTest::newRow("query") << "about:blank?x" << true;
    QTest::newRow("other about") << "about:srcdoc" << true;
    QTest::newRow("http") << "http://127.0.0.1/popup" << true;
    QTest::newRow("empty") << "" << true;
}

void TstPreview::popupSinkPassesOnlyAboutBlank()
{
    QFETCH(QString, url);
    QFETCH(bool, cancelled);
    bool cancel = false;
    m_w->wb.WbNoAd->OnBeforeNavigate(url, cancel);
    QCOMPARE(cancel, cancelled);

    if (QTest::currentDataTag() == QLatin1String("http")) {
        // The engine itself never asks for an address the sink refuses.
        const QString refused = m_pages->BaseUrl() + "/vexa-2?sink";
        m_w->wb.WbNoAd->Navigate(refused);
        m_w->wb.wb1->Navigate(m_pages->BaseUrl() + "/vexa-2?marker");
        QTRY_VERIFY_WITH_TIMEOUT(m_pages->RequestedPaths().contains("/vexa-2?marker"), kWebTimeout);
        QTest::qWait(500);
        QVERIFY(!m_pages->RequestedPaths().contains("/vexa-2?sink"));
    }
}

void TstPreview::loadingViewCoversPageUntilComplete()
{
    Windows& w = *m_w;
    QVERIFY(w.Open(m_pages->BaseUrl() + "/vexa-slow", "95", "10"));
    QCOMPARE(w.wb.lb1->text(), QStringLiteral("【文件价值指数：95 , 人气：10】"));
    // The loading view lies over the page view's area.
    QVERIFY(w.wb.wb_load->isVisible());
    QVERIFY(!w.wb.wb1->isVisible());
    QCOMPARE(w.wb.wb_load->geometry(), w.wb.wb1->geometry());
    QVERIFY(w.wb.wb_load->geometry().top() >= w.wb.SkinPanel1->geometry().bottom());
    QCOMPARE(w.wb.wb_load->geometry().bottom(), w.wb.pn1->height() - 1);
    QTRY_VERIFY_WITH_TIMEOUT(w.wb.wb_load->LocationURL().endsWith("/res/loading.html"),
                             kWebTimeout);
    QTest::qWait(300);
    QVERIFY2(!w.PageShown(), "the page view shows before its document completed");
    QTRY_VERIFY_WITH_TIMEOUT(w.PageShown(), kWebTimeout);
    QCOMPARE(w.wb.wb1->LocationURL(), m_pages->BaseUrl() + "/vexa-slow");
}

void TstPreview::activationKeepsOrResetsState()
{
    Windows& w = *m_w;
    QUrl opened;
    TShell::SetOpenHook([&](const QUrl& url) { opened = url; });
    const QString first = m_pages->BaseUrl() + "/vexa-2";
    QVERIFY(w.Open(first));
    QTRY_VERIFY_WITH_TIMEOUT(w.PageShown(), kWebTimeout);

    // Rated, reported and a score chosen.
    m_service->Enqueue(Reply("200 OK", "true"));
    w.wb.cb_score->setCurrentIndex(3);
    w.wb.btn_review->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.wb.lb2->isVisible(), kNetTimeout);
    w.wb.btn_report->setEnabled(false);
    w.wb.btn_report->setText(QStringLiteral("举报成功，谢谢支持！"));
    w.wb.btn_view->click();
    QCOMPARE(opened, QUrl("http://pan.example.com/s/abc"));

    // Away to the main window and back, same hit: nothing changes.
    QVERIFY(w.ActivateMain());
    QCOMPARE(w.wb.last_view_url, first);
    w.wb.activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::focusWindow() == w.wb.windowHandle(), kNetTimeout);
    QVERIFY(w.PageShown());
    QVERIFY(w.wb.lb2->isVisible());
    QVERIFY(!w.wb.btn_review->isVisible());
    QCOMPARE(w.wb.btn_report->text(), QStringLiteral("举报成功，谢谢支持！"));
    QCOMPARE(w.wb.cb_score->currentIndex(), 3);

    // Another hit: the loading view, a fresh rating area and report button.
    QVERIFY(w.ActivateMain());
    QVERIFY(w.Open(m_pages->BaseUrl() + "/vexa-1", "5", "6"));
    QVERIFY(w.wb.wb_load->isVisible());
    QCOMPARE(w.wb.lb1->text(), QStringLiteral("【文件价值指数：5 , 人气：6】"));
    QVERIFY(!w.wb.lb2->isVisible());
    QVERIFY(w.wb.lb3->isVisible() && w.wb.cb_score->isVisible() && w.wb.btn_review->isVisible());
    QVERIFY(w.wb.btn_review->isEnabled());
    QCOMPARE(w.wb.btn_review->text(), QStringLiteral("评分"));
    QCOMPARE(w.wb.cb_score->currentIndex(), 3);
    QVERIFY(w.wb.btn_report->isEnabled());
    QCOMPARE(w.wb.btn_report->text(), QStringLiteral("举报投诉"));
    QCOMPARE(w.wb.btn_report->geometry().left(), 104);
    QCOMPARE(w.wb.btn_report->width(), 75);
    QTRY_VERIFY_WITH_TIMEOUT(w.PageShown(), kWebTimeout);

    // Hiding the window also counts as losing activation.
    w.main.view_url = "changed-while-hidden";
    w.wb.hide();
    QCOMPARE(w.wb.last_view_url, QStringLiteral("changed-while-hidden"));
}

void TstPreview::rating_data()
{
    QTest::addColumn<int>("score");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<bool>("rated");
    QTest::addColumn<QString>("message");

    const QByteArray none;
    QTest::newRow("no score") << 0 << none << false << false << "请选择分数进行点评";
    QTest::newRow("true") << 3 << Reply("200 OK", "true") << true << true << "";
    QTest::newRow("true CR LF") << 3 << Reply("200 OK", "true\r\n") << true << false
                                << "评分系统出错，请联系我们";
    QTest::newRow("TRUE") << 3 << Reply("200 OK", "TRUE") << true << false
                          << "评分系统出错，请联系我们";
    QTest::newRow("status 201") << 3 << Reply("201 Created", "true") << true << false << "";
    QTest::newRow("status 500") << 3 << Reply("500 Oops", "true") << true << false << "";
    QTest::newRow("connection dropped") << 3 << QByteArray("HTTP/1.0 200") << true << false << "";
}

void TstPreview::rating()
{
    QFETCH(int, score);
    QFETCH(QByteArray, reply);
    QFETCH(bool, sent);
    QFETCH(bool, rated);
    QFETCH(QString, message);
    TWBForm& wb = m_w->wb;
    QVERIFY(m_w->Open(m_pages->BaseUrl() + "/vexa-2"));
    if (!reply.isEmpty())
        m_service->Enqueue(reply);
    wb.cb_score->setCurrentIndex(score);
    wb.btn_review->click();

    if (!sent) {
        QCOMPARE(ShownTexts(), QStringList{message});
        QTest::qWait(200);
        QCOMPARE(m_service->ConnectionCount(), 0);
        QVERIFY(wb.btn_review->isEnabled());
        return;
    }
    QVERIFY(!wb.btn_review->isEnabled());
    QCOMPARE(wb.btn_review->text(), QStringLiteral("提交中..."));
    QTRY_VERIFY_WITH_TIMEOUT(wb.HttpCli1->State() == httpReady && !wb.HttpCli1->RcvdStream(),
                             kNetTimeout);
    QCOMPARE(m_service->Requests().size(), 1);
    QCOMPARE(BodyOf(m_service->Requests().first()),
             "action=review&file_id=7&score=" + Gbk::fromUnicode(QStringLiteral("8分优秀")));
    QVERIFY(m_service->Requests().first().startsWith("POST /vexa_client.php HTTP/1.0\r\n"));
    QCOMPARE(ShownTexts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(wb.lb2->isVisible(), rated);
    QCOMPARE(wb.btn_review->isVisible(), !rated);
    QCOMPARE(wb.cb_score->isVisible(), !rated);
    QCOMPARE(wb.lb3->isVisible(), !rated);
    QVERIFY(!wb.HttpCli1->SendStream());
    if (rated) {
        QCOMPARE(wb.lb2->x(), 16);
    } else {
        // Held until another hit is opened.
        QVERIFY(!wb.btn_review->isEnabled());
        QCOMPARE(wb.btn_review->text(), QStringLiteral("提交中..."));
    }
}

void TstPreview::secondRatingWhileOneRuns()
{
    Windows& w = *m_w;
    QVERIFY(w.Open(m_pages->BaseUrl() + "/vexa-2"));
    ScriptedServer::Reply late = ScriptedServer::Reply::Raw(Reply("200 OK", "true"));
    late.delayMs = 1500;
    m_service->Enqueue(late);
    w.wb.cb_score->setCurrentIndex(2);
    w.wb.btn_review->click();
    QIODevice* const running = w.wb.HttpCli1->RcvdStream();
    QVERIFY(running);

    // Another hit frees the button while the first rating still runs.
    QVERIFY(w.ActivateMain());
    QVERIFY(w.Open(m_pages->BaseUrl() + "/vexa-1"));
    QVERIFY(w.wb.btn_review->isEnabled());
    w.wb.btn_review->click();
    QCOMPARE(ShownTexts(), QStringList{QStringLiteral("上一次评分仍在提交，请稍后再试")});
    QCOMPARE(w.wb.HttpCli1->RcvdStream(), running);
    QVERIFY(w.wb.btn_review->isEnabled());
    QCOMPARE(w.wb.btn_review->text(), QStringLiteral("评分"));

    // The late "true" belongs to the earlier hit: this one stays unrated.
    QTRY_VERIFY_WITH_TIMEOUT(w.wb.HttpCli1->State() == httpReady && !w.wb.HttpCli1->RcvdStream(),
                             kNetTimeout);
    QCOMPARE(m_service->Requests().size(), 1);
    QVERIFY(!w.wb.lb2->isVisible());
    QVERIFY(w.wb.btn_review->isVisible());
    QVERIFY(ShownTexts().isEmpty());
}

void TstPreview::reportFlows_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("done");
    QTest::addColumn<QString>("message");
    QTest::newRow("true") << Reply("200 OK", "true") << true << "";
    QTest::newRow("true CR LF") << Reply("200 OK", "true\r\n") << false
                                << "举报提交出错，请联系我们";
    QTest::newRow("status 201") << Reply("201 Created", "true") << false << "";
    QTest::newRow("connection dropped") << QByteArray("HTTP/1.0 2") << false << "";
}

void TstPreview::reportFlows()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, done);
    QFETCH(QString, message);
    Windows& w = *m_w;
    QVERIFY(w.Open(m_pages->BaseUrl() + "/vexa-2"));
    m_service->Enqueue(reply);

    // The preview's button shows the dialog modally.
    bool modal = false;
    QTimer::singleShot(0, &w.report, [&] {
        modal = w.report.isVisible() && w.report.isModal();
        w.report.mm1->setPlainText(QStringLiteral("  第一行\n第二行 \n\n"));
        w.report.cb_reason->setCurrentIndex(0);
        w.report.btn_report->click();
        QCOMPARE(w.report.btn_report->text(), QStringLiteral("提交中..."));
        QVERIFY(!w.report.btn_report->isEnabled());
        if (!done) {
            QTRY_VERIFY_WITH_TIMEOUT(!w.report.HttpCli1->RcvdStream(), kNetTimeout);
            w.report.reject();
        }
    });
    w.wb.btn_report->click();
    QVERIFY(modal);
    QVERIFY(!w.report.isVisible());
    QVERIFY(!w.report.HttpCli1->SendStream() && !w.report.HttpCli1->RcvdStream());
    QCOMPARE(m_service->Requests().size(), 1);
    QCOMPARE(BodyOf(m_service->Requests().first()),
             "action=report&content=" + Gbk::fromUnicode(QStringLiteral("第一行\r\n第二行")) +
                 "&file_id=7");
    QCOMPARE(ShownTexts(), message.isEmpty() ? QStringList() : QStringList{message});

    QPushButton* preview = w.wb.btn_report;
    if (done) {
        QVERIFY(w.report.mm1->toPlainText().isEmpty());
        QCOMPARE(w.report.cb_reason->currentIndex(), 0);
        QVERIFY(!preview->isEnabled());
        QCOMPARE(preview->text(), QStringLiteral("举报成功，谢谢支持！"));
        QCOMPARE(preview->geometry().left(), 30);
        QCOMPARE(preview->width(), 150);
        // Back in the preview with the same hit: the thanks stay.
        QTRY_VERIFY_WITH_TIMEOUT(QGuiApplication::focusWindow() == w.wb.windowHandle(),
                                 kNetTimeout);
        QCOMPARE(preview->text(), QStringLiteral("举报成功，谢谢支持！"));
        return;
    }
    // Held: the dialog kept its text; showing it again makes it ready.
    QVERIFY(preview->isEnabled());
    QCOMPARE(preview->text(), QStringLiteral("举报投诉"));
    QCOMPARE(w.report.btn_report->text(), QStringLiteral("提交中..."));
    w.report.open();
    QCOMPARE(w.report.btn_report->text(), QStringLiteral("提 交"));
    QVERIFY(w.report.btn_report->isEnabled());
    QVERIFY(w.report.mm1->toPlainText().contains(QStringLiteral("第二行")));
    w.report.reject();
}

void TstPreview::reportTrueAfterDialogClosed()
{
    Windows& w = *m_w;
    QVERIFY(w.Open(m_pages->BaseUrl() + "/vexa-2"));
    ScriptedServer::Reply late = ScriptedServer::Reply::Raw(Reply("200 OK", "true"));
    late.delayMs = 800;
    m_service->Enqueue(late);
    w.report.open();
    w.report.cb_reason->setCurrentIndex(5);
    w.report.mm1->setPlainText(QStringLiteral("病毒文件"));
    w.report.btn_report->click();
    w.report.reject();
    QVERIFY(!w.report.isVisible());

    // Reopened while the first report runs: refused, the running one intact.
    QIODevice* const running = w.report.HttpCli1->RcvdStream();
    QVERIFY(running);
    w.report.open();
    w.report.btn_report->click();
    QCOMPARE(ShownTexts(), QStringList{QStringLiteral("上一次举报仍在提交，请稍后再试")});
    QCOMPARE(w.report.HttpCli1->RcvdStream(), running);
    QVERIFY(w.report.btn_report->isEnabled());
    w.report.reject();

    QTRY_VERIFY_WITH_TIMEOUT(!w.report.HttpCli1->RcvdStream(), kNetTimeout);
    QCOMPARE(m_service->Requests().size(), 1);
    QVERIFY(!w.report.isVisible());
    QVERIFY(w.report.mm1->toPlainText().isEmpty());
    QCOMPARE(w.report.cb_reason->currentIndex(), 0);
    QVERIFY(!w.wb.btn_report->isEnabled());
    QCOMPARE(w.wb.btn_report->text(), QStringLiteral("举报成功，谢谢支持！"));
}

void TstPreview::reportReasonsAndRefusals()
{
    TRpForm& report = m_w->report;
    report.open();
    QCOMPARE(report.cb_reason->count(), 8);
    QCOMPARE(report.cb_reason->itemText(0), QStringLiteral("- 选择预设原因 -"));
    QCOMPARE(report.cb_reason->itemText(7), QStringLiteral("私服外挂"));

    // A preset replaces what was typed; the placeholder keeps the preset.
    report.mm1->setPlainText(QStringLiteral("自己写的"));
    report.cb_reason->setCurrentIndex(2);
    emit report.cb_reason->activated(2);
    QCOMPARE(report.mm1->toPlainText(), QStringLiteral("文件内容不符"));
    report.cb_reason->setCurrentIndex(0);
    emit report.cb_reason->activated(0);
    QCOMPARE(report.mm1->toPlainText(), QStringLiteral("文件内容不符"));

    // Blanks and line breaks only are no report.
    report.mm1->setPlainText(QStringLiteral(" \n\t\n  "));
    report.btn_report->click();
    QCOMPARE(ShownTexts(), QStringList{QStringLiteral("请输入举报内容")});
    QVERIFY(report.btn_report->isEnabled());
    QCOMPARE(report.btn_report->text(), QStringLiteral("提 交"));
    QTest::qWait(200);
    QCOMPARE(m_service->ConnectionCount(), 0);
    report.reject();
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TstPreview test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_preview.moc"
