// What the encrypt, decrypt and "Password" dialogs share: the check of a typed password when
// OK is pressed, the minutes spin, the keep box, and the seeding of the shared random
// generator from the user's pointer moves and typing.
//
// Each of those dialogs keeps a PasswordDialogState and describes its controls with a
// PasswordControls; the helpers below then behave identically in all of them. They use the
// process-wide UserProfile and PasswordCache.
//
// Control ids (those of the encrypt dialog, reused by every password dialog):
//   1015 user name            1028 password label        1022 password field
//   1010 keep box             1026 minutes field         1042 UP      1043 DOWN
//   1030 "mi&nute(s)" / "&minute(s)", the label shown while the keep box is checked
//   1031 "minute(s)", the label shown while it is not (encrypt and decrypt dialogs)
// Timer ids of the spin: 42 (UP held), 43 (DOWN held), 44 (repeat while held).
#pragma once

#include <qor/ui/dialog_template.h>
#include <qor/ui/dialog_view.h>

#include <cstdint>

namespace qor::dialogs {

inline constexpr int kIdUserName = 1015;
inline constexpr int kIdPasswordLabel = 1028;
inline constexpr int kIdPassword = 1022;
inline constexpr int kIdKeep = 1010;
inline constexpr int kIdMinutes = 1026;
inline constexpr int kIdUp = 1042;
inline constexpr int kIdDown = 1043;
inline constexpr int kIdMinutesLabel = 1030;
inline constexpr int kIdMinutesLabelOff = 1031;

inline constexpr int kTimerUpHeld = 42;
inline constexpr int kTimerDownHeld = 43;
inline constexpr int kTimerSpinRepeat = 44;

// The keep period the user may choose, in minutes.
inline constexpr int kMinMinutes = 1;
inline constexpr int kMaxMinutes = 999;
// The password fields accept 10 characters; the check reads them into a buffer this large.
inline constexpr int kPasswordLimit = 10;
inline constexpr size_t kPasswordBufferSize = 128;
// The result code of a dialog closed because the preference file is not authentic.
inline constexpr int kResultNotAuthentic = -2;

// The controls of one password dialog, and how it treats them.
struct PasswordControls {
    int passwordLabel = kIdPasswordLabel;
    int password = kIdPassword;
    int keep = kIdKeep;
    int minutes = kIdMinutes;
    int up = kIdUp;
    int down = kIdDown;
    int minutesLabel = kIdMinutesLabel;
    int minutesLabelOff = ui::kNoId;  // kIdMinutesLabelOff where the dialog has it
    // Encrypt and decrypt dialogs: a kept password is used without reading the field, and a
    // refusal shows the password controls again.
    bool usesKeptPassword = false;
    // The "Password" dialog shows the minutes controls only while the box is checked; the
    // encrypt and decrypt dialogs keep them visible and disable them instead.
    bool hideMinutesWhenNotKept = false;
};

// What each password dialog keeps besides its controls; a fresh one for every run.
struct PasswordDialogState {
    uint16_t minutes = 0;  // as shown (the last valid value)
    bool keep = false;     // as shown
    uint16_t minutesAtOpen = 0;
    bool keepAtOpen = false;
    int failures = 0;
    int resultFlag = 0;     // 1 after a successful OK
    bool inMemory = false;  // encrypt and decrypt: opened with a valid kept password
    int resultCode = 0;     // kResultNotAuthentic after a non-authentic preference file
};

// The keep settings as the profile holds them (attributes 10 and 9). A stored period outside
// 1-999 (a profile that was never given one) is shown as the nearest allowed value; the
// values at opening stay the stored ones, so the first successful check saves the shown one.
PasswordDialogState LoadKeepSettings();

// The sequence run when OK is pressed: the minutes check, the kept password (encrypt and
// decrypt only), the empty-field beep, "Invalid Password. " with three attempts, the
// authenticity check, keeping the password and saving the keep settings. It closes the dialog
// itself (kIdOk with resultFlag 1, or kIdCancel) or leaves it open.
enum class CheckOutcome { kStay, kConfirmed, kCancelled };
CheckOutcome RunPasswordCheck(ui::DialogView& view, const PasswordControls& controls,
                              PasswordDialogState& state);

// Shows the minutes and the keep choice, and the minutes controls to match.
void ShowKeepSettings(ui::DialogView& view, const PasswordControls& controls,
                      const PasswordDialogState& state);
// A click on the keep box: its state becomes the keep choice. Checked enables (and in the
// "Password" dialog shows) the minutes field, both spin buttons and the minutes label, and
// hides the "minute(s)" label; unchecked does the reverse.
void OnKeepClicked(ui::DialogView& view, const PasswordControls& controls,
                   PasswordDialogState& state);
void ApplyKeepChoice(ui::DialogView& view, const PasswordControls& controls, bool keep);
// Hides and disables the password label and field, the keep box, the minutes field, the spin
// buttons and both minutes labels (a kept password needs none of them), or shows and enables
// them again with the minutes controls following the keep choice.
void ShowPasswordControls(ui::DialogView& view, const PasswordControls& controls, bool visible,
                          bool keep);

// The minutes field with its UP and DOWN buttons.
//
// A click steps the value by one within 1 and 999, after re-reading the field (what is not a
// number gives way to the last valid value). Holding a button down steps once after 500 ms and
// then every 100 ms until it is released; the click that the release produces steps once more.
//
// The holding reaches the dialog as the model's OnButtonPressed and OnButtonReleased, from hosts
// that see the pointer's button; without them the buttons step once per click.

class MinutesSpin {
  public:
    static constexpr uint32_t kHoldDelayMs = 500;
    static constexpr uint32_t kRepeatMs = 100;

    MinutesSpin(const PasswordControls& controls, PasswordDialogState& state)
        : controls_(controls), state_(state) {}

    // True when `controlId` is UP or DOWN (and the click was handled).
    bool OnClick(ui::DialogView& view, int controlId);
    void OnPressed(ui::DialogView& view, int buttonId);
    void OnReleased(ui::DialogView& view);
    // True when `timerId` was one of the spin's timers (and was handled).
    bool OnTimer(ui::DialogView& view, int timerId);

    // The field's number, or the last valid value when it holds none; then shown +1 or -1.
    void Step(ui::DialogView& view, int delta);

  private:
    const PasswordControls& controls_;
    PasswordDialogState& state_;
    int held_ = 0;  // the button held down, or 0
};

// Reads the minutes field: true with its number when it holds one or more digits and nothing
// else (very long numbers read as 1000000, beyond every allowed value).
bool ParseMinutes(const ui::DialogView& view, int id, unsigned* value);

// Seeding from the dialogs: a pointer move mixes the tick count and the pointer's x and y
// (4 bytes each); a change of a password field mixes the tick count and then the field's text
// in a 256-byte buffer, all 256 bytes, which is wiped afterwards.
void SeedFromPointer(int x, int y);
void SeedFromPasswordField(const ui::DialogView& view, int id);

}  // namespace qor::dialogs
