#include <qor/engine/file_share.h>
#include <qor/platform/files.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>
#include <qor/ui/dialog_host.h>

#include <cstring>

#include "engine_internal.h"

namespace qor::engine {

namespace {

// MD5 over the pieces in order, into `out` (16 bytes).
int Md5Of(const unsigned char* a, unsigned int aLength, const unsigned char* b,
          unsigned int bLength, const unsigned char* c, unsigned int cLength, uint8_t out[16]) {
    DigestObject* digest = nullptr;
    int status = DigestCreate(&digest, kDigestMd5);
    if (status == 0) status = DigestUpdate(digest, a, aLength);
    if (status == 0 && bLength != 0) status = DigestUpdate(digest, b, bLength);
    unsigned char* result = nullptr;
    unsigned int length = 0;
    if (status == 0) status = DigestFinal(&result, &length, digest, c, cLength);
    if (status == 0 && length != 16) status = kStatusBadDigest;
    if (status == 0) std::memcpy(out, result, 16);
    // The digest object wipes what it held.
    DigestDestroy(&digest);
    return status;
}

constexpr int kIdFileName = 1152;

// The save-file dialog, reduced to what the choice needs (a name field preset to the filter),
// for hosts without one of their own.
class SaveAsModel : public ui::DialogModel {
  public:
    SaveAsModel() {
        dialog_.caption = "Save As";
        dialog_.rect = {0, 0, 220, 60};
        dialog_.style |= ui::kStyleCentered;
        dialog_.controls.push_back(ui::Static("File &name:", {7, 10, 50, 9}));
        dialog_.controls.push_back(ui::Edit(kIdFileName, {60, 8, 150, 12}, 259));
        dialog_.controls.push_back(ui::DefPushButton(ui::kIdOk, "OK", {104, 36, 50, 14}));
        dialog_.controls.push_back(ui::PushButton(ui::kIdCancel, "Cancel", {160, 36, 50, 14}));
    }
    const ui::DialogTemplate& Template() const override { return dialog_; }
    void OnInit(ui::DialogView& view) override { view.SetText(kIdFileName, "*.exe"); }
    void OnCommand(ui::DialogView& view, int controlId) override {
        if (controlId == ui::kIdOk) {
            chosen_ = view.GetText(kIdFileName);
            view.Close(ui::kIdOk);
            return;
        }
        DialogModel::OnCommand(view, controlId);
    }
    const std::string& chosen() const { return chosen_; }

  private:
    ui::DialogTemplate dialog_;
    std::string chosen_;
};

}  // namespace

int DeriveShareKey(std::string_view password, const uint8_t salt[16], uint8_t key[16],
                   uint8_t check[16]) {
    const auto* text = reinterpret_cast<const unsigned char*>(password.data());
    const auto length = static_cast<unsigned int>(password.size());
    int status = Md5Of(text, length, salt, 16, text, length, key);
    if (status == 0) status = Md5Of(key, 16, nullptr, 0, key, 16, check);
    return status;
}

std::string StubPath() {
    const std::string fallback =
        std::string(1, platform::kSeparator) + "qor" + platform::kSeparator + "user";
    std::string path = profile::HomeFolderFromRegistry(fallback);
    if (path.empty() || path.back() != platform::kSeparator) path += platform::kSeparator;
    return path + "decexe";
}

int SelfExtractingName(const std::string& source, std::string* name) {
    std::string proposed = source;
    const size_t dot = proposed.rfind('.');
    const size_t separator = LastSeparator(proposed);
    // Only a dot in the last component starts an extension; one in a folder name stays.
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
        proposed.resize(dot);
    }
    proposed += ".exe";
    *name = proposed;
    return platform::Exists(proposed) ? -1 : 0;
}

int ChooseAnotherName(FileJob& job, const std::string& source, std::string* name) {
    std::string proposed = *name;
    if (proposed.empty()) SelfExtractingName(source, &proposed);
    ui::CurrentHost().ShowMessage(
        job.parent, WithPath("\"%s\" already exsists.  Please choose another file name.", proposed),
        kCaption, ui::MessageButtons::kOk, ui::MessageIcon::kExclamation);
    const std::string folder = FolderPart(source);
    const ui::SaveFileRequest request{"Executable (*.EXE)", "*.exe", "EXE", folder, "*.exe"};
    for (;;) {
        std::string chosen;
        int answer = ui::CurrentHost().ChooseSaveFile(job.parent, request, &chosen);
        if (answer == ui::kNoSaveDialog) {
            SaveAsModel dialog;
            answer = ui::CurrentHost().RunModal(dialog, job.parent);
            chosen = dialog.chosen();
        }
        if (answer != ui::kIdOk) return 0;
        // A pattern or nothing only filters the list in a save dialog; it is no choice.
        if (chosen.empty() || chosen.find_first_of("*?") != std::string::npos) continue;
        if (LastSeparator(chosen) == std::string::npos) chosen = FolderPart(source) + chosen;
        if (NamePart(chosen).find('.') == std::string::npos) chosen += ".exe";
        if (!platform::Exists(chosen)) {
            *name = chosen;
            return 1;
        }
        ui::CurrentHost().ShowMessage(job.parent,
                                      "File already exsists, Please choose another name.", kCaption,
                                      ui::MessageButtons::kOk, ui::MessageIcon::kExclamation);
    }
}

}  // namespace qor::engine
