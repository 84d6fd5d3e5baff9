// A dialog template in the binary form the Windows dialog manager reads (DLGTEMPLATEEX followed
// by one DLGITEMTEMPLATEEX a control), built from the portable template. Plain bytes, so the
// layout is tested on every platform; only the Win32 host hands them to DialogBoxIndirectParam.
#pragma once

#include <qor/ui/dialog_template.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qor::ui::win32 {

// The window styles the dialog and each control get (the constants are Windows' own).
uint32_t DialogStyleBits(const DialogTemplate& dialog);
uint32_t ControlStyleBits(const ControlTemplate& control);
uint32_t ControlExStyleBits(const ControlTemplate& control);

// The predefined window class of a control (0x80 Button, 0x81 Edit, 0x82 Static, 0x83 ListBox,
// 0x85 ComboBox).
uint16_t ControlClassAtom(const ControlTemplate& control);

// The spin's arrow buttons ("UP", "DOWN"), which the host draws itself.
bool IsArrow(const ControlTemplate& control);

// The template's height as the dialog manager must create it: a drop-down list's rectangle
// includes the list that drops down, which the portable templates leave to the host.
int16_t CreatedHeight(const ControlTemplate& control);

// The whole template, DWORD-aligned as DialogBoxIndirectParam requires of its start (the
// vector's storage is aligned more than that). Control ids that are kNoId become 0xFFFF.
std::vector<uint8_t> DialogTemplateBytes(const DialogTemplate& dialog);

// The same template as the child of another dialog (the open dialog's own controls above it): a
// visible child control of its parent, without caption or frame, tabbed into from the parent.
std::vector<uint8_t> ChildDialogTemplateBytes(const DialogTemplate& dialog);
uint32_t ChildDialogStyleBits();

// UTF-8 to UTF-16 as the template stores its strings (invalid bytes become U+FFFD).
std::u16string Utf16(std::string_view text);

}  // namespace qor::ui::win32
