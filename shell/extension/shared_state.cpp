#include "shared_state.h"

#include <qor/platform/system.h>

#include <cstring>

namespace qor::shell {

namespace {

void Wipe(HandOverBlock& block) {
    volatile unsigned char* bytes = reinterpret_cast<volatile unsigned char*>(&block);
    for (size_t k = 0; k < sizeof block; ++k)
        bytes[k] = 0;
}

bool Read(HandOverBlock& block) {
    return platform::ReadSharedHandOver(reinterpret_cast<uint8_t*>(&block));
}

// How long the system may keep the block at most: what is left of its keep period.
uint32_t SecondsLeft(const HandOverBlock& block) {
    const int64_t end =
        static_cast<int64_t>(block.cacheTime) + static_cast<int64_t>(block.keepMinutes) * 60;
    const int64_t left = end - platform::CalendarSeconds();
    return left < 1 ? 1u : static_cast<uint32_t>(left);
}

}  // namespace

HandOverLease::HandOverLease() {
    Read(block_);
    std::memcpy(&before_, &block_, sizeof block_);
}

HandOverLease::~HandOverLease() {
    if (std::memcmp(&before_, &block_, sizeof block_) != 0) {
        if (block_.valid != 0) {
            platform::WriteSharedHandOver(reinterpret_cast<const uint8_t*>(&block_),
                                          SecondsLeft(block_));
        } else if (before_.valid != 0) {
            platform::ClearSharedHandOver();
        }
    }
    Wipe(block_);
    Wipe(before_);
}

void HandOverLease::Clear() {
    Wipe(block_);
    Wipe(before_);
    platform::ClearSharedHandOver();
}

bool PasswordKept() {
    HandOverBlock block{};
    Read(block);
    const bool kept = block.valid != 0;
    Wipe(block);
    return kept;
}

void ExpireKeptPassword() {
    HandOverBlock block{};
    Read(block);
    if (block.valid != 0 &&
        static_cast<int64_t>(block.keepMinutes) * 60 + static_cast<int64_t>(block.cacheTime) <
            platform::CalendarSeconds()) {
        platform::ClearSharedHandOver();
    }
    Wipe(block);
}

void ClearKeptPassword() {
    platform::ClearSharedHandOver();
}

}  // namespace qor::shell
