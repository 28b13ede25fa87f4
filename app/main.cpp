#include "app/wdRunOnce.h"
#include "skin/skin_application.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "ui/uWB.h"

int main(int argc, char** argv)
{
    // The slot is opened before the application object exists.
    RunOnceInit();

    int result = 0;
    {
        // The client reads no command line: Qt sees the program name only.
        char fallbackName[] = "lumo";
        char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
        int qtArgc = 1;
        TApplication app(qtArgc, qtArgv);
        TApplication::SetTitle(QStringLiteral("Lumo网盘搜索"));

        if (!RunOnceCheck()) {
            const QString appFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');
            // The main window first: it holds the skin every other window draws from.
            TMainForm MainForm(appFolder);
            TWBForm WBForm(MainForm);
            TSkinFrm SkinFrm(MainForm);
            TVerFrm VerFrm(MainForm);
            TRpForm RpForm(MainForm);
            MainForm.show();
            result = TApplication::exec();
        }
        RunOnceDone();
    }
    return result;
}
