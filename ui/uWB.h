#pragma once

#include <QWidget>

class TMainForm;

// The preview window: shown without modality from the result list.
class TWBForm : public QWidget
{
    Q_OBJECT

public:
    explicit TWBForm(TMainForm& mainForm);

    // Navigates the page view to `url` (the hit's detail page).
    void NavigatePage(const QString& url);
    QString PageUrl() const { return m_pageUrl; }

private:
    TMainForm& MainForm;
    QString m_pageUrl;
};
