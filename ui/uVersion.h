#pragma once

#include <QDialog>

class TMainForm;

// The about / update-history window: shown modally from the main menu.
class TVerFrm : public QDialog
{
    Q_OBJECT

public:
    explicit TVerFrm(TMainForm& mainForm);

private:
    TMainForm& MainForm;
};
