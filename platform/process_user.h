#pragma once

// Who the process runs as.
class TProcessUser
{
public:
    // Whether the process holds the superuser's rights (effective user root).
    static bool IsSuperuser();
};
