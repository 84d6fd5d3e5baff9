// What the dialog tests share: a script host that also records what the transcript leaves out
// (message icons, the dialog-open flag when each dialog opens), a view for driving a model
// directly (timers, visibility), and a fixture with a user set up in a scratch home folder, a
// private emulated registry and a calendar clock of its own.
#pragma once

#include <gtest/gtest.h>
#include <qor/profile/user_profile.h>
#include <qor/ui/dialog_host.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/script/script_host.h"
#include "src/state_view.h"

namespace qor::dialogs::test {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

class RecordingHost : public ui::script::ScriptHost {
  public:
    using ScriptHost::ScriptHost;
    int RunModal(ui::DialogModel& model, ui::OwnerWindow owner = nullptr) override;
    int ShowMessage(ui::OwnerWindow owner, std::string_view text, std::string_view caption,
                    ui::MessageButtons buttons, ui::MessageIcon icon) override;

    std::vector<ui::MessageIcon> icons;
    std::vector<bool> openFlagAtDialog;
    // Runs before the n-th dialog (from 0) is shown: a diskette inserted meanwhile, ...
    std::function<void(int dialogIndex)> beforeDialog;

  private:
    int dialogs_ = 0;
};

// A scenario answered by a RecordingHost installed as the process's host for the lifetime of
// this object; the transcript, the failure reasons and the exit statuses are kept.
class ScriptedRun {
  public:
    explicit ScriptedRun(std::string_view scenario);
    ~ScriptedRun();

    RecordingHost& host() { return *host_; }
    // Nothing unscripted happened and every line was used.
    void ExpectClean() const;

    Lines transcript;
    std::ostringstream errors;
    std::vector<int> exits;

  private:
    std::unique_ptr<RecordingHost> host_;
};

// A view on a model's template without a host: messages are answered with OK and recorded,
// timers run on a clock the test advances.
class TestView : public ui::StateView {
  public:
    using StateView::StateView;
    int ShowMessage(std::string_view text, std::string_view caption, ui::MessageButtons,
                    ui::MessageIcon) override {
        messages.push_back(std::string(caption) + ": " + std::string(text));
        return ui::kIdOk;
    }
    void Beep() override { ++beeps; }
    void SetCursor(ui::CursorShape, int) override {}

    // Fires every timer that falls due up to `until` milliseconds, in order.
    void RunTimersUntil(ui::DialogModel& model, uint64_t until);
    bool Visible(int id) const { return State(id)->visible; }
    bool Enabled(int id) const { return State(id)->enabled; }
    // A click on a check box (its state flips first, as a real click does).
    void Click(ui::DialogModel& model, int id);

    Lines messages;
    int beeps = 0;
};

extern const uint8_t kUserKey[profile::kUserKeySize];

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A user "alice" with `password`, attribute 9/10 = keep/minutes, written to the home
    // folder; the authenticator is made with `authenticatorPassword` when one is given (a file
    // rewritten elsewhere with another password).
    void SetUpUser(std::string_view password, uint16_t minutes = 5, bool keep = true,
                   std::string_view authenticatorPassword = {});
    std::string HomeFile() const;
    // A folder under the scratch folder, created.
    std::string Folder(const std::string& name) const;

    static Bytes ReadFile(const std::string& path);
    static void WriteFile(const std::string& path, const Bytes& bytes);
    // An attribute's bytes within a 541-byte file image.
    static Bytes AttributeIn(const Bytes& file, int index);
    static Bytes AttributeNow(int index);
    // Sets the emulated registry's value DriveA or DriveB (Linux only).
    static void SetDrive(char letter, const std::string& folder);

    static int64_t now;

    std::filesystem::path scratch_;
    std::string home_;
};

}  // namespace qor::dialogs::test
