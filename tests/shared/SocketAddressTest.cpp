#include "shared/SocketAddress.h"

#include <gtest/gtest.h>

namespace relvane {
namespace {

SocketAddress IpxAddress(std::array<uint8_t, 4> network, std::array<uint8_t, 6> node, uint16_t socketNumber) {
    SocketAddress address;
    address.SetFamily(FamilyIpx);
    std::copy(network.begin(), network.end(), address.Bytes.begin() + 2);
    std::copy(node.begin(), node.end(), address.Bytes.begin() + 6);
    address.SetIpxSocketNumber(socketNumber);
    return address;
}

TEST(SocketAddressTest, FormatIpxAddressWritesUppercaseZeroPaddedHex) {
    EXPECT_EQ(FormatIpxAddress(IpxAddress({0, 0, 0, 0x2A}, {0, 0, 0xC0, 0xA8, 0x01, 0x0F}, 0)), "0000002A:0000C0A8010F");
    EXPECT_EQ(FormatIpxAddress(IpxAddress({0, 0, 0, 0}, {0, 0, 0, 0, 0, 1}, 26000)), "00000000:000000000001");
}

TEST(SocketAddressTest, Ipv4FieldsUseNetworkOrderAndLittleEndianFamily) {
    const SocketAddress address = MakeIpv4Address({10, 1, 2, 3}, 26001);
    EXPECT_EQ(address.Bytes[0], 2);
    EXPECT_EQ(address.Bytes[1], 0);
    EXPECT_EQ(address.Bytes[2], 0x65);
    EXPECT_EQ(address.Bytes[3], 0x91);
    EXPECT_EQ(address.Port(), 26001);
    EXPECT_EQ(FormatDottedQuad(address.Ipv4()), "10.1.2.3");
}

}  // namespace
}  // namespace relvane
