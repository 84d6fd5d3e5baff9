#include "scenario.h"

#include <qor/ui/dialog_view.h>

#include <cctype>

namespace qor::ui::script {

namespace {

// Carriage returns count as blanks, so files saved with any line ending read alike.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-';
}

bool AllDigits(std::string_view word) {
    if (word.empty()) return false;
    for (char c : word)
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) return false;
    return true;
}

std::string Lower(std::string_view word) {
    std::string lower(word);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Reads one scenario line from left to right.
class LineReader {
  public:
    explicit LineReader(std::string_view line) : line_(line) {}

    void SkipSpace() {
        while (pos_ < line_.size() && IsBlank(line_[pos_]))
            ++pos_;
    }
    // True at the end of the line or at a comment.
    bool AtEnd() {
        SkipSpace();
        return pos_ >= line_.size() || line_[pos_] == '#';
    }
    char Peek() {
        SkipSpace();
        return pos_ < line_.size() ? line_[pos_] : '\0';
    }
    bool Consume(std::string_view literal) {
        SkipSpace();
        if (line_.substr(pos_, literal.size()) != literal) return false;
        pos_ += literal.size();
        return true;
    }
    std::string_view Word() {
        SkipSpace();
        size_t start = pos_;
        while (pos_ < line_.size() && IsWordChar(line_[pos_]))
            ++pos_;
        return line_.substr(start, pos_ - start);
    }
    // A bare value: everything up to a blank or a comment.
    std::string_view Bare() {
        SkipSpace();
        size_t start = pos_;
        while (pos_ < line_.size() && !IsBlank(line_[pos_]) && line_[pos_] != '#')
            ++pos_;
        return line_.substr(start, pos_ - start);
    }
    // A quoted text with \" and \\ escapes, appended to *out; the cursor stands on the quote.
    bool Quoted(SecretText* out, std::string* error) {
        ++pos_;
        while (pos_ < line_.size()) {
            char c = line_[pos_++];
            if (c == '"') return true;
            if (c == '\\' && pos_ < line_.size() && (line_[pos_] == '"' || line_[pos_] == '\\'))
                c = line_[pos_++];
            out->Append(c);
        }
        *error = "unterminated quoted text";
        return false;
    }
    bool QuotedString(std::string* out, std::string* error) {
        SecretText text;
        if (!Quoted(&text, error)) return false;
        *out = std::string(text.view());
        return true;
    }
    std::string_view Rest() {
        SkipSpace();
        return line_.substr(pos_);
    }

  private:
    std::string_view line_;
    size_t pos_ = 0;
};

bool ParseNumber(std::string_view word, int* value) {
    // Nine digits at most keep the value inside an int.
    if (!AllDigits(word) || word.size() > 9) return false;
    int number = 0;
    for (char c : word)
        number = number * 10 + (c - '0');
    *value = number;
    return true;
}

bool Unexpected(LineReader& reader, std::string* error) {
    *error = "unexpected text \"" + std::string(reader.Rest()) + "\"";
    return false;
}

// A control by number or by quoted name.
bool ParseControlRef(LineReader& reader, ControlRef* ref, std::string* error) {
    if (reader.Peek() == '"') return reader.QuotedString(&ref->name, error);
    if (ParseNumber(reader.Word(), &ref->id)) return true;
    *error = "expected a control id or a quoted control text";
    return false;
}

bool ParseDialog(LineReader& reader, Entry* entry, std::string* error) {
    entry->kind = EntryKind::kDialog;
    if (reader.Consume("*")) {
        entry->anyCaption = true;
    } else if (reader.Peek() == '"') {
        if (!reader.QuotedString(&entry->caption, error)) return false;
    } else {
        *error = "expected a quoted caption or * after \"dialog\"";
        return false;
    }
    reader.Consume(":");
    while (!reader.AtEnd()) {
        Step step;
        if (reader.Consume("->")) {
            step.kind = StepKind::kPress;
            if (reader.Peek() == '"') {
                if (!reader.QuotedString(&step.control.name, error)) return false;
            } else if (!ParseNumber(reader.Word(), &step.control.id)) {
                *error = "expected a button id or a quoted button text after \"->\"";
                return false;
            }
        } else if (reader.Peek() != '"' &&
                   !std::isdigit(static_cast<unsigned char>(reader.Peek()))) {
            std::string_view word = reader.Word();
            if (word.empty()) return Unexpected(reader, error);
            if (word != "events") {
                *error = "unknown setting \"" + std::string(word) + "\"";
                return false;
            }
            step.kind = StepKind::kEvents;
            if (!reader.Consume("=") || !ParseNumber(reader.Bare(), &step.events)) {
                *error = "events needs a number: events=N";
                return false;
            }
        } else {
            step.kind = StepKind::kSet;
            if (!ParseControlRef(reader, &step.control, error)) return false;
            if (!reader.Consume("=")) {
                *error = "expected \"=\" and a value after the control";
                return false;
            }
            if (reader.Peek() == '"') {
                if (!reader.Quoted(&step.value, error)) return false;
            } else {
                std::string_view bare = reader.Bare();
                if (bare.empty()) {
                    *error = "expected a value after \"=\"";
                    return false;
                }
                step.value.Assign(bare);
            }
        }
        entry->steps.push_back(std::move(step));
    }
    return true;
}

bool ParseMessage(LineReader& reader, Entry* entry, std::string* error) {
    entry->kind = EntryKind::kMessage;
    if (reader.Peek() != '"') {
        *error = "expected a quoted text after \"message\"";
        return false;
    }
    if (!reader.QuotedString(&entry->substring, error)) return false;
    if (!reader.Consume("->")) {
        *error = "expected \"->\" and an answer after the message text";
        return false;
    }
    std::string answer = Lower(reader.Word());
    if (answer == "ok") {
        entry->answer = kIdOk;
    } else if (answer == "cancel") {
        entry->answer = kIdCancel;
    } else if (answer == "yes") {
        entry->answer = kIdYes;
    } else if (answer == "no") {
        entry->answer = kIdNo;
    } else {
        *error = "the answer must be OK, Cancel, Yes or No";
        return false;
    }
    return reader.AtEnd() || Unexpected(reader, error);
}

bool ParseProgress(LineReader& reader, Entry* entry, std::string* error) {
    entry->kind = EntryKind::kProgress;
    if (reader.Word() != "cancel-after" || !reader.Consume("=") ||
        !ParseNumber(reader.Bare(), &entry->cancelAfter)) {
        *error = "expected cancel-after=N after \"progress\"";
        return false;
    }
    return reader.AtEnd() || Unexpected(reader, error);
}

bool ParseLine(std::string_view line, Entry* entry, std::string* error) {
    LineReader reader(line);
    std::string_view keyword = reader.Word();
    if (keyword == "dialog") return ParseDialog(reader, entry, error);
    if (keyword == "message") return ParseMessage(reader, entry, error);
    if (keyword == "progress") return ParseProgress(reader, entry, error);
    *error = keyword.empty() ? "unexpected text \"" + std::string(reader.Rest()) + "\""
                             : "unknown keyword \"" + std::string(keyword) + "\"";
    return false;
}

}  // namespace

bool ParseScenario(std::string_view text, Scenario* scenario, std::string* error) {
    scenario->entries.clear();
    int number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (LineReader(line).AtEnd()) continue;
        Entry entry;
        entry.line = number;
        std::string reason;
        if (!ParseLine(line, &entry, &reason)) {
            *error = "line " + std::to_string(number) + ": " + reason;
            scenario->entries.clear();
            return false;
        }
        scenario->entries.push_back(std::move(entry));
    }
    return true;
}

}  // namespace qor::ui::script
