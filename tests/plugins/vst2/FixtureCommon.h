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

// Records one dispatcher call in the probe (and counts event lists).
void RecordCall(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
// Calls the host with the plugin's effect (null before one exists).
VstIntPtr CallHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f);
// Copies text into a buffer of size bytes, always terminated.
void CopyText(void* ptr, const char* text, std::size_t size);
// Records what the entry point learns from the host: version and current id.
void RecordEntry(audioMasterCallback host);
// An effect with the magic, the dispatcher and the given counts; the
// remaining function pointers are the caller's to set.
void InitEffect(AEffect& effect, AEffectDispatcherProc dispatcher, VstInt32 numPrograms, VstInt32 numParams,
                VstInt32 numInputs, VstInt32 numOutputs, VstInt32 flags, VstInt32 uniqueID);
// Applies the flag and delay settings that act on the effect at once.
void ApplyEffectSettings(VstInt32 key, VstIntPtr value);
