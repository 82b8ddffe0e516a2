#include "bench/SessionDriver.h"

#include <algorithm>

#include "bench/FakeGameServer.h"

namespace relvane::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Echoes still missing this long after a session's last datagram are lost.
constexpr auto EchoGrace = std::chrono::seconds(2);
constexpr auto NoiseInterval = std::chrono::milliseconds(700);
constexpr int NoiseKinds = 5;
constexpr uint8_t QuakeWorldConnectByte = 0x62;

Clock::duration Interval(double perSecond) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / perSecond));
}

}  // namespace

std::unique_ptr<SessionDriver> SessionDriver::Start(SoakTally& tally, uint64_t seed) {
    std::optional<SocketPoller> poller = SocketPoller::Create();
    std::optional<LoopbackSocket> noise = LoopbackSocket::Open();
    if (!poller || !noise) return nullptr;
    std::unique_ptr<SessionDriver> driver(new SessionDriver(tally, std::move(*poller), std::move(*noise), seed));
    driver->Worker = std::thread([raw = driver.get()] { raw->Run(); });
    return driver;
}

SessionDriver::SessionDriver(SoakTally& tally, SocketPoller poller, LoopbackSocket noise, uint64_t seed)
    : Tally(tally), Poller(std::move(poller)), Noise(std::move(noise)), Random(seed), Buffer(65536) {}

SessionDriver::~SessionDriver() {
    NoMoreSessions();
    Join();
}

void SessionDriver::Begin(TrafficLane lane, SessionPlan plan) {
    std::lock_guard lock(Lock);
    Pending.emplace_back(std::move(lane), plan);
}

void SessionDriver::NoMoreSessions() {
    std::lock_guard lock(Lock);
    Closing = true;
}

void SessionDriver::Join() {
    if (Worker.joinable()) Worker.join();
}

void SessionDriver::Run() {
    std::vector<uint64_t> ready;
    for (;;) {
        TakeNewSessions();
        Poller.Wait(ready, std::chrono::milliseconds(1));
        for (const uint64_t key : ready) {
            const auto found = Active.find(static_cast<uint32_t>(key));
            if (found != Active.end()) Receive(found->second);
        }
        // Anything that reaches the noise socket is dropped unread.
        while (Noise.TryReceive(Buffer)) {
        }
        const auto now = Clock::now();
        for (auto entry = Active.begin(); entry != Active.end();) {
            SendDue(entry->second, now);
            if (!Finished(entry->second, now)) {
                ++entry;
                continue;
            }
            Finish(entry->second);
            entry = Active.erase(entry);
        }
        std::lock_guard lock(Lock);
        if (Closing && Pending.empty() && Active.empty()) return;
    }
}

void SessionDriver::TakeNewSessions() {
    std::deque<std::pair<TrafficLane, SessionPlan>> arrived;
    {
        std::lock_guard lock(Lock);
        arrived.swap(Pending);
    }
    const auto now = Clock::now();
    for (auto& [lane, plan] : arrived) {
        const uint32_t id = lane.ConnectionId;
        Session session{std::move(lane), plan, now + plan.Duration, now, now + NoiseInterval, 0, 0, {}, 0};
        Poller.Add(session.Lane.Socket.Handle(), id);
        Active.emplace(id, std::move(session));
        Tally.LiveSessions.fetch_add(1);
    }
}

void SessionDriver::Receive(Session& session) {
    while (const auto received = session.Lane.Socket.TryReceive(Buffer)) {
        const GameCheck check = CheckGameDatagram(std::span<const uint8_t>(Buffer.data(), std::min(received->Length, Buffer.size())));
        if (check.Result == GameCheck::Kind::NotGame) Tally.ForeignReceived.fetch_add(1);
        else if (check.Result == GameCheck::Kind::Corrupt) Tally.GameCorrupt.fetch_add(1);
        else if (check.ConnectionId != session.Lane.ConnectionId) Tally.GameMisrouted.fetch_add(1);
        else if (check.Sequence >= session.Sent) Tally.GameCorrupt.fetch_add(1);  // never sent
        else if (session.Seen[check.Sequence]) Tally.GameDuplicates.fetch_add(1);
        else {
            session.Seen[check.Sequence] = true;
            ++session.Echoed;
            Tally.GameEchoed.fetch_add(1);
        }
    }
}

void SessionDriver::SendDue(Session& session, Clock::time_point now) {
    if (now >= session.EndSending) return;
    if (now >= session.NextSend) {
        SendGame(session);
        session.NextSend += Interval(session.Plan.DatagramsPerSecond);
    }
    if (now >= session.NextNoise) {
        SendNoise(session);
        session.NextNoise += NoiseInterval;
    }
}

void SessionDriver::SendGame(Session& session) {
    // Mostly small, like game traffic, now and then a large one.
    const size_t size = Random.Between(1, 10) == 1 ? Random.Between(200, 1400) : Random.Between(GameHeaderSize, 200);
    uint8_t flags = 0;
    const uint32_t pick = Random.Between(1, 100);
    if (pick <= 2) flags = GameFlagOversizeFirst;
    else if (pick <= 4) flags = GameFlagGarbageFirst;
    if (flags != 0) Tally.FlaggedGame.fetch_add(1);
    const Datagram datagram = MakeGameDatagram(size, session.Lane.ConnectionId, session.Sent, flags);
    ++session.Sent;
    session.Seen.push_back(false);
    Tally.GameSent.fetch_add(1);
    session.Lane.Socket.SendTo(session.Lane.DestinationPort, datagram);
}

void SessionDriver::SendNoise(Session& session) {
    Datagram noise;
    switch (session.NoiseKind++ % NoiseKinds) {
        case 0:
            noise.resize(Random.Between(1, 1400));
            Random.Fill(noise);
            if (noise[0] == 'R') noise[0] = 0;  // never the game magic
            Tally.RandomBytes.fetch_add(1);
            break;
        case 1:
            noise.resize(OversizeLength);
            Random.Fill(noise);
            Tally.Oversized.fetch_add(1);
            break;
        case 2:
            noise = ConnectRequest();
            noise.resize(Random.Between(1, ControlRequestSize - 1));
            Tally.TruncatedControl.fetch_add(1);
            break;
        case 3: {
            // A connection endpoint forwards remote control like any datagram.
            const uint8_t address[4] = {10, 0, 0, static_cast<uint8_t>(Random.Between(1, 254))};
            noise = RemoteControlRequest(static_cast<uint8_t>(Random.Between(0, 255)), address, 26000);
            Tally.RemoteControlToEndpoints.fetch_add(1);
            break;
        }
        default:
            noise = Datagram{QuakeWorldConnectByte, 'c', 'o', 'n', 'n', 'e', 'c', 't'};
            Tally.QuakeWorldLike.fetch_add(1);
            break;
    }
    Noise.SendTo(session.Lane.DestinationPort, noise);
}

bool SessionDriver::Finished(const Session& session, Clock::time_point now) const {
    if (now < session.EndSending) return false;
    return session.Echoed == session.Sent || now >= session.EndSending + EchoGrace;
}

void SessionDriver::Finish(Session& session) {
    // The last echoes may still be waiting in the socket.
    Receive(session);
    Tally.GameLost.fetch_add(session.Sent - session.Echoed);
    Poller.Remove(session.Lane.Socket.Handle());
    Tally.LiveSessions.fetch_sub(1);
    Tally.SessionsFinished.fetch_add(1);
}

}  // namespace relvane::bench
