#pragma once
// What a listener makes of a reply from the game server, and the two
// rewrites that make replies name the relay instead of the server. All of
// it works on a datagram in a buffer and never reads or writes outside the
// datagram (bytes past its end read as 0) or the buffer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace relvane {

enum class ServerReplyKind {
    Forward,               // relayed to the client as it is
    ConnectionAccepted,    // control packet 0x81: connection hand-over, then relayed rewritten
    ServerInfo,            // control packet 0x83: address rewritten, then relayed
    QuakeWorldAccepted,    // first byte 0xFF: QuakeWorld hand-over; the new endpoint sends it
};

struct ServerVerdict {
    ServerReplyKind Kind = ServerReplyKind::Forward;
    std::string LogLine;  // for Forward: the line to log, empty for none
};

ServerVerdict ClassifyServerDatagram(std::span<const uint8_t> reply, const std::string& sourceText,
                                     uint16_t sourcePort);

// A connection-accepted reply carries the server's port in bytes 5-8
// (32-bit little-endian); one shorter than this has no port to read.
inline constexpr size_t ConnectionAcceptedMinLength = 9;
uint16_t ReadAcceptedPort(std::span<const uint8_t> reply);
void WriteAcceptedPort(std::span<uint8_t> reply, uint16_t port);

// Replaces the NUL-ended address text that starts at byte 5 by localAddrText,
// keeps what followed the old NUL and writes the new length into bytes 2-3
// (big-endian). buffer is the whole receive buffer, length the reply's.
// Returns the new length, or nullopt, leaving the buffer untouched, when the
// text has no NUL within the reply or the new reply would not fit.
std::optional<size_t> RewriteServerInfo(std::span<uint8_t> buffer, size_t length, std::string_view localAddrText);

std::string ConnectionAcceptedLine(uint16_t acceptedPort, uint16_t sourcePort);
std::string ServerInfoLine(const std::string& sourceText, uint16_t sourcePort);

}  // namespace relvane
