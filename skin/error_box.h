#pragma once

#include <QString>

#include <exception>

// The application's default error report: a modal box whose caption is the
// application title and whose text is the error's message. Handlers of user
// input and timers end here when an error escapes them (see guarded.h).
class TErrorBox
{
public:
    // Composes the user's text of an error; the layers that raise errors
    // below this one are known only to the window layer, which installs it.
    using TextOf = QString (*)(const std::exception& error);

    static void Show(const QString& message);
    // Shows the text the installed composer gives, else what() as UTF-8.
    static void Show(const std::exception& error);
    // For something thrown that is not a std::exception.
    static void ShowUnknown();

    static void SetCaption(const QString& caption);
    static QString Caption();
    static void SetTextOf(TextOf textOf);
};
