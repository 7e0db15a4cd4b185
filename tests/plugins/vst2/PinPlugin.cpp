// "Test Pins": an effect whose pins exercise the host's pairing of pins into
// buses. kSetPinLayout picks the layout (set it before the host loads the
// module, or change it and call audioMasterIOChanged):
//   layout 0  inputs: four pins the plugin does not describe
//             outputs: "L" stereo active, "R" stereo active, "Mono" active,
//             "Mono2" (neither stereo nor active)
//   layout 1  as layout 0, plus two output pins "Side" stereo (not active)

#include "FixtureCommon.h"

namespace {

struct TPinRow {
    const char* Label; // null: the plugin answers 0 for this pin
    VstInt32 Flags;
};

constexpr VstInt32 kActiveStereo = kVstPinIsActive | kVstPinIsStereo;
constexpr TPinRow kInputs[] = {{nullptr, 0}, {nullptr, 0}, {nullptr, 0}, {nullptr, 0}};
constexpr TPinRow kOutputs[] = {
    {"L", kActiveStereo}, {"R", kActiveStereo}, {"Mono", kVstPinIsActive}, {"Mono2", 0},
    {"Side", kVstPinIsStereo}, {"Side", kVstPinIsStereo},
};
constexpr VstInt32 kOutputsPerLayout[] = {4, 6};

AEffect gPins;

VstInt32 OutputCount()
{
    return kOutputsPerLayout[gSettings[kSetPinLayout] == 1 ? 1 : 0];
}

VstIntPtr Describe(const TPinRow& row, void* ptr)
{
    if (row.Label == nullptr)
        return 0;
    auto* pin = static_cast<VstPinProperties*>(ptr);
    CopyText(pin->label, row.Label, sizeof pin->label);
    pin->flags = row.Flags;
    return 1;
}

VstIntPtr Dispatch(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float)
{
    effect->numOutputs = OutputCount();
    switch (opcode) {
    case effGetInputProperties:
        return index >= 0 && index < 4 ? Describe(kInputs[index], ptr) : 0;
    case effGetOutputProperties:
        return index >= 0 && index < OutputCount() ? Describe(kOutputs[index], ptr) : 0;
    case effGetEffectName:
        CopyText(ptr, "Test Pins", kVstMaxEffectNameLen);
        return 1;
    default:
        return 0;
    }
}

} // namespace

FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    InitEffect(gPins, &Dispatch, 0, 0, 4, OutputCount(), effFlagsCanReplacing, VstFourCC('P', 't', 'P', 'n'));
    gEffect = &gPins;
    return &gPins;
}
