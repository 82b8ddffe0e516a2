#include "remote/UiThreadCall.h"

#include <QMetaObject>
#include <QThread>

namespace relvane::remote {

void UiThreadCall::Run(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        {
            const std::lock_guard guard(Lock);
            if (Closed) return;
        }
        work();
        return;
    }
    auto pending = std::make_shared<Pending>();
    pending->Work = std::move(work);
    {
        const std::lock_guard guard(Lock);
        if (Closed) return;
        Queue.push_back(pending);
    }
    // Crosses to the UI thread; RunPending takes the work from the queue there.
    QMetaObject::invokeMethod(this, &UiThreadCall::RunPending, Qt::QueuedConnection);
    std::unique_lock guard(Lock);
    WorkDone.wait(guard, [&] { return pending->Done || Closed; });
}

void UiThreadCall::Close() {
    {
        const std::lock_guard guard(Lock);
        Closed = true;
        Queue.clear();
    }
    WorkDone.notify_all();
}

// One piece of work at a time, the lock released while it runs: the work may
// open a modal box, whose event loop may run RunPending again for the next.
void UiThreadCall::RunPending() {
    for (;;) {
        std::shared_ptr<Pending> next;
        {
            const std::lock_guard guard(Lock);
            if (Closed || Queue.empty()) return;
            next = Queue.front();
            Queue.pop_front();
        }
        next->Work();
        {
            const std::lock_guard guard(Lock);
            next->Done = true;
        }
        WorkDone.notify_all();
    }
}

}  // namespace relvane::remote
