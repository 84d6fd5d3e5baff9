#include <qor/ui/dialog_host.h>

#include "engine_internal.h"

namespace qor::engine {

std::string WithPath(std::string_view text, const std::string& path) {
    std::string out(text);
    const size_t at = out.find("%s");
    if (at != std::string::npos) out.replace(at, 2, path);
    return out;
}

int ShowEngineMessage(const FileJob& job, const std::string& text, bool okCancel) {
    return ui::CurrentHost().ShowMessage(
        job.parent, text, kCaption,
        okCancel ? ui::MessageButtons::kOkCancel : ui::MessageButtons::kOk,
        ui::MessageIcon::kExclamation);
}

}  // namespace qor::engine
