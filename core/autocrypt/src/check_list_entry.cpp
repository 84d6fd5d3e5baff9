#include <qor/autocrypt/missing_entry.h>
#include <qor/engine/selection_walk.h>
#include <qor/platform/files.h>

namespace qor::autocrypt {

namespace {

// Entries longer than this are given no encrypted counterpart.
constexpr size_t kLongestCounterpartSource = 250;

bool Found(const std::string& pattern) {
    platform::Finder finder;
    platform::FindData data;
    return finder.First(pattern, &data);
}

}  // namespace

MissingEntryChoice& MissingEntryDecision() {
    static MissingEntryChoice decision = MissingEntryChoice::kAsk;
    return decision;
}

EntryVerdict CheckListEntry(ui::OwnerWindow owner, const std::string& entry) {
    MissingEntryChoice& decision = MissingEntryDecision();
    if (decision == MissingEntryChoice::kKeepAll) return kKeepEntry;
    // A folder's entry stands for whatever the folder holds, now or later.
    if (entry.empty() || entry.back() == '*') return kKeepEntry;
    if (Found(entry)) return kKeepEntry;
    // A listed file that is encrypted right now is still the user's file.
    if (entry.size() <= kLongestCounterpartSource) {
        const std::string counterpart = engine::EncryptedCounterpart(entry);
        if (!counterpart.empty() && Found(counterpart)) return kKeepEntry;
    }
    if (decision == MissingEntryChoice::kRemoveAll) return kRemoveEntry;

    MissingEntryDialog dialog(entry);
    const int pressed = ui::CurrentHost().RunModal(dialog, owner);
    if (pressed != ui::kIdOk) {
        decision = MissingEntryChoice::kKeepAll;
        return kKeepEntry;
    }
    if (dialog.choice() == MissingEntryDialog::kRemoveAll)
        decision = MissingEntryChoice::kRemoveAll;
    return dialog.choice() == MissingEntryDialog::kRemoveThis ||
                   dialog.choice() == MissingEntryDialog::kRemoveAll
               ? kRemoveEntry
               : kKeepEntry;
}

}  // namespace qor::autocrypt
