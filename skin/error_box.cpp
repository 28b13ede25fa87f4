#include "skin/error_box.h"

#include "skin/skin_application.h"
#include "skin/skin_message_box.h"

#include <QApplication>
#include <QWidget>

void TErrorBox::Show(const QString& message)
{
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = QApplication::activeWindow();
    TSkinMessageBox::Present(owner, QMessageBox::Critical, TApplication::Title(), message,
                             {QStringLiteral("确定")});
}

void TErrorBox::Show(const std::exception& error)
{
    Show(QString::fromUtf8(error.what()));
}

void TErrorBox::ShowUnknown()
{
    Show(QStringLiteral("发生未知错误。"));
}
