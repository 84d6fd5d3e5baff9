#include "state_view.h"

#include <algorithm>
#include <cstring>

namespace qor::ui {

StateView::StateView(const DialogTemplate& dialog) : dialog_(dialog), caption_(dialog.caption) {
    states_.resize(dialog.controls.size());
    for (size_t i = 0; i < states_.size(); ++i) {
        const ControlTemplate& control = dialog.controls[i];
        ControlState& state = states_[i];
        state.control = &control;
        state.visible = control.visible;
        state.enabled = control.enabled;
        // Edits start empty; every other control shows its template text.
        bool edit = control.kind == ControlKind::kEdit ||
                    control.kind == ControlKind::kPasswordEdit ||
                    control.kind == ControlKind::kMultiLineEdit;
        if (!edit) state.text.Assign(control.text);
    }
}

ControlState* StateView::State(int id) {
    if (id == kNoId) return nullptr;
    for (ControlState& state : states_)
        if (state.control->id == id) return &state;
    return nullptr;
}

const ControlState* StateView::State(int id) const {
    return const_cast<StateView*>(this)->State(id);
}

size_t StateView::CopyText(int id, char* buffer, size_t size) const {
    if (buffer == nullptr || size == 0) return 0;
    const ControlState* state = State(id);
    size_t length = 0;
    if (state != nullptr) {
        length = std::min(state->text.size(), size - 1);
        if (length != 0) std::memcpy(buffer, state->text.view().data(), length);
    }
    buffer[length] = '\0';
    return length;
}

size_t StateView::TextLength(int id) const {
    const ControlState* state = State(id);
    return state == nullptr ? 0 : state->text.size();
}

void StateView::SetText(int id, std::string_view text) {
    if (ControlState* state = State(id)) state->text.Assign(text);
}

bool StateView::IsChecked(int id) const {
    const ControlState* state = State(id);
    return state != nullptr && state->checked;
}

void StateView::SetCheck(int id, bool checked) {
    if (ControlState* state = State(id)) state->checked = checked;
}

void StateView::Show(int id, bool visible) {
    if (ControlState* state = State(id)) state->visible = visible;
}

void StateView::Enable(int id, bool enabled) {
    if (ControlState* state = State(id)) state->enabled = enabled;
}

void StateView::Focus(int id) {
    if (State(id) != nullptr) focus_ = id;
}

void StateView::SetCaption(std::string_view caption) {
    caption_ = std::string(caption);
}

void StateView::SetItems(int id, const std::vector<std::string>& items) {
    if (ControlState* state = State(id)) {
        state->items = items;
        state->selection = -1;
        state->selected.assign(items.size(), false);
    }
}

int StateView::Selection(int id) const {
    const ControlState* state = State(id);
    if (state == nullptr) return -1;
    if (state->control->kind != ControlKind::kListBox) return state->selection;
    for (size_t i = 0; i < state->selected.size(); ++i)
        if (state->selected[i]) return static_cast<int>(i);
    return -1;
}

void StateView::SetSelection(int id, int index) {
    ControlState* state = State(id);
    if (state == nullptr) return;
    bool valid = index >= 0 && static_cast<size_t>(index) < state->items.size();
    if (state->control->kind == ControlKind::kListBox) {
        state->selected.assign(state->items.size(), false);
        if (valid) state->selected[index] = true;
        return;
    }
    state->selection = valid ? index : -1;
}

bool StateView::IsSelected(int id, int index) const {
    const ControlState* state = State(id);
    return state != nullptr && index >= 0 && static_cast<size_t>(index) < state->selected.size() &&
           state->selected[index];
}

void StateView::SetItemSelected(int id, int index, bool selected) {
    ControlState* state = State(id);
    if (state != nullptr && index >= 0 && static_cast<size_t>(index) < state->selected.size())
        state->selected[index] = selected;
}

void StateView::StartTimer(int timerId, uint32_t milliseconds) {
    StopTimer(timerId);
    timers_.push_back({timerId, milliseconds, now_ + milliseconds, timerOrder_++});
}

void StateView::StopTimer(int timerId) {
    std::erase_if(timers_, [timerId](const Timer& timer) { return timer.id == timerId; });
}

void StateView::Close(int result) {
    closed_ = true;
    result_ = result;
}

bool StateView::NextTimer(int* timerId, uint64_t* due) const {
    const Timer* next = nullptr;
    for (const Timer& timer : timers_)
        if (next == nullptr || timer.due < next->due ||
            (timer.due == next->due && timer.order < next->order))
            next = &timer;
    if (next == nullptr) return false;
    *timerId = next->id;
    *due = next->due;
    return true;
}

void StateView::Rearm(int timerId) {
    for (Timer& timer : timers_)
        if (timer.id == timerId) timer.due = now_ + timer.period;
}

void StateView::SelectRadio(ControlState& radio) {
    // The group runs from the nearest group start at or before this button to the next one.
    size_t index = IndexOf(radio);
    size_t first = index;
    while (first > 0 && !dialog_.controls[first].groupStart)
        --first;
    for (size_t i = first; i < states_.size(); ++i) {
        if (i > first && dialog_.controls[i].groupStart) break;
        if (dialog_.controls[i].kind == ControlKind::kRadioButton) states_[i].checked = false;
    }
    radio.checked = true;
}

}  // namespace qor::ui
