#include "message_box.h"

#include <string>

namespace qor::ui {

std::vector<int> ButtonIds(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::kOk:
            return {kIdOk};
        case MessageButtons::kOkCancel:
            return {kIdOk, kIdCancel};
        case MessageButtons::kYesNo:
            return {kIdYes, kIdNo};
        case MessageButtons::kYesNoCancel:
            return {kIdYes, kIdNo, kIdCancel};
    }
    return {kIdOk};
}

std::string_view ButtonName(int id) {
    switch (id) {
        case kIdOk:
            return "OK";
        case kIdCancel:
            return "Cancel";
        case kIdYes:
            return "Yes";
        case kIdNo:
            return "No";
    }
    return "?";
}

std::string ButtonsLabel(MessageButtons buttons) {
    std::string label;
    for (int id : ButtonIds(buttons)) {
        if (!label.empty()) label += '/';
        label += ButtonName(id);
    }
    return label;
}

int DismissResult(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::kOk:
            return kIdOk;
        case MessageButtons::kYesNo:
            return kIdNo;
        case MessageButtons::kOkCancel:
        case MessageButtons::kYesNoCancel:
            return kIdCancel;
    }
    return kIdCancel;
}

}  // namespace qor::ui
