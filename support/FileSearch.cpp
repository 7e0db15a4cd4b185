#include "FileRoutines.h"

#include <windows.h>

namespace {

struct TFindHandle {
    HANDLE h;
    ~TFindHandle()
    {
        if (h != INVALID_HANDLE_VALUE)
            FindClose(h);
    }
};

bool ExtensionMatches(const std::vector<std::string>& extensions, const std::string& name)
{
    if (extensions.empty())
        return true;
    std::string ext = UpperExtension(name);
    for (const auto& e : extensions) {
        if (ext == e)
            return true;
    }
    return false;
}

void SearchFolder(const std::string& folder, const std::string& prefix, const std::vector<std::string>& extensions,
                  std::uint8_t options, std::vector<std::string>& list, bool& found)
{
    WIN32_FIND_DATAA fd;
    TFindHandle find{FindFirstFileA((folder + "*.*").c_str(), &fd)};
    if (find.h == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0)
            continue;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0 && (options & ffIncludeHidden) == 0)
            continue;
        const std::string name = fd.cFileName;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if (name != "." && name != ".." && (options & ffRecurse) != 0)
                SearchFolder(folder + name + "\\", prefix + name + "\\", extensions, options, list, found);
            continue;
        }
        if (!ExtensionMatches(extensions, name))
            continue;
        found = true;
        if ((options & ffFirstOnly) != 0)
            return; // the enumeration of this folder ends here
        std::string reported = ((options & ffRelativePaths) != 0 ? prefix : folder) + name;
        if ((options & ffStripExtension) != 0)
            reported = StripExtension(reported);
        list.push_back(std::move(reported));
    } while (FindNextFileA(find.h, &fd));
}

} // namespace

bool FindFiles(const std::string& folder, const std::vector<std::string>& extensions, std::uint8_t options,
               std::vector<std::string>& list)
{
    bool found = false;
    if (folder.empty())
        return false;
    SearchFolder(AddTrailingBackslash(folder), std::string(), extensions, options, list, found);
    return found;
}

bool FileExistsQuiet(const std::wstring& path)
{
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    DWORD attributes = GetFileAttributesW(path.c_str());
    SetErrorMode(previous);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FileExistsQuiet(const std::string& path)
{
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    DWORD attributes = GetFileAttributesA(path.c_str());
    SetErrorMode(previous);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
