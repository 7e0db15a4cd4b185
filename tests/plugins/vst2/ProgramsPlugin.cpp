// "Test Programs": an effect with many programs (32 unless set otherwise, at
// most 128) of three parameters ("Cutoff", "Resonance", "Envelope"), each
// program with its own name ("Program 1", ...) and values, and no chunks.
// With UpdateOnProgramChange set it asks the host for a display update
// whenever its program changes, as plugins with program-dependent displays
// do.

#include "FixtureCommon.h"
#include "StateFixture.h"

#include <cstdio>

namespace {

constexpr int kMaxPrograms = 128;
constexpr int kParams = 3;

struct TProgram {
    char Name[kVstMaxProgNameLen + 1];
    float Values[kParams];
};

TProgram gPrograms[kMaxPrograms];
const char* const kParamNames[kParams] = {"Cutoff", "Resonance", "Envelope"};

AEffect gEffectRecord;
int gProgram = 0;
int gCount = 32;
TStateFixture gState = {};

VstIntPtr Dispatch(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float)
{
    switch (opcode) {
    case effSetProgram:
        if (value >= 0 && value < gCount && value != gProgram) {
            gProgram = static_cast<int>(value);
            if (gState.UpdateOnProgramChange != 0) {
                ++gState.DisplayUpdatesAsked;
                CallHost(audioMasterUpdateDisplay);
            }
        }
        return 0;
    case effGetProgram:
        return gProgram;
    case effSetProgramName:
        CopyText(gPrograms[gProgram].Name, static_cast<const char*>(ptr), sizeof gPrograms[gProgram].Name);
        return 0;
    case effGetProgramName:
        CopyText(ptr, gPrograms[gProgram].Name, kVstMaxProgNameLen + 1);
        return 0;
    case effGetProgramNameIndexed:
        if (index < 0 || index >= gCount)
            return 0;
        CopyText(ptr, gPrograms[index].Name, kVstMaxProgNameLen + 1);
        return 1;
    case effGetParamName:
        if (index >= 0 && index < kParams)
            CopyText(ptr, kParamNames[index], kVstMaxParamStrLen + 1);
        return 0;
    case effGetEffectName:
        CopyText(ptr, "Test Programs", kVstMaxEffectNameLen);
        return 1;
    case effGetPlugCategory:
        return kPlugCategEffect;
    default:
        return 0;
    }
}

void VSTCALL SetParameter(AEffect*, VstInt32 index, float value)
{
    if (index >= 0 && index < kParams)
        gPrograms[gProgram].Values[index] = value;
}

float VSTCALL GetParameter(AEffect*, VstInt32 index)
{
    return index >= 0 && index < kParams ? gPrograms[gProgram].Values[index] : 0.0f;
}

void VSTCALL ProcessReplacing(AEffect*, float** inputs, float** outputs, VstInt32 frames)
{
    ++gProbe.ReplacingCalls;
    for (int c = 0; c < 2; ++c)
        for (VstInt32 i = 0; i < frames; ++i)
            outputs[c][i] = inputs[c][i];
}

} // namespace

FIXTURE_EXPORT TStateFixture* FixtureState()
{
    return &gState;
}

FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    gCount = gState.ProgramCount > 0 && gState.ProgramCount <= kMaxPrograms ? gState.ProgramCount : 32;
    for (int p = 0; p < kMaxPrograms; ++p) {
        std::snprintf(gPrograms[p].Name, sizeof gPrograms[p].Name, "Program %d", p + 1);
        for (int i = 0; i < kParams; ++i)
            gPrograms[p].Values[i] = static_cast<float>(p * kParams + i + 1) / 512.0f;
    }
    gProgram = 0;
    InitEffect(gEffectRecord, &Dispatch, gCount, kParams, 2, 2, effFlagsCanReplacing, VstFourCC('P', 't', 'P', 'g'));
    gEffectRecord.setParameter = &SetParameter;
    gEffectRecord.getParameter = &GetParameter;
    gEffectRecord.processReplacing = &ProcessReplacing;
    gEffect = &gEffectRecord;
    return &gEffectRecord;
}
