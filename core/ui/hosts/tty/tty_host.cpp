#include "tty_host.h"

#include <chrono>
#include <climits>
#include <functional>
#include <string>

#include "line_editor.h"
#include "src/message_box.h"
#include "src/state_view.h"
#include "src/template_names.h"
#include "tty_form.h"

namespace qor::ui::tty {

namespace {

// NextKey's answer when a timer closed the dialog while it waited.
constexpr int kDialogClosed = -3;

// Twelve frames, one per animation frame of the progress cursor.
constexpr char kSpinner[] = "|/-\\|/-\\|/-\\";
static_assert(sizeof kSpinner == 13);

uint64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool IsDigitKey(int key) {
    return key >= '0' && key <= '9';
}

}  // namespace

class TtyView : public StateView {
  public:
    TtyView(TtyHost& host, DialogModel& model)
        : StateView(model.Template()), host_(host), model_(model) {}

    void Focus(int id) override {
        StateView::Focus(id);
        focusMoved_ = true;
    }
    void SetText(int id, std::string_view text) override {
        StateView::SetText(id, text);
        // A text the model changes while the user types (the seeding's percentage) shows at
        // once, on the line being typed.
        const ControlState* state = State(id);
        if (redraw_ && state != nullptr && state->visible &&
            state->control->kind == ControlKind::kStatic) {
            note_ = FieldLabel(*this, IndexOf(*state)) + std::string(text);
            redraw_();
        }
    }
    // While a field is typed into: how its line is written again, and the latest changed text.
    void SetRedraw(std::function<void()> redraw) {
        redraw_ = std::move(redraw);
        note_.clear();
    }
    const std::string& note() const { return note_; }
    void StartTimer(int timerId, uint32_t milliseconds) override {
        SetNow(host_.clock_());  // the period counts from now, not from the last key read
        StateView::StartTimer(timerId, milliseconds);
    }
    void SetStatus(int id, std::string_view text) override {
        SetText(id, text);
        host_.io_->Write("\r" + std::string(1, kSpinner[frame_ % 12]) + " " + std::string(text) +
                         "\x1b[K");
        statusShown_ = true;
    }
    int ShowMessage(std::string_view text, std::string_view caption, MessageButtons buttons,
                    MessageIcon icon) override {
        EndStatusLine();
        return host_.ShowMessage(nullptr, text, caption, buttons, icon);
    }
    void Beep() override {
        ++beeps_;
        host_.Beep();
    }
    int beeps() const { return beeps_; }
    void SetCursor(CursorShape shape, int frame) override {
        if (shape == CursorShape::kAnimation && frame >= 0) frame_ = frame;
    }
    void PumpMessages() override {
        for (int key; !closed() && (key = host_.io_->ReadKey(0)) >= 0;) {
            model_.OnKey(*this, key, 1);
            if (key == kKeyEscape || key == kKeyCtrlC) model_.OnCommand(*this, kIdCancel);
        }
    }

    // True once after the model moved the focus.
    bool TakeFocusMoved() {
        bool moved = focusMoved_;
        focusMoved_ = false;
        return moved;
    }
    void EndStatusLine() {
        if (statusShown_) host_.io_->Write("\n");
        statusShown_ = false;
    }

  private:
    TtyHost& host_;
    DialogModel& model_;
    bool focusMoved_ = false;
    bool statusShown_ = false;
    std::function<void()> redraw_;
    std::string note_;
    int beeps_ = 0;
    int frame_ = 0;
};

// The most of a field's echo written again after a changed text (the rest shows as "...").
constexpr size_t kRedrawnEcho = 24;

// One modal run: the form, the prompts and the key loop.
class TtyHost::Run {
  public:
    Run(TtyHost& host, DialogModel& model, TtyView& view)
        : io_(*host.io_), clock_(host.clock_), model_(model), view_(view) {}

    void Go() {
        model_.OnInit(view_);
        if (model_.IsProgressDialog()) {
            RunProgress();
            return;
        }
        view_.TakeFocusMoved();
        editing_ = FocusedField() >= 0;
        while (!view_.closed()) {
            if (FocusedField() < 0) editing_ = false;
            view_.EndStatusLine();
            io_.Write(RenderForm(view_).text);
            if (editing_)
                EditField(static_cast<size_t>(FocusedField()));
            else
                Choose();
            if (view_.TakeFocusMoved() && FocusedField() >= 0) editing_ = true;
        }
        view_.EndStatusLine();
    }

  private:
    // A progress dialog works from its timers and shows its status line; the keyboard can
    // only cancel it.
    void RunProgress() {
        io_.Write(RenderForm(view_, false).text + "(Esc = Cancel)\n");
        while (!view_.closed()) {
            int key = NextKey();
            if (!Deliver(key)) break;
            if (key == kKeyEnd)
                InputEnded();
            else if (key == kKeyEscape || key == kKeyCtrlC)
                Cancel();
        }
        view_.EndStatusLine();
    }

    // The index of the focused control when it is a field the user can type into, else -1.
    int FocusedField() const {
        const ControlState* state = view_.State(view_.focus());
        if (state == nullptr || !state->visible || !state->enabled ||
            !IsEdit(state->control->kind) || state->control->readOnly)
            return -1;
        return static_cast<int>(view_.IndexOf(*state));
    }

    // The first field after the one at `index` that the user can type into, or -1.
    int NextField(size_t index) const {
        for (size_t i = index + 1; i < view_.states().size(); ++i) {
            const ControlState& state = view_.states()[i];
            if (state.visible && state.enabled && IsEdit(state.control->kind) &&
                !state.control->readOnly)
                return static_cast<int>(i);
        }
        return -1;
    }

    // The next key; timers that fall due meanwhile fire first.
    int NextKey() {
        for (;;) {
            view_.SetNow(clock_());
            int timeout = -1;
            int timerId = 0;
            uint64_t due = 0;
            if (view_.NextTimer(&timerId, &due)) {
                if (due <= view_.now()) {
                    view_.Rearm(timerId);
                    model_.OnTimer(view_, timerId);
                    if (view_.closed()) return kDialogClosed;
                    timeout = 0;  // look for a key before the next tick
                } else {
                    timeout = static_cast<int>(std::min<uint64_t>(due - view_.now(), INT_MAX));
                }
            }
            int key = io_.ReadKey(timeout);
            if (key != kKeyTimeout) return key;
        }
    }

    std::string DefaultName() const {
        int id = DefaultButton(view_);
        const ControlState* state = view_.State(id);
        return state != nullptr ? StripMnemonic(state->text.view()) : "OK";
    }

    void PressDefault() {
        int id = DefaultButton(view_);
        const int beeps = view_.beeps();
        model_.OnCommand(view_, id >= 0 ? id : kIdOk);
        // A beep alone tells a terminal user nothing: say which fields are still empty.
        if (!view_.closed() && view_.beeps() != beeps) {
            std::string empty;
            for (size_t i = 0; i < view_.states().size(); ++i) {
                const ControlState& state = view_.states()[i];
                if (!state.visible || !state.enabled || !IsEdit(state.control->kind) ||
                    state.control->readOnly || !state.text.empty())
                    continue;
                std::string label = FieldLabel(view_, i);
                while (!label.empty() && (label.back() == ' ' || label.back() == ':'))
                    label.pop_back();
                if (!label.empty()) empty += (empty.empty() ? "" : ", ") + label;
            }
            io_.Write(empty.empty() ? std::string("Not accepted.\n")
                                    : "Not accepted; still empty: " + empty + "\n");
        }
    }

    void Cancel() { model_.OnCommand(view_, kIdCancel); }

    void InputEnded() {
        Cancel();
        // Nothing more can be typed, so a dialog that refuses to be cancelled ends anyway.
        if (!view_.closed()) view_.Close(kIdCancel);
    }

    // Gives a key to the model; false when that closed the dialog.
    bool Deliver(int key) {
        if (key == kDialogClosed) return false;
        if (key != kKeyEnd) model_.OnKey(view_, key, 1);
        return !view_.closed();
    }

    void EditField(size_t index) {
        ControlState& state = view_.states()[index];
        const ControlTemplate& control = *state.control;
        std::string label = FieldLabel(view_, index);
        const std::string enter = NextField(index) >= 0 ? "next field" : DefaultName();
        const std::string prompt = label.empty() ? std::string("> ") : label;
        io_.Write("(Enter = " + enter + ", Tab = choices, Esc = Cancel)\n" + prompt);
        LineEditor editor(state.text.view(), control.limit > 0 ? control.limit : 0,
                          control.kind == ControlKind::kPasswordEdit);
        io_.Write(editor.Shown());
        struct RedrawScope {
            TtyView& view;
            ~RedrawScope() { view.SetRedraw(nullptr); }
        } scope{view_};
        view_.SetRedraw([&] {
            // The line stays shorter than a terminal's width: a carriage return cannot go back
            // past a wrapped line's start.
            std::string shown = editor.Shown();
            if (shown.size() > kRedrawnEcho)
                shown = "..." + shown.substr(shown.size() - kRedrawnEcho);
            io_.Write("\r\x1b[K[" + view_.note() + "] " + prompt + shown);
        });
        for (;;) {
            int key = NextKey();
            if (!Deliver(key)) break;
            std::string echo;
            LineEditor::Action action = editor.Key(key, &echo);
            io_.Write(echo);
            switch (action) {
                case LineEditor::Action::kChanged:
                    view_.SetText(control.id, editor.text());
                    model_.OnTextChanged(view_, control.id);
                    // The model may have rewritten, hidden or left the field: show it anew.
                    if (view_.closed() || state.text.view() != editor.text() || !state.visible ||
                        !state.enabled || view_.focus() != control.id)
                        break;
                    continue;
                case LineEditor::Action::kEnter: {
                    io_.Write("\n");
                    // Several fields are asked one after the other: Enter goes on to the next,
                    // and only the last one's Enter presses the default button.
                    const int next = NextField(index);
                    if (next >= 0)
                        view_.Focus(view_.states()[next].control->id);
                    else
                        PressDefault();
                    return;
                }
                case LineEditor::Action::kTab:
                    editing_ = false;
                    break;
                case LineEditor::Action::kCancel:
                    io_.Write("\n");
                    Cancel();
                    return;
                case LineEditor::Action::kEnd:
                    io_.Write("\n");
                    InputEnded();
                    return;
                default:
                    continue;
            }
            break;
        }
        io_.Write("\n");
    }

    // Reads a number from 1 to `count`, or takes a choice of `form` at once by its letter
    // typed before any digit; 0 for Enter alone, -1 when the run should go on without a
    // choice (cancelled, closed or input ended).
    int ReadChoice(size_t count, const Form* form = nullptr) {
        LineEditor editor("", 3, false);
        for (;;) {
            int key = NextKey();
            if (!Deliver(key)) return -1;
            std::string echo;
            if (key >= 0x20 && key < 0x7f && !IsDigitKey(key)) {
                const int number =
                    form != nullptr && editor.text().empty() ? ChoiceByLetter(*form, key) : 0;
                if (number > 0) {
                    io_.Write(std::string(1, static_cast<char>(key)) + "\n");
                    return number;
                }
                io_.Write("\a");
                continue;
            }
            LineEditor::Action action = editor.Key(key, &echo);
            io_.Write(echo);
            if (action == LineEditor::Action::kCancel) {
                io_.Write("\n");
                Cancel();
                return -1;
            }
            if (action == LineEditor::Action::kEnd) {
                io_.Write("\n");
                InputEnded();
                return -1;
            }
            if (action != LineEditor::Action::kEnter) continue;
            io_.Write("\n");
            if (editor.text().empty()) return 0;
            size_t number = std::stoul(std::string(editor.text()));
            if (number >= 1 && number <= count) return static_cast<int>(number);
            io_.Write("\a");
            return -1;
        }
    }

    void Choose() {
        Form form = RenderForm(view_);
        std::string range = form.choices.empty()
                                ? std::string()
                                : "Choose 1-" + std::to_string(form.choices.size()) + ", ";
        io_.Write(range + "Enter = " + DefaultName() + ", Esc = Cancel: ");
        int number = ReadChoice(form.choices.size(), &form);
        if (number == 0) PressDefault();
        if (number <= 0) return;
        ControlState& state = view_.states()[form.choices[number - 1]];
        const ControlTemplate& control = *state.control;
        switch (control.kind) {
            case ControlKind::kCheckBox:
                state.checked = !state.checked;
                model_.OnCommand(view_, control.id);
                break;
            case ControlKind::kRadioButton:
                view_.SelectRadio(state);
                model_.OnCommand(view_, control.id);
                break;
            case ControlKind::kDropDownList:
                PickItem(state);
                break;
            case ControlKind::kListBox: {
                // A number toggles its item, as a click with Ctrl held.
                const int item = form.items[number - 1];
                view_.SetItemSelected(control.id, item, !view_.IsSelected(control.id, item));
                break;
            }
            case ControlKind::kPushButton:
            case ControlKind::kDefPushButton:
                model_.OnCommand(view_, control.id);
                break;
            default:
                view_.Focus(control.id);
                editing_ = true;
                break;
        }
    }

    void PickItem(ControlState& state) {
        std::string list;
        for (size_t i = 0; i < state.items.size(); ++i)
            list += "    " + std::to_string(i + 1) + ") " + state.items[i] + "\n";
        io_.Write(list + "Choose 1-" + std::to_string(state.items.size()) + ": ");
        int number = ReadChoice(state.items.size());
        if (number <= 0 || state.selection == number - 1) return;
        state.selection = number - 1;
        model_.OnTextChanged(view_, state.control->id);
    }

    TtyIo& io_;
    const Clock& clock_;
    DialogModel& model_;
    TtyView& view_;
    bool editing_ = false;
};

TtyHost::TtyHost(std::unique_ptr<TtyIo> io, Clock clock)
    : io_(std::move(io)), clock_(clock ? std::move(clock) : Clock(SteadyMilliseconds)) {}

TtyHost::~TtyHost() = default;

void TtyHost::EnterRaw() {
    if (rawDepth_++ == 0) io_->SetRaw(true);
}

void TtyHost::LeaveRaw() {
    if (--rawDepth_ == 0) io_->SetRaw(false);
}

int TtyHost::RunModal(DialogModel& model, OwnerWindow) {
    EnterRaw();
    TtyView view(*this, model);
    Run(*this, model, view).Go();
    LeaveRaw();
    RecordResult(model, view.result());
    return view.result();
}

int TtyHost::ShowMessage(OwnerWindow, std::string_view text, std::string_view caption,
                         MessageButtons buttons, MessageIcon) {
    EnterRaw();
    std::vector<int> ids = ButtonIds(buttons);
    std::string prompt = "\n" + std::string(caption) + ": " + std::string(text) + "\n";
    for (size_t i = 0; i < ids.size(); ++i)
        prompt +=
            (i == 0 ? "" : "  ") + std::to_string(i + 1) + ") " + std::string(ButtonName(ids[i]));
    io_->Write(prompt + " > ");
    int choice = 0;
    while (choice == 0) {
        int key = io_->ReadKey(-1);
        bool cancels = key == kKeyEscape || key == kKeyCtrlC;
        if (key >= '1' && key < '1' + static_cast<int>(ids.size()))
            choice = ids[key - '1'];
        else if (key == kKeyEnter || key == kKeyReturn)
            choice = ids.front();
        else if (key == kKeyEnd || (cancels && buttons != MessageButtons::kYesNo))
            choice = DismissResult(buttons);
        else
            io_->Write("\a");
    }
    io_->Write(std::string(ButtonName(choice)) + "\n");
    LeaveRaw();
    return choice;
}

void TtyHost::Beep() {
    io_->Write("\a");
}

}  // namespace qor::ui::tty
