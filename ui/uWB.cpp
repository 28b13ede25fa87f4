#include "ui/uWB.h"

TWBForm::TWBForm(TMainForm& mainForm) : QWidget(nullptr, Qt::Window), MainForm(mainForm)
{
    setObjectName(QStringLiteral("WBForm"));
    setWindowTitle(QStringLiteral("Lumo搜索浏览器"));
    resize(800, 450);
}
