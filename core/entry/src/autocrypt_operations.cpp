// The controller's AutoCrypt operations: each hands its export's arguments to the list or the
// runs; the dialogs, messages and results are theirs.
#include "autocrypt_runs.h"
#include "list_interface.h"
#include "service_controller.h"

namespace qor::entry {

int ServiceController::AutoCryptGetFirst(QorWindow owner, char* entry, PasswordHandOver* handOver) {
    return autocrypt::AutoCryptGetFirst(owner, entry, handOver);
}

int ServiceController::AutoCryptGetNext(QorWindow owner, char* entry) {
    return autocrypt::AutoCryptGetNext(owner, entry);
}

void ServiceController::UpdateAutocryptList(QorWindow owner,
                                            const std::vector<std::string>& entries, int startUp,
                                            int shutDown, PasswordHandOver* handOver) {
    autocrypt::UpdateAutocryptList(owner, entries, startUp, shutDown, handOver);
}

int ServiceController::GetStartUpFlag() {
    return autocrypt::GetStartUpFlag();
}

int ServiceController::GetShutDownFlag() {
    return autocrypt::GetShutDownFlag();
}

void ServiceController::AutoEncrypt(QorWindow owner, PasswordHandOver* handOver) {
    autocrypt::AutoEncrypt(owner, handOver);
}

void ServiceController::AutoDecrypt(QorWindow owner, PasswordHandOver* handOver) {
    autocrypt::AutoDecrypt(owner, handOver);
}

void ServiceController::EncryptNow(QorWindow owner, const std::vector<std::string>& entries,
                                   PasswordHandOver* handOver) {
    autocrypt::EncryptNow(owner, entries, handOver);
}

void ServiceController::DecryptNow(QorWindow owner, const std::vector<std::string>& entries,
                                   PasswordHandOver* handOver) {
    autocrypt::DecryptNow(owner, entries, handOver);
}

}  // namespace qor::entry
