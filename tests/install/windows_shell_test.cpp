// The Windows install's file association and entry in the list of installed apps over the
// emulated registry: the class it names (its own or the one the shell library made), the open
// command with the path as one argument, and a removal that takes away only what this home's
// install wrote. Linux only: on Windows it would
// write the machine's real classes (tests/windows/installer.sh covers it there, under Wine).
#include <gtest/gtest.h>
#include <qor/platform/registry.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "apps_entry.h"
#include "windows_shell.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using qor::platform::Hive;

std::string Read(const std::string& key, const char* name = "") {
    std::string value;
    return qor::platform::RegistryReadString(Hive::kClassesRoot, key, name, &value) ? value
                                                                                    : "<missing>";
}

class WindowsShell : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef _WIN32
        GTEST_SKIP() << "the machine's own classes are not a test's to change";
#else
        root_ = fs::temp_directory_path() / ("qor-windows-shell-" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
        setenv("QOR_REGISTRY", (root_ / "registry.reg").c_str(), 1);
#endif
    }
    void TearDown() override {
#ifndef _WIN32
        unsetenv("QOR_REGISTRY");
        fs::remove_all(root_);
#endif
    }
    std::string Home(const char* name) const {
        return (root_ / name).string();
    }

    fs::path root_;
};

TEST_F(WindowsShell, AssociatesBothSuffixesAndRemovesOnlyItsOwn) {
    const std::string home = Home("my home");
    std::string warning;
    std::string error;
    // No shell library in the home folder: said, and the association is still made.
    ASSERT_EQ(qor::install::RegisterWindowsShell(home, &warning, &error), 0) << error;
    EXPECT_NE(warning.find("registers no Explorer menu (no DllRegisterServer)"), std::string::npos);
    const std::string command = "\"" + home + "/associat.exe\" \"%1\"";
    EXPECT_EQ(qor::install::OpenCommand(home), command);
    for (const char* suffix : {".!!!", ".s!!"}) {
        EXPECT_EQ(Read(suffix), "QORVaultis.Encrypted");
    }
    EXPECT_EQ(Read("QORVaultis.Encrypted\\shell\\open\\command"), command);
    // Again: nothing changes.
    ASSERT_EQ(qor::install::RegisterWindowsShell(home, &warning, &error), 0);
    EXPECT_EQ(Read("QORVaultis.Encrypted\\shell\\open\\command"), command);

    // Another home's removal leaves this one's association alone.
    qor::install::UnregisterWindowsShell(Home("other"));
    EXPECT_EQ(Read(".!!!"), "QORVaultis.Encrypted");
    EXPECT_EQ(Read("QORVaultis.Encrypted\\shell\\open\\command"), command);

    qor::install::UnregisterWindowsShell(home);
    for (const char* key : {".!!!", ".s!!", "QORVaultis.Encrypted\\shell\\open\\command"}) {
        EXPECT_EQ(Read(key), "<missing>") << key;
    }
}

TEST_F(WindowsShell, KeepsTheClassesOthersNamed) {
    const std::string home = Home("home");
    // The shell library's own class for local files (with its icon), and a class of the user's
    // for shared files.
    ASSERT_TRUE(
        qor::platform::RegistryWriteString(Hive::kClassesRoot, ".!!!", "", "QORVaultis.LocalFile"));
    ASSERT_TRUE(qor::platform::RegistryWriteString(Hive::kClassesRoot,
                                                   "QORVaultis.LocalFile\\DefaultIcon", "", "%1"));
    ASSERT_TRUE(qor::platform::RegistryWriteString(Hive::kClassesRoot, ".s!!", "", "Users.Shared"));
    ASSERT_TRUE(qor::platform::RegistryWriteString(Hive::kClassesRoot, "Users.Shared\\shell\\edit",
                                                   "", "notepad \"%1\""));
    std::string warning;
    std::string error;
    ASSERT_EQ(qor::install::RegisterWindowsShell(home, &warning, &error), 0) << error;
    const std::string command = qor::install::OpenCommand(home);
    EXPECT_EQ(Read(".!!!"), "QORVaultis.LocalFile");
    EXPECT_EQ(Read("QORVaultis.LocalFile\\shell\\open\\command"), command);
    EXPECT_EQ(Read(".s!!"), "Users.Shared");
    EXPECT_EQ(Read("Users.Shared\\shell\\open\\command"), command);
    EXPECT_EQ(Read("QORVaultis.Encrypted\\shell\\open\\command"), "<missing>");

    // The verbs go; the library's icon is its own unregistration's, the user's class and its
    // other verb stay.
    qor::install::UnregisterWindowsShell(home);
    EXPECT_EQ(Read("QORVaultis.LocalFile\\shell\\open\\command"), "<missing>");
    EXPECT_EQ(Read("QORVaultis.LocalFile\\DefaultIcon"), "%1");
    EXPECT_EQ(Read(".!!!"), "QORVaultis.LocalFile");
    EXPECT_EQ(Read("Users.Shared\\shell\\open\\command"), "<missing>");
    EXPECT_EQ(Read("Users.Shared\\shell\\edit"), "notepad \"%1\"");
    EXPECT_EQ(Read(".s!!"), "Users.Shared");
}

// The list of installed apps names the product, its folder, and uninstall.exe as its remover;
// only this home's removal takes the entry away.
TEST_F(WindowsShell, AppsEntryNamesTheUninstallAndGoesWithItsHome) {
    const std::string home = Home("apps home");
    ASSERT_TRUE(qor::install::WriteAppsEntry(home));
    const auto read = [](const char* name) {
        std::string value;
        return qor::platform::RegistryReadString(Hive::kLocalMachine, qor::install::kAppsEntryKey,
                                                 name, &value)
                   ? value
                   : "<missing>";
    };
    EXPECT_EQ(read("DisplayName"), "QOR Vaultis");
    EXPECT_EQ(read("DisplayVersion"), "1.1");
    EXPECT_EQ(read("Publisher"), "QOR Data Security");
    EXPECT_EQ(read("InstallLocation"), home);
    EXPECT_EQ(read("UninstallString"), "\"" + home + "/uninstall.exe\"");
    EXPECT_EQ(read("DisplayIcon"), home + "/shutdwn.exe,0");
    uint32_t flag = 0;
    EXPECT_TRUE(qor::platform::RegistryReadDword(Hive::kLocalMachine, qor::install::kAppsEntryKey,
                                                 "NoModify", &flag));
    EXPECT_EQ(flag, 1u);

    qor::install::RemoveAppsEntry(Home("other"));
    EXPECT_EQ(read("DisplayName"), "QOR Vaultis");
    qor::install::RemoveAppsEntry(home);
    EXPECT_EQ(read("DisplayName"), "<missing>");
    EXPECT_EQ(read("UninstallString"), "<missing>");
}

}  // namespace
