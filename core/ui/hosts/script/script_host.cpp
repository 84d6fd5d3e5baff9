#include "script_host.h"

#include <qor/platform/files.h>

#include <cstdlib>
#include <iostream>
#include <utility>

#include "src/message_box.h"
#include "src/state_view.h"
#include "src/template_names.h"
#include "src/utf8.h"

namespace qor::ui::script {

// A dialog that sets a timer again and again without ever closing is given up after this many
// ticks rather than simulated for ever.
constexpr int kTimerTickLimit = 100000;

class ScriptView : public StateView {
  public:
    ScriptView(ScriptHost& host, const DialogTemplate& dialog) : StateView(dialog), host_(host) {}

    void SetStatus(int id, std::string_view text) override {
        SetText(id, text);
        host_.Status(text);
    }
    int ShowMessage(std::string_view text, std::string_view caption, MessageButtons buttons,
                    MessageIcon icon) override {
        return host_.ShowMessage(nullptr, text, caption, buttons, icon);
    }
    void Beep() override { host_.Beep(); }
    void SetCursor(CursorShape, int) override {}

  private:
    ScriptHost& host_;
};

namespace {

std::string Describe(const ControlRef& ref) {
    return ref.name.empty() ? std::to_string(ref.id) : "\"" + ref.name + "\"";
}

std::string AtLine(const Entry& entry) {
    return "scenario line " + std::to_string(entry.line) + ": ";
}

// One transcript line per event, whatever the text holds.
std::string OneLine(std::string_view text) {
    std::string line;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            line += "\\n";
            continue;
        }
        line += c;
    }
    return line;
}

}  // namespace

ScriptHost::ScriptHost(Scenario scenario)
    : scenario_(std::move(scenario)),
      errors_(&std::cerr),
      exit_([](int status) { std::exit(status); }) {}

ScriptHost::~ScriptHost() = default;

std::unique_ptr<ScriptHost> ScriptHost::FromFile(const std::string& path, std::string* error) {
    platform::File file = platform::File::Open(path, platform::kAccessRead, platform::kShareRead,
                                               platform::kOpenExisting);
    SecretText text;  // scenarios carry passwords
    bool read = file.IsOpen();
    for (char chunk[512]; read;) {
        uint32_t got = 0;
        read = file.Read(chunk, sizeof chunk, &got);
        for (uint32_t i = 0; i < got; ++i)
            text.Append(chunk[i]);
        SecureWipe(chunk, sizeof chunk);
        if (got == 0) break;
    }
    if (!read) {
        *error = "cannot read the scenario file " + path;
        return nullptr;
    }
    Scenario scenario;
    std::string reason;
    if (!ParseScenario(text.view(), &scenario, &reason)) {
        *error = "scenario file " + path + ", " + reason;
        return nullptr;
    }
    return std::make_unique<ScriptHost>(std::move(scenario));
}

const Entry* ScriptHost::Take(EntryKind kind) {
    if (next_ >= scenario_.entries.size() || scenario_.entries[next_].kind != kind) return nullptr;
    return &scenario_.entries[next_++];
}

void ScriptHost::Log(const std::string& line) {
    if (transcript_) transcript_(OneLine(line));
}

void ScriptHost::Fail(const std::string& reason) {
    ++failures_;
    *errors_ << reason << std::endl;
    exit_(kScriptFailureExit);
}

void ScriptHost::Status(std::string_view text) {
    Log("status: " + std::string(text));
}

int ScriptHost::ProgressCancelAfter() const {
    return progressCancelAfter_.empty() ? kNeverCancel : progressCancelAfter_.back();
}

int ScriptHost::RunModal(DialogModel& model, OwnerWindow) {
    const DialogTemplate& dialog = model.Template();
    Log("dialog: " + dialog.caption);
    ScriptView view(*this, dialog);
    const int failuresBefore = failures_;
    bool ran = false;
    if (model.IsProgressDialog()) {
        const Entry* entry = Take(EntryKind::kProgress);
        progressCancelAfter_.push_back(entry != nullptr ? entry->cancelAfter : kNeverCancel);
        model.OnInit(view);
        RunTimers(model, view);
        progressCancelAfter_.pop_back();
        ran = true;
    } else if (const Entry* entry = Take(EntryKind::kDialog); entry == nullptr) {
        Fail("unscripted dialog: " + dialog.caption);
    } else if (!entry->anyCaption && entry->caption != dialog.caption) {
        Fail("scenario expected dialog \"" + entry->caption + "\" but got \"" + dialog.caption +
             "\"");
    } else {
        model.OnInit(view);
        RunDialog(model, view, *entry);
        // What the line typed (passwords among it) has been typed: the host keeps no copy of it.
        for (Step& step :
             scenario_.entries[static_cast<size_t>(entry - scenario_.entries.data())].steps)
            step.value.Clear();
        ran = true;
    }
    // A failure inside the run has been reported already.
    if (ran && failures_ == failuresBefore && !view.closed())
        Fail("dialog did not close: " + dialog.caption);
    int result = view.closed() ? view.result() : kIdCancel;
    RecordResult(model, result);
    return result;
}

void ScriptHost::RunDialog(DialogModel& model, ScriptView& view, const Entry& entry) {
    for (const Step& step : entry.steps) {
        if (step.kind == StepKind::kEvents) {
            // Key strokes and pointer moves alternate; the pointer wanders so that its
            // coordinates (which seeding mixes in) differ from move to move. Events stop
            // quietly when the dialog closes: a seeding dialog ends itself.
            for (int k = 0; k < step.events && !view.closed(); ++k) {
                int n = k / 2;
                if (k % 2 == 0)
                    model.OnKey(view, 'a' + n % 26, 1);
                else
                    model.OnPointerMove(view, 100 + (n * 7) % 61, 80 + (n * 11) % 37);
            }
            continue;
        }
        if (view.closed()) {
            Fail(AtLine(entry) + "\"" + view.dialog().caption + "\" closed before " +
                 (step.kind == StepKind::kPress ? "the press of " : "setting ") +
                 Describe(step.control));
            return;
        }
        bool done = step.kind == StepKind::kPress ? Press(model, view, entry, step.control)
                                                  : ApplySetting(model, view, entry, step);
        if (!done) return;
    }
    RunTimers(model, view);
}

namespace {

// The state of the control `ref` names; nullptr with the reason in *error.
ControlState* Resolve(StateView& view, const ControlRef& ref, std::string* error) {
    if (!ref.name.empty()) {
        int index = FindControlByName(view.dialog(), ref.name, error);
        return index < 0 ? nullptr : &view.states()[index];
    }
    ControlState* state = view.State(ref.id);
    if (state == nullptr)
        *error = "no control " + std::to_string(ref.id) + " in \"" + view.dialog().caption + "\"";
    return state;
}

}  // namespace

bool ScriptHost::ApplySetting(DialogModel& model, ScriptView& view, const Entry& entry,
                              const Step& setting) {
    std::string error;
    ControlState* state = Resolve(view, setting.control, &error);
    const std::string what = Describe(setting.control);
    if (state != nullptr && (!state->visible || !state->enabled))
        error = what + " is hidden or disabled in \"" + view.dialog().caption + "\"";
    if (!error.empty()) {
        Fail(AtLine(entry) + error);
        return false;
    }
    const ControlTemplate& control = *state->control;
    std::string_view value = setting.value.view();
    switch (control.kind) {
        case ControlKind::kEdit:
        case ControlKind::kPasswordEdit:
        case ControlKind::kMultiLineEdit:
            if (control.readOnly) break;
            // The field refuses what goes beyond its limit, as it would refuse the key strokes.
            if (control.limit > 0) value = value.substr(0, Utf8Prefix(value, control.limit));
            view.SetText(control.id, value);
            model.OnTextChanged(view, control.id);
            return true;
        case ControlKind::kCheckBox:
            if (value != "0" && value != "1") {
                Fail(AtLine(entry) + "the check box " + what + " takes 0 or 1");
                return false;
            }
            if (state->checked != (value == "1")) {
                state->checked = value == "1";
                model.OnCommand(view, control.id);
            }
            return true;
        case ControlKind::kRadioButton:
            if (value != "1") {
                Fail(AtLine(entry) + "the radio button " + what + " can only be set to 1");
                return false;
            }
            if (!state->checked) {
                view.SelectRadio(*state);
                model.OnCommand(view, control.id);
            }
            return true;
        case ControlKind::kDropDownList: {
            // An item by its text, else by its position from 0.
            int index = -1;
            for (size_t i = 0; i < state->items.size() && index < 0; ++i)
                if (state->items[i] == value) index = static_cast<int>(i);
            if (index < 0 && !value.empty() && value.size() < 6 &&
                value.find_first_not_of("0123456789") == std::string_view::npos) {
                int position = std::atoi(std::string(value).c_str());
                if (static_cast<size_t>(position) < state->items.size()) index = position;
            }
            if (index < 0) {
                Fail(AtLine(entry) + "the drop-down list " + what + " has no item \"" +
                     std::string(value) + "\"");
                return false;
            }
            if (state->selection != index) {
                state->selection = index;
                model.OnTextChanged(view, control.id);
            }
            return true;
        }
        case ControlKind::kListBox: {
            // Each setting selects one more item by its text, as a click with Ctrl held;
            // "" clears the selection.
            if (value.empty()) {
                state->selected.assign(state->items.size(), false);
                return true;
            }
            for (size_t i = 0; i < state->items.size(); ++i) {
                if (state->items[i] != value) continue;
                state->selected[i] = true;
                return true;
            }
            Fail(AtLine(entry) + "the list box " + what + " has no item \"" + std::string(value) +
                 "\"");
            return false;
        }
        default:
            break;
    }
    Fail(AtLine(entry) + "cannot set " + (control.readOnly ? "the read-only " : "the ") +
         KindName(control.kind) + " " + what);
    return false;
}

bool ScriptHost::Press(DialogModel& model, ScriptView& view, const Entry& entry,
                       const ControlRef& ref) {
    // Enter and Escape reach a dialog as OK and Cancel even when it shows no such button.
    if (ref.name.empty() && (ref.id == kIdOk || ref.id == kIdCancel) &&
        view.State(ref.id) == nullptr) {
        model.OnCommand(view, ref.id);
        return true;
    }
    std::string error;
    ControlState* state = Resolve(view, ref, &error);
    const std::string what = Describe(ref);
    if (state != nullptr) {
        ControlKind kind = state->control->kind;
        if (!IsButton(kind) && kind != ControlKind::kCheckBox && kind != ControlKind::kRadioButton)
            error = std::string("cannot press the ") + KindName(kind) + " " + what;
        else if (!state->visible || !state->enabled)
            error = what + " is hidden or disabled in \"" + view.dialog().caption + "\"";
    }
    if (!error.empty()) {
        Fail(AtLine(entry) + error);
        return false;
    }
    if (state->control->kind == ControlKind::kCheckBox) state->checked = !state->checked;
    if (state->control->kind == ControlKind::kRadioButton) view.SelectRadio(*state);
    model.OnCommand(view, state->control->id);
    return true;
}

void ScriptHost::RunTimers(DialogModel& model, ScriptView& view) {
    for (int tick = 0; tick < kTimerTickLimit && !view.closed(); ++tick) {
        int timerId = 0;
        uint64_t due = 0;
        if (!view.NextTimer(&timerId, &due)) return;
        view.SetNow(due);
        view.Rearm(timerId);
        model.OnTimer(view, timerId);
    }
}

int ScriptHost::ShowMessage(OwnerWindow, std::string_view text, std::string_view caption,
                            MessageButtons buttons, MessageIcon) {
    Log("message: " + std::string(caption) + ": " + std::string(text) + " [" +
        ButtonsLabel(buttons) + "]");
    const Entry* entry = Take(EntryKind::kMessage);
    if (entry == nullptr) {
        Fail("unscripted message: " + std::string(caption));
        return DismissResult(buttons);
    }
    if (text.find(entry->substring) == std::string_view::npos) {
        Fail("scenario expected message \"" + entry->substring + "\" but got \"" +
             std::string(text) + "\"");
        return DismissResult(buttons);
    }
    for (int id : ButtonIds(buttons))
        if (id == entry->answer) return id;
    Fail(AtLine(*entry) + "the message box \"" + std::string(text) + "\" has no " +
         std::string(ButtonName(entry->answer)) + " button");
    return DismissResult(buttons);
}

ScriptHost::TranscriptSink AppendToFile(std::string path) {
    return [path = std::move(path)](std::string_view line) {
        platform::File file = platform::File::Open(path, platform::kAccessWrite,
                                                   platform::kShareRead | platform::kShareWrite,
                                                   platform::kOpenAlways);
        uint64_t size = 0;
        if (!file.IsOpen() || !file.Size(&size) || !file.Seek(size)) return;
        std::string text = std::string(line) + "\n";
        file.Write(text.data(), static_cast<uint32_t>(text.size()));
    };
}

}  // namespace qor::ui::script
