#include "web/engine/engine_backend.h"

#include "web/engine/html_engine.h"
#include "web/engine/html_page.h"

#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

TEngineBackend::TEngineBackend(THtmlHost& host, QWidget* parent)
{
    m_view = new QWebEngineView(parent);
    m_page = new THtmlPage(host, THtmlEngine::Profile(), m_view);
    QWebEngineSettings* settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    m_view->setPage(m_page);
    QObject::connect(m_page, &QWebEnginePage::loadFinished, m_view,
                     [this, &host](bool) { host.DocumentComplete(m_page->url().toString()); });
}

TEngineBackend::~TEngineBackend()
{
    // The page goes before its view and both before the shared profile.
    delete m_page;
    delete m_view;
}

QWidget* TEngineBackend::Widget()
{
    return m_view;
}

void TEngineBackend::SetUrl(const QUrl& url)
{
    m_page->setUrl(url);
}

QString TEngineBackend::Url() const
{
    return m_page->url().toString();
}

void TEngineBackend::RunScript(const QString& script)
{
    m_page->runJavaScript(script, QWebEngineScript::MainWorld);
}

extern "C" Q_DECL_EXPORT THtmlBackend* lumo_create_html_backend(THtmlHost& host, QWidget* parent)
{
    return new TEngineBackend(host, parent);
}
