#include "shared/PortField.h"

#include <gtest/gtest.h>

#include <string>

namespace relvane {
namespace {

struct PortCase {
    std::string Text;
    uint16_t Expected;
};

class PortFieldTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(PortFieldTest, ReadsThePortText) {
    EXPECT_EQ(PortFieldValue(GetParam().Text), GetParam().Expected) << "text: '" << GetParam().Text << "'";
}

INSTANTIATE_TEST_SUITE_P(Cases, PortFieldTest,
                         ::testing::Values(PortCase{"26001", 26001}, PortCase{"     ", 26000}, PortCase{"", 26000},
                                           PortCase{"0    ", 0}, PortCase{"  123", 123}, PortCase{"1 2  ", 26000},
                                           PortCase{"70000", 4464}, PortCase{"99999", 34463},
                                           PortCase{"\t27500\n", 27500}, PortCase{"-1", 65535},
                                           PortCase{"abc", 26000}, PortCase{"99999999999", 26000}));

}  // namespace
}  // namespace relvane
