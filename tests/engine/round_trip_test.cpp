// Local encryption and decryption end to end: the bytes, the name, the attributes and times,
// the removal of the source, and the names an envelope may store.
#include <qor/engine/file_engine.h>
#include <qor/platform/files.h>

#include "engine_internal.h"
#include "engine_test_support.h"
#include "file_trailer.h"

namespace qor::engine::test {

namespace {

using platform::File;

constexpr uint64_t kSomeTime = 133'000'000'000'000'000ull;  // a whole second in 2022

void SetWriteTime(const std::string& path, uint64_t when) {
    File file =
        File::Open(path, platform::kAccessWrite, platform::kShareWrite, platform::kOpenExisting);
    platform::FileTimes times;
    ASSERT_TRUE(file.GetTimes(&times));
    times.lastWrite = when;
    times.lastAccess = when;
    ASSERT_TRUE(file.SetTimes(times));
}

uint64_t WriteTime(const std::string& path) {
    File file =
        File::Open(path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting);
    platform::FileTimes times;
    if (!file.GetTimes(&times)) return 0;
    return times.lastWrite;
}

const char* const kTampered =
    "QOR Vaultis: Could not decrypt  \"%s\".  File may have been tampered with or encrypted by "
    "another person.";

}  // namespace

class LocalRoundTrip : public EngineTest {};

TEST_F(LocalRoundTrip, ContentNameAttributesAndTimesComeBack) {
    // Empty, small, several envelope pieces, more than the stream buffer.
    for (const size_t size : {size_t{0}, size_t{100}, size_t{3 * 8144 + 17}, size_t{200'001}}) {
        SCOPED_TRACE(size);
        const std::string source = Path("src", "a.b");
        const Bytes plaintext = Pattern(size, static_cast<uint8_t>(size));
        WriteAll(source, plaintext);
        SetWriteTime(source, kSomeTime);
        const uint32_t attributes = platform::GetAttributes(source);
        const std::string output = Path("out", "other name.!!!");

        ASSERT_EQ(EncryptFile(job_, source, output), kEngineOk);
        EXPECT_TRUE(platform::Exists(source)) << "kept unless removal is asked for";
        EXPECT_EQ(WriteTime(output), kSomeTime);
        EXPECT_EQ(platform::GetAttributes(output), attributes);
        const Bytes encrypted = ReadAll(output);
        ASSERT_GT(encrypted.size(), 35u);
        const Bytes trailer(encrypted.end() - 35, encrypted.end());
        EXPECT_EQ(trailer,
                  BuildTrailer("a.b", static_cast<int32_t>(size), kModeLocal, nullptr, nullptr));
        EXPECT_EQ(trailer[33], 0x23);
        EXPECT_EQ(trailer[34], 0);

        std::string decrypted;
        ASSERT_EQ(DecryptFile(job_, output, &decrypted), kEngineOk);
        EXPECT_EQ(decrypted, Path("out", "a.b")) << "the stored name, next to the encrypted file";
        EXPECT_EQ(ReadAll(decrypted), plaintext);
        EXPECT_EQ(WriteTime(decrypted), kSomeTime);
        EXPECT_TRUE(platform::Exists(output));
        EXPECT_TRUE(host_.messages.empty());
        fs::remove_all(scratch_ / "out");
    }
}

TEST_F(LocalRoundTrip, RemovalOverwritesAndDeletesOnlyAfterSuccess) {
    options_.removeSource = 1;
    const std::string source = Path("src", "a-rather-long-name.text");
    const Bytes plaintext = Pattern(1000);
    WriteAll(source, plaintext);
    const std::string output = Path("out", "x.!!!");
    ASSERT_EQ(EncryptFile(job_, source, output), kEngineOk);
    EXPECT_FALSE(platform::Exists(source));
    EXPECT_EQ(hookCalls_ >= 2, true) << "the overwrite reports each of its two blocks";
    const Bytes encrypted = ReadAll(output);
    EXPECT_EQ(Bytes(encrypted.end() - 29, encrypted.end() - 16),
              Bytes({'a', '-', 'r', 'a', 't', 'h', 'e', 'r', '-', 'l', 'o', 'n', 'g'}));

    std::string decrypted;
    ASSERT_EQ(DecryptFile(job_, output, &decrypted), kEngineOk);
    EXPECT_EQ(NamePart(decrypted), "a-rather-long-name.text") << "the full name, from the envelope";
    EXPECT_EQ(ReadAll(decrypted), plaintext);
    EXPECT_FALSE(platform::Exists(output));
    EXPECT_EQ(Names(Folder("out")), std::vector<std::string>{"a-rather-long-name.text"});

    // An empty source is deleted without being written.
    const std::string empty = Path("src", "empty");
    WriteAll(empty, {});
    ASSERT_EQ(EncryptFile(job_, empty, Path("out", "empty.!!!")), kEngineOk);
    EXPECT_FALSE(platform::Exists(empty));
}

TEST_F(LocalRoundTrip, ExistingResultIsOverwrittenOnlyWhenTheUserSaysYes) {
    const std::string source = Path("src", "doc.txt");
    WriteAll(source, Pattern(300));
    const std::string output = Path("out", "doc.txt.!!!");
    ASSERT_EQ(EncryptFile(job_, source, output), kEngineOk);
    const std::string existing = Path("out", "doc.txt");
    WriteAll(existing, Pattern(5, 9));
    job_.quiet = 1;  // the question is asked all the same

    std::string decrypted;
    host_.answers = {ui::kIdNo};
    ASSERT_EQ(DecryptFile(job_, output, &decrypted), kEngineOk);
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0].text,
              WithPath("QOR Vaultis: \"%s\" already exists.  Overwrite this file?", existing));
    EXPECT_EQ(host_.messages[0].buttons, ui::MessageButtons::kYesNo);
    EXPECT_EQ(ReadAll(existing), Pattern(5, 9));
    EXPECT_EQ(Names(Folder("out")), (std::vector<std::string>{"doc.txt", "doc.txt.!!!"}));

    host_.answers = {ui::kIdYes};
    ASSERT_EQ(DecryptFile(job_, output, &decrypted), kEngineOk);
    EXPECT_EQ(ReadAll(existing), Pattern(300));
    EXPECT_EQ(Names(Folder("out")), (std::vector<std::string>{"doc.txt", "doc.txt.!!!"}));
}

TEST_F(LocalRoundTrip, StoredNamesMustBePlainNamesThatFit) {
    const std::string encrypted = Path("out", "forged.!!!");
    const std::string sep(1, platform::kSeparator);
    // 255 characters decrypt where the file system allows such a name.
    const std::string longest(255, 'n');
    ForgeLocalFile(encrypted, longest + '\0', Pattern(10));
    std::string decrypted;
    ASSERT_EQ(DecryptFile(job_, encrypted, &decrypted), kEngineOk);
    EXPECT_EQ(decrypted, Path("out", longest));
    EXPECT_EQ(ReadAll(decrypted), Pattern(10));
    fs::remove(fs::u8path(decrypted));

    std::vector<std::string> hostile = {std::string(256, 'n'),
                                        std::string(300, 'n'),
                                        "../x",
                                        "a/b",
                                        "a\\b",
                                        "c:x",
                                        "",
                                        ".",
                                        "..",
                                        std::string("\x01", 1),
                                        "x\ty"};
    // Names of devices on Windows, in any case, with or without an extension; elsewhere they
    // are names like any other.
    const std::vector<std::string> devices = {"CON",  "prn",         "Aux",  "nul.txt",  "NUL .x",
                                              "com1", "COM9.tar.gz", "lpt1", "LpT9.doc", "con.!!!"};
#ifdef _WIN32
    hostile.insert(hostile.end(), devices.begin(), devices.end());
#else
    for (const std::string& name : devices) {
        SCOPED_TRACE(name);
        ForgeLocalFile(encrypted, name + '\0', Pattern(10));
        ASSERT_EQ(DecryptFile(job_, encrypted, &decrypted), kEngineOk);
        EXPECT_EQ(decrypted, Path("out", name));
        EXPECT_EQ(ReadAll(decrypted), Pattern(10));
        fs::remove(fs::u8path(decrypted));
    }
#endif
    // Near misses stay plain names on both platforms.
    for (const char* name : {"LPT10", "CONSOLE", "xnul", "nul_x", ".con", "auxx.txt"}) {
        SCOPED_TRACE(name);
        ForgeLocalFile(encrypted, std::string(name) + '\0', Pattern(10));
        ASSERT_EQ(DecryptFile(job_, encrypted, &decrypted), kEngineOk);
        EXPECT_EQ(decrypted, Path("out", name));
        fs::remove(fs::u8path(decrypted));
    }
    const std::vector<std::string> around = Names(scratch_.string());
    for (const std::string& name : hostile) {
        SCOPED_TRACE(name);
        host_.messages.clear();
        ForgeLocalFile(encrypted, name + '\0', Pattern(10));
        EXPECT_EQ(DecryptFile(job_, encrypted, &decrypted), kEngineStoredNameTooLong);
        ASSERT_EQ(host_.messages.size(), 1u);
        EXPECT_EQ(host_.messages[0].text, WithPath(kTampered, encrypted));
        EXPECT_EQ(host_.messages[0].buttons, ui::MessageButtons::kOkCancel);
        EXPECT_EQ(Names(Folder("out")), std::vector<std::string>{"forged.!!!"});
        EXPECT_FALSE(fs::exists(scratch_ / "x"));
        EXPECT_EQ(Names(scratch_.string()), around);
    }
}

}  // namespace qor::engine::test
