#include "platform/shell_open.h"

#include <QDesktopServices>

#include <utility>

namespace {

std::function<void(const QUrl&)>& openHook()
{
    static std::function<void(const QUrl&)> hook;
    return hook;
}

} // namespace

void TShell::OpenUrl(const QUrl& url)
{
    if (openHook()) {
        openHook()(url);
        return;
    }
    QDesktopServices::openUrl(url);
}

void TShell::SetOpenHook(std::function<void(const QUrl&)> hook)
{
    openHook() = std::move(hook);
}
