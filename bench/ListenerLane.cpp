#include "bench/ListenerLane.h"

#include <algorithm>

#include "bench/FakeGameServer.h"

namespace relvane::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto ReplyLimit = std::chrono::milliseconds(1000);
constexpr auto BadReplyLimit = std::chrono::milliseconds(300);  // a bad reply may also be dropped
constexpr uint8_t Loopback[4] = {127, 0, 0, 1};
constexpr uint32_t InfoConnectionId = 0xFFFF0000u;  // tails of the lane's queries; no session has it
bool IsRemoteReply(std::span<const uint8_t> datagram) { return ParseRemoteReply(datagram).has_value(); }

constexpr std::string_view BadReplyTags[] = {BadReplyTagNoNul, BadReplyTagHuge, BadReplyTagUnknown,
                                             BadReplyTagReject, BadReplyTagShortAccept};

}  // namespace

std::unique_ptr<ListenerLane> ListenerLane::Start(LanePlan plan, SessionDriver& driver, SoakTally& tally) {
    std::optional<LoopbackSocket> socket = LoopbackSocket::Open();
    if (!socket) return nullptr;
    std::unique_ptr<ListenerLane> lane(new ListenerLane(std::move(plan), driver, tally, std::move(*socket)));
    lane->Worker = std::thread([raw = lane.get()] { raw->Run(); });
    return lane;
}

ListenerLane::ListenerLane(LanePlan plan, SessionDriver& driver, SoakTally& tally, LoopbackSocket socket)
    : Plan(std::move(plan)), Driver(driver), Tally(tally), Socket(std::move(socket)), Random(Plan.Seed), Buffer(65536) {}

ListenerLane::~ListenerLane() { Join(); }

void ListenerLane::Join() {
    if (Worker.joinable()) Worker.join();
}

void ListenerLane::Run() {
    const auto mixInterval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / Plan.MixedPerSecond));
    auto nextMixed = Plan.Begin;
    size_t nextSession = 0;
    while (nextSession < Plan.Sessions.size() || Clock::now() < Plan.StopMixing) {
        const auto now = Clock::now();
        if (nextSession < Plan.Sessions.size() && now >= Plan.Begin + Plan.Sessions[nextSession].StartOffset) {
            ConnectSession(Plan.Sessions[nextSession++]);
            continue;
        }
        if (now < Plan.StopMixing && now >= nextMixed) {
            SendMixed();
            nextMixed += mixInterval;
            continue;
        }
        auto wake = now < Plan.StopMixing ? nextMixed : Plan.StopMixing + std::chrono::hours(1);
        if (nextSession < Plan.Sessions.size())
            wake = std::min(wake, Plan.Begin + Plan.Sessions[nextSession].StartOffset);
        std::this_thread::sleep_until(std::min(wake, now + std::chrono::milliseconds(50)));
    }
    Driver.NoMoreSessions();
}

void ListenerLane::ConnectSession(const ScheduledSession& scheduled) {
    std::optional<TrafficLane> lane = ConnectLane(Plan.ListenPort, NextConnectionId++);
    if (!lane) {
        Tally.ConnectFailures.fetch_add(1);
        return;
    }
    Tally.SessionsConnected.fetch_add(1);
    Driver.Begin(std::move(*lane), scheduled.Plan);
}

void ListenerLane::SendMixed() {
    switch (MixedStep++ % 12) {
        case 0:
        case 6: QueryServerInfo(); break;
        case 1: AskForBadReply(); break;
        case 2: QueryRemote(); break;
        case 3:
        case 9:
            // Every Mode from 1 to 255 in turn; each is a set.
            SetRemote(static_cast<uint8_t>(NextMode));
            NextMode = NextMode % 255 + 1;
            break;
        case 4: SendTruncatedRemote(); break;
        case 5: SendRandomBytes(); break;
        case 7: SendOversized(); break;
        case 8: SendTruncatedControl(); break;
        case 10: SendUnknownCommand(); break;
        default: SendQuakeWorldLike(); break;
    }
}

void ListenerLane::QueryServerInfo() {
    const uint32_t sequence = NextInfoSequence++;
    const Datagram tail = MakeGameDatagram(Random.Between(GameHeaderSize, 300), InfoConnectionId, sequence);
    DropWaiting();
    Send(ServerInfoRequest(tail));
    Tally.InfoQueries.fetch_add(1);
    // The reply is the one whose tail carries this query's number.
    const std::optional<Datagram> reply = Await(ReplyLimit, [&](std::span<const uint8_t> datagram) {
        const std::optional<ServerInfoView> info = ParseServerInfo(datagram);
        if (!info) return false;
        const GameCheck check = CheckGameDatagram(info->Tail);
        return check.ConnectionId == InfoConnectionId && check.Sequence == sequence;
    });
    const std::optional<ServerInfoView> info = reply ? ParseServerInfo(*reply) : std::nullopt;
    const bool rewritten = info && info->AddressText == Plan.RelayAddressText &&
                           std::equal(info->Tail.begin(), info->Tail.end(), tail.begin(), tail.end());
    if (!rewritten) Tally.InfoFaults.fetch_add(1);
}

void ListenerLane::AskForBadReply() {
    const std::string_view tag = BadReplyTags[Random.Between(0, std::size(BadReplyTags) - 1)];
    DropWaiting();
    Send(ServerInfoRequest(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(tag.data()), tag.size())));
    Tally.BadInfoQueries.fetch_add(1);
    // Forwarding or dropping such a reply are both allowed; the relay must
    // merely keep serving, which the checked traffic around it shows.
    if (Await(BadReplyLimit, [](std::span<const uint8_t>) { return true; })) Tally.BadInfoAnswered.fetch_add(1);
}

void ListenerLane::QueryRemote() {
    const uint8_t none[4] = {0, 0, 0, 0};
    DropWaiting();
    Send(RemoteControlRequest(0, none, 0));
    Tally.RemoteQueries.fetch_add(1);
    const std::optional<Datagram> reply = Await(ReplyLimit, IsRemoteReply);
    const std::optional<RemoteTarget> target = reply ? ParseRemoteReply(*reply) : std::nullopt;
    const bool namesServer = target && std::equal(std::begin(target->Address), std::end(target->Address), Loopback) &&
                             target->Port == Plan.ServerPort;
    if (!namesServer) Tally.RemoteFaults.fetch_add(1);
}

void ListenerLane::SetRemote(uint8_t mode) {
    // The target stays the fake server: the set changes nothing that matters.
    const Datagram request = RemoteControlRequest(mode, Loopback, Plan.ServerPort);
    DropWaiting();
    Send(request);
    Tally.RemoteSets.fetch_add(1);
    const std::optional<Datagram> reply = Await(ReplyLimit, IsRemoteReply);
    if (!reply || *reply != request) Tally.RemoteFaults.fetch_add(1);
}

void ListenerLane::SendTruncatedRemote() {
    // Bytes a short request lacks count as zero: a short set may point the
    // relay anywhere, so a full set puts the target back at once.
    Datagram request = RemoteControlRequest(static_cast<uint8_t>(Random.Between(0, 255)), Loopback, Plan.ServerPort);
    request.resize(Random.Between(1, RemoteControlSize - 1));
    DropWaiting();
    Send(request);
    Tally.RemoteTruncated.fetch_add(1);
    // Whatever its length, the relay answers with a whole 11-byte packet.
    if (!Await(ReplyLimit, IsRemoteReply)) Tally.RemoteFaults.fetch_add(1);
    SetRemote(1);
}

void ListenerLane::SendRandomBytes() {
    Datagram bytes(Random.Between(1, 1400));
    Random.Fill(bytes);
    // 0x62 would start the QuakeWorld child, which lives for the rest of the
    // run; 0xA0 would be a set with a random target. Both have their own steps.
    if (bytes[0] == 0x62 || bytes[0] == RemoteControlByte) bytes[0] = 0x01;
    Send(bytes);
    Tally.RandomBytes.fetch_add(1);
}

void ListenerLane::SendOversized() {
    Datagram bytes(OversizeLength);
    Random.Fill(bytes);
    bytes[0] = ControlByte;
    Send(bytes);
    Tally.Oversized.fetch_add(1);
}

void ListenerLane::SendTruncatedControl() {
    Datagram request = Random.Between(0, 1) == 0 ? ConnectRequest() : ServerInfoRequest();
    request.resize(Random.Between(1, ControlRequestSize - 1));
    Send(request);
    Tally.TruncatedControl.fetch_add(1);
}

void ListenerLane::SendUnknownCommand() {
    Datagram request = ConnectRequest();
    const uint8_t commands[] = {0x00, 0x05, 0x81, 0x83, 0xFF};
    request[4] = commands[Random.Between(0, std::size(commands) - 1)];
    Send(request);
    Tally.UnknownCommands.fetch_add(1);
}

void ListenerLane::SendQuakeWorldLike() {
    // 'a' to 'z' except 'b' (0x62, the QuakeWorld connection request).
    Datagram bytes{static_cast<uint8_t>('c' + Random.Between(0, 'z' - 'c')), 's', 't', 'a', 't', 'u', 's'};
    Send(bytes);
    Tally.QuakeWorldLike.fetch_add(1);
}

void ListenerLane::Send(std::span<const uint8_t> datagram) { Socket.SendTo(Plan.ListenPort, datagram); }

void ListenerLane::DropWaiting() {
    while (Socket.TryReceive(Buffer)) {
    }
}

std::optional<Datagram> ListenerLane::Await(std::chrono::milliseconds limit,
                                            const std::function<bool(std::span<const uint8_t>)>& wanted) {
    const auto deadline = Clock::now() + limit;
    for (auto left = limit; left.count() > 0;
         left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())) {
        const std::optional<ReceivedDatagram> received = Socket.Receive(Buffer, left);
        if (!received) return std::nullopt;
        const std::span<const uint8_t> datagram(Buffer.data(), std::min(received->Length, Buffer.size()));
        if (wanted(datagram)) return Datagram(datagram.begin(), datagram.end());
    }
    return std::nullopt;
}

}  // namespace relvane::bench
