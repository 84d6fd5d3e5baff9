// Message-box facts every host needs: the buttons a box offers and what dismissing it means.
#pragma once

#include <qor/ui/dialog_view.h>

#include <string_view>
#include <vector>

namespace qor::ui {

// The button ids of a box, in the order they are shown.
std::vector<int> ButtonIds(MessageButtons buttons);
// "OK", "Cancel", "Yes", "No".
std::string_view ButtonName(int id);
// "OK", "OK/Cancel", "Yes/No", "Yes/No/Cancel".
std::string ButtonsLabel(MessageButtons buttons);
// What the box returns when the user dismisses it without choosing (Escape): Cancel when it
// has one, else OK for an OK box; a Yes/No box cannot be dismissed, so No.
int DismissResult(MessageButtons buttons);

}  // namespace qor::ui
