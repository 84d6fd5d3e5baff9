#include "help.h"

#include <qor/platform/files.h>
#include <qor/profile/user_profile.h>

#include <string_view>

namespace qor::dialogs {

using namespace ui;

namespace {

constexpr const char* kHelpCaption = "QOR Vaultis Help";
// A topic is a page of text; anything longer is cut rather than shown in a box that cannot
// hold it.
constexpr size_t kMaxTopicBytes = 16 * 1024;

struct Topic {
    std::string text;
    MessageIcon icon = MessageIcon::kInformation;
};

// The topic file's text without trailing line ends, or the "not installed" message.
Topic LoadTopic(const std::string& name) {
    const std::string folder = profile::Profile().HomeFolder() + platform::kSeparator + "help";
    platform::File file =
        platform::File::Open(folder + platform::kSeparator + name + ".txt", platform::kAccessRead,
                             platform::kShareRead, platform::kOpenExisting);
    Topic topic;
    bool read = file.IsOpen();
    char chunk[1024];
    while (read && topic.text.size() < kMaxTopicBytes) {
        uint32_t got = 0;
        read = file.Read(chunk, sizeof chunk, &got);
        if (!read || got == 0) break;
        topic.text.append(chunk, got);
    }
    if (!read) {
        topic.text = "Help topic " + name + " is not installed.";
        topic.icon = MessageIcon::kExclamation;
        return topic;
    }
    if (topic.text.size() > kMaxTopicBytes) topic.text.resize(kMaxTopicBytes);
    while (!topic.text.empty() && (topic.text.back() == '\n' || topic.text.back() == '\r'))
        topic.text.pop_back();
    return topic;
}

}  // namespace

std::string HelpFilePath() {
    return profile::Profile().HomeFolder() + platform::kSeparator + "qorsec95.hlp";
}

void ShowHelpContext(OwnerWindow owner, int context) {
    const Topic topic = LoadTopic(std::to_string(context));
    CurrentHost().ShowMessage(owner, topic.text, kHelpCaption, MessageButtons::kOk, topic.icon);
}

void ShowHelpFinder(OwnerWindow owner) {
    const Topic topic = LoadTopic("index");
    CurrentHost().ShowMessage(owner, topic.text, kHelpCaption, MessageButtons::kOk, topic.icon);
}

void ShowHelpContext(DialogView& view, int context) {
    const Topic topic = LoadTopic(std::to_string(context));
    view.ShowMessage(topic.text, kHelpCaption, MessageButtons::kOk, topic.icon);
}

void ShowHelpFinder(DialogView& view) {
    const Topic topic = LoadTopic("index");
    view.ShowMessage(topic.text, kHelpCaption, MessageButtons::kOk, topic.icon);
}

}  // namespace qor::dialogs
