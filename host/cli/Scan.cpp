#include "Scan.h"

#include "AudioPlug.h"
#include "BridgeHost.h"
#include "BridgeLayouts.h"
#include "Exception.h"

#include <windows.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TCandidate {
    std::string Path;  // the module to load
    bool Vst3 = false;
    std::int32_t ShellId = 0;
    std::string ShellName; // the sub-plugin's name in its shell's list
    // A class of a VST3 module with several: its kind and identifier.
    std::int32_t ClassKind = 0;
    std::uint8_t ClassID[16] = {};
};

struct TRow {
    std::string Path;
    std::string Format;  // "VST2", "VST3"
    std::string Status;  // "ok", "refused", "crashed", "hung"
    std::string Detail;  // why, for the other statuses
    std::string Kind;    // "effect", "instrument", "shell"
    std::string Name, Vendor, Version, Id;
    int AudioIns = 0, AudioOuts = 0, EventIns = 0, EventOuts = 0;
    int Params = 0, Programs = 0, Latency = 0;
    bool Editor = false;
    long LoadMs = 0;
};

std::string Field(const char* field, std::size_t size)
{
    const void* z = std::memchr(field, 0, size);
    return std::string(field, z ? static_cast<const char*>(z) - field : size);
}

std::wstring Wide(const std::string& s)
{
    std::wstring w(s.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, w.data(), static_cast<int>(w.size()));
    w.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
    return w;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A .vst3 bundle folder holds its module for this bitness in
// Contents/<architecture>-win/<name>.vst3.
std::string BundleModule(const fs::path& bundle)
{
    const char* arch = sizeof(void*) == 8 ? "x86_64-win" : "x86-win";
    const fs::path module = bundle / "Contents" / arch / bundle.filename();
    std::error_code ec;
    return fs::is_regular_file(module, ec) ? module.string() : std::string();
}

TCandidate Module(const std::string& path, bool vst3)
{
    TCandidate c;
    c.Path = path;
    c.Vst3 = vst3;
    return c;
}

void Collect(const fs::path& root, std::vector<TCandidate>& out)
{
    std::error_code ec;
    if (fs::is_regular_file(root, ec)) {
        const std::string ext = Lower(root.extension().string());
        if (ext == ".dll" || ext == ".vst3")
            out.push_back(Module(root.string(), ext == ".vst3"));
        return;
    }
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path& p = it->path();
        const std::string ext = Lower(p.extension().string());
        if (it->is_directory(ec) && ext == ".vst3") {
            const std::string module = BundleModule(p);
            if (!module.empty())
                out.push_back(Module(module, true));
            it.disable_recursion_pending(); // a bundle is one plugin
        } else if (it->is_regular_file(ec) && (ext == ".dll" || ext == ".vst3")) {
            out.push_back(Module(p.string(), ext == ".vst3"));
        }
    }
}

struct TScanOptions {
    std::string Bridge;
    DWORD TimeoutMs = 10000;
};

// Loads one candidate in a bridge of its own. Sub-plugins of a shell come
// back in `shell` for rows of their own.
TRow ScanOne(const TCandidate& c, const TScanOptions& o, std::vector<TCandidate>& shell)
{
    TRow row;
    row.Path = c.Path;
    row.Format = c.Vst3 ? "VST3" : "VST2";
    const auto started = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
    };
    TBridgeHost::TOptions hostOptions;
    hostOptions.ReplyTimeoutMs = o.TimeoutMs;
    hostOptions.OnHostCommand = [](std::uint32_t code, std::int32_t& index, std::int32_t&, std::int64_t&,
                                   std::int64_t&, std::wstring&, std::int64_t&, void*) -> std::int32_t {
        // A plugin that asks questions while it loads gets the neutral answers.
        if (code == kHostMessageBox)
            return 1;
        if (code == kHostToSamples || code == kHostFromSamples)
            return index;
        return 0;
    };
    TBridgeHost host(hostOptions);
    host.closeWaitMs = 1000;
    auto bridgeEnded = [&](std::string& why) {
        DWORD code = 0;
        if (!host.WaitProcessExit(200, code))
            return false;
        char text[64];
        std::snprintf(text, sizeof text, "the bridge ended with exit code 0x%08lX", static_cast<unsigned long>(code));
        why = text;
        return true;
    };
    try {
        host.Launch(Wide(o.Bridge));
        host.WaitConnected(o.TimeoutMs);
        auto* load = static_cast<TLoadBlock*>(host.Channel().LoadBlock());
        std::memset(load, 0, sizeof(TLoadBlock));
        load->Kind = c.Vst3 ? (c.ClassKind != 0 ? c.ClassKind : kKindVst3Effect) : kKindVst2;
        std::memcpy(load->ClassID, c.ClassID, sizeof load->ClassID); // zero: the module's only class
        const std::string base = fs::path(c.Path).filename().string();
        std::strncpy(load->Name, base.c_str(), sizeof(load->Name) - 1);
        std::strncpy(load->FileName, c.Path.c_str(), sizeof(load->FileName) - 1);
        if (c.ShellId != 0) {
            load->LoadFlags = kLoadShellSubPlugin;
            load->ShellId = c.ShellId;
        }
        load->Settings.SampleRate = 44100;
        load->Settings.BlockSize = 512;
        load->Settings.Tempo = 120.0;
        load->Settings.StepsPerBar = 16;
        load->Settings.StepsPerBeat = 4;
        load->Settings.TicksPerBeat = 960;
        host.PostCode(kCodeLoadPlugin, 0);
        std::uint32_t loaded = 0;
        try {
            loaded = host.WaitForCode(kCodePluginLoaded, o.TimeoutMs);
        } catch (const Exception&) {
            row.LoadMs = elapsed();
            std::string why;
            if (bridgeEnded(why)) {
                row.Status = "crashed";
                row.Detail = why + " while loading";
            } else if (host.CloseReason() != TBridgeHost::TCloseReason::None) {
                row.Status = "crashed";
                row.Detail = "the bridge closed while loading";
            } else {
                row.Status = "hung";
                row.Detail = "no answer within " + std::to_string(o.TimeoutMs) + " ms";
                TerminateProcess(host.Process(), 1);
            }
            return row;
        }
        row.LoadMs = elapsed();
        if (loaded != 1) {
            row.Status = "refused";
            row.Detail = "the bridge could not load it";
            host.Close();
            return row;
        }
        const auto* d = static_cast<const TDescriptionBlock*>(host.Channel().DescriptionBlock());
        row.Status = "ok";
        row.Name = Field(d->Name, sizeof d->Name);
        row.Vendor = Field(d->Vendor, sizeof d->Vendor);
        row.Version = Field(d->Version, sizeof d->Version);
        char id[40];
        if (c.Vst3) {
            std::string hex;
            for (std::uint8_t b : d->ClassID) {
                std::snprintf(id, sizeof id, "%02X", b);
                hex += id;
            }
            row.Id = hex;
        } else {
            std::snprintf(id, sizeof id, "0x%08X", static_cast<unsigned>(d->UniqueID));
            row.Id = id;
        }
        row.Kind = d->IsShell ? "shell" : d->IsSynth ? "instrument" : "effect";
        auto channels = [](std::int32_t count, const TBusInfo* buses, int limit) {
            int n = 0;
            for (int i = 0; i < std::clamp<std::int32_t>(count, 0, limit); ++i)
                n += std::max<std::int32_t>(buses[i].Channels, 0);
            return n;
        };
        row.AudioIns = channels(d->InputBusCount, d->InputBuses, kMaxDescribedBuses);
        row.AudioOuts = channels(d->OutputBusCount, d->OutputBuses, kMaxDescribedBuses);
        row.EventIns = std::clamp<std::int32_t>(d->EventInputBusCount, 0, kMaxDescribedEventBuses);
        row.EventOuts = std::clamp<std::int32_t>(d->EventOutputBusCount, 0, kMaxDescribedEventBuses);
        row.Params = d->ParamCount;
        row.Programs = d->ProgramCount;
        row.Latency = d->Latency;
        row.Editor = d->HasEditor != 0;
        // A VST2 shell lists its sub-plugins by id; a VST3 module with several
        // classes answers as a shell that lists them by class identifier.
        const bool subPlugin = c.ShellId != 0 || c.ClassKind != 0;
        if (d->IsShell && !subPlugin) {
            const int count = std::clamp<std::int32_t>(load->ShellCount, 0, kMaxShellEntries);
            for (int i = 0; i < count; ++i) {
                const TShellEntryRecord& e = load->Shell[i];
                TCandidate sub = Module(c.Path, c.Vst3);
                sub.ShellId = c.Vst3 ? 0 : e.Id;
                sub.ShellName = Field(e.Name, sizeof e.Name);
                if (c.Vst3) {
                    sub.ClassKind = e.Kind == kKindVst3Instrument ? kKindVst3Instrument : kKindVst3Effect;
                    std::memcpy(sub.ClassID, e.ClassID, sizeof sub.ClassID);
                }
                shell.push_back(sub);
            }
        }
        host.Close();
        if (!host.WaitClosed(2000)) {
            std::string why;
            if (!bridgeEnded(why))
                row.Detail = "the bridge did not confirm the close";
        }
    } catch (const Exception& e) {
        row.LoadMs = elapsed();
        std::string why;
        row.Status = bridgeEnded(why) ? "crashed" : "failed";
        row.Detail = why.empty() ? e.Message() : why;
    }
    return row;
}

std::string Pad(const std::string& s, std::size_t width)
{
    std::string t = s.size() > width ? s.substr(0, width - 1) + "~" : s;
    t.resize(width, ' ');
    return t;
}

void PrintTable(const std::vector<TRow>& rows)
{
    std::printf("%s %s %s %s %s %s %s %s %s %s %s %s %s %s\n", Pad("format", 6).c_str(), Pad("kind", 10).c_str(),
                Pad("name", 24).c_str(), Pad("vendor", 18).c_str(), Pad("version", 8).c_str(), Pad("id", 10).c_str(),
                "in  out  evin evout", Pad("params", 6).c_str(), Pad("progs", 5).c_str(), "ed",
                Pad("latency", 7).c_str(), Pad("load ms", 7).c_str(), Pad("status", 8).c_str(), "module");
    for (const TRow& r : rows) {
        if (r.Status == "ok") {
            std::printf("%s %s %s %s %s %s %3d %4d %4d %5d %6d %5d %s %7d %7ld %s %s%s%s\n", Pad(r.Format, 6).c_str(),
                        Pad(r.Kind, 10).c_str(), Pad(r.Name, 24).c_str(), Pad(r.Vendor, 18).c_str(),
                        Pad(r.Version, 8).c_str(), Pad(r.Id, 10).c_str(), r.AudioIns, r.AudioOuts, r.EventIns,
                        r.EventOuts, r.Params, r.Programs, r.Editor ? "yes" : "no ", r.Latency, r.LoadMs,
                        Pad(r.Status, 8).c_str(), r.Path.c_str(), r.Detail.empty() ? "" : "  ", r.Detail.c_str());
        } else {
            std::printf("%s %s %s %7ld %s %s  (%s)\n", Pad(r.Format, 6).c_str(), Pad("-", 10).c_str(),
                        Pad(fs::path(r.Path).filename().string(), 24 + 1 + 18 + 1 + 8 + 1 + 10 + 1 + 19 + 1 + 6 + 1 + 5 + 1 + 2 + 1 + 7).c_str(),
                        r.LoadMs, Pad(r.Status, 8).c_str(), r.Path.c_str(), r.Detail.c_str());
        }
    }
}

nlohmann::json ToJson(const std::vector<TRow>& rows)
{
    nlohmann::json all = nlohmann::json::array();
    for (const TRow& r : rows) {
        nlohmann::json j = {{"module", r.Path}, {"format", r.Format}, {"status", r.Status}, {"load_ms", r.LoadMs}};
        if (!r.Detail.empty())
            j["detail"] = r.Detail;
        if (r.Status == "ok") {
            j["kind"] = r.Kind;
            j["name"] = r.Name;
            j["vendor"] = r.Vendor;
            j["version"] = r.Version;
            j["id"] = r.Id;
            j["audio_inputs"] = r.AudioIns;
            j["audio_outputs"] = r.AudioOuts;
            j["event_inputs"] = r.EventIns;
            j["event_outputs"] = r.EventOuts;
            j["parameters"] = r.Params;
            j["programs"] = r.Programs;
            j["editor"] = r.Editor;
            j["latency"] = r.Latency;
        }
        all.push_back(std::move(j));
    }
    return all;
}

std::string DefaultBridge()
{
    char self[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameA(nullptr, self, sizeof(self));
    return (fs::path(std::string(self, n)).parent_path() / "pelorin.exe").string();
}

} // namespace

int RunScan(int argc, char** argv)
{
    CLI::App app{"Loads every VST2 (.dll) and VST3 (.vst3) plugin under the folders, each in a bridge of its own, "
                 "and prints one row per plugin",
                 "pelorin-host scan"};
    std::vector<std::string> roots;
    std::string json, bridge;
    int jobs = 1;
    int timeoutMs = 10000;
    bool quiet = false;
    app.add_option("folders", roots, "folders (or module files) to scan")->required();
    app.add_option("--json", json, "write the rows as JSON to this file");
    app.add_option("-j,--jobs", jobs, "bridges at once")->check(CLI::Range(1, 32));
    app.add_option("--timeout", timeoutMs, "time limit of one load in ms")->check(CLI::Range(100, 600000));
    app.add_option("--bridge", bridge, "the bridge program (default: pelorin.exe beside this program)");
    app.add_flag("-q,--quiet", quiet, "no progress lines");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    TScanOptions o;
    o.Bridge = bridge.empty() ? DefaultBridge() : bridge;
    o.TimeoutMs = static_cast<DWORD>(timeoutMs);
    std::vector<TCandidate> candidates;
    for (const std::string& r : roots) {
        std::error_code ec;
        if (!fs::exists(r, ec)) {
            std::fprintf(stderr, "pelorin-host: no such folder: %s\n", r.c_str());
            return 1;
        }
        Collect(r, candidates);
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const TCandidate& a, const TCandidate& b) { return Lower(a.Path) < Lower(b.Path); });

    // Workers take candidates in turn; a shell's sub-plugins join the queue.
    std::mutex lock;
    std::vector<TRow> rows;
    std::vector<TCandidate> queue = candidates;
    std::size_t next = 0, done = 0;
    auto worker = [&] {
        for (;;) {
            TCandidate c;
            {
                std::lock_guard<std::mutex> hold(lock);
                if (next >= queue.size())
                    return;
                c = queue[next++];
            }
            std::vector<TCandidate> shell;
            TRow row;
            try {
                row = ScanOne(c, o, shell);
            } catch (const std::exception& e) { // the host's own end could not be set up
                row.Path = c.Path;
                row.Format = c.Vst3 ? "VST3" : "VST2";
                row.Status = "failed";
                row.Detail = e.what();
            }
            if (row.Status == "ok" && !c.ShellName.empty() && row.Name.empty())
                row.Name = c.ShellName;
            std::lock_guard<std::mutex> hold(lock);
            ++done;
            if (!quiet)
                std::fprintf(stderr, "scan: [%zu/%zu] %s: %s (%ld ms)\n", done, queue.size() + shell.size(),
                             c.Path.c_str(), row.Status.c_str(), row.LoadMs);
            if (shell.empty()) // a shell is shown as its sub-plugins
                rows.push_back(std::move(row));
            queue.insert(queue.end(), shell.begin(), shell.end());
        }
    };
    // Workers end when the queue is empty; a shell found by the last busy
    // worker adds work after others ended, so keep starting rounds until
    // nothing is left.
    while (next < queue.size()) {
        std::vector<std::thread> threads;
        for (int i = 0; i < jobs; ++i)
            threads.emplace_back(worker);
        for (auto& t : threads)
            t.join();
    }
    std::sort(rows.begin(), rows.end(), [](const TRow& a, const TRow& b) {
        const std::string pa = Lower(a.Path), pb = Lower(b.Path);
        return pa != pb ? pa < pb : a.Name < b.Name;
    });
    PrintTable(rows);
    const auto count = [&](const char* status) {
        return std::count_if(rows.begin(), rows.end(), [&](const TRow& r) { return r.Status == status; });
    };
    std::printf("%zu modules, %zu rows: %td ok, %td refused, %td crashed, %td hung, %td failed\n", candidates.size(),
                rows.size(), count("ok"), count("refused"), count("crashed"), count("hung"), count("failed"));
    if (!json.empty()) {
        std::ofstream f(json, std::ios::binary);
        f << ToJson(rows).dump(2) << "\n";
        if (!f) {
            std::fprintf(stderr, "pelorin-host: cannot write %s\n", json.c_str());
            return 1;
        }
        std::printf("Wrote %s\n", json.c_str());
    }
    return 0;
}
