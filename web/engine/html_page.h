#pragma once

#include <QWebEnginePage>

class THtmlHost;

// The page behind a view: passes navigation and new-window requests to the
// view and keeps every script dialog and console message away from the
// user.
class THtmlPage : public QWebEnginePage
{
    Q_OBJECT

public:
    THtmlPage(THtmlHost& host, QWebEngineProfile* profile, QObject* parent);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg,
                          const QString& defaultValue, QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    THtmlHost& m_host;
};
