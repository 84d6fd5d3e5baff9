#include "shutdown_help.h"

#include <qor/platform/files.h>
#include <qor/platform/registry.h>

#include <string>

namespace qor::shutdown {

namespace {

constexpr const char* kHomeKey = "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR";
constexpr const char* kHelpCaption = "QOR Vaultis Help";
// A topic is a page of text; anything longer is cut rather than shown in a box that cannot
// hold it.
constexpr size_t kMaxTopicBytes = 16 * 1024;

}  // namespace

void ShowShutdownHelp(ui::DialogView& view) {
    std::string home;
    if (!platform::RegistryReadString(platform::Hive::kClassesRoot, kHomeKey, "UserHomeDir",
                                      &home) ||
        home.empty() || home.size() >= platform::kMaxPath) {
        return;
    }
    const std::string number = std::to_string(kHelpContext);
    const std::string path =
        home + platform::kSeparator + "help" + platform::kSeparator + number + ".txt";
    platform::File file = platform::File::Open(path, platform::kAccessRead, platform::kShareRead,
                                               platform::kOpenExisting);
    std::string text;
    bool read = file.IsOpen();
    char chunk[1024];
    while (read && text.size() < kMaxTopicBytes) {
        uint32_t got = 0;
        read = file.Read(chunk, sizeof chunk, &got);
        if (!read || got == 0) break;
        text.append(chunk, got);
    }
    if (!read) {
        view.ShowMessage("Help topic " + number + " is not installed.", kHelpCaption,
                         ui::MessageButtons::kOk, ui::MessageIcon::kExclamation);
        return;
    }
    if (text.size() > kMaxTopicBytes) text.resize(kMaxTopicBytes);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    view.ShowMessage(text, kHelpCaption, ui::MessageButtons::kOk, ui::MessageIcon::kInformation);
}

}  // namespace qor::shutdown
