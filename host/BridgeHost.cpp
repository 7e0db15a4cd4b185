#include "BridgeHost.h"

#include <algorithm>

#include "Exception.h"

#include <atomic>
#include <chrono>

const std::vector<std::uint32_t> TBridgeHost::kDirectHostCodes = {0x03000002, 0x03000003, 0x03000005, 0x03000006};

namespace {

bool NamedObjectExists(const std::wstring& base)
{
    for (const std::wstring& name : {HostLivenessName(base), BridgeLivenessName(base)}) {
        HANDLE h = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
        if (h != nullptr) {
            CloseHandle(h);
            return true;
        }
    }
    for (int i = 0; i < kChannelCount; ++i) {
        HANDLE h = OpenFileMappingW(FILE_MAP_READ, FALSE, ChannelBlockName(base, i).c_str());
        if (h != nullptr) {
            CloseHandle(h);
            return true;
        }
    }
    return false;
}

std::wstring Quoted(const std::wstring& s)
{
    if (!s.empty() && s.find_first_of(L" \t\"") == std::wstring::npos)
        return s;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : s) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            if (c == L'"')
                out.append(backslashes + 1, L'\\');
            backslashes = 0;
        }
        out.push_back(c);
    }
    out.append(backslashes, L'\\');
    out.push_back(L'"');
    return out;
}

} // namespace

std::wstring TBridgeHost::UnusedBaseName()
{
    static std::atomic<unsigned> counter{0};
    for (;;) {
        std::wstring name = L"PelorinBridge_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                            std::to_wstring(counter.fetch_add(1)) + L"_" + std::to_wstring(GetTickCount64() % 100000);
        if (!NamedObjectExists(name))
            return name;
    }
}

TBridgeHost::TBridgeHost(TOptions options)
    : options_(std::move(options)), baseName_(options_.BaseName.empty() ? UnusedBaseName() : options_.BaseName)
{
    thread_.Invoke([this] {
        TSharedMemoryIntf::TEvents events;
        events.OnCommand = [this](TSharedMemoryIntf&, std::uint32_t code, std::int32_t& index, std::int32_t& value,
                                  std::int64_t& p1, std::int64_t& p2, std::wstring& text, std::int64_t& dataSize,
                                  void* data) { return OnCommand(code, index, value, p1, p2, text, dataSize, data); };
        events.OnDisconnect = [this](TSharedMemoryIntf&, LPARAM value) { OnDisconnect(value); };
        events.OnLog = [this](TSharedMemoryIntf&, const std::string& line, bool) {
            std::lock_guard<std::mutex> lock(mutex_);
            log_.push_back(line);
        };
        TSharedMemoryIntf::TOptions channelOptions;
        channelOptions.ReplyTimeoutMs = options_.ReplyTimeoutMs;
        channelOptions.ExecutesDirectly = [](std::uint32_t code) {
            return std::find(kDirectHostCodes.begin(), kDirectHostCodes.end(), code) != kDirectHostCodes.end();
        };
        channel_ = std::make_unique<TSharedMemoryIntf>(baseName_, std::move(events), nullptr, channelOptions);
        window_ = channel_->Window();
    });
}

TBridgeHost::~TBridgeHost()
{
    if (process_) {
        DWORD code = 0;
        if (WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            Close();
            if (!WaitProcessExit(closeWaitMs, code))
                TerminateProcess(process_.Get(), 1);
            WaitForSingleObject(process_.Get(), closeWaitMs);
        }
    }
    try {
        thread_.Invoke([this] { channel_.reset(); });
    } catch (...) {
        // The channel's release cannot fail in a way the host could act on.
    }
}

void TBridgeHost::Launch(const std::wstring& executable, const std::vector<std::wstring>& extraArguments)
{
    std::wstring commandLine = Quoted(executable) + L" -name " + Quoted(baseName_) + L" -handle " +
                               std::to_wstring(static_cast<std::int32_t>(WindowValue(window_)));
    for (const auto& a : extraArguments)
        commandLine += L" " + Quoted(a);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    // No handle is inherited: the bridge must not keep this side's liveness event alive.
    if (!CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        throw Exception("the bridge could not be started (error " + std::to_string(GetLastError()) + ")");
    CloseHandle(pi.hThread);
    process_.Reset(pi.hProcess);
    processId_ = pi.dwProcessId;
}

void TBridgeHost::AdoptProcess(HANDLE process)
{
    process_.Reset(process);
    processId_ = GetProcessId(process);
}

HWND TBridgeHost::WaitConnected(DWORD timeoutMs)
{
    WaitForCode(kCodeBridgeReady, timeoutMs);
    return channel_->OtherWindow();
}

void TBridgeHost::PostCode(std::uint32_t code, std::int32_t value)
{
    channel_->SendPeer(code, value, true);
}

std::int32_t TBridgeHost::SendCode(std::uint32_t code, std::int32_t value)
{
    return channel_->SendPeer(code, value, false);
}

std::uint32_t TBridgeHost::WaitForCode(std::uint32_t code, DWORD timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        for (std::size_t i = 0; i < codes_.size(); ++i) {
            if (!consumed_[i] && codes_[i].first == code) {
                consumed_[i] = true;
                return codes_[i].second;
            }
        }
        if (reason_ != TCloseReason::None)
            throw Exception("the channel closed before the bridge sent the awaited code");
        if (process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0)
            throw Exception("the bridge ended before it sent the awaited code");
        if (std::chrono::steady_clock::now() >= deadline)
            throw Exception("the bridge did not send the awaited code in time");
        // Short slices, so that a bridge process that ends is noticed quickly.
        changed_.wait_for(lock, std::chrono::milliseconds(20));
    }
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> TBridgeHost::ReceivedCodes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return codes_;
}

void TBridgeHost::Close()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closedByHost_ = true;
    }
    PostCode(kCodeHostCloses, 0);
}

bool TBridgeHost::WaitClosed(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return reason_ != TCloseReason::None; });
}

TBridgeHost::TCloseReason TBridgeHost::CloseReason() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reason_;
}

bool TBridgeHost::WaitProcessExit(DWORD timeoutMs, DWORD& exitCode)
{
    if (!process_ || WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    exitCode = 0;
    GetExitCodeProcess(process_.Get(), &exitCode);
    return true;
}

std::vector<std::string> TBridgeHost::LogLines() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

std::int32_t TBridgeHost::OnCommand(std::uint32_t code, std::int32_t& index, std::int32_t& value,
                                    std::int64_t& param1, std::int64_t& param2, std::wstring& text,
                                    std::int64_t& dataSize, void* data)
{
    if (ChannelOfCode(code) == kHostChannel) {
        if (options_.OnHostCommand)
            return options_.OnHostCommand(code, index, value, param1, param2, text, dataSize, data);
        return 0;
    }
    if ((code >> 24) == 0xFF) { // a window code from the bridge [message thread]
        std::uint32_t v = static_cast<std::uint32_t>(index);
        if (code == kCodeBridgeReady)
            v = WindowValue(channel_ != nullptr ? channel_->OtherWindow() : nullptr);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            codes_.emplace_back(code, v);
            consumed_.push_back(false);
        }
        changed_.notify_all();
    }
    return 0;
}

void TBridgeHost::OnDisconnect(LPARAM value) // [message thread]
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (reason_ == TCloseReason::None)
            reason_ = value == 1 ? TCloseReason::BridgeVanished : TCloseReason::BridgeClosed;
    }
    changed_.notify_all();
}
