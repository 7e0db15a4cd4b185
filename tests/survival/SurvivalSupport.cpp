#include "SurvivalSupport.h"

#include "Exception.h"

#include <tlhelp32.h>

#include <cmath>
#include <cstring>

std::wstring Wide(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

std::wstring BridgePath()
{
    return Wide(kBuild) + L"/dist/64bit/pelorin.exe";
}

std::string Fixture(const std::string& name)
{
    return kBuild + "/fixtures/" + name;
}

double MsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

TEnv::TEnv(const char* name, const std::string& value) : name_(name)
{
    SetEnvironmentVariableA(name, value.c_str());
}

TEnv::~TEnv()
{
    SetEnvironmentVariableA(name_.c_str(), nullptr);
}

std::unique_ptr<TLoadBlock> LoadRequest(const std::string& plugin)
{
    auto load = std::make_unique<TLoadBlock>();
    std::memset(load.get(), 0, sizeof(TLoadBlock));
    load->Kind = kKindVst2;
    std::strncpy(load->Name, "survival", sizeof(load->Name) - 1);
    std::strncpy(load->FileName, plugin.c_str(), sizeof(load->FileName) - 1);
    load->Settings = {44100, 512, 120.0, 16, 4, 960};
    return load;
}

std::vector<std::uint8_t> SwitchOnData()
{
    TTransportHeader h{};
    h.SampleRate = 44100;
    h.BlockSize = 512;
    h.Tempo = 120.0;
    h.TimeFormat = {16, 4, 960};
    h.InputBusActive[0] = h.OutputBusActive[0] = 1;
    h.ProcessFlags = 0x200;
    h.Transport = kTransportPlaying;
    std::vector<std::uint8_t> d(sizeof(TProcessBlock), 0);
    std::memcpy(d.data(), &h, sizeof(h));
    return d;
}

std::unique_ptr<TBridgeHost> StartBridge(const std::string& plugin, DWORD replyTimeoutMs)
{
    TBridgeHost::TOptions o;
    o.ReplyTimeoutMs = replyTimeoutMs;
    auto host = std::make_unique<TBridgeHost>(o);
    host->Launch(BridgePath());
    host->WaitConnected(20000);
    auto load = LoadRequest(plugin);
    std::memcpy(host->Channel().LoadBlock(), load.get(), sizeof(TLoadBlock));
    host->PostCode(kCodeLoadPlugin, 0);
    if (host->WaitForCode(kCodePluginLoaded, 30000) != 1)
        throw Exception("the plugin did not load");
    std::vector<std::uint8_t> on = SwitchOnData();
    std::int64_t result = 0;
    if (!host->Channel().SendCommandData(kCmdSetActive, result, static_cast<std::int64_t>(on.size()),
                                         static_cast<std::int64_t>(on.size()), on.data(), false, 1))
        throw Exception("switching on failed");
    return host;
}

TAudioBlock::TAudioBlock()
{
    Data = std::vector<std::uint8_t>(sizeof(TProcessBlock) + 4 * 512 * 4 + 16 * sizeof(TBridgeEvent), 0);
    auto& h = *reinterpret_cast<TProcessBlock*>(Data.data());
    std::memcpy(&h.Header, SwitchOnData().data(), sizeof(TTransportHeader));
    h.Frames = 512;
    h.EventOffset = static_cast<std::int32_t>(sizeof(TProcessBlock) + 4 * 512 * 4);
    auto* in = reinterpret_cast<float*>(Data.data() + sizeof(TProcessBlock));
    for (int i = 0; i < 1024; ++i)
        in[i] = static_cast<float>(i % 512) / 1024.0f;
}

bool TAudioBlock::Send(TSharedMemoryIntf& ch)
{
    auto* out = reinterpret_cast<float*>(Data.data() + sizeof(TProcessBlock)) + 1024;
    std::fill(out, out + 1024, -1.0f);
    auto& h = *reinterpret_cast<TProcessBlock*>(Data.data());
    h.EventCount = 0;
    std::int64_t result = 0, p1 = 0, p2 = 0;
    std::wstring text;
    return ch.SendCommandFull(kCmdProcess, result, 0, 0, p1, p2, text, h.EventOffset,
                              static_cast<std::int64_t>(Data.size()), Data.data(), true);
}

bool TAudioBlock::OutputIsInput() const
{
    const auto* in = reinterpret_cast<const float*>(Data.data() + sizeof(TProcessBlock));
    for (int i = 0; i < 1024; ++i)
        if (std::fabs(in[1024 + i] - in[i]) > 1e-6f)
            return false;
    return true;
}

std::vector<DWORD> ChildProcesses(DWORD parent, const wchar_t* name)
{
    std::vector<DWORD> out;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return out;
    PROCESSENTRY32W pe = {};
    pe.dwSize = sizeof(pe);
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe))
        if (pe.th32ParentProcessID == parent && _wcsicmp(pe.szExeFile, name) == 0)
            out.push_back(pe.th32ProcessID);
    CloseHandle(snap);
    return out;
}

bool WaitPidExit(DWORD pid, DWORD timeoutMs)
{
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (h == nullptr)
        return true;
    const bool ended = WaitForSingleObject(h, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ended;
}

bool PidAlive(DWORD pid)
{
    return !WaitPidExit(pid, 0);
}

bool ChannelFreed(const std::wstring& base)
{
    for (const std::wstring& name : {HostLivenessName(base), BridgeLivenessName(base)}) {
        HANDLE h = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
        if (h != nullptr) {
            CloseHandle(h);
            return false;
        }
    }
    for (int i = 0; i < kChannelCount; ++i) {
        HANDLE h = OpenFileMappingW(FILE_MAP_READ, FALSE, ChannelBlockName(base, i).c_str());
        if (h != nullptr) {
            CloseHandle(h);
            return false;
        }
    }
    return true;
}
