/* The plain exports of the shell library (qorshell.dll / libqorshell.so) for the product's small
 * programs: the Encrypt-and-Shut-Down program, the AutoCrypt start-up program, the program that
 * opens an encrypted file, and the uninstaller. Every export that reaches the core library binds
 * it by name for the duration of the call and passes the password block that all the user's
 * processes share, so that a password kept in one program serves the others. On Windows the
 * programs import them by ordinal (the numbers below). */
#ifndef QOR_SHELL_SHELL_EXPORTS_H
#define QOR_SHELL_SHELL_EXPORTS_H

#ifdef _WIN32
#define QOR_SHELL_EXPORT __declspec(dllexport)
#else
#define QOR_SHELL_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The caller's window, owner of every dialog and message box (HWND on Windows). */
typedef void* QorShellWindow;

/* 1: decrypts the encrypted file `path` as a double-click opens it. `decryptedPath` (260
 * characters, terminator included) receives the decrypted file's full path, and only then.
 * Always 0: success shows in the buffer alone. */
QOR_SHELL_EXPORT int SH_AssociateDecrypt(QorShellWindow owner, const char* path,
                                         char* decryptedPath);
/* 2: encrypts the files of the AutoCrypt list (the shut-down run). 0. */
QOR_SHELL_EXPORT int SH_AutoEncrypt(QorShellWindow owner);
/* 3: decrypts them when the user asked for it at log-on. 0. */
QOR_SHELL_EXPORT int SH_AutoDecrypt(QorShellWindow owner);
/* 4: forgets the kept password once its keep period has run out. 0. */
QOR_SHELL_EXPORT int SH_CheckPassword(void);
/* 5: makes the Start-menu link "QOR Encrypt and Shut Down..." to `target`: 0, or the failure. */
QOR_SHELL_EXPORT int SH_CreateShellLink(void* ignored1, void* ignored2, const char* target);
/* 6: makes that link to the home folder's Encrypt-and-Shut-Down program: 0 or the link's
 * failure; a registry error when the home folder is not known (259: no UserHomeDir value). */
QOR_SHELL_EXPORT int SH_AddToStartMenu(void);
/* 7: removes the link and the user's preference files (the uninstaller's clean-up). 0. */
QOR_SHELL_EXPORT int UninstInitialize(void* ignored1, void* ignored2, void* ignored3);
/* 8: nothing. 0. */
QOR_SHELL_EXPORT int UninstUnInitialize(void* ignored1, void* ignored2, void* ignored3);

/* Not a numbered export: what the file `path` is, described without any secret, as text into
 * `text` (cut to `size`): 0, 1 damaged, -1 unreadable, -2 the core library is missing. */
QOR_SHELL_EXPORT int QorShellInspect(const char* path, char* text, unsigned size);

/* Not a numbered export, for the programs of the same build that have dialogs of their own:
 * their dialog host (a qor::ui::DialogHost) serves the dialogs of this library and of the core
 * behind it, so that the process has one terminal, one scenario and one transcript. nullptr
 * gives this library its own host back. */
QOR_SHELL_EXPORT void QorShellAdoptHost(void* host);

#ifdef __cplusplus
}
#endif

#endif /* QOR_SHELL_SHELL_EXPORTS_H */
