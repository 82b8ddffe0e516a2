#include "RelayFixture.h"

namespace relvane::testing {

uint16_t FreeUdpPort() {
    UdpSocket probe = UdpSocket::Open(FamilyIpv4);
    probe.Bind(MakeIpv4Address({0, 0, 0, 0}, 0));
    return probe.LocalAddress()->Port();
}

EngineSettings RelayFixture::Settings() {
    EngineSettings settings;
    settings.QwChildPort = FreeUdpPort();
    return settings;
}

void RelayFixture::SetUp() {
    Window.SetTarget("127.0.0.1", std::to_string(Server.Port()));
    Engine = std::make_unique<RelayEngine>(Window, Settings());
    ListenPort = Engine->StartListener(FamilyIpv4, 0);
    ASSERT_NE(ListenPort, 0);
    SetUpLines = Window.LineCount();
}

void RelayFixture::TearDown() { Engine->Shutdown(); }

std::optional<Received> RelayFixture::RelayToServer(const Datagram& datagram) {
    if (!Client.SendTo(ListenPort, datagram)) return std::nullopt;
    return Server.Receive();
}

uint16_t RelayFixture::ListenerServerPort() {
    const std::optional<Received> probe = RelayToServer(Bytes({0x01}));
    return probe ? probe->From.Port() : 0;
}

std::vector<std::string> RelayFixture::TrafficLines() {
    std::vector<std::string> lines = Window.Lines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(SetUpLines, lines.size())));
    return lines;
}

}  // namespace relvane::testing
