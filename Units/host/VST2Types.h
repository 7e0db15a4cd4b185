#pragma once
// The published VST 2.4 plugin interface, as far as the bridge and its test
// plugins use it: the effect structure, the callback and dispatcher opcodes,
// the event, time, pin, key and key-name records.
//
// These structures are the binary interface between a plugin module and its
// host inside one process, so they follow the platform's natural alignment:
// pointer-sized fields are 4 bytes in 32-bit builds and 8 bytes in 64-bit
// builds, and the records grow accordingly. The static_asserts below fix every
// size and offset for both bitnesses. Pure declarations, no Windows header.

#include <cstddef>
#include <cstdint>

// The standard calling convention of VST2 entry points, callbacks and the
// effect's function pointers: cdecl on x86, the only convention on x86-64.
#if defined(__i386__) || defined(_M_IX86)
#define VSTCALL __attribute__((cdecl))
#else
#define VSTCALL
#endif

using VstInt32 = std::int32_t;
using VstIntPtr = std::intptr_t;

struct AEffect;

using audioMasterCallback = VstIntPtr(VSTCALL*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                void* ptr, float opt);
using AEffectDispatcherProc = VstIntPtr(VSTCALL*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                  void* ptr, float opt);
using AEffectProcessProc = void(VSTCALL*)(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames);
using AEffectProcessDoubleProc = void(VSTCALL*)(AEffect* effect, double** inputs, double** outputs,
                                                VstInt32 sampleFrames);
using AEffectSetParameterProc = void(VSTCALL*)(AEffect* effect, VstInt32 index, float parameter);
using AEffectGetParameterProc = float(VSTCALL*)(AEffect* effect, VstInt32 index);
// The module's entry point: takes the host callback, returns the effect.
using VstPluginMainProc = AEffect*(VSTCALL*)(audioMasterCallback host);

// A four-character code: the first character in the most significant byte.
constexpr VstInt32 VstFourCC(char a, char b, char c, char d)
{
    return static_cast<VstInt32>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

// "VstP": the value of AEffect::magic in every valid effect.
inline constexpr VstInt32 kEffectMagic = VstFourCC('V', 's', 't', 'P');

struct AEffect {
    VstInt32 magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process; // accumulating process call (old interface)
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;
    VstIntPtr resvd1; // reserved for the host: the bridge keeps its plugin object here
    VstIntPtr resvd2;
    VstInt32 initialDelay;
    VstInt32 realQualities;
    VstInt32 offQualities;
    float ioRatio;
    void* object;
    void* user;
    VstInt32 uniqueID;
    VstInt32 version;
    AEffectProcessProc processReplacing;
    AEffectProcessDoubleProc processDoubleReplacing;
    char future[56];
};

// AEffect::flags
enum : VstInt32 {
    effFlagsHasEditor = 1 << 0,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsCanDoubleReplacing = 1 << 12,
};
// Bit 31 of AEffect::flags: not assigned by the published interface; the
// maker's own plugins set it to announce bus-mode processing through the
// processDoubleReplacing slot.
inline constexpr VstInt32 effFlagsBusProcessing = static_cast<VstInt32>(0x80000000u);

// Dispatcher opcodes (host to plugin).
enum : VstInt32 {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effGetProgramNameIndexed = 29,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effGetEffectName = 45,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effIdle = 53,
    effGetVstVersion = 58,
    effEditKeyDown = 59,
    effEditKeyUp = 60,
    effSetEditKnobMode = 61,
    effGetMidiKeyName = 66,
    effBeginSetProgram = 67,
    effEndSetProgram = 68,
    effShellGetNextPlugin = 70,
    effBeginLoadBank = 75,
    effBeginLoadProgram = 76,
};
// The maker's private dispatcher opcode: tempo changed; value = samples per
// step, opt = tempo in beats per minute. Other plugins ignore it.
inline constexpr VstInt32 effSetTempoPrivate = 0x10000;

// Host callback opcodes (plugin to host).
enum : VstInt32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
};

// Plugin categories (effGetPlugCategory).
enum : VstInt32 {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
    kPlugCategAnalysis = 3,
    kPlugCategMastering = 4,
    kPlugCategSpacializer = 5,
    kPlugCategRoomFx = 6,
    kPlugCategSurroundFx = 7,
    kPlugCategRestoration = 8,
    kPlugCategOfflineProcess = 9,
    kPlugCategShell = 10,
    kPlugCategGenerator = 11,
};

// Answers of audioMasterGetCurrentProcessLevel and audioMasterGetAutomationState.
inline constexpr VstInt32 kVstProcessLevelOffline = 4;
inline constexpr VstInt32 kVstAutomationReadWrite = 4;
inline constexpr VstInt32 kVstLangEnglish = 1;

// --- Events -------------------------------------------------------------------

enum : VstInt32 {
    kVstMidiType = 1,
    kVstSysExType = 6,
};
// VstMidiEvent::flags
inline constexpr VstInt32 kVstMidiEventIsRealtime = 1;

// The common head of every event; byteSize is the record's size less the 8
// bytes of type and byteSize.
struct VstEvent {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    char data[16];
};

struct VstMidiEvent {
    VstInt32 type; // kVstMidiType
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 noteLength;
    VstInt32 noteOffset;
    char midiData[4]; // status, data 1, data 2, 0
    char detune;      // cents, -64 ... +63
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

struct VstMidiSysexEvent {
    VstInt32 type; // kVstSysExType
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 dumpBytes;
    VstIntPtr resvd1;
    char* sysexDump;
    VstIntPtr resvd2;
};

// A list of events; the array really holds numEvents pointers.
struct VstEvents {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[2];
};

// Bytes a VstEvents with n event pointers needs (never less than the declared
// record): 16 plus one pointer per event.
constexpr std::size_t VstEventsBytes(std::size_t n)
{
    return 16 + sizeof(VstEvent*) * n < sizeof(VstEvents) ? sizeof(VstEvents) : 16 + sizeof(VstEvent*) * n;
}

// --- Time -----------------------------------------------------------------------

// VstTimeInfo::flags, and the request bits a plugin passes in the value of
// audioMasterGetTime.
enum : VstInt32 {
    kVstTransportChanged = 1,
    kVstTransportPlaying = 1 << 1,
    kVstTransportCycleActive = 1 << 2,
    kVstTransportRecording = 1 << 3,
    kVstAutomationWriting = 1 << 6,
    kVstAutomationReading = 1 << 7,
    kVstNanosValid = 1 << 8,
    kVstPpqPosValid = 1 << 9,
    kVstTempoValid = 1 << 10,
    kVstBarsValid = 1 << 11,
    kVstCyclePosValid = 1 << 12,
    kVstTimeSigValid = 1 << 13,
    kVstSmpteValid = 1 << 14,
    kVstClockValid = 1 << 15,
};

struct VstTimeInfo {
    double samplePos;
    double sampleRate;
    double nanoSeconds;
    double ppqPos;
    double tempo;
    double barStartPos;
    double cycleStartPos;
    double cycleEndPos;
    VstInt32 timeSigNumerator;
    VstInt32 timeSigDenominator;
    VstInt32 smpteOffset;
    VstInt32 smpteFrameRate;
    VstInt32 samplesToNextClock;
    VstInt32 flags;
};

// --- Pins, editor rectangle, keys, key names -------------------------------------

enum : VstInt32 {
    kVstPinIsActive = 1 << 0,
    kVstPinIsStereo = 1 << 1,
    kVstPinUseSpeaker = 1 << 2,
};

struct VstPinProperties {
    char label[64];
    VstInt32 flags;
    VstInt32 arrangementType;
    char shortLabel[8];
    char future[48];
};

struct ERect {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};

// VstKeyCode::modifier bits
enum : unsigned char {
    MODIFIER_SHIFT = 1 << 0,
    MODIFIER_ALTERNATE = 1 << 1,
    MODIFIER_COMMAND = 1 << 2,
    MODIFIER_CONTROL = 1 << 3,
};

struct VstKeyCode {
    VstInt32 character;
    unsigned char virt; // a VstVirtualKey code, 0 for none
    unsigned char modifier;
};

struct MidiKeyName {
    VstInt32 thisProgramIndex;
    VstInt32 thisKeyNumber;
    char keyName[64];
    VstInt32 reserved;
    VstInt32 flags;
};

// Text buffer lengths of the published interface (including the terminator).
inline constexpr int kVstMaxProgNameLen = 24;
inline constexpr int kVstMaxParamStrLen = 8;
inline constexpr int kVstMaxEffectNameLen = 32;
inline constexpr int kVstMaxVendorStrLen = 64;
inline constexpr int kVstMaxShellNameLen = 64;

// --- Layout checks -------------------------------------------------------------

constexpr bool kVstPtr64 = sizeof(void*) == 8;
#define VST2_OFFSET(type, field, off32, off64) \
    static_assert(offsetof(type, field) == (kVstPtr64 ? (off64) : (off32)), #type "::" #field)

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
static_assert(sizeof(AEffect) == (kVstPtr64 ? 192 : 144));
VST2_OFFSET(AEffect, magic, 0, 0);
VST2_OFFSET(AEffect, dispatcher, 4, 8);
VST2_OFFSET(AEffect, process, 8, 16);
VST2_OFFSET(AEffect, setParameter, 12, 24);
VST2_OFFSET(AEffect, getParameter, 16, 32);
VST2_OFFSET(AEffect, numPrograms, 20, 40);
VST2_OFFSET(AEffect, numParams, 24, 44);
VST2_OFFSET(AEffect, numInputs, 28, 48);
VST2_OFFSET(AEffect, numOutputs, 32, 52);
VST2_OFFSET(AEffect, flags, 36, 56);
VST2_OFFSET(AEffect, resvd1, 40, 64);
VST2_OFFSET(AEffect, resvd2, 44, 72);
VST2_OFFSET(AEffect, initialDelay, 48, 80);
VST2_OFFSET(AEffect, realQualities, 52, 84);
VST2_OFFSET(AEffect, offQualities, 56, 88);
VST2_OFFSET(AEffect, ioRatio, 60, 92);
VST2_OFFSET(AEffect, object, 64, 96);
VST2_OFFSET(AEffect, user, 68, 104);
VST2_OFFSET(AEffect, uniqueID, 72, 112);
VST2_OFFSET(AEffect, version, 76, 116);
VST2_OFFSET(AEffect, processReplacing, 80, 120);
VST2_OFFSET(AEffect, processDoubleReplacing, 84, 128);
VST2_OFFSET(AEffect, future, 88, 136);

static_assert(sizeof(VstEvent) == 32);
static_assert(sizeof(VstMidiEvent) == 32);
VST2_OFFSET(VstMidiEvent, deltaFrames, 8, 8);
VST2_OFFSET(VstMidiEvent, flags, 12, 12);
VST2_OFFSET(VstMidiEvent, noteLength, 16, 16);
VST2_OFFSET(VstMidiEvent, noteOffset, 20, 20);
VST2_OFFSET(VstMidiEvent, midiData, 24, 24);
VST2_OFFSET(VstMidiEvent, detune, 28, 28);
VST2_OFFSET(VstMidiEvent, noteOffVelocity, 29, 29);

static_assert(sizeof(VstMidiSysexEvent) == (kVstPtr64 ? 48 : 32));
VST2_OFFSET(VstMidiSysexEvent, dumpBytes, 16, 16);
VST2_OFFSET(VstMidiSysexEvent, resvd1, 20, 24);
VST2_OFFSET(VstMidiSysexEvent, sysexDump, 24, 32);
VST2_OFFSET(VstMidiSysexEvent, resvd2, 28, 40);

static_assert(sizeof(VstEvents) == (kVstPtr64 ? 32 : 16));
VST2_OFFSET(VstEvents, reserved, 4, 8);
VST2_OFFSET(VstEvents, events, 8, 16);
static_assert(VstEventsBytes(0) == sizeof(VstEvents));
static_assert(VstEventsBytes(3) == (kVstPtr64 ? 40 : 28));

static_assert(sizeof(VstTimeInfo) == 88);
VST2_OFFSET(VstTimeInfo, sampleRate, 8, 8);
VST2_OFFSET(VstTimeInfo, nanoSeconds, 16, 16);
VST2_OFFSET(VstTimeInfo, ppqPos, 24, 24);
VST2_OFFSET(VstTimeInfo, tempo, 32, 32);
VST2_OFFSET(VstTimeInfo, barStartPos, 40, 40);
VST2_OFFSET(VstTimeInfo, cycleStartPos, 48, 48);
VST2_OFFSET(VstTimeInfo, cycleEndPos, 56, 56);
VST2_OFFSET(VstTimeInfo, timeSigNumerator, 64, 64);
VST2_OFFSET(VstTimeInfo, timeSigDenominator, 68, 68);
VST2_OFFSET(VstTimeInfo, smpteOffset, 72, 72);
VST2_OFFSET(VstTimeInfo, smpteFrameRate, 76, 76);
VST2_OFFSET(VstTimeInfo, samplesToNextClock, 80, 80);
VST2_OFFSET(VstTimeInfo, flags, 84, 84);

static_assert(sizeof(VstPinProperties) == 128);
VST2_OFFSET(VstPinProperties, flags, 64, 64);
VST2_OFFSET(VstPinProperties, arrangementType, 68, 68);
VST2_OFFSET(VstPinProperties, shortLabel, 72, 72);
VST2_OFFSET(VstPinProperties, future, 80, 80);

static_assert(sizeof(ERect) == 8);
VST2_OFFSET(ERect, left, 2, 2);
VST2_OFFSET(ERect, bottom, 4, 4);
VST2_OFFSET(ERect, right, 6, 6);

static_assert(sizeof(VstKeyCode) == 8);
VST2_OFFSET(VstKeyCode, virt, 4, 4);
VST2_OFFSET(VstKeyCode, modifier, 5, 5);

static_assert(sizeof(MidiKeyName) == 80);
VST2_OFFSET(MidiKeyName, thisKeyNumber, 4, 4);
VST2_OFFSET(MidiKeyName, keyName, 8, 8);
VST2_OFFSET(MidiKeyName, reserved, 72, 72);
VST2_OFFSET(MidiKeyName, flags, 76, 76);

#undef VST2_OFFSET
