#pragma once
// Drives the game sessions of the soak run on a thread of its own. A session
// is one connected client: it sends game datagrams to its connection
// endpoint at a game rate for its duration, checks every echo (contents,
// connection, order number), and then goes silent so that the relay ends the
// endpoint after its idle time. While a session sends, a noise socket sends
// bad datagrams of every kind to the same endpoint.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "bench/GameWire.h"
#include "bench/SocketPoller.h"
#include "bench/SoakTally.h"
#include "bench/TrafficLane.h"

namespace relvane::bench {

struct SessionPlan {
    std::chrono::milliseconds Duration{5000};
    double DatagramsPerSecond = 25;
};

class SessionDriver {
public:
    // nullptr when its sockets cannot be opened.
    static std::unique_ptr<SessionDriver> Start(SoakTally& tally, uint64_t seed);
    ~SessionDriver();  // NoMoreSessions(), then waits for the sessions to finish
    SessionDriver(const SessionDriver&) = delete;
    SessionDriver& operator=(const SessionDriver&) = delete;

    // A client whose connection was accepted starts its session now.
    // Safe to call from other threads.
    void Begin(TrafficLane lane, SessionPlan plan);
    // No session will begin any more: the driver ends once the last has
    // finished. Safe to call from other threads.
    void NoMoreSessions();
    // Waits until the driver has ended.
    void Join();

private:
    struct Session {
        TrafficLane Lane;
        SessionPlan Plan;
        std::chrono::steady_clock::time_point EndSending;
        std::chrono::steady_clock::time_point NextSend;
        std::chrono::steady_clock::time_point NextNoise;
        uint32_t Sent = 0;
        uint64_t Echoed = 0;
        std::vector<bool> Seen;  // by sequence number
        int NoiseKind = 0;
    };

    SessionDriver(SoakTally& tally, SocketPoller poller, LoopbackSocket noise, uint64_t seed);

    void Run();  // driver thread, below as well
    void TakeNewSessions();
    void Receive(Session& session);
    void SendDue(Session& session, std::chrono::steady_clock::time_point now);
    void SendGame(Session& session);
    void SendNoise(Session& session);
    bool Finished(const Session& session, std::chrono::steady_clock::time_point now) const;
    void Finish(Session& session);

    SoakTally& Tally;
    SocketPoller Poller;
    LoopbackSocket Noise;
    ByteStream Random;
    std::vector<uint8_t> Buffer;
    std::unordered_map<uint32_t, Session> Active;  // by connection id; driver thread only

    std::mutex Lock;  // guards Pending and Closing
    std::deque<std::pair<TrafficLane, SessionPlan>> Pending;
    bool Closing = false;

    std::thread Worker;
};

}  // namespace relvane::bench
