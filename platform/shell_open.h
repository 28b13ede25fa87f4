#pragma once

#include <QUrl>

#include <functional>

// The system shell's "open" of an address: the default browser shows it.
// The outcome is not reported. Tests install a hook that receives the
// address instead of opening it.
class TShell
{
public:
    static void OpenUrl(const QUrl& url);
    // An absolute http:// or https:// address with a host: the only kind
    // of address from the service that may be handed to the browser.
    static bool IsWebAddress(const QUrl& url);
    static void SetOpenHook(std::function<void(const QUrl&)> hook);
};
