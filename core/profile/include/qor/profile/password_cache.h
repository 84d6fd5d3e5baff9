// The library's holder of the user's password and its keep period.
//
// The password is kept for the minutes the user chose (profile attributes 9 and 10), counted
// from the moment it was typed (or from the cache time a hand-over carried), not from its last
// use. Within one operation it stays in the buffer even when it is not kept, because the file
// engine reads it to unlock the user key; ClearPassword(false) at the end of the operation
// removes it then.
#pragma once

#include <cstdint>
#include <string_view>

#include <qor/profile/password_hand_over.h>

namespace qor::profile {

class UserProfile;

class PasswordCache {
  public:
    static constexpr size_t kBufferSize = 128;

    explicit PasswordCache(UserProfile& profile);
    ~PasswordCache();
    PasswordCache(const PasswordCache&) = delete;
    PasswordCache& operator=(const PasswordCache&) = delete;

    // 1 when the cached password may be used without asking: the keep box is on, a password is
    // held and the period has not run out (an expired one is marked not held).
    int IsPasswordKept();
    // force 0: wipes unless the password is kept; force 1: always wipes.
    void ClearPassword(bool force);
    void StartKeepPeriod();
    // Copies the text in (held is not changed). Text beyond 127 bytes is cut.
    void StorePassword(std::string_view password);
    void TakeOverHandOver(const PasswordHandOver* handOver);
    void GiveBackHandOver(PasswordHandOver* handOver, uint32_t minutes) const;

    std::string_view Password() const;
    bool held() const { return held_; }
    void SetHeld(bool held) { held_ = held; }

  private:
    UserProfile& profile_;
    char buffer_[kBufferSize];
    bool held_ = false;
    int64_t startTime_ = 0;
    int64_t currentTime_ = 0;
};

// The process-wide cache, over the process-wide profile.
PasswordCache& Cache();

// The span of an operation that uses the cached password: when it ends, however it ends, the
// password goes unless the user keeps it, so that nothing the user did not choose to keep waits
// in the library for the next call.
class UnkeptPasswordScope {
  public:
    UnkeptPasswordScope() = default;
    ~UnkeptPasswordScope() { Cache().ClearPassword(false); }
    UnkeptPasswordScope(const UnkeptPasswordScope&) = delete;
    UnkeptPasswordScope& operator=(const UnkeptPasswordScope&) = delete;
};

}  // namespace qor::profile
