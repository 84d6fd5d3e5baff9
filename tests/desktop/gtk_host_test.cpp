// The GTK host under a virtual display: dialogs built from their templates, driven through GTK's
// own calls (a click, typing, a list selection), reaching the models as on Windows, message
// boxes with their buttons, and a screenshot of each dialog for a person to look at.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "about_box.h"
#include "demo_password_dialog.h"
#include "dialog_test_support.h"
#include "encrypt_dialog.h"
#include "gtk_dialog.h"
#include "gtk_host.h"
#include "password_dialog.h"
#include "random_seeding_dialog.h"
#include "setup_dialog.h"
#include "test_models.h"

namespace qor::ui::gtk {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

bool DisplayOpened() {
    static const bool opened = gtk_init_check(nullptr, nullptr) != FALSE;
    return opened;
}

// build/<preset>/screenshots/<name>.png, and a check that it was written and is not empty, and
// that no control takes more room than its template gives it.
void Screenshot(GtkDialogWindow& dialog, const std::string& name) {
    for (const std::string& fault : dialog.LayoutFaults())
        ADD_FAILURE() << name << ": " << fault;
    const fs::path folder = QOR_SCREENSHOT_DIR;
    fs::create_directories(folder);
    const fs::path file = folder / (name + ".png");
    EXPECT_TRUE(dialog.SaveScreenshot(file.string())) << name;
    EXPECT_GT(fs::file_size(file), 1000u) << name;
}

// The dialog's size on the screen against its template's, in the base units it was laid out in.
void ExpectLaidOutFromDialogUnits(GtkDialogWindow& dialog) {
    int width = 0;
    int height = 0;
    gtk_window_get_size(GTK_WINDOW(dialog.window()), &width, &height);
    const DialogRect& rect = dialog.model().Template().rect;
    EXPECT_GE(width, rect.width);  // at least a pixel a unit, whatever the font
    EXPECT_GE(height, rect.height);
}

class GtkHostTest : public dialogs::test::DialogTest {
  protected:
    void SetUp() override {
        if (!DisplayOpened()) GTEST_SKIP() << "no display";
        DialogTest::SetUp();
    }
    GtkHost host_;
};

TEST_F(GtkHostTest, TypingAndClicksReachTheModelInTheirOrder) {
    test::DemoPasswordDialog dialog("alice", "hunter2", false, 5);
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        ExpectLaidOutFromDialogUnits(shown);
        shown.Click(1010);  // keep: the minutes field comes alive
        shown.Type(1026, "15");
        shown.Type(1014, "hunter2");
        Screenshot(shown, "demo-password");
        shown.Click(kIdOk);
    });
    EXPECT_EQ(host_.RunModal(dialog), kIdOk);
    EXPECT_TRUE(dialog.confirmed());
    EXPECT_TRUE(dialog.keep());
    EXPECT_EQ(dialog.minutes(), 15);
    // A text set in a field arrives as one change (GTK replaces the whole text at once).
    const Lines& calls = dialog.calls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls.front(), "init");
    EXPECT_EQ(calls[1], "command 1010");
    EXPECT_EQ(calls.back(), "command 1");
}

TEST_F(GtkHostTest, ListBoxesRadioButtonsAndDropDownsKeepTheirStates) {
    test::ListModel list;
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        shown.Type(110, "c");
        shown.Type(110, "a");
        Screenshot(shown, "list-box");
        shown.Click(111);
    });
    EXPECT_EQ(host_.RunModal(list), kIdOk);
    EXPECT_EQ(list.taken, (std::vector<int>{0, 2}));

    test::OptionsModel options;
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        shown.Click(102);
        shown.Type(104, "DES");
        shown.Click(kIdOk);
    });
    EXPECT_EQ(host_.RunModal(options), kIdOk);
    EXPECT_EQ(options.checked, (std::vector<bool>{false, true, true, false}));
    EXPECT_EQ(options.calls, (Lines{"command 102", "text 104 2", "command 1"}));
}

TEST_F(GtkHostTest, MessageBoxesAnswerWithTheButtonPressedAndEscapeDismisses) {
    std::vector<int> defaults;
    host_.SetMessageHookForTesting([&defaults](GtkWidget* box, int first) {
        defaults.push_back(first);
        gtk_dialog_response(GTK_DIALOG(box), kIdNo);
    });
    EXPECT_EQ(host_.ShowMessage(nullptr, "Overwrite it?", "QOR Vaultis", MessageButtons::kYesNo,
                                MessageIcon::kQuestion),
              kIdNo);
    host_.SetMessageHookForTesting([](GtkWidget* box, int) {
        gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_DELETE_EVENT);
    });
    EXPECT_EQ(host_.ShowMessage(nullptr, "t", "c", MessageButtons::kOkCancel, MessageIcon::kNone),
              kIdCancel);
    EXPECT_EQ(host_.ShowMessage(nullptr, "t", "c", MessageButtons::kOk, MessageIcon::kStop), kIdOk);
    EXPECT_EQ(defaults, std::vector<int>{kIdYes});
}

// The product's dialogs as a user meets them, each photographed.
TEST_F(GtkHostTest, ProductDialogsShowAndWork) {
    SetUpUser("secret1", 5, false);
    dialogs::PasswordDialog password;
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        shown.Type(1022, "secret1");
        Screenshot(shown, "password");
        shown.Click(kIdOk);
    });
    EXPECT_EQ(host_.RunModal(password), kIdOk);
    EXPECT_EQ(password.resultFlag(), 1);

    dialogs::EncryptDialog encrypt({Folder("work"), "report.doc", "notes.txt"});
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        Screenshot(shown, "encrypt");
        shown.Click(kIdCancel);
    });
    EXPECT_EQ(host_.RunModal(encrypt), kIdCancel);

    dialogs::AboutBox about;
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        Screenshot(shown, "about");
        shown.Click(kIdOk);
    });
    EXPECT_EQ(host_.RunModal(about), kIdOk);

    dialogs::SetupDialog setup;
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        shown.Type(dialogs::SetupDialog::kName, "Alice");
        shown.Type(dialogs::SetupDialog::kPassword, "secret1");
        shown.Type(dialogs::SetupDialog::kConfirm, "secret1");
        Screenshot(shown, "setup");
        shown.Click(kIdCancel);
    });
    EXPECT_EQ(host_.RunModal(setup), kIdCancel);

    // The seeding dialog cannot be cancelled; its percentage moves with the user's input.
    dialogs::RandomSeedingDialog seeding;
    host_.SetDialogHookForTesting([](GtkDialogWindow& shown) {
        for (int k = 0; k < 150 && !shown.view().closed(); ++k)
            shown.model().OnKey(shown.view(), 'a' + k % 26, 1);
        Screenshot(shown, "random-seeding");
        for (int k = 0; k < 2000 && !shown.view().closed(); ++k)
            shown.model().OnPointerMove(shown.view(), k, 2 * k);
    });
    host_.SetMessageHookForTesting(
        [](GtkWidget* box, int first) { gtk_dialog_response(GTK_DIALOG(box), first); });
    host_.RunModal(seeding);
    EXPECT_TRUE(seeding.Result() != 0);
}

}  // namespace
}  // namespace qor::ui::gtk
