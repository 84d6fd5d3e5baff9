// The envelope from the organisation's side: opened with the private key behind its public-key
// recipient (in either order of recipients, whatever form the key was written in), refused for
// streams without one or for another key, a damaged wrapped key told apart; and described
// without a secret, down to where a damaged stream stops making sense.
#include <gtest/gtest.h>
#include <qor/envelope_recovery.h>
#include <qor/key_files.h>

#include <random>
#include <string>
#include <vector>

#include "envelope_streams.h"

namespace {

using namespace qor::toolkit;
using namespace qor::test;
using qor::SecureBuffer;

struct Mt {
    std::mt19937_64 rng;
    explicit Mt(uint64_t seed) : rng(seed) {}
    static int Generate(void* context, unsigned char* out, unsigned int length) {
        auto* self = static_cast<Mt*>(context);
        for (unsigned int i = 0; i < length; ++i)
            out[i] = static_cast<unsigned char>(self->rng());
        return 0;
    }
    RandomSource source() { return {Generate, this}; }
};

const RsaPrivateKey& Organisation(int which) {
    static const std::vector<RsaPrivateKey> keys = [] {
        std::vector<RsaPrivateKey> k(2);
        Mt random(77);
        EXPECT_EQ(RsaGenerateKey(1024, 65537, random.source(), nullptr, &k[0]), kStatusOk);
        EXPECT_EQ(RsaGenerateKey(768, 65537, random.source(), nullptr, &k[1]), kStatusOk);
        return k;
    }();
    return keys[static_cast<size_t>(which)];
}

Bytes PublicBer(const RsaPrivateKey& key) {
    SecureBuffer ber;
    EXPECT_EQ(RsaPublicKeyBer(key, &ber), kStatusOk);
    return Bytes(ber.data(), ber.data() + ber.size());
}

Bytes Plain(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}

struct Recovered {
    int status = -1;
    uint32_t seen = 99;
    Bytes plain;
    std::string fileName, userName;
};

Recovered Recover(const Bytes& sealed, const RsaPrivateKey& key, size_t piece = 0) {
    Recovered r;
    MemoryReader in(sealed, piece);
    MemoryWriter out;
    StreamRecord input = in.record(), output = out.record();
    EnvelopeObject* envelope = nullptr;
    AttributeList* attributes = nullptr;
    EXPECT_EQ(EnvelopeCreate(&envelope), kStatusOk);
    EXPECT_EQ(AttributeListCreate(&attributes), kStatusOk);
    Mt random(5);
    r.status = EnvelopeOpenWithPrivateKey(&output, attributes, envelope, &input, key,
                                          random.source(), nullptr, &r.seen);
    r.plain = out.data;
    const unsigned char* value = nullptr;
    unsigned int length = 0;
    if (r.status == kStatusOk && AttributeListGetFileName(&value, &length, attributes) == 0)
        r.fileName.assign(reinterpret_cast<const char*>(value), length);
    if (r.status == kStatusOk && AttributeListGetUserName(&value, &length, attributes) == 0)
        r.userName.assign(reinterpret_cast<const char*>(value), length);
    AttributeListDestroy(&attributes);
    EnvelopeDestroy(&envelope);
    return r;
}

TEST(EnvelopeRecovery, ThePrivateKeyOpensWhatWasSealedForItsPublicHalf) {
    for (bool publicKeysFirst : {false, true}) {
        for (size_t size : {size_t{0}, size_t{100}, size_t{8144}, size_t{30000}}) {
            SealOptions options;
            options.publicKeys = {PublicBer(Organisation(0))};
            options.publicKeysFirst = publicKeysFirst;
            options.fileName = "report.doc";
            options.userName = "Alice";
            Bytes sealed;
            ASSERT_EQ(Seal(Plain(size), options, sealed), kStatusOk);
            const Recovered r = Recover(sealed, Organisation(0), 777);
            ASSERT_EQ(r.status, kStatusOk) << size;
            EXPECT_EQ(r.seen, 1u);
            EXPECT_EQ(ToHex(r.plain), ToHex(Plain(size)));
            EXPECT_EQ(r.fileName, std::string("report.doc") + '\0');
            EXPECT_EQ(r.userName, std::string("Alice") + '\0');
        }
    }
}

TEST(EnvelopeRecovery, AKeyWrittenInTheOlderFormStillMatches) {
    // 2.5.8.1.1 without parameters: the envelope stores the canonical form anyway, and the
    // comparison is made on canonical forms.
    const Bytes ber = PublicBer(Organisation(0));
    Bytes older = {0x30, 0x81, 0x00, 0x30, 0x06, 0x06, 0x04, 0x55, 0x08, 0x01, 0x01};
    older.insert(older.end(), ber.begin() + 18, ber.end());
    older[2] = static_cast<uint8_t>(older.size() - 3);
    SealOptions options;
    options.publicKeys = {older};
    Bytes sealed;
    ASSERT_EQ(Seal(Plain(50), options, sealed), kStatusOk);
    EXPECT_EQ(Recover(sealed, Organisation(0)).status, kStatusOk);
}

TEST(EnvelopeRecovery, NoEmergencyRecipientOrAnotherKeyIsToldApart) {
    SealOptions none;
    Bytes sealed;
    ASSERT_EQ(Seal(Plain(10), none, sealed), kStatusOk);
    Recovered r = Recover(sealed, Organisation(0));
    EXPECT_EQ(r.status, kStatusNoRecipientMatched);
    EXPECT_EQ(r.seen, 0u);
    EXPECT_TRUE(r.plain.empty());

    SealOptions other;
    other.publicKeys = {PublicBer(Organisation(1))};
    ASSERT_EQ(Seal(Plain(10), other, sealed), kStatusOk);
    r = Recover(sealed, Organisation(0));
    EXPECT_EQ(r.status, kStatusNoRecipientMatched);
    EXPECT_EQ(r.seen, 1u);
    EXPECT_EQ(Recover(sealed, Organisation(1)).status, kStatusOk);

    // Both keys: each opens it.
    SealOptions both;
    both.publicKeys = {PublicBer(Organisation(1)), PublicBer(Organisation(0))};
    ASSERT_EQ(Seal(Plain(10), both, sealed), kStatusOk);
    r = Recover(sealed, Organisation(0));
    EXPECT_EQ(r.status, kStatusOk);
    EXPECT_EQ(r.seen, 2u);
}

TEST(EnvelopeRecovery, ADamagedWrappedKeyOrContentIsRefused) {
    SealOptions options;
    options.publicKeys = {PublicBer(Organisation(0))};
    Bytes sealed;
    ASSERT_EQ(Seal(Plain(3000), options, sealed), kStatusOk);
    EnvelopeParts parts;
    ASSERT_TRUE(SplitEnvelope(sealed, parts));
    ASSERT_EQ(parts.recipientInfos.size(), 2u);
    // The wrapped key is the last 128 bytes of the public-key recipient info.
    const Bytes& info = parts.recipientInfos[1];
    size_t at = 0;
    while (at + info.size() <= sealed.size() &&
           !std::equal(info.begin(), info.end(), sealed.begin() + static_cast<long>(at))) {
        ++at;
    }
    ASSERT_LT(at + info.size(), sealed.size());
    Bytes damaged = sealed;
    damaged[at + info.size() - 60] ^= 0x01;
    EXPECT_EQ(Recover(damaged, Organisation(0)).status, kStatusPrivateDecryptFailed);

    Bytes content = sealed;
    content[parts.contentOffset + 40] ^= 0x01;
    EXPECT_EQ(Recover(content, Organisation(0)).status, kStatusEnvelopeMalformed);
}

struct Described {
    int status = -1;
    EnvelopeSummary summary = {};
    std::vector<int> kinds;
    std::vector<Bytes> keys;
    std::vector<bool> known;
};

void Collect(void* context, const EnvelopeRecipientSummary& r) {
    auto* d = static_cast<Described*>(context);
    d->kinds.push_back(r.kind);
    d->keys.emplace_back(r.publicKey, r.publicKey + r.publicKeyLength);
    d->known.push_back(r.knownWrapping);
}

Described Describe(const Bytes& sealed) {
    Described d;
    MemoryReader in(sealed, 1000);
    StreamRecord input = in.record();
    d.status = EnvelopeDescribe(&input, &d.summary, Collect, &d);
    return d;
}

TEST(EnvelopeDescribe, SaysWhatAWholeStreamHolds) {
    SealOptions options;
    options.publicKeys = {PublicBer(Organisation(0))};
    options.fileName = "a.txt";
    Bytes sealed;
    ASSERT_EQ(Seal(Plain(20000), options, sealed), kStatusOk);
    const Described d = Describe(sealed);
    ASSERT_EQ(d.status, kStatusOk);
    EXPECT_EQ(d.summary.stage, kStageDone);
    EXPECT_EQ(d.summary.recipients, 2u);
    EXPECT_EQ(d.kinds, (std::vector<int>{kRecipientKindPassword, kRecipientKindPublicKey}));
    EXPECT_EQ(ToHex(d.keys[1]), ToHex(PublicBer(Organisation(0))));
    EXPECT_EQ(d.known, (std::vector<bool>{true, true}));
    EXPECT_TRUE(d.summary.contentAlgorithmKnown);
    EXPECT_EQ(d.summary.contentKeySaltLength, 5u);
    EXPECT_EQ(d.summary.macLength, 4u);
    // The attribute set, 24 80, three pieces of data, and the last with 00 00 and the MAC.
    EXPECT_EQ(d.summary.chunks, 6u);

    // Rebuilt with a definite recipient set and the ciphertext in one primitive element.
    EnvelopeParts parts;
    ASSERT_TRUE(SplitEnvelope(sealed, parts));
    Reassembly how;
    how.definiteRecipientSet = true;
    how.primitiveContent = true;
    const Described again = Describe(Reassemble(parts, how));
    EXPECT_EQ(again.status, kStatusOk);
    EXPECT_EQ(again.summary.chunks, 1u);
    EXPECT_EQ(again.summary.encryptedBytes, d.summary.encryptedBytes);
}

TEST(EnvelopeDescribe, EveryTruncationStopsAtItsStage) {
    SealOptions options;
    options.publicKeys = {PublicBer(Organisation(0))};
    Bytes sealed;
    ASSERT_EQ(Seal(Plain(9000), options, sealed), kStatusOk);
    EnvelopeParts parts;
    ASSERT_TRUE(SplitEnvelope(sealed, parts));
    int lastStage = kStageHeader;
    for (size_t n = 0; n < sealed.size(); ++n) {
        const Described d = Describe(Bytes(sealed.begin(), sealed.begin() + static_cast<long>(n)));
        ASSERT_NE(d.status, kStatusOk) << n;
        ASSERT_LT(d.summary.stage, kStageDone) << n;
        ASSERT_GE(d.summary.stage, lastStage) << n;  // stages only move forward as more is read
        lastStage = d.summary.stage;
        if (n == parts.contentOffset + 10) {
            EXPECT_EQ(d.summary.stage, kStageContent);
        }
    }
    EXPECT_EQ(lastStage, kStageClosing);
    // Another content type at the start.
    Bytes foreign = sealed;
    foreign[12] ^= 0x01;
    const Described d = Describe(foreign);
    EXPECT_EQ(d.status, kStatusEnvelopeMalformed);
    EXPECT_EQ(d.summary.stage, kStageHeader);
}

}  // namespace
