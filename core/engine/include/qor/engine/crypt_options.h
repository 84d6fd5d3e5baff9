// What a run of the file engine is told: the kind of file, the options the user chose, the
// progress-and-cancel hook, the owner of its messages.
#pragma once

#include <qor/toolkit.h>

#include <cstdint>

namespace qor::engine {

// The two kinds of encrypted file, as recorded in the trailer.
enum Mode : uint16_t { kModeFileShare = 1, kModeLocal = 2 };

struct CryptOptions {
    int32_t noticeShown = 0;  // set once the walk told the user files of the other kind wait
    uint16_t mode = kModeLocal;
    int32_t noEmergency = 0;         // 1: no emergency-access recipient
    int32_t removeSource = 0;        // 1: remove the source after a successful file
    int32_t selfExtracting = 0;      // 1: write a self-extracting program
    const char* password = nullptr;  // the one-time password (file sharing); not terminated
    uint32_t passwordLength = 0;
};

// The record the progress hook's argument points to: the run's cancel flag first (1 =
// cancelled), then the progress dialog. The engine sets the flag itself when the user answers
// Cancel in one of its messages.
struct ProgressState {
    int32_t cancelled = 0;
    void* dialog = nullptr;
};

// One run's job, handed to every file of it.
struct FileJob {
    int32_t quiet = 0;                 // 1 suppresses the messages that honour it
    ProgressHook* progress = nullptr;  // may be null
    void* parent = nullptr;            // owner of the message boxes
    CryptOptions* options = nullptr;
};

// The run's cancel flag, through the hook's argument (false when there is no hook).
bool RunCancelled(const FileJob& job);
void CancelRun(FileJob& job);

// Statuses of the single-file operations; anything else is a toolkit status.
enum EngineStatus : int {
    kEngineOk = 0,
    kEngineCannotOpen = -1,         // shown as "Disk or drive may be write-protected."
    kEngineStoredNameTooLong = -2,  // decryption: the name in the envelope does not fit
    kEngineStubFailed = -3,         // encryption: the self-extracting stub could not be copied
    kEngineOutputExists = -4,
    kEngineInUse = -10,
    kEngineNoOutputName = -11,
    kEngineWrongPassword = -14,   // file sharing: the one-time password does not match
    kEngineInnerCancelled = 519,  // treated like kStatusCancelled
};

}  // namespace qor::engine
