#include "ber_stream_reader.h"

#include <cstring>
#include <limits>

namespace qor::toolkit {

namespace {
constexpr int kMalformed = kStatusEnvelopeMalformed;
constexpr uint64_t kUnbounded = std::numeric_limits<uint64_t>::max();
}  // namespace

BerStreamReader::BerStreamReader(const StreamRecord& input, uint8_t* buffer, size_t capacity)
    : input_(input), buffer_(buffer), capacity_(capacity) {}

// Makes at least `needed` bytes (<= capacity) available, or reports the end of the stream.
int BerStreamReader::Fill(size_t needed) {
    if (end_ - start_ >= needed) return kStatusOk;
    if (start_ != 0) {
        std::memmove(buffer_, buffer_ + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    while (end_ < needed) {
        if (eof_) return kMalformed;
        unsigned int count = 0;
        const auto room = static_cast<unsigned int>(capacity_ - end_);
        int status = input_.read(buffer_ + end_, &count, room, input_.context);
        if (status == kStreamEnd) {
            if (count <= room) end_ += count;
            eof_ = true;
            continue;
        }
        if (status != 0 || count > room) return kStatusEncodedStreamFailed;
        // A reader that returns nothing without saying the data ended would stall us forever.
        if (count == 0) {
            eof_ = true;
            continue;
        }
        end_ += count;
    }
    return kStatusOk;
}

int BerStreamReader::Take(uint8_t& byte) {
    int status = Fill(1);
    if (status != kStatusOk) return status;
    if (Room() < 1) return kMalformed;
    byte = buffer_[start_++];
    ++offset_;
    return kStatusOk;
}

uint64_t BerStreamReader::Room() const {
    for (size_t k = depth_; k > 0; --k) {
        if (!frames_[k - 1].indefinite) return frames_[k - 1].end - offset_;
    }
    return kUnbounded;
}

int BerStreamReader::ReadHeader(BerHeader& header) {
    uint8_t first = 0;
    int status = Take(first);
    if (status != kStatusOk) return status;
    header.tag = first;
    header.constructed = (first & 0x20) != 0;
    if ((first & 0x1f) == 0x1f) {
        // High tag number: continuation bytes while the top bit is set; four are plenty.
        uint8_t next = 0x80;
        int count = 0;
        while ((next & 0x80) != 0) {
            if (++count > 4) return kMalformed;
            if ((status = Take(next)) != kStatusOk) return status;
        }
        header.tag = kBerMultiByteTag;
    }
    uint8_t len = 0;
    if ((status = Take(len)) != kStatusOk) return status;
    header.indefinite = false;
    if (len < 0x80) {
        header.length = len;
    } else if (len == 0x80) {
        if (!header.constructed) return kMalformed;
        header.indefinite = true;
        header.length = 0;
    } else if (len == 0x81 || len == 0x82) {
        uint32_t value = 0;
        for (int k = 0x80; k < len; ++k) {
            uint8_t b = 0;
            if ((status = Take(b)) != kStatusOk) return status;
            value = value << 8 | b;
        }
        header.length = value;
    } else {
        return kMalformed;
    }
    if (!header.indefinite && header.length > Room()) return kMalformed;
    if (header.constructed) {
        if (depth_ == kBerMaxDepth) return kMalformed;
        frames_[depth_++] = {header.indefinite, header.indefinite ? 0 : offset_ + header.length};
    }
    return kStatusOk;
}

int BerStreamReader::Expect(uint32_t tag, BerHeader& header) {
    int status = ReadHeader(header);
    if (status != kStatusOk) return status;
    return header.tag == tag ? kStatusOk : kMalformed;
}

int BerStreamReader::AtEnd(bool& ended) {
    ended = false;
    if (depth_ == 0) return kMalformed;
    const Frame& f = frames_[depth_ - 1];
    if (!f.indefinite) {
        ended = offset_ == f.end;
        return kStatusOk;
    }
    int status = Fill(2);
    if (status != kStatusOk) return status;
    if (buffer_[start_] == 0 && buffer_[start_ + 1] == 0) {
        if (Room() < 2) return kMalformed;
        start_ += 2;
        offset_ += 2;
        ended = true;
    }
    return kStatusOk;
}

void BerStreamReader::Leave() {
    if (depth_ > 0) --depth_;
}

int BerStreamReader::Read(uint8_t* out, size_t length) {
    if (length > Room()) return kMalformed;
    while (length > 0) {
        int status = Fill(1);
        if (status != kStatusOk) return status;
        size_t n = end_ - start_ < length ? end_ - start_ : length;
        std::memcpy(out, buffer_ + start_, n);
        start_ += n;
        offset_ += n;
        out += n;
        length -= n;
    }
    return kStatusOk;
}

int BerStreamReader::Skip(uint64_t length) {
    if (length > Room()) return kMalformed;
    while (length > 0) {
        int status = Fill(1);
        if (status != kStatusOk) return status;
        size_t available = end_ - start_;
        size_t n = length < available ? static_cast<size_t>(length) : available;
        start_ += n;
        offset_ += n;
        length -= n;
    }
    return kStatusOk;
}

int BerStreamReader::View(const uint8_t** data, size_t maximum, size_t* got) {
    *got = 0;
    const uint64_t room = Room();
    if (room == 0 || maximum == 0) return kMalformed;
    int status = Fill(1);
    if (status != kStatusOk) return status;
    size_t n = end_ - start_;
    if (n > maximum) n = maximum;
    if (n > room) n = static_cast<size_t>(room);
    *data = buffer_ + start_;
    start_ += n;
    offset_ += n;
    *got = n;
    return kStatusOk;
}

int BerStreamReader::ReadPrimitive(const BerHeader& header, uint8_t* out, size_t capacity) {
    if (header.constructed || header.length > capacity) return kMalformed;
    return Read(out, header.length);
}

int BerStreamReader::SkipElement(const BerHeader& header) {
    if (!header.constructed) return Skip(header.length);
    // Walk the inside element by element; the depth limit bounds the nesting.
    const size_t target = depth_ - 1;
    while (depth_ > target) {
        bool ended = false;
        int status = AtEnd(ended);
        if (status != kStatusOk) return status;
        if (ended) {
            Leave();
            continue;
        }
        BerHeader inner;
        if ((status = ReadHeader(inner)) != kStatusOk) return status;
        if (!inner.constructed && (status = Skip(inner.length)) != kStatusOk) return status;
    }
    return kStatusOk;
}

}  // namespace qor::toolkit
