#include "shared/RemoteControlPacket.h"

#include <gtest/gtest.h>

namespace relvane {
namespace {

using Bytes = RemoteControlPacket::Bytes;

TEST(RemoteControlPacketTest, QueryAndSetEncodeByteForByte) {
    EXPECT_EQ(RemoteControlPacket::Query().Encode(), (Bytes{0xA0, 0, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(RemoteControlPacket::Set({192, 168, 0, 5}, 26000).Encode(),
              (Bytes{0xA0, 0, 0x0B, 0, 1, 0xC0, 0xA8, 0, 5, 0x90, 0x65}));
}

TEST(RemoteControlPacketTest, DecodeReadsLittleEndianPortAndNetworkOrderAddress) {
    const RemoteControlPacket packet =
        RemoteControlPacket::Decode(Bytes{0xA0, 7, 0x0B, 0, 0, 0x0A, 0, 0, 7, 0x6C, 0x6B});
    EXPECT_EQ(packet.TargetAddress, (Ipv4Bytes{10, 0, 0, 7}));
    EXPECT_EQ(packet.TargetPort, 27500);
    EXPECT_EQ(packet.Reserved, 7);
    EXPECT_EQ(packet.Length, 11);
    EXPECT_TRUE(packet.IsQuery());
}

TEST(RemoteControlPacketTest, DecodeThenEncodeGivesTheSameBytes) {
    const Bytes original{0xA0, 0xFE, 0x34, 0x12, 7, 1, 2, 3, 4, 0xFF, 0xEE};
    EXPECT_EQ(RemoteControlPacket::Decode(original).Encode(), original);
}

TEST(RemoteControlPacketTest, DatagramShorterThanElevenBytesReadsMissingBytesAsZero) {
    const uint8_t shortDatagram[] = {0xA0, 0, 0x0B, 0, 1, 10};
    const RemoteControlPacket packet = RemoteControlPacket::DecodeDatagram(shortDatagram);
    EXPECT_EQ(packet.Encode(), (Bytes{0xA0, 0, 0x0B, 0, 1, 10, 0, 0, 0, 0, 0}));
    uint8_t longDatagram[20] = {0xA0, 0, 0x0B, 0, 0};
    longDatagram[15] = 0x55;
    EXPECT_EQ(RemoteControlPacket::DecodeDatagram(longDatagram).Encode(), (Bytes{0xA0, 0, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace relvane
