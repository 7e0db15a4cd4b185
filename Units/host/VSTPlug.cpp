#include "VSTPlug.h"

#include "VSTPlugEditor.h"

#include "FPUState.h"
#include "FaultGuard.h"
#include "FileRoutines.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>

std::atomic<TVSTPlugin*> LoadingPlugin{nullptr};

namespace {

std::atomic<TVSTTraceSink*> gTraceSink{nullptr};

// Text buffers handed to the plugin: generously larger than any VST2 text.
constexpr std::size_t kTextBuffer = 513;
// Counts taken from the effect are trusted only up to these limits.
constexpr std::int32_t kMaxPins = 1024;
constexpr std::int32_t kMaxListed = 65536;
constexpr int kMaxShellEntries = 65536;

std::string BufferText(const char* buffer, std::size_t maxChars = kTextBuffer)
{
    return VstFieldText(buffer, maxChars, maxChars);
}

std::int32_t Clamped(std::int32_t count, std::int32_t limit)
{
    return std::clamp(count, 0, limit);
}

void SetX87ControlWord(std::uint16_t cw)
{
    __asm__ volatile("fldcw %0" : : "m"(cw));
}

void SetMXCSR(std::uint32_t value)
{
    if (DefaultMXCSR() != 0)
        __asm__ volatile("ldmxcsr %0" : : "m"(value));
}

// The floating-point state around a host callback. [any thread]
class TFPUScope {
public:
    explicit TFPUScope(bool enabled) : Enabled(enabled)
    {
        if (Enabled)
            RestoreFPUState();
    }
    ~TFPUScope()
    {
        if (Enabled)
            RestoreFPUState();
    }
    TFPUScope(const TFPUScope&) = delete;
    TFPUScope& operator=(const TFPUScope&) = delete;

private:
    bool Enabled;
};

// Sets a flag for the lifetime of the scope.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : Flag(flag) { Flag = true; }
    ~TFlagScope() { Flag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& Flag;
};

// Lets the main message loop handle what is pending. [main thread]
void ProcessPendingMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::u16string AnsiToUtf16(const std::string& text)
{
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<std::size_t>(std::max(n, 0)), u'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                            reinterpret_cast<wchar_t*>(wide.data()), n);
    return wide;
}

bool SameTextAscii(const char* a, const char* b, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
        if (a[i] == '\0')
            return true;
    }
    return true;
}

std::int32_t RoundToInt32(double value)
{
    const double r = RoundHalfEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        return 0;
    return static_cast<std::int32_t>(r);
}

std::string FieldString(const char* field, std::size_t size)
{
    return VstFieldText(field, size, size);
}

std::int32_t CopyHostText(void* ptr, const char* text, std::size_t size)
{
    if (ptr == nullptr)
        return 0;
    std::memcpy(ptr, text, size);
    return 1;
}

// The answers that need no effect: the host's identity and the capability
// table ("sizeWindow" asks the plugin's host when there is a plugin). False
// for every other opcode.
bool IdentityAnswer(VstInt32 Opcode, void* Ptr, TVSTPlugin* Plugin, VstIntPtr& Answer)
{
    switch (Opcode) {
    case audioMasterVersion:
        Answer = kVstHostVstVersion;
        return true;
    case audioMasterGetVendorString:
        Answer = CopyHostText(Ptr, kVstHostVendor, sizeof kVstHostVendor);
        return true;
    case audioMasterGetProductString:
        Answer = CopyHostText(Ptr, kVstHostProduct, sizeof kVstHostProduct);
        return true;
    case audioMasterGetVendorVersion:
        Answer = kVstHostVendorVersion;
        return true;
    case audioMasterCanDo: {
        const auto* text = static_cast<const char*>(Ptr);
        const bool asksSize = text != nullptr && std::strcmp(text, "sizeWindow") == 0;
        Answer = VstHostCanDo(text, !asksSize || Plugin == nullptr || Plugin->Host->CanResizeEditor(false));
        return true;
    }
    default:
        return false;
    }
}

} // namespace

void SetVSTTraceSink(TVSTTraceSink* Sink)
{
    gTraceSink.store(Sink);
}

// ---------------------------------------------------------------------------
// Construction and destruction

TVSTPlugin::TVSTPlugin(TAudioPluginHostIf* AHost, const TPluginDescription* ADescription,
                       const TPluginSettings& Settings, std::int32_t AShellId)
    : TBaseAudioPlugin(AHost, ADescription, Settings)
{
    try {
        Construct(Settings, AShellId);
    } catch (...) {
        // The destructor does not run for an object whose constructor
        // throws: close and release what was opened, then report.
        LoadingPlugin.store(nullptr);
        Creating = false;
        try {
            if (Active)
                SetActive(false);
            FreeEditors();
            if (Effect != nullptr)
                Dispatch(effClose);
        } catch (...) {
        }
        Effect = nullptr;
        Module.Reset();
        throw;
    }
}

void TVSTPlugin::Construct(const TPluginSettings& Settings, std::int32_t AShellId)
{
    // The fields of this class start cleared (markers, WantsMidi,
    // ProgramChunks, the lists, both backups).
    Constructing = true;
    Trace("TVSTPlug.Create - id=" + std::to_string(AShellId), 1);
    Properties[kPropReportCycle] = true;
    ActivationTime = timeGetTime();
    // The bus lists never move: the plugin may change its layout from any
    // thread while the audio thread reads them, and a VST2 effect has at most
    // kMaxPins buses a side.
    InputBuses.reserve(kMaxPins);
    OutputBuses.reserve(kMaxPins);
    InputBusStates.reserve(kMaxPins);
    OutputBusStates.reserve(kMaxPins);

    // Loading, with a "finally" part that always runs.
    bool goOn = true;
    {
        LoadingPlugin.store(this);
        Creating = true;
        struct TFinally {
            TVSTPlugin* Plugin;
            ~TFinally()
            {
                Plugin->Trace("reached finally", 0, 0);
                LoadingPlugin.store(nullptr);
                Plugin->Creating = false;
            }
        } finally{this};
        goOn = LoadAndOpen(Settings, AShellId);
    }
    Constructing = false;
    if (!goOn)
        return;

    // The information the bridge reads, and the parameter names of old plugins.
    UpdateInfo();
    if (VstVersion < 2 && NoEditor && !IsShell) {
        ParamNames.emplace();
        for (std::int32_t i = 0; i < Clamped(NumParams, kMaxListed); ++i) {
            char buffer[kTextBuffer + 1] = {};
            Dispatch(effGetParamName, i, 0, buffer);
            ParamNames->push_back(BufferText(buffer));
        }
    }

    // The sub-plugins of a shell, and the vendor.
    if (IsValid) {
        if (IsShell) {
            if ((Description.LoadFlags & kLoadKnownShellList) != 0 && Description.ShellList != nullptr)
                ShellPlugins.Assign(Description.ShellList);
            else
                ScanShellPlugins();
            Description.ShellList = nullptr;
            Description.LoadFlags &= ~kLoadKnownShellList;
        }
        char buffer[kTextBuffer + 1] = {};
        Dispatch(effGetVendorString, 0, 0, buffer);
        Vendor = BufferText(buffer);
    }

    RestoreFPUState();
    Trace("Finished (Create)", -1);
}

// Loads the module, calls its entry point and opens the effect. False when
// loading stopped at the entry point or at the effect (the constructor then
// ends after its "finally" part); true otherwise, also when the module
// could not be loaded at all.
bool TVSTPlugin::LoadAndOpen(const TPluginSettings& Settings, std::int32_t AShellId)
{
    const std::string fileName = FieldString(Description.FileName, sizeof Description.FileName);
    Trace("loading dll");
    Trace("  filename=" + fileName);

    // No "file not found" box, and the floating-point control words as
    // they were before the module's initialisation ran.
    {
        const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        const std::uint16_t cw = CurrentX87ControlWord();
        const std::uint32_t mxcsr = CurrentMXCSR();
        Module.Reset(LoadLibraryA(fileName.c_str()));
        SetX87ControlWord(cw);
        SetMXCSR(mxcsr);
        SetErrorMode(oldMode);
    }
    if (!Module) {
        Trace("Failed to load plugin dll (handle=0)");
        return true;
    }

    Trace("dll loaded");
    const VstPluginMainProc entry = FindMainFunction(Module.Get());
    if (entry == nullptr) {
        Trace("Finished (failed to find import function)", -1);
        Module.Reset();
        return false;
    }
    Trace("found main function");
    const std::string dir = VstModuleDirectory(fileName);
    FillZero(DllDir, sizeof DllDir);
    std::memcpy(DllDir, dir.data(), std::min(dir.size(), sizeof DllDir - 1));
    Trace(std::string("dll path: ") + DllDir);

    // The entry point, guarded against faults.
    ShellId = (Description.LoadFlags & kLoadShellSubPlugin) != 0 ? AShellId : 0;
    Trace("Call main", 1);
    RestoreFPUState();
    Trace("a");
    AEffect* effect = nullptr;
    std::string crash;
    bool returned = false;
    try {
        returned = CallFaultGuarded([&] { effect = entry(&VSTHostCallback); }, crash);
    } catch (const std::exception& e) {
        crash = e.what();
    } catch (...) {
        crash = "unknown exception";
    }
    if (returned) {
        Effect = effect;
        Trace("b");
    } else {
        Effect = nullptr;
        Trace("main() crashed - EXCEPTION: " + crash);
    }
    Trace("c");
    RestoreFPUState();
    Trace("Finished (call main)", -1);

    // Only a readable effect with the magic counts; a fault while reading it
    // leaves magicOk false.
    bool magicOk = false;
    if (Effect != nullptr) {
        std::string unused;
        AEffect* candidate = Effect;
        CallFaultGuarded([&] { magicOk = candidate->magic == kEffectMagic; }, unused);
    }
    if (!magicOk) {
        Effect = nullptr;
        Module.Reset();
        Trace("Finished (no effect)", -1);
        return false;
    }

    // Open.
    Effect->resvd1 = reinterpret_cast<VstIntPtr>(this);
    if ((Description.LoadFlags & kLoadShellSubPlugin) != 0 && ShellId != 0)
        Effect->uniqueID = ShellId;
    ShellId = Effect->uniqueID;
    RestoreFPUState();
    SetSampleRate(Settings.SampleRate);
    SetBlockSize(Settings.BlockSize);
    Dispatch(effOpen);
    SetSampleRate(Settings.SampleRate);
    SetBlockSize(Settings.BlockSize);
    IsValid = true;
    SetActive(true);
    // The parameter count is known from here on, so that the backup of
    // program 0 below holds its values (UpdateInfo reads it again).
    NumParams = Effect->numParams;

    if ((Effect->flags & effFlagsHasEditor) != 0)
        CreateEditor();

    // Names and kind.
    Name = VstNameFromFileName(fileName);
    {
        char buffer[kTextBuffer + 1] = {};
        Dispatch(effGetEffectName, 0, 0, buffer);
        if (buffer[0] != '\0')
            Name = BufferText(buffer);
    }
    Dispatch(effSetEditKnobMode, 0, 2);
    IsShell = Dispatch(effGetPlugCategory) == kPlugCategShell;
    ProgramChunks = (Effect->flags & effFlagsProgramChunks) != 0;
    VstVersion = static_cast<std::int32_t>(Dispatch(effGetVstVersion));
    OldVst = VstVersion < 2 && !IsShell;
    if (OldVst) {
        ProgramNames.emplace();
        for (std::int32_t i = 0; i < Clamped(Effect->numPrograms, kMaxListed); ++i)
            ProgramNames->push_back(ReadProgramName(i, true));
    }

    // Program 0, its backup, and the per-program table of old plugins.
    Dispatch(effSetProgram, 0, 0);
    if (!Properties[kPropPluginKeepsProgramEdits])
        TakeBackup(CurrentProgramBackup);
    ProgramTable.clear();
    if (VstVersion <= 1 && !ProgramChunks)
        BuildProgramTable();
    return true;
}

TVSTPlugin::~TVSTPlugin()
{
    Trace("TVSTPlugin.Destroy", 1);
    for (std::int32_t i = 0; i < EditorCount(); ++i)
        GetEditors(i)->Close();
    ReleaseBackup(CurrentProgramBackup);
    ReleaseBackup(Snapshot);

    std::string fault;
    try {
        CallFaultGuarded(
            [&] {
                if (Active)
                    SetActive(false);
                FreeEditors();
                if (Effect != nullptr)
                    Dispatch(effClose);
            },
            fault);
    } catch (...) {
    }
    Effect = nullptr;

    fault.clear();
    bool freed = false;
    try {
        freed = CallFaultGuarded([&] { Module.Reset(); }, fault);
    } catch (const std::exception& e) {
        fault = e.what();
    }
    if (!freed) {
        Module.Release(); // a module that faulted while unloading is left as it is
        Trace("EXCEPTION: " + fault);
    }

    ProgramNames.reset();
    ParamNames.reset();
    ProgramTable.clear();
    Trace("Finished (VSTPlugin.Destroy)", -1);
}

VstPluginMainProc TVSTPlugin::FindMainFunction(HMODULE AModule)
{
    if (AModule == nullptr)
        return nullptr;
    for (const char* name : kVstEntryPointNames) {
        if (FARPROC proc = GetProcAddress(AModule, name))
            return reinterpret_cast<VstPluginMainProc>(reinterpret_cast<void*>(proc));
    }
    return nullptr;
}

void TVSTPlugin::ScanShellPlugins()
{
    if (Effect == nullptr || ShellPlugins.Count() > 0)
        return;
    ShowMessage("Scanning shell plugins", 1);
    ProcessPendingMessages();
    for (int n = 0; n < kMaxShellEntries; ++n) {
        char buffer[kTextBuffer + 1] = {};
        const VstIntPtr id = Dispatch(effShellGetNextPlugin, 0, 0, buffer);
        const std::string name = BufferText(buffer, kVstMaxShellNameLen);
        if (id == 0 || name.empty())
            break;
        char text[128];
        std::snprintf(text, sizeof text, "Scanning shell plugins (%s)", name.c_str());
        ShowMessage(text, 1);
        ProcessPendingMessages();
        ShellPlugins.AddOrUpdate(name, Description.Kind, TClassID{}, static_cast<std::int32_t>(id));
    }
}

// ---------------------------------------------------------------------------
// Trace lines

void TVSTPlugin::Log(const std::string& Text, std::uint8_t Level, std::int32_t Indent, bool Forward)
{
    TBaseAudioPlugin::Log(Text, Level, Indent, Forward);
    if (!Forward) {
        if (TVSTTraceSink* sink = gTraceSink.load())
            sink->Trace(Text, Level, Indent);
    }
}

void TVSTPlugin::Trace(const std::string& Text, std::int32_t Indent, std::uint8_t Level)
{
    Log(Text, Level, Indent, false);
}

// ---------------------------------------------------------------------------
// Calls into the plugin

VstIntPtr TVSTPlugin::Dispatch(VstInt32 Opcode, VstInt32 Index, VstIntPtr Value, void* Ptr, float Opt)
{
    if (Effect == nullptr || Effect->dispatcher == nullptr)
        return 0;
    VstIntPtr result = 0;
    AEffect* effect = Effect;
    // A fault inside the plugin surfaces as EPluginFault.
    CallPluginCode([&] { result = effect->dispatcher(effect, Opcode, Index, Value, Ptr, Opt); });
    RestoreFPUState();
    return result;
}

// ---------------------------------------------------------------------------
// Host callback

VstIntPtr VSTCALL VSTHostCallback(AEffect* Effect, VstInt32 Opcode, VstInt32 Index, VstIntPtr Value, void* Ptr,
                                  float Opt)
{
    TVSTPlugin* plugin = nullptr;
    if (Effect != nullptr && Effect->resvd1 != 0)
        plugin = reinterpret_cast<TVSTPlugin*>(Effect->resvd1);
    else
        plugin = LoadingPlugin.load();

    // Nothing may unwind into the plugin's frames.
    try {
        if (plugin != nullptr)
            return plugin->HostCallback(Effect, Opcode, Index, Value, Ptr, Opt);
        VstIntPtr answer = 0;
        IdentityAnswer(Opcode, Ptr, nullptr, answer); // audioMasterCurrentId included: no plugin, no id
        return answer;
    } catch (...) {
        return 0;
    }
}

VstIntPtr TVSTPlugin::HostCallback(AEffect* AEffectPtr, VstInt32 Opcode, VstInt32 Index, VstIntPtr Value,
                                   void* Ptr, float Opt)
{
    TFPUScope fpu(!Properties[kPropKeepFPUState]);

    // Answered whatever the effect pointer is.
    VstIntPtr answer = 0;
    if (IdentityAnswer(Opcode, Ptr, this, answer))
        return answer;
    switch (Opcode) {
    case audioMasterCurrentId:
        return (Description.LoadFlags & kLoadShellSubPlugin) != 0 ? ShellId : 0;
    case audioMasterUpdateDisplay:
        return AEffectPtr != nullptr ? OnUpdateDisplay() : 0;
    default:
        break;
    }

    if (AEffectPtr == nullptr || Effect == nullptr)
        return 0;

    switch (Opcode) {
    case audioMasterAutomate:
        if (Index >= 0 && Index < Effect->numParams && CanAutomate(Index))
            NotifyParamValue(Index, Opt);
        return 0;
    case audioMasterIdle:
        HostIdle();
        if (!Creating && !InIdle)
            Idle();
        IdleSizeCheck = true;
        return 0;
    case audioMasterPinConnected:
        return IsPinConnected(Index, Value == 0) ? 0 : 1;
    case audioMasterWantMidi:
        WantsMidi = true;
        AcceptsMidi = true;
        return 0;
    case audioMasterGetTime:
        FillTimeInfo(static_cast<VstInt32>(Value));
        if (Ptr != nullptr)
            std::memcpy(Ptr, &TimeInfo, sizeof TimeInfo);
        return reinterpret_cast<VstIntPtr>(&TimeInfo);
    case audioMasterProcessEvents: {
        const auto* events = static_cast<const VstEvents*>(Ptr);
        if (events == nullptr)
            return 0;
        const auto* const* slots = reinterpret_cast<const VstEvent* const*>(
            reinterpret_cast<const char*>(events) + offsetof(VstEvents, events));
        for (VstInt32 i = 0; i < events->numEvents; ++i) {
            const VstEvent* e = slots[i];
            if (e == nullptr)
                continue;
            if (e->type == kVstMidiType) {
                const auto* midi = reinterpret_cast<const VstMidiEvent*>(e);
                const auto byte = [&](int k) {
                    return static_cast<std::int32_t>(static_cast<unsigned char>(midi->midiData[k]));
                };
                MidiOut(byte(0) + byte(1) * 256 + byte(2) * 65536, true);
            } else if (e->type == kVstSysExType) {
                // A message without bytes has nothing to send.
                const auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(e);
                if (sysex->sysexDump != nullptr && sysex->dumpBytes > 0)
                    SysexOut(0, sysex->dumpBytes, sysex->sysexDump);
            }
        }
        return 0;
    }
    case audioMasterTempoAt:
        return RoundToInt32(Tempo * 10000.0);
    case audioMasterGetNumAutomatableParameters:
        return kVstHostAutomatableParameters;
    case audioMasterIOChanged:
        if (Effect->initialDelay != Latency) {
            Latency = Effect->initialDelay;
            LatencyChanged(0);
        }
        UpdateInfo();
        IOChanged();
        return 1;
    case audioMasterNeedIdle:
        NeedIdle = true;
        if (!Creating && !IdleGuard) {
            TFlagScope guard(IdleGuard);
            Idle();
        }
        return 0;
    case audioMasterSizeWindow:
        for (std::int32_t i = 0; i < EditorCount(); ++i) {
            TBaseAudioPluginEditor* editor = GetEditors(i);
            editor->Width = Index;
            editor->Height = static_cast<std::int32_t>(Value);
            if (auto* vstEditor = dynamic_cast<TVSTPluginEditor*>(editor))
                vstEditor->ResizePanel(editor->Width, editor->Height);
        }
        EditorResized(false);
        return 1;
    case audioMasterGetSampleRate:
        return SampleRate;
    case audioMasterGetBlockSize:
        return BlockSize;
    case audioMasterGetInputLatency:
        return InputLatency;
    case audioMasterGetOutputLatency:
        return OutputLatency;
    case audioMasterWillReplaceOrAccumulate:
        return (PluginFlags & kPluginReplacing) != 0 ? 1 : 2;
    case audioMasterGetCurrentProcessLevel:
        return IsOffline() ? kVstProcessLevelOffline : 0;
    case audioMasterGetAutomationState:
        return kVstAutomationReadWrite;
    case audioMasterGetLanguage:
        return kVstLangEnglish;
    case audioMasterGetDirectory:
        return reinterpret_cast<VstIntPtr>(DllDir);
    default:
        return 0;
    }
}

VstIntPtr TVSTPlugin::OnUpdateDisplay()
{
    if (InStateTransfer || Creating) {
        DisplayUpdatePending = true;
        return 0;
    }
    if (HasEditor && Properties[kPropRefreshEditorsOnUpdate]) {
        for (std::int32_t i = 0; i < EditorCount(); ++i) {
            TBaseAudioPluginEditor* editor = GetEditors(i);
            if (editor->IsOpen) {
                editor->Refresh();
                EditorResized(true);
            }
        }
    }
    if (Properties[kPropCheckProgramOnUpdate])
        CheckProgramChange();
    if (Effect != nullptr && Effect->initialDelay != Latency) {
        Latency = Effect->initialDelay;
        LatencyChanged(0);
    }
    UpdateDisplay(Effect != nullptr ? 0x07 : 0x05, true);
    return 0;
}

void TVSTPlugin::CheckProgramChange()
{
    if (Effect == nullptr || InProgramCheck)
        return;
    TFlagScope guard(InProgramCheck);
    const std::int32_t program = GetCurrentProgram();
    if (!Properties[kPropPluginKeepsProgramEdits] && CurrentProgramBackup.Valid &&
        program != CurrentProgramBackup.Program)
        SetProgram(program, 0);
}

void TVSTPlugin::FillTimeInfo(VstInt32 Value)
{
    TVstTimeState state;
    state.SongPosition = SongPosition;
    state.SampleRate = SampleRate;
    state.Tempo = Tempo;
    state.StepsPerBar = StepsPerBar;
    state.StepsPerBeat = StepsPerBeat;
    state.Playing = Playing;
    state.Changed = TransportChanged || PositionJumped;
    state.CycleAllowed = Properties[kPropReportCycle];
    state.ElapsedMs = timeGetTime() - ActivationTime;
    if (state.Changed) {
        TransportChanged = false;
        PositionJumped = false;
        TempoChanged = false;
    }
    THostTimeInfo host{};
    const std::int32_t request = VstHostTimeRequest(Value, state.CycleAllowed);
    if (request != 0)
        Host->GetTimeInfo(request, host);
    FillVstTimeInfo(state, Value, host, TimeInfo);
}

// ---------------------------------------------------------------------------
// Activation and host state

void TVSTPlugin::SetActive(bool AActive)
{
    try {
        const bool old = Active;
        TBaseAudioPlugin::SetActive(AActive);
        if (AActive)
            ActivationTime = timeGetTime();
        if (Effect != nullptr && IsValid) {
            if (AActive != old)
                Dispatch(effMainsChanged, 0, AActive ? 1 : 0);
            if (AActive && Effect->initialDelay != Latency) {
                Latency = Effect->initialDelay;
                LatencyChanged(0);
            }
        }
    } catch (const std::exception& e) {
        Trace(std::string("EXCEPTION in TVSTPlugin.SetActive: ") + e.what());
    }
}

void TVSTPlugin::CheckLatency() // [main thread]
{
    if (Effect == nullptr || !IsValid)
        return;
    const std::int32_t delay = Effect->initialDelay;
    if (delay != Latency) {
        Latency = delay;
        LatencyChanged(0);
    }
}

void TVSTPlugin::Reset()
{
    if (Active) {
        SetActive(false);
        SetActive(true);
    }
}

void TVSTPlugin::SetSampleRate(std::int32_t Rate)
{
    TBaseAudioPlugin::SetSampleRate(Rate);
    if (Effect == nullptr)
        return;
    if (Active)
        Dispatch(effMainsChanged, 0, 0);
    Dispatch(effSetSampleRate, 0, Rate, nullptr, static_cast<float>(Rate));
    if (Active)
        Dispatch(effMainsChanged, 0, 1);
}

void TVSTPlugin::SetBlockSize(std::int32_t Size)
{
    // Reached from the audio thread when a block brings another size: the
    // trace text is only built for a sink that reads it.
    const bool tracing = gTraceSink.load() != nullptr;
    if (tracing)
        Trace("SetBlockSize: " + std::to_string(Size), 1);
    TBaseAudioPlugin::SetBlockSize(Size);
    if (Effect != nullptr) {
        if (Active)
            Dispatch(effMainsChanged, 0, 0);
        Dispatch(effSetBlockSize, 0, Size);
        if (Active)
            Dispatch(effMainsChanged, 0, 1);
    }
    if (tracing)
        Trace("Finished (SetBlockSize)", -1);
}

void TVSTPlugin::SetTempo(double ATempo)
{
    TBaseAudioPlugin::SetTempo(ATempo);
    if (Effect != nullptr)
        Dispatch(effSetTempoPrivate, 0, RoundToInt32(SamplesPerTick * TicksPerStep), nullptr,
                 static_cast<float>(ATempo));
    TempoChanged = true;
}

void TVSTPlugin::SetPlaying(bool APlaying)
{
    if (APlaying != Playing)
        TransportChanged = true;
    TBaseAudioPlugin::SetPlaying(APlaying);
}

// ---------------------------------------------------------------------------
// Events and blocks

void TVSTPlugin::MidiMessage(std::int32_t, std::int32_t Msg, std::int32_t DeltaFrames)
{
    if (AcceptsMidi)
        EventQueue.QueueMidiMessage(Msg, DeltaFrames);
}

void TVSTPlugin::NoteOn(std::int32_t, std::uint8_t Velocity, std::int64_t, float Pitch, float, std::uint8_t Channel,
                        std::int32_t, bool Realtime, std::int32_t DeltaFrames, std::int32_t)
{
    if (AcceptsMidi)
        EventQueue.QueueNote(true, Velocity, Pitch, Channel, Realtime, DeltaFrames);
}

void TVSTPlugin::NoteOff(std::int32_t, std::uint8_t Velocity, std::int64_t, float Pitch, std::uint8_t Channel,
                         bool Realtime, std::int32_t DeltaFrames)
{
    if (AcceptsMidi)
        EventQueue.QueueNote(false, Velocity, Pitch, Channel, Realtime, DeltaFrames);
}

namespace {

// Gives the block's event copies back however the block ends. [audio thread]
class TEventListScope {
public:
    explicit TEventListScope(TVstEventQueue& queue) : Queue(queue) {}
    ~TEventListScope() { Queue.ReleaseList(); }
    TEventListScope(const TEventListScope&) = delete;
    TEventListScope& operator=(const TEventListScope&) = delete;

private:
    TVstEventQueue& Queue;
};

} // namespace

bool TVSTPlugin::SendBlockEvents()
{
    const bool accepting = AcceptsMidi && Effect != nullptr;
    VstEvents* list = EventQueue.BuildList(accepting);
    if (accepting)
        Dispatch(effProcessEvents, 0, 0, list);
    return Effect != nullptr;
}

void TVSTPlugin::Process(float** Inputs, float** Outputs, std::int32_t SampleFrames)
{
    TEventListScope release(EventQueue);
    if (!SendBlockEvents())
        return;
    if ((PluginFlags & kPluginReplacing) != 0) {
        if (Effect->processReplacing != nullptr) {
            AEffect* effect = Effect;
            CallPluginCode([&] { effect->processReplacing(effect, Inputs, Outputs, SampleFrames); });
        }
    } else if (Effect->process != nullptr) {
        AEffect* effect = Effect;
        CallPluginCode([&] { effect->process(effect, Inputs, Outputs, SampleFrames); });
    }
}

void TVSTPlugin::ProcessBuses(float** Inputs, float** Outputs, std::int32_t SampleFrames)
{
    TEventListScope release(EventQueue);
    if (!SendBlockEvents())
        return;
    // The maker's bus mode: the first bus buffers go where the published
    // interface expects channel arrays.
    if ((Effect->flags & effFlagsBusProcessing) != 0 && Effect->processDoubleReplacing != nullptr) {
        auto* in = reinterpret_cast<double**>(Inputs != nullptr ? Inputs[0] : nullptr);
        auto* out = reinterpret_cast<double**>(Outputs != nullptr ? Outputs[0] : nullptr);
        AEffect* effect = Effect;
        CallPluginCode([&] { effect->processDoubleReplacing(effect, in, out, SampleFrames); });
    }
}

// ---------------------------------------------------------------------------
// Information

void TVSTPlugin::ReadPins(bool IsInput)
{
    const std::int32_t count = Clamped(IsInput ? Effect->numInputs : Effect->numOutputs, kMaxPins);
    std::vector<TVstPinAnswer> pins(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        TVstPinAnswer& answer = pins[static_cast<std::size_t>(i)];
        answer.Answered = Dispatch(IsInput ? effGetInputProperties : effGetOutputProperties, i, 0, &answer.Pin) != 0;
    }
    const std::vector<TBusInfo> buses = VstPinsToBuses(pins);
    SetBusCount(IsInput, static_cast<std::int32_t>(buses.size()));
    std::copy(buses.begin(), buses.end(), (IsInput ? InputBuses : OutputBuses).begin());
}

void TVSTPlugin::UpdateInfo() // [any thread: the plugin may announce a change from its own]
{
    // The flags are built aside and stored once: the audio thread reads them
    // while this runs and must never see a half-built set.
    if (!IsValid || Effect == nullptr) {
        PluginFlags = 0;
        return;
    }
    std::int32_t pluginFlags = 0;
    NumParams = Effect->numParams;
    const std::int32_t oldInputs = NumInputBuses;
    const std::int32_t oldOutputs = NumOutputBuses;
    ReadPins(true);
    ReadPins(false);
    if (NumInputBuses > 1)
        pluginFlags |= kPluginMultiInput;
    if (NumOutputBuses > 1)
        pluginFlags |= kPluginMultiOutput;
    ResetBusStates(oldInputs, oldOutputs);

    const VstInt32 flags = Effect->flags;
    NoEditor = (flags & effFlagsHasEditor) == 0;
    HasEditor = !NoEditor || EditorCount() > 0;
    IsSynth = (flags & effFlagsIsSynth) != 0;
    IsEffect = !IsSynth;
    if ((flags & effFlagsBusProcessing) != 0)
        pluginFlags |= 0x400;
    pluginFlags |= kPluginAlways;
    if ((flags & effFlagsCanReplacing) != 0)
        pluginFlags |= kPluginReplacing;
    Latency = Effect->initialDelay;
    NumPrograms = Effect->numPrograms;
    char canDo[] = "receiveVstMidiEvent";
    AcceptsMidi = Dispatch(effCanDo, 0, 0, canDo) >= 0 || WantsMidi;
    pluginFlags |= 0x0022381D;
    PluginFlags = pluginFlags;
}

bool TVSTPlugin::MatchesDescription(const TPluginDescription& ADescription)
{
    if (ADescription.Kind != kKindVst2 && ADescription.Kind != kKindVst2Alt)
        return false;
    return SameTextAscii(ADescription.FileName, Description.FileName, sizeof Description.FileName);
}

void TVSTPlugin::GetVersionString(std::string& S)
{
    S.clear();
    if (Effect != nullptr)
        S = VstVersionString(static_cast<VstInt32>(Dispatch(effGetVstVersion)));
}

void TVSTPlugin::GetCategoryString(std::string& S)
{
    S = VstCategoryString(static_cast<VstInt32>(Dispatch(effGetPlugCategory)), IsSynth);
}

std::int32_t TVSTPlugin::GetUniqueID()
{
    return Effect != nullptr ? Effect->uniqueID : 0;
}

void TVSTPlugin::GetMidiKeyName(std::int32_t Key, std::string& AName)
{
    AName.clear();
    if (Effect == nullptr)
        return;
    MidiKeyName key{};
    key.thisProgramIndex = GetCurrentProgram();
    key.thisKeyNumber = Key;
    if (Dispatch(effGetMidiKeyName, 0, 0, &key) != 0)
        AName = FieldString(key.keyName, sizeof key.keyName);
}

bool TVSTPlugin::ForwardKey(VstInt32 Opcode, std::int32_t Key, TShiftState Shift)
{
    const VstKeyCode code = MakeVstKeyCode(Key, Shift);
    return Dispatch(Opcode, code.character, code.virt, nullptr, static_cast<float>(code.modifier)) == 1;
}

bool TVSTPlugin::KeyDown(std::int32_t Key, TShiftState Shift)
{
    return ForwardKey(effEditKeyDown, Key, Shift);
}

bool TVSTPlugin::KeyUp(std::int32_t Key, TShiftState Shift)
{
    return ForwardKey(effEditKeyUp, Key, Shift);
}

bool TVSTPlugin::MouseWheel(std::int32_t Delta)
{
    return Dispatch(effVendorSpecific, VstFourCC('s', 't', 'C', 'A'), VstFourCC('W', 'h', 'e', 'e'), nullptr,
                    static_cast<float>(Delta) / 120.0f) != 0;
}

void TVSTPlugin::VendorCommand(std::int32_t Value)
{
    std::int32_t value = Value;
    Dispatch(effVendorSpecific, VstFourCC('N', 'K', 'V', 'S'), 7, &value);
}

// ---------------------------------------------------------------------------
// Parameters

void TVSTPlugin::GetParamName(std::int32_t Index, std::string& AName)
{
    AName.clear();
    if (Index < 0 || Index >= NumParams)
        return;
    if (ParamNames && static_cast<std::size_t>(Index) < ParamNames->size()) {
        AName = (*ParamNames)[static_cast<std::size_t>(Index)];
        return;
    }
    char buffer[kTextBuffer + 1] = {};
    Dispatch(effGetParamName, Index, 0, buffer);
    AName = BufferText(buffer);
}

void TVSTPlugin::GetParamLabel(std::int32_t Index, std::string& Text)
{
    Text.clear();
    if (Index < 0 || Index >= NumParams)
        return;
    char buffer[kTextBuffer + 1] = {};
    Dispatch(effGetParamLabel, Index, 0, buffer);
    Text = BufferText(buffer);
}

void TVSTPlugin::GetParamDisplay(std::int32_t Index, bool Unicode, std::u16string& Text)
{
    Text.clear();
    if (Index < 0 || Index >= NumParams)
        return;
    char buffer[kTextBuffer + 1] = {};
    Dispatch(effGetParamDisplay, Index, 0, buffer);
    Text = AnsiToUtf16(BufferText(buffer));
    ApplyLevelBarRule(Text, Unicode);
}

float TVSTPlugin::GetParamValue(std::int32_t Index)
{
    if (Effect == nullptr || Effect->getParameter == nullptr)
        return 0.0f;
    RestoreFPUState();
    float value = 0.0f;
    AEffect* effect = Effect;
    CallPluginCode([&] { value = effect->getParameter(effect, Index); });
    RestoreFPUState();
    return value;
}

void TVSTPlugin::SetParamValue(std::int32_t Index, bool ARefreshEditors, float Value, bool Notify)
{
    if (Effect != nullptr && Effect->setParameter != nullptr) {
        if (NoEditor)
            Host->Lock(true);
        struct TUnlock {
            TVSTPlugin* Plugin;
            ~TUnlock()
            {
                if (Plugin->NoEditor)
                    Plugin->Host->Lock(false);
            }
        } unlock{this};
        RestoreFPUState();
        AEffect* effect = Effect;
        CallPluginCode([&] { effect->setParameter(effect, Index, Value); });
        RestoreFPUState();
        RefreshEditors(ARefreshEditors);
    }
    TBaseAudioPlugin::SetParamValue(Index, ARefreshEditors, Value, Notify);
}

// ---------------------------------------------------------------------------
// Programs

std::int32_t TVSTPlugin::GetCurrentProgram()
{
    return static_cast<std::int32_t>(Dispatch(effGetProgram));
}

void TVSTPlugin::SwitchProgram(std::int32_t Index)
{
    if (Index == GetCurrentProgram() && ProgramTable.empty())
        return;
    Dispatch(effSetProgram, 0, Index);
}

std::string TVSTPlugin::ReadProgramName(std::int32_t Index, bool Force)
{
    if (Effect == nullptr || Index < 0 || Index >= Effect->numPrograms)
        return {};
    if (OldVst && !Force && Index > 0 && ProgramNames && static_cast<std::size_t>(Index) < ProgramNames->size())
        return (*ProgramNames)[static_cast<std::size_t>(Index)];
    char buffer[kTextBuffer + 1] = {};
    if (Dispatch(effGetProgramNameIndexed, Index, -1, buffer) <= 0) {
        FillZero(buffer, sizeof buffer);
        const std::int32_t previous = GetCurrentProgram();
        if (Index == previous) {
            Dispatch(effGetProgramName, 0, 0, buffer);
        } else {
            // Visit the program to read its name, and come back in any case.
            struct TComeBack {
                TVSTPlugin* Plugin;
                std::int32_t Previous;
                ~TComeBack()
                {
                    try {
                        Plugin->SwitchProgram(Previous);
                        Plugin->Dispatch(effEndSetProgram);
                    } catch (const std::exception&) {
                        // the fault that ends the read is the one reported
                    }
                }
            };
            Dispatch(effBeginSetProgram);
            TComeBack comeBack{this, previous};
            SwitchProgram(Index);
            Dispatch(effGetProgramName, 0, 0, buffer);
        }
    }
    return BufferText(buffer);
}

void TVSTPlugin::RenameProgram(std::int32_t Index, std::string& NewName, bool Notify)
{
    char buffer[kTextBuffer + 1] = {};
    std::memcpy(buffer, NewName.data(), std::min<std::size_t>(NewName.size(), 63));
    const std::int32_t previous = GetCurrentProgram();
    if (Index != previous)
        SwitchProgram(Index);
    Dispatch(effSetProgramName, 0, 0, buffer);
    FillZero(buffer, sizeof buffer);
    Dispatch(effGetProgramName, 0, 0, buffer);
    NewName = BufferText(buffer);
    if (Index != previous)
        SwitchProgram(previous);
    if (Notify)
        UpdateDisplay(1, true);
}

void TVSTPlugin::TakeBackup(TProgramBackup& Backup)
{
    Backup.Data.clear();
    Backup.Size = 0;
    Backup.Valid = false;
    if (Effect != nullptr) {
        if (ProgramChunks) {
            void* data = nullptr;
            VstIntPtr size = Dispatch(effGetChunk, 1, 0, &data);
            if (size < 0 || data == nullptr || size > INT32_MAX)
                size = 0;
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            Backup.Data.assign(bytes, bytes + size);
            Backup.Size = static_cast<std::int32_t>(size);
            Backup.Valid = size > 0;
        } else {
            const std::int32_t count = Clamped(NumParams, kMaxListed);
            Backup.Data.resize(static_cast<std::size_t>(count) * sizeof(float));
            for (std::int32_t i = 0; i < count; ++i) {
                const float value = GetParamValue(i);
                std::memcpy(Backup.Data.data() + static_cast<std::size_t>(i) * sizeof(float), &value, sizeof value);
            }
            Backup.Valid = count > 0;
        }
    }
    if (Backup.Valid) {
        Backup.Program = GetCurrentProgram();
        Backup.Name = ReadProgramName(Backup.Program, false);
    } else {
        Backup.Data.clear();
        Backup.Program = -1;
        Backup.Name.clear();
    }
}

void TVSTPlugin::RestoreBackup(TProgramBackup& Backup)
{
    if (!Backup.Valid || Effect == nullptr)
        return;
    if (ProgramChunks) {
        Dispatch(effSetChunk, 1, Backup.Size, Backup.Data.data());
    } else {
        const std::size_t saved = Backup.Data.size() / sizeof(float);
        const std::size_t count = std::min(saved, static_cast<std::size_t>(Clamped(Effect->numParams, kMaxListed)));
        for (std::size_t i = 0; i < count; ++i) {
            float value;
            std::memcpy(&value, Backup.Data.data() + i * sizeof(float), sizeof value);
            SetParamValue(static_cast<std::int32_t>(i), true, value, false);
        }
    }
    std::string name = Backup.Name;
    RenameProgram(GetCurrentProgram(), name, true);
}

void TVSTPlugin::ReleaseBackup(TProgramBackup& Backup)
{
    if (!Backup.Valid)
        return;
    if (Effect != nullptr)
        ProgramChunks = (Effect->flags & effFlagsProgramChunks) != 0;
    Backup.Data.clear();
    Backup.Size = 0;
    Backup.Name.clear();
    Backup.Program = -1;
    Backup.Valid = false;
}

void TVSTPlugin::BuildProgramTable()
{
    const std::int32_t count = Clamped(Effect->numPrograms, kMaxListed);
    ProgramTable.assign(static_cast<std::size_t>(count), TProgramBackup{});
    const std::int32_t previous = GetCurrentProgram();
    struct TComeBack {
        TVSTPlugin* Plugin;
        std::int32_t Previous;
        ~TComeBack()
        {
            try {
                Plugin->Dispatch(effSetProgram, 0, Previous);
            } catch (const std::exception&) {
                // the fault that ends the table is the one reported
            }
        }
    } comeBack{this, previous};
    for (std::int32_t i = 0; i < count; ++i) {
        Dispatch(effSetProgram, 0, i);
        TakeBackup(ProgramTable[static_cast<std::size_t>(i)]);
    }
}

void TVSTPlugin::GetProgramName(std::int32_t Index, std::int32_t, std::string& AName)
{
    AName.clear();
    if (!IsValid)
        return;
    if (!Properties[kPropPluginKeepsProgramEdits] && CurrentProgramBackup.Valid && Index == GetCurrentProgram()) {
        AName = CurrentProgramBackup.Name;
    } else {
        try {
            AName = ReadProgramName(Index, false);
        } catch (...) {
            AName.clear();
        }
    }
    RestoreFPUState();
}

void TVSTPlugin::SetProgram(std::int32_t Index, std::int32_t)
{
    if (Effect == nullptr)
        return;
    auto tableHolds = [this](std::int32_t k) { return k >= 0 && static_cast<std::size_t>(k) < ProgramTable.size(); };
    if (Properties[kPropPluginKeepsProgramEdits] || !CurrentProgramBackup.Valid) {
        if (tableHolds(Index)) {
            // The table speaks for a plugin that keeps one set of values for
            // all its programs: the program being left keeps its edits in its
            // own entry, and the program selected gets its own values and
            // name once it is current (never the other way round).
            const std::int32_t leaving = GetCurrentProgram();
            if (tableHolds(leaving) && leaving != Index)
                TakeBackup(ProgramTable[static_cast<std::size_t>(leaving)]);
            SwitchProgram(Index);
            RestoreBackup(ProgramTable[static_cast<std::size_t>(Index)]);
            if (!Properties[kPropPluginKeepsProgramEdits])
                TakeBackup(CurrentProgramBackup);
            RefreshEditors(true);
            return;
        }
    } else {
        // Put the program being left back as it was when it was selected.
        if (GetCurrentProgram() != CurrentProgramBackup.Program)
            SwitchProgram(CurrentProgramBackup.Program);
        RestoreBackup(CurrentProgramBackup);
    }
    SwitchProgram(Index);
    if (!Properties[kPropPluginKeepsProgramEdits])
        TakeBackup(CurrentProgramBackup);
    RefreshEditors(true);
}

void TVSTPlugin::SetProgramName(std::int32_t Index, std::string& AName, bool Notify)
{
    if (Properties[kPropPluginKeepsProgramEdits])
        RenameProgram(Index, AName, Notify);
    else
        GetProgramName(Index, 0, AName); // refused: the caller sees the name that stays
}

void TVSTPlugin::SetProperties(std::int32_t Index, bool NewValue)
{
    const bool wasKeeping = Properties[kPropPluginKeepsProgramEdits];
    TBaseAudioPlugin::SetProperties(Index, NewValue);
    if (Index != kPropPluginKeepsProgramEdits || Effect == nullptr || !IsValid)
        return;
    if (!Properties[kPropPluginKeepsProgramEdits])
        TakeBackup(CurrentProgramBackup);
    else if (!wasKeeping)
        ReleaseBackup(CurrentProgramBackup);
}

void TVSTPlugin::TakeSnapshot()
{
    TakeBackup(Snapshot);
    Properties[kPropSnapshotTaken] = true;
}

void TVSTPlugin::RestoreSnapshot()
{
    RestoreBackup(Snapshot);
}
