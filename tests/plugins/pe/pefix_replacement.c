// The replacement for KERNEL32.dll that patched fixtures load: it exports
// GetTickCount and GetCurrentProcessId (pefix_replacement.def) with fixed
// results, so a test sees that the calls reach it and not the system DLL.
#include "FixtureEntry.h"

unsigned long ReplacementTicks(void) { return 0x7E57C0DEul; }
unsigned long ReplacementPid(void) { return 0xBEEFul; }
