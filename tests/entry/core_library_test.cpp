// The core library as its callers use it: loaded by name, exports bound by name, dialogs
// answered by the script host from a scenario, a temporary home folder named by the registry.
#include <qor/profile/user_profile.h>

#include <string>
#include <vector>

#include "library_test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace qor::entry::test {
namespace {

using WindowCall = int (*)(void*);
using PlainCall = int (*)();

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
    const std::string home = PrepareRun(root, kScenario);
    LoadedLibrary library;
    ASSERT_TRUE(library.loaded()) << kLibrary;
    auto setupCompleted = library.Bind<PlainCall>("SetupCompleted");
    auto setup = library.Bind<WindowCall>("SetupQORSecure");
    auto continueSetup = library.Bind<WindowCall>("ContinueSetup");
    auto changePassword = library.Bind<WindowCall>("ChangePassword");
    auto aboutBox = library.Bind<WindowCall>("AboutBox");
    auto showHelp = library.Bind<WindowCall>("ShowHelp");
    for (const char* plumbing :
         {"PromptTraceFlags", "FilterDllMsg", "ProcessDllIdle", "ShowAutoCryptHelp"}) {
        library.Bind<void*>(plumbing);
    }
    EXPECT_EQ(library.Symbol("DigestCreate"), nullptr) << "the toolkit stays inside the library";
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
    library.Unload();

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

#ifdef _WIN32
// The dialogs ask the library for their pictures and cursors by name: the twelve frames of the
// progress dialogs' animation with the clock's hand as hot spot, the About box's question cursor
// with the arrow's tip, and the bitmaps.
TEST(CoreLibrary, CarriesTheDialogsPicturesAndCursors) {
    HMODULE module = LoadLibraryA(kLibrary);
    ASSERT_NE(module, nullptr);
    struct Named {
        std::wstring name;
        DWORD hotX, hotY;
    };
    std::vector<Named> cursors = {{L"questionCursor", 1, 1}, {L"W12", 16, 16}};
    for (int k = 0; k < 12; ++k)
        cursors.push_back({L"w" + std::to_wstring(k), 16, 16});
    for (const Named& cursor : cursors) {
        HANDLE image = LoadImageW(module, cursor.name.c_str(), IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE);
        ASSERT_NE(image, nullptr) << std::string(cursor.name.begin(), cursor.name.end());
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(static_cast<HICON>(image), &info));
        EXPECT_FALSE(info.fIcon);
        EXPECT_EQ(info.xHotspot, cursor.hotX);
        EXPECT_EQ(info.yHotspot, cursor.hotY);
        if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
        if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
        DestroyCursor(static_cast<HCURSOR>(image));
    }
    for (const wchar_t* bitmap : {L"productBitmap", L"aboutBitmap1", L"aboutBitmap2"})
        EXPECT_NE(FindResourceW(module, bitmap, MAKEINTRESOURCEW(2)), nullptr);
    FreeLibrary(module);
}
#endif

}  // namespace
}  // namespace qor::entry::test
