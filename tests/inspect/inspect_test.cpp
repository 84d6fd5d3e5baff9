// The description of files without a secret, on files put together from the engine's trailer
// writer, the toolkit's envelopes and real program headers: each kind recognised with its
// parts, the fingerprint the user sees for the same key, every truncation and a flipped byte
// described as damaged without a crash, and no check value, salt or password in the text.
#include <gtest/gtest.h>
#include <qor/engine/crypt_options.h>
#include <qor/inspect/describe_file.h>
#include <qor/key_files.h>
#include <qor/profile/user_profile.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "envelope_streams.h"
#include "file_trailer.h"
#include "minimal_images.h"

namespace {

using namespace qor::inspect;
using qor::SecureBuffer;
using qor::test::Bytes;
using qor::test::SealOptions;

class MemorySource : public ByteSource {
  public:
    explicit MemorySource(Bytes bytes) : bytes_(std::move(bytes)) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, uint8_t* out, size_t length) override {
        if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
        if (length != 0) std::memcpy(out, bytes_.data() + offset, length);
        return true;
    }

  private:
    Bytes bytes_;
};

struct Mt {
    std::mt19937_64 rng{8};
    static int Generate(void* context, unsigned char* out, unsigned int length) {
        auto* self = static_cast<Mt*>(context);
        for (unsigned int i = 0; i < length; ++i)
            out[i] = static_cast<unsigned char>(self->rng());
        return 0;
    }
};

const Bytes& OrganisationKey() {
    static const Bytes ber = [] {
        Mt mt;
        qor::toolkit::RsaPrivateKey key;
        EXPECT_EQ(qor::toolkit::RsaGenerateKey(1024, 65537, {Mt::Generate, &mt}, nullptr, &key),
                  kStatusOk);
        SecureBuffer out;
        EXPECT_EQ(qor::toolkit::RsaPublicKeyBer(key, &out), kStatusOk);
        return Bytes(out.data(), out.data() + out.size());
    }();
    return ber;
}

const uint8_t kCheck[16] = {0xc1, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8,
                            0xc9, 0xca, 0xcb, 0xcc, 0xcd, 0xce, 0xcf, 0xd0};
const uint8_t kSalt[16] = {0x51, 0x52, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
                           0x59, 0x5a, 0x5b, 0x5c, 0x5d, 0x5e, 0x5f, 0x60};

// An encrypted file as the engine lays it out: program (optional), envelope, trailer.
Bytes EncryptedFile(const std::string& name, uint16_t mode, bool emergency,
                    const Bytes& program = {}, size_t plainSize = 3000) {
    SealOptions options;
    options.fileName = name;
    options.userName = "Alice";
    if (emergency) options.publicKeys = {OrganisationKey()};
    Bytes sealed;
    EXPECT_EQ(qor::test::Seal(Bytes(plainSize, 0x41), options, sealed), kStatusOk);
    const std::vector<uint8_t> trailer =
        qor::engine::BuildTrailer(name, static_cast<int32_t>(plainSize), mode, kCheck, kSalt);
    Bytes file = program;
    file.insert(file.end(), sealed.begin(), sealed.end());
    file.insert(file.end(), trailer.begin(), trailer.end());
    return file;
}

FileDescription Describe(const Bytes& file, const std::string& name = "file") {
    MemorySource source(file);
    return DescribeFile(source, name);
}

std::string Text(const FileDescription& d) {
    std::string all;
    for (const std::string& line : FormatDescription(d))
        all += line + "\n";
    return all;
}

std::string ProfileFingerprint(const Bytes& key) {
    qor::profile::UserProfile profile;
    uint8_t block[255] = {};
    std::memcpy(block, key.data(), key.size());
    profile.SetAttribute(qor::profile::kAttrEmergencyKey, block);
    char text[33] = {};
    EXPECT_EQ(profile.EmergencyFingerprint(text), 0);
    return text;
}

TEST(Inspect, EachKindWithItsParts) {
    using qor::engine::kModeFileShare;
    using qor::engine::kModeLocal;
    const Bytes local = EncryptedFile("report.doc", kModeLocal, true);
    FileDescription d = Describe(local);
    EXPECT_EQ(d.layout.kind, FileKind::kLocal);
    EXPECT_FALSE(d.damaged()) << Text(d);
    EXPECT_EQ(d.layout.trailerLength, 35u);
    EXPECT_EQ(d.layout.envelopeOffset, 0u);
    EXPECT_EQ(d.layout.envelopeLength, local.size() - 35);
    EXPECT_EQ(d.layout.storedName, "report.doc");
    EXPECT_EQ(d.layout.plaintextSize, 3000);
    ASSERT_EQ(d.recipients.size(), 2u);
    EXPECT_EQ(d.recipients[0].kind, qor::toolkit::kRecipientKindPassword);
    EXPECT_EQ(d.recipients[1].kind, qor::toolkit::kRecipientKindPublicKey);
    EXPECT_EQ(d.recipients[1].modulusBits, 1024u);
    EXPECT_EQ(d.recipients[1].publicKey, OrganisationKey());
    // What the user is shown for the organisation's key in the preference file.
    EXPECT_EQ(d.recipients[1].fingerprint, ProfileFingerprint(OrganisationKey()));
    EXPECT_EQ(d.envelope.stage, qor::toolkit::kStageDone);

    d = Describe(EncryptedFile("autocryp.lst", kModeLocal, false));
    EXPECT_EQ(d.layout.kind, FileKind::kAutoCryptList);
    EXPECT_EQ(d.recipients.size(), 1u);

    d = Describe(EncryptedFile("minutes of the meeting.txt", kModeFileShare, true));
    EXPECT_EQ(d.layout.kind, FileKind::kFileShare);
    EXPECT_EQ(d.layout.trailerLength, 75u);
    EXPECT_EQ(d.layout.storedName, "minutes of th");
    EXPECT_TRUE(d.layout.storedNameCut);
    EXPECT_FALSE(d.damaged()) << Text(d);

    for (const Bytes& program : {qor::test::MinimalPe(0x20b), qor::test::MinimalElf64()}) {
        Bytes image = program;
        if (image[0] == 0x7f) image.resize(0x380);  // the ELF ends with its section table
        d = Describe(EncryptedFile("letter.txt", kModeFileShare, true, image));
        EXPECT_EQ(d.layout.kind, FileKind::kSelfExtracting);
        EXPECT_EQ(d.layout.programLength, image.size());
        EXPECT_EQ(d.layout.envelopeOffset, image.size());
        EXPECT_FALSE(d.damaged()) << Text(d);
    }
    // A program whose trailer is a local one is no self-extracting program of ours.
    Bytes elf = qor::test::MinimalElf64();
    elf.resize(0x380);
    d = Describe(EncryptedFile("letter.txt", kModeLocal, true, elf));
    EXPECT_TRUE(d.damaged());

    // The older trailer: the size at offset 24, always local.
    Bytes older = EncryptedFile("old.txt", kModeLocal, false);
    older.resize(older.size() - 35);
    Bytes v1(30, 0);
    v1[0] = 1, v1[1] = 1, v1[24] = 0x10, v1[25] = 0x27, v1[28] = 30;
    older.insert(older.end(), v1.begin(), v1.end());
    d = Describe(older);
    EXPECT_EQ(d.layout.kind, FileKind::kLocal);
    EXPECT_EQ(d.layout.trailerVersion, 1);
    EXPECT_EQ(d.layout.plaintextSize, 10000);
    EXPECT_FALSE(d.damaged()) << Text(d);
}

TEST(Inspect, ThePreparedAndTheSetUpPreferenceFile) {
    qor::profile::UserProfile profile;
    uint8_t block[255] = {};
    std::memcpy(block, OrganisationKey().data(), OrganisationKey().size());
    const uint8_t length = static_cast<uint8_t>(OrganisationKey().size());
    const uint8_t optional = 1;
    char organisation[64] = "Example Organisation";
    profile.SetAttribute(qor::profile::kAttrEmergencyKey, block);
    profile.SetAttribute(qor::profile::kAttrEmergencyKeyLength, &length);
    profile.SetAttribute(qor::profile::kAttrEmergencyOptional, &optional);
    profile.SetAttribute(qor::profile::kAttrOrganisation, organisation);
    Bytes image(qor::profile::kProfileFileSize);
    profile.Serialize(image.data());
    FileDescription d = Describe(image, "userpref.!!!");
    ASSERT_EQ(d.layout.kind, FileKind::kPreferenceFile);
    EXPECT_FALSE(d.preference.setUp);
    EXPECT_EQ(d.preference.organisation, "Example Organisation");
    EXPECT_EQ(d.preference.emergencyKeyBits, 1024u);
    EXPECT_TRUE(d.preference.emergencyOptional);
    EXPECT_EQ(d.preference.fingerprint, ProfileFingerprint(OrganisationKey()));
    EXPECT_EQ(FormatDescription(d)[2],
              "  emergency access: \"Example Organisation\", 1024-bit RSA, "
              "fingerprint " +
                  d.preference.fingerprint + ", the user may switch it off");

    const uint8_t wrapped[16] = {1, 2, 3};
    char name[64] = "Alice";
    profile.SetAttribute(qor::profile::kAttrWrappedKey, wrapped);
    profile.SetAttribute(qor::profile::kAttrUserName, name);
    profile.SetPassword("secret1");
    profile.Serialize(image.data());
    d = Describe(image);
    EXPECT_TRUE(d.preference.setUp);
    EXPECT_EQ(FormatDescription(d)[1], "  user: \"Alice\", set up");
    EXPECT_EQ(Text(d).find("secret1"), std::string::npos);

    image[338] = 5;  // the fourth record's tag
    EXPECT_NE(Describe(image).layout.kind, FileKind::kPreferenceFile);
}

TEST(Inspect, DamageIsDescribedNeverACrash) {
    const Bytes file = EncryptedFile("report.doc", qor::engine::kModeFileShare, true, {}, 20000);
    for (size_t n = 0; n < file.size(); n += (n < 700 ? 1 : 97)) {
        const FileDescription d =
            Describe(Bytes(file.begin(), file.begin() + static_cast<long>(n)));
        ASSERT_TRUE(d.damaged()) << n;
    }
    std::mt19937 rng(3);
    for (int round = 0; round < 300; ++round) {
        Bytes flipped = file;
        flipped[rng() % flipped.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        const FileDescription d = Describe(flipped);  // may read as sound: a flip in the content
        EXPECT_FALSE(FormatDescription(d).empty());
    }
    // A flipped byte in the recipients, a trailer whose length points before the file.
    Bytes recipients = file;
    recipients[20] ^= 0x80;
    EXPECT_EQ(Describe(recipients).problems.back(),
              "the envelope breaks off or is damaged among its recipients");
    Bytes trailer = file;
    trailer[trailer.size() - 1] = 0xff;
    EXPECT_EQ(Describe(trailer).problems.front(), "no trailer of a known form ends the file");
    EXPECT_EQ(Describe(Bytes(100, 0x20)).problems.front(),
              "not a file of the product: no envelope and no trailer");
}

TEST(Inspect, TheTextShowsNoSecret) {
    const std::string text =
        Text(Describe(EncryptedFile("report.doc", qor::engine::kModeFileShare, true)));
    EXPECT_NE(text.find("password check value, 16 bytes (not shown)"), std::string::npos);
    EXPECT_NE(text.find("salt, 16 bytes (not shown)"), std::string::npos);
    for (const uint8_t* secret : {kCheck, kSalt}) {
        const std::string raw(reinterpret_cast<const char*>(secret), 16);
        EXPECT_EQ(text.find(raw), std::string::npos);
        EXPECT_EQ(text.find(qor::test::ToHex(secret, 16)), std::string::npos);
    }
    EXPECT_EQ(text.find("AAAA"), std::string::npos);  // the plaintext
}

TEST(Inspect, StoredNamesThatMayBeWritten) {
    for (const char* name : {"report.doc", "a b", ".profile", "x", "name with (brackets)"})
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    for (const char* name :
         {"", ".", "..", "../up", "a/b", "a\\b", "c:evil", "Z:x", "tab\tname", "line\nbreak"}) {
        EXPECT_FALSE(IsPlainFileName(name)) << name;
    }
#ifdef _WIN32
    for (const char* name : {"con", "NUL.txt", "com1.doc", "trailing.", "trailing ", "a:b", "a*b"})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
#endif
}

}  // namespace
