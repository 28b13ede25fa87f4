#pragma once

#include "web/html_backend.h"

class QWebEngineView;
class THtmlPage;

// A view's engine: a web engine view and its page on the shared profile.
class TEngineBackend : public THtmlBackend
{
public:
    TEngineBackend(THtmlHost& host, QWidget* parent);
    ~TEngineBackend() override;

    QWidget* Widget() override;
    void SetUrl(const QUrl& url) override;
    QString Url() const override;
    void RunScript(const QString& script) override;

    THtmlPage* Page() const { return m_page; }

private:
    QWebEngineView* m_view = nullptr;
    THtmlPage* m_page = nullptr;
};
