// Attribute lists: the DER set byte for byte (order, length forms, size limit), the status codes
// of set and get, handle discipline, parsing a set back (accepted forms and every refusal, the
// list left unchanged) and out-of-memory paths.
#include <gtest/gtest.h>
#include <qor/toolkit.h>

#include <string>
#include <string_view>
#include <vector>

#include "attribute_list.h"
#include "memory.h"
#include "vector_file.h"

namespace {

using qor::test::Bytes;
using qor::test::FromHex;
using qor::test::ToHex;
using qor::toolkit::AttributeListEncode;
using qor::toolkit::AttributeListGetValue;
using qor::toolkit::AttributeListReplaceFromEncoding;
using qor::toolkit::AttributeListSetValue;
using qor::toolkit::IsAttributeList;

const unsigned char kReport[] = "report.doc";  // 11 bytes with the terminating zero
const unsigned char kAlice[] = "alice";        // 6 bytes

// Hex as ToHex writes it, from hex spaced for reading.
std::string H(std::string_view spaced) {
    return ToHex(FromHex(spaced));
}

// Attribute encodings used throughout.
const std::string kFileReport = H("301a 06092a864886f70d040101 310d 140b7265706f72742e646f6300");
const std::string kUserAlice = H("3015 06092a864886f70d040102 3108 1306616c69636500");
const std::string kFileA = H("3011 06092a864886f70d040101 3104 14026100");
const std::string kUserB = H("3011 06092a864886f70d040102 3104 13026200");
const std::string kBoth = "3133" + kUserAlice + kFileReport;

struct List {
    AttributeList* h = nullptr;
    List() { EXPECT_EQ(AttributeListCreate(&h), kStatusOk); }
    ~List() { AttributeListDestroy(&h); }
    List(const List&) = delete;
    List& operator=(const List&) = delete;
};

std::string Encoding(AttributeList* list) {
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    int status = AttributeListEncode(list, &bytes, &length);
    if (status != kStatusOk) return "status " + std::to_string(status);
    return ToHex(bytes, length);
}

std::string FileName(AttributeList* list) {
    const unsigned char* value = nullptr;
    unsigned int length = 0;
    int status = AttributeListGetFileName(&value, &length, list);
    if (status != kStatusOk) return "status " + std::to_string(status);
    return std::string(reinterpret_cast<const char*>(value), length);
}

std::string UserName(AttributeList* list) {
    const unsigned char* value = nullptr;
    unsigned int length = 0;
    int status = AttributeListGetUserName(&value, &length, list);
    if (status != kStatusOk) return "status " + std::to_string(status);
    return std::string(reinterpret_cast<const char*>(value), length);
}

int Replace(AttributeList* list, const std::string& hex) {
    Bytes b = FromHex(hex);
    return AttributeListReplaceFromEncoding(list, b.data(), static_cast<uint32_t>(b.size()));
}

const std::string kReportText("report.doc\0", 11);

TEST(AttributeList, EncodesEachNameAloneByteForByte) {
    List file;
    ASSERT_EQ(AttributeListSetFileName(file.h, kReport, sizeof kReport), kStatusOk);
    EXPECT_EQ(Encoding(file.h), "311c" + kFileReport);

    List user;
    ASSERT_EQ(AttributeListSetUserName(user.h, kAlice, sizeof kAlice), kStatusOk);
    EXPECT_EQ(Encoding(user.h), "3117" + kUserAlice);

    List empty;
    EXPECT_EQ(Encoding(empty.h), "3100");
}

// The order is that of the complete encodings, not of the identifiers nor of insertion: a
// shorter user name attribute (30 15) comes before a longer file name one (30 1a) although its
// identifier is the larger; with equal lengths the identifier decides.
TEST(AttributeList, SortsAttributesByTheirCompleteEncodings) {
    List both;
    ASSERT_EQ(AttributeListSetFileName(both.h, kReport, sizeof kReport), kStatusOk);
    ASSERT_EQ(AttributeListSetUserName(both.h, kAlice, sizeof kAlice), kStatusOk);
    EXPECT_EQ(Encoding(both.h), kBoth);

    List equal;
    const unsigned char b[] = "b";
    const unsigned char a[] = "a";
    ASSERT_EQ(AttributeListSetUserName(equal.h, b, sizeof b), kStatusOk);
    ASSERT_EQ(AttributeListSetFileName(equal.h, a, sizeof a), kStatusOk);
    EXPECT_EQ(Encoding(equal.h), "3126" + kFileA + kUserB);
}

TEST(AttributeList, SettingAgainReplacesTheValueAndInvalidatesTheCache) {
    List list;
    const unsigned char a[] = "a";
    ASSERT_EQ(AttributeListSetFileName(list.h, a, sizeof a), kStatusOk);
    EXPECT_EQ(Encoding(list.h), "3113" + kFileA);
    ASSERT_EQ(AttributeListSetFileName(list.h, kReport, sizeof kReport), kStatusOk);
    EXPECT_EQ(Encoding(list.h), "311c" + kFileReport) << "one entry, the new value";
    EXPECT_EQ(FileName(list.h), kReportText);

    // Unchanged, the cached bytes come back without building (no allocation is needed).
    const uint8_t* first = nullptr;
    const uint8_t* second = nullptr;
    uint32_t n1 = 0;
    uint32_t n2 = 0;
    ASSERT_EQ(AttributeListEncode(list.h, &first, &n1), kStatusOk);
    qor::toolkit::MemFailAfter(0);
    int status = AttributeListEncode(list.h, &second, &n2);
    qor::toolkit::MemFailAfter(-1);
    EXPECT_EQ(status, kStatusOk);
    EXPECT_EQ(first, second);
    EXPECT_EQ(n1, n2);
}

// Lengths of 128 and more take the 81 and 82 forms at every level.
TEST(AttributeList, LongValuesUseTheLongLengthForms) {
    List list;
    std::vector<unsigned char> name(200, 'x');
    ASSERT_EQ(AttributeListSetFileName(list.h, name.data(), 200), kStatusOk);
    std::string e = Encoding(list.h);
    EXPECT_EQ(e.size(), 223u * 2);
    EXPECT_EQ(e.substr(0, 46), H("3181dc 3081d9 06092a864886f70d040101 3181cb 1481c8"));

    name.assign(300, 'y');
    ASSERT_EQ(AttributeListSetFileName(list.h, name.data(), 300), kStatusOk);
    e = Encoding(list.h);
    EXPECT_EQ(e.size(), 327u * 2);
    EXPECT_EQ(e.substr(0, 54), H("31820143 3082013f 06092a864886f70d040101 31820130 1482012c"));
}

// The set may hold at most 32767 content bytes: a file name of 32744 bytes fills it exactly.
TEST(AttributeList, EncodingOver32767BytesIsRefused) {
    List list;
    std::vector<unsigned char> name(32768, 'n');
    EXPECT_EQ(AttributeListSetFileName(list.h, name.data(), 32768), kStatusEncodingTooLong);
    EXPECT_EQ(FileName(list.h), "status 1285") << "a refused set stores nothing";

    ASSERT_EQ(AttributeListSetFileName(list.h, name.data(), 32744), kStatusOk);
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(AttributeListEncode(list.h, &bytes, &length), kStatusOk);
    EXPECT_EQ(length, 32771u);
    EXPECT_EQ(ToHex(bytes, 8), "31827fff30827ffb");

    ASSERT_EQ(AttributeListSetFileName(list.h, name.data(), 32745), kStatusOk);
    EXPECT_EQ(AttributeListEncode(list.h, &bytes, &length), kStatusEncodingTooLong);

    // Two attributes that fit alone but not together.
    ASSERT_EQ(AttributeListSetFileName(list.h, name.data(), 16400), kStatusOk);
    EXPECT_EQ(AttributeListEncode(list.h, &bytes, &length), kStatusOk);
    ASSERT_EQ(AttributeListSetUserName(list.h, name.data(), 16400), kStatusOk);
    EXPECT_EQ(AttributeListEncode(list.h, &bytes, &length), kStatusEncodingTooLong);
}

TEST(AttributeList, GetReturnsTheStoredTextOrAbsent) {
    List list;
    EXPECT_EQ(FileName(list.h), "status 1285");
    EXPECT_EQ(UserName(list.h), "status 1285");
    ASSERT_EQ(AttributeListSetFileName(list.h, kReport, sizeof kReport), kStatusOk);
    EXPECT_EQ(FileName(list.h), kReportText);
    EXPECT_EQ(UserName(list.h), "status 1285");
    ASSERT_EQ(AttributeListSetUserName(list.h, kAlice, sizeof kAlice), kStatusOk);
    EXPECT_EQ(UserName(list.h), std::string("alice\0", 6));

    // A failed get leaves the caller's variables alone.
    List other;
    const unsigned char* value = kReport;
    unsigned int length = 99;
    EXPECT_EQ(AttributeListGetFileName(&value, &length, other.h), kStatusAttributeAbsent);
    EXPECT_EQ(value, kReport);
    EXPECT_EQ(length, 99u);
}

TEST(AttributeList, RefusesEmptyValuesEmptyTypesAndUnstorableTags) {
    List list;
    const unsigned char text[] = "t";
    EXPECT_EQ(AttributeListSetFileName(list.h, text, 0), kStatusAttributeNoValue);
    EXPECT_EQ(AttributeListSetUserName(list.h, nullptr, 4), kStatusAttributeNoValue);
    const uint8_t oid[] = {0x2b, 0x06, 0x01};
    EXPECT_EQ(AttributeListSetValue(list.h, oid, 0, 0x0c, text, 1), kStatusAttributeNoType);
    EXPECT_EQ(AttributeListSetValue(list.h, nullptr, 3, 0x0c, text, 1), kStatusAttributeNoType);
    for (uint8_t tag : {uint8_t{0x1f}, uint8_t{0x5f}, uint8_t{0xff}, uint8_t{0x30}, uint8_t{0x00}})
        EXPECT_EQ(AttributeListSetValue(list.h, oid, 3, tag, text, 1), kStatusAttributeHighTag)
            << int{tag};
    EXPECT_EQ(AttributeListGetValue(nullptr, nullptr, list.h, oid, 3), kStatusBadAttributeList);
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(AttributeListGetValue(&value, &length, list.h, oid, 0), kStatusAttributeNoType);
    EXPECT_EQ(Encoding(list.h), "3100") << "nothing was stored";

    // Any identifier and primitive tag go through the general set.
    ASSERT_EQ(AttributeListSetValue(list.h, oid, 3, 0x0c, text, 1), kStatusOk);
    ASSERT_EQ(AttributeListGetValue(&value, &length, list.h, oid, 3), kStatusOk);
    EXPECT_EQ(ToHex(value, length), "74");
    EXPECT_EQ(Encoding(list.h), "310c300a06032b060131030c0174");
}

TEST(AttributeList, HandlesOfAnotherTypeOrNullAreRefused) {
    DigestObject* digest = nullptr;
    ASSERT_EQ(DigestCreate(&digest, kDigestMd5), kStatusOk);
    auto* fake = reinterpret_cast<AttributeList*>(digest);
    const unsigned char* value = nullptr;
    unsigned int length = 0;
    const uint8_t* bytes = nullptr;
    uint32_t n = 0;
    Bytes empty = FromHex("3100");
    for (AttributeList* bad : {fake, static_cast<AttributeList*>(nullptr)}) {
        EXPECT_FALSE(IsAttributeList(bad));
        EXPECT_EQ(AttributeListSetFileName(bad, kReport, sizeof kReport), kStatusBadAttributeList);
        EXPECT_EQ(AttributeListSetUserName(bad, kAlice, 0), kStatusBadAttributeList);
        EXPECT_EQ(AttributeListGetFileName(&value, &length, bad), kStatusBadAttributeList);
        EXPECT_EQ(AttributeListGetUserName(&value, &length, bad), kStatusBadAttributeList);
        EXPECT_EQ(AttributeListEncode(bad, &bytes, &n), kStatusBadAttributeList);
        EXPECT_EQ(AttributeListReplaceFromEncoding(bad, empty.data(), 2), kStatusBadAttributeList);
    }
    // The digest was not touched.
    unsigned char* result = nullptr;
    unsigned int resultLength = 0;
    ASSERT_EQ(DigestFinal(&result, &resultLength, digest, nullptr, 0), kStatusOk);
    EXPECT_EQ(ToHex(result, resultLength), "d41d8cd98f00b204e9800998ecf8427e");
    DigestDestroy(&digest);

    List list;
    EXPECT_TRUE(IsAttributeList(list.h));
    EXPECT_EQ(AttributeListCreate(nullptr), kStatusBadAttributeList);
}

TEST(AttributeList, DestroyClearsTheHandleAndTwiceIsHarmless) {
    AttributeList* list = nullptr;
    ASSERT_EQ(AttributeListCreate(&list), kStatusOk);
    ASSERT_EQ(AttributeListSetFileName(list, kReport, sizeof kReport), kStatusOk);
    AttributeListDestroy(&list);
    EXPECT_EQ(list, nullptr);
    AttributeListDestroy(&list);
    AttributeListDestroy(nullptr);
    EXPECT_EQ(list, nullptr);
}

TEST(AttributeList, ReplaceFromEncodingRoundTrips) {
    List source;
    ASSERT_EQ(AttributeListSetFileName(source.h, kReport, sizeof kReport), kStatusOk);
    ASSERT_EQ(AttributeListSetUserName(source.h, kAlice, sizeof kAlice), kStatusOk);
    const uint8_t* bytes = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(AttributeListEncode(source.h, &bytes, &length), kStatusOk);

    List target;
    const unsigned char old[] = "old";
    ASSERT_EQ(AttributeListSetFileName(target.h, old, sizeof old), kStatusOk);
    ASSERT_EQ(AttributeListReplaceFromEncoding(target.h, bytes, length), kStatusOk);
    EXPECT_EQ(Encoding(target.h), kBoth);
    EXPECT_EQ(FileName(target.h), kReportText);
    EXPECT_EQ(UserName(target.h), std::string("alice\0", 6));

    // The set replaces the whole contents: an empty set empties the list.
    List emptied;
    ASSERT_EQ(AttributeListSetUserName(emptied.h, kAlice, sizeof kAlice), kStatusOk);
    ASSERT_EQ(Replace(emptied.h, "3100"), kStatusOk);
    EXPECT_EQ(UserName(emptied.h), "status 1285");
    EXPECT_EQ(Encoding(emptied.h), "3100");
}

// A reader is liberal where the writer is strict: any order, the 81 and 82 forms where the
// short form would do, any identifier and primitive tag. Encoding again gives the DER form.
TEST(AttributeList, ReplaceAcceptsUnsortedNonMinimalAndForeignAttributes) {
    List list;
    ASSERT_EQ(
        Replace(list.h, "318134 30811a 06092a864886f70d040101 310d 140b7265706f72742e646f6300 " +
                            kUserAlice),
        kStatusOk);
    EXPECT_EQ(Encoding(list.h), kBoth);

    ASSERT_EQ(Replace(list.h, "31820018 30820014 06092a864886f70d040101 31820005 1481026100"),
              kStatusOk);
    EXPECT_EQ(Encoding(list.h), "3113" + kFileA);

    const std::string foreign = "310e300c06032b060131050c03616263";
    ASSERT_EQ(Replace(list.h, foreign), kStatusOk);
    EXPECT_EQ(Encoding(list.h), foreign);
    EXPECT_EQ(FileName(list.h), "status 1285");
    const uint8_t oid[] = {0x2b, 0x06, 0x01};
    const uint8_t* value = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(AttributeListGetValue(&value, &length, list.h, oid, 3), kStatusOk);
    EXPECT_EQ(ToHex(value, length), "616263");
}

TEST(AttributeList, ReplaceRefusesMalformedSetsAndLeavesTheListUnchanged) {
    const std::string oidFile = "06092a864886f70d040101";
    const struct {
        const char* what;
        std::string hex;
    } cases[] = {
        {"empty input", ""},
        {"wrong outer tag", "3000"},
        {"outer SEQUENCE around attributes", "3033" + kUserAlice + kFileReport},
        {"trailing byte", kBoth + "00"},
        {"indefinite outer length", "3180" + kUserAlice + "0000"},
        {"indefinite attribute", "3119 3080 06092a864886f70d040102 3108 1306616c69636500 0000"},
        {"indefinite value set", "3115 3013" + oidFile + "3180 14026100 0000"},
        {"indefinite value", "3113 3011" + oidFile + "3104 14806100"},
        {"83 length form", "318300000f" + kFileA},
        {"inner SET with no value", "310f 300d" + oidFile + "3100"},
        {"inner SET with two values", "3117 3015" + oidFile + "3108 14026100 14026200"},
        {"value with a multi-byte tag", "3113 3011" + oidFile + "3104 1f200141"},
        {"constructed value", "3114 3012" + oidFile + "3105 2403040141"},
        {"empty value", "3111 300f" + oidFile + "3102 1400"},
        {"zero tag value", "3112 3010" + oidFile + "3103 000141"},
        {"empty identifier", "310a 3008 0600 3104 14026100"},
        {"identifier with the wrong tag", "3113 3011 0409 2a864886f70d040101 3104 14026100"},
        {"identifier missing", "3108 3006 3104 14026100"},
        {"values not in a SET", "3113 3011" + oidFile + "3004 14026100"},
        {"extra element in an attribute", "3115 3013" + oidFile + "3104 14026100 0500"},
        {"SET in place of an attribute", "3113 3111" + oidFile + "3104 14026100"},
        {"attribute overruns the set", "3113 3012" + oidFile + "3104 14026100"},
        {"value set overruns the attribute", "3114 3011" + oidFile + "3105 14026100 00"},
        {"same identifier twice", "3126" + kFileA + "3011" + oidFile + "3104 14026200"},
        {"non-attribute element in the set", "3115" + kFileA + "0500"},
    };
    List list;
    ASSERT_EQ(AttributeListSetFileName(list.h, kReport, sizeof kReport), kStatusOk);
    const std::string before = Encoding(list.h);
    for (const auto& c : cases) {
        EXPECT_EQ(Replace(list.h, c.hex), kStatusEnvelopeMalformed) << c.what;
        EXPECT_EQ(Encoding(list.h), before) << c.what;
        EXPECT_EQ(FileName(list.h), kReportText) << c.what;
    }
    EXPECT_EQ(AttributeListReplaceFromEncoding(list.h, nullptr, 0), kStatusEnvelopeMalformed);

    // Every proper prefix of a valid set is truncated.
    Bytes whole = FromHex(kBoth);
    for (uint32_t n = 0; n < whole.size(); ++n)
        EXPECT_EQ(AttributeListReplaceFromEncoding(list.h, whole.data(), n),
                  kStatusEnvelopeMalformed)
            << n;
    EXPECT_EQ(Encoding(list.h), before);
}

// Damaged sets, one byte at a time: each is taken or refused with 1290, never more, and a set
// that is taken encodes to bytes that are themselves taken and encode the same.
TEST(AttributeList, ReplaceSurvivesSingleByteDamage) {
    const Bytes valid = FromHex(kBoth);
    const uint8_t substitutes[] = {0x00, 0x01, 0x1f, 0x30, 0x31, 0x7f,
                                   0x80, 0x81, 0x82, 0x83, 0xff};
    List list;
    List again;
    for (size_t i = 0; i < valid.size(); ++i) {
        for (int variant = 0; variant < static_cast<int>(sizeof substitutes) + 2; ++variant) {
            Bytes damaged = valid;
            if (variant < static_cast<int>(sizeof substitutes))
                damaged[i] = substitutes[variant];
            else
                damaged[i] = static_cast<uint8_t>(damaged[i] + (variant == 11 ? 1 : 0xff));
            int s = AttributeListReplaceFromEncoding(list.h, damaged.data(),
                                                     static_cast<uint32_t>(damaged.size()));
            ASSERT_TRUE(s == kStatusOk || s == kStatusEnvelopeMalformed) << i << " " << s;
            if (s != kStatusOk) continue;
            const uint8_t* bytes = nullptr;
            uint32_t length = 0;
            ASSERT_EQ(AttributeListEncode(list.h, &bytes, &length), kStatusOk);
            ASSERT_EQ(AttributeListReplaceFromEncoding(again.h, bytes, length), kStatusOk);
            EXPECT_EQ(Encoding(again.h), ToHex(bytes, length));
        }
    }
}

// Every allocation is made to fail in turn: each operation answers 1282 or succeeds, a failed
// one leaves the list as it was, and ASan sees no leak.
TEST(AttributeList, MemoryFailuresAreReportedAndChangeNothing) {
    using qor::toolkit::MemFailAfter;
    const Bytes both = FromHex(kBoth);
    bool allSucceeded = false;
    for (long failAt = 0; failAt <= 15; ++failAt) {
        AttributeList* created = nullptr;
        MemFailAfter(failAt);
        int cs = AttributeListCreate(&created);
        MemFailAfter(-1);
        EXPECT_TRUE(cs == kStatusOk || cs == kStatusOutOfMemory) << failAt;
        EXPECT_EQ(cs == kStatusOk, created != nullptr);
        AttributeListDestroy(&created);

        List list;
        ASSERT_EQ(AttributeListSetFileName(list.h, kReport, sizeof kReport), kStatusOk);
        ASSERT_EQ(Encoding(list.h), "311c" + kFileReport);

        MemFailAfter(failAt);
        int add = AttributeListSetUserName(list.h, kAlice, sizeof kAlice);
        MemFailAfter(-1);
        const unsigned char b[] = "b";
        MemFailAfter(failAt);
        int replace = AttributeListSetFileName(list.h, b, sizeof b);
        MemFailAfter(-1);
        EXPECT_TRUE(add == kStatusOk || add == kStatusOutOfMemory) << failAt;
        EXPECT_TRUE(replace == kStatusOk || replace == kStatusOutOfMemory) << failAt;
        EXPECT_EQ(UserName(list.h), add == kStatusOk ? std::string("alice\0", 6) : "status 1285");
        EXPECT_EQ(FileName(list.h), replace == kStatusOk ? std::string("b\0", 2) : kReportText);

        const uint8_t* bytes = nullptr;
        uint32_t length = 0;
        MemFailAfter(failAt);
        int encode = AttributeListEncode(list.h, &bytes, &length);
        MemFailAfter(-1);
        EXPECT_TRUE(encode == kStatusOk || encode == kStatusOutOfMemory) << failAt;
        const std::string current = Encoding(list.h);
        if (encode == kStatusOk) {
            EXPECT_EQ(ToHex(bytes, length), current);
        }

        MemFailAfter(failAt);
        int parsed = AttributeListReplaceFromEncoding(list.h, both.data(),
                                                      static_cast<uint32_t>(both.size()));
        MemFailAfter(-1);
        EXPECT_TRUE(parsed == kStatusOk || parsed == kStatusOutOfMemory) << failAt;
        EXPECT_EQ(Encoding(list.h), parsed == kStatusOk ? kBoth : current) << failAt;

        if (failAt == 0) {
            EXPECT_EQ(cs, kStatusOutOfMemory);
            EXPECT_EQ(add, kStatusOutOfMemory);
            EXPECT_EQ(replace, kStatusOutOfMemory);
            // Failed sets left the list and its cached encoding untouched: nothing to build.
            EXPECT_EQ(encode, kStatusOk);
            EXPECT_EQ(parsed, kStatusOutOfMemory);
        }
        allSucceeded = cs == kStatusOk && add == kStatusOk && replace == kStatusOk &&
                       encode == kStatusOk && parsed == kStatusOk;
    }
    EXPECT_TRUE(allSucceeded) << "the loop reaches past the last allocation";
}

}  // namespace
