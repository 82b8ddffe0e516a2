// The 11-byte remote-control packet and the relay's answer to it, on any
// datagram a sender may put at the listening port. The bytes after the
// eleventh also supply the texts of the window's two target fields.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/ReferenceNumberRules.h"
#include "relay/RemoteControlService.h"
#include "relay/WindowOperations.h"
#include "shared/RemoteControlPacket.h"

namespace {

using relvane::Ipv4Bytes;
using relvane::RemoteControlPacket;

// A window whose two target fields hold given texts and that records what
// the service asks of it.
class FakeWindow final : public relvane::WindowOperations {
public:
    struct TargetWrite {
        uint16_t Port;
        std::string AddressText;
    };

    FakeWindow(std::string serverText, std::string portText)
        : ServerText(std::move(serverText)), PortText(std::move(portText)) {}

    std::string ReadServerText() override { return ServerText; }
    std::string ReadPortText() override { return PortText; }
    void AddComboBox(const std::string&) override { ++HistoryInsertions; }
    void SetTargetFields(uint16_t port, const std::string& addressText) override {
        TargetWrites.push_back({port, addressText});
    }
    void ShowLog(const std::string& line) override { LogLines.push_back(line); }
    void ShowErrorBox(const std::string&) override { ++ErrorBoxes; }

    const std::string ServerText;
    const std::string PortText;
    std::vector<TargetWrite> TargetWrites;
    std::vector<std::string> LogLines;
    int HistoryInsertions = 0;
    int ErrorBoxes = 0;
};

uint8_t ByteOrZero(std::span<const uint8_t> bytes, size_t index) { return index < bytes.size() ? bytes[index] : 0; }

// "a.b.c.d" with four numbers 0 to 255 without leading zeros, nothing more.
std::optional<Ipv4Bytes> StrictDottedQuad(const std::string& text) {
    Ipv4Bytes address{};
    size_t position = 0;
    for (size_t part = 0; part < 4; ++part) {
        if (part > 0 && (position >= text.size() || text[position++] != '.')) return std::nullopt;
        const size_t end = text.find_first_not_of("0123456789", position);
        const std::string digits = text.substr(position, end == std::string::npos ? std::string::npos : end - position);
        if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
        const int value = std::stoi(digits);
        if (value > 255) return std::nullopt;
        address[part] = static_cast<uint8_t>(value);
        position += digits.size();
    }
    if (position != text.size()) return std::nullopt;
    return address;
}

std::string DottedQuadText(const Ipv4Bytes& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
           std::to_string(address[3]);
}

// Every field comes from its own bytes, little-endian where it is 16 bits,
// and a datagram's missing bytes read as 0.
void CheckDecodedFields(std::span<const uint8_t> datagram, const RemoteControlPacket& packet) {
    FUZZ_CHECK(packet.Kind == ByteOrZero(datagram, 0));
    FUZZ_CHECK(packet.Reserved == ByteOrZero(datagram, 1));
    FUZZ_CHECK(packet.Length == (ByteOrZero(datagram, 2) | (ByteOrZero(datagram, 3) << 8)));
    FUZZ_CHECK(packet.Mode == ByteOrZero(datagram, 4));
    for (size_t i = 0; i < 4; ++i) FUZZ_CHECK(packet.TargetAddress[i] == ByteOrZero(datagram, 5 + i));
    FUZZ_CHECK(packet.TargetPort == (ByteOrZero(datagram, 9) | (ByteOrZero(datagram, 10) << 8)));
    FUZZ_CHECK(packet.IsQuery() == (packet.Mode == 0));
}

void CheckEncodingRoundTrips(std::span<const uint8_t> datagram, const RemoteControlPacket& decoded,
                             FuzzedDataProvider& provider) {
    RemoteControlPacket::Bytes firstBytes{};
    std::copy_n(datagram.begin(), std::min(datagram.size(), RemoteControlPacket::Size), firstBytes.begin());
    FUZZ_CHECK(decoded.Encode() == firstBytes);
    FUZZ_CHECK(RemoteControlPacket::Decode(firstBytes) == decoded);

    RemoteControlPacket built;
    built.Kind = provider.ConsumeIntegral<uint8_t>();
    built.Reserved = provider.ConsumeIntegral<uint8_t>();
    built.Length = provider.ConsumeIntegral<uint16_t>();
    built.Mode = provider.ConsumeIntegral<uint8_t>();
    for (uint8_t& part : built.TargetAddress) part = provider.ConsumeIntegral<uint8_t>();
    built.TargetPort = provider.ConsumeIntegral<uint16_t>();
    FUZZ_CHECK(RemoteControlPacket::Decode(built.Encode()) == built);
}

void CheckQueryReply(const RemoteControlPacket& request, const RemoteControlPacket& reply, const FakeWindow& window) {
    const RemoteControlPacket::Bytes requestBytes = request.Encode();
    const RemoteControlPacket::Bytes replyBytes = reply.Encode();
    FUZZ_CHECK(std::equal(requestBytes.begin(), requestBytes.begin() + 5, replyBytes.begin()));
    FUZZ_CHECK(window.LogLines == std::vector<std::string>{"Remote Control Query"});
    FUZZ_CHECK(window.TargetWrites.empty());
    FUZZ_CHECK(reply.TargetPort == relvane::fuzz::ReferencePortFieldValue(window.PortText));
    // The field is read as a C string by the dotted-quad conversion.
    const std::string serverText(window.ServerText.c_str());
    if (const std::optional<Ipv4Bytes> address = StrictDottedQuad(serverText)) {
        FUZZ_CHECK(reply.TargetAddress == *address);
    } else if (serverText.empty() || !relvane::fuzz::IsDecimalDigit(serverText[0])) {
        // A host name is not looked up: the conversion's failure value.
        FUZZ_CHECK((reply.TargetAddress == Ipv4Bytes{255, 255, 255, 255}));
    }
}

void CheckSetReply(const RemoteControlPacket& request, const RemoteControlPacket& reply, const FakeWindow& window) {
    FUZZ_CHECK(reply == request);
    FUZZ_CHECK(reply.Encode() == request.Encode());
    FUZZ_CHECK(window.LogLines == std::vector<std::string>{"Remote Controle Set "});
    FUZZ_CHECK(window.TargetWrites.size() == 1);
    FUZZ_CHECK(window.TargetWrites[0].Port == request.TargetPort);
    FUZZ_CHECK(window.TargetWrites[0].AddressText == DottedQuadText(request.TargetAddress));
    FUZZ_CHECK(StrictDottedQuad(window.TargetWrites[0].AddressText) == request.TargetAddress);
}

void CheckService(std::span<const uint8_t> datagram, const RemoteControlPacket& request) {
    // Bytes after the packet: the server text, a newline, the port text.
    const std::span<const uint8_t> rest = datagram.subspan(std::min(datagram.size(), RemoteControlPacket::Size));
    const std::string fieldTexts(rest.begin(), rest.end());
    const size_t newline = fieldTexts.find('\n');
    FakeWindow window(fieldTexts.substr(0, newline),
                      newline == std::string::npos ? std::string() : fieldTexts.substr(newline + 1));

    const RemoteControlPacket reply = relvane::ServeRemoteControl(request, window);
    if (request.IsQuery()) CheckQueryReply(request, reply, window);
    else CheckSetReply(request, reply, window);
    FUZZ_CHECK(window.HistoryInsertions == 0 && window.ErrorBoxes == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A heap block of exactly the datagram's size: a read past it is reported.
    const std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
    if (size > 0) std::memcpy(exact.get(), data, size);
    const std::span<const uint8_t> datagram(exact.get(), size);

    const RemoteControlPacket request = RemoteControlPacket::DecodeDatagram(datagram);
    CheckDecodedFields(datagram, request);
    FuzzedDataProvider provider(data, size);
    CheckEncodingRoundTrips(datagram, request, provider);
    CheckService(datagram, request);
    return 0;
}
