// A listener's classification of client datagrams, on any bytes a client may
// send, over IPv4 (the whole datagram is game data) and over IPX (the game
// data follows a four-byte prefix that the received length counts).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "relay/ClientClassification.h"

namespace {

using relvane::ClientDatagramKind;
using relvane::ClientVerdict;

const std::string SourceText = "10.1.2.3";
constexpr uint16_t SourcePort = 26001;
constexpr size_t IpxPrefixLength = 4;

// The line a client request should produce, restated from the rules.
std::string ExpectedControlLine(uint8_t command, size_t receivedLength) {
    const std::string from = SourceText + " Port " + std::to_string(SourcePort);
    switch (command) {
        case 1: return "Connection Request from " + from;
        case 2: return "Server Info Request from " + from;
        case 3: return "Player Info Request from " + from;
        case 4: return "Rule Info Request from " + from;
        default:
            return "Unknown Message from Client " + std::to_string(command) + " " + from + " L\u00e4nge " +
                   std::to_string(receivedLength);
    }
}

// The number after the last "Länge " of a line; -1 if there is none.
long long LengthInLine(const std::string& line) {
    const std::string marker = "L\u00e4nge ";
    const size_t at = line.rfind(marker);
    if (at == std::string::npos) return -1;
    const std::string digits = line.substr(at + marker.size());
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoll(digits);
}

void CheckVerdict(std::span<const uint8_t> gameData, size_t receivedLength, const ClientVerdict& verdict) {
    if (gameData.empty()) {
        // Nothing to classify: relayed, silently.
        FUZZ_CHECK(verdict.Kind == ClientDatagramKind::Forward && verdict.LogLine.empty());
        return;
    }
    const uint8_t kind = gameData[0];
    if (kind == 0xA0) {
        FUZZ_CHECK(verdict.Kind == ClientDatagramKind::RemoteControl && verdict.LogLine.empty());
    } else if (kind == 'b') {
        FUZZ_CHECK(verdict.Kind == ClientDatagramKind::QuakeWorldConnect);
        FUZZ_CHECK(verdict.LogLine == "Quake World Connection Request from Client");
    } else if (kind >= 'a' && kind <= 'z') {
        FUZZ_CHECK(verdict.Kind == ClientDatagramKind::Forward);
        FUZZ_CHECK(verdict.LogLine == "Quake World Request from Client");
    } else if (kind == 0x80) {
        // A control packet too short for byte 4 reads it as 0, an unknown command.
        const uint8_t command = gameData.size() > 4 ? gameData[4] : 0;
        FUZZ_CHECK(verdict.Kind == ClientDatagramKind::Forward);
        FUZZ_CHECK(verdict.LogLine == ExpectedControlLine(command, receivedLength));
        if (command < 1 || command > 4)
            FUZZ_CHECK(LengthInLine(verdict.LogLine) == static_cast<long long>(receivedLength));
    } else {
        FUZZ_CHECK(verdict.Kind == ClientDatagramKind::Forward && verdict.LogLine.empty());
    }
}

// Classifies the datagram from a heap block of exactly its size, so that a
// read past its end is an address-sanitizer report, and again from a block
// with other bytes behind it, which must not change the verdict.
void ClassifyBothWays(const uint8_t* data, size_t size, size_t prefixLength) {
    const std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
    if (size > 0) std::memcpy(exact.get(), data, size);
    const std::span<const uint8_t> datagram(exact.get(), size);
    const std::span<const uint8_t> gameData = datagram.subspan(prefixLength);
    const ClientVerdict verdict = relvane::ClassifyClientDatagram(gameData, size, SourceText, SourcePort);
    CheckVerdict(gameData, size, verdict);

    std::vector<uint8_t> padded(data, data + size);
    padded.resize(size + 8, 0x80);
    const std::span<const uint8_t> paddedGameData =
        std::span<const uint8_t>(padded.data(), size).subspan(prefixLength);
    const ClientVerdict again = relvane::ClassifyClientDatagram(paddedGameData, size, SourceText, SourcePort);
    FUZZ_CHECK(again.Kind == verdict.Kind && again.LogLine == verdict.LogLine);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ClassifyBothWays(data, size, 0);
    if (size >= IpxPrefixLength) ClassifyBothWays(data, size, IpxPrefixLength);
    return 0;
}
