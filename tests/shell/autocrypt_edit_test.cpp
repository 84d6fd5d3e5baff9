// The edit dialog's path field: one path with blanks in it, or several each in double quotes, as
// the open dialog hands over a multiple selection.
#include <gtest/gtest.h>
#include <qor/platform/files.h>

#include <string>
#include <vector>

#include "autocrypt_edit_dialog.h"

namespace qor::shell {
namespace {

using Paths = std::vector<std::string>;

TEST(AutoCryptEditField, OnePathOrSeveralQuoted) {
    EXPECT_EQ(SplitTypedPaths("  /home/a/report 2.doc "), Paths{"/home/a/report 2.doc"});
    EXPECT_EQ(SplitTypedPaths("\"/w/a.doc\" \"/w/b.exe\""), (Paths{"/w/a.doc", "/w/b.exe"}));
    // The open dialog's form: the folder, then each name quoted.
    const std::string w = std::string("/w") + platform::kSeparator;
    EXPECT_EQ(SplitTypedPaths("/w \"a b.doc\"  \"c.txt\" \"/x/d.txt\""),
              (Paths{w + "a b.doc", w + "c.txt", "/x/d.txt"}));
    EXPECT_EQ(SplitTypedPaths("/w/ \"e.txt\""), Paths{"/w/e.txt"});
    EXPECT_EQ(SplitTypedPaths("\"/w/last.doc"), Paths{"/w/last.doc"});
    EXPECT_TRUE(SplitTypedPaths("   ").empty());
    EXPECT_TRUE(SplitTypedPaths("\"\" \"\"").empty());
}

}  // namespace
}  // namespace qor::shell
