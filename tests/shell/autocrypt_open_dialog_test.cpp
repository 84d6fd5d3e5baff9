// The AutoCrypt edit dialog inside the real open dialog, driven from a thread as a user would:
// names typed into the open dialog's name field, a folder selected in its file view, the model's
// buttons clicked in the child. The test runs where no core library is found, so the list is
// edited in memory only and "Done" writes nothing; what the dialog adds is checked on the editor.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "autocrypt_edit_dialog.h"
#include "autocrypt_editor.h"
#include "autocrypt_open_dialog.h"
#include "win32_driver.h"

namespace qor::shell {
namespace {

namespace driver = ::qor::test::win32;
namespace fs = std::filesystem;

constexpr char kCaption[] = "Edit AutoCrypt List";

// The child dialog: the open dialog's child window that holds "&Add to List".
HWND ChildOf(HWND open) {
    for (HWND child = GetWindow(open, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgItem(child, AutoCryptEditDialog::kAdd) != nullptr) return child;
    return nullptr;
}

// The open dialog's name field: an edit on some versions, a combo box on others.
int NameField(HWND open) {
    return GetDlgItem(open, 0x480) != nullptr && IsWindowVisible(GetDlgItem(open, 0x480)) ? 0x480
                                                                                          : 0x47c;
}

std::vector<std::string> ListItems(HWND child) {
    std::vector<std::string> items;
    HWND list = GetDlgItem(child, AutoCryptEditDialog::kList);
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[600] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        std::string narrow;
        for (const wchar_t* c = text; *c != L'\0'; ++c)
            narrow += static_cast<char>(*c);
        items.push_back(narrow);
    }
    return items;
}

// Selects the item named `name` in the open dialog's file view, as a click on it does; false
// when the view or the item is not there.
bool SelectInView(HWND open, const std::wstring& name) {
    HWND view = FindWindowExW(open, nullptr, L"SHELLDLL_DefView", nullptr);
    HWND list = view != nullptr ? FindWindowExW(view, nullptr, WC_LISTVIEWW, nullptr) : nullptr;
    if (list == nullptr) return false;
    for (int attempt = 0; attempt < 50; ++attempt) {
        LVFINDINFOW find{};
        find.flags = LVFI_STRING;
        find.psz = name.c_str();
        const LRESULT item = SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(&find));
        if (item >= 0) {
            LVITEMW state{};
            state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            state.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                         reinterpret_cast<LPARAM>(&state));
            return true;
        }
        Sleep(100);
    }
    return false;
}

void Shot(HWND window, const std::string& name) {
    const char* folder = std::getenv("QOR_SCREENSHOTS");
    if (folder != nullptr && *folder != '\0') {
        EXPECT_TRUE(driver::SaveScreenshot(window, std::string(folder) + "/" + name + ".png"));
    }
}

class AutoCryptOpenDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!driver::DesktopPresent()) GTEST_SKIP() << "no desktop to show windows on";
        folder_ = fs::temp_directory_path() /
                  ("qor-open-dialog-" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(folder_ / "Sub");
        for (const char* name : {"a.txt", "b.doc", "prog.exe"})
            std::ofstream(folder_ / name) << "x";
        previous_ = fs::current_path();
        // The open dialog starts in the current folder.
        fs::current_path(folder_);
    }
    void TearDown() override {
        if (folder_.empty()) return;
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string In(const std::string& name) const { return (folder_ / name).string(); }

    fs::path folder_;
    fs::path previous_;
};

TEST_F(AutoCryptOpenDialogTest, AddsTypedFilesAndSelectedFoldersRemovesAndIsDone) {
    AutoCryptEditor editor(nullptr);
    ASSERT_FALSE(editor.opened());  // no core library here: the list stays in memory
    AutoCryptEditDialog dialog(editor, OpenDialogSelection());
    std::vector<std::string> afterFiles, afterFolder, afterRemove, faults;
    std::string refusal, refusalCaption;
    bool removeEnabledAtStart = true, openOkVisible = true, folderSelected = false;
    int result = -2;
    {
        driver::UserThread run([&] {
            HWND open = driver::WaitForDialog(kCaption);
            ASSERT_NE(open, nullptr);
            HWND child = nullptr;
            for (int attempt = 0; attempt < 50 && child == nullptr; ++attempt, Sleep(100))
                child = ChildOf(open);
            ASSERT_NE(child, nullptr);
            removeEnabledAtStart = driver::IsEnabled(child, AutoCryptEditDialog::kRemove);
            openOkVisible = driver::IsVisible(open, IDOK);
            faults = driver::LayoutFaults(child);
            const int name = NameField(open);
            // Two files at once, as the open dialog names a multiple selection.
            driver::Type(open, name, "\"a.txt\" \"b.doc\"");
            driver::Click(child, AutoCryptEditDialog::kAdd);
            Sleep(500);
            afterFiles = ListItems(child);
            // A program is refused with its message and adds nothing.
            driver::Type(open, name, "prog.exe");
            driver::Click(child, AutoCryptEditDialog::kAdd);
            HWND box = driver::WaitForDialog("AutoCrypt List", 15000, open);
            ASSERT_NE(box, nullptr);
            refusal = driver::MessageText(box);
            refusalCaption = driver::Caption(box);
            driver::Click(box, IDOK);
            ASSERT_TRUE(driver::WaitUntilClosed(box));
            // A folder selected in the file view.
            folderSelected = SelectInView(open, L"Sub");
            driver::Click(child, AutoCryptEditDialog::kAdd);
            Sleep(500);
            afterFolder = ListItems(child);
            Shot(open, "autocrypt-edit");
            // The first entry selected and removed.
            HWND list = GetDlgItem(child, AutoCryptEditDialog::kList);
            SendMessageW(list, LB_SETSEL, TRUE, 0);
            SendMessageW(child, WM_COMMAND, MAKEWPARAM(AutoCryptEditDialog::kList, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(list));
            driver::Click(child, AutoCryptEditDialog::kRemove);
            Sleep(500);
            afterRemove = ListItems(child);
            driver::Click(child, AutoCryptEditDialog::kDone);
            EXPECT_TRUE(driver::WaitUntilClosed(open));
        });
        result = RunInOpenDialog(dialog, nullptr);
    }
    EXPECT_EQ(result, ui::kIdOk);
    EXPECT_FALSE(removeEnabledAtStart);
    EXPECT_FALSE(openOkVisible);
    EXPECT_TRUE(faults.empty()) << faults.front();
    EXPECT_EQ(afterFiles, (std::vector<std::string>{In("a.txt"), In("b.doc")}));
    EXPECT_EQ(refusalCaption, "AutoCrypt List");
    EXPECT_NE(refusal.find(".exe"), std::string::npos) << refusal;
    ASSERT_TRUE(folderSelected);
    EXPECT_EQ(afterFolder,
              (std::vector<std::string>{In("a.txt"), In("b.doc"), In("Sub") + "\\*.*"}));
    EXPECT_EQ(afterRemove, (std::vector<std::string>{In("b.doc"), In("Sub") + "\\*.*"}));
    EXPECT_EQ(editor.entries(), afterRemove);
}

// The open dialog's own OK (Enter in its name field) adds what is named and leaves the dialog
// open; Cancel in the child and Escape in the open dialog end it without "Done".
TEST_F(AutoCryptOpenDialogTest, OpenDialogOkAddsCancelAndEscapeEndWithoutDone) {
    for (const bool escape : {false, true}) {
        AutoCryptEditor editor(nullptr);
        AutoCryptEditDialog dialog(editor, OpenDialogSelection());
        std::vector<std::string> added;
        bool stillOpen = false;
        int result = -2;
        {
            driver::UserThread run([&] {
                HWND open = driver::WaitForDialog(kCaption);
                ASSERT_NE(open, nullptr);
                HWND child = nullptr;
                for (int attempt = 0; attempt < 50 && child == nullptr; ++attempt, Sleep(100))
                    child = ChildOf(open);
                ASSERT_NE(child, nullptr);
                driver::Type(open, NameField(open), "a.txt");
                PostMessageW(open, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                for (int attempt = 0; attempt < 50 && added.empty(); ++attempt, Sleep(100))
                    added = ListItems(child);
                stillOpen = IsWindow(open) != FALSE;
                if (escape)
                    PostMessageW(open, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                else
                    driver::Click(child, ui::kIdCancel);
                EXPECT_TRUE(driver::WaitUntilClosed(open));
            });
            result = RunInOpenDialog(dialog, nullptr);
        }
        const char* how = escape ? "escape" : "cancel";
        EXPECT_EQ(added, std::vector<std::string>{In("a.txt")}) << how;
        EXPECT_TRUE(stillOpen) << how;
        EXPECT_EQ(result, ui::kIdCancel) << how;
    }
}

}  // namespace
}  // namespace qor::shell
