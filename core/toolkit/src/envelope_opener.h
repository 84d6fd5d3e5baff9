// The reading half of the envelope, for the two ways of opening one: with the secrets of its
// password recipients (EnvelopeOpen), or with the private key behind one of its public-key
// recipients (EnvelopeOpenWithPrivateKey).
#pragma once

#include <qor/toolkit.h>

#include <cstdint>

#include "ber.h"

namespace qor::toolkit {

// Unwraps the content key from public-key recipients. `parameters` is the recipient's public
// key, `algorithm` its keyEncryptionAlgorithm and `encryptedKey` the wrapped key, each a whole
// element. *matched stays false for a recipient of another key; when it is set, `key` holds the
// content key (`capacity` bytes of room) and *length its length.
class PublicKeyUnwrapper {
  public:
    virtual ~PublicKeyUnwrapper() = default;
    virtual int Unwrap(const BerElement& parameters, const BerElement& algorithm,
                       const BerElement& encryptedKey, uint8_t* key, uint32_t capacity,
                       uint32_t* length, bool* matched) = 0;
};

// Reads the stream and writes the plaintext, taking the content key from the first recipient
// that yields one: a password recipient matched by one of the envelope's secrets, or, with an
// unwrapper, a public-key recipient it recognises. The caller has checked the arguments.
int RunEnvelopeOpen(EnvelopeObject* envelope, StreamRecord* output, AttributeList* attributes,
                    StreamRecord* input, const ProgressHook* hook, PublicKeyUnwrapper* unwrapper);

}  // namespace qor::toolkit
