// A stand-in client for the single-instance tests: it runs the real guard
// on the slot named by its first argument and reports on stdout what
// happened. Options: "minimized" starts with the window minimised,
// "maximized" with the window maximised and then minimised, "modal" opens a
// modal window. The first instance ends when its stdin closes.

#include "app/wdRunOnce.h"
#include "skin/skin_application.h"

#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QByteArray& line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    RunOnceInit(QString::fromLocal8Bit(argv[1]));
    TApplication app(argc, argv);
    const QStringList options = QCoreApplication::arguments().mid(2);
    if (RunOnceCheck()) {
        say("second");
        RunOnceDone();
        return 0;
    }

    int result = 0;
    {
        QWidget main;
        main.setObjectName("main");
        main.resize(200, 100);
        if (options.contains("maximized")) {
            main.showMaximized();
            main.showMinimized();
        } else if (options.contains("minimized")) {
            main.showMinimized();
        } else {
            main.show();
        }

        RunOnceSetRestoreObserver([&main](QWidget* front) {
            say("restored front=" + (front ? front->objectName().toUtf8() : "none") +
                " minimized=" + QByteArray::number(main.isMinimized()) +
                " maximized=" + QByteArray::number(main.isMaximized()));
        });

        QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(&input, &QSocketNotifier::activated, [&input] {
            char buffer[64];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
                input.setEnabled(false);
                QCoreApplication::quit();
            }
        });

        if (options.contains("modal")) {
            QTimer::singleShot(0, &main, [&main] {
                QDialog dialog(&main);
                dialog.setObjectName("modal");
                dialog.show();
                QTimer::singleShot(0, [] { say("first"); });
                QObject::connect(qApp, &QCoreApplication::aboutToQuit, &dialog, &QDialog::reject);
                dialog.exec();
            });
        } else {
            QTimer::singleShot(0, [] { say("first"); });
        }
        result = TApplication::exec();
    }
    RunOnceDone();
    return result;
}
