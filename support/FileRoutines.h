#pragma once
// File search and memory routines. FindFiles and FileExistsQuiet need Windows;
// the rest builds everywhere.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// FindFiles options.
enum : std::uint8_t {
    ffRelativePaths = 1,  // report names relative to the starting folder
    ffStripExtension = 2, // remove the extension from each reported name
    ffRecurse = 4,        // descend into subfolders
    ffFirstOnly = 8,      // only test for existence; report nothing
    ffIncludeHidden = 16, // also visit hidden files and folders
};

// Appends "\" to a non-empty path whose last character is not a backslash.
std::string AddTrailingBackslash(const std::string& path);

// Sets byteCount bytes at p to 0.
void FillZero(void* p, std::size_t byteCount);

// The extension of a file name from its last dot, upper-cased in a..z only;
// empty when the name has no dot.
std::string UpperExtension(const std::string& fileName);

// The name with the extension of its last path component removed.
std::string StripExtension(const std::string& name);

#if defined(_WIN32)
// Searches folder for files whose upper-case extension is one of extensions
// (each with its dot, upper case; empty: every file) and appends matches to
// list. True when at least one file matched.
bool FindFiles(const std::string& folder, const std::vector<std::string>& extensions, std::uint8_t options,
               std::vector<std::string>& list);

// Whether a file exists at path, with critical-error boxes switched off.
bool FileExistsQuiet(const std::wstring& path);
bool FileExistsQuiet(const std::string& path);
#endif
