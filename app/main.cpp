#include "app/service_launcher.h"
#include "app/wdRunOnce.h"
#include "skin/skin_application.h"
#include "ui/uMain.h"
#include "ui/uReport.h"
#include "ui/uSkin.h"
#include "ui/uVersion.h"
#include "ui/uWB.h"
#include "util/app_paths.h"

#include <QIcon>
#include <QUrl>

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
        TApplication::setWindowIcon(QIcon(QStringLiteral(":/lumo/lumo.png")));
        // Desktops match the windows to the desktop entry and its icon.
        TApplication::setDesktopFileName(QStringLiteral("lumo"));

        if (!RunOnceCheck()) {
            const TAppPaths paths = TAppPaths::ForApplicationFolder(
                QCoreApplication::applicationDirPath() + QLatin1Char('/'));
            // A folder that cannot be made shows up when a file is written there.
            paths.CreateUserFolders();
            // The main window first: it holds the skin every other window draws from.
            TMainForm MainForm(paths);
            TWBForm WBForm(MainForm);
            TSkinFrm SkinFrm(MainForm);
            TVerFrm VerFrm(MainForm);
            TRpForm RpForm(MainForm);
            // An installed client brings its own service; a portable one is
            // started beside it (./run).
            TServiceLauncher launcher(paths.InstallationFile(QStringLiteral("lumo-service")),
                                      paths.ServiceDataFolder(),
                                      paths.InstallationFile(QStringLiteral("skins-sample")));
            QObject::connect(&launcher, &TServiceLauncher::StatusText, &MainForm,
                             &TMainForm::ShowStatusText);
            MainForm.show();
            if (!paths.IsPortable())
                launcher.Start(QUrl(MainForm.base_url));
            result = TApplication::exec();
        }
        RunOnceDone();
    }
    return result;
}
