#include "template_names.h"

#include <vector>

namespace qor::ui {

std::string_view LabelOf(const DialogTemplate& dialog, size_t index) {
    if (index == 0 || index >= dialog.controls.size()) return {};
    const ControlTemplate& before = dialog.controls[index - 1];
    if (before.kind != ControlKind::kStatic) return {};
    return before.text;
}

namespace {

// Indexes of the controls `name` refers to, with `same` deciding whether two texts match.
template <typename Same>
std::vector<int> Matches(const DialogTemplate& dialog, std::string_view name, Same same) {
    std::vector<int> found;
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
        const ControlTemplate& control = dialog.controls[i];
        if (control.text.empty() || !same(control.text, name)) continue;
        // A static stands for the control it labels.
        size_t target = control.kind == ControlKind::kStatic ? i + 1 : i;
        if (target < dialog.controls.size()) found.push_back(static_cast<int>(target));
    }
    return found;
}

}  // namespace

int FindControlByName(const DialogTemplate& dialog, std::string_view name, std::string* error) {
    std::vector<int> found =
        Matches(dialog, name, [](std::string_view a, std::string_view b) { return a == b; });
    if (found.empty()) {
        std::string plain = StripMnemonic(name);
        found = Matches(dialog, name, [&plain](std::string_view a, std::string_view) {
            return StripMnemonic(a) == plain;
        });
    }
    if (found.size() == 1) return found.front();
    *error = std::string(found.empty() ? "no control named \"" : "more than one control named \"") +
             std::string(name) + "\" in \"" + dialog.caption + "\"";
    return -1;
}

const char* KindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::kStatic:
            return "static text";
        case ControlKind::kEdit:
            return "edit field";
        case ControlKind::kPasswordEdit:
            return "password field";
        case ControlKind::kMultiLineEdit:
            return "multi-line edit field";
        case ControlKind::kListBox:
            return "list box";
        case ControlKind::kCheckBox:
            return "check box";
        case ControlKind::kRadioButton:
            return "radio button";
        case ControlKind::kPushButton:
        case ControlKind::kDefPushButton:
            return "push button";
        case ControlKind::kGroupBox:
            return "group box";
        case ControlKind::kDropDownList:
            return "drop-down list";
        case ControlKind::kBitmap:
            return "bitmap";
        case ControlKind::kIcon:
            return "icon";
        case ControlKind::kSpin:
            return "spin control";
        case ControlKind::kProgressBar:
            return "progress bar";
    }
    return "control";
}

bool IsEdit(ControlKind kind) {
    return kind == ControlKind::kEdit || kind == ControlKind::kPasswordEdit ||
           kind == ControlKind::kMultiLineEdit;
}

bool IsButton(ControlKind kind) {
    return kind == ControlKind::kPushButton || kind == ControlKind::kDefPushButton;
}

}  // namespace qor::ui
