#include "extract_program.h"

#include <qor/toolkit.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "self_extract.h"

namespace qor::stub {

namespace {

class FileSource : public ByteSource {
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

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == platform::kSeparator) return folder + name;
    return folder + platform::kSeparator + name;
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

}  // namespace

int ExtractOwnFile(platform::File& own, const PasswordAsker& ask,
                   const std::vector<std::string>& folders, std::ostream& out, std::ostream& err) {
    uint64_t size = 0;
    if (!own.IsOpen() || !own.Size(&size)) {
        err << "This program cannot read its own file.\n";
        return kExitNoContent;
    }
    FileSource source(own, size);
    const std::optional<uint64_t> image = ImageLength(source);
    if (!image) {
        err << "This program's own file is damaged.\n";
        return kExitNoContent;
    }
    if (*image == size) {
        err << "This program holds no encrypted file.\n";
        return kExitNoContent;
    }
    uint8_t trailerBytes[kShareTrailerLength];
    std::optional<ShareTrailer> trailer;
    if (size - *image > kShareTrailerLength &&
        source.ReadAt(size - kShareTrailerLength, trailerBytes, sizeof trailerBytes))
        trailer = ParseShareTrailer(trailerBytes, sizeof trailerBytes);
    if (!trailer) {
        err << "The encrypted file in this program is damaged.\n";
        return kExitNoContent;
    }

    uint8_t key[16] = {};
    uint8_t check[16] = {};
    ScopedWipe<uint8_t[16]> wipeKey(key);
    ScopedWipe<uint8_t[16]> wipeCheck(check);
    {
        SecureBuffer password;
        size_t length = 0;
        if (!ask(password, length)) return kExitNoContent;
        if (!DeriveShareKey(password.data(), length, trailer->salt, key, check)) {
            err << "The key could not be derived.\n";
            return kExitNoContent;
        }
    }
    if (!SameBytes(check, trailer->check, sizeof check)) {
        err << "The password does not match this file.\n";
        return kExitWrongPassword;
    }

    std::string folder;
    std::string tempPath;
    platform::File output;
    for (const std::string& candidate : folders) {
        folder = candidate;
        output = CreateTemp(folder, tempPath);
        if (output.IsOpen()) break;
    }
    if (!output.IsOpen()) {
        err << "No folder could be written to.\n";
        return kExitNotWritten;
    }

    const uint64_t envelopeLength = size - kShareTrailerLength - *image;
    const Opened opened = OpenEnvelope(own, *image, envelopeLength, key, output);
    const bool flushed = opened.status == kStatusOk && output.Flush();
    output.Close();
    if (opened.status != kStatusOk || !flushed) {
        platform::DeleteFile(tempPath);
        if (opened.status == kStatusOk)
            err << "The decrypted file could not be written.\n";
        else
            err << "The encrypted file in this program is damaged or was tampered with.\n";
        return opened.status == kStatusOk ? kExitNotWritten : kExitNoContent;
    }

    const std::optional<std::string> name =
        SafeStoredName(reinterpret_cast<const uint8_t*>(opened.name.data()), opened.name.size());
    if (!name) {
        platform::DeleteFile(tempPath);
        err << "The file name stored in this program (\""
            << Printable(opened.name.substr(0, opened.name.find('\0')))
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
            err << "\"" << *name << "\" already exists; it was left unchanged.\n";
        else
            err << "\"" << *name << "\" could not be written.\n";
        return kExitNotWritten;
    }
    if (!folder.empty()) platform::FlushFolder(folder);
    out << "Wrote " << *name << ".\n";
    return kExitWritten;
}

}  // namespace qor::stub
