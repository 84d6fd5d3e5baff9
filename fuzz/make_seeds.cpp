// Writes the seed corpora of the fuzz targets: real envelopes sealed by the toolkit (empty,
// small with attributes, several pieces, with a public-key recipient), public keys in the forms
// a key file may take, encrypted-file trailers of both kinds, and the smallest ELF and PE
// programs with a file-sharing record behind them, preference files of a set-up user, and
// registry texts as the install step and the registry editor write them, and an organisation's
// key files.
//   make_seeds <corpus folder>   creates a folder per target in <corpus folder>
#include <qor/key_files.h>
#include <qor/toolkit.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <qor/engine/crypt_options.h>
#include <qor/profile/user_profile.h>

#include "file_trailer.h"
#include "fuzz_password.h"
#include "minimal_images.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A 1024-bit public key in its usual form (SEQUENCE { rsaEncryption, NULL }, BIT STRING).
const char kPublicKeyHex[] =
    "30819f300d06092a864886f70d010101050003818d0030818902818100b847132b32029054ec390e3474796a2f"
    "30afda4bb57a7c0262f6f3b16cbd8850ae8310b67712068338577a003111e34daf77971fa5bf4cbfff65cce95a"
    "d161e3ff78e9327fd160ff156d7bbeaa9c219f45f52f993330c6f33597613b719bf6859b05e39f91a5dbab09fe"
    "46fad63e1ca6270fec5f067c0816a10ec9da835fdae30203010001";

Bytes FromHex(const char* hex) {
    Bytes out;
    for (size_t k = 0; hex[k] != 0 && hex[k + 1] != 0; k += 2) {
        out.push_back(static_cast<unsigned char>(std::stoi(std::string(hex + k, 2), nullptr, 16)));
    }
    return out;
}

struct Source {
    Bytes data;
    size_t at = 0;
};

int Read(unsigned char* buffer, unsigned int* count, unsigned int maximum, void* context) {
    auto* s = static_cast<Source*>(context);
    size_t n = s->data.size() - s->at;
    if (n == 0) {
        *count = 0;
        return kStreamEnd;
    }
    if (n > maximum) n = maximum;
    std::memcpy(buffer, s->data.data() + s->at, n);
    s->at += n;
    *count = static_cast<unsigned int>(n);
    return 0;
}

int Append(const unsigned char* bytes, unsigned int length, void* context) {
    auto* out = static_cast<Bytes*>(context);
    out->insert(out->end(), bytes, bytes + length);
    return 0;
}

Bytes Seal(size_t length, bool attributes, bool publicKey, unsigned seed) {
    RandomObject* random = nullptr;
    RandomCreate(&random);
    unsigned char seedBytes[256];
    for (unsigned k = 0; k < sizeof seedBytes; ++k)
        seedBytes[k] = static_cast<unsigned char>(k * seed);
    RandomSeed(random, seedBytes, sizeof seedBytes);
    EnvelopeObject* envelope = nullptr;
    EnvelopeCreate(&envelope);
    if (publicKey) {
        Bytes key = FromHex(kPublicKeyHex);
        EnvelopeAddPublicKey(envelope, key.data(), static_cast<unsigned int>(key.size()));
    }
    EnvelopeAddPassword(envelope, kFuzzPassword, kFuzzPasswordLength, 1);
    AttributeList* list = nullptr;
    if (attributes) {
        AttributeListCreate(&list);
        const char name[] = "report.doc";
        const char user[] = "Fuzz User";
        AttributeListSetFileName(list, reinterpret_cast<const unsigned char*>(name), sizeof name);
        AttributeListSetUserName(list, reinterpret_cast<const unsigned char*>(user), sizeof user);
    }
    Source source;
    source.data.resize(length);
    for (size_t k = 0; k < length; ++k)
        source.data[k] = static_cast<unsigned char>(k * 31 + seed);
    Bytes sealed;
    StreamRecord in = {nullptr, nullptr, Read, nullptr, nullptr, &source};
    StreamRecord out = {nullptr, nullptr, nullptr, nullptr, Append, &sealed};
    int status = EnvelopeSeal(&out, envelope, &in, 1, 40, random, list, nullptr);
    if (status != kStatusOk) std::fprintf(stderr, "seal failed: %d\n", status);
    AttributeListDestroy(&list);
    EnvelopeDestroy(&envelope);
    RandomDestroy(&random);
    return sealed;
}

void Write(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
    Write(file, Bytes(text.begin(), text.end()));
}

// The preference file of a user set up with the fuzzers' password, with or without an
// organisation's emergency-access key.
Bytes PreferenceFile(const Bytes& emergencyKey) {
    using namespace qor::profile;
    const std::string_view password(reinterpret_cast<const char*>(kFuzzPassword),
                                    kFuzzPasswordLength);
    UserProfile profile;
    char name[64] = "Alice Example";
    const uint8_t salt[8] = {8, 7, 6, 5, 4, 3, 2, 1};
    const uint8_t key[kUserKeySize] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    uint8_t wrapped[kWrappedKeySize] = {};
    uint8_t block[255] = {};
    if (!emergencyKey.empty()) std::memcpy(block, emergencyKey.data(), emergencyKey.size());
    const uint8_t blockLength = static_cast<uint8_t>(emergencyKey.size());
    const uint8_t minutes[2] = {30, 0};
    const uint8_t one = 1;
    profile.SetAttribute(kAttrUserName, name);
    profile.SetAttribute(kAttrSalt, salt);
    WrapUserKey(key, salt, password, wrapped);
    profile.SetAttribute(kAttrWrappedKey, wrapped);
    profile.SetAttribute(kAttrEmergencyKey, block);
    profile.SetAttribute(kAttrEmergencyKeyLength, &blockLength);
    profile.SetAttribute(kAttrKeepPassword, &one);
    profile.SetAttribute(kAttrKeepMinutes, minutes);
    profile.SetPassword(password);
    Bytes image(kProfileFileSize);
    profile.Serialize(image.data());
    return image;
}

// An organisation's key files for a small key: the encrypted private key under the fuzzers'
// pass phrase as PEM and DER, the PrivateKeyInfo and RSAPrivateKey inside it, the public key.
void WriteKeyFiles(const std::filesystem::path& folder) {
    using namespace qor::toolkit;
    struct Counter {
        uint8_t next = 1;
        static int Generate(void* context, unsigned char* out, unsigned int length) {
            auto* self = static_cast<Counter*>(context);
            for (unsigned int i = 0; i < length; ++i)
                out[i] = static_cast<unsigned char>(self->next++ * 167 + (i >> 3));
            return 0;
        }
    } counter;
    const RandomSource random = {Counter::Generate, &counter};
    RsaPrivateKey key;
    if (RsaGenerateKey(512, 65537, random, nullptr, &key) != kStatusOk) return;
    const uint8_t passphrase[] = "fuzz pass phrase";
    qor::SecureBuffer pem, der, info, inner, pub;
    WriteEncryptedKeyFile(key, passphrase, sizeof passphrase - 1, random, &pem);
    PemDecode("ENCRYPTED PRIVATE KEY", pem.data(), pem.size(), &der);
    EncodePrivateKeyInfo(key, &info);
    EncodeRsaPrivateKey(key, &inner);
    WritePublicKeyFile(key, &pub);
    for (auto [name, bytes] :
         {std::pair{"encrypted_pem", &pem}, std::pair{"encrypted_der", &der},
          std::pair{"private_key_info", &info}, std::pair{"rsa_private_key", &inner},
          std::pair{"public_pem", &pub}}) {
        Write(folder / name, Bytes(bytes->data(), bytes->data() + bytes->size()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds <corpus folder>\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    for (const char* target :
         {"envelope_open", "ber_reader", "rsa_public_key", "trailer", "stub_image", "profile_file",
          "registry_text", "key_file", "list_lines", "inspect_file"}) {
        std::filesystem::create_directories(root / target);
    }
    const struct {
        const char* name;
        Bytes bytes;
    } envelopes[] = {
        {"empty", Seal(0, false, false, 1)},
        {"small", Seal(100, true, false, 2)},
        {"pieces", Seal(20000, true, false, 3)},
        {"public_key", Seal(300, true, true, 4)},
    };
    for (const auto& e : envelopes) {
        Write(root / "envelope_open" / e.name, e.bytes);
        Write(root / "ber_reader" / e.name, e.bytes);
    }
    Bytes key = FromHex(kPublicKeyHex);
    Write(root / "rsa_public_key" / "spki", key);
    // The same key under the X.500 identifier, with its NULL left out.
    Bytes x500 = FromHex("30819a300806045508010103818d00");
    x500.insert(x500.end(), key.begin() + 22, key.end());
    Write(root / "rsa_public_key" / "x500", x500);

    using qor::engine::BuildTrailer;
    uint8_t check[16], salt[16];
    for (uint8_t k = 0; k < 16; ++k)
        check[k] = static_cast<uint8_t>(0x11 * k), salt[k] = static_cast<uint8_t>(0xf0 - k);
    const Bytes local = BuildTrailer("report.doc", 5000, qor::engine::kModeLocal, nullptr, nullptr);
    const Bytes shared =
        BuildTrailer("minutes of the meeting.txt", 70000, qor::engine::kModeFileShare, check, salt);
    Bytes localFile = envelopes[1].bytes;
    localFile.insert(localFile.end(), local.begin(), local.end());
    Write(root / "trailer" / "local", local);
    Write(root / "trailer" / "shared", shared);
    Write(root / "trailer" / "local_file", localFile);

    Bytes elf = qor::test::MinimalElf64();
    elf.resize(0x380);  // ends with its section table
    for (auto [name, image] :
         {std::pair{"elf", elf}, std::pair{"pe32", qor::test::MinimalPe(0x10b)},
          std::pair{"pe32plus", qor::test::MinimalPe(0x20b)}}) {
        image.insert(image.end(), envelopes[0].bytes.begin(), envelopes[0].bytes.end());
        image.insert(image.end(), shared.begin(), shared.end());
        Write(root / "stub_image" / name, image);
    }

    // Whole files for inspect: local with and without emergency access, file sharing,
    // self-extracting, a preference file.
    for (auto [name, envelope, trailer] : {std::tuple{"local", envelopes[1].bytes, local},
                                           std::tuple{"local_emergency", envelopes[3].bytes, local},
                                           std::tuple{"shared", envelopes[2].bytes, shared}}) {
        Bytes whole = envelope;
        whole.insert(whole.end(), trailer.begin(), trailer.end());
        Write(root / "inspect_file" / name, whole);
    }
    Bytes program = elf;
    program.insert(program.end(), envelopes[3].bytes.begin(), envelopes[3].bytes.end());
    program.insert(program.end(), shared.begin(), shared.end());
    Write(root / "inspect_file" / "self_extracting", program);
    Write(root / "inspect_file" / "preference", PreferenceFile(key));

    Write(root / "profile_file" / "no_emergency", PreferenceFile({}));
    Write(root / "profile_file" / "emergency", PreferenceFile(key));
    WriteText(root / "registry_text" / "installed",
              "REGEDIT4\n\n"
              "[HKEY_CLASSES_ROOT\\CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR]\n"
              "\"UserHomeDir\"=\"/home/alice/.local/share/qor\"\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\QOR Data Security\\QOR Vaultis\\1.1]\n"
              "\"UninstallString\"=\"C:\\\\QOR\\\\uninstall.exe\"\n"
              "@=\"default\"\n"
              "\"Count\"=dword:0000000a\n\n");
    WriteText(root / "registry_text" / "editor",
              "REGEDIT4\r\n\r\n; exported\r\n[HKEY_CURRENT_USER\\Software\\Fuzz]\r\n"
              "\"Blob\"=hex:01,02,ff,\\\r\n  10,20\r\n\"Quoted \\\"name\\\"\"=\"a\\\\b\"\r\n");
    WriteKeyFiles(root / "key_file");
    // A plain AutoCrypt list: Windows and Linux entries, a blank line, a last line without its end.
    const std::string list = "C:\\WORK\\REPORT.DOC\r\n/home/alice/docs/*.*\r\n\r\nlast line";
    Write(root / "list_lines" / "list", Bytes(list.begin(), list.end()));
    return 0;
}
