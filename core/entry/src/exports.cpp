// The library's exports: each is the frame around exactly one controller operation.
#include <qor/entry/exports.h>
#include <qor/entry/string_array.h>
#include <qor/profile/password_hand_over.h>

#include "service_controller.h"

using qor::entry::RunExport;
using qor::entry::ServiceController;
using qor::entry::ToStrings;

extern "C" {

QOR_EXPORT int SetupQORSecure(QorWindow owner) {
    return RunExport([&](ServiceController& c) { return c.Setup(owner); });
}

QOR_EXPORT int SetupCompleted(void) {
    return RunExport([](ServiceController& c) { return c.SetupCompleted(); });
}

QOR_EXPORT int ContinueSetup(QorWindow owner) {
    return RunExport([&](ServiceController& c) { return c.ContinueSetup(owner); });
}

QOR_EXPORT int ChangePassword(QorWindow owner) {
    return RunExport([&](ServiceController& c) { return c.ChangePassword(owner); });
}

QOR_EXPORT int AboutBox(QorWindow owner) {
    return RunExport([&](ServiceController& c) { return c.AboutBox(owner); });
}

QOR_EXPORT int ShowHelp(QorWindow owner) {
    return RunExport([&](ServiceController& c) { return c.ShowHelp(owner); });
}

QOR_EXPORT int ShowAutoCryptHelp(QorWindow owner) {
    return RunExport([&](ServiceController& c) { return c.ShowAutoCryptHelp(owner); });
}

QOR_EXPORT int LocalEncrypt(QorWindow owner, const QorStringArray* selection,
                            PasswordHandOver* handOver) {
    return RunExport([&](ServiceController& c) {
        c.LocalEncrypt(owner, ToStrings(selection), handOver);
        return 1;
    });
}

QOR_EXPORT int LocalDecrypt(QorWindow owner, const QorStringArray* selection,
                            PasswordHandOver* handOver) {
    return RunExport([&](ServiceController& c) {
        c.LocalDecrypt(owner, ToStrings(selection), handOver);
        return 1;
    });
}

QOR_EXPORT int FileShareEncrypt(QorWindow owner, const QorStringArray* selection, void*) {
    return RunExport([&](ServiceController& c) {
        c.FileShareEncrypt(owner, ToStrings(selection));
        return 1;
    });
}

QOR_EXPORT int FileShareDecrypt(QorWindow owner, const QorStringArray* selection, void*) {
    return RunExport([&](ServiceController& c) {
        c.FileShareDecrypt(owner, ToStrings(selection));
        return 1;
    });
}

QOR_EXPORT int AssociateDecrypt(QorWindow owner, const char* path, char* decryptedPath,
                                PasswordHandOver* handOver) {
    return RunExport([&](ServiceController& c) {
        return c.AssociateDecrypt(owner, path, decryptedPath, handOver);
    });
}

QOR_EXPORT int AutoCryptGetFirst(QorWindow owner, char* entry, PasswordHandOver* handOver) {
    return RunExport(
        [&](ServiceController& c) { return c.AutoCryptGetFirst(owner, entry, handOver); });
}

QOR_EXPORT int AutoCryptGetNext(QorWindow owner, char* entry, PasswordHandOver*) {
    return RunExport([&](ServiceController& c) { return c.AutoCryptGetNext(owner, entry); });
}

QOR_EXPORT int UpdateAutocryptList(QorWindow owner, const QorStringArray* entries, int startUp,
                                   int shutDown, PasswordHandOver* handOver) {
    return RunExport([&](ServiceController& c) {
        c.UpdateAutocryptList(owner, ToStrings(entries), startUp, shutDown, handOver);
        return 1;
    });
}

QOR_EXPORT int GetStartUpFlag(void) {
    return RunExport([](ServiceController& c) { return c.GetStartUpFlag(); });
}

QOR_EXPORT int GetShutDownFlag(void) {
    return RunExport([](ServiceController& c) { return c.GetShutDownFlag(); });
}

QOR_EXPORT int EditAutocryptList(QorWindow, void*) {
    return 1;
}

QOR_EXPORT int GetAutocryptList(QorWindow, QorStringList** list, void*) {
    return RunExport([&](ServiceController&) {
        if (list != nullptr && *list != nullptr && (*list)->append != nullptr)
            (*list)->append((*list)->context, "test");
        return 1;
    });
}

QOR_EXPORT int AutoEncrypt(QorWindow owner, PasswordHandOver* handOver) {
    return RunExport([&](ServiceController& c) {
        c.AutoEncrypt(owner, handOver);
        return 1;
    });
}

QOR_EXPORT int AutoDecrypt(QorWindow owner, PasswordHandOver* handOver) {
    return RunExport([&](ServiceController& c) {
        c.AutoDecrypt(owner, handOver);
        return 1;
    });
}

QOR_EXPORT int EncryptNow(QorWindow owner, const QorStringArray* entries,
                          PasswordHandOver* handOver) {
    return RunExport([&](ServiceController& c) {
        c.EncryptNow(owner, ToStrings(entries), handOver);
        return 1;
    });
}

QOR_EXPORT int DecryptNow(QorWindow owner, const QorStringArray* entries,
                          PasswordHandOver* handOver) {
    return RunExport([&](ServiceController& c) {
        c.DecryptNow(owner, ToStrings(entries), handOver);
        return 1;
    });
}

QOR_EXPORT int PromptTraceFlags(QorWindow, void*) {
    return 0;
}

QOR_EXPORT int FilterDllMsg(void*) {
    return 0;
}

QOR_EXPORT void ProcessDllIdle(void) {}

}  // extern "C"
