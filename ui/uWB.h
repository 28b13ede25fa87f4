#pragma once

#include "net/http_cli.h"

#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QWindow;
class THtmlView;
class TMainForm;

// The preview window: shows the detail page of the hit last opened, keeps
// the page from opening any further window and lets the user rate the file,
// report it or open its share page in the browser. Created once, hidden;
// closing it only hides it.
class TWBForm : public QWidget
{
    Q_OBJECT

public:
    explicit TWBForm(TMainForm& mainForm);
    ~TWBForm() override;

    // Navigates the page view to `url` (the hit's detail page).
    void NavigatePage(const QString& url);
    QString PageUrl() const { return m_pageUrl; }

    // Controls; the report dialog changes btn_report after a report.
    QWidget* pn1;
    QWidget* SkinPanel1;
    QWidget* pn2;
    QWidget* pn3;
    QLabel* lb3;
    QComboBox* cb_score;
    QPushButton* btn_review;
    QLabel* lb1;
    QLabel* lb2;
    QPushButton* btn_report;
    QPushButton* btn_view;
    THtmlView* wb1;
    THtmlView* wb_load;
    QWidget* pn4;
    THtmlView* WbNoAd;
    THttpCli* HttpCli1;

    // The main window's view_url when the window last lost activation.
    QString last_view_url;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void FormDeactivate();
    void wb1DocumentComplete();
    void wb1NewWindow3(THtmlView*& ppDisp);
    void WbNoAdBeforeNavigate2(const QString& URL, bool& Cancel);
    void btn_reviewClick();
    void btn_viewClick();
    void btn_reportClick();
    void HttpCli1RequestDone(THttpCli* Sender, THttpRequest RqType, quint16 ErrCode);

    void SendReview();
    // Activation inside the application, told apart from switches between
    // applications.
    void FocusWindowChanged(QWindow* window);

    TMainForm& MainForm;
    QString m_pageUrl;
    // Whether this window is the application's active window, regardless
    // of whether the application itself is in front.
    bool m_active = false;
    // The hit the running rating was sent for.
    QString m_reviewViewUrl;
};
