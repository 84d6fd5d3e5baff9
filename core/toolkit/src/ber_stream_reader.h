// Reads BER from a caller's stream through a fixed buffer that is refilled as it goes, so an
// element of any length passes without being held whole.
//
// Tags of one or several bytes; lengths in the short form, 81 nn, 82 nn nn, or indefinite (80,
// constructed elements only, closed by 00 00). Longer length forms are refused. The reader
// keeps a stack of the constructed elements it is inside, and never lets an element run past
// the end of its enclosing definite element.
#pragma once

#include <qor/toolkit.h>

#include <cstddef>
#include <cstdint>

namespace qor::toolkit {

struct BerHeader {
    uint32_t tag;  // the first tag byte, with class and constructed bits; 0xffffffff for
                   // a multi-byte tag (never one the toolkit expects)
    bool constructed;
    bool indefinite;
    uint32_t length;  // content length when definite
};

inline constexpr uint32_t kBerMultiByteTag = 0xffffffffu;
inline constexpr size_t kBerMaxDepth = 12;

class BerStreamReader {
  public:
    // `buffer` of `capacity` bytes belongs to the caller and lives as long as the reader.
    BerStreamReader(const StreamRecord& input, uint8_t* buffer, size_t capacity);

    // Reads the next header. For a constructed element, the reader enters it (see Leave).
    // Returns 0, kStatusEnvelopeMalformed for bad encodings or a premature end, or the
    // stream-failure status.
    int ReadHeader(BerHeader& header);
    // Reads a header that must carry `tag`; anything else is malformed.
    int Expect(uint32_t tag, BerHeader& header);
    // True (and the closing bytes consumed) when the innermost entered element ends here:
    // 00 00 for an indefinite element, its length used up for a definite one.
    int AtEnd(bool& ended);
    // Leaves the innermost element, which must have ended (AtEnd).
    void Leave();
    // Content bytes of the current primitive element, read in order.
    int Read(uint8_t* out, size_t length);
    int Skip(uint64_t length);
    // Hands out between 1 and `maximum` of the next `remaining` content bytes straight from the
    // buffer (valid until the next call), so long elements pass in pieces without a copy.
    int View(const uint8_t** data, size_t maximum, size_t* got);
    // Reads a whole primitive element's content of at most `capacity` bytes.
    int ReadPrimitive(const BerHeader& header, uint8_t* out, size_t capacity);
    // Skips the element whose header was just read, with everything inside it.
    int SkipElement(const BerHeader& header);
    size_t depth() const { return depth_; }

  private:
    int Fill(size_t needed);
    int Take(uint8_t& byte);
    // Bytes still allowed by the innermost definite element, or UINT64_MAX.
    uint64_t Room() const;

    struct Frame {
        bool indefinite;
        uint64_t end;  // absolute offset where a definite element ends
    };

    StreamRecord input_;
    uint8_t* buffer_;
    size_t capacity_;
    size_t start_ = 0;  // first unread byte in buffer_
    size_t end_ = 0;    // one past the last buffered byte
    bool eof_ = false;
    uint64_t offset_ = 0;  // absolute offset of buffer_[start_]
    Frame frames_[kBerMaxDepth];
    size_t depth_ = 0;
};

}  // namespace qor::toolkit
