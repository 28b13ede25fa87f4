#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class TMainForm;

// The about / update-history window: shows the text of one file beside the
// executable and the client's version line. Shown modally from the main
// menu; its memo keeps the text of the last file loaded into it.
class TVerFrm : public QDialog
{
    Q_OBJECT

public:
    explicit TVerFrm(TMainForm& mainForm);

    QPlainTextEdit* VerM1;
    QFrame* SkinPanel3;
    QLabel* VerText;
    QPushButton* SkinButton1;

    void FormShow();
    void SkinButton1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    TMainForm& MainForm;
};
