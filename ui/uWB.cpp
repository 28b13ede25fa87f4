#include "ui/uWB.h"

#include "ui/uMain.h"

TWBForm::TWBForm(TMainForm& mainForm) : QWidget(nullptr, Qt::Window), MainForm(mainForm)
{
    MainForm.WBForm = this;
    setObjectName(QStringLiteral("WBForm"));
    setWindowTitle(QStringLiteral("Lumo搜索浏览器"));
    resize(800, 450);
}

void TWBForm::NavigatePage(const QString& url)
{
    m_pageUrl = url;
}
