// Imports a function from pefix_absent.dll, a DLL that exists nowhere, and
// GetTickCount by name.
#include <windows.h>

#include "FixtureEntry.h"

__declspec(dllimport) int AbsentFunction(void);

__declspec(dllexport) int FixtureCall(void) { return AbsentFunction() + (int)GetTickCount(); }
