// Every file of tests/data/samples opened as the product opens it: the preference files read
// as the user's, encrypted files decrypted by the engine, self-extracting programs run through
// the program's own steps. A good file gives back exactly its plaintext under its stored name; a
// failing one gives its one failure, leaves itself untouched and writes nothing beside it.
#include <qor/engine/file_engine.h>
#include <qor/platform/files.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/user_profile.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine_internal.h"
#include "engine_test_support.h"
#include "extract_program.h"
#include "sample_catalog.h"

namespace qor::test {
std::string_view EmbeddedSample(std::string_view name);
std::vector<std::string_view> EmbeddedSampleNames();
}  // namespace qor::test

namespace qor::engine::test {

namespace {

Bytes SampleBytes(const Sample& s) {
    const std::string_view bytes = qor::test::EmbeddedSample(s.file);
    return Bytes(bytes.begin(), bytes.end());
}

// A folder's names as UTF-8, sorted: on Windows path::string() would give the ANSI code page.
std::vector<std::string> Utf8Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::u8path(folder))) {
        const std::u8string name = entry.path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string EngineMessage(SampleOutcome outcome, const std::string& path) {
    switch (outcome) {
        case SampleOutcome::kTampered:
            return WithPath(
                "QOR Vaultis: Could not decrypt  \"%s\".  File may have been tampered with or "
                "encrypted by another person.",
                path);
        case SampleOutcome::kWrongPassword:
            return WithPath("QOR Vaultis: \"%s\" was encrypted with a different password.", path);
        default:
            return {};
    }
}

std::string StubMessage(const Sample& s) {
    switch (s.outcome) {
        case SampleOutcome::kProgramDamaged:
            return "This program's own file is damaged.\n";
        case SampleOutcome::kContentDamaged:
            return "The encrypted file in this program is damaged.\n";
        case SampleOutcome::kContentTampered:
            return "The encrypted file in this program is damaged or was tampered with.\n";
        case SampleOutcome::kNameRefused:
            return "The file name stored in this program (\"" + std::string(s.storedName) +
                   "\") is not a plain file name; nothing was written.\n";
        default:
            return {};
    }
}

}  // namespace

class Samples : public EngineTest {
  protected:
    // Reads the sample as the home folder's preference file.
    int LoadProfile(const Sample& s) {
        WriteAll(home_ + platform::kSeparator + profile::kProfileFileName, SampleBytes(s));
        profile::UserProfile& p = profile::Profile();
        p.Unload();
        return p.Read();
    }

    void CheckPreferenceFile(const Sample& s) {
        const int status = LoadProfile(s);
        profile::UserProfile& p = profile::Profile();
        if (s.outcome == SampleOutcome::kMalformed) {
            EXPECT_EQ(status, profile::kProfileMalformed);
            return;
        }
        ASSERT_EQ(status, profile::kProfileOk);
        EXPECT_EQ(p.VerifyPassword(s.password), 0);
        EXPECT_EQ(p.CheckAuthenticity(s.password), s.outcome == SampleOutcome::kOpens ? 1 : 0);
        if (s.outcome == SampleOutcome::kOpens) {
            EXPECT_EQ(p.UserName(), kSampleUserName);
            EXPECT_NE(p.ByteAttribute(profile::kAttrEmergencyKeyLength), 0);
        }
    }

    void CheckEncryptedFile(const Sample& s, const std::string& folderName) {
        options_ = CryptOptions();
        options_.removeSource = 1;
        if (s.kind == SampleKind::kShare) {
            options_.mode = kModeFileShare;
            options_.password = s.password;
            options_.passwordLength = static_cast<uint32_t>(std::string(s.password).size());
        } else {
            ASSERT_EQ(LoadProfile(Find("good_userpref.!!!")), profile::kProfileOk);
            profile::Cache().StorePassword(s.password);
        }
        host_.messages.clear();
        const std::string folder = Folder(folderName);
        const std::string encrypted = folder + platform::kSeparator + s.file;
        const Bytes bytes = SampleBytes(s);
        WriteAll(encrypted, bytes);
        std::string decrypted;
        const int status = DecryptFile(job_, encrypted, &decrypted);
        EXPECT_EQ(status, s.status);
        if (s.outcome == SampleOutcome::kOpens) {
            EXPECT_TRUE(host_.messages.empty());
            EXPECT_EQ(decrypted, folder + platform::kSeparator + std::string(s.storedName));
            EXPECT_EQ(ReadAll(decrypted), SamplePlaintext(s));
            // The encrypted file made way for its plaintext.
            EXPECT_EQ(Utf8Names(folder), std::vector<std::string>{std::string(s.storedName)});
            return;
        }
        ASSERT_EQ(host_.messages.size(), 1u);
        EXPECT_EQ(host_.messages[0].text, EngineMessage(s.outcome, encrypted));
        EXPECT_EQ(Utf8Names(folder), std::vector<std::string>{s.file});
        EXPECT_EQ(ReadAll(encrypted), bytes);
    }

    void CheckSelfExtractingProgram(const Sample& s, const std::string& folderName) {
        const std::string programs = Folder(folderName + "-program");
        const std::string output = Folder(folderName);
        const std::string path = programs + platform::kSeparator + s.file;
        WriteAll(path, SampleBytes(s));
        platform::File own = platform::File::Open(path, platform::kAccessRead, platform::kShareRead,
                                                  platform::kOpenExisting);
        ASSERT_TRUE(own.IsOpen());
        int asked = 0;
        const auto ask = [&](SecureBuffer& password, size_t& length) {
            ++asked;
            const std::string text = s.password;
            password.Resize(text.size());
            std::copy(text.begin(), text.end(), password.data());
            length = text.size();
            return true;
        };
        std::ostringstream out, err;
        const int exit = stub::ExtractOwnFile(own, ask, {output}, out, err);
        own.Close();
        if (s.outcome == SampleOutcome::kOpens) {
            EXPECT_EQ(exit, stub::kExitWritten);
            EXPECT_EQ(err.str(), "");
            EXPECT_EQ(out.str(), "Wrote " + std::string(s.storedName) + ".\n");
            EXPECT_EQ(Utf8Names(output), std::vector<std::string>{std::string(s.storedName)});
            EXPECT_EQ(ReadAll(output + platform::kSeparator + std::string(s.storedName)),
                      SamplePlaintext(s));
            return;
        }
        // A program that cannot find its envelope never asks for the password.
        const bool findsContent = s.outcome == SampleOutcome::kContentTampered ||
                                  s.outcome == SampleOutcome::kNameRefused;
        EXPECT_EQ(asked, findsContent ? 1 : 0);
        EXPECT_EQ(exit, s.outcome == SampleOutcome::kNameRefused ? stub::kExitNotWritten
                                                                 : stub::kExitNoContent);
        EXPECT_EQ(err.str(), StubMessage(s));
        EXPECT_EQ(out.str(), "");
        EXPECT_TRUE(Utf8Names(output).empty());
    }

    static const Sample& Find(std::string_view file) {
        for (const Sample& s : engine::test::Samples()) {
            if (file == s.file) return s;
        }
        ADD_FAILURE() << "no sample " << file;
        return engine::test::Samples().front();
    }
};

TEST_F(Samples, EveryFileOpensAsItsNameAndReadmeSay) {
    // The folder, the table and the README name the same files.
    std::set<std::string> embedded;
    for (std::string_view name : qor::test::EmbeddedSampleNames())
        embedded.insert(std::string(name));
    const std::string_view readme = qor::test::EmbeddedSample("README.md");
    std::set<std::string> listed;
    for (const Sample& s : engine::test::Samples()) {
        listed.insert(s.file);
        EXPECT_NE(readme.find("- `" + std::string(s.file) + "`: "), std::string_view::npos)
            << s.file << " has no README line";
        const std::string prefix = s.outcome == SampleOutcome::kOpens ? "good_" : "fail_";
        EXPECT_EQ(std::string(s.file).substr(0, 5), prefix) << s.file;
    }
    listed.insert("README.md");
    EXPECT_EQ(embedded, listed);

    int index = 0;
    for (const Sample& s : engine::test::Samples()) {
        SCOPED_TRACE(s.file);
        const std::string folder = "sample" + std::to_string(++index);
        switch (s.kind) {
            case SampleKind::kPreferenceFile:
                CheckPreferenceFile(s);
                break;
            case SampleKind::kLocal:
            case SampleKind::kShare:
                CheckEncryptedFile(s, folder);
                break;
            case SampleKind::kSelfExtracting:
                CheckSelfExtractingProgram(s, folder);
                break;
        }
    }
}

}  // namespace qor::engine::test
