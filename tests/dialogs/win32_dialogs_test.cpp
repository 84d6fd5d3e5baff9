// Every dialog of the core shown for real by the Windows host, driven from a thread as a user
// drives it, each laid out without a control cut or covering another, and photographed into
// $QOR_SCREENSHOTS for a person to look at.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "about_box.h"
#include "change_password_dialog.h"
#include "decrypt_dialog.h"
#include "dialog_test_support.h"
#include "drive_dialogs.h"
#include "emergency_info_dialog.h"
#include "encrypt_dialog.h"
#include "hosts/win32/win32_host.h"
#include "one_time_password_dialog.h"
#include "password_check.h"
#include "password_dialog.h"
#include "random_seeding_dialog.h"
#include "setup_dialog.h"
#include "share_decrypt_dialog.h"
#include "share_encrypt_dialog.h"
#include "welcome_dialog.h"
#include "win32_driver.h"

namespace qor::dialogs {
namespace {

namespace driver = ::qor::test::win32;

class Win32DialogsTest : public test::DialogTest {
  protected:
    void SetUp() override {
        if (!driver::DesktopPresent()) GTEST_SKIP() << "no desktop to show windows on";
        DialogTest::SetUp();
        SetUpUser("secret1", 5, false);
    }

    // Shows `model`; once it is on the screen, checks its layout, photographs it as `name` and
    // hands it to `steps`. Returns the result the dialog closed with.
    int Show(ui::DialogModel& model, const std::string& name,
             const std::function<void(HWND)>& steps) {
        std::string caption;
        std::atomic<bool> done{false};
        std::thread user([&] {
            HWND window = driver::WaitForDialog("");
            if (window == nullptr) {
                ADD_FAILURE() << name << ": no dialog appeared";
                return;
            }
            caption = driver::Caption(window);
            for (const std::string& fault : driver::LayoutFaults(window))
                ADD_FAILURE() << name << ": " << fault;
            steps(window);
            // What the dialog opens after that (a message, a further dialog) is photographed
            // and dismissed, so that the run ends.
            for (int k = 0; !done; ++k) {
                HWND next = driver::WaitForDialog("", 200, window);
                if (next == nullptr) continue;
                if (const char* folder = std::getenv("QOR_SCREENSHOTS"))
                    driver::SaveScreenshot(next, std::string(folder) + "/" + name + "-then-" +
                                                     std::to_string(k) + ".png");
                PostMessageW(next, WM_COMMAND, IDCANCEL, 0);
                if (driver::WaitUntilClosed(next, 1000)) continue;
                PostMessageW(next, WM_COMMAND, IDNO, 0);
            }
        });
        const int result = host_.RunModal(model);
        done = true;
        user.join();
        EXPECT_EQ(caption, model.Template().caption);
        return result;
    }

    static void Shot(HWND window, const std::string& name) {
        const char* folder = std::getenv("QOR_SCREENSHOTS");
        if (folder != nullptr && *folder != '\0') {
            EXPECT_TRUE(driver::SaveScreenshot(window, std::string(folder) + "/" + name + ".png"))
                << name;
        }
    }

    // Photographs the dialog and presses a button.
    static std::function<void(HWND)> ShotAndPress(const std::string& name, int button) {
        return [name, button](HWND window) {
            Shot(window, name);
            driver::Click(window, button);
        };
    }

    ui::win32::Win32Host host_;
};

TEST_F(Win32DialogsTest, PasswordDialogsTakeThePassword) {
    PasswordDialog password;
    EXPECT_EQ(Show(password, "password",
                   [](HWND window) {
                       driver::Type(window, kIdPassword, "secret1");
                       Shot(window, "password");
                       driver::Click(window, ui::kIdOk);
                   }),
              ui::kIdOk);
    EXPECT_EQ(password.resultFlag(), 1);

    EncryptDialog encrypt({Folder("work"), "report.doc", "notes.txt"});
    EXPECT_EQ(Show(encrypt, "encrypt",
                   [](HWND window) {
                       driver::Type(window, kIdPassword, "secret1");
                       Shot(window, "encrypt");
                       driver::Click(window, ui::kIdOk);
                   }),
              ui::kIdOk);
    EXPECT_EQ(encrypt.resultFlag(), 1);

    DecryptDialog decrypt({Folder("work"), "report(doc).!!!"});
    EXPECT_EQ(Show(decrypt, "decrypt", ShotAndPress("decrypt", ui::kIdCancel)), ui::kIdCancel);
}

TEST_F(Win32DialogsTest, SetupAndTheChangeOfPassword) {
    SetupDialog setup;
    EXPECT_EQ(Show(setup, "setup",
                   [](HWND window) {
                       driver::Type(window, SetupDialog::kName, "Alice");
                       driver::Type(window, SetupDialog::kPassword, "secret1");
                       driver::Type(window, SetupDialog::kConfirm, "secret1");
                       Shot(window, "setup");
                       driver::Click(window, ui::kIdCancel);
                   }),
              ui::kIdCancel);

    // The seeding dialog cannot be cancelled; the user's keys move its percentage.
    RandomSeedingDialog seeding;
    std::string percent;
    Show(seeding, "random-seeding", [&percent](HWND window) {
        for (int k = 0; k < 40; ++k)
            driver::PressKey(window, static_cast<WORD>('A' + k % 26));
        Sleep(300);
        percent = driver::Text(window, RandomSeedingDialog::kPercent);
        Shot(window, "random-seeding");
        driver::Click(window, ui::kIdCancel);
        PostMessageW(window, WM_CLOSE, 0, 0);
        // Enough input to finish, as a user goes on typing.
        for (int k = 0; k < 4000 && IsWindow(window); ++k) {
            PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(k % 300, (3 * k) % 200));
            if (k % 50 == 0) Sleep(5);
        }
        if (HWND box = driver::WaitForDialog("", 3000); box != nullptr && box != window) {
            Shot(box, "random-seeding-done");
            driver::Click(box, IDOK);
        }
    });
    EXPECT_NE(percent, "0%");
    EXPECT_NE(percent, "");

    ChangePasswordDialog change;
    EXPECT_EQ(Show(change, "change-password",
                   [](HWND window) {
                       driver::Type(window, ChangePasswordDialog::kCurrent, "secret1");
                       driver::Type(window, ChangePasswordDialog::kNew, "secret2");
                       driver::Type(window, ChangePasswordDialog::kConfirm, "secret2");
                       Shot(window, "change-password");
                       driver::Click(window, ui::kIdCancel);
                   }),
              ui::kIdCancel);
}

TEST_F(Win32DialogsTest, FileSharingDialogs) {
    ShareEncryptDialog shareEncrypt({Folder("work"), "report.doc"});
    EXPECT_EQ(Show(shareEncrypt, "share-encrypt",
                   [](HWND window) {
                       driver::Type(window, ShareEncryptDialog::kPassword, "one-time-1");
                       driver::Type(window, ShareEncryptDialog::kVerify, "one-time-1");
                       driver::Click(window, ShareEncryptDialog::kSelfExtracting);
                       Sleep(100);
                       Shot(window, "share-encrypt");
                       driver::Click(window, ui::kIdCancel);
                   }),
              ui::kIdCancel);

    ShareDecryptDialog shareDecrypt({Folder("work"), "report.s!!"});
    EXPECT_EQ(Show(shareDecrypt, "share-decrypt", ShotAndPress("share-decrypt", ui::kIdCancel)),
              ui::kIdCancel);

    OneTimePasswordDialog oneTime;
    EXPECT_EQ(Show(oneTime, "one-time-password", ShotAndPress("one-time-password", ui::kIdCancel)),
              ui::kIdCancel);
}

TEST_F(Win32DialogsTest, InformationDialogs) {
    AboutBox about;
    EXPECT_EQ(Show(about, "about", ShotAndPress("about", ui::kIdOk)), ui::kIdOk);

    EmergencyInfoDialog emergency(false);
    Show(emergency, "emergency-information", ShotAndPress("emergency-information", ui::kIdOk));

    WelcomeDialog welcome;
    Show(welcome, "welcome", ShotAndPress("welcome", ui::kIdOk));

    // Declining the backup asks for a confirmation.
    DriveBackupDialog backup;
    std::string confirmation;
    Show(backup, "drive-backup", [&confirmation](HWND window) {
        Shot(window, "drive-backup");
        driver::Click(window, ui::kIdCancel);
        HWND box = driver::WaitForDialog("QOR Vaultis", 5000, window);
        if (box == nullptr) return;
        confirmation = driver::MessageText(box);
        Shot(box, "drive-backup-declined");
        driver::Click(box, IDOK);
    });
    EXPECT_EQ(confirmation,
              "Your user preference file will not be backed up.  Choose OK to confirm this.");
    EXPECT_FALSE(backup.backedUp());

    DrivePromptDialog prompt("Please insert a diskette in drive A:.", "QOR Vaultis");
    Show(prompt, "drive-prompt", ShotAndPress("drive-prompt", ui::kIdCancel));
}

}  // namespace
}  // namespace qor::dialogs
