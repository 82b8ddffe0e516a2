// The remote client against a real relay engine in this process: a listener
// on a system-chosen port, with a recording window holding its target.

#include <gtest/gtest.h>

#include <chrono>

#include "LoopbackPeer.h"
#include "ProgramRun.h"
#include "RecordingRequestUi.h"
#include "RecordingWindow.h"
#include "relay/RelayEngine.h"
#include "remote/RequestPool.h"

namespace relvane::testing {
namespace {

using namespace std::chrono_literals;

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        Window.SetTarget("10.0.0.5", "26001");
        Engine = std::make_unique<RelayEngine>(Window);
        ListenPort = Engine->StartListener(FamilyIpv4, 0);
        ASSERT_NE(ListenPort, 0);
        Directory.WriteFile("relvanerc.ini", "[Proxy]\nProxyPort=" + std::to_string(ListenPort) + "\n");
    }

    void TearDown() override { Engine->Shutdown(); }

    // One request through the request code, as the window makes it.
    remote::RequestOutcome Ask(int32_t isQuery, const Ipv4Bytes& address = {}, uint16_t port = 0) {
        RecordingRequestUi ui;
        remote::RequestPool requests;
        requests.Start(ui, MakeIpv4Address(Loopback, ListenPort), isQuery, address, port);
        const std::optional<remote::RequestOutcome> outcome = ui.WaitForOutcome(10s);
        EXPECT_TRUE(outcome.has_value());
        EXPECT_TRUE(ui.ErrorBoxes().empty());
        return outcome.value_or(remote::RequestOutcome{});
    }

    RecordingWindow Window;
    std::unique_ptr<RelayEngine> Engine;
    uint16_t ListenPort = 0;
    ScratchDirectory Directory;
};

TEST_F(EndToEndTest, RequestsQueryAndSetTheRelaysFields) {
    remote::RequestOutcome query = Ask(1);
    ASSERT_TRUE(query.Answered);
    EXPECT_EQ(FormatDottedQuad(query.TargetAddress), "10.0.0.5");
    EXPECT_EQ(query.TargetPort, 26001);

    const remote::RequestOutcome set = Ask(0, {192, 168, 1, 20}, 27001);
    EXPECT_TRUE(set.Answered);
    EXPECT_EQ(Window.ServerText(), "192.168.1.20");
    EXPECT_EQ(Window.PortText(), "27001");

    query = Ask(1);
    ASSERT_TRUE(query.Answered);
    EXPECT_EQ(FormatDottedQuad(query.TargetAddress), "192.168.1.20");
    EXPECT_EQ(query.TargetPort, 27001);
}

TEST_F(EndToEndTest, ProgramQueriesAndSetsTheRelay) {
    ProgramResult result = RunRelvanerc({"query"}, Directory);
    ASSERT_TRUE(result.Ended);
    EXPECT_EQ(result.ExitCode, 0) << result.Errors;
    EXPECT_EQ(result.Output, "10.0.0.5 26001\n");

    result = RunRelvanerc({"set", "10.0.0.7", "27500"}, Directory);
    ASSERT_TRUE(result.Ended);
    EXPECT_EQ(result.ExitCode, 0) << result.Errors;
    EXPECT_EQ(Window.ServerText(), "10.0.0.7");
    EXPECT_EQ(Window.PortText(), "27500");

    result = RunRelvanerc({"query"}, Directory);
    ASSERT_TRUE(result.Ended);
    EXPECT_EQ(result.Output, "10.0.0.7 27500\n");
    EXPECT_EQ(result.Errors, "");
}

}  // namespace
}  // namespace relvane::testing
