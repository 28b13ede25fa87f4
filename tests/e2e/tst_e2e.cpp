// The client's real windows, headless, against the real lumo-service on a
// free loopback port: searching, hot words, the preview, rating and
// reporting, and a skin from the catalogue that is kept across a restart.
// One set of windows serves all tests, so the web engine starts only once.
#include "platform/shell_open.h"
#include "skin/skin_application.h"
#include "skin/skin_data.h"
#include "skin/skin_message_box.h"
#include "skin/skin_speed_button.h"
#include "tests/support/service_process.h"
#include "ui/result_list_model.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "ui/uWB.h"
#include "util/gbk.h"
#include "util/settings_file.h"
#include "web/html_view.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {

constexpr int kRecords = 3000;
// The web engine needs time to start on a busy machine.
constexpr int kWebTimeout = 60000;
constexpr int kNetTimeout = 10000;

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The build's application folder without its programs: res/, the two
// texts and skins/. The windows write into the copy only.
bool CopyAppFolder(const QString& to)
{
    const QDir from(QStringLiteral(LUMO_APP_DIR));
    for (const QString folder : {"res", "skins"}) {
        if (!QDir(to).mkpath(folder))
            return false;
        for (const QFileInfo& file : QDir(from.filePath(folder)).entryInfoList(QDir::Files))
            if (!QFile::copy(file.filePath(), to + "/" + folder + "/" + file.fileName()))
                return false;
    }
    for (const QString text : {"info.txt", "history.txt"})
        if (!QFile::copy(from.filePath(text), to + "/" + text))
            return false;
    return true;
}

// A colour of a sample skin's source, such as "window".
QColor SkinColour(const QString& source, const QString& role)
{
    const QString text = QString::fromUtf8(ReadFile(LUMO_SKIN_SOURCES "/" + source + ".skin"));
    const QRegularExpression line("^" + role + "=(#[0-9a-fA-F]{6})$",
                                  QRegularExpression::MultilineOption);
    return QColor(line.match(text).captured(1));
}

// Types `text` as a user does: ASCII on the keyboard, anything else
// committed by the input method.
void Type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(widget, char(c.unicode()));
        } else {
            QInputMethodEvent event;
            event.setCommitString(c);
            QApplication::sendEvent(widget, &event);
        }
    }
}

QString Unescape(QString html)
{
    static const QRegularExpression tags("<[^>]*>");
    html.remove(tags);
    html.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&#39;", "'");
    return html.replace("&amp;", "&");
}

// The text of one line of a detail page's file table.
QString InfoCell(const QString& page, const QString& label)
{
    const QRegularExpression cell("<tr><th>" + label + "</th><td>(.*)</td></tr>");
    return Unescape(cell.match(page).captured(1));
}

// The five windows, created in the order the entry point creates them and
// pointed at the service. The hot-word timers are stopped before they fire:
// the tests call their handlers.
struct Windows
{
    Windows(const QString& appFolder, const QString& baseUrl)
        : main(appFolder), wb(main), skin(main), ver(main), report(main)
    {
        main.tmr1->stop();
        main.tmr2->stop();
        // The forum link was made from the compiled-in address.
        main.bbs_url = baseUrl + main.bbs_url.mid(main.base_url.size());
        main.base_url = baseUrl;
    }

    TMainForm main;
    TWBForm wb;
    TSkinFrm skin;
    TVerFrm ver;
    TRpForm report;
};

} // namespace

class TstE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void searchShowsTheServicesHits_data();
    void searchShowsTheServicesHits();
    void hotWordsFollowTheSearchLog();
    void hitOpensItsDetailPage_data();
    void hitOpensItsDetailPage();
    void ratingAndReportAreStored();
    void skinFromTheCatalogueIsKeptAcrossARestart();

private:
    QString AppFolder() const { return m_app.path() + "/"; }
    QString Cell(int row, int column) const;
    bool Idle() const;
    // Types `keyword` and starts the search with Enter or the button;
    // true once the reply is shown.
    bool Search(const QString& keyword, bool byButton = false);
    // The hot-word captions from right to left, the order of the reply.
    QStringList HotWords() const;
    QStringList Commend() const;
    QString DetailPage(const QString& id) const;
    // Opens the hit in `row` by a double click or the context menu and
    // waits until the preview window is active.
    bool OpenHit(int row, bool byMenu);
    bool ActivateMain();
    bool PageShown() const { return m_w->wb.wb1->isVisible() && !m_w->wb.wb_load->isVisible(); }
    // The title of the document the page view shows.
    QString PageTitle() const;
    // The visible top-level windows, the main window first.
    QWidgetList ShownWindows() const;
    int LoggedRequests(const QString& line);

    QTemporaryDir m_data;
    QTemporaryDir m_app;
    ServiceProcess m_service{LUMO_SERVICE_BINARY};
    std::unique_ptr<Windows> m_w;
    QList<QUrl> m_opened;
};

void TstE2e::initTestCase()
{
    QVERIFY(m_data.isValid() && m_app.isValid());
    QVERIFY(CopyAppFolder(m_app.path()));
    QVERIFY(m_service.Start(m_data.path(), LUMO_SAMPLE_SKINS, kRecords, true));
    m_w = std::make_unique<Windows>(AppFolder(), m_service.BaseUrl());
    m_w->main.show();
    QVERIFY(ActivateMain());
}

void TstE2e::cleanupTestCase()
{
    m_w.reset();
    QVERIFY(m_service.Stop());
}

void TstE2e::init()
{
    TSkinMessageBox::resetTestHooks();
    // A box that comes up anyway must not hold the test up.
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    m_opened.clear();
    TShell::SetOpenHook([this](const QUrl& url) { m_opened << url; });
}

void TstE2e::cleanup()
{
    const QList<TShownMessage> shown = TSkinMessageBox::takeShownMessages();
    TSkinMessageBox::resetTestHooks();
    TShell::SetOpenHook(nullptr);
    QVERIFY2(shown.isEmpty(), qPrintable(shown.value(0).text));
    QVERIFY(m_opened.isEmpty());
}

QString TstE2e::Cell(int row, int column) const
{
    const TResultListModel* rows = m_w->main.lv1_rows;
    return rows->data(rows->index(row, column), Qt::DisplayRole).toString();
}

bool TstE2e::Idle() const
{
    const QPushButton* button = m_w->main.btn_search;
    return button->isEnabled() && button->text() == QStringLiteral("Lumo搜索");
}

bool TstE2e::Search(const QString& keyword, bool byButton)
{
    TMainForm& main = m_w->main;
    main.ed_word->clear();
    Type(main.ed_word, keyword);
    if (byButton)
        QTest::mouseClick(main.btn_search, Qt::LeftButton);
    else
        QTest::keyClick(main.ed_word, Qt::Key_Return);
    if (main.btn_search->isEnabled())
        return false; // refused
    return QTest::qWaitFor([this] { return Idle(); }, kNetTimeout);
}

QStringList TstE2e::HotWords() const
{
    QList<TSkinSpeedButton*> buttons =
        m_w->main.pn4->findChildren<TSkinSpeedButton*>(Qt::FindDirectChildrenOnly);
    std::sort(buttons.begin(), buttons.end(),
              [](QWidget* a, QWidget* b) { return a->x() > b->x(); });
    QStringList captions;
    for (TSkinSpeedButton* button : buttons)
        captions << button->Caption();
    return captions;
}

QStringList TstE2e::Commend() const
{
    const ServiceReply reply = m_service.Post("/vexa_client.php", "action=commend");
    QStringList words;
    const QJsonArray array = QJsonDocument::fromJson(Gbk::toUnicode(reply.body).toUtf8()).array();
    for (const QJsonValue& word : array)
        words << word.toObject().value("word").toString();
    return words;
}

QString TstE2e::DetailPage(const QString& id) const
{
    const ServiceReply reply = m_service.Get("/vexa-" + id.toLatin1());
    return reply.status == 200 ? QString::fromUtf8(reply.body) : QString();
}

bool TstE2e::ActivateMain()
{
    m_w->main.activateWindow();
    return QTest::qWaitFor(
        [this] { return QGuiApplication::focusWindow() == m_w->main.windowHandle(); }, kNetTimeout);
}

bool TstE2e::OpenHit(int row, bool byMenu)
{
    TMainForm& main = m_w->main;
    if (!ActivateMain())
        return false;
    const QPoint centre = main.lv1->visualRect(main.lv1_rows->index(row, 0)).center();
    QTest::mouseClick(main.lv1->viewport(), Qt::LeftButton, {}, centre);
    if (byMenu) {
        QContextMenuEvent menu(QContextMenuEvent::Mouse, centre,
                               main.lv1->viewport()->mapToGlobal(centre));
        QApplication::sendEvent(main.lv1->viewport(), &menu);
        if (!main.pm1->isVisible())
            return false;
        QTest::mouseClick(main.pm1, Qt::LeftButton, {}, main.pm1->actionGeometry(main.N3).center());
    } else {
        QTest::mouseDClick(main.lv1->viewport(), Qt::LeftButton, {}, centre);
    }
    return QTest::qWaitFor(
        [this] { return QGuiApplication::focusWindow() == m_w->wb.windowHandle(); }, kNetTimeout);
}

QString TstE2e::PageTitle() const
{
    for (QWidget* child : m_w->wb.wb1->findChildren<QWidget*>())
        if (child->inherits("QWebEngineView"))
            return child->property("title").toString();
    return QString();
}

QWidgetList TstE2e::ShownWindows() const
{
    QWidgetList shown;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible())
            shown << window;
    std::stable_partition(shown.begin(), shown.end(),
                          [this](QWidget* window) { return window == &m_w->main; });
    return shown;
}

int TstE2e::LoggedRequests(const QString& line)
{
    return int(m_service.AccessLog().count(line));
}

void TstE2e::searchShowsTheServicesHits_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<bool>("byButton");
    QTest::addColumn<bool>("hits");
    QTest::newRow("chinese, Enter") << QStringLiteral("周杰伦") << false << true;
    QTest::newRow("english, button") << QStringLiteral("primer") << true << true;
    QTest::newRow("no hits") << QStringLiteral("zzqqxx") << false << false;
}

void TstE2e::searchShowsTheServicesHits()
{
    QFETCH(QString, keyword);
    QFETCH(bool, byButton);
    QFETCH(bool, hits);
    QVERIFY(Search(keyword, byButton));
    const int rows = m_w->main.lv1_rows->rowCount();
    if (!hits) {
        QCOMPARE(rows, 1);
        QCOMPARE(Cell(0, 0), QStringLiteral("...暂无文件..."));
        for (int c = 1; c < TResultListModel::kColumnCount; ++c)
            QVERIFY(Cell(0, c).isEmpty());
        return;
    }
    QVERIFY(rows > 0 && rows <= 100);
    // Every row is the service's record of that file, as its detail page
    // tells it; the size column as the page gives it.
    static const QRegularExpression sizeText("^\\d+(\\.\\d\\d[KMG])?B$");
    for (int row = 0; row < rows; ++row) {
        const QString name = Cell(row, 0);
        QVERIFY2(name.contains(keyword, Qt::CaseInsensitive), qPrintable(name));
        const QString page = DetailPage(Cell(row, 7));
        QVERIFY2(!page.isEmpty(), qPrintable(Cell(row, 7)));
        static const QRegularExpression heading("<h1 id=\"file-name\">(.*)</h1>");
        QCOMPARE(Unescape(heading.match(page).captured(1)), name);
        QCOMPARE(Cell(row, 1), InfoCell(page, "文件类型"));
        QVERIFY2(sizeText.match(Cell(row, 2)).hasMatch(), qPrintable(Cell(row, 2)));
        QCOMPARE(Cell(row, 2), InfoCell(page, "文件大小").section(QStringLiteral("（"), 0, 0));
        QCOMPARE(Cell(row, 3), InfoCell(page, "价值指数"));
        QCOMPARE(Cell(row, 4), InfoCell(page, "人气指数"));
        QCOMPARE(Cell(row, 5), InfoCell(page, "收录时间"));
        QCOMPARE(Cell(row, 6), InfoCell(page, "文件地址"));
        QVERIFY(Cell(row, 6).startsWith("http://"));
    }
}

void TstE2e::hotWordsFollowTheSearchLog()
{
    TMainForm& main = m_w->main;
    // The first refresh after the start.
    const QStringList before = Commend();
    QVERIFY(!before.isEmpty());
    main.tmr2Timer();
    QTRY_COMPARE_WITH_TIMEOUT(HotWords(), before, kNetTimeout);

    // A word searched often enough in the window joins the bar.
    const QString word = QStringLiteral("晴天");
    QVERIFY(!before.contains(word));
    for (int i = 0; i < 100 && !Commend().contains(word); ++i)
        QVERIFY(Search(word));
    const QStringList after = Commend();
    QVERIFY(after.contains(word));
    QTest::mouseClick(main.SkinSpeedButton1, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(HotWords(), after, kNetTimeout);

    // Its button searches it.
    QVERIFY(Search(QStringLiteral("其他")));
    const QList<TSkinSpeedButton*> buttons = main.pn4->findChildren<TSkinSpeedButton*>();
    const auto button = std::find_if(buttons.begin(), buttons.end(),
                                     [&](TSkinSpeedButton* b) { return b->Caption() == word; });
    QVERIFY(button != buttons.end());
    QTest::mouseClick(*button, Qt::LeftButton);
    QCOMPARE(main.ed_word->text(), word);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(), kNetTimeout);
    QVERIFY(main.lv1_rows->rowCount() > 0);
    for (int row = 0; row < main.lv1_rows->rowCount(); ++row)
        QVERIFY2(Cell(row, 0).contains(word), qPrintable(Cell(row, 0)));
}

void TstE2e::hitOpensItsDetailPage_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("double click") << 0 << false;
    QTest::newRow("context menu") << 1 << true;
}

void TstE2e::hitOpensItsDetailPage()
{
    QFETCH(int, row);
    QFETCH(bool, byMenu);
    TWBForm& wb = m_w->wb;
    // Watch what the pop-up sink is asked without changing its verdict.
    QStringList sunk;
    const auto verdict = wb.WbNoAd->OnBeforeNavigate;
    wb.WbNoAd->OnBeforeNavigate = [&](const QString& url, bool& cancel) {
        verdict(url, cancel);
        if (cancel)
            sunk << url;
    };
    const auto restore = qScopeGuard([&] { wb.WbNoAd->OnBeforeNavigate = verdict; });

    QVERIFY(Search(QStringLiteral("周杰伦")));
    QVERIFY(m_w->main.lv1_rows->rowCount() > row);
    const QString id = Cell(row, 7);
    const QString name = Cell(row, 0);
    QVERIFY(OpenHit(row, byMenu));
    const QString url = m_service.BaseUrl() + "vexa-" + id;
    QCOMPARE(wb.PageUrl(), url);
    QCOMPARE(wb.windowTitle(), name + "- [" + Cell(row, 6) + "] - Lumo网盘搜索结果预览");
    QCOMPARE(wb.lb1->text(), "【文件价值指数：" + Cell(row, 3) + " , 人气：" + Cell(row, 4) + "】");
    QTRY_VERIFY_WITH_TIMEOUT(PageShown(), kWebTimeout);
    QCOMPARE(wb.wb1->LocationURL(), url);
    QTRY_COMPARE_WITH_TIMEOUT(PageTitle(), name + " - Lumo网盘搜索", kWebTimeout);

    // The page's pop-ups, from its load script and from its link aimed at
    // a new window, end in the sink: nothing reaches the service.
    const QString popup = m_service.BaseUrl() + "popup-ad.html";
    QTRY_VERIFY_WITH_TIMEOUT(sunk.contains(popup + "?from=script"), kWebTimeout);
    wb.wb1->ExecScript("document.querySelector('a[target=_blank]').click()");
    QTRY_VERIFY_WITH_TIMEOUT(sunk.contains(popup + "?from=link"), kWebTimeout);
    // A reload marks the end: a stray request would have come by then.
    const QString pageRequest = "GET /vexa-" + id + " 200";
    const int loads = LoggedRequests(pageRequest);
    int completions = 0;
    const auto complete = wb.wb1->OnDocumentComplete;
    wb.wb1->OnDocumentComplete = [&](const QString& completed) {
        ++completions;
        complete(completed);
    };
    const auto restoreComplete = qScopeGuard([&] { wb.wb1->OnDocumentComplete = complete; });
    wb.wb1->ExecScript("location.reload()");
    QTRY_COMPARE_WITH_TIMEOUT(LoggedRequests(pageRequest), loads + 1, kWebTimeout);
    // The reloaded page completes here, not in the next hit's preview.
    QTRY_VERIFY_WITH_TIMEOUT(completions > 0, kWebTimeout);
    for (const QString& request : m_service.AccessLog())
        QVERIFY2(!request.contains("popup-ad"), qPrintable(request));
    QCOMPARE(ShownWindows(), (QWidgetList{&m_w->main, &wb}));
    QVERIFY(!wb.WbNoAd->isVisible());
}

void TstE2e::ratingAndReportAreStored()
{
    TWBForm& wb = m_w->wb;
    TRpForm& report = m_w->report;
    QVERIFY(Search(QStringLiteral("Windows")));
    QVERIFY(m_w->main.lv1_rows->rowCount() > 2);
    const QString id = Cell(2, 7);
    QVERIFY(DetailPage(id).contains(QStringLiteral("暂无评分")));
    QVERIFY(OpenHit(2, false));

    wb.cb_score->setCurrentIndex(wb.cb_score->findText(QStringLiteral("8分优秀")));
    QTest::mouseClick(wb.btn_review, Qt::LeftButton);
    QCOMPARE(wb.btn_review->text(), QStringLiteral("提交中..."));
    QTRY_VERIFY_WITH_TIMEOUT(wb.lb2->isVisible(), kNetTimeout);
    QVERIFY(!wb.btn_review->isVisible());

    // The dialog runs modally; the user fills it in from inside its loop.
    QTimer::singleShot(0, &report, [&report] {
        QTest::keyClick(report.cb_reason, Qt::Key_Down); // the first preset reason
        QTest::keyClick(report.mm1, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(report.mm1, Qt::Key_Return);
        Type(report.mm1, QStringLiteral("链接 <404> & 打不开"));
        QTest::mouseClick(report.btn_report, Qt::LeftButton);
    });
    // Should the reply never come, the dialog is closed so the test ends.
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &report, [&] {
        timedOut = true;
        report.reject();
    });
    guard.start(kNetTimeout);
    QTest::mouseClick(wb.btn_report, Qt::LeftButton);
    guard.stop();
    QVERIFY(!timedOut);
    QCOMPARE(wb.btn_report->text(), QStringLiteral("举报成功，谢谢支持！"));
    QVERIFY(!wb.btn_report->isEnabled());
    QVERIFY(report.mm1->toPlainText().isEmpty());

    const QString page = DetailPage(id);
    QVERIFY(page.contains(QStringLiteral("共 1 人评分，平均 8.0 分")));
    QVERIFY(page.contains(QStringLiteral(" 8分优秀</li>")));
    QVERIFY(page.contains(QStringLiteral("共 1 次举报")));
    QVERIFY2(page.contains(QStringLiteral("：文件不能下载<br>链接 &lt;404&gt; &amp; 打不开</li>")),
             qPrintable(page));
}

void TstE2e::skinFromTheCatalogueIsKeptAcrossARestart()
{
    const QString skins = AppFolder() + "skins/";
    const QString downloads = "GET /plugins/getskin.php?action=downskin&skin_id=Dark ";
    const QColor dark = SkinColour("dark", "window");
    QVERIFY(dark.isValid());
    {
        TSkinFrm& frm = m_w->skin;
        QStringList captions;
        for (const QByteArray& id :
             m_service.Post("/plugins/getskin.php", "action=list").body.split(','))
            captions << QString::fromLatin1(id) + QStringLiteral("皮肤");
        QVERIFY(captions.contains(QStringLiteral("Dark皮肤")));
        frm.open();
        const auto listed = [&frm] {
            QStringList texts;
            for (int row = 0; row < frm.SLBox->count(); ++row)
                texts << frm.SLBox->item(row)->text();
            return texts;
        };
        QTRY_COMPARE_WITH_TIMEOUT(listed(), captions, kNetTimeout);

        const QListWidgetItem* item =
            frm.SLBox->item(int(captions.indexOf(QStringLiteral("Dark皮肤"))));
        QTest::mouseClick(frm.SLBox->viewport(), Qt::LeftButton, {},
                          frm.SLBox->visualItemRect(item).center());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(skins + "Dark.jpg"), kNetTimeout);
        QCOMPARE(ReadFile(skins + "Dark.jpg"), ReadFile(LUMO_SAMPLE_SKINS "/Dark.jpg"));

        QTest::mouseClick(frm.SKBtnApply, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_w->main.SkinData1->SkinName(), QStringLiteral("Dark"),
                                  kNetTimeout);
        // Remembered once it has loaded.
        QCOMPARE(read_saved_skin_id(AppFolder()), std::optional<QByteArray>("Dark"));
        QCOMPARE(ReadFile(skins + "Dark.skn"), ReadFile(LUMO_SAMPLE_SKINS "/Dark.skn"));
        QVERIFY(!QFile::exists(skins + "Dark.skn.tmp"));
        QCOMPARE(m_w->main.palette().color(QPalette::Window), dark);
        // In two parts.
        QTRY_COMPARE_WITH_TIMEOUT(LoggedRequests(downloads + "206"), 2, kNetTimeout);
        frm.close();
    }

    // The next start: a fresh set of windows on the same folder.
    m_w.reset();
    m_w = std::make_unique<Windows>(AppFolder(), m_service.BaseUrl());
    QCOMPARE(m_w->main.SkinData1->SkinName(), QStringLiteral("Charm"));
    m_w->main.show();
    QCOMPARE(m_w->main.SkinData1->SkinName(), QStringLiteral("Dark"));
    QCOMPARE(m_w->main.skin_name, QStringLiteral("Dark"));
    QCOMPARE(m_w->main.palette().color(QPalette::Window), dark);

    // The manager shows it chosen, from the files already here.
    const QStringList before = m_service.AccessLog();
    m_w->skin.open();
    QTRY_COMPARE_WITH_TIMEOUT(
        m_w->skin.SLBox->currentItem() ? m_w->skin.SLBox->currentItem()->text() : QString(),
        QStringLiteral("Dark皮肤"), kNetTimeout);
    m_w->skin.close();
    QTRY_COMPARE_WITH_TIMEOUT(m_service.AccessLog().size(), before.size() + 1, kNetTimeout);
    QCOMPARE(m_service.AccessLog().last(), QStringLiteral("POST /plugins/getskin.php 200"));
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    TstE2e test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e.moc"
