#include "platform/file_icons.h"
#include "platform/shell_open.h"
#include "skin/skin_application.h"
#include "skin/skin_message_box.h"
#include "skin/skin_speed_button.h"
#include "tests/support/fake_service.h"
#include "ui/result_list_model.h"
#include "ui/search_reply.h"
#include "ui/uMain.h"
#include "ui/uWB.h"
#include "util/gbk.h"

#include <QAction>
#include <QKeySequence>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

QByteArray Gb(const QString& text)
{
    return Gbk::fromUnicode(text);
}

QByteArray Hit(const QString& name, const QString& ext, const QString& size, const QString& id,
               const QString& url = QStringLiteral("http://pan.example/s/1"))
{
    return Gb(QStringLiteral("{\"file_name\":\"%1\",\"file_extension\":\"%2\",\"file_size\":%3,"
                             "\"file_value\":\"8.5\",\"file_views\":\"120\","
                             "\"file_time\":\"2013-09-20\",\"s_url\":\"%4\",\"file_id\":\"%5\"}")
                  .arg(name, ext, size, url, id));
}

// The main window with the preview window beside it, talking to a fake
// service. The hot-word timers are stopped; tests start them as needed.
struct Fixture
{
    explicit Fixture(const QString& folder) : main(folder), wb(main)
    {
        main.tmr1->stop();
        main.tmr2->stop();
    }
    bool Start()
    {
        if (!service.Start())
            return false;
        main.base_url = service.BaseUrl();
        return true;
    }
    QString Cell(int row, int column) const
    {
        return main.lv1_rows->data(main.lv1_rows->index(row, column), Qt::DisplayRole).toString();
    }
    bool Idle() const
    {
        return main.btn_search->isEnabled() &&
               main.btn_search->text() == QStringLiteral("Lumo搜索");
    }
    bool Busy() const
    {
        return !main.btn_search->isEnabled() &&
               main.btn_search->text() == QStringLiteral("搜索中...");
    }
    // Types `keyword` and presses Enter.
    void Search(const QString& keyword)
    {
        main.ed_word->setText(keyword);
        QTest::keyClick(main.ed_word, Qt::Key_Return);
    }
    bool SearchDone() const { return !main.HttpCli1->SendStream(); }
    QList<TSkinSpeedButton*> HotWords() const
    {
        QList<TSkinSpeedButton*> buttons =
            main.pn4->findChildren<TSkinSpeedButton*>(Qt::FindDirectChildrenOnly);
        std::sort(buttons.begin(), buttons.end(), [](QWidget* a, QWidget* b) {
            return std::pair(a->x(), a->width()) < std::pair(b->x(), b->width());
        });
        return buttons;
    }

    FakeService service;
    TMainForm main;
    TWBForm wb;
};

} // namespace

class TstSearch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layoutOfTheWindow();
    void blankKeywordIsRefused_data();
    void blankKeywordIsRefused();
    void trimmedKeywordInTheEnvelopeAndEmptyReply();
    void formCharactersReachTheServiceUnchanged_data();
    void formCharactersReachTheServiceUnchanged();
    void hitsInReplyOrder();
    void longReplyIsCutToTheRowBound();
    void failedReplyLeavesButtonBusyUntilTimeout_data();
    void failedReplyLeavesButtonBusyUntilTimeout();
    void replyWithoutHitsLeavesWindowUsable_data();
    void replyWithoutHitsLeavesWindowUsable();
    void secondSearchWhileOneRunsIsRefused();
    void formatFileSize_data();
    void formatFileSize();
    void openingAHit();
    void rowsThatCannotBeOpened();
    void shareAddressOpensOnlyAsWebAddress_data();
    void shareAddressOpensOnlyAsWebAddress();
    void hotWordsRightToLeft();
    void hotWordClickSearches();
    void refusedRefreshShowsErrorAndRetries();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<Fixture> f;
    QList<QUrl> m_opened;
};

void TstSearch::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    TSkinMessageBox::resetTestHooks();
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    m_opened.clear();
    TShell::SetOpenHook([this](const QUrl& url) { m_opened << url; });
    f = std::make_unique<Fixture>(m_folder->path() + "/");
    QVERIFY(f->Start());
}

void TstSearch::cleanup()
{
    f.reset();
    TShell::SetOpenHook(nullptr);
    QLocale::setDefault(QLocale::c());
    TSkinMessageBox::resetTestHooks();
}

void TstSearch::layoutOfTheWindow()
{
    // A fresh window arms the hot-word timers, not the search timeout.
    TMainForm fresh(m_folder->path() + "/");
    QVERIFY(fresh.tmr1->isActive() && fresh.tmr2->isActive() && !fresh.tmr3->isActive());
    QCOMPARE(fresh.tmr1->interval(), 30000);
    QCOMPARE(fresh.tmr2->interval(), 5000);
    QCOMPARE(fresh.tmr3->interval(), 20000);
    fresh.show();
    QVERIFY(QTest::qWaitForWindowExposed(&fresh));
    QCOMPARE(fresh.size(), QSize(760, 430));
    QCOMPARE(fresh.ed_word->geometry(), QRect(6, 7, 208, 23));
    QCOMPARE(fresh.ed_word->font().pixelSize(), 14);
    QCOMPARE(fresh.btn_search->geometry(), QRect(219, 6, 75, 25));
    QCOMPARE(fresh.btn_search->text(), QStringLiteral("Lumo搜索"));
    QCOMPARE(fresh.pn5->width(), 438);
    QCOMPARE(fresh.pn5->geometry().right(), fresh.pn_top->width() - 1);
    QCOMPARE(fresh.pn4->width(), 363);
    QCOMPARE(fresh.SkinSpeedButton1->size(), QSize(35, 37));
    QCOMPARE(fresh.SkinSpeedButton1->toolTip(), QStringLiteral("换一换"));
    QCOMPARE(fresh.lv1->font().pixelSize(), 13);
    QCOMPARE(fresh.lv1->columnWidth(0), 350);
    QCOMPARE(fresh.lv1->columnWidth(7), 70);
    QCOMPARE(fresh.lv1_rows->headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("文件地址"));
    QCOMPARE(fresh.N3->text(), QStringLiteral("结果预览"));
    QCOMPARE(fresh.N4->text(), QStringLiteral("浏览器打开"));
    // The table fills the area between the top bar and the status bar.
    QCOMPARE(fresh.lv1->mapTo(&fresh, QPoint(0, 0)).y(), 22 + 37);
    QCOMPARE(fresh.lv1->mapTo(&fresh, QPoint(0, fresh.lv1->height())).y(), 430 - 18);
}

void TstSearch::blankKeywordIsRefused_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks") << QStringLiteral("   ");
    QTest::newRow("control characters") << QStringLiteral("\t \x01 ");
}

void TstSearch::blankKeywordIsRefused()
{
    QFETCH(QString, keyword);
    f->Search(keyword);
    const QList<TShownMessage> shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.at(0).caption, QStringLiteral("提示信息"));
    QCOMPARE(shown.at(0).text, QStringLiteral("请输入搜索关键词"));
    QCOMPARE(shown.at(0).buttons, QStringList{QStringLiteral("确定")});
    QVERIFY(f->Idle());
    QVERIFY(!f->main.tmr3->isActive());
    QCOMPARE(f->main.ed_word->text(), keyword);
    QTest::qWait(50);
    QCOMPARE(f->service.Server().ConnectionCount(), 0);
}

void TstSearch::trimmedKeywordInTheEnvelopeAndEmptyReply()
{
    f->service.Reply(200, "[]");
    f->Search(QStringLiteral("  abc \t"));
    QVERIFY(f->Busy());
    QVERIFY(f->main.tmr3->isActive());
    QCOMPARE(f->main.ed_word->text(), QStringLiteral("  abc \t"));
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);

    const QByteArray host = "127.0.0.1:" + QByteArray::number(f->service.Server().Port());
    QCOMPARE(f->service.Requests().size(), 1);
    QCOMPARE(f->service.Requests().at(0),
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

    // "[]": the single placeholder row, and the timeout is off.
    QCOMPARE(f->main.lv1_rows->rowCount(), 1);
    QCOMPARE(f->Cell(0, 0), QStringLiteral("...暂无文件..."));
    for (int c = 1; c < 8; ++c)
        QVERIFY(f->Cell(0, c).isEmpty());
    QVERIFY(!f->main.tmr3->isActive());
    QVERIFY(!f->main.HttpCli1->SendStream() && !f->main.HttpCli1->RcvdStream());
}

void TstSearch::formCharactersReachTheServiceUnchanged_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::newRow("plus") << QStringLiteral("C++");
    QTest::newRow("ampersand") << QStringLiteral("a&b");
    QTest::newRow("smuggled field") << QStringLiteral("x&action=report");
    QTest::newRow("equals and percent") << QStringLiteral("100%=%41");
    QTest::newRow("inner blank") << QStringLiteral("a b");
}

void TstSearch::formCharactersReachTheServiceUnchanged()
{
    QFETCH(QString, keyword);
    f->service.Reply(200, "[]");
    f->Search(keyword);
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);
    const QByteArray body = f->service.Bodies().value(0);
    QCOMPARE(FakeService::FormField(body, "word"), keyword.toLatin1());
    QCOMPARE(FakeService::FormField(body, "action"), QByteArray("search"));
    QCOMPARE(body.count('&'), 1);
}

void TstSearch::hitsInReplyOrder()
{
    // GBK bytes of a Chinese keyword go out raw.
    const QByteArray reply =
        "[" + Hit(QStringLiteral("资料合集.rar"), "rar", "1536", "101") + "," +
        Hit("big.iso", "iso", "3221225472", "102") + "," +
        Gb(QStringLiteral("{\"file_name\":\"notes.txt\",\"file_extension\":\"txt\","
                          "\"file_size\":\"2.5\",\"s_url\":\"u3\",\"file_id\":\"103\"}")) +
        "," + Hit("movie.mkv", "mkv", "\"1073741824\"", "104") + "]";
    f->service.Reply(200, reply);
    f->Search(QStringLiteral("资料"));
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);
    QCOMPARE(f->service.Bodies().value(0), "action=search&word=" + Gb(QStringLiteral("资料")));

    QCOMPARE(f->main.lv1_rows->rowCount(), 4);
    const QStringList first{QStringLiteral("资料合集.rar"),
                            QStringLiteral("rar文件"),
                            QStringLiteral("1.50KB"),
                            QStringLiteral("8.5"),
                            QStringLiteral("120"),
                            QStringLiteral("2013-09-20"),
                            QStringLiteral("http://pan.example/s/1"),
                            QStringLiteral("101")};
    for (int c = 0; c < 8; ++c)
        QCOMPARE(f->Cell(0, c), first.at(c));
    // Sizes of 2 GB and more are common on cloud disks.
    QCOMPARE(f->Cell(1, 2), QStringLiteral("3.00GB"));
    // A size that is no integer leaves its column empty; missing members
    // read as empty text; the hits after it are still shown.
    QCOMPARE(f->Cell(2, 0), QStringLiteral("notes.txt"));
    QCOMPARE(f->Cell(2, 1), QStringLiteral("txt文件"));
    QVERIFY(f->Cell(2, 2).isEmpty());
    QVERIFY(f->Cell(2, 5).isEmpty());
    QCOMPARE(f->Cell(2, 7), QStringLiteral("103"));
    QCOMPARE(f->Cell(3, 2), QStringLiteral("1.00GB"));
    QCOMPARE(f->Cell(3, 7), QStringLiteral("104"));
    QVERIFY(!f->main.tmr3->isActive());
    // Every row has a file-type icon.
    const QIcon rar =
        f->main.lv1_rows->data(f->main.lv1_rows->index(0, 0), Qt::DecorationRole).value<QIcon>();
    const int rarIndex = GetSystemIconIndexA(Gb(QStringLiteral("资料合集.rar")).constData(), 0);
    QVERIFY(!rar.isNull());
    QCOMPARE(rar.cacheKey(), GetSystemImageListHandle(1)->Icon(rarIndex).cacheKey());
}

void TstSearch::longReplyIsCutToTheRowBound()
{
    QByteArray reply = "[";
    for (int i = 0; i < kMaxResultRows + 500; ++i)
        reply += (i ? "," : "") + Hit("f.zip", "zip", "1", QString::number(i));
    f->service.Reply(200, reply + "]");
    f->Search(QStringLiteral("many"));
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 10000);
    QCOMPARE(f->main.lv1_rows->rowCount(), kMaxResultRows);
    QCOMPARE(f->Cell(kMaxResultRows - 1, 7), QString::number(kMaxResultRows - 1));
}

void TstSearch::failedReplyLeavesButtonBusyUntilTimeout_data()
{
    QTest::addColumn<bool>("reset");
    QTest::newRow("status 500") << false;
    QTest::newRow("connection reset") << true;
}

void TstSearch::failedReplyLeavesButtonBusyUntilTimeout()
{
    QFETCH(bool, reset);
    f->service.Reply(200, "[" + Hit("keep.zip", "zip", "10", "7") + "]");
    f->Search("one");
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);

    if (reset)
        f->service.Server().Enqueue(ScriptedServer::Reply::Raw("", ScriptedServer::Reply::Reset));
    else
        f->service.Reply(500, "[]");
    f->Search("two");
    QTRY_VERIFY_WITH_TIMEOUT(f->SearchDone(), 5000);
    QVERIFY(f->Busy());
    QVERIFY(f->main.tmr3->isActive());
    QCOMPARE(f->main.lv1_rows->rowCount(), 1);
    QCOMPARE(f->Cell(0, 0), QStringLiteral("keep.zip"));
    QVERIFY(!f->main.HttpCli1->RcvdStream());
    QVERIFY(TSkinMessageBox::takeShownMessages().isEmpty());

    // The timeout tick frees the button and keeps ticking.
    f->main.tmr3Timer();
    QVERIFY(f->Idle());
    QVERIFY(f->main.tmr3->isActive());
}

void TstSearch::replyWithoutHitsLeavesWindowUsable_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("object") << QByteArray("{\"file_name\":\"x\"}");
    QTest::newRow("plain text") << QByteArray("error");
    QTest::newRow("truncated array") << QByteArray("[{\"file_name\":\"x\"");
    QTest::newRow("empty body") << QByteArray();
    QTest::newRow("elements that are no objects") << QByteArray("[1,\"a\",null,[]]");
}

void TstSearch::replyWithoutHitsLeavesWindowUsable()
{
    QFETCH(QByteArray, reply);
    f->service.Reply(200, "[" + Hit("old.zip", "zip", "10", "7") + "]");
    f->Search("old");
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);

    f->service.Reply(200, reply);
    f->Search("odd");
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);
    QCOMPARE(f->main.lv1_rows->rowCount(), 0);
    QVERIFY(!f->main.tmr3->isActive());
    QVERIFY(TSkinMessageBox::takeShownMessages().isEmpty());

    // The next search works as usual.
    f->service.Reply(200, "[" + Hit("new.zip", "zip", "10", "8") + "]");
    f->Search("new");
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);
    QCOMPARE(f->Cell(0, 0), QStringLiteral("new.zip"));
}

void TstSearch::secondSearchWhileOneRunsIsRefused()
{
    f->service.Reply(200, "[" + Hit("first.zip", "zip", "10", "1") + "]", 400);
    f->Search("first");
    QVERIFY(f->Busy());
    // The timeout frees the button while the request still runs.
    f->main.tmr3Timer();
    QVERIFY(f->Idle());
    QIODevice* const running = f->main.HttpCli1->RcvdStream();

    f->main.ed_word->setText("second");
    QTest::mouseClick(f->main.btn_search, Qt::LeftButton);
    QList<TShownMessage> shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.at(0).caption, TApplication::Title());
    QCOMPARE(shown.at(0).text,
             QStringLiteral("上一个网络请求尚未完成，请稍后再试：HTTP component HttpCli1 is busy"));
    QCOMPARE(f->main.HttpCli1->RcvdStream(), running);
    QVERIFY(f->main.tmr3->isActive());

    // Enter while the button is busy is refused the same way.
    QTest::keyClick(f->main.ed_word, Qt::Key_Return);
    QCOMPARE(TSkinMessageBox::takeShownMessages().size(), 1);

    QTRY_VERIFY_WITH_TIMEOUT(f->SearchDone(), 5000);
    QVERIFY(f->Idle());
    QCOMPARE(f->Cell(0, 0), QStringLiteral("first.zip"));
    QCOMPARE(f->service.Requests().size(), 1);
    QVERIFY(f->service.Bodies().at(0).endsWith("word=first"));
}

void TstSearch::formatFileSize_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    const struct
    {
        qint64 size;
        const char* text;
    } examples[] = {
        {0, "0B"},
        {1023, "1023B"},
        {1024, "1.00KB"},
        {1536, "1.50KB"},
        {1048575, "1024.00KB"},
        {1048576, "1.00MB"},
        {1073741823, "1024.00MB"},
        {1073741824, "1.00GB"},
        {2147483647, "2.00GB"},
        {-5000, "-5000B"},
        {5368709120LL, "5.00GB"},
        {Q_INT64_C(9223372036854775807), "8589934592.00GB"},
    };
    for (const auto& e : examples)
        QTest::addRow("%lld", static_cast<long long>(e.size)) << e.size << "C" << e.text;
    QTest::newRow("comma locale") << qint64(1536) << "de_DE"
                                  << "1,50KB";
    QTest::newRow("comma locale, no grouping") << qint64(1048575) << "de_DE"
                                               << "1024,00KB";
}

void TstSearch::formatFileSize()
{
    QFETCH(qint64, size);
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(locale));
    QCOMPARE(TMainForm::FormatFileSize(size), text);
}

void TstSearch::openingAHit()
{
    f->main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->main));
    f->service.Reply(
        200, "[" + Hit("a.rar", "rar", "10", "11", "http://pan.example/a") + "," +
                 Hit(QStringLiteral("教程.pdf"), "pdf", "20", "22", "  http://pan.example/b ") +
                 "]");
    f->Search("x");
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);

    // Double click on the second row: the preview window.
    const QRect second = f->main.lv1->visualRect(f->main.lv1_rows->index(1, 0));
    QTest::mouseClick(f->main.lv1->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(f->main.lv1->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(f->main.sel_share_url, QByteArray("http://pan.example/b"));
    QCOMPARE(f->main.sel_file_id, QByteArray("22"));
    QCOMPARE(f->main.sel_value, QByteArray("8.5"));
    QCOMPARE(f->main.sel_views, QByteArray("120"));
    QCOMPARE(f->main.view_url, f->service.BaseUrl() + "vexa-22");
    QCOMPARE(f->wb.PageUrl(), f->main.view_url);
    QCOMPARE(f->wb.windowTitle(),
             QStringLiteral("教程.pdf- [http://pan.example/b] - Lumo网盘搜索结果预览"));
    QVERIFY(f->wb.isVisible());
    QCOMPARE(f->wb.pos(), f->main.pos() + QPoint(200, 100));
    QVERIFY(m_opened.isEmpty());

    // Moved away and opened again through the context menu: back in place.
    f->wb.move(f->main.pos() + QPoint(5, 5));
    f->main.lv1->setCurrentIndex(f->main.lv1_rows->index(0, 0));
    f->main.N3->trigger();
    QCOMPARE(f->wb.pos(), f->main.pos() + QPoint(200, 100));
    QCOMPARE(f->wb.windowTitle(),
             QStringLiteral("a.rar- [http://pan.example/a] - Lumo网盘搜索结果预览"));
    QCOMPARE(f->main.sel_file_id, QByteArray("11"));

    // The browser gets the share page itself.
    f->main.lv1->setCurrentIndex(f->main.lv1_rows->index(1, 3));
    f->main.N4->trigger();
    QCOMPARE(m_opened, QList<QUrl>{QUrl("http://pan.example/b")});
    QCOMPARE(f->main.sel_file_id, QByteArray("22"));
    QCOMPARE(f->main.view_url, f->service.BaseUrl() + "vexa-22");
}

void TstSearch::rowsThatCannotBeOpened()
{
    f->main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->main));
    f->service.Reply(200, "[]");
    f->Search("nothing");
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);
    const QRect placeholder = f->main.lv1->visualRect(f->main.lv1_rows->index(0, 0));

    // The placeholder row, selected or not, and an empty part of the list.
    QTest::mouseDClick(f->main.lv1->viewport(), Qt::LeftButton, {},
                       QPoint(10, f->main.lv1->viewport()->height() - 5));
    f->main.lv1->setCurrentIndex(f->main.lv1_rows->index(0, 0));
    QTest::mouseDClick(f->main.lv1->viewport(), Qt::LeftButton, {}, placeholder.center());
    f->main.N4->trigger();
    QVERIFY(!f->wb.isVisible());
    QVERIFY(m_opened.isEmpty());
    QVERIFY(f->main.view_url.isEmpty() && f->main.sel_file_id.isEmpty());

    // An address of blanks only becomes the hit last opened with an empty
    // share address, which the browser is not given.
    f->service.Reply(200, "[" + Hit("blank.zip", "zip", "1", "9", "   ") + "]");
    f->Search("blank");
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);
    f->main.lv1->setCurrentIndex(f->main.lv1_rows->index(0, 0));
    f->main.N4->trigger();
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(TSkinMessageBox::takeShownMessages().size(), 1);
    QVERIFY(f->main.sel_share_url.isEmpty());
    QCOMPARE(f->main.sel_file_id, QByteArray("9"));
}

void TstSearch::shareAddressOpensOnlyAsWebAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("opens");
    QTest::newRow("http") << "http://pan.example/s/1" << true;
    QTest::newRow("https, scheme in capitals") << "HTTPS://pan.example/s/1?pwd=ab" << true;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("smb") << "smb://host/share/setup.exe" << false;
    QTest::newRow("javascript") << "javascript:alert(1)" << false;
    QTest::newRow("ftp") << "ftp://pan.example/a.zip" << false;
    QTest::newRow("bare path") << "/home/user/.bashrc" << false;
    QTest::newRow("no scheme") << "pan.example/s/1" << false;
    QTest::newRow("http without host") << "http:///etc/passwd" << false;
    QTest::newRow("blank inside the host") << "http://pan example/s/1" << false;
    QTest::newRow("blanks only") << "   " << false;
}

// The browser is given only web addresses, from the result list and from
// the preview window alike; everything else is refused with a message.
void TstSearch::shareAddressOpensOnlyAsWebAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, opens);
    f->service.Reply(200, "[" + Hit("a.zip", "zip", "1", "7", address) + "]");
    f->Search("a");
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);
    f->main.lv1->setCurrentIndex(f->main.lv1_rows->index(0, 0));

    f->main.N4->trigger();
    f->wb.btn_view->click();
    const QList<TShownMessage> shown = TSkinMessageBox::takeShownMessages();
    if (opens) {
        QCOMPARE(m_opened, QList<QUrl>({QUrl(address), QUrl(address)}));
        QVERIFY(shown.isEmpty());
        return;
    }
    QVERIFY(m_opened.isEmpty());
    QCOMPARE(shown.size(), 2);
    for (const TShownMessage& m : shown) {
        QCOMPARE(m.caption, QStringLiteral("提示信息"));
        QVERIFY2(m.text.startsWith(QStringLiteral("该文件的分享地址不是网页地址")),
                 qPrintable(m.text));
    }
}

void TstSearch::hotWordsRightToLeft()
{
    f->main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->main));
    f->service.Reply(200,
                     Gb(QStringLiteral("[{\"word\":\"a\"},{\"word\":\"bb\"},{\"word\":\"ccc\"},"
                                       "{\"other\":1},{\"word\":\"网盘搜索\"}]")));
    f->service.Reply(200, "[]");
    f->main.tmr2->start();
    f->main.tmr2Timer();
    QVERIFY(!f->main.tmr2->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(f->HotWords().size(), 5, 5000);
    QCOMPARE(f->service.Bodies().at(0), QByteArray("action=commend"));

    const QList<TSkinSpeedButton*> bar = f->HotWords();
    const QStringList captions{QStringLiteral("网盘搜索"), QString(), "ccc", "bb", "a"};
    const QList<int> widths{60, 0, 45, 30, 15};
    int left = 0;
    for (int i = 0; i < bar.size(); ++i) {
        QCOMPARE(bar.at(i)->Caption(), captions.at(i));
        QCOMPARE(bar.at(i)->width(), widths.at(i));
        QCOMPARE(bar.at(i)->x(), left);
        left += widths.at(i);
    }

    // A refresh empties the bar at once and "[]" leaves it empty; the
    // refresh button survives.
    QTest::mouseClick(f->main.SkinSpeedButton1, Qt::LeftButton);
    QVERIFY(f->HotWords().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(f->service.Requests().size(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!f->main.HttpCliCmd->SendStream(), 5000);
    QVERIFY(f->HotWords().isEmpty());
    QVERIFY(f->main.SkinSpeedButton1->isVisible());
}

void TstSearch::hotWordClickSearches()
{
    f->main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->main));
    f->service.Reply(200, "[{\"word\":\"C++\"},{\"word\":\"a&b\"}]");
    f->main.tmr1Timer();
    QTRY_COMPARE_WITH_TIMEOUT(f->HotWords().size(), 2, 5000);
    // An "&" is shown as it is, not as a mnemonic underline.
    TSkinSpeedButton* ampersand = f->HotWords().at(0);
    QCOMPARE(ampersand->Caption(), QStringLiteral("a&b"));
    QCOMPARE(ampersand->width(), 45);
    QVERIFY(QKeySequence::mnemonic(ampersand->text()).isEmpty());

    f->service.Reply(200, "[" + Hit("cpp.pdf", "pdf", "1", "5") + "]");
    f->main.ed_word->setText("something else");
    QTest::mouseClick(f->HotWords().at(1), Qt::LeftButton);
    QCOMPARE(f->main.ed_word->text(), QStringLiteral("C++"));
    QVERIFY(f->Busy());
    QTRY_VERIFY_WITH_TIMEOUT(f->Idle(), 5000);
    QCOMPARE(FakeService::FormField(f->service.Bodies().value(1), "word"), QByteArray("C++"));
    QCOMPARE(f->Cell(0, 0), QStringLiteral("cpp.pdf"));
    QCOMPARE(f->HotWords().size(), 2);
}

void TstSearch::refusedRefreshShowsErrorAndRetries()
{
    f->main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f->main));
    f->service.Reply(200, "[{\"word\":\"slow\"}]", 300);
    f->service.Reply(200, "[{\"word\":\"again\"}]");
    QTest::mouseClick(f->main.SkinSpeedButton1, Qt::LeftButton);

    // The first tick comes while the reply is slow: refused, shown, and
    // the timer stays on to try again.
    f->main.tmr2->setInterval(20);
    f->main.tmr2->start();
    QList<TShownMessage> shown;
    const auto collect = [&] {
        shown += TSkinMessageBox::takeShownMessages();
        return !shown.isEmpty();
    };
    QTRY_VERIFY_WITH_TIMEOUT(collect(), 5000);
    QVERIFY(f->main.tmr2->isActive());

    // Once the slow reply is in, a later tick posts and the timer stops.
    QTRY_VERIFY_WITH_TIMEOUT(!f->main.tmr2->isActive(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(f->service.Requests().size(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!f->main.HttpCliCmd->SendStream(), 5000);
    const QList<TSkinSpeedButton*> bar = f->HotWords();
    QCOMPARE(bar.size(), 1);
    QCOMPARE(bar.at(0)->Caption(), QStringLiteral("again"));
    collect();
    for (const TShownMessage& m : shown) {
        QCOMPARE(m.caption, TApplication::Title());
        QCOMPARE(m.text,
                 QStringLiteral(
                     "上一个网络请求尚未完成，请稍后再试：HTTP component HttpCliCmd is busy"));
    }
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    TstSearch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_search.moc"
