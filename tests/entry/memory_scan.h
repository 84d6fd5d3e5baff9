// A search of the process's own writable memory for secrets, as someone who can read a memory
// dump, a core file or the swap would search it (Linux: /proc/self/maps and /proc/self/mem).
//
// The scanner must not itself hold what it looks for: each secret is kept XOR-masked and
// unmasked one byte at a time while comparing, and the buffer the memory is copied into is left
// out of its own results and wiped afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qor::entry::test {

class MaskedSecret {
  public:
    // Masks `length` bytes at `bytes`; the caller wipes its own copy afterwards.
    MaskedSecret(std::string name, const void* bytes, size_t length);

    const std::string& name() const { return name_; }
    size_t size() const { return masked_.size(); }
    // True when the `size()` bytes at `at` are the secret.
    bool MatchesAt(const uint8_t* at) const;
    // The secret's first byte, for a quick first test.
    uint8_t First() const { return static_cast<uint8_t>(masked_[0] ^ Mask(0)); }

  private:
    static uint8_t Mask(size_t k) { return static_cast<uint8_t>(0xa5 ^ (k * 0x3b)); }

    std::string name_;
    std::vector<uint8_t> masked_;
};

struct MemoryFinding {
    std::string secret;   // the secret's name
    std::string mapping;  // the mapping's line in /proc/self/maps
    uint64_t address = 0;
};

struct ScanResult {
    std::vector<MemoryFinding> findings;
    uint64_t bytesScanned = 0;
    // Mappings too large to be anything but a sanitizer's reserved shadow, left out.
    std::vector<std::string> skipped;
};

// Where a copy is the intended one rather than a leftover.
struct ScanOptions {
    // Address ranges [first, second) whose copies are not reported: the caller's own hand-over
    // block, which holds the password by contract while the caller keeps it.
    std::vector<std::pair<uint64_t, uint64_t>> allowed;
    // Shared writable mappings too (another process's memory as well as ours: the shared block
    // without a keyring), except those whose line in /proc/self/maps contains `sharedExcept`
    // when it is not empty.
    bool shared = false;
    std::string sharedExcept;
};

// Every copy of each secret in the private readable and writable mappings (data and bss of every
// loaded object, the heaps, the stacks of all threads, anonymous memory), and in the shared ones
// when `options` asks for them.
ScanResult ScanWritableMemory(const std::vector<MaskedSecret>& secrets,
                              const ScanOptions& options = {});

// A line per finding, naming the secret, the mapping and the offset in it, and the bytes around
// the copy (the copy itself shown as "**"), for finding the code that left it.
std::string Describe(const ScanResult& result, const std::vector<MaskedSecret>& secrets);

}  // namespace qor::entry::test
