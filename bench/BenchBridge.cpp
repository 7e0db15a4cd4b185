#include "BenchBridge.h"

#include "Exception.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cmath>
#include <cstring>

std::wstring ProgramDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path);
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

std::wstring BuildPath(const std::wstring& relative)
{
    // The programs of this directory live one level below the build directory.
    return ProgramDirectory() + L"..\\" + relative;
}

TStats Summarise(std::vector<double> v)
{
    TStats s;
    s.Count = v.size();
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    auto at = [&](double q) {
        return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size())))];
    };
    s.Median = at(0.5);
    s.P99 = at(0.99);
    s.Max = v.back();
    return s;
}

TProcessFigures ProcessFiguresOf(HANDLE process)
{
    TProcessFigures f;
    GetProcessHandleCount(process, &f.Handles);
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc)))
        f.PrivateBytes = pmc.PrivateUsage;
    const DWORD pid = GetProcessId(process);
    TOwnedHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (snap) {
        THREADENTRY32 te = {};
        te.dwSize = sizeof(te);
        for (BOOL ok = Thread32First(snap.Get(), &te); ok; ok = Thread32Next(snap.Get(), &te))
            if (te.th32OwnerProcessID == pid)
                ++f.Threads;
    }
    return f;
}

TBenchBridge::TBenchBridge(const std::wstring& bridge, DWORD replyTimeoutMs)
{
    TBridgeHost::TOptions o;
    o.ReplyTimeoutMs = replyTimeoutMs;
    host_ = std::make_unique<TBridgeHost>(o);
    request_.Reset(CreateEventW(nullptr, FALSE, FALSE, (host_->BaseName() + L"_pp_0").c_str()));
    reply_.Reset(CreateEventW(nullptr, FALSE, FALSE, (host_->BaseName() + L"_pp_1").c_str()));
    figuresRequest_.Reset(CreateEventW(nullptr, FALSE, FALSE, (host_->BaseName() + L"_fig_0").c_str()));
    figuresReply_.Reset(CreateEventW(nullptr, FALSE, FALSE, (host_->BaseName() + L"_fig_1").c_str()));
    const auto t0 = TClock::now();
    host_->Launch(bridge);
    host_->WaitConnected(30000);
    connectMs_ = std::chrono::duration<double, std::milli>(TClock::now() - t0).count();
    const std::wstring name = L"PelorinAllocations_" + std::to_wstring(host_->ProcessId());
    allocMapping_.Reset(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
    if (allocMapping_) {
        allocView_ = MapViewOfFile(allocMapping_.Get(), FILE_MAP_READ, 0, 0, 32);
        allocCount_ = static_cast<const volatile std::uint64_t*>(allocView_);
    }
    text_.reserve(300);
}

TBenchBridge::~TBenchBridge()
{
    if (allocView_ != nullptr)
        UnmapViewOfFile(allocView_);
}

double TBenchBridge::Load(const std::string& plugin, std::int32_t maxFrames)
{
    auto* load = static_cast<TLoadBlock*>(Channel().LoadBlock());
    std::memset(load, 0, sizeof(TLoadBlock));
    load->Kind = kKindVst2;
    const std::string base = plugin.substr(plugin.find_last_of("\\/") + 1);
    std::strncpy(load->Name, base.c_str(), sizeof(load->Name) - 1);
    std::strncpy(load->FileName, plugin.c_str(), sizeof(load->FileName) - 1);
    load->Settings = {44100, maxFrames, 120.0, 16, 4, 960};
    const auto t0 = TClock::now();
    host_->PostCode(kCodeLoadPlugin, 0);
    if (host_->WaitForCode(kCodePluginLoaded, 60000) != 1)
        throw Exception("the bridge could not load " + plugin);
    const double ms = std::chrono::duration<double, std::milli>(TClock::now() - t0).count();

    const TDescriptionBlock& d = Description();
    inputs_ = outputs_ = 0;
    for (int i = 0; i < std::min(d.InputBusCount, kMaxDescribedBuses); ++i)
        inputs_ += d.InputBuses[i].Channels;
    for (int i = 0; i < std::min(d.OutputBusCount, kMaxDescribedBuses); ++i)
        outputs_ += d.OutputBuses[i].Channels;

    PrepareBlock(maxFrames);
    std::vector<std::uint8_t> on(block_.begin(), block_.begin() + sizeof(TProcessBlock));
    std::int64_t result = 0;
    if (!Channel().SendCommandData(kCmdSetActive, result, static_cast<std::int64_t>(on.size()),
                                   static_cast<std::int64_t>(on.size()), on.data(), false, 1))
        throw Exception("the bridge did not answer switching on");
    return ms;
}

void TBenchBridge::PrepareBlock(std::int32_t frames)
{
    frames_ = frames;
    const std::size_t audio = static_cast<std::size_t>(inputs_ + outputs_) * static_cast<std::size_t>(frames) * 4;
    block_.assign(sizeof(TProcessBlock) + audio + 64 * sizeof(TBridgeEvent), 0);
    auto& h = *reinterpret_cast<TProcessBlock*>(block_.data());
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
    for (std::int32_t c = 0; c < inputs_; ++c)
        for (std::int32_t f = 0; f < frames; ++f)
            in[c * frames + f] = 0.5f * std::sin(0.01f * static_cast<float>(f + 37 * c));
    Events.reserve(64);
}

bool TBenchBridge::Block() // [audio thread]
{
    auto& h = *reinterpret_cast<TProcessBlock*>(block_.data());
    const std::int32_t n = static_cast<std::int32_t>(std::min<std::size_t>(Events.size(), 64));
    h.EventOffset = static_cast<std::int32_t>(sizeof(TProcessBlock) +
                                              static_cast<std::size_t>(inputs_ + outputs_) * frames_ * 4);
    h.EventCount = n;
    if (n > 0)
        std::memcpy(block_.data() + h.EventOffset, Events.data(), static_cast<std::size_t>(n) * sizeof(TBridgeEvent));
    h.Header.SongPosition += frames_;
    const std::int64_t sent = h.EventOffset + static_cast<std::int64_t>(n) * static_cast<std::int64_t>(sizeof(TBridgeEvent));
    std::int64_t result = 0, p1 = 0, p2 = 0;
    const bool ok = Channel().SendCommandFull(kCmdProcess, result, 0, 0, p1, p2, text_, sent,
                                              static_cast<std::int64_t>(block_.size()), block_.data(), true);
    returned_ = ok ? h.EventCount : 0;
    return ok;
}

double TBenchBridge::TimedBlock()
{
    const auto t0 = TClock::now();
    const bool ok = Block();
    const auto t1 = TClock::now();
    return ok ? std::chrono::duration<double, std::micro>(t1 - t0).count() : -1.0;
}

bool TBenchBridge::Ping()
{
    ResetEvent(reply_.Get());
    SetEvent(request_.Get());
    return WaitForSingleObject(reply_.Get(), 2000) == WAIT_OBJECT_0;
}

double TBenchBridge::TimedPing()
{
    const auto t0 = TClock::now();
    const bool ok = Ping();
    const auto t1 = TClock::now();
    return ok ? std::chrono::duration<double, std::micro>(t1 - t0).count() : -1.0;
}

bool TBenchBridge::HasFloor()
{
    if (floorState_ == 0)
        floorState_ = Ping() ? 1 : -1;
    return floorState_ == 1;
}

bool TBenchBridge::OutputIs(float factor) const
{
    const auto* in = reinterpret_cast<const float*>(block_.data() + sizeof(TProcessBlock));
    const float* out = in + static_cast<std::size_t>(inputs_) * frames_;
    for (std::int32_t c = 0; c < std::min(inputs_, outputs_); ++c)
        for (std::int32_t f = 0; f < frames_; ++f)
            if (std::fabs(out[c * frames_ + f] - in[c * frames_ + f] * factor) > 1e-6f)
                return false;
    return true;
}

std::int64_t TBenchBridge::Allocations() const
{
    return allocCount_ != nullptr ? static_cast<std::int64_t>(*allocCount_) : -1;
}

TProcessFigures TBenchBridge::Figures()
{
    if (allocView_ != nullptr) {
        ResetEvent(figuresReply_.Get());
        SetEvent(figuresRequest_.Get());
        if (WaitForSingleObject(figuresReply_.Get(), 5000) == WAIT_OBJECT_0) {
            const auto* v = static_cast<const volatile std::uint64_t*>(allocView_);
            TProcessFigures f;
            f.Handles = static_cast<DWORD>(v[1]);
            f.PrivateBytes = v[2];
            f.Threads = static_cast<DWORD>(v[3]);
            return f;
        }
    }
    return ProcessFiguresOf(host_->Process());
}

bool TBenchBridge::SaveState(std::vector<std::uint8_t>& state)
{
    std::int64_t size = 0;
    if (!Channel().SendCommandData(kCmdSaveState, size, 0, 0, nullptr, false, 0))
        return false;
    const std::uint32_t n = static_cast<std::uint32_t>(size);
    stateScratch_.assign(kFetchStateDataOffset + n, 0);
    std::memcpy(stateScratch_.data(), &n, 4);
    std::int64_t result = 0;
    if (!Channel().SendCommandData(kCmdFetchState, result, 8, static_cast<std::int64_t>(stateScratch_.size()),
                                   stateScratch_.data(), true, 0))
        return false;
    state.assign(stateScratch_.begin() + kFetchStateDataOffset, stateScratch_.end());
    return true;
}

bool TBenchBridge::LoadState(const std::vector<std::uint8_t>& state)
{
    stateScratch_.assign(kStateFrameHeader + state.size(), 0);
    const std::uint64_t n = state.size();
    std::memcpy(stateScratch_.data(), &n, 8);
    if (!state.empty())
        std::memcpy(stateScratch_.data() + 8, state.data(), state.size());
    std::int64_t result = 0;
    return Channel().SendCommandData(kCmdLoadState, result, static_cast<std::int64_t>(stateScratch_.size()),
                                     static_cast<std::int64_t>(stateScratch_.size()), stateScratch_.data(), false, 0);
}

bool TBenchBridge::SetParam(std::int32_t index, float value)
{
    std::int32_t bits;
    std::memcpy(&bits, &value, 4);
    std::int64_t result = 0;
    return Channel().SendCommandResult(kCmdSetParamValue, result, index, bits, 0, 0, std::wstring());
}

bool TBenchBridge::RefreshDescription()
{
    std::int64_t result = 0;
    return Channel().SendCommandResult(kCmdRefreshDescription, result, -1, 0, 0, 0, std::wstring());
}
