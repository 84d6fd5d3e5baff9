// A filling disk for the fault tests, preloaded (LD_PRELOAD) into the product's programs. It
// stands between the programs and the C library's write, sync and free-space calls; nothing of
// the product is changed. Set by the environment:
//
//   QOR_FAULT_PATH    fnmatch pattern on a file's full path: only writes to matching files count
//                     and fail, so scenario, transcript and registry files stay writable.
//   QOR_FAULT_BUDGET  bytes that matching files may take in all. The write that would pass the
//                     budget writes what still fits; every later one fails.
//   QOR_FAULT_ERRNO   ENOSPC (the default) or EIO: what the failing call reports.
//   QOR_FAULT_SYNC    1: writes always succeed and fsync/fdatasync/syncfs of a matching file fail
//   once
//                     the budget is passed, as on file systems that allocate at write-back.
//   QOR_FAULT_FREE    what statvfs/statfs report as free for every path: a byte count, or
//                     "budget" for what the budget still holds.
//   QOR_FAULT_REPORT  a file that receives, at exit, the bytes written to matching files.
#include <dlfcn.h>
#include <fnmatch.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Settings {
    const char* pattern = nullptr;
    bool limited = false;
    uint64_t budget = 0;
    int error = ENOSPC;
    bool atSync = false;
    bool fakeFree = false;
    bool freeIsBudget = false;
    uint64_t free = 0;
    const char* report = nullptr;
};

uint64_t gWritten = 0;  // bytes taken by matching files; the programs write from one thread

const Settings& Config() {
    static const Settings settings = [] {
        Settings s;
        s.pattern = std::getenv("QOR_FAULT_PATH");
        if (const char* budget = std::getenv("QOR_FAULT_BUDGET")) {
            s.limited = true;
            s.budget = std::strtoull(budget, nullptr, 10);
        }
        if (const char* error = std::getenv("QOR_FAULT_ERRNO")) {
            if (std::strcmp(error, "EIO") == 0) s.error = EIO;
        }
        if (const char* sync = std::getenv("QOR_FAULT_SYNC"))
            s.atSync = std::strcmp(sync, "1") == 0;
        if (const char* free = std::getenv("QOR_FAULT_FREE")) {
            s.fakeFree = true;
            s.freeIsBudget = std::strcmp(free, "budget") == 0;
            if (!s.freeIsBudget) s.free = std::strtoull(free, nullptr, 10);
        }
        s.report = std::getenv("QOR_FAULT_REPORT");
        return s;
    }();
    return settings;
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// The descriptor's file by its name in /proc, which is where the programs opened it.
bool Matches(int fd) {
    const Settings& s = Config();
    if (s.pattern == nullptr) return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0) return false;
    path[length] = '\0';
    return fnmatch(s.pattern, path, 0) == 0;
}

uint64_t Remaining() {
    const Settings& s = Config();
    return gWritten >= s.budget ? 0 : s.budget - gWritten;
}

// How much of a write of `count` bytes may go through; false when none may (errno is set).
bool Admit(bool matching, size_t count, size_t* allowed) {
    *allowed = count;
    const Settings& s = Config();
    if (!matching || !s.limited || s.atSync || count == 0) return true;
    const uint64_t left = Remaining();
    if (left == 0) {
        errno = s.error;
        return false;
    }
    if (left < count) *allowed = static_cast<size_t>(left);
    return true;
}

void Account(bool matching, ssize_t written) {
    if (matching && written > 0) gWritten += static_cast<uint64_t>(written);
}

bool SyncFails(int fd) {
    const Settings& s = Config();
    if (!s.limited || !s.atSync || gWritten <= s.budget || !Matches(fd)) return false;
    errno = s.error;
    return true;
}

uint64_t FreeBytes() {
    const Settings& s = Config();
    return s.freeIsBudget ? (s.limited ? Remaining() : 0) : s.free;
}

template <typename Record>
void FakeFree(Record* record) {
    const uint64_t unit = record->f_frsize != 0 ? record->f_frsize : 4096;
    record->f_bavail = FreeBytes() / unit;
    record->f_bfree = record->f_bavail;
}

template <typename Record>
void FakeFreeBlocks(Record* record) {
    const uint64_t unit = record->f_bsize != 0 ? static_cast<uint64_t>(record->f_bsize) : 4096;
    record->f_bavail = FreeBytes() / unit;
    record->f_bfree = record->f_bavail;
}

__attribute__((destructor)) void WriteReport() {
    const Settings& s = Config();
    if (s.report == nullptr) return;
    if (FILE* out = std::fopen(s.report, "w")) {
        std::fprintf(out, "%llu\n", static_cast<unsigned long long>(gWritten));
        std::fclose(out);
    }
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* buffer, size_t count) {
    static const auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
    const bool matching = Matches(fd);
    size_t allowed = 0;
    if (!Admit(matching, count, &allowed)) return -1;
    const ssize_t written = real(fd, buffer, allowed);
    Account(matching, written);
    return written;
}

ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
    static const auto real = Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    const bool matching = Matches(fd);
    size_t allowed = 0;
    if (!Admit(matching, count, &allowed)) return -1;
    const ssize_t written = real(fd, buffer, allowed, offset);
    Account(matching, written);
    return written;
}

ssize_t pwrite64(int fd, const void* buffer, size_t count, off64_t offset) {
    static const auto real = Next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    const bool matching = Matches(fd);
    size_t allowed = 0;
    if (!Admit(matching, count, &allowed)) return -1;
    const ssize_t written = real(fd, buffer, allowed, offset);
    Account(matching, written);
    return written;
}

// A vector write either fits whole or fails: nothing of the product gathers its writes.
ssize_t writev(int fd, const struct iovec* vector, int count) {
    static const auto real = Next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    const bool matching = Matches(fd);
    size_t total = 0;
    for (int k = 0; k < count; ++k)
        total += vector[k].iov_len;
    size_t allowed = 0;
    if (!Admit(matching, total, &allowed)) return -1;
    if (allowed < total) {
        errno = Config().error;
        return -1;
    }
    const ssize_t written = real(fd, vector, count);
    Account(matching, written);
    return written;
}

int fsync(int fd) {
    static const auto real = Next<int (*)(int)>("fsync");
    if (SyncFails(fd)) return -1;
    return real(fd);
}

int fdatasync(int fd) {
    static const auto real = Next<int (*)(int)>("fdatasync");
    if (SyncFails(fd)) return -1;
    return real(fd);
}

// A group of files is flushed with one syncfs of their file system, named by one of them.
int syncfs(int fd) {
    static const auto real = Next<int (*)(int)>("syncfs");
    if (SyncFails(fd)) return -1;
    return real(fd);
}

int statvfs(const char* path, struct statvfs* record) noexcept {
    static const auto real = Next<int (*)(const char*, struct statvfs*)>("statvfs");
    const int result = real(path, record);
    if (result == 0 && Config().fakeFree) FakeFree(record);
    return result;
}

int statvfs64(const char* path, struct statvfs64* record) noexcept {
    static const auto real = Next<int (*)(const char*, struct statvfs64*)>("statvfs64");
    const int result = real(path, record);
    if (result == 0 && Config().fakeFree) FakeFree(record);
    return result;
}

int fstatvfs(int fd, struct statvfs* record) noexcept {
    static const auto real = Next<int (*)(int, struct statvfs*)>("fstatvfs");
    const int result = real(fd, record);
    if (result == 0 && Config().fakeFree) FakeFree(record);
    return result;
}

int statfs(const char* path, struct statfs* record) noexcept {
    static const auto real = Next<int (*)(const char*, struct statfs*)>("statfs");
    const int result = real(path, record);
    if (result == 0 && Config().fakeFree) FakeFreeBlocks(record);
    return result;
}

int fstatfs(int fd, struct statfs* record) noexcept {
    static const auto real = Next<int (*)(int, struct statfs*)>("fstatfs");
    const int result = real(fd, record);
    if (result == 0 && Config().fakeFree) FakeFreeBlocks(record);
    return result;
}

}  // extern "C"
