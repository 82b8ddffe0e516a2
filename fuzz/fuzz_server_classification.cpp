// A listener's handling of game-server replies, on any bytes a server may
// send: the classification, the server-information rewrite and the port of a
// connection-accepted reply, each in a receive buffer of the endpoints' size.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "relay/ServerClassification.h"

namespace {

using relvane::ServerReplyKind;
using relvane::ServerVerdict;

constexpr size_t BufferSize = 8192;
constexpr size_t TextStart = 5;
const std::string SourceText = "10.0.0.9";
constexpr uint16_t SourcePort = 26000;

// Local address texts of every shape a listener may have, the empty one and
// one long enough that a large reply no longer fits once rewritten.
const std::array<std::string, 5> LocalAddrTexts = {
    "10.0.0.1:26000",
    "",
    "255.255.255.255:65535",
    "0000002A:0000C0A8010F:26000",
    std::string(1500, '7'),
};

std::string FromText() { return SourceText + " Port " + std::to_string(SourcePort); }

void CheckControlVerdict(std::span<const uint8_t> reply, const ServerVerdict& verdict) {
    const uint8_t command = reply.size() > 4 ? reply[4] : 0;
    const std::string lengthText = " L\u00e4nge " + std::to_string(reply.size());
    switch (command) {
        case 0x81:
            // A reply too short to carry a port is only relayed, never handed over.
            FUZZ_CHECK(verdict.Kind == (reply.size() >= 9 ? ServerReplyKind::ConnectionAccepted
                                                           : ServerReplyKind::Forward));
            if (verdict.Kind == ServerReplyKind::Forward)
                FUZZ_CHECK(verdict.LogLine.ends_with(lengthText));
            break;
        case 0x82:
            FUZZ_CHECK(verdict.Kind == ServerReplyKind::Forward && verdict.LogLine == "Connection request rejected");
            break;
        case 0x83: FUZZ_CHECK(verdict.Kind == ServerReplyKind::ServerInfo); break;
        case 0x84:
            FUZZ_CHECK(verdict.Kind == ServerReplyKind::Forward);
            FUZZ_CHECK(verdict.LogLine == "Player Info Reply from " + FromText());
            break;
        case 0x85:
            FUZZ_CHECK(verdict.Kind == ServerReplyKind::Forward);
            FUZZ_CHECK(verdict.LogLine == "Rule Info Reply from " + FromText());
            break;
        default:
            FUZZ_CHECK(verdict.Kind == ServerReplyKind::Forward);
            FUZZ_CHECK(verdict.LogLine ==
                       "Unknown Message From Server " + std::to_string(command) + " " + FromText() + lengthText);
    }
}

// Classification and port reading from a heap block of exactly the reply's
// size, so that a read past its end is an address-sanitizer report.
void CheckClassification(const uint8_t* data, size_t length) {
    const std::unique_ptr<uint8_t[]> exact(new uint8_t[length]);
    if (length > 0) std::memcpy(exact.get(), data, length);
    const std::span<const uint8_t> reply(exact.get(), length);
    const ServerVerdict verdict = relvane::ClassifyServerDatagram(reply, SourceText, SourcePort);

    const uint8_t kind = length > 0 ? reply[0] : 0;
    if (kind >= 'a' && kind <= 'z') {
        FUZZ_CHECK(verdict.Kind == ServerReplyKind::Forward && verdict.LogLine == "Quake World Answer from Server");
    } else if (kind == 0x80) {
        CheckControlVerdict(reply, verdict);
    } else if (kind == 0xFF) {
        FUZZ_CHECK(verdict.Kind == ServerReplyKind::QuakeWorldAccepted);
    } else {
        FUZZ_CHECK(verdict.Kind == ServerReplyKind::Forward && verdict.LogLine.empty());
    }

    const uint16_t low = length > 5 ? reply[5] : 0;
    const uint16_t high = length > 6 ? reply[6] : 0;
    FUZZ_CHECK(relvane::ReadAcceptedPort(reply) == static_cast<uint16_t>(low | (high << 8)));
}

// The rewrite either builds the new reply exactly, or leaves the whole
// buffer as it was; it never touches a byte beyond both replies.
void CheckServerInfoRewrite(const std::vector<uint8_t>& original, size_t length, const std::string& localText) {
    std::vector<uint8_t> buffer = original;
    const std::optional<size_t> newLength = relvane::RewriteServerInfo(buffer, length, localText);

    const uint8_t* nul = length > TextStart
                             ? static_cast<const uint8_t*>(std::memchr(original.data() + TextStart, 0, length - TextStart))
                             : nullptr;
    std::optional<size_t> expectedLength;
    size_t oldTextLength = 0;
    if (nul != nullptr) {
        oldTextLength = static_cast<size_t>(nul - original.data()) - TextStart;
        const size_t grown = length - oldTextLength + localText.size();
        if (grown <= BufferSize) expectedLength = grown;
    }
    FUZZ_CHECK(newLength == expectedLength);
    if (!newLength) {
        FUZZ_CHECK(buffer == original);
        return;
    }

    const size_t newTextEnd = TextStart + localText.size();
    FUZZ_CHECK(buffer[0] == original[0] && buffer[1] == original[1] && buffer[4] == original[4]);
    FUZZ_CHECK(((buffer[2] << 8) | buffer[3]) == static_cast<int>(*newLength & 0xFFFF));
    FUZZ_CHECK(std::equal(localText.begin(), localText.end(), buffer.begin() + TextStart));
    FUZZ_CHECK(buffer[newTextEnd] == 0);
    const size_t oldTailStart = TextStart + oldTextLength + 1;
    FUZZ_CHECK(std::equal(original.begin() + static_cast<std::ptrdiff_t>(oldTailStart),
                          original.begin() + static_cast<std::ptrdiff_t>(length),
                          buffer.begin() + static_cast<std::ptrdiff_t>(newTextEnd + 1)));
    FUZZ_CHECK(newTextEnd + 1 + (length - oldTailStart) == *newLength);
    const size_t untouchedFrom = std::max(length, *newLength);
    FUZZ_CHECK(std::equal(original.begin() + static_cast<std::ptrdiff_t>(untouchedFrom), original.end(),
                          buffer.begin() + static_cast<std::ptrdiff_t>(untouchedFrom)));
}

// Writing a port changes bytes 5-8 of a reply long enough to hold it and
// nothing else; reading gives the port back.
void CheckAcceptedPortWrite(const std::vector<uint8_t>& original, size_t length) {
    std::vector<uint8_t> buffer = original;
    const std::span<uint8_t> reply(buffer.data(), length);
    const uint16_t port = static_cast<uint16_t>(relvane::ReadAcceptedPort(reply) ^ 0xA5C3);
    relvane::WriteAcceptedPort(reply, port);
    for (size_t i = 0; i < BufferSize; ++i) {
        const bool portByte = i >= 5 && i <= 8 && length >= relvane::ConnectionAcceptedMinLength;
        if (!portByte) FUZZ_CHECK(buffer[i] == original[i]);
    }
    if (length < relvane::ConnectionAcceptedMinLength) return;
    FUZZ_CHECK(buffer[5] == (port & 0xFF) && buffer[6] == (port >> 8) && buffer[7] == 0 && buffer[8] == 0);
    FUZZ_CHECK(relvane::ReadAcceptedPort(reply) == port);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t length = std::min(size, BufferSize);
    CheckClassification(data, length);

    // The rest of the buffer holds zeros, so a search for the text's NUL that
    // ran past the reply would find one there and show.
    std::vector<uint8_t> buffer(BufferSize, 0);
    std::copy_n(data, length, buffer.begin());
    for (const std::string& localText : LocalAddrTexts) CheckServerInfoRewrite(buffer, length, localText);
    CheckAcceptedPortWrite(buffer, length);
    return 0;
}
