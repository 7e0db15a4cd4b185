#include "ChildProcess.h"

#include "Exception.h"
#include "WinHandle.h"

#include <atomic>

namespace {

TOwnedHandle OpenNullDevice()
{
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    return TOwnedHandle(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                    OPEN_EXISTING, 0, nullptr));
}

} // namespace

TChildResult RunChild(const std::filesystem::path& program, const std::filesystem::path& workDir)
{
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0))
        throw Exception("CreatePipe failed");
    TOwnedHandle reader(readEnd);
    TOwnedHandle writer(writeEnd);
    SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);
    TOwnedHandle null = OpenNullDevice();
    if (!null)
        throw Exception("cannot open the null device");

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = null.Get();
    si.hStdOutput = writer.Get();
    si.hStdError = null.Get();
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    PROCESS_INFORMATION pi{};
    // The child inherits this error mode: no dialog waits for a user when it
    // crashes (Wine may still start its debugger; the deadline below covers that).
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        workDir.c_str(), &si, &pi);
    SetErrorMode(oldMode);
    if (!started)
        throw Exception("cannot start " + program.string());
    TOwnedHandle process(pi.hProcess);
    TOwnedHandle thread(pi.hThread);
    writer.Reset(); // only the child holds the write end now: EOF when it ends

    // Polls the pipe instead of reading until its end: a crashed program's
    // debugger may inherit the write end and keep it open.
    TChildResult result;
    const ULONGLONG deadline = GetTickCount64() + 20000;
    bool ended = false;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(reader.Get(), nullptr, 0, nullptr, &available, nullptr))
            break; // every writer is gone and everything was read
        if (available > 0) {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(reader.Get(), buffer, available < sizeof(buffer) ? available : sizeof(buffer), &got, nullptr))
                break;
            result.Output.append(buffer, got);
            continue;
        }
        if (ended)
            break; // the program has ended and its output is drained
        ended = WaitForSingleObject(process.Get(), 10) == WAIT_OBJECT_0;
        if (!ended && GetTickCount64() > deadline) {
            TerminateProcess(process.Get(), 255);
            throw Exception(program.string() + " did not end within 20 seconds");
        }
    }
    WaitForSingleObject(process.Get(), 60000);
    GetExitCodeProcess(process.Get(), &result.ExitCode);
    return result;
}

TTempDir::TTempDir()
{
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate =
            base / ("pelorin-acm-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw Exception("cannot create a temporary directory");
}

TTempDir::~TTempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

TScopedEnv::TScopedEnv(const wchar_t* name, const std::wstring& value) : name_(name)
{
    SetEnvironmentVariableW(name, value.c_str());
}

TScopedEnv::~TScopedEnv()
{
    SetEnvironmentVariableW(name_.c_str(), nullptr);
}
