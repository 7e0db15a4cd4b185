#include "MessageThread.h"

#include "Exception.h"
#include "WinHandle.h"

#include <exception>

namespace {

const UINT kInvokeMessage = WM_APP + 0x3A1;

struct TInvokeJob {
    const std::function<void()>* Fn;
    std::exception_ptr Error;
    HANDLE Done;
};

} // namespace

TMessageThread::TMessageThread()
{
    TOwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready)
        throw Exception("TMessageThread event error");
    HANDLE r = ready.Get();
    thread_ = std::thread([this, r] { Run(r); });
    WaitForSingleObject(r, INFINITE); // our own thread, ready within microseconds
}

TMessageThread::~TMessageThread()
{
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    if (thread_.joinable())
        thread_.join();
}

void TMessageThread::Run(HANDLE ready)
{
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // creates the queue
    threadId_ = GetCurrentThreadId();
    SetEvent(ready);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == nullptr && msg.message == kInvokeMessage) {
            auto* job = reinterpret_cast<TInvokeJob*>(msg.lParam);
            try {
                (*job->Fn)();
            } catch (...) {
                job->Error = std::current_exception();
            }
            SetEvent(job->Done);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void TMessageThread::Invoke(const std::function<void()>& fn)
{
    if (GetCurrentThreadId() == threadId_) {
        fn();
        return;
    }
    TOwnedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done)
        throw Exception("TMessageThread event error");
    TInvokeJob job{&fn, nullptr, done.Get()};
    if (!PostThreadMessageW(threadId_, kInvokeMessage, 0, reinterpret_cast<LPARAM>(&job)))
        throw Exception("TMessageThread post error");
    WaitForSingleObject(done.Get(), INFINITE);
    if (job.Error)
        std::rethrow_exception(job.Error);
}
