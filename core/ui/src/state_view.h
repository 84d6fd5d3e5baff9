// The part of a view that every non-Win32 host shares: the state of each control, the caption,
// the focus, the timers and the end of the run. Hosts derive from it and add what the user
// sees (message boxes, beeps, cursors) and how the run is driven.
#pragma once

#include <qor/ui/dialog_template.h>
#include <qor/ui/dialog_view.h>

#include <cstdint>
#include <string>
#include <vector>

#include "secret_text.h"

namespace qor::ui {

struct ControlState {
    const ControlTemplate* control = nullptr;
    SecretText text;  // edits' text may be a password
    bool checked = false;
    bool visible = true;
    bool enabled = true;
    std::vector<std::string> items;
    int selection = -1;          // drop-down lists
    std::vector<bool> selected;  // list boxes: one flag an item
};

class StateView : public DialogView {
  public:
    explicit StateView(const DialogTemplate& dialog);

    size_t CopyText(int id, char* buffer, size_t size) const override;
    size_t TextLength(int id) const override;
    void SetText(int id, std::string_view text) override;
    bool IsChecked(int id) const override;
    void SetCheck(int id, bool checked) override;
    void Show(int id, bool visible) override;
    void Enable(int id, bool enabled) override;
    void Focus(int id) override;
    void SetCaption(std::string_view caption) override;
    void SetItems(int id, const std::vector<std::string>& items) override;
    int Selection(int id) const override;
    void SetSelection(int id, int index) override;
    bool IsSelected(int id, int index) const override;
    void SetItemSelected(int id, int index, bool selected) override;
    void StartTimer(int timerId, uint32_t milliseconds) override;
    void StopTimer(int timerId) override;
    void Close(int result) override;

    const DialogTemplate& dialog() const { return dialog_; }
    // States in template order; nullptr for an id the template does not hold.
    std::vector<ControlState>& states() { return states_; }
    const std::vector<ControlState>& states() const { return states_; }
    ControlState* State(int id);
    const ControlState* State(int id) const;
    // Index of the control of this state in the template.
    size_t IndexOf(const ControlState& state) const { return &state - states_.data(); }

    const std::string& caption() const { return caption_; }
    int focus() const { return focus_; }
    bool closed() const { return closed_; }
    int result() const { return result_; }

    // Timers, on the host's clock in milliseconds.
    void SetNow(uint64_t now) { now_ = now; }
    uint64_t now() const { return now_; }
    // The timer due first (ties: the one started first); false when none runs.
    bool NextTimer(int* timerId, uint64_t* due) const;
    // Schedules the timer's next tick one period after `now` (before its handler runs, so the
    // handler may stop or restart it).
    void Rearm(int timerId);

    // Checks a radio button and unchecks the others of its group.
    void SelectRadio(ControlState& radio);

  private:
    struct Timer {
        int id;
        uint32_t period;
        uint64_t due;
        uint64_t order;
    };

    const DialogTemplate& dialog_;
    std::vector<ControlState> states_;
    std::string caption_;
    int focus_ = kNoId;
    bool closed_ = false;
    int result_ = 0;
    uint64_t now_ = 0;
    uint64_t timerOrder_ = 0;
    std::vector<Timer> timers_;
};

}  // namespace qor::ui
