// The trailer's bytes, the item search, the stream binding and the small file operations.
#include <qor/engine/file_share.h>
#include <qor/platform/files.h>

#include <cmath>
#include <cstring>

#include "engine_internal.h"
#include "engine_test_support.h"
#include "file_stream.h"
#include "file_trailer.h"

namespace qor::engine::test {

namespace {

using platform::File;

// MD5 written out here, so that the key derivation is checked against something that does not
// share the toolkit's code.
Bytes Md5(const Bytes& message) {
    static const uint32_t s[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                   5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                   4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                   6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    uint32_t k[64];
    for (int i = 0; i < 64; ++i)
        k[i] = static_cast<uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
    uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    Bytes m = message;
    const uint64_t bits = static_cast<uint64_t>(message.size()) * 8;
    m.push_back(0x80);
    while (m.size() % 64 != 56)
        m.push_back(0);
    for (int i = 0; i < 8; ++i)
        m.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    for (size_t at = 0; at < m.size(); at += 64) {
        uint32_t w[16];
        for (int i = 0; i < 16; ++i)
            w[i] = static_cast<uint32_t>(m[at + 4 * i]) |
                   (static_cast<uint32_t>(m[at + 4 * i + 1]) << 8) |
                   (static_cast<uint32_t>(m[at + 4 * i + 2]) << 16) |
                   (static_cast<uint32_t>(m[at + 4 * i + 3]) << 24);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            const uint32_t rotated = a + f + k[i] + w[g];
            a = d;
            d = c;
            c = b;
            b = b + ((rotated << s[i]) | (rotated >> (32 - s[i])));
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
    }
    Bytes out;
    for (uint32_t v : h)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

}  // namespace

TEST(Trailer, LocalLayoutIsByteExact) {
    const Bytes trailer = BuildTrailer("a.b", 0x01020304, kModeLocal, nullptr, nullptr);
    const Bytes expected = {1,    2,  // header, version
                            1,    1, 13, 0, 'a', '.', 'b', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // name
                            1,    2, 4,  0, 4,   3,   2,   1,                             // size
                            0,    3, 2,  0, 2,   0,                                       // mode
                            0x23, 0};
    EXPECT_EQ(trailer, expected);
    const Bytes unknown = BuildTrailer("abcdefghijklmnopq.txt", -1, kModeLocal, nullptr, nullptr);
    ASSERT_EQ(unknown.size(), 35u);
    EXPECT_EQ(Bytes(unknown.begin() + 6, unknown.begin() + 19), Text("abcdefghijklm"))
        << "cut to 13 bytes without terminator";
    EXPECT_EQ(Bytes(unknown.begin() + 23, unknown.begin() + 27), Bytes(4, 0xff));
    const Bytes twelve = BuildTrailer("abcdefghijkl", 0, kModeLocal, nullptr, nullptr);
    EXPECT_EQ(twelve[18], 0) << "a 12-character name keeps its terminator";
}

TEST(Trailer, FileShareLayoutIsByteExact) {
    Bytes check(16), salt(16);
    for (int i = 0; i < 16; ++i) {
        check[i] = static_cast<uint8_t>(0xc0 + i);
        salt[i] = static_cast<uint8_t>(0x50 + i);
    }
    const Bytes trailer = BuildTrailer("x", 7, kModeFileShare, check.data(), salt.data());
    ASSERT_EQ(trailer.size(), 75u);
    EXPECT_EQ(Bytes(trailer.begin() + 27, trailer.begin() + 33), Bytes({0, 3, 2, 0, 1, 0}));
    EXPECT_EQ(Bytes(trailer.begin() + 33, trailer.begin() + 37), Bytes({0, 4, 16, 0}));
    EXPECT_EQ(Bytes(trailer.begin() + 37, trailer.begin() + 53), check);
    EXPECT_EQ(Bytes(trailer.begin() + 53, trailer.begin() + 57), Bytes({0, 5, 16, 0}));
    EXPECT_EQ(Bytes(trailer.begin() + 57, trailer.begin() + 73), salt);
    EXPECT_EQ(trailer[73], 0x4b);
    EXPECT_EQ(trailer[74], 0);
}

TEST(Trailer, ParserKnowsVersionsTwoAndOne) {
    const Bytes v2 = BuildTrailer("n", 1234, kModeFileShare, Bytes(16).data(), Bytes(16).data());
    TrailerInfo info;
    ASSERT_TRUE(ParseTrailer(v2.data(), v2.size(), &info));
    EXPECT_EQ(info.version, 2);
    EXPECT_EQ(info.mode, kModeFileShare);
    EXPECT_EQ(info.plaintextSize, 1234);

    Bytes v1(35, 0);
    v1[0] = 1;
    v1[1] = 1;
    v1[24] = 0x10;
    v1[25] = 0x27;  // 10000 one byte further on than version 2 keeps it
    v1[31] = 1;     // not interpreted
    ASSERT_TRUE(ParseTrailer(v1.data(), v1.size(), &info));
    EXPECT_EQ(info.version, 1);
    EXPECT_EQ(info.mode, kModeLocal);
    EXPECT_EQ(info.plaintextSize, 10000);

    v1[1] = 3;
    EXPECT_FALSE(ParseTrailer(v1.data(), v1.size(), &info));
}

class TrailerSearch : public EngineTest {};

TEST_F(TrailerSearch, FindsItemsAndRefusesBrokenTrailers) {
    Bytes check(16, 0xcc), salt(16, 0x55);
    const Bytes trailer = BuildTrailer("x", 7, kModeFileShare, check.data(), salt.data());
    const std::string path = Path("f", "x.s!!");
    WriteAll(path, Concat({Pattern(500), trailer}));
    File file =
        File::Open(path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting);
    ASSERT_TRUE(file.IsOpen());
    for (const auto& [type, value] : {std::pair<uint8_t, Bytes>{kItemCheckValue, check},
                                      std::pair<uint8_t, Bytes>{kItemSalt, salt}}) {
        EXPECT_EQ(FindTrailerItem(file, 1, type), -1) << "flag 1 is not the stored flag";
        ASSERT_EQ(FindTrailerItem(file, 0, type), 0);
        uint8_t got[18];
        uint32_t n = 0;
        ASSERT_TRUE(file.Read(got, 18, &n));
        EXPECT_EQ(Bytes(got, got + 18), Concat({{16, 0}, value}));
    }
    EXPECT_EQ(FindTrailerItem(file, 1, kItemSourceName), 0);
    EXPECT_EQ(FindTrailerItem(file, 0, 9), -1);
    file.Close();

    // The last 75 bytes cut off: what is left ends in no trailer length that fits.
    WriteAll(path, Pattern(500));
    file = File::Open(path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting);
    EXPECT_EQ(FindTrailerItem(file, 0, kItemCheckValue), -1);
    file.Close();
    for (const Bytes& tail : {Bytes{1, 0}, Bytes{0xff, 0xff}, Bytes{}}) {
        WriteAll(path, Concat({Bytes(3, 0), tail}));
        file =
            File::Open(path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting);
        EXPECT_EQ(FindTrailerItem(file, 0, kItemCheckValue), -1);
        file.Close();
    }
}

TEST_F(TrailerSearch, StreamBindingAnswersLikeTheFileCalls) {
    const std::string path = Path("f", "data");
    const Bytes data = Pattern(100000);
    WriteAll(path, data);
    File file =
        File::Open(path, platform::kAccessRead, platform::kShareNone, platform::kOpenExisting);
    FileStream limited(&file, 99000);
    StreamRecord* r = limited.record();
    EXPECT_EQ(r->slot1(r->context), 288);
    EXPECT_EQ(r->slot2(r->context), 288);
    EXPECT_EQ(r->slot4(r->context), 288);
    Bytes got;
    unsigned char buffer[8144];
    unsigned int count = 1;
    int status = 0;
    while ((status = r->read(buffer, &count, sizeof buffer, r->context)) == 0) {
        ASSERT_LE(count, sizeof buffer);
        got.insert(got.end(), buffer, buffer + count);
    }
    EXPECT_EQ(status, kStreamEnd);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(got, Bytes(data.begin(), data.begin() + 99000)) << "stops at the limit";

    File closed;
    FileStream broken(&closed);
    r = broken.record();
    EXPECT_EQ(r->read(buffer, &count, 10, r->context), 288);
    EXPECT_EQ(r->write(buffer, 10, r->context), 288);
}

TEST_F(TrailerSearch, DeriveShareKeyIsMd5OfPasswordSaltPassword) {
    EXPECT_EQ(Md5({}), Bytes({0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04, 0xe9, 0x80, 0x09,
                              0x98, 0xec, 0xf8, 0x42, 0x7e}));
    const Bytes salt = Pattern(16, 9);
    uint8_t key[16], check[16];
    ASSERT_EQ(DeriveShareKey("one-time", salt.data(), key, check), 0);
    const Bytes expectedKey = Md5(Concat({Text("one-time"), salt, Text("one-time")}));
    EXPECT_EQ(Bytes(key, key + 16), expectedKey);
    EXPECT_EQ(Bytes(check, check + 16), Md5(Concat({expectedKey, expectedKey})));
}

uint32_t Zero() {
    return 0;
}

TEST_F(TrailerSearch, TemporaryNamesSkipTakenNamesAndGiveUp) {
    const std::string encrypted = Path("t", "file.!!!");
    std::string name;
    ASSERT_EQ(MakeTempName(encrypted, &name), 0);
    const std::string base = NamePart(name);
    ASSERT_EQ(base.size(), 11u);
    EXPECT_EQ(base.substr(0, 3), "~fs");
    EXPECT_EQ(base.substr(6), "0.tmp");
    EXPECT_EQ(FolderPart(name), FolderPart(encrypted));

    SetTempNameRandomForTesting(&Zero);
    ASSERT_EQ(MakeTempName(encrypted, &name), 0);
    EXPECT_EQ(NamePart(name), "~fs0000.tmp");
    for (char c = '0'; c <= '9'; ++c)
        WriteAll(Path("t", std::string("~fs000") + c + ".tmp"), {});
    ASSERT_EQ(MakeTempName(encrypted, &name), 0);
    EXPECT_EQ(NamePart(name), "~fs000a.tmp") << "letters follow the digits";
    for (char c = 'a'; c <= 'z'; ++c)
        WriteAll(Path("t", std::string("~fs000") + c + ".tmp"), {});
    EXPECT_EQ(MakeTempName(encrypted, &name), -1);
    SetTempNameRandomForTesting(nullptr);
}

TEST_F(TrailerSearch, OverwriteWritesWholeBannerBlocks) {
    const Bytes banner = Text("------------- QOR Vaultis --------------");
    for (const auto& [size, blocks] : {std::pair<size_t, size_t>{0, 0},
                                       {1, 1},
                                       {512, 1},
                                       {513, 2},
                                       {5000, 10},
                                       {65536, 128},
                                       {65537, 129},
                                       {200000, 391},
                                       {1048576, 2048},
                                       {2200000, 4297}}) {
        const std::string path = Path("o", "file");
        WriteAll(path, Pattern(size));
        hookCalls_ = 0;
        ASSERT_EQ(OverwriteFile(path, &hook_), 0);
        const Bytes after = ReadAll(path);
        ASSERT_EQ(after.size(), blocks * 512) << size;
        // The blocks go out 2048 (1 MiB) to a write, the hook called after each write.
        EXPECT_EQ(hookCalls_, static_cast<int>((blocks + 2047) / 2048));
        for (size_t b = 0; b < blocks; ++b) {
            EXPECT_EQ(Bytes(after.begin() + static_cast<long>(b * 512),
                            after.begin() + static_cast<long>(b * 512 + 40)),
                      banner);
            EXPECT_EQ(Bytes(after.begin() + static_cast<long>(b * 512 + 40),
                            after.begin() + static_cast<long>(b * 512 + 512)),
                      Bytes(472, 0));
        }
    }
}

TEST_F(TrailerSearch, SelfExtractingNamesAndStubPath) {
    const std::string sep(1, platform::kSeparator);
    const std::string folder = Folder("my.dir");
    std::string name;
    EXPECT_EQ(SelfExtractingName(folder + sep + "report.doc", &name), 0);
    EXPECT_EQ(name, folder + sep + "report.exe");
    EXPECT_EQ(SelfExtractingName(folder + sep + "archive", &name), 0);
    EXPECT_EQ(name, folder + sep + "archive.exe");
    EXPECT_EQ(SelfExtractingName(folder + sep + "notes", &name), 0);
    EXPECT_EQ(name, folder + sep + "notes.exe") << "the folder's dot is left alone";
    WriteAll(folder + sep + "report.exe", {1});
    EXPECT_EQ(SelfExtractingName(folder + sep + "report.doc", &name), -1);
    EXPECT_EQ(name, folder + sep + "report.exe");

    EXPECT_EQ(StubPath(), home_ + sep + "decexe");
}

}  // namespace qor::engine::test
