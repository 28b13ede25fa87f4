#include "skin/skin_application.h"
#include "skin/skin_data.h"
#include "skin/skin_message_box.h"
#include "skin/skin_link_label.h"
#include "skin/skin_speed_button.h"
#include "tests/support/fake_service.h"
#include "ui/result_list_model.h"
#include "ui/uMain.h"
#include "ui/uWB.h"
#include "ui/window_memory.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

struct Windows
{
    explicit Windows(const QString& folder) : main(folder), wb(main)
    {
        main.tmr1->stop();
        main.tmr2->stop();
    }
    TMainForm main;
    TWBForm wb;
};

QScreen* ScreenNamed(const QString& name)
{
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->name() == name)
            return screen;
    return nullptr;
}

// A control's rectangle in the coordinates of its window.
QRect RectOf(const QWidget* control)
{
    return QRect(control->mapTo(control->window(), QPoint(0, 0)), control->size());
}

QByteArray ManyHotWords()
{
    QByteArray reply = "[";
    for (int i = 0; i < 30; ++i)
        reply += (i ? "," : "") + QByteArray("{\"word\":\"word") + QByteArray::number(i) + "\"}";
    return reply + "]";
}

} // namespace

class TstWindowPlaces : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void noControlCoversAnother_data();
    void noControlCoversAnother();
    void previewInsideTheMainWindowsScreen_data();
    void previewInsideTheMainWindowsScreen();
    void keysClosePreview_data();
    void keysClosePreview();
    void refreshGlyphSharpAtDoubleDensity();
    void memoryAcrossTwoSetsOfWindows_data();
    void memoryAcrossTwoSetsOfWindows();
    void damagedMemoryGivesDefaults_data();
    void damagedMemoryGivesDefaults();
    void keywordsKeepTheLatestFifty();
    void savingReplacesALinkNeverFollowsIt();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString Folder() const { return m_folder->path() + "/"; }
};

void TstWindowPlaces::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    TSkinMessageBox::resetTestHooks();
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
}

void TstWindowPlaces::noControlCoversAnother_data()
{
    QTest::addColumn<QString>("skin");
    QTest::addColumn<int>("width");
    for (const char* skin : {"charm", "blue", "dark", "green"}) {
        QTest::addRow("%s, minimum size", skin) << skin << 0;
        QTest::addRow("%s, 700 wide", skin) << skin << 700;
    }
}

void TstWindowPlaces::noControlCoversAnother()
{
    QFETCH(QString, skin);
    QFETCH(int, width);
    FakeService service;
    QVERIFY(service.Start());
    Windows w(Folder());
    w.main.base_url = service.BaseUrl();
    QFile source(QStringLiteral(LUMO_SKIN_SOURCES "/") + skin + ".skin");
    QVERIFY(source.open(QIODevice::ReadOnly));
    w.main.SkinData1->LoadFromText(QString::fromUtf8(source.readAll()));
    w.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.main));
    service.Reply(200, ManyHotWords());
    w.main.RefreshHotWords();
    QTRY_VERIFY_WITH_TIMEOUT(!w.main.HttpCliCmd->SendStream(), 5000);

    // Nothing smaller than the minimum is possible.
    w.main.resize(1, 1);
    QCOMPARE(w.main.size(), w.main.minimumSize());
    if (width)
        w.main.resize(width, w.main.minimumHeight());
    QCoreApplication::processEvents();

    const QList<QWidget*> controls{w.main.menuBar(),     w.main.ed_word,    w.main.btn_search,
                                   w.main.SkinStdLabel1, w.main.pn4,        w.main.SkinSpeedButton1,
                                   w.main.lv1,           w.main.statusBar()};
    const QRect window = w.main.rect();
    for (int i = 0; i < controls.size(); ++i) {
        const QRect a = RectOf(controls[i]);
        QVERIFY2(!a.isEmpty() && window.contains(a), qPrintable(controls[i]->objectName()));
        for (int j = i + 1; j < controls.size(); ++j)
            QVERIFY2(!a.intersects(RectOf(controls[j])),
                     qPrintable(controls[i]->objectName() + " / " + controls[j]->objectName()));
    }
    // The keyword box and the button keep their design places; the strip
    // still shows words, and the feedback link stays below the list.
    QCOMPARE(w.main.ed_word->geometry(), QRect(6, 7, 208, 23));
    QCOMPARE(w.main.btn_search->geometry(), QRect(219, 6, 75, 25));
    const QList<TSkinSpeedButton*> words =
        w.main.pn4->findChildren<TSkinSpeedButton*>(Qt::FindDirectChildrenOnly);
    QVERIFY(std::any_of(words.begin(), words.end(), [&](TSkinSpeedButton* b) {
        return w.main.pn4->rect().contains(b->geometry());
    }));
    const QRect link = RectOf(w.main.bbs_link);
    QVERIFY(link.left() >= 0 && link.right() <= window.right());
    QVERIFY(!link.intersects(RectOf(w.main.lv1)));
    QVERIFY(w.main.SkinStdLabel1->fontMetrics().horizontalAdvance(w.main.SkinStdLabel1->text()) <=
            w.main.SkinStdLabel1->width());
}

void TstWindowPlaces::previewInsideTheMainWindowsScreen_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QPoint>("mainAt");
    QTest::addColumn<QSize>("previewSize");
    QTest::addColumn<bool>("keepsX");
    QTest::addColumn<bool>("keepsY");
    QTest::addColumn<bool>("shrunk");
    // The wide screen is 1920 x 1080 at 0,0; the small one 800 x 600 right
    // of it. Where the offset does not fit, the window meets the far edge.
    QTest::newRow("fits: 200/100 from the corner")
        << "1-wide" << QPoint(100, 50) << QSize(800, 450) << true << true << false;
    QTest::newRow("wide screen, near its corner")
        << "1-wide" << QPoint(1000, 700) << QSize(800, 450) << false << false << false;
    QTest::newRow("small screen, top left")
        << "2-small" << QPoint(1920, 0) << QSize(600, 400) << false << true << false;
    QTest::newRow("small screen, lower down")
        << "2-small" << QPoint(1940, 300) << QSize(600, 400) << false << false << false;
    QTest::newRow("preview larger than the small screen")
        << "2-small" << QPoint(1920, 0) << QSize(1000, 700) << false << false << true;
}

void TstWindowPlaces::previewInsideTheMainWindowsScreen()
{
    QFETCH(QString, screen);
    QFETCH(QPoint, mainAt);
    QFETCH(QSize, previewSize);
    QFETCH(bool, keepsX);
    QFETCH(bool, keepsY);
    QFETCH(bool, shrunk);
    QScreen* target = ScreenNamed(screen);
    QVERIFY2(target, "the test runs with the two screens of tests/ui/screens.json");
    const QRect area = target->availableGeometry();
    Windows w(Folder());
    w.main.setMinimumSize(100, 100);
    w.main.resize(400, 300);
    w.main.move(mainAt);
    w.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.main));
    QCOMPARE(QGuiApplication::screenAt(w.main.frameGeometry().center()), target);
    w.wb.resize(previewSize);
    w.wb.show();
    const QSize frameSize = w.wb.frameGeometry().size();
    w.wb.hide();

    w.main.FillResultList("[{\"file_name\":\"a.rar\",\"s_url\":\"http://pan.example/a\","
                          "\"file_id\":\"1\",\"file_size\":1}]");
    w.main.lv1->setCurrentIndex(w.main.lv1_rows->index(0, 0));
    w.main.N3->trigger();
    QVERIFY(w.wb.isVisible());
    const QRect frame = w.wb.frameGeometry();
    const QPoint wanted = w.main.pos() + QPoint(200, 100);
    QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                  .arg(frame.x())
                                                  .arg(frame.y())
                                                  .arg(frame.width())
                                                  .arg(frame.height())));
    QCOMPARE(frame.size(), shrunk ? area.size() : frameSize);
    if (keepsX)
        QCOMPARE(frame.x(), wanted.x());
    else
        QCOMPARE(frame.right(), area.right());
    if (keepsY)
        QCOMPARE(frame.y(), wanted.y());
    else
        QCOMPARE(frame.bottom(), area.bottom());
}

void TstWindowPlaces::keysClosePreview_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Esc") << int(Qt::Key_Escape) << int(Qt::NoModifier);
    QTest::newRow("Ctrl+W") << int(Qt::Key_W) << int(Qt::ControlModifier);
}

void TstWindowPlaces::keysClosePreview()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    Windows w(Folder());
    w.main.show();
    w.wb.show();
    w.wb.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.wb));
    QTest::keyClick(&w.wb, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTRY_VERIFY_WITH_TIMEOUT(!w.wb.isVisible(), 5000);
    QVERIFY(w.main.isVisible());
}

void TstWindowPlaces::refreshGlyphSharpAtDoubleDensity()
{
    Windows w(Folder());
    const QIcon glyph = w.main.SkinSpeedButton1->icon();
    QCOMPARE(w.main.SkinSpeedButton1->iconSize(), QSize(16, 16));
    for (qreal ratio : {1.0, 2.0}) {
        // Drawn at the screen's own pixels, not a 16-pixel picture blown up.
        const QPixmap pixmap = glyph.pixmap(QSize(16, 16), ratio);
        QCOMPARE(pixmap.size(), QSize(16, 16) * ratio);
        QCOMPARE(pixmap.devicePixelRatio(), ratio);
        const QImage image = pixmap.toImage();
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) == 255;
        QVERIFY(opaque > 0);
    }
}

void TstWindowPlaces::memoryAcrossTwoSetsOfWindows_data()
{
    QTest::addColumn<bool>("maximised");
    QTest::newRow("normal windows") << false;
    QTest::newRow("maximised windows") << true;
}

void TstWindowPlaces::memoryAcrossTwoSetsOfWindows()
{
    QFETCH(bool, maximised);
    FakeService service;
    QVERIFY(service.Start());
    const QRect mainPlace(120, 90, 900, 520);
    const QRect previewPlace(300, 200, 640, 400);
    {
        Windows w(Folder());
        w.main.base_url = service.BaseUrl();
        w.main.setGeometry(mainPlace);
        w.wb.setGeometry(previewPlace);
        w.main.show();
        w.wb.show();
        if (maximised) {
            w.main.showMaximized();
            w.wb.showMaximized();
        }
        QVERIFY(QTest::qWaitForWindowExposed(&w.main));
        w.main.lv1->setColumnWidth(0, 210);
        w.main.lv1->setColumnWidth(6, 180);
        for (const char* keyword : {"电影", "教程", " 电影 "}) {
            service.Reply(200, "[]");
            w.main.ed_word->setText(QString::fromUtf8(keyword));
            w.main.StartSearch();
            QTRY_VERIFY_WITH_TIMEOUT(!w.main.HttpCli1->SendStream(), 5000);
        }
        w.main.close();
    }
    QVERIFY(QFile::exists(WindowMemoryPath(Folder())));
    // settings.cfg keeps its own format, and is not even created for this.
    QVERIFY(!QFile::exists(Folder() + "settings.cfg"));

    Windows w(Folder());
    QCOMPARE(w.main.lv1->columnWidth(0), 210);
    QCOMPARE(w.main.lv1->columnWidth(6), 180);
    QCOMPARE(w.main.lv1->columnWidth(7), 70);
    w.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.main));
    QCOMPARE(w.main.isMaximized(), maximised);
    QCOMPARE(w.main.normalGeometry(), mainPlace);
    w.wb.show();
    QCOMPARE(w.wb.isMaximized(), maximised);
    QCOMPARE(w.wb.normalGeometry().size(), previewPlace.size());

    // The keywords, latest first, complete what is typed.
    auto* keywords = qobject_cast<QStringListModel*>(w.main.ed_word->completer()->model());
    QVERIFY(keywords);
    QCOMPARE(keywords->stringList(), QStringList({"电影", "教程"}));
    w.main.ed_word->completer()->setCompletionPrefix(QStringLiteral("教"));
    QCOMPARE(w.main.ed_word->completer()->currentCompletion(), QStringLiteral("教程"));

    // Typing offers them; the search that starts closes the list.
    w.main.base_url = service.BaseUrl();
    service.Reply(200, "[]");
    w.main.ed_word->clear();
    w.main.ed_word->setFocus();
    w.main.ed_word->setText(QStringLiteral("电"));
    w.main.ed_word->completer()->setCompletionPrefix(QStringLiteral("电"));
    w.main.ed_word->completer()->complete();
    QTRY_VERIFY_WITH_TIMEOUT(w.main.ed_word->completer()->popup()->isVisible(), 5000);
    QTest::keyClick(w.main.ed_word, Qt::Key_Return);
    QVERIFY(!w.main.ed_word->completer()->popup()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!w.main.HttpCli1->SendStream(), 5000);

    // The keyword box's menu forgets them, also for the next run.
    w.main.N9->trigger();
    QVERIFY(keywords->stringList().isEmpty());
    w.main.close();
    Windows again(Folder());
    QVERIFY(again.main.Memory().Keywords.isEmpty());
}

void TstWindowPlaces::damagedMemoryGivesDefaults_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not JSON") << QByteArray("\x01\xff garbage");
    QTest::newRow("truncated") << QByteArray("{\"main\":\"AdnQywADAAAAAAB4AAAAWgAAA");
    QTest::newRow("a JSON array") << QByteArray("[1,2,3]");
    QTest::newRow("wrong types") << QByteArray(
        "{\"main\":12,\"preview\":[],\"columns\":\"wide\",\"keywords\":{}}");
    QTest::newRow("geometry that is no geometry")
        << QByteArray("{\"main\":\"") + QByteArray(600, 'A').toBase64() + "\"}";
    QTest::newRow("column widths out of range")
        << QByteArray("{\"columns\":[350,100,100,100,100,100,250,-5]}");
    QTest::newRow("too few column widths") << QByteArray("{\"columns\":[10,10]}");
    QTest::newRow("keywords that are no texts") << QByteArray("{\"keywords\":[1,null,{},\"\"]}");
    QTest::newRow("far too large")
        << QByteArray("{\"keywords\":[\"") + QByteArray(400000, 'a') + "\"]}";
}

void TstWindowPlaces::damagedMemoryGivesDefaults()
{
    QFETCH(QByteArray, content);
    QFile file(WindowMemoryPath(Folder()));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    Windows w(Folder());
    w.main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.main));
    QCOMPARE(w.main.size(), QSize(760, 430));
    QCOMPARE(w.main.lv1->columnWidth(0), 350);
    QCOMPARE(w.main.lv1->columnWidth(7), 70);
    QVERIFY(w.main.Memory().Keywords.isEmpty());
    QCOMPARE(w.wb.size(), QSize(800, 450));
    QVERIFY(TSkinMessageBox::takeShownMessages().isEmpty());
}

void TstWindowPlaces::keywordsKeepTheLatestFifty()
{
    TWindowMemory memory;
    for (int i = 0; i < 60; ++i)
        memory.RememberKeyword(QStringLiteral("词%1").arg(i));
    memory.RememberKeyword(QStringLiteral("词20"));
    QCOMPARE(memory.Keywords.size(), 50);
    QCOMPARE(memory.Keywords.first(), QStringLiteral("词20"));
    QCOMPARE(memory.Keywords.at(1), QStringLiteral("词59"));
    QCOMPARE(memory.Keywords.last(), QStringLiteral("词10"));
    QVERIFY(memory.Save(WindowMemoryPath(Folder())));
    QCOMPARE(TWindowMemory::Load(WindowMemoryPath(Folder())).Keywords, memory.Keywords);
}

void TstWindowPlaces::savingReplacesALinkNeverFollowsIt()
{
    QTemporaryDir elsewhere;
    const QString target = elsewhere.path() + "/other.json";
    QFile other(target);
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write("not yours");
    other.close();
    const QString path = WindowMemoryPath(Folder());
    QVERIFY(QFile::link(target, path));

    TWindowMemory memory;
    memory.RememberKeyword(QStringLiteral("电影"));
    QVERIFY(memory.Save(path));
    QVERIFY(!QFileInfo(path).isSymLink());
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(other.readAll(), QByteArray("not yours"));
    QCOMPARE(TWindowMemory::Load(path).Keywords, QStringList{"电影"});
    // Nothing is left beside it.
    QCOMPARE(QDir(Folder()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    TstWindowPlaces test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowplaces.moc"
