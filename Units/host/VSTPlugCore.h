#pragma once
// The platform-free rules of VST2 hosting: the host identity and capability
// answers, names derived from the module file, version and category texts,
// the level-bar display rule, keys, the time information a plugin reads, the
// pairing of pins into buses, and the pooled MIDI event queue that becomes one
// VstEvents list per block. No Windows header: TVSTPlugin (VSTPlug.h) applies
// these rules to a loaded module.

#include "AudioPlug.h"
#include "VST2Types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Host identity as the plugins see it

inline constexpr char kVstHostVendor[] = "Norvake";
inline constexpr char kVstHostProduct[] = "Vornish Wrapper";
inline constexpr VstInt32 kVstHostVendorVersion = 10010;
inline constexpr VstInt32 kVstHostVstVersion = 2400;
inline constexpr VstInt32 kVstHostAutomatableParameters = 2560;

// The exported names of a module's entry point, in the order they are tried.
inline constexpr std::array<const char*, 25> kVstEntryPointNames = {
    "VstPluginMain",  "VSTPluginMain",  "main",           "maiN",          "maIn",
    "maIN",           "mAin",           "mAiN",           "mAIn",          "mAIN",
    "Main",           "MaiN",           "MaIn",           "MaIN",          "MAin",
    "MAiN",           "MAIn",           "MAIN",           "vstpluginmain", "VSTPluginmain",
    "VSTpluginmain",  "VSTpluginMain",  "vstPluginMain",  "vstPluginmain", "vstpluginMain",
};

// The answer to audioMasterCanDo for Text (compared exactly, letter case
// included). "sizeWindow" depends on the host: HostResizes is what the host's
// CanResizeEditor answered, or true when no plugin object is known.
VstIntPtr VstHostCanDo(const char* Text, bool HostResizes);

// ---------------------------------------------------------------------------
// Names and texts

// The file name without directory and extension. A name that starts with
// "Vornish " (exact case) gets every lower-case letter a..z that begins the
// text or follows a space upper-cased.
std::string VstNameFromFileName(const std::string& FileName);

// The directory part of FileName including its last separator ("\", "/" or
// the drive colon), cut to 260 characters; empty when there is none.
std::string VstModuleDirectory(const std::string& FileName);

// effGetVstVersion answer as text: up to 1 gives "1.0", 2 gives "2.0"; other
// values give their four decimal digits joined with ".", the third and fourth
// only when needed (2400 "2.4", 2410 "2.4.1", 2412 "2.4.1.2").
std::string VstVersionString(VstInt32 Version);

// effGetPlugCategory answer as text; unknown categories give "synth" or
// "effect" by IsSynth.
std::string VstCategoryString(VstInt32 Category, bool IsSynth);

// A parameter display of exactly 19 characters made only of "-" and the
// character 127 is a level bar: 127 becomes U+25AA and "-" U+25AB when
// Unicode, else "|" and "'". Any other text is left alone.
void ApplyLevelBarRule(std::u16string& Text, bool Unicode);

// Text of a fixed-size field that may lack its terminator, cut to MaxChars.
std::string VstFieldText(const char* Field, std::size_t FieldSize, std::size_t MaxChars);

// ---------------------------------------------------------------------------
// Keys

struct TVstKeyMapEntry {
    std::int32_t WindowsKey; // Windows virtual-key code
    unsigned char VstKey;    // VstVirtualKey code
};

// The 55 Windows keys that have a VST2 virtual-key code.
inline constexpr std::array<TVstKeyMapEntry, 55> kVstKeyMap = {{
    {0x08, 1},  {0x09, 2},  {0x0C, 3},  {0x0D, 4},  {0x13, 5},  {0x1B, 6},  {0x20, 7},  // back .. space
    {0x23, 9},  {0x24, 10}, {0x25, 11}, {0x26, 12}, {0x27, 13}, {0x28, 14},             // end .. down
    {0x21, 15}, {0x22, 16}, {0x29, 17}, {0x2A, 18}, {0x2B, 19}, {0x2C, 20},             // prior .. snapshot
    {0x2D, 21}, {0x2E, 22}, {0x2F, 23},                                                 // insert, delete, help
    {0x60, 24}, {0x61, 25}, {0x62, 26}, {0x63, 27}, {0x64, 28},                         // numpad 0 .. 4
    {0x65, 29}, {0x66, 30}, {0x67, 31}, {0x68, 32}, {0x69, 33},                         // numpad 5 .. 9
    {0x6A, 34}, {0x6B, 35}, {0x6C, 36}, {0x6D, 37}, {0x6E, 38}, {0x6F, 39},             // multiply .. divide
    {0x70, 40}, {0x71, 41}, {0x72, 42}, {0x73, 43}, {0x74, 44}, {0x75, 45},             // F1 .. F6
    {0x76, 46}, {0x77, 47}, {0x78, 48}, {0x79, 49}, {0x7A, 50}, {0x7B, 51},             // F7 .. F12
    {0x90, 52}, {0x91, 53}, {0x10, 54}, {0x11, 55}, {0x12, 56},                         // num/scroll lock, shift, control, alt
}};

// The VST2 virtual-key code of a Windows key, 0 when it has none.
unsigned char VstVirtualKey(std::int32_t WindowsKey);

// Modifier bits of TShiftState as the bridge hands them.
inline constexpr TShiftState kShiftStateShift = 0x01;
inline constexpr TShiftState kShiftStateAlt = 0x02;
inline constexpr TShiftState kShiftStateControl = 0x04;

// The key record of effEditKeyDown/effEditKeyUp: character = Key with A..Z
// lower-cased, virt from the map, modifier 1 shift + 2 alt + 8 control.
VstKeyCode MakeVstKeyCode(std::int32_t Key, TShiftState Shift);

// ---------------------------------------------------------------------------
// Time information

// What the time query needs of the plugin object.
struct TVstTimeState {
    std::int32_t SongPosition = 0;
    std::int32_t SampleRate = 0;
    double Tempo = 0.0;
    std::int32_t StepsPerBar = 0;
    std::int32_t StepsPerBeat = 0;
    bool Playing = false;
    bool Changed = false;      // transport changed or position jumped since the last query
    bool CycleAllowed = false; // Properties flag 2
    std::uint32_t ElapsedMs = 0; // since the plugin was created or last activated
};

// The request bits for the host's GetTimeInfo that a plugin's request Value
// needs (0x01 position, 0x02 clock, 0x08 cycle); 0 when the host need not be
// asked at all.
std::int32_t VstHostTimeRequest(VstInt32 Value, bool CycleAllowed);

// Fills Info for a plugin's request Value from the plugin state and the
// host's time record (read only for the fields that Value asks for).
void FillVstTimeInfo(const TVstTimeState& State, VstInt32 Value, const THostTimeInfo& HostInfo, VstTimeInfo& Info);

// ---------------------------------------------------------------------------
// Buses

// One answer of effGetInputProperties / effGetOutputProperties.
struct TVstPinAnswer {
    bool Answered = false;
    VstPinProperties Pin{};
};

// The buses that the pins make: a stereo pin opens a two-channel bus that the
// next answered pin completes (labels joined with " / " when they differ);
// unanswered pins pair up as unnamed, active stereo buses.
std::vector<TBusInfo> VstPinsToBuses(const std::vector<TVstPinAnswer>& Pins);

// ---------------------------------------------------------------------------
// Events

// One queued event: a header and the MIDI event that goes to the plugin.
#pragma pack(push, 1)
struct TVstQueuedEvent {
    std::int32_t Size;     // bytes of Event that are copied: 32
    std::int32_t Reserved; // 0
    VstMidiEvent Event;
};
#pragma pack(pop)
static_assert(sizeof(TVstQueuedEvent) == 40);
static_assert(offsetof(TVstQueuedEvent, Reserved) == 4);
static_assert(offsetof(TVstQueuedEvent, Event) == 8);

// A short MIDI message: midiData = the four bytes of Msg, status first.
void EncodeVstMidiMessage(VstMidiEvent& Event, std::int32_t Msg, std::int32_t DeltaFrames);
// A note: the pitch rounded half to even and limited to 0..127, the rest of
// the pitch in cents as detune; note-offs also carry their velocity.
void EncodeVstNote(VstMidiEvent& Event, bool NoteOn, std::uint8_t Velocity, float Pitch, std::uint8_t Channel,
                   bool Realtime, std::int32_t DeltaFrames);

// MIDI events collected between blocks and handed to the plugin as one
// VstEvents list. Queue items and the per-block copies come from pools that
// stop allocating once they have reached their working size; the list buffer
// only grows.
class TVstEventQueue {
public:
    TVstEventQueue();
    TVstEventQueue(const TVstEventQueue&) = delete;
    TVstEventQueue& operator=(const TVstEventQueue&) = delete;

    // Queue one event. [any thread]
    void QueueMidiMessage(std::int32_t Msg, std::int32_t DeltaFrames);
    void QueueNote(bool NoteOn, std::uint8_t Velocity, float Pitch, std::uint8_t Channel, bool Realtime,
                   std::int32_t DeltaFrames);
    // Events queued since the last list was built. [any thread]
    std::int32_t PendingCount();

    // The list of everything queued, in order (when Accepting), and an empty
    // queue (always, so that events never pile up). Returns the list, which
    // stays valid until ReleaseList. [audio thread]
    VstEvents* BuildList(bool Accepting);
    // Gives the copies back and sets numEvents to 0. [audio thread]
    void ReleaseList();

    VstEvents* List() { return reinterpret_cast<VstEvents*>(Buffer.data()); }
    std::size_t ListBytes() const { return Buffer.size() * sizeof(Buffer[0]); }

private:
    template <class Fill>
    void Queue(Fill&& fill);
    void EnsureListBytes(std::size_t bytes);

    std::mutex Lock;                                // guards Items
    TBufList Items{sizeof(TVstQueuedEvent), true};  // queued since the last block, in order
    TBufList Copies{sizeof(VstMidiEvent), true};    // what the current list points to [audio thread]
    std::vector<VstIntPtr> Buffer;                  // the VstEvents list, pointer-aligned [audio thread]
};
