#pragma once
// What the survival tests share: paths of the build, a host with a running
// bridge and a loaded survival plugin, audio blocks, child processes.
// [Windows builds only]

#include "BridgeHost.h"
#include "BridgeLayouts.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

inline const std::string kBuild = PELORIN_BUILD_DIR;
std::wstring Wide(const std::string& s);
std::wstring BridgePath();                    // dist/64bit/pelorin.exe
std::string Fixture(const std::string& name); // fixtures/<name>
double MsSince(std::chrono::steady_clock::time_point t0);

// Sets an environment variable of this process (and so of the bridges it
// starts) for the life of the object.
class TEnv {
public:
    TEnv(const char* name, const std::string& value);
    ~TEnv();
    TEnv(const TEnv&) = delete;
    TEnv& operator=(const TEnv&) = delete;

private:
    std::string name_;
};

// A load block for a VST2 plugin at 44.1 kHz and 512 frames.
std::unique_ptr<TLoadBlock> LoadRequest(const std::string& plugin);

// Launches the bridge, loads the plugin, switches it on. ASSERT-style
// failures throw.
std::unique_ptr<TBridgeHost> StartBridge(const std::string& plugin, DWORD replyTimeoutMs = 20000);

// The switch-on data: a transport header for 512 frames.
std::vector<std::uint8_t> SwitchOnData();

// A stereo 512-frame audio command with a ramp as input.
struct TAudioBlock {
    TAudioBlock();
    bool Send(TSharedMemoryIntf& ch); // false when the bridge did not answer
    bool OutputIsInput() const;       // the survival plugin at its default gain
    std::vector<std::uint8_t> Data;
};

// The processes whose parent is parent and whose file name is name.
std::vector<DWORD> ChildProcesses(DWORD parent, const wchar_t* name);
// True once the process ended within timeoutMs (or did not exist).
bool WaitPidExit(DWORD pid, DWORD timeoutMs);
bool PidAlive(DWORD pid);
// True when the named objects of the channel base are all gone.
bool ChannelFreed(const std::wstring& base);
