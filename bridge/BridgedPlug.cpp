#include "BridgedPlug.h"

#include "BridgeClientImpl.h"
#include "x32x64.h"

#include <mmsystem.h>

#include <cstdio>

namespace {

// Every message of the editor parent goes to the default window procedure.
LRESULT EditorParentCallback(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

} // namespace

TBridgeClient::TImpl::TImpl(TBridgeClient& owner, const std::wstring& name, std::int32_t hostWindow) : Owner(owner)
{
    Core = std::make_unique<TBridgeClientCore>(nullptr);
    RegisterCommands();
    TSharedMemoryIntf::TEvents events;
    events.OnCommand = [this](TSharedMemoryIntf&, std::uint32_t code, std::int32_t& index, std::int32_t& value,
                              std::int64_t& p1, std::int64_t& p2, std::wstring& text, std::int64_t& dataSize,
                              void* data) { return ShareCommand(code, index, value, p1, p2, text, dataSize, data); };
    events.OnDisconnect = [this](TSharedMemoryIntf&, LPARAM value) { Disconnected(value); };
    events.OnLog = [this](TSharedMemoryIntf&, const std::string& line, bool) { HostLog(line); };
    // Creating the channel connects it and tells the host (0xFF000001).
    Channel = std::make_unique<TSharedMemoryIntf>(
        name, std::move(events),
        reinterpret_cast<HWND>(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(hostWindow))));
    Core->AttachChannel(Channel.get());
    EditorParent = CreateWindowInstance(&EditorParentCallback);
    Core->EditorParent = EditorParent;
}

TBridgeClient::TImpl::~TImpl()
{
    if (EditorParent != nullptr)
        FreeWindowInstance(EditorParent);
    // No command may run any more once the plugin goes.
    Channel->StopThreads();
    SetEvent(Ending.Get());
    Core->FreePlugin();
    Channel.reset(); // posts 0xFF000002 while still connected
    Core.reset();    // buffers, outgoing events, the host object and the state stream
}

void TBridgeClient::TImpl::RegisterCommands()
{
    Core->RegisterCommands(
        [this](std::uint32_t code, TBridgeClientCore::THandler handler) { RegisterCommand(code, std::move(handler)); });
}

void TBridgeClient::TImpl::RegisterCommand(std::uint32_t code, TCommandHandler handler)
{
    Commands[code] = std::move(handler);
}

std::int32_t TBridgeClient::TImpl::ShareCommand(std::uint32_t code, std::int32_t& index, std::int32_t& value,
                                                std::int64_t& param1, std::int64_t& param2, std::wstring& text,
                                                std::int64_t& dataSize, void* data)
{
    const auto it = Commands.find(code);
    if (it == Commands.end())
        return 0;
    const int channel = ChannelOfCode(code);
    TCommandArgs args{code,   index, value, param1, param2, text, dataSize, dataSize > 0 ? data : nullptr,
                      channel > 0 ? Core->DataCapacity(channel) : 0};
    try {
        return it->second(args);
    } catch (const std::exception& e) {
        // A processor fault inside the plugin arrives here as an exception too.
        char line[512];
        std::snprintf(line, sizeof(line), "EXCEPTION (ShareCommand %s): %s", "", e.what());
        HostLog(line);
        // The host learns of the end at once, before anything of the plugin
        // is freed (freeing it may fault again).
        if (Channel)
            Channel->AnnounceClose();
        if (Owner.OnException)
            Owner.OnException(Owner, Exception(e.what()));
        // Off the main thread the process ends from the main thread; until
        // then this command stays unanswered.
        if (Channel && GetCurrentThreadId() != Channel->WindowThreadId())
            WaitForSingleObject(Ending.Get(), INFINITE);
        return 0;
    }
}

void TBridgeClient::TImpl::Disconnected(LPARAM)
{
    if (Owner.OnClosed)
        Owner.OnClosed(Owner, true);
}

void TBridgeClient::TImpl::Tick()
{
    Core->Idle();
    const DWORD now = timeGetTime();
    // Unsigned subtraction stays right across the wrap of the millisecond clock.
    if (now - LastPeerCheck >= 1000) {
        LastPeerCheck = now;
        if (!Channel->CheckPeer())
            HostLog("Connection timed out"); // the failed check has started the disconnect
    }
}

TBridgeClient::TBridgeClient(const std::wstring& name, std::int32_t hostWindow)
    : impl_(std::make_unique<TImpl>(*this, name, hostWindow))
{
}

TBridgeClient::~TBridgeClient() = default;

void TBridgeClient::Tick()
{
    impl_->Tick();
}

void TBridgeClient::Log(const std::string& text, bool flag, int level)
{
    (void)flag;
    (void)level;
    impl_->HostLog(text);
}
