#include "shared/History.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace relvane {
namespace {

struct HistoryCase {
    std::string Name;
    std::string Text;
    std::vector<std::string> Expected;
};

class ParseHistoryTest : public ::testing::TestWithParam<HistoryCase> {};

TEST_P(ParseHistoryTest, SplitsLinesByTheFileRules) { EXPECT_EQ(ParseHistory(GetParam().Text), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseHistoryTest,
    ::testing::Values(HistoryCase{"Lf", "a\nb\n", {"a", "b"}}, HistoryCase{"Cr", "a\rb", {"a", "b"}},
                      HistoryCase{"CrLf", "a\r\nb\r\n", {"a", "b"}},
                      HistoryCase{"LfCrIsTwoLineEnds", "a\n\rb", {"a", "", "b"}},
                      HistoryCase{"EmptyLineKept", "quake.example\n\nQUAKE.EXAMPLE", {"quake.example", "", "QUAKE.EXAMPLE"}},
                      HistoryCase{"NulEndsText", std::string("a\nb\0c\nd", 7), {"a", "b"}},
                      HistoryCase{"Empty", "", {}}, HistoryCase{"OnlyLineEnd", "\n", {""}},
                      HistoryCase{"DuplicatesKept", "a\na", {"a", "a"}},
                      HistoryCase{"Unchanged", "  spaced  \n", {"  spaced  "}}),
    [](const auto& info) { return info.param.Name; });

TEST(HistoryListTest, AddInsertsNewTextsAtTheTopIgnoringCase) {
    HistoryList list(ParseHistory("quake.example\n\nQUAKE.EXAMPLE"));
    EXPECT_FALSE(list.Add("Quake.Example"));
    EXPECT_TRUE(list.Add("quake.example "));
    EXPECT_FALSE(list.Add(""));  // the list holds an empty entry already
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"quake.example ", "quake.example", "", "QUAKE.EXAMPLE"}));
}

TEST(HistoryListTest, EmptyTextIsAddedOnce) {
    HistoryList list;
    EXPECT_TRUE(list.Add(""));
    EXPECT_FALSE(list.Add(""));
    EXPECT_EQ(list.Items().size(), 1u);
}

TEST(HistoryListTest, CaseIsIgnoredForLettersOutsideAscii) {
    EXPECT_TRUE(SameHistoryText("m\xC3\xBCnchen.example", "M\xC3\x9CNCHEN.EXAMPLE"));  // ü / Ü
    EXPECT_FALSE(SameHistoryText("m\xC3\xBCnchen", "munchen"));
    EXPECT_FALSE(SameHistoryText("abc", "abcd"));
    EXPECT_TRUE(SameHistoryText("\xFF", "\xFF"));  // invalid UTF-8 compares byte for byte
}

TEST(HistoryListTest, MissingFileGivesEmptyList) { EXPECT_TRUE(LoadHistoryFile("/nonexistent/relvane.dat").empty()); }

}  // namespace
}  // namespace relvane
