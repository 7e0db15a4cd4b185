#include "VSTStateCore.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

constexpr std::int32_t kMessageBoxWarning = 0x30;

// --- Little-endian fields ------------------------------------------------------

void WriteInt(TStream& S, std::int32_t Value)
{
    const auto v = static_cast<std::uint32_t>(Value);
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    S.WriteBuffer(b, sizeof b);
}

void WriteSingle(TStream& S, float Value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &Value, sizeof bits);
    WriteInt(S, static_cast<std::int32_t>(bits));
}

void WriteName(TStream& S, const std::string& Name)
{
    std::array<char, kVstStateNameSize> field{};
    std::memcpy(field.data(), Name.data(), std::min<std::size_t>(Name.size(), kVstStateNameSize - 1));
    S.WriteBuffer(field.data(), field.size());
}

std::int32_t DecodeInt(const std::uint8_t* b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                     (static_cast<std::uint32_t>(b[2]) << 16) |
                                     (static_cast<std::uint32_t>(b[3]) << 24));
}

// An "exact" read: EReadError when the stream holds fewer than four bytes.
std::int32_t ReadIntExact(TStream& S)
{
    std::uint8_t b[4];
    S.ReadBuffer(b, sizeof b);
    return DecodeInt(b);
}

// A read that keeps Value when fewer than four bytes are left.
void ReadIntKeep(TStream& S, std::int32_t& Value)
{
    if (S.Remaining() >= 4)
        Value = ReadIntExact(S);
}

// Count records of Size bytes each must be in the stream before they are
// allocated or read.
void RequireBytes(TStream& S, std::int64_t Count, std::int64_t Size)
{
    if (Count < 0 || Count > S.Remaining() / Size)
        throw EReadError();
}

std::string DecodeName(const std::uint8_t* Field)
{
    const auto* text = reinterpret_cast<const char*>(Field);
    return std::string(text, std::find(text, text + kVstStateNameSize - 1, '\0'));
}

std::string Formatted(const char* Format, std::int64_t A)
{
    char text[64];
    std::snprintf(text, sizeof text, Format, static_cast<int>(A));
    return text;
}

std::string Formatted(const char* Format, std::int64_t A, std::int64_t B)
{
    char text[64];
    std::snprintf(text, sizeof text, Format, static_cast<int>(A), static_cast<int>(B));
    return text;
}

std::string ExceptionText(std::exception_ptr Failure)
{
    try {
        std::rethrow_exception(Failure);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

// The display update the plugin asked for while its state moved. A failure
// in it is the plugin's and does not undo the transfer.
void RunDeferredDisplayUpdate(TVstStateTarget& T)
{
    try {
        T.RunDisplayUpdate();
    } catch (...) {
        T.HostLog("EXCEPTION (audioMasterUpdateDisplay): " + ExceptionText(std::current_exception()), 0);
    }
}

// --- Saving ----------------------------------------------------------------------

// ValueCount, the values, NameCount and the names.
void SaveParameterPart(TStream& S, TVstStateTarget& T, bool HasChunks)
{
    const std::int32_t numParams = std::max(T.ParamCount(), 0);
    if (!T.GetProperty(kVstStateKeepEditsFlag)) {
        // The current program as it is now, and its name.
        std::vector<float> values(static_cast<std::size_t>(numParams));
        for (std::int32_t i = 0; i < numParams; ++i)
            values[static_cast<std::size_t>(i)] = T.GetParamValue(i);
        const std::string name = T.ProgramName(T.CurrentProgram());
        WriteInt(S, numParams);
        for (float v : values)
            WriteSingle(S, v);
        WriteInt(S, 1);
        WriteName(S, name);
        return;
    }

    // Every program, each with its name.
    const bool oldVst = T.IsOldVst();
    std::int32_t programs = oldVst ? 1 : std::max(T.ProgramCount(), 1);
    if (numParams > 0)
        programs = std::min(programs, INT32_MAX / numParams); // the count must fit its field
    const std::int32_t valueCount = HasChunks ? 0 : numParams * programs;
    std::vector<float> values;
    std::vector<std::string> names;
    if (valueCount > 0) {
        values.reserve(static_cast<std::size_t>(valueCount));
        const std::int32_t previous = T.CurrentProgram();
        for (std::int32_t p = 0; p < programs; ++p) {
            if (programs > 1)
                T.SwitchProgram(p);
            names.push_back(oldVst ? T.CurrentProgramName() : T.ProgramName(p));
            for (std::int32_t i = 0; i < numParams; ++i)
                values.push_back(T.GetParamValue(i));
        }
        if (programs > 1)
            T.SwitchProgram(previous);
    }
    WriteInt(S, valueCount);
    for (float v : values)
        WriteSingle(S, v);
    WriteInt(S, static_cast<std::int32_t>(names.size()));
    for (const std::string& name : names)
        WriteName(S, name);
}

// The state after Version and Flags; false when it stopped at the crash
// warning for a failed effGetChunk.
bool SaveBody(TStream& S, TVstStateTarget& T, std::int64_t Start, bool HasChunks)
{
    if (HasChunks) {
        T.ClearDeferredDisplayUpdate();
        T.SetInStateTransfer(true);
        T.HostLog("before effGetChunk", 0);
        const std::uint8_t* data = nullptr;
        std::int64_t size = 0;
        std::exception_ptr failure;
        try {
            size = T.GetChunk(true, data);
        } catch (...) {
            failure = std::current_exception();
        }
        // The transfer ends before the deferred update runs, so that it is
        // carried out rather than deferred once more.
        T.SetInStateTransfer(false);
        if (failure) {
            T.HostLog("EXCEPTION (effGetChunk): " + ExceptionText(failure), 0);
            T.ShowCrashWarning(VstStateText(kVstStateRetrieveErrorText, T.PluginName()));
            T.HostLog("Finished (TVSTPlugin - SAVE)", -1);
            return false;
        }
        if (T.TakeDeferredDisplayUpdate()) {
            T.HostLog("before audioMasterUpdateDisplay", 0);
            RunDeferredDisplayUpdate(T);
        }
        // No data, or a size that is no byte count, is no chunk.
        if (data == nullptr || size < 0 || size > INT32_MAX)
            size = 0;
        T.HostLog(Formatted("offset=%.5d size=%d", S.GetPosition() - Start, size), 0);
        WriteInt(S, static_cast<std::int32_t>(size));
        if (size > 0) {
            WriteInt(S, T.CurrentProgram());
            T.HostLog(Formatted("offset=%.5d", S.GetPosition() - Start), 0);
            std::int64_t written = 0;
            try {
                std::vector<std::uint8_t> chunk;
                T.CopyChunk(data, size, chunk);
                S.WriteBuffer(chunk.data(), size);
                written = size;
            } catch (...) {
                const std::string what = ExceptionText(std::current_exception());
                S.Seek(-8, TSeekOrigin::soCurrent);
                WriteInt(S, 4);
                T.HostLog("EXCEPTION (S.WriteBuffer): " + what, 0);
                T.MessageBox(VstStateText(kVstStateWriteErrorText, T.PluginName()), kMessageBoxWarning);
            }
            T.HostLog(Formatted("offset=%.5d size written=%d", S.GetPosition() - Start, written), 0);
            return true;
        }
    } else {
        WriteInt(S, 0);
    }

    std::int32_t program = T.CurrentProgram();
    if (T.IsOldVst() || program < 0 || program >= T.ProgramCount())
        program = 0;
    WriteInt(S, program);
    SaveParameterPart(S, T, HasChunks);
    return true;
}

// --- Restoring -------------------------------------------------------------------

std::int32_t ValidProgram(TVstStateTarget& T, std::int32_t Program)
{
    return Program < 0 || Program >= T.ProgramCount() ? 0 : Program;
}

// The values (and names) part between effBeginSetProgram and
// effEndSetProgram: the values in Raw, then NameCount and the names.
void ApplyValues(TStream& S, TVstStateTarget& T, std::int32_t V, const std::vector<std::uint8_t>& Raw,
                 bool KeepEdits, std::int32_t& Program)
{
    const auto ValueCount = static_cast<std::int64_t>(Raw.size() / 4);
    if (V <= -6 && T.CurrentProgram() != Program && !T.IsOldVst())
        T.SwitchProgram(Program);
    const std::int64_t numParams = std::max(T.ParamCount(), 0);
    const std::int64_t numPrograms = std::max(T.ProgramCount(), 0);
    const bool allPrograms = numParams * numPrograms == ValueCount;
    if (allPrograms && T.CurrentProgram() != 0)
        T.SwitchProgram(0);

    std::int64_t used = ValueCount;
    if (T.IsOldVst())
        used = std::min(numParams, used);
    std::int64_t k = 0;
    for (std::int64_t i = 0; i < used; ++i) {
        if (k >= numParams) {
            if (!allPrograms)
                break;
            const std::int32_t next = T.CurrentProgram() + 1;
            if (next <= 0 || next >= numPrograms)
                break; // the plugin did not follow the walk: no program outside its range
            T.SwitchProgram(next);
            k = 0;
        }
        const std::int32_t bits = DecodeInt(Raw.data() + i * 4);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        T.SetParamValue(static_cast<std::int32_t>(k), value);
        ++k;
    }

    const std::int32_t nameCount = S.Remaining() < 4 ? 0 : ReadIntExact(S);
    if (nameCount > 0) {
        if (KeepEdits || V > -6) {
            RequireBytes(S, nameCount, kVstStateNameSize);
            std::vector<std::uint8_t> fields(static_cast<std::size_t>(nameCount) * kVstStateNameSize);
            S.ReadBuffer(fields.data(), static_cast<std::int64_t>(fields.size()));
            // Names for programs the plugin does not have are left out.
            const auto named =
                static_cast<std::int32_t>(std::min<std::int64_t>(nameCount, std::max<std::int64_t>(numPrograms, 1)));
            for (std::int32_t j = 0; j < named; ++j)
                T.RenameProgram(j, DecodeName(fields.data() + static_cast<std::size_t>(j) * kVstStateNameSize));
        } else {
            std::uint8_t field[kVstStateNameSize];
            S.ReadBuffer(field, sizeof field);
            T.RenameProgram(Program, DecodeName(field));
        }
    }
    if (V == -5 && S.Remaining() >= 4)
        Program = ValidProgram(T, ReadIntExact(S));
}

void RestoreValues(TStream& S, TVstStateTarget& T, std::int32_t V, std::int32_t ValueCount, bool KeepEdits,
                   std::int32_t& Program)
{
    // The values are read whole before the plugin is touched.
    RequireBytes(S, ValueCount, 4);
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(ValueCount) * 4);
    S.ReadBuffer(raw.data(), static_cast<std::int64_t>(raw.size()));

    // effEndSetProgram follows effBeginSetProgram however the part ends.
    T.BeginSetProgram();
    try {
        ApplyValues(S, T, V, raw, KeepEdits, Program);
    } catch (...) {
        try {
            T.EndSetProgram();
        } catch (...) {
        }
        throw;
    }
    T.EndSetProgram();
}

// Steps 5 to 13: everything after the version.
void RestoreBody(TStream& S, TVstStateTarget& T, std::int32_t V, bool KeepEdits, std::int32_t Program)
{
    if (V >= -9 && V <= -6) {
        std::uint8_t flags;
        S.ReadBuffer(&flags, 1);
        KeepEdits = (flags & 0x01) != 0;
        T.SetProperty(kVstStateCycleFlag, (flags & 0x02) == 0);
        T.SetProperty(kVstStateProgramCheckFlag, true);
    }
    std::int32_t chunkSize = V < 0 ? INT32_MAX : -1;
    if (V <= -5)
        ReadIntKeep(S, chunkSize);
    std::int32_t valueCount = V;
    if (V == -7 && chunkSize == 0 && T.HasChunks())
        ReadIntKeep(S, valueCount);
    if (V <= -6) {
        ReadIntKeep(S, Program);
        Program = ValidProgram(T, Program);
    }

    if (chunkSize > 0) {
        if (V == -5 || V == -4) {
            ReadIntKeep(S, Program);
            Program = ValidProgram(T, Program);
        }
        if (V >= -4 && V <= -1)
            chunkSize = ReadIntExact(S);
        if (chunkSize > 0) {
            // A chunk that the stream does not hold whole never reaches the plugin.
            RequireBytes(S, chunkSize, 1);
            std::vector<std::uint8_t> block(static_cast<std::size_t>(chunkSize));
            S.ReadBuffer(block.data(), chunkSize);
            try {
                if (KeepEdits || V != -6) {
                    T.SetChunk(true, block.data(), chunkSize);
                } else {
                    T.SwitchProgram(Program);
                    T.SetChunk(false, block.data(), chunkSize);
                }
            } catch (...) {
                T.MessageBox(VstStateText(kVstStateSendErrorText, T.PluginName()), kMessageBoxWarning);
            }
        }
    }

    if (V == -2 || (V <= -5 && chunkSize <= 0))
        valueCount = ReadIntExact(S);
    if (valueCount >= 0)
        RestoreValues(S, T, V, valueCount, KeepEdits, Program);

    if (T.CurrentProgram() != Program && !T.IsOldVst())
        T.SwitchProgram(Program);
    T.SetProperty(kVstStateKeepEditsFlag, KeepEdits);
    T.UpdateDisplay(1, true);
    T.RefreshEditors(false);
}

// The end of every restore: the display update that waited, if any.
void FinishRestore(TVstStateTarget& T, const char* Line)
{
    T.SetCreating(false);
    if (T.TakeDeferredDisplayUpdate())
        RunDeferredDisplayUpdate(T);
    T.HostLog(Line, -1);
}

} // namespace

std::string VstStateText(const char* Format, const std::string& Name)
{
    std::string text = Format;
    const std::size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, Name);
    return text;
}

std::string VstClassIdText(std::int32_t ShellId, const std::string& Name)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.06x%.08x", 0x565354u, static_cast<unsigned>(ShellId));
    std::string id = text;
    for (std::size_t i = 0; i < 9; ++i) {
        unsigned code = 0;
        if (i < Name.size()) {
            const auto c = static_cast<unsigned char>(Name[i]);
            code = c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
        }
        std::snprintf(text, sizeof text, "%02x", code);
        id += text;
    }
    return id;
}

void SaveVstState(TStream& Stream, TVstStateTarget& T)
{
    T.HostLog("TVSTPlugin - SAVE", 1);
    const std::int64_t start = Stream.GetPosition();
    bool logged = false; // the end of the section was logged already
    try {
        WriteInt(Stream, kVstStateVersion);
        const bool hasChunks = T.HasChunks();
        const std::uint8_t flags = (T.GetProperty(kVstStateKeepEditsFlag) ? 0x01 : 0) |
                                   (!T.GetProperty(kVstStateCycleFlag) ? 0x02 : 0) |
                                   (T.GetProperty(kVstStateProgramCheckFlag) ? 0x04 : 0) | (hasChunks ? 0x08 : 0);
        Stream.WriteBuffer(&flags, 1);
        logged = !SaveBody(Stream, T, start, hasChunks);
    } catch (...) {
        // A plugin that fails while giving its values: a state that could not
        // be read back is worse than none, so only Version and Flags stay.
        T.HostLog("EXCEPTION (SAVE): " + ExceptionText(std::current_exception()), 0);
        if (Stream.GetSize() > start + 5)
            Stream.SetSize(start + 5);
        Stream.SetPosition(std::min<std::int64_t>(Stream.GetSize(), start + 5));
        T.ShowCrashWarning(VstStateText(kVstStateRetrieveErrorText, T.PluginName()));
    }
    if (!logged)
        T.HostLog("Finished (SAVE)", -1);
}

void RestoreVstState(TStream& Stream, TVstStateTarget& T)
{
    T.HostLog("TVSTPlugin - RESTORE", 1);
    T.SetCreating(true);
    T.ClearDeferredDisplayUpdate();
    try {
        std::int32_t program = T.CurrentProgram();
        if (program != 0)
            T.SwitchProgram(0);
        const bool keepEdits = T.GetProperty(kVstStateKeepEditsFlag);
        T.SetProperty(kVstStateKeepEditsFlag, true);
        const std::int32_t v = ReadIntExact(Stream);
        if (v == kVstStateEmpty) {
            FinishRestore(T, "Finished (early)");
            return;
        }
        if (v >= kVstStateOldest)
            RestoreBody(Stream, T, v, keepEdits, program);
    } catch (const EReadError&) {
        const std::string text = VstStateText(kVstStateReadErrorText, T.PluginName());
        T.HostLog(text, -1);
        T.MessageBox(text, kMessageBoxWarning);
    } catch (...) {
        const std::string text = VstStateText(kVstStateLoadErrorText, T.PluginName());
        T.HostLog(text, -1);
        T.ShowCrashWarning(text);
    }
    FinishRestore(T, "Finished (RESTORE)");
}
