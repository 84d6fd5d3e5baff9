// A disk with a write-back cache for the power-cut test, preloaded (LD_PRELOAD) into qor. The
// program's calls all go through to the real files, so it reads back what it wrote, but the shim
// keeps, beside them, the image that a disk would hold after a power cut at this moment: only
// what was flushed.
//
//   QOR_POWERCUT_ROOT   the folder on the simulated disk (a full path); nothing else is watched.
//   QOR_POWERCUT_STATE  an empty folder outside the root for the durable image. The first
//                       process that loads the shim records the root as it stands.
//
// The durable image, as the worst case of a journalling file system allows it:
//   - a file's data is durable as of its last fsync or fdatasync, and the whole root's as of a
//     syncfs or sync; a file created since is empty and its later writes are lost;
//   - a folder's names (creations, renames, links, deletions) are durable as of the folder's
//     last fsync, or of a syncfs or sync.
// State layout: dirs/INO lists a folder's durable names, a line "f|d INO GEN NAME" each;
// files/INO.GEN holds a file's durable data; gen/INO counts the files created on an inode
// number, so that a number the file system hands out again is not taken for the old file.
// Every record is written beside its final name and renamed over it, so a kill leaves each one
// whole. The real syncs are skipped: the real disk never loses power.
//
// `bash power_cut_test.sh` rebuilds the root from the image after each kill.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using OpenFunction = int (*)(const char*, int, ...);
using OpenAtFunction = int (*)(int, const char*, int, ...);

OpenFunction RealOpen() {
    static const auto real = Next<OpenFunction>("open");
    return real;
}

struct Settings {
    std::string root;   // without a trailing slash
    std::string state;  // likewise
    bool active = false;
};

const Settings& Config() {
    static const Settings settings = [] {
        Settings s;
        const char* root = std::getenv("QOR_POWERCUT_ROOT");
        const char* state = std::getenv("QOR_POWERCUT_STATE");
        if (root == nullptr || state == nullptr || root[0] != '/' || state[0] != '/') return s;
        s.root = root;
        s.state = state;
        while (s.root.size() > 1 && s.root.back() == '/')
            s.root.pop_back();
        s.active = true;
        return s;
    }();
    return settings;
}

// Snapshots run one at a time, whichever thread syncs.
std::recursive_mutex& Lock() {
    static std::recursive_mutex lock;
    return lock;
}

bool UnderRoot(const std::string& path) {
    const std::string& root = Config().root;
    return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                            path[root.size()] == '/');
}

std::string PathOf(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0) return {};
    return std::string(path, static_cast<size_t>(length));
}

bool WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

// Writes `name` in the state folder from `source` (a descriptor to copy from its start, or -1
// for `text`), beside its final name first.
void Record(const std::string& name, int source, const std::string& text) {
    const std::string final = Config().state + "/" + name;
    const std::string temporary = final + ".new";
    const int out = RealOpen()(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) return;
    bool ok = true;
    if (source >= 0) {
        char buffer[1 << 16];
        for (off_t at = 0;;) {
            const ssize_t n = pread(source, buffer, sizeof buffer, at);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            ok = WriteAll(out, buffer, static_cast<size_t>(n)) && ok;
            at += n;
        }
    } else {
        ok = WriteAll(out, text.data(), text.size());
    }
    close(out);
    if (ok) rename(temporary.c_str(), final.c_str());
}

unsigned long Generation(ino_t inode) {
    const std::string path = Config().state + "/gen/" + std::to_string(inode);
    unsigned long generation = 0;
    if (FILE* in = std::fopen(path.c_str(), "r")) {
        if (std::fscanf(in, "%lu", &generation) != 1) generation = 0;
        std::fclose(in);
    }
    return generation;
}

void NewFile(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
    Record("gen/" + std::to_string(st.st_ino), -1, std::to_string(Generation(st.st_ino) + 1));
}

// A regular file's data as it stands, read through a descriptor of its own.
void SnapshotFile(int fd, ino_t inode) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const int in = RealOpen()(link, O_RDONLY | O_CLOEXEC);
    if (in < 0) return;
    Record("files/" + std::to_string(inode) + "." + std::to_string(Generation(inode)), in, {});
    close(in);
}

// A folder's names as they stand. With `deep`, every file's data and every subfolder as well.
void SnapshotFolder(const std::string& path, bool deep) {
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return;
    struct stat self;
    if (fstat(dirfd(dir), &self) != 0) {
        closedir(dir);
        return;
    }
    std::string listing;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const std::string child = path + "/" + name;
        if (S_ISDIR(st.st_mode)) {
            listing += "d " + std::to_string(st.st_ino) + " 0 " + name + "\n";
            if (deep) SnapshotFolder(child, true);
        } else if (S_ISREG(st.st_mode)) {
            listing += "f " + std::to_string(st.st_ino) + " " +
                       std::to_string(Generation(st.st_ino)) + " " + name + "\n";
            if (deep) {
                const int fd = RealOpen()(child.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
                if (fd >= 0) {
                    SnapshotFile(fd, st.st_ino);
                    close(fd);
                }
            }
        }
    }
    closedir(dir);
    Record("dirs/" + std::to_string(self.st_ino), -1, listing);
}

void SnapshotEverything() {
    std::lock_guard<std::recursive_mutex> hold(Lock());
    SnapshotFolder(Config().root, true);
}

void Synced(int fd) {
    if (!Config().active) return;
    const std::string path = PathOf(fd);
    if (!UnderRoot(path)) return;
    std::lock_guard<std::recursive_mutex> hold(Lock());
    struct stat st;
    if (fstat(fd, &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        SnapshotFolder(path, false);
    } else if (S_ISREG(st.st_mode)) {
        SnapshotFile(fd, st.st_ino);
    }
}

// Whether `path` (relative to `dirFd` when not absolute) names nothing yet.
bool Absent(int dirFd, const char* path) {
    struct stat st;
    return fstatat(dirFd, path, &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

int Opened(int fd, bool created) {
    if (fd >= 0 && created && UnderRoot(PathOf(fd))) {
        std::lock_guard<std::recursive_mutex> hold(Lock());
        NewFile(fd);
    }
    return fd;
}

// The durable image starts as the root stands when the first process loads the shim.
__attribute__((constructor)) void Start() {
    if (!Config().active) return;
    const std::string ready = Config().state + "/ready";
    if (access(ready.c_str(), F_OK) == 0) return;
    for (const char* folder : {"/dirs", "/files", "/gen"})
        mkdir((Config().state + folder).c_str(), 0700);
    SnapshotEverything();
    Record("ready", -1, Config().root + "\n");
}

// The mode is there only when the flags create something, as the C library reads it.
int ModeArgument(int flags, va_list arguments) {
    const bool needsMode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    return needsMode ? va_arg(arguments, int) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const int mode = ModeArgument(flags, arguments);
    va_end(arguments);
    const bool creating = Config().active && (flags & O_CREAT) != 0 && Absent(AT_FDCWD, path);
    return Opened(RealOpen()(path, flags, mode), creating);
}

int open64(const char* path, int flags, ...) {
    static const auto real = Next<OpenFunction>("open64");
    va_list arguments;
    va_start(arguments, flags);
    const int mode = ModeArgument(flags, arguments);
    va_end(arguments);
    const bool creating = Config().active && (flags & O_CREAT) != 0 && Absent(AT_FDCWD, path);
    return Opened(real(path, flags, mode), creating);
}

int openat(int dirFd, const char* path, int flags, ...) {
    static const auto real = Next<OpenAtFunction>("openat");
    va_list arguments;
    va_start(arguments, flags);
    const int mode = ModeArgument(flags, arguments);
    va_end(arguments);
    const bool creating = Config().active && (flags & O_CREAT) != 0 && Absent(dirFd, path);
    return Opened(real(dirFd, path, flags, mode), creating);
}

int openat64(int dirFd, const char* path, int flags, ...) {
    static const auto real = Next<OpenAtFunction>("openat64");
    va_list arguments;
    va_start(arguments, flags);
    const int mode = ModeArgument(flags, arguments);
    va_end(arguments);
    const bool creating = Config().active && (flags & O_CREAT) != 0 && Absent(dirFd, path);
    return Opened(real(dirFd, path, flags, mode), creating);
}

int creat(const char* path, mode_t mode) {
    return open(path, O_WRONLY | O_CREAT | O_TRUNC, mode);
}

int fsync(int fd) {
    static const auto real = Next<int (*)(int)>("fsync");
    if (!Config().active) return real(fd);
    Synced(fd);
    return 0;
}

int fdatasync(int fd) {
    static const auto real = Next<int (*)(int)>("fdatasync");
    if (!Config().active) return real(fd);
    Synced(fd);
    return 0;
}

int syncfs(int fd) {
    static const auto real = Next<int (*)(int)>("syncfs");
    if (!Config().active) return real(fd);
    SnapshotEverything();
    return 0;
}

void sync() {
    static const auto real = Next<void (*)()>("sync");
    if (!Config().active) {
        real();
        return;
    }
    SnapshotEverything();
}

}  // extern "C"
