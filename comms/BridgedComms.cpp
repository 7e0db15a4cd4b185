#include "BridgedComms.h"

#include "Exception.h"
#include "FPUState.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

std::atomic<std::uint32_t> LastCommand{0};

namespace {

const wchar_t kChannelWindowClass[] = L"PelorinChannelWindow";

// The multimedia class scheduler, looked up by name once per process; every
// entry stays empty when avrt.dll is missing.
struct TAvrt {
    using TSetCharacteristics = HANDLE(WINAPI*)(LPCWSTR task, LPDWORD taskIndex);
    using TSetPriority = BOOL(WINAPI*)(HANDLE avrt, int priority);
    using TRevert = BOOL(WINAPI*)(HANDLE avrt);

    static constexpr int kPriorityHigh = 1;

    TAvrt()
    {
        module = LoadLibraryW(L"avrt.dll");
        if (module == nullptr)
            return;
        setCharacteristics = reinterpret_cast<TSetCharacteristics>(
            reinterpret_cast<void*>(GetProcAddress(module, "AvSetMmThreadCharacteristicsW")));
        setPriority =
            reinterpret_cast<TSetPriority>(reinterpret_cast<void*>(GetProcAddress(module, "AvSetMmThreadPriority")));
        revert = reinterpret_cast<TRevert>(
            reinterpret_cast<void*>(GetProcAddress(module, "AvRevertMmThreadCharacteristics")));
    }

    HMODULE module = nullptr; // kept for the life of the process
    TSetCharacteristics setCharacteristics = nullptr;
    TSetPriority setPriority = nullptr;
    TRevert revert = nullptr;
};

const TAvrt& Avrt()
{
    static const TAvrt avrt;
    return avrt;
}

// An auto-reset event, initially not signalled, with an inheritable handle.
HANDLE CreateChannelEvent(const std::wstring& name)
{
    SECURITY_ATTRIBUTES sa = {};
    sa.nLength = sizeof(sa);
    sa.bInheritHandle = TRUE;
    return CreateEventW(&sa, FALSE, FALSE, name.c_str());
}

std::int64_t AddressableBytes(const void* view)
{
    if (view == nullptr)
        return 0;
    MEMORY_BASIC_INFORMATION mbi = {};
    if (VirtualQuery(view, &mbi, sizeof(mbi)) == 0)
        return 0;
    return static_cast<std::int64_t>(mbi.RegionSize);
}

bool IsConnectionCode(std::uint32_t code)
{
    return code == kCodeHostCloses || code == kCodeBridgeReady || code == kCodeBridgeCloses;
}

std::string FormatLine(const char* format, const char* text, unsigned code)
{
    char buf[512];
    if (text != nullptr)
        std::snprintf(buf, sizeof(buf), format, text, code);
    else
        std::snprintf(buf, sizeof(buf), format, code);
    return buf;
}

} // namespace

UINT BridgedPlugCommandMessage()
{
    static const UINT message = RegisterWindowMessageW(L"BridgedPlugCommandMessage");
    return message;
}

std::wstring ChannelBlockName(const std::wstring& baseName, int index)
{
    return baseName + std::to_wstring(index);
}

std::wstring ChannelEventName(const std::wstring& baseName, int index, int replyBit)
{
    return baseName + L"_" + std::to_wstring(index) + L"_" + std::to_wstring(replyBit);
}

// ---------------------------------------------------------------------------
// TShare

TShare::TShare(TSharedMemoryIntf* owner, bool bridgeMode, int index, const std::wstring& baseName)
    : owner_(owner),
      index_(index),
      bridgeMode_(bridgeMode),
      role_(ShareRoleOf(index, bridgeMode)),
      mappingName_(ChannelBlockName(baseName, index))
{
    // The wait event is the one this side waits on, the signal event the one it sets.
    int waitBit = 0;
    switch (role_) {
    case TShareRole::Sender:
        waitBit = 1;
        break;
    case TShareRole::Server:
        waitBit = 0;
        break;
    case TShareRole::Passive:
        waitBit = bridgeMode ? 0 : 1;
        break;
    }
    waitEvent_.Reset(CreateChannelEvent(ChannelEventName(baseName, index, waitBit)));
    signalEvent_.Reset(CreateChannelEvent(ChannelEventName(baseName, index, 1 - waitBit)));
    completionEvent_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!waitEvent_ || !signalEvent_ || !completionEvent_)
        throw Exception("TShare event error");
    requestText_.reserve(kRequestTextFieldUnits + 1);
    ansiText_.resize(4 * kRecordTextBytes);
}

TShare::~TShare()
{
    StopAndWait();
    block_.reset();
}

void TShare::Start()
{
    if (!thread_.joinable())
        thread_ = std::thread([this] { Execute(); });
}

void TShare::SetSize(std::int64_t size)
{
    if (size < 0)
        return;
    std::lock_guard<std::shared_mutex> view(viewLock_);
    if (size == 0) {
        block_.reset();
        viewBytes_ = 0;
        return;
    }
    if (!block_) {
        block_ = std::make_unique<TSharedMemory>();
        block_->SetName(mappingName_);
    }
    viewBytes_ = 0;
    block_->SetSize(size);
    viewBytes_ = std::min<std::int64_t>(size, AddressableBytes(block_->Memory()));
}

bool TShare::EnsureSize(std::int64_t needed)
{
    needed = std::max<std::int64_t>(needed, kRecordSize + 1);
    if (block_ && block_->Size() >= needed && viewBytes_ >= needed)
        return true;
    const std::int64_t newSize = needed + 256;
    if (block_ && owner_ != nullptr)
        owner_->SendPeer(kCodeDropBlock, index_, false); // the other side has closed its handle on return
    SetSize(newSize);
    if (owner_ != nullptr && owner_->Header() != nullptr)
        owner_->Header()->ChannelSize[index_] = newSize;
    return viewBytes_ >= needed;
}

bool TShare::SendAndWait(DWORD timeoutMs)
{
    if (role_ != TShareRole::Sender)
        return false;
    ResetEvent(waitEvent_.Get());
    // A Stop between the caller's checks and the reset set the wake that the
    // reset just took away: look again, or wait for ever.
    if (Terminated())
        return false;
    SetEvent(signalEvent_.Get());
    const DWORD r = WaitForSingleObject(waitEvent_.Get(), timeoutMs);
    if (r == WAIT_OBJECT_0)
        return true;
    if (r == WAIT_TIMEOUT)
        MarkBroken();
    if (owner_ != nullptr) {
        char line[128];
        std::snprintf(line, sizeof(line), "Timed out waiting for event - index=%d cmd=%.8X", index_,
                      static_cast<unsigned>(LastCommand.load(std::memory_order_relaxed)));
        owner_->Log(line, false);
    }
    return false;
}

void TShare::HandleRequest()
{
    TCommandRecord* rec = Record();
    if (rec == nullptr || owner_ == nullptr)
        return;
    std::int64_t dataSize = rec->DataSize;
    // A request that claims more data than the view holds is not executed.
    if (dataSize > viewBytes_ - kRecordSize) {
        owner_->Log(FormatLine("  Request data beyond the block (command=%.8X)", nullptr, rec->Command), true);
        return;
    }
    void* data = dataSize > 0 ? RecordData(rec) : nullptr;
    ReadRequestText(*rec, requestText_);

    if (QueueRequests && !owner_->ExecutesDirectly(rec->Command)) {
        owner_->Queue().Put(rec->Command, rec->Index, rec->Value, rec->Param1, rec->Param2, requestText_,
                            dataSize, data);
        return;
    }

    std::int32_t index = rec->Index;
    std::int32_t value = rec->Value;
    std::int64_t param1 = rec->Param1;
    std::int64_t param2 = rec->Param2;
    const std::int32_t result =
        owner_->DoCommand(rec->Command, index, value, param1, param2, requestText_, dataSize, data);
    rec->Index = index;
    rec->Value = value;
    rec->Param1 = param1;
    rec->Param2 = param2;
    rec->DataSize = dataSize;
    rec->Result = static_cast<std::uint32_t>(result); // high half 0, also for a negative result

    int bytes = 0;
    if (!requestText_.empty()) {
        const int units = static_cast<int>(requestText_.size());
        bytes = WideCharToMultiByte(CP_ACP, 0, requestText_.data(), units, nullptr, 0, nullptr, nullptr);
        if (bytes > static_cast<int>(ansiText_.size()))
            ansiText_.resize(static_cast<std::size_t>(bytes));
        bytes = WideCharToMultiByte(CP_ACP, 0, requestText_.data(), units, ansiText_.data(),
                                    static_cast<int>(ansiText_.size()), nullptr, nullptr);
    }
    WriteResultText(*rec, ansiText_.data(), static_cast<std::size_t>(std::max(bytes, 0)));
}

void TShare::Stop()
{
    terminated_.store(true, std::memory_order_release);
    SetEvent(waitEvent_.Get());
    SetEvent(signalEvent_.Get());
    // A thread waiting for the window thread must not keep waiting for a
    // window thread that is now stopping the channel.
    SetEvent(completionEvent_.Get());
}

void TShare::StopAndWait()
{
    Stop();
    if (thread_.joinable())
        thread_.join();
}

void TShare::RunHandedOverRequest() // [window thread]
{
    if (!Terminated()) {
        try {
            HandleRequest();
        } catch (...) {
            // The request still counts as answered; the sender must not be left waiting.
        }
    }
    SetEvent(completionEvent_.Get());
}

void TShare::FollowChannelSize()
{
    if (owner_ == nullptr)
        return;
    const THeaderBlock* header = owner_->Header();
    if (header == nullptr)
        return;
    const std::int64_t size = header->ChannelSize[index_];
    if (size != Size()) {
        try {
            SetSize(size);
        } catch (const std::exception& e) { // a mapping or allocation failure leaves the channel without a block
            block_.reset();
            viewBytes_ = 0;
            owner_->Log(FormatLine("  Exception \"%s\" (TShare.SetSize - channel=%d)", e.what(),
                                   static_cast<unsigned>(index_)),
                        true);
        }
    }
}

void TShare::Execute()
{
    if (role_ == TShareRole::Sender)
        return;
    RestoreFPUState();

    HANDLE avrtHandle = nullptr;
    if (index_ == kAudioChannel && Avrt().setCharacteristics != nullptr) {
        DWORD taskIndex = 0;
        avrtHandle = Avrt().setCharacteristics(L"Pro Audio", &taskIndex);
        if (avrtHandle != nullptr && Avrt().setPriority != nullptr)
            Avrt().setPriority(avrtHandle, TAvrt::kPriorityHigh);
    }

    const DWORD waitTime = role_ == TShareRole::Server ? INFINITE : 1000;
    while (!Terminated()) {
        WaitForSingleObject(waitEvent_.Get(), waitTime);
        if (Terminated())
            break;
        bool answered = false;
        if (role_ == TShareRole::Server) {
            // A server follows a block that its sender has grown before it
            // executes the next request; the header is rewritten only by senders.
            FollowChannelSize();
            TCommandRecord* rec = Record();
            // A wake without a request (the other side stopping sets every
            // event) finds no command of this channel in the record.
            if (rec == nullptr || ChannelOfCode(rec->Command) == index_) {
                if (rec != nullptr) {
                    if (ExecuteOnMainThread && owner_ != nullptr) {
                        ResetEvent(completionEvent_.Get());
                        if (PostMessageW(owner_->Window(), kExecuteRequestMessage, static_cast<WPARAM>(index_), 0))
                            WaitForSingleObject(completionEvent_.Get(), INFINITE);
                    } else {
                        try {
                            HandleRequest();
                        } catch (...) {
                            // Answered all the same.
                        }
                    }
                    if (!Terminated() && Record() != nullptr)
                        Record()->Command = kCommandDone;
                }
                answered = true;
            }
        } else if (index_ == kHeaderChannel && owner_ != nullptr) {
            owner_->CheckPeer();
        }
        ResetEvent(waitEvent_.Get());
        if (answered)
            SetEvent(signalEvent_.Get());
    }

    if (avrtHandle != nullptr && Avrt().revert != nullptr)
        Avrt().revert(avrtHandle);
}

// ---------------------------------------------------------------------------
// TSharedMemoryQueue

TSharedMemoryQueue::TSharedMemoryQueue(TSharedMemoryIntf* owner)
    : owner_(owner), fifo_(LFFIFOItemClassOf<TSharedMemoryQueueItem>(), kInitialItems)
{
    wakeEvent_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!wakeEvent_)
        throw Exception("TSharedMemoryQueue event error");
    thread_ = std::thread([this] { Execute(); });
}

TSharedMemoryQueue::~TSharedMemoryQueue()
{
    terminated_.store(true, std::memory_order_release);
    SetEvent(wakeEvent_.Get());
    if (thread_.joinable())
        thread_.join();
}

void TSharedMemoryQueue::Put(std::uint32_t command, std::int32_t index, std::int32_t value, std::int64_t param1,
                             std::int64_t param2, const std::wstring& text, std::int64_t dataSize, const void* data)
{
    auto* item = static_cast<TSharedMemoryQueueItem*>(fifo_.Reserve());
    if (item == nullptr)
        return; // the FIFO cannot grow: dropped
    item->Command = command;
    item->Index = index;
    item->Value = value;
    item->Param1 = param1;
    item->Param2 = param2;
    item->Text = text;
    item->DataSize = dataSize;
    if (dataSize > 0 && data != nullptr) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        item->Data.assign(bytes, bytes + dataSize);
    } else {
        item->Data.clear();
    }
    fifo_.Publish();
    SetEvent(wakeEvent_.Get());
}

void TSharedMemoryQueue::Execute()
{
    ResetEvent(wakeEvent_.Get());
    std::wstring text;
    while (!terminated_.load(std::memory_order_acquire)) {
        WaitForSingleObject(wakeEvent_.Get(), INFINITE);
        if (terminated_.load(std::memory_order_acquire))
            break;
        ResetEvent(wakeEvent_.Get());
        while (auto* item = static_cast<TSharedMemoryQueueItem*>(fifo_.Take())) {
            if (terminated_.load(std::memory_order_acquire))
                break;
            text = item->Text;
            void* data = item->Data.empty() ? nullptr : item->Data.data();
            try {
                owner_->DoCommand(item->Command, item->Index, item->Value, item->Param1, item->Param2, text,
                                  item->DataSize, data);
            } catch (...) {
                // Nobody waits for a queued request's outcome.
            }
        }
    }
}

// ---------------------------------------------------------------------------
// TSharedMemoryIntf

TSharedMemoryIntf::TSharedMemoryIntf(const std::wstring& baseName, TEvents events, HWND otherWindow, TOptions options)
    : baseName_(baseName),
      events_(std::move(events)),
      options_(std::move(options)),
      bridgeMode_(otherWindow != nullptr),
      windowThreadId_(GetCurrentThreadId())
{
    BridgedPlugCommandMessage();
    Avrt(); // the optional scheduler interface is looked up once, at start-up

    // The channel window: a hidden utility window of this thread.
    HINSTANCE instance = GetModuleHandleW(nullptr);
    {
        // One process may open several channels from several threads at once
        // (a host running many bridges): the class is registered once.
        static std::mutex classLock;
        const std::lock_guard<std::mutex> hold(classLock);
        WNDCLASSW wc = {};
        if (!GetClassInfoW(instance, kChannelWindowClass, &wc)) {
            wc = WNDCLASSW{};
            wc.lpfnWndProc = &TSharedMemoryIntf::WindowProc;
            wc.hInstance = instance;
            wc.lpszClassName = kChannelWindowClass;
            RegisterClassW(&wc);
        }
    }
    window_.Reset(CreateWindowExW(WS_EX_TOOLWINDOW, kChannelWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr));
    if (!window_)
        throw Exception("TSharedMemoryIntf window error");
    SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    try {
        if (bridgeMode_)
            otherWindow_.store(otherWindow, std::memory_order_release);
        queue_ = std::make_unique<TSharedMemoryQueue>(this);
        CreateChannels(bridgeMode_);

        if (!bridgeMode_) {
            for (int i = 0; i < kChannelCount; ++i) {
                TShare& ch = *channels_[static_cast<std::size_t>(i)];
                if (ch.Memory() != nullptr)
                    std::memset(ch.Memory(), 0, static_cast<std::size_t>(ch.ViewBytes()));
            }
            for (int i = 0; i < kChannelCount; ++i)
                Header()->ChannelSize[i] = kDefaultChannelSize[i];
            Header()->HostWindow = WindowValue(window_.Get());
        }

        otherLivenessName_ = bridgeMode_ ? HostLivenessName(baseName_) : BridgeLivenessName(baseName_);
        // Manual-reset, never signalled, not inheritable: a child started by
        // this process must not keep this side alive.
        ownLiveness_.Reset(CreateEventW(nullptr, TRUE, FALSE,
                                        (bridgeMode_ ? BridgeLivenessName(baseName_) : HostLivenessName(baseName_))
                                            .c_str()));

        for (auto& ch : channels_)
            ch->Start();
    } catch (...) {
        channels_.clear();
        queue_.reset();
        SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
        throw;
    }

    if (bridgeMode_) {
        connected_.store(true, std::memory_order_release);
        Header()->BridgeWindow = WindowValue(window_.Get());
        PostMessageW(otherWindow, BridgedPlugCommandMessage(), kCodeBridgeReady,
                     static_cast<LPARAM>(WindowValue(window_.Get())));
    }
}

void TSharedMemoryIntf::CreateChannels(bool fromHeader)
{
    channels_.reserve(kChannelCount);
    for (int i = 0; i < kChannelCount; ++i) {
        channels_.push_back(std::make_unique<TShare>(this, bridgeMode_, i, baseName_));
        TShare& ch = *channels_.back();
        std::int64_t size = kDefaultChannelSize[i];
        if (fromHeader && i >= kDescriptionChannel && i <= kAudioChannel)
            size = Header()->ChannelSize[i];
        ch.SetSize(size);
        if (i == kHeaderChannel && ch.ViewBytes() < static_cast<std::int64_t>(sizeof(THeaderBlock)))
            throw Exception("TSharedMemoryIntf header block error");
    }
    channels_[kControlChannel]->ExecuteOnMainThread = true;
    channels_[kHostChannel]->QueueRequests = true;
}

void TSharedMemoryIntf::AnnounceClose()
{
    if (!Connected())
        return;
    HWND other = otherWindow_.exchange(nullptr);
    if (other != nullptr)
        PostMessageW(other, BridgedPlugCommandMessage(), bridgeMode_ ? kCodeBridgeCloses : kCodeHostCloses, 0);
    connected_.store(false, std::memory_order_release);
}

TSharedMemoryIntf::~TSharedMemoryIntf()
{
    AnnounceClose();
    StopThreads();
    for (auto& ch : channels_) {
        ch->StopAndWait();
        ch->DetachOwner();
    }
    channels_.clear();
    queue_.reset();
    ownLiveness_.Reset();
    SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, 0);
}

std::int32_t TSharedMemoryIntf::DoCommand(std::uint32_t code, std::int32_t& index, std::int32_t& value,
                                          std::int64_t& param1, std::int64_t& param2, std::wstring& text,
                                          std::int64_t& dataSize, void* data)
{
    if (events_.OnCommand)
        return events_.OnCommand(*this, code, index, value, param1, param2, text, dataSize, data);
    return 0;
}

void TSharedMemoryIntf::DoDisconnect(LPARAM value)
{
    connected_.store(false, std::memory_order_release);
    StopThreads();
    if (events_.OnDisconnect)
        events_.OnDisconnect(*this, value);
}

void TSharedMemoryIntf::StopThreads()
{
    for (auto& ch : channels_)
        ch->Stop();
}

bool TSharedMemoryIntf::ExecutesDirectly(std::uint32_t code) const
{
    return options_.ExecutesDirectly && options_.ExecutesDirectly(code);
}

bool TSharedMemoryIntf::Broken() const
{
    for (const auto& ch : channels_)
        if (ch->Broken())
            return true;
    return false;
}

void TSharedMemoryIntf::Log(const std::string& line, bool flag)
{
    if (events_.OnLog)
        events_.OnLog(*this, line, flag);
}

bool TSharedMemoryIntf::SendCommandFull(std::uint32_t code, std::int64_t& result, std::int32_t index,
                                        std::int32_t value, std::int64_t& param1, std::int64_t& param2,
                                        std::wstring& text, std::int64_t dataSize, std::int64_t capacity, void* data,
                                        bool copyBack)
{
    if (!Connected())
        return false;
    const int channel = ChannelOfCode(code);
    if (channel < 0)
        return false;
    TShare& ch = *channels_[static_cast<std::size_t>(channel)];
    if (ch.Role() != TShareRole::Sender || ch.Memory() == nullptr)
        return false;

    dataSize = std::max<std::int64_t>(dataSize, 0);
    capacity = std::max(capacity, dataSize);

    try {
        std::lock_guard<std::mutex> lock(ch.SendLock());
        if (ch.Broken()) {
            Log(FormatLine("  Refused on a broken channel (command=%.8X)", nullptr, code), true);
            return false;
        }
        if (!ch.EnsureSize(kRecordSize + capacity))
            return false;
        TCommandRecord* rec = ch.Record();
        rec->Command = code;
        rec->Reserved = 0;
        rec->Index = index;
        rec->Value = value;
        rec->Param1 = param1;
        rec->Param2 = param2;
        WriteRequestText(*rec, text.data(), text.size());
        rec->Result = 0;
        rec->DataSize = dataSize;
        if (dataSize > 0 && data != nullptr)
            std::memcpy(RecordData(rec), data, static_cast<std::size_t>(dataSize));
        LastCommand.store(code, std::memory_order_relaxed);

        // A wake that is not the server's answer (the other side stopping, or
        // this side's own Stop) leaves the record unexecuted.
        if (ch.SendAndWait(options_.ReplyTimeoutMs) && !ch.Terminated() && rec->Command == kCommandDone) {
            param1 = rec->Param1;
            param2 = rec->Param2;
            const std::size_t n = ResultTextLength(*rec);
            const int units = n > 0 ? MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(rec->Text),
                                                          static_cast<int>(n), nullptr, 0)
                                    : 0;
            text.resize(static_cast<std::size_t>(units));
            if (units > 0)
                MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(rec->Text), static_cast<int>(n),
                                    text.data(), units);
            result = static_cast<std::int64_t>(rec->Result);
            const std::int64_t returned = rec->DataSize;
            if (copyBack && data != nullptr && returned > 0) {
                const std::int64_t limit = std::min(capacity, ch.ViewBytes() - kRecordSize);
                std::memcpy(data, RecordData(rec), static_cast<std::size_t>(std::min(returned, limit)));
            }
            return true;
        }
        param1 = 0;
        param2 = 0;
        result = 0;
        text.clear();
        return false;
    } catch (const std::exception& e) {
        // Any failure of the exchange (a mapping error, a lock or allocation
        // failure) fails this command only.
        Log(FormatLine("  Exception \"%s\" (SendCommandFull - command=%.8X)", e.what(), code), true);
        return false;
    }
}

bool TSharedMemoryIntf::SendCommand(std::uint32_t code, std::int32_t index, std::int32_t value, std::int64_t param1,
                                    std::int64_t param2, const std::wstring& text)
{
    std::int64_t result = 0;
    return SendCommandResult(code, result, index, value, param1, param2, text);
}

bool TSharedMemoryIntf::SendCommandResult(std::uint32_t code, std::int64_t& result, std::int32_t index,
                                          std::int32_t value, std::int64_t param1, std::int64_t param2,
                                          const std::wstring& text)
{
    std::wstring t = text;
    return SendCommandFull(code, result, index, value, param1, param2, t, 0, 0, nullptr, false);
}

bool TSharedMemoryIntf::SendCommandText(std::uint32_t code, std::int64_t& result, std::int32_t index,
                                        std::int32_t value, std::wstring& text)
{
    std::int64_t p1 = 0, p2 = 0;
    return SendCommandFull(code, result, index, value, p1, p2, text, 0, 0, nullptr, false);
}

bool TSharedMemoryIntf::SendCommandData(std::uint32_t code, std::int64_t& result, std::int64_t dataSize,
                                        std::int64_t capacity, void* data, bool copyBack, std::int32_t index)
{
    std::int64_t p1 = 0, p2 = 0;
    std::wstring text;
    return SendCommandFull(code, result, index, 0, p1, p2, text, dataSize, capacity, data, copyBack);
}

std::int32_t TSharedMemoryIntf::SendPeer(std::uint32_t code, std::int32_t value, bool post)
{
    HWND other = OtherWindow();
    if (!Connected() || other == nullptr)
        return 0;
    const LPARAM lp = static_cast<LPARAM>(static_cast<std::uint32_t>(value));
    if (post || InSendMessage()) {
        PostMessageW(other, BridgedPlugCommandMessage(), code, lp);
        return 0;
    }
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(other, BridgedPlugCommandMessage(), code, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, 5000,
                            &answer) == 0)
        return 0;
    return static_cast<std::int32_t>(answer);
}

bool TSharedMemoryIntf::CheckPeer()
{
    if (!Connected())
        return true;
    HANDLE h = OpenEventW(SYNCHRONIZE, FALSE, otherLivenessName_.c_str());
    if (h != nullptr) {
        CloseHandle(h);
        return true;
    }
    const std::uint32_t closing = bridgeMode_ ? kCodeHostCloses : kCodeBridgeCloses;
    if (GetCurrentThreadId() == windowThreadId_)
        HandleWindowCode(closing, 1);
    else
        PostMessageW(window_.Get(), BridgedPlugCommandMessage(), closing, 1);
    return false;
}

LRESULT CALLBACK TSharedMemoryIntf::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<TSharedMemoryIntf*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(wnd, msg, wParam, lParam);
    return self->HandleMessage(msg, wParam, lParam);
}

LRESULT TSharedMemoryIntf::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) // [window thread]
{
    if (msg == BridgedPlugCommandMessage())
        return HandleWindowCode(static_cast<std::uint32_t>(wParam), lParam);
    if (msg == kExecuteRequestMessage) {
        if (wParam < channels_.size())
            channels_[wParam]->RunHandedOverRequest();
        return 0;
    }
    return DefWindowProcW(window_.Get(), msg, wParam, lParam);
}

LRESULT TSharedMemoryIntf::HandleWindowCode(std::uint32_t code, LPARAM value) // [window thread]
{
    std::int32_t index = static_cast<std::int32_t>(value);
    std::int32_t v = 0;
    std::int64_t p1 = 0, p2 = 0, dataSize = 0;
    std::wstring text;

    if (IsConnectionCode(code)) {
        const bool connecting = code == kCodeBridgeReady;
        if (connecting == Connected())
            return 0;
        if (connecting) {
            otherWindow_.store(WindowFromValue(static_cast<std::uint64_t>(value)), std::memory_order_release);
            connected_.store(true, std::memory_order_release);
            index = 0;
            return DoCommand(kCodeBridgeReady, index, v, p1, p2, text, dataSize, nullptr);
        }
        connected_.store(false, std::memory_order_release);
        DoDisconnect(value);
        return 0;
    }
    if (code == kCodeDropBlock) {
        // Only a channel this side serves can have been grown by the other side.
        if (value >= 0 && value < kChannelCount &&
            ShareRoleOf(static_cast<int>(value), bridgeMode_) == TShareRole::Server)
            channels_[static_cast<std::size_t>(value)]->SetSize(0);
        return 0;
    }
    DoCommand(code, index, v, p1, p2, text, dataSize, nullptr);
    return 0;
}
