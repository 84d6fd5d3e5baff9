// Recorders for the selection walk's tests: the messages the user would see, the progress
// dialog's status line, and the per-file calls into the engine.
#pragma once

#include <qor/engine/selection_walk.h>
#include <qor/ui/dialog_host.h>

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace qor::test {

class RecordingHost : public ui::DialogHost {
  public:
    int RunModal(ui::DialogModel&, ui::OwnerWindow) override {
        ADD_FAILURE() << "the walk opened a dialog";
        return ui::kIdCancel;
    }
    int ShowMessage(ui::OwnerWindow, std::string_view text, std::string_view caption,
                    ui::MessageButtons buttons, ui::MessageIcon icon) override {
        EXPECT_EQ(caption, "QOR Vaultis");
        std::string line(text);
        line += buttons == ui::MessageButtons::kOkCancel ? " [OK Cancel]" : " [OK]";
        if (icon == ui::MessageIcon::kExclamation) line += " [!]";
        messages.push_back(line);
        if (answers.empty()) return ui::kIdOk;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Beep() override {}

    std::vector<std::string> messages;
    std::deque<int> answers;  // kIdOk once they run out
};

class RecordingDisplay : public engine::WalkDisplay {
  public:
    void SetStatusText(const std::string& text) override { statuses.push_back(text); }
    void Close() override { ++closes; }
    std::vector<std::string> statuses;
    int closes = 0;
};

class RecordingWorker : public engine::FileWorker {
  public:
    int Encrypt(engine::FileJob& job, const std::string& source,
                const std::string& output) override {
        calls.push_back("E " + source + " -> " + output);
        jobs.push_back(job);
        auto found = results.find(source);
        return found == results.end() ? 0 : found->second;
    }
    int Decrypt(engine::FileJob& job, const std::string& encrypted,
                std::string* decrypted) override {
        calls.push_back("D " + encrypted);
        jobs.push_back(job);
        if (job.options != nullptr) lastOptions = *job.options;
        *decrypted = encrypted + ".plain";
        auto found = results.find(encrypted);
        return found == results.end() ? 0 : found->second;
    }
    int SelfExtractingName(const std::string& source, std::string* name) override {
        calls.push_back("X " + source);
        *name = source + ".exe";
        return exeNameTaken ? -1 : 0;
    }
    int ChooseAnotherName(engine::FileJob&, const std::string& source, std::string* name) override {
        calls.push_back("C " + source);
        *name = source + "-other.exe";
        return acceptAnotherName ? 1 : 0;
    }

    std::vector<std::string> calls;
    std::vector<engine::FileJob> jobs;
    std::map<std::string, int> results;
    engine::CryptOptions lastOptions;
    bool exeNameTaken = false;
    bool acceptAnotherName = false;
};

}  // namespace qor::test
