#include "web/engine/html_page.h"

#include "web/engine/engine_backend.h"
#include "web/html_backend.h"

THtmlPage::THtmlPage(THtmlHost& host, QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent), m_host(host)
{
}

bool THtmlPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool)
{
    return m_host.AcceptNavigation(url);
}

QWebEnginePage* THtmlPage::createWindow(WebWindowType)
{
    // No target: the request is dropped and no window appears.
    auto* target = static_cast<TEngineBackend*>(m_host.NewWindowTarget());
    return target ? target->Page() : nullptr;
}

void THtmlPage::javaScriptAlert(const QUrl&, const QString&) {}

bool THtmlPage::javaScriptConfirm(const QUrl&, const QString&)
{
    return false;
}

bool THtmlPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*)
{
    return false;
}

void THtmlPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                         const QString&)
{
    // Script errors of a page are its own business: the script goes on and
    // nothing is shown or written.
}
