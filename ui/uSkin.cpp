#include "ui/uSkin.h"

#include "ui/uMain.h"

TSkinFrm::TSkinFrm(TMainForm& mainForm) : QDialog(nullptr), MainForm(mainForm)
{
    MainForm.SkinFrm = this;
    setObjectName(QStringLiteral("SkinFrm"));
    setWindowTitle(QStringLiteral("更换皮肤"));
    // Fixed frame with the close button only.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(531, 342);
}
