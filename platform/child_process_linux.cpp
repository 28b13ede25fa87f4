#include "platform/child_process.h"

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>

void EndWithParent(QProcess& process)
{
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
}
