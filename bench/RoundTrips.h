#pragma once
// Round-trip measurements over traffic lanes: latency (one datagram at a
// time) and throughput (a few datagrams in flight per lane). Every reply is
// checked against what was sent, so a measurement also counts lost and
// corrupted datagrams.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "bench/GameWire.h"
#include "bench/TrafficLane.h"

namespace relvane::bench {

// What a lane sends and what it expects back.
class RequestCodec {
public:
    // Game datagrams that come back unchanged.
    static RequestCodec GameEcho();
    // Server-information requests, each carrying a game datagram as its tail;
    // the reply must carry expectedAddressText and the same tail.
    static RequestCodec ServerInfo(std::string expectedAddressText);

    // A request of size bytes (at least the minimum the kind needs).
    Datagram Encode(uint32_t connectionId, uint32_t sequence, size_t size) const;

    struct Reply {
        enum class Kind { Match, Corrupt, Foreign };
        Kind Result = Kind::Foreign;
        uint32_t ConnectionId = 0;
        uint32_t Sequence = 0;
    };
    Reply Decode(std::span<const uint8_t> reply) const;

private:
    bool IsServerInfo = false;
    std::string AddressText;
};

struct LatencyResult {
    std::vector<double> Microseconds;
    uint64_t Lost = 0;
    uint64_t Corrupt = 0;
};

struct ThroughputResult {
    double RoundTripsPerSecond = 0;
    uint64_t Sent = 0;
    uint64_t Received = 0;
    uint64_t Lost = 0;
    uint64_t Corrupt = 0;
    int Stalls = 0;  // times no reply came for StallLimit and the lanes were topped up
};

// samples round trips one after another on lane, after warmUp unrecorded ones.
LatencyResult MeasureLatency(TrafficLane& lane, const RequestCodec& codec, size_t size, int samples, int warmUp);

// Keeps inFlight requests per lane outstanding for duration. A reply that
// reaches another lane than its sender (the relay's listener answers the
// client that spoke last) still counts, and that lane sends the next request.
ThroughputResult MeasureThroughput(std::span<TrafficLane*> lanes, const RequestCodec& codec, size_t size,
                                   int inFlight, std::chrono::milliseconds duration);

// Percentile (0-100) of values, nearest rank; NaN when empty.
double Percentile(std::vector<double> values, double percent);

}  // namespace relvane::bench
