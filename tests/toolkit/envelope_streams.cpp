#include "envelope_streams.h"

#include <algorithm>
#include <cstring>

#include "ber.h"

namespace qor::test {

namespace {

int ReadCallback(unsigned char* buffer, unsigned int* count, unsigned int maximum, void* ctx) {
    auto* r = static_cast<MemoryReader*>(ctx);
    *count = 0;
    if (r->failAfter >= 0 && r->reads++ >= r->failAfter) return 5;
    if (r->at == r->data.size()) return kStreamEnd;
    size_t n = std::min<size_t>(maximum, r->data.size() - r->at);
    if (r->step != 0) n = std::min(n, r->step);
    std::memcpy(buffer, r->data.data() + r->at, n);
    r->at += n;
    *count = static_cast<unsigned int>(n);
    return 0;
}

int WriteCallback(const unsigned char* bytes, unsigned int length, void* ctx) {
    auto* w = static_cast<MemoryWriter*>(ctx);
    if (w->failAfter >= 0 && w->writes++ >= w->failAfter) return 5;
    w->data.insert(w->data.end(), bytes, bytes + length);
    return 0;
}

void AppendHeader(Bytes& out, uint8_t tag, size_t length) {
    uint8_t h[4];
    size_t n = qor::toolkit::BerWriteHeader(h, tag, length);
    out.insert(out.end(), h, h + n);
}

void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

}  // namespace

StreamRecord MemoryReader::record() {
    return StreamRecord{nullptr, nullptr, ReadCallback, nullptr, nullptr, this};
}

StreamRecord MemoryWriter::record() {
    return StreamRecord{nullptr, nullptr, nullptr, nullptr, WriteCallback, this};
}

RandomObject* SeededRandom(uint32_t seed) {
    RandomObject* r = nullptr;
    if (RandomCreate(&r) != kStatusOk) return nullptr;
    unsigned char bytes[256];
    for (size_t k = 0; k < sizeof bytes; ++k) {
        bytes[k] = static_cast<unsigned char>((seed * 2654435761u + k * 40503u) >> 7);
    }
    RandomSeed(r, bytes, sizeof bytes);
    return r;
}

int Seal(const Bytes& plain, const SealOptions& options, Bytes& sealed) {
    EnvelopeObject* e = nullptr;
    int status = EnvelopeCreate(&e);
    auto addPasswords = [&] {
        for (const std::string& p : options.passwords) {
            if (status == kStatusOk) {
                status = EnvelopeAddPassword(e, reinterpret_cast<const unsigned char*>(p.data()),
                                             static_cast<unsigned int>(p.size()), 1);
            }
        }
    };
    if (!options.publicKeysFirst) addPasswords();
    for (const Bytes& k : options.publicKeys) {
        if (status == kStatusOk) {
            status = EnvelopeAddPublicKey(e, k.data(), static_cast<unsigned int>(k.size()));
        }
    }
    if (options.publicKeysFirst) addPasswords();
    AttributeList* list = nullptr;
    if (status == kStatusOk && !(options.fileName.empty() && options.userName.empty())) {
        status = AttributeListCreate(&list);
        if (status == kStatusOk && !options.fileName.empty()) {
            status = AttributeListSetFileName(
                list, reinterpret_cast<const unsigned char*>(options.fileName.c_str()),
                static_cast<unsigned int>(options.fileName.size() + 1));
        }
        if (status == kStatusOk && !options.userName.empty()) {
            status = AttributeListSetUserName(
                list, reinterpret_cast<const unsigned char*>(options.userName.c_str()),
                static_cast<unsigned int>(options.userName.size() + 1));
        }
    }
    RandomObject* random = SeededRandom(options.seed);
    MemoryReader reader(plain, options.readPiece);
    MemoryWriter writer;
    StreamRecord in = reader.record(), out = writer.record();
    if (status == kStatusOk) status = EnvelopeSeal(&out, e, &in, 1, 40, random, list, nullptr);
    sealed = writer.data;
    RandomDestroy(&random);
    AttributeListDestroy(&list);
    EnvelopeDestroy(&e);
    return status;
}

OpenResult Open(const Bytes& sealed, const std::vector<std::string>& passwords, size_t readPiece) {
    OpenResult result{};
    EnvelopeObject* e = nullptr;
    result.status = EnvelopeCreate(&e);
    for (const std::string& p : passwords) {
        if (result.status == kStatusOk) {
            result.status = EnvelopeAddPassword(e, reinterpret_cast<const unsigned char*>(p.data()),
                                                static_cast<unsigned int>(p.size()), 1);
        }
    }
    AttributeList* list = nullptr;
    if (result.status == kStatusOk) result.status = AttributeListCreate(&list);
    MemoryReader reader(sealed, readPiece);
    MemoryWriter writer;
    StreamRecord in = reader.record(), out = writer.record();
    if (result.status == kStatusOk) result.status = EnvelopeOpen(&out, list, e, &in, nullptr);
    result.plain = writer.data;
    const unsigned char* value = nullptr;
    unsigned int length = 0;
    if (list != nullptr && AttributeListGetFileName(&value, &length, list) == kStatusOk) {
        result.fileName.assign(reinterpret_cast<const char*>(value), length);
    }
    if (list != nullptr && AttributeListGetUserName(&value, &length, list) == kStatusOk) {
        result.userName.assign(reinterpret_cast<const char*>(value), length);
    }
    AttributeListDestroy(&list);
    EnvelopeDestroy(&e);
    return result;
}

bool SplitEnvelope(const Bytes& s, EnvelopeParts& parts) {
    using namespace qor::toolkit;
    static const Bytes kHead = FromHex("3080 06092a864886f70d010703 a080 3080 020101 3180");
    if (s.size() < kHead.size() || !std::equal(kHead.begin(), kHead.end(), s.begin())) {
        return false;
    }
    const uint8_t* p = s.data() + kHead.size();
    const uint8_t* end = s.data() + s.size();
    BerElement e;
    while (end - p >= 2 && !(p[0] == 0 && p[1] == 0)) {
        const uint8_t* start = p;
        if (!BerReadExpect(p, end, kBerSequence, e)) return false;
        parts.recipientInfos.emplace_back(start, p);
    }
    static const Bytes kMiddle = FromHex("0000 3080 06092a864886f70d010707");
    if (end - p < static_cast<long>(kMiddle.size()) ||
        !std::equal(kMiddle.begin(), kMiddle.end(), p)) {
        return false;
    }
    p += kMiddle.size();
    const uint8_t* start = p;
    if (!BerReadExpect(p, end, kBerSequence, e)) return false;
    parts.contentAlgorithm.assign(start, p);
    if (end - p < 2 || p[0] != 0xa0 || p[1] != 0x80) return false;
    p += 2;
    parts.contentOffset = static_cast<size_t>(p - s.data());
    while (end - p >= 2 && !(p[0] == 0 && p[1] == 0)) {
        if (!BerReadExpect(p, end, kBerOctetString, e)) return false;
        parts.chunks.emplace_back(e.content, e.content + e.length);
    }
    static const Bytes kTail(10, 0);
    return end - p == 10 && std::equal(kTail.begin(), kTail.end(), p);
}

Bytes Reassemble(const EnvelopeParts& parts, const Reassembly& how) {
    Bytes out = FromHex("3080 06092a864886f70d010703 a080 3080 020101");
    Bytes recipients;
    for (const Bytes& r : parts.recipientInfos)
        Append(recipients, r);
    if (how.definiteRecipientSet) {
        AppendHeader(out, 0x31, recipients.size());
        Append(out, recipients);
    } else {
        Append(out, FromHex("3180"));
        Append(out, recipients);
        Append(out, FromHex("0000"));
    }
    Append(out, FromHex("3080 06092a864886f70d010707"));
    Append(out, parts.contentAlgorithm);
    Bytes cipher;
    for (const Bytes& c : parts.chunks)
        Append(cipher, c);
    if (how.primitiveContent) {
        AppendHeader(out, 0x80, cipher.size());
        Append(out, cipher);
    } else {
        Append(out, FromHex("a080"));
        if (how.chunkSizes.empty()) {
            for (const Bytes& c : parts.chunks) {
                AppendHeader(out, 0x04, c.size());
                Append(out, c);
            }
        } else {
            size_t at = 0, k = 0;
            while (at < cipher.size()) {
                size_t n =
                    std::min(how.chunkSizes[k++ % how.chunkSizes.size()], cipher.size() - at);
                AppendHeader(out, 0x04, n);
                out.insert(out.end(), cipher.begin() + static_cast<long>(at),
                           cipher.begin() + static_cast<long>(at + n));
                at += n;
            }
        }
        Append(out, FromHex("0000"));
    }
    Append(out, FromHex("0000 0000 0000 0000"));
    return out;
}

}  // namespace qor::test
