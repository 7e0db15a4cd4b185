#include "Vst3Load.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD kLoadTimeoutMs = 60000;

std::string FieldText(const char* field, std::size_t size)
{
    const void* z = std::memchr(field, 0, size);
    return std::string(field, z ? static_cast<std::size_t>(static_cast<const char*>(z) - field) : size);
}

bool IsFolder(const std::string& path)
{
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::string& path)
{
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The classes that the answer to a load request reports.
std::vector<TVst3ClassEntry> ReportedClasses(const TLoadBlock& load, const TDescriptionBlock& description)
{
    std::vector<TVst3ClassEntry> list;
    if (description.IsShell != 0) {
        const std::int32_t count = std::clamp<std::int32_t>(load.ShellCount, 0, kMaxShellEntries);
        for (std::int32_t i = 0; i < count; ++i) {
            const TShellEntryRecord& e = load.Shell[i];
            TVst3ClassEntry entry;
            entry.Kind = e.Kind;
            entry.Name = FieldText(e.Name, sizeof e.Name);
            std::memcpy(entry.ClassID.data(), e.ClassID, 16);
            list.push_back(entry);
        }
    } else {
        TVst3ClassEntry entry;
        entry.Kind = description.IsSynth != 0 ? kKindVst3Instrument : kKindVst3Effect;
        entry.Name = FieldText(description.Name, sizeof description.Name);
        std::memcpy(entry.ClassID.data(), description.ClassID, 16);
        list.push_back(entry);
    }
    return list;
}

bool Request(TBridgeHost& host)
{
    host.PostCode(kCodeLoadPlugin, 0);
    return host.WaitForCode(kCodePluginLoaded, kLoadTimeoutMs) == 1;
}

} // namespace

bool ResolveVst3Module(const std::string& Path, std::string& Module, std::string& Error)
{
    if (!IsFolder(Path)) {
        Module = Path;
        return true;
    }
    const std::string inside = Vst3BundleModulePath(Path, sizeof(void*) == 8);
    if (!IsFile(inside)) {
        Error = "the bundle " + Path + " holds no module for this host: " + inside;
        return false;
    }
    Module = inside;
    return true;
}

TVst3LoadResult LoadVst3(TBridgeHost& Host, const TClassChoice& Choice, bool ListOnly,
                         std::vector<TVst3ClassEntry>& Classes, std::string& Error)
{
    auto* load = static_cast<TLoadBlock*>(Host.Channel().LoadBlock());
    const auto* description = static_cast<const TDescriptionBlock*>(Host.Channel().DescriptionBlock());
    const std::string file = FieldText(load->FileName, sizeof load->FileName);

    // No class named: the bridge loads the only one or lists them all.
    load->Kind = kKindVst3Effect;
    std::memset(load->ClassID, 0, sizeof load->ClassID);
    load->LoadFlags = 0;
    load->ShellCount = 0;
    if (!Request(Host)) {
        Error = "the bridge could not load " + file;
        return TVst3LoadResult::Failed;
    }
    Classes = ReportedClasses(*load, *description);
    if (ListOnly)
        return TVst3LoadResult::Listed;

    const std::int32_t chosen = PickClass(Classes, Choice);
    if (chosen < 0) {
        Error = Classes.empty() ? "the module " + file + " has no audio class"
                                : "the module " + file + " has no class \"" + Choice.Name +
                                      "\" (--list-classes shows them)";
        return TVst3LoadResult::Failed;
    }
    if (description->IsShell == 0)
        return TVst3LoadResult::Loaded; // its one class is loaded

    // The chosen class by its identifier, as the host asks for it.
    const TVst3ClassEntry& entry = Classes[static_cast<std::size_t>(chosen)];
    load->Kind = entry.Kind;
    std::memcpy(load->ClassID, entry.ClassID.data(), sizeof load->ClassID);
    std::memset(load->Name, 0, sizeof load->Name);
    std::memcpy(load->Name, entry.Name.data(), std::min(entry.Name.size(), sizeof load->Name - 1));
    load->ShellCount = 0;
    if (!Request(Host)) {
        Error = "the bridge could not load class \"" + entry.Name + "\" of " + file;
        return TVst3LoadResult::Failed;
    }
    return TVst3LoadResult::Loaded;
}

void PrintVst3Classes(const std::vector<TVst3ClassEntry>& Classes)
{
    std::printf("Classes:    %d\n", static_cast<int>(Classes.size()));
    for (std::size_t i = 0; i < Classes.size(); ++i) {
        const TVst3ClassEntry& c = Classes[i];
        std::printf("  %4d  %-40s %-10s %s\n", static_cast<int>(i), c.Name.c_str(),
                    c.Kind == kKindVst3Instrument ? "instrument" : "effect", ClassIdText(c.ClassID).c_str());
    }
}
