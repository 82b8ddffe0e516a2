#pragma once
// Runs work on the UI thread on behalf of request threads, while they wait.
//
// Run() called on the UI thread runs the work at once: a blocking hand-over
// to one's own thread would deadlock. Called from another thread, it queues
// the work to the UI thread and waits until it has run. After Close(), every
// waiting caller returns at once and later calls return without running, so
// the UI thread can join request threads without one of them waiting on it.

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace relvane::remote {

class UiThreadCall : public QObject {
    Q_OBJECT

public:
    explicit UiThreadCall(QObject* parent = nullptr) : QObject(parent) {}

    // Safe to call from any thread. Returns once work has run, or at once if closed.
    void Run(std::function<void()> work);

    // UI thread only.
    void Close();

private:
    struct Pending {
        std::function<void()> Work;
        bool Done = false;
    };

    void RunPending();  // UI thread only

    // Guards Queue, Closed and every Pending::Done.
    std::mutex Lock;
    std::condition_variable WorkDone;
    std::deque<std::shared_ptr<Pending>> Queue;
    bool Closed = false;
};

}  // namespace relvane::remote
