#include "line_editor.h"

#include "src/utf8.h"
#include "tty_io.h"

namespace qor::ui::tty {

namespace {

// Continuation bytes that follow a lead byte.
int ContinuationCount(unsigned char lead) {
    if (lead >= 0xf0) return 3;
    if (lead >= 0xe0) return 2;
    if (lead >= 0xc0) return 1;
    return 0;
}

}  // namespace

LineEditor::LineEditor(std::string_view initial, size_t limit, bool masked)
    : text_(initial), limit_(limit), masked_(masked) {}

std::string LineEditor::Shown() const {
    return masked_ ? std::string(Utf8Length(text_.view()), '*') : std::string(text_.view());
}

LineEditor::Action LineEditor::Key(int key, std::string* echo) {
    echo->clear();
    switch (key) {
        case kKeyEnd:
            return Action::kEnd;
        case kKeyEnter:
        case kKeyReturn:
            return Action::kEnter;
        case kKeyTab:
            return Action::kTab;
        case kKeyEscape:
        case kKeyCtrlC:
            return Action::kCancel;
        case kKeyBackspace:
        case kKeyDelete: {
            if (text_.empty()) return Action::kIgnored;
            size_t length = text_.size();
            while (length > 0 && IsContinuationByte(text_.view()[length - 1]))
                --length;
            text_.Truncate(length > 0 ? length - 1 : 0);
            pending_ = 0;
            *echo = "\b \b";
            return Action::kChanged;
        }
        default:
            break;
    }
    if (key < 0x20 || key > 0xff) return Action::kIgnored;
    char c = static_cast<char>(key);
    if (IsContinuationByte(c)) {
        if (pending_ == 0) return Action::kIgnored;
        --pending_;
        if (dropping_) return pending_ == 0 ? Action::kRefused : Action::kPending;
        text_.Append(c);
        if (!masked_) *echo = std::string(1, c);
        return pending_ == 0 ? Action::kChanged : Action::kPending;
    }
    pending_ = ContinuationCount(static_cast<unsigned char>(c));
    dropping_ = limit_ != 0 && Utf8Length(text_.view()) >= limit_;
    if (dropping_) {
        *echo = "\a";
        return pending_ == 0 ? Action::kRefused : Action::kPending;
    }
    text_.Append(c);
    *echo = masked_ ? "*" : std::string(1, c);
    return pending_ == 0 ? Action::kChanged : Action::kPending;
}

}  // namespace qor::ui::tty
