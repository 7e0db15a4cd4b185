#pragma once
// Helpers of the Windows tests of the import tools: running a tool with its
// output captured, temporary folders, whole-file reads and writes, and an
// independent view of a PE file through dbghelp (ImageNtHeader, ImageRvaToVa),
// so that the expectations do not come from the walks under test.

#include <windows.h>
#include <dbghelp.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "WinHandle.h"

#ifndef PELORIN_BUILD_DIR
#error "PELORIN_BUILD_DIR must name the build directory"
#endif

inline std::string FixturePath(const std::string& name) { return PELORIN_BUILD_DIR "/fixtures/" + name; }
inline std::string ProductPath(const std::string& name) { return PELORIN_BUILD_DIR "/dist/64bit/" + name; }

struct TToolRun {
    DWORD Status = 0xFFFFFFFF;
    std::string Out; // standard output, line breaks as "\n"
    std::string Err; // standard error
};

inline std::vector<std::uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A fresh folder under the temporary folder, removed with everything in it.
class TTempDir {
public:
    TTempDir()
    {
        static int counter = 0;
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        path_ = std::string(base) + "pelorin-pe-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter);
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TTempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Runs `exe` with `args` (each quoted) in `cwd` (or the test's folder), its
// standard output and error going to files, and waits for it to end.
inline TToolRun RunTool(const std::string& exe, const std::vector<std::string>& args, const std::string& cwd = "")
{
    TTempDir capture;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const std::string outPath = capture.File("stdout.txt"), errPath = capture.File("stderr.txt");
    TToolRun run;
    {
        TOwnedHandle out(CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
        TOwnedHandle err(CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
        TOwnedHandle in(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
        std::string command = "\"" + exe + "\"";
        for (const std::string& a : args)
            command += " \"" + a + "\"";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in.Get();
        si.hStdOutput = out.Get();
        si.hStdError = err.Get();
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                            cwd.empty() ? nullptr : cwd.c_str(), &si, &pi))
            return run;
        TOwnedHandle process(pi.hProcess), thread(pi.hThread);
        if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
            TerminateProcess(process.Get(), 99);
            return run;
        }
        GetExitCodeProcess(process.Get(), &run.Status);
    }
    auto text = [](const std::vector<std::uint8_t>& bytes) {
        std::string s;
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
                s += static_cast<char>(bytes[i]);
        return s;
    };
    run.Out = text(ReadAll(outPath));
    run.Err = text(ReadAll(errPath));
    return run;
}

// A PE file read whole, seen through dbghelp.
class TPeFile {
public:
    explicit TPeFile(std::vector<std::uint8_t> bytes) : Bytes(std::move(bytes)) {}
    std::vector<std::uint8_t> Bytes;

    IMAGE_NT_HEADERS64* Nt64() { return reinterpret_cast<IMAGE_NT_HEADERS64*>(ImageNtHeader(Bytes.data())); }
    IMAGE_NT_HEADERS32* Nt32() { return reinterpret_cast<IMAGE_NT_HEADERS32*>(ImageNtHeader(Bytes.data())); }
    bool Is64() { return Nt32()->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC; }
    IMAGE_DATA_DIRECTORY& Directory(int index)
    {
        return Is64() ? Nt64()->OptionalHeader.DataDirectory[index] : Nt32()->OptionalHeader.DataDirectory[index];
    }
    std::uint8_t* At(DWORD rva)
    {
        return static_cast<std::uint8_t*>(
            ImageRvaToVa(reinterpret_cast<PIMAGE_NT_HEADERS>(ImageNtHeader(Bytes.data())), Bytes.data(), rva, nullptr));
    }
    std::size_t OffsetOf(const void* p) const { return static_cast<const std::uint8_t*>(p) - Bytes.data(); }
    // The import descriptors up to the terminating one.
    std::vector<IMAGE_IMPORT_DESCRIPTOR*> Imports()
    {
        std::vector<IMAGE_IMPORT_DESCRIPTOR*> list;
        auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(At(Directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress));
        for (; d && d->Name != 0; ++d)
            list.push_back(d);
        return list;
    }
    const char* DllName(IMAGE_IMPORT_DESCRIPTOR* d) { return reinterpret_cast<const char*>(At(d->Name)); }
    // Functions imported by name, over all descriptors.
    int NamedImports()
    {
        int count = 0;
        for (IMAGE_IMPORT_DESCRIPTOR* d : Imports()) {
            const DWORD list = d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk;
            std::uint8_t* p = At(list);
            for (; p; p += Is64() ? 8 : 4) {
                std::uint64_t entry = 0;
                std::memcpy(&entry, p, Is64() ? 8 : 4);
                if (entry == 0)
                    break;
                if (!(entry & (Is64() ? IMAGE_ORDINAL_FLAG64 : IMAGE_ORDINAL_FLAG32)))
                    ++count;
            }
        }
        return count;
    }
};
