// Exports two functions by ordinal only (pefix_ordtarget.def, NONAME).
#include "FixtureEntry.h"

int OrdinalOne(void) { return 1; }
int OrdinalTwo(void) { return 2; }
