// The relay's remote-control service, through a real listener.

#include <gtest/gtest.h>

#include "RelayFixture.h"

namespace relvane::testing {
namespace {

class RemoteControlTest : public RelayFixture {
protected:
    // Sends a request to the listening port and returns the reply.
    std::optional<Received> Ask(const Datagram& request) {
        if (!Client.SendTo(ListenPort, request)) return std::nullopt;
        return Client.Receive();
    }
};

TEST_F(RemoteControlTest, QueryAnswersTheWindowsTargetFromTheListeningPort) {
    Window.SetTarget("10.0.0.5", "26001");
    const std::optional<Received> reply = Ask(Bytes({0xA0, 0, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Data, Bytes({0xA0, 0, 0x0B, 0, 0, 10, 0, 0, 5, 0x91, 0x65}));
    EXPECT_EQ(reply->From.Port(), ListenPort);
    EXPECT_EQ(TrafficLines(), std::vector<std::string>{"Remote Control Query"});
    EXPECT_EQ(Counters().ClientPackets.load(), 1);
    EXPECT_TRUE(Window.History().empty());  // no target was resolved
}

struct QueryCase {
    std::string Name;
    std::string ServerText;
    std::string PortText;
    Datagram ExpectedTarget;  // bytes 5 to 10 of the reply
};

class RemoteQueryTest : public RemoteControlTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(RemoteQueryTest, AnswersWithTheFieldsAsConverted) {
    Window.SetTarget(GetParam().ServerText, GetParam().PortText);
    const std::optional<Received> reply = Ask(Bytes({0xA0, 0, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->Data.size(), 11u);
    EXPECT_EQ(Datagram(reply->Data.begin() + 5, reply->Data.end()), GetParam().ExpectedTarget);
}

INSTANTIATE_TEST_SUITE_P(Cases, RemoteQueryTest,
                         ::testing::Values(QueryCase{"HostName", "quake.example", "26000", Bytes({255, 255, 255, 255, 0x90, 0x65})},
                                           QueryCase{"EmptyPort", "10.0.0.5", "     ", Bytes({10, 0, 0, 5, 0x90, 0x65})},
                                           QueryCase{"LargePort", "1.2.3.4", "70000", Bytes({1, 2, 3, 4, 0x70, 0x11})}),
                         [](const auto& info) { return info.param.Name; });

TEST_F(RemoteControlTest, SetWritesBothFieldsAndRepliesWithTheRequest) {
    const Datagram request = Bytes({0xA0, 0, 0x0B, 0, 1, 192, 168, 1, 20, 0x79, 0x69});
    const std::optional<Received> reply = Ask(request);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Data, request);
    EXPECT_EQ(Window.PortText(), "27001");
    EXPECT_EQ(Window.ServerText(), "192.168.1.20");
    EXPECT_EQ(TrafficLines(), std::vector<std::string>{"Remote Controle Set "});
    EXPECT_TRUE(Server.NothingWithin(std::chrono::milliseconds(100)));  // nothing went to the game server
}

TEST_F(RemoteControlTest, AnyNonZeroModeIsASetAndPortZeroIsWritten) {
    const Datagram request = Bytes({0xA0, 0, 0x0B, 0, 7, 10, 0, 0, 7, 0, 0});
    const std::optional<Received> reply = Ask(request);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Data, request);
    EXPECT_EQ(Window.PortText(), "0");
    EXPECT_EQ(Window.ServerText(), "10.0.0.7");
}

TEST_F(RemoteControlTest, LongRequestIsServedFromItsFirstElevenBytes) {
    Datagram request = Bytes({0xA0, 0, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0});
    request.resize(20, 0x55);
    Window.SetTarget("10.0.0.5", "26001");
    const std::optional<Received> reply = Ask(request);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Data, Bytes({0xA0, 0, 0x0B, 0, 0, 10, 0, 0, 5, 0x91, 0x65}));
}

TEST_F(RemoteControlTest, ShortRequestReadsItsMissingBytesAsZero) {
    // Mode is missing: a query, answered with 11 bytes.
    Window.SetTarget("10.0.0.5", "26001");
    const std::optional<Received> reply = Ask(Bytes({0xA0, 0x00}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Data, Bytes({0xA0, 0, 0, 0, 0, 10, 0, 0, 5, 0x91, 0x65}));
}

TEST_F(RemoteControlTest, SetAppliesToTheNextGameDatagramAndItsHistory) {
    LoopbackPeer newServer;
    ASSERT_TRUE(Ask(Bytes({0xA0, 0, 0x0B, 0, 1, 127, 0, 0, 1, static_cast<int>(newServer.Port() & 0xFF),
                           static_cast<int>(newServer.Port() >> 8)})));
    EXPECT_TRUE(Window.History().empty());
    ASSERT_TRUE(Client.SendTo(ListenPort, Bytes({0x42})));
    const std::optional<Received> atNew = newServer.Receive();
    ASSERT_TRUE(atNew);
    EXPECT_EQ(atNew->Data, Bytes({0x42}));
    EXPECT_EQ(Window.History(), std::vector<std::string>{"127.0.0.1"});
}

// A relay whose remote control is limited to the sources AllowText() lists.
class AllowListFixture : public RelayFixture {
protected:
    virtual std::string AllowText() const = 0;
    EngineSettings Settings() override {
        EngineSettings settings = RelayFixture::Settings();
        settings.RemoteAllow = RemoteAllowList::Parse(AllowText());
        return settings;
    }
};

class GuardedRemoteControlTest : public AllowListFixture {
    std::string AllowText() const override { return " 10.9.9.9 , 127.0.0.1"; }
};

TEST_F(GuardedRemoteControlTest, ListedSourceIsServed) {
    Window.SetTarget("10.0.0.5", "26001");
    ASSERT_TRUE(Client.SendTo(ListenPort, Bytes({0xA0, 0, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0})));
    const std::optional<Received> reply = Client.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Data, Bytes({0xA0, 0, 0x0B, 0, 0, 10, 0, 0, 5, 0x91, 0x65}));
}

class RefusingRemoteControlTest : public AllowListFixture {
    std::string AllowText() const override { return "10.9.9.9"; }
};

TEST_F(RefusingRemoteControlTest, FloodOfSetsFromAnUnlistedSourceNeverChangesTheTarget) {
    Window.SetTarget("127.0.0.1", std::to_string(Server.Port()));
    constexpr int Floods = 100;
    for (int i = 0; i < Floods; ++i)
        ASSERT_TRUE(Client.SendTo(ListenPort, Bytes({0xA0, 0, 0x0B, 0, 1, 10, 6, 6, 6, 0x90, 0x65})));
    // A game datagram after the flood still goes to the old target.
    const std::optional<Received> atServer = RelayToServer(Bytes({0x33}));
    ASSERT_TRUE(atServer);
    EXPECT_EQ(atServer->Data, Bytes({0x33}));
    EXPECT_EQ(Window.ServerText(), "127.0.0.1");
    EXPECT_TRUE(Client.NothingWithin(std::chrono::milliseconds(100)));  // no reply to any of them
    const std::string refused = "Remote Control refused from 127.0.0.1 Port " + std::to_string(Client.Port());
    const std::vector<std::string> lines = TrafficLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), refused), Floods);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Remote Controle Set "), 0);
}

TEST(RemoteAllowListTest, ParsesCommaSeparatedAddressesAndKeepsUnreadableOnesAside) {
    EXPECT_FALSE(RemoteAllowList::Parse("   "));
    const std::optional<RemoteAllowList> list = RemoteAllowList::Parse("127.0.0.1, quake.example,,10.0.0.2 ");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->Addresses, (std::vector<Ipv4Bytes>{{127, 0, 0, 1}, {10, 0, 0, 2}}));
    EXPECT_EQ(list->Unreadable, std::vector<std::string>{"quake.example"});
    EXPECT_TRUE(list->Allows(LoopbackAddress(5)));
    EXPECT_FALSE(list->Allows(MakeIpv4Address({10, 0, 0, 3}, 5)));
}

}  // namespace
}  // namespace relvane::testing
