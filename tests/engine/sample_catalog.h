// The sample files of tests/data/samples: what each one is, how it is opened and what opening it
// must give. The generator that made the files and the test that opens them both read this
// table, so a sample cannot be made for one purpose and checked for another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qor::engine::test {

enum class SampleKind {
    kPreferenceFile,  // read as the home folder's "userpref.!!!"
    kLocal,           // decrypted by the engine under good_userpref.!!!
    kShare,           // decrypted by the engine with the one-time password
    kSelfExtracting,  // run through the self-extracting program's own steps
};

enum class SampleOutcome {
    kOpens,            // decrypts (or loads) to what the table says
    kMalformed,        // preference file: refused as malformed
    kNotAuthentic,     // preference file: loads, but its authenticator fails
    kTampered,         // engine: "Could not decrypt  ... tampered with or ... another person."
    kWrongPassword,    // engine: "... was encrypted with a different password."
    kProgramDamaged,   // self-extracting: "This program's own file is damaged."
    kContentDamaged,   // self-extracting: "The encrypted file in this program is damaged."
    kContentTampered,  // self-extracting: "... damaged or was tampered with."
    kNameRefused,      // self-extracting: "The file name stored in this program ..."
};

struct Sample {
    const char* file;
    SampleKind kind;
    SampleOutcome outcome;
    int status;                   // the engine's status for engine samples, else 0
    const char* password;         // the user's password, or the one-time password
    std::string_view storedName;  // the name inside the envelope, without its terminator
    uint32_t size;                // plaintext bytes
};

inline constexpr const char* kSampleUserPassword = "secret1";
inline constexpr const char* kSampleSharePassword = "one-time-pw";
inline constexpr const char* kSampleOtherPassword = "other-pw";
inline constexpr const char* kSampleUserName = "Sample User";

// Statuses the engine reports (engine and toolkit codes).
inline constexpr int kSampleNameRefused = -2;
inline constexpr int kSampleWrongPassword = -14;
inline constexpr int kSampleMalformed = 1290;
inline constexpr int kSampleNoRecipient = 1302;

// 256 characters: one more than a stored name may hold with its terminator.
inline const std::string kSampleLongName(256, 'n');

inline const std::vector<Sample>& Samples() {
    using K = SampleKind;
    using O = SampleOutcome;
    const char* user = kSampleUserPassword;
    const char* share = kSampleSharePassword;
    static const std::vector<Sample> samples = {
        {"good_userpref.!!!", K::kPreferenceFile, O::kOpens, 0, user, {}, 0},
        {"fail_userpref_truncated.!!!", K::kPreferenceFile, O::kMalformed, 0, user, {}, 0},
        {"fail_userpref_tag.!!!", K::kPreferenceFile, O::kMalformed, 0, user, {}, 0},
        {"fail_userpref_tampered.!!!", K::kPreferenceFile, O::kNotAuthentic, 0, user, {}, 0},

        {"good_local_letter(txt).!!!", K::kLocal, O::kOpens, 0, user, "letter.txt", 3000},
        {"good_local_empty(txt).!!!", K::kLocal, O::kOpens, 0, user, "empty.txt", 0},
        {"good_local_pieces(bin).!!!", K::kLocal, O::kOpens, 0, user, "pieces.bin", 20000},
        {"good_local_long_name.!!!", K::kLocal, O::kOpens, 0, user,
         "a name longer than thirteen characters.txt", 100},
        {"good_local_utf8.!!!", K::kLocal, O::kOpens, 0, user,
         "Bericht \xc3\xbc"
         "ber K\xc3\xb6ln.txt",
         500},
        {"fail_local_truncated.!!!", K::kLocal, O::kTampered, kSampleMalformed, user, "letter.txt",
         3000},
        {"fail_local_flipped_mac.!!!", K::kLocal, O::kTampered, kSampleMalformed, user,
         "letter.txt", 3000},
        {"fail_local_flipped_data.!!!", K::kLocal, O::kTampered, kSampleMalformed, user,
         "letter.txt", 3000},
        {"fail_local_other_user.!!!", K::kLocal, O::kTampered, kSampleNoRecipient, user,
         "letter.txt", 3000},
        {"fail_local_not_encrypted.!!!", K::kLocal, O::kTampered, kSampleMalformed, user,
         "letter.txt", 3000},
        {"fail_name_parent.!!!", K::kLocal, O::kTampered, kSampleNameRefused, user,
         "../escaped.txt", 100},
        {"fail_name_backslash.!!!", K::kLocal, O::kTampered, kSampleNameRefused, user,
         "..\\escaped.txt", 100},
        {"fail_name_absolute.!!!", K::kLocal, O::kTampered, kSampleNameRefused, user,
         "/tmp/escaped.txt", 100},
        {"fail_name_drive.!!!", K::kLocal, O::kTampered, kSampleNameRefused, user, "C:escaped.txt",
         100},
        {"fail_name_control.!!!", K::kLocal, O::kTampered, kSampleNameRefused, user,
         "line\nbreak.txt", 100},
        {"fail_name_empty.!!!", K::kLocal, O::kTampered, kSampleNameRefused, user, "", 100},
        {"fail_name_dot.!!!", K::kLocal, O::kTampered, kSampleNameRefused, user, ".", 100},
        {"fail_name_too_long.!!!", K::kLocal, O::kTampered, kSampleNameRefused, user,
         kSampleLongName, 100},

        {"good_share_minutes(txt).s!!", K::kShare, O::kOpens, 0, share, "minutes.txt", 4000},
        {"fail_share_no_trailer.s!!", K::kShare, O::kWrongPassword, kSampleWrongPassword, share,
         "minutes.txt", 4000},
        {"fail_share_foreign_trailer.s!!", K::kShare, O::kTampered, kSampleNoRecipient,
         kSampleOtherPassword, "minutes.txt", 4000},

        {"good_selfextract_elf", K::kSelfExtracting, O::kOpens, 0, share, "notes.txt", 2500},
        {"good_selfextract_pe.exe", K::kSelfExtracting, O::kOpens, 0, share, "notes.txt", 2500},
        {"fail_selfextract_stub_length.exe", K::kSelfExtracting, O::kProgramDamaged, 0, share,
         "notes.txt", 2500},
        {"fail_selfextract_stub_long", K::kSelfExtracting, O::kContentTampered, 0, share,
         "notes.txt", 2500},
        {"fail_selfextract_no_trailer", K::kSelfExtracting, O::kContentDamaged, 0, share,
         "notes.txt", 2500},
        {"fail_selfextract_name", K::kSelfExtracting, O::kNameRefused, 0, share, "../evil.txt",
         2500},
    };
    return samples;
}

// The plaintext of every sample: lines of text naming the file and the line, cut to the size.
inline std::vector<uint8_t> SamplePlaintext(const Sample& sample) {
    std::vector<uint8_t> bytes;
    bytes.reserve(sample.size + 64);
    for (unsigned line = 1; bytes.size() < sample.size; ++line) {
        const std::string text = "Line " + std::to_string(line) + " of a sample file.\n";
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    bytes.resize(sample.size);
    return bytes;
}

}  // namespace qor::engine::test
