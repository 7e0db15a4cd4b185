#pragma once
// The blocks the bridge client reads and writes besides the command record:
// the load block (channel 5), the description block (channel 1), the process
// block and its event records (data of the audio command), the state frame.
// Byte-exact, identical in 32- and 64-bit builds. Pure: no Windows header.

#include "AudioPlug.h"

#include <cstddef>
#include <cstdint>

// Command codes, host to bridge.
inline constexpr std::uint32_t kCmdRefreshDescription = 0x01000000;
inline constexpr std::uint32_t kCmdSaveState = 0x02000000;
inline constexpr std::uint32_t kCmdFetchState = 0x02000001;
inline constexpr std::uint32_t kCmdLoadState = 0x02000002;
inline constexpr std::uint32_t kCmdSetActive = 0x02000003;
inline constexpr std::uint32_t kCmdReset = 0x02000004;
inline constexpr std::uint32_t kCmdSetProgram = 0x02000005;
inline constexpr std::uint32_t kCmdSetProgramName = 0x02000006;
inline constexpr std::uint32_t kCmdPropertyFlags = 0x02000007;
inline constexpr std::uint32_t kCmdSetParamValue = 0x02000008;
inline constexpr std::uint32_t kCmdMouseWheel = 0x02000009;
inline constexpr std::uint32_t kCmdUpdateEditorState = 0x0200000A;
inline constexpr std::uint32_t kCmdProcess = 0x04000000;

// Command codes, bridge to host (host channel).
inline constexpr std::uint32_t kHostNotify = 0x03000000;
inline constexpr std::uint32_t kHostSysex = 0x03000001;
inline constexpr std::uint32_t kHostMessageBox = 0x03000002;
inline constexpr std::uint32_t kHostGetMenuItem = 0x03000003;
inline constexpr std::uint32_t kHostMenuItemClicked = 0x03000004;
inline constexpr std::uint32_t kHostToSamples = 0x03000005;
inline constexpr std::uint32_t kHostFromSamples = 0x03000006;
inline constexpr std::uint32_t kHostDisplayChanged = 0x03000007;
inline constexpr std::uint32_t kHostShowMessage = 0x03000008;
inline constexpr std::uint32_t kHostParamChanged = 0x03000009;

// Bits of Index in kHostDisplayChanged.
inline constexpr std::int32_t kDisplayIO = 1;
inline constexpr std::int32_t kDisplayWhat1 = 2;
inline constexpr std::int32_t kDisplayPrograms = 4;
inline constexpr std::int32_t kDisplayKeyNames = 8;
inline constexpr std::int32_t kDisplayLatency = 16;

// Window codes besides the channel's own.
inline constexpr std::uint32_t kCodeLoadPlugin = 0xFF000004;     // host to bridge
inline constexpr std::uint32_t kCodePluginLoaded = 0xFF000005;   // bridge to host, LPARAM 1 or 0
inline constexpr std::uint32_t kCodeEditorState = 0xFF000006;    // both ways
inline constexpr std::uint32_t kCodeRefreshEditors = 0xFF000007; // host to bridge
inline constexpr std::uint32_t kCodeVendorCommand = 0xFF000008;  // host to bridge, LPARAM the value

#pragma pack(push, 1)

// ---------------------------------------------------------------------------
// Load block, 291488 bytes.

inline constexpr int kMaxShellEntries = 1024;
inline constexpr std::size_t kLoadTextBytes = 260;

struct TShellEntryRecord {
    std::int32_t Kind;
    std::int32_t Id;
    char Name[kLoadTextBytes];
    std::uint8_t ClassID[16];
};

struct TLoadBlock {
    std::int32_t Kind;
    char Name[kLoadTextBytes];
    char FileName[kLoadTextBytes];
    std::uint8_t ClassID[16];
    std::int32_t LoadFlags;
    std::int32_t ShellId;
    TPluginSettings Settings;
    std::uint8_t Unused[92];
    std::int32_t ShellCount;
    TShellEntryRecord Shell[kMaxShellEntries];
};

// ---------------------------------------------------------------------------
// Description block, 651524 bytes.

inline constexpr int kMaxDescribedParams = 4096;
inline constexpr int kMaxDescribedPrograms = 2048;
inline constexpr int kMaxDescribedBuses = 256;
inline constexpr int kMaxDescribedEventBuses = 512;

struct TParamRecord {
    char Name[32];
    char Label[32];
    char Display[32];
    float Value;
};

struct TDescriptionBlock {
    char Name[64];
    std::uint8_t ClassID[16];
    char Vendor[64];
    char VendorURL[260];
    char VendorEmail[260];
    char Version[32];
    char Category[32];
    std::int32_t PluginFlags;
    std::int32_t Latency;
    std::int32_t UniqueID;
    std::uint8_t HasEditor;
    std::uint8_t IsSynth;
    std::uint8_t AcceptsMidi;
    std::uint8_t IsShell;
    char KeyNames[128][32];
    std::int32_t ParamCount;
    TParamRecord Params[kMaxDescribedParams];
    std::int32_t ProgramCount;
    std::int32_t CurrentProgram;
    char ProgramNames[kMaxDescribedPrograms][64];
    std::int32_t InputBusCount;
    TBusInfo InputBuses[kMaxDescribedBuses];
    std::int32_t OutputBusCount;
    TBusInfo OutputBuses[kMaxDescribedBuses];
    std::int32_t EventInputBusCount;
    TBusInfo EventInputBuses[kMaxDescribedEventBuses];
    std::int32_t EventOutputBusCount;
    TBusInfo EventOutputBuses[kMaxDescribedEventBuses];
};

// ---------------------------------------------------------------------------
// Process block, at the start of the audio command's data.

// The part that ApplyHeader reads; also the data of the switch-on command.
struct TTransportHeader {
    std::int32_t SampleRate;
    std::int32_t BlockSize;
    double Tempo;
    TTimeFormat TimeFormat;
    std::uint8_t Unused0[4];
    std::int32_t InputLatency;
    std::int32_t OutputLatency;
    std::uint32_t InputBusActive[8];  // bit (i mod 32) of word (i div 32) is bus i
    std::uint32_t OutputBusActive[8];
    std::int32_t ProcessFlags;
    std::int32_t SongPosition;
    std::uint32_t Transport; // bit 0 playing, bit 31 position jumped
};

struct TProcessBlock {
    TTransportHeader Header;
    std::int32_t ThreadPriority; // a Windows thread priority value for the audio thread
    THostTimeInfo TimeInfo;
    std::uint8_t BlockFlags; // bit 0: bus layout
    std::uint8_t Unused1[3];
    std::int32_t EventOffset; // from the start of the data
    std::int32_t EventCount;
    std::int32_t Frames;
    // the audio area follows
};

inline constexpr std::uint32_t kTransportPlaying = 0x00000001;
inline constexpr std::uint32_t kTransportJumped = 0x80000000;
inline constexpr std::uint8_t kBlockBusLayout = 0x01;

// One event of the process block, 44 bytes; the fields by type.
struct TBridgeEvent {
    std::int32_t Type;
    std::int32_t Port;
    std::int32_t DeltaFrames;
    std::int32_t Value1; // MIDI message (0), note id (1, 2), parameter (3), cents (4), semitones (5)
    std::uint8_t Value2[4]; // pitch Single (1, 2), value Single (3), MIDI channel in byte 0 (4)
    std::uint8_t Byte20;  // velocity (1, 2), refresh-editors flag (3)
    std::uint8_t Byte21;  // MIDI channel (1, 2), notify flag (3)
    std::int32_t Length;  // note length (1)
    std::int32_t Flags;   // bit 0 real time (1, 2)
    std::uint8_t Unused[14];
};

enum TBridgeEventType : std::int32_t {
    kEventMidi = 0,
    kEventNoteOn = 1,
    kEventNoteOff = 2,
    kEventParam = 3,
    kEventPitchBend = 4,
    kEventBendRange = 5,
};

#pragma pack(pop)

static_assert(sizeof(TShellEntryRecord) == 284);
static_assert(offsetof(TShellEntryRecord, Id) == 4);
static_assert(offsetof(TShellEntryRecord, Name) == 8);
static_assert(offsetof(TShellEntryRecord, ClassID) == 268);

static_assert(sizeof(TLoadBlock) == 291488);
static_assert(offsetof(TLoadBlock, Name) == 4);
static_assert(offsetof(TLoadBlock, FileName) == 264);
static_assert(offsetof(TLoadBlock, ClassID) == 524);
static_assert(offsetof(TLoadBlock, LoadFlags) == 540);
static_assert(offsetof(TLoadBlock, ShellId) == 544);
static_assert(offsetof(TLoadBlock, Settings) == 548);
static_assert(offsetof(TLoadBlock, Unused) == 576);
static_assert(offsetof(TLoadBlock, ShellCount) == 668);
static_assert(offsetof(TLoadBlock, Shell) == 672);

static_assert(sizeof(TParamRecord) == 100);
static_assert(offsetof(TParamRecord, Label) == 32);
static_assert(offsetof(TParamRecord, Display) == 64);
static_assert(offsetof(TParamRecord, Value) == 96);

static_assert(sizeof(TDescriptionBlock) == 651524);
static_assert(offsetof(TDescriptionBlock, ClassID) == 64);
static_assert(offsetof(TDescriptionBlock, Vendor) == 80);
static_assert(offsetof(TDescriptionBlock, VendorURL) == 144);
static_assert(offsetof(TDescriptionBlock, VendorEmail) == 404);
static_assert(offsetof(TDescriptionBlock, Version) == 664);
static_assert(offsetof(TDescriptionBlock, Category) == 696);
static_assert(offsetof(TDescriptionBlock, PluginFlags) == 728);
static_assert(offsetof(TDescriptionBlock, Latency) == 732);
static_assert(offsetof(TDescriptionBlock, UniqueID) == 736);
static_assert(offsetof(TDescriptionBlock, HasEditor) == 740);
static_assert(offsetof(TDescriptionBlock, IsSynth) == 741);
static_assert(offsetof(TDescriptionBlock, AcceptsMidi) == 742);
static_assert(offsetof(TDescriptionBlock, IsShell) == 743);
static_assert(offsetof(TDescriptionBlock, KeyNames) == 744);
static_assert(offsetof(TDescriptionBlock, ParamCount) == 4840);
static_assert(offsetof(TDescriptionBlock, Params) == 4844);
static_assert(offsetof(TDescriptionBlock, Params[0].Value) == 4940);
static_assert(offsetof(TDescriptionBlock, ProgramCount) == 414444);
static_assert(offsetof(TDescriptionBlock, CurrentProgram) == 414448);
static_assert(offsetof(TDescriptionBlock, ProgramNames) == 414452);
static_assert(offsetof(TDescriptionBlock, InputBusCount) == 545524);
static_assert(offsetof(TDescriptionBlock, InputBuses) == 545528);
static_assert(offsetof(TDescriptionBlock, OutputBusCount) == 563192);
static_assert(offsetof(TDescriptionBlock, OutputBuses) == 563196);
static_assert(offsetof(TDescriptionBlock, EventInputBusCount) == 580860);
static_assert(offsetof(TDescriptionBlock, EventInputBuses) == 580864);
static_assert(offsetof(TDescriptionBlock, EventOutputBusCount) == 616192);
static_assert(offsetof(TDescriptionBlock, EventOutputBuses) == 616196);

static_assert(sizeof(TTransportHeader) == 116);
static_assert(offsetof(TTransportHeader, BlockSize) == 4);
static_assert(offsetof(TTransportHeader, Tempo) == 8);
static_assert(offsetof(TTransportHeader, TimeFormat) == 16);
static_assert(offsetof(TTransportHeader, Unused0) == 28);
static_assert(offsetof(TTransportHeader, InputLatency) == 32);
static_assert(offsetof(TTransportHeader, OutputLatency) == 36);
static_assert(offsetof(TTransportHeader, InputBusActive) == 40);
static_assert(offsetof(TTransportHeader, OutputBusActive) == 72);
static_assert(offsetof(TTransportHeader, ProcessFlags) == 104);
static_assert(offsetof(TTransportHeader, SongPosition) == 108);
static_assert(offsetof(TTransportHeader, Transport) == 112);

static_assert(sizeof(TProcessBlock) == 180);
static_assert(offsetof(TProcessBlock, ThreadPriority) == 116);
static_assert(offsetof(TProcessBlock, TimeInfo) == 120);
static_assert(offsetof(TProcessBlock, BlockFlags) == 164);
static_assert(offsetof(TProcessBlock, EventOffset) == 168);
static_assert(offsetof(TProcessBlock, EventCount) == 172);
static_assert(offsetof(TProcessBlock, Frames) == 176);

static_assert(sizeof(TBridgeEvent) == 44);
static_assert(offsetof(TBridgeEvent, Port) == 4);
static_assert(offsetof(TBridgeEvent, DeltaFrames) == 8);
static_assert(offsetof(TBridgeEvent, Value1) == 12);
static_assert(offsetof(TBridgeEvent, Value2) == 16);
static_assert(offsetof(TBridgeEvent, Byte20) == 20);
static_assert(offsetof(TBridgeEvent, Byte21) == 21);
static_assert(offsetof(TBridgeEvent, Length) == 22);
static_assert(offsetof(TBridgeEvent, Flags) == 26);
static_assert(offsetof(TBridgeEvent, Unused) == 30);

// The state frame of the load-state command: a 64-bit count, then the bytes.
inline constexpr std::size_t kStateFrameHeader = 8;
// The fetch-state command: the wanted count at 0, the bytes from 8 on.
inline constexpr std::size_t kFetchStateDataOffset = 8;
