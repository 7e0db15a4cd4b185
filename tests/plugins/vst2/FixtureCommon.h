#pragma once
// Shared parts of the VST2 test plugins: the exported probe functions, the
// host callback the entry point received, and small helpers.

#include "FixtureProbe.h"

#include <cstddef>

#define FIXTURE_EXPORT extern "C" __declspec(dllexport)

extern audioMasterCallback gHost;  // the callback handed to the entry point
extern AEffect* gEffect;           // the effect the entry point returned, if any
extern TFixtureProbe gProbe;
extern VstIntPtr gSettings[kSetCount];

// A test plugin's own part of the dispatcher. The effect's dispatcher first
// does what every test plugin does alike: records the call, counts effClose
// (and then passes it on),
// names the vendor and answers effGetVstVersion (kSetVstVersion, else
// 2400); every other opcode goes to the plugin's own part.
using TOwnDispatch = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt);
// Calls the host with the plugin's effect (null before one exists).
VstIntPtr CallHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
// Copies text into a buffer of size bytes, always terminated.
void CopyText(void* ptr, const char* text, std::size_t size);
// Records what the entry point learns from the host: version and current id.
void RecordEntry(audioMasterCallback host);
// An effect with the magic, the common dispatcher leading to own, and the
// given counts, whose parameters are all 0 and whose processReplacing only
// counts its calls; the caller replaces what it does differently.
void InitEffect(AEffect& effect, TOwnDispatch own, VstInt32 numPrograms, VstInt32 numParams,
                VstInt32 numInputs, VstInt32 numOutputs, VstInt32 flags, VstInt32 uniqueID);
// Applies the flag and delay settings that act on the effect at once.
void ApplyEffectSettings(VstInt32 key, VstIntPtr value);
