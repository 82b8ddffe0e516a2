// The remote client's settings file and the relay address built from it.

#include <gtest/gtest.h>

#include "remote/RemoteSettings.h"

namespace relvane::testing {
namespace {

struct SettingsCase {
    std::string Name;
    std::string Ini;
    uint16_t RemotePort;
    uint16_t ProxyPort;
    std::string ProxyHost;
    std::string RemoteHost;
    std::string ProxyAddressText;
};

class RemoteSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(RemoteSettingsTest, ReadsKeysWithTheirDefaults) {
    const SettingsCase& row = GetParam();
    const remote::RemoteSettings settings = remote::RemoteSettings::Read(IniSettings::Parse(row.Ini));
    EXPECT_EQ(settings.RemotePort, row.RemotePort);
    EXPECT_EQ(settings.ProxyPort, row.ProxyPort);
    EXPECT_EQ(settings.ProxyHost, row.ProxyHost);
    EXPECT_EQ(settings.RemoteHost, row.RemoteHost);
    EXPECT_EQ(FormatDottedQuad(settings.ProxyAddress.Ipv4()), row.ProxyAddressText);
    EXPECT_EQ(settings.ProxyAddress.Port(), row.ProxyPort);
    // The family is the request's to set.
    EXPECT_EQ(settings.ProxyAddress.Family(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, RemoteSettingsTest,
    ::testing::Values(
        SettingsCase{"Empty", "", 26000, 26000, "127.0.0.1", "", "127.0.0.1"},
        SettingsCase{"OtherSection", "[Relay]\nProxyPort=1\nProxyHost=10.0.0.1\n", 26000, 26000, "127.0.0.1", "",
                     "127.0.0.1"},
        SettingsCase{"HexProxyPort", "[Proxy]\nProxyPort=0x6590\n", 26000, 26000, "127.0.0.1", "", "127.0.0.1"},
        SettingsCase{"RemotePortLow16Bits", "[Proxy]\nRemotePort=70000\n", 4464, 26000, "127.0.0.1", "", "127.0.0.1"},
        SettingsCase{"UnreadablePort", "[Proxy]\nProxyPort=27500x\n", 26000, 26000, "127.0.0.1", "", "127.0.0.1"},
        SettingsCase{"AllKeysAnyCase", "[proxy]\nremoteport=27001\nPROXYPORT=27500\nproxyhost=10.1.2.3\nRemoteHost=quake.example.com\n",
                     27001, 27500, "10.1.2.3", "quake.example.com", "10.1.2.3"},
        // No name lookup: inet_addr's failure value.
        SettingsCase{"ProxyHostName", "[Proxy]\nProxyHost=relay.example\n", 26000, 26000, "relay.example", "",
                     "255.255.255.255"}),
    [](const auto& info) { return info.param.Name; });

TEST(RemoteSettingsFileTest, MissingFileGivesEveryDefault) {
    const remote::RemoteSettings settings = remote::RemoteSettings::Load("/nonexistent/relvanerc.ini");
    EXPECT_EQ(settings.RemotePort, 26000);
    EXPECT_EQ(settings.ProxyAddress.Port(), 26000);
    EXPECT_EQ(FormatDottedQuad(settings.ProxyAddress.Ipv4()), "127.0.0.1");
    EXPECT_EQ(settings.RemoteHost, "");
}

}  // namespace
}  // namespace relvane::testing
