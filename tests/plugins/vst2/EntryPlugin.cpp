// Modules that test the host's handling of the entry point, one per value of
// ENTRY_MODE:
//   ENTRY_FAULT      VSTPluginMain writes through a null pointer
//   ENTRY_BADMAGIC   VSTPluginMain returns an effect whose magic has its bytes
//                    in the other order (0x50747356)
//   ENTRY_NIL        VSTPluginMain returns nil
//   ENTRY_MAINONLY   a working plugin exported only as "MAIN"
//   ENTRY_CAPSONLY   a working plugin exported only as "VSTPLUGINMAIN", a
//                    spelling the host does not try
//   ENTRY_HANG       VSTPluginMain never returns
//   ENTRY_THREADCRASH VSTPluginMain starts a thread of its own that writes
//                    through a null pointer, and waits for it: the fault is
//                    outside any call of the host, so the process dies

#include "FixtureCommon.h"

#define ENTRY_FAULT 1
#define ENTRY_BADMAGIC 2
#define ENTRY_NIL 3
#define ENTRY_MAINONLY 4
#define ENTRY_CAPSONLY 5
#define ENTRY_HANG 6
#define ENTRY_THREADCRASH 7

#if ENTRY_MODE == ENTRY_HANG || ENTRY_MODE == ENTRY_THREADCRASH
#include <windows.h>
#endif

namespace {

AEffect gEntryEffect;

VstIntPtr Dispatch(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
    if (opcode == effGetEffectName) {
        CopyText(ptr, "Entry Test", kVstMaxEffectNameLen);
        return 1;
    }
    return 0;
}

[[maybe_unused]] AEffect* Create(audioMasterCallback host)
{
    RecordEntry(host);
    InitEffect(gEntryEffect, &Dispatch, 0, 0, 2, 2, 0, VstFourCC('P', 't', 'E', 'n'));
    gEffect = &gEntryEffect;
    return &gEntryEffect;
}

} // namespace

#if ENTRY_MODE == ENTRY_FAULT
volatile int* gNowhere = nullptr;
FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    *gNowhere = 1;
    return Create(host);
}
#elif ENTRY_MODE == ENTRY_BADMAGIC
FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    AEffect* effect = Create(host);
    effect->magic = 0x50747356; // "PtsV"
    return effect;
}
#elif ENTRY_MODE == ENTRY_NIL
FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    return nullptr;
}
#elif ENTRY_MODE == ENTRY_MAINONLY
FIXTURE_EXPORT AEffect* VSTCALL MAIN(audioMasterCallback host)
{
    return Create(host);
}
#elif ENTRY_MODE == ENTRY_CAPSONLY
FIXTURE_EXPORT AEffect* VSTCALL VSTPLUGINMAIN(audioMasterCallback host)
{
    return Create(host);
}
#elif ENTRY_MODE == ENTRY_HANG
FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    for (;;)
        Sleep(1000);
}
#elif ENTRY_MODE == ENTRY_THREADCRASH
volatile int* gNowhere = nullptr;
DWORD WINAPI Crash(void*)
{
    *gNowhere = 1;
    return 0;
}
FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    HANDLE thread = CreateThread(nullptr, 0, &Crash, nullptr, 0, nullptr);
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    return Create(host);
}
#else
#error "ENTRY_MODE must be one of the modes above"
#endif
