#pragma once
// The bridge client's work on the loaded plugin: loading it from the load
// block, the command table of the host's commands and window codes, state
// transfer, the editor state, the audio blocks, and the host object through
// which the plugin reaches the host. [Windows builds only]

#include "BridgedComms.h"

#include "AudioBridge.h"
#include "DescriptionBlock.h"
#include "Streams.h"

// <windows.h> turns MessageBox into MessageBoxA/W; the host operation keeps its name.
#ifdef MessageBox
#undef MessageBox
#endif

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>

class TBridgeClientCore;

// The bridge's implementation of the host interface: answers inside the
// bridge, records news in the shared blocks, or sends a command on the host
// channel and waits for the host's answer. [any thread the plugin calls from]
class TAudioPluginHost : public TAudioPluginHostIf {
public:
    explicit TAudioPluginHost(TBridgeClientCore& client) : Client(client) {}

    void ParamChanged(std::int32_t Index, float Value) override;
    void EditorResized(bool Flag) override;
    void ShowMessage(const std::string& Text, std::uint8_t Flag) override;
    void GetTimeInfo(std::int32_t Flags, THostTimeInfo& Info) override;
    void MidiOut(std::int32_t Msg, bool Flag) override;
    void SysexOut(std::int32_t Reserved, std::int32_t Size, const void* Data) override;
    void HostReservedA(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t,
                       std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t) override;
    void HostReservedB(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t,
                       std::intptr_t, std::intptr_t) override;
    void HostReservedC(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t) override;
    void Notify(std::int32_t Value) override;
    void Signal() override {}
    std::int32_t ConvertTime(bool ToSamples, std::int32_t Value) override;
    void Log(const std::string&, std::uint8_t, std::int32_t) override {} // every trace line ends here
    void Lock(bool) override {}
    bool CanAutomate(std::int32_t) override { return true; }
    void UpdateDisplay(std::int32_t What, bool Flag) override;
    bool IsPinConnected(std::int32_t, bool) override { return true; }
    void LatencyChanged(std::int32_t Flag) override;
    void Idle() override {}
    void IOChanged() override;
    std::int32_t MessageBox(const std::string& Text, std::int32_t Flags) override;
    std::int32_t HostReservedD() override { return 0; }
    void HostReservedE() override {}
    void HostReservedF() override {}
    bool GetMenuItem(std::int32_t MenuId, std::int32_t Index, THostMenuItem& Item) override;
    void MenuItemClicked(std::int32_t MenuId, std::int32_t ItemId) override;
    void HostReservedG() override {}
    bool CanResizeEditor(bool Flag) override;
    void PopupMenu(TMenuItemList*, std::int32_t, std::int32_t) override {} // the bridge shows no menus

private:
    TBridgeClientCore& Client;
};

// The fields of one command or window code, by reference into the record (or
// into locals of the window procedure for window codes).
struct TCommandArgs {
    std::uint32_t Code;
    std::int32_t& Index;
    std::int32_t& Value;
    std::int64_t& Param1;
    std::int64_t& Param2;
    std::wstring& Text;
    std::int64_t& DataSize;
    void* Data;            // none when DataSize is 0
    std::int64_t Capacity; // bytes Data may hold
};

class TBridgeClientCore {
public:
    using THandler = std::function<std::int32_t(TCommandArgs& args)>;
    using TRegister = std::function<void(std::uint32_t code, THandler handler)>;

    // editorParent: the hidden window the editor opens in. [main thread]
    explicit TBridgeClientCore(HWND editorParent);
    // Frees the plugin; the channel's threads must have stopped. [main thread]
    ~TBridgeClientCore();

    // Set once the channel exists (commands cannot arrive before).
    void AttachChannel(TSharedMemoryIntf* channel) { Channel = channel; }
    // Adds every command and window code of the client to a table.
    void RegisterCommands(const TRegister& add);

    // Window code 0xFF000004. [main thread]
    bool LoadPlugin();
    void FreePlugin();
    // Makes plugin the loaded plugin (the previous one is freed). [main thread]
    void InstallPlugin(std::unique_ptr<TBaseAudioPlugin> plugin);
    // The idle call of the 50 ms timer. [main thread]
    void Idle();
    // [main thread]
    void UpdateEditorState();
    void PublishEditorSize();

    TBaseAudioPlugin* Plugin() const { return PluginPtr.get(); }
    TSharedMemoryIntf* Channel = nullptr;
    TAudioPluginHost Host{*this};
    TMemoryStream StateStream;
    TBridgeAudio Audio;
    int EditorNesting = 0;
    bool EditorBusy = false;
    HWND EditorParent;

    TDescriptionBlock* DescriptionBlock() const;
    // Keeps the description block mapped while a thread other than the
    // description channel's writes into it. [any thread]
    std::shared_lock<std::shared_mutex> LockDescriptionView() const;
    TLoadBlock* LoadBlock() const;
    THeaderBlock* Header() const;
    // The bytes the data of channel index can hold.
    std::int64_t DataCapacity(int index) const;

private:
    std::int32_t SaveState(std::int32_t kind);
    void FetchState(TCommandArgs& a);
    void LoadPluginState(TCommandArgs& a);
    void RefreshDescription(std::int32_t bits);
    void DescribeAll(TBaseAudioPlugin* plugin);

    std::unique_ptr<TBaseAudioPlugin> PluginPtr;
    // Shared by the audio and description channels while they use the plugin
    // (a refresh and a block run at the same time); held alone only by
    // loading and freeing, which replace the plugin.
    std::shared_mutex PluginLock;
    // The thread inside LoadPlugin, while it holds PluginLock alone. A load
    // lets the message loop run (a shell scan); a close or a lost host handled
    // there must not free the plugin from under the load on the same thread.
    std::atomic<DWORD> LoadingThread{0};
    bool InsideLoad() const { return LoadingThread.load() == GetCurrentThreadId(); }
};
