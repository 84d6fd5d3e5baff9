// The system's own open and save dialogs (GetOpenFileNameW / GetSaveFileNameW).
#pragma once

#include <qor/ui/dialog_host.h>

#include <string>
#include <string_view>
#include <vector>

namespace qor::ui::win32 {

// The files picked in an open dialog owned by `owner` (an HWND), opened in `folder`: full
// paths, several allowed; none when cancelled.
std::vector<std::string> ChooseFilesToOpen(void* owner, std::string_view title,
                                           std::string_view folder);

// A save dialog owned by `owner`: kIdOk with the full path in `chosen`, or kIdCancel.
int ChooseFileToSave(void* owner, const SaveFileRequest& request, std::string* chosen);

}  // namespace qor::ui::win32
