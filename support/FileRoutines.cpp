#include "FileRoutines.h"

#include <cstring>

std::string AddTrailingBackslash(const std::string& path)
{
    if (path.empty() || path.back() == '\\')
        return path;
    return path + '\\';
}

void FillZero(void* p, std::size_t byteCount)
{
    if (byteCount != 0)
        std::memset(p, 0, byteCount);
}

std::string UpperExtension(const std::string& fileName)
{
    std::size_t dot = fileName.find_last_of('.');
    std::size_t sep = fileName.find_last_of("\\/");
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep))
        return {};
    std::string ext = fileName.substr(dot);
    for (char& c : ext) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return ext;
}

std::string StripExtension(const std::string& name)
{
    std::size_t dot = name.find_last_of('.');
    std::size_t sep = name.find_last_of("\\/");
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep))
        return name;
    return name.substr(0, dot);
}
