#include "relay/RelayEngine.h"

#include "relay/UdpThread.h"

namespace relvane {
namespace {

// Sanitizers need far more stack than the relay itself does.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t StackScale = 16;
#else
constexpr size_t StackScale = 1;
#endif
// A connection endpoint only receives and sends; a listener also looks up
// host names and builds log lines, and the name lookup wants more.
constexpr size_t ConnectionStackBytes = 128 * 1024 * StackScale;
constexpr size_t ListenerStackBytes = 1024 * 1024 * StackScale;

}  // namespace

RelayEngine::RelayEngine(WindowOperations& window, EngineSettings settings)
    : WindowOps(window), Config(settings) {}

RelayEngine::~RelayEngine() { Shutdown(); }

uint16_t RelayEngine::StartListener(uint16_t family, uint16_t localPort) {
    const std::shared_ptr<UdpThread> listener =
        UdpThread::Create(*this, SocketAddress(), localPort, SocketAddress(), 0, family, true);
    const std::optional<SocketAddress> local = listener->CanServe() ? listener->ClientLocalAddress() : std::nullopt;
    listener->Start();
    if (!local) return 0;
    return family == FamilyIpx ? local->IpxSocketNumber() : local->Port();
}

void RelayEngine::StartThread(std::shared_ptr<UdpThread> endpoint) {
    const size_t stackBytes = endpoint->IsListenerEndpoint() ? ListenerStackBytes : ConnectionStackBytes;
    std::lock_guard lock(ThreadsLock);
    const uint64_t key = NextKey++;
    auto body = [this, key, endpoint = std::move(endpoint)]() mutable {
        endpoint->Execute();
        endpoint.reset();  // the object goes now unless a listener still holds it
        ThreadEnded(key);
    };
    // The new thread's ThreadEnded waits for ThreadsLock, so it cannot look
    // for its entry before the entry exists.
    PlatformThread thread = PlatformThread::Start(std::move(body), stackBytes);
    if (thread.Joinable()) Threads.emplace(key, std::move(thread));
}

void RelayEngine::ThreadEnded(uint64_t key) {
    std::lock_guard lock(ThreadsLock);
    // Threads that ended before this one have returned or are about to:
    // joining them here keeps at most one ended thread unjoined.
    for (PlatformThread& finished : Finished) finished.Join();
    Finished.clear();
    const auto entry = Threads.find(key);
    if (entry != Threads.end()) {
        Finished.push_back(std::move(entry->second));
        Threads.erase(entry);
    }
    if (Threads.empty()) AllEnded.notify_all();
}

void RelayEngine::Shutdown() {
    Stopping.store(true);
    Stop.Signal();
    std::vector<PlatformThread> toJoin;
    {
        std::unique_lock lock(ThreadsLock);
        AllEnded.wait(lock, [this] { return Threads.empty(); });
        toJoin.swap(Finished);
    }
    for (PlatformThread& thread : toJoin) thread.Join();
}

int RelayEngine::RunningEndpoints() const {
    std::lock_guard lock(ThreadsLock);
    return static_cast<int>(Threads.size());
}

}  // namespace relvane
