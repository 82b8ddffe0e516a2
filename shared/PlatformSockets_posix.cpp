#include "PlatformSockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace relvane {
namespace {

#ifndef AF_IPX
constexpr int AF_IPX = 4;
#endif
constexpr int IpxProtocol = 1000;

sockaddr_in ToNative(const SocketAddress& address) {
    sockaddr_in native{};
    native.sin_family = AF_INET;
    std::memcpy(&native.sin_port, &address.Bytes[2], 2);
    std::memcpy(&native.sin_addr, &address.Bytes[4], 4);
    return native;
}

SocketAddress FromNative(const sockaddr_storage& storage) {
    SocketAddress address;
    if (storage.ss_family == AF_INET) {
        const auto& native = reinterpret_cast<const sockaddr_in&>(storage);
        address.SetFamily(FamilyIpv4);
        std::memcpy(&address.Bytes[2], &native.sin_port, 2);
        std::memcpy(&address.Bytes[4], &native.sin_addr, 4);
    }
    return address;
}

}  // namespace

int LastSocketError() { return errno; }

UdpSocket::~UdpSocket() { Close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : Handle(std::exchange(other.Handle, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        Handle = std::exchange(other.Handle, -1);
    }
    return *this;
}

UdpSocket UdpSocket::Open(uint16_t family) {
    const int handle = family == FamilyIpx ? ::socket(AF_IPX, SOCK_DGRAM | SOCK_CLOEXEC, IpxProtocol)
                                           : ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    // select() cannot watch descriptors at or above FD_SETSIZE.
    if (handle >= FD_SETSIZE) {
        ::close(handle);
        errno = EMFILE;
        return UdpSocket();
    }
    return UdpSocket(handle);
}

bool UdpSocket::Bind(const SocketAddress& local) {
    const sockaddr_in native = ToNative(local);
    return ::bind(Handle, reinterpret_cast<const sockaddr*>(&native), sizeof native) == 0;
}

bool UdpSocket::EnableBroadcast() {
    const int32_t on = 1;
    return ::setsockopt(Handle, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

std::optional<SocketAddress> UdpSocket::LocalAddress() const {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getsockname(Handle, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return std::nullopt;
    return FromNative(storage);
}

int UdpSocket::ReceiveFrom(uint8_t* buffer, size_t capacity, SocketAddress& source) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    // MSG_TRUNC makes the call report the datagram's real length.
    const ssize_t received =
        ::recvfrom(Handle, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&storage), &length);
    if (received < 0) return -1;
    if (static_cast<size_t>(received) > capacity) {
        errno = EMSGSIZE;
        return -1;
    }
    source = FromNative(storage);
    return static_cast<int>(received);
}

int UdpSocket::SendTo(const uint8_t* data, size_t length, const SocketAddress& destination) {
    const sockaddr_in native = ToNative(destination);
    const ssize_t sent = ::sendto(Handle, data, length, MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&native), sizeof native);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

bool UdpSocket::Close() {
    if (Handle < 0) return true;
    const int handle = std::exchange(Handle, -1);
    return ::close(handle) == 0;
}

WakeSignal::WakeSignal() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        ReadEnd = ends[0];
        WriteEnd = ends[1];
    }
}

WakeSignal::~WakeSignal() {
    if (ReadEnd >= 0) ::close(ReadEnd);
    if (WriteEnd >= 0) ::close(WriteEnd);
}

void WakeSignal::Signal() {
    const char byte = 1;
    // Never read back: the pipe stays readable and wakes every later wait too.
    [[maybe_unused]] const ssize_t written = ::write(WriteEnd, &byte, 1);
}

WaitOutcome WaitReadable(const UdpSocket* const* sockets, size_t count, const WakeSignal* wake,
                         int64_t timeoutMicroseconds) {
    WaitOutcome outcome;
    fd_set readSet;
    FD_ZERO(&readSet);
    int highest = -1;
    if (count > MaxWaitSockets) {
        errno = EINVAL;
        return outcome;
    }
    for (size_t i = 0; i < count; ++i) {
        const int handle = sockets[i]->NativeHandle();
        if (handle < 0) {
            errno = EBADF;
            return outcome;
        }
        FD_SET(handle, &readSet);
        highest = std::max(highest, handle);
    }
    if (wake != nullptr && wake->NativeHandle() >= 0) {
        FD_SET(wake->NativeHandle(), &readSet);
        highest = std::max(highest, wake->NativeHandle());
    }
    // A fresh time value for every wait: select may change the one it is given.
    timeval limit{};
    timeval* limitPointer = nullptr;
    if (timeoutMicroseconds >= 0) {
        limit.tv_sec = static_cast<time_t>(timeoutMicroseconds / 1000000);
        limit.tv_usec = static_cast<suseconds_t>(timeoutMicroseconds % 1000000);
        limitPointer = &limit;
    }
    // A signal interrupting the wait is no failure; this platform's select
    // leaves the time still to wait in the limit, so the retry keeps the bound.
    const fd_set watched = readSet;
    int result;
    do {
        readSet = watched;
        result = ::select(highest + 1, &readSet, nullptr, nullptr, limitPointer);
    } while (result < 0 && errno == EINTR);
    if (result < 0) return outcome;
    if (result == 0) {
        outcome.Result = WaitOutcome::Kind::TimedOut;
        return outcome;
    }
    outcome.Result = WaitOutcome::Kind::Ready;
    for (size_t i = 0; i < count; ++i)
        outcome.Readable[i] = FD_ISSET(sockets[i]->NativeHandle(), &readSet) != 0;
    outcome.Woken = wake != nullptr && wake->NativeHandle() >= 0 && FD_ISSET(wake->NativeHandle(), &readSet);
    return outcome;
}

Ipv4Bytes InetAddr(const std::string& text) {
    const in_addr_t value = ::inet_addr(text.c_str());
    Ipv4Bytes address;
    std::memcpy(address.data(), &value, 4);
    return address;
}

std::optional<Ipv4Bytes> LookupHostIpv4(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
    Ipv4Bytes address;
    const auto* native = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    std::memcpy(address.data(), &native->sin_addr, 4);
    ::freeaddrinfo(found);
    return address;
}

std::optional<std::string> LocalHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return std::nullopt;
    return std::string(name);
}

}  // namespace relvane
