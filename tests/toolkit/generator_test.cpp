// The MD5 generator's output sequence. Stored files depend on it (password recipients wrap
// their content keys with its key stream), so each case rebuilds the expected bytes from the
// generator's definition with plain MD5 calls.
#include <gtest/gtest.h>
#include <qor/toolkit.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "md5.h"
#include "md5_generator.h"
#include "vector_file.h"

namespace {

using namespace qor::toolkit;
using Block = std::array<uint8_t, 16>;
using qor::test::Bytes;
using qor::test::ToHex;

Block Md5Of(const Bytes& data) {
    Block out;
    Md5(data.data(), data.size(), out.data());
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes AsBytes(const Block& b) {
    return Bytes(b.begin(), b.end());
}

Block Add(Block a, const Block& b) {
    unsigned carry = 0;
    for (int i = 15; i >= 0; --i) {
        unsigned sum = a[i] + b[i] + carry;
        a[i] = static_cast<uint8_t>(sum);
        carry = sum >> 8;
    }
    return a;
}

Block One() {
    Block b{};
    b[15] = 1;
    return b;
}

// T: the digest of the empty message with its lowest bit set.
Block StepT() {
    Block t = Md5Of({});
    t[15] |= 1;
    return t;
}

Bytes Generate(Md5GeneratorState& g, size_t n) {
    Bytes out(n);
    Md5GeneratorGenerate(g, out.data(), n);
    return out;
}

const Bytes kX = {'f', 'i', 'r', 's', 't'};
const Bytes kY = {'s', 'e', 'c', 'o', 'n', 'd'};
const Bytes kZ = {'t', 'h', 'i', 'r', 'd'};

TEST(Md5Generator, StepValueIsTheEmptyDigestMadeOdd) {
    EXPECT_EQ(ToHex(AsBytes(StepT())), "d41d8cd98f00b204e9800998ecf8427f");
}

TEST(Md5Generator, SeededOnceStepsByOne) {
    Md5GeneratorState g;
    Md5GeneratorInit(g);
    Md5GeneratorSeed(g, kX.data(), kX.size());
    Block s = Md5Of(kX);
    Bytes expected;
    for (int k = 0; k < 3; ++k) {
        Bytes o = AsBytes(Md5Of(AsBytes(s)));
        expected.insert(expected.end(), o.begin(), o.end());
        s = Add(s, One());
    }
    expected.resize(40);
    EXPECT_EQ(ToHex(Generate(g, 40)), ToHex(expected));
}

TEST(Md5Generator, SeededTwiceStepsByT) {
    Md5GeneratorState g;
    Md5GeneratorInit(g);
    Md5GeneratorSeed(g, kX.data(), kX.size());
    Md5GeneratorSeed(g, kY.data(), kY.size());
    Block s = Md5Of(Cat({kX, kY}));
    Bytes expected;
    for (int k = 0; k < 3; ++k) {
        Bytes o = AsBytes(Md5Of(AsBytes(s)));
        expected.insert(expected.end(), o.begin(), o.end());
        s = Add(s, StepT());
    }
    EXPECT_EQ(ToHex(Generate(g, 48)), ToHex(expected));
}

// A block is consumed front to back across calls; output sizes never change the stream.
TEST(Md5Generator, OutputIsTheSameStreamWhateverTheCallSizes) {
    Md5GeneratorState a, b;
    Md5GeneratorInit(a);
    Md5GeneratorInit(b);
    Md5GeneratorSeed(a, kX.data(), kX.size());
    Md5GeneratorSeed(b, kX.data(), kX.size());
    Bytes whole = Generate(a, 100);
    Bytes pieces;
    for (size_t n : {1, 15, 16, 17, 0, 3, 48}) {
        Bytes p = Generate(b, n);
        pieces.insert(pieces.end(), p.begin(), p.end());
    }
    ASSERT_EQ(pieces.size(), 100u);
    EXPECT_EQ(ToHex(pieces), ToHex(whole));
}

// Seed, take 5 bytes, seed again: the new state folds in S as it stood after the first block
// (already stepped), and the 11 unused bytes of that block are thrown away.
TEST(Md5Generator, ReseedBetweenGeneratesDropsTheRestOfTheBlock) {
    Md5GeneratorState g;
    Md5GeneratorInit(g);
    Md5GeneratorSeed(g, kX.data(), kX.size());
    Bytes first = Generate(g, 5);
    Md5GeneratorSeed(g, kZ.data(), kZ.size());
    Bytes second = Generate(g, 32);

    Block s0 = Md5Of(kX);
    Bytes o0 = AsBytes(Md5Of(AsBytes(s0)));
    EXPECT_EQ(ToHex(first), ToHex(Bytes(o0.begin(), o0.begin() + 5)));

    Block sAfter = Add(s0, One());
    Block s1 = Md5Of(Cat({AsBytes(sAfter), kZ}));
    Bytes expected = AsBytes(Md5Of(AsBytes(s1)));
    // Two seed calls have now been made, so the step is +T.
    Bytes next = AsBytes(Md5Of(AsBytes(Add(s1, StepT()))));
    expected.insert(expected.end(), next.begin(), next.end());
    EXPECT_EQ(ToHex(second), ToHex(expected));
}

// The service object adds only the 256-byte rule; its output is the generator's.
TEST(Md5Generator, RandomObjectEmitsTheGeneratorSequence) {
    Bytes seed(300);
    for (size_t k = 0; k < seed.size(); ++k)
        seed[k] = static_cast<uint8_t>(k * 7);
    RandomObject* r = nullptr;
    ASSERT_EQ(RandomCreate(&r), kStatusOk);
    ASSERT_EQ(RandomSeed(r, seed.data(), 256), kStatusOk);
    Bytes fromObject(37);
    ASSERT_EQ(RandomGenerate(fromObject.data(), r, 37), kStatusOk);
    RandomDestroy(&r);

    Md5GeneratorState g;
    Md5GeneratorInit(g);
    Md5GeneratorSeed(g, seed.data(), 256);
    EXPECT_EQ(ToHex(fromObject), ToHex(Generate(g, 37)));
}

}  // namespace
