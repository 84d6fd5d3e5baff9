// The password-check salt: four random bytes drawn at the first seal of the process and used by
// every later one. It is not secret; it keeps a check value from being comparable across
// processes while letting every file of one run share it.
#include <qor/toolkit.h>

#include "envelope_object.h"

namespace qor::toolkit {

namespace {
uint8_t gProcessSalt[kProcessSaltLength];
bool gProcessSaltDrawn = false;
}  // namespace

const uint8_t* ProcessSalt(RandomObject* random, int* status) {
    *status = kStatusOk;
    if (!gProcessSaltDrawn) {
        if (RandomGenerate(gProcessSalt, random, kProcessSaltLength) != kStatusOk) {
            *status = kStatusBadRandom;
            return nullptr;
        }
        gProcessSaltDrawn = true;
    }
    return gProcessSalt;
}

}  // namespace qor::toolkit
