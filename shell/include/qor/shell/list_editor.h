/* The AutoCrypt list's editor for the terminal and the desktop's own dialogs: the list as its edit
 * dialog works on it, through the shell library (the shared password block, the busy flag). */
#ifndef QOR_SHELL_LIST_EDITOR_H
#define QOR_SHELL_LIST_EDITOR_H

#include <qor/shell/shell_exports.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QorShellListEditor QorShellListEditor;

/* Reads the list (the user is asked for the password, and about entries that cannot be found).
 * NULL when the core library is missing or the list was not given. */
QOR_SHELL_EXPORT QorShellListEditor* QorShellOpenListEditor(QorShellWindow owner);
/* Forgets the editor without writing the list (the dialog's Cancel). */
QOR_SHELL_EXPORT void QorShellCloseListEditor(QorShellListEditor* editor);
QOR_SHELL_EXPORT unsigned QorShellListCount(const QorShellListEditor* editor);
/* The entry at `index`, in the list box's order; NULL past the end. */
QOR_SHELL_EXPORT const char* QorShellListEntry(const QorShellListEditor* editor, unsigned index);
/* Adds a file or a folder by its full path: 0 added, 1 listed already, -1 refused with the text
 * to show in `message` (cut to `size`), -2 no such file or folder. */
QOR_SHELL_EXPORT int QorShellListAdd(QorShellListEditor* editor, const char* path, char* message,
                                     unsigned size);
/* Removes an entry as listed: 0, or -1 when it is not listed. */
QOR_SHELL_EXPORT int QorShellListRemove(QorShellListEditor* editor, const char* entry);
QOR_SHELL_EXPORT int QorShellListStartUp(const QorShellListEditor* editor);
/* The start-up setting as the preference file holds it, read without a password or an editor:
 * 1 on, 0 off, -1 when the core library is missing. */
QOR_SHELL_EXPORT int QorShellStartUpSetting(void);
QOR_SHELL_EXPORT void QorShellListSetStartUp(QorShellListEditor* editor, int on);
/* The listed files encrypted or decrypted now with the password the list was opened with. */
QOR_SHELL_EXPORT void QorShellListEncryptNow(QorShellListEditor* editor);
QOR_SHELL_EXPORT void QorShellListDecryptNow(QorShellListEditor* editor);
/* Writes the list and the start-up setting (the dialog's Done): 0, or -1 when it could not be
 * handed to the core. */
QOR_SHELL_EXPORT int QorShellListDone(QorShellListEditor* editor);

#ifdef __cplusplus
}
#endif

#endif /* QOR_SHELL_LIST_EDITOR_H */
