#include "FixtureCommon.h"

#include <cstring>

audioMasterCallback gHost = nullptr;
AEffect* gEffect = nullptr;
TFixtureProbe gProbe = {};
VstIntPtr gSettings[kSetCount] = {};

namespace {

// Opcodes whose ptr points to a pointer-sized word worth recording.
bool CarriesWord(VstInt32 opcode)
{
    return opcode == effVendorSpecific;
}

float VSTCALL NoParameter(AEffect*, VstInt32)
{
    return 0.0f;
}

void VSTCALL IgnoreParameter(AEffect*, VstInt32, float) {}

void VSTCALL CountBlock(AEffect*, float**, float**, VstInt32)
{
    ++gProbe.ReplacingCalls;
}

TOwnDispatch gOwnDispatch = nullptr;

// Records one dispatcher call in the probe (and counts event lists).
void RecordCall(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    if (gProbe.CallCount < kFixtureMaxCalls) {
        TFixtureCall& call = gProbe.Calls[gProbe.CallCount];
        call.Opcode = opcode;
        call.Index = index;
        call.Value = value;
        call.Opt = opt;
        call.PtrValue = 0;
        if (ptr != nullptr && CarriesWord(opcode))
            call.PtrValue = *static_cast<VstInt32*>(ptr);
    }
    ++gProbe.CallCount;
    if (opcode == effProcessEvents && ptr != nullptr) {
        ++gProbe.EventLists;
        gProbe.LastNumEvents = static_cast<const VstEvents*>(ptr)->numEvents;
    }
}

VstIntPtr VSTCALL CommonDispatch(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt)
{
    RecordCall(opcode, index, value, ptr, opt);
    switch (opcode) {
    case effClose:
        ++gProbe.ClosedCount;
        return gOwnDispatch ? gOwnDispatch(effect, opcode, index, value, ptr, opt) : 0;
    case effGetVendorString:
        CopyText(ptr, "Pelorin Fixtures", kVstMaxVendorStrLen);
        return 1;
    case effGetVstVersion:
        return gSettings[kSetVstVersion] != 0 ? gSettings[kSetVstVersion] : VstIntPtr{2400};
    default:
        return gOwnDispatch ? gOwnDispatch(effect, opcode, index, value, ptr, opt) : 0;
    }
}

} // namespace

VstIntPtr CallHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    return gHost ? gHost(gEffect, opcode, index, value, ptr, opt) : 0;
}

void CopyText(void* ptr, const char* text, std::size_t size)
{
    if (ptr == nullptr || size == 0)
        return;
    std::strncpy(static_cast<char*>(ptr), text, size - 1);
    static_cast<char*>(ptr)[size - 1] = '\0';
}

void RecordEntry(audioMasterCallback host)
{
    gHost = host;
    ++gProbe.EntryCalls;
    gProbe.EntryHostVersion = host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f);
    gProbe.EntryCurrentId = host(nullptr, audioMasterCurrentId, 0, 0, nullptr, 0.0f);
}

void InitEffect(AEffect& effect, TOwnDispatch own, VstInt32 numPrograms, VstInt32 numParams,
                VstInt32 numInputs, VstInt32 numOutputs, VstInt32 flags, VstInt32 uniqueID)
{
    std::memset(&effect, 0, sizeof effect);
    effect.magic = kEffectMagic;
    gOwnDispatch = own;
    effect.dispatcher = &CommonDispatch;
    effect.numPrograms = numPrograms;
    effect.numParams = numParams;
    effect.numInputs = numInputs;
    effect.numOutputs = numOutputs;
    effect.flags = flags;
    effect.uniqueID = uniqueID;
    effect.version = 1;
    effect.ioRatio = 1.0f;
    effect.getParameter = &NoParameter;
    effect.setParameter = &IgnoreParameter;
    effect.processReplacing = &CountBlock;
}

void ApplyEffectSettings(VstInt32 key, VstIntPtr value)
{
    if (gEffect == nullptr)
        return;
    if (key == kSetInitialDelay)
        gEffect->initialDelay = static_cast<VstInt32>(value);
    else if (key == kSetFlagsOn)
        gEffect->flags |= static_cast<VstInt32>(value);
    else if (key == kSetFlagsOff)
        gEffect->flags &= ~static_cast<VstInt32>(value);
}

FIXTURE_EXPORT TFixtureProbe* FixtureProbe()
{
    return &gProbe;
}

FIXTURE_EXPORT VstIntPtr FixtureCallHost(bool WithEffect, VstInt32 Opcode, VstInt32 Index, VstIntPtr Value, void* Ptr,
                                         float Opt)
{
    return gHost ? gHost(WithEffect ? gEffect : nullptr, Opcode, Index, Value, Ptr, Opt) : 0;
}

FIXTURE_EXPORT void FixtureSet(VstInt32 Key, VstIntPtr Value)
{
    if (Key >= 0 && Key < kSetCount)
        gSettings[Key] = Value;
    ApplyEffectSettings(Key, Value);
}
