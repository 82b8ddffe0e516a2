// The listener's QuakeWorld child: made on the first 'b' datagram, re-pointed
// on every later one, following the server's source and never timing out.

#include <gtest/gtest.h>

#include <regex>

#include "RelayFixture.h"

namespace relvane::testing {
namespace {

class QuakeWorldChildTest : public RelayFixture {
protected:
    EngineSettings Settings() override {
        EngineSettings settings = RelayFixture::Settings();
        settings.IdleTimeout = std::chrono::milliseconds(200);
        ChildPort = settings.QwChildPort;
        return settings;
    }

    // The child's client-side port, from its set-up line.
    uint16_t ChildClientPort() {
        const std::optional<std::string> line = Window.WaitForLine("New TCP/IP Connection CLocal : ");
        std::smatch match;
        if (!line || !std::regex_match(*line, match, std::regex(R"(New TCP/IP Connection CLocal : (\d+) SLocal : (\d+))")))
            return 0;
        EXPECT_EQ(match[2].str(), std::to_string(ChildPort));
        return static_cast<uint16_t>(std::stoi(match[1].str()));
    }

    uint16_t ChildPort = 0;
};

TEST_F(QuakeWorldChildTest, FirstRequestMakesAChildThatRelaysBetweenServerAndClient) {
    const Datagram request = TextDatagram("bconnect");
    const std::optional<Received> forwarded = RelayToServer(request);
    ASSERT_TRUE(forwarded);
    EXPECT_EQ(forwarded->Data, request);  // the request itself goes through the listener
    const uint16_t childClientPort = ChildClientPort();
    ASSERT_NE(childClientPort, 0);
    EXPECT_EQ(TrafficLines().at(0), "Quake World Connection Request from Client");
    EXPECT_EQ(Counters().Connections.load(), 1);

    ASSERT_TRUE(Server.SendTo(ChildPort, TextDatagram("jchallenge")));
    const std::optional<Received> atClient = Client.Receive();
    ASSERT_TRUE(atClient);
    EXPECT_EQ(atClient->Data, TextDatagram("jchallenge"));
    EXPECT_EQ(atClient->From.Port(), childClientPort);

    // The child's server address followed the source of the server datagram.
    ASSERT_TRUE(Client.SendTo(childClientPort, TextDatagram("move")));
    const std::optional<Received> atServer = Server.Receive();
    ASSERT_TRUE(atServer);
    EXPECT_EQ(atServer->Data, TextDatagram("move"));
    EXPECT_EQ(atServer->From.Port(), ChildPort);
}

TEST_F(QuakeWorldChildTest, LaterRequestFromAnotherClientRepointsTheChild) {
    ASSERT_TRUE(RelayToServer(TextDatagram("b1")));
    ASSERT_NE(ChildClientPort(), 0);
    LoopbackPeer secondClient;
    ASSERT_TRUE(secondClient.SendTo(ListenPort, TextDatagram("b2")));
    ASSERT_TRUE(Server.Receive());

    ASSERT_TRUE(Server.SendTo(ChildPort, TextDatagram("jx")));
    const std::optional<Received> atSecond = secondClient.Receive();
    ASSERT_TRUE(atSecond);
    EXPECT_EQ(atSecond->Data, TextDatagram("jx"));
    EXPECT_EQ(Counters().Connections.load(), 1);  // still one child
    const std::vector<std::string> lines = Window.Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.rfind("New TCP/IP Connection", 0) == 0; }),
              1);
}

TEST_F(QuakeWorldChildTest, ChildHasNoIdleTimeout) {
    ASSERT_TRUE(RelayToServer(TextDatagram("b")));
    const uint16_t childClientPort = ChildClientPort();
    ASSERT_NE(childClientPort, 0);
    // Several idle limits pass; the child still relays afterwards.
    EXPECT_TRUE(Client.NothingWithin(std::chrono::milliseconds(700)));
    EXPECT_EQ(Counters().Connections.load(), 1);
    ASSERT_TRUE(Server.SendTo(ChildPort, TextDatagram("jstill")));
    const std::optional<Received> atClient = Client.Receive();
    ASSERT_TRUE(atClient);
    EXPECT_EQ(atClient->From.Port(), childClientPort);
}

TEST_F(QuakeWorldChildTest, SecondListenersChildCannotBindAndIsKeptNotReplaced) {
    ASSERT_TRUE(RelayToServer(TextDatagram("b")));
    ASSERT_NE(ChildClientPort(), 0);
    const uint16_t secondListener = Engine->StartListener(FamilyIpv4, 0);
    ASSERT_NE(secondListener, 0);
    const size_t before = Window.LineCount();
    ASSERT_TRUE(Client.SendTo(secondListener, TextDatagram("b")));
    const std::optional<Received> forwarded = Server.Receive();
    ASSERT_TRUE(forwarded);  // forwarded as usual
    ASSERT_TRUE(Window.WaitForLine("Can\"t bind socket", std::chrono::seconds(5), before));
    ASSERT_TRUE(Client.SendTo(secondListener, TextDatagram("b")));
    ASSERT_TRUE(Server.Receive());
    const std::vector<std::string> lines = Window.Lines();
    EXPECT_EQ(std::count(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end(), "Can\"t bind socket"), 1);
    EXPECT_EQ(Counters().Connections.load(), 1);
}

}  // namespace
}  // namespace relvane::testing
