#include "bench/SocketPoller.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <utility>

namespace relvane::bench {

std::optional<SocketPoller> SocketPoller::Create() {
    const int poller = ::epoll_create1(EPOLL_CLOEXEC);
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (poller < 0 || wake < 0) {
        if (poller >= 0) ::close(poller);
        if (wake >= 0) ::close(wake);
        return std::nullopt;
    }
    SocketPoller created(poller, wake);
    if (!created.Add(wake, WakeKey)) return std::nullopt;
    return created;
}

SocketPoller::SocketPoller(SocketPoller&& other) noexcept
    : Poller(std::exchange(other.Poller, -1)), WakeDescriptor(std::exchange(other.WakeDescriptor, -1)) {}

SocketPoller::~SocketPoller() {
    if (Poller >= 0) ::close(Poller);
    if (WakeDescriptor >= 0) ::close(WakeDescriptor);
}

bool SocketPoller::Add(int descriptor, uint64_t key) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = key;
    return ::epoll_ctl(Poller, EPOLL_CTL_ADD, descriptor, &event) == 0;
}

bool SocketPoller::Remove(int descriptor) { return ::epoll_ctl(Poller, EPOLL_CTL_DEL, descriptor, nullptr) == 0; }

bool SocketPoller::Wait(std::vector<uint64_t>& readyKeys, std::chrono::milliseconds limit) {
    readyKeys.clear();
    epoll_event events[64];
    const int count = ::epoll_wait(Poller, events, 64, static_cast<int>(limit.count()));
    if (count < 0) return errno == EINTR;
    for (int index = 0; index < count; ++index) {
        if (events[index].data.u64 == WakeKey) return false;
        readyKeys.push_back(events[index].data.u64);
    }
    return true;
}

void SocketPoller::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(WakeDescriptor, &one, sizeof one);
}

}  // namespace relvane::bench
