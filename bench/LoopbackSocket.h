#pragma once
// A non-blocking UDP socket bound to 127.0.0.1 on a system-chosen port: a game
// client, a game server's port or a noise source in the benchmark and the
// soak run. Move-only; closes its descriptor when destroyed. Failures are
// values (nullopt / false), never exceptions.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace relvane::bench {

struct ReceivedDatagram {
    size_t Length = 0;
    uint16_t FromPort = 0;
};

class LoopbackSocket {
public:
    // receiveBufferBytes 0 keeps the system's default.
    static std::optional<LoopbackSocket> Open(int receiveBufferBytes = 0);

    LoopbackSocket(LoopbackSocket&& other) noexcept;
    LoopbackSocket& operator=(LoopbackSocket&& other) noexcept;
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;
    ~LoopbackSocket();

    uint16_t Port() const { return LocalPort; }
    int Handle() const { return Descriptor; }

    // True when the whole datagram went to 127.0.0.1:port.
    bool SendTo(uint16_t port, std::span<const uint8_t> datagram);
    // One waiting datagram, or nullopt when none is waiting. A datagram larger
    // than the buffer is reported with its full length and cut to the buffer.
    std::optional<ReceivedDatagram> TryReceive(std::span<uint8_t> buffer);
    // Waits up to limit for one datagram.
    std::optional<ReceivedDatagram> Receive(std::span<uint8_t> buffer, std::chrono::microseconds limit);

private:
    LoopbackSocket(int descriptor, uint16_t port) : Descriptor(descriptor), LocalPort(port) {}
    int Descriptor = -1;
    uint16_t LocalPort = 0;
};

// A UDP port on all local addresses that was free a moment ago (the relay
// binds its listening port on all addresses).
std::optional<uint16_t> PickFreeUdpPort();

}  // namespace relvane::bench
