// "Example Synth": a small polyphonic instrument for the example job. Eight
// voices, each a band-limited saw mixed with a sine an octave below, shaped by
// an attack/decay/sustain/release envelope and a one-pole low-pass filter
// whose brightness follows the note's velocity. MIDI notes and sustain-free
// note-offs; stereo output with the voices spread slightly left and right.

#include "VST2Types.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#define EXAMPLE_EXPORT extern "C" __declspec(dllexport)

namespace {

constexpr double kTwoPi = 6.283185307179586;

enum { kVolume, kAttack, kRelease, kBrightness, kParamCount };
const char* const kParamNames[kParamCount] = {"Volume", "Attack", "Release", "Bright"};
const float kDefaults[kParamCount] = {0.6f, 0.05f, 0.35f, 0.6f};

struct TVoice {
    int Note = -1;       // -1: free
    double Phase = 0;    // saw phase, 0..1
    double SubPhase = 0; // sine an octave below
    double Step = 0;     // phase step per sample
    double Env = 0;      // envelope level
    int Stage = 0;       // 0 off, 1 attack, 2 decay/sustain, 3 release
    double Velocity = 0;
    double Lp = 0;       // filter state
    double Pan = 0.5;
    unsigned Age = 0;
};

struct TSynth {
    AEffect Effect{};
    audioMasterCallback Host = nullptr;
    float Params[kParamCount];
    double Rate = 44100;
    std::array<TVoice, 8> Voices{};
    unsigned Clock = 0;
    // Events of the current block, in order.
    struct TNote { int Delta, Status, Data1, Data2; };
    std::array<TNote, 512> Pending{};
    int PendingCount = 0;
};

TSynth* Self(AEffect* e) { return static_cast<TSynth*>(e->object); }

// PolyBLEP: removes most of the aliasing of a naive saw at its jump.
double Blep(double t, double dt)
{
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

void NoteOn(TSynth& s, int note, int velocity)
{
    TVoice* v = nullptr;
    for (auto& c : s.Voices)
        if (c.Stage == 0) { v = &c; break; }
    if (v == nullptr) // steal the oldest
        v = &*std::min_element(s.Voices.begin(), s.Voices.end(),
                               [](const TVoice& a, const TVoice& b) { return a.Age < b.Age; });
    const double freq = 440.0 * std::pow(2.0, (note - 69) / 12.0);
    *v = TVoice{};
    v->Note = note;
    v->Step = freq / s.Rate;
    v->Stage = 1;
    v->Velocity = velocity / 127.0;
    v->Pan = 0.5 + 0.35 * std::sin(note * 1.7);
    v->Age = ++s.Clock;
}

void NoteOff(TSynth& s, int note)
{
    for (auto& v : s.Voices)
        if (v.Note == note && v.Stage != 0 && v.Stage != 3)
            v.Stage = 3;
}

void Render(TSynth& s, float* left, float* right, int from, int to)
{
    const double attack = 1.0 / (s.Rate * (0.002 + 2.0 * s.Params[kAttack] * s.Params[kAttack]));
    const double release = 1.0 / (s.Rate * (0.01 + 3.0 * s.Params[kRelease] * s.Params[kRelease]));
    const double decay = 1.0 / (s.Rate * 0.3);
    const double sustain = 0.6;
    const double volume = 0.5 * s.Params[kVolume];
    for (auto& v : s.Voices) {
        if (v.Stage == 0)
            continue;
        const double cutoff = std::min(0.45, v.Step * (2.0 + 30.0 * s.Params[kBrightness] * v.Velocity));
        const double k = 1.0 - std::exp(-kTwoPi * cutoff);
        for (int i = from; i < to; ++i) {
            switch (v.Stage) {
            case 1: v.Env += attack; if (v.Env >= 1.0) { v.Env = 1.0; v.Stage = 2; } break;
            case 2: v.Env += (sustain - v.Env) * decay * 4.0; break;
            case 3: v.Env -= release; if (v.Env <= 0.0) { v.Env = 0.0; v.Stage = 0; v.Note = -1; } break;
            }
            double saw = 2.0 * v.Phase - 1.0 - Blep(v.Phase, v.Step);
            const double sub = std::sin(kTwoPi * v.SubPhase);
            v.Phase += v.Step;
            if (v.Phase >= 1.0) v.Phase -= 1.0;
            v.SubPhase += v.Step * 0.5;
            if (v.SubPhase >= 1.0) v.SubPhase -= 1.0;
            v.Lp += k * (0.7 * saw + 0.5 * sub - v.Lp);
            const double out = v.Lp * v.Env * v.Velocity * volume;
            left[i] += static_cast<float>(out * (1.0 - v.Pan) * 2.0 * 0.7);
            right[i] += static_cast<float>(out * v.Pan * 2.0 * 0.7);
            if (v.Stage == 0)
                break;
        }
    }
}

void VSTCALL ProcessReplacing(AEffect* e, float**, float** outputs, VstInt32 frames)
{
    TSynth& s = *Self(e);
    std::fill(outputs[0], outputs[0] + frames, 0.0f);
    std::fill(outputs[1], outputs[1] + frames, 0.0f);
    int pos = 0;
    for (int i = 0; i < s.PendingCount; ++i) {
        const auto& n = s.Pending[i];
        const int at = std::clamp(n.Delta, pos, static_cast<int>(frames));
        Render(s, outputs[0], outputs[1], pos, at);
        pos = at;
        if (n.Status == 0x90 && n.Data2 > 0) NoteOn(s, n.Data1, n.Data2);
        else if (n.Status == 0x80 || n.Status == 0x90) NoteOff(s, n.Data1);
        else if (n.Status == 0xB0 && (n.Data1 == 120 || n.Data1 == 123))
            for (auto& v : s.Voices) v.Stage = v.Stage ? 3 : 0;
    }
    Render(s, outputs[0], outputs[1], pos, frames);
    s.PendingCount = 0;
}

void VSTCALL SetParameter(AEffect* e, VstInt32 index, float value)
{
    if (index >= 0 && index < kParamCount)
        Self(e)->Params[index] = std::clamp(value, 0.0f, 1.0f);
}

float VSTCALL GetParameter(AEffect* e, VstInt32 index)
{
    return index >= 0 && index < kParamCount ? Self(e)->Params[index] : 0.0f;
}

void Copy(void* ptr, const char* text, std::size_t size)
{
    std::snprintf(static_cast<char*>(ptr), size, "%s", text);
}

VstIntPtr VSTCALL Dispatch(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    TSynth& s = *Self(e);
    switch (opcode) {
    case effClose: {
        // The object owns itself from the entry point on; the host lets go of
        // the effect here and touches nothing of it afterwards.
        const std::unique_ptr<TSynth> owned(&s);
        return 1;
    }
    case effSetSampleRate:
        if (opt > 0) s.Rate = opt;
        return 0;
    case effMainsChanged:
        if (value != 0 && s.Host != nullptr)
            s.Host(e, audioMasterWantMidi, 0, 1, nullptr, 0);
        for (auto& v : s.Voices) v = TVoice{};
        return 0;
    case effProcessEvents: {
        const auto* events = static_cast<const VstEvents*>(ptr);
        s.PendingCount = 0;
        for (VstInt32 i = 0; i < events->numEvents && s.PendingCount < static_cast<int>(s.Pending.size()); ++i) {
            const VstEvent* ev = events->events[i];
            if (ev == nullptr || ev->type != kVstMidiType)
                continue;
            const auto* m = reinterpret_cast<const VstMidiEvent*>(ev);
            s.Pending[s.PendingCount++] = {m->deltaFrames, static_cast<unsigned char>(m->midiData[0]) & 0xF0,
                                           m->midiData[1] & 0x7F, m->midiData[2] & 0x7F};
        }
        std::stable_sort(s.Pending.begin(), s.Pending.begin() + s.PendingCount,
                         [](const TSynth::TNote& a, const TSynth::TNote& b) { return a.Delta < b.Delta; });
        return 1;
    }
    case effGetProgramName: Copy(ptr, "Soft Saw", kVstMaxProgNameLen + 1); return 0;
    case effGetParamName:
        if (index >= 0 && index < kParamCount) Copy(ptr, kParamNames[index], kVstMaxParamStrLen + 1);
        return 0;
    case effGetParamDisplay:
        if (index >= 0 && index < kParamCount) {
            char text[16];
            std::snprintf(text, sizeof text, "%d%%", static_cast<int>(std::lround(s.Params[index] * 100)));
            Copy(ptr, text, kVstMaxParamStrLen + 1);
        }
        return 0;
    case effGetOutputProperties: {
        if (index < 0 || index >= 2) return 0;
        auto* p = static_cast<VstPinProperties*>(ptr);
        Copy(p->label, index == 0 ? "Left" : "Right", 64);
        p->flags = kVstPinIsActive | kVstPinIsStereo;
        return 1;
    }
    case effGetPlugCategory: return kPlugCategSynth;
    case effGetEffectName: Copy(ptr, "Example Synth", kVstMaxEffectNameLen); return 1;
    case effGetVendorString: Copy(ptr, "Pelorin examples", kVstMaxVendorStrLen); return 1;
    case effGetVendorVersion: return 1000;
    case effGetVstVersion: return 2400;
    case effCanDo:
        return std::strcmp(static_cast<const char*>(ptr), "receiveVstMidiEvent") == 0 ||
                       std::strcmp(static_cast<const char*>(ptr), "receiveVstEvents") == 0
                   ? 1 : 0;
    default: return 0;
    }
}

} // namespace

EXAMPLE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    if (host == nullptr || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0) == 0)
        return nullptr;
    auto s = std::make_unique<TSynth>();
    s->Host = host;
    std::copy(std::begin(kDefaults), std::end(kDefaults), s->Params);
    AEffect& e = s->Effect;
    e.magic = kEffectMagic;
    e.dispatcher = &Dispatch;
    e.setParameter = &SetParameter;
    e.getParameter = &GetParameter;
    e.processReplacing = &ProcessReplacing;
    e.numPrograms = 1;
    e.numParams = kParamCount;
    e.numInputs = 0;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing | effFlagsIsSynth;
    e.uniqueID = VstFourCC('P', 'x', 'S', 'y');
    e.version = 1000;
    e.ioRatio = 1.0f;
    e.object = s.get();
    return &s.release()->Effect;
}
