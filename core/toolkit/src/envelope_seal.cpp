// EnvelopeSeal: writes the whole enveloped-data stream.
//
//   30 80  06 09 <enveloped data>  a0 80  30 80  02 01 01
//     31 80  RecipientInfo...  00 00
//     30 80  06 09 <encrypted content>  <content algorithm>
//       a0 80  04 L chunk ...  00 00
//     00 00
//   00 00  00 00  00 00
//
// One RC4-with-MAC stream runs over the attribute set, 24 80, the framed data pieces and
// 00 00; each of these parts becomes one chunk, and the MAC ends the last one.
#include <qor/secure_buffer.h>

#include <cstring>

#include "attribute_list.h"
#include "ber.h"
#include "envelope_object.h"
#include "kinds.h"
#include "md5.h"
#include "status.h"

using namespace qor::toolkit;

namespace {

// Room for every header element and for the largest RecipientInfo (a 2048-bit key's
// parameters and wrapped key come to under 600 bytes).
using HeaderBuffer = BerBuffer<1024>;

// A 2048-bit modulus wraps the content key into 256 bytes.
constexpr uint32_t kWrappedKeyRoom = 256;

// Chunk layout in the working buffer: the chunk's own header (04 82 hh ll) in front, then the
// piece's plaintext header (04 82 1f d0 at most), then up to 8144 data bytes.
constexpr uint32_t kChunkHeaderRoom = 4;
constexpr uint32_t kPieceHeaderRoom = 4;
static_assert(kChunkHeaderRoom + kPieceHeaderRoom + kPieceSize <= kWorkingBufferSize);

class Sealer {
  public:
    Sealer(EnvelopeObject* e, StreamRecord* output, StreamRecord* input, RandomObject* random,
           AttributeList* attributes, const ProgressHook* hook)
        : e_(e),
          out_(output),
          in_(input),
          random_(random),
          randomInstance_(RandomInstanceOf(random)),
          attributes_(attributes),
          cancel_(AsCancelHook(hook)) {}
    ~Sealer() { qor::SecureWipe(contentKey_, sizeof contentKey_); }

    int Run(unsigned int keyBits);

  private:
    int Write(const uint8_t* bytes, size_t length) {
        if (out_->write(bytes, static_cast<unsigned int>(length), out_->context) != 0) {
            return kStatusEncodedStreamFailed;
        }
        return kStatusOk;
    }
    template <size_t N>
    int Write(const BerBuffer<N>& b) {
        return b.overflow ? kStatusGeneralFailure : Write(b.data, b.length);
    }
    int Draw(uint8_t* out, uint32_t length) {
        return RandomGenerate(out, random_, length) == kStatusOk ? kStatusOk : kStatusBadRandom;
    }

    int StartContent(unsigned int keyBits, ByteSpan& algorithm);
    int WriteRecipient(const Recipient& r);
    int BuildPasswordRecipient(const Recipient& r, HeaderBuffer& params, HeaderBuffer& tail);
    int BuildPublicKeyRecipient(const Recipient& r, HeaderBuffer& params, HeaderBuffer& tail);
    int WrapContentKey(KeyHolder* key, HeaderBuffer& tail);
    int EncryptChunk(uint8_t* plain, uint32_t length, bool last);
    int WriteContent();

    EnvelopeObject* e_;
    StreamRecord* out_;
    StreamRecord* in_;
    RandomObject* random_;
    AlgInstance* randomInstance_;
    AttributeList* attributes_;
    CancelHook cancel_;
    uint8_t contentKey_[32] = {};
    uint32_t keyLength_ = 0;
};

int Sealer::StartContent(unsigned int keyBits, ByteSpan& algorithm) {
    // 40 bits give 5 bytes. The scratch holds 32, far above any length the product uses.
    keyLength_ = keyBits / 8 == 0 ? 1 : keyBits / 8;
    if (keyLength_ > sizeof contentKey_) keyLength_ = sizeof contentKey_;
    uint8_t salt[kContentSaltLength];
    int status = Draw(contentKey_, keyLength_);
    if (status == kStatusOk) status = Draw(salt, sizeof salt);
    if (status != kStatusOk) return status;

    AlgInstance*& content = EnvelopeContentInstance(e_);
    KeyHolder*& key = EnvelopeContentKey(e_);
    status = CreateAlgInstance(&content);
    const Rc4MacParams params = {salt, kContentSaltLength, kMacLength};
    if (status == kAlgOk) status = SetAlgParams(content, AlgKindRc4Mac(), &params);
    const void* ber = nullptr;
    if (status == kAlgOk) status = GetAlgParams(content, AlgKindRc4MacBer(), &ber);
    if (status == kAlgOk) status = CreateKeyHolder(&key);
    if (status == kAlgOk) {
        const ByteSpan span = {contentKey_, keyLength_};
        status = SetKey(key, KeyKindByteString(), &span);
    }
    if (status == kAlgOk) status = AlgEncryptInit(content, key, GeneralRegistry());
    if (status != kAlgOk) return MapStepStatus(status, kStatusOutOfMemory);
    algorithm = *static_cast<const ByteSpan*>(ber);
    return kStatusOk;
}

int Sealer::WrapContentKey(KeyHolder* key, HeaderBuffer& tail) {
    AlgInstance* wrap = EnvelopeWrapInstance(e_);
    uint8_t wrapped[kWrappedKeyRoom];
    qor::ScopedWipe wipe(wrapped);
    int status = AlgEncryptInit(wrap, key, GeneralRegistry());
    uint32_t first = 0, second = 0;
    if (status == kAlgOk) {
        status = AlgCipherUpdate(wrap, wrapped, &first, sizeof wrapped, contentKey_, keyLength_,
                                 randomInstance_, &cancel_);
    }
    if (status == kAlgOk) {
        status = AlgCipherFinal(wrap, wrapped + first, &second, sizeof wrapped - first,
                                randomInstance_, &cancel_);
    }
    if (status != kAlgOk) return MapStepStatus(status, kStatusEnvelopeMalformed);
    BerAppend(tail, kBerOctetString, wrapped, first + second);
    return kStatusOk;
}

// Parameters: SEQUENCE { md5 identifier, OCTET STRING process salt, OCTET STRING check }, with
// check = MD5(secret || process salt); the wrapping is password-based XOR under 8 fresh bytes.
int Sealer::BuildPasswordRecipient(const Recipient& r, HeaderBuffer& params, HeaderBuffer& tail) {
    int status = kStatusOk;
    const uint8_t* processSalt = ProcessSalt(random_, &status);
    if (processSalt == nullptr) return status;
    const void* secretBlock = nullptr;
    if (GetKey(r.key, KeyKindByteString(), &secretBlock) != kAlgOk) return kStatusOutOfMemory;
    const auto* secret = static_cast<const ByteSpan*>(secretBlock);

    uint8_t check[kMd5DigestSize];
    qor::ScopedWipe wipeCheck(check);
    Md5Context h;
    qor::ScopedWipe wipeH(h);
    Md5Init(h);
    Md5Update(h, secret->data, secret->length);
    Md5Update(h, processSalt, kProcessSaltLength);
    Md5Final(h, check);

    BerBuffer<16> md5Id;
    BerAppend(md5Id, kBerObjectId, kOidMd5, sizeof kOidMd5);
    BerAppend(md5Id, kBerNull, nullptr, 0);
    BerBuffer<64> inner;
    BerAppend(inner, kBerSequence, md5Id.data, md5Id.length);
    BerAppend(inner, kBerOctetString, processSalt, kProcessSaltLength);
    BerAppend(inner, kBerOctetString, check, sizeof check);
    BerAppend(params, kBerSequence, inner.data, inner.length);

    uint8_t salt[kWrappingSaltLength];
    if ((status = Draw(salt, sizeof salt)) != kStatusOk) return status;
    AlgInstance*& wrap = EnvelopeWrapInstance(e_);
    DestroyAlgInstance(&wrap);
    status = CreateAlgInstance(&wrap);
    const PbeXorParams xorParams = {salt, 1};
    if (status == kAlgOk) status = SetAlgParams(wrap, AlgKindPbeMd5Xor(), &xorParams);
    const void* ber = nullptr;
    if (status == kAlgOk) status = GetAlgParams(wrap, AlgKindPbeMd5XorBer(), &ber);
    if (status != kAlgOk) return MapStepStatus(status, kStatusOutOfMemory);
    const auto* encoding = static_cast<const ByteSpan*>(ber);
    if (tail.length + encoding->length > sizeof tail.data) return kStatusGeneralFailure;
    std::memcpy(tail.data + tail.length, encoding->data, encoding->length);
    tail.length += encoding->length;
    return WrapContentKey(r.key, tail);
}

// Parameters: the key's canonical encoding; the wrapping is RSA with block type 2 padding.
int Sealer::BuildPublicKeyRecipient(const Recipient& r, HeaderBuffer& params, HeaderBuffer& tail) {
    const void* keyBer = nullptr;
    int status = GetKey(r.key, KeyKindRsaPublicBer(), &keyBer);
    if (status != kAlgOk) return MapStepStatus(status, kStatusOutOfMemory);
    const auto* key = static_cast<const ByteSpan*>(keyBer);
    if (params.length + key->length > sizeof params.data) return kStatusEnvelopeMalformed;
    std::memcpy(params.data + params.length, key->data, key->length);
    params.length += key->length;

    AlgInstance*& wrap = EnvelopeWrapInstance(e_);
    DestroyAlgInstance(&wrap);
    status = CreateAlgInstance(&wrap);
    if (status == kAlgOk) status = SetAlgParams(wrap, AlgKindRsaPkcs1(), nullptr);
    const void* ber = nullptr;
    if (status == kAlgOk) status = GetAlgParams(wrap, AlgKindRsaPkcs1Ber(), &ber);
    if (status != kAlgOk) return MapStepStatus(status, kStatusOutOfMemory);
    const auto* encoding = static_cast<const ByteSpan*>(ber);
    std::memcpy(tail.data + tail.length, encoding->data, encoding->length);
    tail.length += encoding->length;
    return WrapContentKey(r.key, tail);
}

// RecipientInfo ::= SEQUENCE { version 1, SEQUENCE { type, parameters },
//                              keyEncryptionAlgorithm, encryptedKey }
int Sealer::WriteRecipient(const Recipient& r) {
    HeaderBuffer params, tail;
    const bool password = r.type == kRecipientPassword;
    int status = password ? BuildPasswordRecipient(r, params, tail)
                          : BuildPublicKeyRecipient(r, params, tail);
    if (status != kStatusOk) return status;
    const uint8_t* type = password ? kOidPasswordRecipient : kOidPublicKeyRecipient;
    HeaderBuffer identity;
    BerAppend(identity, kBerObjectId, type, sizeof kOidPasswordRecipient);
    if (identity.length + params.length > sizeof identity.data) return kStatusEnvelopeMalformed;
    std::memcpy(identity.data + identity.length, params.data, params.length);
    identity.length += params.length;

    static const uint8_t kVersion = 1;
    HeaderBuffer body;
    BerAppend(body, kBerInteger, &kVersion, 1);
    BerAppend(body, kBerSequence, identity.data, identity.length);
    if (body.length + tail.length > sizeof body.data) return kStatusEnvelopeMalformed;
    std::memcpy(body.data + body.length, tail.data, tail.length);
    body.length += tail.length;
    HeaderBuffer info;
    BerAppend(info, kBerSequence, body.data, body.length);
    return Write(info);
}

// Encrypts `length` plaintext bytes that sit kChunkHeaderRoom bytes into the working buffer,
// in place, adds the MAC for the last chunk, and writes the chunk as one OCTET STRING.
int Sealer::EncryptChunk(uint8_t* plain, uint32_t length, bool last) {
    AlgInstance* content = EnvelopeContentInstance(e_);
    uint32_t produced = 0, mac = 0;
    int status =
        AlgCipherUpdate(content, plain, &produced, length, plain, length, nullptr, &cancel_);
    if (status == kAlgOk && last) {
        status = AlgCipherFinal(content, plain + produced, &mac, kMacLength, nullptr, &cancel_);
    }
    if (status != kAlgOk) return MapStepStatus(status, kStatusEnvelopeMalformed);
    const uint32_t total = produced + mac;
    uint8_t header[4];
    const size_t h = BerWriteHeader(header, kBerOctetString, total);
    uint8_t* start = plain - h;
    std::memcpy(start, header, h);
    return Write(start, h + total);
}

int Sealer::WriteContent() {
    uint8_t* work = EnvelopeWorkingBuffer(e_);
    uint8_t* chunk = work + kChunkHeaderRoom;

    // Chunk 1: the attribute set.
    static const uint8_t kEmptySet[2] = {kBerSet, 0x00};
    const uint8_t* set = kEmptySet;
    uint32_t setLength = sizeof kEmptySet;
    if (attributes_ != nullptr) {
        int status = AttributeListEncode(attributes_, &set, &setLength);
        if (status != kStatusOk) return status;
    }
    if (setLength > kPieceSize) return kStatusEnvelopeMalformed;
    if (Cancelled(&cancel_)) return kStatusCancelled;
    std::memcpy(chunk, set, setLength);
    int status = EncryptChunk(chunk, setLength, false);
    if (status != kStatusOk) return status;

    // Chunk 2: the constructed OCTET STRING that holds the data.
    if (Cancelled(&cancel_)) return kStatusCancelled;
    chunk[0] = 0x24;
    chunk[1] = 0x80;
    if ((status = EncryptChunk(chunk, 2, false)) != kStatusOk) return status;

    // Data pieces, one per read; the end of the data closes with 00 00 and the MAC.
    for (;;) {
        if (Cancelled(&cancel_)) return kStatusCancelled;
        uint8_t* data = chunk + kPieceHeaderRoom;
        unsigned int count = 0;
        int read = in_->read(data, &count, kPieceSize, in_->context);
        if (read != 0 && read != kStreamEnd) return kStatusPlaintextStreamFailed;
        if (count > kPieceSize) return kStatusPlaintextStreamFailed;
        if (count > 0) {
            uint8_t header[4];
            const size_t h = BerWriteHeader(header, kBerOctetString, count);
            uint8_t* piece = data - h;
            std::memcpy(piece, header, h);
            if ((status = EncryptChunk(piece, static_cast<uint32_t>(h + count), false)) !=
                kStatusOk) {
                return status;
            }
        }
        // A reader that delivers nothing without saying the data ended is taken at its word
        // that nothing more will come, rather than asked forever.
        if (read == kStreamEnd || count == 0) break;
    }
    chunk[0] = 0x00;
    chunk[1] = 0x00;
    return EncryptChunk(chunk, 2, true);
}

int Sealer::Run(unsigned int keyBits) {
    ObjectList* recipients = EnvelopeRecipients(e_);
    ByteSpan algorithm = {};
    int status = StartContent(keyBits, algorithm);
    if (status != kStatusOk) return status;

    static const uint8_t kVersion = 1;
    HeaderBuffer head;
    static const uint8_t kOpen[] = {0x30, 0x80};
    static const uint8_t kContextOpen[] = {0xa0, 0x80};
    static const uint8_t kSetOpen[] = {0x31, 0x80};
    std::memcpy(head.data, kOpen, 2);
    head.length = 2;
    BerAppend(head, kBerObjectId, kOidEnvelopedData, sizeof kOidEnvelopedData);
    std::memcpy(head.data + head.length, kContextOpen, 2);
    std::memcpy(head.data + head.length + 2, kOpen, 2);
    head.length += 4;
    BerAppend(head, kBerInteger, &kVersion, 1);
    std::memcpy(head.data + head.length, kSetOpen, 2);
    head.length += 2;
    if ((status = Write(head)) != kStatusOk) return status;

    for (uint32_t k = 0; k < recipients->count; ++k) {
        if (Cancelled(&cancel_)) return kStatusCancelled;
        const auto* r = static_cast<const Recipient*>(ObjectListGet(*recipients, k));
        if ((status = WriteRecipient(*r)) != kStatusOk) return status;
    }

    HeaderBuffer middle;
    static const uint8_t kClose[] = {0x00, 0x00};
    std::memcpy(middle.data, kClose, 2);
    std::memcpy(middle.data + 2, kOpen, 2);
    middle.length = 4;
    BerAppend(middle, kBerObjectId, kOidEncryptedContent, sizeof kOidEncryptedContent);
    std::memcpy(middle.data + middle.length, algorithm.data, algorithm.length);
    middle.length += algorithm.length;
    std::memcpy(middle.data + middle.length, kContextOpen, 2);
    middle.length += 2;
    if ((status = Write(middle)) != kStatusOk) return status;

    if ((status = WriteContent()) != kStatusOk) return status;

    // Close elements 11, 8, 4, 3 and 1.
    static const uint8_t kCloseAll[10] = {};
    return Write(kCloseAll, sizeof kCloseAll);
}

}  // namespace

extern "C" int EnvelopeSeal(StreamRecord* output, EnvelopeObject* handle, StreamRecord* input,
                            int contentAlgorithm, unsigned int keyBits, RandomObject* random,
                            AttributeList* attributes, ProgressHook* hook) {
    if (!IsEnvelope(handle)) return kStatusBadEnvelope;
    if (contentAlgorithm != 1) return kStatusBadContentAlgorithm;
    unsigned int needed = 0;
    if (RandomBytesNeeded(&needed, random) != kStatusOk) return kStatusBadRandom;
    if (needed > 0) return kStatusRandomNotSeeded;
    int status = kStatusOk;
    if (ProcessSalt(random, &status) == nullptr) return status;
    if (input == nullptr || input->read == nullptr) return kStatusPlaintextStreamFailed;
    if (output == nullptr || output->write == nullptr) return kStatusEncodedStreamFailed;
    if (EnvelopeRecipients(handle)->count == 0) return kStatusNoRecipients;
    if (attributes != nullptr && !IsAttributeList(attributes)) return kStatusBadAttributeList;
    if (!EnvelopeBeginUse(handle)) return kStatusBadEnvelope;
    Sealer sealer(handle, output, input, random, attributes, hook);
    return sealer.Run(keyBits);
}
