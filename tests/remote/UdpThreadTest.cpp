// The request thread against a fake relay on loopback: the bytes it sends,
// how it takes replies of every length, and its failures.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/select.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <set>
#include <unistd.h>

#include "LoopbackPeer.h"
#include "RecordingRequestUi.h"
#include "remote/RequestPool.h"
#include "remote/UdpThread.h"

namespace relvane::testing {
namespace {

using namespace std::chrono_literals;
using remote::RequestOutcome;

const Datagram QueryRequest = Bytes({0xA0, 0, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0});

class RequestTest : public ::testing::Test {
protected:
    // The relay's address as the window builds it: family bytes zero.
    SocketAddress ProxyAddress() const {
        SocketAddress address;
        address.SetIpv4(Loopback);
        address.SetPort(Relay.Port());
        return address;
    }

    void StartQuery(RecordingRequestUi& ui) { Requests.Start(ui, ProxyAddress(), 1); }
    void StartSet(RecordingRequestUi& ui, const Ipv4Bytes& address, uint16_t port) {
        Requests.Start(ui, ProxyAddress(), 0, address, port);
    }

    // The request as the relay receives it; fails the test when none arrives.
    Received TakeRequest() {
        std::optional<Received> request = Relay.Receive(5s);
        EXPECT_TRUE(request.has_value()) << "no request reached the relay";
        return request.value_or(Received{});
    }

    RequestOutcome Outcome(RecordingRequestUi& ui) {
        const std::optional<RequestOutcome> outcome = ui.WaitForOutcome(10s);
        EXPECT_TRUE(outcome.has_value()) << "the request did not complete";
        return outcome.value_or(RequestOutcome{});
    }

    LoopbackPeer Relay;
    RecordingRequestUi Ui;
    remote::RequestPool Requests;
};

struct SentBytesCase {
    std::string Name;
    int32_t IsQuery;
    Ipv4Bytes TargetAddress;
    uint16_t TargetPort;
    Datagram Expected;
};

class RequestBytesTest : public RequestTest, public ::testing::WithParamInterface<SentBytesCase> {};

TEST_P(RequestBytesTest, SendsOnePacketOfElevenBytes) {
    const SentBytesCase& row = GetParam();
    Requests.Start(Ui, ProxyAddress(), row.IsQuery, row.TargetAddress, row.TargetPort);
    const Received request = TakeRequest();
    EXPECT_EQ(request.Data, row.Expected);
    ASSERT_TRUE(Relay.SendTo(request.From, request.Data));
    EXPECT_TRUE(Outcome(Ui).Answered);
    EXPECT_TRUE(Ui.ErrorBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestBytesTest,
    ::testing::Values(
        SentBytesCase{"Query", 1, {}, 0, QueryRequest},
        // A query ignores a target handed to it.
        SentBytesCase{"QueryWithTargetGiven", 7, {10, 0, 0, 7}, 27500, QueryRequest},
        SentBytesCase{"Set", 0, {192, 168, 0, 5}, 26000,
                      Bytes({0xA0, 0, 0x0B, 0, 1, 0xC0, 0xA8, 0, 5, 0x90, 0x65})},
        SentBytesCase{"SetOfTheFailureAddress", 0, {255, 255, 255, 255}, 0,
                      Bytes({0xA0, 0, 0x0B, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0})}),
    [](const auto& info) { return info.param.Name; });

struct ReplyCase {
    std::string Name;
    Datagram Reply;
    bool Answered;
    Ipv4Bytes TargetAddress;
    uint16_t TargetPort;
    std::vector<std::string> Boxes;
};

class QueryReplyTest : public RequestTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(QueryReplyTest, TakesTheTargetFromTheReply) {
    const ReplyCase& row = GetParam();
    StartQuery(Ui);
    const Received request = TakeRequest();
    ASSERT_TRUE(Relay.SendTo(request.From, row.Reply));
    const RequestOutcome outcome = Outcome(Ui);
    EXPECT_EQ(outcome.IsQuery, 1);
    EXPECT_EQ(outcome.Answered, row.Answered);
    EXPECT_EQ(FormatDottedQuad(outcome.TargetAddress), FormatDottedQuad(row.TargetAddress));
    EXPECT_EQ(outcome.TargetPort, row.TargetPort);
    EXPECT_EQ(Ui.ErrorBoxes(), row.Boxes);
}

const std::string ReceiveError = "Error : Proxy Receive Error WSAError : " + std::to_string(EMSGSIZE);

INSTANTIATE_TEST_SUITE_P(
    Replies, QueryReplyTest,
    ::testing::Values(
        ReplyCase{"Full", Bytes({0xA0, 0, 0x0B, 0, 0, 0x0A, 0, 0, 7, 0x6C, 0x6B}), true, {10, 0, 0, 7}, 27500, {}},
        // Bytes 0 to 4 are not examined: a reply that says set is still a query's reply.
        ReplyCase{"ModeSaysSet", Bytes({0xA0, 0, 0x0B, 0, 1, 0x0A, 0, 0, 7, 0x6C, 0x6B}), true, {10, 0, 0, 7}, 27500, {}},
        ReplyCase{"KindAndLengthWrong", Bytes({0x80, 9, 0, 0, 0, 0x0A, 0, 0, 7, 0x6C, 0x6B}), true, {10, 0, 0, 7}, 27500, {}},
        ReplyCase{"Empty", Bytes({}), true, {0, 0, 0, 0}, 0, {}},
        ReplyCase{"FiveBytes", Bytes({0xA0, 0, 0x0B, 0, 0}), true, {0, 0, 0, 0}, 0, {}},
        // The bytes a short reply does not cover keep the request's (zero).
        ReplyCase{"SevenBytes", Bytes({0xA0, 0, 0x0B, 0, 0, 0x0A, 0x01}), true, {10, 1, 0, 0}, 0, {}},
        ReplyCase{"TwelveBytes", Bytes({0xA0, 0, 0x0B, 0, 0, 0x0A, 0, 0, 7, 0x6C, 0x6B, 0}), false, {0, 0, 0, 0}, 0,
                  {ReceiveError}}),
    [](const auto& info) { return info.param.Name; });

TEST_F(RequestTest, AnsweredSetKeepsTheTargetItSent) {
    StartSet(Ui, {192, 168, 0, 5}, 26000);
    const Received request = TakeRequest();
    // Whatever a set's reply holds, its arrival is the confirmation.
    ASSERT_TRUE(Relay.SendTo(request.From, Bytes({0xA0, 0, 0x0B, 0, 0, 0x0A, 0, 0, 7, 0x6C, 0x6B})));
    const RequestOutcome outcome = Outcome(Ui);
    EXPECT_EQ(outcome.IsQuery, 0);
    EXPECT_TRUE(outcome.Answered);
    EXPECT_EQ(FormatDottedQuad(outcome.TargetAddress), "192.168.0.5");
    EXPECT_EQ(outcome.TargetPort, 26000);
}

TEST_F(RequestTest, ReplyFromAnotherSenderIsTaken) {
    StartQuery(Ui);
    const Received request = TakeRequest();
    LoopbackPeer stranger;
    ASSERT_TRUE(stranger.SendTo(request.From, Bytes({0xA0, 0, 0x0B, 0, 0, 1, 2, 3, 4, 0x39, 0x30})));
    const RequestOutcome outcome = Outcome(Ui);
    EXPECT_TRUE(outcome.Answered);
    EXPECT_EQ(FormatDottedQuad(outcome.TargetAddress), "1.2.3.4");
    EXPECT_EQ(outcome.TargetPort, 12345);
}

TEST_F(RequestTest, NoReplyEndsUnansweredAfterTwoSecondsWithoutABox) {
    const auto started = std::chrono::steady_clock::now();
    StartQuery(Ui);
    TakeRequest();
    const RequestOutcome outcome = Outcome(Ui);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1900ms);
    EXPECT_FALSE(outcome.Answered);
    EXPECT_TRUE(Ui.ErrorBoxes().empty());
}

TEST_F(RequestTest, ProxyAddressThatIsNoIpv4AddressRefusesTheSend) {
    // inet_addr's failure value is the broadcast address, which the request's
    // socket may not send to.
    SocketAddress proxy = ProxyAddress();
    proxy.SetIpv4(InetAddr("relay.example"));
    const auto started = std::chrono::steady_clock::now();
    Requests.Start(Ui, proxy, 1);
    const RequestOutcome outcome = Outcome(Ui);
    // Well below the two-second wait, which a failed send skips.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
    EXPECT_FALSE(outcome.Answered);
    EXPECT_EQ(Ui.ErrorBoxes(),
              std::vector<std::string>{"Error : Proxy Send Error WSAError : " + std::to_string(EACCES)});
}

TEST_F(RequestTest, TwoRequestsAtOnceEachGetTheirOwnReply) {
    RecordingRequestUi first;
    RecordingRequestUi second;
    StartQuery(first);
    StartQuery(second);
    // Both wait for their replies now.
    const Received one = TakeRequest();
    const Received two = TakeRequest();
    ASSERT_NE(one.From.Port(), two.From.Port()) << "requests must not share a socket";
    // Each reply names the port it is sent to; the later request is answered first.
    auto replyFor = [](const Received& request, uint8_t lastByte) {
        const uint16_t port = request.From.Port();
        return Bytes({0xA0, 0, 0x0B, 0, 0, 10, 0, 0, lastByte, port & 0xFF, port >> 8});
    };
    ASSERT_TRUE(Relay.SendTo(two.From, replyFor(two, 2)));
    ASSERT_TRUE(Relay.SendTo(one.From, replyFor(one, 1)));
    const RequestOutcome a = Outcome(first);
    const RequestOutcome b = Outcome(second);
    ASSERT_TRUE(a.Answered && b.Answered);
    EXPECT_EQ(std::set<uint16_t>({a.TargetPort, b.TargetPort}), std::set<uint16_t>({one.From.Port(), two.From.Port()}));
    for (const RequestOutcome& outcome : {a, b}) {
        const uint8_t expectedLast = outcome.TargetPort == one.From.Port() ? 1 : 2;
        EXPECT_EQ(outcome.TargetAddress[3], expectedLast) << "a reply's address and port came apart";
    }
    EXPECT_EQ(first.Completions(), 1);
    EXPECT_EQ(second.Completions(), 1);
    Requests.AbandonAll();  // joins both before their UIs go
}

TEST_F(RequestTest, AbandonEndsAWaitingRequestAtOnceUnanswered) {
    StartQuery(Ui);
    TakeRequest();
    const auto started = std::chrono::steady_clock::now();
    Requests.AbandonAll();
    // Well below the two-second wait that the abandon cuts short.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
    EXPECT_EQ(Requests.Count(), 0u);
    ASSERT_EQ(Ui.Completions(), 1);
    EXPECT_FALSE(Ui.WaitForOutcome(0ms)->Answered);
    EXPECT_TRUE(Ui.ErrorBoxes().empty());
}

TEST_F(RequestTest, FinishedRequestsAreReleased) {
    StartQuery(Ui);
    const Received request = TakeRequest();
    ASSERT_TRUE(Relay.SendTo(request.From, request.Data));
    Outcome(Ui);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Requests.Count() != 0 && std::chrono::steady_clock::now() < deadline) Requests.ReleaseFinished();
    EXPECT_EQ(Requests.Count(), 0u);
}

// Runs in a child process. Fills every descriptor number that select() can
// watch, so a new socket cannot be used and its creation fails, while numbers
// above stay free for everything else. Exits 0 when the request behaved as it
// should.
void RunRequestWithoutUsableDescriptors() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) std::_Exit(3);
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, FD_SETSIZE + 256);
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) std::_Exit(3);
    for (int handle = open("/dev/null", O_RDONLY); handle >= 0 && handle < FD_SETSIZE - 1;
         handle = open("/dev/null", O_RDONLY)) {
    }
    RecordingRequestUi ui;
    remote::UdpThread request(ui, MakeIpv4Address(Loopback, 9), 1);
    request.Start();
    const std::optional<RequestOutcome> outcome = ui.WaitForOutcome(10s);
    const std::vector<std::string> expected{"Error : Can\"t create socket WSAError : " + std::to_string(EMFILE),
                                            "Error : Proxy Send Error WSAError : " + std::to_string(EBADF)};
    const std::vector<std::string> boxes = ui.ErrorBoxes();
    for (const std::string& box : boxes) std::fprintf(stderr, "box: %s\n", box.c_str());
    std::_Exit(outcome && !outcome->Answered && boxes == expected ? 0 : 1);
}

TEST(RequestSetUpTest, SocketThatCannotBeCreatedShowsBothBoxesAndEndsUnanswered) {
    EXPECT_EXIT(RunRequestWithoutUsableDescriptors(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace relvane::testing
