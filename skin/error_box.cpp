#include "skin/error_box.h"

#include "skin/skin_message_box.h"

#include <QApplication>
#include <QWidget>

namespace {

struct ErrorBoxState
{
    QString caption;
    TErrorBox::TextOf textOf = nullptr;
};

ErrorBoxState& state()
{
    static ErrorBoxState instance;
    return instance;
}

} // namespace

void TErrorBox::Show(const QString& message)
{
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = QApplication::activeWindow();
    TSkinMessageBox::Present(owner, QMessageBox::Critical, state().caption, message,
                             {QStringLiteral("确定")});
}

void TErrorBox::Show(const std::exception& error)
{
    Show(state().textOf ? state().textOf(error) : QString::fromUtf8(error.what()));
}

void TErrorBox::ShowUnknown()
{
    Show(QStringLiteral("发生未知错误。"));
}

void TErrorBox::SetCaption(const QString& caption)
{
    state().caption = caption;
}

QString TErrorBox::Caption()
{
    return state().caption;
}

void TErrorBox::SetTextOf(TextOf textOf)
{
    state().textOf = textOf;
}
