#include "bench/TrafficLane.h"

#include <vector>

#include "bench/GameWire.h"

namespace relvane::bench {
namespace {

constexpr int ConnectAttempts = 3;
constexpr auto AcceptLimit = std::chrono::seconds(2);

}  // namespace

std::optional<TrafficLane> ConnectLane(uint16_t requestPort, uint32_t connectionId) {
    std::optional<LoopbackSocket> socket = LoopbackSocket::Open(1 << 20);
    if (!socket) return std::nullopt;
    std::vector<uint8_t> buffer(65536);
    for (int attempt = 0; attempt < ConnectAttempts; ++attempt) {
        if (!socket->SendTo(requestPort, ConnectRequest())) continue;
        const auto deadline = std::chrono::steady_clock::now() + AcceptLimit;
        while (std::chrono::steady_clock::now() < deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
            const std::optional<ReceivedDatagram> reply = socket->Receive(buffer, left);
            if (!reply) break;
            const auto port = ParseAccept(std::span<const uint8_t>(buffer.data(), std::min(reply->Length, buffer.size())));
            if (port) return TrafficLane{std::move(*socket), *port, connectionId};
        }
    }
    return std::nullopt;
}

std::optional<TrafficLane> OpenLane(uint16_t port, uint32_t connectionId) {
    std::optional<LoopbackSocket> socket = LoopbackSocket::Open(1 << 20);
    if (!socket) return std::nullopt;
    return TrafficLane{std::move(*socket), port, connectionId};
}

}  // namespace relvane::bench
