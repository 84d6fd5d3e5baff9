// RSA keys in the forms other software reads and writes them.
//
//   private key file  PEM "ENCRYPTED PRIVATE KEY": a PKCS #8 EncryptedPrivateKeyInfo under
//                     pbeWithMD5AndDES-CBC (PKCS #5 PBES1: MD5 iterated over pass phrase and
//                     an 8-byte salt gives the DES key and IV), holding a PrivateKeyInfo that
//                     holds an RSAPrivateKey. The DER form reads as well.
//   public key file   PEM "PUBLIC KEY": a SubjectPublicKeyInfo, the form envelopes carry.
//
// Everything that held the private key or the pass phrase (DER, the decrypted block, the
// derived DES key) lives in SecureBuffers or wiped locals. Readers take hostile bytes: they end
// in a status, never in a read past their input.
//
// Results are 0 or a status: those of toolkit.h and rsa_private.h and the ones below.
#pragma once

#include <qor/rsa_private.h>
#include <qor/secure_buffer.h>

#include <cstddef>
#include <cstdint>

namespace qor::toolkit {

inline constexpr int kStatusKeyFileMalformed = 1344;          // not a key in a form we read
inline constexpr int kStatusWrongPassphrase = 1345;           // decryption failed
inline constexpr int kStatusKeyEncryptionUnsupported = 1346;  // another scheme, or none
inline constexpr int kStatusKeyAlgorithmUnsupported = 1347;   // a key, but not an RSA key

// The salt is 8 bytes in PBES1; 2048 rounds of MD5 is what other tools write by default.
inline constexpr size_t kPbeSaltLength = 8;
inline constexpr uint32_t kPbeDefaultIterations = 2048;
// A key file asking for more rounds than this is refused rather than left to run for minutes.
inline constexpr uint32_t kPbeMaxIterations = 1u << 20;

// ---- DER ----

// RSAPrivateKey ::= SEQUENCE { version 0, n, e, d, p, q, d mod (p-1), d mod (q-1), q^-1 mod p }
int EncodeRsaPrivateKey(const RsaPrivateKey& key, SecureBuffer* der);
int DecodeRsaPrivateKey(const uint8_t* der, size_t length, RsaPrivateKey* key);
// PrivateKeyInfo ::= SEQUENCE { version 0, AlgorithmIdentifier rsaEncryption NULL,
//                               OCTET STRING RSAPrivateKey, [0] attributes OPTIONAL }
int EncodePrivateKeyInfo(const RsaPrivateKey& key, SecureBuffer* der);
int DecodePrivateKeyInfo(const uint8_t* der, size_t length, RsaPrivateKey* key);

// EncryptedPrivateKeyInfo ::= SEQUENCE {
//     SEQUENCE { OID 1.2.840.113549.1.5.3, SEQUENCE { OCTET STRING salt, INTEGER iterations } },
//     OCTET STRING encrypted PrivateKeyInfo }
// The salt is drawn from `random`.
int EncryptPrivateKeyInfo(const RsaPrivateKey& key, const uint8_t* passphrase, size_t length,
                          uint32_t iterations, const RandomSource& random, SecureBuffer* der);
// A pass phrase that does not decrypt to a PrivateKeyInfo gives kStatusWrongPassphrase (a
// damaged encrypted part cannot be told from it); a key that decrypts but whose numbers do not
// belong together gives kStatusBadPrivateKey.
int DecryptPrivateKeyInfo(const uint8_t* der, size_t length, const uint8_t* passphrase,
                          size_t passphraseLength, RsaPrivateKey* key,
                          uint32_t maxIterations = kPbeMaxIterations);

// ---- PEM ----

// "-----BEGIN <label>-----", the base64 of the bytes in lines of 64 characters, "-----END
// <label>-----", each line ending in LF.
int PemEncode(const char* label, const uint8_t* der, size_t length, SecureBuffer* text);
// The bytes of the first block with this label; lines may end in CR LF and blanks around the
// base64 are passed over. kStatusKeyFileMalformed when there is no such block or its base64 is
// damaged.
int PemDecode(const char* label, const uint8_t* text, size_t length, SecureBuffer* der);

// ---- Files ----

// The private key file as PEM.
int WriteEncryptedKeyFile(const RsaPrivateKey& key, const uint8_t* passphrase, size_t length,
                          const RandomSource& random, SecureBuffer* file);
// PEM or DER. A PEM private key of another kind (unencrypted, or in the older RSA form) gives
// kStatusKeyEncryptionUnsupported.
int ReadEncryptedKeyFile(const uint8_t* file, size_t length, const uint8_t* passphrase,
                         size_t passphraseLength, RsaPrivateKey* key,
                         uint32_t maxIterations = kPbeMaxIterations);

// The public half as a PEM public key file.
int WritePublicKeyFile(const RsaPrivateKey& key, SecureBuffer* file);
// A PEM (or DER) SubjectPublicKeyInfo; `canonical` receives it re-encoded as the envelope
// writes keys, `modulusBits` the size of its modulus.
int ReadPublicKeyFile(const uint8_t* file, size_t length, SecureBuffer* canonical,
                      uint32_t* modulusBits);
// The same for a SubjectPublicKeyInfo in BER, as an envelope's public-key recipient or a
// preference file holds it.
int CanonicalPublicKey(const uint8_t* ber, size_t length, SecureBuffer* canonical,
                       uint32_t* modulusBits);

}  // namespace qor::toolkit
