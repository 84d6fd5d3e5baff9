// The registry through the platform interface: on Windows the real one below
// HKEY_CURRENT_USER\Software\QorVaultisTest, on Linux the emulated one in a file of the test's own.
// Names compare without regard to case, types are kept apart, and missing things fail with
// ERROR_FILE_NOT_FOUND.
#include <gtest/gtest.h>
#include <qor/platform/files.h>
#include <qor/platform/registry.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "temp_folder.h"

namespace {

using namespace qor::platform;
using qor::test::ReadText;
using qor::test::TempFolder;
using qor::test::WriteText;

const char kKey[] = "Software\\QorVaultisTest";
const char kFileText[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\QorVaultisTest]\n"
    "\"UserHomeDir\"=\"/home/a b/\\\"q\\\"\\\\\"\n"
    "\"Count\"=dword:0000002a\n"
    "@=\"default\"\n"
    "\n";

const uint32_t kInvalidData = 13;  // ERROR_INVALID_DATA

class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef _WIN32
        file_ = folder_ / "config";
        file_ += "/qor/registry.reg";
        setenv("QOR_REGISTRY", file_.c_str(), 1);
#endif
    }
    void TearDown() override {
#ifdef _WIN32
        std::vector<RegistryValue> values;
        RegistryEnumValues(Hive::kCurrentUser, kKey, &values);
        for (const RegistryValue& value : values) {
            RegistryDeleteValue(Hive::kCurrentUser, kKey, value.name);
        }
#else
        unsetenv("QOR_REGISTRY");
#endif
    }

    TempFolder folder_;
    std::string file_;
};

TEST_F(Registry, ValuesReadBackWithNamesInAnyCase) {
    std::string text;
    uint32_t number = 0;
    EXPECT_FALSE(RegistryReadString(Hive::kCurrentUser, kKey, "UserHomeDir", &text));
    EXPECT_EQ(LastError(), kErrorFileNotFound);

    const std::string home = "/home/a b/\"q\"\\";
    ASSERT_TRUE(RegistryWriteString(Hive::kCurrentUser, kKey, "UserHomeDir", home));
    ASSERT_TRUE(RegistryWriteDword(Hive::kCurrentUser, kKey, "Count", 42));
    ASSERT_TRUE(RegistryWriteString(Hive::kCurrentUser, kKey, "", "default"));

    EXPECT_TRUE(
        RegistryReadString(Hive::kCurrentUser, "SOFTWARE\\qorvaultistest", "userhomedir", &text));
    EXPECT_EQ(text, home);
    EXPECT_TRUE(RegistryReadDword(Hive::kCurrentUser, kKey, "COUNT", &number));
    EXPECT_EQ(number, 42u);
    EXPECT_TRUE(RegistryReadString(Hive::kCurrentUser, kKey, "", &text));
    EXPECT_EQ(text, "default");

    // A value of the other type is not read as this one.
    EXPECT_FALSE(RegistryReadDword(Hive::kCurrentUser, kKey, "UserHomeDir", &number));
    EXPECT_EQ(LastError(), kInvalidData);
    EXPECT_FALSE(RegistryReadString(Hive::kCurrentUser, kKey, "Count", &text));
    EXPECT_EQ(LastError(), kInvalidData);

    // Setting a name again in other letters changes the one value.
    ASSERT_TRUE(RegistryWriteDword(Hive::kCurrentUser, kKey, "cOuNt", 7));
    std::vector<RegistryValue> values;
    ASSERT_TRUE(RegistryEnumValues(Hive::kCurrentUser, kKey, &values));
    ASSERT_EQ(values.size(), 3u);
    auto count = std::find_if(values.begin(), values.end(),
                              [](const RegistryValue& v) { return v.type == ValueType::kDword; });
    ASSERT_NE(count, values.end());
    EXPECT_EQ(count->dword, 7u);

#ifndef _WIN32
    // The file is the canonical text, in the folders made for it.
    EXPECT_EQ(ReadText(file_),
              std::string(kFileText).replace(std::string(kFileText).find("2a"), 2, "07"));
    // Nothing of the rewrite is left beside it.
    std::filesystem::directory_iterator listing(qor::test::FsPath(file_).parent_path());
    EXPECT_EQ(std::distance(listing, std::filesystem::directory_iterator()), 1);
#endif
}

TEST_F(Registry, DeletingAndMissingThings) {
    std::string text;
    std::vector<RegistryValue> values{RegistryValue{}};
    EXPECT_FALSE(RegistryEnumValues(Hive::kCurrentUser, "Software\\QorVaultisTest\\None", &values));
    EXPECT_EQ(LastError(), kErrorFileNotFound);
    EXPECT_TRUE(values.empty());
    EXPECT_FALSE(RegistryDeleteValue(Hive::kCurrentUser, kKey, "Nothing"));
    EXPECT_EQ(LastError(), kErrorFileNotFound);

    ASSERT_TRUE(RegistryWriteString(Hive::kCurrentUser, kKey, "A", "1"));
    ASSERT_TRUE(RegistryWriteString(Hive::kCurrentUser, kKey, "B", "2"));
    EXPECT_TRUE(RegistryDeleteValue(Hive::kCurrentUser, kKey, "a"));
    EXPECT_FALSE(RegistryReadString(Hive::kCurrentUser, kKey, "A", &text));
    EXPECT_EQ(LastError(), kErrorFileNotFound);
    EXPECT_FALSE(RegistryDeleteValue(Hive::kCurrentUser, kKey, "A"));
    EXPECT_EQ(LastError(), kErrorFileNotFound);
    ASSERT_TRUE(RegistryEnumValues(Hive::kCurrentUser, kKey, &values));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "B");
    EXPECT_EQ(values[0].text, "2");
}

// Writers changing different values at the same time all keep their change.
// RegDeleteTree: the key and everything below it, nothing beside it (a key whose name merely
// begins the same stays); names in any case; a missing key is gone already; the whole hive is
// refused.
TEST_F(Registry, DeletingAKeyTakesWhatIsBelowItAndNothingBeside) {
    const std::string tree = std::string(kKey) + "\\Tree";
    ASSERT_TRUE(RegistryWriteString(Hive::kCurrentUser, tree, "a", "1"));
    ASSERT_TRUE(RegistryWriteString(Hive::kCurrentUser, tree + "\\Sub\\Deeper", "b", "2"));
    ASSERT_TRUE(RegistryWriteString(Hive::kCurrentUser, tree + "Sibling", "c", "3"));
    EXPECT_TRUE(RegistryDeleteKey(Hive::kCurrentUser, std::string(kKey) + "\\TREE"));
    std::string value;
    EXPECT_FALSE(RegistryReadString(Hive::kCurrentUser, tree, "a", &value));
    EXPECT_FALSE(RegistryReadString(Hive::kCurrentUser, tree + "\\Sub\\Deeper", "b", &value));
    std::vector<RegistryValue> values;
    EXPECT_FALSE(RegistryEnumValues(Hive::kCurrentUser, tree + "\\Sub", &values));
    EXPECT_TRUE(RegistryReadString(Hive::kCurrentUser, tree + "Sibling", "c", &value));
    EXPECT_EQ(value, "3");
    EXPECT_TRUE(RegistryDeleteKey(Hive::kCurrentUser, tree));
    EXPECT_FALSE(RegistryDeleteKey(Hive::kCurrentUser, ""));
    EXPECT_EQ(LastError(), static_cast<uint32_t>(kErrorInvalidParameter));
    EXPECT_TRUE(RegistryDeleteKey(Hive::kCurrentUser, tree + "Sibling"));
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < 8; ++i) {
                const std::string name = "w" + std::to_string(t) + "_" + std::to_string(i);
                EXPECT_TRUE(RegistryWriteDword(Hive::kCurrentUser, kKey, name,
                                               static_cast<uint32_t>(t * 100 + i)));
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    std::vector<RegistryValue> values;
    ASSERT_TRUE(RegistryEnumValues(Hive::kCurrentUser, kKey, &values));
    EXPECT_EQ(values.size(), 32u);
    uint32_t number = 0;
    EXPECT_TRUE(RegistryReadDword(Hive::kCurrentUser, kKey, "W3_7", &number));
    EXPECT_EQ(number, 307u);
}

#ifndef _WIN32
// The emulated registry's own promises: the file is read on every call, so another program's
// change is seen at once; a file it cannot read is never overwritten; text the format cannot
// hold is refused.
TEST_F(Registry, EmulatedFileIsSharedAndProtected) {
    std::string text;
    uint32_t number = 0;
    std::filesystem::create_directories(qor::test::FsPath(file_).parent_path());
    WriteText(file_, kFileText);
    EXPECT_TRUE(RegistryReadDword(Hive::kCurrentUser, kKey, "count", &number));
    EXPECT_EQ(number, 42u);
    EXPECT_FALSE(RegistryReadDword(Hive::kLocalMachine, kKey, "count", &number));
    WriteText(file_, std::string(kFileText).replace(std::string(kFileText).find("2a"), 2, "2b"));
    EXPECT_TRUE(RegistryReadDword(Hive::kCurrentUser, kKey, "count", &number));
    EXPECT_EQ(number, 43u);
    ASSERT_TRUE(RegistryWriteString(Hive::kCurrentUser, kKey, "Extra", "x"));
    EXPECT_TRUE(RegistryReadString(Hive::kCurrentUser, kKey, "UserHomeDir", &text));
    EXPECT_EQ(text, "/home/a b/\"q\"\\");

    EXPECT_FALSE(RegistryWriteString(Hive::kCurrentUser, kKey, "Lines", "a\nb"));
    EXPECT_EQ(LastError(), kErrorInvalidParameter);

    const std::string broken = "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\QorVaultisTest]\ngarbage\n";
    WriteText(file_, broken);
    EXPECT_FALSE(RegistryReadString(Hive::kCurrentUser, kKey, "UserHomeDir", &text));
    EXPECT_FALSE(RegistryWriteString(Hive::kCurrentUser, kKey, "Extra", "y"));
    EXPECT_EQ(ReadText(file_), broken);

    // An empty file is an empty registry.
    WriteText(file_, "");
    ASSERT_TRUE(RegistryWriteDword(Hive::kClassesRoot, "CLSID\\Q", "n", 1));
    EXPECT_EQ(ReadText(file_),
              "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\CLSID\\Q]\n\"n\"=dword:00000001\n\n");
}
#endif

}  // namespace
