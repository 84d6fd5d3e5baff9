/* The exports of the core service library (qorsec95.dll / libqorsec95.so). Callers load the
 * library by name for each command and bind these functions by name; every export runs
 * modally on the calling thread, catches everything, and returns 0 when anything escaped. */
#ifndef QOR_ENTRY_EXPORTS_H
#define QOR_ENTRY_EXPORTS_H

#ifdef _WIN32
#define QOR_EXPORT __declspec(dllexport)
#else
#define QOR_EXPORT __attribute__((visibility("default")))
#endif

#include <qor/entry/string_array.h>
#include <stdint.h>

/* The block in which a kept password travels between the calling program and the library
 * (48 bytes). The caller owns it, zero-initialised, passes the same block on every call and
 * clears all 48 bytes to forget the password; the library never frees it. */
typedef struct QorPasswordHandOver {
    int32_t valid;        /* 1 when the block holds a password; anything else: empty */
    uint32_t cacheTime;   /* the password cache's start time, copied in both directions */
    uint32_t keepMinutes; /* the minutes chosen in the encrypt or decrypt dialog */
    char password[36];    /* zero-terminated */
} QorPasswordHandOver;

/* In C++ the exports take the library's own type, whose layout the library checks against
 * QorPasswordHandOver (include <qor/profile/password_hand_over.h> for its definition). */
#ifdef __cplusplus
namespace qor {
struct PasswordHandOver;
}
typedef qor::PasswordHandOver PasswordHandOver;
#else
typedef QorPasswordHandOver PasswordHandOver;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The caller's window, owner of every dialog and message box (HWND on Windows). */
typedef void* QorWindow;

/* Random seeding, then setup. 1; 0 if anything escaped. */
QOR_EXPORT int SetupQORSecure(QorWindow owner);
/* 0 when the user is set up or no preference file exists; -1 when the file cannot be read or
 * holds no wrapped key. */
QOR_EXPORT int SetupCompleted(void);
/* Starts the AutoCrypt start-up program, then completes the setup when needed: 0 when nothing
 * was needed or setup completed, -1 when setup was unsuccessful. */
QOR_EXPORT int ContinueSetup(QorWindow owner);
/* 0 when the password was changed, -1 otherwise. */
QOR_EXPORT int ChangePassword(QorWindow owner);
QOR_EXPORT int AboutBox(QorWindow owner);
QOR_EXPORT int ShowHelp(QorWindow owner);
QOR_EXPORT int ShowAutoCryptHelp(QorWindow owner);
/* The file operations. Each runs modally and returns 1, or 0 if anything escaped; the
 * selection is read during the call only. A valid hand-over block is taken over as the kept
 * password and, after a confirmed dialog in which the password was typed and kept, receives it
 * back with the minutes. */
QOR_EXPORT int LocalEncrypt(QorWindow owner, const QorStringArray* selection,
                            PasswordHandOver* handOver);
QOR_EXPORT int LocalDecrypt(QorWindow owner, const QorStringArray* selection,
                            PasswordHandOver* handOver);
/* File sharing asks for a one-time password; `ignored` is never read or written. */
QOR_EXPORT int FileShareEncrypt(QorWindow owner, const QorStringArray* selection, void* ignored);
QOR_EXPORT int FileShareDecrypt(QorWindow owner, const QorStringArray* selection, void* ignored);
/* Decrypts the one encrypted file `path` (at most 259 characters) as a double-click opens it.
 * On success `decryptedPath` (260 characters, terminator included) receives the decrypted
 * file's full path; otherwise it is left untouched. 0; -1 when the path's last extension does
 * not begin with ".!!" or ".s!" (either case of s), without any dialog. */
QOR_EXPORT int AssociateDecrypt(QorWindow owner, const char* path, char* decryptedPath,
                                PasswordHandOver* handOver);
/* The AutoCrypt list. Entries travel in the caller's buffers of 260 characters (terminator
 * included); an entry that does not fit is handed over empty. AutoCryptGetFirst: 0 with the
 * first entry (empty when there is none to show, or when the list could not be read, which the
 * user was told; an empty list gives one empty entry), -1 when the preference file or the
 * password was not had; it writes the password into the hand-over's password field for the later
 * UpdateAutocryptList. AutoCryptGetNext: 0 with the next entry (empty when the user removed a
 * missing one), -1 at the end, after the list was encrypted again; the hand-over is not used. */
QOR_EXPORT int AutoCryptGetFirst(QorWindow owner, char* entry, PasswordHandOver* handOver);
QOR_EXPORT int AutoCryptGetNext(QorWindow owner, char* entry, PasswordHandOver* handOver);
/* Writes the list from `entries` (full paths; a folder as its path, the separator and "*.*")
 * and sets the start-up and shut-down settings (exactly 1 is on). The hand-over carries the
 * password AutoCryptGetFirst put there. 1; the outcome is shown to the user. */
QOR_EXPORT int UpdateAutocryptList(QorWindow owner, const QorStringArray* entries, int startUp,
                                   int shutDown, PasswordHandOver* handOver);
/* 1 when the setting is on in the preference file, else 0. */
QOR_EXPORT int GetStartUpFlag(void);
QOR_EXPORT int GetShutDownFlag(void);
/* Kept for callers that bind it: 1, and nothing else. */
QOR_EXPORT int EditAutocryptList(QorWindow owner, void* unused);

/* A list the caller owns and lets the library append to. */
typedef struct QorStringList {
    void* context;
    void (*append)(void* context, const char* text);
} QorStringList;
/* Kept for callers that bind it: appends the one entry "test" to the caller's list (it does not
 * read the list file) and returns 1. */
QOR_EXPORT int GetAutocryptList(QorWindow owner, QorStringList** list, void* unused);

/* The AutoCrypt runs, each in a progress dialog; 1 (0 if anything escaped). AutoEncrypt
 * encrypts the list's entries, AutoDecrypt decrypts them when the start-up setting is on;
 * EncryptNow and DecryptNow act on the entries given. */
QOR_EXPORT int AutoEncrypt(QorWindow owner, PasswordHandOver* handOver);
QOR_EXPORT int AutoDecrypt(QorWindow owner, PasswordHandOver* handOver);
QOR_EXPORT int EncryptNow(QorWindow owner, const QorStringArray* entries,
                          PasswordHandOver* handOver);
QOR_EXPORT int DecryptNow(QorWindow owner, const QorStringArray* entries,
                          PasswordHandOver* handOver);

/* What the file `path` is, described without any secret, as text into `text` (cut to `size`
 * bytes, terminator included): 0, 1 when the file is damaged (the text says how), -1 when it
 * cannot be read. No dialog is shown. */
QOR_EXPORT int InspectFile(const char* path, char* text, unsigned size);

/* For the modules of the same build that load this library (the shell library): their dialog
 * host (a qor::ui::DialogHost) serves this library's dialogs too, so that a process has one
 * terminal, one scenario and one transcript; nullptr before the loader lets go. */
QOR_EXPORT void QorUiAdoptHost(void* host);

/* Framework plumbing kept for callers that bind them: no trace options exist, no messages need
 * pre-translation, and there is no idle work. */
QOR_EXPORT int PromptTraceFlags(QorWindow owner, void* traceFlags);
QOR_EXPORT int FilterDllMsg(void* message);
QOR_EXPORT void ProcessDllIdle(void);

#ifdef __cplusplus
}
#endif

#endif /* QOR_ENTRY_EXPORTS_H */
