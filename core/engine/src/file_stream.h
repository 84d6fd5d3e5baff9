// The toolkit's stream records over platform files. The envelope reads and writes in pieces
// of about 8 KiB; a larger buffer underneath keeps the number of system calls small without
// changing a byte of what lands on disk.
#pragma once

#include <qor/platform/files.h>
#include <qor/toolkit.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace qor::engine {

// The status every stream operation answers when it cannot do its work.
inline constexpr int kStreamFailed = 288;

class FileStream {
  public:
    static constexpr size_t kBufferSize = 64 * 1024;
    static constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();

    // `file` may be null or closed: every read and write then fails. A reader stops after
    // `limit` bytes from the file's current position, so an envelope read ends before the
    // trailer that follows it.
    explicit FileStream(platform::File* file, uint64_t limit = kNoLimit);
    ~FileStream();
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    StreamRecord* record() { return &record_; }
    // Writes what the buffer still holds; false when that write failed (or an earlier one).
    bool Flush();

  private:
    static int Read(unsigned char* buffer, unsigned int* count, unsigned int maximum,
                    void* context);
    static int Write(const unsigned char* bytes, unsigned int length, void* context);
    static int NotSupported(void*);

    bool WriteThrough(const uint8_t* bytes, size_t length);

    platform::File* file_;
    uint64_t remaining_;
    std::vector<uint8_t> buffer_;
    size_t start_ = 0;    // reader: first unread byte in the buffer
    size_t end_ = 0;      // reader: bytes held
    size_t pending_ = 0;  // writer: bytes waiting to be written
    bool failed_ = false;
    StreamRecord record_;
};

// Tests: the write that would take the total written through streams past `bytes` fails
// (kNoLimit switches the fault off). Lets a test stand in for a full or failing disk.
void FailStreamWritesAfterForTesting(uint64_t bytes);

}  // namespace qor::engine
