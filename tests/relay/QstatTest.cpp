// A real server browser, qstat, queries a fake game server through the relay
// and must see the relay's address, not the server's.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "RelayFixture.h"

namespace relvane::testing {
namespace {

std::string RunCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char chunk[256];
    while (fgets(chunk, sizeof chunk, pipe) != nullptr) output += chunk;
    pclose(pipe);
    return output;
}

// Debian installs qstat as quakestat.
std::string QstatProgram() {
    for (const char* name : {"quakestat", "qstat"})
        if (!RunCommand(std::string("command -v ") + name).empty()) return name;
    return "";
}

Datagram ServerInfoReply() {
    std::string body("\x83" "192.168.0.5:26000", 18);
    body += std::string("\0Relvane Test\0e1m1\0", 19);
    body += "\x03\x10\x03";
    Datagram reply = Bytes({0x80, 0, 0, 0});
    reply.insert(reply.end(), body.begin(), body.end());
    reply[3] = static_cast<uint8_t>(reply.size());
    return reply;
}

using QstatTest = RelayFixture;

TEST_F(QstatTest, ServerBrowserSeesTheRelaysAddress) {
    const std::string qstat = QstatProgram();
    if (qstat.empty()) GTEST_SKIP() << "qstat is not installed (Debian package qstat)";
    std::thread server([this] {
        // Answers every server-information request until the test sends
        // itself an empty datagram.
        while (const std::optional<Received> request = Server.Receive(std::chrono::seconds(10))) {
            if (request->Data.empty()) break;
            if (request->Data.size() >= 5 && request->Data[0] == 0x80 && request->Data[4] == 0x02)
                Server.SendTo(request->From, ServerInfoReply());
        }
    });
    const std::string output =
        RunCommand(qstat + " -qs 127.0.0.1:" + std::to_string(ListenPort) + " -raw , -timeout 5 2>&1");
    Server.SendTo(Server.Port(), Bytes({}));
    server.join();

    const std::string initLine = Window.Lines().at(0);
    const std::string relayAddress = initLine.substr(initLine.find(" : ") + 3);
    EXPECT_NE(output.find("Relvane Test"), std::string::npos) << output;
    EXPECT_NE(output.find("," + relayAddress + ","), std::string::npos) << output;
    EXPECT_EQ(output.find("192.168.0.5"), std::string::npos) << output;
}

}  // namespace
}  // namespace relvane::testing
