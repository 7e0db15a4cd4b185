// The entry point of the small fixture DLLs, which are linked without the C
// runtime so that their import tables hold exactly what their sources call.
#pragma once

int __stdcall DllEntry(void* module, unsigned long reason, void* reserved)
{
    (void)module;
    (void)reason;
    (void)reserved;
    return 1;
}
