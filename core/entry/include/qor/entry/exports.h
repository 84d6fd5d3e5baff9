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
/* Framework plumbing kept for callers that bind them: no trace options exist, no messages need
 * pre-translation, and there is no idle work. */
QOR_EXPORT int PromptTraceFlags(QorWindow owner, void* traceFlags);
QOR_EXPORT int FilterDllMsg(void* message);
QOR_EXPORT void ProcessDllIdle(void);

#ifdef __cplusplus
}
#endif

#endif /* QOR_ENTRY_EXPORTS_H */
