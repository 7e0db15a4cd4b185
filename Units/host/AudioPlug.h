#pragma once
// The format-neutral plugin abstraction that the bridge client works on.
//
//   TAudioPluginHostIf      everything a plugin tells or asks its host: 29 operations,
//                           all abstract
//   TBaseAudioPluginHost    neutral answers for a host that has nothing better
//   TDummyHost              the host a plugin creates (and owns) when given none
//   TShellPluginInfo(List)  the sub-plugins of a shell module, keyed by name
//                           without regard to letter case
//   TParamMenuInfo          one context-menu entry
//   TMenuItemList           the entries of one context menu, owned
//   TBaseAudioPlugin        one loaded plugin as the bridge drives it: the state the
//                           host pushes, the editors, the shell list, and 92 operations
//                           that the VST2 and VST3 classes override
//   TBaseAudioPluginEditor  the plugin's editor window
//
// Texts are 8-bit std::string in the ANSI code page unless said otherwise;
// "16-bit text" is std::u16string (UTF-16). This header includes no Windows
// header: a window handle is the opaque TWindowHandle, and KeyToChar is built
// for Windows only.
//
// Threads: block processing, the event operations and the host-state setters
// run on the thread that serves the audio channel [audio thread]; everything
// else on the main thread or the thread of the channel that carries the
// request. The base classes keep no lock.

#include "AbcStringlist.h"
#include "QuickLists.h"
#include "Streams.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// <windows.h> turns MessageBox into MessageBoxA/W; the host operation of that
// name must keep it. Windows code calls the API as MessageBoxW explicitly.
#ifdef MessageBox
#undef MessageBox
#endif

// A window handle: pointer-sized and opaque here; the same type as HWND in
// the Windows build (checked where <windows.h> is included).
struct HWND__;
using TWindowHandle = HWND__*;

// Modifier bits handed with a key.
using TShiftState = std::uint16_t;

// A VST3 class identifier as stored (16 bytes).
using TClassID = std::array<std::uint8_t, 16>;

struct TRect {
    std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};
struct TPoint {
    std::int32_t X = 0, Y = 0;
};

class TAudioPluginHostIf;
class TBaseAudioPluginHost;
class TDummyHost;
class TShellPluginInfoList;
class TMenuItemList;
class TBaseAudioPlugin;
class TBaseAudioPluginEditor;

static_assert(sizeof(bool) == 1, "records below hold Booleans as one byte");

// ---------------------------------------------------------------------------
// Records

// Plugin kinds of TPluginDescription::Kind and the shell entries.
inline constexpr std::int32_t kKindVst2 = 0;
inline constexpr std::int32_t kKindVst2Alt = 4;
inline constexpr std::int32_t kKindVst3Effect = 7;
inline constexpr std::int32_t kKindVst3Instrument = 8;

// TPluginDescription::LoadFlags.
inline constexpr std::int32_t kLoadShellSubPlugin = 0x02; // ShellId names the sub-plugin to load
inline constexpr std::int32_t kLoadKnownShellList = 0x04; // ShellList holds the shell's known sub-plugins

// What the host asked to load; built in-process from the load block and
// copied verbatim into the plugin. 556 bytes in the 32-bit build; in the
// 64-bit build the ShellList pointer takes 8 bytes and the record 560.
#pragma pack(push, 4)
struct TPluginDescription {
    std::int32_t Kind;
    char Name[261];     // zero-terminated
    char FileName[261]; // zero-terminated, full path of the module
    TClassID ClassID;
    std::uint8_t Padding[2];
    std::int32_t LoadFlags;
    TShellPluginInfoList* ShellList; // owned by the caller, or null
    std::int32_t ShellId;
};
#pragma pack(pop)
static_assert(offsetof(TPluginDescription, Kind) == 0);
static_assert(offsetof(TPluginDescription, Name) == 4);
static_assert(offsetof(TPluginDescription, FileName) == 265);
static_assert(offsetof(TPluginDescription, ClassID) == 526);
static_assert(offsetof(TPluginDescription, Padding) == 542);
static_assert(offsetof(TPluginDescription, LoadFlags) == 544);
static_assert(offsetof(TPluginDescription, ShellList) == 548);
static_assert(offsetof(TPluginDescription, ShellId) == 548 + sizeof(void*));
static_assert(sizeof(TPluginDescription) == 552 + sizeof(void*));

#pragma pack(push, 1)
// The host's time format: the last three words of TPluginSettings.
struct TTimeFormat {
    std::int32_t StepsPerBar;
    std::int32_t StepsPerBeat;
    std::int32_t TicksPerBeat;
};

// The host's audio and time settings, handed to every plugin constructor.
struct TPluginSettings {
    std::int32_t SampleRate;
    std::int32_t BlockSize;
    double Tempo;
    std::int32_t StepsPerBar;
    std::int32_t StepsPerBeat;
    std::int32_t TicksPerBeat;

    TTimeFormat TimeFormat() const { return {StepsPerBar, StepsPerBeat, TicksPerBeat}; }
};

// One audio bus of a plugin.
struct TBusInfo {
    char Name[64]; // zero-terminated
    std::int32_t Channels;
    bool DefaultActive;
};

// The current state of one bus.
struct TBusState {
    std::int32_t Value; // always 0 here
    bool Active;
    std::uint8_t Padding[3];
};

// The host's time data of the last audio block.
struct THostTimeInfo {
    std::uint8_t Reserved0[8];   // carried, not read
    double PpqPos;               // musical position in quarter notes
    std::int32_t SamplesPerClock; // samples per MIDI clock
    std::uint8_t Reserved1[8];   // carried, not read
    double CycleStart;           // in quarter notes
    double CycleEnd;             // in quarter notes
};
#pragma pack(pop)

static_assert(sizeof(TTimeFormat) == 12);
static_assert(offsetof(TTimeFormat, StepsPerBar) == 0);
static_assert(offsetof(TTimeFormat, StepsPerBeat) == 4);
static_assert(offsetof(TTimeFormat, TicksPerBeat) == 8);
static_assert(sizeof(TPluginSettings) == 28);
static_assert(offsetof(TPluginSettings, SampleRate) == 0);
static_assert(offsetof(TPluginSettings, BlockSize) == 4);
static_assert(offsetof(TPluginSettings, Tempo) == 8);
static_assert(offsetof(TPluginSettings, StepsPerBar) == 16);
static_assert(offsetof(TPluginSettings, StepsPerBeat) == 20);
static_assert(offsetof(TPluginSettings, TicksPerBeat) == 24);
static_assert(sizeof(TBusInfo) == 69);
static_assert(offsetof(TBusInfo, Name) == 0);
static_assert(offsetof(TBusInfo, Channels) == 64);
static_assert(offsetof(TBusInfo, DefaultActive) == 68);
static_assert(sizeof(TBusState) == 8);
static_assert(offsetof(TBusState, Value) == 0);
static_assert(offsetof(TBusState, Active) == 4);
static_assert(sizeof(THostTimeInfo) == 44);
static_assert(offsetof(THostTimeInfo, PpqPos) == 8);
static_assert(offsetof(THostTimeInfo, SamplesPerClock) == 16);
static_assert(offsetof(THostTimeInfo, Reserved1) == 20);
static_assert(offsetof(THostTimeInfo, CycleStart) == 28);
static_assert(offsetof(THostTimeInfo, CycleEnd) == 36);

// One entry of a host menu, filled by GetMenuItem: the text goes into the
// caller's buffer of TextSize bytes (zero-terminated, cut to fit).
struct THostMenuItem {
    char* Text;
    std::int32_t TextSize;
    std::int32_t Flags;
};

// ---------------------------------------------------------------------------
// Host interface

// Everything a plugin tells or asks its host. Called on whatever thread the
// plugin reports from (the audio thread for ParamChanged, MidiOut and SysexOut
// during a block, the main thread otherwise): implementations accept both.
class TAudioPluginHostIf {
public:
    virtual ~TAudioPluginHostIf() = default;

    // A parameter changed inside the plugin; Value normalized 0..1.
    virtual void ParamChanged(std::int32_t Index, float Value) = 0;
    // The plugin's first editor changed its size; read it from that editor.
    virtual void EditorResized(bool Flag) = 0;
    virtual void ShowMessage(const std::string& Text, std::uint8_t Flag) = 0;
    // Flags: 0x01 musical position, 0x02 MIDI clock, 0x08 cycle.
    virtual void GetTimeInfo(std::int32_t Flags, THostTimeInfo& Info) = 0;
    // Status in the low byte, data 1 and data 2 in the next two.
    virtual void MidiOut(std::int32_t Msg, bool Flag) = 0;
    virtual void SysexOut(std::int32_t Reserved, std::int32_t Size, const void* Data) = 0;
    virtual void HostReservedA(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4,
                               std::intptr_t A5, std::intptr_t A6, std::intptr_t A7, std::intptr_t A8,
                               std::intptr_t A9, std::intptr_t A10, std::intptr_t A11) = 0;
    virtual void HostReservedB(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4,
                               std::intptr_t A5, std::intptr_t A6, std::intptr_t A7, std::intptr_t A8) = 0;
    virtual void HostReservedC(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4,
                               std::intptr_t A5) = 0;
    virtual void Notify(std::int32_t Value) = 0;
    virtual void Signal() = 0;
    // ToSamples false: Value is a song position in samples, the result the
    // position in ticks of 1/960 quarter note.
    virtual std::int32_t ConvertTime(bool ToSamples, std::int32_t Value) = 0;
    // Indent +1 opens a traced section, -1 closes it.
    virtual void Log(const std::string& Text, std::uint8_t Level, std::int32_t Indent) = 0;
    // True before and False after the plugin acts on the host's behalf.
    virtual void Lock(bool Locked) = 0;
    virtual bool CanAutomate(std::int32_t Index) = 0;
    // What: bit set of the data to re-read.
    virtual void UpdateDisplay(std::int32_t What, bool Flag) = 0;
    virtual bool IsPinConnected(std::int32_t Index, bool IsInput) = 0;
    // The plugin's Latency field changed.
    virtual void LatencyChanged(std::int32_t Flag) = 0;
    virtual void Idle() = 0;
    // Buses or capabilities changed.
    virtual void IOChanged() = 0;
    // Flags and result as the Windows message box (0x30 warning icon).
    virtual std::int32_t MessageBox(const std::string& Text, std::int32_t Flags) = 0;
    virtual std::int32_t HostReservedD() = 0;
    virtual void HostReservedE() = 0;
    virtual void HostReservedF() = 0;
    // Entry Index of host menu MenuId; false when there is none.
    virtual bool GetMenuItem(std::int32_t MenuId, std::int32_t Index, THostMenuItem& Item) = 0;
    virtual void MenuItemClicked(std::int32_t MenuId, std::int32_t ItemId) = 0;
    virtual void HostReservedG() = 0;
    // May the plugin resize its editor window.
    virtual bool CanResizeEditor(bool Flag) = 0;
    // Show Menu as a context menu at screen position X, Y.
    virtual void PopupMenu(TMenuItemList* Menu, std::int32_t X, std::int32_t Y) = 0;
};

// Neutral answers. The operations that have no neutral answer throw
// Exception naming the operation (see AbstractHostCall).
class TBaseAudioPluginHost : public TAudioPluginHostIf {
public:
    void ParamChanged(std::int32_t Index, float Value) override;
    void EditorResized(bool Flag) override;
    void ShowMessage(const std::string& Text, std::uint8_t Flag) override;
    void GetTimeInfo(std::int32_t Flags, THostTimeInfo& Info) override; // 44 zero bytes
    void MidiOut(std::int32_t Msg, bool Flag) override;
    void SysexOut(std::int32_t Reserved, std::int32_t Size, const void* Data) override;
    void HostReservedA(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4, std::intptr_t A5,
                       std::intptr_t A6, std::intptr_t A7, std::intptr_t A8, std::intptr_t A9, std::intptr_t A10,
                       std::intptr_t A11) override;
    void HostReservedB(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4, std::intptr_t A5,
                       std::intptr_t A6, std::intptr_t A7, std::intptr_t A8) override;
    void HostReservedC(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4,
                       std::intptr_t A5) override;
    void Notify(std::int32_t Value) override;
    void Signal() override;
    std::int32_t ConvertTime(bool ToSamples, std::int32_t Value) override; // 0
    void Log(const std::string& Text, std::uint8_t Level, std::int32_t Indent) override;
    void Lock(bool Locked) override;
    bool CanAutomate(std::int32_t Index) override; // true
    void UpdateDisplay(std::int32_t What, bool Flag) override;
    bool IsPinConnected(std::int32_t Index, bool IsInput) override; // false
    void LatencyChanged(std::int32_t Flag) override;
    void Idle() override;
    void IOChanged() override;
    std::int32_t MessageBox(const std::string& Text, std::int32_t Flags) override; // 0
    std::int32_t HostReservedD() override;                                           // 0
    void HostReservedE() override;
    void HostReservedF() override;
    bool GetMenuItem(std::int32_t MenuId, std::int32_t Index, THostMenuItem& Item) override;
    void MenuItemClicked(std::int32_t MenuId, std::int32_t ItemId) override;
    void HostReservedG() override;
    bool CanResizeEditor(bool Flag) override; // true
    void PopupMenu(TMenuItemList* Menu, std::int32_t X, std::int32_t Y) override;
};

// What a plugin constructed without a host uses.
class TDummyHost : public TBaseAudioPluginHost {};

// Throws Exception "Abstract host operation called: <operation>": the answer
// of an operation that a host class leaves unimplemented.
[[noreturn]] void AbstractHostCall(const char* operation);

// ---------------------------------------------------------------------------
// Shell plugin list

// One sub-plugin of a shell.
struct TShellPluginInfo {
    std::int32_t Kind = 0; // as TPluginDescription::Kind
    std::int32_t Id = 0;   // what effShellGetNextPlugin returned
    std::string Name;      // the key of the list
    TClassID ClassID{};    // zero for VST2 sub-plugins
};

// The sub-plugins of a shell, sorted by name, letter case ignored; owns its items.
class TShellPluginInfoList {
public:
    TShellPluginInfoList();
    ~TShellPluginInfoList();
    TShellPluginInfoList(const TShellPluginInfoList&) = delete;
    TShellPluginInfoList& operator=(const TShellPluginInfoList&) = delete;

    // The entry of Name (a new one when missing), with Kind, Id and ClassID
    // set. An existing entry keeps its Name. An empty name is no key: null,
    // and nothing is added.
    TShellPluginInfo* AddOrUpdate(const std::string& Name, std::int32_t Kind, const TClassID& ClassID,
                                  std::int32_t Id);
    // Clear, then AddOrUpdate every item of Other in its order (null: just
    // Clear; the list itself: unchanged).
    void Assign(const TShellPluginInfoList* Other);
    void Clear();
    std::int32_t Count() const;
    // Null when Index is negative or not below Count.
    TShellPluginInfo* GetItems(std::int32_t Index) const;
    std::int32_t IndexOf(const std::string& Name) const;

private:
    TAbcStringlist Names;                                 // objects: the items
    std::vector<std::unique_ptr<TShellPluginInfo>> Owned; // the same items, in creation order
};

// ---------------------------------------------------------------------------
// Context menus

// TParamMenuInfo::Flags.
inline constexpr std::int32_t kMenuItemEnabled = 0x01;
inline constexpr std::int32_t kMenuItemSeparator = 0x02;
inline constexpr std::int32_t kMenuItemTicked = 0x04;
inline constexpr std::int32_t kMenuItemHostOwned = 0x08; // choosing it is reported through MenuItemClicked

// One menu entry; the VST3 menus derive their own entries.
class TParamMenuInfo {
public:
    virtual ~TParamMenuInfo() = default;

    std::int32_t MenuId = 0;    // the host menu the entry came from, or the format's own id
    std::int32_t ItemIndex = 0; // its index in that menu
    std::u16string Text;        // caption
    std::int32_t Flags = 0;
};

// The entries of one context menu, in order; owns them. A derived list whose
// entries refer to its own members calls Clear in its own destructor, because
// the entries are otherwise freed after those members are gone.
class TMenuItemList {
public:
    TMenuItemList();
    virtual ~TMenuItemList();
    TMenuItemList(const TMenuItemList&) = delete;
    TMenuItemList& operator=(const TMenuItemList&) = delete;

    // A new entry (base: a TParamMenuInfo); null adds nothing.
    virtual std::unique_ptr<TParamMenuInfo> NewItem();
    // Called after an entry was appended.
    virtual void ItemAdded(std::int32_t Index, TParamMenuInfo* Item);

    // NewItem, fill it, append it, ItemAdded; the new index or -1.
    std::int32_t AddItem(std::int32_t MenuId, std::int32_t ItemIndex, std::int32_t Flags,
                         const std::u16string& Text);
    // Removes and frees the entry when 0 <= Index < Count.
    void Delete(std::int32_t Index);
    // Frees every entry; count and capacity 0.
    void Clear();
    std::int32_t Count() const { return List.Count; }
    // No range test.
    TParamMenuInfo* GetItems(std::int32_t Index) const { return static_cast<TParamMenuInfo*>(List.Get(Index)); }

private:
    TQuickList List{true};
};

// ---------------------------------------------------------------------------
// Plugin

// Indices of TBaseAudioPlugin::Properties (defaults in brackets).
inline constexpr int kPropReportParamChanges = 1;     // [true] report parameter changes made in the plugin
inline constexpr int kPropReportCycle = 2;            // [true] VST2 time query reports the cycle range
inline constexpr int kPropSnapshotTaken = 5;          // [false]
inline constexpr int kPropPluginKeepsProgramEdits = 6; // [false] false: VST2 backs up and restores program edits
inline constexpr int kPropEditorIdleFlag = 7;         // [false] handed to the editor on every VST2 idle pass
inline constexpr int kPropRefreshEditorsOnUpdate = 8; // [true] display update refreshes the editors
inline constexpr int kPropCheckProgramOnUpdate = 9;   // [true] display update checks for a program change
inline constexpr int kPropKeepFPUState = 10;          // [false] no FPU reset around VST2 host callbacks
inline constexpr int kPropertyCount = 16;
inline constexpr int kPropertyMaskBits = 11; // flags 0..10 are reachable through the masks

// PluginFlags bits shared by the base and both formats.
inline constexpr std::int32_t kPluginMultiOutput = 0x40;
inline constexpr std::int32_t kPluginMultiInput = 0x80;
inline constexpr std::int32_t kPluginReplacing = 0x100;
inline constexpr std::int32_t kPluginAlways = 0x200;

// ProcessFlags: either bit means offline (non-real-time) rendering.
inline constexpr std::int32_t kProcessOfflineMask = 0x02 | 0x10;
inline constexpr std::int32_t kProcessFlagsDefault = 0x200;

// The text ShowCrashWarning puts after the message.
inline constexpr char kCrashWarningFormat[] =
    "%s\r\nYou are advised to restart Corvane.\r\nDon't save your song now, or make sure you have a backup!";
inline constexpr std::int32_t kMessageBoxWarning = 0x30;

class TBaseAudioPlugin {
public:
    // Host null: the plugin creates a TDummyHost and frees it with itself; a
    // given host is never freed. Description null: empty name. The settings
    // are copied without recomputing the derived timing. [main thread]
    TBaseAudioPlugin(TAudioPluginHostIf* Host, const TPluginDescription* Description,
                     const TPluginSettings& Settings);
    // Frees the editors, the shell list and the bus arrays. [main thread]
    virtual ~TBaseAudioPlugin();
    TBaseAudioPlugin(const TBaseAudioPlugin&) = delete;
    TBaseAudioPlugin& operator=(const TBaseAudioPlugin&) = delete;

    // --- Virtual operations, in slot order --------------------------------
    // Forwarding to the host (arguments unchanged).
    virtual void EditorResized(bool Flag);
    virtual void ParamChanged(std::int32_t Index, float Value);
    virtual void HostIdle();
    virtual void ShowMessage(const std::string& Text, std::uint8_t Flag);
    virtual void UpdateDisplay(std::int32_t What, bool Flag);
    virtual void MidiOut(std::int32_t Msg, bool Flag);
    virtual void SysexOut(std::int32_t Reserved, std::int32_t Size, const void* Data);
    virtual void HostReservedA(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4,
                               std::intptr_t A5, std::intptr_t A6, std::intptr_t A7, std::intptr_t A8,
                               std::intptr_t A9, std::intptr_t A10, std::intptr_t A11);
    virtual void HostReservedB(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4,
                               std::intptr_t A5, std::intptr_t A6, std::intptr_t A7, std::intptr_t A8);
    virtual void HostReservedC(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3, std::intptr_t A4,
                               std::intptr_t A5);
    virtual void HostSignal();
    virtual std::int32_t ConvertTime(bool ToSamples, std::int32_t Value);
    // Reaches the host only when Forward is set.
    virtual void Log(const std::string& Text, std::uint8_t Level, std::int32_t Indent, bool Forward);
    virtual void IOChanged();
    virtual void LockHost(bool Locked);
    virtual void LatencyChanged(std::int32_t Flag);
    // The host's answer and Properties 1.
    virtual bool CanAutomate(std::int32_t Index);
    virtual bool IsPinConnected(std::int32_t Index, bool IsInput);

    // Properties flags; an index outside 0..15 reads false and writes nothing.
    virtual bool GetProperties(std::int32_t Index);
    virtual void SetProperties(std::int32_t Index, bool NewValue);
    // Force: UpdateInfo.
    virtual void RefreshInfo(bool Force);
    virtual bool ReservedQuery(); // true

    // Processing [audio thread]. ProcessBuses: one buffer per bus, its channels
    // one after the other; Process: one pointer per channel.
    virtual void ProcessBuses(float** Inputs, float** Outputs, std::int32_t SampleFrames);
    virtual void Process(float** Inputs, float** Outputs, std::int32_t SampleFrames);
    virtual void ReservedA();
    virtual void ReservedB();
    virtual void Reset();
    virtual void ReservedC();
    // Events [audio thread]. Base NoteOn/NoteOff encode a MIDI note message
    // (pitch rounded half to even, limited to 0..127) and pass it to
    // MidiMessage, between LockHost(true) and LockHost(false).
    virtual void MidiMessage(std::int32_t Port, std::int32_t Msg, std::int32_t DeltaFrames);
    virtual void NoteOn(std::int32_t Port, std::uint8_t Velocity, std::int64_t NoteId, float Pitch, float Pitch2,
                        std::uint8_t Channel, std::int32_t Length, bool Realtime, std::int32_t DeltaFrames,
                        std::int32_t Reserved);
    virtual void NoteOff(std::int32_t Port, std::uint8_t Velocity, std::int64_t NoteId, float Pitch,
                         std::uint8_t Channel, bool Realtime, std::int32_t DeltaFrames);
    virtual void ReservedD(std::intptr_t A1, std::intptr_t A2, std::intptr_t A3);
    virtual void ReservedE();

    // Host state [audio thread; once on the main thread while loading].
    virtual void SetSampleRate(std::int32_t Rate);         // recomputes SamplesPerTick
    virtual void SetBlockSize(std::int32_t Size);
    virtual void SetTempo(double Tempo);                   // recomputes SamplesPerTick
    virtual void SetTimeFormat(const TTimeFormat& Format); // recomputes TicksPerStep and SamplesPerTick
    virtual void SetPlaying(bool Playing);
    // PositionJumped only goes from false to Jumped; a consumer clears it.
    virtual void SetSongPosition(std::int32_t Position, bool Jumped, std::int32_t Reserved);
    virtual void GetMidiKeyName(std::int32_t Key, std::string& Name);
    virtual void SetProcessFlags(std::int32_t Flags);
    virtual void SetLatencies(std::int32_t Input, std::int32_t Output);
    virtual void ReservedF(float Value);
    virtual void ReservedG();
    virtual void ReservedH();

    // Saving true appends the state at the stream's position; false reads it.
    virtual void SaveRestoreState(TStream& Stream, bool Saving, std::int32_t Reserved);
    // Idle time from the bridge's timer. [main thread]
    virtual void Idle();
    virtual void ReservedI();
    virtual void ReservedJ(std::int32_t Value);

    // Parameters.
    virtual void GetParamName(std::int32_t Index, std::string& Name);
    virtual void GetParamDisplay(std::int32_t Index, bool Unicode, std::u16string& Text);
    virtual void GetParamLabel(std::int32_t Index, std::string& Text);
    virtual float GetParamValue(std::int32_t Index);
    // Base: Notify calls NotifyParamValue.
    virtual void SetParamValue(std::int32_t Index, bool RefreshEditors, float Value, bool Notify);
    // Base: ParamChanged.
    virtual void NotifyParamValue(std::int32_t Index, float Value);
    virtual void ReservedK();
    virtual void PitchBend(std::int32_t Port, std::uint8_t Channel, std::int32_t Cents, std::int32_t DeltaFrames);
    virtual void SetPitchBendRange(std::int32_t Semitones);
    virtual std::int32_t ReservedL(); // 0
    virtual void MenuItemSelected(TMenuItemList* Menu, std::int32_t Index);
    virtual void ReservedM(std::int32_t Index, std::string& Text);

    // Programs and presets.
    virtual std::int32_t GetCurrentProgram();
    virtual void GetProgramName(std::int32_t Index, std::int32_t Reserved, std::string& Name);
    virtual void SetProgram(std::int32_t Index, std::int32_t Reserved);
    // Base: Notify calls UpdateDisplay(1, true).
    virtual void SetProgramName(std::int32_t Index, std::string& Name, bool Notify);
    virtual void LoadPreset(TStream& Stream);
    virtual void SavePreset(TStream& Stream, bool AsProgram); // AsProgram false: a bank
    virtual void LoadVst3Preset(TStream& Stream);
    virtual void TakeSnapshot();
    virtual void RestoreSnapshot();
    virtual std::int32_t ReservedN(); // 0
    virtual void SetActive(bool Active);

    // Information.
    virtual bool MatchesDescription(const TPluginDescription& Description); // false
    virtual void GetVersionString(std::string& S);                         // "1"
    virtual void GetCategoryString(std::string& S);
    virtual std::int32_t GetUniqueID(); // 0
    // Mask: all bits; Values: bit i set for each true flag i of 0..10.
    virtual void GetPropertyFlags(std::int32_t& Mask, std::int32_t& Values);
    // For each bit i of 0..10 set in Mask: flag i := bit i of Values, written
    // directly (SetProperties is not called).
    virtual void SetPropertyFlags(std::int32_t Mask, std::int32_t Values);
    // Key: a virtual-key code.
    virtual bool KeyDown(std::int32_t Key, TShiftState Shift);
    virtual bool KeyUp(std::int32_t Key, TShiftState Shift);
    virtual void ReservedO(std::int32_t Value);
    virtual void ReservedP();
    virtual void VendorCommand(std::int32_t Value);
    // Re-reads buses, flags and latency into the fields.
    virtual void UpdateInfo();
    virtual void ScanShellPlugins();
    // Index outside the buses: nothing.
    virtual void SetBusActive(bool IsInput, std::int32_t Index, bool Active);
    virtual void ReservedQ();
    virtual bool MouseWheel(std::int32_t Delta);
    virtual void ReservedR();
    virtual void ReservedS();
    virtual void ReservedT();
    virtual std::int32_t ReservedU(std::intptr_t A1); // 0

    // --- Plain operations --------------------------------------------------
    // Takes the editor into Editors unless it is already there. [main thread]
    void AddEditor(std::unique_ptr<TBaseAudioPluginEditor> Editor);
    std::int32_t EditorCount() const { return static_cast<std::int32_t>(Editors.size()); }
    // Throws Exception for an index outside the list.
    TBaseAudioPluginEditor* GetEditors(std::int32_t Index) const;
    // Clears each slot, frees its editor, then empties the list. [main thread]
    void FreeEditors();
    // From FirstInput / FirstOutput to the end: Value 0, Active = the bus's
    // DefaultActive. Called with the counts from before a re-read, so that
    // existing buses keep their states.
    void ResetBusStates(std::int32_t FirstInput, std::int32_t FirstOutput);
    // Refresh every editor that is not suppressing refreshes, or all when Force.
    void RefreshEditors(bool Force);
    // The host's MessageBox with Msg and the advice to restart and not to save.
    void ShowCrashWarning(const std::string& Msg);
    // Resizes a bus array together with its state array (new entries zero)
    // and sets the count.
    void SetBusCount(bool IsInput, std::int32_t Count);
    void SetEventBusCount(bool IsInput, std::int32_t Count);
    // ProcessFlags has an offline bit.
    bool IsOffline() const { return (ProcessFlags & kProcessOfflineMask) != 0; }

    // --- Fields --------------------------------------------------------------
private:
    std::unique_ptr<TDummyHost> OwnHost; // set only when constructed without a host
    std::vector<std::unique_ptr<TBaseAudioPluginEditor>> Editors; // only the first is used

public:
    TShellPluginInfoList ShellPlugins;
    std::array<bool, kPropertyCount> Properties{};
    std::string Vendor, VendorURL, VendorEmail;
    double SamplesPerTick = 1.0;
    double TicksPerStep = 1.0;
    bool PositionJumped = false;
    std::int32_t InputLatency = 0, OutputLatency = 0;
    TAudioPluginHostIf* Host; // never null
    std::string Name;
    std::string InitialName;
    bool IsValid = false; // set by the format code once the plugin is open and usable
    bool Active = false;
    bool NoEditor = false;
    TPluginDescription Description{};
    std::int32_t SampleRate = 0;
    std::int32_t BlockSize = 0;
    double Tempo = 0.0;
    std::int32_t StepsPerBar = 0, StepsPerBeat = 0, TicksPerBeat = 0;
    bool Playing = false;
    std::int32_t SongPosition = 0;
    std::int32_t ProcessFlags = kProcessFlagsDefault;
    std::int32_t NumParams = 0;
    std::int32_t NumInputBuses = 0, NumOutputBuses = 0;
    std::vector<TBusInfo> InputBuses, OutputBuses;
    std::vector<TBusState> InputBusStates, OutputBusStates;
    std::int32_t NumEventInputBuses = 0, NumEventOutputBuses = 0;
    std::vector<TBusInfo> EventInputBuses, EventOutputBuses;
    bool HasEditor = false;
    bool AcceptsMidi = false; // event operations do nothing when false
    bool IsEffect = false, IsSynth = false;
    std::int32_t PluginFlags = 0;
    std::int32_t Latency = 0;
    bool IsShell = false;
    std::int32_t NumPrograms = 0;

protected:
    // SamplesPerTick := (SampleRate * 15) / (Tempo * TicksPerStep); kept
    // unchanged when the divisor is not a positive finite number.
    void RecomputeSamplesPerTick();
};

// ---------------------------------------------------------------------------
// Editor

class TBaseAudioPluginEditor {
public:
    // Closed, no parent, size 0 x 0, refreshes suppressed, visible.
    explicit TBaseAudioPluginEditor(TBaseAudioPlugin* Plugin);
    virtual ~TBaseAudioPluginEditor() = default;
    TBaseAudioPluginEditor(const TBaseAudioPluginEditor&) = delete;
    TBaseAudioPluginEditor& operator=(const TBaseAudioPluginEditor&) = delete;

    // Virtual operations, in slot order. [main thread]
    // Closes first when open; ParentWnd := Parent. Owner is not used.
    virtual void Open(void* Owner, TWindowHandle Parent, std::int32_t X, std::int32_t Y);
    // IsOpen false, ParentWnd 0.
    virtual void Close();
    virtual void SetVisible(bool Value);
    virtual void SetPosition(std::int32_t X, std::int32_t Y);
    // Height before width.
    virtual void SetRect(std::int32_t X, std::int32_t Y, std::int32_t H, std::int32_t W);
    virtual void ReservedEditorA();
    // The formats read the size from the plugin into Width and Height.
    virtual void UpdateSize();
    virtual TWindowHandle GetWindowHandle(); // null
    // Limits (0, 0, largest, largest), Origin (0, 0).
    virtual void GetSizeLimits(TRect& Limits, TPoint& Origin);
    virtual void Refresh();
    virtual void ReservedEditorB();

    TBaseAudioPlugin* Plugin; // the owner, not owned
    std::string ViewName;
    bool CanShow = false;
    std::int32_t X = 0, Y = 0;
    std::int32_t Width = 0, Height = 0;
    bool IsOpen = false;
    TWindowHandle ParentWnd = nullptr;
    bool SuppressRefresh = true; // RefreshEditors skips this editor unless forced
    bool Visible = true;
};

// ---------------------------------------------------------------------------
// Helpers

// Round to the nearest integer, halves to even (NaN gives 0).
double RoundHalfEven(double Value);
// A rounded pitch limited to a MIDI note 0..127.
std::int32_t ClampMidiNote(double RoundedPitch);
// The character that Key gives with the current keyboard state and layout,
// or 0 unless exactly one character results. [Windows builds only]
char KeyToChar(std::int32_t Key);
