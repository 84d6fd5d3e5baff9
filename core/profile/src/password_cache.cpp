#include <qor/platform/system.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>

#include <cstring>

namespace qor::profile {

namespace {
constexpr int32_t kValid = 1;
}  // namespace

PasswordCache::PasswordCache(UserProfile& profile) : profile_(profile) {
    std::memset(buffer_, 0, sizeof buffer_);
}

PasswordCache::~PasswordCache() {
    SecureWipe(buffer_, sizeof buffer_);
}

int PasswordCache::IsPasswordKept() {
    const uint16_t minutes = profile_.KeepMinutes();
    if (profile_.ByteAttribute(kAttrKeepPassword) != 1) return 0;
    if (!held_) return 0;
    currentTime_ = platform::CalendarSeconds();
    if (currentTime_ - startTime_ <= static_cast<int64_t>(minutes) * 60) return 1;
    held_ = false;
    return 0;
}

void PasswordCache::ClearPassword(bool force) {
    if (!force && IsPasswordKept() == 1) return;
    SecureWipe(buffer_, sizeof buffer_);
    held_ = false;
}

void PasswordCache::StartKeepPeriod() {
    startTime_ = platform::CalendarSeconds();
}

void PasswordCache::StorePassword(std::string_view password) {
    SecureWipe(buffer_, sizeof buffer_);
    const size_t n = password.size() < kBufferSize - 1 ? password.size() : kBufferSize - 1;
    std::memcpy(buffer_, password.data(), n);
}

void PasswordCache::TakeOverHandOver(const PasswordHandOver* handOver) {
    if (handOver == nullptr || handOver->valid != kValid) return;
    startTime_ = handOver->cacheTime;
    // The block's field is zero-terminated within its 36 characters; a block without the
    // terminator is taken up to its end rather than read past it.
    StorePassword(std::string_view(handOver->password,
                                   strnlen(handOver->password, sizeof handOver->password)));
    held_ = true;
}

void PasswordCache::GiveBackHandOver(PasswordHandOver* handOver, uint32_t minutes) const {
    if (handOver == nullptr || !held_) return;
    std::string_view password = Password();
    // The password field holds 35 characters and the terminator; passwords are at most 10.
    if (password.size() >= sizeof handOver->password) return;
    handOver->valid = kValid;
    SecureWipe(handOver->password, sizeof handOver->password);
    std::memcpy(handOver->password, password.data(), password.size());
    handOver->keepMinutes = minutes;
    handOver->cacheTime = static_cast<uint32_t>(startTime_);
}

std::string_view PasswordCache::Password() const {
    return std::string_view(buffer_, strnlen(buffer_, sizeof buffer_));
}

PasswordCache& Cache() {
    static PasswordCache cache(Profile());
    return cache;
}

}  // namespace qor::profile
