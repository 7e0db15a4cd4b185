#pragma once
// The published VST 3 component interfaces as the bridge uses them: the
// identifier type TUID and the FUID class, result codes, the basic types, the
// records that cross the interface (factory and class records, parameter and
// bus descriptions, process set-up and data, the process context, events) and
// every interface that the bridge implements or calls, with its published
// interface identifier. Declared by hand; pure declarations, no Windows header.
//
// Binary rules:
//  - An interface is a class whose only members are pure virtual methods in the
//    published order, single inheritance from FUnknown, no virtual destructor
//    (it would add entries to the table of functions that no plugin expects).
//    The table of functions is the object's first word.
//  - On x86 every method uses the standard calling convention (callee pops,
//    the object pointer passed on the stack as the first argument): VST3CALL.
//    x86-64 has one calling convention and the macro is empty there; it is
//    empty in the native build as well.
//  - Records follow the platform's default alignment (8-byte alignment of
//    64-bit fields also on x86). The static_asserts at the end fix every size
//    and offset for both bitnesses.
//  - Parameters that the published interface passes as a TUID array or as a
//    reference are declared here as references: the same pointer on the stack
//    or in the register.
//
// Everything lives in namespace Vst3; the host-command extension of PreSonus
// is in VST3_IPSLHostCommands.h.

#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__i386__) || defined(_M_IX86)
#define VST3CALL __attribute__((stdcall))
#else
#define VST3CALL
#endif

namespace Vst3 {

// --- Basic types ---------------------------------------------------------------

using int8 = std::int8_t;
using uint8 = std::uint8_t;
using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;

using tresult = int32;
using TBool = uint8;
using char8 = char;
using char16 = char16_t;
using TChar = char16;
// 128 UTF-16 code units including the terminator; as a parameter it is a
// pointer to the first unit.
using String128 = TChar[128];
using CString = const char8*;
// An 8-bit, NUL-terminated identifier text; also the form in which the
// factory receives class and interface identifiers (16 bytes, not text).
using FIDString = const char8*;
using AttrID = const char8*;

using ParamID = uint32;
using ParamValue = double;
using SampleRate = double;
using TSamples = int64;
using TQuarterNotes = double;
using Sample32 = float;
using Sample64 = double;
using SpeakerArrangement = uint64;
using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;
using UnitID = int32;
using ProgramListID = int32;
using CtrlNumber = int16;
using KnobMode = int32;
using UCoord = int32;
using NoteExpressionTypeID = uint32;
using NoteExpressionValue = double;

static_assert(sizeof(TChar) == 2, "UTF-16 code units");
static_assert(sizeof(bool) == 1, "the module entry points answer a one-byte boolean");

// --- Result codes (Windows values) ---------------------------------------------

inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultTrue = kResultOk;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u); // never answered by a host object
inline constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);
inline constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);
inline constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);
inline constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);
inline constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);

// --- Identifiers ---------------------------------------------------------------

// 16 bytes in the layout of a Windows GUID: an unsigned 32-bit value, two
// unsigned 16-bit values, all three little-endian, then 8 bytes in order.
// Byte-aligned, so that any 16 bytes a plugin hands over can be read as one.
struct TUID {
    uint8 Bytes[16];

    // From the four 32-bit words in which the API publishes an identifier
    // (the same digits as the 32-character text form).
    static constexpr TUID FromWords(uint32 l1, uint32 l2, uint32 l3, uint32 l4)
    {
        TUID t{};
        t.Bytes[0] = static_cast<uint8>(l1);
        t.Bytes[1] = static_cast<uint8>(l1 >> 8);
        t.Bytes[2] = static_cast<uint8>(l1 >> 16);
        t.Bytes[3] = static_cast<uint8>(l1 >> 24);
        t.Bytes[4] = static_cast<uint8>(l2 >> 16);
        t.Bytes[5] = static_cast<uint8>(l2 >> 24);
        t.Bytes[6] = static_cast<uint8>(l2);
        t.Bytes[7] = static_cast<uint8>(l2 >> 8);
        for (int i = 0; i < 4; ++i) {
            t.Bytes[8 + i] = static_cast<uint8>(l3 >> (24 - 8 * i));
            t.Bytes[12 + i] = static_cast<uint8>(l4 >> (24 - 8 * i));
        }
        return t;
    }
    // A copy of 16 bytes at p.
    static TUID FromBytes(const void* p);

    constexpr bool IsZero() const
    {
        for (uint8 b : Bytes)
            if (b != 0)
                return false;
        return true;
    }
    // The form in which IPluginFactory::createInstance takes identifiers.
    FIDString AsFIDString() const { return reinterpret_cast<FIDString>(Bytes); }

    friend constexpr bool operator==(const TUID& a, const TUID& b)
    {
        for (int i = 0; i < 16; ++i)
            if (a.Bytes[i] != b.Bytes[i])
                return false;
        return true;
    }
};

// One identifier as an object: all zero after construction.
class FUID {
public:
    FUID() = default;
    explicit FUID(const TUID& value) : Value(value) {}

    // Reads the 32-character text form: characters 1-8 into the first 32-bit
    // field, 9-12 and 13-16 into the two 16-bit fields, 17-32 as eight byte
    // pairs into bytes 8 to 15. A group that is not hexadecimal becomes 0.
    // Any other length (and a null text) answers false and changes nothing.
    bool fromString(std::string_view text);
    bool fromString(const char* text);
    bool isEqual(const TUID& other) const { return Value == other; }
    void toTUID(TUID& out) const { out = Value; }
    const TUID& GetTUID() const { return Value; }

private:
    TUID Value{};
};

// --- Records -------------------------------------------------------------------

struct PFactoryInfo {
    enum FactoryFlags : int32 {
        kNoFlags = 0,
        kClassesDiscardable = 1 << 0,
        kLicenseCheck = 1 << 1,
        kComponentNonDiscardable = 1 << 3,
        kUnicode = 1 << 4,
    };
    char8 vendor[64];
    char8 url[256];
    char8 email[128];
    int32 flags;
};

struct PClassInfo {
    static constexpr int32 kManyInstances = 0x7FFFFFFF;
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
};

struct PClassInfo2 {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
    uint32 classFlags;
    char8 subCategories[128];
    char8 vendor[64];
    char8 version[64];
    char8 sdkVersion[64];
};

// The class record of IPluginFactory3, with UTF-16 texts.
struct PClassInfoW {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char16 name[64];
    uint32 classFlags;
    char8 subCategories[128];
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

// PClassInfo2::classFlags
enum ComponentFlags : uint32 {
    kDistributable = 1 << 0,
    kSimpleModeSupported = 1 << 1,
};

// The category of the classes the bridge lists, and of split controllers.
inline constexpr char kVstAudioEffectClass[] = "Audio Module Class";
inline constexpr char kVstComponentControllerClass[] = "Component Controller Class";

struct ParameterInfo {
    enum ParameterFlags : int32 {
        kNoFlags = 0,
        kCanAutomate = 1 << 0,
        kIsReadOnly = 1 << 1,
        kIsWrapAround = 1 << 2,
        kIsList = 1 << 3,
        kIsHidden = 1 << 4,
        kIsProgramChange = 1 << 15,
        kIsBypass = 1 << 16,
    };
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32 stepCount;
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32 flags;
};

enum MediaTypes : MediaType { kAudio = 0, kEvent = 1 };
enum BusDirections : BusDirection { kInput = 0, kOutput = 1 };
enum BusTypes : BusType { kMain = 0, kAux = 1 };
enum IoModes : IoMode { kSimple = 0, kAdvanced = 1, kOfflineProcessing = 2 };

struct BusInfo {
    enum BusFlags : uint32 {
        kDefaultActive = 1 << 0,
        kIsControlVoltage = 1 << 1,
    };
    MediaType mediaType;
    BusDirection direction;
    int32 channelCount;
    String128 name;
    BusType busType;
    uint32 flags;
};

struct RoutingInfo {
    MediaType mediaType;
    int32 busIndex;
    int32 channel;
};

enum ProcessModes : int32 { kRealtime = 0, kPrefetch = 1, kOffline = 2 };
enum SymbolicSampleSizes : int32 { kSample32 = 0, kSample64 = 1 };

struct ProcessSetup {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 maxSamplesPerBlock;
    SampleRate sampleRate;
};

struct AudioBusBuffers {
    int32 numChannels;
    uint64 silenceFlags; // bit n: channel n is silent
    union {
        Sample32** channelBuffers32;
        Sample64** channelBuffers64;
    };
};

struct Chord {
    uint8 keyNote;
    uint8 rootNote;
    int16 chordMask;
};

struct FrameRate {
    enum FrameRateFlags : uint32 { kPullDownRate = 1 << 0, kDropRate = 1 << 1 };
    uint32 framesPerSecond;
    uint32 flags;
};

struct ProcessContext {
    enum StatesAndFlags : uint32 {
        kPlaying = 1 << 1,
        kCycleActive = 1 << 2,
        kRecording = 1 << 3,
        kSystemTimeValid = 1 << 8,
        kProjectTimeMusicValid = 1 << 9,
        kTempoValid = 1 << 10,
        kBarPositionValid = 1 << 11,
        kCycleValid = 1 << 12,
        kTimeSigValid = 1 << 13,
        kSmpteValid = 1 << 14,
        kClockValid = 1 << 15,
        kContTimeValid = 1 << 17,
        kChordValid = 1 << 18,
    };
    uint32 state;
    SampleRate sampleRate;
    TSamples projectTimeSamples;
    int64 systemTime; // nanoseconds
    TSamples continousTimeSamples;
    TQuarterNotes projectTimeMusic;
    TQuarterNotes barPositionMusic;
    TQuarterNotes cycleStartMusic;
    TQuarterNotes cycleEndMusic;
    double tempo;
    int32 timeSigNumerator;
    int32 timeSigDenominator;
    Chord chord;
    int32 smpteOffsetSubframes;
    FrameRate frameRate;
    int32 samplesToNextClock;
};

// --- Events --------------------------------------------------------------------

struct NoteOnEvent {
    int16 channel;
    int16 pitch; // 0 .. 127
    float tuning; // cents
    float velocity; // 0 .. 1
    int32 length; // samples
    int32 noteId;
};

struct NoteOffEvent {
    int16 channel;
    int16 pitch;
    float velocity;
    int32 noteId;
    float tuning;
};

struct DataEvent {
    enum DataTypes : uint32 { kMidiSysEx = 0 };
    uint32 size;
    uint32 type;
    const uint8* bytes;
};

struct PolyPressureEvent {
    int16 channel;
    int16 pitch;
    float pressure;
    int32 noteId;
};

// On x86 the event payload starts at offset 20, so no payload may ask for
// 8-byte alignment there: the note-expression value is 4-aligned on x86.
#if defined(__i386__) || defined(_M_IX86)
#pragma pack(push, 4)
#endif
struct NoteExpressionValueEvent {
    NoteExpressionTypeID typeId;
    int32 noteId;
    NoteExpressionValue value;
};
#if defined(__i386__) || defined(_M_IX86)
#pragma pack(pop)
#endif

struct NoteExpressionTextEvent {
    NoteExpressionTypeID typeId;
    int32 noteId;
    uint32 textLen;
    const TChar* text;
};

struct ChordEvent {
    int16 root;
    int16 bassNote;
    int16 mask;
    uint16 textLen;
    const TChar* text;
};

struct ScaleEvent {
    int16 root;
    int16 mask;
    uint16 textLen;
    const TChar* text;
};

struct LegacyMIDICCOutEvent {
    uint8 controlNumber;
    int8 channel;
    int8 value;
    int8 value2;
};

struct Event {
    enum EventFlags : uint16 {
        kIsLive = 1 << 0,
        kUserReserved1 = 1 << 14,
        kUserReserved2 = 1 << 15,
    };
    enum EventTypes : uint16 {
        kNoteOnEvent = 0,
        kNoteOffEvent = 1,
        kDataEvent = 2,
        kPolyPressureEvent = 3,
        kNoteExpressionValueEvent = 4,
        kNoteExpressionTextEvent = 5,
        kChordEvent = 6,
        kScaleEvent = 7,
        kLegacyMIDICCOutEvent = 65535,
    };
    int32 busIndex;
    int32 sampleOffset;
    TQuarterNotes ppqPosition;
    uint16 flags;
    uint16 type;
    union {
        NoteOnEvent noteOn;
        NoteOffEvent noteOff;
        DataEvent data;
        PolyPressureEvent polyPressure;
        NoteExpressionValueEvent noteExpressionValue;
        NoteExpressionTextEvent noteExpressionText;
        ChordEvent chord;
        ScaleEvent scale;
        LegacyMIDICCOutEvent midiCCOut;
    };
};

struct ViewRect {
    int32 left;
    int32 top;
    int32 right;
    int32 bottom;
};

struct UnitInfo {
    UnitID id;
    UnitID parentUnitId;
    String128 name;
    ProgramListID programListId;
};

struct ProgramListInfo {
    ProgramListID id;
    String128 name;
    int32 programCount;
};

struct IContextMenuItem {
    enum Flags : int32 {
        kIsSeparator = 1 << 0,
        kIsDisabled = 1 << 1,
        kIsChecked = 1 << 2,
        kIsGroupStart = 1 << 3 | kIsDisabled,
        kIsGroupEnd = 1 << 4 | kIsSeparator,
    };
    String128 name;
    int32 tag;
    int32 flags;
};

// --- Other published constants -------------------------------------------------

inline constexpr UnitID kRootUnitId = 0;
inline constexpr UnitID kNoParentUnitId = -1;
inline constexpr ProgramListID kNoProgramListId = -1;

// IComponentHandler::restartComponent flags.
enum RestartFlags : int32 {
    kReloadComponent = 1 << 0,
    kIoChanged = 1 << 1,
    kParamValuesChanged = 1 << 2,
    kLatencyChanged = 1 << 3,
    kParamTitlesChanged = 1 << 4,
    kMidiCCAssignmentChanged = 1 << 5,
    kNoteExpressionChanged = 1 << 6,
    kIoTitlesChanged = 1 << 7,
    kPrefetchableSupportChanged = 1 << 8,
    kRoutingInfoChanged = 1 << 9,
    kKeyswitchChanged = 1 << 10,
};

// MIDI controller numbers beyond the 128 controllers (IMidiMapping).
enum ControllerNumbers : CtrlNumber {
    kAfterTouch = 128,
    kPitchBend = 129,
    kCtrlProgramChange = 130,
};

enum KnobModes : KnobMode { kCircularMode = 0, kRelativCircularMode = 1, kLinearMode = 2 };

// IBStream::seek modes.
enum IStreamSeekMode : int32 { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };

// IAudioProcessor::getTailSamples answers.
inline constexpr uint32 kNoTail = 0;
inline constexpr uint32 kInfiniteTail = 0xFFFFFFFFu;

// The view type asked of IEditController::createView, and the platform type
// of a window handle (IPlugView::attached).
inline constexpr char kEditor[] = "editor";
inline constexpr char kPlatformTypeHWND[] = "HWND";

// --- Interfaces ----------------------------------------------------------------

class IBStream;
class IComponentHandler;
class IConnectionPoint;
class IContextMenu;
class IContextMenuTarget;
class IEventList;
class IMessage;
class IParameterChanges;
class IParamValueQueue;
class IPlugFrame;
class IPlugView;
class IAttributeList;

struct ProcessData;

class FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
    // Clears *obj; on a known identifier stores the object with one more
    // reference and answers kResultOk, otherwise kResultFalse.
    virtual tresult VST3CALL queryInterface(const TUID& iid, void** obj) = 0;
    virtual uint32 VST3CALL addRef() = 0;  // answers the new count
    virtual uint32 VST3CALL release() = 0; // answers the new count; frees at 0
};

class IPluginBase : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
    virtual tresult VST3CALL initialize(FUnknown* context) = 0;
    virtual tresult VST3CALL terminate() = 0;
};

class IPluginFactory : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
    virtual tresult VST3CALL getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32 VST3CALL countClasses() = 0;
    virtual tresult VST3CALL getClassInfo(int32 index, PClassInfo* info) = 0;
    // cid and iid point to 16-byte identifiers (TUID::AsFIDString).
    virtual tresult VST3CALL createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};

class IPluginFactory2 : public IPluginFactory {
public:
    static constexpr TUID iid = TUID::FromWords(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
    virtual tresult VST3CALL getClassInfo2(int32 index, PClassInfo2* info) = 0;
};

class IPluginFactory3 : public IPluginFactory2 {
public:
    static constexpr TUID iid = TUID::FromWords(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
    virtual tresult VST3CALL getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
    virtual tresult VST3CALL setHostContext(FUnknown* context) = 0;
};

class IComponent : public IPluginBase {
public:
    static constexpr TUID iid = TUID::FromWords(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
    virtual tresult VST3CALL getControllerClassId(TUID& classId) = 0;
    virtual tresult VST3CALL setIoMode(IoMode mode) = 0;
    virtual int32 VST3CALL getBusCount(MediaType type, BusDirection dir) = 0;
    virtual tresult VST3CALL getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) = 0;
    virtual tresult VST3CALL getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
    virtual tresult VST3CALL activateBus(MediaType type, BusDirection dir, int32 index, TBool state) = 0;
    virtual tresult VST3CALL setActive(TBool state) = 0;
    virtual tresult VST3CALL setState(IBStream* state) = 0;
    virtual tresult VST3CALL getState(IBStream* state) = 0;
};

class IAudioProcessor : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
    virtual tresult VST3CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                SpeakerArrangement* outputs, int32 numOuts) = 0;
    virtual tresult VST3CALL getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) = 0;
    virtual tresult VST3CALL canProcessSampleSize(int32 symbolicSampleSize) = 0;
    virtual uint32 VST3CALL getLatencySamples() = 0;
    virtual tresult VST3CALL setupProcessing(ProcessSetup& setup) = 0;
    virtual tresult VST3CALL setProcessing(TBool state) = 0;
    virtual tresult VST3CALL process(ProcessData& data) = 0;
    virtual uint32 VST3CALL getTailSamples() = 0;
};

class IAudioPresentationLatency : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x309ECE78, 0xEB7D4FAE, 0x8B2225D9, 0x09FD08B6);
    virtual tresult VST3CALL setAudioPresentationLatencySamples(BusDirection dir, int32 busIndex,
                                                                uint32 latencyInSamples) = 0;
};

class IEditController : public IPluginBase {
public:
    static constexpr TUID iid = TUID::FromWords(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
    virtual tresult VST3CALL setComponentState(IBStream* state) = 0;
    virtual tresult VST3CALL setState(IBStream* state) = 0;
    virtual tresult VST3CALL getState(IBStream* state) = 0;
    virtual int32 VST3CALL getParameterCount() = 0;
    virtual tresult VST3CALL getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;
    // string: a String128
    virtual tresult VST3CALL getParamStringByValue(ParamID id, ParamValue valueNormalized, TChar* string) = 0;
    virtual tresult VST3CALL getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) = 0;
    virtual ParamValue VST3CALL normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
    virtual ParamValue VST3CALL plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
    virtual ParamValue VST3CALL getParamNormalized(ParamID id) = 0;
    virtual tresult VST3CALL setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult VST3CALL setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* VST3CALL createView(FIDString name) = 0;
};

class IEditController2 : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038);
    virtual tresult VST3CALL setKnobMode(KnobMode mode) = 0;
    virtual tresult VST3CALL openHelp(TBool onlyCheck) = 0;
    virtual tresult VST3CALL openAboutBox(TBool onlyCheck) = 0;
};

class IConnectionPoint : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);
    virtual tresult VST3CALL connect(IConnectionPoint* other) = 0;
    virtual tresult VST3CALL disconnect(IConnectionPoint* other) = 0;
    virtual tresult VST3CALL notify(IMessage* message) = 0;
};

class IUnitInfo : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);
    virtual int32 VST3CALL getUnitCount() = 0;
    virtual tresult VST3CALL getUnitInfo(int32 unitIndex, UnitInfo& info) = 0;
    virtual int32 VST3CALL getProgramListCount() = 0;
    virtual tresult VST3CALL getProgramListInfo(int32 listIndex, ProgramListInfo& info) = 0;
    // name, attributeValue: String128
    virtual tresult VST3CALL getProgramName(ProgramListID listId, int32 programIndex, TChar* name) = 0;
    virtual tresult VST3CALL getProgramInfo(ProgramListID listId, int32 programIndex, CString attributeId,
                                            TChar* attributeValue) = 0;
    virtual tresult VST3CALL hasProgramPitchNames(ProgramListID listId, int32 programIndex) = 0;
    virtual tresult VST3CALL getProgramPitchName(ProgramListID listId, int32 programIndex, int16 midiPitch,
                                                 TChar* name) = 0;
    virtual UnitID VST3CALL getSelectedUnit() = 0;
    virtual tresult VST3CALL selectUnit(UnitID unitId) = 0;
    virtual tresult VST3CALL getUnitByBus(MediaType type, BusDirection dir, int32 busIndex, int32 channel,
                                          UnitID& unitId) = 0;
    virtual tresult VST3CALL setUnitProgramData(int32 listOrUnitId, int32 programIndex, IBStream* data) = 0;
};

class IProgramListData : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x8683B01F, 0x7B354F70, 0xA2651DEC, 0x353AF4FF);
    virtual tresult VST3CALL programDataSupported(ProgramListID listId) = 0;
    virtual tresult VST3CALL getProgramData(ProgramListID listId, int32 programIndex, IBStream* data) = 0;
    virtual tresult VST3CALL setProgramData(ProgramListID listId, int32 programIndex, IBStream* data) = 0;
};

class IMidiMapping : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0xDF0FF9F7, 0x49B74669, 0xB63AB732, 0x7ADBF5E5);
    virtual tresult VST3CALL getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                         CtrlNumber midiControllerNumber, ParamID& id) = 0;
};

class IBStream : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
    virtual tresult VST3CALL read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
    virtual tresult VST3CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
    virtual tresult VST3CALL seek(int64 pos, int32 mode, int64* result) = 0;
    virtual tresult VST3CALL tell(int64* pos) = 0;
};

class IPlugFrame : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
    virtual tresult VST3CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;
};

class IPlugView : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
    virtual tresult VST3CALL isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult VST3CALL attached(void* parent, FIDString type) = 0;
    virtual tresult VST3CALL removed() = 0;
    virtual tresult VST3CALL onWheel(float distance) = 0;
    virtual tresult VST3CALL onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult VST3CALL onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult VST3CALL getSize(ViewRect* size) = 0;
    virtual tresult VST3CALL onSize(ViewRect* newSize) = 0;
    virtual tresult VST3CALL onFocus(TBool state) = 0;
    virtual tresult VST3CALL setFrame(IPlugFrame* frame) = 0;
    virtual tresult VST3CALL canResize() = 0;
    virtual tresult VST3CALL checkSizeConstraint(ViewRect* rect) = 0;
};

class IAttributeList : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4);
    virtual tresult VST3CALL setInt(AttrID id, int64 value) = 0;
    virtual tresult VST3CALL getInt(AttrID id, int64& value) = 0;
    virtual tresult VST3CALL setFloat(AttrID id, double value) = 0;
    virtual tresult VST3CALL getFloat(AttrID id, double& value) = 0;
    virtual tresult VST3CALL setString(AttrID id, const TChar* string) = 0;
    virtual tresult VST3CALL getString(AttrID id, TChar* string, uint32 sizeInBytes) = 0;
    virtual tresult VST3CALL setBinary(AttrID id, const void* data, uint32 sizeInBytes) = 0;
    virtual tresult VST3CALL getBinary(AttrID id, const void*& data, uint32& sizeInBytes) = 0;
};

class IParamValueQueue : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
    virtual ParamID VST3CALL getParameterId() = 0;
    virtual int32 VST3CALL getPointCount() = 0;
    virtual tresult VST3CALL getPoint(int32 index, int32& sampleOffset, ParamValue& value) = 0;
    virtual tresult VST3CALL addPoint(int32 sampleOffset, ParamValue value, int32& index) = 0;
};

class IParameterChanges : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
    virtual int32 VST3CALL getParameterCount() = 0;
    virtual IParamValueQueue* VST3CALL getParameterData(int32 index) = 0;
    virtual IParamValueQueue* VST3CALL addParameterData(const ParamID& id, int32& index) = 0;
};

class IEventList : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);
    virtual int32 VST3CALL getEventCount() = 0;
    virtual tresult VST3CALL getEvent(int32 index, Event& e) = 0;
    virtual tresult VST3CALL addEvent(Event& e) = 0;
};

class IMessage : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613);
    virtual FIDString VST3CALL getMessageID() = 0;
    virtual void VST3CALL setMessageID(FIDString id) = 0;
    virtual IAttributeList* VST3CALL getAttributes() = 0; // no reference added
};

class IHostApplication : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
    virtual tresult VST3CALL getName(TChar* name) = 0; // name: a String128
    virtual tresult VST3CALL createInstance(const TUID& cid, const TUID& iid, void** obj) = 0;
};

class IComponentHandler : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
    virtual tresult VST3CALL beginEdit(ParamID id) = 0;
    virtual tresult VST3CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
    virtual tresult VST3CALL endEdit(ParamID id) = 0;
    virtual tresult VST3CALL restartComponent(int32 flags) = 0;
};

class IComponentHandler2 : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0xF040B4B3, 0xA36045EC, 0xABCDC045, 0xB4D5A2CC);
    virtual tresult VST3CALL setDirty(TBool state) = 0;
    virtual tresult VST3CALL requestOpenEditor(FIDString name) = 0;
    virtual tresult VST3CALL startGroupEdit() = 0;
    virtual tresult VST3CALL finishGroupEdit() = 0;
};

class IUnitHandler : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x4B5147F8, 0x4654486B, 0x8DAB30BA, 0x163A3C56);
    virtual tresult VST3CALL notifyUnitSelection(UnitID unitId) = 0;
    virtual tresult VST3CALL notifyProgramListChange(ProgramListID listId, int32 programIndex) = 0;
};

class IContextMenuTarget : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x3CDF2E75, 0x85D34144, 0xBF86D36B, 0xD7C4894D);
    virtual tresult VST3CALL executeMenuItem(int32 tag) = 0;
};

class IContextMenu : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x2E93C863, 0x0C9C4588, 0x97DBECF5, 0xAD17817D);
    using Item = IContextMenuItem;
    virtual int32 VST3CALL getItemCount() = 0;
    virtual tresult VST3CALL getItem(int32 index, Item& item, IContextMenuTarget** target) = 0;
    virtual tresult VST3CALL addItem(const Item& item, IContextMenuTarget* target) = 0;
    virtual tresult VST3CALL removeItem(const Item& item, IContextMenuTarget* target) = 0;
    virtual tresult VST3CALL popup(UCoord x, UCoord y) = 0;
};

class IComponentHandler3 : public FUnknown {
public:
    static constexpr TUID iid = TUID::FromWords(0x69F11617, 0xD26B400D, 0xA4B6B964, 0x7B6EBBAB);
    virtual IContextMenu* VST3CALL createContextMenu(IPlugView* plugView, const ParamID* paramID) = 0;
};

// The record that IAudioProcessor::process receives; declared after the
// interfaces it points to.
struct ProcessData {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 numSamples;
    int32 numInputs;
    int32 numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    IEventList* inputEvents;
    IEventList* outputEvents;
    ProcessContext* processContext;
};

// --- Module entry points -------------------------------------------------------

// "GetPluginFactory": the module's factory with one reference for the caller.
using GetFactoryProc = IPluginFactory*(VST3CALL*)();
// "InitDll" and "ExitDll" (optional): no arguments, a one-byte boolean.
using InitModuleProc = bool (*)();
using ExitModuleProc = bool (*)();

inline constexpr char kGetFactoryProcName[] = "GetPluginFactory";
inline constexpr char kInitModuleProcName[] = "InitDll";
inline constexpr char kExitModuleProcName[] = "ExitDll";

// --- Owned references ----------------------------------------------------------

// One reference on an interface, released when the holder lets go of it.
template <class I>
class TInterfaceRef {
public:
    TInterfaceRef() = default;
    // Takes over a reference the caller already holds.
    explicit TInterfaceRef(I* p) : P(p) {}
    ~TInterfaceRef() { Reset(); }
    TInterfaceRef(const TInterfaceRef&) = delete;
    TInterfaceRef& operator=(const TInterfaceRef&) = delete;
    TInterfaceRef(TInterfaceRef&& o) noexcept : P(o.P) { o.P = nullptr; }
    TInterfaceRef& operator=(TInterfaceRef&& o) noexcept
    {
        if (this != &o) {
            Reset();
            P = o.P;
            o.P = nullptr;
        }
        return *this;
    }

    I* Get() const { return P; }
    I* operator->() const { return P; }
    explicit operator bool() const { return P != nullptr; }
    // Gives up the reference without releasing it.
    I* Detach()
    {
        I* p = P;
        P = nullptr;
        return p;
    }
    // Releases the reference held and takes over p's.
    void Reset(I* p = nullptr)
    {
        I* old = P;
        P = p;
        if (old)
            old->release();
    }
    // For out-parameters: releases what is held, answers the slot to fill.
    void** PutVoid()
    {
        Reset();
        return reinterpret_cast<void**>(&P);
    }

private:
    I* P = nullptr;
};

// obj's answer for interface I: an empty reference when obj is null or does
// not answer kResultOk (a pointer stored alongside another answer is ignored).
template <class I>
TInterfaceRef<I> QueryInterface(FUnknown* obj, tresult* result = nullptr)
{
    TInterfaceRef<I> ref;
    tresult r = kResultFalse;
    if (obj) {
        void* p = nullptr;
        r = obj->queryInterface(I::iid, &p);
        if (r == kResultOk)
            ref.Reset(static_cast<I*>(p));
    }
    if (result)
        *result = r;
    return ref;
}

// --- Layouts -------------------------------------------------------------------

namespace detail {
inline constexpr bool k64 = sizeof(void*) == 8;
constexpr std::size_t By(std::size_t x86, std::size_t x64) { return k64 ? x64 : x86; }
} // namespace detail

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
static_assert(sizeof(TUID) == 16 && alignof(TUID) == 1);

static_assert(sizeof(PFactoryInfo) == 452);
static_assert(offsetof(PFactoryInfo, vendor) == 0 && offsetof(PFactoryInfo, url) == 64 &&
              offsetof(PFactoryInfo, email) == 320 && offsetof(PFactoryInfo, flags) == 448);

static_assert(sizeof(PClassInfo) == 116);
static_assert(offsetof(PClassInfo, cid) == 0 && offsetof(PClassInfo, cardinality) == 16 &&
              offsetof(PClassInfo, category) == 20 && offsetof(PClassInfo, name) == 52);

static_assert(sizeof(PClassInfo2) == 440);
static_assert(offsetof(PClassInfo2, cid) == 0 && offsetof(PClassInfo2, cardinality) == 16 &&
              offsetof(PClassInfo2, category) == 20 && offsetof(PClassInfo2, name) == 52 &&
              offsetof(PClassInfo2, classFlags) == 116 && offsetof(PClassInfo2, subCategories) == 120 &&
              offsetof(PClassInfo2, vendor) == 248 && offsetof(PClassInfo2, version) == 312 &&
              offsetof(PClassInfo2, sdkVersion) == 376);

static_assert(sizeof(PClassInfoW) == 696);
static_assert(offsetof(PClassInfoW, name) == 52 && offsetof(PClassInfoW, classFlags) == 180 &&
              offsetof(PClassInfoW, subCategories) == 184 && offsetof(PClassInfoW, vendor) == 312 &&
              offsetof(PClassInfoW, version) == 440 && offsetof(PClassInfoW, sdkVersion) == 568);

static_assert(sizeof(ParameterInfo) == 792);
static_assert(offsetof(ParameterInfo, id) == 0 && offsetof(ParameterInfo, title) == 4 &&
              offsetof(ParameterInfo, shortTitle) == 260 && offsetof(ParameterInfo, units) == 516 &&
              offsetof(ParameterInfo, stepCount) == 772 && offsetof(ParameterInfo, defaultNormalizedValue) == 776 &&
              offsetof(ParameterInfo, unitId) == 784 && offsetof(ParameterInfo, flags) == 788);

static_assert(sizeof(ProcessSetup) == 24);
static_assert(offsetof(ProcessSetup, processMode) == 0 && offsetof(ProcessSetup, symbolicSampleSize) == 4 &&
              offsetof(ProcessSetup, maxSamplesPerBlock) == 8 && offsetof(ProcessSetup, sampleRate) == 16);

static_assert(sizeof(ProcessData) == detail::By(48, 80));
static_assert(offsetof(ProcessData, processMode) == 0 && offsetof(ProcessData, symbolicSampleSize) == 4 &&
              offsetof(ProcessData, numSamples) == 8 && offsetof(ProcessData, numInputs) == 12 &&
              offsetof(ProcessData, numOutputs) == 16);
static_assert(offsetof(ProcessData, inputs) == detail::By(20, 24) &&
              offsetof(ProcessData, outputs) == detail::By(24, 32) &&
              offsetof(ProcessData, inputParameterChanges) == detail::By(28, 40) &&
              offsetof(ProcessData, outputParameterChanges) == detail::By(32, 48) &&
              offsetof(ProcessData, inputEvents) == detail::By(36, 56) &&
              offsetof(ProcessData, outputEvents) == detail::By(40, 64) &&
              offsetof(ProcessData, processContext) == detail::By(44, 72));

static_assert(sizeof(AudioBusBuffers) == 24);
static_assert(offsetof(AudioBusBuffers, numChannels) == 0 && offsetof(AudioBusBuffers, silenceFlags) == 8 &&
              offsetof(AudioBusBuffers, channelBuffers32) == 16 && offsetof(AudioBusBuffers, channelBuffers64) == 16);

static_assert(sizeof(Chord) == 4 && sizeof(FrameRate) == 8);
static_assert(sizeof(ProcessContext) == 112);
static_assert(offsetof(ProcessContext, state) == 0 && offsetof(ProcessContext, sampleRate) == 8 &&
              offsetof(ProcessContext, projectTimeSamples) == 16 && offsetof(ProcessContext, systemTime) == 24 &&
              offsetof(ProcessContext, continousTimeSamples) == 32 &&
              offsetof(ProcessContext, projectTimeMusic) == 40 && offsetof(ProcessContext, barPositionMusic) == 48 &&
              offsetof(ProcessContext, cycleStartMusic) == 56 && offsetof(ProcessContext, cycleEndMusic) == 64 &&
              offsetof(ProcessContext, tempo) == 72 && offsetof(ProcessContext, timeSigNumerator) == 80 &&
              offsetof(ProcessContext, timeSigDenominator) == 84 && offsetof(ProcessContext, chord) == 88 &&
              offsetof(ProcessContext, smpteOffsetSubframes) == 92 && offsetof(ProcessContext, frameRate) == 96 &&
              offsetof(ProcessContext, samplesToNextClock) == 104);

static_assert(sizeof(Event) == detail::By(40, 48));
static_assert(offsetof(Event, busIndex) == 0 && offsetof(Event, sampleOffset) == 4 &&
              offsetof(Event, ppqPosition) == 8 && offsetof(Event, flags) == 16 && offsetof(Event, type) == 18);
static_assert(offsetof(Event, noteOn) == detail::By(20, 24) && offsetof(Event, noteOff) == detail::By(20, 24) &&
              offsetof(Event, data) == detail::By(20, 24) && offsetof(Event, polyPressure) == detail::By(20, 24) &&
              offsetof(Event, noteExpressionValue) == detail::By(20, 24) &&
              offsetof(Event, noteExpressionText) == detail::By(20, 24) &&
              offsetof(Event, chord) == detail::By(20, 24) && offsetof(Event, scale) == detail::By(20, 24) &&
              offsetof(Event, midiCCOut) == detail::By(20, 24));

static_assert(sizeof(NoteOnEvent) == 20);
static_assert(offsetof(NoteOnEvent, channel) == 0 && offsetof(NoteOnEvent, pitch) == 2 &&
              offsetof(NoteOnEvent, tuning) == 4 && offsetof(NoteOnEvent, velocity) == 8 &&
              offsetof(NoteOnEvent, length) == 12 && offsetof(NoteOnEvent, noteId) == 16);
static_assert(sizeof(NoteOffEvent) == 16);
static_assert(offsetof(NoteOffEvent, channel) == 0 && offsetof(NoteOffEvent, pitch) == 2 &&
              offsetof(NoteOffEvent, velocity) == 4 && offsetof(NoteOffEvent, noteId) == 8 &&
              offsetof(NoteOffEvent, tuning) == 12);
static_assert(sizeof(DataEvent) == detail::By(12, 16));
static_assert(offsetof(DataEvent, size) == 0 && offsetof(DataEvent, type) == 4 && offsetof(DataEvent, bytes) == 8);
static_assert(sizeof(PolyPressureEvent) == 12);
static_assert(sizeof(LegacyMIDICCOutEvent) == 4);
static_assert(offsetof(LegacyMIDICCOutEvent, controlNumber) == 0 && offsetof(LegacyMIDICCOutEvent, channel) == 1 &&
              offsetof(LegacyMIDICCOutEvent, value) == 2 && offsetof(LegacyMIDICCOutEvent, value2) == 3);

static_assert(sizeof(BusInfo) == 276);
static_assert(offsetof(BusInfo, mediaType) == 0 && offsetof(BusInfo, direction) == 4 &&
              offsetof(BusInfo, channelCount) == 8 && offsetof(BusInfo, name) == 12 &&
              offsetof(BusInfo, busType) == 268 && offsetof(BusInfo, flags) == 272);

static_assert(sizeof(RoutingInfo) == 12);
static_assert(sizeof(ViewRect) == 16);
static_assert(offsetof(ViewRect, left) == 0 && offsetof(ViewRect, top) == 4 && offsetof(ViewRect, right) == 8 &&
              offsetof(ViewRect, bottom) == 12);

static_assert(sizeof(IContextMenuItem) == 264);
static_assert(offsetof(IContextMenuItem, name) == 0 && offsetof(IContextMenuItem, tag) == 256 &&
              offsetof(IContextMenuItem, flags) == 260);

static_assert(sizeof(UnitInfo) == 268);
static_assert(offsetof(UnitInfo, id) == 0 && offsetof(UnitInfo, parentUnitId) == 4 && offsetof(UnitInfo, name) == 8 &&
              offsetof(UnitInfo, programListId) == 264);

static_assert(sizeof(ProgramListInfo) == 264);
static_assert(offsetof(ProgramListInfo, id) == 0 && offsetof(ProgramListInfo, name) == 4 &&
              offsetof(ProgramListInfo, programCount) == 260);

// An interface object is one pointer to its table of functions.
static_assert(sizeof(FUnknown) == sizeof(void*) && sizeof(IComponent) == sizeof(void*) &&
              sizeof(IAudioProcessor) == sizeof(void*));

} // namespace Vst3
