#include "relay/UiThreadInvoker.h"

#include <QMetaObject>

namespace relvane {

UiThreadInvoker::UiThreadInvoker(QObject* parent) : QObject(parent), UiThreadId(std::this_thread::get_id()) {}

UiThreadInvoker::~UiThreadInvoker() { Close(); }

bool UiThreadInvoker::Run(std::function<void()> work) {
    if (OnUiThread()) {
        if (IsClosed()) return false;
        work();
        return true;
    }
    auto task = std::make_shared<UiTask>();
    task->Work = std::move(work);
    std::unique_lock lock(Lock);
    if (Closed) return false;
    Queue.push_back(task);
    // Posting an event is safe from any thread; the event loop of the UI
    // thread picks it up, nested loops of modal boxes included.
    QMetaObject::invokeMethod(this, &UiThreadInvoker::RunNextTask, Qt::QueuedConnection);
    TaskFinished.wait(lock, [&] { return task->Done || Closed; });
    return task->Done;
}

void UiThreadInvoker::RunNextTask() {
    std::shared_ptr<UiTask> task;
    {
        std::lock_guard lock(Lock);
        if (Closed || Queue.empty()) return;
        task = std::move(Queue.front());
        Queue.pop_front();
    }
    task->Work();
    std::lock_guard lock(Lock);
    task->Done = true;
    TaskFinished.notify_all();
}

void UiThreadInvoker::Close() {
    std::lock_guard lock(Lock);
    Closed = true;
    Queue.clear();
    TaskFinished.notify_all();
}

bool UiThreadInvoker::IsClosed() const {
    std::lock_guard lock(Lock);
    return Closed;
}

size_t UiThreadInvoker::PendingTasks() const {
    std::lock_guard lock(Lock);
    return Queue.size();
}

}  // namespace relvane
