// What a file of the product is, read without any secret: the kind (local file, file-sharing
// file, self-extracting program, the AutoCrypt list, a preference file), where its parts lie,
// the trailer's items, the envelope's recipients with the emergency key's fingerprint, and,
// for a damaged file, how far it reads and what is wrong.
//
// The library touches no file itself: callers hand it a ByteSource over the file's bytes. It
// never reports a secret, nor anything that would help guess one: password check values,
// salts, wrapped keys and the authenticator are only said to be there.
#pragma once

#include <qor/envelope_recovery.h>
#include <qor/toolkit.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "self_extract.h"

namespace qor::inspect {

using ByteSource = stub::ByteSource;

enum class FileKind {
    kUnknown,         // none of the kinds below
    kLocal,           // encrypted under the user's key (".!!!")
    kFileShare,       // encrypted under a one-time password (".s!!")
    kSelfExtracting,  // a file-sharing file behind its decryptor program
    kAutoCryptList,   // the encrypted AutoCrypt list
    kPreferenceFile,  // "userpref.!!!"
};

// One item of the trailer: flag, type, 16-bit length, then the value at `at` in the file.
struct TrailerItem {
    uint8_t flag = 0;
    uint8_t type = 0;
    uint16_t length = 0;
    uint64_t at = 0;
};

// Where the parts of an encrypted file lie. The envelope runs from the end of the decryptor
// program (0 for other files) to the trailer, whose last two bytes give its own length.
struct FileLayout {
    uint64_t size = 0;
    FileKind kind = FileKind::kUnknown;
    bool envelopeFound = false;  // an enveloped-data stream begins where one should
    uint64_t programLength = 0;  // self-extracting programs: the decryptor in front
    uint64_t envelopeOffset = 0;
    uint64_t envelopeLength = 0;
    uint32_t trailerLength = 0;  // 0 when no trailer of a known form ends the file
    int trailerVersion = 0;
    uint16_t mode = 0;  // 2 local, 1 file sharing, 0 unknown
    std::vector<TrailerItem> items;
    std::string storedName;  // the trailer's copy of the name, up to 13 bytes
    bool storedNameCut = false;
    bool haveSize = false;
    int32_t plaintextSize = 0;
};

// Finds the parts of an encrypted file. Reads only the first bytes and the trailer.
FileLayout LocateParts(ByteSource& file);

// The envelope's bytes as a toolkit input stream, read in order from the file.
class EnvelopeStream {
  public:
    EnvelopeStream(ByteSource& file, uint64_t offset, uint64_t length);
    StreamRecord* record() { return &record_; }

  private:
    static int Read(unsigned char* buffer, unsigned int* count, unsigned int maximum,
                    void* context);
    static int NotUsed(void*) { return 288; }
    ByteSource& file_;
    uint64_t at_;
    uint64_t left_;
    StreamRecord record_;
};

struct RecipientDescription {
    int kind = toolkit::kRecipientKindOther;
    bool knownWrapping = false;
    uint32_t wrappedKeyLength = 0;
    // Public-key recipients: the key in its canonical form (as stored when it does not read),
    // its size and the fingerprint the user is shown for it.
    std::vector<uint8_t> publicKey;
    bool keyReadable = false;
    uint32_t modulusBits = 0;
    std::string fingerprint;
};

struct PreferenceSummary {
    std::string userName;
    bool setUp = false;
    uint32_t emergencyKeyLength = 0;
    uint32_t emergencyKeyBits = 0;  // 0 when the key does not read
    std::string fingerprint;        // "NONE" without a key
    bool emergencyOptional = false;
    std::string organisation;
    bool keepPassword = false;
    uint32_t keepMinutes = 0;
    bool encryptAtShutdown = false;
    bool decryptAtStartup = false;
};

struct FileDescription {
    std::string name;
    FileLayout layout;
    bool envelopeRead = false;  // the envelope was walked (whole or up to a problem)
    toolkit::EnvelopeSummary envelope = {};
    std::vector<RecipientDescription> recipients;
    PreferenceSummary preference;
    // What is wrong, in the order it was found; empty for a sound file.
    std::vector<std::string> problems;
    bool damaged() const { return !problems.empty(); }
};

// Reads the whole file once (the envelope is walked to its end, nothing is decrypted).
FileDescription DescribeFile(ByteSource& file, const std::string& name);

// The description as lines of text for a terminal; names are shown with control characters
// replaced.
std::vector<std::string> FormatDescription(const FileDescription& description);

// The fingerprint the user is shown for an emergency key in BER form ("ddd - ddd - ddd").
std::string Fingerprint(const uint8_t* key, size_t length);

// The name stored in an envelope may be written only when it is a plain file name that lands in
// the chosen folder: no folder separator of either platform, no drive prefix, no control
// character, neither "." nor ".."; on Windows also no colon (a data stream), no character
// Windows refuses, no trailing dot or blank and no device name.
bool IsPlainFileName(std::string_view name);

}  // namespace qor::inspect
