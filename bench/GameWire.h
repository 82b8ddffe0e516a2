#pragma once
// The datagrams that the benchmark and the soak run exchange with the relay:
// the game's control packets (connection request, server information), the
// 11-byte remote-control packet, and the game datagrams whose contents say
// which connection sent them and in what order, so that a receiver can tell a
// lost, corrupted or misrouted datagram from a good one.
//
// Every field is written and read byte by byte, with the byte order stated.
//
// Game datagram layout (at least GameHeaderSize bytes):
//   0-3   magic 'R' 'V' 'G' 0x01
//   4-7   connection id, little-endian
//   8-11  sequence number, little-endian
//   12    flags (GameFlag...), asking the fake server for extra datagrams
//   13-14 total length of the datagram, little-endian (so a cut one shows)
//   15    zero
//   16-   body: a byte stream drawn from (connection id, sequence number)

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace relvane::bench {

using Datagram = std::vector<uint8_t>;

inline constexpr uint8_t ControlByte = 0x80;
inline constexpr uint8_t ConnectCommand = 0x01;
inline constexpr uint8_t ServerInfoCommand = 0x02;
inline constexpr uint8_t AcceptCommand = 0x81;
inline constexpr uint8_t RejectCommand = 0x82;
inline constexpr uint8_t ServerInfoReplyCommand = 0x83;
inline constexpr size_t ControlRequestSize = 12;  // 0x80 00 00 0C cmd 'QUAKE' 00 03
inline constexpr size_t AcceptSize = 9;

// 0x80 00 00 0C 01 'QUAKE' 00 03
Datagram ConnectRequest();
// 0x80 00 00 0C 02 'QUAKE' 00 03, then tail (the fake server returns the
// tail behind the address text of its reply).
Datagram ServerInfoRequest(std::span<const uint8_t> tail = {});
// True for a complete request of the game (12 bytes or more with 'QUAKE').
bool IsControlRequest(std::span<const uint8_t> datagram, uint8_t command);

// 0x80 00 00 09 0x81, then the port as 32-bit little-endian.
Datagram AcceptReply(uint16_t port);
// The port of a connection-accepted reply, or nullopt for anything else.
std::optional<uint16_t> ParseAccept(std::span<const uint8_t> datagram);

// 0x80 00 LL LL 0x83, address text, NUL, tail; LL the length, big-endian.
Datagram ServerInfoReply(std::string_view addressText, std::span<const uint8_t> tail);
struct ServerInfoView {
    std::string AddressText;
    std::span<const uint8_t> Tail;
};
// A server-information reply whose length field matches its size.
std::optional<ServerInfoView> ParseServerInfo(std::span<const uint8_t> datagram);

// Remote control: A0 00 0B 00 mode, address (network order), port (little-endian).
inline constexpr size_t RemoteControlSize = 11;
inline constexpr uint8_t RemoteControlByte = 0xA0;
Datagram RemoteControlRequest(uint8_t mode, const uint8_t (&address)[4], uint16_t port);
struct RemoteTarget {
    uint8_t Address[4]{};
    uint16_t Port = 0;
};
// The target carried by an 11-byte remote-control reply.
std::optional<RemoteTarget> ParseRemoteReply(std::span<const uint8_t> datagram);

// Game datagrams.
inline constexpr size_t GameHeaderSize = 16;
inline constexpr uint8_t GameFlagOversizeFirst = 0x01;  // the server sends a 9000-byte datagram before the echo
inline constexpr uint8_t GameFlagGarbageFirst = 0x02;   // the server sends random bytes before the echo

// Writes a game datagram of out.size() bytes (at least GameHeaderSize).
void WriteGameDatagram(std::span<uint8_t> out, uint32_t connectionId, uint32_t sequence, uint8_t flags = 0);
Datagram MakeGameDatagram(size_t size, uint32_t connectionId, uint32_t sequence, uint8_t flags = 0);

struct GameCheck {
    enum class Kind { NotGame, Intact, Corrupt };
    Kind Result = Kind::NotGame;
    uint32_t ConnectionId = 0;
    uint32_t Sequence = 0;
    uint8_t Flags = 0;
};
// NotGame: no game magic (foreign bytes); Corrupt: the magic is there but
// the rest (length included) is not what its sender wrote.
GameCheck CheckGameDatagram(std::span<const uint8_t> datagram);
uint8_t GameFlags(std::span<const uint8_t> datagram);

// A small deterministic generator (xorshift64*), for contents and schedules.
class ByteStream {
public:
    explicit ByteStream(uint64_t seed);
    uint64_t Next();
    // A value in [low, high].
    uint32_t Between(uint32_t low, uint32_t high);
    void Fill(std::span<uint8_t> out);

private:
    uint64_t State;
};

}  // namespace relvane::bench
