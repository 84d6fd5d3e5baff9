// EnvelopeOpen: reads an enveloped-data stream written by any conforming writer (chunks split
// anywhere, recipients in any order, definite lengths where ours are indefinite) and writes the
// plaintext. Hostile input ends in a status, never in a read past a buffer, an endless loop or
// an allocation beyond the fixed buffers.
#include <qor/secure_buffer.h>

#include <cstring>

#include "attribute_list.h"
#include "ber.h"
#include "ber_stream_reader.h"
#include "envelope_object.h"
#include "envelope_opener.h"
#include "kinds.h"
#include "md5.h"
#include "status.h"

using namespace qor::toolkit;

namespace {

constexpr int kMalformed = kStatusEnvelopeMalformed;

// A RecipientInfo is read whole; ours take under 600 bytes. A larger one cannot be a password
// recipient of ours and is passed over unread.
constexpr size_t kRecipientRoom = 2048;
constexpr size_t kSmallElementRoom = 64;
constexpr size_t kAlgorithmRoom = 256;

enum class Framing { kAttributes, kDataOpen, kPieces, kDone };

// Parses `length` bytes at `p` as a header; false while incomplete. Lengths beyond 82 nn nn
// and indefinite ones are reported through `malformed`.
bool ParseFramingHeader(const uint8_t* p, size_t available, uint8_t& tag, size_t& header,
                        size_t& length, bool& malformed) {
    malformed = false;
    if (available < 2) return false;
    tag = p[0];
    const uint8_t first = p[1];
    if ((tag & 0x1f) == 0x1f || first == 0x80 || first > 0x82) {
        malformed = true;
        return false;
    }
    if (first < 0x80) {
        header = 2;
        length = first;
        return true;
    }
    header = first == 0x81 ? 3 : 4;
    if (available < header) return false;
    length = first == 0x81 ? p[2] : static_cast<size_t>(p[2]) << 8 | p[3];
    return true;
}

class Opener {
  public:
    Opener(EnvelopeObject* e, StreamRecord* output, AttributeList* attributes, StreamRecord* input,
           const ProgressHook* hook, PublicKeyUnwrapper* unwrapper)
        : e_(e),
          out_(output),
          attributes_(attributes),
          reader_(*input, input_, sizeof input_),
          cancel_(AsCancelHook(hook)),
          unwrapper_(unwrapper) {}
    ~Opener() {
        qor::SecureWipe(recipient_, sizeof recipient_);
        qor::SecureWipe(input_, sizeof input_);
    }

    int Run();

  private:
    int ReadSmall(uint32_t tag, uint8_t* out, size_t capacity, size_t& length);
    int Recipients();
    int TryRecipient(const uint8_t* info, size_t length);
    int TryPassword(const Recipient& r, const BerElement& params, const BerElement& algorithm,
                    const BerElement& encryptedKey, bool& matched);
    int TryPublicKey(const BerElement& params, const BerElement& algorithm,
                     const BerElement& encryptedKey);
    int SetContentKey(const uint8_t* key, uint32_t length);
    int StartContent();
    int Content();
    int Chunk(const BerHeader& header);
    int Frame();
    int Close();

    EnvelopeObject* e_;
    StreamRecord* out_;
    AttributeList* attributes_;
    uint8_t input_[kWorkingBufferSize];
    BerStreamReader reader_;
    CancelHook cancel_;
    PublicKeyUnwrapper* unwrapper_;
    uint8_t recipient_[kRecipientRoom];
    bool haveKey_ = false;
    Framing framing_ = Framing::kAttributes;
    size_t pending_ = 0;
};

int Opener::ReadSmall(uint32_t tag, uint8_t* out, size_t capacity, size_t& length) {
    BerHeader h;
    int status = reader_.Expect(tag, h);
    if (status != kStatusOk) return status;
    if ((status = reader_.ReadPrimitive(h, out, capacity)) != kStatusOk) return status;
    length = h.length;
    return kStatusOk;
}

int Opener::TryPassword(const Recipient& r, const BerElement& params, const BerElement& algorithm,
                        const BerElement& encryptedKey, bool& matched) {
    matched = false;
    // SEQUENCE { SEQUENCE { OID digest, parameters }, OCTET STRING salt, OCTET STRING check }
    const uint8_t* p = params.content;
    const uint8_t* end = params.content + params.length;
    BerElement digestId, digestOid, salt, check;
    if (params.tag != kBerSequence || !BerReadExpect(p, end, kBerSequence, digestId) ||
        !BerReadExpect(p, end, kBerOctetString, salt) ||
        !BerReadExpect(p, end, kBerOctetString, check) || p != end) {
        return kMalformed;
    }
    const uint8_t* q = digestId.content;
    if (!BerReadExpect(q, digestId.content + digestId.length, kBerObjectId, digestOid)) {
        return kMalformed;
    }
    if (!BerIsOid(digestOid, kOidMd5, sizeof kOidMd5)) return kStatusCheckDigestRefused;

    const void* secretBlock = nullptr;
    if (GetKey(r.key, KeyKindByteString(), &secretBlock) != kAlgOk) return kStatusGeneralFailure;
    const auto* secret = static_cast<const ByteSpan*>(secretBlock);
    uint8_t digest[kMd5DigestSize];
    qor::ScopedWipe wipeDigest(digest);
    Md5Context h;
    qor::ScopedWipe wipeH(h);
    Md5Init(h);
    Md5Update(h, secret->data, secret->length);
    Md5Update(h, salt.content, salt.length);
    Md5Final(h, digest);
    // A stored check of any other length is a mismatch: compared over its own length, an empty
    // check would accept every secret.
    if (check.length != kMd5DigestSize) return kStatusOk;
    uint8_t diff = 0;
    for (size_t k = 0; k < kMd5DigestSize; ++k)
        diff |= digest[k] ^ check.content[k];
    if (diff != 0) return kStatusOk;
    matched = true;

    AlgInstance*& wrap = EnvelopeWrapInstance(e_);
    DestroyAlgInstance(&wrap);
    int status = CreateAlgInstance(&wrap);
    if (status != kAlgOk) return MapStepStatus(status, kStatusOutOfMemory);
    const ByteSpan id = {algorithm.content - algorithm.headerLength,
                         static_cast<uint32_t>(algorithm.headerLength + algorithm.length)};
    status = SetAlgParams(wrap, AlgKindPbeMd5XorBer(), &id);
    if (status == kAlgUnknownAlgorithm) status = SetAlgParams(wrap, AlgKindRsaPkcs1Ber(), &id);
    if (status == kAlgUnknownAlgorithm) return kStatusUnknownKeyAlgorithm;
    if (status != kAlgOk) return MapStepStatus(status, kMalformed);
    if (encryptedKey.length > kMaxWrappedKey) return kMalformed;

    uint8_t key[kMaxWrappedKey];
    qor::ScopedWipe wipeKey(key);
    uint32_t first = 0, second = 0;
    status = AlgDecryptInit(wrap, r.key, GeneralRegistry());
    if (status == kAlgOk) {
        status = AlgCipherUpdate(wrap, key, &first, sizeof key, encryptedKey.content,
                                 static_cast<uint32_t>(encryptedKey.length), nullptr, &cancel_);
    }
    if (status == kAlgOk) {
        status = AlgCipherFinal(wrap, key + first, &second, sizeof key - first, nullptr, &cancel_);
    }
    if (status != kAlgOk) return MapStepStatus(status, kMalformed);
    if (first + second == 0) return kMalformed;
    return SetContentKey(key, first + second);
}

int Opener::SetContentKey(const uint8_t* key, uint32_t length) {
    KeyHolder*& contentKey = EnvelopeContentKey(e_);
    int status = CreateKeyHolder(&contentKey);
    if (status == kAlgOk) {
        const ByteSpan span = {key, length};
        status = SetKey(contentKey, KeyKindByteString(), &span);
    }
    if (status != kAlgOk) return MapStepStatus(status, kStatusOutOfMemory);
    haveKey_ = true;
    return kStatusOk;
}

int Opener::TryPublicKey(const BerElement& params, const BerElement& algorithm,
                         const BerElement& encryptedKey) {
    uint8_t key[kMaxWrappedKey];
    qor::ScopedWipe wipeKey(key);
    uint32_t length = 0;
    bool matched = false;
    const int status =
        unwrapper_->Unwrap(params, algorithm, encryptedKey, key, sizeof key, &length, &matched);
    if (status != kStatusOk || !matched) return status;
    if (length == 0) return kMalformed;
    return SetContentKey(key, length);
}

// RecipientInfo ::= SEQUENCE { version, SEQUENCE { type, parameters },
//                              keyEncryptionAlgorithm, encryptedKey }
int Opener::TryRecipient(const uint8_t* info, size_t length) {
    const uint8_t* p = info;
    const uint8_t* end = info + length;
    BerElement version, identity, type, params, algorithm, encryptedKey;
    if (!BerReadExpect(p, end, kBerInteger, version) ||
        !BerReadExpect(p, end, kBerSequence, identity) || !BerRead(p, end, algorithm) ||
        !BerReadExpect(p, end, kBerOctetString, encryptedKey) || p != end) {
        return kMalformed;
    }
    const uint8_t* q = identity.content;
    const uint8_t* identityEnd = identity.content + identity.length;
    if (!BerReadExpect(q, identityEnd, kBerObjectId, type) || !BerRead(q, identityEnd, params) ||
        q != identityEnd) {
        return kMalformed;
    }
    if (haveKey_) return kStatusOk;
    // Public-key recipients serve the holder of the private key, never the product itself.
    if (unwrapper_ != nullptr &&
        BerIsOid(type, kOidPublicKeyRecipient, sizeof kOidPublicKeyRecipient)) {
        return TryPublicKey(params, algorithm, encryptedKey);
    }
    if (!BerIsOid(type, kOidPasswordRecipient, sizeof kOidPasswordRecipient)) return kStatusOk;
    ObjectList* recipients = EnvelopeRecipients(e_);
    for (uint32_t k = 0; k < recipients->count; ++k) {
        const auto* r = static_cast<const Recipient*>(ObjectListGet(*recipients, k));
        if (r->type != kRecipientPassword) continue;
        bool matched = false;
        int status = TryPassword(*r, params, algorithm, encryptedKey, matched);
        if (status != kStatusOk || matched) return status;
    }
    return kStatusOk;
}

int Opener::Recipients() {
    BerHeader set;
    int status = reader_.Expect(0x31, set);
    if (status != kStatusOk) return status;
    for (;;) {
        bool ended = false;
        if ((status = reader_.AtEnd(ended)) != kStatusOk) return status;
        if (ended) break;
        if (Cancelled(&cancel_)) return kStatusCancelled;
        BerHeader info;
        if ((status = reader_.Expect(kBerSequence, info)) != kStatusOk) return status;
        if (info.indefinite || info.length > sizeof recipient_) {
            if ((status = reader_.SkipElement(info)) != kStatusOk) return status;
            continue;
        }
        if ((status = reader_.Read(recipient_, info.length)) != kStatusOk) return status;
        reader_.Leave();
        if ((status = TryRecipient(recipient_, info.length)) != kStatusOk) return status;
    }
    reader_.Leave();
    return kStatusOk;
}

int Opener::StartContent() {
    BerHeader encryptedContentInfo;
    int status = reader_.Expect(kBerSequence, encryptedContentInfo);
    if (status != kStatusOk) return status;
    uint8_t oid[kSmallElementRoom];
    size_t oidLength = 0;
    if ((status = ReadSmall(kBerObjectId, oid, sizeof oid, oidLength)) != kStatusOk) {
        return status;
    }
    if (oidLength != sizeof kOidEncryptedContent ||
        std::memcmp(oid, kOidEncryptedContent, oidLength) != 0) {
        return kMalformed;
    }
    // The content algorithm is handed on whole, header included.
    BerHeader algorithm;
    if ((status = reader_.Expect(kBerSequence, algorithm)) != kStatusOk) return status;
    if (algorithm.indefinite || algorithm.length > kAlgorithmRoom - 4) return kMalformed;
    uint8_t encoding[kAlgorithmRoom];
    const size_t h = BerWriteHeader(encoding, kBerSequence, algorithm.length);
    if ((status = reader_.Read(encoding + h, algorithm.length)) != kStatusOk) return status;
    reader_.Leave();
    if (!haveKey_) return kStatusNoRecipientMatched;

    AlgInstance*& content = EnvelopeContentInstance(e_);
    status = CreateAlgInstance(&content);
    if (status != kAlgOk) return kStatusOutOfMemory;
    const ByteSpan id = {encoding, static_cast<uint32_t>(h + algorithm.length)};
    status = SetAlgParams(content, AlgKindRc4MacBer(), &id);
    if (status == kAlgOk)
        status = AlgDecryptInit(content, EnvelopeContentKey(e_), GeneralRegistry());
    if (status == kAlgOutOfMemory) return kStatusOutOfMemory;
    return status == kAlgOk ? kStatusOk : kStatusContentParamsRefused;
}

// Consumes every complete framing element at the front of the working buffer.
int Opener::Frame() {
    uint8_t* work = EnvelopeWorkingBuffer(e_);
    size_t used = 0;
    int status = kStatusOk;
    while (used < pending_) {
        const uint8_t* p = work + used;
        const size_t available = pending_ - used;
        if (framing_ == Framing::kDone) return kMalformed;
        if (framing_ == Framing::kDataOpen) {
            if (available < 2) break;
            if (p[0] != 0x24 || p[1] != 0x80) return kMalformed;
            used += 2;
            framing_ = Framing::kPieces;
            continue;
        }
        if (framing_ == Framing::kPieces && available >= 2 && p[0] == 0 && p[1] == 0) {
            used += 2;
            framing_ = Framing::kDone;
            continue;
        }
        uint8_t tag = 0;
        size_t header = 0, length = 0;
        bool malformed = false;
        if (!ParseFramingHeader(p, available, tag, header, length, malformed)) {
            if (malformed) return kMalformed;
            break;
        }
        const uint8_t expected = framing_ == Framing::kAttributes ? kBerSet : kBerOctetString;
        if (tag != expected) return kMalformed;
        if (header + length > kWorkingBufferSize) return kStatusGeneralFailure;
        if (header + length > available) break;
        if (framing_ == Framing::kAttributes) {
            if (attributes_ != nullptr) {
                status = AttributeListReplaceFromEncoding(attributes_, p,
                                                          static_cast<uint32_t>(header + length));
                if (status != kStatusOk) return status == kStatusOutOfMemory ? status : kMalformed;
            }
            framing_ = Framing::kDataOpen;
        } else if (length != 0 &&
                   out_->write(p + header, static_cast<unsigned int>(length), out_->context) != 0) {
            return kStatusPlaintextStreamFailed;
        }
        used += header + length;
    }
    if (used != 0) {
        std::memmove(work, work + used, pending_ - used);
        pending_ -= used;
    }
    return kStatusOk;
}

int Opener::Chunk(const BerHeader& header) {
    uint8_t* work = EnvelopeWorkingBuffer(e_);
    AlgInstance* content = EnvelopeContentInstance(e_);
    uint32_t remaining = header.length;
    while (remaining > 0) {
        const size_t room = kWorkingBufferSize - pending_;
        // Nothing fits: the element at the front is larger than the buffer allows.
        if (room == 0) return kStatusGeneralFailure;
        const uint8_t* cipher = nullptr;
        size_t got = 0;
        int status = reader_.View(&cipher, remaining < room ? remaining : room, &got);
        if (status != kStatusOk) return status;
        remaining -= static_cast<uint32_t>(got);
        uint32_t produced = 0;
        status = AlgCipherUpdate(content, work + pending_, &produced, static_cast<uint32_t>(room),
                                 cipher, static_cast<uint32_t>(got), nullptr, &cancel_);
        if (status != kAlgOk) return MapStepStatus(status, kMalformed);
        pending_ += produced;
        if ((status = Frame()) != kStatusOk) return status;
    }
    return kStatusOk;
}

int Opener::Content() {
    BerHeader outer;
    int status = reader_.ReadHeader(outer);
    if (status != kStatusOk) return status;
    if (outer.tag == 0x80) {
        // A primitive [0]: the whole ciphertext in one element.
        if ((status = Chunk(outer)) != kStatusOk) return status;
    } else if (outer.tag == 0xa0) {
        for (;;) {
            bool ended = false;
            if ((status = reader_.AtEnd(ended)) != kStatusOk) return status;
            if (ended) break;
            if (Cancelled(&cancel_)) return kStatusCancelled;
            BerHeader chunk;
            if ((status = reader_.Expect(kBerOctetString, chunk)) != kStatusOk) return status;
            if ((status = Chunk(chunk)) != kStatusOk) return status;
        }
        reader_.Leave();
    } else {
        return kMalformed;
    }
    uint32_t produced = 0;
    status = AlgCipherFinal(EnvelopeContentInstance(e_), nullptr, &produced, 0, nullptr, &cancel_);
    if (status != kAlgOk) return MapStepStatus(status, kMalformed);
    if (framing_ != Framing::kDone || pending_ != 0) return kMalformed;
    return kStatusOk;
}

// Elements 8, 4, 3 and 1 end right after the content.
int Opener::Close() {
    for (int k = 0; k < 4; ++k) {
        bool ended = false;
        int status = reader_.AtEnd(ended);
        if (status != kStatusOk) return status;
        if (!ended) return kMalformed;
        reader_.Leave();
    }
    return kStatusOk;
}

int Opener::Run() {
    BerHeader h;
    uint8_t small[kSmallElementRoom];
    size_t length = 0;
    int status = reader_.Expect(kBerSequence, h);
    if (status == kStatusOk) status = ReadSmall(kBerObjectId, small, sizeof small, length);
    if (status != kStatusOk) return status;
    if (length != sizeof kOidEnvelopedData || std::memcmp(small, kOidEnvelopedData, length) != 0) {
        return kMalformed;
    }
    if ((status = reader_.Expect(0xa0, h)) != kStatusOk) return status;
    if ((status = reader_.Expect(kBerSequence, h)) != kStatusOk) return status;
    if ((status = ReadSmall(kBerInteger, small, 4, length)) != kStatusOk) return status;
    if (length != 1 || small[0] != 1) return kStatusGeneralFailure;
    if ((status = Recipients()) != kStatusOk) return status;
    if ((status = StartContent()) != kStatusOk) return status;
    if ((status = Content()) != kStatusOk) return status;
    return Close();
}

}  // namespace

namespace qor::toolkit {

int RunEnvelopeOpen(EnvelopeObject* envelope, StreamRecord* output, AttributeList* attributes,
                    StreamRecord* input, const ProgressHook* hook, PublicKeyUnwrapper* unwrapper) {
    Opener opener(envelope, output, attributes, input, hook, unwrapper);
    return opener.Run();
}

}  // namespace qor::toolkit

extern "C" int EnvelopeOpen(StreamRecord* output, AttributeList* attributes, EnvelopeObject* handle,
                            StreamRecord* input, ProgressHook* hook) {
    if (!IsEnvelope(handle)) return kStatusBadEnvelope;
    if (output == nullptr || output->write == nullptr) return kStatusPlaintextStreamFailed;
    if (input == nullptr || input->read == nullptr) return kStatusEncodedStreamFailed;
    if (EnvelopeRecipients(handle)->count == 0) return kStatusNoRecipients;
    if (attributes != nullptr && !IsAttributeList(attributes)) return kStatusBadAttributeList;
    if (!EnvelopeBeginUse(handle)) return kStatusBadEnvelope;
    return RunEnvelopeOpen(handle, output, attributes, input, hook, nullptr);
}
