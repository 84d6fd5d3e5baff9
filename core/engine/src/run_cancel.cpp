#include <qor/engine/crypt_options.h>

namespace qor::engine {

namespace {

ProgressState* StateOf(const FileJob& job) {
    if (job.progress == nullptr) return nullptr;
    return static_cast<ProgressState*>(job.progress->argument);
}

}  // namespace

bool RunCancelled(const FileJob& job) {
    const ProgressState* state = StateOf(job);
    return state != nullptr && state->cancelled != 0;
}

void CancelRun(FileJob& job) {
    if (ProgressState* state = StateOf(job)) state->cancelled = 1;
}

}  // namespace qor::engine
