// Dialog 102, "Encrypt and Shutdown": how the session is to end. "&Yes" notes the choice, has the
// AutoCrypt list's files encrypted and closes with OK; "&No" and the close box close with Cancel
// and nothing happens. The fourth choice (log on as another user) is hidden and disabled on a
// machine without a network.
#pragma once

#include <qor/platform/session.h>
#include <qor/ui/dialog_model.h>

#include <functional>

namespace qor::shutdown {

class ShutdownDialog : public ui::DialogModel {
  public:
    static constexpr int kShutDown = 1001;
    static constexpr int kRestart = 1002;
    static constexpr int kRestartMsDos = 1003;
    static constexpr int kLogOff = 1004;
    static constexpr int kHelp = 1000;
    // The program's icon: a number of its own, so that a host can reach the control to put the
    // icon in it.
    static constexpr int kProgramIcon = 1005;

    // `encrypt` runs the AutoCrypt encryption; `help` shows the dialog's help topic.
    ShutdownDialog(bool networkPresent, std::function<void()> encrypt,
                   std::function<void(ui::DialogView&)> help);

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;

    // The radio button that was on when "&Yes" was pressed; 0 before.
    int choice() const { return choice_; }

  private:
    ui::DialogTemplate template_;
    bool networkPresent_;
    std::function<void()> encrypt_;
    std::function<void(ui::DialogView&)> help_;
    int choice_ = 0;
};

// How the session ends for a choice. MS-DOS mode no longer exists: it restarts the machine.
platform::SessionEnd SessionEndFor(int choice);

}  // namespace qor::shutdown
