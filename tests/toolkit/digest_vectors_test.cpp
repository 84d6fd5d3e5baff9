#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "md2.h"
#include "md5.h"
#include "vector_file.h"

namespace qor::toolkit {
namespace {

using test::Bytes;
using test::ToHex;

// Adapters so the same checks run over both digests. `kSplits` are the cut points where the
// buffering and padding can go wrong: around the block size and, for MD5, around 56, where the
// length field no longer fits in the last block.
struct Md5Algo {
    using Context = Md5Context;
    static constexpr const char* kFile = "md5.vec";
    static constexpr size_t kSplits[] = {1, 15, 16, 17, 55, 56, 57, 63, 64, 65};
    // Digest of the concatenated digests of Prefix(0)..Prefix(130), from an independent
    // implementation.
    static constexpr const char* kPrefixChain = "c11b167a876834df01319a532758e5ba";
    static void Init(Context& c) { Md5Init(c); }
    static void Update(Context& c, const uint8_t* p, size_t n) { Md5Update(c, p, n); }
    static void Final(Context& c, uint8_t* d) { Md5Final(c, d); }
    static Bytes OneShot(const Bytes& m) {
        Bytes d(kMd5DigestSize);
        Md5(m.data(), m.size(), d.data());
        return d;
    }
};

struct Md2Algo {
    using Context = Md2Context;
    static constexpr const char* kFile = "md2.vec";
    static constexpr size_t kSplits[] = {1, 15, 16, 17, 31, 32, 33};
    // As for MD5: an independent implementation gave this.
    static constexpr const char* kPrefixChain = "ed399adcd8f0f52f7d917a3e689eff69";
    static void Init(Context& c) { Md2Init(c); }
    static void Update(Context& c, const uint8_t* p, size_t n) { Md2Update(c, p, n); }
    static void Final(Context& c, uint8_t* d) { Md2Final(c, d); }
    static Bytes OneShot(const Bytes& m) {
        Context c;
        Md2Init(c);
        Md2Update(c, m.data(), m.size());
        Bytes d(kMd2DigestSize);
        Md2Final(c, d.data());
        return d;
    }
};

// Feeds `m` in consecutive pieces of the given sizes, the last size repeating until the
// message is used up.
template <typename Algo>
Bytes Pieces(const Bytes& m, const std::vector<size_t>& sizes) {
    typename Algo::Context c;
    Algo::Init(c);
    size_t pos = 0;
    for (size_t i = 0; pos < m.size(); ++i) {
        const size_t n = std::min(sizes[std::min(i, sizes.size() - 1)], m.size() - pos);
        Algo::Update(c, m.data() + pos, n);
        pos += n;
    }
    Bytes d(16);
    Algo::Final(c, d.data());
    return d;
}

// The messages 0..130 bytes long are prefixes of one fixed pattern.
Bytes Prefix(size_t n) {
    Bytes m(n);
    for (size_t i = 0; i < n; ++i)
        m[i] = static_cast<uint8_t>(i * 7 + 3);
    return m;
}

template <typename Algo>
class DigestTest : public ::testing::Test {};

using Algorithms = ::testing::Types<Md5Algo, Md2Algo>;
class AlgoNames {
  public:
    template <typename T>
    static std::string GetName(int) {
        return std::is_same_v<T, Md5Algo> ? "Md5" : "Md2";
    }
};
TYPED_TEST_SUITE(DigestTest, Algorithms, AlgoNames);

TYPED_TEST(DigestTest, PublishedVectorsWholeAndInPieces) {
    using Algo = TypeParam;
    const auto records = test::LoadVectors(Algo::kFile);
    ASSERT_EQ(records.size(), 7u);
    for (const auto& r : records) {
        SCOPED_TRACE("vector at line " + std::to_string(r.line()));
        const Bytes msg = r.GetBytes("msg");
        const std::string want = ToHex(r.GetBytes("digest"));
        EXPECT_EQ(ToHex(Algo::OneShot(msg)), want);
        EXPECT_EQ(ToHex(Pieces<Algo>(msg, {1})), want) << "byte by byte";
        for (size_t cut : Algo::kSplits) {
            // One cut at `cut`, then the rest in one piece.
            EXPECT_EQ(ToHex(Pieces<Algo>(msg, {cut, msg.size()})), want) << "cut at " << cut;
            // Repeated pieces of `cut` bytes.
            EXPECT_EQ(ToHex(Pieces<Algo>(msg, {cut})), want) << "pieces of " << cut;
        }
        // Empty updates in between must change nothing.
        typename Algo::Context c;
        Algo::Init(c);
        Algo::Update(c, nullptr, 0);
        for (uint8_t b : msg) {
            Algo::Update(c, &b, 1);
            Algo::Update(c, msg.data(), 0);
        }
        Bytes d(16);
        Algo::Final(c, d.data());
        EXPECT_EQ(ToHex(d), want) << "with empty updates";
    }
}

TYPED_TEST(DigestTest, FinalLeavesContextReadyForNewMessage) {
    using Algo = TypeParam;
    const std::string empty = ToHex(Algo::OneShot({}));
    const Bytes abc = {'a', 'b', 'c'};
    const Bytes longer = Prefix(100);

    typename Algo::Context c;
    std::memset(&c, 0xa5, sizeof c);
    Algo::Init(c);
    typename Algo::Context fresh = c;

    Algo::Update(c, longer.data(), longer.size());
    Bytes d(16);
    Algo::Final(c, d.data());
    EXPECT_EQ(ToHex(d), ToHex(Algo::OneShot(longer)));
    // Nothing of the message (state, count, buffered tail) may remain.
    EXPECT_EQ(std::memcmp(&c, &fresh, sizeof c), 0);

    Algo::Final(c, d.data());
    EXPECT_EQ(ToHex(d), empty) << "second final";

    Algo::Update(c, abc.data(), abc.size());
    Algo::Final(c, d.data());
    EXPECT_EQ(ToHex(d), ToHex(Algo::OneShot(abc))) << "reused context";
}

TYPED_TEST(DigestTest, EveryLengthUpTo130) {
    using Algo = TypeParam;
    Bytes chain;
    for (size_t n = 0; n <= 130; ++n) {
        SCOPED_TRACE("length " + std::to_string(n));
        const Bytes m = Prefix(n);
        const Bytes whole = Algo::OneShot(m);
        EXPECT_EQ(ToHex(Pieces<Algo>(m, {1})), ToHex(whole));
        EXPECT_EQ(ToHex(Pieces<Algo>(m, {n / 2, n})), ToHex(whole));
        EXPECT_EQ(ToHex(Pieces<Algo>(m, {13})), ToHex(whole));
        chain.insert(chain.end(), whole.begin(), whole.end());
    }
    // Ties every length's padding to an outside result, not just to the other code paths.
    EXPECT_EQ(ToHex(Algo::OneShot(chain)), Algo::kPrefixChain);
}

TEST(Md5Test, MillionA) {
    const Bytes m(1000000, 'a');
    const char* want = "7707d6ae4e027c70eea2a935c2296f21";
    EXPECT_EQ(ToHex(Md5Algo::OneShot(m)), want);
    EXPECT_EQ(ToHex(Pieces<Md5Algo>(m, {8144})), want);
    EXPECT_EQ(ToHex(Pieces<Md5Algo>(m, {1, 8191})), want);
}

TEST(Md5Test, BitCountCarriesIntoHighWord) {
    // Low word one byte short of wrapping, with 63 bytes buffered to match.
    Md5Context c;
    Md5Init(c);
    c.count[0] = 0xfffffff8u;
    const uint8_t two[2] = {1, 2};
    Md5Update(c, two, 2);
    EXPECT_EQ(c.count[0], 8u);
    EXPECT_EQ(c.count[1], 1u);
    EXPECT_EQ(c.buffer[0], 2) << "second byte starts the next block";
}

}  // namespace
}  // namespace qor::toolkit
