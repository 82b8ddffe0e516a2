#pragma once
// The remote client's settings: file "./relvanerc.ini", section "Proxy", read
// once at start-up and never written. Keys and defaults:
//   "RemotePort" 26000 (low 16 bits): first text of the port field only
//   "ProxyPort"  26000 (low 16 bits): the relay's listening port
//   "ProxyHost"  "127.0.0.1": the relay's IPv4 address, dotted
//   "RemoteHost" empty: first text of the address field
// ProxyAddress is built from ProxyHost by the dotted-quad conversion alone,
// never by a name lookup: a host name gives 255.255.255.255, to which every
// send is refused. Its family bytes stay zero; each request sets its own copy's.

#include <cstdint>
#include <string>

#include "shared/IniSettings.h"
#include "shared/SocketAddress.h"

namespace relvane::remote {

inline constexpr char RemoteSettingsFile[] = "./relvanerc.ini";
inline constexpr char HistoryFile[] = "./relvane.dat";

struct RemoteSettings {
    uint16_t RemotePort = 26000;
    uint16_t ProxyPort = 26000;
    std::string ProxyHost = "127.0.0.1";
    std::string RemoteHost;
    SocketAddress ProxyAddress;

    static RemoteSettings Read(const IniSettings& ini);
    // A file that cannot be read gives every key its default.
    static RemoteSettings Load(const std::string& path = RemoteSettingsFile);
};

}  // namespace relvane::remote
