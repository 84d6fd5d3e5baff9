/* The cryptographic toolkit's service interface.
 *
 * The rest of the product reaches the toolkit only through five kinds of handle: random
 * objects, digest objects, envelopes, attribute lists and password blocks. A handle points to
 * an opaque object whose first field is its own destroy routine; that routine doubles as the
 * type tag, so an operation handed a handle of another kind answers with its own
 * invalid-handle code and changes nothing.
 *
 * Life of an object:
 *   Random:         create, seed until RandomBytesNeeded says 0 (seed 256 bytes or more),
 *                   generate any number of times, seed again at any time, destroy.
 *   Digest:         create, update any number of times, final (the object is then ready for a
 *                   new message), destroy.
 *   Password block: create, any number of encrypt/decrypt calls, destroy. A result stays
 *                   valid until the next call or destroy.
 * Destroy takes the address of the caller's handle variable, releases the object (wiping every
 * secret it held) and sets the variable to null; destroying a null handle does nothing.
 *
 * Every operation returns 0 for success or one of the status codes below. The toolkit never
 * touches files, clocks or the operating system, takes no locks and shows no message: callers
 * hand it bytes and streams and turn codes into messages.
 */
#ifndef QOR_TOOLKIT_H
#define QOR_TOOLKIT_H

#ifdef __cplusplus
extern "C" {
#endif

/* Service status codes. */
enum QorToolkitStatus {
    kStatusOk = 0,
    kStatusBadPasswordBlockKind = 1280,   /* PasswordBlockCreate: kind other than 1 */
    kStatusBadPasswordBlockParams = 1281, /* salt shorter than 8 bytes, parameters refused */
    kStatusOutOfMemory = 1282,
    kStatusBadDigestKind = 1283, /* DigestCreate: kind other than 1 or 2 */
    kStatusBadDigest = 1284,     /* invalid DigestObject or digest step failed */
    kStatusAttributeAbsent = 1285,
    kStatusBadAttributeList = 1286,
    kStatusAttributeHighTag = 1287,  /* value with a multi-byte tag */
    kStatusAttributeNoType = 1288,   /* empty object identifier */
    kStatusAttributeNoValue = 1289,  /* empty value, or indefinite length */
    kStatusEnvelopeMalformed = 1290, /* malformed data, or a cipher step failed */
    kStatusCancelled = 1291,         /* the progress hook asked to stop */
    kStatusBadContentAlgorithm = 1292,
    kStatusContentParamsRefused = 1293,
    kStatusGeneralFailure = 1294,
    kStatusUnknownKeyAlgorithm = 1295,
    kStatusBadEnvelope = 1296,
    kStatusEmptySecret = 1297,
    kStatusBadInputLength = 1298,
    kStatusRandomNotSeeded = 1301,    /* fewer than 256 seed bytes so far */
    kStatusNoRecipientMatched = 1302, /* a wrong secret ends here */
    kStatusOutputTooSmall = 1304,
    kStatusEncodingTooLong = 1306, /* an encoding would exceed 32767 bytes */
    kStatusPasswordCheckMismatch = 1307,
    kStatusCheckDigestRefused = 1308,
    kStatusBadPasswordKind = 1310,
    kStatusPasswordBlockDecryptFailed = 1311, /* a wrong password normally shows here */
    kStatusPasswordBlockEncryptFailed = 1312,
    kStatusBadPasswordBlock = 1313,
    kStatusEncodedStreamFailed = 1314,
    kStatusBadPublicKey = 1316,
    kStatusNoRecipients = 1317,
    kStatusBadRandom = 1326, /* invalid RandomObject or random step failed */
    kStatusPlaintextStreamFailed = 1327
};

/* Kinds named by the service operations. */
enum QorToolkitKind {
    kDigestMd5 = 1,
    kDigestMd2 = 2,
    kPasswordBlockMd5Rc2 = 1 /* password-based encryption with MD5 and RC2-CBC */
};

/* A byte string: pointer and length. */
struct ByteItem {
    unsigned char* data;
    unsigned int len;
};

typedef struct RandomObject RandomObject;
typedef struct DigestObject DigestObject;
typedef struct PasswordBlockObject PasswordBlockObject;

/* Random generator: MD5-based, refuses output until 256 seed bytes have been given. */
int RandomCreate(RandomObject** handle);
int RandomSeed(RandomObject* handle, const unsigned char* bytes, unsigned int length);
int RandomBytesNeeded(unsigned int* count, RandomObject* handle);
int RandomGenerate(unsigned char* output, RandomObject* handle, unsigned int length);
void RandomDestroy(RandomObject** handle);

/* Message digests: kind 1 MD5, kind 2 MD2. The result points into the object (16 bytes) and
 * stays valid until the next final or destroy. */
int DigestCreate(DigestObject** handle, int kind);
int DigestUpdate(DigestObject* handle, const unsigned char* bytes, unsigned int length);
int DigestFinal(unsigned char** result, unsigned int* resultLength, DigestObject* handle,
                const unsigned char* bytes, unsigned int length);
void DigestDestroy(DigestObject** handle);

/* Password-based encryption of memory buffers with MD5 and RC2-CBC (kind 1). Only the first 8
 * salt bytes count. An output is L + 8 - (L mod 8) bytes for L input bytes. The result item
 * belongs to the object. */
int PasswordBlockCreate(PasswordBlockObject** handle, int kind, unsigned int iterations,
                        const ByteItem* salt);
int PasswordBlockEncrypt(ByteItem** result, PasswordBlockObject* handle, const ByteItem* data,
                         const ByteItem* password);
int PasswordBlockDecrypt(ByteItem** result, PasswordBlockObject* handle, const ByteItem* data,
                         const ByteItem* password);
void PasswordBlockDestroy(PasswordBlockObject** handle);

/* Attribute lists: named attributes that travel encrypted inside an envelope's content (the
 * file's name before encryption, the user name). Create, set before sealing or hand the list
 * to EnvelopeOpen and get afterwards, destroy. Text is taken as bytes, exactly as given (the
 * product includes the terminating zero byte); setting a name again replaces the earlier one.
 * A value returned by a get points into the list and stays valid until the list changes or is
 * destroyed. */
typedef struct AttributeList AttributeList;
int AttributeListCreate(AttributeList** handle);
int AttributeListSetFileName(AttributeList* list, const unsigned char* text, unsigned int length);
int AttributeListSetUserName(AttributeList* list, const unsigned char* text, unsigned int length);
int AttributeListGetFileName(const unsigned char** value, unsigned int* length,
                             AttributeList* list);
int AttributeListGetUserName(const unsigned char** value, unsigned int* length,
                             AttributeList* list);
void AttributeListDestroy(AttributeList** handle);

/* Streams of the enveloped-data operations. Only read and write are called; the other slots
 * are the caller's to fill as it likes.
 *   read(buffer, &count, maximum, context): up to maximum bytes; 0, or 280 at the end of the
 *       data (count 0), or any other value for an error.
 *   write(bytes, length, context): 0 when every byte was written, anything else for an error. */
struct StreamRecord {
    int (*slot1)(void*);
    int (*slot2)(void*);
    int (*read)(unsigned char* buffer, unsigned int* count, unsigned int maximum, void* context);
    int (*slot4)(void*);
    int (*write)(const unsigned char* bytes, unsigned int length, void* context);
    void* context;
};

enum { kStreamEnd = 280 };

/* Called before each recipient and each content chunk; a non-zero answer cancels (1291). */
struct ProgressHook {
    int (*callback)(void* argument);
    void* argument;
};

typedef struct StreamRecord StreamRecord;
typedef struct ProgressHook ProgressHook;
typedef struct EnvelopeObject EnvelopeObject;

/* Enveloped data: create, add one or more recipients, then exactly one seal or open, destroy.
 * Sealing writes the whole stream through `output`; opening reads it from `input` and writes
 * the plaintext (already written plaintext is not taken back on a later failure: the caller
 * removes partial output). Content algorithm 1 is RC4 with MAC; the product seals with 40 key
 * bits. Password kind 1 is the only kind. */
int EnvelopeCreate(EnvelopeObject** handle);
int EnvelopeAddPassword(EnvelopeObject* handle, const unsigned char* secret, unsigned int length,
                        int kind);
int EnvelopeAddPublicKey(EnvelopeObject* handle, const unsigned char* encodedKey,
                         unsigned int length);
int EnvelopeSeal(StreamRecord* output, EnvelopeObject* handle, StreamRecord* input,
                 int contentAlgorithm, unsigned int keyBits, RandomObject* random,
                 AttributeList* attributes, ProgressHook* hook);
int EnvelopeOpen(StreamRecord* output, AttributeList* attributes, EnvelopeObject* handle,
                 StreamRecord* input, ProgressHook* hook);
void EnvelopeDestroy(EnvelopeObject** handle);

#ifdef __cplusplus
}
#endif

#endif /* QOR_TOOLKIT_H */
