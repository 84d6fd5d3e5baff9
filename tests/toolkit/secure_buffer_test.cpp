// SecureBuffer: secrets are never copied implicitly, moves hand them over whole, and resizing
// starts from zeros rather than from the old bytes.
#include <gtest/gtest.h>
#include <qor/secure_buffer.h>

#include <type_traits>

namespace {

static_assert(!std::is_copy_constructible_v<qor::SecureBuffer>);
static_assert(!std::is_copy_assignable_v<qor::SecureBuffer>);

TEST(SecureBuffer, MovesHandOverAndResizeStartsFromZeros) {
    const uint8_t secret[4] = {1, 2, 3, 4};
    qor::SecureBuffer a(secret, sizeof secret);
    ASSERT_EQ(a.size(), 4u);
    qor::SecureBuffer b = std::move(a);
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.data(), nullptr);
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[3], 4);

    qor::SecureBuffer c = b.Clone();
    b.Resize(6);
    ASSERT_EQ(b.size(), 6u);
    for (size_t k = 0; k < b.size(); ++k)
        EXPECT_EQ(b[k], 0) << k;
    EXPECT_EQ(c[0], 1);

    c = std::move(b);
    EXPECT_EQ(c.size(), 6u);
    c.Clear();
    EXPECT_TRUE(c.empty());

    uint8_t local[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    { qor::ScopedWipe wipe(local); }
    for (uint8_t x : local)
        EXPECT_EQ(x, 0);
    qor::SecureWipe(nullptr, 10);  // a null buffer is ignored
}

}  // namespace
