#pragma once

#include <QString>

#include <functional>

class QWidget;

// The single-instance guard. RunOnceInit opens the instance slot before the
// application object exists; RunOnceCheck, once the application object
// exists, either makes this process the first instance or asks the running
// first instance to restore its window and bring its last active window (a
// modal one when open) to the front, and then returns true: this process
// must end without a window. RunOnceDone lets go of the slot.
//
// The slot name is injectable for tests; the client uses the default.
void RunOnceInit();
void RunOnceInit(const QString& slotName);
bool RunOnceCheck();
void RunOnceDone();

// Called in the first instance after each restore request has been handled,
// with the window brought to the front (null when none qualified).
void RunOnceSetRestoreObserver(std::function<void(QWidget* front)> observer);
