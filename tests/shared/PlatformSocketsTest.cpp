#include "shared/PlatformSockets.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "LoopbackPeer.h"

namespace relvane {
namespace {

using testing::LoopbackPeer;

TEST(PlatformSocketsTest, OversizedDatagramIsAFailureAndTheNextOneArrivesWhole) {
    UdpSocket receiver = UdpSocket::Open(FamilyIpv4);
    ASSERT_TRUE(receiver.Bind(MakeIpv4Address({127, 0, 0, 1}, 0)));
    const uint16_t port = receiver.LocalAddress()->Port();
    LoopbackPeer sender;
    ASSERT_TRUE(sender.SendTo(port, std::vector<uint8_t>(9000, 0x11)));
    ASSERT_TRUE(sender.SendTo(port, std::vector<uint8_t>(100, 0x22)));

    std::vector<uint8_t> buffer(8192);
    SocketAddress from;
    ASSERT_EQ(WaitReadable({&receiver}, nullptr, 5'000'000).Result, WaitOutcome::Kind::Ready);
    EXPECT_EQ(receiver.ReceiveFrom(buffer.data(), buffer.size(), from), -1);
    EXPECT_EQ(LastSocketError(), EMSGSIZE);
    ASSERT_EQ(WaitReadable({&receiver}, nullptr, 5'000'000).Result, WaitOutcome::Kind::Ready);
    EXPECT_EQ(receiver.ReceiveFrom(buffer.data(), buffer.size(), from), 100);
    EXPECT_EQ(from.Port(), sender.Port());
}

TEST(PlatformSocketsTest, IpxSocketsAreNotAvailableOnThisHost) {
    EXPECT_FALSE(UdpSocket::Open(FamilyIpx).IsValid());
}

TEST(PlatformSocketsTest, InetAddrConvertsDottedQuadsOnly) {
    EXPECT_EQ(InetAddr("10.0.0.5"), (Ipv4Bytes{10, 0, 0, 5}));
    EXPECT_EQ(InetAddr("quake.example"), InetAddrNone);
    EXPECT_EQ(InetAddr("255.255.255.255"), InetAddrNone);
}

TEST(PlatformSocketsTest, WakeSignalEndsAWaitWithoutTimeLimit) {
    UdpSocket socket = UdpSocket::Open(FamilyIpv4);
    ASSERT_TRUE(socket.Bind(MakeIpv4Address({127, 0, 0, 1}, 0)));
    WakeSignal wake;
    wake.Signal();
    const WaitOutcome outcome = WaitReadable({&socket}, &wake, -1);
    EXPECT_EQ(outcome.Result, WaitOutcome::Kind::Ready);
    EXPECT_TRUE(outcome.Woken);
    EXPECT_FALSE(outcome.Readable[0]);
}

}  // namespace
}  // namespace relvane
