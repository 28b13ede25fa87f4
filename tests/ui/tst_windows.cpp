#include "skin/skin_application.h"
#include "skin/skin_data.h"
#include "skin/skin_message_box.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "ui/uWB.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

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

private:
    std::unique_ptr<QTemporaryDir> m_folder;
};

void TstWindows::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
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

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    TstWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windows.moc"
