#pragma once
// The 16-byte socket address record that both programs pass around.
//
// Layout (offsets in bytes):
//   IPv4: 0-1 family (2, little-endian), 2-3 port (network order),
//         4-7 address (network order), 8-15 zero.
//   IPX:  0-1 family (6, little-endian), 2-5 network number, 6-11 node number,
//         12-13 socket number (network order), 14-15 unused.
// Every field is read and written byte by byte, so the record means the same
// on every host whatever its byte order.

#include <array>
#include <cstdint>
#include <string>

namespace relvane {

inline constexpr uint16_t FamilyIpv4 = 2;
inline constexpr uint16_t FamilyIpx = 6;

using Ipv4Bytes = std::array<uint8_t, 4>;  // first byte = first number of the dotted quad

struct SocketAddress {
    std::array<uint8_t, 16> Bytes{};

    uint16_t Family() const;
    void SetFamily(uint16_t family);

    // IPv4 port as a host value (stored in network order).
    uint16_t Port() const;
    void SetPort(uint16_t port);

    Ipv4Bytes Ipv4() const;
    void SetIpv4(const Ipv4Bytes& address);

    // IPX socket number as a host value (stored in network order).
    uint16_t IpxSocketNumber() const;
    void SetIpxSocketNumber(uint16_t socketNumber);

    bool operator==(const SocketAddress&) const = default;
};

SocketAddress MakeIpv4Address(const Ipv4Bytes& address, uint16_t port);

// "a.b.c.d": four decimal numbers without leading zeros.
std::string FormatDottedQuad(const Ipv4Bytes& address);

// Network number as eight and node number as twelve uppercase hex digits,
// joined by a colon: "0000002A:0000C0A8010F".
std::string FormatIpxAddress(const SocketAddress& address);

}  // namespace relvane
