#pragma once
// A UDP socket on 127.0.0.1 with a system-chosen port, playing a game client
// or a game server in tests.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shared/PlatformSockets.h"
#include "shared/SocketAddress.h"

namespace relvane::testing {

using Datagram = std::vector<uint8_t>;

struct Received {
    Datagram Data;
    SocketAddress From;
};

inline const Ipv4Bytes Loopback{127, 0, 0, 1};

inline SocketAddress LoopbackAddress(uint16_t port) { return MakeIpv4Address(Loopback, port); }

class LoopbackPeer {
public:
    LoopbackPeer();
    uint16_t Port() const { return LocalPort; }
    SocketAddress Address() const { return LoopbackAddress(LocalPort); }

    bool SendTo(uint16_t port, const Datagram& datagram);
    bool SendTo(const SocketAddress& to, const Datagram& datagram);
    // Waits up to limit for one datagram.
    std::optional<Received> Receive(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // True when nothing arrives within limit. Used only to show that a datagram
    // was not relayed, after a later event proved the relay handled it.
    bool NothingWithin(std::chrono::milliseconds limit);

private:
    UdpSocket Socket;
    uint16_t LocalPort = 0;
};

Datagram Bytes(std::initializer_list<int> values);
Datagram TextDatagram(const std::string& text);

}  // namespace relvane::testing
