// The file-sharing dialogs and the one-time password dialog: the self-extracting box for one
// file, a folder and several entries; the shared password's rules with their exact captions;
// the decryption without a length rule; the one-time password's empty field and its limit.
#include <qor/platform/files.h>

#include <fstream>

#include "dialog_test_support.h"
#include "encrypt_dialog.h"
#include "one_time_password_dialog.h"
#include "share_decrypt_dialog.h"
#include "share_encrypt_dialog.h"

namespace qor::dialogs::test {
namespace {

using namespace ui;

const std::string kSep(1, platform::kSeparator);
const std::string kDefaultLabel = "Encrypt as &self-extracting Windows file (.exe)";
const std::string kFolderRefused =
    "QOR Vaultis: Self extracting files cannot be created with a directory.";
const std::string kSeveralRefused =
    "QOR Vaultis: More than one file is selected.  Self extracting files can only be created "
    "from one file at a time.";

std::string SecretText(const SecureBuffer& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size());
}

class ShareDialogTest : public DialogTest {
  protected:
    // A folder holding the files "report.final.doc" and "notes.txt" and the folder "old".
    std::string Files() {
        const std::string folder = Folder("share");
        std::ofstream(folder + kSep + "report.final.doc") << "x";
        std::ofstream(folder + kSep + "notes.txt") << "y";
        Folder("share" + kSep + "old");
        return folder;
    }
    std::string SelfExtractingText(const TestView& view) const {
        return view.GetText(ShareEncryptDialog::kSelfExtracting);
    }
};

TEST_F(ShareDialogTest, SelfExtractingForOneFileNamesItAndSwitchesEmergencyAccessOff) {
    SetUpUser("secret1");
    ShareEncryptDialog dialog({Files(), "report.final.doc"});
    TestView view(dialog.Template());
    dialog.OnInit(view);
    EXPECT_EQ(SelfExtractingText(view), kDefaultLabel);
    view.Click(dialog, ShareEncryptDialog::kSelfExtracting);
#ifdef _WIN32
    // Two dots make no 8.3 name: the label follows the alias Windows keeps for it.
    const std::string label = SelfExtractingText(view);
    const std::string prefix = "Encrypt as &self-extracting Windows file (";
    EXPECT_EQ(label.rfind(prefix, 0), 0u) << label;
    EXPECT_NE(label.find('~'), std::string::npos) << label;
    EXPECT_LE(label.size(), prefix.size() + 8 + 5) << label;
    EXPECT_EQ(label.substr(label.size() - 5), ".exe)");
#else
    EXPECT_EQ(SelfExtractingText(view), "Encrypt as &self-extracting Windows file (report.exe)");
#endif
    EXPECT_TRUE(view.IsChecked(ShareEncryptDialog::kSelfExtracting));
    EXPECT_FALSE(view.Enabled(kIdOrganisation));
    EXPECT_FALSE(view.Enabled(kIdMore));
    view.Click(dialog, ShareEncryptDialog::kSelfExtracting);
    EXPECT_TRUE(view.Enabled(kIdOrganisation));
    EXPECT_TRUE(view.Enabled(kIdMore));
    EXPECT_TRUE(view.messages.empty());

    // A name that does not exist leaves the label as it was.
    ShareEncryptDialog missing({Files(), "gone.doc"});
    TestView missingView(missing.Template());
    missing.OnInit(missingView);
    missingView.Click(missing, ShareEncryptDialog::kSelfExtracting);
    EXPECT_EQ(SelfExtractingText(missingView), kDefaultLabel);
}

TEST_F(ShareDialogTest, SelfExtractingIsRefusedForAFolderAndForSeveralEntries) {
    SetUpUser("secret1");
    ShareEncryptDialog folder({Files(), "old" + kSep + "*.*"});
    TestView folderView(folder.Template());
    folder.OnInit(folderView);
    folderView.Click(folder, ShareEncryptDialog::kSelfExtracting);
    EXPECT_FALSE(folderView.IsChecked(ShareEncryptDialog::kSelfExtracting));
    EXPECT_EQ(folderView.messages, Lines{kFolderRefused});
    EXPECT_EQ(SelfExtractingText(folderView), "Encrypt as &self-extracting Windows file (old.exe)");

    ShareEncryptDialog several({Files(), "notes.txt", "report.final.doc"});
    TestView severalView(several.Template());
    several.OnInit(severalView);
    severalView.Click(several, ShareEncryptDialog::kSelfExtracting);
    EXPECT_FALSE(severalView.IsChecked(ShareEncryptDialog::kSelfExtracting));
    EXPECT_EQ(severalView.messages, Lines{kSeveralRefused});
    EXPECT_EQ(SelfExtractingText(severalView),
              "Encrypt as &self-extracting Windows file (notes.exe)");
    EXPECT_TRUE(severalView.Enabled(kIdMore));

    // Through the script host: the refusal, then the encryption goes on without the box.
    ScriptedRun run(
        "dialog \"File Sharing - Encryption\": 1046=1 1044=\"shared1\" 1045=\"shared1\" -> 1\n"
        "message \"More than one file\" -> OK\n");
    ShareEncryptDialog dialog({Files(), "notes.txt", "report.final.doc"});
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
    EXPECT_FALSE(dialog.selfExtracting());
    EXPECT_EQ(run.transcript, (Lines{"dialog: File Sharing - Encryption",
                                     "message: " + kSeveralRefused + " [OK]"}));
    run.ExpectClean();
}

TEST_F(ShareDialogTest, SharedPasswordMustBeTypedTwiceAlikeAndHaveSixCharacters) {
    SetUpUser("secret1");
    ScriptedRun run(
        "dialog \"File Sharing - Encryption\": 1044=\"abcdef\" -> 1"
        " 1044=\"abcdef\" 1045=\"abcdeg\" -> 1"
        " 1044=\"abcde\" 1045=\"abcde\" -> 1"
        " 1044=\"abcdef\" 1045=\"abcdef\" 1049=1 -> 1\n"
        "message \"do not match\" -> OK\n"
        "message \"at least 6\" -> OK\n");
    ShareEncryptDialog dialog({Files(), "notes.txt"});
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
    EXPECT_EQ(run.host().beeps(), 1) << "the empty verification";
    EXPECT_EQ(
        run.transcript,
        (Lines{"dialog: File Sharing - Encryption",
               "message: QOR : Passwords do not match, please re-enter. [OK]",
               "message: QOR_Secure: The password must be at least 6 characters long. [OK]"}));
    EXPECT_TRUE(dialog.confirmed());
    EXPECT_EQ(SecretText(dialog.password()), "abcdef");
    EXPECT_TRUE(dialog.deleteSource());
    EXPECT_FALSE(dialog.selfExtracting());
    EXPECT_FALSE(dialog.noEmergency());
    run.ExpectClean();
    for (const std::string& line : run.transcript)
        EXPECT_EQ(line.find("abcde"), std::string::npos);

    // After a refusal both fields are empty and the password field has the focus again.
    ShareEncryptDialog again({Files(), "notes.txt"});
    TestView view(again.Template());
    again.OnInit(view);
    view.SetText(ShareEncryptDialog::kPassword, "abcdefg");
    view.SetText(ShareEncryptDialog::kVerify, "abcdefh");
    view.Focus(ShareEncryptDialog::kVerify);
    again.OnCommand(view, kIdOk);
    EXPECT_EQ(view.GetText(ShareEncryptDialog::kPassword), "");
    EXPECT_EQ(view.GetText(ShareEncryptDialog::kVerify), "");
    EXPECT_EQ(view.focus(), ShareEncryptDialog::kPassword);
    EXPECT_FALSE(again.confirmed());
    EXPECT_TRUE(again.password().empty());
}

TEST_F(ShareDialogTest, OpeningShowsTheFolderTheNamesAndTheOrganisation) {
    SetUpUser("secret1");
    char organisation[64] = "Acme Corp";
    profile::Profile().SetAttribute(profile::kAttrOrganisation, organisation);
    const std::string folder = Files();
    ShareEncryptDialog encrypt({folder, "notes.txt", "old" + kSep + "*.*"});
    TestView view(encrypt.Template());
    encrypt.OnInit(view);
    EXPECT_EQ(view.GetText(kIdFolder), "Current Directory: " + folder);
    EXPECT_EQ(view.GetText(ShareEncryptDialog::kList), "notes.txt old" + kSep + "*.*");
    EXPECT_EQ(view.GetText(kIdOrganisation), "Acme Corp");
    EXPECT_EQ(view.focus(), ShareEncryptDialog::kPassword);

    ShareDecryptDialog decrypt({folder, "notes(txt).s!!"});
    TestView decryptView(decrypt.Template());
    decrypt.OnInit(decryptView);
    EXPECT_EQ(decryptView.GetText(kIdFolder), "Current Directory: " + folder);
    EXPECT_EQ(decryptView.GetText(ShareDecryptDialog::kList), "notes(txt).s!!");
    EXPECT_EQ(decryptView.focus(), ShareDecryptDialog::kPassword);

    ScriptedRun run(
        "dialog \"File Sharing - Encryption\": -> \"&More\" -> \"&Help\" -> 2\n"
        "message \"No Emergency Access\" -> OK\n"
        "message \"200\" -> OK\n"
        "dialog \"File Sharing - Decryption\": -> \"&Help\" -> 2\n"
        "message \"210\" -> OK\n");
    CurrentHost().RunModal(encrypt);
    CurrentHost().RunModal(decrypt);
    EXPECT_FALSE(encrypt.confirmed());
    EXPECT_FALSE(decrypt.confirmed());
    EXPECT_EQ(run.transcript,
              (Lines{"dialog: File Sharing - Encryption",
                     "message: QOR Vaultis: No Emergency Access is available for this user. [OK]",
                     "message: QOR Vaultis Help: Help topic 200 is not installed. [OK]",
                     "dialog: File Sharing - Decryption",
                     "message: QOR Vaultis Help: Help topic 210 is not installed. [OK]"}));
    run.ExpectClean();
}

TEST_F(ShareDialogTest, DecryptionAcceptsAFiveCharacterPasswordAndBeepsWhenEmpty) {
    SetUpUser("secret1");
    ScriptedRun run("dialog \"File Sharing - Decryption\": -> 1 1022=\"abcde\" 1049=1 -> 1\n");
    ShareDecryptDialog dialog({Files(), "notes(txt).s!!"});
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
    EXPECT_EQ(run.host().beeps(), 1);
    EXPECT_TRUE(dialog.confirmed());
    EXPECT_EQ(SecretText(dialog.password()), "abcde");
    EXPECT_TRUE(dialog.deleteEncrypted());
    run.ExpectClean();
}

TEST_F(ShareDialogTest, OneTimePasswordBeepsWhenEmptyAndReadsAtMost31Characters) {
    ScriptedRun run("dialog \"Password\": -> 1 1014=\"once-only\" -> 1\n");
    OneTimePasswordDialog dialog;
    EXPECT_EQ(CurrentHost().RunModal(dialog), kIdOk);
    EXPECT_EQ(run.host().beeps(), 1);
    EXPECT_TRUE(dialog.confirmed());
    EXPECT_STREQ(dialog.password(), "once-only");
    EXPECT_EQ(dialog.passwordLength(), 9u);
    EXPECT_EQ(run.transcript, Lines{"dialog: Password"});
    run.ExpectClean();

    OneTimePasswordDialog longer;
    TestView view(longer.Template());
    longer.OnInit(view);
    view.SetText(OneTimePasswordDialog::kPassword, std::string(40, 'p'));
    longer.OnCommand(view, kIdOk);
    EXPECT_EQ(longer.passwordLength(), 31u);
    EXPECT_EQ(std::string(longer.password()), std::string(31, 'p'));

    OneTimePasswordDialog cancelled;
    TestView cancelledView(cancelled.Template());
    cancelled.OnInit(cancelledView);
    cancelled.OnCommand(cancelledView, kIdCancel);
    EXPECT_FALSE(cancelled.confirmed());
    EXPECT_EQ(cancelledView.result(), kIdCancel);
}

}  // namespace
}  // namespace qor::dialogs::test
