#include "autocrypt_editor.h"

#include <qor/entry/string_array.h>
#include <qor/platform/files.h>

#include <algorithm>
#include <cstring>

#include "classify_extension.h"
#include "string_table.h"

namespace qor::shell {

namespace {

using GetFirstCall = int (*)(void*, char*, void*);
using PlainCall = int (*)();
using UpdateCall = int (*)(void*, const QorStringArray*, int, int, void*);
using ArrayCall = int (*)(void*, const QorStringArray*, void*);

constexpr size_t kEntryBuffer = 260;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The list box keeps its entries sorted without regard to case.
bool ListBoxOrder(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

void WipeBlock(HandOverBlock& block) {
    volatile unsigned char* bytes = reinterpret_cast<volatile unsigned char*>(&block);
    for (size_t k = 0; k < sizeof block; ++k)
        bytes[k] = 0;
}

}  // namespace

bool SameEntry(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
#else
    return a == b;
#endif
}

AutoCryptEditor::AutoCryptEditor(QorShellWindow owner) : owner_(owner) {
    const auto first = core_.Export<GetFirstCall>("AutoCryptGetFirst");
    const auto next = core_.Export<GetFirstCall>("AutoCryptGetNext");
    const auto startUp = core_.Export<PlainCall>("GetStartUpFlag");
    if (first == nullptr || next == nullptr || startUp == nullptr) return;
    busy_ = std::make_unique<BusyScope>();

    char buffer[kEntryBuffer] = {};
    {
        // The reader puts the password into the block; it is kept here for "Done", and in the
        // shared block only if the user chose to keep it.
        HandOverLease lease;
        if (first(owner, buffer, lease.get()) != 0) return;
        std::memcpy(&saved_, lease.get(), sizeof saved_);
    }
    opened_ = true;
    for (;;) {
        buffer[kEntryBuffer - 1] = '\0';
        if (buffer[0] != '\0') entries_.emplace_back(buffer);
        buffer[0] = '\0';
        if (next(owner, buffer, nullptr) != 0) break;
    }
    std::stable_sort(entries_.begin(), entries_.end(), ListBoxOrder);
    startUp_ = startUp() != 0;
}

AutoCryptEditor::~AutoCryptEditor() {
    WipeBlock(saved_);
}

AutoCryptEditor::AddResult AutoCryptEditor::Add(const std::string& path, bool isFolder,
                                                std::string* message) {
    if (platform::IsInsideSystemFolder(path)) {
        *message = std::string(LoadShellString(kStrListRefusedSystemFolder));
        return AddResult::kRefused;
    }
    std::string entry = path;
    if (isFolder) {
        entry += platform::kSeparator;
        entry += "*.*";
    } else {
        const size_t separator = path.rfind(platform::kSeparator);
        const size_t dot = path.rfind('.');
        if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
            const std::string extension = path.substr(dot);
            if (ClassifyExtension(extension) != kExtensionPlain) {
                std::string text(LoadShellString(kStrListRefusedExtension));
                text.replace(text.find("%s"), 2, extension);
                *message = text;
                return AddResult::kRefused;
            }
        }
    }
    if (std::any_of(entries_.begin(), entries_.end(),
                    [&](const std::string& e) { return SameEntry(e, entry); })) {
        return AddResult::kAlreadyListed;
    }
    entries_.insert(std::upper_bound(entries_.begin(), entries_.end(), entry, ListBoxOrder), entry);
    return AddResult::kAdded;
}

bool AutoCryptEditor::Remove(const std::string& entry) {
    const auto end = std::remove_if(entries_.begin(), entries_.end(),
                                    [&](const std::string& e) { return SameEntry(e, entry); });
    const bool removed = end != entries_.end();
    entries_.erase(end, entries_.end());
    return removed;
}

void AutoCryptEditor::Now(const char* exportName, bool withListPassword) {
    const auto call = core_.Export<ArrayCall>(exportName);
    if (!opened_ || call == nullptr) return;
    const entry::StringArray array(entries_);
    if (withListPassword) {
        HandOverBlock block;
        std::memcpy(&block, &saved_, sizeof block);
        block.valid = 1;
        call(owner_, array.get(), &block);
        WipeBlock(block);
        return;
    }
    HandOverLease lease;
    call(owner_, array.get(), lease.get());
}

void AutoCryptEditor::EncryptNow(bool withListPassword) {
    Now("EncryptNow", withListPassword);
}

void AutoCryptEditor::DecryptNow(bool withListPassword) {
    Now("DecryptNow", withListPassword);
}

void AutoCryptEditor::ShowHelp() {
    if (const auto help = core_.Export<int (*)(void*)>("ShowAutoCryptHelp")) help(owner_);
}

bool AutoCryptEditor::Done() {
    const auto update = core_.Export<UpdateCall>("UpdateAutocryptList");
    if (!opened_ || update == nullptr) return false;
    const entry::StringArray array(entries_);
    update(owner_, array.get(), startUp_ ? 1 : 0, 0, &saved_);
    return true;
}

}  // namespace qor::shell
