// Writes the sample files of tests/data/samples (sample_catalog.h says what each one is). The
// good ones are made by the product's own encryption in a scratch home folder set up like a
// user's, with the smallest ELF and PE programs standing in for the self-extracting stub; the
// failing ones are good ones damaged on purpose, or envelopes sealed here around a hostile
// stored name or under another key. Run by hand when a sample is added, and commit the files:
//   qor_make_samples <samples folder>
#include <qor/engine/file_engine.h>
#include <qor/engine/file_share.h>
#include <qor/platform/registry.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/shared_random.h>
#include <qor/profile/user_profile.h>
#include <qor/toolkit.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_trailer.h"
#include "minimal_images.h"
#include "sample_catalog.h"

namespace {

namespace fs = std::filesystem;
using namespace qor;
using namespace qor::engine;
using namespace qor::engine::test;
using Bytes = std::vector<uint8_t>;

// The organisation's emergency-access key in the good preference file (1024-bit RSA).
const char kPublicKeyHex[] =
    "30819f300d06092a864886f70d010101050003818d0030818902818100b847132b32029054ec390e3474796a2f"
    "30afda4bb57a7c0262f6f3b16cbd8850ae8310b67712068338577a003111e34daf77971fa5bf4cbfff65cce95a"
    "d161e3ff78e9327fd160ff156d7bbeaa9c219f45f52f993330c6f33597613b719bf6859b05e39f91a5dbab09fe"
    "46fad63e1ca6270fec5f067c0816a10ec9da835fdae30203010001";

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what);
}

Bytes FromHex(const char* hex) {
    Bytes out;
    for (size_t k = 0; hex[k] != 0 && hex[k + 1] != 0; k += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex + k, 2), nullptr, 16)));
    return out;
}

Bytes RandomBytes(size_t count) {
    static std::random_device device;
    Bytes bytes(count);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(device());
    return bytes;
}

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    Check(out.good(), "cannot write " + path.string());
}

const Sample& Find(std::string_view file) {
    for (const Sample& s : Samples()) {
        if (file == s.file) return s;
    }
    throw std::runtime_error("no sample " + std::string(file));
}

struct Memory {
    Bytes bytes;
    size_t at = 0;
    static int Write(const unsigned char* data, unsigned int length, void* context) {
        auto* self = static_cast<Memory*>(context);
        self->bytes.insert(self->bytes.end(), data, data + length);
        return 0;
    }
    static int Read(unsigned char* out, unsigned int* count, unsigned int maximum, void* context) {
        auto* self = static_cast<Memory*>(context);
        const size_t n = std::min<size_t>(maximum, self->bytes.size() - self->at);
        std::memcpy(out, self->bytes.data() + self->at, n);
        self->at += n;
        *count = static_cast<unsigned int>(n);
        return n == 0 ? kStreamEnd : 0;
    }
};

// An envelope sealed for one secret around `plaintext`, storing `storedName` (its terminator
// added here) as the file's name: what the writer makes, with any name at all.
Bytes SealEnvelope(const Bytes& secret, std::string_view storedName, const Bytes& plaintext) {
    EnvelopeObject* envelope = nullptr;
    RandomObject* random = nullptr;
    AttributeList* attributes = nullptr;
    Check(EnvelopeCreate(&envelope) == 0 && RandomCreate(&random) == 0 &&
              AttributeListCreate(&attributes) == 0,
          "toolkit objects");
    const Bytes seed = RandomBytes(256);
    Check(RandomSeed(random, seed.data(), 256) == 0, "seed");
    Check(EnvelopeAddPassword(envelope, secret.data(), static_cast<unsigned int>(secret.size()),
                              1) == 0,
          "recipient");
    std::string name(storedName);
    name.push_back('\0');
    Check(AttributeListSetFileName(attributes, reinterpret_cast<const unsigned char*>(name.data()),
                                   static_cast<unsigned int>(name.size())) == 0,
          "stored name");
    const std::string user = std::string(kSampleUserName) + '\0';
    Check(AttributeListSetUserName(attributes, reinterpret_cast<const unsigned char*>(user.data()),
                                   static_cast<unsigned int>(user.size())) == 0,
          "user name");
    Memory out;
    Memory in{plaintext};
    StreamRecord output{nullptr, nullptr, nullptr, nullptr, &Memory::Write, &out};
    StreamRecord input{nullptr, nullptr, &Memory::Read, nullptr, nullptr, &in};
    Check(EnvelopeSeal(&output, envelope, &input, 1, 40, random, attributes, nullptr) == 0, "seal");
    AttributeListDestroy(&attributes);
    RandomDestroy(&random);
    EnvelopeDestroy(&envelope);
    return out.bytes;
}

void Append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

class Maker {
  public:
    Maker(fs::path out, fs::path scratch) : out_(std::move(out)), scratch_(std::move(scratch)) {
        fs::remove_all(scratch_);
        fs::create_directories(scratch_ / "home");
        fs::create_directories(scratch_ / "work");
        home_ = (scratch_ / "home").string();
        setenv("QOR_REGISTRY", (scratch_ / "registry.reg").c_str(), 1);
        Check(platform::RegistryWriteString(platform::Hive::kClassesRoot,
                                            "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR",
                                            "UserHomeDir", home_),
              "registry");
        const Bytes seed = RandomBytes(256);
        profile::MixIntoSharedRandom(seed.data(), seed.size());
    }
    ~Maker() {
        std::error_code ignored;
        fs::remove_all(scratch_, ignored);
    }

    // The set-up user: name, salt, a fresh user key wrapped under the password, the
    // organisation's key; written where the engine finds it.
    void PreferenceFiles() {
        profile::UserProfile& p = profile::Profile();
        p.SetHomeFolder(home_);
        const Bytes zeros(255, 0);
        for (int index = 1; index <= profile::kAttributeCount; ++index)
            p.SetAttribute(index, zeros.data());
        char name[64] = {};
        std::strcpy(name, kSampleUserName);
        p.SetAttribute(profile::kAttrUserName, name);
        const Bytes salt = RandomBytes(8);
        p.SetAttribute(profile::kAttrSalt, salt.data());
        userKey_ = RandomBytes(profile::kUserKeySize);
        uint8_t wrapped[profile::kWrappedKeySize];
        Check(profile::WrapUserKey(userKey_.data(), salt.data(), kSampleUserPassword, wrapped) == 0,
              "wrap");
        p.SetAttribute(profile::kAttrWrappedKey, wrapped);
        Bytes emergency = FromHex(kPublicKeyHex);
        const auto emergencyLength = static_cast<uint8_t>(emergency.size());
        emergency.resize(255);
        p.SetAttribute(profile::kAttrEmergencyKey, emergency.data());
        p.SetAttribute(profile::kAttrEmergencyKeyLength, &emergencyLength);
        const uint8_t minutes[2] = {15, 0};
        p.SetAttribute(profile::kAttrKeepMinutes, minutes);
        Check(p.SetPassword(kSampleUserPassword) == 0, "password");
        const std::string_view password = kSampleUserPassword;
        Check(p.Write(&password) == 0, "write profile");
        profile::Cache().StorePassword(kSampleUserPassword);

        const Bytes good = ReadAll(fs::path(home_) / profile::kProfileFileName);
        Check(good.size() == profile::kProfileFileSize, "profile size");
        Write("good_userpref.!!!", good);
        Write("fail_userpref_truncated.!!!", Bytes(good.begin(), good.end() - 1));
        Bytes tag = good;
        tag[profile::AttributeFileOffset(profile::kAttrKeepPassword) - 1] = 0x19;
        Write("fail_userpref_tag.!!!", tag);
        Bytes tampered = good;
        tampered[profile::AttributeFileOffset(profile::kAttrUserName)] = 'T';
        Write("fail_userpref_tampered.!!!", tampered);
    }

    // The engine's own encryption of the sample's plaintext, stored under the sample's name.
    Bytes Encrypt(const Sample& s, uint16_t mode, const char* password, int selfExtracting) {
        const fs::path source = scratch_ / "work" / std::string(s.storedName);
        WriteAll(source, SamplePlaintext(s));
        const fs::path output = scratch_ / "work" / (std::string(s.file) + ".out");
        fs::remove(output);
        CryptOptions options;
        options.mode = mode;
        options.selfExtracting = selfExtracting;
        options.password = password;
        options.passwordLength = password == nullptr ? 0 : static_cast<uint32_t>(strlen(password));
        FileJob job{1, nullptr, nullptr, &options};
        Check(EncryptFile(job, source.string(), output.string()) == 0,
              std::string("encrypt ") + s.file);
        fs::remove(source);
        const Bytes bytes = ReadAll(output);
        fs::remove(output);
        return bytes;
    }

    void LocalFiles() {
        for (const char* file :
             {"good_local_letter(txt).!!!", "good_local_empty(txt).!!!",
              "good_local_pieces(bin).!!!", "good_local_long_name.!!!", "good_local_utf8.!!!"}) {
            Write(file, Encrypt(Find(file), kModeLocal, nullptr, 0));
        }
        const Sample& letter = Find("good_local_letter(txt).!!!");
        const Bytes good = ReadAll(out_ / letter.file);
        Write("fail_local_truncated.!!!", Bytes(good.begin(), good.begin() + good.size() / 2));
        // Behind the MAC stand the five closing 00 00 pairs and the trailer.
        Bytes mac = good;
        mac[good.size() - kLocalTrailerSize - 10 - 2] ^= 0x01;
        Write("fail_local_flipped_mac.!!!", mac);
        Bytes data = good;
        data[good.size() / 2] ^= 0x40;
        Write("fail_local_flipped_data.!!!", data);
        Bytes other = SealEnvelope(RandomBytes(profile::kUserKeySize), letter.storedName,
                                   SamplePlaintext(letter));
        Append(other, BuildTrailer(letter.storedName, static_cast<int32_t>(letter.size), kModeLocal,
                                   nullptr, nullptr));
        Write("fail_local_other_user.!!!", other);
        Write("fail_local_not_encrypted.!!!", SamplePlaintext(letter));

        for (const Sample& s : Samples()) {
            if (std::string_view(s.file).substr(0, 10) != "fail_name_") continue;
            Bytes file = SealEnvelope(userKey_, s.storedName, SamplePlaintext(s));
            Append(file, BuildTrailer(s.storedName, static_cast<int32_t>(s.size), kModeLocal,
                                      nullptr, nullptr));
            Write(s.file, file);
        }
    }

    void SharedFiles() {
        const Sample& minutes = Find("good_share_minutes(txt).s!!");
        const Bytes good = Encrypt(minutes, kModeFileShare, kSampleSharePassword, 0);
        Write(minutes.file, good);
        Write("fail_share_no_trailer.s!!", Bytes(good.begin(), good.end() - kShareTrailerSize));
        // The same plaintext under another password gives the trailer that does not belong.
        const Bytes other = Encrypt(minutes, kModeFileShare, kSampleOtherPassword, 0);
        Bytes foreign(good.begin(), good.end() - kShareTrailerSize);
        foreign.insert(foreign.end(), other.end() - kShareTrailerSize, other.end());
        Write("fail_share_foreign_trailer.s!!", foreign);
    }

    void SelfExtractingPrograms() {
        const fs::path stub = fs::path(home_) / "decexe";
        Bytes elf = qor::test::MinimalElf64();
        elf.resize(0x380);  // ends with its section table
        WriteAll(stub, elf);
        const Sample& notes = Find("good_selfextract_elf");
        const Bytes goodElf = Encrypt(notes, kModeFileShare, kSampleSharePassword, 1);
        Write(notes.file, goodElf);
        const Bytes pe = qor::test::MinimalPe(0x20b);
        WriteAll(stub, pe);
        const Bytes goodPe =
            Encrypt(Find("good_selfextract_pe.exe"), kModeFileShare, kSampleSharePassword, 1);
        Write("good_selfextract_pe.exe", goodPe);

        // The second section's raw data said to run far past the end of the file.
        Bytes length = goodPe;
        const size_t sections = 0x98 + 112 + 16 * 8;
        qor::test::PutLe32(length, sections + 40 + 16, 0x100000);
        Write("fail_selfextract_stub_length.exe", length);
        // The second segment said to reach 100 bytes into the envelope.
        Bytes longer = goodElf;
        qor::test::PutLe64(longer, 64 + 56 + 32, 0x380 + 100 - 0x180);
        Write("fail_selfextract_stub_long", longer);
        Write("fail_selfextract_no_trailer",
              Bytes(goodElf.begin(), goodElf.end() - kShareTrailerSize));

        const Sample& evil = Find("fail_selfextract_name");
        const Bytes salt = RandomBytes(16);
        uint8_t key[16], check[16];
        Check(DeriveShareKey(kSampleSharePassword, salt.data(), key, check) == 0, "share key");
        Bytes program = elf;
        Append(program, SealEnvelope(Bytes(key, key + 16), evil.storedName, SamplePlaintext(evil)));
        Append(program, BuildTrailer(evil.storedName, static_cast<int32_t>(evil.size),
                                     kModeFileShare, check, salt.data()));
        Write(evil.file, program);
    }

  private:
    void Write(std::string_view file, const Bytes& bytes) {
        Find(file);
        WriteAll(out_ / std::string(file), bytes);
        std::printf("%-36s %6zu bytes\n", std::string(file).c_str(), bytes.size());
    }

    fs::path out_;
    fs::path scratch_;
    std::string home_;
    Bytes userKey_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qor_make_samples <samples folder>\n");
        return 2;
    }
    try {
        fs::create_directories(argv[1]);
        Maker maker(argv[1],
                    fs::temp_directory_path() / ("qor-make-samples-" + std::to_string(getpid())));
        maker.PreferenceFiles();
        maker.LocalFiles();
        maker.SharedFiles();
        maker.SelfExtractingPrograms();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qor_make_samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
