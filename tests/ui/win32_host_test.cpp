// Real Windows dialogs, answered by a driver thread with the messages a user's typing and
// clicks produce. Each dialog and message box is photographed into $QOR_SCREENSHOTS when set.
#include <gtest/gtest.h>

#include <qor/ui/dialog_host.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "demo_password_dialog.h"
#include "hosts/win32/win32_host.h"
#include "test_models.h"
#include "win32_driver.h"

namespace qor::ui {
namespace {

namespace driver = ::qor::test::win32;

void Shot(HWND window, const std::string& name) {
    const char* folder = std::getenv("QOR_SCREENSHOTS");
    if (folder != nullptr && *folder != '\0') {
        EXPECT_TRUE(driver::SaveScreenshot(window, std::string(folder) + "/" + name + ".png"));
    }
}

class Win32HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!driver::DesktopPresent()) GTEST_SKIP() << "no desktop to show windows on";
    }
    win32::Win32Host host_;
};

TEST_F(Win32HostTest, TypingAndClicksReachTheModelAndARefusalShowsItsBox) {
    test::DemoPasswordDialog dialog("alice", "hunter2", false, 5);
    std::string userName, boxText, boxCaption;
    std::vector<std::string> faults;
    bool minutesEnabled = true;
    {
        driver::UserThread run([&] {
            HWND window = driver::WaitForDialog("Password");
            ASSERT_NE(window, nullptr);
            userName = driver::Text(window, test::DemoPasswordDialog::kUserName);
            minutesEnabled = driver::IsEnabled(window, test::DemoPasswordDialog::kMinutes);
            faults = driver::LayoutFaults(window);
            driver::Type(window, test::DemoPasswordDialog::kPassword, "wrong");
            Shot(window, "test-password");
            driver::Click(window, IDOK);
            HWND box = driver::WaitForDialog("QOR Vaultis", 15000, window);
            ASSERT_NE(box, nullptr);
            boxText = driver::MessageText(box);
            boxCaption = driver::Caption(box);
            Shot(box, "test-invalid-password");
            driver::Click(box, IDOK);
            ASSERT_TRUE(driver::WaitUntilClosed(box));
            driver::Click(window, test::DemoPasswordDialog::kKeep);
            driver::Type(window, test::DemoPasswordDialog::kMinutes, "12");
            driver::Type(window, test::DemoPasswordDialog::kPassword, "hunter2");
            driver::Click(window, IDOK);
        });
        EXPECT_EQ(host_.RunModal(dialog), kIdOk);
    }
    EXPECT_EQ(dialog.Result(), kIdOk);
    EXPECT_EQ(userName, "alice");
    EXPECT_FALSE(minutesEnabled);
    EXPECT_EQ(boxText, "Invalid Password. ");
    EXPECT_EQ(boxCaption, "QOR Vaultis");
    EXPECT_TRUE(dialog.confirmed());
    EXPECT_EQ(dialog.failures(), 1);
    EXPECT_TRUE(dialog.keep());
    EXPECT_EQ(dialog.minutes(), 12);
    // The model saw each field change and each click, in order.
    const std::vector<std::string>& calls = dialog.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "init");
    EXPECT_NE(std::find(calls.begin(), calls.end(), "text 1014"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "command 1010"), calls.end());
    EXPECT_EQ(calls.back(), "command 1");
    EXPECT_TRUE(faults.empty()) << faults.front();
}

TEST_F(Win32HostTest, EscapeAndTheCloseBoxCancel) {
    for (const bool closeBox : {false, true}) {
        test::DemoPasswordDialog dialog("alice", "hunter2", false, 5);
        {
            driver::UserThread run([&] {
                HWND window = driver::WaitForDialog("Password");
                ASSERT_NE(window, nullptr);
                if (closeBox)
                    PostMessageW(window, WM_CLOSE, 0, 0);
                else
                    driver::PressKey(window, VK_ESCAPE);
            });
            EXPECT_EQ(host_.RunModal(dialog), kIdCancel);
        }
        EXPECT_FALSE(dialog.confirmed());
    }
}

TEST_F(Win32HostTest, MessageBoxesAnswerWithTheButtonPressed) {
    struct Case {
        MessageButtons buttons;
        int press;
    };
    for (const Case& c :
         {Case{MessageButtons::kYesNo, IDNO}, Case{MessageButtons::kYesNo, IDYES},
          Case{MessageButtons::kYesNoCancel, IDCANCEL}, Case{MessageButtons::kOkCancel, IDOK}}) {
        std::string text;
        int result = 0;
        {
            driver::UserThread run([&] {
                HWND box = driver::WaitForDialog("Overwrite");
                ASSERT_NE(box, nullptr);
                text = driver::MessageText(box);
                if (c.press == IDNO) Shot(box, "test-question");
                driver::Click(box, c.press);
            });
            result = host_.ShowMessage(nullptr, "report.doc exists. Overwrite?", "Overwrite",
                                       c.buttons, MessageIcon::kQuestion);
        }
        EXPECT_EQ(result, c.press);
        EXPECT_EQ(text, "report.doc exists. Overwrite?");
    }
}

TEST_F(Win32HostTest, ListBoxSelectionsReachTheView) {
    test::ListModel dialog;
    {
        driver::UserThread run([&] {
            HWND window = driver::WaitForDialog("List");
            ASSERT_NE(window, nullptr);
            HWND list = GetDlgItem(window, 110);
            SendMessageW(list, LB_SETSEL, TRUE, 0);
            SendMessageW(list, LB_SETSEL, TRUE, 2);
            // The list tells its dialog, as a click in it does.
            SendMessageW(window, WM_COMMAND, MAKEWPARAM(110, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(list));
            driver::Click(window, 111);
        });
        EXPECT_EQ(host_.RunModal(dialog), kIdOk);
    }
    EXPECT_EQ(dialog.taken, (std::vector<int>{0, 2}));
    EXPECT_EQ(dialog.first, 0);
}

// A dialog with a button that acts while held, and a timer that ticks three times.
class HoldModel : public DialogModel {
  public:
    HoldModel() {
        template_.caption = "Hold";
        template_.rect = {0, 0, 120, 40};
        template_.controls = {PushButton(1024, "UP", {7, 7, 10, 7}),
                              DefPushButton(kIdOk, "OK", {60, 20, 50, 14})};
    }
    const DialogTemplate& Template() const override { return template_; }
    void OnInit(DialogView& view) override { view.StartTimer(7, 30); }
    void OnTimer(DialogView& view, int timerId) override {
        if (timerId == 7 && ++ticks == 3) view.StopTimer(7);
    }
    void OnButtonPressed(DialogView&, int id) override {
        events.push_back("down " + std::to_string(id));
    }
    void OnButtonReleased(DialogView&) override { events.push_back("up"); }
    void OnCommand(DialogView& view, int id) override {
        events.push_back("command " + std::to_string(id));
        DialogModel::OnCommand(view, id);
    }
    std::vector<std::string> events;
    int ticks = 0;

  private:
    DialogTemplate template_;
};

TEST_F(Win32HostTest, HeldButtonsAndTimersReachTheModel) {
    HoldModel dialog;
    {
        driver::UserThread run([&] {
            HWND window = driver::WaitForDialog("Hold");
            ASSERT_NE(window, nullptr);
            HWND up = GetDlgItem(window, 1024);
            PostMessageW(up, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
            Sleep(200);
            PostMessageW(up, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
            Sleep(200);
            driver::Click(window, IDOK);
        });
        EXPECT_EQ(host_.RunModal(dialog), kIdOk);
    }
    EXPECT_EQ(dialog.ticks, 3);
    ASSERT_GE(dialog.events.size(), 3u);
    EXPECT_EQ(dialog.events[0], "down 1024");
    EXPECT_EQ(dialog.events[1], "up");
    EXPECT_EQ(dialog.events.back(), "command 1");
}

// A progress dialog keeps the session from ending while it works; other dialogs let it end.
class WorkModel : public DialogModel {
  public:
    explicit WorkModel(bool progress) : progress_(progress) {
        template_.caption = progress ? "Encrypting" : "Question";
        template_.rect = {0, 0, 120, 40};
        template_.controls = {DefPushButton(kIdCancel, "Cancel", {35, 20, 50, 14})};
    }
    const DialogTemplate& Template() const override { return template_; }
    bool IsProgressDialog() const override { return progress_; }

  private:
    bool progress_;
    DialogTemplate template_;
};

TEST_F(Win32HostTest, AProgressDialogRefusesTheEndOfTheSession) {
    for (const bool progress : {true, false}) {
        WorkModel dialog(progress);
        LRESULT answer = -1;
        {
            driver::UserThread run([&] {
                HWND window = driver::WaitForDialog(progress ? "Encrypting" : "Question");
                ASSERT_NE(window, nullptr);
                answer = SendMessageW(window, WM_QUERYENDSESSION, 0, 0);
                driver::Click(window, IDCANCEL);
            });
            host_.RunModal(dialog);
        }
        EXPECT_EQ(answer, progress ? FALSE : TRUE);
    }
}

}  // namespace
}  // namespace qor::ui
