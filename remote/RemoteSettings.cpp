#include "remote/RemoteSettings.h"

#include "shared/PlatformSockets.h"
#include "shared/PortField.h"

namespace relvane::remote {
namespace {

constexpr char Section[] = "Proxy";

}  // namespace

RemoteSettings RemoteSettings::Read(const IniSettings& ini) {
    RemoteSettings settings;
    settings.RemotePort = ini.ReadPort(Section, "RemotePort", DefaultPort);
    settings.ProxyPort = ini.ReadPort(Section, "ProxyPort", DefaultPort);
    settings.ProxyHost = ini.ReadString(Section, "ProxyHost", "127.0.0.1");
    settings.RemoteHost = ini.ReadString(Section, "RemoteHost", "");
    settings.ProxyAddress.SetIpv4(InetAddr(settings.ProxyHost));
    settings.ProxyAddress.SetPort(settings.ProxyPort);
    return settings;
}

RemoteSettings RemoteSettings::Load(const std::string& path) { return Read(IniSettings::Load(path)); }

}  // namespace relvane::remote
