#pragma once

#include <QString>

class QUrl;
class QWidget;

// The engine side of one THtmlView. The web engine lives in a module of
// its own, loaded when the first view starts its engine, so that starting
// the client does not pay for loading the engine's libraries.
class THtmlBackend
{
public:
    virtual ~THtmlBackend() = default;

    // The widget the engine draws into, a child of the view.
    virtual QWidget* Widget() = 0;
    virtual void SetUrl(const QUrl& url) = 0;
    virtual QString Url() const = 0;
    // Runs a script in the top-level document's own script world.
    virtual void RunScript(const QString& script) = 0;
};

// What the engine asks of the view it serves; every call arrives on the
// GUI thread.
class THtmlHost
{
public:
    // Whether a navigation (of the page or one of its frames) may start.
    virtual bool AcceptNavigation(const QUrl& url) = 0;
    // The backend of the view that takes a page's new window, or null to
    // drop the window.
    virtual THtmlBackend* NewWindowTarget() = 0;
    virtual void DocumentComplete(const QString& url) = 0;

protected:
    ~THtmlHost() = default;
};

// The module's one entry point: a backend drawing into `parent`.
using THtmlBackendFactory = THtmlBackend* (*)(THtmlHost& host, QWidget* parent);
#define LUMO_HTML_BACKEND_FACTORY "lumo_create_html_backend"
