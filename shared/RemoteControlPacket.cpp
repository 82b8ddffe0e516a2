#include "RemoteControlPacket.h"

#include <algorithm>

namespace relvane {

RemoteControlPacket::Bytes RemoteControlPacket::Encode() const {
    Bytes bytes{};
    bytes[0] = Kind;
    bytes[1] = Reserved;
    bytes[2] = static_cast<uint8_t>(Length & 0xFF);
    bytes[3] = static_cast<uint8_t>(Length >> 8);
    bytes[4] = Mode;
    std::copy(TargetAddress.begin(), TargetAddress.end(), bytes.begin() + 5);
    bytes[9] = static_cast<uint8_t>(TargetPort & 0xFF);
    bytes[10] = static_cast<uint8_t>(TargetPort >> 8);
    return bytes;
}

RemoteControlPacket RemoteControlPacket::Decode(const Bytes& bytes) {
    RemoteControlPacket packet;
    packet.Kind = bytes[0];
    packet.Reserved = bytes[1];
    packet.Length = static_cast<uint16_t>(bytes[2] | (bytes[3] << 8));
    packet.Mode = bytes[4];
    std::copy(bytes.begin() + 5, bytes.begin() + 9, packet.TargetAddress.begin());
    packet.TargetPort = static_cast<uint16_t>(bytes[9] | (bytes[10] << 8));
    return packet;
}

RemoteControlPacket RemoteControlPacket::DecodeDatagram(std::span<const uint8_t> datagram) {
    Bytes bytes{};
    std::copy_n(datagram.begin(), std::min(datagram.size(), Size), bytes.begin());
    return Decode(bytes);
}

RemoteControlPacket RemoteControlPacket::Query() {
    RemoteControlPacket packet;
    packet.Kind = KindByte;
    packet.Length = Size;
    return packet;
}

RemoteControlPacket RemoteControlPacket::Set(const Ipv4Bytes& address, uint16_t port) {
    RemoteControlPacket packet = Query();
    packet.Mode = 1;
    packet.TargetAddress = address;
    packet.TargetPort = port;
    return packet;
}

}  // namespace relvane
