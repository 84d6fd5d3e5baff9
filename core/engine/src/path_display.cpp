// Paths as the progress dialog's status line shows them, and the clean-up of selected paths.
#include <qor/engine/selection_walk.h>
#include <qor/platform/files.h>

namespace qor::engine {

using platform::kSeparator;

std::string ShortenPath(const std::string& path, int width) {
    const long limit = static_cast<long>(width) - 7;
    std::string result = path;

    // A long file name keeps only its beginning, so that the folder part stays readable.
    const size_t separator = result.rfind(kSeparator);
    const size_t nameStart = separator == std::string::npos ? 0 : separator;
    if (static_cast<long>(result.size() - nameStart) > limit) {
        const size_t keep = separator == std::string::npos ? 12 : 13;
        result = result.substr(0, nameStart + keep) + "...";
    }
    if (static_cast<long>(result.size()) <= limit) return result;

    const size_t windowStart = limit <= 0 ? result.size() : result.size() - limit;
    const size_t cut = result.find(kSeparator, windowStart);
    if (cut != std::string::npos) return result.substr(0, 3) + "..." + result.substr(cut);
    const size_t tail = result.size() >= 4 ? result.size() - 4 : 0;
    return result.substr(0, 6) + "..." + result.substr(tail);
}

std::string ReduceDoubledSeparators(const std::string& path) {
    // Two leading separators name a network share and must stay.
    const size_t kept = path.size() >= 2 && path[0] == kSeparator && path[1] == kSeparator ? 2 : 0;
    std::string out = path.substr(0, kept);
    for (size_t at = kept; at < path.size(); ++at) {
        if (path[at] == kSeparator && out.size() > kept && out.back() == kSeparator) continue;
        out += path[at];
    }
    return out;
}

}  // namespace qor::engine
