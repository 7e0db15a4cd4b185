// A DLL that imports nothing: the linker still writes an import directory,
// holding only the terminating descriptor.
#include "FixtureEntry.h"

__declspec(dllexport) int FixtureValue(int x) { return x * 3 + 1; }
