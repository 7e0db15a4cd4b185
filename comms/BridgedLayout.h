#pragma once
// What crosses the process boundary between the host and the bridge: the
// header block of channel 0, the command record at the start of the blocks of
// channels 1 to 4, the channel table, the window codes and the two text rules
// of the record. Byte-exact and identical in 32- and 64-bit builds.
// Pure: builds without Windows headers.

#include <cstddef>
#include <cstdint>
#include <cstring>

inline constexpr int kChannelCount = 6;

enum TChannelIndex : int {
    kHeaderChannel = 0,
    kDescriptionChannel = 1,
    kControlChannel = 2,
    kHostChannel = 3,
    kAudioChannel = 4,
    kLoadChannel = 5,
};

// Default block sizes in bytes, by channel index.
inline constexpr std::int64_t kDefaultChannelSize[kChannelCount] = {113, 651524, 262144, 262144, 262144, 291488};

// Window codes carried by the registered message (WPARAM), LPARAM is the value.
inline constexpr std::uint32_t kCodeHostCloses = 0xFF000000;   // host to bridge
inline constexpr std::uint32_t kCodeBridgeReady = 0xFF000001;  // bridge to host, LPARAM the bridge's window
inline constexpr std::uint32_t kCodeBridgeCloses = 0xFF000002; // bridge to host
inline constexpr std::uint32_t kCodeDropBlock = 0xFF000003;    // sender to server, LPARAM the channel index

// Written into Command by a server once the command has been executed.
inline constexpr std::uint32_t kCommandDone = 0xFFFFFFFF;

// The channel a command code belongs to (its top byte); -1 for a window code
// or any other value that selects no channel.
constexpr int ChannelOfCode(std::uint32_t code)
{
    const std::uint32_t top = code >> 24;
    return top >= 1 && top <= 4 ? static_cast<int>(top) : -1;
}

#pragma pack(push, 1)

// Block 0. Every field has one writer (see the comments).
struct THeaderBlock {
    std::int64_t ChannelSize[kChannelCount]; // host at creation; later the sender of the channel
    std::uint64_t HostWindow;                // host: its channel window, high half 0
    std::int64_t EditorRequest;              // host: non-zero while the editor shall be open
    std::uint8_t Unused[16];
    std::uint8_t HostFlags;       // host
    std::uint64_t BridgeWindow;   // bridge: its channel window, high half 0 (offset 81, unaligned)
    std::uint64_t EditorWindow;   // bridge: the window holding the open editor, 0 when closed
    std::int64_t EditorWidth;     // bridge
    std::int64_t EditorHeight;    // bridge
};

inline constexpr std::size_t kRecordTextBytes = 260;

// The fixed part of a command; Data follows directly.
struct TCommandRecord {
    std::uint32_t Command;
    std::uint32_t Reserved;
    std::int32_t Index;
    std::int32_t Value;
    std::int64_t Param1;
    std::int64_t Param2;
    std::uint8_t Text[kRecordTextBytes]; // UTF-16LE from the sender, 8-bit ANSI back
    std::uint64_t Result;                // 32-bit result, zero-extended
    std::int64_t DataSize;
};

#pragma pack(pop)

static_assert(sizeof(THeaderBlock) == 113);
static_assert(offsetof(THeaderBlock, ChannelSize) == 0);
static_assert(offsetof(THeaderBlock, HostWindow) == 48);
static_assert(offsetof(THeaderBlock, EditorRequest) == 56);
static_assert(offsetof(THeaderBlock, Unused) == 64);
static_assert(offsetof(THeaderBlock, HostFlags) == 80);
static_assert(offsetof(THeaderBlock, BridgeWindow) == 81);
static_assert(offsetof(THeaderBlock, EditorWindow) == 89);
static_assert(offsetof(THeaderBlock, EditorWidth) == 97);
static_assert(offsetof(THeaderBlock, EditorHeight) == 105);

static_assert(sizeof(TCommandRecord) == 308);
static_assert(offsetof(TCommandRecord, Command) == 0);
static_assert(offsetof(TCommandRecord, Reserved) == 4);
static_assert(offsetof(TCommandRecord, Index) == 8);
static_assert(offsetof(TCommandRecord, Value) == 12);
static_assert(offsetof(TCommandRecord, Param1) == 16);
static_assert(offsetof(TCommandRecord, Param2) == 24);
static_assert(offsetof(TCommandRecord, Text) == 32);
static_assert(offsetof(TCommandRecord, Result) == 292);
static_assert(offsetof(TCommandRecord, DataSize) == 300);

inline constexpr std::int64_t kRecordSize = sizeof(TCommandRecord);

// A request text holds at most 129 UTF-16 code units plus a zero unit.
inline constexpr std::size_t kRequestTextUnits = 129;
// A server reads at most 130 units (the whole field).
inline constexpr std::size_t kRequestTextFieldUnits = kRecordTextBytes / 2;
// A result text holds at most 259 bytes plus a zero byte.
inline constexpr std::size_t kResultTextBytes = kRecordTextBytes - 1;

// The data bytes of a record, directly after its fixed part.
inline std::uint8_t* RecordData(TCommandRecord* record)
{
    return reinterpret_cast<std::uint8_t*>(record) + sizeof(TCommandRecord);
}

// Sender: the request text, cut to 129 units, little-endian, zero-terminated.
// CharT is a 16-bit character type (char16_t, or wchar_t on Windows).
template <class CharT>
void WriteRequestText(TCommandRecord& record, const CharT* text, std::size_t length)
{
    static_assert(sizeof(CharT) == 2);
    const std::size_t n = length < kRequestTextUnits ? length : kRequestTextUnits;
    std::memset(record.Text, 0, sizeof(record.Text));
    for (std::size_t i = 0; i < n; ++i) {
        const auto u = static_cast<std::uint16_t>(text[i]);
        record.Text[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
        record.Text[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
    }
}

// Server: the request text up to its zero unit, at most 130 units. Reuses the
// capacity of out.
template <class String>
void ReadRequestText(const TCommandRecord& record, String& out)
{
    static_assert(sizeof(typename String::value_type) == 2);
    out.clear();
    for (std::size_t i = 0; i < kRequestTextFieldUnits; ++i) {
        const auto u = static_cast<std::uint16_t>(record.Text[2 * i] | (record.Text[2 * i + 1] << 8));
        if (u == 0)
            break;
        out.push_back(static_cast<typename String::value_type>(u));
    }
}

// Server: the result text (already in the 8-bit code page), cut to 259 bytes
// and zero-terminated.
inline void WriteResultText(TCommandRecord& record, const char* ansi, std::size_t length)
{
    const std::size_t n = length < kResultTextBytes ? length : kResultTextBytes;
    if (n > 0)
        std::memcpy(record.Text, ansi, n);
    record.Text[n] = 0;
}

// Sender: the length of the result text, up to the first zero byte or the whole field.
inline std::size_t ResultTextLength(const TCommandRecord& record)
{
    std::size_t n = 0;
    while (n < kRecordTextBytes && record.Text[n] != 0)
        ++n;
    return n;
}
