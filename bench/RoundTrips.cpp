#include "bench/RoundTrips.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "bench/SocketPoller.h"

namespace relvane::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto ReplyLimit = std::chrono::milliseconds(250);  // a round trip slower than this counts as lost
constexpr auto StallLimit = std::chrono::milliseconds(250);
constexpr auto DrainLimit = std::chrono::milliseconds(300);

double MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

RequestCodec::Reply FromGameCheck(const GameCheck& check) {
    RequestCodec::Reply reply;
    reply.ConnectionId = check.ConnectionId;
    reply.Sequence = check.Sequence;
    switch (check.Result) {
        case GameCheck::Kind::Intact: reply.Result = RequestCodec::Reply::Kind::Match; break;
        case GameCheck::Kind::Corrupt: reply.Result = RequestCodec::Reply::Kind::Corrupt; break;
        case GameCheck::Kind::NotGame: reply.Result = RequestCodec::Reply::Kind::Foreign; break;
    }
    return reply;
}

// The state of one throughput run: sequence numbers are unique across its
// lanes, so each reply is matched once whichever lane it reaches.
class ThroughputRun {
public:
    ThroughputRun(std::span<TrafficLane*> lanes, const RequestCodec& codec, size_t size)
        : Lanes(lanes), Codec(codec), Size(size), Buffer(65536) {}

    bool Send(size_t laneIndex) {
        TrafficLane& lane = *Lanes[laneIndex];
        const uint32_t sequence = static_cast<uint32_t>(Seen.size());
        Seen.push_back(false);
        ++Result.Sent;
        return lane.Socket.SendTo(lane.DestinationPort, Codec.Encode(lane.ConnectionId, sequence, Size));
    }

    // Takes every waiting reply of a lane; returns how many matched.
    int Drain(size_t laneIndex, bool sendNext) {
        int matched = 0;
        while (const auto received = Lanes[laneIndex]->Socket.TryReceive(Buffer)) {
            const auto reply = Codec.Decode(std::span<const uint8_t>(Buffer.data(), std::min(received->Length, Buffer.size())));
            if (reply.Result == RequestCodec::Reply::Kind::Corrupt) ++Result.Corrupt;
            if (reply.Result != RequestCodec::Reply::Kind::Match || reply.Sequence >= Seen.size() || Seen[reply.Sequence])
                continue;
            Seen[reply.Sequence] = true;
            ++Result.Received;
            ++matched;
            if (sendNext) Send(laneIndex);
        }
        return matched;
    }

    ThroughputResult Result;

private:
    std::span<TrafficLane*> Lanes;
    const RequestCodec& Codec;
    const size_t Size;
    std::vector<uint8_t> Buffer;
    std::vector<bool> Seen;  // by sequence number
};

}  // namespace

RequestCodec RequestCodec::GameEcho() { return RequestCodec(); }

RequestCodec RequestCodec::ServerInfo(std::string expectedAddressText) {
    RequestCodec codec;
    codec.IsServerInfo = true;
    codec.AddressText = std::move(expectedAddressText);
    return codec;
}

Datagram RequestCodec::Encode(uint32_t connectionId, uint32_t sequence, size_t size) const {
    if (!IsServerInfo) return MakeGameDatagram(size, connectionId, sequence);
    const size_t tailSize = size > ControlRequestSize + GameHeaderSize ? size - ControlRequestSize : GameHeaderSize;
    return ServerInfoRequest(MakeGameDatagram(tailSize, connectionId, sequence));
}

RequestCodec::Reply RequestCodec::Decode(std::span<const uint8_t> reply) const {
    if (!IsServerInfo) return FromGameCheck(CheckGameDatagram(reply));
    if (reply.empty() || reply[0] != ControlByte) return Reply{};
    const std::optional<ServerInfoView> info = ParseServerInfo(reply);
    Reply decoded;
    decoded.Result = Reply::Kind::Corrupt;
    if (!info || info->AddressText != AddressText) return decoded;
    return FromGameCheck(CheckGameDatagram(info->Tail));
}

LatencyResult MeasureLatency(TrafficLane& lane, const RequestCodec& codec, size_t size, int samples, int warmUp) {
    LatencyResult result;
    result.Microseconds.reserve(static_cast<size_t>(samples));
    std::vector<uint8_t> buffer(65536);
    for (int index = -warmUp; index < samples; ++index) {
        const uint32_t sequence = static_cast<uint32_t>(index + warmUp);
        const Datagram request = codec.Encode(lane.ConnectionId, sequence, size);
        const auto sent = Clock::now();
        if (!lane.Socket.SendTo(lane.DestinationPort, request)) {
            ++result.Lost;
            continue;
        }
        bool answered = false;
        while (!answered) {
            const auto left = ReplyLimit - (Clock::now() - sent);
            if (left <= Clock::duration::zero()) break;
            const auto received =
                lane.Socket.Receive(buffer, std::chrono::duration_cast<std::chrono::microseconds>(left));
            if (!received) break;
            const auto reply = codec.Decode(std::span<const uint8_t>(buffer.data(), std::min(received->Length, buffer.size())));
            if (reply.Result == RequestCodec::Reply::Kind::Corrupt) ++result.Corrupt;
            // Late replies to earlier requests are skipped.
            answered = reply.Result == RequestCodec::Reply::Kind::Match && reply.Sequence == sequence;
        }
        const double elapsed = MicrosecondsSince(sent);
        if (!answered) ++result.Lost;
        else if (index >= 0) result.Microseconds.push_back(elapsed);
    }
    return result;
}

ThroughputResult MeasureThroughput(std::span<TrafficLane*> lanes, const RequestCodec& codec, size_t size,
                                   int inFlight, std::chrono::milliseconds duration) {
    ThroughputRun run(lanes, codec, size);
    std::optional<SocketPoller> poller = SocketPoller::Create();
    if (!poller) return run.Result;
    for (size_t index = 0; index < lanes.size(); ++index) poller->Add(lanes[index]->Socket.Handle(), index);

    const auto topUp = [&] {
        for (size_t index = 0; index < lanes.size(); ++index)
            for (int count = 0; count < inFlight; ++count) run.Send(index);
    };
    const auto start = Clock::now();
    const auto end = start + duration;
    topUp();
    std::vector<uint64_t> ready;
    auto lastReply = Clock::now();
    while (Clock::now() < end) {
        poller->Wait(ready, std::chrono::milliseconds(10));
        for (const uint64_t key : ready)
            if (run.Drain(static_cast<size_t>(key), true) > 0) lastReply = Clock::now();
        // Nothing for a long while: the requests in flight are taken as lost.
        if (Clock::now() - lastReply > StallLimit) {
            ++run.Result.Stalls;
            topUp();
            lastReply = Clock::now();
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const uint64_t receivedInTime = run.Result.Received;
    const auto drainEnd = Clock::now() + DrainLimit;
    while (run.Result.Received < run.Result.Sent && Clock::now() < drainEnd) {
        poller->Wait(ready, std::chrono::milliseconds(10));
        for (const uint64_t key : ready) run.Drain(static_cast<size_t>(key), false);
    }
    ThroughputResult result = run.Result;
    result.RoundTripsPerSecond = static_cast<double>(receivedInTime) / seconds;
    result.Lost = result.Sent - result.Received;
    return result;
}

double Percentile(std::vector<double> values, double percent) {
    if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(percent / 100.0 * static_cast<double>(values.size()));
    const size_t index = static_cast<size_t>(std::clamp(rank, 1.0, static_cast<double>(values.size()))) - 1;
    return values[index];
}

}  // namespace relvane::bench
