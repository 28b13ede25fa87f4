#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// Brings the application back to the screen on request: restores its
// minimised windows, then brings the active modal window, or else the
// window that was active last, to the front when it is visible and enabled.
class TWindowRestorer : public QObject
{
    Q_OBJECT

public:
    // Watches window activation of the whole application from now on.
    explicit TWindowRestorer(QObject* parent = nullptr);

    // Returns the window brought to the front, or null.
    QWidget* Restore();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_lastActive;
};
