// Files and folders on Linux with the Win32 semantics the product was designed on: Win32 error
// numbers, CreateFile's dispositions and sharing (as advisory flock locks), attribute bits mapped
// from permissions and names, and FindFirstFile's wildcard rules.
#include "qor/platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace qor::platform {

// Shared with registry.cpp and system.cpp, which declare them themselves: one error record and
// one errno mapping for the whole POSIX side.
namespace posix {

bool FailWith(uint32_t error);
uint32_t ErrorFromErrno(int err, const std::string& path);
bool FailErrno(int err, const std::string& path);
std::string ParentFolder(const std::string& path);

}  // namespace posix

namespace {

thread_local uint32_t t_lastError = kErrorNone;

// FILETIME counts 100-ns units from 1601-01-01; Unix time counts seconds from 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;

uint64_t ToFileTime(int64_t seconds, int64_t nanoseconds) {
    if (seconds < -kEpochDifference) return 0;
    return static_cast<uint64_t>(seconds + kEpochDifference) * kTicksPerSecond +
           static_cast<uint64_t>(nanoseconds / 100);
}

// A zero FILETIME means "leave this time as it is", as SetFileTime treats it.
timespec FromFileTime(uint64_t value) {
    timespec t{};
    if (value == 0) {
        t.tv_nsec = UTIME_OMIT;
        return t;
    }
    t.tv_sec =
        static_cast<time_t>(static_cast<int64_t>(value / kTicksPerSecond) - kEpochDifference);
    t.tv_nsec = static_cast<long>((value % kTicksPerSecond) * 100);
    return t;
}

// The times as FILETIMEs. Creation is the birth time where the file system keeps one and 0
// elsewhere: the inode change time is not a creation time and would change on every chmod.
bool StatTimes(int dirFd, const char* path, int flags, struct statx* info, FileTimes* times) {
    if (statx(dirFd, path, flags, STATX_BASIC_STATS | STATX_BTIME, info) != 0) return false;
    times->creation = (info->stx_mask & STATX_BTIME)
                          ? ToFileTime(info->stx_btime.tv_sec, info->stx_btime.tv_nsec)
                          : 0;
    times->lastAccess = ToFileTime(info->stx_atime.tv_sec, info->stx_atime.tv_nsec);
    times->lastWrite = ToFileTime(info->stx_mtime.tv_sec, info->stx_mtime.tv_nsec);
    return true;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The name's last component, ignoring trailing separators.
std::string LastComponent(const std::string& path) {
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return std::string();
    size_t start = path.rfind('/', end);
    start = start == std::string::npos ? 0 : start + 1;
    return path.substr(start, end + 1 - start);
}

bool IsHiddenName(const std::string& name) {
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

uint32_t AttributesOf(mode_t mode, const std::string& name) {
    uint32_t attributes = 0;
    if (S_ISDIR(mode)) {
        attributes |= kAttrDirectory;
    } else if (S_ISREG(mode)) {
        attributes |= kAttrArchive;
    } else {
        attributes |= kAttrSystem;  // links, devices, pipes, sockets: nothing a walk should touch
    }
    if (!S_ISLNK(mode) && (mode & S_IWUSR) == 0) attributes |= kAttrReadOnly;
    if (IsHiddenName(name)) attributes |= kAttrHidden;
    return attributes == 0 ? static_cast<uint32_t>(kAttrNormal) : attributes;
}

// Windows refuses to delete or rename a file that any handle holds open (the product's handles
// never share deletion). Every open File holds a flock lock, so an exclusive probe that fails
// means a File has it open, in this process or another.
bool HeldOpen(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

// On a handle known to be open, EBADF means the handle lacks the access the call needs, which
// Windows reports as access denied.
bool HandleFailure(int err) {
    return posix::FailWith(err == EBADF ? static_cast<uint32_t>(kErrorAccessDenied)
                                        : posix::ErrorFromErrno(err, std::string()));
}

// A regular file whose owner may not write: read-only in Windows' terms.
bool IsReadOnlyFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

int RenameNoReplace(const char* from, const char* to) {
#ifdef SYS_renameat2
#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif
    return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
#else
    (void)from;
    (void)to;
    errno = ENOSYS;
    return -1;
#endif
}

// For file systems without RENAME_NOREPLACE: a hard link cannot replace anything, so link then
// unlink is a rename that never replaces. Folders (and file systems without hard links) fall
// back to a check before the rename, which leaves a window only against concurrent creators.
bool MoveWithoutRenameFlag(const std::string& from, const std::string& to, bool isFolder) {
    if (!isFolder) {
        if (link(from.c_str(), to.c_str()) == 0) {
            if (unlink(from.c_str()) == 0) return true;
            int err = errno;
            unlink(to.c_str());
            return posix::FailErrno(err, from);
        }
        if (errno == EEXIST) return posix::FailWith(kErrorAlreadyExists);
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK) {
            return posix::FailErrno(errno, to);
        }
    }
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) return posix::FailWith(kErrorAlreadyExists);
    if (rename(from.c_str(), to.c_str()) != 0) return posix::FailErrno(errno, to);
    return true;
}

// Windows' wildcard rules, as FindFirstFile applies them: "?" becomes a character that also
// matches nothing at a dot or at the end, "*" before a dot stops at the name's last dot, and a
// dot before a wildcard or at the end also matches the end of a name ("*." finds names without
// an extension, "name.*" finds "name" as well).
enum Token : int { kStar = 256, kDosStar, kDosQm, kDosDot };

std::vector<int> WildcardExpression(const std::string& pattern) {
    if (pattern == "*.*") return {kStar};
    std::vector<int> tokens;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        tokens.push_back(static_cast<unsigned char>(c));
        if (i > 0 && c == '.' && pattern[i - 1] == '*') tokens[i - 1] = kDosStar;
        if (c == '?' || c == '*') {
            tokens[i] = c == '?' ? kDosQm : kStar;
            if (i > 0 && pattern[i - 1] == '.') tokens[i - 1] = kDosDot;
        }
    }
    if (!pattern.empty() && pattern.back() == '.') tokens.back() = kDosDot;
    return tokens;
}

class WildcardMatch {
  public:
    WildcardMatch(const std::vector<int>& expression, const std::string& name)
        : expression_(expression),
          name_(name),
          memo_((expression.size() + 1) * (name.size() + 1), -1) {}

    bool Run() { return At(0, 0); }

  private:
    bool At(size_t e, size_t n) {
        int8_t& known = memo_[e * (name_.size() + 1) + n];
        if (known < 0) known = Compute(e, n) ? 1 : 0;
        return known == 1;
    }

    bool Compute(size_t e, size_t n) {
        const size_t end = name_.size();
        if (e == expression_.size()) return n == end;
        switch (expression_[e]) {
            case kStar:
                return At(e + 1, n) || (n < end && At(e, n + 1));
            case kDosStar:
                // Consumes anything but the name's last dot.
                return At(e + 1, n) ||
                       (n < end &&
                        (name_[n] != '.' || name_.find('.', n + 1) != std::string::npos) &&
                        At(e, n + 1));
            case kDosQm:
                if (n == end || name_[n] == '.') return At(e + 1, n);
                return At(e + 1, n + 1);
            case kDosDot:
                if (n == end) return At(e + 1, n);
                return name_[n] == '.' && At(e + 1, n + 1);
            default:
                return n < end && static_cast<unsigned char>(name_[n]) == expression_[e] &&
                       At(e + 1, n + 1);
        }
    }

    const std::vector<int>& expression_;
    const std::string& name_;
    std::vector<int8_t> memo_;
};

bool HasWildcards(const std::string& name) {
    return name.find_first_of("*?") != std::string::npos;
}

bool FillFindData(int dirFd, const char* path, const std::string& name, FindData* data) {
    struct statx info;
    if (!StatTimes(dirFd, path, AT_SYMLINK_NOFOLLOW, &info, &data->times)) return false;
    data->name = name;
    data->attributes = AttributesOf(info.stx_mode, name);
    // Windows reports no size for folders and links.
    data->size = S_ISREG(info.stx_mode) ? info.stx_size : 0;
    return true;
}

// Windows' own numbers where the list in files.h has nothing close, so that callers see the
// same number on both platforms: the end of a search (ERROR_NO_MORE_FILES), a folder that is not
// empty (ERROR_DIR_NOT_EMPTY) and a file named where a folder was expected (ERROR_DIRECTORY).
constexpr uint32_t kNoMoreFiles = 18;
constexpr uint32_t kDirNotEmpty = 145;
constexpr uint32_t kNotAFolder = 267;

const char* const kSystemFolders[] = {"usr",  "etc", "bin",  "sbin", "lib", "lib64",
                                      "boot", "dev", "proc", "sys",  "run", "var"};

}  // namespace

namespace posix {

bool FailWith(uint32_t error) {
    t_lastError = error;
    return false;
}

uint32_t ErrorFromErrno(int err, const std::string& path) {
    switch (err) {
        case ENOENT:
            // Windows tells a missing file in an existing folder from a missing folder.
            return !path.empty() && IsFolder(ParentFolder(path)) ? kErrorFileNotFound
                                                                 : kErrorPathNotFound;
        case ENOTDIR:
        case ELOOP:
            return kErrorPathNotFound;
        case EEXIST:
            return kErrorFileExists;
        case EACCES:
        case EPERM:
        case EISDIR:
        case ETXTBSY:
        case EBUSY:
            return kErrorAccessDenied;
        case ENOTEMPTY:
            return kDirNotEmpty;
        case EROFS:
            return kErrorWriteProtect;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kErrorDiskFull;
        case EBADF:
            return kErrorInvalidHandle;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case EINVAL:
            return kErrorInvalidParameter;
        case ENAMETOOLONG:
            return kErrorInvalidName;
        case EWOULDBLOCK:
            return kErrorSharingViolation;
        default:
            return kErrorGeneric;
    }
}

bool FailErrno(int err, const std::string& path) {
    return FailWith(ErrorFromErrno(err, path));
}

std::string ParentFolder(const std::string& path) {
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return path.empty() ? "." : "/";
    size_t cut = path.rfind('/', end);
    if (cut == std::string::npos) return ".";
    size_t keep = path.find_last_not_of('/', cut);
    return keep == std::string::npos ? "/" : path.substr(0, keep + 1);
}

}  // namespace posix

uint32_t LastError() {
    return t_lastError;
}

struct File::Handle {
    int fd = -1;
};

File::File() = default;
File::~File() {
    Close();
}
File::File(File&& other) noexcept = default;

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::move(other.handle_);
    }
    return *this;
}

File File::Open(const std::string& path, uint32_t access, uint32_t share, Disposition disposition,
                uint32_t attributes, uint32_t* error) {
    File file;
    auto fail = [&](uint32_t code) {
        posix::FailWith(code);
        if (error) *error = code;
        return File();
    };

    const bool truncates = disposition == kCreateAlways || disposition == kTruncateExisting;
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;  // never hang opening a pipe
    if ((access & kAccessWrite) != 0) {
        flags |= (access & kAccessRead) != 0 ? O_RDWR : O_WRONLY;
    } else {
        flags |= O_RDONLY;
    }
    // Truncating needs a writable descriptor even where the caller only reads.
    int existingFlags = flags;
    if (truncates && (access & kAccessWrite) == 0) existingFlags = (flags & ~O_ACCMODE) | O_RDWR;
    // Owner only: a new file may receive plaintext, and a reader who opened it meanwhile would
    // keep the handle whatever its permissions become. SetPermissions widens them afterwards.
    const mode_t mode = (attributes & kAttrReadOnly) != 0 ? 0400 : 0600;

    int fd = -1;
    bool created = false;
    switch (disposition) {
        case kCreateNew:
            fd = open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
            created = fd >= 0;
            break;
        case kOpenExisting:
        case kTruncateExisting:
            fd = open(path.c_str(), existingFlags);
            break;
        case kCreateAlways:
        case kOpenAlways:
            // Create exclusively first, so that an existing file is never truncated before its
            // sharing has been checked; retry when it vanishes or appears in between.
            for (int attempt = 0; attempt < 4 && fd < 0; ++attempt) {
                fd = open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
                if (fd >= 0) {
                    created = true;
                    break;
                }
                if (errno != EEXIST) break;
                fd = open(path.c_str(), existingFlags);
                if (fd < 0 && errno != ENOENT) break;
            }
            break;
        default:
            return fail(kErrorInvalidParameter);
    }
    if (fd < 0) return fail(posix::ErrorFromErrno(errno, path));

    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // CreateFile opens no folders, and a file tool has no business with devices and pipes.
        close(fd);
        return fail(kErrorAccessDenied);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    // kShareNone excludes every other opener; the sharing modes exclude only kShareNone.
    // File systems without flock support give no protection rather than no access.
    const int lock = (share & (kShareRead | kShareWrite)) == 0 ? LOCK_EX : LOCK_SH;
    int rc;
    do {
        rc = flock(fd, lock | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && (errno == EWOULDBLOCK || (errno != ENOLCK && errno != EOPNOTSUPP))) {
        int err = errno;
        close(fd);
        return fail(err == EWOULDBLOCK ? static_cast<uint32_t>(kErrorSharingViolation)
                                       : posix::ErrorFromErrno(err, path));
    }
    if (truncates && !created && ftruncate(fd, 0) != 0) {
        int err = errno;
        close(fd);
        return fail(posix::ErrorFromErrno(err, path));
    }

    file.handle_ = std::make_unique<Handle>();
    file.handle_->fd = fd;
    if (error) *error = kErrorNone;
    return file;
}

bool File::IsOpen() const {
    return handle_ && handle_->fd >= 0;
}

bool File::Read(void* buffer, uint32_t size, uint32_t* got) {
    *got = 0;
    if (!IsOpen()) return posix::FailWith(kErrorInvalidHandle);
    auto* p = static_cast<uint8_t*>(buffer);
    // ReadFile on a file returns everything asked for unless the file ends first.
    while (*got < size) {
        ssize_t n = read(handle_->fd, p + *got, size - *got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return HandleFailure(errno);
        }
        if (n == 0) break;
        *got += static_cast<uint32_t>(n);
    }
    return true;
}

bool File::Write(const void* data, uint32_t size) {
    if (!IsOpen()) return posix::FailWith(kErrorInvalidHandle);
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        ssize_t n = write(handle_->fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return HandleFailure(errno);
        }
        if (n == 0) return posix::FailWith(kErrorDiskFull);
        p += n;
        size -= static_cast<uint32_t>(n);
    }
    return true;
}

bool File::Size(uint64_t* size) const {
    if (!IsOpen()) return posix::FailWith(kErrorInvalidHandle);
    struct stat st;
    if (fstat(handle_->fd, &st) != 0) return posix::FailErrno(errno, std::string());
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool File::Seek(uint64_t offset) {
    if (!IsOpen()) return posix::FailWith(kErrorInvalidHandle);
    if (offset > static_cast<uint64_t>(INT64_MAX)) return posix::FailWith(kErrorInvalidParameter);
    if (lseek(handle_->fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return posix::FailErrno(errno, std::string());
    }
    return true;
}

bool File::SetEnd() {
    if (!IsOpen()) return posix::FailWith(kErrorInvalidHandle);
    off_t at = lseek(handle_->fd, 0, SEEK_CUR);
    // ftruncate reports a descriptor opened for reading only as EINVAL.
    if (at < 0 || ftruncate(handle_->fd, at) != 0)
        return HandleFailure(errno == EINVAL ? EBADF : errno);
    return true;
}

bool File::Flush() {
    if (!IsOpen()) return posix::FailWith(kErrorInvalidHandle);
    if (fsync(handle_->fd) != 0) return posix::FailErrno(errno, std::string());
    return true;
}

void File::AdviseSequential() {
    if (IsOpen()) posix_fadvise(handle_->fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void File::AdviseDone(uint64_t offset, uint64_t length) {
    if (!IsOpen() || offset > static_cast<uint64_t>(INT64_MAX) ||
        length > static_cast<uint64_t>(INT64_MAX)) {
        return;
    }
    posix_fadvise(handle_->fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                  POSIX_FADV_DONTNEED);
}

void File::StartWriteBack(uint64_t offset, uint64_t length) {
    if (!IsOpen() || offset > static_cast<uint64_t>(INT64_MAX) ||
        length > static_cast<uint64_t>(INT64_MAX)) {
        return;
    }
    // Only a start: the writes are queued and the call returns; a failure shows at Flush.
    sync_file_range(handle_->fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                    SYNC_FILE_RANGE_WRITE);
}

bool File::GetTimes(FileTimes* times) const {
    if (!IsOpen()) return posix::FailWith(kErrorInvalidHandle);
    struct statx info;
    if (!StatTimes(handle_->fd, "", AT_EMPTY_PATH, &info, times)) {
        return posix::FailErrno(errno, std::string());
    }
    return true;
}

bool File::SetTimes(const FileTimes& times) {
    if (!IsOpen()) return posix::FailWith(kErrorInvalidHandle);
    const timespec values[2] = {FromFileTime(times.lastAccess), FromFileTime(times.lastWrite)};
    if (futimens(handle_->fd, values) != 0) return posix::FailErrno(errno, std::string());
    return true;
}

void File::Close() {
    if (IsOpen()) close(handle_->fd);  // also releases the sharing lock
    handle_.reset();
}

bool Exists(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return posix::FailErrno(errno, path);
    return true;
}

bool DeleteAtRestart(const std::string&) {
    return posix::FailWith(kErrorNotSupported);
}

bool DeleteFile(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return posix::FailErrno(errno, path);
    if (IsReadOnlyFile(st)) return posix::FailWith(kErrorAccessDenied);
    if (S_ISREG(st.st_mode) && HeldOpen(path)) return posix::FailWith(kErrorSharingViolation);
    if (unlink(path.c_str()) != 0) return posix::FailErrno(errno, path);
    return true;
}

bool MoveFile(const std::string& from, const std::string& to) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return posix::FailErrno(errno, from);
    if (S_ISREG(st.st_mode) && HeldOpen(from)) return posix::FailWith(kErrorSharingViolation);
    if (RenameNoReplace(from.c_str(), to.c_str()) == 0) return true;
    switch (errno) {
        case EEXIST:
            return posix::FailWith(kErrorAlreadyExists);
        case EINVAL:
        case ENOSYS:
            return MoveWithoutRenameFlag(from, to, S_ISDIR(st.st_mode));
        case EXDEV:
            // Windows would copy a file to another volume; a rename-only move leaves that to the
            // caller, which knows how to make the copy durable first.
            return posix::FailWith(kErrorGeneric);
        default:
            return posix::FailErrno(errno, to);
    }
}

bool ReplaceFile(const std::string& from, const std::string& to) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return posix::FailErrno(errno, from);
    if (S_ISREG(st.st_mode) && HeldOpen(from)) return posix::FailWith(kErrorSharingViolation);
    if (lstat(to.c_str(), &st) == 0) {
        // MoveFileEx replaces neither a read-only file nor one that is open.
        if (IsReadOnlyFile(st)) return posix::FailWith(kErrorAccessDenied);
        if (S_ISREG(st.st_mode) && HeldOpen(to)) return posix::FailWith(kErrorSharingViolation);
    }
    if (rename(from.c_str(), to.c_str()) != 0) {
        return posix::FailWith(errno == EXDEV ? static_cast<uint32_t>(kErrorGeneric)
                                              : posix::ErrorFromErrno(errno, to));
    }
    // Written through, as MOVEFILE_WRITE_THROUGH asks: the new name is on the medium on return.
    return FlushFolder(posix::ParentFolder(to));
}

bool CreateDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0777) != 0) {
        if (errno == EEXIST) return posix::FailWith(kErrorAlreadyExists);
        if (errno == ENOENT) return posix::FailWith(kErrorPathNotFound);
        return posix::FailErrno(errno, path);
    }
    return true;
}

bool RemoveDirectory(const std::string& path) {
    if (rmdir(path.c_str()) != 0) {
        int err = errno;
        struct stat st;
        if (err == ENOTDIR && lstat(path.c_str(), &st) == 0) return posix::FailWith(kNotAFolder);
        return posix::FailErrno(err, path);
    }
    return true;
}

uint32_t GetAttributes(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        posix::FailErrno(errno, path);
        return kInvalidAttributes;
    }
    return AttributesOf(st.st_mode, LastComponent(path));
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return posix::FailErrno(errno, path);
    // A link's permissions are not its own; hidden follows the name and system the kind, so
    // read-only is the only attribute there is to set.
    if (S_ISLNK(st.st_mode)) return true;
    mode_t mode = st.st_mode & 07777;
    if ((attributes & kAttrReadOnly) != 0) {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else if ((mode & S_IWUSR) == 0) {
        // Write access comes back for the owner only: who else had it is not recorded.
        mode |= S_IWUSR;
    }
    if (mode == (st.st_mode & 07777)) return true;
    if (chmod(path.c_str(), mode) != 0) return posix::FailErrno(errno, path);
    return true;
}

uint32_t GetPermissions(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        posix::FailErrno(errno, path);
        return 0;
    }
    return S_ISLNK(st.st_mode) ? 0 : static_cast<uint32_t>(st.st_mode & 0777);
}

bool SetPermissions(const std::string& path, uint32_t permissions) {
    if (permissions == 0) return true;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return posix::FailErrno(errno, path);
    if (S_ISLNK(st.st_mode)) return true;
    if (chmod(path.c_str(), static_cast<mode_t>(permissions & 0777)) != 0) {
        return posix::FailErrno(errno, path);
    }
    return true;
}

bool FlushFolder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return posix::FailErrno(errno, folder);
    // Some file systems cannot sync a folder (EINVAL) and order their metadata themselves.
    bool ok = fsync(fd) == 0 || errno == EINVAL;
    int err = errno;
    close(fd);
    if (!ok) return posix::FailErrno(err, folder);
    return true;
}

bool FlushFiles(const std::vector<File*>& files) {
    // A few files are cheaper flushed one by one than a whole file system.
    constexpr size_t kFewFiles = 4;
    if (files.size() < kFewFiles) {
        bool ok = true;
        for (File* file : files)
            ok = file->Flush() && ok;
        return ok;
    }
    // Every file's data on its way first, then one wait per file system: syncfs writes and
    // waits for all of it, commits the file system's journal once and reports the write-back
    // errors of the file system since the descriptor was opened.
    std::vector<std::pair<dev_t, int>> systems;
    for (File* file : files) {
        if (!file->IsOpen()) return posix::FailWith(kErrorInvalidHandle);
        file->StartWriteBack(0, 0);
        struct stat st;
        const int fd = file->handle_->fd;
        if (fstat(fd, &st) != 0) return posix::FailErrno(errno, std::string());
        const bool known = std::any_of(systems.begin(), systems.end(),
                                       [&](const auto& seen) { return seen.first == st.st_dev; });
        if (!known) systems.emplace_back(st.st_dev, fd);
    }
    for (const auto& system : systems) {
        if (syncfs(system.second) != 0) return posix::FailErrno(errno, std::string());
    }
    return true;
}

bool FreeSpace(const std::string& path, uint64_t* bytes) {
    // The folder that holds the path; a path ending in a separator is that folder itself.
    std::string folder = !path.empty() && path.back() == '/' ? path : posix::ParentFolder(path);
    struct statvfs vfs;
    if (statvfs(folder.c_str(), &vfs) != 0) {
        return posix::FailWith(errno == ENOENT ? static_cast<uint32_t>(kErrorPathNotFound)
                                               : posix::ErrorFromErrno(errno, folder));
    }
    *bytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
    return true;
}

struct Finder::State {
    std::vector<FindData> entries;
    size_t next = 0;
};

Finder::Finder() = default;
Finder::~Finder() {
    Close();
}

bool Finder::First(const std::string& pattern, FindData* data) {
    Close();
    size_t cut = pattern.rfind('/');
    std::string folder = cut == std::string::npos ? "." : cut == 0 ? "/" : pattern.substr(0, cut);
    std::string name = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
    if (name.empty()) return posix::FailWith(kErrorFileNotFound);

    auto state = std::make_unique<State>();
    if (!HasWildcards(name)) {
        // One name: no listing needed, and no case folding, as the file system has none.
        FindData found;
        if (!FillFindData(AT_FDCWD, pattern.c_str(), name, &found)) {
            return posix::FailErrno(errno, pattern);
        }
        state->entries.push_back(std::move(found));
    } else {
        DIR* dir = opendir(folder.c_str());
        if (dir == nullptr) {
            return posix::FailWith(errno == ENOENT || errno == ENOTDIR
                                       ? static_cast<uint32_t>(kErrorPathNotFound)
                                       : posix::ErrorFromErrno(errno, folder));
        }
        const std::vector<int> expression = WildcardExpression(name);
        // A drive's root has no "." and ".." on Windows; "/" plays that part here.
        const bool root = folder.find_first_not_of('/') == std::string::npos;
        while (dirent* entry = readdir(dir)) {
            std::string entryName = entry->d_name;
            if (root && (entryName == "." || entryName == "..")) continue;
            if (!WildcardMatch(expression, entryName).Run()) continue;
            FindData found;
            // An entry removed since the listing is simply not reported.
            if (FillFindData(dirfd(dir), entry->d_name, entryName, &found)) {
                state->entries.push_back(std::move(found));
            }
        }
        closedir(dir);
        // A stable order, "." and ".." first as Windows lists them.
        std::sort(
            state->entries.begin(), state->entries.end(), [](const FindData& a, const FindData& b) {
                auto rank = [](const std::string& n) { return n == "." ? 0 : n == ".." ? 1 : 2; };
                if (rank(a.name) != rank(b.name)) return rank(a.name) < rank(b.name);
                return a.name < b.name;
            });
    }
    if (state->entries.empty()) return posix::FailWith(kErrorFileNotFound);
    *data = state->entries[0];
    state->next = 1;
    state_ = std::move(state);
    return true;
}

bool Finder::Next(FindData* data) {
    if (!state_) return posix::FailWith(kErrorInvalidHandle);
    if (state_->next >= state_->entries.size()) return posix::FailWith(kNoMoreFiles);
    *data = state_->entries[state_->next++];
    return true;
}

void Finder::Close() {
    state_.reset();
}

std::string WindowsFolder() {
    return "/usr";
}

bool IsInsideSystemFolder(const std::string& path) {
    if (path.empty()) return false;
    std::string full = path;
    if (full[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd) == nullptr) return false;
        full = std::string(cwd) + "/" + full;
    }
    // Resolve "." and ".." by the text alone, so neither can disguise where a path lies.
    std::vector<std::string> parts;
    size_t at = 0;
    while (at < full.size()) {
        size_t end = full.find('/', at);
        if (end == std::string::npos) end = full.size();
        std::string part = full.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        at = end + 1;
    }
    if (parts.empty()) return false;
    for (const char* folder : kSystemFolders) {
        if (parts[0] == folder) return true;
    }
    return false;
}

std::string ProgramFolder() {
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            posix::FailErrno(errno, std::string());
            return std::string();
        }
        if (static_cast<size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    return posix::ParentFolder(buffer);
}

std::string CurrentFolder() {
    std::string buffer(256, '\0');
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            posix::FailErrno(errno, std::string());
            return std::string();
        }
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

}  // namespace qor::platform
