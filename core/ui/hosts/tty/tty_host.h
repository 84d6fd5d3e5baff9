// The terminal host: dialogs as prompts on the terminal (see tty_form.h for the layout).
//
// While an edit field has the focus its prompt takes the keys: each key reaches OnKey, each
// change OnTextChanged; Enter presses the default button, Tab moves to the numbered choices,
// Esc or Ctrl-C is Cancel (which the model may refuse). At the choices, a number and Enter
// edits a field, clicks a check box or radio button, picks from a list or presses a button;
// a choice's underlined letter alone (either case) does the same at once; Enter alone presses
// the default button. Message boxes list their buttons by number; Enter
// takes the first. Timers fire between key reads.
#pragma once

#include <qor/ui/dialog_host.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "tty_io.h"

namespace qor::ui::tty {

class TtyView;

class TtyHost : public DialogHost {
  public:
    using Clock = std::function<uint64_t()>;  // milliseconds, for timers

    // `clock` defaults to the steady clock.
    explicit TtyHost(std::unique_ptr<TtyIo> io, Clock clock = {});
    ~TtyHost() override;

    int RunModal(DialogModel& model, OwnerWindow owner = nullptr) override;
    int ShowMessage(OwnerWindow owner, std::string_view text, std::string_view caption,
                    MessageButtons buttons, MessageIcon icon) override;
    void Beep() override;

  private:
    friend class TtyView;
    class Run;

    void EnterRaw();
    void LeaveRaw();

    std::unique_ptr<TtyIo> io_;
    Clock clock_;
    int rawDepth_ = 0;
};

}  // namespace qor::ui::tty
