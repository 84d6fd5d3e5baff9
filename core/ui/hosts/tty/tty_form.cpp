#include "tty_form.h"

#include "src/template_names.h"
#include "src/utf8.h"

namespace qor::ui::tty {

namespace {

bool EndsWithColon(std::string_view text) {
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return !text.empty() && text.back() == ':';
}

bool TakesLabel(ControlKind kind) {
    return IsEdit(kind) || kind == ControlKind::kDropDownList || kind == ControlKind::kStatic;
}

// True when the static at `index` labels the control after it.
bool IsLabel(const StateView& view, size_t index) {
    const auto& controls = view.dialog().controls;
    return controls[index].kind == ControlKind::kStatic && index + 1 < controls.size() &&
           EndsWithColon(view.states()[index].text.view()) && TakesLabel(controls[index + 1].kind);
}

bool Skipped(ControlKind kind) {
    // A bar has its percentage written beside it.
    return kind == ControlKind::kBitmap || kind == ControlKind::kIcon ||
           kind == ControlKind::kSpin || kind == ControlKind::kProgressBar;
}

// The static that follows the edit at `index` as its unit ("minute(s)"), or -1.
int UnitOf(const StateView& view, size_t index) {
    const auto& states = view.states();
    for (size_t i = index + 1; i < states.size(); ++i) {
        ControlKind kind = states[i].control->kind;
        if (Skipped(kind) || !states[i].visible) continue;
        if (kind == ControlKind::kStatic && !IsLabel(view, i) &&
            !EndsWithColon(states[i].text.view()) && !states[i].text.empty())
            return static_cast<int>(i);
        return -1;
    }
    return -1;
}

// The label of the control at `index` with its trailing blank, or "".
std::string LabelText(const StateView& view, size_t index, bool underline) {
    if (index == 0 || !IsLabel(view, index - 1)) return {};
    std::string_view text = view.states()[index - 1].text.view();
    std::string label = underline ? Underlined(text) : StripMnemonic(text);
    if (!label.empty() && label.back() != ' ') label += ' ';
    return label;
}

// The text whose marked letter picks the control at `index`: its label's for a field or a
// drop-down list, else its own.
std::string_view LetterSource(const StateView& view, size_t index) {
    const ControlState& state = view.states()[index];
    if (!TakesLabel(state.control->kind)) return state.text.view();
    if (index == 0 || !IsLabel(view, index - 1)) return {};
    return view.states()[index - 1].text.view();
}

// A check box's or radio button's text, its letter underlined while it can be chosen.
std::string ChoiceText(std::string_view text, bool choosable) {
    return choosable ? Underlined(text) : StripMnemonic(text);
}

std::string Numbered(size_t number) {
    std::string prefix = std::to_string(number) + ") ";
    return prefix.size() < 4 ? std::string(4 - prefix.size(), ' ') + prefix : prefix;
}

}  // namespace

std::string Shown(const ControlState& state) {
    if (state.control->kind == ControlKind::kPasswordEdit)
        return std::string(Utf8Length(state.text.view()), '*');
    return std::string(state.text.view());
}

std::string FieldLabel(const StateView& view, size_t index) {
    return LabelText(view, index, false);
}

char MnemonicLetter(std::string_view text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;  // "&&" is a visible ampersand
            continue;
        }
        const char c = text[i + 1];
        if (c >= 'a' && c <= 'z') return c;
        if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
        return 0;
    }
    return 0;
}

std::string Underlined(std::string_view text) {
    std::string out;
    bool marked = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '&') {
            out += '&';
            ++i;
            continue;
        }
        if (marked || i + 1 >= text.size()) continue;
        // The whole character is underlined, however many bytes it takes.
        size_t end = i + 2;
        while (end < text.size() && IsContinuationByte(text[end]))
            ++end;
        out += "\x1b[4m" + std::string(text.substr(i + 1, end - i - 1)) + "\x1b[24m";
        marked = true;
        i = end - 1;
    }
    return out;
}

int ChoiceByLetter(const Form& form, int key) {
    if (key >= 'A' && key <= 'Z') key += 'a' - 'A';
    if (key < 'a' || key > 'z') return 0;
    // The buttons are numbered last whatever their place, so the dialog's order is the
    // template's, not the numbers'.
    int best = 0;
    for (size_t n = 0; n < form.letters.size(); ++n)
        if (form.letters[n] == key && (best == 0 || form.choices[n] < form.choices[best - 1]))
            best = static_cast<int>(n + 1);
    return best;
}

int DefaultButton(const StateView& view) {
    for (const ControlState& state : view.states())
        if (state.control->kind == ControlKind::kDefPushButton && state.visible && state.enabled)
            return state.control->id;
    const ControlState* ok = view.State(kIdOk);
    return ok != nullptr && ok->visible && ok->enabled ? kIdOk : -1;
}

Form RenderForm(const StateView& view, bool withButtons) {
    Form form;
    form.text = "\n== " + view.caption() + " ==\n";
    std::vector<size_t> buttons;
    std::vector<bool> done(view.states().size(), false);
    for (size_t i = 0; i < view.states().size(); ++i) {
        const ControlState& state = view.states()[i];
        const ControlTemplate& control = *state.control;
        if (!state.visible || done[i] || Skipped(control.kind)) continue;
        if (control.kind == ControlKind::kStatic && IsLabel(view, i)) continue;
        bool choosable = state.enabled && !control.readOnly;
        std::string line;
        switch (control.kind) {
            case ControlKind::kStatic: {
                std::string text = FieldLabel(view, i) + StripMnemonic(state.text.view());
                if (text.empty()) continue;
                line = text;
                choosable = false;
                break;
            }
            case ControlKind::kGroupBox:
                if (state.text.empty()) continue;
                line = "-- " + StripMnemonic(state.text.view()) + " --";
                choosable = false;
                break;
            case ControlKind::kEdit:
            case ControlKind::kPasswordEdit:
            case ControlKind::kMultiLineEdit: {
                line = LabelText(view, i, choosable) + Shown(state);
                int unit = UnitOf(view, i);
                if (unit >= 0) {
                    line += " " + StripMnemonic(view.states()[unit].text.view());
                    done[unit] = true;
                }
                break;
            }
            case ControlKind::kDropDownList:
                line = LabelText(view, i, choosable) + "[" +
                       (state.selection >= 0 ? state.items[state.selection] : std::string()) + "]";
                break;
            case ControlKind::kCheckBox:
                line = std::string(state.checked ? "[x] " : "[ ] ") +
                       ChoiceText(state.text.view(), choosable);
                break;
            case ControlKind::kRadioButton:
                line = std::string(state.checked ? "(*) " : "( ) ") +
                       ChoiceText(state.text.view(), choosable);
                break;
            case ControlKind::kListBox:
                if (state.items.empty()) form.text += "    (empty)\n";
                for (size_t item = 0; item < state.items.size(); ++item) {
                    const bool on = item < state.selected.size() && state.selected[item];
                    const std::string mark = on ? "[x] " : "[ ] ";
                    if (!choosable) {
                        form.text += "    " + mark + state.items[item] + "\n";
                        continue;
                    }
                    // An item has no letter of its own.
                    form.choices.push_back(i);
                    form.items.push_back(static_cast<int>(item));
                    form.letters.push_back(0);
                    form.text += Numbered(form.choices.size()) + mark + state.items[item] + "\n";
                }
                continue;
            case ControlKind::kPushButton:
            case ControlKind::kDefPushButton:
                if (state.enabled && withButtons) buttons.push_back(i);
                continue;
            default:
                continue;
        }
        if (choosable) {
            form.choices.push_back(i);
            form.items.push_back(-1);
            form.letters.push_back(MnemonicLetter(LetterSource(view, i)));
            form.text += Numbered(form.choices.size()) + line + "\n";
        } else {
            form.text += "    " + line + "\n";
        }
    }
    // The buttons share the last line, numbered after everything above them.
    std::string line;
    for (size_t i : buttons) {
        const std::string_view text = view.states()[i].text.view();
        form.choices.push_back(i);
        form.items.push_back(-1);
        form.letters.push_back(MnemonicLetter(text));
        if (!line.empty()) line += "  ";
        line += Numbered(form.choices.size()) + Underlined(text);
    }
    if (!line.empty()) form.text += line + "\n";
    return form;
}

}  // namespace qor::ui::tty
