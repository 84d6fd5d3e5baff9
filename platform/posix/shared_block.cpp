// The block every process of the user shares, on Linux: the hand-over as a "user" key in the
// user's kernel keyring (never in a file, never swapped), the busy flag in a small POSIX
// shared-memory object that only the user can open. Without keyrings (kernels built without
// them, containers whose seccomp profile blocks the calls, a full key quota) the hand-over lives
// in that object too, locked in memory while a process maps it.
#include "qor/platform/shared_block.h"

#include <fcntl.h>
#include <linux/keyctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace qor::platform {

namespace {

// The key's permissions: everything for its possessor and for processes of its user, nothing for
// group or others (keyutils.h spells these out; the kernel header does not).
constexpr unsigned long kKeyPossessorAll = 0x3f000000;
constexpr unsigned long kKeyUserAll = 0x003f0000;

constexpr const char* kKeyType = "user";

// One page: the busy flag, the fallback hand-over and its expiry. Bytes past the layout are
// unused and stay zero.
constexpr off_t kObjectSize = 4096;

struct SharedPage {
    int32_t busy;
    uint32_t present;   // 1 when `handOver` holds a block
    int64_t expiresNs;  // CLOCK_BOOTTIME of the end of the keep period; 0 keeps it indefinitely
    uint8_t handOver[kSharedHandOverSize];
};
static_assert(sizeof(SharedPage) <= kObjectSize);

// Stores through a volatile pointer survive dead-store elimination; the barrier keeps them from
// being moved past the memory's release. The platform layer sits below the toolkit, so it keeps
// its own copy of the wipe.
void Wipe(void* data, size_t length) noexcept {
    volatile uint8_t* p = static_cast<volatile uint8_t*>(data);
    for (size_t i = 0; i < length; ++i)
        p[i] = 0;
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

// Tests run side by side on one machine and share the user's keyring and /dev/shm: a tag from
// QOR_SHARED_TAG (letters, digits, '-' and '_', at most 32) gives each run its own key and
// object. Anything else is ignored, so a stray value can never reach a path.
std::string Tag() {
    const char* value = std::getenv("QOR_SHARED_TAG");
    if (value == nullptr || *value == '\0') return std::string();
    std::string tag(value);
    if (tag.size() > 32) return std::string();
    for (char c : tag) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) return std::string();
    }
    return "-" + tag;
}

std::string ObjectName() {
    return "/qor-shared-" + std::to_string(geteuid()) + Tag();
}

std::string KeyDescription() {
    return "qor-shared-handover" + Tag();
}

bool KeyringWanted() {
    const char* value = std::getenv("QOR_SHARED_NO_KEYRING");
    return value == nullptr || std::strcmp(value, "1") != 0;
}

int64_t BootTimeNs() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// ---- The keyring ----

enum class KeyResult { kDone, kNone, kUnavailable, kFailed };

long KeyCtl(int command, unsigned long a = 0, unsigned long b = 0, unsigned long c = 0,
            unsigned long d = 0) {
    return syscall(SYS_keyctl, command, a, b, c, d);
}

// Errors that mean "this system gives us no keyring to use", as opposed to a failure of the one
// call: the kernel lacks keys, a seccomp filter or a security module refuses them, or the user's
// key quota is used up.
bool KeyringUnavailable(int err) {
    return err == ENOSYS || err == EPERM || err == EACCES || err == EDQUOT;
}

bool NoSuchKey(int err) {
    return err == ENOKEY || err == EKEYEXPIRED || err == EKEYREVOKED;
}

long FindKey(const std::string& description) {
    return KeyCtl(KEYCTL_SEARCH, static_cast<unsigned long>(KEY_SPEC_USER_KEYRING),
                  reinterpret_cast<unsigned long>(kKeyType),
                  reinterpret_cast<unsigned long>(description.c_str()), 0);
}

KeyResult ReadKey(uint8_t out[kSharedHandOverSize]) {
    const long key = FindKey(KeyDescription());
    if (key < 0) {
        if (NoSuchKey(errno)) return KeyResult::kNone;
        return KeyringUnavailable(errno) || errno == EOPNOTSUPP ? KeyResult::kUnavailable
                                                                : KeyResult::kFailed;
    }
    // Room for more than a block, so that a payload of another length shows as such.
    uint8_t buffer[kSharedHandOverSize + 16];
    const long length = KeyCtl(KEYCTL_READ, static_cast<unsigned long>(key),
                               reinterpret_cast<unsigned long>(buffer), sizeof buffer);
    const int err = errno;
    KeyResult result = KeyResult::kNone;
    if (length == static_cast<long>(kSharedHandOverSize)) {
        std::memcpy(out, buffer, kSharedHandOverSize);
        result = KeyResult::kDone;
    } else if (length < 0 && !NoSuchKey(err)) {
        result = KeyResult::kFailed;
    }
    // A payload of any other length is not a block this program wrote: nothing is kept.
    Wipe(buffer, sizeof buffer);
    return result;
}

// The key is made in this thread's keyring, which the thread always possesses, so that its
// permissions and timeout can be set before any other process can see it; only then is it
// linked into the user's keyring, where it takes the place of the previous block in one step.
// (A key added straight to the user keyring belongs to a process only through its session; in a
// session that does not link the user keyring, its permissions could not be changed.)
KeyResult WriteKey(const uint8_t block[kSharedHandOverSize], uint32_t keepSeconds) {
    const std::string description = KeyDescription();
    const long key = syscall(SYS_add_key, kKeyType, description.c_str(), block, kSharedHandOverSize,
                             KEY_SPEC_THREAD_KEYRING);
    if (key < 0) {
        return KeyringUnavailable(errno) ? KeyResult::kUnavailable : KeyResult::kFailed;
    }
    const unsigned long serial = static_cast<unsigned long>(key);
    const unsigned long threadRing = static_cast<unsigned long>(KEY_SPEC_THREAD_KEYRING);
    const long previous = FindKey(description);
    const bool ok =
        KeyCtl(KEYCTL_SETPERM, serial, kKeyPossessorAll | kKeyUserAll) == 0 &&
        KeyCtl(KEYCTL_SET_TIMEOUT, serial, keepSeconds) == 0 &&
        KeyCtl(KEYCTL_LINK, serial, static_cast<unsigned long>(KEY_SPEC_USER_KEYRING)) == 0;
    const int err = errno;
    if (!ok) KeyCtl(KEYCTL_INVALIDATE, serial);
    KeyCtl(KEYCTL_UNLINK, serial, threadRing);
    // The link displaced the previous key; invalidating it makes its block unreadable now
    // rather than whenever the kernel collects it.
    if (ok && previous >= 0 && previous != key) {
        KeyCtl(KEYCTL_INVALIDATE, static_cast<unsigned long>(previous));
    }
    if (ok) return KeyResult::kDone;
    return KeyringUnavailable(err) ? KeyResult::kUnavailable : KeyResult::kFailed;
}

KeyResult ClearKey() {
    const std::string description = KeyDescription();
    // At most one key of a description is linked in a keyring; the loop also takes out a key that
    // another process links at the same moment.
    for (int round = 0; round < 4; ++round) {
        const long key = FindKey(description);
        if (key < 0) {
            if (NoSuchKey(errno)) return KeyResult::kDone;
            return KeyringUnavailable(errno) || errno == EOPNOTSUPP ? KeyResult::kUnavailable
                                                                    : KeyResult::kFailed;
        }
        const unsigned long serial = static_cast<unsigned long>(key);
        // Invalidation makes the key unreadable at once; kernels before 3.5 lack it, and there
        // revoking and unlinking do the same.
        if (KeyCtl(KEYCTL_INVALIDATE, serial) != 0) {
            KeyCtl(KEYCTL_REVOKE, serial);
            if (KeyCtl(KEYCTL_UNLINK, serial, static_cast<unsigned long>(KEY_SPEC_USER_KEYRING)) !=
                    0 &&
                !NoSuchKey(errno)) {
                return KeyResult::kFailed;
            }
        }
    }
    return KeyResult::kFailed;
}

// ---- The shared-memory object ----

// This process's mapping of the object, kept for the life of the process so that the page stays
// locked while the process runs. A different name (a different tag) maps afresh.
struct Mapping {
    std::string name;
    int fd = -1;
    SharedPage* page = nullptr;
};

std::mutex g_mutex;
Mapping g_mapping;

void Unmap(Mapping& m) {
    if (m.page != nullptr) {
        munlock(m.page, kObjectSize);
        munmap(m.page, kObjectSize);
    }
    if (m.fd >= 0) close(m.fd);
    m = Mapping();
}

// Opens the object if it is the user's own and no one else may open it. An object of another
// user is refused and left alone (the user could not remove it anyway). An object of the user's
// own that group or others may open is emptied and replaced by a new one: whatever it held may
// have been seen, and anyone who opened it keeps only the emptied old one.
int OpenObject(const std::string& name) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            // Our own object without owner write permission: remove it and make it anew. For
            // another user's object the removal fails (the folder is sticky).
            if (errno == EACCES && attempt == 0 && shm_unlink(name.c_str()) == 0) continue;
            return -1;
        }
        struct stat st {};
        if (fstat(fd, &st) != 0 || st.st_uid != geteuid() || !S_ISREG(st.st_mode)) {
            close(fd);
            return -1;
        }
        if ((st.st_mode & 077) != 0) {
            if (ftruncate(fd, 0) != 0) {
                close(fd);
                return -1;
            }
            close(fd);
            shm_unlink(name.c_str());
            continue;
        }
        // The creator's umask may have taken the owner's own bits.
        if ((st.st_mode & 0600) != 0600 && fchmod(fd, 0600) != 0) {
            close(fd);
            return -1;
        }
        if (st.st_size < kObjectSize && ftruncate(fd, kObjectSize) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }
    return -1;
}

// The page, mapped and locked; null when the object cannot be used. Called with g_mutex held.
SharedPage* Page() {
    const std::string name = ObjectName();
    if (g_mapping.page != nullptr && g_mapping.name == name) return g_mapping.page;
    Unmap(g_mapping);
    const int fd = OpenObject(name);
    if (fd < 0) return nullptr;
    void* address = mmap(nullptr, kObjectSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
#ifdef MADV_DONTDUMP
    madvise(address, kObjectSize, MADV_DONTDUMP);
#endif
    // Best effort: with RLIMIT_MEMLOCK used up the page still works, it may only be swapped.
    mlock(address, kObjectSize);
    g_mapping.name = name;
    g_mapping.fd = fd;
    g_mapping.page = static_cast<SharedPage*>(address);
    return g_mapping.page;
}

// Holds the object's record lock (between processes) while the hand-over is read or changed, so
// that no process sees half of another's block. The caller holds g_mutex for the threads of
// this process; record locks belong to the process, so they exclude a forked child as well.
class ObjectLock {
  public:
    ObjectLock(int fd, short type) : fd_(fd) {
        struct flock lock {};
        lock.l_type = type;
        lock.l_whence = SEEK_SET;
        int result;
        do {
            result = fcntl(fd_, F_SETLKW, &lock);
        } while (result != 0 && errno == EINTR);
        held_ = result == 0;
    }
    ~ObjectLock() {
        if (!held_) return;
        struct flock lock {};
        lock.l_type = F_UNLCK;
        lock.l_whence = SEEK_SET;
        fcntl(fd_, F_SETLK, &lock);
    }
    ObjectLock(const ObjectLock&) = delete;
    ObjectLock& operator=(const ObjectLock&) = delete;
    bool held() const { return held_; }

  private:
    int fd_;
    bool held_ = false;
};

void ForgetSlot(SharedPage* page) {
    Wipe(page->handOver, sizeof page->handOver);
    page->expiresNs = 0;
    page->present = 0;
}

bool ReadSlot(uint8_t out[kSharedHandOverSize]) {
    SharedPage* page = Page();
    if (page == nullptr) return false;
    ObjectLock lock(g_mapping.fd, F_WRLCK);  // an expired block is wiped on the way
    if (!lock.held()) return false;
    if (page->present == 0) return true;
    if (page->present != 1 || (page->expiresNs != 0 && BootTimeNs() >= page->expiresNs)) {
        ForgetSlot(page);
        return true;
    }
    std::memcpy(out, page->handOver, kSharedHandOverSize);
    return true;
}

bool WriteSlot(const uint8_t block[kSharedHandOverSize], uint32_t keepSeconds) {
    SharedPage* page = Page();
    if (page == nullptr) return false;
    ObjectLock lock(g_mapping.fd, F_WRLCK);
    if (!lock.held()) return false;
    std::memcpy(page->handOver, block, kSharedHandOverSize);
    page->expiresNs = keepSeconds == 0 ? 0 : BootTimeNs() + int64_t{keepSeconds} * 1000000000;
    page->present = 1;
    return true;
}

bool ClearSlot() {
    SharedPage* page = Page();
    if (page == nullptr) return false;
    ObjectLock lock(g_mapping.fd, F_WRLCK);
    if (!lock.held()) return false;
    ForgetSlot(page);
    return true;
}

}  // namespace

bool ReadSharedHandOver(uint8_t out[kSharedHandOverSize]) {
    std::memset(out, 0, kSharedHandOverSize);
    std::lock_guard<std::mutex> guard(g_mutex);
    KeyResult key = KeyResult::kUnavailable;
    if (KeyringWanted()) {
        key = ReadKey(out);
        if (key == KeyResult::kDone) return true;
        if (key == KeyResult::kFailed) return false;
    }
    // No key: a process that had no keyring when it wrote may have left the block here.
    if (ReadSlot(out)) return true;
    Wipe(out, kSharedHandOverSize);
    return key == KeyResult::kNone;
}

bool WriteSharedHandOver(const uint8_t block[kSharedHandOverSize], uint32_t keepSeconds) {
    const uint32_t valid = uint32_t{block[0]} | uint32_t{block[1]} << 8 | uint32_t{block[2]} << 16 |
                           uint32_t{block[3]} << 24;
    if (valid == 0) return ClearSharedHandOver();
    std::lock_guard<std::mutex> guard(g_mutex);
    if (KeyringWanted()) {
        const KeyResult key = WriteKey(block, keepSeconds);
        if (key == KeyResult::kDone) {
            ClearSlot();  // an older block from a time without keyring must not come back
            return true;
        }
        if (key == KeyResult::kFailed) return false;
    }
    return WriteSlot(block, keepSeconds);
}

bool ClearSharedHandOver() {
    std::lock_guard<std::mutex> guard(g_mutex);
    KeyResult key = KeyResult::kUnavailable;
    if (KeyringWanted()) key = ClearKey();
    if (key == KeyResult::kFailed) {
        ClearSlot();
        return false;
    }
    // With the keyring in use the object holds a block only if some process lacked the keyring;
    // an object that cannot be opened then holds none of ours.
    const bool slot = ClearSlot();
    return slot || key == KeyResult::kDone;
}

int32_t SharedBusyFlag() {
    std::lock_guard<std::mutex> guard(g_mutex);
    SharedPage* page = Page();
    if (page == nullptr) return 0;
    return std::atomic_ref<int32_t>(page->busy).load();
}

void SetSharedBusyFlag(int32_t value) {
    std::lock_guard<std::mutex> guard(g_mutex);
    SharedPage* page = Page();
    if (page == nullptr) return;
    std::atomic_ref<int32_t>(page->busy).store(value);
}

}  // namespace qor::platform
