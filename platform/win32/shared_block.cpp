// The block every process of the user shares, on Win32: a data section that the loader maps
// once for every process that loads this image (the shell library in the product), so a block
// written by one process is read by the next.
//
// The section is shared only between processes of one image: each program that links this
// library keeps its own. Programs that must see the shell library's block call through it.
#include "qor/platform/shared_block.h"

#include "win32_common.h"

#include <cstddef>
#include <cstring>

namespace qor::platform {

namespace {

// The hand-over and the busy flag first, at offsets 0 and 48, where a test that looks into the
// section from another process finds them.
struct SharedSection {
    uint8_t SharedHandOver[kSharedHandOverSize];
    volatile LONG SharedBusyFlag;
    volatile LONG lock;     // the process id of the holder, 0 when free
    volatile LONG present;  // 1 when `SharedHandOver` holds a block
    uint32_t marker;
};
static_assert(offsetof(SharedSection, SharedBusyFlag) == kSharedHandOverSize);

// Only initialised data goes into a named section (zero-initialised data would land in .bss),
// hence the non-zero marker. The "shared" attribute marks the section for the loader; a module
// definition file's SECTIONS entry is not honoured by every loader.
__attribute__((section(".shared"), shared)) SharedSection g_shared = {{}, 0, 0, 0, 0x51534842};

void Wipe(void* data, size_t length) noexcept {
    volatile uint8_t* p = static_cast<volatile uint8_t*>(data);
    for (size_t i = 0; i < length; ++i)
        p[i] = 0;
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

// A spin lock in the section, so that no process sees half of another's block. Copying 48 bytes
// takes well under a microsecond: a holder that keeps the lock for a second has died holding it,
// and the lock is taken over rather than graying the product for good.
class SectionLock {
  public:
    SectionLock() {
        const LONG self = static_cast<LONG>(GetCurrentProcessId());
        const ULONGLONG start = GetTickCount64();
        for (unsigned spins = 0;; ++spins) {
            const LONG holder = InterlockedCompareExchange(&g_shared.lock, self, 0);
            if (holder == 0) break;
            if (GetTickCount64() - start > 1000 &&
                InterlockedCompareExchange(&g_shared.lock, self, holder) == holder) {
                break;
            }
            if (spins > 64) Sleep(0);
        }
    }
    ~SectionLock() { InterlockedExchange(&g_shared.lock, 0); }
    SectionLock(const SectionLock&) = delete;
    SectionLock& operator=(const SectionLock&) = delete;
};

}  // namespace

bool ReadSharedHandOver(uint8_t out[kSharedHandOverSize]) {
    SectionLock lock;
    if (g_shared.present == 1) {
        std::memcpy(out, g_shared.SharedHandOver, kSharedHandOverSize);
    } else {
        std::memset(out, 0, kSharedHandOverSize);
    }
    return true;
}

// The keep period is not enforced here: the product's own timer forgets the block.
bool WriteSharedHandOver(const uint8_t block[kSharedHandOverSize], uint32_t /*keepSeconds*/) {
    const uint32_t valid = uint32_t{block[0]} | uint32_t{block[1]} << 8 | uint32_t{block[2]} << 16 |
                           uint32_t{block[3]} << 24;
    if (valid == 0) return ClearSharedHandOver();
    SectionLock lock;
    std::memcpy(g_shared.SharedHandOver, block, kSharedHandOverSize);
    g_shared.present = 1;
    return true;
}

bool ClearSharedHandOver() {
    SectionLock lock;
    Wipe(g_shared.SharedHandOver, kSharedHandOverSize);
    g_shared.present = 0;
    return true;
}

int32_t SharedBusyFlag() {
    return static_cast<int32_t>(InterlockedCompareExchange(&g_shared.SharedBusyFlag, 0, 0));
}

void SetSharedBusyFlag(int32_t value) {
    InterlockedExchange(&g_shared.SharedBusyFlag, static_cast<LONG>(value));
}

}  // namespace qor::platform
