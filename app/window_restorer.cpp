#include "app/window_restorer.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

TWindowRestorer::TWindowRestorer(QObject* parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

bool TWindowRestorer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->isWindow())
            m_lastActive = widget;
    }
    return QObject::eventFilter(watched, event);
}

QWidget* TWindowRestorer::Restore()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        // Back to the state it had before: a maximised window stays so.
        if (window->isVisible() && window->isMinimized())
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    QWidget* front = QApplication::activeModalWidget();
    if (!front)
        front = m_lastActive;
    if (!front) {
        // Nothing was active yet: the first visible top-level window.
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) {
                front = window;
                break;
            }
        }
    }
    if (!front || !front->isVisible() || !front->isEnabled())
        return nullptr;
    front->raise();
    front->activateWindow();
    return front;
}
