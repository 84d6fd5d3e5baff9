// Dialog hosts: how a model's dialog reaches the user.
//
// One host serves the whole process, chosen from $QOR_UI on first use:
//   "gtk"              real dialogs on a Linux desktop (the default when a display is present
//                      and the module libqor-ui-gtk.so loads)
//   "tty"              prompts on the terminal (the Linux default when there is a terminal)
//   "script:<file>"    answers from a scenario file and writes a transcript (tests, automation)
//   "win32"            real dialogs (the Windows default)
// Code that shows a dialog calls CurrentHost().RunModal(model, owner); tests install their own
// host with SetHostForTesting.
//
// Each library and program of the product carries this framework, so a process holds several
// copies of it. One of them must serve them all (one terminal, one scenario and its transcript,
// one window owner): the module that loads another hands its host down with AdoptHost, through
// an export of the loaded library, and takes it back before unloading it.
#pragma once

#include <qor/ui/dialog_model.h>
#include <qor/ui/dialog_view.h>

#include <string>
#include <string_view>

namespace qor::ui {

// The window a dialog or message box belongs to (an HWND on Windows; nullptr for none).
using OwnerWindow = void*;

// ProgressCancelAfter when automation never cancels.
inline constexpr int kNeverCancel = -1;

// What a save-file dialog offers: one filter, the extension added to a name typed without one,
// the folder it opens in and the text its name field starts with.
struct SaveFileRequest {
    std::string_view filterName;
    std::string_view pattern;
    std::string_view defaultExtension;
    std::string_view folder;
    std::string_view presetName;
};
// ChooseSaveFile's answer when the host has no save dialog of its own.
inline constexpr int kNoSaveDialog = -2;

class DialogHost {
  public:
    virtual ~DialogHost() = default;

    // Shows the model's dialog and returns the result it closed with.
    virtual int RunModal(DialogModel& model, OwnerWindow owner = nullptr) = 0;
    // A message box outside any dialog (or owned by `owner`); returns the button's id.
    // (Not named MessageBox: <windows.h> defines that name as a macro.)
    virtual int ShowMessage(OwnerWindow owner, std::string_view text, std::string_view caption,
                            MessageButtons buttons, MessageIcon icon) = 0;
    // MessageBeep(0).
    virtual void Beep() = 0;
    // For the running progress dialog: the number of progress callbacks after which it acts as
    // if Cancel had been pressed, or kNeverCancel (only automation cancels this way).
    virtual int ProgressCancelAfter() const { return kNeverCancel; }
    // The desktop's own save-file dialog: kIdOk with the full path in `chosen`, kIdCancel, or
    // kNoSaveDialog where the host has none (the caller then asks with a dialog of its own).
    virtual int ChooseSaveFile(OwnerWindow /*owner*/, const SaveFileRequest& /*request*/,
                               std::string* /*chosen*/) {
        return kNoSaveDialog;
    }

  protected:
    // Hosts record the result of a finished run in the model.
    static void RecordResult(DialogModel& model, int result) { model.result_ = result; }
};

// The process's host (created on first use from $QOR_UI).
DialogHost& CurrentHost();
// Replaces the process's host until called again; nullptr goes back to the one from $QOR_UI.
void SetHostForTesting(DialogHost* host);
// The host of the module that loaded this one serves this module's dialogs until called again
// with nullptr. The host must outlive the adoption: only a module of the same build, which
// keeps this one loaded meanwhile, hands one down.
void AdoptHost(DialogHost* host);

// The choice CurrentHost makes, as a pure function of its inputs.
enum class HostKind { kTty, kScript, kWin32, kGtk, kNone };
struct HostChoice {
    HostKind kind = HostKind::kNone;
    std::string scenarioPath;  // kScript: the scenario file
    std::string warning;       // set when $QOR_UI named something unusable here
    // kGtk: the host to take when the module cannot be loaded (tty or none), and whether the
    // user asked for GTK by name (then its absence is said).
    HostKind fallback = HostKind::kNone;
    bool asked = false;
};
HostChoice ChooseHost(std::string_view qorUi, bool windows, bool terminalPresent,
                      bool displayPresent = false);

}  // namespace qor::ui
