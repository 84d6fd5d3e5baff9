// The password block and the busy flag that every process of the user shares, as the shell's
// commands use them around each call into the core library.
#pragma once

#include <qor/platform/shared_block.h>

#include <cstdint>

namespace qor::shell {

// The shared hand-over's layout: valid flag, cache time, keep minutes, the password.
struct HandOverBlock {
    int32_t valid;
    uint32_t cacheTime;
    uint32_t keepMinutes;
    char password[36];
};
static_assert(sizeof(HandOverBlock) == platform::kSharedHandOverSize);

// The shared hand-over for one call into the core: read when the lease starts, handed to the
// core by address, and stored back (or forgotten, once the core has emptied it) when the lease
// ends. The local copy is wiped.
class HandOverLease {
  public:
    HandOverLease();
    ~HandOverLease();
    HandOverLease(const HandOverLease&) = delete;
    HandOverLease& operator=(const HandOverLease&) = delete;

    HandOverBlock* get() { return &block_; }
    // Forgets the password, here and in the shared block.
    void Clear();

  private:
    HandOverBlock block_{};
    HandOverBlock before_{};
};

// The busy flag, set for the life of a command that runs in the core.
class BusyScope {
  public:
    BusyScope() { platform::SetSharedBusyFlag(1); }
    ~BusyScope() { platform::SetSharedBusyFlag(0); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

// True when the shared hand-over holds a password.
bool PasswordKept();
// Forgets the kept password once its keep period has run out (minutes × 60 after the cache
// time, by the calendar clock).
void ExpireKeptPassword();
void ClearKeptPassword();

}  // namespace qor::shell
