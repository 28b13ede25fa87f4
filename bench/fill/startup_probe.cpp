// Start-up probe for fill_bench: starts like the client (the application
// object and the five windows in their order, the main window shown) and
// prints "shown" once the main window's first frame is complete.
#include "bench/fill/first_frame.h"
#include "skin/skin_application.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "ui/uWB.h"

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));
    FirstFrame firstFrame;
    const QString appFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    TMainForm MainForm(appFolder);
    MainForm.tmr1->stop();
    MainForm.tmr2->stop();
    TWBForm WBForm(MainForm);
    TSkinFrm SkinFrm(MainForm);
    TVerFrm VerFrm(MainForm);
    TRpForm RpForm(MainForm);
    MainForm.installEventFilter(&firstFrame);
    MainForm.show();
    return TApplication::exec();
}
