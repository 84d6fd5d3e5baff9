// "Random Seeding": the user's key strokes and pointer moves seed the random generator before
// any key is made.
//
// Every key stroke mixes the 4-byte tick count; every pointer move mixes the tick count and
// then one byte of the pointer's position (low nibble of x, low nibble of y above it) with the
// three low bytes of the same tick count. Each of them is one seed event. The dialog closes
// itself once the generator needs no more seed bytes AND more than 256 events were counted:
// the generator may be satisfied long before (a pointer move alone brings 8 bytes), but the
// user's events are what make the seed unpredictable, so the count governs. Until then Escape
// and Cancel are refused and Enter does nothing; there are no buttons, so it cannot be skipped.
//
// Control ids: 1201 the request text, 1202 the product bitmap, 1203 the bar (filled as the
// events come, in thousandths), 1204 "Percent Done:", 1205 the percentage, 1206 the
// masked edit field that holds the focus so that every key stroke reaches the dialog.
#pragma once

#include <qor/toolkit.h>
#include <qor/ui/dialog_model.h>

#include <cstdint>

namespace qor::dialogs {

class RandomSeedingDialog : public ui::DialogModel {
  public:
    static constexpr int kText = 1201;
    static constexpr int kBitmap = 1202;
    static constexpr int kBar = 1203;
    static constexpr int kPercentLabel = 1204;
    static constexpr int kPercent = 1205;
    static constexpr int kKeys = 1206;

    // Events the bar and the percentage count up to; the dialog completes after more.
    static constexpr int kFullScale = 256;

    using TickSource = uint32_t (*)();

    // Seeds the process's shared generator with the platform's tick count; tests pass their
    // own generator and clock.
    RandomSeedingDialog();
    RandomSeedingDialog(RandomObject* random, TickSource tick);

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;
    void OnTextChanged(ui::DialogView& view, int controlId) override;
    void OnPointerMove(ui::DialogView& view, int x, int y) override;
    void OnKey(ui::DialogView& view, int key, int repeatCount) override;
    bool CanClose(ui::DialogView& view) override;

    int events() const { return events_; }
    // The generator needs no more seed bytes and more than kFullScale events were counted.
    bool Complete() const;
    // Percentage shown: events x 100 / 256, truncated.
    int Percent() const;
    // The blue part of a bar `barWidth` wide (any unit), in proportion to events / 256 and
    // never wider than the bar. Hosts pass the bar's width in pixels; FilledWidth() is in the
    // dialog units of the frame control kBar.
    int FilledWidth(int barWidth) const;
    int FilledWidth() const;

  private:
    void Mix(const uint8_t bytes[4]);
    void KeyStroke(ui::DialogView& view);
    void Counted(ui::DialogView& view);

    ui::DialogTemplate template_;
    RandomObject* random_;
    TickSource tick_;
    int events_ = 0;
    // A key stroke reaches OnKey and then, when it typed something, OnTextChanged; it counts
    // once. A text change with no key before it (a host that reports only the change) counts.
    bool keyCounted_ = false;
};

}  // namespace qor::dialogs
