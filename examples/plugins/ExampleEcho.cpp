// "Example Echo": a stereo ping-pong echo for the example job. The left input
// echoes on the right and back, each repeat softer and a little darker.
// Parameters: Time (50 ms to 1 s), Feedback (0 to 90 %), Mix (dry/wet).

#include "VST2Types.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#define EXAMPLE_EXPORT extern "C" __declspec(dllexport)

namespace {

enum { kTime, kFeedback, kMix, kParamCount };
const char* const kParamNames[kParamCount] = {"Time", "Feedback", "Mix"};
const float kDefaults[kParamCount] = {0.3f, 0.45f, 0.35f};

struct TEcho {
    AEffect Effect{};
    float Params[kParamCount];
    double Rate = 44100;
    std::vector<float> Line[2]; // one second and a bit per side
    std::size_t Write = 0;
    float Damp[2] = {0, 0};

    void Resize()
    {
        for (auto& l : Line)
            l.assign(static_cast<std::size_t>(Rate * 1.05) + 1, 0.0f);
        Write = 0;
        Damp[0] = Damp[1] = 0;
    }
    double Seconds() const { return 0.05 + 0.95 * Params[kTime]; }
};

TEcho* Self(AEffect* e) { return static_cast<TEcho*>(e->object); }

void VSTCALL ProcessReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames)
{
    TEcho& s = *Self(e);
    const std::size_t size = s.Line[0].size();
    const std::size_t delay = std::clamp<std::size_t>(static_cast<std::size_t>(s.Seconds() * s.Rate), 1, size - 1);
    const float feedback = 0.9f * s.Params[kFeedback];
    const float wet = s.Params[kMix], dry = 1.0f - 0.5f * wet;
    for (VstInt32 i = 0; i < frames; ++i) {
        const std::size_t read = (s.Write + size - delay) % size;
        const float inL = inputs[0][i], inR = inputs[1][i];
        const float tapL = s.Line[0][read], tapR = s.Line[1][read];
        s.Damp[0] += 0.35f * (tapR - s.Damp[0]); // the left line is fed from the right tap: ping-pong
        s.Damp[1] += 0.35f * (tapL - s.Damp[1]);
        s.Line[0][s.Write] = 0.5f * (inL + inR) + feedback * s.Damp[0];
        s.Line[1][s.Write] = feedback * s.Damp[1];
        s.Write = (s.Write + 1) % size;
        outputs[0][i] = dry * inL + wet * tapL;
        outputs[1][i] = dry * inR + wet * tapR;
    }
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

VstIntPtr VSTCALL Dispatch(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float opt)
{
    TEcho& s = *Self(e);
    switch (opcode) {
    case effClose: {
        // The object owns itself from the entry point on; the host lets go of
        // the effect here and touches nothing of it afterwards.
        const std::unique_ptr<TEcho> owned(&s);
        return 1;
    }
    case effSetSampleRate:
        if (opt > 0 && opt != s.Rate) {
            s.Rate = opt;
            s.Resize();
        }
        return 0;
    case effMainsChanged:
        s.Resize();
        return 0;
    case effGetProgramName: Copy(ptr, "Ping Pong", kVstMaxProgNameLen + 1); return 0;
    case effGetParamName:
        if (index >= 0 && index < kParamCount) Copy(ptr, kParamNames[index], kVstMaxParamStrLen + 1);
        return 0;
    case effGetParamDisplay:
        if (index >= 0 && index < kParamCount) {
            char text[16];
            if (index == kTime)
                std::snprintf(text, sizeof text, "%d", static_cast<int>(std::lround(s.Seconds() * 1000)));
            else
                std::snprintf(text, sizeof text, "%d", static_cast<int>(std::lround(s.Params[index] * 100)));
            Copy(ptr, text, kVstMaxParamStrLen + 1);
        }
        return 0;
    case effGetParamLabel:
        if (index >= 0 && index < kParamCount) Copy(ptr, index == kTime ? "ms" : "%", kVstMaxParamStrLen + 1);
        return 0;
    case effGetInputProperties:
    case effGetOutputProperties: {
        if (index < 0 || index >= 2) return 0;
        auto* p = static_cast<VstPinProperties*>(ptr);
        Copy(p->label, index == 0 ? "Left" : "Right", 64);
        p->flags = kVstPinIsActive | kVstPinIsStereo;
        return 1;
    }
    case effGetPlugCategory: return kPlugCategEffect;
    case effGetEffectName: Copy(ptr, "Example Echo", kVstMaxEffectNameLen); return 1;
    case effGetVendorString: Copy(ptr, "Pelorin examples", kVstMaxVendorStrLen); return 1;
    case effGetVendorVersion: return 1000;
    case effGetVstVersion: return 2400;
    default: return 0;
    }
}

} // namespace

EXAMPLE_EXPORT AEffect* VSTCALL VSTPluginMain(audioMasterCallback host)
{
    if (host == nullptr || host(nullptr, audioMasterVersion, 0, 0, nullptr, 0) == 0)
        return nullptr;
    auto s = std::make_unique<TEcho>();
    std::copy(std::begin(kDefaults), std::end(kDefaults), s->Params);
    s->Resize();
    AEffect& e = s->Effect;
    e.magic = kEffectMagic;
    e.dispatcher = &Dispatch;
    e.setParameter = &SetParameter;
    e.getParameter = &GetParameter;
    e.processReplacing = &ProcessReplacing;
    e.numPrograms = 1;
    e.numParams = kParamCount;
    e.numInputs = 2;
    e.numOutputs = 2;
    e.flags = effFlagsCanReplacing;
    e.uniqueID = VstFourCC('P', 'x', 'E', 'c');
    e.version = 1000;
    e.ioRatio = 1.0f;
    e.object = s.get();
    return &s.release()->Effect;
}
