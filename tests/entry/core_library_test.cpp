// The core library as its callers use it: loaded by name, exports bound by name, dialogs
// answered by the script host from a scenario, a temporary home folder named by the registry.
#include <gtest/gtest.h>
#include <qor/platform/registry.h>
#include <qor/platform/system.h>
#include <qor/profile/user_profile.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
const char kLibrary[] = "qorsec95.dll";
void SetEnv(const char* name, const std::string& value) {
    _putenv_s(name, value.c_str());
}
#else
const char kLibrary[] = "libqorsec95.so";
void SetEnv(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
}
#endif

using WindowCall = int (*)(void*);
using PlainCall = int (*)();

const char kProductKey[] = "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR";

// Setup (welcome, seeding, name and password, backup declined), a change of password (backup
// declined again), a second setup check, the about box and help.
const char kScenario[] = R"(# the whole first use of the product
dialog "QOR Vaultis" -> 1
dialog "Random Seeding": events=300
message "Done with random seeding." -> OK
dialog "QOR Vaultis": "Enter your user &name:"="Alice" "Enter your user &password:"="secret1" "Enter the password again to &confirm it:"="secret1" -> 1
dialog "QOR Vaultis" -> 2
message "will not be backed up" -> OK
message "QOR Vaultis setup is now complete." -> OK
dialog "Change Password": 1301="secret1" 1302="short" 1303="short" -> 1 1302="secret2" 1303="secret2" -> 1
message "User password must be at least six characters long." -> OK
dialog "QOR Vaultis" -> 2
message "will not be backed up" -> OK
dialog "About QOR Vaultis" -> 1
message "Help topic index is not installed." -> OK
)";

std::vector<std::string> Lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string UnlockedKey(const std::string& home, const std::string& password) {
    qor::profile::UserProfile profile;
    profile.SetHomeFolder(home);
    if (profile.Read() != 0) return "unreadable";
    if (profile.VerifyPassword(password) != 0) return "wrong password";
    if (profile.CheckAuthenticity(password) != 1) return "not authentic";
    uint8_t key[16];
    uint32_t length = 0;
    if (profile.UnlockUserKey(password, key, &length) != 0 || length != 10) return "locked";
    return std::string(reinterpret_cast<char*>(key), length);
}

TEST(CoreLibrary, FirstUseThroughTheLoadedLibrary) {
    const fs::path root = fs::temp_directory_path() / "qor-core-library-test";
    fs::remove_all(root);
    fs::create_directories(root / "home");
    const std::string home = (root / "home").string();
#ifndef _WIN32
    SetEnv("QOR_REGISTRY", (root / "registry.reg").string());
#endif
    ASSERT_TRUE(qor::platform::RegistryWriteString(qor::platform::Hive::kClassesRoot, kProductKey,
                                                   "UserHomeDir", home));
    std::ofstream(root / "scenario.txt") << kScenario;
    SetEnv("QOR_UI", "script:" + (root / "scenario.txt").string());
    SetEnv("QOR_UI_LOG", (root / "transcript.txt").string());

    qor::platform::LibraryHandle library = qor::platform::LoadLibrary(kLibrary);
    ASSERT_NE(library, nullptr) << kLibrary;
    auto bind = [&](const char* name) {
        void* symbol = qor::platform::LibrarySymbol(library, name);
        EXPECT_NE(symbol, nullptr) << name;
        return symbol;
    };
    auto setupCompleted = reinterpret_cast<PlainCall>(bind("SetupCompleted"));
    auto setup = reinterpret_cast<WindowCall>(bind("SetupQORSecure"));
    auto continueSetup = reinterpret_cast<WindowCall>(bind("ContinueSetup"));
    auto changePassword = reinterpret_cast<WindowCall>(bind("ChangePassword"));
    auto aboutBox = reinterpret_cast<WindowCall>(bind("AboutBox"));
    auto showHelp = reinterpret_cast<WindowCall>(bind("ShowHelp"));
    for (const char* plumbing :
         {"PromptTraceFlags", "FilterDllMsg", "ProcessDllIdle", "ShowAutoCryptHelp"}) {
        bind(plumbing);
    }
    EXPECT_EQ(qor::platform::LibrarySymbol(library, "DigestCreate"), nullptr)
        << "the toolkit stays inside the library";
    ASSERT_NE(changePassword, nullptr);

    EXPECT_EQ(setupCompleted(), 0) << "no preference file yet";
    EXPECT_EQ(setup(nullptr), 1);
    EXPECT_EQ(fs::file_size(root / "home" / "userpref.!!!"), 541u);
    const std::string key = UnlockedKey(home, "secret1");
    ASSERT_EQ(key.size(), 10u) << key;
    EXPECT_EQ(setupCompleted(), 0);

    EXPECT_EQ(changePassword(nullptr), 0);
    EXPECT_EQ(UnlockedKey(home, "secret1"), "wrong password");
    EXPECT_EQ(UnlockedKey(home, "secret2"), key) << "the same user key, wrapped anew";

    // Set up already: no dialog at all (an unscripted one would end the process).
    EXPECT_EQ(continueSetup(nullptr), 0);
    aboutBox(nullptr);
    showHelp(nullptr);
    qor::platform::FreeLibrary(library);

    const std::vector<std::string> expected = {
        "dialog: QOR Vaultis",
        "dialog: Random Seeding",
        "message: QOR Vaultis: Done with random seeding. [OK]",
        "dialog: QOR Vaultis",
        "dialog: QOR Vaultis",
        "message: QOR Vaultis: Your user preference file will not be backed up.  Choose OK to "
        "confirm this. [OK/Cancel]",
        "message: QOR Vaultis: QOR Vaultis setup is now complete. [OK]",
        "dialog: Change Password",
        "message: Password: User password must be at least six characters long. [OK]",
        "dialog: QOR Vaultis",
        "message: QOR Vaultis: Your user preference file will not be backed up.  Choose OK to "
        "confirm this. [OK/Cancel]",
        "dialog: About QOR Vaultis",
        "message: QOR Vaultis Help: Help topic index is not installed. [OK]",
    };
    EXPECT_EQ(Lines(root / "transcript.txt"), expected);
    for (const std::string& line : Lines(root / "transcript.txt")) {
        EXPECT_EQ(line.find("secret"), std::string::npos) << "no password in the transcript";
    }
    fs::remove_all(root);
}

}  // namespace
