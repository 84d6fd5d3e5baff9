// Recovery of single files with the organisation's key, on real files in a scratch folder:
// every hostile stored name refused with nothing left behind, a good file written under its
// name for the administrator alone, an existing file never replaced, and the refusals for files
// without emergency access or for another key.
#include <gtest/gtest.h>
#include <qor/engine/crypt_options.h>
#include <qor/key_files.h>
#include <qor/platform/files.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "envelope_streams.h"
#include "file_trailer.h"
#include "recover_file.h"

namespace {

namespace fs = std::filesystem;
using qor::admin::RecoverFile;
using qor::admin::RecoveryResult;
using qor::test::Bytes;
using qor::toolkit::RsaPrivateKey;

struct Mt {
    std::mt19937_64 rng;
    explicit Mt(uint64_t seed) : rng(seed) {}
    static int Generate(void* context, unsigned char* out, unsigned int length) {
        auto* self = static_cast<Mt*>(context);
        for (unsigned int i = 0; i < length; ++i)
            out[i] = static_cast<unsigned char>(self->rng());
        return 0;
    }
    qor::toolkit::RandomSource source() { return {Generate, this}; }
};

const RsaPrivateKey& Key(int which) {
    static const std::vector<RsaPrivateKey> keys = [] {
        std::vector<RsaPrivateKey> k(2);
        Mt random(31);
        for (RsaPrivateKey& key : k)
            EXPECT_EQ(qor::toolkit::RsaGenerateKey(1024, 65537, random.source(), nullptr, &key),
                      kStatusOk);
        return k;
    }();
    return keys[static_cast<size_t>(which)];
}

Bytes PublicBer(const RsaPrivateKey& key) {
    qor::SecureBuffer ber;
    EXPECT_EQ(qor::toolkit::RsaPublicKeyBer(key, &ber), kStatusOk);
    return Bytes(ber.data(), ber.data() + ber.size());
}

class RecoverFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("qor-admin-test-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_ / "in");
        fs::create_directories(root_ / "out");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // A local file sealed for `keys` holding `name` (none: no attribute list at all).
    std::string Write(const std::string& file, const std::string& name, const Bytes& plain,
                      const std::vector<Bytes>& keys) {
        qor::test::SealOptions options;
        options.fileName = name;
        options.publicKeys = keys;
        Bytes sealed;
        EXPECT_EQ(qor::test::Seal(plain, options, sealed), kStatusOk);
        const std::vector<uint8_t> trailer = qor::engine::BuildTrailer(
            "x", static_cast<int32_t>(plain.size()), qor::engine::kModeLocal, nullptr, nullptr);
        sealed.insert(sealed.end(), trailer.begin(), trailer.end());
        const fs::path path = root_ / "in" / file;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(sealed.data()),
                   static_cast<std::streamsize>(sealed.size()));
        return path.string();
    }

    RecoveryResult Recover(const std::string& path, int key = 0) {
        return RecoverFile(Key(key), path, Out(), random_.source());
    }
    std::string Out() const { return (root_ / "out").string(); }
    size_t OutCount() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(root_ / "out"), {}));
    }

    fs::path root_;
    Mt random_{9};
};

Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST_F(RecoverFileTest, HostileStoredNamesAreRefusedAndLeaveNothing) {
    std::vector<std::pair<std::string, std::string>> names = {
        {"../escaped.txt", "../escaped.txt"},
        {"..\\escaped.txt", "..\\escaped.txt"},
        {"/tmp/escaped.txt", "/tmp/escaped.txt"},
        {"C:escaped.txt", "C:escaped.txt"},
        {"line\nbreak", "line?break"},
        {".", "."},
        {"..", ".."},
        {std::string(256, 'a'), std::string(256, 'a')},
    };
#ifdef _WIN32
    names.push_back({"con.txt", "con.txt"});
    names.push_back({"a:stream", "a:stream"});
    names.push_back({"trailing.", "trailing."});
#endif
    int n = 0;
    for (const auto& [name, shown] : names) {
        const std::string path = Write("hostile" + std::to_string(++n) + ".!!!", name,
                                       Bytes(50, 0x41), {PublicBer(Key(0))});
        const RecoveryResult r = Recover(path);
        EXPECT_FALSE(r.recovered) << shown;
        EXPECT_EQ(r.message, path + ": the name stored in it (\"" + shown +
                                 "\") is not a plain file name; nothing was written");
    }
    EXPECT_EQ(OutCount(), 0u) << "a temporary or plaintext file was left behind";
    EXPECT_FALSE(fs::exists(root_ / "escaped.txt"));
    EXPECT_FALSE(fs::exists(root_ / "in" / "escaped.txt"));

    const std::string nameless = Write("nameless.!!!", "", Bytes(5, 1), {PublicBer(Key(0))});
    EXPECT_EQ(Recover(nameless).message, nameless + ": holds no stored name; nothing was written");
    EXPECT_EQ(OutCount(), 0u);
}

TEST_F(RecoverFileTest, AGoodFileUnderItsNameAndNeverOverAnother) {
    Bytes plain(30000);
    for (size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<uint8_t>(i * 13);
    const std::string path = Write("report(doc).!!!", "report.doc", plain, {PublicBer(Key(0))});
    RecoveryResult r = Recover(path);
    ASSERT_TRUE(r.recovered) << r.message;
    const fs::path target = root_ / "out" / "report.doc";
    EXPECT_EQ(r.message, path + ": recovered as " + target.string());
    EXPECT_EQ(Read(target), plain);
    EXPECT_TRUE(fs::exists(path));  // the encrypted file stays
#ifndef _WIN32
    EXPECT_EQ(qor::platform::GetPermissions(target.string()) & 0777u, 0600u);
#endif

    // Again: the recovered file is there and stays as it is.
    std::ofstream(target, std::ios::binary | std::ios::trunc) << "the administrator's edits";
    r = Recover(path);
    EXPECT_FALSE(r.recovered);
    EXPECT_EQ(r.message, path + ": \"" + target.string() +
                             "\" already exists and was left unchanged; nothing was written");
    const Bytes kept = Read(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the administrator's edits");
    EXPECT_EQ(OutCount(), 1u);

    // Without --out the plaintext lands beside the encrypted file.
    const RecoveryResult beside = RecoverFile(Key(0), path, "", random_.source());
    ASSERT_TRUE(beside.recovered) << beside.message;
    EXPECT_EQ(Read(root_ / "in" / "report.doc"), plain);
}

TEST_F(RecoverFileTest, FilesWithoutEmergencyAccessOrForAnotherKey) {
    const std::string none = Write("none.!!!", "none.txt", Bytes(10, 2), {});
    EXPECT_EQ(Recover(none).message, none + ": has no emergency access; nothing was written");
    const std::string other = Write("other.!!!", "other.txt", Bytes(10, 3), {PublicBer(Key(1))});
    RecoveryResult r = Recover(other);
    EXPECT_FALSE(r.recovered);
    EXPECT_EQ(r.message.rfind(other + ": encrypted for another emergency key (fingerprint ", 0), 0u)
        << r.message;
    EXPECT_EQ(OutCount(), 0u);
    r = Recover(other, 1);
    EXPECT_TRUE(r.recovered) << r.message;
    const std::string plain = (root_ / "in" / "plain.txt").string();
    std::ofstream(plain) << "not encrypted";
    EXPECT_EQ(Recover(plain).message,
              plain + ": not a file encrypted by QOR Vaultis; nothing was written");
}

}  // namespace
