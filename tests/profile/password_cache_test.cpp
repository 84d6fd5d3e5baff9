// The password cache: keep periods measured on the calendar clock, and the hand-over block.
#include <gtest/gtest.h>
#include <qor/platform/system.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/user_profile.h>

#include <cstring>

namespace {

using namespace qor::profile;

int64_t gNow = 1'000'000;
int64_t FakeClock() {
    return gNow;
}

class KeepPeriod : public ::testing::Test {
  protected:
    void SetUp() override { qor::platform::SetCalendarClockForTesting(FakeClock); }
    void TearDown() override { qor::platform::SetCalendarClockForTesting(nullptr); }

    void Keep(uint16_t minutes, bool keep) {
        const uint8_t flag = keep ? 1 : 0;
        const uint8_t value[2] = {static_cast<uint8_t>(minutes),
                                  static_cast<uint8_t>(minutes >> 8)};
        profile_.SetAttribute(kAttrKeepPassword, &flag);
        profile_.SetAttribute(kAttrKeepMinutes, value);
    }
    // The password typed now, with the keep box as given.
    void Type(bool keep) {
        cache_.StartKeepPeriod();
        cache_.StorePassword("secret1");
        cache_.SetHeld(keep);
    }

    UserProfile profile_;
    PasswordCache cache_{profile_};
};

TEST_F(KeepPeriod, FiveMinutes) {
    Keep(5, true);
    Type(true);
    gNow += 4 * 60 + 59;
    EXPECT_EQ(cache_.IsPasswordKept(), 1);
    gNow += 2;  // 5 minutes 1 second
    EXPECT_EQ(cache_.IsPasswordKept(), 0);
    EXPECT_FALSE(cache_.held());
    EXPECT_EQ(cache_.Password(), "secret1") << "the text stays until the next clear";
    cache_.ClearPassword(false);
    EXPECT_EQ(cache_.Password(), "");
}

TEST_F(KeepPeriod, ThreeHundredMinutes) {
    Keep(300, true);
    Type(true);
    gNow += 4 * 3600 + 59 * 60;
    EXPECT_EQ(cache_.IsPasswordKept(), 1);
    cache_.ClearPassword(false);
    EXPECT_EQ(cache_.Password(), "secret1") << "a kept password survives the end of an operation";
    cache_.ClearPassword(true);
    EXPECT_EQ(cache_.Password(), "");
    EXPECT_EQ(cache_.IsPasswordKept(), 0);
}

TEST_F(KeepPeriod, UncheckedBoxAsksAgainAtOnce) {
    Keep(5, false);
    Type(true);
    EXPECT_EQ(cache_.IsPasswordKept(), 0);
    Keep(5, true);
    Type(false);
    gNow += 1;
    EXPECT_EQ(cache_.IsPasswordKept(), 0);
    EXPECT_EQ(cache_.Password(), "secret1") << "still there for the running operation";
    cache_.ClearPassword(false);
    EXPECT_EQ(cache_.Password(), "");
}

TEST_F(KeepPeriod, HandOverBothWays) {
    Keep(10, true);
    qor::PasswordHandOver block{};
    cache_.GiveBackHandOver(&block, 10);
    EXPECT_EQ(block.valid, 0) << "nothing held, nothing given";

    Type(true);
    cache_.GiveBackHandOver(&block, 7);
    EXPECT_EQ(block.valid, 1);
    EXPECT_EQ(block.keepMinutes, 7u);
    EXPECT_EQ(block.cacheTime, static_cast<uint32_t>(gNow));
    EXPECT_STREQ(block.password, "secret1");

    // Another process takes it over: the period runs from the block's time, not from now.
    UserProfile other;
    const uint8_t flag = 1, minutes[2] = {10, 0};
    other.SetAttribute(kAttrKeepPassword, &flag);
    other.SetAttribute(kAttrKeepMinutes, minutes);
    PasswordCache next(other);
    gNow += 9 * 60;
    next.TakeOverHandOver(&block);
    EXPECT_TRUE(next.held());
    EXPECT_EQ(next.Password(), "secret1");
    EXPECT_EQ(next.IsPasswordKept(), 1);
    gNow += 61;
    EXPECT_EQ(next.IsPasswordKept(), 0);

    // A block whose valid field is not 1 is ignored; one without a terminator is read to its
    // end and no further.
    qor::PasswordHandOver empty{};
    PasswordCache third(other);
    third.TakeOverHandOver(&empty);
    EXPECT_FALSE(third.held());
    qor::PasswordHandOver full{};
    full.valid = 1;
    std::memset(full.password, 'x', sizeof full.password);
    third.TakeOverHandOver(&full);
    EXPECT_EQ(third.Password().size(), sizeof full.password);
}

}  // namespace
