#pragma once
// Runs a console program and collects its standard output. [Windows builds only]

#include <windows.h>

#include <filesystem>
#include <string>

struct TChildResult {
    DWORD ExitCode = 0;
    std::string Output;
};

// Starts `program` with no arguments in `workDir`, with standard input and error
// on the null device and standard output on a pipe, and waits for it (20 s at
// most: a program that hangs, or crashes into a waiting debugger, is killed and
// reported by an Exception).
TChildResult RunChild(const std::filesystem::path& program, const std::filesystem::path& workDir);

// A fresh, empty directory under the temporary directory, removed with all its
// files when the object goes.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Sets an environment variable of this process (and so of its children) for the
// lifetime of the object.
class TScopedEnv {
public:
    TScopedEnv(const wchar_t* name, const std::wstring& value);
    ~TScopedEnv();
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::wstring name_;
};
