#include "LoadRequest.h"

#include "DescriptionBlock.h"

#include <algorithm>
#include <cstring>

namespace {

// A field's text up to its terminator or its end.
std::string FieldText(const char* field, std::size_t size)
{
    const void* zero = std::memchr(field, 0, size);
    const std::size_t n = zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : size;
    return std::string(field, n);
}

void CopyTerminated(char* target, std::size_t targetSize, const char* field, std::size_t fieldSize)
{
    const std::string text = FieldText(field, fieldSize);
    const std::size_t n = std::min(text.size(), targetSize - 1);
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

} // namespace

TLoadRequest ReadLoadRequest(const TLoadBlock& block)
{
    TLoadRequest r;
    TPluginDescription& d = r.Description;
    d.Kind = block.Kind;
    CopyTerminated(d.Name, sizeof(d.Name), block.Name, sizeof(block.Name));
    CopyTerminated(d.FileName, sizeof(d.FileName), block.FileName, sizeof(block.FileName));
    std::memcpy(d.ClassID.data(), block.ClassID, sizeof(block.ClassID));
    d.LoadFlags = block.LoadFlags;
    d.ShellId = block.ShellId;
    r.Settings = block.Settings;

    const std::int32_t shellCount = block.ShellCount; // a packed field: read by value
    const std::int32_t count = std::clamp(shellCount, 0, kMaxShellEntries);
    if (count > 0) {
        r.ShellList = std::make_unique<TShellPluginInfoList>();
        for (std::int32_t i = 0; i < count; ++i) {
            const TShellEntryRecord& e = block.Shell[i];
            TClassID id;
            std::memcpy(id.data(), e.ClassID, sizeof(e.ClassID));
            r.ShellList->AddOrUpdate(FieldText(e.Name, sizeof(e.Name)), e.Kind, id, e.Id);
        }
    }
    d.ShellList = r.ShellList.get();
    return r;
}

void WriteShellList(TLoadBlock& block, const TShellPluginInfoList& list)
{
    const std::int32_t count = std::clamp(list.Count(), 0, kMaxShellEntries);
    block.ShellCount = count;
    for (std::int32_t i = 0; i < count; ++i) {
        const TShellPluginInfo* item = list.GetItems(i);
        TShellEntryRecord& e = block.Shell[i];
        e.Kind = item->Kind;
        e.Id = item->Id;
        WriteFieldText(e.Name, sizeof(e.Name), item->Name);
        std::memcpy(e.ClassID, item->ClassID.data(), sizeof(e.ClassID));
    }
}
