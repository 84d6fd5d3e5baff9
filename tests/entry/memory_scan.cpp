#include "memory_scan.h"

#include <qor/secure_buffer.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qor::entry::test {

namespace {

// The address sanitizer reserves its shadow as writable mappings of hundreds of MiB that hold
// no data of the program; nothing of ours comes near this size.
constexpr uint64_t kLargestScanned = uint64_t{192} << 20;
constexpr size_t kChunk = size_t{1} << 20;

struct Mapping {
    uint64_t start = 0;
    uint64_t end = 0;
    std::string line;
};

std::vector<Mapping> WritableMappings(const ScanOptions& options) {
    std::ifstream maps("/proc/self/maps");
    std::vector<Mapping> mappings;
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::string range, permissions;
        fields >> range >> permissions;
        // rw-p: private, readable and writable; shared memory (rw-s) belongs to others as well
        // and is read only when asked for.
        if (permissions.size() < 4 || permissions[0] != 'r' || permissions[1] != 'w') continue;
        if (permissions[3] != 'p') {
            if (!options.shared || permissions[3] != 's') continue;
            if (!options.sharedExcept.empty() &&
                line.find(options.sharedExcept) != std::string::npos)
                continue;
        }
        if (line.find("[vvar]") != std::string::npos) continue;
        Mapping mapping;
        mapping.start = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
        mapping.end = std::stoull(range.substr(range.find('-') + 1), nullptr, 16);
        mapping.line = line;
        mappings.push_back(mapping);
    }
    return mappings;
}

// An unbuffered reader of the process's memory: a buffered one would keep copies of what it
// read in a buffer of its own.
class MemoryReader {
  public:
    MemoryReader() {
        file_.rdbuf()->pubsetbuf(nullptr, 0);
        file_.open("/proc/self/mem", std::ios::binary);
    }
    // Reads up to `length` bytes at `address`; the count read.
    size_t Read(uint64_t address, uint8_t* out, size_t length) {
        file_.clear();
        file_.seekg(static_cast<std::streamoff>(address));
        file_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(length));
        const std::streamsize got = file_.gcount();
        return got < 0 ? 0 : static_cast<size_t>(got);
    }

  private:
    std::ifstream file_;
};

}  // namespace

MaskedSecret::MaskedSecret(std::string name, const void* bytes, size_t length)
    : name_(std::move(name)), masked_(length) {
    const auto* in = static_cast<const uint8_t*>(bytes);
    for (size_t k = 0; k < length; ++k)
        masked_[k] = static_cast<uint8_t>(in[k] ^ Mask(k));
}

bool MaskedSecret::MatchesAt(const uint8_t* at) const {
    for (size_t k = 0; k < masked_.size(); ++k)
        if (static_cast<uint8_t>(at[k] ^ Mask(k)) != masked_[k]) return false;
    return true;
}

ScanResult ScanWritableMemory(const std::vector<MaskedSecret>& secrets,
                              const ScanOptions& options) {
    ScanResult result;
    size_t longest = 1;
    for (const MaskedSecret& secret : secrets)
        longest = std::max(longest, secret.size());
    // Consecutive chunks overlap by the longest secret less one byte, so a copy that straddles
    // two chunks is seen once, in the second.
    std::vector<uint8_t> buffer(kChunk + longest);
    const uint64_t ownStart = reinterpret_cast<uintptr_t>(buffer.data());
    const uint64_t ownEnd = ownStart + buffer.size();
    MemoryReader reader;
    const auto allowed = [&](uint64_t address) {
        return std::any_of(options.allowed.begin(), options.allowed.end(), [&](const auto& range) {
            return address >= range.first && address < range.second;
        });
    };
    for (const Mapping& mapping : WritableMappings(options)) {
        if (mapping.end - mapping.start > kLargestScanned) {
            result.skipped.push_back(mapping.line);
            continue;
        }
        for (uint64_t at = mapping.start; at < mapping.end;) {
            const size_t want =
                static_cast<size_t>(std::min<uint64_t>(buffer.size(), mapping.end - at));
            const size_t got = reader.Read(at, buffer.data(), want);
            if (got == 0) {
                at += 4096;  // an unreadable page (a device's memory): go on after it
                continue;
            }
            result.bytesScanned += got;
            // Copies that begin at or after `step` are read again, whole, by the next read.
            const size_t step = got == buffer.size() && at + got < mapping.end ? kChunk : got;
            for (const MaskedSecret& secret : secrets) {
                if (got < secret.size()) continue;
                const uint8_t first = secret.First();
                const size_t end = std::min(step, got - secret.size() + 1);
                for (size_t k = 0; k < end; ++k) {
                    const void* next = std::memchr(buffer.data() + k, first, end - k);
                    if (next == nullptr) break;
                    k = static_cast<size_t>(static_cast<const uint8_t*>(next) - buffer.data());
                    if (!secret.MatchesAt(buffer.data() + k)) continue;
                    const uint64_t address = at + k;
                    if ((address >= ownStart && address < ownEnd) || allowed(address)) continue;
                    result.findings.push_back({secret.name(), mapping.line, address});
                }
            }
            at += step;
        }
    }
    SecureWipe(buffer.data(), buffer.size());
    return result;
}

std::string Describe(const ScanResult& result, const std::vector<MaskedSecret>& secrets) {
    std::string text;
    MemoryReader reader;
    for (const MemoryFinding& finding : result.findings) {
        size_t size = 0;
        for (const MaskedSecret& secret : secrets)
            if (secret.name() == finding.secret) size = secret.size();
        const uint64_t start =
            std::stoull(finding.mapping.substr(0, finding.mapping.find('-')), nullptr, 16);
        char head[160];
        std::snprintf(head, sizeof head, "%s at 0x%llx (+0x%llx) in ", finding.secret.c_str(),
                      static_cast<unsigned long long>(finding.address),
                      static_cast<unsigned long long>(finding.address - start));
        text += head + finding.mapping + "\n   ";
        // 48 bytes either side, the secret itself left out.
        uint8_t around[48];
        const uint64_t before = std::min<uint64_t>(sizeof around, finding.address - start);
        size_t got = reader.Read(finding.address - before, around, before);
        for (size_t k = 0; k < got; ++k) {
            std::snprintf(head, sizeof head, " %02x", around[k]);
            text += head;
        }
        text += " **";
        got = reader.Read(finding.address + size, around, sizeof around);
        for (size_t k = 0; k < got; ++k) {
            std::snprintf(head, sizeof head, " %02x", around[k]);
            text += head;
        }
        text += "\n";
    }
    return text;
}

}  // namespace qor::entry::test
