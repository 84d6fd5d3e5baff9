// The block in which a kept password travels between the calling program and the core
// library. The caller owns it (zero-initialised), passes the same block on every call and
// clears all 48 bytes to forget the password; the library never frees it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qor {

struct PasswordHandOver {
    int32_t valid;         // 1 when the block holds a password; anything else: empty
    uint32_t cacheTime;    // the cache's start time, calendar seconds
    uint32_t keepMinutes;  // the minutes chosen in the dialog
    char password[36];     // zero-terminated
};

static_assert(sizeof(PasswordHandOver) == 48);
static_assert(offsetof(PasswordHandOver, valid) == 0);
static_assert(offsetof(PasswordHandOver, cacheTime) == 4);
static_assert(offsetof(PasswordHandOver, keepMinutes) == 8);
static_assert(offsetof(PasswordHandOver, password) == 12);

}  // namespace qor
