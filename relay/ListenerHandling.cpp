// The steps of UdpThread that only listeners take: classifying client
// datagrams (with the QuakeWorld child and remote control), classifying
// server replies, and the two hand-overs of a connection to a new endpoint.

#include "relay/UdpThread.h"

#include <array>
#include <cstring>

#include "relay/ClientClassification.h"
#include "relay/RelayEngine.h"
#include "relay/RemoteControlService.h"
#include "relay/ServerClassification.h"

namespace relvane {

// --- Client datagrams ---------------------------------------------------------

bool UdpThread::ClassifyClientPacket(std::span<const uint8_t> gameData, size_t receivedLength,
                                     const SocketAddress& source) {
    const ClientVerdict verdict = ClassifyClientDatagram(gameData, receivedLength, SourceText(source), SourcePort(source));
    if (!verdict.LogLine.empty()) Log(verdict.LogLine);
    switch (verdict.Kind) {
        case ClientDatagramKind::QuakeWorldConnect: StartOrRepointQuakeWorldChild(source); return true;
        case ClientDatagramKind::RemoteControl: HandleRemoteControl(gameData, source); return false;
        case ClientDatagramKind::Forward: return true;
    }
    return true;
}

void UdpThread::StartOrRepointQuakeWorldChild(const SocketAddress& source) {
    if (QwChild) return QwChild->FollowQuakeWorldClient(source);
    // Created once; kept even when its set-up fails (port taken), so that a
    // second child is never made.
    QwChild = Create(Engine, source, 0, source, Engine.Settings().QwChildPort, Family, false);
    // In force before the child first waits, so it never ends for silence.
    QwChild->FollowQuakeWorldClient(source);
    QwChild->Start();
}

void UdpThread::HandleRemoteControl(std::span<const uint8_t> gameData, const SocketAddress& from) {
    const std::optional<RemoteAllowList>& allowed = Engine.Settings().RemoteAllow;
    if (allowed && !allowed->Allows(from)) {
        return Log("Remote Control refused from " + SourceText(from) + " Port " + std::to_string(SourcePort(from)));
    }
    const RemoteControlPacket request = RemoteControlPacket::DecodeDatagram(gameData);
    const RemoteControlPacket::Bytes reply = ServeRemoteControl(request, Engine.Window()).Encode();
    // Answered from the port the request reached, with the prefix on IPX.
    std::array<uint8_t, PrefixRoom + RemoteControlPacket::Size> datagram{};
    const size_t prefix = Family == FamilyIpx ? PrefixRoom : 0;
    std::memcpy(datagram.data() + prefix, reply.data(), reply.size());
    if (ClientSocket.SendTo(datagram.data(), prefix + reply.size(), from) < 0) Log("Remote Control Error");
}

// --- Server replies -------------------------------------------------------------

std::optional<size_t> UdpThread::ClassifyServerPacket(size_t length, const SocketAddress& source) {
    const std::string sourceText = FormatDottedQuad(source.Ipv4());
    const ServerVerdict verdict =
        ClassifyServerDatagram(std::span<const uint8_t>(Data(), length), sourceText, source.Port());
    switch (verdict.Kind) {
        case ServerReplyKind::Forward:
            if (!verdict.LogLine.empty()) Log(verdict.LogLine);
            return length;
        case ServerReplyKind::ConnectionAccepted: return ConnectionHandOver(length, source);
        case ServerReplyKind::ServerInfo: {
            // A reply whose text has no end, or that would outgrow the buffer,
            // goes on unchanged.
            const std::optional<size_t> rewritten =
                RewriteServerInfo(std::span<uint8_t>(Data(), BufferSize), length, LocalAddrText);
            Log(ServerInfoLine(sourceText, source.Port()));
            return rewritten.value_or(length);
        }
        case ServerReplyKind::QuakeWorldAccepted: QuakeWorldHandOver(length, source); return std::nullopt;
    }
    return length;
}

std::optional<uint16_t> UdpThread::CloseServerSocketForHandOver() {
    const std::optional<SocketAddress> local = ServerSocket.LocalAddress();
    if (!ServerSocket.Close()) {
        Log("Can't close socket");
        return std::nullopt;
    }
    return local ? local->Port() : 0;
}

bool UdpThread::OpenListenerServerSocket() {
    if (!FaultInjection::Take(Engine.Faults().FailFreshServerSockets)) ServerSocket = UdpSocket::Open(FamilyIpv4);
    if (!ServerSocket.IsValid()) {
        Log("Can't create socket");
        return false;
    }
    if (!ServerSocket.Bind(ServerBind)) {
        // Closed, so that the next client datagram opens a new one.
        ServerSocket.Close();
        Log("Can't bind socket");
        return false;
    }
    return true;
}

std::optional<size_t> UdpThread::ConnectionHandOver(size_t length, const SocketAddress& source) {
    const std::span<uint8_t> reply(Data(), length);
    const uint16_t acceptedPort = ReadAcceptedPort(reply);
    const std::optional<uint16_t> oldPort = CloseServerSocketForHandOver();
    if (!oldPort) return std::nullopt;
    SocketAddress server = ServerAddr;
    server.SetPort(acceptedPort);
    SocketAddress client;
    {
        std::lock_guard lock(ChildLock);
        client = ClientAddr;
    }
    const std::shared_ptr<UdpThread> endpoint = Create(Engine, client, 0, server, *oldPort, Family, false);
    const std::optional<SocketAddress> endpointLocal = endpoint->ClientLocalAddress();
    // Without a working endpoint on a known port the rewritten reply would
    // send the client nowhere; it is dropped below and the client asks again.
    const bool handedOver = *oldPort != 0 && endpoint->CanServe() && endpointLocal.has_value();
    if (handedOver)
        WriteAcceptedPort(reply, Family == FamilyIpx ? endpointLocal->IpxSocketNumber() : endpointLocal->Port());
    endpoint->Start();
    if (!OpenListenerServerSocket()) return std::nullopt;
    Log(ConnectionAcceptedLine(acceptedPort, source.Port()));
    if (!handedOver) {
        Log("Connection hand-over failed, reply dropped");
        return std::nullopt;
    }
    return length;
}

void UdpThread::QuakeWorldHandOver(size_t length, const SocketAddress& source) {
    Log("QuakeWorld Connection accepted");
    const std::optional<uint16_t> oldPort = CloseServerSocketForHandOver();
    if (!oldPort || !OpenListenerServerSocket()) return;
    SocketAddress client;
    {
        std::lock_guard lock(ChildLock);
        client = ClientAddr;
    }
    const std::shared_ptr<UdpThread> endpoint = Create(Engine, client, 0, source, *oldPort, Family, false);
    // The new endpoint, not the listener, answers the client.
    if (!endpoint->SendToClient(std::span<const uint8_t>(Data(), length))) ErrorBox("Server Send Error");
    endpoint->Start();
}

}  // namespace relvane
