// The envelope seen from the organisation's side: opened with the private key behind one of
// its public-key recipients, and described without any secret.
//
// Neither changes what an envelope is: the product seals for a password recipient and,
// optionally, one public-key recipient; these read what it sealed.
#pragma once

#include <qor/rsa_private.h>
#include <qor/toolkit.h>

#include <cstdint>

namespace qor::toolkit {

// Opens the stream as EnvelopeOpen does, taking the content key from the public-key recipient
// made for the public half of `key` (keys compare in their canonical form, whatever form the
// writer used). `handle` is a fresh envelope; no recipient needs to be added to it. The random
// source blinds the private-key operation.
//
// *publicKeyRecipients (optional) counts the public-key recipients read before one matched,
// that one included: with kStatusNoRecipientMatched (1302) it tells a stream without emergency
// access (0) from one for another key. A recipient of this key whose wrapped key does not
// decrypt ends the open with kStatusPrivateDecryptFailed.
int EnvelopeOpenWithPrivateKey(StreamRecord* output, AttributeList* attributes,
                               EnvelopeObject* handle, StreamRecord* input,
                               const RsaPrivateKey& key, const RandomSource& random,
                               ProgressHook* hook, uint32_t* publicKeyRecipients);

// What a stream holds, as far as it can be read without a secret.
enum EnvelopeRecipientKind : int {
    kRecipientKindOther = 0,
    kRecipientKindPassword = 1,
    kRecipientKindPublicKey = 2,
};

struct EnvelopeRecipientSummary {
    int kind;
    // The recipient's public key as stored (public-key recipients; valid during the callback).
    const uint8_t* publicKey;
    uint32_t publicKeyLength;
    // The key-encryption algorithm is the one the product writes for this kind of recipient.
    bool knownWrapping;
    uint32_t wrappedKeyLength;
};

// Where reading stopped.
enum EnvelopeStage : int {
    kStageHeader = 0,       // content type, version
    kStageRecipients = 1,   // the recipient infos
    kStageContentInfo = 2,  // content type and algorithm of the encrypted content
    kStageContent = 3,      // the encrypted chunks
    kStageClosing = 4,      // the end-of-contents bytes after the chunks
    kStageDone = 5,         // everything read, and the stream ended there
};

struct EnvelopeSummary {
    int stage;
    uint32_t recipients;
    bool contentAlgorithmKnown;  // RC4 with MAC
    uint32_t contentKeySaltLength;
    uint32_t macLength;
    uint32_t chunks;
    uint64_t encryptedBytes;  // of all chunks
};

// Reads the stream to its end without decrypting anything. 0 when it is whole and well formed
// (summary.stage kStageDone); otherwise the status of the first problem, with summary.stage
// saying where it lies and everything before it filled in. `onRecipient` (optional) is called
// for each recipient in stream order.
int EnvelopeDescribe(StreamRecord* input, EnvelopeSummary* summary,
                     void (*onRecipient)(void* context, const EnvelopeRecipientSummary& recipient),
                     void* context);

}  // namespace qor::toolkit
