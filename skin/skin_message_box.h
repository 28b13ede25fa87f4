#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// What a box showed, as recorded while tests answer boxes ahead of time.
struct TShownMessage
{
    QString caption;
    QString text;
    QStringList buttons;
};

// The skinned message box (the main window's MsgDlg): modal, drawn with the
// current skin. Every box of the client, the default error box included,
// goes through Present, so tests can answer any of them ahead of time.
class TSkinMessageBox : public QObject
{
    Q_OBJECT

public:
    enum class Answer
    {
        Ok,
        Cancel
    };

    // The box centres on `owner`'s window when it is visible.
    explicit TSkinMessageBox(QWidget* owner);

    // Caption "提示信息", one button "确定".
    void ShowInfo(const QString& text);
    // Caption "提示信息", buttons "确定" and "取消"; closing the box answers Cancel.
    Answer AskOkCancel(const QString& text);

    // Shows a modal box and returns the index of the button chosen; Escape
    // and the frame's close button choose the last button.
    static int Present(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                       const QString& text, const QStringList& buttons);

    // Test hooks. A queued answer is used by the next box, which is then
    // recorded and not shown; with an automatic answer every box is
    // answered that way. Ok chooses the first button, Cancel the last.
    static void setNextAnswer(Answer answer);
    static void setAutoAnswer(std::optional<Answer> answer);
    static QList<TShownMessage> takeShownMessages();
    static void resetTestHooks();

private:
    QWidget* m_owner;
};
