// The controller: one operation per export, run to completion on the caller's thread. It
// holds nothing; what survives a call lives in the profile, the password cache and on disk.
#pragma once

#include <qor/entry/exports.h>

namespace qor::entry {

class ServiceController {
  public:
    int Setup(QorWindow owner);
    int SetupCompleted();
    int ContinueSetup(QorWindow owner);
    int ChangePassword(QorWindow owner);
    int AboutBox(QorWindow owner);
    int ShowHelp(QorWindow owner);
    int ShowAutoCryptHelp(QorWindow owner);
};

// Runs one controller operation inside the export frame: a controller on the stack, every
// exception caught (the export then returns `onException`, 0 for all of them).
template <typename Operation>
int RunExport(Operation operation) noexcept {
    try {
        ServiceController controller;
        return operation(controller);
    } catch (...) {
        return 0;
    }
}

}  // namespace qor::entry
