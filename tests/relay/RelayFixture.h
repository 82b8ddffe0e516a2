#pragma once
// A relay engine with one IPv4 listener on a system-chosen port, a fake game
// server and a game client on loopback, and a recording window whose target
// names the fake server.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "LoopbackPeer.h"
#include "RecordingWindow.h"
#include "relay/RelayEngine.h"

namespace relvane::testing {

// A port that was free a moment ago; used where an endpoint must bind a
// fixed port of its own (the QuakeWorld child), so tests never share one.
uint16_t FreeUdpPort();

// Polls condition until it holds or limit has passed.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class RelayFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    virtual EngineSettings Settings();

    // Sends from the client to the listener and returns what the server got.
    std::optional<Received> RelayToServer(const Datagram& datagram);
    // The listener's current server-side port, as the fake server sees it.
    uint16_t ListenerServerPort();
    RelayCounters& Counters() { return Engine->Counters(); }
    // The log lines after the listener's set-up line.
    std::vector<std::string> TrafficLines();

    RecordingWindow Window;
    std::unique_ptr<RelayEngine> Engine;
    LoopbackPeer Server;
    LoopbackPeer Client;
    uint16_t ListenPort = 0;
    size_t SetUpLines = 0;
};

}  // namespace relvane::testing
