// "Test Gain": a stereo gain effect. Output = input x 2 x parameter 0, so the
// default 0.5 passes the signal unchanged. Each of its five programs keeps its
// own name and parameter values, as real plugins do. Parameter 1 shows a level
// bar made of "-" and the character 127; parameter 2 is a plain switch.
// Bit 31 of the flags (set through FixtureSet) enables bus-mode processing
// through the processDoubleReplacing slot, which then receives one float
// buffer per bus with the two channels one after the other. Built with
// GAIN_UNNAMED it reports no effect name (as kSetEffectName 1 does).

#include "FixtureCommon.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kPrograms = 5;
constexpr int kParams = 3;

struct TProgram {
    char Name[kVstMaxProgNameLen + 1];
    float Values[kParams];
};

TProgram gPrograms[kPrograms] = {
    {"Unity", {0.5f, 0.0f, 0.0f}},  {"Quiet", {0.25f, 0.0f, 0.0f}}, {"Loud", {1.0f, 0.0f, 1.0f}},
    {"Half", {0.25f, 0.0f, 0.0f}},  {"Silent", {0.0f, 0.0f, 0.0f}},
};
const char* const kParamNames[kParams] = {"Gain", "Meter", "Mode"};
const char* const kParamLabels[kParams] = {"x", "", ""};

AEffect gGain;
int gProgram = 0;

float Gain()
{
    return 2.0f * gPrograms[gProgram].Values[0];
}

void Display(VstInt32 index, char* text)
{
    if (index == 0) {
        std::snprintf(text, kVstMaxParamStrLen + 1, "%.2f", Gain());
    } else if (index == 1) {
        // 7 "-", two 127, 10 "-": 19 characters (18 with kSetShortBar).
        char bar[20] = "-------\x7f\x7f----------";
        if (gSettings[kSetShortBar] != 0)
            bar[18] = '\0';
        std::strcpy(text, bar);
    } else {
        std::strcpy(text, gPrograms[gProgram].Values[2] >= 0.5f ? "On" : "Off");
    }
}

void Pin(VstInt32 index, void* ptr)
{
    auto* pin = static_cast<VstPinProperties*>(ptr);
    CopyText(pin->label, "In", sizeof pin->label);
    pin->flags = kVstPinIsActive | kVstPinIsStereo;
    (void)index;
}

VstIntPtr Dispatch(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float)
{
    switch (opcode) {
    case effSetProgram:
        if (value >= 0 && value < kPrograms)
            gProgram = static_cast<int>(value);
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
        if (gSettings[kSetNoIndexedNames] != 0 || index < 0 || index >= kPrograms)
            return 0;
        CopyText(ptr, gPrograms[index].Name, kVstMaxProgNameLen + 1);
        return 1;
    case effGetParamLabel:
        if (index >= 0 && index < kParams)
            CopyText(ptr, kParamLabels[index], kVstMaxParamStrLen + 1);
        return 0;
    case effGetParamDisplay:
        if (index >= 0 && index < kParams)
            Display(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamName:
        if (index >= 0 && index < kParams)
            CopyText(ptr, kParamNames[index], kVstMaxParamStrLen + 1);
        return 0;
    case effGetInputProperties:
    case effGetOutputProperties:
        if (index < 0 || index >= 2)
            return 0;
        Pin(index, ptr);
        return 1;
    case effGetPlugCategory:
        return gSettings[kSetCategory] != 0 ? gSettings[kSetCategory] : VstIntPtr{kPlugCategEffect};
    case effGetEffectName:
        if (gSettings[kSetEffectName] != 0)
            return 0;
        CopyText(ptr, "Test Gain", kVstMaxEffectNameLen);
        return 1;
    case effCanDo:
        return std::strcmp(static_cast<const char*>(ptr), "receiveVstMidiEvent") == 0 ? -1 : 0;
    case effEditKeyDown:
    case effEditKeyUp:
        return gSettings[kSetKeyAnswer];
    case effVendorSpecific:
        return gSettings[kSetVendorAnswer];
    case effGetMidiKeyName: {
        auto* key = static_cast<MidiKeyName*>(ptr);
        std::snprintf(key->keyName, sizeof key->keyName, "Key %d of %d", key->thisKeyNumber,
                      key->thisProgramIndex);
        return 1;
    }
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
            outputs[c][i] = inputs[c][i] * Gain();
}

void VSTCALL ProcessAccumulating(AEffect*, float** inputs, float** outputs, VstInt32 frames)
{
    ++gProbe.ProcessCalls;
    for (int c = 0; c < 2; ++c)
        for (VstInt32 i = 0; i < frames; ++i)
            outputs[c][i] += inputs[c][i] * Gain();
}

// Bus mode: the "channel arrays" are really the first input and output bus
// buffers, two channels one after the other.
void VSTCALL ProcessBuses(AEffect*, double** inputs, double** outputs, VstInt32 frames)
{
    ++gProbe.DoubleCalls;
    gProbe.DoubleInputs = inputs;
    gProbe.DoubleOutputs = outputs;
    const auto* in = reinterpret_cast<const float*>(inputs);
    auto* out = reinterpret_cast<float*>(outputs);
    for (VstInt32 i = 0; i < 2 * frames; ++i)
        out[i] = in[i] * Gain();
}

} // namespace

FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
#if defined(GAIN_UNNAMED)
    gSettings[kSetEffectName] = 1;
#endif
    InitEffect(gGain, &Dispatch, kPrograms, kParams, 2, 2, effFlagsCanReplacing, VstFourCC('P', 't', 'G', 'n'));
    gGain.setParameter = &SetParameter;
    gGain.getParameter = &GetParameter;
    gGain.processReplacing = &ProcessReplacing;
    gGain.process = &ProcessAccumulating;
    gGain.processDoubleReplacing = &ProcessBuses;
    gEffect = &gGain;
    ApplyEffectSettings(kSetInitialDelay, gSettings[kSetInitialDelay]);
    ApplyEffectSettings(kSetFlagsOn, gSettings[kSetFlagsOn]);
    ApplyEffectSettings(kSetFlagsOff, gSettings[kSetFlagsOff]);
    return &gGain;
}
