#pragma once
// What the TVSTPlugin tests share: a host that records what the plugin tells
// it, a sink for the trace lines, the fixture paths and the fixtures' probe.

#include "VSTPlug.h"

#include "FixtureProbe.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

// A host that records the calls a plugin makes and answers as configured.
class TRecordingHost : public TBaseAudioPluginHost {
public:
    struct TDisplay {
        std::int32_t What;
        bool Flag;
    };
    std::vector<std::pair<std::int32_t, float>> Params;
    std::vector<std::pair<std::int32_t, bool>> Midi;
    std::vector<std::vector<std::uint8_t>> Sysex;
    std::vector<TDisplay> Displays;
    std::vector<std::string> Messages;
    std::vector<bool> Locks;
    std::vector<std::int32_t> TimeRequests;
    int LatencyChanges = 0, IOChanges = 0, Idles = 0, Resizes = 0;

    // Answers.
    THostTimeInfo Time{};
    bool Resizable = true;
    bool Automatable = true;
    std::set<std::pair<std::int32_t, bool>> ConnectedPins;

    void ParamChanged(std::int32_t Index, float Value) override { Params.emplace_back(Index, Value); }
    void MidiOut(std::int32_t Msg, bool Flag) override { Midi.emplace_back(Msg, Flag); }
    void SysexOut(std::int32_t, std::int32_t Size, const void* Data) override
    {
        const auto* bytes = static_cast<const std::uint8_t*>(Data);
        Sysex.emplace_back(bytes, bytes + Size);
    }
    void UpdateDisplay(std::int32_t What, bool Flag) override { Displays.push_back({What, Flag}); }
    void ShowMessage(const std::string& Text, std::uint8_t Flag) override
    {
        Messages.push_back(Text + " [" + std::to_string(Flag) + "]");
    }
    void Lock(bool Locked) override { Locks.push_back(Locked); }
    void GetTimeInfo(std::int32_t Flags, THostTimeInfo& Info) override
    {
        TimeRequests.push_back(Flags);
        Info = Time;
    }
    void LatencyChanged(std::int32_t) override { ++LatencyChanges; }
    void IOChanged() override { ++IOChanges; }
    void Idle() override { ++Idles; }
    void EditorResized(bool) override { ++Resizes; }
    bool CanResizeEditor(bool) override { return Resizable; }
    bool CanAutomate(std::int32_t) override { return Automatable; }
    bool IsPinConnected(std::int32_t Index, bool IsInput) override { return ConnectedPins.count({Index, IsInput}) != 0; }
};

// One trace line.
struct TTraceLine {
    std::string Text;
    int Level;
    int Indent;
    bool operator==(const TTraceLine&) const = default;
};
std::ostream& operator<<(std::ostream& s, const TTraceLine& line);

// Records the trace lines of every TVSTPlugin while installed.
class TTraceRecorder : public TVSTTraceSink {
public:
    TTraceRecorder() { SetVSTTraceSink(this); }
    ~TTraceRecorder() override { SetVSTTraceSink(nullptr); }
    void Trace(const std::string& Text, std::uint8_t Level, std::int32_t Indent) override
    {
        Lines.push_back({Text, Level, Indent});
    }
    std::vector<std::string> Texts() const;
    int IndentSum() const;
    bool Has(const std::string& text) const;

    std::vector<TTraceLine> Lines;
};

// The path of a fixture module as the plugin's host would name it: Windows
// separators, from the fixture directory of this build.
std::string FixturePath(const std::string& name);

inline constexpr TPluginSettings kSettings{44100, 512, 120.0, 16, 4, 96};

TPluginDescription MakeDescription(const std::string& path, std::int32_t loadFlags = 0, std::int32_t shellId = 0,
                                   std::int32_t kind = kKindVst2);

// The fixture functions of a loaded module.
struct TFixture {
    explicit TFixture(HMODULE module);
    TFixtureProbe* Probe = nullptr;
    TFixtureCallHostProc CallHost = nullptr;
    TFixtureSetProc Set = nullptr;

    // The dispatcher calls recorded since Mark (or since loading).
    std::vector<TFixtureCall> CallsSince(int mark) const;
    std::vector<VstInt32> OpcodesSince(int mark) const;
    int Mark() const { return Probe->CallCount; }
};

// Holds a fixture module loaded ahead of the plugin, so that its settings can
// be made before the plugin loads it and its probe outlives the plugin.
class TPreloaded {
public:
    explicit TPreloaded(const std::string& path);
    TPreloaded(const TPreloaded&) = delete;
    TPreloaded& operator=(const TPreloaded&) = delete;
    TFixture Fixture() const { return TFixture(Module.Get()); }
    std::string Path;
    TOwnedModule Module;
};

// A loaded plugin with its host and its fixture functions.
struct TLoaded {
    explicit TLoaded(const std::string& fixtureName, std::int32_t loadFlags = 0, std::int32_t shellId = 0);
    TRecordingHost Host;
    std::unique_ptr<TVSTPlugin> Plugin;
    std::unique_ptr<TFixture> Fixture;
    VstIntPtr Call(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f)
    {
        return Fixture->CallHost(true, opcode, index, value, ptr, opt);
    }
};
