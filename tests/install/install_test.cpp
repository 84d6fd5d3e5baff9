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
    EXPECT_NE(Read(Hive::kLocalMachine, "SOFTWARE\\QOR Data Security\\QOR Vaultis\\1.1",
                   "UninstallString")
                  .find("--uninstall"),
              std::string::npos);

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
    ASSERT_EQ(qor::install::Uninstall(home, &error), 0) << error;
    EXPECT_FALSE(fs::exists(root / "home" / "decexe"));
    EXPECT_FALSE(fs::exists(root / "home" / "core.lib"));
    EXPECT_TRUE(fs::exists(root / "home" / "userpref.!!!"));
    EXPECT_EQ(Read(Hive::kClassesRoot, kProductKey, "UserHomeDir"), "<missing>");

    fs::remove(root / "home" / "userpref.!!!");
    ASSERT_EQ(qor::install::Install(plan, &error), 0) << error;
    ASSERT_EQ(qor::install::Uninstall(home, &error), 0) << error;
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
