#pragma once
// The 11-byte remote-control request and reply.
//
//   offset size field
//   0      1    Kind           0xA0
//   1      1    Reserved       0 in requests; copied into replies
//   2      2    Length         11, little-endian
//   4      1    Mode           0 = query, anything else = set
//   5      4    TargetAddress  IPv4 address, network order (first dotted number first)
//   9      2    TargetPort     little-endian (26000 = 0x90 0x65)

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "SocketAddress.h"

namespace relvane {

struct RemoteControlPacket {
    static constexpr size_t Size = 11;
    static constexpr uint8_t KindByte = 0xA0;
    using Bytes = std::array<uint8_t, Size>;

    uint8_t Kind = 0;
    uint8_t Reserved = 0;
    uint16_t Length = 0;
    uint8_t Mode = 0;
    Ipv4Bytes TargetAddress{};
    uint16_t TargetPort = 0;

    bool IsQuery() const { return Mode == 0; }

    Bytes Encode() const;
    static RemoteControlPacket Decode(const Bytes& bytes);
    // Decodes the first 11 bytes of a datagram; bytes it lacks read as 0.
    static RemoteControlPacket DecodeDatagram(std::span<const uint8_t> datagram);

    static RemoteControlPacket Query();
    static RemoteControlPacket Set(const Ipv4Bytes& address, uint16_t port);

    bool operator==(const RemoteControlPacket&) const = default;
};

}  // namespace relvane
