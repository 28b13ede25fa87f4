#pragma once

class QProcess;

// Ties a child process to this one: the system ends the child when this
// process dies, even when it crashes or is killed. Set before start().
void EndWithParent(QProcess& process);
