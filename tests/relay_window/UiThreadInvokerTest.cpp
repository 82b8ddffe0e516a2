// The hand-over of work from endpoint threads to the UI thread: it runs on
// the UI thread while the caller waits, at once on the UI thread itself, goes
// on while a modal loop is open, and Close() frees every caller for good.

#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "relay/UiThreadInvoker.h"

using relvane::UiThreadInvoker;
using namespace std::chrono_literals;

namespace {

// Polls without running the event loop, so nothing queued gets carried out.
bool WaitWithoutEvents(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

}  // namespace

class UiThreadInvokerTest : public QObject {
    Q_OBJECT

private slots:
    void WorkFromAnotherThreadRunsOnTheUiThreadWhileTheCallerWaits();
    void WorkOnTheUiThreadRunsAtOnce();
    void OtherCallersAreServedWhileWorkRunsANestedLoop();
    void CloseReleasesABlockedCallerAndDropsItsWork();
    void WorkAfterCloseIsRefusedOnEveryThread();
};

void UiThreadInvokerTest::WorkFromAnotherThreadRunsOnTheUiThreadWhileTheCallerWaits() {
    UiThreadInvoker invoker;
    const std::thread::id uiThread = std::this_thread::get_id();
    std::atomic<bool> callerReturned{false};
    std::thread::id ranOn;
    bool callerWasWaiting = false;

    std::future<bool> outcome = std::async(std::launch::async, [&] {
        const bool ran = invoker.Run([&] {
            ranOn = std::this_thread::get_id();
            callerWasWaiting = !callerReturned.load();
        });
        callerReturned = true;
        return ran;
    });
    // The caller cannot get past Run() before the UI thread has served it.
    QVERIFY(WaitWithoutEvents([&] { return invoker.PendingTasks() == 1; }));
    QVERIFY(!callerReturned.load());

    QTRY_VERIFY_WITH_TIMEOUT(callerReturned.load(), 10000);
    QVERIFY(outcome.get());
    QVERIFY(ranOn == uiThread);
    QVERIFY(callerWasWaiting);
}

void UiThreadInvokerTest::WorkOnTheUiThreadRunsAtOnce() {
    UiThreadInvoker invoker;
    bool ran = false;
    // No event loop runs here: a queued hand-over would never be served.
    QVERIFY(invoker.Run([&] { ran = true; }));
    QVERIFY(ran);
    QCOMPARE(invoker.PendingTasks(), size_t{0});
}

void UiThreadInvokerTest::OtherCallersAreServedWhileWorkRunsANestedLoop() {
    UiThreadInvoker invoker;
    QEventLoop modalLoop;
    std::atomic<bool> loopEntered{false};
    std::atomic<bool> firstDone{false};
    std::atomic<bool> secondDone{false};
    bool servedInsideLoop = false;

    // The first caller's work stands for a modal box: a loop that runs until
    // the second caller's work, handed over meanwhile, ends it.
    std::thread first([&] {
        invoker.Run([&] {
            loopEntered = true;
            QTimer::singleShot(10000, &modalLoop, &QEventLoop::quit);  // a failing test ends
            modalLoop.exec();
        });
        firstDone = true;
    });
    std::thread second([&] {
        WaitWithoutEvents([&] { return loopEntered.load(); });
        invoker.Run([&] {
            servedInsideLoop = modalLoop.isRunning();
            modalLoop.quit();
        });
        secondDone = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(firstDone.load() && secondDone.load(), 10000);
    first.join();
    second.join();
    QVERIFY(servedInsideLoop);
}

void UiThreadInvokerTest::CloseReleasesABlockedCallerAndDropsItsWork() {
    UiThreadInvoker invoker;
    std::atomic<bool> ran{false};
    std::future<bool> outcome = std::async(std::launch::async, [&] { return invoker.Run([&] { ran = true; }); });
    QVERIFY(WaitWithoutEvents([&] { return invoker.PendingTasks() == 1; }));

    invoker.Close();  // while the UI thread serves nothing
    QCOMPARE(outcome.wait_for(10s), std::future_status::ready);
    QVERIFY(!outcome.get());
    QCOMPARE(invoker.PendingTasks(), size_t{0});

    // The invocation posted for the dropped work finds nothing to run.
    QCoreApplication::processEvents();
    QVERIFY(!ran.load());
}

void UiThreadInvokerTest::WorkAfterCloseIsRefusedOnEveryThread() {
    UiThreadInvoker invoker;
    invoker.Close();
    std::atomic<int> runs{0};
    QVERIFY(!invoker.Run([&] { ++runs; }));
    std::future<bool> outcome = std::async(std::launch::async, [&] { return invoker.Run([&] { ++runs; }); });
    QCOMPARE(outcome.wait_for(10s), std::future_status::ready);
    QVERIFY(!outcome.get());
    QCOMPARE(runs.load(), 0);
}

QTEST_MAIN(UiThreadInvokerTest)
#include "UiThreadInvokerTest.moc"
