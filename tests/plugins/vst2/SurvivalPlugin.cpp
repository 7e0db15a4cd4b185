// "Survival": a stereo gain effect that takes MIDI and answers every note an
// octave higher, keeps its two parameters and a block counter as a chunk, and,
// by the mode it is built with, misbehaves the way plugins in the field do:
//   SURVIVAL_MODE 0  well behaved (the soak's and the benchmark's plugin)
//   SURVIVAL_MODE 1  faults (writes through a null pointer) inside
//                    processReplacing on its Nth call
//   SURVIVAL_MODE 2  never returns from processReplacing from its Nth call on
//   SURVIVAL_MODE 3  every processReplacing takes SURVIVAL_SLOW_MS ms (300)
//                    and first sets the manual-reset event
//                    "SurvivalInBlock_<process id>", so that a test knows
//                    the process is inside a block
//   SURVIVAL_MODE 4  starts a thread on effOpen that keeps running (and
//                    touching the module) after effClose
// N is SURVIVAL_AT from the environment (20 when unset). With
// SURVIVAL_ONCE=<file> modes 1 and 2 misbehave only while that file does not
// exist, and create it first: a restarted bridge then runs on.

#include "FixtureCommon.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#ifndef SURVIVAL_MODE
#define SURVIVAL_MODE 0
#endif

namespace {

AEffect gSurvival;
float gParams[2] = {0.5f, 0.25f};
std::uint32_t gBlocks = 0; // processReplacing calls since load (or since the restored state)
VstMidiEvent gPending[kFixtureMaxEvents];
int gPendingCount = 0;
volatile LONG gLeakTicks = 0;

struct TChunk {
    char Magic[4];
    float Params[2];
    std::uint32_t Blocks;
};
TChunk gChunk;

long EnvNumber(const char* name, long fallback)
{
    char buf[32] = {};
    const DWORD n = GetEnvironmentVariableA(name, buf, sizeof(buf));
    return n > 0 && n < sizeof(buf) ? std::strtol(buf, nullptr, 10) : fallback;
}

// True when the misbehaviour shall happen now: on call N, and with
// SURVIVAL_ONCE only the first time in the life of the marker file.
bool Misbehave(std::uint32_t call)
{
    if (call != static_cast<std::uint32_t>(EnvNumber("SURVIVAL_AT", 20)))
        return false;
    char marker[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableA("SURVIVAL_ONCE", marker, sizeof(marker));
    if (n == 0 || n >= sizeof(marker))
        return true;
    HANDLE f = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false; // already happened once
    CloseHandle(f);
    return true;
}

DWORD WINAPI LeakedThread(void*)
{
    for (;;) { // never asked to stop: the plugin forgets it on effClose
        InterlockedIncrement(&gLeakTicks);
        Sleep(5);
    }
}

VstIntPtr Dispatch(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float)
{
    switch (opcode) {
    case effOpen:
        if (SURVIVAL_MODE == 4) {
            HANDLE t = CreateThread(nullptr, 0, &LeakedThread, nullptr, 0, nullptr);
            if (t != nullptr)
                CloseHandle(t);
        }
        return 0;
    case effMainsChanged:
        if (value != 0)
            CallHost(audioMasterWantMidi, 0, 1);
        return 0;
    case effProcessEvents: {
        const auto* events = static_cast<const VstEvents*>(ptr);
        for (VstInt32 i = 0; i < events->numEvents; ++i) {
            const VstEvent* e = events->events[i];
            if (e->type == kVstMidiType && gPendingCount < kFixtureMaxEvents)
                gPending[gPendingCount++] = *reinterpret_cast<const VstMidiEvent*>(e);
        }
        return 1;
    }
    case effGetChunk:
        std::memcpy(gChunk.Magic, "SRVL", 4);
        gChunk.Params[0] = gParams[0];
        gChunk.Params[1] = gParams[1];
        gChunk.Blocks = gBlocks;
        *static_cast<void**>(ptr) = &gChunk;
        return sizeof(gChunk);
    case effSetChunk: {
        if (value != static_cast<VstIntPtr>(sizeof(TChunk)) || ptr == nullptr)
            return 0;
        TChunk c;
        std::memcpy(&c, ptr, sizeof(c));
        if (std::memcmp(c.Magic, "SRVL", 4) != 0)
            return 0;
        gParams[0] = c.Params[0];
        gParams[1] = c.Params[1];
        gBlocks = c.Blocks;
        return 1;
    }
    case effGetProgramName:
        CopyText(ptr, "Default", kVstMaxProgNameLen + 1);
        return 0;
    case effGetParamName:
        CopyText(ptr, index == 0 ? "Gain" : "Tone", kVstMaxParamStrLen + 1);
        return 0;
    case effGetParamLabel:
        CopyText(ptr, index == 0 ? "x" : "", kVstMaxParamStrLen + 1);
        return 0;
    case effGetParamDisplay:
        if (index >= 0 && index < 2) {
            char text[16];
            const int hundredths = static_cast<int>(gParams[index] * 200.0f + 0.5f);
            text[0] = static_cast<char>('0' + (hundredths / 100) % 10);
            text[1] = '.';
            text[2] = static_cast<char>('0' + (hundredths / 10) % 10);
            text[3] = static_cast<char>('0' + hundredths % 10);
            text[4] = '\0';
            CopyText(ptr, text, kVstMaxParamStrLen + 1);
        }
        return 0;
    case effGetPlugCategory:
        return 1; // effect
    case effGetEffectName:
        CopyText(ptr, "Survival", kVstMaxEffectNameLen);
        return 1;
    case effCanDo: {
        const char* what = static_cast<const char*>(ptr);
        return std::strcmp(what, "receiveVstMidiEvent") == 0 || std::strcmp(what, "sendVstMidiEvent") == 0 ? 1 : 0;
    }
    default:
        return 0;
    }
}

void VSTCALL SetParameter(AEffect*, VstInt32 index, float value)
{
    if (index >= 0 && index < 2)
        gParams[index] = value;
}

float VSTCALL GetParameter(AEffect*, VstInt32 index)
{
    return index >= 0 && index < 2 ? gParams[index] : 0.0f;
}

// This block's notes, an octave up, back to the host.
void Answer()
{
    if (gPendingCount == 0)
        return;
    static VstMidiEvent notes[kFixtureMaxEvents];
    static struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kFixtureMaxEvents];
    } list;
    list.numEvents = 0;
    for (int i = 0; i < gPendingCount; ++i) {
        const int status = static_cast<unsigned char>(gPending[i].midiData[0]) & 0xF0;
        if (status != 0x90 && status != 0x80)
            continue;
        notes[list.numEvents] = gPending[i];
        notes[list.numEvents].midiData[1] = static_cast<char>(gPending[i].midiData[1] + 12);
        list.events[list.numEvents] = reinterpret_cast<VstEvent*>(&notes[list.numEvents]);
        ++list.numEvents;
    }
    gPendingCount = 0;
    if (list.numEvents > 0)
        CallHost(audioMasterProcessEvents, 0, 0, &list);
}

void VSTCALL ProcessReplacing(AEffect*, float** inputs, float** outputs, VstInt32 frames)
{
    ++gProbe.ReplacingCalls;
    const std::uint32_t call = ++gBlocks;
    if (SURVIVAL_MODE == 1 && Misbehave(call)) {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    }
    if (SURVIVAL_MODE == 2 && Misbehave(call)) {
        for (;;)
            Sleep(1000);
    }
    if (SURVIVAL_MODE == 3) {
        static HANDLE inBlock = [] {
            const std::string name = "SurvivalInBlock_" + std::to_string(GetCurrentProcessId());
            return CreateEventA(nullptr, TRUE, FALSE, name.c_str()); // lives as long as the module
        }();
        SetEvent(inBlock);
        Sleep(static_cast<DWORD>(EnvNumber("SURVIVAL_SLOW_MS", 300)));
    }
    const float gain = 2.0f * gParams[0];
    for (int c = 0; c < 2; ++c)
        for (VstInt32 i = 0; i < frames; ++i)
            outputs[c][i] = inputs[c][i] * gain;
    Answer();
}

} // namespace

FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    InitEffect(gSurvival, &Dispatch, 1, 2, 2, 2, effFlagsCanReplacing | effFlagsProgramChunks,
               VstFourCC('P', 't', 'S', 'v'));
    gSurvival.setParameter = &SetParameter;
    gSurvival.getParameter = &GetParameter;
    gSurvival.processReplacing = &ProcessReplacing;
    gEffect = &gSurvival;
    return &gSurvival;
}

// How often the leaked thread has run; lets a test see it is alive.
FIXTURE_EXPORT LONG SurvivalLeakTicks()
{
    return gLeakTicks;
}
