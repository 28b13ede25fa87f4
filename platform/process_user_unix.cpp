#include "platform/process_user.h"

#include <unistd.h>

bool TProcessUser::IsSuperuser()
{
    return ::geteuid() == 0;
}
