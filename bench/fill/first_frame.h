#pragma once

// Start-up probes print "shown" once the window's first frame is complete
// (the window and all its children painted) and quit.
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <cstdio>

class FirstFrame : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            // The children are painted in the same pass, before this runs.
            QTimer::singleShot(0, qApp, [] {
                std::puts("shown");
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_done = false;
};
