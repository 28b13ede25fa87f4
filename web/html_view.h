#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class THtmlBackend;

// An embedded HTML view. Navigation is asynchronous: Navigate returns at
// once and the engine reports through the events below, all raised on the
// GUI thread from the event loop. The engine itself (its libraries, its
// processes, the GL driver) starts with the first navigation of any view,
// so building a window of views costs nothing until a page is wanted.
// Should the engine be missing, the view says so in place of the page and
// navigations do nothing.
//
// Pages never show a dialog: script errors are dropped, alert/confirm/
// prompt are answered as if dismissed, and the Ctrl+N new-window shortcut
// is swallowed.
class THtmlView : public QWidget
{
    Q_OBJECT

public:
    explicit THtmlView(QWidget* parent = nullptr);
    ~THtmlView() override;

    // An absolute URL such as "http://host/page" or "about:blank".
    void Navigate(const QString& url);
    // A local file path.
    void NavigateFile(const QString& path);
    // Navigates to `url` when the engine starts, before anything else
    // reaches this view: at once if it runs already, otherwise as soon as
    // another view's navigation starts it. A view that must be ready before
    // its first use (a hidden pop-up sink) thus starts nothing on its own.
    void NavigateOnEngineStart(const QString& url);
    // Runs `script` (JavaScript) in the top-level document's own script
    // world; the result is discarded. Without a page it does nothing.
    void ExecScript(const QString& script);
    // The address of the document shown (empty before the first navigation).
    QString LocationURL() const;

    // A document finished loading (also when it failed: the engine then
    // shows its error page). `url` is the document's address.
    std::function<void(const QString& url)> OnDocumentComplete;
    // The page asks for a new window (script or a link aimed at a new
    // window). The handler may name an existing view as `target`: the new
    // window's navigation then runs in that view. Left null, nothing opens.
    std::function<void(THtmlView*& target)> OnNewWindow;
    // Raised before every navigation of the view, frames included; setting
    // `cancel` stops it before anything is requested.
    std::function<void(const QString& url, bool& cancel)> OnBeforeNavigate;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Impl;
    // The engine side, created on first use; null when the engine is missing.
    THtmlBackend* Engine();
    void Load(const QUrl& url);
    void LoadPending();
    // Whether the view's window is on its way to the screen but not drawn.
    bool WindowAwaitsFirstFrame() const;

    // The last navigation asked for and not yet handed to the engine.
    std::optional<QUrl> m_pendingUrl;
    // The navigation that waits for the engine's start.
    QString m_startUrl;

    std::unique_ptr<Impl> d;
};
