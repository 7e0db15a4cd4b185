// pelorin-host: a command-line host that runs one plugin through the bridge.
// It starts pelorin.exe, loads the plugin, prints its description and can
// process a WAV file (or a generated test tone) through it, with MIDI from a
// text or .mid file, and save and restore the plugin's state and VST2 preset
// files.

#include "BridgeHost.h"
#include "BridgeRecovery.h"
#include "BridgeLayouts.h"
#include "EditorWindow.h"
#include "MidiInput.h"
#include "Scan.h"
#include "Vst3Load.h"
#include "WavFile.h"
#include "WavePlot.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

const char kUsage[] =
    "usage: pelorin-host [options] <plugin module>\n"
    "       pelorin-host scan <folder>... [--json F] [-j N] [--timeout ms]   (scan --help)\n"
    "  --kind vst2|vst3    plugin format (default: vst3 for a .vst3 file or bundle folder, else vst2)\n"
    "  --bridge <exe>      the bridge program (default: pelorin.exe beside this program)\n"
    "  --in <file.wav>     process this file (16/24/32-bit PCM or 32-bit float)\n"
    "  --tone <seconds>    process a generated stereo test tone instead\n"
    "  --out <file.wav>    write the processed audio (32-bit float)\n"
    "  --rate <Hz>         sample rate of the test tone (default 44100)\n"
    "  --block <frames>    block size (default 512)\n"
    "  --midi <file>       MIDI events: a .mid file or text lines \"<frame|seconds>s <hex bytes>\"\n"
    "  --save-state <file> save the plugin's state after processing\n"
    "  --load-state <file> load a state into the plugin before processing\n"
    "  --save-preset <file> save a VST2 preset after processing: a bank for .fxb, else a program\n"
    "  --load-preset <file> load a VST2 preset (.fxp or .fxb) before processing\n"
    "  --preset-kind program|bank  what --save-preset writes, whatever the extension\n"
    "  --shell-id <id>     the sub-plugin of a shell to load\n"
    "  --plot <file.png>   draw the input and output waveforms and their levels\n"
    "  --class <n|name>    the class of a VST3 module with several (default: the first)\n"
    "  --list-classes      list the classes of a VST3 module and end\n"
    "  --quiet             no description, only errors and the summary\n"
    "  --recover           when the bridge dies or hangs while processing, start a new one,\n"
    "                      load the plugin again, restore the last fetched state and go on\n"
    "  --state-every <n>   with --recover: fetch the plugin's state every n blocks (default 100)\n"
    "  --reply-limit <ms>  how long one command may take before the bridge counts as hung\n"
    "                      (default 30000)\n";

struct TOptions {
    std::string Plugin;
    std::string Kind;
    std::string Bridge;
    std::string In, Out, Midi, SaveState, LoadState, Plot, SavePreset, LoadPreset, PresetKind;
    double ToneSeconds = 0;
    std::int32_t Rate = 44100;
    std::int32_t Block = 512;
    std::int32_t ShellId = 0;
    bool Quiet = false;
    TClassChoice Class;
    bool ListClasses = false;
    TEditorOptions Editor;
    bool Recover = false;
    std::int32_t StateEvery = 100;
    std::int32_t ReplyLimit = 30000;
};

[[noreturn]] void Fail(const std::string& message)
{
    std::fprintf(stderr, "pelorin-host: %s\n", message.c_str());
    std::fflush(stdout);
    std::exit(1);
}

bool ParseArgs(int argc, char** argv, TOptions& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Fail("option " + a + " needs a value");
            return argv[++i];
        };
        auto number = [&](double lo, double hi) {
            const std::string v = value();
            char* end = nullptr;
            const double d = std::strtod(v.c_str(), &end);
            if (end == v.c_str() || *end != '\0' || !(d >= lo && d <= hi))
                Fail("bad value \"" + v + "\" for " + a);
            return d;
        };
        if (a == "--kind") o.Kind = value();
        else if (a == "--bridge") o.Bridge = value();
        else if (a == "--in") o.In = value();
        else if (a == "--out") o.Out = value();
        else if (a == "--midi") o.Midi = value();
        else if (a == "--save-state") o.SaveState = value();
        else if (a == "--load-state") o.LoadState = value();
        else if (a == "--plot") o.Plot = value();
        else if (a == "--save-preset") o.SavePreset = value();
        else if (a == "--load-preset") o.LoadPreset = value();
        else if (a == "--preset-kind") o.PresetKind = value();
        else if (a == "--tone") o.ToneSeconds = number(0.001, 3600);
        else if (a == "--rate") o.Rate = static_cast<std::int32_t>(number(8000, 384000));
        else if (a == "--block") o.Block = static_cast<std::int32_t>(number(1, 65536));
        else if (a == "--shell-id") o.ShellId = static_cast<std::int32_t>(number(-2147483648.0, 2147483647.0));
        else if (a == "--quiet") o.Quiet = true;
        else if (a == "--class") o.Class = TClassChoice::Parse(value());
        else if (a == "--list-classes") o.ListClasses = true;
        else if (std::string error; TakeEditorOption(argc, argv, i, o.Editor, error)) {
            if (!error.empty())
                Fail(error);
        }
        else if (a == "--recover") o.Recover = true;
        else if (a == "--state-every") o.StateEvery = static_cast<std::int32_t>(number(1, 1e9));
        else if (a == "--reply-limit") o.ReplyLimit = static_cast<std::int32_t>(number(100, 3600000));
        else if (a == "--help" || a == "-h") return false;
        else if (!a.empty() && a[0] == '-') Fail("unknown option " + a);
        else if (o.Plugin.empty()) o.Plugin = a;
        else Fail("more than one plugin given");
    }
    return !o.Plugin.empty();
}

std::wstring Wide(const std::string& s)
{
    std::wstring w(s.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(),
                                      static_cast<int>(w.size()));
    w.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return w;
}

std::string FullPath(const std::string& path)
{
    char buf[MAX_PATH * 2];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof(buf), buf, nullptr);
    return n > 0 && n < sizeof(buf) ? std::string(buf, n) : path;
}

std::string DefaultBridge()
{
    char self[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameA(nullptr, self, sizeof(self));
    std::string dir(self, n);
    const std::size_t slash = dir.find_last_of("\\/");
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    return dir + "pelorin.exe";
}

std::string FieldString(const char* field, std::size_t size)
{
    const void* z = std::memchr(field, 0, size);
    return std::string(field, z ? static_cast<const char*>(z) - field : size);
}

void PrintDescription(const TDescriptionBlock& d)
{
    std::printf("Plugin:     %s\n", FieldString(d.Name, sizeof(d.Name)).c_str());
    std::printf("Vendor:     %s\n", FieldString(d.Vendor, sizeof(d.Vendor)).c_str());
    std::printf("Category:   %s\n", FieldString(d.Category, sizeof(d.Category)).c_str());
    std::printf("Version:    %s\n", FieldString(d.Version, sizeof(d.Version)).c_str());
    std::printf("Unique id:  0x%08X\n", static_cast<unsigned>(d.UniqueID));
    std::printf("Flags:      0x%08X%s%s%s%s\n", static_cast<unsigned>(d.PluginFlags), d.HasEditor ? " editor" : "",
                d.IsSynth ? " instrument" : "", d.AcceptsMidi ? " midi" : "", d.IsShell ? " shell" : "");
    std::printf("Latency:    %d samples\n", d.Latency);
    const int params = std::min(d.ParamCount, kMaxDescribedParams);
    std::printf("Parameters: %d\n", params);
    for (int i = 0; i < params; ++i) {
        const TParamRecord& p = d.Params[i];
        std::printf("  %4d  %-32s = %-12s %-8s (%.6f)\n", i, FieldString(p.Name, 32).c_str(),
                    FieldString(p.Display, 32).c_str(), FieldString(p.Label, 32).c_str(), p.Value);
    }
    const int programs = std::min(d.ProgramCount, kMaxDescribedPrograms);
    std::printf("Programs:   %d (current %d)\n", programs, d.CurrentProgram);
    for (int i = 0; i < programs; ++i)
        std::printf("  %4d  %s\n", i, FieldString(d.ProgramNames[i], 64).c_str());
    auto buses = [](const char* what, std::int32_t count, const TBusInfo* b, int limit) {
        count = std::min<std::int32_t>(count, limit);
        std::printf("%s %d\n", what, count);
        for (int i = 0; i < count; ++i) {
            const std::int32_t channels = b[i].Channels;
            std::printf("  %4d  %-32s %d channel(s)%s\n", i, FieldString(b[i].Name, 64).c_str(), channels,
                        b[i].DefaultActive ? "" : " (inactive)");
        }
    };
    buses("Input buses: ", d.InputBusCount, d.InputBuses, kMaxDescribedBuses);
    buses("Output buses:", d.OutputBusCount, d.OutputBuses, kMaxDescribedBuses);
    buses("Event inputs:", d.EventInputBusCount, d.EventInputBuses, kMaxDescribedEventBuses);
    buses("Event outputs:", d.EventOutputBusCount, d.EventOutputBuses, kMaxDescribedEventBuses);
}

struct TCounters {
    std::atomic<int> Sysex{0};
    std::atomic<int> Notices{0};
};

void SendOrFail(TSharedMemoryIntf& ch, std::uint32_t code, std::int64_t& result, std::int32_t index,
                std::vector<std::uint8_t>& data, std::int64_t dataSize, bool copyBack, const char* what)
{
    std::int64_t p1 = 0, p2 = 0;
    std::wstring text;
    if (!ch.SendCommandFull(code, result, index, 0, p1, p2, text, dataSize, static_cast<std::int64_t>(data.size()),
                            data.data(), copyBack))
        Fail(std::string("the bridge did not answer ") + what);
}

// State kinds of the save and load commands.
constexpr std::int32_t kStateKindPlugin = 0;
constexpr std::int32_t kStateKindProgramFile = 1;
constexpr std::int32_t kStateKindBankFile = 2;
constexpr std::int32_t kStateKindPreset = 3;

std::string LowerExtension(const std::string& path)
{
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// The bytes the bridge saves for one kind: the save, then the fetch of
// exactly that many bytes.
std::vector<std::uint8_t> SaveKind(TSharedMemoryIntf& ch, std::int32_t kind, const char* what)
{
    std::int64_t result = 0;
    std::vector<std::uint8_t> none(8, 0);
    SendOrFail(ch, kCmdSaveState, result, kind, none, 0, false, what);
    const std::uint32_t n = result > 0 ? static_cast<std::uint32_t>(result) : 0;
    std::vector<std::uint8_t> fetch(kFetchStateDataOffset + n, 0);
    std::memcpy(fetch.data(), &n, 4);
    SendOrFail(ch, kCmdFetchState, result, 0, fetch, 8, true, what);
    return std::vector<std::uint8_t>(fetch.begin() + kFetchStateDataOffset, fetch.end());
}

void LoadKind(TSharedMemoryIntf& ch, std::int32_t kind, const std::vector<std::uint8_t>& bytes, const char* what)
{
    std::int64_t result = 0;
    std::vector<std::uint8_t> frame(kStateFrameHeader + bytes.size());
    const std::uint64_t n = bytes.size();
    std::memcpy(frame.data(), &n, 8);
    if (!bytes.empty())
        std::memcpy(frame.data() + 8, bytes.data(), bytes.size());
    SendOrFail(ch, kCmdLoadState, result, kind, frame, static_cast<std::int64_t>(frame.size()), false, what);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "scan") == 0)
        return RunScan(argc - 1, argv + 1);
    TOptions o;
    if (!ParseArgs(argc, argv, o)) {
        std::fputs(kUsage, stderr);
        std::fputs(kEditorUsage, stderr);
        return 2;
    }
    if (o.Kind.empty())
        o.Kind = HasVst3Extension(o.Plugin) ? "vst3" : "vst2";
    if (o.Kind != "vst2" && o.Kind != "vst3")
        Fail("unknown plugin kind \"" + o.Kind + "\"");
    if (o.Kind != "vst3" && (o.Class.Given || o.ListClasses))
        Fail("--class and --list-classes apply to VST3 modules only");
    if (!o.PresetKind.empty() && o.PresetKind != "program" && o.PresetKind != "bank")
        Fail("unknown preset kind \"" + o.PresetKind + "\" (program or bank)");
    if ((!o.SavePreset.empty() || !o.LoadPreset.empty()) && o.Kind != "vst2")
        Fail("preset files are VST2 .fxp/.fxb files; this plugin is not a VST2 plugin");
    const bool presetAsBank = o.PresetKind.empty() ? LowerExtension(o.SavePreset) == ".fxb" : o.PresetKind == "bank";
    std::string pluginPath = FullPath(o.Plugin);
    if (GetFileAttributesA(pluginPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        Fail("no such plugin file: " + pluginPath);
    if (o.Kind == "vst3") {
        std::string module, error;
        if (!ResolveVst3Module(pluginPath, module, error))
            Fail(error);
        pluginPath = module;
    }
    const std::string bridge = o.Bridge.empty() ? DefaultBridge() : FullPath(o.Bridge);

    // Audio source.
    TWavData input;
    if (!o.In.empty()) {
        std::vector<std::uint8_t> bytes;
        std::string err;
        if (!ReadFileBytes(o.In, bytes))
            Fail("cannot read " + o.In);
        if (!ParseWav(bytes, input, err))
            Fail(o.In + ": " + err);
    } else if (o.ToneSeconds > 0) {
        input.SampleRate = o.Rate;
        const std::size_t frames = static_cast<std::size_t>(std::llround(o.ToneSeconds * o.Rate));
        input.Channels.assign(2, std::vector<float>(frames));
        for (std::size_t f = 0; f < frames; ++f) {
            input.Channels[0][f] = 0.5f * static_cast<float>(std::sin(2 * kPi * 440.0 * f / o.Rate));
            input.Channels[1][f] = 0.25f * static_cast<float>(std::sin(2 * kPi * 660.0 * f / o.Rate));
        }
    }
    const std::int32_t rate = input.SampleRate > 0 ? input.SampleRate : o.Rate;
    std::vector<TMidiMessage> midi;
    if (!o.Midi.empty()) {
        std::vector<std::uint8_t> bytes;
        std::string err;
        if (!ReadFileBytes(o.Midi, bytes))
            Fail("cannot read " + o.Midi);
        if (!ParseMidiInput(bytes, rate, midi, err))
            Fail(o.Midi + ": " + err);
    }

    TCounters counters;
    TBridgeHost::TOptions hostOptions;
    hostOptions.ReplyTimeoutMs = static_cast<DWORD>(o.ReplyLimit);
    hostOptions.OnHostCommand = [&counters](std::uint32_t code, std::int32_t& index, std::int32_t&, std::int64_t&,
                                            std::int64_t&, std::wstring& text, std::int64_t&, void*) -> std::int32_t {
        switch (code) {
        case kHostSysex: ++counters.Sysex; return 0;
        case kHostMessageBox: return 1; // IDOK
        case kHostShowMessage: std::fprintf(stderr, "plugin message: %ls\n", text.c_str()); return 0;
        case kHostToSamples:
        case kHostFromSamples: return index;
        default: ++counters.Notices; return 0;
        }
    };
    try {
        // The load request.
        auto loadBlock = std::make_unique<TLoadBlock>();
        TLoadBlock* load = loadBlock.get();
        std::memset(load, 0, sizeof(TLoadBlock));
        load->Kind = o.Kind == "vst3" ? kKindVst3Effect : kKindVst2;
        const std::string base = pluginPath.substr(pluginPath.find_last_of("\\/") + 1);
        std::strncpy(load->Name, base.c_str(), sizeof(load->Name) - 1);
        std::strncpy(load->FileName, pluginPath.c_str(), sizeof(load->FileName) - 1);
        if (o.ShellId != 0) {
            load->LoadFlags = kLoadShellSubPlugin;
            load->ShellId = o.ShellId;
        }
        load->Settings.SampleRate = rate;
        load->Settings.BlockSize = o.Block;
        load->Settings.Tempo = 120.0;
        load->Settings.StepsPerBar = 16;
        load->Settings.StepsPerBeat = 4;
        load->Settings.TicksPerBeat = 960;
        std::unique_ptr<TBridgeHost> host;
        std::unique_ptr<TBridgeRecovery> recovery;
        if (o.Kind == "vst3") {
            // The class is chosen through this first bridge, which then serves;
            // a recovery loads the class it settled on.
            host = std::make_unique<TBridgeHost>(hostOptions);
            host->Launch(Wide(bridge));
            host->WaitConnected(15000);
            std::memcpy(host->Channel().LoadBlock(), load, sizeof(TLoadBlock));
            std::vector<TVst3ClassEntry> classes;
            std::string error;
            const TVst3LoadResult r = LoadVst3(*host, o.Class, o.ListClasses, classes, error);
            if (r == TVst3LoadResult::Failed)
                Fail(error);
            if (r == TVst3LoadResult::Listed) {
                PrintVst3Classes(classes);
                host->Close();
                host->WaitClosed(5000);
                return 0;
            }
            const auto* chosen = static_cast<const TLoadBlock*>(host->Channel().LoadBlock());
            load->Kind = chosen->Kind;
            std::memcpy(load->ClassID, chosen->ClassID, sizeof load->ClassID);
            recovery = std::make_unique<TBridgeRecovery>(Wide(bridge), hostOptions, *load);
        } else {
            recovery = std::make_unique<TBridgeRecovery>(Wide(bridge), hostOptions, *load);
            host = recovery->Start();
        }
        const auto* description = static_cast<const TDescriptionBlock*>(host->Channel().DescriptionBlock());
        if (!o.Quiet)
            PrintDescription(*description);
        else
            std::printf("Plugin:     %s\n", FieldString(description->Name, sizeof(description->Name)).c_str());

        std::vector<std::int32_t> inBuses, outBuses;
        for (int i = 0; i < std::min(description->InputBusCount, kMaxDescribedBuses); ++i)
            inBuses.push_back(description->InputBuses[i].Channels);
        for (int i = 0; i < std::min(description->OutputBusCount, kMaxDescribedBuses); ++i)
            outBuses.push_back(description->OutputBuses[i].Channels);
        std::int32_t nIn = 0, nOut = 0;
        for (auto c : inBuses)
            nIn += c;
        for (auto c : outBuses)
            nOut += c;

        std::int64_t result = 0;
        if (!o.LoadState.empty()) {
            std::vector<std::uint8_t> state;
            if (!ReadFileBytes(o.LoadState, state))
                Fail("cannot read " + o.LoadState);
            LoadKind(host->Channel(), kStateKindPlugin, state, "the state load");
            recovery->RememberState(state, 0);
            std::printf("State loaded: %zu bytes from %s\n", state.size(), o.LoadState.c_str());
        }
        if (!o.LoadPreset.empty()) {
            std::vector<std::uint8_t> preset;
            if (!ReadFileBytes(o.LoadPreset, preset))
                Fail("cannot read " + o.LoadPreset);
            LoadKind(host->Channel(), kStateKindPreset, preset, "the preset load");
            std::printf("Preset loaded: %zu bytes from %s\n", preset.size(), o.LoadPreset.c_str());
        }
        if (!o.LoadState.empty() || !o.LoadPreset.empty()) {
            // The description shows what the plugin holds now.
            std::vector<std::uint8_t> none;
            SendOrFail(host->Channel(), kCmdRefreshDescription, result, 1 | 4, none, 0, false,
                       "the description refresh");
            if (!o.Quiet) {
                std::printf("After loading:\n");
                PrintDescription(*description);
            }
        }

        if (o.Editor.Show)
            RunEditor(*host, o.Editor);

        // The transport header shared by switching on and every block.
        TProcessBlock head{};
        head.Header.SampleRate = rate;
        head.Header.BlockSize = o.Block;
        head.Header.Tempo = 120.0;
        head.Header.TimeFormat = {16, 4, 960};
        for (std::size_t i = 0; i < inBuses.size() && i < 256; ++i)
            head.Header.InputBusActive[i / 32] |= 1u << (i % 32);
        for (std::size_t i = 0; i < outBuses.size() && i < 256; ++i)
            head.Header.OutputBusActive[i / 32] |= 1u << (i % 32);
        head.Header.ProcessFlags = 0x200;
        head.Header.Transport = kTransportPlaying | kTransportJumped;
        std::vector<std::uint8_t> data(sizeof(TProcessBlock));
        std::memcpy(data.data(), &head, sizeof(head));
        SendOrFail(host->Channel(), kCmdSetActive, result, 1, data, static_cast<std::int64_t>(data.size()), false,
                   "switching on");
        recovery->SetSwitchOn(data);
        std::uint64_t blocksLost = 0;

        const std::size_t total = input.Frames();
        if (total > 0 || !midi.empty()) {
            const std::size_t frames = total > 0 ? total : static_cast<std::size_t>(midi.back().Frame + o.Block);
            TWavData output;
            output.SampleRate = rate;
            output.Channels.assign(static_cast<std::size_t>(nOut), std::vector<float>(frames));
            const std::size_t audioBytes = static_cast<std::size_t>(nIn + nOut) * o.Block * 4;
            const std::size_t eventRoom = 4096;
            data.assign(sizeof(TProcessBlock) + audioBytes + eventRoom * sizeof(TBridgeEvent), 0);
            std::size_t nextMidi = 0, midiOut = 0, lastShown = 0;
            const DWORD started = GetTickCount();
            std::uint64_t blockIndex = 0;
            for (std::size_t pos = 0; pos < frames; pos += static_cast<std::size_t>(o.Block), ++blockIndex) {
                if (o.Recover && blockIndex % static_cast<std::uint64_t>(o.StateEvery) == 0 &&
                    !recovery->FetchState(*host, blockIndex))
                    std::fprintf(stderr, "pelorin-host: the state of block %llu could not be fetched\n",
                                 static_cast<unsigned long long>(blockIndex));
                const std::int32_t n = static_cast<std::int32_t>(std::min<std::size_t>(o.Block, frames - pos));
                head.Header.SongPosition = static_cast<std::int32_t>(pos);
                head.Header.Transport = kTransportPlaying | (pos == 0 ? kTransportJumped : 0);
                head.TimeInfo.PpqPos = static_cast<double>(pos) / rate * 2.0; // 120 BPM: two quarters a second
                head.Frames = n;
                head.EventOffset = static_cast<std::int32_t>(sizeof(TProcessBlock) + audioBytes);
                head.EventCount = 0;
                auto* events = reinterpret_cast<TBridgeEvent*>(data.data() + head.EventOffset);
                while (nextMidi < midi.size() && midi[nextMidi].Frame < static_cast<std::int64_t>(pos) + n &&
                       head.EventCount < static_cast<std::int32_t>(eventRoom)) {
                    TBridgeEvent& e = events[head.EventCount++];
                    std::memset(&e, 0, sizeof(e));
                    e.Type = kEventMidi;
                    e.DeltaFrames = static_cast<std::int32_t>(std::max<std::int64_t>(midi[nextMidi].Frame - static_cast<std::int64_t>(pos), 0));
                    e.Value1 = static_cast<std::int32_t>(midi[nextMidi].Packed);
                    ++nextMidi;
                }
                std::memcpy(data.data(), &head, sizeof(head));
                auto* audio = reinterpret_cast<float*>(data.data() + sizeof(TProcessBlock));
                for (std::int32_t c = 0; c < nIn; ++c) {
                    const auto& src = input.Channels.empty() ? std::vector<float>()
                                                             : input.Channels[static_cast<std::size_t>(c) % input.Channels.size()];
                    for (std::int32_t f = 0; f < n; ++f)
                        audio[c * n + f] = pos + f < src.size() ? src[pos + f] : 0.0f;
                }
                const std::int64_t sent = head.EventOffset + static_cast<std::int64_t>(head.EventCount) * 44;
                std::int64_t p1 = 0, p2 = 0;
                std::wstring noText;
                if (!host->Channel().SendCommandFull(kCmdProcess, result, 0, 0, p1, p2, noText, sent,
                                                     static_cast<std::int64_t>(data.size()), data.data(), true)) {
                    if (!o.Recover || recovery->Recoveries() >= 3)
                        Fail("the bridge did not answer an audio block (" + TBridgeRecovery::FailureOf(*host) + ")");
                    const TBridgeRecovery::TReport r = recovery->Recover(host, blockIndex);
                    blocksLost += r.BlocksLost;
                    std::printf("Recovered at block %llu: %s; new bridge in %.0f ms, ", 
                                static_cast<unsigned long long>(r.FailedBlock), r.Reason.c_str(), r.Milliseconds);
                    if (r.StateRestored)
                        std::printf("state of block %llu restored (%zu bytes), %llu blocks lost\n",
                                    static_cast<unsigned long long>(r.StateBlock), r.StateBytes,
                                    static_cast<unsigned long long>(r.BlocksLost));
                    else
                        std::printf("no state to restore, %llu blocks lost\n",
                                    static_cast<unsigned long long>(r.BlocksLost));
                    std::fflush(stdout);
                    continue; // this block's output stays silent
                }
                for (std::int32_t c = 0; c < nOut; ++c)
                    std::memcpy(output.Channels[c].data() + pos, audio + (nIn + c) * n, static_cast<std::size_t>(n) * 4);
                std::int32_t returned;
                std::memcpy(&returned, data.data() + offsetof(TProcessBlock, EventCount), 4);
                midiOut += static_cast<std::size_t>(std::max(returned, 0));
                if (frames > 10 * static_cast<std::size_t>(rate) && pos - lastShown >= frames / 10) {
                    lastShown = pos;
                    std::printf("  processed %zu of %zu frames (%zu%%)\n", pos + n, frames, (pos + n) * 100 / frames);
                    std::fflush(stdout);
                }
            }
            const DWORD ms = GetTickCount() - started;
            double peak = 0, sum = 0;
            for (const auto& c : output.Channels)
                for (float v : c) {
                    peak = std::max(peak, std::fabs(static_cast<double>(v)));
                    sum += static_cast<double>(v) * v;
                }
            const double rms = output.Channels.empty() ? 0 : std::sqrt(sum / (frames * output.Channels.size()));
            if (recovery->Recoveries() > 0)
                std::printf("Recoveries: %d, blocks lost in all: %llu\n", recovery->Recoveries(),
                            static_cast<unsigned long long>(blocksLost));
            std::printf("Processed %zu frames in %zu blocks of %d at %d Hz (%lu ms): %d in, %d out channels, "
                        "peak %.4f, rms %.4f, %zu MIDI events sent, %zu MIDI events and %d sysex received\n",
                        frames, (frames + o.Block - 1) / o.Block, o.Block, rate, static_cast<unsigned long>(ms), nIn,
                        nOut, peak, rms, nextMidi, midiOut, counters.Sysex.load());
            if (!o.Plot.empty()) {
                std::vector<TPlotTrack> tracks;
                if (input.Frames() > 0)
                    tracks.push_back({"Input", input.Channels});
                tracks.push_back({"Output", output.Channels});
                const std::vector<std::uint8_t> png = EncodePng(RenderWavePlot(tracks, rate));
                if (png.empty() || !WriteFileBytes(o.Plot, png))
                    Fail("cannot write " + o.Plot);
                std::printf("Wrote %s\n", o.Plot.c_str());
            }
            if (!o.Out.empty()) {
                if (!WriteFileBytes(o.Out, BuildFloatWav(output)))
                    Fail("cannot write " + o.Out);
                std::printf("Wrote %s\n", o.Out.c_str());
            }
        }
        data.assign(sizeof(TProcessBlock), 0);
        TSharedMemoryIntf& ch = host->Channel();
        SendOrFail(ch, kCmdSetActive, result, 0, data, static_cast<std::int64_t>(data.size()), false, "switching off");

        if (!o.SaveState.empty()) {
            const std::vector<std::uint8_t> state = SaveKind(ch, kStateKindPlugin, "the state save");
            if (!WriteFileBytes(o.SaveState, state))
                Fail("cannot write " + o.SaveState);
            std::printf("State saved: %zu bytes to %s\n", state.size(), o.SaveState.c_str());
        }
        if (!o.SavePreset.empty()) {
            const std::vector<std::uint8_t> preset =
                SaveKind(ch, presetAsBank ? kStateKindBankFile : kStateKindProgramFile, "the preset save");
            if (preset.empty())
                Fail("the plugin gave no preset");
            if (!WriteFileBytes(o.SavePreset, preset))
                Fail("cannot write " + o.SavePreset);
            std::printf("Preset saved (%s): %zu bytes to %s\n", presetAsBank ? "bank" : "program", preset.size(),
                        o.SavePreset.c_str());
        }

        host->Close();
        if (!host->WaitClosed(5000))
            std::fprintf(stderr, "pelorin-host: the bridge did not confirm the close\n");
        DWORD exitCode = 0;
        if (host->WaitProcessExit(5000, exitCode) && exitCode != 0)
            Fail("the bridge ended with exit code " + std::to_string(exitCode));
    } catch (const Exception& e) {
        Fail(e.Message());
    }
    return 0;
}
