// Two import descriptors for KERNEL32: one spelled "KERNEL32.dll", one
// "kernel32.dll" (two import libraries with those names).
#include "FixtureEntry.h"

__declspec(dllimport) unsigned long __stdcall GetTickCount(void);
__declspec(dllimport) unsigned long __stdcall GetCurrentProcessId(void);

__declspec(dllexport) unsigned long FixtureTicks(void) { return GetTickCount(); }
__declspec(dllexport) unsigned long FixturePid(void) { return GetCurrentProcessId(); }
