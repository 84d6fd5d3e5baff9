#include <qor/ui/dialog_template.h>

namespace qor::ui {

const ControlTemplate* DialogTemplate::Find(int id) const {
    if (id == kNoId) return nullptr;
    for (const ControlTemplate& control : controls)
        if (control.id == id) return &control;
    return nullptr;
}

namespace {

ControlTemplate Make(int id, ControlKind kind, std::string_view text, DialogRect rect) {
    ControlTemplate control;
    control.id = id;
    control.kind = kind;
    control.text = std::string(text);
    control.rect = rect;
    return control;
}

}  // namespace

ControlTemplate Static(std::string_view text, DialogRect rect, int id) {
    return Make(id, ControlKind::kStatic, text, rect);
}

ControlTemplate Edit(int id, DialogRect rect, int limit) {
    ControlTemplate control = Make(id, ControlKind::kEdit, "", rect);
    control.limit = limit;
    return control;
}

ControlTemplate PasswordEdit(int id, DialogRect rect, int limit) {
    ControlTemplate control = Make(id, ControlKind::kPasswordEdit, "", rect);
    control.limit = limit;
    return control;
}

ControlTemplate MultiLineEdit(int id, DialogRect rect, bool readOnly) {
    ControlTemplate control = Make(id, ControlKind::kMultiLineEdit, "", rect);
    control.readOnly = readOnly;
    return control;
}

ControlTemplate CheckBox(int id, std::string_view text, DialogRect rect) {
    return Make(id, ControlKind::kCheckBox, text, rect);
}

ControlTemplate RadioButton(int id, std::string_view text, DialogRect rect, bool groupStart) {
    ControlTemplate control = Make(id, ControlKind::kRadioButton, text, rect);
    control.groupStart = groupStart;
    return control;
}

ControlTemplate PushButton(int id, std::string_view text, DialogRect rect) {
    return Make(id, ControlKind::kPushButton, text, rect);
}

ControlTemplate DefPushButton(int id, std::string_view text, DialogRect rect) {
    return Make(id, ControlKind::kDefPushButton, text, rect);
}

ControlTemplate GroupBox(std::string_view text, DialogRect rect, int id) {
    return Make(id, ControlKind::kGroupBox, text, rect);
}

ControlTemplate DropDownList(int id, DialogRect rect) {
    return Make(id, ControlKind::kDropDownList, "", rect);
}

ControlTemplate ListBox(int id, DialogRect rect) {
    return Make(id, ControlKind::kListBox, "", rect);
}

ControlTemplate Bitmap(int id, std::string_view resource, DialogRect rect) {
    return Make(id, ControlKind::kBitmap, resource, rect);
}

ControlTemplate Icon(int id, std::string_view resource, DialogRect rect) {
    return Make(id, ControlKind::kIcon, resource, rect);
}

ControlTemplate Spin(int id, DialogRect rect) {
    return Make(id, ControlKind::kSpin, "", rect);
}

ControlTemplate ProgressBar(int id, DialogRect rect) {
    return Make(id, ControlKind::kProgressBar, "0", rect);
}

int ProgressBarValue(std::string_view text) {
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value >= 1000) return 1000;
    }
    return value;
}

std::string StripMnemonic(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            // "&&" stands for one visible ampersand.
            if (i + 1 < text.size() && text[i + 1] == '&') {
                plain += '&';
                ++i;
            }
            continue;
        }
        plain += text[i];
    }
    return plain;
}

}  // namespace qor::ui
