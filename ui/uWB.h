#pragma once

#include <QWidget>

class TMainForm;

// The preview window: shown without modality from the result list.
class TWBForm : public QWidget
{
    Q_OBJECT

public:
    explicit TWBForm(TMainForm& mainForm);

private:
    TMainForm& MainForm;
};
