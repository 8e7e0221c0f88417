// Process entry of the release launcher, which links no C runtime: the
// instance is the module itself, and the exit code is WinMain's, always 0.
#include "launcher/launcher_dialog.h"

extern "C" void WINAPI LauncherEntry()
{
    char noArguments[1] = {'\0'};
    ExitProcess(static_cast<UINT>(
        WinMain(GetModuleHandleA(0), 0, noArguments, SW_SHOWDEFAULT)));
}
