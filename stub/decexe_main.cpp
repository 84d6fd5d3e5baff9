// decexe: the decryptor that travels in front of every self-extracting program. It finds the
// envelope behind its own image and the file-sharing trailer at the end of its file, asks for
// the one-time password and writes the decrypted file under the name stored in the envelope.
//
// Exit status: 0 written; 1 nothing to decrypt, a damaged file or no password; 2 wrong
// password; 3 the file could not be written (refused name, existing file, no writable folder).
#include <qor/platform/files.h>
#include <qor/platform/system.h>
#include <qor/platform/terminal.h>
#include <qor/secure_buffer.h>
#include <qor/toolkit.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "self_extract.h"

namespace {

namespace platform = qor::platform;
using qor::stub::kShareTrailerLength;

enum Exit { kExitWritten = 0, kExitNoContent = 1, kExitWrongPassword = 2, kExitNotWritten = 3 };

// Longer input than any password dialog of the product accepts.
constexpr size_t kMaxPassword = 1024;

class FileSource : public qor::stub::ByteSource {
  public:
    FileSource(platform::File& file, uint64_t size) : file_(file), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, uint8_t* out, size_t length) override {
        if (offset > size_ || length > size_ - offset || !file_.Seek(offset)) return false;
        while (length > 0) {
            uint32_t got = 0;
            const auto want = static_cast<uint32_t>(std::min<size_t>(length, 1u << 20));
            if (!file_.Read(out, want, &got) || got == 0) return false;
            out += got;
            length -= got;
        }
        return true;
    }

  private:
    platform::File& file_;
    uint64_t size_;
};

// The envelope's bytes: from the end of the image up to the trailer, and not one byte more.
struct EnvelopeInput {
    platform::File* file;
    uint64_t left;
};

int ReadEnvelope(unsigned char* buffer, unsigned int* count, unsigned int maximum, void* context) {
    auto* in = static_cast<EnvelopeInput*>(context);
    *count = 0;
    if (in->left == 0) return kStreamEnd;
    const auto want = static_cast<uint32_t>(std::min<uint64_t>(maximum, in->left));
    uint32_t got = 0;
    if (!in->file->Read(buffer, want, &got)) return 1;
    if (got == 0) return kStreamEnd;
    in->left -= got;
    *count = got;
    return 0;
}

int WritePlaintext(const unsigned char* bytes, unsigned int length, void* context) {
    return static_cast<platform::File*>(context)->Write(bytes, length) ? 0 : 1;
}

std::string BaseName(const std::string& path) {
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == platform::kSeparator) return folder + name;
    return folder + platform::kSeparator + name;
}

// The program's own file: its folder and the name it was started under.
platform::File OpenOwnFile(const std::string& argv0) {
    std::string name = BaseName(argv0);
    std::string path = Join(platform::ProgramFolder(), name);
#ifdef _WIN32
    // A program started from the command line may be named without its extension.
    if (!platform::Exists(path)) path += ".exe";
#else
    // Started through a link of another name: the kernel knows the file itself.
    if (name.empty() || !platform::Exists(path)) path = "/proc/self/exe";
#endif
    return platform::File::Open(path, platform::kAccessRead, platform::kShareRead,
                                platform::kOpenExisting);
}

// Reads one line from standard input into `out` (no line end); false at end of input with
// nothing read.
bool ReadLineFromStdin(qor::SecureBuffer& out, size_t& length) {
    length = 0;
    bool any = false;
    char c = 0;
    while (std::cin.get(c)) {
        any = true;
        if (c == '\n') break;
        if (length < out.size()) out[length] = static_cast<uint8_t>(c);
        ++length;  // counted on, so that an over-long password is refused rather than cut
    }
    qor::SecureWipe(&c, sizeof c);
    if (length > 0 && length <= out.size() && out[length - 1] == '\r') --length;
    return any;
}

// Typed keys, shown as nothing. False when the user pressed Esc or Ctrl-C.
bool ReadFromTerminal(platform::Terminal& terminal, qor::SecureBuffer& out, size_t& length) {
    length = 0;
    terminal.Write("Password: ");
    terminal.SetRaw(true);
    bool entered = false;
    for (;;) {
        int key = terminal.ReadKey();
        if (key == '\n') {
            entered = true;
            break;
        }
        if (key < 0 || key == 0x1b || key == 0x03) break;
        if (key == 0x7f || key == 0x08) {
            if (length > 0) out[--length] = 0;
            continue;
        }
        if (length < out.size()) out[length] = static_cast<uint8_t>(key);
        ++length;
    }
    terminal.SetRaw(false);
    terminal.Write("\n");
    return entered;
}

// Asks for the one-time password: on the terminal without echo when there is one and the
// caller did not ask for standard input, otherwise one line from standard input.
bool AskPassword(bool fromStdin, qor::SecureBuffer& password, size_t& length) {
    password.Resize(kMaxPassword);
    bool entered = false;
    platform::Terminal terminal;
    if (!fromStdin && terminal.Open()) {
        entered = ReadFromTerminal(terminal, password, length);
    } else {
        std::cout << "Password: " << std::flush;
        entered = ReadLineFromStdin(password, length);
        std::cout << "\n";
    }
    if (length > kMaxPassword) {
        std::cerr << "The password is too long.\n";
        return false;
    }
    if (!entered || length == 0) {
        std::cerr << "No password was entered.\n";
        return false;
    }
    return true;
}

bool SameBytes(const uint8_t* a, const uint8_t* b, size_t n) {
    uint8_t difference = 0;
    for (size_t i = 0; i < n; ++i)
        difference = static_cast<uint8_t>(difference | (a[i] ^ b[i]));
    return difference == 0;
}

// A new temporary file in `folder` ("" for the current folder), created only if no file of
// that name exists, so nothing already there is ever opened or truncated.
platform::File CreateTemp(const std::string& folder, std::string& path) {
    for (unsigned counter = 0; counter < 1000; ++counter) {
        std::string number = std::to_string(4000 + counter);
        path = Join(folder, "~fs" + number + ".tmp");
        uint32_t error = 0;
        platform::File file =
            platform::File::Open(path, platform::kAccessWrite, platform::kShareNone,
                                 platform::kCreateNew, platform::kAttrNormal, &error);
        if (file.IsOpen()) return file;
        if (error != platform::kErrorFileExists && error != platform::kErrorAlreadyExists) break;
    }
    path.clear();
    return platform::File();
}

struct Opened {
    int status = kStatusGeneralFailure;
    std::string name;  // as stored, terminator included
};

// Opens the envelope with the derived key and writes the plaintext through `output`.
Opened OpenEnvelope(platform::File& own, uint64_t start, uint64_t length, const uint8_t key[16],
                    platform::File& output) {
    Opened result;
    if (!own.Seek(start)) return result;
    EnvelopeInput input{&own, length};
    StreamRecord in{nullptr, nullptr, ReadEnvelope, nullptr, nullptr, &input};
    StreamRecord out{nullptr, nullptr, nullptr, nullptr, WritePlaintext, &output};
    EnvelopeObject* envelope = nullptr;
    AttributeList* attributes = nullptr;
    result.status = EnvelopeCreate(&envelope);
    if (result.status == kStatusOk) result.status = AttributeListCreate(&attributes);
    if (result.status == kStatusOk) result.status = EnvelopeAddPassword(envelope, key, 16, 1);
    if (result.status == kStatusOk)
        result.status = EnvelopeOpen(&out, attributes, envelope, &in, nullptr);
    if (result.status == kStatusOk) {
        const unsigned char* value = nullptr;
        unsigned int valueLength = 0;
        result.status = AttributeListGetFileName(&value, &valueLength, attributes);
        if (result.status == kStatusOk)
            result.name.assign(reinterpret_cast<const char*>(value), valueLength);
    }
    AttributeListDestroy(&attributes);
    EnvelopeDestroy(&envelope);
    return result;
}

int Run(const std::vector<std::string>& argv) {
    bool fromStdin = false;
    const std::string self = argv.empty() ? std::string() : argv[0];
    for (size_t i = 1; i < argv.size(); ++i) {
        if (argv[i] == "--password-stdin") {
            fromStdin = true;
        } else {
            std::cerr << "Usage: " << qor::stub::Printable(BaseName(self))
                      << " [--password-stdin]\n";
            return kExitNoContent;
        }
    }

    platform::File own = OpenOwnFile(self);
    uint64_t size = 0;
    if (!own.IsOpen() || !own.Size(&size)) {
        std::cerr << "This program cannot read its own file.\n";
        return kExitNoContent;
    }
    FileSource source(own, size);
    const std::optional<uint64_t> image = qor::stub::ImageLength(source);
    if (!image) {
        std::cerr << "This program's own file is damaged.\n";
        return kExitNoContent;
    }
    if (*image == size) {
        std::cerr << "This program holds no encrypted file.\n";
        return kExitNoContent;
    }
    uint8_t trailerBytes[kShareTrailerLength];
    std::optional<qor::stub::ShareTrailer> trailer;
    if (size - *image > kShareTrailerLength &&
        source.ReadAt(size - kShareTrailerLength, trailerBytes, sizeof trailerBytes))
        trailer = qor::stub::ParseShareTrailer(trailerBytes, sizeof trailerBytes);
    if (!trailer) {
        std::cerr << "The encrypted file in this program is damaged.\n";
        return kExitNoContent;
    }

    uint8_t key[16] = {};
    uint8_t check[16] = {};
    qor::ScopedWipe<uint8_t[16]> wipeKey(key);
    qor::ScopedWipe<uint8_t[16]> wipeCheck(check);
    {
        qor::SecureBuffer password;
        size_t length = 0;
        if (!AskPassword(fromStdin, password, length)) return kExitNoContent;
        if (!qor::stub::DeriveShareKey(password.data(), length, trailer->salt, key, check)) {
            std::cerr << "The key could not be derived.\n";
            return kExitNoContent;
        }
    }
    if (!SameBytes(check, trailer->check, sizeof check)) {
        std::cerr << "The password does not match this file.\n";
        return kExitWrongPassword;
    }

    // The current folder first; a folder the user may not write to (a read-only share, a
    // CD) sends the file beside the program instead.
    std::string folder;
    std::string tempPath;
    platform::File output = CreateTemp(folder, tempPath);
    if (!output.IsOpen()) {
        folder = platform::ProgramFolder();
        output = CreateTemp(folder, tempPath);
    }
    if (!output.IsOpen()) {
        std::cerr << "No folder could be written to.\n";
        return kExitNotWritten;
    }

    const uint64_t envelopeLength = size - kShareTrailerLength - *image;
    const Opened opened = OpenEnvelope(own, *image, envelopeLength, key, output);
    const bool flushed = opened.status == kStatusOk && output.Flush();
    output.Close();
    if (opened.status != kStatusOk || !flushed) {
        platform::DeleteFile(tempPath);
        if (opened.status == kStatusOk)
            std::cerr << "The decrypted file could not be written.\n";
        else
            std::cerr << "The encrypted file in this program is damaged or was tampered with.\n";
        return opened.status == kStatusOk ? kExitNotWritten : kExitNoContent;
    }

    const std::optional<std::string> name = qor::stub::SafeStoredName(
        reinterpret_cast<const uint8_t*>(opened.name.data()), opened.name.size());
    if (!name) {
        platform::DeleteFile(tempPath);
        std::cerr << "The file name stored in this program (\""
                  << qor::stub::Printable(opened.name.substr(0, opened.name.find('\0')))
                  << "\") is not a plain file name; nothing was written.\n";
        return kExitNotWritten;
    }
    const std::string target = Join(folder, *name);
    // The rename never replaces: an existing file of that name is left as it is.
    if (!platform::MoveFile(tempPath, target)) {
        const uint32_t error = platform::LastError();
        platform::DeleteFile(tempPath);
        if (error == platform::kErrorAlreadyExists || error == platform::kErrorFileExists ||
            platform::Exists(target))
            std::cerr << "\"" << *name << "\" already exists; it was left unchanged.\n";
        else
            std::cerr << "\"" << *name << "\" could not be written.\n";
        return kExitNotWritten;
    }
    if (!folder.empty()) platform::FlushFolder(folder);
    std::cout << "Wrote " << *name << ".\n";
    return kExitWritten;
}

}  // namespace

int main(int argc, char** argv) {
    return Run(platform::ProgramArguments(argc, argv));
}
