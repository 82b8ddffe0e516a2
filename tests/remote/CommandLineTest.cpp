// relvanerc's command line: argument parsing, and the built program run
// against a fake relay on loopback.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <sstream>

#include "LoopbackPeer.h"
#include "ProgramRun.h"
#include "remote/CommandLine.h"

namespace relvane::testing {
namespace {

using namespace std::chrono_literals;
using remote::CommandLine;
using Action = CommandLine::Action;

struct ParseCase {
    std::string Name;
    std::vector<std::string> Arguments;
    Action Expected;
    std::string AddressText;
    std::string PortText;
};

class CommandLineParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CommandLineParseTest, RecognisesCommands) {
    const ParseCase& row = GetParam();
    const CommandLine command = CommandLine::Parse(row.Arguments);
    EXPECT_EQ(command.Requested, row.Expected);
    EXPECT_EQ(command.AddressText, row.AddressText);
    EXPECT_EQ(command.PortText, row.PortText);
    EXPECT_EQ(command.Problem.empty(), row.Expected != Action::Invalid);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineParseTest,
    ::testing::Values(ParseCase{"None", {}, Action::Window, "", ""},
                      ParseCase{"Help", {"--help"}, Action::Help, "", ""},
                      ParseCase{"ShortHelp", {"-h"}, Action::Help, "", ""},
                      ParseCase{"Query", {"query"}, Action::Query, "", ""},
                      // Texts are kept as given; the request converts them.
                      ParseCase{"Set", {"set", "quake.example.com", " 27500"}, Action::Set, "quake.example.com", " 27500"},
                      ParseCase{"UnknownCommand", {"get"}, Action::Invalid, "", ""},
                      ParseCase{"CommandInCapitals", {"QUERY"}, Action::Invalid, "", ""},
                      ParseCase{"QueryWithArgument", {"query", "10.0.0.7"}, Action::Invalid, "", ""},
                      ParseCase{"SetWithoutPort", {"set", "10.0.0.7"}, Action::Invalid, "", ""},
                      ParseCase{"SetWithExtraArgument", {"set", "10.0.0.7", "1", "2"}, Action::Invalid, "", ""},
                      ParseCase{"HelpWithArgument", {"--help", "query"}, Action::Invalid, "", ""}),
    [](const auto& info) { return info.param.Name; });

// A fake relay on loopback and a settings file in the program's directory
// that points relvanerc at it.
class CommandLineRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        Directory.WriteFile("relvanerc.ini", "[Proxy]\nProxyHost=127.0.0.1\nProxyPort=" + std::to_string(Relay.Port()) + "\n");
    }

    ScratchDirectory Directory;
    LoopbackPeer Relay;
};

TEST_F(CommandLineRunTest, QueryPrintsTheRelaysTarget) {
    ProgramRun run(RELVANERC_PATH, {"query"}, Directory);
    ASSERT_TRUE(run.Started());
    const std::optional<Received> request = Relay.Receive(5s);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Data, Bytes({0xA0, 0, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(Relay.SendTo(request->From, Bytes({0xA0, 0, 0x0B, 0, 0, 0x0A, 0, 0, 7, 0x6C, 0x6B})));
    const ProgramResult result = run.Finish();
    ASSERT_TRUE(result.Ended);
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Output, "10.0.0.7 27500\n");
    EXPECT_EQ(result.Errors, "");
}

struct SetCase {
    std::string Name;
    std::string AddressText;
    std::string PortText;
    Datagram Target;  // bytes 5 to 10 of the request
    std::string Output;
};

class CommandLineSetTest : public CommandLineRunTest, public ::testing::WithParamInterface<SetCase> {};

TEST_P(CommandLineSetTest, SendsTheTargetAndPrintsItOnceConfirmed) {
    const SetCase& row = GetParam();
    ProgramRun run(RELVANERC_PATH, {"set", row.AddressText, row.PortText}, Directory);
    ASSERT_TRUE(run.Started());
    const std::optional<Received> request = Relay.Receive(5s);
    ASSERT_TRUE(request);
    Datagram expected = Bytes({0xA0, 0, 0x0B, 0, 1});
    expected.insert(expected.end(), row.Target.begin(), row.Target.end());
    EXPECT_EQ(request->Data, expected);
    ASSERT_TRUE(Relay.SendTo(request->From, request->Data));
    const ProgramResult result = run.Finish();
    ASSERT_TRUE(result.Ended);
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Output, row.Output + "\n");
    EXPECT_EQ(result.Errors, "");
}

INSTANTIATE_TEST_SUITE_P(
    Targets, CommandLineSetTest,
    ::testing::Values(SetCase{"Address", "10.0.0.7", "27500", Bytes({10, 0, 0, 7, 0x6C, 0x6B}), "10.0.0.7 27500"},
                      // No lookup: a host name goes out as inet_addr's failure value.
                      SetCase{"HostName", "localhost", "26001", Bytes({255, 255, 255, 255, 0x91, 0x65}),
                              "255.255.255.255 26001"},
                      SetCase{"BlankPort", "192.168.0.5", "  ", Bytes({192, 168, 0, 5, 0x90, 0x65}), "192.168.0.5 26000"},
                      SetCase{"PortAbove65535", "192.168.0.5", "99999", Bytes({192, 168, 0, 5, 0x9F, 0x86}),
                              "192.168.0.5 34463"}),
    [](const auto& info) { return info.param.Name; });

TEST_F(CommandLineRunTest, NoAnswerFailsAfterTwoSeconds) {
    const auto started = std::chrono::steady_clock::now();
    const ProgramResult result = RunRelvanerc({"query"}, Directory);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1900ms);
    ASSERT_TRUE(result.Ended);
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(result.Output, "");
    EXPECT_EQ(result.Errors, "Error : Couldn't query the proxy server\n");
    EXPECT_TRUE(Relay.Receive(0ms).has_value()) << "the query was not sent";
}

TEST_F(CommandLineRunTest, RefusedSendReportsBothErrors) {
    Directory.WriteFile("relvanerc.ini", "[Proxy]\nProxyHost=relay.example\nProxyPort=" + std::to_string(Relay.Port()) + "\n");
    const ProgramResult result = RunRelvanerc({"set", "10.0.0.7", "27500"}, Directory);
    ASSERT_TRUE(result.Ended);
    EXPECT_EQ(result.ExitCode, 1);
    EXPECT_EQ(result.Output, "");
    EXPECT_EQ(result.Errors, "Error : Proxy Send Error WSAError : " + std::to_string(EACCES) +
                                 "\nError : Couldn't configure the proxy server\n");
}

TEST_F(CommandLineRunTest, HelpPrintsUsage) {
    const ProgramResult result = RunRelvanerc({"--help"}, Directory);
    ASSERT_TRUE(result.Ended);
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Output, remote::CommandLineUsage());
    EXPECT_EQ(result.Errors, "");
}

class CommandLineBadArgumentsTest : public CommandLineRunTest,
                                    public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(CommandLineBadArgumentsTest, PrintUsageOnStandardErrorAndExitTwo) {
    const ProgramResult result = RunRelvanerc(GetParam(), Directory);
    ASSERT_TRUE(result.Ended);
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(result.Output, "");
    EXPECT_NE(result.Errors.find(remote::CommandLineUsage()), std::string::npos) << result.Errors;
    EXPECT_FALSE(Relay.Receive(0ms).has_value()) << "nothing may be sent";
}

INSTANTIATE_TEST_SUITE_P(Arguments, CommandLineBadArgumentsTest,
                         ::testing::Values(std::vector<std::string>{"bogus"},
                                           std::vector<std::string>{"set", "10.0.0.7"},
                                           std::vector<std::string>{"query", "now"}));

}  // namespace
}  // namespace relvane::testing
