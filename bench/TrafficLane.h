#pragma once
// One client's way to a game server for a measurement: its socket and the
// port it sends to (a game port of the fake server, a connection endpoint of
// the relay, or the relay's listener).

#include <cstdint>
#include <optional>

#include "bench/LoopbackSocket.h"

namespace relvane::bench {

struct TrafficLane {
    LoopbackSocket Socket;
    uint16_t DestinationPort = 0;
    uint32_t ConnectionId = 0;
};

// Sends the game's connection request to requestPort (the fake server's
// control port, or the relay's listener) and returns the lane to the port
// named in the accepted reply. Other datagrams that reach the socket in the
// meantime are skipped. nullopt when no accept came after a few attempts.
std::optional<TrafficLane> ConnectLane(uint16_t requestPort, uint32_t connectionId);

// A lane that sends straight to port, without a connection request.
std::optional<TrafficLane> OpenLane(uint16_t port, uint32_t connectionId);

}  // namespace relvane::bench
