#include "password_check.h"

#include <qor/platform/system.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/shared_random.h>
#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>

#include <string>
#include <string_view>

namespace qor::dialogs {

using namespace ui;

namespace {

constexpr const char* kCaption = "QOR Vaultis";
// Where a run of digits stops being worth counting: far beyond every allowed value.
constexpr unsigned kSaturated = 1000000;

void PutLe32(uint8_t out[4], uint32_t value) {
    for (int k = 0; k < 4; ++k)
        out[k] = static_cast<uint8_t>(value >> (8 * k));
}

uint16_t Clamp(long value) {
    if (value < kMinMinutes) return kMinMinutes;
    if (value > kMaxMinutes) return kMaxMinutes;
    return static_cast<uint16_t>(value);
}

void ShowMinutes(DialogView& view, int id, uint16_t minutes) {
    view.SetText(id, std::to_string(minutes));
}

// A refusal of the password: the field is emptied and, in the dialogs that hide the password
// controls while a password is kept, they come back so that the user can type.
void RefusePassword(DialogView& view, const PasswordControls& controls,
                    const PasswordDialogState& state) {
    view.SetText(controls.password, "");
    if (controls.usesKeptPassword) ShowPasswordControls(view, controls, true, state.keep);
}

void SaveKeepSettings(const PasswordDialogState& state, std::string_view password) {
    profile::UserProfile& profile = profile::Profile();
    if (state.minutes != state.minutesAtOpen || state.keep != state.keepAtOpen) {
        const uint8_t minutes[2] = {static_cast<uint8_t>(state.minutes & 0xff),
                                    static_cast<uint8_t>(state.minutes >> 8)};
        const uint8_t keep = state.keep ? 1 : 0;
        profile.SetAttribute(profile::kAttrKeepMinutes, minutes);
        profile.SetAttribute(profile::kAttrKeepPassword, &keep);
        profile.ComputeAuthenticator(password);
    }
    // Every successful check rewrites the file, so that it always carries an authenticator
    // made with the password the user has just proven.
    profile.Write(&password);
}

}  // namespace

PasswordDialogState LoadKeepSettings() {
    const profile::UserProfile& profile = profile::Profile();
    PasswordDialogState state;
    state.minutesAtOpen = profile.KeepMinutes();
    state.keepAtOpen = profile.ByteAttribute(profile::kAttrKeepPassword) == 1;
    state.minutes = Clamp(state.minutesAtOpen);
    state.keep = state.keepAtOpen;
    return state;
}

bool ParseMinutes(const DialogView& view, int id, unsigned* value) {
    const std::string text = view.GetText(id);
    if (text.empty()) return false;
    unsigned number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<unsigned>(c - '0');
        if (number > kSaturated) number = kSaturated;
    }
    *value = number;
    return true;
}

CheckOutcome RunPasswordCheck(DialogView& view, const PasswordControls& controls,
                              PasswordDialogState& state) {
    unsigned minutes = 0;
    if (!ParseMinutes(view, controls.minutes, &minutes) || minutes < kMinMinutes ||
        minutes > kMaxMinutes) {
        view.ShowMessage("Time must be an integer between 1 and 999.", kCaption,
                         MessageButtons::kOk, MessageIcon::kNone);
        ShowMinutes(view, controls.minutes, state.minutes);
        return CheckOutcome::kStay;
    }
    state.minutes = static_cast<uint16_t>(minutes);

    profile::PasswordCache& cache = profile::Cache();
    if (controls.usesKeptPassword) {
        if (cache.IsPasswordKept() == 1) {
            state.resultFlag = 1;
            view.Close(kIdOk);
            return CheckOutcome::kConfirmed;
        }
        if (state.inMemory) {
            view.ShowMessage("Password no longer in memory.", kCaption, MessageButtons::kOk,
                             MessageIcon::kNone);
            ShowPasswordControls(view, controls, true, state.keep);
            state.inMemory = false;
        }
    }

    SecureBuffer typed(kPasswordBufferSize);
    const size_t length =
        view.CopyText(controls.password, reinterpret_cast<char*>(typed.data()), typed.size());
    const std::string_view password(reinterpret_cast<const char*>(typed.data()), length);
    if (length == 0) {
        view.Beep();
        return CheckOutcome::kStay;
    }

    profile::UserProfile& profile = profile::Profile();
    if (profile.VerifyPassword(password) != 0) {
        ++state.failures;
        view.ShowMessage("Invalid Password. ", kCaption, MessageButtons::kOk, MessageIcon::kNone);
        typed.Clear();
        RefusePassword(view, controls, state);
        if (state.failures >= 3) {
            view.Close(kIdCancel);
            return CheckOutcome::kCancelled;
        }
        view.Focus(controls.password);
        return CheckOutcome::kStay;
    }

    if (profile.CheckAuthenticity(password) != 1) {
        view.ShowMessage(
            "The authentication for your user preference file (userpref.!!!) is not valid.",
            kCaption, MessageButtons::kOk, MessageIcon::kStop);
        view.SetText(controls.password, "");
        typed.Clear();
        state.resultCode = kResultNotAuthentic;
        view.Close(kIdCancel);
        return CheckOutcome::kCancelled;
    }

    cache.StartKeepPeriod();
    cache.StorePassword(password);
    typed.Clear();
    cache.SetHeld(state.keep);
    SaveKeepSettings(state, cache.Password());

    state.resultFlag = 1;
    view.Close(kIdOk);
    return CheckOutcome::kConfirmed;
}

void ShowKeepSettings(DialogView& view, const PasswordControls& controls,
                      const PasswordDialogState& state) {
    ShowMinutes(view, controls.minutes, state.minutes);
    view.SetCheck(controls.keep, state.keep);
    ApplyKeepChoice(view, controls, state.keep);
}

void OnKeepClicked(DialogView& view, const PasswordControls& controls, PasswordDialogState& state) {
    state.keep = view.IsChecked(controls.keep);
    ApplyKeepChoice(view, controls, state.keep);
}

void ApplyKeepChoice(DialogView& view, const PasswordControls& controls, bool keep) {
    for (int id : {controls.minutes, controls.up, controls.down, controls.minutesLabel}) {
        if (controls.hideMinutesWhenNotKept) view.Show(id, keep);
        view.Enable(id, keep);
    }
    if (!controls.hideMinutesWhenNotKept) view.Show(controls.minutesLabel, keep);
    view.Show(controls.minutesLabelOff, !keep);
}

void ShowPasswordControls(DialogView& view, const PasswordControls& controls, bool visible,
                          bool keep) {
    if (!visible) {
        for (int id :
             {controls.passwordLabel, controls.password, controls.keep, controls.minutes,
              controls.up, controls.down, controls.minutesLabel, controls.minutesLabelOff}) {
            view.Show(id, false);
            view.Enable(id, false);
        }
        return;
    }
    for (int id : {controls.passwordLabel, controls.password, controls.keep}) {
        view.Show(id, true);
        view.Enable(id, true);
    }
    if (!controls.hideMinutesWhenNotKept) {
        for (int id : {controls.minutes, controls.up, controls.down})
            view.Show(id, true);
    }
    ApplyKeepChoice(view, controls, keep);
}

bool MinutesSpin::OnClick(DialogView& view, int controlId) {
    if (controlId == controls_.up) {
        Step(view, +1);
        return true;
    }
    if (controlId == controls_.down) {
        Step(view, -1);
        return true;
    }
    return false;
}

void MinutesSpin::OnPressed(DialogView& view, int buttonId) {
    if (buttonId != controls_.up && buttonId != controls_.down) return;
    OnReleased(view);
    held_ = buttonId;
    view.StartTimer(buttonId == controls_.up ? kTimerUpHeld : kTimerDownHeld, kHoldDelayMs);
}

void MinutesSpin::OnReleased(DialogView& view) {
    held_ = 0;
    view.StopTimer(kTimerUpHeld);
    view.StopTimer(kTimerDownHeld);
    view.StopTimer(kTimerSpinRepeat);
}

bool MinutesSpin::OnTimer(DialogView& view, int timerId) {
    if (timerId == kTimerUpHeld || timerId == kTimerDownHeld) {
        // The delay fires once; then the repeat takes over while the button stays down.
        view.StopTimer(timerId);
        const int button = timerId == kTimerUpHeld ? controls_.up : controls_.down;
        if (held_ == button) {
            Step(view, button == controls_.up ? +1 : -1);
            view.StartTimer(kTimerSpinRepeat, kRepeatMs);
        }
        return true;
    }
    if (timerId == kTimerSpinRepeat) {
        if (held_ == 0) {
            view.StopTimer(kTimerSpinRepeat);
        } else {
            Step(view, held_ == controls_.up ? +1 : -1);
        }
        return true;
    }
    return false;
}

void MinutesSpin::Step(DialogView& view, int delta) {
    unsigned typed = 0;
    const long current =
        ParseMinutes(view, controls_.minutes, &typed) ? static_cast<long>(typed) : state_.minutes;
    state_.minutes = Clamp(current + delta);
    ShowMinutes(view, controls_.minutes, state_.minutes);
}

void SeedFromPointer(int x, int y) {
    uint8_t bytes[12];
    PutLe32(bytes, platform::TickCount());
    PutLe32(bytes + 4, static_cast<uint32_t>(x));
    PutLe32(bytes + 8, static_cast<uint32_t>(y));
    profile::MixIntoSharedRandom(bytes, sizeof bytes);
}

void SeedFromPasswordField(const DialogView& view, int id) {
    uint8_t tick[4];
    PutLe32(tick, platform::TickCount());
    profile::MixIntoSharedRandom(tick, sizeof tick);
    char text[256] = {};
    view.CopyText(id, text, sizeof text);
    profile::MixSecretIntoSharedRandom(text, sizeof text);
    SecureWipe(text, sizeof text);
}

}  // namespace qor::dialogs
