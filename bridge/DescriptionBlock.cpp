#include "DescriptionBlock.h"

#include "AnsiText.h"

#include <algorithm>
#include <cstring>

void WriteFieldText(char* field, std::size_t size, const std::string& text)
{
    const std::size_t n = std::min(text.size(), size);
    std::memcpy(field, text.data(), n);
    if (n < size)
        field[n] = '\0';
}

namespace {

// Reused per thread: once grown, updates allocate nothing.
thread_local std::string t_text;
thread_local std::u16string t_wide;

std::int32_t Limited(std::int32_t count, std::int32_t limit)
{
    return std::clamp(count, 0, limit);
}

void WriteBuses(std::int32_t& countField, TBusInfo* records, std::int32_t limit, std::int32_t count,
                const std::vector<TBusInfo>& buses)
{
    const std::int32_t n = std::min(Limited(count, limit), static_cast<std::int32_t>(buses.size()));
    countField = n;
    if (n > 0)
        std::memcpy(records, buses.data(), static_cast<std::size_t>(n) * sizeof(TBusInfo));
}

} // namespace

void TDescriptionWriter::UpdateIdentity(TBaseAudioPlugin* plugin)
{
    if (plugin == nullptr)
        return;
    WriteFieldText(Block->Name, sizeof(Block->Name), plugin->Name);
    std::memcpy(Block->ClassID, plugin->Description.ClassID.data(), sizeof(Block->ClassID));
    WriteFieldText(Block->Vendor, sizeof(Block->Vendor), plugin->Vendor);
    WriteFieldText(Block->VendorURL, sizeof(Block->VendorURL), plugin->VendorURL);
    WriteFieldText(Block->VendorEmail, sizeof(Block->VendorEmail), plugin->VendorEmail);
    t_text.clear();
    plugin->GetVersionString(t_text);
    WriteFieldText(Block->Version, sizeof(Block->Version), t_text);
    t_text.clear();
    plugin->GetCategoryString(t_text);
    WriteFieldText(Block->Category, sizeof(Block->Category), t_text);
    Block->PluginFlags = plugin->PluginFlags;
    Block->Latency = plugin->Latency;
    Block->UniqueID = plugin->GetUniqueID();
    Block->HasEditor = plugin->HasEditor ? 1 : 0;
    Block->IsSynth = plugin->IsSynth ? 1 : 0;
    Block->AcceptsMidi = plugin->AcceptsMidi ? 1 : 0;
    Block->IsShell = plugin->IsShell ? 1 : 0;
}

void TDescriptionWriter::UpdateKeyNames(TBaseAudioPlugin* plugin)
{
    if (plugin == nullptr)
        return;
    for (std::int32_t key = 0; key < 128; ++key) {
        t_text.clear();
        plugin->GetMidiKeyName(key, t_text);
        WriteFieldText(Block->KeyNames[key], sizeof(Block->KeyNames[key]), t_text);
    }
}

void TDescriptionWriter::UpdateParams(TBaseAudioPlugin* plugin, std::int32_t first, std::int32_t last)
{
    if (plugin == nullptr)
        return;
    const std::int32_t count = Limited(plugin->NumParams, kMaxDescribedParams);
    Block->ParamCount = count;
    if (!(0 <= first && first <= last && last <= count - 1)) {
        first = 0;
        last = count - 1;
    }
    for (std::int32_t i = first; i <= last; ++i) {
        TParamRecord& r = Block->Params[i];
        t_text.clear();
        plugin->GetParamName(i, t_text);
        WriteFieldText(r.Name, sizeof(r.Name), t_text);
        t_text.clear();
        plugin->GetParamLabel(i, t_text);
        WriteFieldText(r.Label, sizeof(r.Label), t_text);
        t_wide.clear();
        plugin->GetParamDisplay(i, false, t_wide);
        Utf16ToAnsi(t_wide, t_text);
        WriteFieldText(r.Display, sizeof(r.Display), t_text);
        r.Value = plugin->GetParamValue(i);
    }
}

void TDescriptionWriter::UpdatePrograms(TBaseAudioPlugin* plugin)
{
    if (plugin == nullptr)
        return;
    const std::int32_t count = Limited(plugin->NumPrograms, kMaxDescribedPrograms);
    Block->ProgramCount = count;
    Block->CurrentProgram = plugin->GetCurrentProgram();
    for (std::int32_t i = 0; i < count; ++i) {
        t_text.clear();
        plugin->GetProgramName(i, 0, t_text);
        WriteFieldText(Block->ProgramNames[i], sizeof(Block->ProgramNames[i]), t_text);
    }
}

void TDescriptionWriter::UpdateBuses(TBaseAudioPlugin* plugin)
{
    if (plugin == nullptr)
        return;
    WriteBuses(Block->InputBusCount, Block->InputBuses, kMaxDescribedBuses, plugin->NumInputBuses,
               plugin->InputBuses);
    WriteBuses(Block->OutputBusCount, Block->OutputBuses, kMaxDescribedBuses, plugin->NumOutputBuses,
               plugin->OutputBuses);
}

void TDescriptionWriter::UpdateEventBuses(TBaseAudioPlugin* plugin)
{
    if (plugin == nullptr)
        return;
    WriteBuses(Block->EventInputBusCount, Block->EventInputBuses, kMaxDescribedEventBuses,
               plugin->NumEventInputBuses, plugin->EventInputBuses);
    WriteBuses(Block->EventOutputBusCount, Block->EventOutputBuses, kMaxDescribedEventBuses,
               plugin->NumEventOutputBuses, plugin->EventOutputBuses);
}

void TDescriptionWriter::SetParamRecordValue(std::int32_t index, float value)
{
    const std::int32_t count = Limited(Block->ParamCount, kMaxDescribedParams);
    if (index >= 0 && index < count)
        Block->Params[index].Value = value;
}

void TDescriptionWriter::SetLatency(std::int32_t latency)
{
    Block->Latency = latency;
}

void TDescriptionWriter::SetShellFlag(bool isShell)
{
    Block->IsShell = isShell ? 1 : 0;
}

void TDescriptionWriter::Clear()
{
    std::memset(Block, 0, sizeof(TDescriptionBlock));
}
