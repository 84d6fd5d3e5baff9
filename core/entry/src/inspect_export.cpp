// InspectFile: what a file of the product is, described without any secret, for the front end's
// `inspect`. No dialog: the description is text for a terminal.
#include <qor/entry/exports.h>
#include <qor/inspect/describe_file.h>
#include <qor/inspect/file_source.h>
#include <qor/platform/files.h>

#include <algorithm>
#include <cstring>
#include <string>

extern "C" QOR_EXPORT int InspectFile(const char* path, char* text, unsigned size) {
    try {
        if (path == nullptr) return -1;
        qor::inspect::FileSource file(path);
        if (!file.IsOpen()) return -1;
        const qor::inspect::FileDescription description = qor::inspect::DescribeFile(file, path);
        std::string out;
        for (const std::string& line : qor::inspect::FormatDescription(description))
            out += line + "\n";
        if (text != nullptr && size > 0) {
            const size_t length = std::min<size_t>(out.size(), size - 1);
            std::memcpy(text, out.data(), length);
            text[length] = '\0';
        }
        return description.damaged() ? 1 : 0;
    } catch (...) {
        return -1;
    }
}
