#include "dialog_template_bytes.h"

#include <algorithm>

namespace qor::ui::win32 {

namespace {

// Windows' own values, spelled out so that the layout builds and is tested without <windows.h>.
constexpr uint32_t kWsPopup = 0x80000000;
constexpr uint32_t kWsChild = 0x40000000;
constexpr uint32_t kWsVisible = 0x10000000;
constexpr uint32_t kWsDisabled = 0x08000000;
constexpr uint32_t kWsCaption = 0x00C00000;
constexpr uint32_t kWsBorder = 0x00800000;
constexpr uint32_t kWsVScroll = 0x00200000;
constexpr uint32_t kWsSysMenu = 0x00080000;
constexpr uint32_t kWsGroup = 0x00020000;
constexpr uint32_t kWsTabStop = 0x00010000;
constexpr uint32_t kDsSysModal = 0x2;
constexpr uint32_t kDsSetFont = 0x40;
constexpr uint32_t kDsModalFrame = 0x80;
constexpr uint32_t kDsCenter = 0x800;
constexpr uint32_t kWsClipSiblings = 0x04000000;
constexpr uint32_t kDs3dLook = 0x4;
constexpr uint32_t kDsControl = 0x400;
constexpr uint32_t kWsExClientEdge = 0x200;

constexpr uint32_t kSsCenter = 0x1;
constexpr uint32_t kSsNotify = 0x100;
constexpr uint32_t kSsPathEllipsis = 0x8000;
constexpr uint32_t kBsOwnerDraw = 0xB;
constexpr uint32_t kSsOwnerDraw = 0xD;
constexpr uint32_t kSsIcon = 0x3;
constexpr uint32_t kSsBitmap = 0xE;
constexpr uint32_t kEsMultiLine = 0x4;
constexpr uint32_t kEsPassword = 0x20;
constexpr uint32_t kEsAutoVScroll = 0x40;
constexpr uint32_t kEsAutoHScroll = 0x80;
constexpr uint32_t kEsReadOnly = 0x800;
constexpr uint32_t kBsDefPushButton = 0x1;
constexpr uint32_t kBsAutoCheckBox = 0x3;
constexpr uint32_t kBsGroupBox = 0x7;
constexpr uint32_t kBsAutoRadioButton = 0x9;
constexpr uint32_t kCbsDropDownList = 0x3;
constexpr uint32_t kLbsNotify = 0x1;
constexpr uint32_t kLbsNoIntegralHeight = 0x100;
constexpr uint32_t kLbsExtendedSel = 0x800;

// Statics this high hold one line of text.
constexpr int16_t kOneLine = 10;

// Rows a drop-down list shows when it is open.
constexpr int16_t kDroppedRows = 8;
constexpr int16_t kRowHeight = 10;

class Writer {
  public:
    void Word(uint16_t value) {
        bytes_.push_back(static_cast<uint8_t>(value));
        bytes_.push_back(static_cast<uint8_t>(value >> 8));
    }
    void DWord(uint32_t value) {
        Word(static_cast<uint16_t>(value));
        Word(static_cast<uint16_t>(value >> 16));
    }
    void Short(int16_t value) { Word(static_cast<uint16_t>(value)); }
    void Byte(uint8_t value) { bytes_.push_back(value); }
    void String(std::string_view text) {
        for (char16_t unit : Utf16(text))
            Word(unit);
        Word(0);
    }
    void AlignDWord() {
        while (bytes_.size() % 4 != 0)
            bytes_.push_back(0);
    }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

  private:
    std::vector<uint8_t> bytes_;
};

}  // namespace

bool IsArrow(const ControlTemplate& control) {
    return (control.kind == ControlKind::kPushButton ||
            control.kind == ControlKind::kDefPushButton) &&
           (control.text == "UP" || control.text == "DOWN");
}

std::u16string Utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        uint32_t code = length == 1 ? byte : byte & (0x3F >> (length - 1));
        bool valid = (byte < 0x80 || byte >= 0xC2) && byte < 0xF5 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (valid && ((length == 3 && (code < 0x800 || (code >= 0xD800 && code < 0xE000))) ||
                      (length == 4 && (code < 0x10000 || code > 0x10FFFF))))
            valid = false;
        if (!valid) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return out;
}

uint32_t DialogStyleBits(const DialogTemplate& dialog) {
    // Shown by the host once the model has set its controls up, not at creation.
    uint32_t style = kWsPopup | kWsCaption | kDsSetFont;
    if ((dialog.style & kStyleModalFrame) != 0) style |= kDsModalFrame;
    if ((dialog.style & kStyleSystemMenu) != 0) style |= kWsSysMenu;
    if ((dialog.style & kStyleCentered) != 0) style |= kDsCenter;
    if ((dialog.style & kStyleSystemModal) != 0) style |= kDsSysModal;
    return style;
}

uint32_t ChildDialogStyleBits() {
    return kWsChild | kWsVisible | kWsClipSiblings | kDs3dLook | kDsControl | kDsSetFont;
}

uint32_t ControlStyleBits(const ControlTemplate& control) {
    uint32_t style = kWsChild;
    if (control.visible) style |= kWsVisible;
    if (!control.enabled) style |= kWsDisabled;
    switch (control.kind) {
        case ControlKind::kStatic:
            if (control.centered) style |= kSsCenter;
            // A one-line text the program fills in (a folder, a file name) keeps its end in
            // view, with "..." where it has no room, rather than wrapping out of sight.
            if (control.id != kNoId && control.rect.height <= kOneLine) style |= kSsPathEllipsis;
            break;
        case ControlKind::kEdit:
        case ControlKind::kPasswordEdit:
            style |= kEsAutoHScroll | kWsTabStop;
            if (control.kind == ControlKind::kPasswordEdit) style |= kEsPassword;
            if (control.readOnly) style |= kEsReadOnly;
            break;
        case ControlKind::kMultiLineEdit:
            style |= kEsMultiLine | kEsAutoVScroll | kWsVScroll | kWsTabStop;
            if (control.readOnly) style |= kEsReadOnly;
            break;
        case ControlKind::kCheckBox:
            style |= kBsAutoCheckBox | kWsTabStop;
            break;
        case ControlKind::kRadioButton:
            style |= kBsAutoRadioButton;
            if (control.groupStart) style |= kWsGroup | kWsTabStop;
            break;
        case ControlKind::kPushButton:
            // The spin's arrows are drawn by the host: a font with arrow symbols is not
            // everywhere.
            style |= IsArrow(control) ? kBsOwnerDraw : kWsTabStop;
            break;
        case ControlKind::kDefPushButton:
            style |= kBsDefPushButton | kWsTabStop;
            break;
        case ControlKind::kGroupBox:
            style |= kBsGroupBox;
            break;
        case ControlKind::kDropDownList:
            style |= kCbsDropDownList | kWsVScroll | kWsTabStop;
            break;
        case ControlKind::kListBox:
            style |= kLbsNotify | kLbsExtendedSel | kLbsNoIntegralHeight | kWsVScroll | kWsBorder |
                     kWsTabStop;
            break;
        case ControlKind::kBitmap:
            style |= kSsBitmap | kSsNotify;  // a click on a picture reaches the model
            break;
        case ControlKind::kIcon:
            style |= kSsIcon;
            break;
        case ControlKind::kSpin:
            break;  // the product's arrows are push buttons of their own; this is a place only
        case ControlKind::kProgressBar:
            style |= kSsOwnerDraw;  // drawn by the host from its value
            break;
    }
    // A control after a group box or a radio group starts a new group for the arrow keys.
    if (control.kind != ControlKind::kRadioButton && control.kind != ControlKind::kStatic &&
        control.kind != ControlKind::kGroupBox)
        style |= kWsGroup;
    return style;
}

uint32_t ControlExStyleBits(const ControlTemplate& control) {
    switch (control.kind) {
        case ControlKind::kEdit:
        case ControlKind::kPasswordEdit:
        case ControlKind::kMultiLineEdit:
            return kWsExClientEdge;
        default:
            return 0;
    }
}

uint16_t ControlClassAtom(const ControlTemplate& control) {
    switch (control.kind) {
        case ControlKind::kEdit:
        case ControlKind::kPasswordEdit:
        case ControlKind::kMultiLineEdit:
            return 0x81;
        case ControlKind::kCheckBox:
        case ControlKind::kRadioButton:
        case ControlKind::kPushButton:
        case ControlKind::kDefPushButton:
        case ControlKind::kGroupBox:
            return 0x80;
        case ControlKind::kListBox:
            return 0x83;
        case ControlKind::kDropDownList:
            return 0x85;
        case ControlKind::kStatic:
        case ControlKind::kBitmap:
        case ControlKind::kIcon:
        case ControlKind::kSpin:
        case ControlKind::kProgressBar:
            return 0x82;
    }
    return 0x82;
}

int16_t CreatedHeight(const ControlTemplate& control) {
    if (control.kind != ControlKind::kDropDownList) return control.rect.height;
    return static_cast<int16_t>(
        std::max<int>(control.rect.height, control.rect.height + kDroppedRows * kRowHeight));
}

std::vector<uint8_t> DialogTemplateBytes(const DialogTemplate& dialog) {
    Writer out;
    out.Word(1);       // dlgVer
    out.Word(0xFFFF);  // signature: the extended form
    out.DWord(0);      // helpID
    out.DWord(0);      // exStyle
    out.DWord(DialogStyleBits(dialog));
    out.Word(static_cast<uint16_t>(dialog.controls.size()));
    out.Short(dialog.rect.x);
    out.Short(dialog.rect.y);
    out.Short(dialog.rect.width);
    out.Short(dialog.rect.height);
    out.Word(0);  // no menu
    out.Word(0);  // the predefined dialog class
    out.String(dialog.caption);
    out.Word(static_cast<uint16_t>(dialog.fontSize));
    out.Word(400);  // weight: normal
    out.Byte(0);    // not italic
    out.Byte(1);    // DEFAULT_CHARSET
    out.String(dialog.fontName);
    for (const ControlTemplate& control : dialog.controls) {
        out.AlignDWord();
        out.DWord(0);  // helpID
        out.DWord(ControlExStyleBits(control));
        out.DWord(ControlStyleBits(control));
        out.Short(control.rect.x);
        out.Short(control.rect.y);
        out.Short(control.rect.width);
        out.Short(CreatedHeight(control));
        out.DWord(control.id == kNoId ? 0xFFFFu : static_cast<uint32_t>(control.id));
        out.Word(0xFFFF);
        out.Word(ControlClassAtom(control));
        if (control.kind == ControlKind::kIcon || control.kind == ControlKind::kBitmap ||
            control.kind == ControlKind::kSpin || control.kind == ControlKind::kProgressBar) {
            // Images are set by the host once the dialog exists: a resource the module lacks
            // would otherwise fail the whole dialog.
            out.Word(0);
        } else {
            out.String(control.text);
        }
        out.Word(0);  // no creation data
    }
    return out.Take();
}

std::vector<uint8_t> ChildDialogTemplateBytes(const DialogTemplate& dialog) {
    std::vector<uint8_t> bytes = DialogTemplateBytes(dialog);
    // The style follows dlgVer, signature, helpID and exStyle.
    const uint32_t style = ChildDialogStyleBits();
    for (size_t k = 0; k < 4; ++k)
        bytes[12 + k] = static_cast<uint8_t>(style >> (8 * k));
    return bytes;
}

}  // namespace qor::ui::win32
