#include "bench/LoopbackSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace relvane::bench {
namespace {

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

std::optional<uint16_t> BoundPort(int descriptor) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&local), &length) != 0) return std::nullopt;
    return ntohs(local.sin_port);
}

}  // namespace

std::optional<LoopbackSocket> LoopbackSocket::Open(int receiveBufferBytes) {
    const int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (descriptor < 0) return std::nullopt;
    if (receiveBufferBytes > 0)
        ::setsockopt(descriptor, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    const sockaddr_in address = LoopbackAddress(0);
    std::optional<uint16_t> port;
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        port = BoundPort(descriptor);
    if (!port) {
        ::close(descriptor);
        return std::nullopt;
    }
    return LoopbackSocket(descriptor, *port);
}

LoopbackSocket::LoopbackSocket(LoopbackSocket&& other) noexcept
    : Descriptor(std::exchange(other.Descriptor, -1)), LocalPort(other.LocalPort) {}

LoopbackSocket& LoopbackSocket::operator=(LoopbackSocket&& other) noexcept {
    if (this != &other) {
        if (Descriptor >= 0) ::close(Descriptor);
        Descriptor = std::exchange(other.Descriptor, -1);
        LocalPort = other.LocalPort;
    }
    return *this;
}

LoopbackSocket::~LoopbackSocket() {
    if (Descriptor >= 0) ::close(Descriptor);
}

bool LoopbackSocket::SendTo(uint16_t port, std::span<const uint8_t> datagram) {
    const sockaddr_in destination = LoopbackAddress(port);
    const ssize_t sent = ::sendto(Descriptor, datagram.data(), datagram.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    return sent == static_cast<ssize_t>(datagram.size());
}

std::optional<ReceivedDatagram> LoopbackSocket::TryReceive(std::span<uint8_t> buffer) {
    sockaddr_in source{};
    socklen_t sourceLength = sizeof source;
    // MSG_TRUNC: the full length even of a datagram cut to the buffer.
    const ssize_t length = ::recvfrom(Descriptor, buffer.data(), buffer.size(), MSG_TRUNC,
                                      reinterpret_cast<sockaddr*>(&source), &sourceLength);
    if (length < 0) return std::nullopt;
    return ReceivedDatagram{static_cast<size_t>(length), ntohs(source.sin_port)};
}

std::optional<ReceivedDatagram> LoopbackSocket::Receive(std::span<uint8_t> buffer, std::chrono::microseconds limit) {
    if (auto received = TryReceive(buffer)) return received;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd watched{Descriptor, POLLIN, 0};
        // poll counts in milliseconds; round up so a short limit still waits.
        const int ready = ::poll(&watched, 1, static_cast<int>((left.count() + 999) / 1000));
        if (ready < 0 && errno != EINTR) return std::nullopt;
        if (ready > 0)
            if (auto received = TryReceive(buffer)) return received;
    }
}

std::optional<uint16_t> PickFreeUdpPort() {
    const int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (descriptor < 0) return std::nullopt;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    std::optional<uint16_t> port;
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0) port = BoundPort(descriptor);
    ::close(descriptor);
    return port;
}

}  // namespace relvane::bench
