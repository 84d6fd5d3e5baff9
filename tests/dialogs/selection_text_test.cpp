// The folder text of the encrypt and decrypt dialogs, shortened to its field, and the list of
// selected names.
#include <gtest/gtest.h>

#include "selection_text.h"

namespace qor::dialogs::test {
namespace {

TEST(SelectionTextTest, FolderIsShortenedToTheFieldWidthLessNine) {
    // Width 40: N = 38, so at most 31 characters are kept whole.
    EXPECT_EQ(ShortenFolderText("C:\\Users\\alice\\Documents\\Budget", 40, '\\'),
              "C:\\Users\\alice\\Documents\\Budget");
    EXPECT_EQ(ShortenFolderText("C:\\Users\\alice\\Documents\\Budget", 39, '\\'),
              "C:\\...\\alice\\Documents\\Budget");
    // The rest starts at the first separator from which it fits.
    EXPECT_EQ(ShortenFolderText("C:\\Program Files\\Common Files\\Shared Tools\\Reports", 40, '\\'),
              "C:\\...\\Shared Tools\\Reports");
    EXPECT_EQ(ShortenFolderText("C:\\Program Files\\Common Files\\Shared Tools\\Reports", 60, '\\'),
              "C:\\Program Files\\Common Files\\Shared Tools\\Reports");
}

TEST(SelectionTextTest, LongLastComponentKeepsTwelveCharacters) {
    EXPECT_EQ(ShortenFolderText("C:\\Data\\Quarterly reports of the whole company", 40, '\\'),
              "C:\\Data\\Quarterly re...");
    // Cut, and then still too long: the beginning goes as well.
    EXPECT_EQ(
        ShortenFolderText("C:\\Program Files\\Common Files\\Quarterly reports of the whole company",
                          40, '\\'),
        "C:\\...\\Common Files\\Quarterly re...");
    // The platform's own separator by default.
    const std::string sep(1, platform::kSeparator);
    EXPECT_EQ(ShortenFolderText(sep + "home" + sep + "Quarterly reports of the whole company", 40),
              sep + "home" + sep + "Quarterly re...");
}

TEST(SelectionTextTest, ListJoinsTheNamesAfterTheFolderWithBlanks) {
    EXPECT_EQ(SelectionListText({"C:\\dir", "a.txt", "b c.doc", "sub\\*.*"}),
              "a.txt b c.doc sub\\*.*");
    EXPECT_EQ(SelectionListText({"C:\\dir"}), "");
    EXPECT_EQ(SelectionListText({}), "");
}

}  // namespace
}  // namespace qor::dialogs::test
