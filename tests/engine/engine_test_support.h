// What the engine tests share: a scratch folder with a set-up user in its home folder, a host
// that records every message box and answers from a queue, and a job with a counting hook.
#pragma once

#include <gtest/gtest.h>
#include <qor/engine/crypt_options.h>
#include <qor/ui/dialog_host.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

namespace qor::engine::test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline constexpr uint8_t kUserKey[10] = {0x10, 0x21, 0x32, 0x43, 0x54,
                                         0x65, 0x76, 0x87, 0x98, 0xa9};
inline constexpr const char* kPassword = "secret1";

struct Shown {
    std::string text;  // "caption: text"
    ui::MessageButtons buttons;
};

class RecordingHost : public ui::DialogHost {
  public:
    RecordingHost() { ui::SetHostForTesting(this); }
    ~RecordingHost() override { ui::SetHostForTesting(nullptr); }
    // Save-file dialogs: each entry is typed into the name field and confirmed; an empty
    // queue cancels.
    int RunModal(ui::DialogModel& model, ui::OwnerWindow owner) override;
    // Answers from `answers`; when it is empty: OK, or No for a Yes/No question.
    int ShowMessage(ui::OwnerWindow owner, std::string_view text, std::string_view caption,
                    ui::MessageButtons buttons, ui::MessageIcon icon) override;
    void Beep() override {}

    std::vector<Shown> messages;
    std::deque<int> answers;
    std::deque<std::string> names;
    std::vector<std::string> dialogCaptions;
    std::vector<std::string> presetNames;
};

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A folder below the scratch folder (created).
    std::string Folder(const std::string& name) const;
    std::string Path(const std::string& folder, const std::string& name) const;
    static Bytes ReadAll(const std::string& path);
    static void WriteAll(const std::string& path, const Bytes& bytes);
    static Bytes Pattern(size_t size, uint8_t seed = 1);
    // Names in a folder, sorted.
    static std::vector<std::string> Names(const std::string& folder);
    // A local encrypted file whose envelope stores `storedName` (bytes as given, the
    // terminator included by the caller), sealed under the user key.
    static void ForgeLocalFile(const std::string& path, const std::string& storedName,
                               const Bytes& plaintext);

    fs::path scratch_;
    std::string home_;
    RecordingHost host_;
    ProgressState state_;
    int hookCalls_ = 0;
    ProgressHook hook_{};
    CryptOptions options_;
    FileJob job_;
};

}  // namespace qor::engine::test
