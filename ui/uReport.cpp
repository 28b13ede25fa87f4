#include "ui/uReport.h"

#include "ui/uMain.h"

TRpForm::TRpForm(TMainForm& mainForm) : QDialog(nullptr), MainForm(mainForm)
{
    MainForm.RpForm = this;
    setObjectName(QStringLiteral("RpForm"));
    setWindowTitle(QStringLiteral("举报投诉文件"));
    // Fixed frame with the close button only.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(444, 261);
}
