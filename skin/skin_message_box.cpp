#include "skin/skin_message_box.h"

#include <QAbstractButton>
#include <QPointer>
#include <QPushButton>
#include <QQueue>
#include <QWidget>

#include <utility>

namespace {

struct TestHooks
{
    QQueue<TSkinMessageBox::Answer> next;
    std::optional<TSkinMessageBox::Answer> automatic;
    QList<TShownMessage> shown;
};

TestHooks& hooks()
{
    static TestHooks instance;
    return instance;
}

} // namespace

TSkinMessageBox::TSkinMessageBox(QWidget* owner) : QObject(owner), m_owner(owner)
{
    setObjectName(QStringLiteral("MsgDlg"));
}

void TSkinMessageBox::ShowInfo(const QString& text)
{
    Present(m_owner, QMessageBox::Information, QStringLiteral("提示信息"), text,
            {QStringLiteral("确定")});
}

TSkinMessageBox::Answer TSkinMessageBox::AskOkCancel(const QString& text)
{
    const int chosen = Present(m_owner, QMessageBox::Question, QStringLiteral("提示信息"), text,
                               {QStringLiteral("确定"), QStringLiteral("取消")});
    return chosen == 0 ? Answer::Ok : Answer::Cancel;
}

int TSkinMessageBox::Present(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                             const QString& text, const QStringList& buttons)
{
    const int escape = static_cast<int>(buttons.size()) - 1;
    TestHooks& h = hooks();
    if (!h.next.isEmpty() || h.automatic) {
        const Answer answer = h.next.isEmpty() ? *h.automatic : h.next.dequeue();
        h.shown.append({caption, text, buttons});
        return answer == Answer::Ok ? 0 : escape;
    }

    QWidget* owner = parent && parent->isVisible() ? parent->window() : nullptr;
    QMessageBox box(icon, caption, text, QMessageBox::NoButton, owner);
    box.setObjectName(QStringLiteral("MsgDlg"));
    QList<QPointer<QAbstractButton>> added;
    for (int i = 0; i < buttons.size(); ++i) {
        const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        added.append(box.addButton(buttons[i], role));
    }
    if (!added.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(added.first().data()));
        box.setEscapeButton(added.last().data());
    }
    box.exec();
    const int chosen = static_cast<int>(added.indexOf(box.clickedButton()));
    return chosen >= 0 ? chosen : escape;
}

void TSkinMessageBox::setNextAnswer(Answer answer)
{
    hooks().next.enqueue(answer);
}

void TSkinMessageBox::setAutoAnswer(std::optional<Answer> answer)
{
    hooks().automatic = answer;
}

QList<TShownMessage> TSkinMessageBox::takeShownMessages()
{
    return std::exchange(hooks().shown, {});
}

void TSkinMessageBox::resetTestHooks()
{
    hooks() = TestHooks{};
}
