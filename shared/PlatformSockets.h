#pragma once
// The thin layer over the platform's datagram sockets. Everything that calls
// the socket library directly lives behind this header, so that a port to
// another platform touches PlatformSockets_<platform>.cpp alone.
//
// Failures are values: a call that fails returns false / -1 / nullopt and
// leaves its error code for LastSocketError() on the calling thread.

#include <cstddef>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "SocketAddress.h"

namespace relvane {

// The socket library's error code of the last failed call on this thread
// (errno here). Read it right after the failing call.
int LastSocketError();

// A move-only datagram socket that closes its descriptor when destroyed.
class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // family is FamilyIpv4 or FamilyIpx. Returns an invalid socket on failure;
    // on a host without IPX sockets, IPX always fails.
    static UdpSocket Open(uint16_t family);

    bool IsValid() const { return Handle >= 0; }
    int NativeHandle() const { return Handle; }

    bool Bind(const SocketAddress& local);
    bool EnableBroadcast();
    std::optional<SocketAddress> LocalAddress() const;

    // Receives one datagram of at most capacity bytes. A datagram longer than
    // capacity is not shortened: it is consumed and reported as a failure
    // (-1, error EMSGSIZE), because a cut datagram must never be relayed.
    int ReceiveFrom(uint8_t* buffer, size_t capacity, SocketAddress& source);

    // Returns the number of bytes sent, or -1.
    int SendTo(const uint8_t* data, size_t length, const SocketAddress& destination);

    // Closes the descriptor; false if the close call failed. The socket is
    // invalid afterwards either way.
    bool Close();

private:
    explicit UdpSocket(int handle) : Handle(handle) {}
    int Handle = -1;
};

// A descriptor that wakes every wait it takes part in, once signalled, for good.
// Safe to call Signal() from any thread.
class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    void Signal();
    int NativeHandle() const { return ReadEnd; }

private:
    int ReadEnd = -1;
    int WriteEnd = -1;
};

inline constexpr size_t MaxWaitSockets = 4;

struct WaitOutcome {
    enum class Kind { Ready, TimedOut, Failed };
    Kind Result = Kind::Failed;
    std::array<bool, MaxWaitSockets> Readable{};  // one flag per socket, in the order given
    bool Woken = false;                           // the wake descriptor was readable
};

// One select() over up to MaxWaitSockets sockets (invalid ones, or too many,
// make the wait fail, as select does for a closed descriptor) plus an
// optional wake descriptor. timeoutMicroseconds < 0 waits without limit.
// Allocates nothing: it runs once per relayed datagram.
WaitOutcome WaitReadable(const UdpSocket* const* sockets, size_t count, const WakeSignal* wake,
                         int64_t timeoutMicroseconds);
inline WaitOutcome WaitReadable(std::initializer_list<const UdpSocket*> sockets, const WakeSignal* wake,
                                int64_t timeoutMicroseconds) {
    return WaitReadable(sockets.begin(), sockets.size(), wake, timeoutMicroseconds);
}
inline WaitOutcome WaitReadable(const std::vector<const UdpSocket*>& sockets, const WakeSignal* wake,
                                int64_t timeoutMicroseconds) {
    return WaitReadable(sockets.data(), sockets.size(), wake, timeoutMicroseconds);
}

// The socket library's dotted-quad conversion (inet_addr): the address in
// network order, or 255.255.255.255 for a text that is not one.
Ipv4Bytes InetAddr(const std::string& text);
inline constexpr Ipv4Bytes InetAddrNone{255, 255, 255, 255};

// Looks a host name up, IPv4 addresses only; the first address found.
// Reentrant: endpoint threads may call it at the same time.
std::optional<Ipv4Bytes> LookupHostIpv4(const std::string& name);

// The local host's name, or nullopt when the call fails.
std::optional<std::string> LocalHostName();

}  // namespace relvane
