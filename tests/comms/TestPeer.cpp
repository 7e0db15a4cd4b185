#include "TestPeer.h"

#include "Exception.h"
#include "FPUState.h"

#include <vector>

namespace testpeer {

TTestPeer::TTestPeer(const std::wstring& baseName, HWND hostWindow, bool quitOnDisconnect)
    : quitOnDisconnect_(quitOnDisconnect), windowThread_(GetCurrentThreadId())
{
    TSharedMemoryIntf::TEvents events;
    events.OnCommand = [this](TSharedMemoryIntf&, std::uint32_t code, std::int32_t& index, std::int32_t& value,
                              std::int64_t& p1, std::int64_t& p2, std::wstring& text, std::int64_t& dataSize,
                              void* data) { return Command(code, index, value, p1, p2, text, dataSize, data); };
    events.OnDisconnect = [this](TSharedMemoryIntf&, LPARAM) {
        disconnects_.fetch_add(1);
        if (quitOnDisconnect_)
            PostQuitMessage(0);
    };
    channel_ = std::make_unique<TSharedMemoryIntf>(baseName, std::move(events), hostWindow);
}

TTestPeer::~TTestPeer() = default;

std::int32_t TTestPeer::Command(std::uint32_t code, std::int32_t& index, std::int32_t& value, std::int64_t& param1,
                                std::int64_t& param2, std::wstring& text, std::int64_t& dataSize, void* data)
{
    const bool onWindowThread = GetCurrentThreadId() == windowThread_;
    auto* bytes = static_cast<std::uint8_t*>(data);
    switch (code) {
    case kWho1:
    case kWho2:
    case kWho4:
        param1 = GetCurrentThreadId();
        param2 += index;
        for (std::int64_t i = 0; bytes != nullptr && i < dataSize; ++i)
            ++bytes[i];
        return onWindowThread ? 1 : 0;
    case kDataProbe: {
        param1 = data != nullptr ? dataSize : -1;
        param2 = channel_->Channel(kDescriptionChannel).Size();
        std::int64_t sum = 0;
        for (std::int64_t i = 0; bytes != nullptr && i < dataSize; ++i)
            sum += bytes[i];
        return static_cast<std::int32_t>(sum & 0x7FFFFFFF);
    }
    case kFpu1:
    case kFpu4:
        param1 = CurrentX87ControlWord();
        return static_cast<std::int32_t>(CurrentMXCSR());
    case kMinusOne:
        return -1;
    case kText: {
        const auto incoming = static_cast<std::int32_t>(text.size());
        text.clear();
        for (std::int32_t i = 0; i < index; ++i)
            text.push_back(static_cast<wchar_t>(L'a' + i % 26));
        return incoming;
    }
    case kAskHost: {
        std::int64_t result = 0;
        param1 = channel_->SendCommandText(static_cast<std::uint32_t>(value), result, index,
                                           static_cast<std::int32_t>(param2), text)
                     ? 1
                     : 0;
        return static_cast<std::int32_t>(result);
    }
    case kBigToHost: {
        std::vector<std::uint8_t> block(static_cast<std::size_t>(index));
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<std::uint8_t>(i & 0xFF);
        std::int64_t result = 0;
        const bool ok = channel_->SendCommandData(0x03000001, result, index, index, block.data(), false, 0);
        param1 = channel_->Header()->ChannelSize[kHostChannel];
        return ok ? 1 : 0;
    }
    case kPostBack:
        channel_->SendPeer(static_cast<std::uint32_t>(value), index, true);
        return 0;
    case kQuit:
        PostQuitMessage(0);
        return 0;
    case kBlock4:
        for (int i = 0; i < 10000 && !channel_->Channel(kAudioChannel).Terminated(); ++i)
            Sleep(1);
        return 0;
    case kSlow4:
        Sleep(static_cast<DWORD>(index));
        return value;
    case kThrow1:
        throw Exception("test failure inside a command");
    case kLastCode:
        param2 = lastValue_.load();
        param1 = lastOnWindowThread_.load() ? 1 : 0;
        return static_cast<std::int32_t>(lastCode_.load());
    case kQueueBurst:
        for (std::int32_t i = 0; i < index; ++i)
            channel_->SendCommand(0x03000004, 0, i, 0, 0, L"");
        return 0;
    case kSendOnServer: {
        std::int64_t result = 0;
        return channel_->SendCommandResult(0x01000000, result, 0, 0, 0, 0, L"") ? 1 : 0;
    }
    default:
        if ((code >> 24) == 0xFF) {
            lastValue_.store(index);
            lastOnWindowThread_.store(onWindowThread);
            lastCode_.store(code);
        }
        return 0;
    }
}

} // namespace testpeer
