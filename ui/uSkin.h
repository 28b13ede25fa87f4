#pragma once

#include <QDialog>

class TMainForm;

// The skin manager window: shown modally from the main menu.
class TSkinFrm : public QDialog
{
    Q_OBJECT

public:
    explicit TSkinFrm(TMainForm& mainForm);

private:
    TMainForm& MainForm;
};
