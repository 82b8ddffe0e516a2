// The relay endpoint's forwarding, counters, target resolution and failures.

#include <gtest/gtest.h>

#include "RelayFixture.h"

namespace relvane::testing {
namespace {

using EndpointTest = RelayFixture;

TEST_F(EndpointTest, ForwardsBothWaysAndCountsEachSide) {
    const Datagram request = Bytes({0x01, 0x02, 0x03});
    const std::optional<Received> atServer = RelayToServer(request);
    ASSERT_TRUE(atServer);
    EXPECT_EQ(atServer->Data, request);
    EXPECT_NE(atServer->From.Port(), ListenPort);  // sent from the listener's server side

    const Datagram reply = Bytes({0x09, 0x08});
    ASSERT_TRUE(Server.SendTo(atServer->From, reply));
    const std::optional<Received> atClient = Client.Receive();
    ASSERT_TRUE(atClient);
    EXPECT_EQ(atClient->Data, reply);
    EXPECT_EQ(atClient->From.Port(), ListenPort);
    EXPECT_EQ(Counters().ClientPackets.load(), 1);
    EXPECT_EQ(Counters().ServerPackets.load(), 1);
    EXPECT_EQ(Window.History(), std::vector<std::string>{"127.0.0.1"});
}

TEST_F(EndpointTest, TargetChangeAppliesFromTheNextDatagram) {
    ASSERT_TRUE(RelayToServer(Bytes({0x01})));
    LoopbackPeer otherServer;
    Window.SetTarget("127.0.0.1", "  " + std::to_string(otherServer.Port()) + " ");
    ASSERT_TRUE(Client.SendTo(ListenPort, Bytes({0x02})));
    const std::optional<Received> atOther = otherServer.Receive();
    ASSERT_TRUE(atOther);
    EXPECT_EQ(atOther->Data, Bytes({0x02}));
}

TEST_F(EndpointTest, UnresolvableServerNameIsLoggedForEveryDatagramAndStillEntersHistory) {
    Window.SetTarget("no-such-host.invalid", std::to_string(Server.Port()));
    ASSERT_TRUE(Client.SendTo(ListenPort, Bytes({0x01})));
    ASSERT_TRUE(Window.WaitForLine("Can't resolve Servername"));
    ASSERT_TRUE(Client.SendTo(ListenPort, Bytes({0x02})));
    ASSERT_TRUE(Eventually([&] { return TrafficLines().size() == 2; }));
    EXPECT_EQ(TrafficLines(), (std::vector<std::string>{"Can't resolve Servername", "Can't resolve Servername"}));
    EXPECT_EQ(Window.History(), std::vector<std::string>{"no-such-host.invalid"});
    EXPECT_TRUE(Server.NothingWithin(std::chrono::milliseconds(200)));
}

TEST_F(EndpointTest, OversizedDatagramIsDroppedWholeAndNotCounted) {
    ASSERT_TRUE(Client.SendTo(ListenPort, Datagram(9000, 0x33)));
    ASSERT_TRUE(Window.WaitForLine("Client Receive Error"));
    EXPECT_EQ(Counters().ClientPackets.load(), 0);
    const std::optional<Received> next = RelayToServer(Bytes({0x05}));
    ASSERT_TRUE(next);
    EXPECT_EQ(next->Data, Bytes({0x05}));  // the oversized one never reached the server

    ASSERT_TRUE(Server.SendTo(next->From, Datagram(9000, 0x44)));
    ASSERT_TRUE(Window.WaitForLine("Server Receive Error"));
    EXPECT_EQ(Counters().ServerPackets.load(), 0);
}

TEST_F(EndpointTest, EmptyDatagramIsForwardedAsEmpty) {
    const std::optional<Received> atServer = RelayToServer({});
    ASSERT_TRUE(atServer);
    EXPECT_TRUE(atServer->Data.empty());
    EXPECT_TRUE(TrafficLines().empty());
}

TEST_F(EndpointTest, ListeningPortTakenLogsCantBindAndTheListenerNeverRelays) {
    EXPECT_EQ(Engine->StartListener(FamilyIpv4, ListenPort), 0);
    EXPECT_TRUE(Window.WaitForLine("Can\"t bind socket"));
    EXPECT_TRUE(RelayToServer(Bytes({0x07})));  // the first listener goes on
}

TEST_F(EndpointTest, IpxListenerFailsWithSetsockoptErrorAndIpv4ListenerIsUnaffected) {
    EXPECT_EQ(Engine->StartListener(FamilyIpx, 26000), 0);
    EXPECT_EQ(Window.Lines().back(), "Setsockopt Error");
    EXPECT_TRUE(RelayToServer(Bytes({0x07})));
    EXPECT_TRUE(Window.ErrorBoxes().empty());
}

TEST_F(EndpointTest, ListenerSetUpLogsItsAddressAndEndingAtZeroConnectionsResetsCounters) {
    const std::string initLine = Window.Lines().at(0);
    EXPECT_EQ(initLine.rfind("TCP/IP initialized  : ", 0), 0u);
    EXPECT_EQ(initLine.substr(initLine.rfind(':') + 1), std::to_string(ListenPort)) << initLine;
    ASSERT_TRUE(RelayToServer(Bytes({0x01})));
    EXPECT_EQ(Counters().ClientPackets.load(), 1);
    Engine->Shutdown();
    EXPECT_EQ(Engine->RunningEndpoints(), 0);
    EXPECT_EQ(Counters().ClientPackets.load(), 0);
}

}  // namespace
}  // namespace relvane::testing
