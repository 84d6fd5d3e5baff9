// Entries of the AutoCrypt list whose file or folder can no longer be found: the check made as
// the list is read for the user, and the dialog that asks whether to keep such an entry.
#pragma once

#include <qor/ui/dialog_host.h>
#include <qor/ui/dialog_model.h>

#include <string>

namespace qor::autocrypt {

// What happens to the next missing entry of this read: ask, remove every one without asking,
// or keep every one without asking. Process-wide; AutoCryptGetFirst resets it to kAsk.
enum class MissingEntryChoice { kAsk = 0, kRemoveAll = 1, kKeepAll = 2 };
MissingEntryChoice& MissingEntryDecision();

enum EntryVerdict { kKeepEntry = 0, kRemoveEntry = -1 };

// Keep or remove `entry`. Folder entries (ending in "*") and empty ones are kept without a
// test; a file kept as its encrypted counterpart ("report(doc).!!!" for "report.doc") counts as
// found. Asks the user through the MissingEntryDialog unless the decision says otherwise.
EntryVerdict CheckListEntry(ui::OwnerWindow owner, const std::string& entry);

// "AutoCrypt List": the entry that was not found, and whether to remove it, keep it, or remove
// every entry that cannot be found.
//
// Control ids: 1080 the entry (a read-only field), 1081 "&Remove this entry", 1082 "&Keep this
// entry ", 1083 "Remove &all entries that cannot be found"; OK and Cancel.
class MissingEntryDialog : public ui::DialogModel {
  public:
    static constexpr int kEntry = 1080;
    static constexpr int kRemoveThis = 1081;
    static constexpr int kKeepThis = 1082;
    static constexpr int kRemoveAll = 1083;

    explicit MissingEntryDialog(const std::string& entry);

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;

    // The radio button that was on when OK was pressed; 0 after Cancel.
    int choice() const { return choice_; }
    // How many characters of the entry the field shows.
    int fieldWidth() const { return fieldWidth_; }

  private:
    ui::DialogTemplate template_;
    std::string entry_;
    int choice_ = 0;
    int fieldWidth_ = 0;
};

// `entry` shortened to `width` characters: its beginning and its last components with "..."
// between them (the end of a single over-long name is kept).
std::string ShortenEntry(const std::string& entry, int width);

}  // namespace qor::autocrypt
