#pragma once
// Hands work from endpoint threads to the Qt UI thread and waits for it.
//
// Run() called on another thread queues the work, wakes the UI thread's event
// loop and blocks until the UI thread has carried it out. Called on the UI
// thread itself (as while a listener is set up during start-up) it runs the
// work at once: a blocking hand-over to one's own thread would deadlock.
//
// Close() ends all hand-overs for good: waiting callers return at once, work
// still queued is dropped and every later call returns without running. The
// window closes the invoker before it joins the endpoint threads, so no
// endpoint can stay blocked on a UI thread that is waiting for it.
//
// Work that opens a nested event loop (a modal box) may still be running when
// Close() releases its caller, so such work must not touch the caller's stack
// once the loop has returned.

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace relvane {

class UiThreadInvoker : public QObject {
    Q_OBJECT

public:
    // Create on the UI thread: the creating thread is taken as the UI thread.
    explicit UiThreadInvoker(QObject* parent = nullptr);
    ~UiThreadInvoker() override;  // Close()

    // Runs work on the UI thread and returns once it has run (true), or
    // without running it once the invoker is closed (false). Any thread.
    bool Run(std::function<void()> work);

    // Releases every waiting caller and refuses all later work. Any thread;
    // idempotent.
    void Close();

    bool IsClosed() const;
    // Work queued and not yet started. Any thread.
    size_t PendingTasks() const;

private:
    struct UiTask {
        std::function<void()> Work;
        bool Done = false;  // guarded by Lock
    };

    bool OnUiThread() const { return std::this_thread::get_id() == UiThreadId; }
    // Runs the oldest queued task; one queued invocation per task. UI thread.
    void RunNextTask();

    const std::thread::id UiThreadId;
    // Guards Queue, Closed and every UiTask::Done.
    mutable std::mutex Lock;
    std::condition_variable TaskFinished;
    std::deque<std::shared_ptr<UiTask>> Queue;
    bool Closed = false;
};

}  // namespace relvane
