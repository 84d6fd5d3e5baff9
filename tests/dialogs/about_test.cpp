// The about box: held back while another dialog of the library is open, the flag cleared while
// it shows, clicks switching the bitmap, the question cursor, and its text on a terminal.
#include <gtest/gtest.h>

#include "about_box.h"
#include "dialog_open_flag.h"
#include "dialog_test_support.h"
#include "hosts/tty/tty_host.h"

namespace qor::dialogs {
namespace {

using namespace qor::ui;

class CursorView : public test::TestView {
  public:
    using TestView::TestView;
    void SetCursor(CursorShape shape, int) override { cursors.push_back(shape); }
    std::vector<CursorShape> cursors;
};

TEST(AboutBox, ShowsOnlyWhileNoOtherDialogIsOpenAndClearsTheFlagMeanwhile) {
    test::ScriptedRun run("dialog \"About QOR Vaultis\": -> 1\n");
    SetDialogOpenFlag(false);
    ShowAboutBox(nullptr);
    EXPECT_TRUE(run.transcript.empty());
    EXPECT_FALSE(DialogOpenFlag());

    SetDialogOpenFlag(true);
    ShowAboutBox(nullptr);
    EXPECT_EQ(run.transcript, test::Lines{"dialog: About QOR Vaultis"});
    EXPECT_EQ(run.host().openFlagAtDialog, std::vector<bool>{false});
    EXPECT_TRUE(DialogOpenFlag());
    run.ExpectClean();
}

TEST(AboutBox, ClicksSwitchTheBitmapAndTheQuestionCursorLastsUntilOk) {
    AboutBox box;
    CursorView view(box.Template());
    box.OnInit(view);
    EXPECT_EQ(view.GetText(AboutBox::kBitmap), "aboutBitmap1");
    box.OnCommand(view, AboutBox::kBitmap);
    EXPECT_EQ(view.GetText(AboutBox::kBitmap), "aboutBitmap2");
    box.OnCommand(view, AboutBox::kBitmap);
    EXPECT_EQ(view.GetText(AboutBox::kBitmap), "aboutBitmap1");
    box.OnPointerMove(view, 10, 10);
    EXPECT_EQ(view.cursors, (std::vector{CursorShape::kQuestion, CursorShape::kQuestion}));
    EXPECT_FALSE(view.closed());
    box.OnCommand(view, kIdOk);
    EXPECT_EQ(view.cursors.back(), CursorShape::kArrow);
    EXPECT_EQ(view.result(), kIdOk);
}

TEST(AboutBox, ATerminalShowsTheProductNameAndVersion) {
    struct Screen : tty::TtyIo {
        explicit Screen(std::string* text) : shown(text) {}
        void Write(std::string_view text) override { *shown += text; }
        int ReadKey(int) override { return tty::kKeyEnter; }
        void SetRaw(bool) override {}
        std::string* shown;
    };
    std::string shown;
    AboutBox box;
    EXPECT_EQ(tty::TtyHost(std::make_unique<Screen>(&shown)).RunModal(box), kIdOk);
    EXPECT_NE(shown.find("    QOR Vaultis\n    Version 1.1\n"), std::string::npos) << shown;
}

}  // namespace
}  // namespace qor::dialogs
