#include "skin/skin_application.h"

#include "skin/error_box.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        TErrorBox::Show(error);
    } catch (...) {
        TErrorBox::ShowUnknown();
    }
    return false;
}

void TApplication::SetTitle(const QString& title)
{
    // The application name, not the display name: Qt appends a display name
    // to every window caption, and the windows keep their own captions.
    QCoreApplication::setApplicationName(title);
}

QString TApplication::Title()
{
    return QCoreApplication::applicationName();
}
