// Imports GetTickCount and a function that no KERNEL32.dll exports, through
// the import library of kernel32_missing.def.
#include "FixtureEntry.h"

__declspec(dllimport) unsigned long __stdcall GetTickCount(void);
__declspec(dllimport) unsigned long __stdcall PelorinNoSuchFunction(void);

__declspec(dllexport) unsigned long FixtureCall(void) { return GetTickCount() + PelorinNoSuchFunction(); }
