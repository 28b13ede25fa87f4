#include "net/http_cli.h"
#include "skin/guarded.h"
#include "skin/jpeg_decoder.h"
#include "skin/skin_application.h"
#include "skin/skin_file.h"
#include "skin/skin_data.h"
#include "skin/skin_message_box.h"
#include "ui/result_list_model.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "ui/uWB.h"
#include "util/settings_file.h"

#include <QAction>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <memory>
#include <stdexcept>

namespace {

// The five windows, created as the entry point creates them.
struct Windows
{
    explicit Windows(const QString& appFolder)
        : main(appFolder), wb(main), skin(main), version(main), report(main)
    {
    }
    QList<QWidget*> all() { return {&main, &wb, &skin, &version, &report}; }

    TMainForm main;
    TWBForm wb;
    TSkinFrm skin;
    TVerFrm version;
    TRpForm report;
};

// The window's own background, drawn without its controls.
QColor backgroundOf(QWidget* window)
{
    QImage image(window->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    window->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

class TstWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void createdInOrderWithCaptions();
    void everyWindowTakesTheMainWindowsSkin();
    void closingMainWindowEndsApplication();
    void destroyedWindowLeavesNoLink_data();
    void destroyedWindowLeavesNoLink();
    void errorBoxSpeaksChinese_data();
    void errorBoxSpeaksChinese();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TstWindows::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    TSkinMessageBox::resetTestHooks();
    TSkinMessageBox::setAutoAnswer(TSkinMessageBox::Answer::Ok);
}

void TstWindows::createdInOrderWithCaptions()
{
    Windows w(m_folder->path() + "/");
    QVERIFY(w.main.Paths().IsPortable());
    QCOMPARE(w.main.Paths().SettingsFile(), m_folder->path() + "/settings.cfg");
    QCOMPARE(w.main.windowTitle(), QStringLiteral("Lumo网盘文件搜索 v1.5"));
    QCOMPARE(w.wb.windowTitle(), QStringLiteral("Lumo搜索浏览器"));
    QCOMPARE(w.skin.windowTitle(), QStringLiteral("更换皮肤"));
    QCOMPARE(w.version.windowTitle(), QStringLiteral("关于软件"));
    QCOMPARE(w.report.windowTitle(), QStringLiteral("举报投诉文件"));
    QCOMPARE(w.main.app_version, QStringLiteral("1.5"));
    QCOMPARE(w.main.app_build, QStringLiteral("20130924"));
    QVERIFY(w.main.base_url.startsWith("http://") && w.main.base_url.endsWith("/"));

    // The main window alone is shown, 760 x 430 and centred.
    w.main.show();
    for (QWidget* window : w.all().mid(1))
        QVERIFY2(!window->isVisible(), qPrintable(window->windowTitle()));
    QCOMPARE(w.main.size(), QSize(760, 430));
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    // Centred up to the frame, whose size the window system decides.
    QVERIFY((w.main.frameGeometry().center() - centre).manhattanLength() <= 8);
    QCOMPARE(w.main.skin_name, QStringLiteral("Charm"));
    QVERIFY(w.main.MsgDlg);
}

void TstWindows::everyWindowTakesTheMainWindowsSkin()
{
    Windows w(m_folder->path() + "/");
    const QColor charm = w.main.SkinData1->Current().Color("window");
    for (QWidget* window : w.all()) {
        window->show();
        QCOMPARE(backgroundOf(window), charm);
    }
    w.main.SkinData1->LoadFromText("[skin]\nname=Moss\n[colors]\nwindow=#335533\n[style]\n"
                                   "QMainWindow, QDialog, QWidget { background: @window; }\n");
    for (QWidget* window : w.all())
        QCOMPARE(backgroundOf(window), QColor("#335533"));
    w.main.SkinData1->LoadBuiltin();
    for (QWidget* window : w.all())
        QCOMPARE(backgroundOf(window), charm);
}

void TstWindows::closingMainWindowEndsApplication()
{
    Windows w(m_folder->path() + "/");
    w.main.show();
    bool timedOut = false;
    QTimer::singleShot(0, [&] {
        w.wb.show();
        w.version.show();
        w.main.close();
    });
    QTimer::singleShot(10000, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!timedOut);
}

enum class Gone
{
    Preview,
    SkinManager,
    About,
    Report
};
Q_DECLARE_METATYPE(Gone)

void TstWindows::destroyedWindowLeavesNoLink_data()
{
    QTest::addColumn<Gone>("gone");
    QTest::newRow("preview, then a hit is opened") << Gone::Preview;
    QTest::newRow("skin manager, then 更换皮肤") << Gone::SkinManager;
    QTest::newRow("about window, then 关于软件") << Gone::About;
    QTest::newRow("report dialog, then 举报投诉") << Gone::Report;
}

// A window destroyed before the main window must not be reached through
// the main window afterwards: the action that would show it does nothing.
void TstWindows::destroyedWindowLeavesNoLink()
{
    QFETCH(Gone, gone);
    TMainForm main(m_folder->path() + "/");
    auto wb = std::make_unique<TWBForm>(main);
    auto skin = std::make_unique<TSkinFrm>(main);
    auto version = std::make_unique<TVerFrm>(main);
    auto report = std::make_unique<TRpForm>(main);
    TResultRow hit;
    hit.Caption = "a.zip";
    hit.SubItems[5] = "http://pan.example/s/1";
    hit.SubItems[6] = "7";
    main.lv1_rows->ReplaceRows({hit});
    main.lv1->setCurrentIndex(main.lv1_rows->index(0, 0));

    switch (gone) {
    case Gone::Preview:
        wb.reset();
        QVERIFY(!main.WBForm);
        main.N3->trigger();
        QCOMPARE(main.sel_file_id, QByteArray("7"));
        break;
    case Gone::SkinManager:
        skin.reset();
        QVERIFY(!main.SkinFrm);
        main.N1->trigger();
        break;
    case Gone::About:
        version.reset();
        QVERIFY(!main.VerFrm);
        main.N2->trigger();
        break;
    case Gone::Report:
        report.reset();
        QVERIFY(!main.RpForm);
        wb->btn_report->click();
        break;
    }
    QVERIFY(TSkinMessageBox::takeShownMessages().isEmpty());
    for (QWidget* window : QApplication::topLevelWidgets())
        QVERIFY2(window == &main || !window->isVisible(), qPrintable(window->objectName()));
}

using Failing = std::function<void(const QString& folder)>;
Q_DECLARE_METATYPE(Failing)

void TstWindows::errorBoxSpeaksChinese_data()
{
    QTest::addColumn<Failing>("failing");
    QTest::addColumn<QString>("text"); // up to the detail; %1 is the folder

    const auto writeFile = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    QTest::newRow("settings file cannot be written")
        << Failing([](const QString& folder) { write_saved_skin_id(folder + "missing/", "Dark"); })
        << QStringLiteral("无法写入文件“%1missing/settings.cfg”：");
    QTest::newRow("settings file does not decode") << Failing([writeFile](const QString& folder) {
        writeFile(folder + "settings.cfg", "A0ZZ not an encoding at all, long enough Z");
        read_saved_skin_id(folder);
    }) << QStringLiteral("文件“%1settings.cfg”的内容无法识别：");
    QTest::newRow("skin file missing")
        << Failing([](const QString& folder) { ReadSkinFile(folder + "Dark.skn"); })
        << QStringLiteral("无法打开皮肤文件“%1Dark.skn”：");
    QTest::newRow("not a skin file") << Failing([writeFile](const QString& folder) {
        writeFile(folder + "Dark.skn", "not a skin");
        ReadSkinFile(folder + "Dark.skn");
    }) << QStringLiteral("“%1Dark.skn”不是有效的皮肤文件：");
    QTest::newRow("picture that does not decode")
        << Failing([](const QString&) { DecodeJpeg("GIF89a"); })
        << QStringLiteral("无法显示图片：");
    QTest::newRow("busy HTTP component") << Failing([](const QString&) {
        throw EHttpException("HTTP component HttpCli1 is busy", THttpCli::httperrBusy);
    }) << QStringLiteral("上一个网络请求尚未完成，请稍后再试：");
}

// Errors of every layer reach the default error box as Chinese text with
// the technical detail after it, under the application title.
void TstWindows::errorBoxSpeaksChinese()
{
    QFETCH(Failing, failing);
    QFETCH(QString, text);
    const QString folder = m_folder->path() + "/";
    Windows w(folder);
    QPushButton button;
    connect(&button, &QPushButton::clicked, &button, guarded([&] { failing(folder); }));
    button.click();
    const QList<TShownMessage> shown = TSkinMessageBox::takeShownMessages();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, QStringLiteral("Lumo网盘搜索"));
    const QString expected = text.contains("%1") ? text.arg(folder) : text;
    QVERIFY2(shown[0].text.startsWith(expected), qPrintable(shown[0].text));
    QVERIFY2(shown[0].text.size() > expected.size(), "no detail after the text");
}

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    TstWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windows.moc"
