#pragma once
// Waits on many sockets at once (epoll), each registered with a key that the
// caller chooses. A wake descriptor, once signalled, ends every later wait at
// once, so a serving thread can be stopped from another thread.

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace relvane::bench {

class SocketPoller {
public:
    static std::optional<SocketPoller> Create();

    SocketPoller(SocketPoller&& other) noexcept;
    SocketPoller& operator=(SocketPoller&&) = delete;
    SocketPoller(const SocketPoller&) = delete;
    SocketPoller& operator=(const SocketPoller&) = delete;
    ~SocketPoller();

    bool Add(int descriptor, uint64_t key);
    bool Remove(int descriptor);

    // Fills readyKeys with the keys of readable descriptors; false once woken.
    // Waiting thread only.
    bool Wait(std::vector<uint64_t>& readyKeys, std::chrono::milliseconds limit);

    // Safe to call from other threads.
    void Wake();

private:
    SocketPoller(int poller, int wake) : Poller(poller), WakeDescriptor(wake) {}
    static constexpr uint64_t WakeKey = ~uint64_t{0};
    int Poller = -1;
    int WakeDescriptor = -1;
};

}  // namespace relvane::bench
