// EnvelopeOpenWithPrivateKey: the content key comes from the public-key recipient made for the
// organisation's key; the rest of the open is EnvelopeOpen's.
#include <qor/envelope_recovery.h>
#include <qor/key_files.h>

#include <cstring>

#include "attribute_list.h"
#include "envelope_object.h"
#include "envelope_opener.h"

namespace qor::toolkit {

namespace {

// SEQUENCE { OID rsaEncryption, NULL }: the only wrapping a public-key recipient gets.
constexpr uint8_t kRsaWrapping[] = {0x30, 0x0d, 0x06, 0x09, 0x2a, 0x86, 0x48, 0x86,
                                    0xf7, 0x0d, 0x01, 0x01, 0x01, 0x05, 0x00};

class PrivateKeyUnwrapper : public PublicKeyUnwrapper {
  public:
    PrivateKeyUnwrapper(const RsaPrivateKey& key, const SecureBuffer& publicKey,
                        const RandomSource& random)
        : key_(key), publicKey_(publicKey), random_(random) {}

    int Unwrap(const BerElement& parameters, const BerElement& algorithm,
               const BerElement& encryptedKey, uint8_t* key, uint32_t capacity, uint32_t* length,
               bool* matched) override {
        *matched = false;
        ++seen_;
        SecureBuffer theirs;
        uint32_t bits = 0;
        const uint8_t* whole = parameters.content - parameters.headerLength;
        // A key that does not even read is no key of ours.
        if (CanonicalPublicKey(whole, parameters.headerLength + parameters.length, &theirs,
                               &bits) != kStatusOk ||
            theirs.size() != publicKey_.size() ||
            std::memcmp(theirs.data(), publicKey_.data(), theirs.size()) != 0) {
            return kStatusOk;
        }
        const uint8_t* wrapping = algorithm.content - algorithm.headerLength;
        if (algorithm.headerLength + algorithm.length != sizeof kRsaWrapping ||
            std::memcmp(wrapping, kRsaWrapping, sizeof kRsaWrapping) != 0) {
            return kStatusUnknownKeyAlgorithm;
        }
        SecureBuffer contentKey;
        const int status = RsaPrivateDecrypt(key_, encryptedKey.content, encryptedKey.length,
                                             random_, &contentKey);
        if (status != kStatusOk) return status;
        if (contentKey.size() > capacity) return kStatusEnvelopeMalformed;
        if (!contentKey.empty()) std::memcpy(key, contentKey.data(), contentKey.size());
        *length = static_cast<uint32_t>(contentKey.size());
        *matched = true;
        return kStatusOk;
    }

    uint32_t seen() const { return seen_; }

  private:
    const RsaPrivateKey& key_;
    const SecureBuffer& publicKey_;
    RandomSource random_;
    uint32_t seen_ = 0;
};

}  // namespace

int EnvelopeOpenWithPrivateKey(StreamRecord* output, AttributeList* attributes,
                               EnvelopeObject* handle, StreamRecord* input,
                               const RsaPrivateKey& key, const RandomSource& random,
                               ProgressHook* hook, uint32_t* publicKeyRecipients) {
    if (publicKeyRecipients != nullptr) *publicKeyRecipients = 0;
    if (!IsEnvelope(handle)) return kStatusBadEnvelope;
    if (output == nullptr || output->write == nullptr) return kStatusPlaintextStreamFailed;
    if (input == nullptr || input->read == nullptr) return kStatusEncodedStreamFailed;
    if (attributes != nullptr && !IsAttributeList(attributes)) return kStatusBadAttributeList;
    SecureBuffer publicKey;
    int status = RsaCheckPrivateKey(key);
    if (status == kStatusOk) status = RsaPublicKeyBer(key, &publicKey);
    if (status != kStatusOk) return status;
    if (!EnvelopeBeginUse(handle)) return kStatusBadEnvelope;
    PrivateKeyUnwrapper unwrapper(key, publicKey, random);
    status = RunEnvelopeOpen(handle, output, attributes, input, hook, &unwrapper);
    if (publicKeyRecipients != nullptr) *publicKeyRecipients = unwrapper.seen();
    return status;
}

}  // namespace qor::toolkit
