#include "LoopbackPeer.h"

#include <stdexcept>

namespace relvane::testing {

LoopbackPeer::LoopbackPeer() : Socket(UdpSocket::Open(FamilyIpv4)) {
    if (!Socket.IsValid() || !Socket.Bind(LoopbackAddress(0))) throw std::runtime_error("loopback socket");
    LocalPort = Socket.LocalAddress()->Port();
}

bool LoopbackPeer::SendTo(uint16_t port, const Datagram& datagram) { return SendTo(LoopbackAddress(port), datagram); }

bool LoopbackPeer::SendTo(const SocketAddress& to, const Datagram& datagram) {
    return Socket.SendTo(datagram.data(), datagram.size(), to) == static_cast<int>(datagram.size());
}

std::optional<Received> LoopbackPeer::Receive(std::chrono::milliseconds limit) {
    const WaitOutcome outcome =
        WaitReadable({&Socket}, nullptr, std::chrono::duration_cast<std::chrono::microseconds>(limit).count());
    if (outcome.Result != WaitOutcome::Kind::Ready) return std::nullopt;
    Received received;
    received.Data.resize(65536);
    const int length = Socket.ReceiveFrom(received.Data.data(), received.Data.size(), received.From);
    if (length < 0) return std::nullopt;
    received.Data.resize(static_cast<size_t>(length));
    return received;
}

bool LoopbackPeer::NothingWithin(std::chrono::milliseconds limit) { return !Receive(limit).has_value(); }

Datagram Bytes(std::initializer_list<int> values) {
    Datagram datagram;
    for (int value : values) datagram.push_back(static_cast<uint8_t>(value));
    return datagram;
}

Datagram TextDatagram(const std::string& text) { return Datagram(text.begin(), text.end()); }

}  // namespace relvane::testing
