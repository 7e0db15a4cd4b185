// "Test Synth": an instrument with two outputs. It asks for MIDI when it is
// switched on, records every event it receives, and answers each block's
// events back to the host through audioMasterProcessEvents: every note-on and
// note-off an octave higher, followed by one system-exclusive message
// F0 7D <number of events> F7. While processing it reads the host's time
// with the request bits of kSetTimeRequest (all bits when unset).

#include "FixtureCommon.h"

#include <cstring>

namespace {

AEffect gSynth;
VstMidiEvent gPending[kFixtureMaxEvents];
int gPendingCount = 0;

VstIntPtr Dispatch(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float)
{
    switch (opcode) {
    case effMainsChanged:
        if (value != 0)
            CallHost(audioMasterWantMidi, 0, 1);
        return 0;
    case effProcessEvents: {
        const auto* events = static_cast<const VstEvents*>(ptr);
        gPendingCount = 0;
        for (VstInt32 i = 0; i < events->numEvents; ++i) {
            const VstEvent* e = events->events[i];
            if (e->type != kVstMidiType)
                continue;
            const auto* midi = reinterpret_cast<const VstMidiEvent*>(e);
            if (gProbe.EventCount < kFixtureMaxEvents)
                gProbe.Events[gProbe.EventCount] = *midi;
            ++gProbe.EventCount;
            if (gPendingCount < kFixtureMaxEvents)
                gPending[gPendingCount++] = *midi;
        }
        return 1;
    }
    case effGetProgramName:
        CopyText(ptr, "Init", kVstMaxProgNameLen + 1);
        return 0;
    case effGetParamName:
        CopyText(ptr, "Volume", kVstMaxParamStrLen + 1);
        return 0;
    case effGetOutputProperties:
        if (index < 0 || index >= 2)
            return 0;
        CopyText(static_cast<VstPinProperties*>(ptr)->label, index == 0 ? "Out L" : "Out R", 64);
        static_cast<VstPinProperties*>(ptr)->flags = kVstPinIsActive | kVstPinIsStereo;
        return 1;
    case effGetPlugCategory:
        return kPlugCategSynth;
    case effGetEffectName:
        CopyText(ptr, "Test Synth", kVstMaxEffectNameLen);
        return 1;
    case effCanDo:
        return std::strcmp(static_cast<const char*>(ptr), "receiveVstMidiEvent") == 0 ? 1 : 0;
    default:
        return 0;
    }
}

float gVolume = 0.5f;
void VSTCALL SetParameter(AEffect*, VstInt32, float value) { gVolume = value; }
float VSTCALL GetParameter(AEffect*, VstInt32) { return gVolume; }

// Sends this block's notes an octave up, then the sysex summary.
void Answer()
{
    if (gPendingCount == 0)
        return;
    static VstMidiEvent notes[kFixtureMaxEvents];
    static char dump[4];
    static VstMidiSysexEvent sysex;
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[kFixtureMaxEvents + 1];
    } list = {};
    for (int i = 0; i < gPendingCount; ++i) {
        const int status = static_cast<unsigned char>(gPending[i].midiData[0]) & 0xF0;
        if (status != 0x90 && status != 0x80)
            continue;
        notes[list.numEvents] = gPending[i];
        notes[list.numEvents].midiData[1] = static_cast<char>(gPending[i].midiData[1] + 12);
        list.events[list.numEvents] = reinterpret_cast<VstEvent*>(&notes[list.numEvents]);
        ++list.numEvents;
    }
    dump[0] = static_cast<char>(0xF0);
    dump[1] = 0x7D;
    dump[2] = static_cast<char>(gPendingCount);
    dump[3] = static_cast<char>(0xF7);
    sysex = {};
    sysex.type = kVstSysExType;
    sysex.byteSize = sizeof sysex - 8;
    sysex.dumpBytes = sizeof dump;
    sysex.sysexDump = dump;
    list.events[list.numEvents++] = reinterpret_cast<VstEvent*>(&sysex);
    CallHost(audioMasterProcessEvents, 0, 0, &list);
    gPendingCount = 0;
}

void VSTCALL ProcessReplacing(AEffect*, float**, float** outputs, VstInt32 frames)
{
    ++gProbe.ReplacingCalls;
    const VstIntPtr request = gSettings[kSetTimeRequest] != 0 ? gSettings[kSetTimeRequest] : 0xFF00;
    const auto* time = reinterpret_cast<const VstTimeInfo*>(CallHost(audioMasterGetTime, 0, request));
    ++gProbe.TimeQueries;
    if (time != nullptr)
        gProbe.LastTime = *time;
    for (int c = 0; c < 2; ++c)
        std::memset(outputs[c], 0, sizeof(float) * static_cast<std::size_t>(frames));
    Answer();
}

} // namespace

FIXTURE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    RecordEntry(host);
    InitEffect(gSynth, &Dispatch, 1, 1, 0, 2, effFlagsCanReplacing | effFlagsIsSynth, VstFourCC('P', 't', 'S', 'y'));
    gSynth.setParameter = &SetParameter;
    gSynth.getParameter = &GetParameter;
    gSynth.processReplacing = &ProcessReplacing;
    gEffect = &gSynth;
    return &gSynth;
}
