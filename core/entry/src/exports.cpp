// The library's exports: each is the frame around exactly one controller operation.
#include <qor/entry/exports.h>

#include "service_controller.h"

using qor::entry::RunExport;
using qor::entry::ServiceController;

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

QOR_EXPORT int PromptTraceFlags(QorWindow, void*) {
    return 0;
}

QOR_EXPORT int FilterDllMsg(void*) {
    return 0;
}

QOR_EXPORT void ProcessDllIdle(void) {}

}  // extern "C"
