#include "command_line/console.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>

namespace {

bool leadsNowhere(DWORD stream)
{
    const HANDLE handle = GetStdHandle(stream);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

} // namespace

void attachToParentConsole()
{
    const bool outNowhere = leadsNowhere(STD_OUTPUT_HANDLE);
    const bool errNowhere = leadsNowhere(STD_ERROR_HANDLE);
    if ((!outNowhere && !errNowhere) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (outNowhere)
        std::freopen("CONOUT$", "w", stdout);
    if (errNowhere)
        std::freopen("CONOUT$", "w", stderr);
}

#else

void attachToParentConsole()
{
}

#endif
