// The script host: answers dialogs and message boxes from a scenario (scenario.h) and writes a
// transcript of what appeared, for tests and automation.
//
// Running a dialog: OnInit; then the line's steps in order: settings, each as the user would
// make it (an edit's text then OnTextChanged; a check box or radio button clicked then
// OnCommand; a drop-down selection then OnTextChanged; a list box's item selected by its text,
// "" to select none); `events=N` key strokes and pointer
// moves, alternating; presses (OnCommand); then the dialog's timers on a simulated clock until
// it closes.
// Message boxes the model raises meanwhile, and dialogs it opens, take the following lines.
// A progress dialog takes a `progress` line when one is next and needs none otherwise.
//
// Transcript lines: "dialog: <caption>", "message: <caption>: <text> [<buttons>]",
// "status: <text>". Edit fields never reach the transcript.
//
// Whatever the scenario does not cover ends the process with exit status 3 and the reason on
// the error stream; tests replace the exit so that they can look at the reason.
#pragma once

#include <qor/ui/dialog_host.h>

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scenario.h"

namespace qor::ui::script {

inline constexpr int kScriptFailureExit = 3;

class ScriptView;

class ScriptHost : public DialogHost {
  public:
    using ExitFunction = std::function<void(int status)>;
    using TranscriptSink = std::function<void(std::string_view line)>;

    explicit ScriptHost(Scenario scenario);
    ~ScriptHost() override;

    // Reads and parses a scenario file; nullptr with the reason in *error when it cannot.
    static std::unique_ptr<ScriptHost> FromFile(const std::string& path, std::string* error);

    int RunModal(DialogModel& model, OwnerWindow owner = nullptr) override;
    int ShowMessage(OwnerWindow owner, std::string_view text, std::string_view caption,
                    MessageButtons buttons, MessageIcon icon) override;
    void Beep() override { ++beeps_; }
    int ProgressCancelAfter() const override;

    // A progress dialog's status line, for the transcript.
    void Status(std::string_view text);

    // Where transcript lines go (none by default).
    void SetTranscript(TranscriptSink sink) { transcript_ = std::move(sink); }
    // Where the reasons of failures go (std::cerr by default) and how the process ends.
    void SetErrorStream(std::ostream& errors) { errors_ = &errors; }
    void SetExitForTesting(ExitFunction exit) { exit_ = std::move(exit); }

    int beeps() const { return beeps_; }
    // True once a failure was reported (only visible when the exit returned).
    bool failed() const { return failures_ != 0; }
    // Scenario lines not used yet.
    size_t remaining() const { return scenario_.entries.size() - next_; }

  private:
    friend class ScriptView;

    // The next line, when it is of `kind`; nullptr otherwise.
    const Entry* Take(EntryKind kind);
    void Log(const std::string& line);
    void Fail(const std::string& reason);
    void RunDialog(DialogModel& model, ScriptView& view, const Entry& entry);
    bool ApplySetting(DialogModel& model, ScriptView& view, const Entry& entry,
                      const Step& setting);
    bool Press(DialogModel& model, ScriptView& view, const Entry& entry, const ControlRef& ref);
    void RunTimers(DialogModel& model, ScriptView& view);

    Scenario scenario_;
    size_t next_ = 0;
    TranscriptSink transcript_;
    std::ostream* errors_;
    ExitFunction exit_;
    int beeps_ = 0;
    int failures_ = 0;
    std::vector<int> progressCancelAfter_;  // one per running progress dialog
};

// A sink that appends each line to a file (for $QOR_UI_LOG); several processes may share it.
ScriptHost::TranscriptSink AppendToFile(std::string path);

}  // namespace qor::ui::script
