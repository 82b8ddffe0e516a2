#pragma once
// The relay engine: owns the shared counters and the threads of all relay
// endpoints, so that the program (or a test) can end every endpoint cleanly.
// The front end starts listeners through it and keeps no reference to them.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "relay/RelayCounters.h"
#include "relay/RemoteAllowList.h"
#include "relay/WindowOperations.h"
#include "shared/PlatformSockets.h"
#include "shared/PlatformThread.h"
#include "shared/SocketAddress.h"

namespace relvane {

class UdpThread;

struct EngineSettings {
    int32_t BufferSize = 8192;
    // How long a connection endpoint may stay silent; 30 s in the program,
    // tests choose a shorter one.
    std::chrono::microseconds IdleTimeout = std::chrono::seconds(30);
    // Server-side port of a listener's QuakeWorld child; 27001 in the program,
    // tests choose a free one so that parallel tests never collide.
    uint16_t QwChildPort = 27001;
    // Sources that may use remote control; none set: anyone may.
    std::optional<RemoteAllowList> RemoteAllow;
};

// Failures that tests inject where the system would hardly ever fail.
struct FaultInjection {
    // The next N fresh server-side sockets of listeners fail to be created.
    std::atomic<int> FailFreshServerSockets{0};

    // The next N connection endpoints fail their set-up.
    std::atomic<int> FailConnectionSetUps{0};

    // True (and one fewer to come) when the next such step is to fail.
    static bool Take(std::atomic<int>& counter) {
        int remaining = counter.load();
        while (remaining > 0 && !counter.compare_exchange_weak(remaining, remaining - 1)) {
        }
        return remaining > 0;
    }
};

class RelayEngine {
public:
    explicit RelayEngine(WindowOperations& window, EngineSettings settings = {});
    ~RelayEngine();  // Shutdown()
    RelayEngine(const RelayEngine&) = delete;
    RelayEngine& operator=(const RelayEngine&) = delete;

    // Creates a listener for family (FamilyIpv4 or FamilyIpx) on localPort
    // (0: the system chooses), runs its set-up on the calling thread and
    // starts it. Returns the port its client side got, or 0 when its set-up
    // failed. UI thread (or a test's thread).
    uint16_t StartListener(uint16_t family, uint16_t localPort);

    // Wakes every endpoint and joins its thread. The window must make its
    // operations return at once before it calls this, or an endpoint blocked
    // in one would never wake. Idempotent.
    void Shutdown();

    RelayCounters& Counters() { return SharedCounters; }
    FaultInjection& Faults() { return InjectedFaults; }
    const EngineSettings& Settings() const { return Config; }
    WindowOperations& Window() { return WindowOps; }
    const WakeSignal& StopSignal() const { return Stop; }
    bool StopRequested() const { return Stopping.load(); }

    // Number of endpoint threads started and not yet ended.
    int RunningEndpoints() const;

    // Runs the endpoint's serving loop on a thread of its own. The thread
    // holds the endpoint until it ends. Any thread.
    void StartThread(std::shared_ptr<UdpThread> endpoint);

private:
    void ThreadEnded(uint64_t key);

    WindowOperations& WindowOps;
    const EngineSettings Config;
    RelayCounters SharedCounters;
    FaultInjection InjectedFaults;
    WakeSignal Stop;
    std::atomic<bool> Stopping{false};

    // Guards Threads, Finished, NextKey; AllEnded is signalled under it.
    mutable std::mutex ThreadsLock;
    std::condition_variable AllEnded;
    std::unordered_map<uint64_t, PlatformThread> Threads;  // started, not yet ended
    std::vector<PlatformThread> Finished;  // ended, joined by the next ending thread or Shutdown
    uint64_t NextKey = 0;
};

}  // namespace relvane
