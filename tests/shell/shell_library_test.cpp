// The shell library loaded by name, as the small programs and the front end load it: the
// Start-menu link and its removal, the expiry of the shared password, the object's life count,
// command strings and icons.
#include <gtest/gtest.h>
#include <qor/platform/files.h>
#include <qor/platform/registry.h>
#include <qor/platform/shared_block.h>
#include <qor/platform/system.h>
#include <qor/shell/shell_object.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using qor::platform::Hive;

#ifdef _WIN32
constexpr char kLibrary[] = "qorshell.dll";
constexpr char kLinkFile[] = "QOR Encrypt and Shut Down....lnk";
void SetEnv(const char* name, const std::string& value) {
    _putenv_s(name, value.c_str());
}
#else
constexpr char kLibrary[] = "libqorshell.so";
constexpr char kLinkFile[] = "QOR Encrypt and Shut Down....desktop";
void SetEnv(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
}
#endif
constexpr char kProductKey[] = "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR";
constexpr char kShellFolders[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct Block {
    int32_t valid;
    uint32_t cacheTime;
    uint32_t keepMinutes;
    char password[36];
};

class ShellLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() / ("qor-shell-library-" + std::string(info->name()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "home");
        fs::create_directories(root_ / "menu");
#ifndef _WIN32
        SetEnv("QOR_REGISTRY", (root_ / "registry.reg").string());
#endif
        // A fresh Windows profile has its own Start menu folder: set it aside so that the test
        // starts without one, and give it back afterwards.
        hadStartMenu_ = qor::platform::RegistryReadString(Hive::kCurrentUser, kShellFolders,
                                                          "Start Menu", &startMenu_);
        qor::platform::RegistryDeleteValue(Hive::kCurrentUser, kShellFolders, "Start Menu");
        SetEnv("QOR_SHARED_TAG", "shell-library-test");
        qor::platform::ClearSharedHandOver();
        library_ = qor::platform::LoadLibrary(kLibrary);
        ASSERT_NE(library_, nullptr);
    }
    void TearDown() override {
        qor::platform::ClearSharedHandOver();
        if (library_ != nullptr) qor::platform::FreeLibrary(library_);
        qor::platform::RegistryDeleteValue(Hive::kClassesRoot, kProductKey, "UserHomeDir");
        qor::platform::RegistryDeleteValue(Hive::kCurrentUser, kShellFolders, "Start Menu");
        if (hadStartMenu_) {
            qor::platform::RegistryWriteString(Hive::kCurrentUser, kShellFolders, "Start Menu",
                                               startMenu_);
        }
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    template <typename Function>
    Function Bind(const char* name) {
        void* symbol = qor::platform::LibrarySymbol(library_, name);
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<Function>(symbol);
    }

    fs::path root_;
    qor::platform::LibraryHandle library_ = nullptr;
    bool hadStartMenu_ = false;
    std::string startMenu_;
};

TEST_F(ShellLibraryTest, StartMenuLinkAndUninstallCleanUp) {
    const auto addToStartMenu = Bind<int (*)()>("SH_AddToStartMenu");
    const auto uninstall = Bind<int (*)(void*, void*, void*)>("UninstInitialize");
    const fs::path link = root_ / "menu" / kLinkFile;
    // Without the home folder's value: "no more items", and nothing is made.
    qor::platform::RegistryWriteString(Hive::kClassesRoot, kProductKey, "Other", "x");
    EXPECT_EQ(addToStartMenu(), 259);
    EXPECT_TRUE(fs::is_empty(root_ / "menu"));

    const std::string home = (root_ / "home").string();
    ASSERT_TRUE(
        qor::platform::RegistryWriteString(Hive::kClassesRoot, kProductKey, "UserHomeDir", home));
    // Without the Start menu's folder the link cannot be saved.
    EXPECT_NE(addToStartMenu(), 0);
    ASSERT_TRUE(qor::platform::RegistryWriteString(Hive::kCurrentUser, kShellFolders, "Start Menu",
                                                   (root_ / "menu").string()));
    EXPECT_EQ(addToStartMenu(), 0);
    ASSERT_TRUE(fs::exists(link));
#ifndef _WIN32
    std::ifstream in(link);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("Name=Encrypt and Shut Down...\n"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("Exec=\"" + home + "/qor-shutdown\"\n"), std::string::npos)
        << text.str();
#endif
    // Made again at every log-on: the link is overwritten.
    EXPECT_EQ(addToStartMenu(), 0);

    std::ofstream(root_ / "home" / "userpref.!!!") << "x";
    std::ofstream(root_ / "home" / "userpref.qor") << "x";
    std::ofstream(root_ / "home" / "autocryp.!!!") << "x";
    EXPECT_EQ(uninstall(nullptr, nullptr, nullptr), 0);
    EXPECT_FALSE(fs::exists(link));
    EXPECT_FALSE(fs::exists(root_ / "home" / "userpref.!!!"));
    EXPECT_FALSE(fs::exists(root_ / "home" / "userpref.qor"));
    // The list and the user's files are not the clean-up's.
    EXPECT_TRUE(fs::exists(root_ / "home" / "autocryp.!!!"));
}

TEST_F(ShellLibraryTest, TheKeptPasswordRunsOutAfterItsMinutes) {
#ifdef _WIN32
    // There the block is a data section of the shell library itself, which this program can
    // reach only through the library's own calls.
    GTEST_SKIP() << "the shared section belongs to qorshell.dll";
#endif
    const auto check = Bind<int (*)()>("SH_CheckPassword");
    const auto now = static_cast<uint32_t>(std::time(nullptr));
    Block block{1, now - 299, 5, "secret1"};
    ASSERT_TRUE(qor::platform::WriteSharedHandOver(reinterpret_cast<uint8_t*>(&block), 600));
    EXPECT_EQ(check(), 0);
    Block read{};
    ASSERT_TRUE(qor::platform::ReadSharedHandOver(reinterpret_cast<uint8_t*>(&read)));
    EXPECT_EQ(read.valid, 1);
    EXPECT_STREQ(read.password, "secret1");

    block.cacheTime = now - 301;
    ASSERT_TRUE(qor::platform::WriteSharedHandOver(reinterpret_cast<uint8_t*>(&block), 600));
    EXPECT_EQ(check(), 0);
    ASSERT_TRUE(qor::platform::ReadSharedHandOver(reinterpret_cast<uint8_t*>(&read)));
    const Block empty{};
    EXPECT_EQ(std::memcmp(&read, &empty, sizeof read), 0);
}

TEST_F(ShellLibraryTest, ObjectsCommandStringsAndIcons) {
    const auto create = Bind<QorShellObject* (*)()>("QorShellCreate");
    const auto release = Bind<void (*)(QorShellObject*)>("QorShellRelease");
    const auto canUnload = Bind<int (*)()>("QorShellCanUnloadNow");
    const auto strings =
        Bind<int (*)(QorShellObject*, unsigned, char*, unsigned)>("QorShellGetCommandString");
    const auto invoke =
        Bind<int (*)(QorShellObject*, QorShellWindow, unsigned)>("QorShellInvokeCommand");
    const auto icon = Bind<int (*)(QorShellObject*, const char*, char*, unsigned, int*)>(
        "QorShellGetIconLocation");

    EXPECT_EQ(canUnload(), QOR_SHELL_OK);
    QorShellObject* object = create();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(canUnload(), QOR_SHELL_FALSE);

    char text[260];
    EXPECT_EQ(strings(object, 5, text, sizeof text), QOR_SHELL_OK);
    EXPECT_STREQ(text, "Add or remove from AutoCrypt list");
    // Cut to the caller's buffer.
    EXPECT_EQ(strings(object, 2, text, 8), QOR_SHELL_OK);
    EXPECT_STREQ(text, "Encrypt");
    EXPECT_EQ(strings(object, 14, text, sizeof text), QOR_SHELL_INVALID_ARGUMENT);
    EXPECT_EQ(invoke(object, nullptr, 14), QOR_SHELL_INVALID_ARGUMENT);
    // Offset 13 is no command: it succeeds and does nothing.
    EXPECT_EQ(invoke(object, nullptr, 13), QOR_SHELL_OK);

    int index = -1;
    EXPECT_EQ(icon(object, "report(doc).S!!", text, sizeof text, &index), QOR_SHELL_OK);
    EXPECT_EQ(index, 1);
    EXPECT_NE(std::string(text).find(kLibrary), std::string::npos) << text;
    EXPECT_EQ(icon(object, "report(doc).!!!", text, sizeof text, &index), QOR_SHELL_OK);
    EXPECT_EQ(index, 0);
    index = 7;
    EXPECT_EQ(icon(object, "README", text, sizeof text, &index), QOR_SHELL_OK);
    EXPECT_EQ(index, 7);

    release(object);
    EXPECT_EQ(canUnload(), QOR_SHELL_OK);
}

}  // namespace
