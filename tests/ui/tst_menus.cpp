#include "platform/shell_open.h"
#include "skin/skin_application.h"
#include "skin/skin_data.h"
#include "skin/skin_file.h"
#include "skin/skin_link_label.h"
#include "skin/skin_message_box.h"
#include "ui/uMain.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "util/gbk.h"
#include "util/settings_file.h"
#include "util/uFunctions.h"
#include "tests/support/bounded_fifo.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray darkSkinFile()
{
    QFile file(QStringLiteral(LUMO_SKIN_SOURCES "/dark.skin"));
    return file.open(QIODevice::ReadOnly) ? PackSkinFile(file.readAll()) : QByteArray();
}

// Runs `inside` once the modal window is up, then closes it; returns
// whether the window was shown at all.
bool whileModal(QDialog* window, const std::function<void()>& inside,
                const std::function<void()>& open)
{
    bool shown = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, window, [&] {
        if (!window->isVisible())
            return;
        poll.stop();
        shown = true;
        inside();
        window->close();
    });
    poll.start();
    // Bounded: a window that never shows ends the wait.
    QTimer::singleShot(5000, window, [&] { poll.stop(); });
    open();
    return shown;
}

} // namespace

class TstMenus : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void menuItemsAndAccelerators();
    void aboutAndHistoryShareOneMemo();
    void textWindowWithoutFilesShowsEmptyMemo();
    void feedbackLinkOpensForumPage();
    void skinMenuShowsManagerModally();
    void quitEndsApplication();
    void restoresSavedSkin_data();
    void restoresSavedSkin();

private:
    QString folder() const { return m_folder->path() + "/"; }
    void create();

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_defaultBase;
    std::unique_ptr<TMainForm> m_main;
    std::unique_ptr<TSkinFrm> m_skin;
    std::unique_ptr<TVerFrm> m_ver;
};

void TstMenus::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    QVERIFY(QDir(m_folder->path()).mkpath("skins"));
    TSkinMessageBox::resetTestHooks();
}

void TstMenus::create()
{
    m_main = std::make_unique<TMainForm>(folder());
    m_defaultBase = m_main->base_url;
    // Nothing answers on this port: the skin list request fails quietly.
    m_main->base_url = QStringLiteral("http://127.0.0.1:9/");
    m_skin = std::make_unique<TSkinFrm>(*m_main);
    m_ver = std::make_unique<TVerFrm>(*m_main);
}

void TstMenus::cleanup()
{
    m_ver.reset();
    m_skin.reset();
    m_main.reset();
    TShell::SetOpenHook(nullptr);
    TSkinMessageBox::resetTestHooks();
}

void TstMenus::menuItemsAndAccelerators()
{
    create();
    const QList<QAction*> menus = m_main->menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0]->text(), QStringLiteral("选项(&O)"));
    QCOMPARE(menus[1]->text(), QStringLiteral("帮助(&H)"));
    QStringList options, help;
    for (QAction* item : m_main->N5->actions())
        options << item->text();
    for (QAction* item : m_main->N6->actions())
        help << item->text();
    QCOMPARE(options, QStringList({"更换皮肤(&C)", "退出软件(&Q)"}));
    QCOMPARE(help, QStringList({"交流反馈(&F)", "更新历史(U)", "关于软件(&A)"}));
    QCOMPARE(m_main->bbs_link->text(), QStringLiteral("小伙伴们，来这里交流反馈"));
    QCOMPARE(m_main->bbs_link->size(), QSize(150, 18));
    QVERIFY(m_main->bbs_link->font().underline());
    QCOMPARE(m_main->bbs_link->cursor().shape(), Qt::PointingHandCursor);

    // Both menus fit the 22-pixel bar, none folded behind its extension.
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    QCOMPARE(m_main->menuBar()->height(), 22);
    // The feedback link's text is whole, clear of the window's edge.
    const QRect linkText = m_main->bbs_link->contentsRect();
    QVERIFY(m_main->bbs_link->fontMetrics().horizontalAdvance(m_main->bbs_link->text()) <=
            linkText.width());
    QVERIFY(m_main->bbs_link->mapTo(m_main.get(), linkText.topRight()).x() < m_main->width() - 2);
    for (QAction* menu : menus)
        QVERIFY2(m_main->menuBar()->rect().contains(m_main->menuBar()->actionGeometry(menu)),
                 qPrintable(menu->text()));
}

void TstMenus::aboutAndHistoryShareOneMemo()
{
    writeFile(folder() + "info.txt", Gbk::fromUnicode(QStringLiteral("关于 Lumo\r\n第二行\r\n")));
    create();
    m_main->show();
    QString text, caption, version;
    QVERIFY(whileModal(
        m_ver.get(),
        [&] {
            text = m_ver->VerM1->toPlainText();
            caption = m_ver->windowTitle();
            version = m_ver->VerText->text();
            // The main window's menus are out of reach meanwhile.
            QVERIFY(m_ver->isModal() || QApplication::activeModalWidget() == m_ver.get());
        },
        [&] { m_main->N2->trigger(); }));
    QCOMPARE(text, QStringLiteral("关于 Lumo\n第二行"));
    QCOMPARE(caption, QStringLiteral("关于软件"));
    QCOMPARE(version, QStringLiteral("\n\r程序版本：v1.5  Build 20130924"));
    QVERIFY(!m_ver->isVisible());

    // history.txt is absent: the memo keeps the about text.
    QVERIFY(whileModal(
        m_ver.get(),
        [&] {
            text = m_ver->VerM1->toPlainText();
            caption = m_ver->windowTitle();
        },
        [&] { m_main->N7->trigger(); }));
    QCOMPARE(text, QStringLiteral("关于 Lumo\n第二行"));
    QCOMPARE(caption, QStringLiteral("更新历史"));

    // "关 闭" closes the window too.
    QCOMPARE(m_ver->SkinButton1->text(), QStringLiteral("关 闭"));
    QVERIFY(whileModal(
        m_ver.get(), [&] { QTest::mouseClick(m_ver->SkinButton1, Qt::LeftButton); },
        [&] { m_main->N7->trigger(); }));
    QVERIFY(!m_ver->isVisible());
}

void TstMenus::textWindowWithoutFilesShowsEmptyMemo()
{
    create();
    m_main->show();
    QString text = "unset";
    QVERIFY(whileModal(
        m_ver.get(), [&] { text = m_ver->VerM1->toPlainText(); }, [&] { m_main->N7->trigger(); }));
    QCOMPARE(text, QString());
    // A file that exists but cannot be read: error box, no window.
    QVERIFY(QDir(m_folder->path()).mkpath("info.txt"));
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    QVERIFY(!whileModal(
        m_ver.get(), [] {}, [&] { m_main->N2->trigger(); }));
    const QList<TShownMessage> shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, QStringLiteral("Lumo网盘搜索"));
}

void TstMenus::feedbackLinkOpensForumPage()
{
    create();
    QList<QUrl> opened;
    TShell::SetOpenHook([&](const QUrl& url) { opened << url; });
    m_main->F1->trigger();
    m_main->show();
    QTest::mouseClick(m_main->bbs_link, Qt::LeftButton);
    // The forum page of the service the client is built for.
    const QUrl forum(m_defaultBase + QStringLiteral("forum-32-1.html"));
    QCOMPARE(opened, QList<QUrl>({forum, forum}));
    // Nothing happens while the target is empty.
    m_main->bbs_url.clear();
    QTest::mouseClick(m_main->bbs_link, Qt::LeftButton);
    QCOMPARE(opened.size(), 2);
}

void TstMenus::skinMenuShowsManagerModally()
{
    create();
    m_main->show();
    bool modal = false;
    QVERIFY(whileModal(
        m_skin.get(), [&] { modal = QApplication::activeModalWidget() == m_skin.get(); },
        [&] { m_main->N1->trigger(); }));
    QVERIFY(modal);
}

void TstMenus::quitEndsApplication()
{
    create();
    m_main->show();
    bool timedOut = false;
    QTimer::singleShot(0, m_main.get(), [&] { m_main->Q1->trigger(); });
    QTimer::singleShot(5000, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!timedOut);
    QVERIFY(!m_main->isVisible());
}

void TstMenus::restoresSavedSkin_data()
{
    // Empty: no file; "<fifo>", "<folder>": one of these in the file's place.
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QByteArray>("skinFile"); // skins/Dark.skn
    QTest::addColumn<QString>("skinName");
    QTest::addColumn<bool>("errorShown");
    const QByteArray saved = settings_encode("Dark|user") + "\r\n";
    QTest::newRow("saved skin present") << saved << darkSkinFile() << "Dark" << false;
    QTest::newRow("no settings file") << QByteArray() << darkSkinFile() << "Charm" << false;
    QTest::newRow("skin file missing") << saved << QByteArray() << "Charm" << false;
    QTest::newRow("settings undecodable")
        << QByteArray("garbage\r\n") << darkSkinFile() << "Charm" << true;
    QTest::newRow("skin file undecodable") << saved << QByteArray("not a skin") << "Charm" << true;
    QTest::newRow("saved id leaves skins/") << settings_encode("../Dark|user") + "\r\n"
                                            << darkSkinFile() << "Charm" << false;
    // Start-up never waits on a special file.
    QTest::newRow("settings is a fifo")
        << QByteArray("<fifo>") << darkSkinFile() << "Charm" << false;
    QTest::newRow("settings is a folder")
        << QByteArray("<folder>") << darkSkinFile() << "Charm" << false;
    QTest::newRow("skin file is a fifo") << saved << QByteArray("<fifo>") << "Charm" << false;
}

void TstMenus::restoresSavedSkin()
{
    QFETCH(QByteArray, settings);
    QFETCH(QByteArray, skinFile);
    QFETCH(QString, skinName);
    QFETCH(bool, errorShown);
    std::unique_ptr<BoundedFifo> fifo;
    const auto place = [&](const QString& path, const QByteArray& content) {
        if (content == "<fifo>")
            fifo = std::make_unique<BoundedFifo>(path);
        else if (content == "<folder>")
            QDir().mkpath(path);
        else if (!content.isEmpty())
            writeFile(path, content);
    };
    place(folder() + "settings.cfg", settings);
    place(folder() + "skins/Dark.skn", skinFile);
    if (!skinFile.startsWith('<'))
        place(folder() + "Dark.skn", skinFile);
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
    create();
    m_main->SkinData1->LoadBuiltin();
    m_main->show();
    QCOMPARE(m_main->skin_name, skinName);
    QCOMPARE(m_main->SkinData1->SkinName(), skinName);
    const QList<TShownMessage> shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), errorShown ? 1 : 0);
    if (errorShown)
        QCOMPARE(shown[0].caption, QStringLiteral("Lumo网盘搜索"));
    if (fifo)
        QVERIFY(!fifo->Released());
    // The settings file is left as it was.
    if (!settings.isEmpty() && !settings.startsWith('<')) {
        QFile file(folder() + "settings.cfg");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), settings);
    }
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    TstMenus test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_menus.moc"
