// Controls by the names a person sees: its own text, or the text of the label just before it.
#pragma once

#include <qor/ui/dialog_template.h>

#include <string>
#include <string_view>

namespace qor::ui {

// The label of the control at `index`: the text of the static just before it, or "".
std::string_view LabelOf(const DialogTemplate& dialog, size_t index);

// The control `name` refers to: a control whose text is `name`, or the control just after a
// static whose text is `name`. Texts compare exactly first, then without their '&' markers.
// Returns the control's index, or -1 with the reason in *error.
int FindControlByName(const DialogTemplate& dialog, std::string_view name, std::string* error);

// "check box", "push button", ... for messages.
const char* KindName(ControlKind kind);

bool IsEdit(ControlKind kind);
bool IsButton(ControlKind kind);

}  // namespace qor::ui
