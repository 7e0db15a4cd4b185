#include "BridgeClientCore.h"

#include "AnsiText.h"
#include "FPUState.h"
#include "LoadRequest.h"
#include "VST3Plug.h"
#include "VSTPlug.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

void SetAudioThreadPriority(std::int32_t priority) // [audio thread]
{
    SetThreadPriority(GetCurrentThread(), priority);
}

std::int32_t FloatBits(float f)
{
    std::int32_t v;
    std::memcpy(&v, &f, sizeof(v));
    return v;
}

float BitsFloat(std::int32_t v)
{
    float f;
    std::memcpy(&f, &v, sizeof(f));
    return f;
}

std::wstring ToWide(const std::string& s)
{
    std::u16string u;
    AnsiToUtf16(s, u);
    return std::wstring(u.begin(), u.end());
}

} // namespace

// ---------------------------------------------------------------------------
// TAudioPluginHost

void TAudioPluginHost::ParamChanged(std::int32_t Index, float Value) // [any thread]
{
    {
        // The host may drop the block (to grow it) meanwhile.
        const auto view = Client.LockDescriptionView();
        if (TDescriptionBlock* block = Client.DescriptionBlock()) {
            TDescriptionWriter writer(block);
            if (Index >= 0 && Index < writer.WrittenParamCount()) {
                writer.SetParamRecordValue(Index, Value);
                writer.UpdateParams(Client.Plugin(), Index, Index);
            }
        }
    }
    if (Client.Channel)
        Client.Channel->SendCommand(kHostParamChanged, Index, FloatBits(Value), 0, 0, std::wstring());
}

void TAudioPluginHost::EditorResized(bool)
{
    if (Client.EditorNesting > 0)
        return; // the bridge publishes the size itself once the editor is open
    Client.PublishEditorSize();
}

void TAudioPluginHost::ShowMessage(const std::string& Text, std::uint8_t Flag)
{
    if (Client.Channel)
        Client.Channel->SendCommand(kHostShowMessage, Flag, 0, 0, 0, ToWide(Text));
}

void TAudioPluginHost::GetTimeInfo(std::int32_t, THostTimeInfo& Info)
{
    Info = Client.Audio.TimeInfo;
}

void TAudioPluginHost::MidiOut(std::int32_t Msg, bool Flag)
{
    TBridgeEvent e;
    std::memset(&e, 0, sizeof(e));
    e.Type = kEventMidi;
    e.Value1 = Msg;
    e.Value2[0] = Flag ? 1 : 0;
    Client.Audio.QueueEvent(e); // never sends: the audio thread must not block here
}

void TAudioPluginHost::SysexOut(std::int32_t, std::int32_t Size, const void* Data)
{
    if (Client.Channel == nullptr || Size < 0 || (Size > 0 && Data == nullptr))
        return;
    std::int64_t result = 0;
    Client.Channel->SendCommandData(kHostSysex, result, Size, Size, const_cast<void*>(Data), false, 0);
}

void TAudioPluginHost::HostReservedA(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t,
                                     std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t,
                                     std::intptr_t)
{
    AbstractHostCall("HostReservedA");
}

void TAudioPluginHost::HostReservedB(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t,
                                     std::intptr_t, std::intptr_t, std::intptr_t)
{
    AbstractHostCall("HostReservedB");
}

void TAudioPluginHost::HostReservedC(std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t)
{
    AbstractHostCall("HostReservedC");
}

void TAudioPluginHost::Notify(std::int32_t Value)
{
    if (Client.Channel)
        Client.Channel->SendCommand(kHostNotify, Value, 0, 0, 0, std::wstring());
}

std::int32_t TAudioPluginHost::ConvertTime(bool ToSamples, std::int32_t Value)
{
    std::int64_t result = 0;
    if (Client.Channel == nullptr ||
        !Client.Channel->SendCommandResult(ToSamples ? kHostToSamples : kHostFromSamples, result, Value, 0, 0, 0,
                                           std::wstring()))
        return 0;
    return static_cast<std::int32_t>(result);
}

void TAudioPluginHost::UpdateDisplay(std::int32_t What, bool Flag)
{
    std::int32_t bits = 0;
    if ((What & 2) != 0)
        bits |= kDisplayWhat1;
    TBaseAudioPlugin* plugin = Client.Plugin();
    if ((What & 1) != 0 && !(plugin != nullptr && plugin->Name.rfind("Vornish ", 0) == 0))
        bits |= kDisplayPrograms;
    if ((What & 4) != 0) {
        const auto view = Client.LockDescriptionView();
        if (TDescriptionBlock* block = Client.DescriptionBlock())
            TDescriptionWriter(block).UpdateKeyNames(plugin);
        bits |= kDisplayKeyNames;
    }
    if (Client.Channel)
        Client.Channel->SendCommand(kHostDisplayChanged, bits, Flag ? 2 : 0, 0, 0, std::wstring());
}

void TAudioPluginHost::LatencyChanged(std::int32_t)
{
    if (TBaseAudioPlugin* plugin = Client.Plugin()) {
        const auto view = Client.LockDescriptionView();
        if (TDescriptionBlock* block = Client.DescriptionBlock())
            TDescriptionWriter(block).SetLatency(plugin->Latency);
    }
    if (Client.Channel)
        Client.Channel->SendCommand(kHostDisplayChanged, kDisplayLatency, 0, 0, 0, std::wstring());
}

void TAudioPluginHost::IOChanged()
{
    if (Client.Channel)
        Client.Channel->SendCommand(kHostDisplayChanged, kDisplayIO, 0, 0, 0, std::wstring());
}

std::int32_t TAudioPluginHost::MessageBox(const std::string& Text, std::int32_t Flags)
{
    std::int64_t result = 0;
    std::wstring text = ToWide(Text);
    if (Client.Channel == nullptr || !Client.Channel->SendCommandText(kHostMessageBox, result, Flags, 0, text))
        return 0;
    return static_cast<std::int32_t>(result);
}

bool TAudioPluginHost::GetMenuItem(std::int32_t MenuId, std::int32_t Index, THostMenuItem& Item)
{
    std::int64_t result = 0;
    std::wstring text;
    if (Client.Channel == nullptr || !Client.Channel->SendCommandText(kHostGetMenuItem, result, MenuId, Index, text))
        return false;
    if (Item.Text != nullptr && Item.TextSize > 0) {
        std::string ansi;
        Utf16ToAnsi(std::u16string(text.begin(), text.end()), ansi);
        const std::size_t n = std::min(ansi.size(), static_cast<std::size_t>(Item.TextSize) - 1);
        std::memcpy(Item.Text, ansi.data(), n);
        Item.Text[n] = '\0';
    }
    Item.Flags = static_cast<std::int32_t>(result);
    return true;
}

void TAudioPluginHost::MenuItemClicked(std::int32_t MenuId, std::int32_t ItemId)
{
    if (Client.Channel)
        Client.Channel->SendCommand(kHostMenuItemClicked, MenuId, ItemId, 0, 0, std::wstring());
}

bool TAudioPluginHost::CanResizeEditor(bool Flag)
{
    if (Flag)
        return false;
    const THeaderBlock* header = Client.Header();
    return header != nullptr && (header->HostFlags & 1) != 0;
}

// ---------------------------------------------------------------------------
// TBridgeClientCore

TBridgeClientCore::TBridgeClientCore(HWND editorParent) : Audio(&SetAudioThreadPriority), EditorParent(editorParent)
{
}

TBridgeClientCore::~TBridgeClientCore()
{
    if (InsideLoad()) {
        // The process ends from inside the load: the plugin's code is still on
        // this thread's stack, so it is left to the end of the process.
        (void)PluginPtr.release();
        return;
    }
    FreePlugin();
}

TDescriptionBlock* TBridgeClientCore::DescriptionBlock() const
{
    if (Channel == nullptr || Channel->Channel(kDescriptionChannel).ViewBytes() < static_cast<std::int64_t>(sizeof(TDescriptionBlock)))
        return nullptr;
    return static_cast<TDescriptionBlock*>(Channel->DescriptionBlock());
}

std::shared_lock<std::shared_mutex> TBridgeClientCore::LockDescriptionView() const
{
    if (Channel == nullptr)
        return {};
    return Channel->Channel(kDescriptionChannel).LockView();
}

TLoadBlock* TBridgeClientCore::LoadBlock() const
{
    if (Channel == nullptr || Channel->Channel(kLoadChannel).ViewBytes() < static_cast<std::int64_t>(sizeof(TLoadBlock)))
        return nullptr;
    return static_cast<TLoadBlock*>(Channel->LoadBlock());
}

THeaderBlock* TBridgeClientCore::Header() const
{
    return Channel != nullptr ? Channel->Header() : nullptr;
}

std::int64_t TBridgeClientCore::DataCapacity(int index) const
{
    if (Channel == nullptr)
        return 0;
    return std::max<std::int64_t>(Channel->Channel(index).ViewBytes() - kRecordSize, 0);
}

void TBridgeClientCore::FreePlugin() // [main thread]
{
    // Called from inside a load on this thread: the process is ending and the
    // plugin's own code is on the stack; it stays as it is.
    if (InsideLoad())
        return;
    std::lock_guard<std::shared_mutex> lock(PluginLock);
    PluginPtr.reset();
}

void TBridgeClientCore::InstallPlugin(std::unique_ptr<TBaseAudioPlugin> plugin) // [main thread]
{
    if (InsideLoad())
        return;
    std::lock_guard<std::shared_mutex> lock(PluginLock);
    PluginPtr = std::move(plugin);
}

void TBridgeClientCore::Idle() // [main thread]
{
    if (!PluginPtr)
        return;
    if (auto* vst = dynamic_cast<TVSTPlugin*>(PluginPtr.get()))
        vst->CheckLatency();
    PluginPtr->Idle();
}

void TBridgeClientCore::DescribeAll(TBaseAudioPlugin* plugin)
{
    if (TDescriptionBlock* block = DescriptionBlock()) {
        TDescriptionWriter w(block);
        w.UpdateParams(plugin, -1, -1);
        w.UpdatePrograms(plugin);
        w.UpdateBuses(plugin);
        w.UpdateEventBuses(plugin);
    }
}

bool TBridgeClientCore::LoadPlugin() // [main thread]
{
    Host.Log("LoadPlugin", 0, 1);
    if (InsideLoad()) {
        Host.Log("Finished (LoadPlugin) - refused inside a load", 0, -1);
        return false;
    }
    std::lock_guard<std::shared_mutex> lock(PluginLock);
    struct TLoading {
        std::atomic<DWORD>& Thread;
        explicit TLoading(std::atomic<DWORD>& t) : Thread(t) { Thread.store(GetCurrentThreadId()); }
        ~TLoading() { Thread.store(0); }
    } loading(LoadingThread);
    PluginPtr.reset();                                      // 1
    RestoreFPUState();                                      // 2
    TLoadBlock* load = LoadBlock();
    TDescriptionBlock* block = DescriptionBlock();
    if (load == nullptr || block == nullptr) {
        Host.Log("Finished (LoadPlugin) - result=0", 0, -1);
        return false;
    }
    TLoadRequest request = ReadLoadRequest(*load);          // 3
    Host.Log("1", 0, 0);
    std::unique_ptr<TBaseAudioPlugin> created;              // 4
    switch (request.Description.Kind) {
    case kKindVst2:
    case kKindVst2Alt:
        created = std::make_unique<TVSTPlugin>(&Host, &request.Description, request.Settings,
                                               request.Description.ShellId);
        break;
    case kKindVst3Effect:
    case kKindVst3Instrument:
        created = std::make_unique<TVST3Plugin>(&Host, &request.Description, request.Settings);
        break;
    default:
        break; // unknown kinds load nothing
    }
    // From here on the plugin is the loaded one: what it reports while it is
    // described reaches the host object with the plugin in place.
    PluginPtr = std::move(created);
    Host.Log("2", 0, 0);
    TDescriptionWriter writer(block);
    writer.Clear();                                         // 5
    if (PluginPtr && !PluginPtr->IsValid) {                 // 6
        Host.Log("NOT Plugin.IsValid", 0, 0);
        PluginPtr.reset();
    }
    TBaseAudioPlugin* plugin = PluginPtr.get();
    if (plugin) {                                           // 7
        plugin->UpdateInfo();
        writer.UpdateIdentity(plugin);
        writer.UpdateKeyNames(plugin);
        char stage[96];
        std::snprintf(stage, sizeof(stage), "3 - size=%d - pluginstate=%p", static_cast<int>(sizeof(TDescriptionBlock)),
                      static_cast<void*>(plugin));
        Host.Log(stage, 0, 0);
        DescribeAll(plugin);
        writer.SetShellFlag(plugin->IsShell);
        Host.Log("4", 0, 0);
        if (plugin->IsShell) {
            plugin->ScanShellPlugins();
            WriteShellList(*load, plugin->ShellPlugins);
        }
        Host.Log("5", 0, 0);
        Audio.PrepareBuffers(plugin, 0, (plugin->PluginFlags & kPluginAlways) == 0);
    }
    request.ShellList.reset();                              // 8
    Host.Log("6", 0, 0);
    if (plugin)                                             // 9
        DescribeAll(plugin);
    Host.Log("7", 0, 0);
    RestoreFPUState();                                      // 10
    const bool loaded = plugin != nullptr;
    char line[64];
    std::snprintf(line, sizeof(line), "Finished (LoadPlugin) - result=%d", loaded ? 1 : 0);
    Host.Log(line, 0, -1);
    return loaded;
}

std::int32_t TBridgeClientCore::SaveState(std::int32_t kind) // [main thread]
{
    StateStream.Clear();
    switch (kind) {
    case 0: PluginPtr->SaveRestoreState(StateStream, true, 0); break;
    case 1: PluginPtr->SavePreset(StateStream, true); break;
    case 2: PluginPtr->SavePreset(StateStream, false); break;
    default: break; // an empty state
    }
    return static_cast<std::int32_t>(StateStream.GetSize());
}

void TBridgeClientCore::FetchState(TCommandArgs& a) // [main thread]
{
    if (a.Data == nullptr || a.Capacity < static_cast<std::int64_t>(kFetchStateDataOffset)) {
        StateStream.Clear();
        return;
    }
    std::uint32_t wanted;
    std::memcpy(&wanted, a.Data, sizeof(wanted));
    // Never more than the record's data can hold after the 8-byte head.
    const std::int64_t room = a.Capacity - static_cast<std::int64_t>(kFetchStateDataOffset);
    const std::int64_t n = std::min<std::int64_t>(wanted, room);
    StateStream.SetPosition(0);
    const std::int64_t got = StateStream.Read(static_cast<std::uint8_t*>(a.Data) + kFetchStateDataOffset, n);
    StateStream.Clear();
    // The reply carries the head and the bytes read, so that the host's copy
    // of the record's data holds the state and not only the request.
    a.DataSize = static_cast<std::int64_t>(kFetchStateDataOffset) + got;
}

void TBridgeClientCore::LoadPluginState(TCommandArgs& a) // [main thread]
{
    char line[96];
    std::snprintf(line, sizeof(line), "LoadPluginState (info=%.8llx kind=%d)",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(a.Data)), a.Index);
    Host.Log(line, 0, 1);
    const std::int64_t available = std::min(a.DataSize, a.Capacity);
    if (a.Data == nullptr || available < static_cast<std::int64_t>(kStateFrameHeader)) {
        Host.Log("Refused: no state frame", 0, -1);
        return;
    }
    std::int64_t n;
    std::memcpy(&n, a.Data, sizeof(n));
    // A frame that claims more bytes than it carries is refused: loading a cut
    // state would lose the plugin's current one for a broken one.
    if (n < 0 || n > available - static_cast<std::int64_t>(kStateFrameHeader)) {
        Host.Log("Refused: the state frame is larger than its data", 0, -1);
        return;
    }
    std::snprintf(line, sizeof(line), "size=%lld", static_cast<long long>(n));
    Host.Log(line, 0, 0);
    StateStream.SetSize(n);
    StateStream.SetPosition(0);
    StateStream.Write(static_cast<const std::uint8_t*>(a.Data) + kStateFrameHeader, n);
    StateStream.SetPosition(0);
    switch (a.Index) {
    case 0: PluginPtr->SaveRestoreState(StateStream, false, 0); break;
    case 3: PluginPtr->LoadPreset(StateStream); break;
    case 4: PluginPtr->LoadVst3Preset(StateStream); break;
    default: break; // received and dropped
    }
    Host.Log("Loaded, clearing state", 0, 0);
    StateStream.Clear();
    RestoreFPUState();
    Host.Log("Finished (LoadPluginState)", 0, -1);
}

void TBridgeClientCore::RefreshDescription(std::int32_t bits) // [description thread]
{
    std::shared_lock<std::shared_mutex> lock(PluginLock);
    TBaseAudioPlugin* plugin = PluginPtr.get();
    TDescriptionBlock* block = DescriptionBlock();
    if (plugin == nullptr || block == nullptr)
        return;
    TDescriptionWriter w(block);
    if (bits & 1)
        w.UpdateParams(plugin, -1, -1);
    if (bits & 4)
        w.UpdatePrograms(plugin);
    if (bits & 2)
        w.UpdateBuses(plugin);
    if (bits & 8)
        w.UpdateEventBuses(plugin);
}

void TBridgeClientCore::PublishEditorSize()
{
    TBaseAudioPlugin* plugin = Plugin();
    THeaderBlock* header = Header();
    if (plugin == nullptr || header == nullptr || plugin->EditorCount() == 0)
        return;
    const TBaseAudioPluginEditor* editor = plugin->GetEditors(0);
    header->EditorWidth = editor->Width;
    header->EditorHeight = editor->Height;
    if (Channel)
        Channel->SendPeer(kCodeEditorState, 0, true);
}

void TBridgeClientCore::UpdateEditorState() // [main thread]
{
    if (EditorBusy)
        return; // nested inside an open or close
    Host.Log("UpdateEditorState", 0, 1);
    EditorBusy = true;
    TBaseAudioPlugin* plugin = Plugin();
    THeaderBlock* header = Header();
    if (plugin != nullptr && plugin->HasEditor && plugin->EditorCount() > 0 && header != nullptr) {
        TBaseAudioPluginEditor* editor = plugin->GetEditors(0);
        if (header->EditorRequest != 0) {
            ++EditorNesting;
            if (!editor->IsOpen) {
                editor->Open(nullptr, reinterpret_cast<TWindowHandle>(EditorParent), 0, 0);
                editor->UpdateSize();
                header->EditorWidth = editor->Width;
                header->EditorHeight = editor->Height;
                header->EditorWindow = WindowValue(EditorParent);
            }
            --EditorNesting;
        } else {
            editor->Close();
            header->EditorWindow = 0;
        }
    }
    RestoreFPUState();
    EditorBusy = false;
    if (Channel)
        Channel->SendPeer(kCodeEditorState, 0, true);
    if (plugin != nullptr)
        plugin->RefreshEditors(true);
    Host.Log("Finished (UpdateEditorState)", 0, -1);
}

void TBridgeClientCore::RegisterCommands(const TRegister& add)
{
    // Each handler checks for a plugin before it uses one.
    add(kCmdRefreshDescription, [this](TCommandArgs& a) {
        RefreshDescription(a.Index);
        return 0;
    });
    add(kCmdSaveState, [this](TCommandArgs& a) { return PluginPtr ? SaveState(a.Index) : 0; });
    add(kCmdFetchState, [this](TCommandArgs& a) {
        if (PluginPtr)
            FetchState(a);
        return 0;
    });
    add(kCmdLoadState, [this](TCommandArgs& a) {
        if (PluginPtr)
            LoadPluginState(a);
        return 0;
    });
    add(kCmdSetActive, [this](TCommandArgs& a) {
        if (!PluginPtr)
            return 0;
        const bool on = a.Index == 1;
        if (on && a.Data != nullptr && std::min(a.DataSize, a.Capacity) >= static_cast<std::int64_t>(sizeof(TTransportHeader))) {
            TTransportHeader h;
            std::memcpy(&h, a.Data, sizeof(h));
            Audio.ApplyHeader(PluginPtr.get(), h);
        }
        PluginPtr->SetActive(on);
        return 0;
    });
    add(kCmdReset, [this](TCommandArgs&) {
        if (PluginPtr)
            PluginPtr->Reset();
        return 0;
    });
    add(kCmdSetProgram, [this](TCommandArgs& a) {
        if (PluginPtr)
            PluginPtr->SetProgram(a.Index, 0);
        return 0;
    });
    add(kCmdSetProgramName, [this](TCommandArgs& a) {
        if (!PluginPtr)
            return 0;
        std::string name;
        Utf16ToAnsi(std::u16string(a.Text.begin(), a.Text.end()), name);
        PluginPtr->SetProgramName(a.Index, name, true);
        a.Text = ToWide(name);
        return 0;
    });
    add(kCmdPropertyFlags, [this](TCommandArgs& a) {
        if (!PluginPtr)
            return 0;
        PluginPtr->SetPropertyFlags(a.Index, a.Value);
        PluginPtr->GetPropertyFlags(a.Index, a.Value);
        return 0;
    });
    add(kCmdSetParamValue, [this](TCommandArgs& a) {
        if (!PluginPtr)
            return 0;
        PluginPtr->SetParamValue(a.Index, (a.Param1 & 1) != 0, BitsFloat(a.Value), (a.Param1 & 2) != 0);
        const float back = PluginPtr->GetParamValue(a.Index);
        if (TDescriptionBlock* block = DescriptionBlock())
            TDescriptionWriter(block).SetParamRecordValue(a.Index, back);
        return FloatBits(back);
    });
    add(kCmdMouseWheel, [this](TCommandArgs& a) {
        if (!PluginPtr)
            return 0;
        return PluginPtr->MouseWheel(static_cast<std::int32_t>(a.Param1 & 0xFFFFFFFF)) ? 1 : 0;
    });
    add(kCmdUpdateEditorState, [this](TCommandArgs&) {
        if (PluginPtr)
            UpdateEditorState();
        return 0;
    });
    add(kCmdProcess, [this](TCommandArgs& a) { // [audio thread]
        std::shared_lock<std::shared_mutex> lock(PluginLock);
        if (PluginPtr)
            Audio.Process(PluginPtr.get(), a.Index, static_cast<std::uint8_t*>(a.Data), a.DataSize, a.Capacity);
        return 0;
    });
    add(kCodeLoadPlugin, [this](TCommandArgs&) {
        const bool loaded = LoadPlugin();
        if (Channel)
            Channel->SendPeer(kCodePluginLoaded, loaded ? 1 : 0, true);
        return 0;
    });
    add(kCodeEditorState, [this](TCommandArgs&) {
        if (PluginPtr)
            UpdateEditorState();
        return 0;
    });
    add(kCodeRefreshEditors, [this](TCommandArgs&) {
        if (PluginPtr)
            PluginPtr->RefreshEditors(true);
        return 0;
    });
    add(kCodeVendorCommand, [this](TCommandArgs& a) {
        if (PluginPtr)
            PluginPtr->VendorCommand(a.Index);
        return 0;
    });
}
