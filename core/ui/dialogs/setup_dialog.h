// The setup dialog: the user's name and password (typed twice), checked in order, then the
// user's key is made, wrapped under the password and stored in the preference file.
//
// While it is open every pointer move mixes the tick count, x and y, and every key press the
// tick count, the key code and the repeat count (4 bytes each, little-endian) into the
// generator. OK checks, in this order: an empty field beeps; a confirmation that differs and a
// password under 6 characters are refused with a message; the salt is drawn from the
// generator, which refuses while it lacks seed bytes. After each refusal by message both
// password fields are emptied and the password field gets the focus again.
//
// When the key cannot be made the dialog says so and closes as cancelled without touching the
// profile, so the setup ends as unsuccessful rather than going on to back up and use a
// preference file that was never written.
//
// Control ids: 1301 the user name (at most 32 characters), 1302 the password and 1303 its
// confirmation (masked, at most 10 characters each), 1 (kIdOk) OK, 2 (kIdCancel) Cancel.
#pragma once

#include <qor/profile/user_profile.h>
#include <qor/secure_buffer.h>
#include <qor/toolkit.h>
#include <qor/ui/dialog_model.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

namespace qor::dialogs {

class SetupDialog : public ui::DialogModel {
  public:
    static constexpr int kName = 1301;
    static constexpr int kPassword = 1302;
    static constexpr int kConfirm = 1303;

    static constexpr int kNameLimit = 32;
    static constexpr int kPasswordLimit = 10;
    static constexpr size_t kMinimumPassword = 6;
    // Texts are read into buffers of this size (at most 63 characters and a terminator).
    static constexpr size_t kTextBuffer = 64;

    using TickSource = uint32_t (*)();

    // Uses the process's shared generator and the platform's tick count; tests pass their own.
    SetupDialog();
    SetupDialog(RandomObject* random, TickSource tick);

    const ui::DialogTemplate& Template() const override { return template_; }
    void OnInit(ui::DialogView& view) override;
    void OnCommand(ui::DialogView& view, int controlId) override;
    void OnPointerMove(ui::DialogView& view, int x, int y) override;
    void OnKey(ui::DialogView& view, int key, int repeatCount) override;

    // Set once the key was made and stored and the dialog closed with OK.
    bool done() const { return done_; }
    // The accepted password (empty until done), for the work that follows the setup; taking it
    // leaves the dialog without a copy.
    SecureBuffer TakePassword() { return std::move(password_); }

  private:
    void Accept(ui::DialogView& view);
    // Shows the message, empties both password fields and puts the focus back into the first.
    void Refuse(ui::DialogView& view, std::string_view text, std::string_view caption);
    void Mix(uint32_t value);

    ui::DialogTemplate template_;
    RandomObject* random_;
    TickSource tick_;
    bool done_ = false;
    SecureBuffer password_;
};

// Makes the user's key and wraps it under the password: 256 zero bytes and then the password
// are mixed into `random` (so that the key can be drawn even from a generator still short of
// seed bytes; the seeding before has made it unpredictable), 10 bytes are drawn and wrapped
// under the password with the wrapping key of `salt`. The key bytes are wiped. 0, or the
// status of the first toolkit step that failed.
int GenerateWrappedUserKey(RandomObject* random, const uint8_t salt[8], std::string_view password,
                           uint8_t wrapped[profile::kWrappedKeySize]);

}  // namespace qor::dialogs
