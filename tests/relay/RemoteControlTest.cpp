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

}  // namespace
}  // namespace relvane::testing
