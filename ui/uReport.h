#pragma once

#include <QDialog>

class TMainForm;

// The report dialog: shown modally from the preview window.
class TRpForm : public QDialog
{
    Q_OBJECT

public:
    explicit TRpForm(TMainForm& mainForm);

private:
    TMainForm& MainForm;
};
