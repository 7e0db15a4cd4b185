#pragma once
// The insides of TBridgeClient: the channel in bridge mode, the command table
// that ShareCommand dispatches through, the liveness check of Tick and the
// editor parent window. Later parts of the client (plugin loading, the
// description block, audio) register their commands in the table.
// [Windows builds only]

#include "BridgeClientCore.h"
#include "BridgedComms.h"
#include "BridgedPlug.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>


struct TBridgeClient::TImpl {
    using TCommandHandler = std::function<std::int32_t(TCommandArgs& args)>;

    TImpl(TBridgeClient& owner, const std::wstring& name, std::int32_t hostWindow);
    ~TImpl();

    // Fills the command table; runs before the channel opens, so that the
    // table is only read while commands can arrive. [main thread]
    void RegisterCommands();
    // Adds (or replaces) the handler of one code. [main thread, from RegisterCommands]
    void RegisterCommand(std::uint32_t code, TCommandHandler handler);

    // The channel's command handler: looks the code up and runs it; unknown
    // codes answer 0. An exception ends the process through OnException.
    // [main thread or a channel thread, by channel]
    std::int32_t ShareCommand(std::uint32_t code, std::int32_t& index, std::int32_t& value, std::int64_t& param1,
                              std::int64_t& param2, std::wstring& text, std::int64_t& dataSize, void* data);
    // The channel's disconnect handler: OnClosed with LostContact true. [main thread]
    void Disconnected(LPARAM value);
    void Tick(); // [main thread]
    // Every trace line of the bridge ends here and is discarded.
    void HostLog(const std::string& line) { (void)line; }

    TBridgeClient& Owner;
    std::unordered_map<std::uint32_t, TCommandHandler> Commands; // filled before the channel opens
    // The plugin side: loading, the plugin's commands, the host object.
    // Created before the channel, freed after the channel's threads stopped.
    std::unique_ptr<TBridgeClientCore> Core;
    std::unique_ptr<TSharedMemoryIntf> Channel;
    HWND EditorParent = nullptr;
    DWORD LastPeerCheck = 0;
    // Set once the channel's threads are stopping: a channel thread whose
    // command raised waits for it, so that the host gets no reply for that
    // command and learns of the end through the closed channel.
    TOwnedHandle Ending{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};
