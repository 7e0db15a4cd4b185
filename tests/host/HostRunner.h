#pragma once
// Runs the command-line host as a program and collects what it prints.

#include <windows.h>

#include <string>

struct THostRun {
    DWORD ExitCode = 0xFFFFFFFF;
    std::string Out; // standard output and error together
};

inline THostRun RunCommandLineHost(const std::string& build, const std::string& arguments, DWORD timeoutMs = 60000)
{
    THostRun r;
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0))
        return r;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string cmd = "\"" + build + "/dist/64bit/pelorin-host.exe\" " + arguments;
    const BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return r;
    }
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buf, sizeof(buf), &n, nullptr) && n > 0)
        r.Out.append(buf, n);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 99); // a hung host is not left behind
    GetExitCodeProcess(pi.hProcess, &r.ExitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(readEnd);
    return r;
}
