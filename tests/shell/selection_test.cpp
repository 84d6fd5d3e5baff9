// The selection the qor front end hands to the core, built as the file manager builds it.
#include <gtest/gtest.h>
#include <qor/platform/files.h>

#include <map>
#include <string>
#include <vector>

#include "selection.h"

namespace {

using qor::platform::kAttrArchive;
using qor::platform::kAttrDirectory;
using qor::platform::kInvalidAttributes;
using qor::shell::BuildSelection;
using qor::shell::MakeAbsolute;

const std::string S(1, qor::platform::kSeparator);

// Paths built from components with the platform's separator, below a root.
#ifdef _WIN32
const std::string kRoot = "C:";
#else
const std::string kRoot = "";
#endif

std::string P(std::initializer_list<const char*> parts) {
    std::string out = kRoot;
    for (const char* part : parts)
        out += S + part;
    return out;
}

// A small file tree: /home/u/docs (folder) with a.txt, b.txt and the folder sub; /home/u/other.
class SelectionTest : public ::testing::Test {
  protected:
    SelectionTest() {
        tree_[P({"home"})] = kAttrDirectory;
        tree_[P({"home", "u"})] = kAttrDirectory;
        tree_[P({"home", "u", "docs"})] = kAttrDirectory;
        tree_[P({"home", "u", "docs", "a.txt"})] = kAttrArchive;
        tree_[P({"home", "u", "docs", "b.txt"})] = kAttrArchive;
        tree_[P({"home", "u", "docs", "sub"})] = kAttrDirectory;
        tree_[P({"home", "u", "other"})] = kAttrDirectory;
        tree_[P({"home", "u", "other", "c.txt"})] = kAttrArchive;
        tree_[P({"top.txt"})] = kAttrArchive;
    }

    uint32_t Attributes(const std::string& path) const {
        const auto found = tree_.find(path);
        return found == tree_.end() ? kInvalidAttributes : found->second;
    }

    bool Build(const std::vector<std::string>& paths, const std::string& current) {
        return BuildSelection(
            paths, current, [this](const std::string& p) { return Attributes(p); }, &selection_,
            &error_);
    }

    std::map<std::string, uint32_t> tree_;
    std::vector<std::string> selection_;
    std::string error_;
};

TEST_F(SelectionTest, FolderOfTheFirstItemThenNames) {
    ASSERT_TRUE(
        Build({P({"home", "u", "docs", "a.txt"}), P({"home", "u", "docs", "b.txt"})}, P({"home"})));
    EXPECT_EQ(selection_, (std::vector<std::string>{P({"home", "u", "docs"}), "a.txt", "b.txt"}));
}

TEST_F(SelectionTest, FoldersEndInWildcard) {
    ASSERT_TRUE(
        Build({P({"home", "u", "docs", "sub"}), P({"home", "u", "docs", "a.txt"})}, P({"home"})));
    EXPECT_EQ(selection_,
              (std::vector<std::string>{P({"home", "u", "docs"}), "sub" + S + "*.*", "a.txt"}));
}

TEST_F(SelectionTest, TrailingSeparatorOnAFolderIsIgnored) {
    ASSERT_TRUE(Build({P({"home", "u", "docs"}) + S}, P({"home"})));
    EXPECT_EQ(selection_, (std::vector<std::string>{P({"home", "u"}), "docs" + S + "*.*"}));
}

TEST_F(SelectionTest, RelativePathsAreMadeAbsolute) {
    ASSERT_TRUE(Build({"a.txt", "." + S + "sub", ".." + S + "docs" + S + "b.txt"},
                      P({"home", "u", "docs"})));
    EXPECT_EQ(selection_, (std::vector<std::string>{P({"home", "u", "docs"}), "a.txt",
                                                    "sub" + S + "*.*", "b.txt"}));
}

TEST_F(SelectionTest, CurrentFolderItselfIsSelectedFromItsParent) {
    ASSERT_TRUE(Build({"."}, P({"home", "u", "docs"})));
    EXPECT_EQ(selection_, (std::vector<std::string>{P({"home", "u"}), "docs" + S + "*.*"}));
}

TEST_F(SelectionTest, ItemsInDifferentFoldersAreRefused) {
    EXPECT_FALSE(Build({P({"home", "u", "docs", "a.txt"}), P({"home", "u", "other", "c.txt"})},
                       P({"home"})));
    EXPECT_NE(error_.find("one folder"), std::string::npos) << error_;
    EXPECT_EQ(error_.find('\n'), std::string::npos);
    EXPECT_TRUE(selection_.empty());
}

TEST_F(SelectionTest, MissingItemsAndEmptySelectionsAreRefused) {
    EXPECT_FALSE(Build({P({"home", "u", "docs", "missing.txt"})}, P({"home"})));
    EXPECT_NE(error_.find("missing.txt"), std::string::npos) << error_;
    EXPECT_FALSE(Build({}, P({"home"})));
    EXPECT_FALSE(error_.empty());
}

TEST_F(SelectionTest, TheRootItselfIsRefused) {
    EXPECT_FALSE(Build({kRoot + S}, P({"home"})));
    EXPECT_FALSE(Build({".." + S + ".."}, P({"home", "u"})));
}

TEST_F(SelectionTest, AnItemInTheRootHasTheRootAsItsFolder) {
    ASSERT_TRUE(Build({P({"top.txt"})}, P({"home"})));
    // The root folder without its trailing separator: "" on Linux, "C:" on Windows.
    EXPECT_EQ(selection_, (std::vector<std::string>{kRoot, "top.txt"}));
}

TEST(MakeAbsoluteTest, ReducesDotsAndDoubledSeparators) {
    EXPECT_EQ(MakeAbsolute("x" + S + S + "y" + S + "." + S + ".." + S + "z" + S, P({"a", "b"})),
              P({"a", "b", "x", "z"}));
    EXPECT_EQ(MakeAbsolute(P({"a", "..", "..", "c"}), P({"q"})), P({"c"}));
    EXPECT_EQ(MakeAbsolute(P({"a", "b"}), P({"q"})), P({"a", "b"}));
}

}  // namespace
