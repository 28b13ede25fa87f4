// Start-up probe for fill_bench: starts like the client ("lumo": the
// application object and the five windows in their order, the main window
// shown), as a bare Qt window of the same size ("bare"), or as that window
// with one line of Chinese text ("text": the font system's start-up, which
// any window with text pays), and prints "shown" once the window has been
// painted for the first time.
#include "skin/skin_application.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "ui/uWB.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

class FirstPaint : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            std::puts("shown");
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_done = false;
};

} // namespace

int main(int argc, char** argv)
{
    const bool text = argc > 1 && std::strcmp(argv[1], "text") == 0;
    const bool bare = text || (argc > 1 && std::strcmp(argv[1], "bare") == 0);
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    FirstPaint firstPaint;
    if (bare) {
        QMainWindow window;
        window.resize(760, 430);
        if (text)
            (new QLabel(QStringLiteral("Lumo网盘文件搜索"), &window))->move(10, 10);
        window.installEventFilter(&firstPaint);
        window.show();
        return TApplication::exec();
    }
    const QString appFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    TMainForm MainForm(appFolder);
    MainForm.tmr1->stop();
    MainForm.tmr2->stop();
    TWBForm WBForm(MainForm);
    TSkinFrm SkinFrm(MainForm);
    TVerFrm VerFrm(MainForm);
    TRpForm RpForm(MainForm);
    MainForm.installEventFilter(&firstPaint);
    MainForm.show();
    return TApplication::exec();
}
