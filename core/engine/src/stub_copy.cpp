#include <qor/engine/file_share.h>

#include "crypt_context.h"
#include "engine_internal.h"
#include "file_stream.h"

namespace qor::engine {

// The failure is returned rather than stored: the writer records every stub failure as one
// status of its own.
int CopyStub(CryptContext& context, StreamRecord* output, ProgressHook* hook) {
    if (context.status() != 0) return context.status();
    platform::File stub = platform::File::Open(StubPath(), platform::kAccessRead,
                                               platform::kShareNone, platform::kOpenExisting);
    if (!stub.IsOpen()) return kEngineCannotOpen;
    FileStream in(&stub);
    StreamRecord* input = in.record();
    unsigned char block[1024];
    for (unsigned blocks = 1;; ++blocks) {
        unsigned int count = 0;
        const int read = input->read(block, &count, sizeof block, input->context);
        if (read == kStreamEnd) return context.status();
        if (read != 0) return kEngineCannotOpen;
        if (output->write(block, count, output->context) != 0) return kEngineCannotOpen;
        if (blocks % 10 == 0) CallHook(hook);
    }
}

}  // namespace qor::engine
