// The audio round trip through the real bridge while the description channel
// refreshes every parameter of a 4096-parameter plugin in a loop, next to the
// same round trip without the refresh, in one run. Prints median and 99th
// percentile of each, and how many refreshes ran during the measurement.
//   refreshbench [rounds] [bridge.exe]

#include "BridgeHost.h"
#include "BridgeLayouts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kBuild = PELORIN_BUILD_DIR;
constexpr int kFrames = 512;

double Percentile(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())));
    return v[i];
}

std::vector<std::uint8_t> StereoBlock()
{
    const std::size_t audio = 4u * kFrames * 4u;
    std::vector<std::uint8_t> d(sizeof(TProcessBlock) + audio + 16 * sizeof(TBridgeEvent));
    auto& h = *reinterpret_cast<TProcessBlock*>(d.data());
    h.Header.SampleRate = 44100;
    h.Header.BlockSize = kFrames;
    h.Header.Tempo = 120.0;
    h.Header.TimeFormat = {16, 4, 24};
    h.Header.Transport = kTransportPlaying;
    for (auto& w : h.Header.InputBusActive)
        w = 0xFFFFFFFFu;
    for (auto& w : h.Header.OutputBusActive)
        w = 0xFFFFFFFFu;
    h.Frames = kFrames;
    h.EventOffset = static_cast<std::int32_t>(sizeof(TProcessBlock) + audio);
    return d;
}

// Round trips in microseconds.
std::vector<double> Measure(TSharedMemoryIntf& ch, int rounds)
{
    std::vector<std::uint8_t> block = StereoBlock();
    const std::int64_t sent = reinterpret_cast<TProcessBlock*>(block.data())->EventOffset;
    std::vector<double> us;
    us.reserve(static_cast<std::size_t>(rounds));
    for (int i = 0; i < rounds; ++i) {
        std::int64_t result = 0, p1 = 0, p2 = 0;
        std::wstring text;
        reinterpret_cast<TProcessBlock*>(block.data())->EventCount = 0;
        const auto t0 = std::chrono::steady_clock::now();
        if (!ch.SendCommandFull(kCmdProcess, result, 0, 0, p1, p2, text, sent, static_cast<std::int64_t>(block.size()),
                                block.data(), true))
            break;
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    }
    return us;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(100, std::atoi(argv[1])) : 2000;
    std::wstring bridge;
    if (argc > 2) {
        const std::string b = argv[2];
        bridge.assign(b.begin(), b.end());
    } else {
        bridge = std::wstring(kBuild.begin(), kBuild.end()) + L"/dist/64bit/pelorin.exe";
    }
    const std::string plugin = kBuild + "/fixtures/vst2_hostile_many_params.dll";

    TBridgeHost::TOptions options;
    options.ReplyTimeoutMs = 30000;
    TBridgeHost host(options);
    host.Launch(bridge);
    host.WaitConnected(15000);
    auto* load = static_cast<TLoadBlock*>(host.Channel().LoadBlock());
    std::memset(load, 0, sizeof(TLoadBlock));
    load->Kind = kKindVst2;
    std::strncpy(load->Name, "many", sizeof(load->Name));
    std::strncpy(load->FileName, plugin.c_str(), sizeof(load->FileName) - 1);
    load->Settings = {44100, kFrames, 120.0, 16, 4, 24};
    host.PostCode(kCodeLoadPlugin, 0);
    if (host.WaitForCode(kCodePluginLoaded, 30000) != 1) {
        std::fprintf(stderr, "refreshbench: %s did not load\n", plugin.c_str());
        return 1;
    }
    const auto* desc = static_cast<const TDescriptionBlock*>(host.Channel().DescriptionBlock());

    Measure(host.Channel(), 100); // warm-up
    const std::vector<double> quiet = Measure(host.Channel(), rounds);

    std::atomic<bool> stop{false};
    std::atomic<int> refreshes{0};
    std::thread refresher([&] {
        while (!stop.load()) {
            std::int64_t result = 0, p1 = 0, p2 = 0;
            std::wstring text;
            if (!host.Channel().SendCommandFull(kCmdRefreshDescription, result, 1, 0, p1, p2, text, 0, 0, nullptr,
                                                false))
                break;
            ++refreshes;
        }
    });
    while (refreshes.load() == 0 && !stop.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // the loop is running
    const std::vector<double> busy = Measure(host.Channel(), rounds);
    const int during = refreshes.load();
    stop = true;
    refresher.join();

    if (quiet.empty() || busy.empty()) {
        std::fprintf(stderr, "refreshbench: the bridge stopped answering\n");
        return 1;
    }
    std::printf("plugin: %d parameters described; %d rounds of a %d-frame stereo block\n", desc->ParamCount, rounds,
                kFrames);
    std::printf("%-34s %10s %10s\n", "audio round trip (us)", "median", "p99");
    std::printf("%-34s %10.1f %10.1f\n", "without refresh", Percentile(quiet, 0.5), Percentile(quiet, 0.99));
    std::printf("%-34s %10.1f %10.1f\n", "with refresh loop", Percentile(busy, 0.5), Percentile(busy, 0.99));
    std::printf("full refreshes during the second run: %d\n", during);
    return 0;
}
