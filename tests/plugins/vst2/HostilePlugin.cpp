// Plugins that behave as third-party plugins do and our well-behaved
// fixtures never do, one per value of HOSTILE_MODE. Each is a stereo effect
// ("Hostile") whose processReplacing copies its inputs to its outputs.
//   HOSTILE_FAULT_PROCESS  processReplacing writes through a null pointer,
//                          and so does effClose
//   HOSTILE_FAULT_MAINS    effMainsChanged writes through a null pointer
//                          (every time); everything else works
//   HOSTILE_OWN_FAULT      VSTPluginMain probes unmapped memory and handles
//                          the fault itself (as copy protection does), then
//                          returns a working effect
//   HOSTILE_GROW           parameter 0 set above 0.5 gives it 8 inputs and 8
//                          outputs, below 0.5 back 2 and 2; the third
//                          processReplacing grows it to 8 and 8 after writing
//                          its outputs; each change calls audioMasterIOChanged
//   HOSTILE_IO_THREAD      a thread of its own switches the output count
//                          between 2 and 6 and the delay between 0 and 32,
//                          calling audioMasterIOChanged each time, until the
//                          plugin is closed
//   HOSTILE_SILENT_DELAY   the fourth processReplacing sets initialDelay to
//                          480 without telling the host
//   HOSTILE_SLOW_SHELL     a shell whose effShellGetNextPlugin takes 300 ms
//                          for each of its three entries
//   HOSTILE_MANY_PARAMS    4096 parameters, each answering every query
//   HOSTILE_WAITING_PARAMS 16 parameters; once it has processed a block,
//                          the display of the first is answered only after
//                          the next processReplacing (at most 5 s later), as
//                          a plugin whose audio and editor threads meet
// Outputs always go to at most as many channels as the block began with.

#include "FixtureCommon.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#define HOSTILE_FAULT_PROCESS 1
#define HOSTILE_FAULT_MAINS 2
#define HOSTILE_OWN_FAULT 3
#define HOSTILE_GROW 4
#define HOSTILE_IO_THREAD 5
#define HOSTILE_SILENT_DELAY 6
#define HOSTILE_SLOW_SHELL 7
#define HOSTILE_MANY_PARAMS 8
#define HOSTILE_WAITING_PARAMS 9

namespace {

AEffect gHostile;
volatile int* gNowhere = nullptr;
std::atomic<int> gBlocks{0};
float gParams[4096] = {};
[[maybe_unused]] std::atomic<bool> gStop{false};
[[maybe_unused]] HANDLE gThread = nullptr;

constexpr int kParamCount = HOSTILE_MODE == HOSTILE_MANY_PARAMS ? 4096 : HOSTILE_MODE == HOSTILE_WAITING_PARAMS ? 16 : 1;
// Set by every processReplacing; waited for by the last parameter's display.
[[maybe_unused]] HANDLE gBlockDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);

void SetChannels(VstInt32 inputs, VstInt32 outputs)
{
    gHostile.numInputs = inputs;
    gHostile.numOutputs = outputs;
    CallHost(audioMasterIOChanged);
}

void VSTCALL ProcessReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 frames)
{
    const VstInt32 nIn = effect->numInputs;
    const VstInt32 nOut = effect->numOutputs;
    const int block = gBlocks.fetch_add(1);
    ++gProbe.ReplacingCalls;
    if (HOSTILE_MODE == HOSTILE_FAULT_PROCESS)
        *gNowhere = block;
    for (VstInt32 c = 0; c < nOut && c < 2; ++c)
        for (VstInt32 f = 0; f < frames; ++f)
            outputs[c][f] = nIn > 0 ? inputs[c % nIn][f] : 0.0f;
    if (HOSTILE_MODE == HOSTILE_GROW && block == 2)
        SetChannels(8, 8);
    if (HOSTILE_MODE == HOSTILE_SILENT_DELAY && block == 3)
        effect->initialDelay = 480;
    SetEvent(gBlockDone);
}

// A host must never call this: the plugin replaces. It marks its output.
void VSTCALL AccumulatingProcess(AEffect*, float**, float** outputs, VstInt32 frames)
{
    ++gProbe.ProcessCalls;
    if (frames > 0 && outputs != nullptr && outputs[0] != nullptr)
        outputs[0][0] = -12345.0f;
}

float VSTCALL GetParameter(AEffect*, VstInt32 index)
{
    return index >= 0 && index < kParamCount ? gParams[index] : 0.0f;
}

void VSTCALL SetParameter(AEffect*, VstInt32 index, float value)
{
    if (index < 0 || index >= kParamCount)
        return;
    gParams[index] = value;
    if (HOSTILE_MODE == HOSTILE_GROW && index == 0)
        value > 0.5f ? SetChannels(8, 8) : SetChannels(2, 2);
}

[[maybe_unused]] DWORD WINAPI SwitchLayout(void*)
{
    for (int i = 0; !gStop.load(); ++i) {
        gHostile.initialDelay = (i & 1) != 0 ? 32 : 0;
        SetChannels(2, (i & 1) != 0 ? 6 : 2);
    }
    return 0;
}

VstIntPtr Dispatch(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float)
{
    switch (opcode) {
    case effOpen:
        if (HOSTILE_MODE == HOSTILE_IO_THREAD && gThread == nullptr)
            gThread = CreateThread(nullptr, 0, &SwitchLayout, nullptr, 0, nullptr);
        return 0;
    case effClose:
        if (HOSTILE_MODE == HOSTILE_FAULT_PROCESS)
            *gNowhere = -1;
        if (gThread != nullptr) {
            gStop.store(true);
            WaitForSingleObject(gThread, INFINITE);
            CloseHandle(gThread);
            gThread = nullptr;
        }
        return 0;
    case effMainsChanged:
        if (HOSTILE_MODE == HOSTILE_FAULT_MAINS)
            *gNowhere = static_cast<int>(value);
        return 0;
    case effGetEffectName:
        CopyText(ptr, HOSTILE_MODE == HOSTILE_SLOW_SHELL ? "Slow Shell" : "Hostile", kVstMaxEffectNameLen);
        return 1;
    case effGetParamName:
    case effGetParamLabel:
    case effGetParamDisplay: {
        if (HOSTILE_MODE == HOSTILE_WAITING_PARAMS && opcode == effGetParamDisplay && index == 0 &&
            gBlocks.load() > 0) {
            ResetEvent(gBlockDone);
            WaitForSingleObject(gBlockDone, 5000);
        }
        char text[16];
        std::snprintf(text, sizeof text, "%c%d", opcode == effGetParamName ? 'P' : 'v', index);
        CopyText(ptr, text, kVstMaxParamStrLen + 1);
        return 0;
    }
    case effGetPlugCategory:
        return HOSTILE_MODE == HOSTILE_SLOW_SHELL ? kPlugCategShell : kPlugCategEffect;
    case effShellGetNextPlugin: {
        static int next = 0;
        if (HOSTILE_MODE != HOSTILE_SLOW_SHELL || next >= 3)
            return 0;
        Sleep(300);
        char name[32];
        std::snprintf(name, sizeof name, "Slow %d", next + 1);
        CopyText(ptr, name, kVstMaxShellNameLen);
        return 7000 + next++;
    }
    default:
        (void)value;
        return 0;
    }
}

AEffect* Create(audioMasterCallback host)
{
    RecordEntry(host);
    InitEffect(gHostile, &Dispatch, 0, kParamCount, 2, 2, effFlagsCanReplacing, VstFourCC('P', 't', 'H', 'o'));
    gHostile.processReplacing = &ProcessReplacing;
    gHostile.process = &AccumulatingProcess;
    gHostile.getParameter = &GetParameter;
    gHostile.setParameter = &SetParameter;
    gEffect = &gHostile;
    return &gHostile;
}

} // namespace

FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
#if HOSTILE_MODE == HOSTILE_OWN_FAULT
    // The system probe reads the address under a frame handler of its own
    // and answers that the memory is unreadable.
    if (!IsBadReadPtr(reinterpret_cast<const void*>(0x10), 16))
        return nullptr;
#endif
    return Create(host);
}
