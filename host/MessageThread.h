#pragma once
// A thread with its own message loop that never waits for the bridge: the
// home of a host-side channel window (window codes and connection changes are
// handled there), so that the host's senders may block while the bridge sends
// window messages to the host. [Windows builds only]

#include <windows.h>

#include <functional>
#include <thread>

class TMessageThread {
public:
    TMessageThread();  // starts the thread; returns once its message queue exists
    ~TMessageThread(); // ends the message loop and waits for the thread
    TMessageThread(const TMessageThread&) = delete;
    TMessageThread& operator=(const TMessageThread&) = delete;

    // Runs fn on the thread and waits for it; an exception that fn raises is
    // raised again in the caller. Must not be called from the thread itself
    // with a function that waits for the caller.
    void Invoke(const std::function<void()>& fn);
    DWORD ThreadId() const { return threadId_; }

private:
    void Run(HANDLE ready);

    std::thread thread_;
    DWORD threadId_ = 0;
};
