#pragma once
// What the soak run counts while it runs. Written by the session driver and
// the listener lane, read by the main thread: every field is atomic.

#include <atomic>
#include <cstdint>

namespace relvane::bench {

struct SoakTally {
    // Game traffic through connection endpoints.
    std::atomic<uint64_t> SessionsConnected{0};
    std::atomic<uint64_t> SessionsFinished{0};
    std::atomic<uint64_t> ConnectFailures{0};
    std::atomic<uint64_t> GameSent{0};
    std::atomic<uint64_t> GameEchoed{0};
    std::atomic<uint64_t> GameLost{0};        // sent, never echoed by the session's end
    std::atomic<uint64_t> GameCorrupt{0};     // game magic, wrong contents
    std::atomic<uint64_t> GameMisrouted{0};   // another session's datagram
    std::atomic<uint64_t> GameDuplicates{0};
    std::atomic<uint64_t> ForeignReceived{0}; // noise echoed back to a session: expected, not a fault
    std::atomic<int> LiveSessions{0};

    // Bad datagrams sent, by kind.
    std::atomic<uint64_t> RandomBytes{0};
    std::atomic<uint64_t> Oversized{0};
    std::atomic<uint64_t> TruncatedControl{0};
    std::atomic<uint64_t> UnknownCommands{0};
    std::atomic<uint64_t> QuakeWorldLike{0};
    std::atomic<uint64_t> RemoteControlToEndpoints{0};
    std::atomic<uint64_t> FlaggedGame{0};     // game datagrams asking the server for an extra bad datagram

    // The listener's answers.
    std::atomic<uint64_t> InfoQueries{0};
    std::atomic<uint64_t> InfoFaults{0};      // missing, or not naming the relay, or tail changed
    std::atomic<uint64_t> BadInfoQueries{0};
    std::atomic<uint64_t> BadInfoAnswered{0}; // bad server replies that the relay forwarded
    std::atomic<uint64_t> RemoteQueries{0};
    std::atomic<uint64_t> RemoteSets{0};
    std::atomic<uint64_t> RemoteTruncated{0};
    std::atomic<uint64_t> RemoteFaults{0};    // missing or wrong remote-control replies
};

}  // namespace relvane::bench
