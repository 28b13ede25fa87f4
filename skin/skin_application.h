#pragma once

#include <QApplication>
#include <QString>

// The application object. Its notify() is the last guard of the event loop:
// an error that escapes an event handler is shown in the default error box
// and the event counts as not handled, so nothing crosses the loop.
class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // The application title: the caption of the default error box.
    static void SetTitle(const QString& title);
    static QString Title();
};
