// Where the parts of an encrypted file lie: the decryptor program of a self-extracting one,
// the envelope, and the trailer with its items.
#include <cstring>

#include "qor/inspect/describe_file.h"

namespace qor::inspect {

namespace {

// 30 80 06 09 <1.2.840.113549.1.7.3>: how every envelope begins.
constexpr uint8_t kEnvelopeStart[] = {0x30, 0x80, 0x06, 0x09, 0x2a, 0x86, 0x48,
                                      0x86, 0xf7, 0x0d, 0x01, 0x07, 0x03};
constexpr uint8_t kItemName = 1, kItemSize = 2, kItemMode = 3;
constexpr size_t kNameSize = 13;
// The older trailer kept only the size, at this offset.
constexpr size_t kVersion1SizeAt = 24;
// Trailers of the product are 35 or 75 bytes; others of a known form stay far below this.
constexpr uint32_t kMaxTrailer = 1024;

uint32_t Le16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}
int32_t Le32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 |
                                static_cast<uint32_t>(p[3]) << 24);
}

bool EnvelopeAt(ByteSource& file, uint64_t offset) {
    uint8_t head[sizeof kEnvelopeStart];
    return file.Size() - offset >= sizeof head && file.ReadAt(offset, head, sizeof head) &&
           std::memcmp(head, kEnvelopeStart, sizeof head) == 0;
}

// The items of a version-2 trailer, which must end exactly before its length field.
bool ReadItems(const uint8_t* t, uint32_t length, uint64_t base, FileLayout& layout) {
    uint32_t at = 2;
    while (at < length - 2) {
        if (length - 2 - at < 4) return false;
        TrailerItem item;
        item.flag = t[at];
        item.type = t[at + 1];
        item.length = static_cast<uint16_t>(Le16(t + at + 2));
        item.at = base + at + 4;
        if (item.length > length - 2 - at - 4) return false;
        const uint8_t* value = t + at + 4;
        if (item.type == kItemName && item.length == kNameSize) {
            const void* end = std::memchr(value, 0, kNameSize);
            layout.storedNameCut = end == nullptr;
            layout.storedName.assign(
                reinterpret_cast<const char*>(value),
                end == nullptr ? kNameSize
                               : static_cast<size_t>(static_cast<const uint8_t*>(end) - value));
        } else if (item.type == kItemSize && item.length == 4) {
            layout.haveSize = true;
            layout.plaintextSize = Le32(value);
        } else if (item.type == kItemMode && item.length == 2) {
            layout.mode = static_cast<uint16_t>(Le16(value));
        }
        layout.items.push_back(item);
        at += 4 + item.length;
    }
    return true;
}

void ReadTrailer(ByteSource& file, FileLayout& layout) {
    const uint64_t size = layout.size;
    uint8_t field[2];
    if (size < 4 || !file.ReadAt(size - 2, field, 2)) return;
    const uint32_t length = Le16(field);
    if (length < 4 || length > size || length > kMaxTrailer) return;
    uint8_t t[kMaxTrailer];
    const uint64_t base = size - length;
    if (!file.ReadAt(base, t, length) || t[0] != 1) return;
    FileLayout read = layout;
    if (t[1] == 2 && ReadItems(t, length, base, read)) {
        read.trailerVersion = 2;
    } else if (t[1] == 1 && length >= kVersion1SizeAt + 4 + 2) {
        read.trailerVersion = 1;
        read.mode = 2;  // every file of the older format is local
        read.haveSize = true;
        read.plaintextSize = Le32(t + kVersion1SizeAt);
    } else {
        return;
    }
    read.trailerLength = length;
    layout = std::move(read);
}

bool SameNameIgnoringCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}

}  // namespace

FileLayout LocateParts(ByteSource& file) {
    FileLayout layout;
    layout.size = file.Size();
    ReadTrailer(file, layout);
    if (EnvelopeAt(file, 0)) {
        layout.envelopeFound = true;
    } else if (const auto image = stub::ImageLength(file);
               image && *image < layout.size && EnvelopeAt(file, *image)) {
        layout.envelopeFound = true;
        layout.programLength = *image;
        layout.envelopeOffset = *image;
    }
    if (!layout.envelopeFound) return layout;
    const uint64_t end = layout.size - layout.trailerLength;
    layout.envelopeLength = end > layout.envelopeOffset ? end - layout.envelopeOffset : 0;
    if (layout.programLength != 0) {
        layout.kind = FileKind::kSelfExtracting;
    } else if (layout.mode == 1) {
        layout.kind = FileKind::kFileShare;
    } else if (layout.mode == 2) {
        // The list travels as a local file of its own plain name.
        layout.kind = SameNameIgnoringCase(layout.storedName, "autocryp.lst")
                          ? FileKind::kAutoCryptList
                          : FileKind::kLocal;
    }
    return layout;
}

EnvelopeStream::EnvelopeStream(ByteSource& file, uint64_t offset, uint64_t length)
    : file_(file), at_(offset), left_(length), record_{NotUsed, NotUsed, Read,
                                                       NotUsed, nullptr, this} {}

int EnvelopeStream::Read(unsigned char* buffer, unsigned int* count, unsigned int maximum,
                         void* context) {
    auto* self = static_cast<EnvelopeStream*>(context);
    *count = 0;
    if (self->left_ == 0) return kStreamEnd;
    const auto n = static_cast<unsigned int>(self->left_ < maximum ? self->left_ : maximum);
    if (!self->file_.ReadAt(self->at_, buffer, n)) return 288;
    self->at_ += n;
    self->left_ -= n;
    *count = n;
    return 0;
}

}  // namespace qor::inspect
