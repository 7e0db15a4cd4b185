// The bridge side of the channel benchmark: a bridge-mode channel whose audio
// command copies the input block behind itself as the "processed" output, and
// a bare two-event ping-pong server on the events "<base>_pp_0" (request) and
// "<base>_pp_1" (reply).
//   benchpeer -name <base> -handle <host window>

#include "AllocationCounter.h"
#include "BridgedComms.h"

#include "BridgeCommandLine.h"

#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>
#include <thread>

namespace {

const std::uint32_t kProcess = 0x04000000;
const std::uint32_t kAllocations = 0x04000001; // Param1: the peer's allocation count

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // The same command line as the bridge's own.
    const TBridgeCommandLineParams params = ParseBridgeCommandLine(ProcessArguments());
    if (!params.IsValid())
        return 2;
    const std::wstring& name = params.Name;
    const std::int32_t handle = params.Handle;

    // The floor: one wait, one reset, one set per round trip.
    TOwnedHandle request(CreateEventW(nullptr, FALSE, FALSE, (name + L"_pp_0").c_str()));
    TOwnedHandle reply(CreateEventW(nullptr, FALSE, FALSE, (name + L"_pp_1").c_str()));
    std::thread pingPong([&] {
        for (;;) {
            if (WaitForSingleObject(request.Get(), INFINITE) != WAIT_OBJECT_0)
                return;
            ResetEvent(request.Get());
            SetEvent(reply.Get());
        }
    });
    pingPong.detach(); // ends with the process

    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    TSharedMemoryIntf::TEvents events;
    events.OnCommand = [](TSharedMemoryIntf&, std::uint32_t code, std::int32_t&, std::int32_t&, std::int64_t& p1,
                          std::int64_t&, std::wstring&, std::int64_t& dataSize, void* data) -> std::int32_t {
        if (code == kProcess && data != nullptr) { // [audio thread]
            auto* bytes = static_cast<std::uint8_t*>(data);
            std::memcpy(bytes + dataSize, bytes, static_cast<std::size_t>(dataSize));
            dataSize *= 2;
            return 1;
        }
        if (code == kAllocations)
            p1 = static_cast<std::int64_t>(AllocationCount());
        return 0;
    };
    events.OnDisconnect = [](TSharedMemoryIntf&, LPARAM) { PostQuitMessage(0); };
    TSharedMemoryIntf channel(name, std::move(events), WindowFromValue(static_cast<std::uint32_t>(handle)));
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
