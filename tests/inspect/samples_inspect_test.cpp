// inspect on every sample file of tests/data/samples: each kind recognised, the structural
// failures (cut, without trailer, a decryptor that does not end where the envelope begins, a
// preference file that does not read) described as damaged, and the failures that only a key
// can show (a flipped MAC, a hostile stored name, another user's key) described as sound files.
#include <gtest/gtest.h>
#include <qor/inspect/describe_file.h>

#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qor::test {
std::string_view EmbeddedSample(std::string_view name);
std::vector<std::string_view> EmbeddedSampleNames();
}  // namespace qor::test

namespace {

using namespace qor::inspect;

class SampleSource : public ByteSource {
  public:
    explicit SampleSource(std::string_view bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, uint8_t* out, size_t length) override {
        if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
        if (length != 0) std::memcpy(out, bytes_.data() + offset, length);
        return true;
    }

  private:
    std::string_view bytes_;
};

struct Expected {
    FileKind kind;
    bool damaged;
};

TEST(InspectSamples, EveryKindAndEveryDamageThatShowsWithoutAKey) {
    const std::map<std::string, Expected> expected = {
        {"good_userpref.!!!", {FileKind::kPreferenceFile, false}},
        {"fail_userpref_truncated.!!!", {FileKind::kUnknown, true}},
        {"fail_userpref_tag.!!!", {FileKind::kUnknown, true}},
        {"fail_userpref_tampered.!!!", {FileKind::kPreferenceFile, false}},
        {"good_local_letter(txt).!!!", {FileKind::kLocal, false}},
        {"good_local_empty(txt).!!!", {FileKind::kLocal, false}},
        {"good_local_pieces(bin).!!!", {FileKind::kLocal, false}},
        {"good_local_long_name.!!!", {FileKind::kLocal, false}},
        {"good_local_utf8.!!!", {FileKind::kLocal, false}},
        {"fail_local_truncated.!!!", {FileKind::kUnknown, true}},
        {"fail_local_flipped_mac.!!!", {FileKind::kLocal, false}},
        {"fail_local_flipped_data.!!!", {FileKind::kLocal, false}},
        {"fail_local_other_user.!!!", {FileKind::kLocal, false}},
        {"fail_local_not_encrypted.!!!", {FileKind::kUnknown, true}},
        {"fail_name_parent.!!!", {FileKind::kLocal, false}},
        {"fail_name_backslash.!!!", {FileKind::kLocal, false}},
        {"fail_name_absolute.!!!", {FileKind::kLocal, false}},
        {"fail_name_drive.!!!", {FileKind::kLocal, false}},
        {"fail_name_control.!!!", {FileKind::kLocal, false}},
        {"fail_name_empty.!!!", {FileKind::kLocal, false}},
        {"fail_name_dot.!!!", {FileKind::kLocal, false}},
        {"fail_name_too_long.!!!", {FileKind::kLocal, false}},
        {"good_share_minutes(txt).s!!", {FileKind::kFileShare, false}},
        {"fail_share_no_trailer.s!!", {FileKind::kUnknown, true}},
        {"fail_share_foreign_trailer.s!!", {FileKind::kFileShare, false}},
        {"good_selfextract_elf", {FileKind::kSelfExtracting, false}},
        {"good_selfextract_pe.exe", {FileKind::kSelfExtracting, false}},
        {"fail_selfextract_stub_length.exe", {FileKind::kUnknown, true}},
        {"fail_selfextract_stub_long", {FileKind::kUnknown, true}},
        {"fail_selfextract_no_trailer", {FileKind::kSelfExtracting, true}},
        {"fail_selfextract_name", {FileKind::kSelfExtracting, false}},
    };
    size_t seen = 0;
    for (std::string_view name : qor::test::EmbeddedSampleNames()) {
        if (name == "README.md") continue;
        const auto it = expected.find(std::string(name));
        ASSERT_NE(it, expected.end()) << "a sample without an expectation: " << name;
        ++seen;
        SampleSource source(qor::test::EmbeddedSample(name));
        const FileDescription d = DescribeFile(source, std::string(name));
        std::string text;
        for (const std::string& line : FormatDescription(d))
            text += line + "\n";
        EXPECT_EQ(d.layout.kind, it->second.kind) << text;
        EXPECT_EQ(d.damaged(), it->second.damaged) << text;
        // The samples' plaintexts are numbered lines, their passwords known: none may show.
        for (const char* secret : {"secret1", "one-time-pw", "line 1", "Line 1"})
            EXPECT_EQ(text.find(secret), std::string::npos) << name;
    }
    EXPECT_EQ(seen, expected.size());
}

TEST(InspectSamples, WhatTheSampleUsersFilesCarry) {
    SampleSource letter(qor::test::EmbeddedSample("good_local_letter(txt).!!!"));
    const FileDescription d = DescribeFile(letter, "letter");
    ASSERT_EQ(d.recipients.size(), 2u);
    SampleSource preferences(qor::test::EmbeddedSample("good_userpref.!!!"));
    const FileDescription p = DescribeFile(preferences, "userpref.!!!");
    // The organisation's key in the user's preference file is the one each file is sealed for,
    // and both show the one fingerprint.
    EXPECT_EQ(d.recipients[1].fingerprint, p.preference.fingerprint);
    EXPECT_EQ(d.recipients[1].modulusBits, p.preference.emergencyKeyBits);
    EXPECT_EQ(d.layout.storedName, "letter.txt");
    EXPECT_EQ(d.layout.plaintextSize, 3000);

    SampleSource cut(qor::test::EmbeddedSample("fail_local_truncated.!!!"));
    const FileDescription t = DescribeFile(cut, "cut");
    ASSERT_EQ(t.problems.size(), 2u);
    EXPECT_EQ(t.problems[0], "no trailer of a known form ends the file");
    EXPECT_EQ(t.problems[1], "the envelope breaks off or is damaged inside the encrypted content");
}

}  // namespace
