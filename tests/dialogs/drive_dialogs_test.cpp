// The diskette dialogs and the load with recovery. Drives A and B are folders named in the
// emulated registry; on Windows they are the real drives a: and b:, which the test machines do
// not have, so the tests that need them are skipped there.
#include <qor/profile/password_cache.h>

#include <filesystem>
#include <fstream>

#include "dialog_test_support.h"
#include "drive_dialogs.h"
#include "help.h"
#include "load_or_recover.h"

namespace qor::dialogs::test {
namespace {

namespace fs = std::filesystem;
using namespace ui;

#ifdef _WIN32
#define SKIP_WITHOUT_DRIVE_FOLDERS() \
    GTEST_SKIP() << "drives a: and b: are real drives on Windows; the test machines have none"
#else
#define SKIP_WITHOUT_DRIVE_FOLDERS() (void)0
#endif

const std::string kCannotWrite =
    "message: QOR Vaultis: Could not write to the disk.  Disk might be write-protected. [OK]";

class DriveTest : public DialogTest {
  protected:
    std::string In(const std::string& folder) const {
        return (fs::path(folder) / profile::kProfileFileName).string();
    }
    // A user set up and read back as a later process would, the file then moved off the home
    // folder when `keepHomeFile` is false.
    Bytes UserFile(bool keepHomeFile) {
        SetUpUser("secretA");
        Bytes file = ReadFile(HomeFile());
        if (!keepHomeFile) fs::remove(HomeFile());
        profile::Profile().Unload();
        return file;
    }
};

TEST_F(DriveTest, ACopyOnDriveALoadsWithoutAnyDialogAndBecomesTheHomeFolder) {
    SKIP_WITHOUT_DRIVE_FOLDERS();
    const Bytes file = UserFile(false);
    const std::string a = Folder("floppy-a");
    WriteFile(In(a), file);
    SetDrive('a', a);
    ScriptedRun run("");
    EXPECT_EQ(LoadOrRecover(nullptr), 0);
    EXPECT_TRUE(run.transcript.empty());
    run.ExpectClean();
    EXPECT_EQ(profile::Profile().HomeFolder(), a);
    EXPECT_EQ(profile::Profile().UserName(), "alice");
    EXPECT_EQ(profile::Profile().DefaultPath(), In(a)) << "later writes go to the diskette";
}

TEST_F(DriveTest, DriveBIsTriedAfterAnEmptyOrMissingDriveA) {
    SKIP_WITHOUT_DRIVE_FOLDERS();
    const Bytes file = UserFile(false);
    const std::string b = Folder("floppy-b");
    WriteFile(In(b), file);
    SetDrive('a', Folder("floppy-a"));  // a drive with a diskette that holds no copy
    SetDrive('b', b);
    ScriptedRun run("");
    EXPECT_EQ(LoadOrRecover(nullptr), 0);
    run.ExpectClean();
    EXPECT_EQ(profile::Profile().HomeFolder(), b);
}

TEST_F(DriveTest, WithNoCopyAnywhereThePromptAsksUntilOneIsFoundOrTheUserCancels) {
    SKIP_WITHOUT_DRIVE_FOLDERS();
    const Bytes file = UserFile(false);
    {
        ScriptedRun run("dialog \"QOR Vaultis\": -> 2\n");
        EXPECT_EQ(LoadOrRecover(nullptr), -1);
        EXPECT_EQ(run.transcript, Lines{"dialog: QOR Vaultis"});
        run.ExpectClean();
        EXPECT_EQ(profile::Profile().HomeFolder(), home_);
    }
    {
        // A: holds nothing; while the prompt shows again, the user puts the diskette into B.
        const std::string a = Folder("floppy-a");
        const std::string b = Folder("floppy-b");
        SetDrive('a', a);
        SetDrive('b', b);
        ScriptedRun run(
            "dialog \"QOR Vaultis\": -> 1\n"
            "dialog \"QOR Vaultis\": 1311=B -> 1\n");
        run.host().beforeDialog = [&](int index) {
            if (index == 1) WriteFile(In(b), file);
        };
        EXPECT_EQ(LoadOrRecover(nullptr), 0);
        EXPECT_EQ(run.transcript, (Lines{"dialog: QOR Vaultis", "dialog: QOR Vaultis"}));
        run.ExpectClean();
        EXPECT_EQ(profile::Profile().HomeFolder(), b);
    }
}

TEST_F(DriveTest, ThePromptShowsTheCallersTextAndCaptionWithAPreselected) {
    DrivePromptDialog prompt("Insert the disk, please.", "Recovery");
    TestView view(prompt.Template());
    prompt.OnInit(view);
    EXPECT_EQ(view.caption(), "Recovery");
    EXPECT_EQ(view.GetText(DrivePromptDialog::kText), "Insert the disk, please.");
    EXPECT_EQ(view.State(DrivePromptDialog::kDriveList)->items, (Lines{"A", "B"}));
    EXPECT_EQ(view.Selection(DrivePromptDialog::kDriveList), 0);
    view.SetSelection(DrivePromptDialog::kDriveList, 1);
    prompt.OnCommand(view, kIdOk);
    EXPECT_TRUE(prompt.confirmed());
    EXPECT_EQ(prompt.driveLetter(), 'b');
}

TEST_F(DriveTest, BackupRefusesTheInstallDiskAndWritesTheProfileToTheOtherDrive) {
    SKIP_WITHOUT_DRIVE_FOLDERS();
    UserFile(true);
    ASSERT_EQ(profile::Profile().Read(), 0);
    profile::Cache().StorePassword("secretA");
    const std::string a = Folder("install-disk");
    const std::string b = Folder("floppy-b");
    WriteFile((fs::path(a) / "qor_sec.dl_").string(), Bytes{1, 2, 3});
    SetDrive('a', a);
    SetDrive('b', b);
    ScriptedRun run(
        "dialog \"QOR Vaultis\": -> 1 1311=B -> 1\n"
        "message \"install disk\" -> OK\n");
    EXPECT_TRUE(OfferDriveBackup(nullptr));
    EXPECT_EQ(run.transcript,
              (Lines{"dialog: QOR Vaultis",
                     "message: QOR Vaultis: The user preference file may not be backed up to the "
                     "user install disk. [OK]"}));
    EXPECT_EQ(run.host().icons, std::vector<MessageIcon>{MessageIcon::kExclamation});
    run.ExpectClean();
    EXPECT_FALSE(fs::exists(In(a)));
    EXPECT_EQ(ReadFile(In(b)), ReadFile(HomeFile()));
    profile::UserProfile copy;
    copy.SetHomeFolder(b);
    ASSERT_EQ(copy.Read(), 0);
    EXPECT_EQ(copy.CheckAuthenticity("secretA"), 1);
}

TEST_F(DriveTest, AnEarlierCopyIsReplacedOnlyWhenTheUserSaysYes) {
    SKIP_WITHOUT_DRIVE_FOLDERS();
    UserFile(true);
    ASSERT_EQ(profile::Profile().Read(), 0);
    profile::Cache().StorePassword("secretA");
    const std::string a = Folder("floppy-a");
    const Bytes old(541, 0x77);
    WriteFile(In(a), old);
    SetDrive('a', a);
    const std::string question =
        "message: QOR Vaultis: A user preference file already exists on the diskette. Write over "
        "this copy? [Yes/No]";
    {
        ScriptedRun run(
            "dialog \"QOR Vaultis\": -> 1 -> 2\n"
            "message \"already exists\" -> No\n"
            "message \"will not be backed up\" -> OK\n");
        EXPECT_FALSE(OfferDriveBackup(nullptr));
        EXPECT_EQ(run.transcript.at(1), question);
        run.ExpectClean();
        EXPECT_EQ(ReadFile(In(a)), old);
    }
    {
        ScriptedRun run(
            "dialog \"QOR Vaultis\": -> 1\n"
            "message \"already exists\" -> Yes\n");
        EXPECT_TRUE(OfferDriveBackup(nullptr));
        EXPECT_EQ(run.transcript, (Lines{"dialog: QOR Vaultis", question}));
        run.ExpectClean();
        EXPECT_EQ(ReadFile(In(a)), ReadFile(HomeFile()));
    }
}

TEST_F(DriveTest, AnUnwritableOrEmptyDriveIsReportedAndCancelMustBeConfirmed) {
    SKIP_WITHOUT_DRIVE_FOLDERS();
    UserFile(true);
    SetDrive('a', (scratch_ / "write-protected" / "missing").string());
    // Drive B has no folder at all: no diskette.
    ScriptedRun run(
        "dialog \"QOR Vaultis\": -> 1 1311=B -> 1 -> 2 -> 2\n"
        "message \"write-protected\" -> OK\n"
        "message \"write-protected\" -> OK\n"
        "message \"will not be backed up\" -> Cancel\n"
        "message \"will not be backed up\" -> OK\n");
    EXPECT_FALSE(OfferDriveBackup(nullptr));
    const std::string confirm =
        "message: QOR Vaultis: Your user preference file will not be backed up.  Choose OK to "
        "confirm this. [OK/Cancel]";
    EXPECT_EQ(run.transcript,
              (Lines{"dialog: QOR Vaultis", kCannotWrite, kCannotWrite, confirm, confirm}));
    EXPECT_EQ(run.host().icons, std::vector<MessageIcon>(4, MessageIcon::kExclamation));
    run.ExpectClean();
}

TEST_F(DriveTest, HelpTopicsAreTextFilesInTheHomeFolder) {
    EXPECT_EQ(HelpFilePath(), (fs::path(home_) / "qorsec95.hlp").string());
    fs::create_directories(fs::path(home_) / "help");
    std::ofstream(fs::path(home_) / "help" / "index.txt", std::ios::binary)
        << "Contents\r\n130 Encrypt\r\n\r\n";
    ScriptedRun run(
        "message \"Contents\" -> OK\n"
        "message \"Help topic 170 is not installed.\" -> OK\n"
        "dialog \"QOR Vaultis\": -> \"&Help\" -> 2\n"
        "message \"Help topic 81 \" -> OK\n"
        "message \"will not be backed up\" -> OK\n");
    ShowHelpFinder(nullptr);
    ShowHelpContext(nullptr, kHelpDecrypt);
    EXPECT_FALSE(OfferDriveBackup(nullptr));
    ASSERT_EQ(run.transcript.size(), 5u);
    EXPECT_EQ(run.transcript[0], "message: QOR Vaultis Help: Contents\\n130 Encrypt [OK]");
    EXPECT_EQ(run.transcript[1],
              "message: QOR Vaultis Help: Help topic 170 is not installed. [OK]");
    EXPECT_EQ(run.transcript[3], "message: QOR Vaultis Help: Help topic 81 is not installed. [OK]");
    run.ExpectClean();
}

}  // namespace
}  // namespace qor::dialogs::test
