// Enveloped data: the bytes our writer lays down, what the reader accepts from other writers,
// and every failure with its status.
#include <gtest/gtest.h>
#include <qor/toolkit.h>

#include <cstring>
#include <random>

#include "ber.h"
#include "envelope_streams.h"
#include "md5.h"
#include "rc4_mac.h"
#include "status.h"

namespace {

using namespace qor::test;
using qor::toolkit::BerElement;
using qor::toolkit::BerRead;
using qor::toolkit::Md5;

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes Pattern(size_t n, uint32_t seed = 3) {
    Bytes b(n);
    std::mt19937 rng(seed);
    for (auto& x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

Bytes Md5Bytes(const Bytes& data) {
    Bytes out(16);
    Md5(data.data(), data.size(), out.data());
    return out;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What a password recipient carries, read independently of the toolkit's reader.
struct PasswordRecipient {
    Bytes processSalt, check, wrappingSalt, encryptedKey;
};

PasswordRecipient ReadPasswordRecipient(const Bytes& info) {
    // 30 L 02 01 01 30 L 06 09 <pwd oid> 30 26 30 0c 06 08 <md5> 05 00 04 04 salt 04 10 check
    //          30 1a 06 09 <xor oid> 30 0d 04 08 wsalt 02 01 01 04 05 key
    PasswordRecipient r;
    const Bytes prefix =
        FromHex("020101 3033 06092a864886f70d01090b 3026 300c 06082a864886f70d0205 0500 0404");
    EXPECT_EQ(ToHex(Bytes(info.begin() + 2, info.begin() + 2 + static_cast<long>(prefix.size()))),
              ToHex(prefix));
    size_t at = 2 + prefix.size();
    r.processSalt.assign(info.begin() + static_cast<long>(at),
                         info.begin() + static_cast<long>(at + 4));
    at += 4;
    EXPECT_EQ(info[at], 0x04);
    EXPECT_EQ(info[at + 1], 0x10);
    at += 2;
    r.check.assign(info.begin() + static_cast<long>(at), info.begin() + static_cast<long>(at + 16));
    at += 16;
    const Bytes algorithm = FromHex("301a 06092a864886f70d010509 300d 0408");
    EXPECT_EQ(ToHex(Bytes(info.begin() + static_cast<long>(at),
                          info.begin() + static_cast<long>(at + algorithm.size()))),
              ToHex(algorithm));
    at += algorithm.size();
    r.wrappingSalt.assign(info.begin() + static_cast<long>(at),
                          info.begin() + static_cast<long>(at + 8));
    at += 8;
    EXPECT_EQ(ToHex(Bytes(info.begin() + static_cast<long>(at),
                          info.begin() + static_cast<long>(at + 5))),
              "0201010405");
    at += 5;
    r.encryptedKey.assign(info.begin() + static_cast<long>(at), info.end());
    EXPECT_EQ(r.encryptedKey.size(), 5u);
    EXPECT_EQ(info[1], info.size() - 2);
    return r;
}

// Recovers the content key from a password recipient and runs the RC4-with-MAC decryption
// over the concatenated chunks; returns the content plaintext (MAC stripped) and whether the
// MAC held.
Bytes DecryptContent(const EnvelopeParts& parts, const std::string& password, bool& macOk) {
    PasswordRecipient r = ReadPasswordRecipient(parts.recipientInfos.at(0));
    Bytes d = Md5Bytes(Cat(Text(password), r.wrappingSalt));
    Bytes stream = Md5Bytes(Md5Bytes(d));
    Bytes key(5);
    for (int k = 0; k < 5; ++k)
        key[k] = static_cast<uint8_t>(r.encryptedKey[k] ^ stream[k]);
    const Bytes& alg = parts.contentAlgorithm;
    Bytes salt(alg.begin() + 16, alg.begin() + 21);
    Bytes cipher;
    for (const Bytes& c : parts.chunks)
        cipher = Cat(cipher, c);
    qor::toolkit::Rc4MacContext ctx;
    EXPECT_EQ(qor::toolkit::Rc4MacInit(ctx, key.data(), 5, salt.data(), 5, 4), 0);
    Bytes plain(cipher.size());
    uint32_t n = 0;
    EXPECT_EQ(qor::toolkit::Rc4MacDecryptUpdate(ctx, plain.data(), &n, plain.size(), cipher.data(),
                                                cipher.size()),
              0);
    plain.resize(n);
    macOk = qor::toolkit::Rc4MacDecryptFinal(ctx) == 0;
    return plain;
}

TEST(EnvelopeLayout, EmptyPlaintextIsByteExact) {
    Bytes sealed;
    ASSERT_EQ(Seal({}, {}, sealed), kStatusOk);
    EnvelopeParts parts;
    ASSERT_TRUE(SplitEnvelope(sealed, parts)) << ToHex(sealed);
    ASSERT_EQ(parts.recipientInfos.size(), 1u);
    PasswordRecipient r = ReadPasswordRecipient(parts.recipientInfos[0]);
    EXPECT_EQ(ToHex(r.check), ToHex(Md5Bytes(Cat(Text("secret1"), r.processSalt))));

    // Element 10: RC4 with MAC, a 5-byte salt, MAC length 4.
    const Bytes& alg = parts.contentAlgorithm;
    ASSERT_EQ(alg.size(), 24u);
    EXPECT_EQ(ToHex(Bytes(alg.begin(), alg.begin() + 16)), "301606082a864886f70d0305300a0405");
    EXPECT_EQ(ToHex(Bytes(alg.end() - 3, alg.end())), "020104");

    // Exactly three chunks: the empty attribute set, 24 80, and 00 00 with the MAC.
    ASSERT_EQ(parts.chunks.size(), 3u);
    EXPECT_EQ(parts.chunks[0].size(), 2u);
    EXPECT_EQ(parts.chunks[1].size(), 2u);
    EXPECT_EQ(parts.chunks[2].size(), 6u);
    bool macOk = false;
    EXPECT_EQ(ToHex(DecryptContent(parts, "secret1", macOk)), "310024800000");
    EXPECT_TRUE(macOk);

    OpenResult opened = Open(sealed, {"secret1"});
    EXPECT_EQ(opened.status, kStatusOk);
    EXPECT_TRUE(opened.plain.empty());
}

TEST(EnvelopeLayout, PiecesAreFramedOnePerRead) {
    struct Case {
        size_t length, piece;
        std::vector<std::string> headers;
    } cases[] = {
        {8144, 8144, {"04821fd0"}},
        {100, 0, {"0464"}},
        {200, 0, {"0481c8"}},
        {300, 200, {"0481c8", "0464"}},
        {8144 * 2, 0, {"04821fd0", "04821fd0"}},  // no empty piece after a whole one
    };
    for (const Case& c : cases) {
        Bytes plain = Pattern(c.length);
        SealOptions options;
        options.readPiece = c.piece;
        Bytes sealed;
        ASSERT_EQ(Seal(plain, options, sealed), kStatusOk);
        EnvelopeParts parts;
        ASSERT_TRUE(SplitEnvelope(sealed, parts));
        ASSERT_EQ(parts.chunks.size(), 3 + c.headers.size()) << c.length;
        bool macOk = false;
        Bytes content = DecryptContent(parts, "secret1", macOk);
        EXPECT_TRUE(macOk);
        size_t at = 4, from = 0;
        for (const std::string& h : c.headers) {
            Bytes header = FromHex(h);
            EXPECT_EQ(ToHex(Bytes(content.begin() + static_cast<long>(at),
                                  content.begin() + static_cast<long>(at + header.size()))),
                      h);
            at += header.size();
            size_t n = header.size() == 2 ? header[1] : header.size() == 3 ? header[2] : 8144;
            EXPECT_TRUE(std::equal(plain.begin() + static_cast<long>(from),
                                   plain.begin() + static_cast<long>(from + n),
                                   content.begin() + static_cast<long>(at)));
            at += n;
            from += n;
        }
        EXPECT_EQ(ToHex(Bytes(content.begin() + static_cast<long>(at), content.end())), "0000");
    }
}

TEST(EnvelopeLayout, ProcessSaltIsSharedButWrappingSaltsAndKeysAreFresh) {
    SealOptions a, b;
    a.seed = 11;
    b.seed = 12;
    Bytes sa, sb;
    ASSERT_EQ(Seal(Text("one"), a, sa), kStatusOk);
    ASSERT_EQ(Seal(Text("one"), b, sb), kStatusOk);
    EnvelopeParts pa, pb;
    ASSERT_TRUE(SplitEnvelope(sa, pa));
    ASSERT_TRUE(SplitEnvelope(sb, pb));
    PasswordRecipient ra = ReadPasswordRecipient(pa.recipientInfos[0]);
    PasswordRecipient rb = ReadPasswordRecipient(pb.recipientInfos[0]);
    EXPECT_EQ(ra.processSalt, rb.processSalt);
    EXPECT_EQ(ra.check, rb.check);
    EXPECT_NE(ra.wrappingSalt, rb.wrappingSalt);
    EXPECT_NE(pa.contentAlgorithm, pb.contentAlgorithm);
    EXPECT_NE(pa.chunks, pb.chunks);
}

TEST(EnvelopeLayout, AttributesTravelEncryptedAndComeBack) {
    SealOptions options;
    options.fileName = "report.doc";
    options.userName = "Alice";
    Bytes sealed;
    ASSERT_EQ(Seal(Text("payload"), options, sealed), kStatusOk);
    EnvelopeParts parts;
    ASSERT_TRUE(SplitEnvelope(sealed, parts));
    bool macOk = false;
    Bytes content = DecryptContent(parts, "secret1", macOk);
    EXPECT_TRUE(macOk);
    EXPECT_EQ(content[0], 0x31);
    OpenResult opened = Open(sealed, {"secret1"});
    ASSERT_EQ(opened.status, kStatusOk);
    EXPECT_EQ(opened.plain, Text("payload"));
    EXPECT_EQ(opened.fileName, std::string("report.doc", 11));
    EXPECT_EQ(opened.userName, std::string("Alice", 6));
}

TEST(EnvelopeRoundTrip, AnySizeAndAnyReadPattern) {
    for (size_t length : {size_t{0}, size_t{1}, size_t{4}, size_t{8143}, size_t{8144}, size_t{8145},
                          size_t{20000}, size_t{70000}}) {
        for (size_t piece : {size_t{0}, size_t{1000}, size_t{7}}) {
            if (piece == 7 && length > 20000) continue;
            Bytes plain = Pattern(length, static_cast<uint32_t>(length));
            SealOptions options;
            options.readPiece = piece;
            Bytes sealed;
            ASSERT_EQ(Seal(plain, options, sealed), kStatusOk);
            for (size_t openPiece : {size_t{0}, size_t{1}, size_t{333}}) {
                if (openPiece == 1 && length > 8145) continue;
                OpenResult opened = Open(sealed, {"secret1"}, openPiece);
                ASSERT_EQ(opened.status, kStatusOk) << length << "/" << piece << "/" << openPiece;
                EXPECT_EQ(opened.plain, plain);
            }
        }
    }
}

TEST(EnvelopeRoundTrip, SecondPasswordRecipientOpensAndFirstMatchWins) {
    SealOptions options;
    options.passwords = {"first-pw", "second-pw"};
    Bytes sealed;
    ASSERT_EQ(Seal(Text("shared"), options, sealed), kStatusOk);
    EXPECT_EQ(Open(sealed, {"second-pw"}).plain, Text("shared"));
    EXPECT_EQ(Open(sealed, {"nope", "first-pw"}).plain, Text("shared"));
}

TEST(EnvelopeReader, AcceptsOtherWritersShapes) {
    Bytes plain = Pattern(30000);
    SealOptions options;
    options.fileName = "x.bin";
    Bytes sealed;
    ASSERT_EQ(Seal(plain, options, sealed), kStatusOk);
    EnvelopeParts parts;
    ASSERT_TRUE(SplitEnvelope(sealed, parts));

    std::vector<Reassembly> shapes;
    shapes.push_back({true, {}, false});
    shapes.push_back({false, {1}, false});
    shapes.push_back({false, {3, 5000, 17}, false});
    shapes.push_back({false, {30100}, false});  // one chunk holding everything
    shapes.push_back({true, {8192, 8192, 1}, false});
    shapes.push_back({false, {}, true});
    for (const Reassembly& how : shapes) {
        Bytes other = Reassemble(parts, how);
        OpenResult opened = Open(other, {"secret1"}, 4096);
        EXPECT_EQ(opened.status, kStatusOk);
        EXPECT_EQ(opened.plain, plain);
        EXPECT_EQ(opened.fileName, std::string("x.bin", 6));
    }
    // A recipient of a kind we never use, in front of ours, is passed over.
    EnvelopeParts withForeign = parts;
    withForeign.recipientInfos.insert(
        withForeign.recipientInfos.begin(),
        FromHex("3029 020101 3011 06092a864886f70d01090c 3004 0202 0101 300d 06092a864886f70d"
                "0101010500 0402 abcd"));
    EXPECT_EQ(Open(Reassemble(withForeign, {}), {"secret1"}).status, kStatusOk);
}

TEST(EnvelopeFailures, WrongSecretWritesNothing) {
    Bytes sealed;
    ASSERT_EQ(Seal(Pattern(5000), {}, sealed), kStatusOk);
    OpenResult opened = Open(sealed, {"secret2"});
    EXPECT_EQ(opened.status, kStatusNoRecipientMatched);
    EXPECT_TRUE(opened.plain.empty());
}

TEST(EnvelopeFailures, EveryFlippedContentBitIsCaught) {
    Bytes sealed;
    ASSERT_EQ(Seal(Pattern(300), {}, sealed), kStatusOk);
    EnvelopeParts parts;
    ASSERT_TRUE(SplitEnvelope(sealed, parts));
    for (size_t at = parts.contentOffset; at < sealed.size() - 12; ++at) {
        Bytes bad = sealed;
        bad[at] ^= 0x10;
        int status = Open(bad, {"secret1"}).status;
        EXPECT_EQ(status, kStatusEnvelopeMalformed) << "byte " << at;
    }
}

TEST(EnvelopeFailures, AnyDamageEndsInAStatusNotACrash) {
    Bytes sealed;
    SealOptions options;
    options.fileName = "name";
    ASSERT_EQ(Seal(Pattern(200), options, sealed), kStatusOk);
    for (size_t cut = 0; cut < sealed.size(); ++cut) {
        Bytes truncated(sealed.begin(), sealed.begin() + static_cast<long>(cut));
        EXPECT_NE(Open(truncated, {"secret1"}).status, kStatusOk) << "cut at " << cut;
    }
    // A changed byte either fails the open or (in a field the reader does not act on, such
    // as a recipient's version) changes nothing: it never yields other plaintext.
    const Bytes plain = Pattern(200);
    for (size_t at = 0; at < sealed.size(); ++at) {
        for (uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}}) {
            Bytes bad = sealed;
            bad[at] ^= flip;
            OpenResult r = Open(bad, {"secret1"});
            if (r.status == kStatusOk) {
                EXPECT_EQ(r.plain, plain) << "flip at " << at;
            }
        }
    }
}

TEST(EnvelopeFailures, StoredCheckOfTheWrongLengthNeverMatches) {
    Bytes sealed;
    ASSERT_EQ(Seal(Text("x"), {}, sealed), kStatusOk);
    EnvelopeParts parts;
    ASSERT_TRUE(SplitEnvelope(sealed, parts));
    PasswordRecipient r = ReadPasswordRecipient(parts.recipientInfos[0]);
    // Rebuild the recipient with an empty check value, which a literal "compare over the
    // stored length" would accept for any secret.
    Bytes params = Cat(FromHex("3016 300c 06082a864886f70d0205 0500 0404"), r.processSalt);
    params = Cat(params, FromHex("0400"));
    Bytes identity = Cat(FromHex("3023 06092a864886f70d01090b"), params);
    Bytes tail = Cat(FromHex("301a 06092a864886f70d010509 300d 0408"), r.wrappingSalt);
    tail = Cat(tail, FromHex("020101 0405"));
    tail = Cat(tail, r.encryptedKey);
    Bytes body = Cat(Cat(FromHex("020101"), identity), tail);
    Bytes info = Cat(Bytes{0x30, static_cast<uint8_t>(body.size())}, body);
    parts.recipientInfos[0] = info;
    EXPECT_EQ(Open(Reassemble(parts, {}), {"anything"}).status, kStatusNoRecipientMatched);
}

int CancelAfter(void* argument) {
    int* left = static_cast<int*>(argument);
    return (*left)-- <= 0 ? 1 : 0;
}

TEST(EnvelopeFailures, StatusCodesOfTheSealingChecks) {
    EnvelopeObject* e = nullptr;
    ASSERT_EQ(EnvelopeCreate(&e), kStatusOk);
    RandomObject* random = SeededRandom(5);
    MemoryReader reader(Text("data"));
    MemoryWriter writer;
    StreamRecord in = reader.record(), out = writer.record();
    EXPECT_EQ(EnvelopeSeal(&out, e, &in, 1, 40, random, nullptr, nullptr), kStatusNoRecipients);
    EXPECT_EQ(EnvelopeSeal(&out, e, &in, 2, 40, random, nullptr, nullptr),
              kStatusBadContentAlgorithm);
    EXPECT_EQ(EnvelopeSeal(&out, nullptr, &in, 1, 40, random, nullptr, nullptr),
              kStatusBadEnvelope);
    EXPECT_EQ(EnvelopeSeal(&out, e, &in, 1, 40, nullptr, nullptr, nullptr), kStatusBadRandom);
    RandomObject* fresh = nullptr;
    ASSERT_EQ(RandomCreate(&fresh), kStatusOk);
    EXPECT_EQ(EnvelopeSeal(&out, e, &in, 1, 40, fresh, nullptr, nullptr), kStatusRandomNotSeeded);
    RandomDestroy(&fresh);
    EXPECT_EQ(EnvelopeSeal(&out, e, nullptr, 1, 40, random, nullptr, nullptr),
              kStatusPlaintextStreamFailed);
    EXPECT_EQ(EnvelopeSeal(nullptr, e, &in, 1, 40, random, nullptr, nullptr),
              kStatusEncodedStreamFailed);
    EXPECT_EQ(EnvelopeAddPassword(e, reinterpret_cast<const unsigned char*>("pw"), 2, 2),
              kStatusBadPasswordKind);
    EXPECT_EQ(EnvelopeAddPassword(e, reinterpret_cast<const unsigned char*>("pw"), 0, 1),
              kStatusEmptySecret);
    EXPECT_EQ(EnvelopeAddPublicKey(e, nullptr, 0), kStatusBadPublicKey);
    const Bytes junk = FromHex("300301 0100");
    EXPECT_EQ(EnvelopeAddPublicKey(e, junk.data(), static_cast<unsigned int>(junk.size())),
              kStatusBadPublicKey);
    EXPECT_TRUE(writer.data.empty());
    RandomDestroy(&random);
    EnvelopeDestroy(&e);
    EnvelopeDestroy(&e);
    EXPECT_EQ(e, nullptr);
}

TEST(EnvelopeFailures, StreamFailuresAndCancel) {
    for (int failAfter = 0; failAfter < 6; ++failAfter) {
        EnvelopeObject* e = nullptr;
        ASSERT_EQ(EnvelopeCreate(&e), kStatusOk);
        ASSERT_EQ(EnvelopeAddPassword(e, reinterpret_cast<const unsigned char*>("pw1234"), 6, 1),
                  kStatusOk);
        RandomObject* random = SeededRandom(6);
        MemoryReader reader(Pattern(20000), 5000);
        MemoryWriter writer;
        writer.failAfter = failAfter;
        StreamRecord in = reader.record(), out = writer.record();
        EXPECT_EQ(EnvelopeSeal(&out, e, &in, 1, 40, random, nullptr, nullptr),
                  kStatusEncodedStreamFailed);
        RandomDestroy(&random);
        EnvelopeDestroy(&e);
    }
    {
        EnvelopeObject* e = nullptr;
        ASSERT_EQ(EnvelopeCreate(&e), kStatusOk);
        ASSERT_EQ(EnvelopeAddPassword(e, reinterpret_cast<const unsigned char*>("pw1234"), 6, 1),
                  kStatusOk);
        RandomObject* random = SeededRandom(6);
        MemoryReader reader(Pattern(20000), 5000);
        reader.failAfter = 2;
        MemoryWriter writer;
        StreamRecord in = reader.record(), out = writer.record();
        EXPECT_EQ(EnvelopeSeal(&out, e, &in, 1, 40, random, nullptr, nullptr),
                  kStatusPlaintextStreamFailed);
        RandomDestroy(&random);
        EnvelopeDestroy(&e);
    }
    Bytes sealed;
    ASSERT_EQ(Seal(Pattern(40000), {}, sealed), kStatusOk);
    for (int allowed : {0, 1, 3, 6}) {
        // Sealing: the hook is asked before each recipient and each chunk.
        EnvelopeObject* e = nullptr;
        ASSERT_EQ(EnvelopeCreate(&e), kStatusOk);
        ASSERT_EQ(EnvelopeAddPassword(e, reinterpret_cast<const unsigned char*>("secret1"), 7, 1),
                  kStatusOk);
        RandomObject* random = SeededRandom(7);
        MemoryReader reader(Pattern(40000));
        MemoryWriter writer;
        StreamRecord in = reader.record(), out = writer.record();
        int left = allowed;
        ProgressHook hook = {CancelAfter, &left};
        EXPECT_EQ(EnvelopeSeal(&out, e, &in, 1, 40, random, nullptr, &hook), kStatusCancelled);
        RandomDestroy(&random);
        EnvelopeDestroy(&e);

        ASSERT_EQ(EnvelopeCreate(&e), kStatusOk);
        ASSERT_EQ(EnvelopeAddPassword(e, reinterpret_cast<const unsigned char*>("secret1"), 7, 1),
                  kStatusOk);
        MemoryReader sealedReader(sealed);
        MemoryWriter plainWriter;
        StreamRecord sin = sealedReader.record(), pout = plainWriter.record();
        left = allowed;
        EXPECT_EQ(EnvelopeOpen(&pout, nullptr, e, &sin, &hook), kStatusCancelled);
        EnvelopeDestroy(&e);
    }
}

TEST(EnvelopeFailures, AttributeSetOverOnePieceIsRefused) {
    AttributeList* list = nullptr;
    ASSERT_EQ(AttributeListCreate(&list), kStatusOk);
    std::string longName(8200, 'n');
    ASSERT_EQ(
        AttributeListSetFileName(list, reinterpret_cast<const unsigned char*>(longName.data()),
                                 static_cast<unsigned int>(longName.size())),
        kStatusOk);
    EnvelopeObject* e = nullptr;
    ASSERT_EQ(EnvelopeCreate(&e), kStatusOk);
    ASSERT_EQ(EnvelopeAddPassword(e, reinterpret_cast<const unsigned char*>("secret1"), 7, 1),
              kStatusOk);
    RandomObject* random = SeededRandom(8);
    MemoryReader reader(Text("data"));
    MemoryWriter writer;
    StreamRecord in = reader.record(), out = writer.record();
    EXPECT_EQ(EnvelopeSeal(&out, e, &in, 1, 40, random, list, nullptr), kStatusEnvelopeMalformed);
    RandomDestroy(&random);
    EnvelopeDestroy(&e);
    AttributeListDestroy(&list);
}

TEST(EnvelopeFailures, AnEnvelopeServesOneOperation) {
    EnvelopeObject* e = nullptr;
    ASSERT_EQ(EnvelopeCreate(&e), kStatusOk);
    ASSERT_EQ(EnvelopeAddPassword(e, reinterpret_cast<const unsigned char*>("secret1"), 7, 1),
              kStatusOk);
    RandomObject* random = SeededRandom(9);
    MemoryReader reader(Text("data"));
    MemoryWriter writer;
    StreamRecord in = reader.record(), out = writer.record();
    ASSERT_EQ(EnvelopeSeal(&out, e, &in, 1, 40, random, nullptr, nullptr), kStatusOk);
    MemoryReader again(writer.data);
    MemoryWriter plain;
    StreamRecord in2 = again.record(), out2 = plain.record();
    EXPECT_EQ(EnvelopeOpen(&out2, nullptr, e, &in2, nullptr), kStatusBadEnvelope);
    RandomDestroy(&random);
    EnvelopeDestroy(&e);
}

}  // namespace
