// Imports two functions from KERNEL32.dll by name; both exist everywhere. The
// exports let a test see which DLL the calls reach.
#include <windows.h>

#include "FixtureEntry.h"

__declspec(dllexport) DWORD FixtureTicks(void) { return GetTickCount(); }
__declspec(dllexport) DWORD FixturePid(void) { return GetCurrentProcessId(); }
