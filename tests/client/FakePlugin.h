#pragma once
// A format-neutral plugin whose answers the tests set and whose calls they
// record: the stand-in for a loaded plugin behind the bridge client.

#include "AudioPlug.h"

#include <cstring>
#include <string>
#include <vector>

class TFakePlugin : public TBaseAudioPlugin {
public:
    explicit TFakePlugin(TAudioPluginHostIf* host = nullptr) : TBaseAudioPlugin(host, nullptr, Settings0()) {}

    static TPluginSettings Settings0()
    {
        TPluginSettings s{};
        s.SampleRate = 44100;
        s.BlockSize = 512;
        s.Tempo = 120.0;
        s.StepsPerBar = 16;
        s.StepsPerBeat = 4;
        s.TicksPerBeat = 24;
        return s;
    }

    // Buses: channel counts per input and output bus.
    void SetBuses(const std::vector<int>& in, const std::vector<int>& out)
    {
        SetBusCount(true, static_cast<std::int32_t>(in.size()));
        SetBusCount(false, static_cast<std::int32_t>(out.size()));
        for (std::size_t i = 0; i < in.size(); ++i)
            FillBus(InputBuses[i], "in", i, in[i]);
        for (std::size_t i = 0; i < out.size(); ++i)
            FillBus(OutputBuses[i], "out", i, out[i]);
    }

    std::string ParamName(std::int32_t i) const { return LongNames ? std::string(40, 'N') : "Param " + std::to_string(i); }

    void GetParamName(std::int32_t i, std::string& s) override { s = ParamName(i); }
    void GetParamLabel(std::int32_t i, std::string& s) override { s = "dB" + std::to_string(i % 10); }
    void GetParamDisplay(std::int32_t i, bool, std::u16string& s) override
    {
        std::string a = std::to_string(i * 2);
        s.assign(a.begin(), a.end());
    }
    float GetParamValue(std::int32_t i) override
    {
        ++ValueReads;
        return i < static_cast<std::int32_t>(Values.size()) ? Values[i] : static_cast<float>(i) / 10000.0f;
    }
    void SetParamValue(std::int32_t i, bool refresh, float v, bool notify) override
    {
        Calls.push_back("param " + std::to_string(i) + " " + std::to_string(v) + (refresh ? " r" : "") +
                        (notify ? " n" : ""));
    }
    std::int32_t GetCurrentProgram() override { return 3; }
    void GetProgramName(std::int32_t i, std::int32_t, std::string& s) override { s = "Program " + std::to_string(i); }
    void GetMidiKeyName(std::int32_t k, std::string& s) override { s = k == 60 ? "Middle C" : ""; }
    void GetVersionString(std::string& s) override { s = "1.2.3"; }
    void GetCategoryString(std::string& s) override { s = "Fx|Delay"; }
    std::int32_t GetUniqueID() override { return 0x41424344; }

    void MidiMessage(std::int32_t port, std::int32_t msg, std::int32_t delta) override
    {
        Calls.push_back("midi " + std::to_string(port) + " " + std::to_string(msg) + " @" + std::to_string(delta));
    }
    void NoteOn(std::int32_t port, std::uint8_t vel, std::int64_t id, float pitch, float pitch2, std::uint8_t ch,
                std::int32_t len, bool rt, std::int32_t delta, std::int32_t) override
    {
        Calls.push_back("on " + std::to_string(port) + " v" + std::to_string(vel) + " id" + std::to_string(id) + " p" +
                        std::to_string(pitch) + "/" + std::to_string(pitch2) + " c" + std::to_string(ch) + " l" +
                        std::to_string(len) + (rt ? " rt" : "") + " @" + std::to_string(delta));
    }
    void NoteOff(std::int32_t port, std::uint8_t vel, std::int64_t id, float pitch, std::uint8_t ch, bool rt,
                 std::int32_t delta) override
    {
        Calls.push_back("off " + std::to_string(port) + " v" + std::to_string(vel) + " id" + std::to_string(id) +
                        " p" + std::to_string(pitch) + " c" + std::to_string(ch) + (rt ? " rt" : "") + " @" +
                        std::to_string(delta));
    }
    void PitchBend(std::int32_t port, std::uint8_t ch, std::int32_t cents, std::int32_t delta) override
    {
        Calls.push_back("bend " + std::to_string(port) + " c" + std::to_string(ch) + " " + std::to_string(cents) + " @" +
                        std::to_string(delta));
    }
    void SetPitchBendRange(std::int32_t st) override { Calls.push_back("range " + std::to_string(st)); }
    void SetBusActive(bool in, std::int32_t i, bool a) override
    {
        Calls.push_back(std::string("bus ") + (in ? "in " : "out ") + std::to_string(i) + (a ? " on" : " off"));
        TBaseAudioPlugin::SetBusActive(in, i, a);
    }
    void SetSampleRate(std::int32_t r) override
    {
        Calls.push_back("rate " + std::to_string(r));
        TBaseAudioPlugin::SetSampleRate(r);
    }
    void SetPlaying(bool p) override
    {
        Calls.push_back(p ? "play" : "stop");
        TBaseAudioPlugin::SetPlaying(p);
    }
    void Reset() override { Calls.push_back("reset"); }

    // Output channel c (overall index) = input channel (c mod inputs) * 2 + c.
    void Process(float** in, float** out, std::int32_t frames) override
    {
        Calls.push_back("process " + std::to_string(frames));
        const std::size_t nIn = TotalChannels(InputBuses, NumInputBuses);
        const std::size_t nOut = TotalChannels(OutputBuses, NumOutputBuses);
        for (std::size_t c = 0; c < nOut; ++c)
            for (std::int32_t f = 0; f < frames; ++f)
                out[c][f] = (nIn ? in[c % nIn][f] * 2.0f : 0.0f) + static_cast<float>(c);
    }
    void ProcessBuses(float** in, float** out, std::int32_t frames) override
    {
        Calls.push_back("buses " + std::to_string(frames));
        for (std::int32_t b = 0; b < NumOutputBuses; ++b)
            for (std::int32_t s = 0; s < OutputBuses[b].Channels * frames; ++s)
                out[b][s] = (NumInputBuses ? in[0][s % (InputBuses[0].Channels * frames)] : 0.0f) + 100.0f * b;
    }

    std::vector<std::string> Calls;
    std::vector<float> Values;
    bool LongNames = false;
    int ValueReads = 0;

private:
    static std::size_t TotalChannels(const std::vector<TBusInfo>& b, std::int32_t n)
    {
        std::size_t t = 0;
        for (std::int32_t i = 0; i < n; ++i)
            t += static_cast<std::size_t>(b[i].Channels);
        return t;
    }
    static void FillBus(TBusInfo& b, const char* prefix, std::size_t i, int channels)
    {
        std::memset(&b, 0, sizeof(b));
        std::string n = std::string(prefix) + std::to_string(i);
        std::memcpy(b.Name, n.c_str(), n.size());
        b.Channels = channels;
        b.DefaultActive = true;
    }
};
