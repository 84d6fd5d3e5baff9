// Handle discipline of the service objects: type tags, creation and release, the random
// object's seeding rule, digest reuse and out-of-memory paths.
#include <gtest/gtest.h>
#include <qor/toolkit.h>

#include <cstring>
#include <vector>

#include "memory.h"
#include "object_list.h"
#include "service_object.h"
#include "vector_file.h"

namespace {

using qor::test::ToHex;

std::vector<unsigned char> Bytes(size_t n, unsigned char fill) {
    return std::vector<unsigned char>(n, fill);
}

struct Handles {
    RandomObject* random = nullptr;
    DigestObject* digest = nullptr;
    PasswordBlockObject* block = nullptr;
    Handles() {
        EXPECT_EQ(RandomCreate(&random), kStatusOk);
        EXPECT_EQ(DigestCreate(&digest, kDigestMd5), kStatusOk);
        unsigned char saltBytes[8] = {};
        ByteItem salt = {saltBytes, 8};
        EXPECT_EQ(PasswordBlockCreate(&block, kPasswordBlockMd5Rc2, 1, &salt), kStatusOk);
    }
    ~Handles() {
        RandomDestroy(&random);
        DigestDestroy(&digest);
        PasswordBlockDestroy(&block);
    }
};

TEST(ServiceObjects, HandleOfAnotherTypeGetsThatOperationsInvalidHandleCode) {
    Handles h;
    auto* digestAsRandom = reinterpret_cast<RandomObject*>(h.digest);
    auto* randomAsDigest = reinterpret_cast<DigestObject*>(h.random);
    auto* digestAsBlock = reinterpret_cast<PasswordBlockObject*>(h.digest);
    unsigned char buf[16] = {};
    unsigned int count = 7;
    unsigned char* result = nullptr;
    unsigned int length = 0;
    ByteItem item = {buf, 8};
    ByteItem* out = nullptr;

    EXPECT_EQ(RandomSeed(digestAsRandom, buf, 16), kStatusBadRandom);
    EXPECT_EQ(RandomBytesNeeded(&count, digestAsRandom), kStatusBadRandom);
    EXPECT_EQ(count, 7u) << "a refused call changes nothing";
    EXPECT_EQ(RandomGenerate(buf, digestAsRandom, 4), kStatusBadRandom);
    EXPECT_EQ(DigestUpdate(randomAsDigest, buf, 4), kStatusBadDigest);
    EXPECT_EQ(DigestFinal(&result, &length, randomAsDigest, buf, 4), kStatusBadDigest);
    EXPECT_EQ(PasswordBlockEncrypt(&out, digestAsBlock, &item, &item), kStatusBadPasswordBlock);
    EXPECT_EQ(PasswordBlockDecrypt(&out, digestAsBlock, &item, &item), kStatusBadPasswordBlock);
    EXPECT_EQ(out, nullptr);

    EXPECT_EQ(RandomSeed(nullptr, buf, 16), kStatusBadRandom);
    EXPECT_EQ(DigestUpdate(nullptr, buf, 4), kStatusBadDigest);
    EXPECT_EQ(PasswordBlockEncrypt(&out, nullptr, &item, &item), kStatusBadPasswordBlock);

    // The digest object still works after being offered to the wrong operations.
    ASSERT_EQ(DigestFinal(&result, &length, h.digest, nullptr, 0), kStatusOk);
    EXPECT_EQ(ToHex(result, length), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(ServiceObjects, DestroyClearsTheHandleAndTwiceIsHarmless) {
    Handles h;
    RandomDestroy(&h.random);
    DigestDestroy(&h.digest);
    PasswordBlockDestroy(&h.block);
    EXPECT_EQ(h.random, nullptr);
    EXPECT_EQ(h.digest, nullptr);
    EXPECT_EQ(h.block, nullptr);
    RandomDestroy(&h.random);
    DigestDestroy(&h.digest);
    PasswordBlockDestroy(&h.block);
}

TEST(ServiceObjects, DigestKindsAndReuse) {
    DigestObject* d = reinterpret_cast<DigestObject*>(0x1);
    EXPECT_EQ(DigestCreate(&d, 0), kStatusBadDigestKind);
    EXPECT_EQ(d, nullptr);
    EXPECT_EQ(DigestCreate(&d, 3), kStatusBadDigestKind);
    EXPECT_EQ(d, nullptr);

    ASSERT_EQ(DigestCreate(&d, kDigestMd2), kStatusOk);
    unsigned char* result = nullptr;
    unsigned int length = 0;
    ASSERT_EQ(DigestFinal(&result, &length, d, nullptr, 0), kStatusOk);
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(ToHex(result, length), "8350e5a3e24c153df2275c9f80692773");
    DigestDestroy(&d);

    ASSERT_EQ(DigestCreate(&d, kDigestMd5), kStatusOk);
    const unsigned char abc[] = {'a', 'b', 'c'};
    ASSERT_EQ(DigestUpdate(d, abc, 1), kStatusOk);
    ASSERT_EQ(DigestFinal(&result, &length, d, abc + 1, 2), kStatusOk);
    EXPECT_EQ(ToHex(result, length), "900150983cd24fb0d6963f7d28e17f72");
    // The object is ready for a new message: a second final is the digest of nothing.
    ASSERT_EQ(DigestFinal(&result, &length, d, nullptr, 0), kStatusOk);
    EXPECT_EQ(ToHex(result, length), "d41d8cd98f00b204e9800998ecf8427e");
    DigestDestroy(&d);
}

TEST(ServiceObjects, RandomRefusesOutputUntil256SeedBytes) {
    RandomObject* r = nullptr;
    ASSERT_EQ(RandomCreate(&r), kStatusOk);
    unsigned int needed = 0;
    unsigned char out[32];
    ASSERT_EQ(RandomBytesNeeded(&needed, r), kStatusOk);
    EXPECT_EQ(needed, 256u);
    EXPECT_EQ(RandomGenerate(out, r, sizeof out), kStatusRandomNotSeeded);

    auto seed = Bytes(255, 0x5a);
    ASSERT_EQ(RandomSeed(r, seed.data(), 255), kStatusOk);
    ASSERT_EQ(RandomBytesNeeded(&needed, r), kStatusOk);
    EXPECT_EQ(needed, 1u);
    EXPECT_EQ(RandomGenerate(out, r, sizeof out), kStatusRandomNotSeeded);
    ASSERT_EQ(RandomSeed(r, seed.data(), 1), kStatusOk);
    ASSERT_EQ(RandomBytesNeeded(&needed, r), kStatusOk);
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(RandomGenerate(out, r, sizeof out), kStatusOk);
    // Seeding more than needed keeps the count at 0.
    ASSERT_EQ(RandomSeed(r, seed.data(), 200), kStatusOk);
    ASSERT_EQ(RandomBytesNeeded(&needed, r), kStatusOk);
    EXPECT_EQ(needed, 0u);
    RandomDestroy(&r);

    ASSERT_EQ(RandomCreate(&r), kStatusOk);
    auto hundred = Bytes(100, 1);
    ASSERT_EQ(RandomSeed(r, hundred.data(), 100), kStatusOk);
    ASSERT_EQ(RandomSeed(r, hundred.data(), 100), kStatusOk);
    ASSERT_EQ(RandomSeed(r, hundred.data(), 56), kStatusOk);
    ASSERT_EQ(RandomBytesNeeded(&needed, r), kStatusOk);
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(RandomGenerate(out, r, sizeof out), kStatusOk);
    RandomDestroy(&r);
}

// Every creation path handles running out of memory at any of its allocations: the status is
// 1282 (or the operation's own failure code), the handle stays null and nothing leaks (the
// sanitizer build checks the last part).
TEST(ServiceObjects, CreateFailsCleanlyWhenMemoryRunsOut) {
    for (long failAt = 0; failAt < 12; ++failAt) {
        RandomObject* r = nullptr;
        DigestObject* d = nullptr;
        PasswordBlockObject* p = nullptr;
        unsigned char saltBytes[8] = {};
        ByteItem salt = {saltBytes, 8};

        qor::toolkit::MemFailAfter(failAt);
        int rs = RandomCreate(&r);
        qor::toolkit::MemFailAfter(failAt);
        int ds = DigestCreate(&d, kDigestMd5);
        qor::toolkit::MemFailAfter(failAt);
        int ps = PasswordBlockCreate(&p, kPasswordBlockMd5Rc2, 1, &salt);
        qor::toolkit::MemFailAfter(-1);

        EXPECT_TRUE(rs == kStatusOk || rs == kStatusOutOfMemory || rs == kStatusBadRandom);
        EXPECT_TRUE(ds == kStatusOk || ds == kStatusOutOfMemory || ds == kStatusBadDigest);
        EXPECT_TRUE(ps == kStatusOk || ps == kStatusOutOfMemory);
        EXPECT_EQ(rs == kStatusOk, r != nullptr);
        EXPECT_EQ(ds == kStatusOk, d != nullptr);
        EXPECT_EQ(ps == kStatusOk, p != nullptr);
        if (failAt == 0) {
            EXPECT_EQ(rs, kStatusOutOfMemory);
            EXPECT_EQ(ds, kStatusOutOfMemory);
            EXPECT_EQ(ps, kStatusOutOfMemory);
        }
        RandomDestroy(&r);
        DigestDestroy(&d);
        PasswordBlockDestroy(&p);
    }
}

// Password blocks under memory pressure: a failed call keeps the previous result intact.
TEST(ServiceObjects, PasswordBlockCallFailsCleanlyWhenMemoryRunsOut) {
    unsigned char saltBytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned char dataBytes[10] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    unsigned char pw[6] = {'p', 'a', 's', 's', 'w', 'd'};
    ByteItem salt = {saltBytes, 8}, data = {dataBytes, 10}, password = {pw, 6};
    PasswordBlockObject* p = nullptr;
    ASSERT_EQ(PasswordBlockCreate(&p, kPasswordBlockMd5Rc2, 1, &salt), kStatusOk);
    ByteItem* first = nullptr;
    ASSERT_EQ(PasswordBlockEncrypt(&first, p, &data, &password), kStatusOk);
    const std::string expected = ToHex(first->data, first->len);
    for (long failAt = 0; failAt < 12; ++failAt) {
        ByteItem* out = nullptr;
        qor::toolkit::MemFailAfter(failAt);
        int s = PasswordBlockEncrypt(&out, p, &data, &password);
        qor::toolkit::MemFailAfter(-1);
        if (s == kStatusOk) {
            EXPECT_EQ(ToHex(out->data, out->len), expected);
            break;
        }
        EXPECT_EQ(s, kStatusOutOfMemory) << "failing allocation " << failAt;
        EXPECT_EQ(ToHex(first->data, first->len), expected) << "previous result kept";
    }
    PasswordBlockDestroy(&p);
}

struct Counted {
    qor::toolkit::DestroyRoutine destroy;
    int* counter;
};

void DestroyCounted(void* object) {
    ++*static_cast<Counted*>(object)->counter;
}

TEST(ObjectList, InsertClampsGrowsByEightAndDestroysEveryElement) {
    using namespace qor::toolkit;
    ObjectList* list = nullptr;
    ASSERT_EQ(ObjectListCreate(&list), kStatusOk);
    ASSERT_TRUE(IsObjectList(list));
    int destroyed = 0;
    std::vector<Counted*> made;
    for (int k = 0; k < 9; ++k) {
        auto* c = AllocateObject<Counted>(DestroyCounted);
        c->counter = &destroyed;
        made.push_back(c);
    }
    ASSERT_EQ(ObjectListAppend(*list, made[0]), kStatusOk);
    EXPECT_EQ(list->capacity, 8u);
    ASSERT_EQ(ObjectListInsert(*list, 100, made[1]), kStatusOk);  // clamped to the end
    ASSERT_EQ(ObjectListInsert(*list, 0, made[2]), kStatusOk);    // moves the others up
    EXPECT_EQ(ObjectListGet(*list, 0), made[2]);
    EXPECT_EQ(ObjectListGet(*list, 1), made[0]);
    EXPECT_EQ(ObjectListGet(*list, 2), made[1]);
    EXPECT_EQ(ObjectListGet(*list, 3), nullptr);
    for (int k = 3; k < 9; ++k)
        ASSERT_EQ(ObjectListAppend(*list, made[k]), kStatusOk);
    EXPECT_EQ(list->count, 9u);
    EXPECT_EQ(list->capacity, 16u);
    ASSERT_EQ(ObjectListAppend(*list, nullptr), kStatusOk);  // null slots are skipped on destroy
    ObjectListDestroy(&list);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(destroyed, 9);
}

}  // namespace
