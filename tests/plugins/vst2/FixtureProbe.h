#pragma once
// What the VST2 test plugins record and how a test reaches it. Every fixture
// plugin exports:
//   FixtureProbe()      the plugin's record of what the host did to it
//   FixtureCallHost()   calls the host callback as the plugin would, with
//                       the plugin's effect or with a nil effect
//   FixtureSet()        changes one of the plugin's settings (kSet... below)
// A test takes them from the loaded module with GetProcAddress. The record is
// plain memory of the plugin module, valid while the module stays loaded.

#include "VST2Types.h"

#include <cstdint>

inline constexpr int kFixtureMaxCalls = 1024;
inline constexpr int kFixtureMaxEvents = 256;
inline constexpr int kFixtureMaxSysex = 64;

// One dispatcher call the plugin received.
struct TFixtureCall {
    VstInt32 Opcode;
    VstInt32 Index;
    VstIntPtr Value;
    float Opt;
    VstIntPtr PtrValue; // the first pointer-sized word at ptr, when ptr is set and the opcode carries a word
};

struct TFixtureProbe {
    VstInt32 EntryCalls;         // times the entry point ran
    VstIntPtr EntryCurrentId;    // audioMasterCurrentId as answered inside the entry point
    VstIntPtr EntryHostVersion;  // audioMasterVersion as answered inside the entry point
    VstInt32 CallCount;          // dispatcher calls, all counted; the first kFixtureMaxCalls kept
    TFixtureCall Calls[kFixtureMaxCalls];
    VstInt32 ProcessCalls;       // accumulating process
    VstInt32 ReplacingCalls;     // processReplacing
    VstInt32 DoubleCalls;        // processDoubleReplacing
    void* DoubleInputs;          // what processDoubleReplacing received
    void* DoubleOutputs;
    VstInt32 EventLists;         // effProcessEvents calls
    VstInt32 LastNumEvents;      // numEvents of the last list
    VstInt32 EventCount;         // events received, the first kFixtureMaxEvents kept
    VstMidiEvent Events[kFixtureMaxEvents];
    VstInt32 TimeQueries;        // audioMasterGetTime calls made while processing
    VstTimeInfo LastTime;        // copy of the last answer
    VstInt32 ClosedCount;        // effClose calls
};

// FixtureSet keys (what each plugin does with them is in its source).
enum : VstInt32 {
    kSetVstVersion = 0,    // effGetVstVersion answer (0: the plugin's own)
    kSetCategory = 1,      // effGetPlugCategory answer (0: the plugin's own)
    kSetEffectName = 2,    // 1: effGetEffectName answers an empty text
    kSetInitialDelay = 3,  // written into initialDelay at once
    kSetFlagsOn = 4,       // bits set in the effect flags at once
    kSetFlagsOff = 5,      // bits cleared in the effect flags at once
    kSetNoIndexedNames = 6,// 1: effGetProgramNameIndexed answers 0
    kSetKeyAnswer = 7,     // effEditKeyDown/Up answer
    kSetVendorAnswer = 8,  // effVendorSpecific answer
    kSetTimeRequest = 9,   // request bits the instrument passes to audioMasterGetTime
    kSetPinLayout = 10,    // pin layout of the pin plugin
    kSetShortBar = 11,     // 1: the level-bar display is one character short
    kSetCount = 16,
};

using TFixtureProbeProc = TFixtureProbe* (*)();
using TFixtureCallHostProc = VstIntPtr (*)(bool WithEffect, VstInt32 Opcode, VstInt32 Index, VstIntPtr Value,
                                           void* Ptr, float Opt);
using TFixtureSetProc = void (*)(VstInt32 Key, VstIntPtr Value);
