#pragma once

#include "net/http_cli.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class TMainForm;

// The report dialog: shown modally from the preview window; sends a
// complaint about the hit shown there. Created once; closing only hides it.
class TRpForm : public QDialog
{
    Q_OBJECT

public:
    explicit TRpForm(TMainForm& mainForm);
    ~TRpForm() override;

    QWidget* SkinPanel1;
    QLabel* SkinTextLabel1;
    QLabel* SkinStdLabel1;
    QComboBox* cb_reason;
    QPlainTextEdit* mm1;
    QPushButton* btn_report;
    THttpCli* HttpCli1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void cb_reasonChange();
    void btn_reportClick();
    void HttpCli1RequestDone(THttpCli* Sender, THttpRequest RqType, quint16 ErrCode);

    TMainForm& MainForm;
    // The preview's page when the running report was sent.
    QString m_reportViewUrl;
};
