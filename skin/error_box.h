#pragma once

#include <QString>

#include <exception>

// The application's default error report: a modal box whose caption is the
// application title and whose text is the error's message. Handlers of user
// input and timers end here when an error escapes them (see guarded.h).
class TErrorBox
{
public:
    static void Show(const QString& message);
    // what() is UTF-8 text.
    static void Show(const std::exception& error);
    // For something thrown that is not a std::exception.
    static void ShowUnknown();
};
