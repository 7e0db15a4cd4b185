#pragma once
// The bridge client: the one object of the bridge process that owns the
// channel to the host and the loaded plugin. The process creates it, calls
// Tick every 50 ms and frees it when OnClosed or OnException is raised.

#include "Exception.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TBridgeClient {
public:
    // Raised when the plugin's time in this process is over (the host closed
    // the channel or stopped answering); LostContact is always true here.
    using TClosedEvent = std::function<void(TBridgeClient& sender, bool lostContact)>;
    // Raised when an exception escaped a host command.
    using TExceptionEvent = std::function<void(TBridgeClient& sender, const Exception& e)>;

    // Opens the host's channel in bridge mode and announces the bridge to the
    // host; throws when the channel cannot be created. [main thread]
    TBridgeClient(const std::wstring& name, std::int32_t hostWindow);
    // Stops the channel's threads, frees the plugin and the channel; tells a
    // connected host that the bridge closes. [main thread]
    ~TBridgeClient();
    TBridgeClient(const TBridgeClient&) = delete;
    TBridgeClient& operator=(const TBridgeClient&) = delete;

    // The plugin's idle time and, at most once a second, the liveness check. [main thread]
    void Tick();
    // Accepts a diagnostic line and discards it.
    void Log(const std::string& text, bool flag = false, int level = 0);

    // Both may be raised on the main thread or on a channel thread.
    TClosedEvent OnClosed;
    TExceptionEvent OnException;

    struct TImpl;
    // The insides (BridgeClientImpl.h), for the client's own units and its tests.
    TImpl& Impl() { return *impl_; }

private:
    std::unique_ptr<TImpl> impl_;
};
