// The bridge's speed in figures, all from one run on this machine:
//   pelorinbench [--csv] [--blocks N] [--bridge <exe>] [--plugin <dll>]
//       per-block round trip (median, p99, max) through the bridge at 32, 64,
//       512 and 2048 frames, next to the same plugin processed in this
//       process and the bare two-event ping-pong between the same two
//       processes (the floor), interleaved round by round; the ratio of each
//       bridge row to its floor; the bridge's allocations per block; the
//       plugin's load time through the bridge and in this process.
//   pelorinbench --many [--bridges 32] [--blocks N] [--csv]
//       that many bridges at once from this process, each with its own
//       channel and plugin, 512-frame blocks, driven by one thread in turn and
//       by one thread per bridge, against as many concurrent floors.
// The bridge is the measured twin of pelorin (bench/MeasureHooks.cpp) unless
// --bridge names another; without the twin's hooks the floor and the
// allocation figures are left out.

#include "AllocationCounter.h"
#include "AudioBridge.h"
#include "BenchBridge.h"
#include "VSTPlug.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TArgs {
    bool Csv = false;
    bool Many = false;
    int Blocks = 2000;
    int Bridges = 32;
    std::wstring Bridge;
    std::string Plugin;
};

std::string Narrow(const std::wstring& w)
{
    std::string s;
    for (wchar_t c : w)
        s.push_back(static_cast<char>(c));
    return s;
}

std::string FullPathA(const std::string& p)
{
    char buf[MAX_PATH * 2];
    const DWORD n = GetFullPathNameA(p.c_str(), sizeof(buf), buf, nullptr);
    return n > 0 && n < sizeof(buf) ? std::string(buf, n) : p;
}

// ---------------------------------------------------------------------------
// In this process: the same plugin class and the same block handling as the
// bridge, without the channel.

class TLocal {
public:
    explicit TLocal(const std::string& plugin, std::int32_t maxFrames)
    {
        std::memset(&desc_, 0, sizeof(desc_));
        std::strncpy(desc_.FileName, plugin.c_str(), sizeof(desc_.FileName) - 1);
        const TPluginSettings settings{44100, maxFrames, 120.0, 16, 4, 960};
        const auto t0 = TBenchBridge::TClock::now();
        plugin_ = std::make_unique<TVSTPlugin>(&host_, &desc_, settings, 0);
        if (!plugin_->IsValid)
            throw std::runtime_error("the plugin does not load in this process");
        plugin_->UpdateInfo();
        LoadMs = std::chrono::duration<double, std::milli>(TBenchBridge::TClock::now() - t0).count();
        plugin_->SetActive(true);
        for (std::int32_t i = 0; i < plugin_->NumInputBuses; ++i)
            inputs_ += plugin_->InputBuses[i].Channels;
        for (std::int32_t i = 0; i < plugin_->NumOutputBuses; ++i)
            outputs_ += plugin_->OutputBuses[i].Channels;
    }
    ~TLocal() { plugin_->SetActive(false); }

    void Prepare(std::int32_t frames)
    {
        frames_ = frames;
        const std::size_t audio = static_cast<std::size_t>(inputs_ + outputs_) * static_cast<std::size_t>(frames) * 4;
        block_.assign(sizeof(TProcessBlock) + audio + 64 * sizeof(TBridgeEvent), 0);
        auto& h = *reinterpret_cast<TProcessBlock*>(block_.data());
        h.Header = {};
        h.Header.SampleRate = 44100;
        h.Header.BlockSize = frames;
        h.Header.Tempo = 120.0;
        h.Header.TimeFormat = {16, 4, 960};
        h.Header.ProcessFlags = 0x200;
        for (auto& w : h.Header.InputBusActive)
            w = 0xFFFFFFFFu;
        for (auto& w : h.Header.OutputBusActive)
            w = 0xFFFFFFFFu;
        h.Header.Transport = kTransportPlaying;
        h.Frames = frames;
        h.EventOffset = static_cast<std::int32_t>(sizeof(TProcessBlock) + audio);
        auto* in = reinterpret_cast<float*>(block_.data() + sizeof(TProcessBlock));
        for (std::size_t i = 0; i < static_cast<std::size_t>(inputs_) * frames; ++i)
            in[i] = 0.5f * std::sin(0.01f * static_cast<float>(i));
    }

    double TimedBlock()
    {
        auto& h = *reinterpret_cast<TProcessBlock*>(block_.data());
        h.EventCount = 0;
        h.Header.SongPosition += frames_;
        std::int64_t size = h.EventOffset;
        const auto t0 = TBenchBridge::TClock::now();
        const bool ok = audio_.Process(plugin_.get(), 0, block_.data(), size, static_cast<std::int64_t>(block_.size()));
        const auto t1 = TBenchBridge::TClock::now();
        return ok ? std::chrono::duration<double, std::micro>(t1 - t0).count() : -1.0;
    }

    double LoadMs = 0;

private:
    TBaseAudioPluginHost host_;
    TPluginDescription desc_;
    std::unique_ptr<TVSTPlugin> plugin_;
    TBridgeAudio audio_;
    std::vector<std::uint8_t> block_;
    std::int32_t frames_ = 0, inputs_ = 0, outputs_ = 0;
};

// All threads of a round start together. (std::barrier's waits poll with
// growing sleeps in this runtime, which would measure the sleeps.)
class TRoundBarrier {
public:
    explicit TRoundBarrier(int parties) : parties_(parties) {}
    void ArriveAndWait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const std::uint64_t generation = generation_;
        if (++arrived_ == parties_) {
            arrived_ = 0;
            ++generation_;
            changed_.notify_all();
            return;
        }
        changed_.wait(lock, [&] { return generation_ != generation; });
    }

private:
    const int parties_;
    int arrived_ = 0;
    std::uint64_t generation_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
};

double Median(std::vector<double> v)
{
    return Summarise(std::move(v)).Median;
}

void Push(std::vector<double>& v, double us, int& failures)
{
    if (us < 0)
        ++failures;
    else
        v.push_back(us);
}

// ---------------------------------------------------------------------------
// The table.

int RunTable(const TArgs& a)
{
    const int sizes[] = {32, 64, 512, 2048};
    const int perRound = 250;
    const int rounds = std::max(1, a.Blocks / perRound);
    int failures = 0;

    // Load times: five fresh bridges and five in-process loads.
    std::vector<double> bridgeStart, bridgeLoad, localLoad;
    for (int i = 0; i < 5; ++i) {
        TBenchBridge b(a.Bridge);
        const double load = b.Load(a.Plugin, 2048);
        bridgeStart.push_back(b.ConnectMs() + load);
        bridgeLoad.push_back(load);
        TLocal local(a.Plugin, 2048);
        localLoad.push_back(local.LoadMs);
    }

    TBenchBridge bridge(a.Bridge);
    bridge.Load(a.Plugin, 2048);
    TLocal local(a.Plugin, 2048);
    const bool floor = bridge.HasFloor();

    struct TRow {
        int Frames;
        TStats Bridge, Local, Floor;
        double AllocPerBlock = -1, HostAllocPerBlock = 0;
        bool OutputOk = false;
    };
    std::vector<TRow> rows;
    for (int frames : sizes) {
        bridge.PrepareBlock(frames);
        local.Prepare(frames);
        for (int i = 0; i < 300; ++i) { // warm-up: buffers, pages, caches, scheduler
            bridge.Block();
            local.TimedBlock();
            if (floor)
                bridge.Ping();
        }
        TRow row;
        row.Frames = frames;
        row.OutputOk = bridge.OutputIs(1.0f);
        std::vector<double> b, l, f;
        b.reserve(static_cast<std::size_t>(rounds * perRound));
        l.reserve(b.capacity());
        f.reserve(b.capacity());
        const std::int64_t allocBefore = bridge.Allocations();
        const std::size_t hostBefore = AllocationCount();
        // Alternating rounds, so that all three see the same machine state.
        for (int r = 0; r < rounds; ++r) {
            for (int i = 0; i < perRound; ++i)
                Push(b, bridge.TimedBlock(), failures);
            for (int i = 0; i < perRound; ++i)
                Push(l, local.TimedBlock(), failures);
            if (floor)
                for (int i = 0; i < perRound; ++i)
                    Push(f, bridge.TimedPing(), failures);
        }
        const std::int64_t allocAfter = bridge.Allocations();
        // The host side's own count covers the bridge blocks and the local
        // blocks alike; both should be zero.
        row.HostAllocPerBlock = static_cast<double>(AllocationCount() - hostBefore) / static_cast<double>(b.size() + l.size());
        if (allocBefore >= 0)
            row.AllocPerBlock = static_cast<double>(allocAfter - allocBefore) / static_cast<double>(b.size());
        row.Bridge = Summarise(b);
        row.Local = Summarise(l);
        row.Floor = Summarise(f);
        rows.push_back(row);
    }

    const std::string plugin = a.Plugin.substr(a.Plugin.find_last_of("\\/") + 1);
    if (a.Csv) {
        std::printf("format,plugin,frames,row,median_us,p99_us,max_us,count,ratio_median,ratio_p99,"
                    "bridge_allocs_per_block,host_allocs_per_block\n");
        for (const TRow& r : rows) {
            auto line = [&](const char* what, const TStats& s, bool ratio, bool allocs) {
                std::printf("vst2,%s,%d,%s,%.1f,%.1f,%.1f,%zu,", plugin.c_str(), r.Frames, what, s.Median, s.P99,
                            s.Max, s.Count);
                if (ratio && floor)
                    std::printf("%.3f,%.3f,", s.Median / r.Floor.Median, s.P99 / r.Floor.P99);
                else
                    std::printf(",,");
                if (allocs && r.AllocPerBlock >= 0)
                    std::printf("%.3f,%.3f\n", r.AllocPerBlock, r.HostAllocPerBlock);
                else
                    std::printf(",\n");
            };
            line("bridge", r.Bridge, true, true);
            line("in-process", r.Local, false, false);
            if (floor)
                line("floor", r.Floor, true, false);
        }
        for (int frames : sizes)
            std::printf("vst3,,%d,pending,,,,,,,,\n", frames);
        std::printf("vst2,%s,,load-bridge-ms,%.1f,,,5,,,,\n", plugin.c_str(), Median(bridgeLoad));
        std::printf("vst2,%s,,start-and-load-bridge-ms,%.1f,,,5,,,,\n", plugin.c_str(), Median(bridgeStart));
        std::printf("vst2,%s,,load-in-process-ms,%.1f,,,5,,,,\n", plugin.c_str(), Median(localLoad));
    } else {
        std::printf("Round trip per block, microseconds (%d blocks per row, %s, 2 in / 2 out channels)\n",
                    rounds * perRound, plugin.c_str());
        std::printf("%-6s %6s  %-10s %9s %9s %9s  %8s %8s  %s\n", "format", "frames", "row", "median", "p99", "max",
                    "x floor", "x fl.p99", "allocs/block (bridge, host)");
        for (const TRow& r : rows) {
            std::printf("%-6s %6d  %-10s %9.1f %9.1f %9.1f  ", "VST2", r.Frames, "bridge", r.Bridge.Median,
                        r.Bridge.P99, r.Bridge.Max);
            if (floor)
                std::printf("%8.2f %8.2f  ", r.Bridge.Median / r.Floor.Median, r.Bridge.P99 / r.Floor.P99);
            else
                std::printf("%8s %8s  ", "-", "-");
            if (r.AllocPerBlock >= 0)
                std::printf("%.3f, %.3f", r.AllocPerBlock, r.HostAllocPerBlock);
            else
                std::printf("-, %.3f", r.HostAllocPerBlock);
            std::printf("%s\n", r.OutputOk ? "" : "  OUTPUT WRONG");
            std::printf("%-6s %6d  %-10s %9.1f %9.1f %9.1f\n", "VST2", r.Frames, "in-process", r.Local.Median,
                        r.Local.P99, r.Local.Max);
            if (floor)
                std::printf("%-6s %6d  %-10s %9.1f %9.1f %9.1f  %8.2f %8.2f\n", "", r.Frames, "floor",
                            r.Floor.Median, r.Floor.P99, r.Floor.Max, 1.0, 1.0);
        }
        for (int frames : sizes)
            std::printf("%-6s %6d  %-10s (pending: no VST3 effect of ours is hosted yet)\n", "VST3", frames, "bridge");
        std::printf("\nPlugin load, median of 5 (ms): through the bridge %.1f (with starting the bridge %.1f), "
                    "in this process %.1f\n",
                    Median(bridgeLoad), Median(bridgeStart), Median(localLoad));
        if (!floor)
            std::printf("(the bridge serves no floor events: it is not the measured twin)\n");
        if (failures > 0)
            std::printf("FAILURES: %d blocks or pings failed\n", failures);
    }
    bool ok = failures == 0;
    for (const TRow& r : rows)
        ok = ok && r.OutputOk;
    return ok ? 0 : 1;
}

// ---------------------------------------------------------------------------
// Many bridges at once.

struct TManyResult {
    std::vector<TStats> Bridge, Floor;
    TStats AllBridge, AllFloor;
    int Failures = 0;
};

TManyResult Collect(std::vector<std::vector<double>>& b, std::vector<std::vector<double>>& f, int failures)
{
    TManyResult r;
    r.Failures = failures;
    std::vector<double> allB, allF;
    for (std::size_t i = 0; i < b.size(); ++i) {
        r.Bridge.push_back(Summarise(b[i]));
        r.Floor.push_back(Summarise(f[i]));
        allB.insert(allB.end(), b[i].begin(), b[i].end());
        allF.insert(allF.end(), f[i].begin(), f[i].end());
    }
    r.AllBridge = Summarise(std::move(allB));
    r.AllFloor = Summarise(std::move(allF));
    return r;
}

void PrintMany(const char* mode, const TManyResult& r, bool csv, double allocPerBlock)
{
    int within = 0;
    for (std::size_t i = 0; i < r.Bridge.size(); ++i)
        if (r.Bridge[i].Median <= 1.25 * r.Floor[i].Median)
            ++within;
    if (csv) {
        for (std::size_t i = 0; i < r.Bridge.size(); ++i)
            std::printf("%s,%zu,%.1f,%.1f,%.1f,%.1f,%.1f,%.1f,%.3f\n", mode, i, r.Bridge[i].Median, r.Bridge[i].P99,
                        r.Bridge[i].Max, r.Floor[i].Median, r.Floor[i].P99, r.Floor[i].Max,
                        r.Bridge[i].Median / r.Floor[i].Median);
        std::printf("%s,all,%.1f,%.1f,%.1f,%.1f,%.1f,%.1f,%.3f\n", mode, r.AllBridge.Median, r.AllBridge.P99,
                    r.AllBridge.Max, r.AllFloor.Median, r.AllFloor.P99, r.AllFloor.Max,
                    r.AllBridge.Median / r.AllFloor.Median);
        return;
    }
    std::printf("\n%s: %zu bridges, %zu blocks of 512 frames each\n", mode, r.Bridge.size(),
                r.Bridge.empty() ? std::size_t{0} : r.Bridge[0].Count);
    std::printf("%6s %9s %9s %9s   %9s %9s %9s   %7s\n", "bridge", "median", "p99", "max", "fl.med", "fl.p99",
                "fl.max", "x floor");
    for (std::size_t i = 0; i < r.Bridge.size(); ++i)
        std::printf("%6zu %9.1f %9.1f %9.1f   %9.1f %9.1f %9.1f   %7.2f\n", i, r.Bridge[i].Median, r.Bridge[i].P99,
                    r.Bridge[i].Max, r.Floor[i].Median, r.Floor[i].P99, r.Floor[i].Max,
                    r.Bridge[i].Median / r.Floor[i].Median);
    std::printf("%6s %9.1f %9.1f %9.1f   %9.1f %9.1f %9.1f   %7.2f\n", "all", r.AllBridge.Median, r.AllBridge.P99,
                r.AllBridge.Max, r.AllFloor.Median, r.AllFloor.P99, r.AllFloor.Max,
                r.AllBridge.Median / r.AllFloor.Median);
    std::printf("bridges with median <= 1.25 x their floor: %d of %zu; bridge-side allocations per block %.3f; "
                "failures %d\n",
                within, r.Bridge.size(), allocPerBlock, r.Failures);
}

int RunMany(const TArgs& a)
{
    const int n = a.Bridges;
    const int blocks = std::max(10, a.Blocks / 4);
    std::vector<std::unique_ptr<TBenchBridge>> bridges;
    for (int i = 0; i < n; ++i) {
        bridges.push_back(std::make_unique<TBenchBridge>(a.Bridge));
        bridges.back()->Load(a.Plugin, 512);
        if (!bridges.back()->HasFloor())
            throw std::runtime_error("the bridge serves no floor events: use the measured twin");
    }
    auto warm = [&] {
        for (auto& b : bridges)
            for (int i = 0; i < 100; ++i) {
                b->Block();
                b->Ping();
            }
    };
    auto allocs = [&] {
        std::int64_t sum = 0;
        for (auto& b : bridges)
            sum += b->Allocations();
        return sum;
    };
    warm();
    if (a.Csv)
        std::printf("mode,bridge,median_us,p99_us,max_us,floor_median_us,floor_p99_us,floor_max_us,ratio_median\n");

    // One thread drives them all in turn: a block through each, then a ping to each.
    {
        std::vector<std::vector<double>> b(static_cast<std::size_t>(n)), f(static_cast<std::size_t>(n));
        int failures = 0;
        const std::int64_t before = allocs();
        for (int r = 0; r < blocks; ++r) {
            for (int i = 0; i < n; ++i)
                Push(b[static_cast<std::size_t>(i)], bridges[static_cast<std::size_t>(i)]->TimedBlock(), failures);
            for (int i = 0; i < n; ++i)
                Push(f[static_cast<std::size_t>(i)], bridges[static_cast<std::size_t>(i)]->TimedPing(), failures);
        }
        const double perBlock = static_cast<double>(allocs() - before) / (static_cast<double>(blocks) * n);
        PrintMany(a.Csv ? "one-thread" : "One driving thread", Collect(b, f, failures), a.Csv, perBlock);
    }
    // One thread per bridge, all blocks at once, then all pings at once.
    {
        std::vector<std::vector<double>> b(static_cast<std::size_t>(n)), f(static_cast<std::size_t>(n));
        std::vector<int> failures(static_cast<std::size_t>(n), 0);
        TRoundBarrier sync(n);
        const std::int64_t before = allocs();
        std::vector<std::thread> threads;
        for (int i = 0; i < n; ++i)
            threads.emplace_back([&, i] {
                const auto k = static_cast<std::size_t>(i);
                b[k].reserve(static_cast<std::size_t>(blocks));
                f[k].reserve(static_cast<std::size_t>(blocks));
                for (int r = 0; r < blocks; ++r) {
                    sync.ArriveAndWait();
                    Push(b[k], bridges[k]->TimedBlock(), failures[k]);
                    sync.ArriveAndWait();
                    Push(f[k], bridges[k]->TimedPing(), failures[k]);
                }
            });
        for (auto& t : threads)
            t.join();
        int total = 0;
        for (int v : failures)
            total += v;
        const double perBlock = static_cast<double>(allocs() - before) / (static_cast<double>(blocks) * n);
        PrintMany(a.Csv ? "thread-per-bridge" : "One thread per bridge", Collect(b, f, total), a.Csv, perBlock);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    TArgs a;
    for (int i = 1; i < argc; ++i) {
        const std::string s = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (s == "--csv")
            a.Csv = true;
        else if (s == "--many")
            a.Many = true;
        else if (s == "--blocks")
            a.Blocks = std::max(250, std::atoi(value().c_str()));
        else if (s == "--bridges")
            a.Bridges = std::clamp(std::atoi(value().c_str()), 1, 64);
        else if (s == "--bridge") {
            const std::string v = FullPathA(value());
            a.Bridge.assign(v.begin(), v.end());
        } else if (s == "--plugin")
            a.Plugin = FullPathA(value());
        else {
            std::fprintf(stderr, "usage: pelorinbench [--csv] [--blocks N] [--many [--bridges N]] [--bridge exe] "
                                 "[--plugin dll]\n");
            return 2;
        }
    }
    if (a.Bridge.empty())
        a.Bridge = ProgramDirectory() + L"pelorin_measured.exe";
    if (a.Plugin.empty())
        a.Plugin = FullPathA(Narrow(BuildPath(L"fixtures\\vst2_gain.dll")));
    try {
        return a.Many ? RunMany(a) : RunTable(a);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pelorinbench: %s\n", e.what());
        return 1;
    }
}
