// Whether a file would fit on the volume that holds it: used only to choose the message after
// a failure, never to refuse work.
//
// Windows names the volume by the path's first character (a letter, or "\" for drive A:) and
// asks for the free space of its root. Linux has no drive letters: the free space is that of
// the file system holding the path's folder, and no folder counts as drive A:, so -2 is never
// answered there. When the free space cannot be learned the file is taken to fit, so that the
// message about the failure itself is shown rather than a guess about the disk.
#include "engine_internal.h"

namespace qor::engine {

int CheckDiskSpace(const std::string& path) {
    if (path.empty()) return 0;
#ifdef _WIN32
    const char first = path[0];
    char drive = 0;
    if ((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z')) {
        drive = first;
    } else if (first == '\\') {
        drive = 'A';
    } else {
        return 0;
    }
    const bool driveA = drive == 'a' || drive == 'A';
    const std::string volume = std::string(1, drive) + ":\\";
#else
    const bool driveA = false;
    const std::string volume = FolderToFlush(path);
#endif
    uint64_t free = 0;
    if (!platform::FreeSpace(volume, &free)) return 0;
    uint64_t size = 0;
    platform::File file =
        platform::File::Open(path, platform::kAccessRead,
                             platform::kShareRead | platform::kShareWrite, platform::kOpenExisting);
    if (file.IsOpen()) file.Size(&size);
    if (size <= free) return 0;
    return free == 0 && driveA ? -2 : -1;
}

}  // namespace qor::engine
