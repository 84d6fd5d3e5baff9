// Dialog templates: what a dialog looks like, independent of the host that shows it.
//
// A template is plain data: the caption, the frame in dialog units, the font, and the controls
// in tab order, each with the product's numeric id. The Win32 host turns it into an in-memory
// DLGTEMPLATE for DialogBoxIndirectParam; the terminal host renders it as prompts; the script
// host resolves scenario names against it. Controls keep the order in which they were added,
// because a control's label is "the static just before it".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qor::ui {

// Statics and group boxes that the model never addresses share this id, as in resource scripts.
inline constexpr int kNoId = -1;

// A rectangle in dialog units (1/4 of the average character width, 1/8 of its height).
struct DialogRect {
    int16_t x = 0;
    int16_t y = 0;
    int16_t width = 0;
    int16_t height = 0;
};

enum class ControlKind {
    kStatic,         // text; a static just before another control is that control's label
    kEdit,           // one line of text
    kPasswordEdit,   // one line, shown masked
    kMultiLineEdit,  // several lines (often read-only: a list of names)
    kCheckBox,       // auto check box
    kRadioButton,    // auto radio button; a group runs from a group start to the next
    kPushButton,
    kDefPushButton,  // the button Enter presses
    kGroupBox,       // a frame with a caption around related controls
    kDropDownList,   // a list to choose one item from
    kListBox,        // a list shown whole, any number of its items selected
    kBitmap,         // text = the bitmap resource's name
    kIcon,           // text = the icon resource's name
    kSpin,           // up/down arrows that step the edit just before it (its buddy)
    kProgressBar,    // a bar filled in proportion to its text, a number from 0 to 1000
};

struct ControlTemplate {
    int id = kNoId;
    ControlKind kind = ControlKind::kStatic;
    std::string text;
    DialogRect rect;
    int limit = 0;  // edits: most characters the field accepts; 0 = no limit
    bool visible = true;
    bool enabled = true;
    bool groupStart = false;  // radio buttons: first of a group
    bool readOnly = false;    // edits: shown but not typed into
    bool centered = false;    // statics: text centred in the rectangle
};

// Frame styles (DS_CENTER, WS_SYSMENU, DS_MODALFRAME, DS_SYSMODAL: stays above every other
// window, for the dialog that works while the user's session is still starting).
enum DialogStyle : uint32_t {
    kStyleCentered = 0x1,
    kStyleSystemMenu = 0x2,
    kStyleModalFrame = 0x4,
    kStyleSystemModal = 0x8,
};

struct DialogTemplate {
    std::string caption;
    DialogRect rect;
    uint32_t style = kStyleModalFrame | kStyleSystemMenu;
    std::string fontName = "MS Sans Serif";
    int fontSize = 8;  // points
    std::vector<ControlTemplate> controls;

    // The first control with this id, or nullptr (never finds kNoId).
    const ControlTemplate* Find(int id) const;
};

// Shorthands for building templates; each returns a control that can still be adjusted.
ControlTemplate Static(std::string_view text, DialogRect rect, int id = kNoId);
ControlTemplate Edit(int id, DialogRect rect, int limit = 0);
ControlTemplate PasswordEdit(int id, DialogRect rect, int limit);
ControlTemplate MultiLineEdit(int id, DialogRect rect, bool readOnly);
ControlTemplate CheckBox(int id, std::string_view text, DialogRect rect);
ControlTemplate RadioButton(int id, std::string_view text, DialogRect rect, bool groupStart);
ControlTemplate PushButton(int id, std::string_view text, DialogRect rect);
ControlTemplate DefPushButton(int id, std::string_view text, DialogRect rect);
ControlTemplate GroupBox(std::string_view text, DialogRect rect, int id = kNoId);
ControlTemplate DropDownList(int id, DialogRect rect);
ControlTemplate ListBox(int id, DialogRect rect);
ControlTemplate Bitmap(int id, std::string_view resource, DialogRect rect);
ControlTemplate Icon(int id, std::string_view resource, DialogRect rect);
ControlTemplate Spin(int id, DialogRect rect);
ControlTemplate ProgressBar(int id, DialogRect rect);
// A progress bar's value from its text: 0 to 1000 (what is not a number counts as 0).
int ProgressBarValue(std::string_view text);

// The text without its mnemonic markers: "&Keep" -> "Keep", "&&" -> "&".
std::string StripMnemonic(std::string_view text);

}  // namespace qor::ui
