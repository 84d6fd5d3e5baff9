/* The shell library's context-menu object as the Linux front end (qor) and the file managers'
 * menus call it, the way a file manager on Windows calls the library's COM object: created for
 * one use, initialised with the selected paths, asked for its menu, told to carry out one command,
 * then released. */
#ifndef QOR_SHELL_SHELL_OBJECT_H
#define QOR_SHELL_SHELL_OBJECT_H

#include <qor/shell/shell_exports.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QorShellObject QorShellObject;

/* Results, as the COM object answers. */
enum {
    QOR_SHELL_OK = 0,
    QOR_SHELL_FALSE = 1,             /* DllCanUnloadNow: objects are alive */
    QOR_SHELL_FAIL = -1,             /* no selection could be made */
    QOR_SHELL_INVALID_ARGUMENT = -2, /* a command offset above 13 */
};

/* A new object (its reference count 1), or NULL when memory ran out. */
QOR_SHELL_EXPORT QorShellObject* QorShellCreate(void);
QOR_SHELL_EXPORT void QorShellRelease(QorShellObject* object);
/* The selection: full paths of items in one folder. QOR_SHELL_FAIL when there is none. */
QOR_SHELL_EXPORT int QorShellInitialize(QorShellObject* object, const char* const* paths,
                                        unsigned count);
/* The menu for the selection with command ids from `firstId`, as text: one line per item, two
 * spaces of indent per popup level, the item's text with its "&", " (grayed)" after a grayed
 * item, "-" for a separator. The text is cut to fit `size` bytes, terminator included. Returns
 * the number of command ids used (13). */
QOR_SHELL_EXPORT int QorShellQueryContextMenu(QorShellObject* object, int firstId, char* text,
                                              unsigned size);
/* Carries out the command at `offset` (0 ... 13) for the selection. QOR_SHELL_OK, also when the
 * core library cannot be loaded (then nothing happens); QOR_SHELL_INVALID_ARGUMENT above 13. */
QOR_SHELL_EXPORT int QorShellInvokeCommand(QorShellObject* object, QorShellWindow owner,
                                           unsigned offset);
/* The help text of a command offset into `buffer`: QOR_SHELL_OK, or
 * QOR_SHELL_INVALID_ARGUMENT above 13. */
QOR_SHELL_EXPORT int QorShellGetCommandString(QorShellObject* object, unsigned offset, char* buffer,
                                              unsigned size);
/* The icon of an encrypted file: the shell library's own path into `module`, and *index 0 for
 * a local file, 1 for a file-sharing file (left as it was for a name without a dot). */
QOR_SHELL_EXPORT int QorShellGetIconLocation(QorShellObject* object, const char* fileName,
                                             char* module, unsigned size, int* index);
/* QOR_SHELL_OK when no object is alive, else QOR_SHELL_FALSE. */
QOR_SHELL_EXPORT int QorShellCanUnloadNow(void);

#ifdef __cplusplus
}
#endif

#endif /* QOR_SHELL_SHELL_OBJECT_H */
