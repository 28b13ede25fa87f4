#include "web/html_page.h"

#include "web/html_view.h"

THtmlPage::THtmlPage(THtmlView& view, QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent), m_view(view)
{
}

bool THtmlPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool)
{
    if (!m_view.OnBeforeNavigate)
        return true;
    bool cancel = false;
    try {
        m_view.OnBeforeNavigate(url.toString(), cancel);
    } catch (...) {
        // A handler that fails cannot vouch for the address.
        return false;
    }
    return !cancel;
}

QWebEnginePage* THtmlPage::createWindow(WebWindowType)
{
    THtmlView* target = nullptr;
    if (m_view.OnNewWindow) {
        try {
            m_view.OnNewWindow(target);
        } catch (...) {
            target = nullptr;
        }
    }
    // No target: the request is dropped and no window appears.
    return target ? target->EnginePage() : nullptr;
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
