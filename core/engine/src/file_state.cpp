#include "file_state.h"

namespace qor::engine {

using platform::File;

FileState RememberFileState(const std::string& path) {
    FileState state;
    state.attributes = platform::GetAttributes(path);
    state.permissions = platform::GetPermissions(path);
    File file =
        File::Open(path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting);
    state.timesRead = file.IsOpen() && file.GetTimes(&state.times);
    return state;
}

void CarryFileState(const FileState& state, const std::string& path, bool attributesNeedTimes) {
    if (state.attributes != platform::kInvalidAttributes &&
        (state.timesRead || !attributesNeedTimes)) {
        platform::SetAttributes(path, state.attributes);
    }
    if (state.timesRead) {
        File file = File::Open(path, platform::kAccessWrite, platform::kShareWrite,
                               platform::kOpenExisting);
        if (file.IsOpen()) file.SetTimes(state.times);
    }
    // Last, as they may take away the write access the times needed.
    platform::SetPermissions(path, state.permissions);
}

}  // namespace qor::engine
