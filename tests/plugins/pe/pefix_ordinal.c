// Imports pefix_ordtarget.dll by ordinal only, and GetTickCount by name.
#include <windows.h>

#include "FixtureEntry.h"

__declspec(dllimport) int OrdinalOne(void);
__declspec(dllimport) int OrdinalTwo(void);

__declspec(dllexport) int FixtureCall(void) { return OrdinalOne() + OrdinalTwo() + (int)GetTickCount(); }
