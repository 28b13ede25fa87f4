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

bool TShell::IsWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) == 0 ||
            scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0);
}

void TShell::SetOpenHook(std::function<void(const QUrl&)> hook)
{
    openHook() = std::move(hook);
}
