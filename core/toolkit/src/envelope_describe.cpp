// EnvelopeDescribe: walks an enveloped-data stream element by element, as EnvelopeOpen reads
// it, without a secret and without decrypting anything; says what it found and where the first
// problem lies.
#include <qor/envelope_recovery.h>
#include <qor/secure_buffer.h>

#include <cstring>

#include "ber.h"
#include "ber_stream_reader.h"
#include "envelope_object.h"

namespace qor::toolkit {

namespace {

constexpr int kMalformed = kStatusEnvelopeMalformed;
// Ours take under 600 bytes; a larger recipient info is passed over as one of another kind.
constexpr size_t kRecipientRoom = 2048;
constexpr size_t kSmallRoom = 64;
constexpr size_t kAlgorithmRoom = 256;

constexpr uint8_t kRsaWrapping[] = {0x30, 0x0d, 0x06, 0x09, 0x2a, 0x86, 0x48, 0x86,
                                    0xf7, 0x0d, 0x01, 0x01, 0x01, 0x05, 0x00};

class Describer {
  public:
    Describer(StreamRecord& input, EnvelopeSummary& summary,
              void (*onRecipient)(void*, const EnvelopeRecipientSummary&), void* context)
        : reader_(input, buffer_, sizeof buffer_),
          summary_(summary),
          onRecipient_(onRecipient),
          context_(context) {}

    int Run();

  private:
    int ReadSmall(uint32_t tag, uint8_t* out, size_t capacity, size_t& length);
    int Recipients();
    void Recipient(const uint8_t* info, size_t length);
    int ContentInfo();
    int Content();
    int Closing();

    uint8_t buffer_[kWorkingBufferSize];
    uint8_t info_[kRecipientRoom];
    BerStreamReader reader_;
    EnvelopeSummary& summary_;
    void (*onRecipient_)(void*, const EnvelopeRecipientSummary&);
    void* context_;
};

int Describer::ReadSmall(uint32_t tag, uint8_t* out, size_t capacity, size_t& length) {
    BerHeader h;
    int status = reader_.Expect(tag, h);
    if (status == kStatusOk) status = reader_.ReadPrimitive(h, out, capacity);
    length = h.length;
    return status;
}

// RecipientInfo ::= SEQUENCE { version, SEQUENCE { type, parameters },
//                              keyEncryptionAlgorithm, encryptedKey }
void Describer::Recipient(const uint8_t* info, size_t length) {
    EnvelopeRecipientSummary r = {kRecipientKindOther, nullptr, 0, false, 0};
    const uint8_t* p = info;
    const uint8_t* end = info + length;
    BerElement version, identity, type, params, algorithm, encryptedKey;
    if (BerReadExpect(p, end, kBerInteger, version) &&
        BerReadExpect(p, end, kBerSequence, identity) && BerRead(p, end, algorithm) &&
        BerReadExpect(p, end, kBerOctetString, encryptedKey) && p == end) {
        const uint8_t* q = identity.content;
        const uint8_t* qEnd = identity.content + identity.length;
        if (BerReadExpect(q, qEnd, kBerObjectId, type) && BerRead(q, qEnd, params) && q == qEnd) {
            r.wrappedKeyLength = static_cast<uint32_t>(encryptedKey.length);
            const uint8_t* a = algorithm.content;
            BerElement wrappingOid;
            if (BerIsOid(type, kOidPasswordRecipient, sizeof kOidPasswordRecipient)) {
                r.kind = kRecipientKindPassword;
                r.knownWrapping = BerReadExpect(a, algorithm.content + algorithm.length,
                                                kBerObjectId, wrappingOid) &&
                                  BerIsOid(wrappingOid, kOidPbeMd5Xor, sizeof kOidPbeMd5Xor);
            } else if (BerIsOid(type, kOidPublicKeyRecipient, sizeof kOidPublicKeyRecipient)) {
                r.kind = kRecipientKindPublicKey;
                r.publicKey = params.content - params.headerLength;
                r.publicKeyLength = static_cast<uint32_t>(params.headerLength + params.length);
                r.knownWrapping =
                    algorithm.headerLength + algorithm.length == sizeof kRsaWrapping &&
                    std::memcmp(algorithm.content - algorithm.headerLength, kRsaWrapping,
                                sizeof kRsaWrapping) == 0;
            }
        }
    }
    ++summary_.recipients;
    if (onRecipient_ != nullptr) onRecipient_(context_, r);
}

int Describer::Recipients() {
    BerHeader set;
    int status = reader_.Expect(kBerSet, set);
    if (status != kStatusOk) return status;
    for (;;) {
        bool ended = false;
        if ((status = reader_.AtEnd(ended)) != kStatusOk) return status;
        if (ended) break;
        BerHeader info;
        if ((status = reader_.Expect(kBerSequence, info)) != kStatusOk) return status;
        if (info.indefinite || info.length > sizeof info_) {
            if ((status = reader_.SkipElement(info)) != kStatusOk) return status;
            Recipient(nullptr, 0);
            continue;
        }
        if ((status = reader_.Read(info_, info.length)) != kStatusOk) return status;
        reader_.Leave();
        Recipient(info_, info.length);
    }
    reader_.Leave();
    return kStatusOk;
}

// SEQUENCE { contentType, SEQUENCE { OID RC4 with MAC, SEQUENCE { OCTET STRING salt,
//                                                                   INTEGER MAC length } } }
int Describer::ContentInfo() {
    BerHeader h;
    uint8_t oid[kSmallRoom];
    size_t length = 0;
    int status = reader_.Expect(kBerSequence, h);
    if (status == kStatusOk) status = ReadSmall(kBerObjectId, oid, sizeof oid, length);
    if (status != kStatusOk) return status;
    if (length != sizeof kOidEncryptedContent ||
        std::memcmp(oid, kOidEncryptedContent, length) != 0) {
        return kMalformed;
    }
    BerHeader algorithm;
    if ((status = reader_.Expect(kBerSequence, algorithm)) != kStatusOk) return status;
    if (algorithm.indefinite || algorithm.length > kAlgorithmRoom) return kMalformed;
    uint8_t encoding[kAlgorithmRoom];
    if ((status = reader_.Read(encoding, algorithm.length)) != kStatusOk) return status;
    reader_.Leave();
    const uint8_t* p = encoding;
    const uint8_t* end = encoding + algorithm.length;
    BerElement id, params, salt, mac;
    uint32_t macLength = 0;
    if (BerReadExpect(p, end, kBerObjectId, id) &&
        BerIsOid(id, kOidRc4WithMac, sizeof kOidRc4WithMac) &&
        BerReadExpect(p, end, kBerSequence, params) && p == end) {
        const uint8_t* q = params.content;
        const uint8_t* qEnd = params.content + params.length;
        if (BerReadExpect(q, qEnd, kBerOctetString, salt) &&
            BerReadExpect(q, qEnd, kBerInteger, mac) && BerUnsigned(mac, macLength) && q == qEnd) {
            summary_.contentAlgorithmKnown = true;
            summary_.contentKeySaltLength = static_cast<uint32_t>(salt.length);
            summary_.macLength = macLength;
        }
    }
    return kStatusOk;
}

int Describer::Content() {
    BerHeader outer;
    int status = reader_.ReadHeader(outer);
    if (status != kStatusOk) return status;
    if (outer.tag == 0x80) {  // the whole ciphertext in one primitive element
        if ((status = reader_.Skip(outer.length)) != kStatusOk) return status;
        ++summary_.chunks;
        summary_.encryptedBytes += outer.length;
        return kStatusOk;
    }
    if (outer.tag != 0xa0) return kMalformed;
    for (;;) {
        bool ended = false;
        if ((status = reader_.AtEnd(ended)) != kStatusOk) return status;
        if (ended) break;
        BerHeader chunk;
        if ((status = reader_.Expect(kBerOctetString, chunk)) != kStatusOk) return status;
        if (chunk.constructed) return kMalformed;
        if ((status = reader_.Skip(chunk.length)) != kStatusOk) return status;
        ++summary_.chunks;
        summary_.encryptedBytes += chunk.length;
    }
    reader_.Leave();
    return kStatusOk;
}

// Elements 8, 4, 3 and 1 end right after the content.
int Describer::Closing() {
    for (int k = 0; k < 4; ++k) {
        bool ended = false;
        const int status = reader_.AtEnd(ended);
        if (status != kStatusOk) return status;
        if (!ended) return kMalformed;
        reader_.Leave();
    }
    return kStatusOk;
}

int Describer::Run() {
    BerHeader h;
    uint8_t small[kSmallRoom];
    size_t length = 0;
    summary_.stage = kStageHeader;
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
    summary_.stage = kStageRecipients;
    if ((status = Recipients()) != kStatusOk) return status;
    summary_.stage = kStageContentInfo;
    if ((status = ContentInfo()) != kStatusOk) return status;
    summary_.stage = kStageContent;
    if ((status = Content()) != kStatusOk) return status;
    summary_.stage = kStageClosing;
    if ((status = Closing()) != kStatusOk) return status;
    summary_.stage = kStageDone;
    return kStatusOk;
}

}  // namespace

int EnvelopeDescribe(StreamRecord* input, EnvelopeSummary* summary,
                     void (*onRecipient)(void* context, const EnvelopeRecipientSummary& recipient),
                     void* context) {
    *summary = {};
    if (input == nullptr || input->read == nullptr) return kStatusEncodedStreamFailed;
    Describer describer(*input, *summary, onRecipient, context);
    return describer.Run();
}

}  // namespace qor::toolkit
