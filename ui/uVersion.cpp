#include "ui/uVersion.h"

#include "ui/uMain.h"

TVerFrm::TVerFrm(TMainForm& mainForm) : QDialog(nullptr), MainForm(mainForm)
{
    MainForm.VerFrm = this;
    setObjectName(QStringLiteral("VerFrm"));
    setWindowTitle(QStringLiteral("关于软件"));
    // Fixed frame with the close button only.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(505, 342);
}
