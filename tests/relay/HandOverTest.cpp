// Server replies on a listener: logging, the connection hand-over, the
// server-information rewrite and the QuakeWorld hand-over.

#include <gtest/gtest.h>

#include <regex>

#include "RelayFixture.h"
#include "relay/ServerClassification.h"

namespace relvane::testing {
namespace {

Datagram AcceptReply(uint16_t port) {
    return Bytes({0x80, 0, 0, 9, 0x81, port & 0xFF, port >> 8, 0, 0});
}

const Datagram ConnectRequest = Bytes({0x80, 0, 0, 12, 1, 'Q', 'U', 'A', 'K', 'E', 0, 3});

class HandOverTest : public RelayFixture {
protected:
    EngineSettings Settings() override {
        EngineSettings settings = RelayFixture::Settings();
        settings.IdleTimeout = std::chrono::milliseconds(300);
        return settings;
    }

    // Client sends a connection request; returns the listener's server port.
    uint16_t RequestConnection(LoopbackPeer& client) {
        if (!client.SendTo(ListenPort, ConnectRequest)) return 0;
        const std::optional<Received> atServer = Server.Receive();
        return atServer ? atServer->From.Port() : 0;
    }

    static uint16_t PortInReply(const Datagram& reply) { return static_cast<uint16_t>(reply[5] | (reply[6] << 8)); }

    std::string LocalAddrText() {
        const std::string line = Window.Lines().at(0);
        return line.substr(std::string("TCP/IP initialized  : ").size());
    }
};

TEST_F(HandOverTest, ConnectionMovesToANewEndpointThatEndsAfterSilence) {
    LoopbackPeer gameSocket;  // the server's port for this connection
    const uint16_t oldPort = RequestConnection(Client);
    ASSERT_NE(oldPort, 0);
    ASSERT_TRUE(Server.SendTo(LoopbackAddress(oldPort), AcceptReply(gameSocket.Port())));

    const std::optional<Received> accepted = Client.Receive();
    ASSERT_TRUE(accepted);
    ASSERT_EQ(accepted->Data.size(), 9u);
    EXPECT_EQ(accepted->From.Port(), ListenPort);
    const uint16_t endpointPort = PortInReply(accepted->Data);
    EXPECT_NE(endpointPort, gameSocket.Port());
    EXPECT_EQ(Datagram(accepted->Data.begin(), accepted->Data.begin() + 5), Bytes({0x80, 0, 0, 9, 0x81}));
    EXPECT_EQ(Datagram(accepted->Data.begin() + 7, accepted->Data.end()), Bytes({0, 0}));
    const std::vector<std::string> lines = TrafficLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "New TCP/IP Connection CLocal : " + std::to_string(endpointPort) +
                            " SLocal : " + std::to_string(oldPort));
    EXPECT_EQ(lines[2], "Connection request accepted. ServerPort : " + std::to_string(gameSocket.Port()) +
                            " LocalPort : " + std::to_string(Server.Port()));
    EXPECT_EQ(Counters().Connections.load(), 1);

    // Game traffic flows through the endpoint, from the old port.
    ASSERT_TRUE(Client.SendTo(endpointPort, Bytes({0x01, 0x10})));
    const std::optional<Received> atGame = gameSocket.Receive();
    ASSERT_TRUE(atGame);
    EXPECT_EQ(atGame->Data, Bytes({0x01, 0x10}));
    EXPECT_EQ(atGame->From.Port(), oldPort);
    ASSERT_TRUE(gameSocket.SendTo(atGame->From, Bytes({0x02, 0x20})));
    const std::optional<Received> back = Client.Receive();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Data, Bytes({0x02, 0x20}));
    EXPECT_EQ(back->From.Port(), endpointPort);

    // The listener moved to a fresh server port.
    const uint16_t listenerNow = ListenerServerPort();
    EXPECT_NE(listenerNow, 0);
    EXPECT_NE(listenerNow, oldPort);

    // Silence ends the endpoint; with no connection left the counters go to 0.
    EXPECT_TRUE(Eventually([&] { return Counters().Connections.load() == 0; }));
    EXPECT_TRUE(Eventually([&] { return Counters().ClientPackets.load() == 0 && Counters().ServerPackets.load() == 0; }));
    EXPECT_TRUE(Eventually([&] { return Engine->RunningEndpoints() == 1; }));
}

TEST_F(HandOverTest, AcceptGoesToWhicheverClientSentLast) {
    LoopbackPeer secondClient;
    ASSERT_NE(RequestConnection(Client), 0);
    const uint16_t oldPort = RequestConnection(secondClient);
    ASSERT_NE(oldPort, 0);
    LoopbackPeer gameSocket;
    ASSERT_TRUE(Server.SendTo(LoopbackAddress(oldPort), AcceptReply(gameSocket.Port())));
    const std::optional<Received> accepted = secondClient.Receive();
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->Data[4], 0x81);
    EXPECT_TRUE(Client.NothingWithin(std::chrono::milliseconds(100)));
}

TEST_F(HandOverTest, FailedFreshServerSocketIsReopenedByTheNextClientDatagram) {
    Engine->Faults().FailFreshServerSockets = 1;
    LoopbackPeer gameSocket;
    const uint16_t oldPort = RequestConnection(Client);
    ASSERT_TRUE(Server.SendTo(LoopbackAddress(oldPort), AcceptReply(gameSocket.Port())));
    ASSERT_TRUE(Window.WaitForLine("Can't create socket"));
    const std::optional<Received> again = RelayToServer(Bytes({0x77}));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Data, Bytes({0x77}));
    EXPECT_NE(again->From.Port(), oldPort);
    EXPECT_TRUE(Client.NothingWithin(std::chrono::milliseconds(100)));  // the accept was not sent
}

TEST_F(HandOverTest, EndpointThatCannotServeGetsNoClientAndTheReplyIsDropped) {
    Engine->Faults().FailConnectionSetUps = 1;
    LoopbackPeer gameSocket;
    const uint16_t oldPort = RequestConnection(Client);
    ASSERT_TRUE(Server.SendTo(LoopbackAddress(oldPort), AcceptReply(gameSocket.Port())));
    ASSERT_TRUE(Window.WaitForLine("Connection hand-over failed, reply dropped"));
    EXPECT_TRUE(Window.HasLine("Can\"t create socket"));
    EXPECT_TRUE(Client.NothingWithin(std::chrono::milliseconds(100)));
    EXPECT_EQ(Counters().Connections.load(), 0);
    // The listener goes on, and the client's retry gets through.
    EXPECT_NE(RequestConnection(Client), 0);
}

TEST_F(HandOverTest, ServerInfoReplyNamesTheRelay) {
    const uint16_t serverPort = ListenerServerPort();
    const std::string oldText = "192.168.0.5:26000";
    const Datagram tail = Bytes({'Q', 'u', 'a', 'k', 'e', 0, 'e', '1', 'm', '1', 0, 3, 16, 3, 1, 2, 3});
    Datagram reply = Bytes({0x80, 0, 0, 40, 0x83});
    reply.insert(reply.end(), oldText.begin(), oldText.end());
    reply.push_back(0);
    reply.insert(reply.end(), tail.begin(), tail.end());
    ASSERT_EQ(reply.size(), 40u);
    ASSERT_TRUE(Server.SendTo(LoopbackAddress(serverPort), reply));

    const std::optional<Received> atClient = Client.Receive();
    ASSERT_TRUE(atClient);
    const std::string local = LocalAddrText();
    Datagram expected = Bytes({0x80, 0, 0, 0, 0x83});
    expected.insert(expected.end(), local.begin(), local.end());
    expected.push_back(0);
    expected.insert(expected.end(), tail.begin(), tail.end());
    expected[2] = static_cast<uint8_t>(expected.size() >> 8);
    expected[3] = static_cast<uint8_t>(expected.size() & 0xFF);
    EXPECT_EQ(atClient->Data, expected);
    EXPECT_TRUE(Window.HasLine("Server Info Reply from 127.0.0.1 Port " + std::to_string(Server.Port())));
}

TEST_F(HandOverTest, QuakeWorldAcceptanceReachesTheClientOnceFromTheNewEndpoint) {
    const uint16_t oldPort = ListenerServerPort();
    const Datagram acceptance = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 'j'});
    ASSERT_TRUE(Server.SendTo(LoopbackAddress(oldPort), acceptance));
    const std::optional<Received> atClient = Client.Receive();
    ASSERT_TRUE(atClient);
    EXPECT_EQ(atClient->Data, acceptance);
    EXPECT_NE(atClient->From.Port(), ListenPort);
    const std::vector<std::string> lines = TrafficLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "QuakeWorld Connection accepted");
    EXPECT_EQ(lines[1], "New TCP/IP Connection CLocal : " + std::to_string(atClient->From.Port()) +
                            " SLocal : " + std::to_string(oldPort));
    // The endpoint talks to the acceptance's source from the old port.
    ASSERT_TRUE(Client.SendTo(atClient->From, TextDatagram("new")));
    const std::optional<Received> atServer = Server.Receive();
    ASSERT_TRUE(atServer);
    EXPECT_EQ(atServer->From.Port(), oldPort);
    EXPECT_TRUE(Client.NothingWithin(std::chrono::milliseconds(100)));  // sent once only
}

struct ReplyCase {
    std::string Name;
    Datagram Data;
    std::string ExpectedLine;  // '#' stands for the server's port
};

class ServerReplyTest : public HandOverTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ServerReplyTest, LogsTheKindAndForwardsUnchanged) {
    const uint16_t serverPort = ListenerServerPort();
    ASSERT_TRUE(Server.SendTo(LoopbackAddress(serverPort), GetParam().Data));
    const std::optional<Received> atClient = Client.Receive();
    ASSERT_TRUE(atClient);
    EXPECT_EQ(atClient->Data, GetParam().Data);
    std::string expected = GetParam().ExpectedLine;
    if (const size_t marker = expected.find('#'); marker != std::string::npos)
        expected.replace(marker, 1, std::to_string(Server.Port()));
    const std::vector<std::string> lines = TrafficLines();
    if (expected.empty()) EXPECT_TRUE(lines.empty());
    else EXPECT_EQ(lines, std::vector<std::string>{expected});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServerReplyTest,
    ::testing::Values(
        ReplyCase{"LetterA", TextDatagram("a"), "Quake World Answer from Server"},
        ReplyCase{"LetterZ", TextDatagram("zz"), "Quake World Answer from Server"},
        ReplyCase{"Zero", Bytes({0x00, 1}), ""}, ReplyCase{"Backquote", Bytes({0x60}), ""},
        ReplyCase{"Brace", Bytes({0x7B}), ""}, ReplyCase{"FE", Bytes({0xFE, 1, 2}), ""},
        ReplyCase{"Rejected", Bytes({0x80, 0, 0, 6, 0x82, 'x'}), "Connection request rejected"},
        ReplyCase{"PlayerInfo", Bytes({0x80, 0, 0, 6, 0x84, 0}), "Player Info Reply from 127.0.0.1 Port #"},
        ReplyCase{"RuleInfo", Bytes({0x80, 0, 0, 6, 0x85, 0}), "Rule Info Reply from 127.0.0.1 Port #"},
        ReplyCase{"Unknown86", Bytes({0x80, 0, 0, 6, 0x86, 0}),
                  "Unknown Message From Server 134 127.0.0.1 Port # L\u00e4nge 6"},
        ReplyCase{"ClientCode1", Bytes({0x80, 0, 0, 5, 1}), "Unknown Message From Server 1 127.0.0.1 Port # L\u00e4nge 5"},
        ReplyCase{"ShortControl", Bytes({0x80, 0, 0}), "Unknown Message From Server 0 127.0.0.1 Port # L\u00e4nge 3"},
        ReplyCase{"ShortAccept", Bytes({0x80, 0, 0, 7, 0x81, 0x91, 0x65}),
                  "Short Connection Accept From Server 127.0.0.1 Port # L\u00e4nge 7"},
        ReplyCase{"InfoWithoutNul", Bytes({0x80, 0, 0, 8, 0x83, '1', '.', '2'}),
                  "Server Info Reply from 127.0.0.1 Port #"}),
    [](const auto& info) { return info.param.Name; });

TEST(ServerInfoRewriteTest, FortyByteExampleBecomesThirtySevenBytes) {
    std::vector<uint8_t> buffer(8192, 0xEE);
    const std::string oldText = "192.168.0.5:26000";
    const uint8_t head[] = {0x80, 0x07, 0x00, 0x28, 0x83};
    std::copy(std::begin(head), std::end(head), buffer.begin());
    std::copy(oldText.begin(), oldText.end(), buffer.begin() + 5);
    buffer[22] = 0;
    for (int i = 0; i < 17; ++i) buffer[23 + i] = static_cast<uint8_t>(i + 1);

    const std::optional<size_t> length = RewriteServerInfo(buffer, 40, "10.0.0.1:26000");
    ASSERT_EQ(length, 37u);
    EXPECT_EQ(buffer[1], 0x07);
    EXPECT_EQ(buffer[2], 0x00);
    EXPECT_EQ(buffer[3], 0x25);
    EXPECT_EQ(std::string(buffer.begin() + 5, buffer.begin() + 19), "10.0.0.1:26000");
    EXPECT_EQ(buffer[19], 0);
    for (int i = 0; i < 17; ++i) EXPECT_EQ(buffer[20 + i], i + 1);
}

TEST(ServerInfoRewriteTest, ShorterTextGrowsTheReply) {
    std::vector<uint8_t> buffer(64, 0);
    const uint8_t reply[] = {0x80, 0, 0, 10, 0x83, '1', '.', '2', 0, 9};
    std::copy(std::begin(reply), std::end(reply), buffer.begin());
    ASSERT_EQ(RewriteServerInfo(buffer, sizeof reply, "10.0.0.1:26000"), 21u);
    EXPECT_EQ(buffer[3], 21);
    EXPECT_EQ(buffer[20], 9);
}

TEST(ServerInfoRewriteTest, UnterminatedOrOversizedRewriteLeavesTheBufferUnchanged) {
    std::vector<uint8_t> buffer(16, 'x');
    buffer[4] = 0x83;
    buffer[15] = 0;  // a NUL beyond the reply must not count
    const std::vector<uint8_t> before = buffer;
    EXPECT_FALSE(RewriteServerInfo(buffer, 12, "1.2.3.4:5"));
    EXPECT_EQ(buffer, before);
    buffer[8] = 0;
    EXPECT_FALSE(RewriteServerInfo(buffer, 12, std::string(20, '9')));  // 12 - 3 + 20 > 16
}

}  // namespace
}  // namespace relvane::testing
