#include "ui/uReport.h"

TRpForm::TRpForm(TMainForm& mainForm) : QDialog(nullptr), MainForm(mainForm)
{
    setObjectName(QStringLiteral("RpForm"));
    setWindowTitle(QStringLiteral("举报投诉文件"));
    // Fixed frame with the close button only.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(444, 261);
}
