// The self-extracting decryptor: its image-length parsers on the real built stub and on
// hand-made headers, the trailer and name checks, and whole self-extracting programs built
// here and run with the one-time password on standard input.
#include <gtest/gtest.h>
#include <qor/toolkit.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "minimal_images.h"
#include "self_extract.h"

namespace {

using qor::test::Bytes;
using qor::test::MinimalElf64;
using qor::test::MinimalPe;
using qor::test::PutLe16;
using qor::test::PutLe32;
using qor::test::PutLe64;
namespace fs = std::filesystem;

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class MemorySource : public qor::stub::ByteSource {
  public:
    explicit MemorySource(const Bytes& bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, uint8_t* out, size_t length) override {
        if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), length, out);
        return true;
    }

  private:
    const Bytes& bytes_;
};

std::optional<uint64_t> LengthOf(const Bytes& bytes) {
    MemorySource source(bytes);
    return qor::stub::ImageLength(source);
}

const fs::path kStubPath = fs::path(QOR_DECEXE_PATH);

// ---- Image length -------------------------------------------------------------------------

TEST(ImageLength, OfTheBuiltStubIsItsFileSize) {
    const Bytes stub = ReadBytes(kStubPath);
    ASSERT_GT(stub.size(), 1024u);
    MemorySource source(stub);
#ifdef _WIN32
    EXPECT_EQ(qor::stub::PeImageLength(source), stub.size());
    EXPECT_EQ(qor::stub::ElfImageLength(source), std::nullopt);
#else
    EXPECT_EQ(qor::stub::ElfImageLength(source), stub.size());
    EXPECT_EQ(qor::stub::PeImageLength(source), std::nullopt);
#endif
    // Whatever follows the image leaves its length unchanged.
    EXPECT_EQ(LengthOf(Cat(stub, Bytes(5000, 0x30))), stub.size());
}

TEST(ImageLength, RefusesCutAndForeignFiles) {
    const Bytes stub = ReadBytes(kStubPath);
    ASSERT_GT(stub.size(), 1024u);
    // Cut short, the tables point beyond the file.
    EXPECT_EQ(
        LengthOf(Bytes(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(stub.size() / 2))),
        std::nullopt);
    EXPECT_EQ(LengthOf(Bytes(stub.begin(), stub.begin() + 40)), std::nullopt);
    EXPECT_EQ(LengthOf(Bytes()), std::nullopt);
    EXPECT_EQ(LengthOf(Bytes(4096, 0x41)), std::nullopt);
}

TEST(ImageLength, ElfCoversSectionTableSectionsAndSegments) {
    Bytes elf = MinimalElf64();
    elf.resize(0x380);  // section table: 0x300 + 2 * 64
    EXPECT_EQ(LengthOf(elf), 0x380u);

    // A segment reaching further than the section table decides the length.
    Bytes far = MinimalElf64();
    PutLe64(far, 64 + 56 + 8, 0x3c0);
    far.resize(0x400);
    EXPECT_EQ(LengthOf(far), 0x400u);
    // Uninitialised data takes no file space, wherever its header says it lies.
    Bytes noBits = MinimalElf64();
    noBits.resize(0x380);
    PutLe32(noBits, 0x300 + 64 + 4, 8);
    PutLe64(noBits, 0x300 + 64 + 24, 0x100000);
    EXPECT_EQ(LengthOf(noBits), 0x380u);
}

TEST(ImageLength, ElfRefusesExtentsOutsideTheFile) {
    Bytes b = MinimalElf64();
    PutLe64(b, 64 + 32, ~uint64_t{0});  // offset + size overflows
    EXPECT_EQ(LengthOf(b), std::nullopt);
    b = MinimalElf64();
    PutLe64(b, 40, ~uint64_t{0} - 8);
    EXPECT_EQ(LengthOf(b), std::nullopt);
    b = MinimalElf64();
    PutLe16(b, 58, 8);  // entries smaller than a section header
    EXPECT_EQ(LengthOf(b), std::nullopt);
    b = MinimalElf64();
    PutLe16(b, 60, 0xff00);  // more sections than the file holds
    EXPECT_EQ(LengthOf(b), std::nullopt);
    b = MinimalElf64();
    b[5] = 2;  // big-endian
    EXPECT_EQ(LengthOf(b), std::nullopt);
}

TEST(ImageLength, PeCoversSectionsCertificatesAndSymbols) {
    for (uint32_t magic : {0x10bu, 0x20bu}) {
        SCOPED_TRACE(magic);
        const uint32_t directories = magic == 0x20b ? 112 : 96;
        Bytes pe = MinimalPe(magic);
        EXPECT_EQ(LengthOf(pe), 0x500u);
        EXPECT_EQ(LengthOf(Cat(pe, Bytes(300, 0x30))), 0x500u);

        Bytes signed_ = MinimalPe(magic);
        signed_.resize(0x580);
        PutLe32(signed_, 0x98 + directories + 4 * 8, 0x500);
        PutLe32(signed_, 0x98 + directories + 4 * 8 + 4, 0x80);
        EXPECT_EQ(LengthOf(Cat(signed_, Bytes(10, 0))), 0x580u);

        // Symbols: 2 records of 18 bytes, then a string table of 10 bytes with its length.
        Bytes symbols = MinimalPe(magic);
        PutLe32(symbols, 0x84 + 8, 0x500);
        PutLe32(symbols, 0x84 + 12, 2);
        symbols.resize(0x500 + 36 + 10);
        PutLe32(symbols, 0x500 + 36, 10);
        EXPECT_EQ(LengthOf(Cat(symbols, Bytes(64, 0x30))), 0x500u + 46);
    }
}

TEST(ImageLength, PeRefusesExtentsOutsideTheFile) {
    Bytes b = MinimalPe(0x20b);
    PutLe32(b, 0x3c, 0xfffffff0);
    EXPECT_EQ(LengthOf(b), std::nullopt);
    b = MinimalPe(0x20b);
    PutLe32(b, 0x98 + 112 + 128 + 40 + 20, 0xffffff00);  // raw data far beyond the end
    EXPECT_EQ(LengthOf(b), std::nullopt);
    b = MinimalPe(0x20b);
    PutLe32(b, 0x98 + 112 + 4 * 8, 0x4f0);  // certificate table running past the end
    PutLe32(b, 0x98 + 112 + 4 * 8 + 4, 0x20);
    EXPECT_EQ(LengthOf(b), std::nullopt);
    b = MinimalPe(0x20b);
    PutLe16(b, 0x84 + 2, 0xffff);  // section table larger than the file
    EXPECT_EQ(LengthOf(b), std::nullopt);
    b = MinimalPe(0x20b);
    PutLe16(b, 0x98, 0x107);  // unknown optional header
    EXPECT_EQ(LengthOf(b), std::nullopt);
}

// ---- Trailer, key and name ----------------------------------------------------------------

Bytes Salt() {
    Bytes s(16);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<uint8_t>(0xa0 + 7 * i);
    return s;
}

// Written out step by step, independently of the stub's own derivation.
void Derive(const std::string& password, const Bytes& salt, Bytes& key, Bytes& check) {
    DigestObject* d = nullptr;
    ASSERT_EQ(DigestCreate(&d, kDigestMd5), kStatusOk);
    const auto* pw = reinterpret_cast<const unsigned char*>(password.data());
    const auto n = static_cast<unsigned int>(password.size());
    unsigned char* out = nullptr;
    unsigned int outLength = 0;
    ASSERT_EQ(DigestUpdate(d, pw, n), kStatusOk);
    ASSERT_EQ(DigestUpdate(d, salt.data(), 16), kStatusOk);
    ASSERT_EQ(DigestUpdate(d, pw, n), kStatusOk);
    ASSERT_EQ(DigestFinal(&out, &outLength, d, nullptr, 0), kStatusOk);
    key.assign(out, out + outLength);
    ASSERT_EQ(DigestUpdate(d, key.data(), 16), kStatusOk);
    ASSERT_EQ(DigestUpdate(d, key.data(), 16), kStatusOk);
    ASSERT_EQ(DigestFinal(&out, &outLength, d, nullptr, 0), kStatusOk);
    check.assign(out, out + outLength);
    DigestDestroy(&d);
}

Bytes Trailer(const std::string& name, int32_t size, const Bytes& check, const Bytes& salt) {
    Bytes t = {0x01, 0x02, 0x01, 0x01, 0x0d, 0x00};
    Bytes field(13, 0);
    std::copy_n(name.begin(), std::min<size_t>(name.size(), 13), field.begin());
    t = Cat(t, field);
    t = Cat(t, {0x01, 0x02, 0x04, 0x00});
    Bytes sizeBytes(4);
    PutLe32(sizeBytes, 0, static_cast<uint32_t>(size));
    t = Cat(t, sizeBytes);
    t = Cat(t, {0x00, 0x03, 0x02, 0x00, 0x01, 0x00});
    t = Cat(t, {0x00, 0x04, 0x10, 0x00});
    t = Cat(t, check);
    t = Cat(t, {0x00, 0x05, 0x10, 0x00});
    t = Cat(t, salt);
    return Cat(t, {0x4b, 0x00});
}

TEST(ShareKey, MatchesTheDigestOfPasswordSaltPassword) {
    Bytes key, check;
    Derive("tiger lily", Salt(), key, check);
    uint8_t k[16], c[16];
    ASSERT_TRUE(qor::stub::DeriveShareKey(reinterpret_cast<const uint8_t*>("tiger lily"), 10,
                                          Salt().data(), k, c));
    EXPECT_EQ(Bytes(k, k + 16), key);
    EXPECT_EQ(Bytes(c, c + 16), check);
    ASSERT_TRUE(qor::stub::DeriveShareKey(reinterpret_cast<const uint8_t*>("tiger lilY"), 10,
                                          Salt().data(), k, c));
    EXPECT_NE(Bytes(c, c + 16), check);
}

TEST(ShareTrailer, ReadsCheckAndSaltByFlagAndType) {
    const Bytes check(16, 0xc4), salt = Salt();
    Bytes t = Trailer("report.doc", 1234, check, salt);
    ASSERT_EQ(t.size(), 75u);
    auto parsed = qor::stub::ParseShareTrailer(t.data(), t.size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(Bytes(parsed->check, parsed->check + 16), check);
    EXPECT_EQ(Bytes(parsed->salt, parsed->salt + 16), salt);

    // Check value and salt swapped in place but typed correctly: found by type, not place.
    Bytes swapped = t;
    std::swap_ranges(swapped.begin() + 33, swapped.begin() + 53, swapped.begin() + 53);
    parsed = qor::stub::ParseShareTrailer(swapped.data(), swapped.size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(Bytes(parsed->check, parsed->check + 16), check);

    // Of two check values, the one flagged 1 counts, wherever it stands.
    const Bytes early(16, 0x0e), late(16, 0x1a);
    Bytes two = {0x01, 0x02, 0x00, 0x04, 0x10, 0x00};
    two = Cat(Cat(two, early), {0x01, 0x04, 0x10, 0x00});
    two = Cat(Cat(two, late), {0x00, 0x05, 0x10, 0x00});
    two = Cat(Cat(two, salt), {0x01, 0x01, 0x07, 0x00, 'a', 'b', 'c', 0, 0, 0, 0, 0x4b, 0x00});
    ASSERT_EQ(two.size(), 75u);
    parsed = qor::stub::ParseShareTrailer(two.data(), two.size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(Bytes(parsed->check, parsed->check + 16), late);
    EXPECT_EQ(Bytes(parsed->salt, parsed->salt + 16), salt);
}

TEST(ShareTrailer, RefusesMalformedRecords) {
    const Bytes good = Trailer("report.doc", 1, Bytes(16, 1), Salt());
    auto refused = [](Bytes t) { return !qor::stub::ParseShareTrailer(t.data(), t.size()); };
    Bytes b = good;
    b[73] = 0x23;  // a local trailer's length
    EXPECT_TRUE(refused(b));
    b = good;
    b[4] = 0;  // zero-length item stops the walk
    EXPECT_TRUE(refused(b));
    b = good;
    b[4] = 64;  // longer than any item
    EXPECT_TRUE(refused(b));
    b = good;
    b[35] = 15;  // check value of the wrong size
    EXPECT_TRUE(refused(b));
    b = good;
    b[55] = 0x11;  // salt running into the record's length
    EXPECT_TRUE(refused(b));
    EXPECT_FALSE(qor::stub::ParseShareTrailer(good.data(), 74));
}

std::optional<std::string> Name(const std::string& stored) {
    return qor::stub::SafeStoredName(reinterpret_cast<const uint8_t*>(stored.data()),
                                     stored.size());
}

TEST(StoredName, PlainNamesPassWithoutTheirTerminator) {
    EXPECT_EQ(Name(std::string("report.doc\0", 11)), "report.doc");
    EXPECT_EQ(Name("REPORT~1.DOC"), "REPORT~1.DOC");
    EXPECT_EQ(Name(".profile"), ".profile");
    EXPECT_EQ(Name("console.txt"), "console.txt");
}

TEST(StoredName, NamesThatLeaveTheFolderOrOpenDevicesAreRefused) {
    for (const std::string& bad : {std::string(""),         std::string("\0", 1),
                                   std::string("."),        std::string(".."),
                                   std::string("..\0", 3),  std::string("../evil"),
                                   std::string("..\\evil"), std::string("/etc/passwd"),
                                   std::string("sub/file"), std::string("c:evil"),
                                   std::string("C:\\x"),    std::string("file.txt:stream"),
                                   std::string("a\nb"),     std::string("a\x1b[2Jb"),
                                   std::string("a\x7f"),    std::string("in\0side", 7),
                                   std::string("what?"),    std::string("a*b"),
                                   std::string("a|b"),      std::string("trail."),
                                   std::string("trail "),   std::string("CON"),
                                   std::string("nul.txt"),  std::string("Com1.doc"),
                                   std::string("lpt9"),     std::string(300, 'a')}) {
        EXPECT_EQ(Name(bad), std::nullopt) << qor::stub::Printable(bad);
    }
}

// ---- Whole self-extracting programs ---------------------------------------------------------

struct MemoryReader {
    const Bytes* data;
    size_t at = 0;
};
int ReadMemory(unsigned char* buffer, unsigned int* count, unsigned int maximum, void* context) {
    auto* r = static_cast<MemoryReader*>(context);
    const size_t n = std::min<size_t>(maximum, r->data->size() - r->at);
    *count = static_cast<unsigned int>(n);
    if (n == 0) return kStreamEnd;
    std::copy_n(r->data->begin() + static_cast<std::ptrdiff_t>(r->at), n, buffer);
    r->at += n;
    return 0;
}
int WriteMemory(const unsigned char* bytes, unsigned int length, void* context) {
    static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), bytes,
                                         bytes + length);
    return 0;
}

Bytes SealFor(const Bytes& plain, const Bytes& key, const std::string& storedName) {
    RandomObject* random = nullptr;
    EXPECT_EQ(RandomCreate(&random), kStatusOk);
    Bytes seed(256);
    for (size_t i = 0; i < seed.size(); ++i)
        seed[i] = static_cast<uint8_t>(i * 31 + 5);
    EXPECT_EQ(RandomSeed(random, seed.data(), 256), kStatusOk);
    EnvelopeObject* envelope = nullptr;
    EXPECT_EQ(EnvelopeCreate(&envelope), kStatusOk);
    EXPECT_EQ(EnvelopeAddPassword(envelope, key.data(), 16, 1), kStatusOk);
    AttributeList* attributes = nullptr;
    EXPECT_EQ(AttributeListCreate(&attributes), kStatusOk);
    EXPECT_EQ(AttributeListSetFileName(attributes,
                                       reinterpret_cast<const unsigned char*>(storedName.data()),
                                       static_cast<unsigned int>(storedName.size())),
              kStatusOk);
    MemoryReader reader{&plain};
    Bytes sealed;
    StreamRecord in{nullptr, nullptr, ReadMemory, nullptr, nullptr, &reader};
    StreamRecord out{nullptr, nullptr, nullptr, nullptr, WriteMemory, &sealed};
    EXPECT_EQ(EnvelopeSeal(&out, envelope, &in, 1, 40, random, attributes, nullptr), kStatusOk);
    AttributeListDestroy(&attributes);
    EnvelopeDestroy(&envelope);
    RandomDestroy(&random);
    return sealed;
}

struct RunResult {
    int exit = -1;
    std::string output;
};

std::string Text(const fs::path& path) {
    const Bytes b = ReadBytes(path);
    return std::string(b.begin(), b.end());
}

class SelfExtracting : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        for (;;) {
            root_ = fs::temp_directory_path() /
                    ("qor-stub-" + std::to_string(random()) + "-" + std::to_string(random()));
            if (fs::create_directory(root_)) break;
        }
        run_ = root_ / "run";
        fs::create_directory(run_);
        stub_ = ReadBytes(kStubPath);
        ASSERT_FALSE(stub_.empty());
        plain_.resize(70000);
        for (size_t i = 0; i < plain_.size(); ++i)
            plain_[i] = static_cast<uint8_t>((i * i) ^ (i >> 7));
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(root_, error);
    }

    // stub + envelope sealed for `password` + trailer, as "report.exe" in the run folder.
    void Build(const std::string& password, const std::string& storedName) {
        Bytes key, check;
        Derive(password, Salt(), key, check);
        const Bytes envelope = SealFor(plain_, key, storedName);
        Write(Cat(Cat(stub_, envelope),
                  Trailer(storedName, static_cast<int32_t>(plain_.size()), check, Salt())));
    }
    void Write(const Bytes& program) {
        WriteBytes(run_ / "report.exe", program);
        fs::permissions(run_ / "report.exe", fs::perms::owner_all, fs::perm_options::add);
    }

    RunResult Run(const std::string& password) {
        WriteBytes(root_ / "pw.txt", Bytes(password.begin(), password.end()));
        RunResult result;
#ifdef _WIN32
        const std::string command = "cd /d \"" + run_.string() +
                                    "\" && report.exe --password-stdin <..\\pw.txt "
                                    ">..\\out.txt 2>&1";
        result.exit = std::system(command.c_str());
#else
        const std::string command = "cd '" + run_.string() +
                                    "' && ./report.exe --password-stdin <../pw.txt "
                                    ">../out.txt 2>&1; echo $? >../rc.txt";
        std::system(command.c_str());
        result.exit = std::atoi(Text(root_ / "rc.txt").c_str());
#endif
        result.output = Text(root_ / "out.txt");
        return result;
    }

    std::vector<std::string> RunFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(run_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path root_, run_;
    Bytes stub_, plain_;
};

using Names = std::vector<std::string>;

TEST_F(SelfExtracting, RightPasswordRestoresTheFileUnderItsStoredName) {
    Build("open sesame", std::string("report.doc\0", 11));
    const RunResult r = Run("open sesame\n");
    EXPECT_EQ(r.exit, 0) << r.output;
    EXPECT_NE(r.output.find("Wrote report.doc."), std::string::npos) << r.output;
    EXPECT_EQ(ReadBytes(run_ / "report.doc"), plain_);
    EXPECT_EQ(RunFolder(), (Names{"report.doc", "report.exe"}));

    // A second run finds the file there and leaves it alone.
    WriteBytes(run_ / "report.doc", Bytes{'m', 'i', 'n', 'e'});
    const RunResult again = Run("open sesame\r\n");
    EXPECT_EQ(again.exit, 3) << again.output;
    EXPECT_NE(again.output.find("already exists"), std::string::npos) << again.output;
    EXPECT_EQ(ReadBytes(run_ / "report.doc"), (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(RunFolder(), (Names{"report.doc", "report.exe"}));
}

TEST_F(SelfExtracting, WrongOrMissingPasswordWritesNothing) {
    Build("open sesame", std::string("report.doc\0", 11));
    for (const char* wrong : {"open sesamE\n", "open sesame \n", "open"}) {
        const RunResult r = Run(wrong);
        EXPECT_EQ(r.exit, 2) << r.output;
        EXPECT_NE(r.output.find("The password does not match this file."), std::string::npos)
            << r.output;
    }
    const RunResult none = Run("");
    EXPECT_EQ(none.exit, 1) << none.output;
    EXPECT_EQ(RunFolder(), (Names{"report.exe"}));
}

TEST_F(SelfExtracting, HostileStoredNamesAreRefused) {
    for (const std::string& stored : {std::string("../evil\0", 8), std::string("..\0", 3),
                                      std::string("sub\\evil\0", 9), std::string("c:evil\0", 7)}) {
        SCOPED_TRACE(qor::stub::Printable(stored));
        Build("pw", stored);
        const RunResult r = Run("pw\n");
        EXPECT_EQ(r.exit, 3) << r.output;
        EXPECT_NE(r.output.find("not a plain file name"), std::string::npos) << r.output;
        EXPECT_EQ(RunFolder(), (Names{"report.exe"}));
        EXPECT_FALSE(fs::exists(root_ / "evil"));
    }
}

TEST_F(SelfExtracting, DamagedOrMissingContentIsReported) {
    Write(stub_);
    RunResult r = Run("pw\n");
    EXPECT_EQ(r.exit, 1) << r.output;
    EXPECT_NE(r.output.find("This program holds no encrypted file."), std::string::npos)
        << r.output;

    // A flipped ciphertext byte fails the envelope's check after plaintext was written: the
    // partial file goes.
    Bytes key, check;
    Derive("pw", Salt(), key, check);
    Bytes envelope = SealFor(plain_, key, std::string("report.doc\0", 11));
    envelope[envelope.size() - 100] ^= 0x01;
    Write(Cat(Cat(stub_, envelope), Trailer("report.doc", 70000, check, Salt())));
    r = Run("pw\n");
    EXPECT_EQ(r.exit, 1) << r.output;
    EXPECT_EQ(RunFolder(), (Names{"report.exe"}));

    // Trailer missing: the envelope's own end is no substitute.
    Write(Cat(stub_, SealFor(plain_, key, std::string("report.doc\0", 11))));
    r = Run("pw\n");
    EXPECT_EQ(r.exit, 1) << r.output;
    EXPECT_NE(r.output.find("damaged"), std::string::npos) << r.output;
    EXPECT_EQ(RunFolder(), (Names{"report.exe"}));
}

}  // namespace
