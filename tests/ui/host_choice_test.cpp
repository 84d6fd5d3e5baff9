// Which host a process gets from $QOR_UI, and the Windows placeholder's answers.
#include <gtest/gtest.h>
#include <qor/ui/dialog_host.h>

#include "demo_password_dialog.h"

namespace qor::ui {
namespace {

TEST(HostChoice, QorUiPicksTheHostAndUnusableValuesFallBackWithAWarning) {
    struct Case {
        const char* setting;
        bool windows;
        bool terminal;
        HostKind kind;
        const char* path;
        const char* warning;
    };
    const Case cases[] = {
        {"", false, true, HostKind::kTty, "", ""},
        {"", false, false, HostKind::kNone, "", ""},
        {"", true, false, HostKind::kWin32, "", ""},
        {"tty", false, true, HostKind::kTty, "", ""},
        {"tty", false, false, HostKind::kNone, "", "QOR_UI=tty: this process has no terminal"},
        {"tty", true, false, HostKind::kWin32, "",
         "QOR_UI=tty: there is no terminal host on Windows"},
        {"script:/tmp/s.txt", false, true, HostKind::kScript, "/tmp/s.txt", ""},
        {"script:C:\\t\\s.txt", true, false, HostKind::kScript, "C:\\t\\s.txt", ""},
        {"script:", true, false, HostKind::kWin32, "", "QOR_UI=script: names no scenario file"},
        {"win32", true, false, HostKind::kWin32, "", ""},
        {"win32", false, true, HostKind::kTty, "",
         "QOR_UI=win32: Windows dialogs exist on Windows only"},
        {"gtk", false, false, HostKind::kNone, "", "QOR_UI=gtk: there is no display"},
        {"gtk", true, false, HostKind::kWin32, "", "QOR_UI=gtk: there is no GTK host on Windows"},
        {"motif", false, true, HostKind::kTty, "", "QOR_UI=motif: unknown dialog host"},
    };
    for (const Case& c : cases) {
        HostChoice choice = ChooseHost(c.setting, c.windows, c.terminal);
        EXPECT_EQ(choice.kind, c.kind) << c.setting << " " << c.windows << c.terminal;
        EXPECT_EQ(choice.scenarioPath, c.path) << c.setting;
        EXPECT_EQ(choice.warning, c.warning) << c.setting;
    }
}

TEST(HostChoice, ADisplayBringsTheGtkHostWithTheTerminalOrNothingBehindIt) {
    HostChoice choice = ChooseHost("", false, true, true);
    EXPECT_EQ(choice.kind, HostKind::kGtk);
    EXPECT_EQ(choice.fallback, HostKind::kTty);
    EXPECT_FALSE(choice.asked);
    choice = ChooseHost("gtk", false, false, true);
    EXPECT_EQ(choice.kind, HostKind::kGtk);
    EXPECT_EQ(choice.fallback, HostKind::kNone);
    EXPECT_TRUE(choice.asked);
    EXPECT_EQ(choice.warning, "");
    // Another host named, or Windows, leaves the display alone.
    EXPECT_EQ(ChooseHost("tty", false, true, true).kind, HostKind::kTty);
    EXPECT_EQ(ChooseHost("script:s", false, true, true).kind, HostKind::kScript);
    EXPECT_EQ(ChooseHost("", true, false, true).kind, HostKind::kWin32);
}

}  // namespace
}  // namespace qor::ui
