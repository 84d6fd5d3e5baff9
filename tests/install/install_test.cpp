// The install step: what it places, what it writes to the registry, that running it twice
// changes nothing, and that uninstalling removes only what it placed.
#include <gtest/gtest.h>
#include <qor/platform/registry.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "installer.h"

namespace {

namespace fs = std::filesystem;
using qor::platform::Hive;

const char kProductKey[] = "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR";

std::string Read(Hive hive, const char* key, const char* name) {
    std::string value;
    return qor::platform::RegistryReadString(hive, key, name, &value) ? value : "<missing>";
}

TEST(InstallStep, PlacesRegistersIsIdempotentAndUninstallsOnlyItsOwn) {
    const fs::path root = fs::temp_directory_path() / "qor-install-test";
    fs::remove_all(root);
    fs::create_directories(root / "build");
#ifndef _WIN32
    setenv("QOR_REGISTRY", (root / "registry.reg").string().c_str(), 1);
#endif
    std::ofstream(root / "build" / "decexe") << "stub";
    std::ofstream(root / "build" / "core") << "library";
    const std::string home = (root / "home").string();
    qor::install::InstallPlan plan;
    plan.home = home;
    plan.sourceFolder = (root / "build").string();
    plan.files = {{"decexe", "decexe"}, {"core", "core.lib"}, {"absent", "absent"}};

    std::string error;
    ASSERT_EQ(qor::install::Install(plan, &error), 0) << error;
    EXPECT_TRUE(fs::exists(root / "home" / "decexe"));
    EXPECT_TRUE(fs::exists(root / "home" / "core.lib"));
    EXPECT_FALSE(fs::exists(root / "home" / "absent"));
    EXPECT_EQ(Read(Hive::kClassesRoot, kProductKey, "UserHomeDir"), home);
    const std::string autostart = Read(
        Hive::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "QOR Autocrypt");
    EXPECT_NE(autostart.find("vodorura.rar"), std::string::npos);
    EXPECT_EQ(Read(Hive::kLocalMachine, "SOFTWARE\\QOR Data Security\\QOR Vaultis\\1.1",
                   "UninstallString"),
              qor::install::UninstallCommand(home));

    // A second install changes nothing and lists every file once.
    ASSERT_EQ(qor::install::Install(plan, &error), 0) << error;
    std::ifstream manifest(root / "home" / qor::install::kManifestName);
    int lines = 0;
    for (std::string line; std::getline(manifest, line);)
        ++lines;
    EXPECT_EQ(lines, 2);
    manifest.close();

    // The user's own files stay, and so does the folder that holds them.
    std::ofstream(root / "home" / "userpref.!!!") << "the user's";
    ASSERT_EQ(qor::install::Uninstall(home, plan.desktop, &error), 0) << error;
    EXPECT_FALSE(fs::exists(root / "home" / "decexe"));
    EXPECT_FALSE(fs::exists(root / "home" / "core.lib"));
    EXPECT_TRUE(fs::exists(root / "home" / "userpref.!!!"));
    EXPECT_EQ(Read(Hive::kClassesRoot, kProductKey, "UserHomeDir"), "<missing>");

    fs::remove(root / "home" / "userpref.!!!");
    ASSERT_EQ(qor::install::Install(plan, &error), 0) << error;
    ASSERT_EQ(qor::install::Uninstall(home, plan.desktop, &error), 0) << error;
    EXPECT_FALSE(fs::exists(root / "home")) << "an emptied folder goes too";
    fs::remove_all(root);
}

TEST(InstallStep, RefusesAnUnusableHome) {
    qor::install::InstallPlan plan;
    std::string error;
    EXPECT_NE(qor::install::Install(plan, &error), 0);
    EXPECT_FALSE(error.empty());
}

}  // namespace

#ifndef _WIN32
std::string Contents(const fs::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file association and the log-on entry: written for this home, the log-on entry only
// beside its program, and removed by the uninstall of this home only.
TEST(InstallStep, DesktopEntriesNameTheirHomeAndGoWithIt) {
    const fs::path root = fs::temp_directory_path() / "qor-install-desktop-test";
    fs::remove_all(root);
    fs::create_directories(root / "build");
    setenv("QOR_REGISTRY", (root / "registry.reg").string().c_str(), 1);
    std::ofstream(root / "build" / "vodorura.rar") << "start-up";
    qor::install::InstallPlan plan;
    plan.home = (root / "my home").string();
    plan.sourceFolder = (root / "build").string();
    plan.desktop = {(root / "data").string(), (root / "config").string()};

    std::string error;
    ASSERT_EQ(qor::install::Install(plan, &error), 0) << error;
    const fs::path mime = root / "data" / "mime" / "packages" / "qor-vaultis.xml";
    const fs::path open = root / "data" / "applications" / "qor-vaultis-open.desktop";
    const fs::path logon = root / "config" / "autostart" / "qor-vaultis-autocrypt.desktop";
    EXPECT_NE(Contents(mime).find("<glob pattern=\"*.!!!\"/>"), std::string::npos);
    EXPECT_NE(Contents(mime).find("<glob pattern=\"*.s!!\"/>"), std::string::npos);
    EXPECT_NE(Contents(open).find("Exec=\"" + plan.home + "/qor\" open %f\n"), std::string::npos);
    EXPECT_NE(Contents(open).find("MimeType=application/x-qor-encrypted;application/x-qor-shared;"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(logon)) << "no log-on entry without the start-up program";

    plan.files = {{"vodorura.rar", "vodorura.rar"}};
    ASSERT_EQ(qor::install::Install(plan, &error), 0) << error;
    EXPECT_NE(Contents(logon).find("Exec=\"" + plan.home + "/vodorura.rar\"\n"), std::string::npos);

    // Another install's entries are not this uninstall's to remove.
    const std::string other = (root / "other").string();
    ASSERT_EQ(qor::install::Uninstall(other, plan.desktop, &error), 0) << error;
    EXPECT_TRUE(fs::exists(mime) && fs::exists(open) && fs::exists(logon));
    ASSERT_EQ(qor::install::Uninstall(plan.home, plan.desktop, &error), 0) << error;
    EXPECT_FALSE(fs::exists(mime) || fs::exists(open) || fs::exists(logon));
    fs::remove_all(root);
}

// The desktop's caches of file types and of the programs that open them are rebuilt with the
// install and the uninstall where their programs are there; without them the install is the same.
TEST(InstallStep, DesktopCachesAreRebuiltWhereTheirProgramsExist) {
    const fs::path root = fs::temp_directory_path() / "qor-install-caches-test";
    fs::remove_all(root);
    fs::create_directories(root / "build");
    fs::create_directories(root / "empty path");
    setenv("QOR_REGISTRY", (root / "registry.reg").string().c_str(), 1);
    qor::install::InstallPlan plan;
    plan.home = (root / "home").string();
    plan.sourceFolder = (root / "build").string();
    // A blank, a quote and a backslash in the folder reach the programs as one argument.
    plan.desktop = {(root / "da ta\"\\").string(), (root / "config").string()};
    const fs::path mime = fs::path(plan.desktop.data) / "mime";
    const fs::path applications = fs::path(plan.desktop.data) / "applications";

    const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    setenv("PATH", (root / "empty path").string().c_str(), 1);
    std::string error;
    const int absent = qor::install::Install(plan, &error);
    setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(absent, 0) << error;
    EXPECT_TRUE(fs::exists(mime / "packages" / "qor-vaultis.xml"));
    EXPECT_TRUE(fs::exists(applications / "qor-vaultis-open.desktop"));
    EXPECT_FALSE(fs::exists(mime / "globs2"));
    EXPECT_FALSE(fs::exists(applications / "mimeinfo.cache"));
    ASSERT_EQ(qor::install::Uninstall(plan.home, plan.desktop, &error), 0) << error;

    if (std::system("command -v update-mime-database >/dev/null 2>&1") != 0 ||
        std::system("command -v update-desktop-database >/dev/null 2>&1") != 0) {
        fs::remove_all(root);
        GTEST_SKIP() << "update-mime-database or update-desktop-database is not installed";
    }
    ASSERT_EQ(qor::install::Install(plan, &error), 0) << error;
    EXPECT_NE(Contents(mime / "globs2").find(":application/x-qor-encrypted:*.!!!\n"),
              std::string::npos)
        << Contents(mime / "globs2");
    EXPECT_NE(Contents(mime / "globs2").find(":application/x-qor-shared:*.s!!\n"),
              std::string::npos);
    EXPECT_NE(Contents(mime / "mime.cache").find("application/x-qor-encrypted"), std::string::npos);
    EXPECT_NE(Contents(applications / "mimeinfo.cache")
                  .find("application/x-qor-encrypted=qor-vaultis-open.desktop;"),
              std::string::npos)
        << Contents(applications / "mimeinfo.cache");

    ASSERT_EQ(qor::install::Uninstall(plan.home, plan.desktop, &error), 0) << error;
    EXPECT_EQ(Contents(mime / "globs2").find("x-qor"), std::string::npos);
    EXPECT_EQ(Contents(applications / "mimeinfo.cache").find("x-qor"), std::string::npos);
    fs::remove_all(root);
}

TEST(InstallStep, ExecArgumentsAreQuotedThenEscaped) {
    EXPECT_EQ(qor::install::QuoteExecArgument("/h/a b/qor"), "\"/h/a b/qor\"");
    EXPECT_EQ(qor::install::QuoteExecArgument("/h/$x\"y\\z%q`"),
              "\"/h/\\\\$x\\\\\"y\\\\\\\\z%%q\\\\`\"");
}
// The Start-menu folder where the shell library makes its link: the desktop's applications
// folder, written with the install and removed only by the uninstall of that install.
TEST(InstallStep, StartMenuValueNamesTheApplicationsFolderAndGoesWithItsInstall) {
    const fs::path root = fs::temp_directory_path() / "qor-install-startmenu-test";
    fs::remove_all(root);
    fs::create_directories(root / "build");
    setenv("QOR_REGISTRY", (root / "registry.reg").string().c_str(), 1);
    qor::install::InstallPlan plan;
    plan.home = (root / "home").string();
    plan.sourceFolder = (root / "build").string();
    plan.desktop = {(root / "data").string(), (root / "config").string()};
    const char kShellFolders[] =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

    std::string error;
    ASSERT_EQ(qor::install::Install(plan, &error), 0) << error;
    EXPECT_EQ(Read(Hive::kCurrentUser, kShellFolders, "Start Menu"),
              (root / "data" / "applications").string());

    // Another home's uninstall leaves it; a value someone else changed is not ours to remove.
    ASSERT_EQ(qor::install::Uninstall((root / "other").string(), plan.desktop, &error), 0);
    EXPECT_EQ(Read(Hive::kCurrentUser, kShellFolders, "Start Menu"),
              (root / "data" / "applications").string());
    ASSERT_TRUE(qor::platform::RegistryWriteString(Hive::kCurrentUser, kShellFolders, "Start Menu",
                                                   "/elsewhere"));
    ASSERT_EQ(qor::install::Uninstall(plan.home, plan.desktop, &error), 0) << error;
    EXPECT_EQ(Read(Hive::kCurrentUser, kShellFolders, "Start Menu"), "/elsewhere");

    ASSERT_EQ(qor::install::Install(plan, &error), 0) << error;
    ASSERT_EQ(qor::install::Uninstall(plan.home, plan.desktop, &error), 0) << error;
    EXPECT_EQ(Read(Hive::kCurrentUser, kShellFolders, "Start Menu"), "<missing>");
    fs::remove_all(root);
}

// The small programs: the start-up program also as "vodorura.rar" (the Run value's name), and
// the double-click handled by qor-associate without a terminal once it is installed.
TEST(InstallStep, CompanionsGoInUnderTheirNamesAndTakeTheFileAssociation) {
    const fs::path root = fs::temp_directory_path() / "qor-install-companions-test";
    fs::remove_all(root);
    fs::create_directories(root / "build");
    setenv("QOR_REGISTRY", (root / "registry.reg").string().c_str(), 1);
    for (const char* name : {"qor-associate", "qor-autostart", "qor-shutdown", "qor-uninstall"})
        std::ofstream(root / "build" / name) << name;
    qor::install::InstallPlan plan =
        qor::install::DefaultPlan((root / "home").string(), (root / "build").string());
    plan.desktop = {(root / "data").string(), (root / "config").string()};

    std::string error;
    ASSERT_EQ(qor::install::Install(plan, &error), 0) << error;
    for (const char* name :
         {"qor-associate", "qor-autostart", "vodorura.rar", "qor-shutdown", "qor-uninstall"})
        EXPECT_TRUE(fs::exists(root / "home" / name)) << name;
    EXPECT_EQ(Contents(root / "home" / "vodorura.rar"), "qor-autostart");
    EXPECT_EQ(Read(Hive::kLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                   "QOR Autocrypt"),
              plan.home + "/vodorura.rar");

    const std::string open = Contents(root / "data" / "applications" / "qor-vaultis-open.desktop");
    EXPECT_NE(open.find("Exec=\"" + plan.home + "/qor-associate\" %f\n"), std::string::npos);
    EXPECT_NE(open.find("Terminal=false\n"), std::string::npos);
    EXPECT_EQ(open.find("Terminal=true"), std::string::npos);
    const std::string logon =
        Contents(root / "config" / "autostart" / "qor-vaultis-autocrypt.desktop");
    EXPECT_NE(logon.find("Exec=\"" + plan.home + "/vodorura.rar\"\n"), std::string::npos);

    // Everything placed goes with the uninstall, the second name of the start-up program too.
    ASSERT_EQ(qor::install::Uninstall(plan.home, plan.desktop, &error), 0) << error;
    EXPECT_FALSE(fs::exists(root / "home"));
    EXPECT_FALSE(fs::exists(root / "data" / "applications" / "qor-vaultis-open.desktop"));
    EXPECT_FALSE(fs::exists(root / "config" / "autostart" / "qor-vaultis-autocrypt.desktop"));
    fs::remove_all(root);
}
#endif
