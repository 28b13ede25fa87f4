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
    // Kept by the error box, not as Qt's application or display name: Qt
    // puts those into window captions and into the names of temporary and
    // per-user folders.
    TErrorBox::SetCaption(title);
}

QString TApplication::Title()
{
    return TErrorBox::Caption();
}
