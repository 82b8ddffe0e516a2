#pragma once
// Everything the soak run sends to the relay's listener, from one thread and
// one datagram at a time. The listener sends every server reply to the client
// that spoke to it last, so connection requests, queries and bad datagrams
// must not overlap: a connection request waits for its accept before
// anything else reaches the listener.
//
// Between the scheduled connections the lane mixes in, at a steady pace:
// server-information queries (checked: the reply must name the relay), bad
// server replies on demand (no NUL, 9000 bytes, unknown command, rejected,
// short accept), remote-control queries (checked against the fake server),
// remote-control sets with every Mode (each setting the target back to the
// fake server itself), truncated remote-control packets (each followed by a
// set that restores the target), random bytes, oversized datagrams,
// truncated control packets, unknown commands and QuakeWorld-like datagrams.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/GameWire.h"
#include "bench/LoopbackSocket.h"
#include "bench/SessionDriver.h"
#include "bench/SoakTally.h"

namespace relvane::bench {

struct ScheduledSession {
    std::chrono::milliseconds StartOffset{0};
    SessionPlan Plan;
};

struct LanePlan {
    std::chrono::steady_clock::time_point Begin;
    std::chrono::steady_clock::time_point StopMixing;  // no mixed traffic after this
    std::vector<ScheduledSession> Sessions;           // by start offset
    uint16_t ListenPort = 0;
    std::string RelayAddressText;  // what server-information replies must carry
    uint16_t ServerPort = 0;       // the fake server's control port: the target to keep
    double MixedPerSecond = 20;
    uint64_t Seed = 1;
};

class ListenerLane {
public:
    static std::unique_ptr<ListenerLane> Start(LanePlan plan, SessionDriver& driver, SoakTally& tally);
    ~ListenerLane();  // Join()
    ListenerLane(const ListenerLane&) = delete;
    ListenerLane& operator=(const ListenerLane&) = delete;

    // Waits until every session has been connected (or failed to) and the
    // mixing has stopped; then tells the driver that no session will follow.
    void Join();

private:
    ListenerLane(LanePlan plan, SessionDriver& driver, SoakTally& tally, LoopbackSocket socket);

    void Run();  // lane thread, below as well
    void ConnectSession(const ScheduledSession& scheduled);
    void SendMixed();
    void QueryServerInfo();
    void AskForBadReply();
    void QueryRemote();
    void SetRemote(uint8_t mode);
    void SendTruncatedRemote();
    void SendRandomBytes();
    void SendOversized();
    void SendTruncatedControl();
    void SendUnknownCommand();
    void SendQuakeWorldLike();

    void Send(std::span<const uint8_t> datagram);
    void DropWaiting();
    // The first datagram within limit that wanted accepts; others are skipped.
    std::optional<Datagram> Await(std::chrono::milliseconds limit,
                                  const std::function<bool(std::span<const uint8_t>)>& wanted);

    const LanePlan Plan;
    SessionDriver& Driver;
    SoakTally& Tally;
    LoopbackSocket Socket;
    ByteStream Random;
    std::vector<uint8_t> Buffer;
    uint32_t NextConnectionId = 1;
    uint32_t NextInfoSequence = 0;
    int MixedStep = 0;
    int NextMode = 1;
    std::thread Worker;
};

}  // namespace relvane::bench
