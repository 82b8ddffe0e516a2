#include "bench/FakeGameServer.h"

#include <algorithm>

#include "bench/GameWire.h"

namespace relvane::bench {
namespace {

constexpr uint64_t ControlKey = 0;
constexpr size_t BatchPerWake = 64;  // datagrams taken from one socket before the others get a turn

bool TailStartsWith(std::span<const uint8_t> tail, std::string_view tag) {
    return tail.size() >= tag.size() && std::equal(tag.begin(), tag.end(), tail.begin());
}

}  // namespace

std::unique_ptr<FakeGameServer> FakeGameServer::Start(size_t maxGamePorts) {
    std::optional<LoopbackSocket> control = LoopbackSocket::Open(1 << 20);
    std::optional<SocketPoller> poller = SocketPoller::Create();
    if (!control || !poller || !poller->Add(control->Handle(), ControlKey)) return nullptr;
    std::unique_ptr<FakeGameServer> server(
        new FakeGameServer(std::move(*control), std::move(*poller), std::max<size_t>(maxGamePorts, 1)));
    server->Worker = std::thread([raw = server.get()] { raw->Serve(); });
    return server;
}

FakeGameServer::FakeGameServer(LoopbackSocket control, SocketPoller poller, size_t maxGamePorts)
    : ControlSocket(std::move(control)),
      Poller(std::move(poller)),
      MaxGamePorts(maxGamePorts),
      OwnAddressText("127.0.0.1:" + std::to_string(ControlSocket.Port())),
      Buffer(65536) {}

FakeGameServer::~FakeGameServer() {
    Poller.Wake();
    if (Worker.joinable()) Worker.join();
}

void FakeGameServer::Serve() {
    std::vector<uint64_t> ready;
    while (Poller.Wait(ready, std::chrono::milliseconds(1000))) {
        for (const uint64_t key : ready) {
            if (key == ControlKey) HandleControl();
            else HandleGame(static_cast<size_t>(key - 1));
        }
    }
}

void FakeGameServer::HandleControl() {
    for (size_t taken = 0; taken < BatchPerWake; ++taken) {
        const std::optional<ReceivedDatagram> received = ControlSocket.TryReceive(Buffer);
        if (!received) return;
        const std::span<const uint8_t> request(Buffer.data(), std::min(received->Length, Buffer.size()));
        if (IsControlRequest(request, ConnectCommand)) AnswerConnect(received->FromPort);
        else if (IsControlRequest(request, ServerInfoCommand))
            AnswerServerInfo(received->FromPort, request.subspan(ControlRequestSize));
        else Count.Ignored.fetch_add(1);
    }
}

void FakeGameServer::AnswerConnect(uint16_t to) {
    size_t index = 0;
    if (GamePorts.size() < MaxGamePorts) {
        std::optional<LoopbackSocket> port = LoopbackSocket::Open(1 << 20);
        if (!port || !Poller.Add(port->Handle(), GamePorts.size() + 1)) {
            Count.SendFailures.fetch_add(1);
            return;
        }
        GamePorts.push_back(std::move(*port));
        index = GamePorts.size() - 1;
    } else {
        index = NextReused++ % GamePorts.size();
    }
    Send(ControlSocket, to, AcceptReply(GamePorts[index].Port()));
    Count.Accepts.fetch_add(1);
}

void FakeGameServer::AnswerServerInfo(uint16_t to, std::span<const uint8_t> tail) {
    if (AnswerBadly(to, tail)) {
        Count.BadReplies.fetch_add(1);
        return;
    }
    // The tail goes back as it came, so the asker can match the reply.
    Send(ControlSocket, to, ServerInfoReply(OwnAddressText, tail));
    Count.InfoReplies.fetch_add(1);
}

bool FakeGameServer::AnswerBadly(uint16_t to, std::span<const uint8_t> tail) {
    if (TailStartsWith(tail, BadReplyTagNoNul)) {
        Datagram reply = ServerInfoReply(OwnAddressText, {});
        reply.pop_back();  // the NUL that ends the address text
        reply.insert(reply.end(), BadReplyTagNoNul.begin(), BadReplyTagNoNul.end());
        reply[2] = static_cast<uint8_t>(reply.size() >> 8);
        reply[3] = static_cast<uint8_t>(reply.size() & 0xFF);
        Send(ControlSocket, to, reply);
    } else if (TailStartsWith(tail, BadReplyTagHuge)) {
        Datagram padding(OversizeLength - OwnAddressText.size() - 6, 'h');
        Send(ControlSocket, to, ServerInfoReply(OwnAddressText, padding));
    } else if (TailStartsWith(tail, BadReplyTagUnknown)) {
        Datagram reply{ControlByte, 0, 0, 0, 0x86};
        reply.insert(reply.end(), tail.begin(), tail.end());
        reply[3] = static_cast<uint8_t>(reply.size() & 0xFF);
        Send(ControlSocket, to, reply);
    } else if (TailStartsWith(tail, BadReplyTagReject)) {
        Send(ControlSocket, to, Datagram{ControlByte, 0, 0, 5, RejectCommand});
    } else if (TailStartsWith(tail, BadReplyTagShortAccept)) {
        Send(ControlSocket, to, Datagram{ControlByte, 0, 0, 7, AcceptCommand, 0x10, 0x27});
    } else {
        return false;
    }
    return true;
}

void FakeGameServer::HandleGame(size_t index) {
    LoopbackSocket& port = GamePorts[index];
    for (size_t taken = 0; taken < BatchPerWake; ++taken) {
        const std::optional<ReceivedDatagram> received = port.TryReceive(Buffer);
        if (!received) return;
        const std::span<const uint8_t> datagram(Buffer.data(), std::min(received->Length, Buffer.size()));
        if (const uint8_t flags = GameFlags(datagram); flags != 0 && CheckGameDatagram(datagram).Result ==
                                                                      GameCheck::Kind::Intact)
            SendExtras(port, received->FromPort, flags);
        Send(port, received->FromPort, datagram);
        Count.Echoes.fetch_add(1);
    }
}

void FakeGameServer::SendExtras(LoopbackSocket& socket, uint16_t to, uint8_t flags) {
    ByteStream random(ExtraSeed++);
    if (flags & GameFlagOversizeFirst) {
        Datagram oversize(OversizeLength);
        random.Fill(oversize);
        Send(socket, to, oversize);
        Count.ExtrasSent.fetch_add(1);
    }
    if (flags & GameFlagGarbageFirst) {
        Datagram garbage(random.Between(1, 200));
        random.Fill(garbage);
        if (garbage[0] == 'R') garbage[0] = 0;  // never the game magic
        Send(socket, to, garbage);
        Count.ExtrasSent.fetch_add(1);
    }
}

void FakeGameServer::Send(LoopbackSocket& socket, uint16_t to, std::span<const uint8_t> datagram) {
    if (!socket.SendTo(to, datagram)) Count.SendFailures.fetch_add(1);
}

}  // namespace relvane::bench
