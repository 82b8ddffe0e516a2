#pragma once
// A game server on loopback that the relay forwards to, on a thread of its
// own. Its control port answers the game's requests: a connection request
// with an accept naming a game port of its own (a fresh port per connection,
// reused round-robin once MaxGamePorts exist), a server-information request
// with its address text and the request's tail. Each game port echoes every
// datagram to its sender.
//
// Deliberately bad replies, chosen by the tail of a server-information
// request (BadReplyTag...), let a test make the server misbehave on demand.
// Game datagrams flagged GameFlagOversizeFirst / GameFlagGarbageFirst make a
// game port send a 9000-byte datagram / random bytes before the echo.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/LoopbackSocket.h"
#include "bench/SocketPoller.h"

namespace relvane::bench {

// Tails of server-information requests that ask for a bad reply.
inline constexpr std::string_view BadReplyTagNoNul = "!NONUL";        // 0x83 reply without a NUL byte
inline constexpr std::string_view BadReplyTagHuge = "!HUGE";          // 9000-byte 0x83 reply
inline constexpr std::string_view BadReplyTagUnknown = "!UNKNOWN";    // control reply with command 0x86
inline constexpr std::string_view BadReplyTagReject = "!REJECT";      // connection rejected (0x82)
inline constexpr std::string_view BadReplyTagShortAccept = "!SHORTACCEPT";  // 7-byte 0x81, no port in it
inline constexpr size_t OversizeLength = 9000;

struct FakeServerCounters {
    std::atomic<uint64_t> Accepts{0};
    std::atomic<uint64_t> InfoReplies{0};
    std::atomic<uint64_t> BadReplies{0};
    std::atomic<uint64_t> Echoes{0};
    std::atomic<uint64_t> ExtrasSent{0};  // oversized or random datagrams sent before echoes
    std::atomic<uint64_t> Ignored{0};     // control-port datagrams that ask for nothing
    std::atomic<uint64_t> SendFailures{0};
};

class FakeGameServer {
public:
    // Opens the control port and starts serving; nullptr on failure.
    static std::unique_ptr<FakeGameServer> Start(size_t maxGamePorts = 1024);
    ~FakeGameServer();  // stops and joins the serving thread
    FakeGameServer(const FakeGameServer&) = delete;
    FakeGameServer& operator=(const FakeGameServer&) = delete;

    uint16_t ControlPort() const { return ControlSocket.Port(); }
    // The address text that server-information replies carry.
    const std::string& AddressText() const { return OwnAddressText; }
    const FakeServerCounters& Counters() const { return Count; }

private:
    FakeGameServer(LoopbackSocket control, SocketPoller poller, size_t maxGamePorts);

    void Serve();  // serving thread
    void HandleControl();
    void HandleGame(size_t index);
    void AnswerConnect(uint16_t to);
    void AnswerServerInfo(uint16_t to, std::span<const uint8_t> tail);
    bool AnswerBadly(uint16_t to, std::span<const uint8_t> tail);
    void SendExtras(LoopbackSocket& socket, uint16_t to, uint8_t flags);
    void Send(LoopbackSocket& socket, uint16_t to, std::span<const uint8_t> datagram);

    // Serving thread only, after the constructor.
    LoopbackSocket ControlSocket;
    SocketPoller Poller;
    std::vector<LoopbackSocket> GamePorts;
    size_t NextReused = 0;
    const size_t MaxGamePorts;
    std::string OwnAddressText;
    std::vector<uint8_t> Buffer;
    uint64_t ExtraSeed = 1;

    FakeServerCounters Count;  // atomics: read by any thread
    std::thread Worker;
};

}  // namespace relvane::bench
