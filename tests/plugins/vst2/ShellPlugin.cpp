// "Test Shell": one module with several plugins. Its entry point asks
// audioMasterCurrentId which one to create: 0 (or an unknown id) gives the
// shell itself, whose effShellGetNextPlugin lists the sub-plugins; a listed id
// gives that sub-plugin. The list holds an entry with an empty name after the
// third one, which must end a host's scan ("Shell Delta" after it is never
// reached). The sub-plugin 1234 puts another unique id (9999) into its effect.

#include "FixtureCommon.h"

#include <cstring>

namespace {

struct TSubPlugin {
    const char* Name;
    VstInt32 Id;
};
constexpr TSubPlugin kSubPlugins[] = {
    {"Shell Alpha", 1111}, {"Shell Beta", 2222}, {"Shell Gamma", 1234}, {"", 4444}, {"Shell Delta", 5555},
};
constexpr int kSubCount = sizeof kSubPlugins / sizeof kSubPlugins[0];

AEffect gEffectRecord;
const TSubPlugin* gSub = nullptr; // null: the shell itself
int gNext = 0;                    // next entry effShellGetNextPlugin reports

VstIntPtr Dispatch(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float)
{
    switch (opcode) {
    case effGetPlugCategory:
        return gSub ? kPlugCategEffect : kPlugCategShell;
    case effShellGetNextPlugin:
        if (gSub != nullptr || gNext >= kSubCount)
            return 0;
        CopyText(ptr, kSubPlugins[gNext].Name, kVstMaxShellNameLen);
        return kSubPlugins[gNext++].Id;
    case effGetEffectName:
        CopyText(ptr, gSub ? gSub->Name : "Test Shell", kVstMaxEffectNameLen);
        return 1;
    default:
        return 0;
    }
}

} // namespace

FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    gSub = nullptr;
    gNext = 0;
    for (const TSubPlugin& sub : kSubPlugins) {
        if (sub.Name[0] != '\0' && sub.Id == gProbe.EntryCurrentId)
            gSub = &sub;
    }
    const VstInt32 id = gSub == nullptr ? VstFourCC('P', 't', 'S', 'h') : gSub->Id == 1234 ? 9999 : gSub->Id;
    InitEffect(gEffectRecord, &Dispatch, 0, 0, 2, 2, effFlagsCanReplacing, id);
    gEffect = &gEffectRecord;
    return &gEffectRecord;
}
