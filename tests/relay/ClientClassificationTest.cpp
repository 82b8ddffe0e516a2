// How a listener logs and relays each kind of client datagram.

#include <gtest/gtest.h>

#include "RelayFixture.h"

namespace relvane::testing {
namespace {

struct ClientCase {
    std::string Name;
    Datagram Data;
    std::string ExpectedLine;  // the client's port is appended where the line names it
    bool NamesSource;
};

class ClientClassificationTest : public RelayFixture, public ::testing::WithParamInterface<ClientCase> {};

TEST_P(ClientClassificationTest, LogsTheKindAndForwardsUnchanged) {
    const ClientCase& testCase = GetParam();
    const std::optional<Received> atServer = RelayToServer(testCase.Data);
    ASSERT_TRUE(atServer);
    EXPECT_EQ(atServer->Data, testCase.Data);
    std::string expected = testCase.ExpectedLine;
    if (testCase.NamesSource) {
        const size_t marker = expected.find('#');
        expected.replace(marker, 1, std::to_string(Client.Port()));
    }
    const std::vector<std::string> lines = TrafficLines();
    if (expected.empty()) EXPECT_TRUE(lines.empty()) << lines.front();
    else EXPECT_EQ(lines, std::vector<std::string>{expected});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClientClassificationTest,
    ::testing::Values(
        ClientCase{"LetterA", TextDatagram("a"), "Quake World Request from Client", false},
        ClientCase{"LetterC", TextDatagram("cstatus"), "Quake World Request from Client", false},
        ClientCase{"LetterZ", TextDatagram("z"), "Quake World Request from Client", false},
        ClientCase{"Backquote", Bytes({0x60}), "", false}, ClientCase{"Brace", Bytes({0x7B}), "", false},
        ClientCase{"AllOnes", Bytes({0xFF, 0xFF, 0xFF, 0xFF}), "", false},
        ClientCase{"Command1", Bytes({0x80, 0, 0, 12, 1, 'Q', 'U', 'A', 'K', 'E', 0, 3}),
                   "Connection Request from 127.0.0.1 Port #", true},
        ClientCase{"Command2", Bytes({0x80, 0, 0, 12, 2}), "Server Info Request from 127.0.0.1 Port #", true},
        ClientCase{"Command3", Bytes({0x80, 0, 0, 6, 3, 0}), "Player Info Request from 127.0.0.1 Port #", true},
        ClientCase{"Command4", Bytes({0x80, 0, 0, 6, 4, 0}), "Rule Info Request from 127.0.0.1 Port #", true},
        ClientCase{"Command0", Bytes({0x80, 0, 0, 5, 0}),
                   "Unknown Message from Client 0 127.0.0.1 Port # L\u00e4nge 5", true},
        ClientCase{"Command5", Bytes({0x80, 0, 0, 5, 5}),
                   "Unknown Message from Client 5 127.0.0.1 Port # L\u00e4nge 5", true},
        ClientCase{"Command81", Bytes({0x80, 0, 0, 9, 0x81, 1, 2, 3, 4}),
                   "Unknown Message from Client 129 127.0.0.1 Port # L\u00e4nge 9", true},
        // Too short for a command: the missing byte reads as 0, never as a
        // byte of the datagram before.
        ClientCase{"ShortControl", Bytes({0x80, 0}), "Unknown Message from Client 0 127.0.0.1 Port # L\u00e4nge 2", true}),
    [](const auto& info) { return info.param.Name; });

class ShortAfterLongTest : public RelayFixture {};

TEST_F(ShortAfterLongTest, EmptyDatagramAfterAControlPacketIsNotClassifiedFromOldBytes) {
    ASSERT_TRUE(RelayToServer(Bytes({0x80, 0, 0, 5, 1})));
    const size_t before = Window.LineCount();
    const std::optional<Received> empty = RelayToServer({});
    ASSERT_TRUE(empty);
    EXPECT_EQ(Window.LineCount(), before);
}

}  // namespace
}  // namespace relvane::testing
