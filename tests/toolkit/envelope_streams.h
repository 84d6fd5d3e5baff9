// Test helpers for enveloped data: memory streams, a seeded random object, and a plain
// reading of our writer's layout that tests (and fuzz seeds) can take apart and put together
// again in the other shapes a conforming writer may choose.
#pragma once

#include <qor/toolkit.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vector_file.h"

namespace qor::test {

// Reads from `data` in pieces of at most `piece` bytes (0: as much as asked), then 280.
struct MemoryReader {
    explicit MemoryReader(Bytes bytes, size_t piece = 0) : data(std::move(bytes)), step(piece) {}
    Bytes data;
    size_t step;
    size_t at = 0;
    int failAfter = -1;  // reads before an error (-1: never)
    int reads = 0;
    StreamRecord record();
};

struct MemoryWriter {
    Bytes data;
    int failAfter = -1;  // writes before an error (-1: never)
    int writes = 0;
    StreamRecord record();
};

// A random object seeded with 256 bytes derived from `seed`.
RandomObject* SeededRandom(uint32_t seed);

struct SealOptions {
    std::vector<std::string> passwords = {"secret1"};
    std::vector<Bytes> publicKeys;  // BER-encoded
    bool publicKeysFirst = false;   // add the public keys before the passwords
    std::string fileName;           // with no terminating zero; empty: no attribute list
    std::string userName;
    size_t readPiece = 0;  // plaintext handed out in pieces of this size (0: 8144)
    uint32_t seed = 1;
};

// Seals `plain`; returns the status and fills `sealed`.
int Seal(const Bytes& plain, const SealOptions& options, Bytes& sealed);

struct OpenResult {
    int status;
    Bytes plain;
    std::string fileName;  // as stored, terminating zero included when present
    std::string userName;
};

OpenResult Open(const Bytes& sealed, const std::vector<std::string>& passwords,
                size_t readPiece = 0);

// The parts of a stream as our writer lays it out.
struct EnvelopeParts {
    std::vector<Bytes> recipientInfos;  // complete SEQUENCE encodings
    Bytes contentAlgorithm;             // complete SEQUENCE encoding
    std::vector<Bytes> chunks;          // ciphertext of each OCTET STRING of the content
    size_t contentOffset = 0;           // where the first chunk's header starts
};

// False if `sealed` is not in our writer's exact shape.
bool SplitEnvelope(const Bytes& sealed, EnvelopeParts& parts);

struct Reassembly {
    bool definiteRecipientSet = false;  // 31 len instead of 31 80 ... 00 00
    std::vector<size_t> chunkSizes;     // re-split the ciphertext (cycled); empty: as given
    bool primitiveContent = false;      // one primitive [0] (80 L) instead of a0 80 chunks
};

Bytes Reassemble(const EnvelopeParts& parts, const Reassembly& how);

}  // namespace qor::test
