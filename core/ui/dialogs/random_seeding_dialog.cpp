#include "random_seeding_dialog.h"

#include <qor/platform/system.h>
#include <qor/profile/shared_random.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace qor::dialogs {

using namespace ui;

namespace {

void PutLe32(uint8_t out[4], uint32_t value) {
    for (int k = 0; k < 4; ++k)
        out[k] = static_cast<uint8_t>(value >> (8 * k));
}

}  // namespace

RandomSeedingDialog::RandomSeedingDialog()
    : RandomSeedingDialog(profile::SharedRandom(), platform::TickCount) {}

RandomSeedingDialog::RandomSeedingDialog(RandomObject* random, TickSource tick)
    : random_(random), tick_(tick) {
    template_.caption = "Random Seeding";
    template_.rect = {0, 0, 240, 110};
    template_.style = kStyleCentered | kStyleModalFrame;
    template_.controls = {
        Static("Please provide random key strokes and/or mouse movements.  These will be used "
               "to seed the random number generation in this setup process.",
               {52, 7, 181, 42}, kText),
        Bitmap(kBitmap, "productBitmap", {7, 7, 36, 36}),
        ProgressBar(kBar, {7, 58, 226, 10}),
        Static("Percent Done:", {7, 76, 50, 8}, kPercentLabel),
        Static("", {60, 76, 30, 8}, kPercent),
        PasswordEdit(kKeys, {7, 90, 226, 12}, 0),
    };
}

void RandomSeedingDialog::OnInit(DialogView& view) {
    events_ = 0;
    keyCounted_ = false;
    view.SetText(kPercent, "0%");
    view.SetText(kBar, "0");
    view.Focus(kKeys);
}

void RandomSeedingDialog::OnCommand(DialogView& view, int controlId) {
    // Enter must not end the seeding; Escape goes through CanClose.
    if (controlId == kIdOk) return;
    DialogModel::OnCommand(view, controlId);
}

void RandomSeedingDialog::OnKey(DialogView& view, int, int) {
    KeyStroke(view);
    keyCounted_ = true;
}

void RandomSeedingDialog::OnTextChanged(DialogView& view, int controlId) {
    if (controlId != kKeys) return;
    if (keyCounted_) {
        keyCounted_ = false;
        return;
    }
    KeyStroke(view);
}

void RandomSeedingDialog::KeyStroke(DialogView& view) {
    uint8_t word[4];
    PutLe32(word, tick_());
    Mix(word);
    Counted(view);
}

void RandomSeedingDialog::OnPointerMove(DialogView& view, int x, int y) {
    keyCounted_ = false;
    const uint32_t tick = tick_();
    uint8_t word[4];
    PutLe32(word, tick);
    Mix(word);
    word[0] = static_cast<uint8_t>((x & 0x0f) | ((y & 0x0f) << 4));
    word[1] = static_cast<uint8_t>(tick);
    word[2] = static_cast<uint8_t>(tick >> 8);
    word[3] = static_cast<uint8_t>(tick >> 16);
    Mix(word);
    Counted(view);
}

void RandomSeedingDialog::Mix(const uint8_t bytes[4]) {
    if (random_ != nullptr) RandomSeed(random_, bytes, 4);
}

void RandomSeedingDialog::Counted(DialogView& view) {
    ++events_;
    char text[16];
    std::snprintf(text, sizeof text, "%d%%", Percent());
    view.SetText(kPercent, text);
    view.SetText(kBar, std::to_string(FilledWidth(1000)));
    if (Complete()) view.Close(kIdOk);
}

bool RandomSeedingDialog::Complete() const {
    // A generator that could not be made (or answers nothing) must not trap the user in a
    // dialog that cannot be closed; the salt drawn afterwards reports the failure instead.
    unsigned int needed = 0;
    if (random_ != nullptr && RandomBytesNeeded(&needed, random_) != kStatusOk) needed = 0;
    return needed == 0 && events_ > kFullScale;
}

bool RandomSeedingDialog::CanClose(DialogView&) {
    return Complete();
}

int RandomSeedingDialog::Percent() const {
    return events_ * 100 / kFullScale;
}

int RandomSeedingDialog::FilledWidth(int barWidth) const {
    const int counted = std::min(events_, kFullScale);
    return static_cast<int>(static_cast<int64_t>(barWidth) * counted / kFullScale);
}

int RandomSeedingDialog::FilledWidth() const {
    return FilledWidth(template_.Find(kBar)->rect.width);
}

}  // namespace qor::dialogs
