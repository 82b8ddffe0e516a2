#include "shared/IniSettings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace relvane {
namespace {

struct IntegerCase {
    std::string Text;
    std::optional<int32_t> Expected;
};

class ParseIniIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ParseIniIntegerTest, ReadsTextByTheIntegerRules) {
    EXPECT_EQ(ParseIniInteger(GetParam().Text), GetParam().Expected) << "text: '" << GetParam().Text << "'";
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseIniIntegerTest,
                         ::testing::Values(IntegerCase{"26000", 26000}, IntegerCase{"0x6590", 26000},
                                           IntegerCase{"0X6590", 26000}, IntegerCase{"$6590", 26000},
                                           IntegerCase{"$ffffffff", -1}, IntegerCase{"0x", std::nullopt},
                                           IntegerCase{"$", std::nullopt}, IntegerCase{"-$10", std::nullopt},
                                           IntegerCase{"$100000000", std::nullopt}, IntegerCase{"70000", 70000},
                                           IntegerCase{"-1", -1}, IntegerCase{"+7", 7},
                                           IntegerCase{"  42", 42}, IntegerCase{"42 ", std::nullopt},
                                           IntegerCase{"2147483647", 2147483647},
                                           IntegerCase{"-2147483648", INT32_MIN},
                                           IntegerCase{"2147483648", std::nullopt}, IntegerCase{"yes", std::nullopt},
                                           IntegerCase{"", std::nullopt}, IntegerCase{"1 2", std::nullopt}));

TEST(IniSettingsTest, MatchesSectionAndKeyWithoutCaseAndFirstKeyWins) {
    const IniSettings settings = IniSettings::Parse("[other]\nLocalPort=1\n[PROXY]\r\n localport = 2 \r\nLocalPort=3\n");
    EXPECT_EQ(settings.ReadInteger("Proxy", "LocalPort", 26000), 2);
    EXPECT_EQ(settings.ReadInteger("Proxy", "Missing", 26000), 26000);
    EXPECT_EQ(settings.ReadInteger("Absent", "LocalPort", 26000), 26000);
}

TEST(IniSettingsTest, PortsKeepTheLowSixteenBits) {
    const IniSettings settings = IniSettings::Parse("[Proxy]\nRemotePort=70000\nLocalPort=-1\nBad=0x\n");
    EXPECT_EQ(settings.ReadPort("Proxy", "RemotePort", 26000), 4464);
    EXPECT_EQ(settings.ReadPort("Proxy", "LocalPort", 26000), 65535);
    EXPECT_EQ(settings.ReadPort("Proxy", "Bad", 26000), 26000);
}

TEST(IniSettingsTest, BooleansAreIntegersWithTheDefaultForUnreadableText) {
    const IniSettings settings = IniSettings::Parse("[Proxy]\nIPX=yes\nDebug=yes\nTCPIP=2\nOff=0\n");
    EXPECT_TRUE(settings.ReadBool("Proxy", "IPX", true));
    EXPECT_FALSE(settings.ReadBool("Proxy", "Debug", false));
    EXPECT_TRUE(settings.ReadBool("Proxy", "TCPIP", true));
    EXPECT_FALSE(settings.ReadBool("Proxy", "Off", true));
}

TEST(IniSettingsTest, TextsAreCutTo1023CharactersAndQuotesRemoved) {
    const std::string longText(5000, 'x');
    const IniSettings settings =
        IniSettings::Parse("[Proxy]\nRemoteHost=" + longText + "\nQuoted=\"a b\"\nUmlaut=" + std::string(1100, 'a') +
                           "\xC3\xA4\n");
    EXPECT_EQ(settings.ReadString("Proxy", "RemoteHost", ""), std::string(1023, 'x'));
    EXPECT_EQ(settings.ReadString("Proxy", "Quoted", ""), "a b");
    EXPECT_EQ(settings.ReadString("Proxy", "Missing", "127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(settings.ReadString("Proxy", "Umlaut", "").size(), 1023u);
}

TEST(IniSettingsTest, MissingFileGivesDefaults) {
    const IniSettings settings = IniSettings::Load("/nonexistent/relvane.ini");
    EXPECT_EQ(settings.ReadInteger("Proxy", "LocalPort", 26000), 26000);
    EXPECT_TRUE(settings.ReadBool("Proxy", "TCPIP", true));
}

}  // namespace
}  // namespace relvane
