// The toolkit's stream records over platform files. The envelope reads and writes in pieces of
// about 8 KiB; underneath, a reader fills large buffers ahead of it and a writer drains them
// behind it on a worker thread (file_pipeline.h), without changing a byte of what lands on disk.
#pragma once

#include <qor/platform/files.h>
#include <qor/toolkit.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

#include "file_pipeline.h"

namespace qor::engine {

// The status every stream operation answers when it cannot do its work.
inline constexpr int kStreamFailed = 288;

class FileStream {
  public:
    static constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();

    // `file` may be null or closed: every read and write then fails. A reader stops after
    // `limit` bytes from the file's current position, so an envelope read ends before the
    // trailer that follows it. A stream is used for reading or for writing, not both. A reader
    // with `dropBehind` reads the file once from its start (see ReadAhead).
    explicit FileStream(platform::File* file, uint64_t limit = kNoLimit, bool dropBehind = false);
    ~FileStream();
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    StreamRecord* record() { return &record_; }
    // Writes everything given so far; false when that write failed (or an earlier one).
    bool Flush();

  private:
    static int Read(unsigned char* buffer, unsigned int* count, unsigned int maximum,
                    void* context);
    static int Write(const unsigned char* bytes, unsigned int length, void* context);
    static int NotSupported(void*);

    bool Usable() const { return file_ != nullptr && file_->IsOpen(); }

    platform::File* file_;
    uint64_t limit_;
    bool dropBehind_;
    std::unique_ptr<ReadAhead> reader_;
    std::unique_ptr<WriteBehind> writer_;
    const uint8_t* data_ = nullptr;  // reader: the unread rest of the current run
    size_t left_ = 0;
    bool failed_ = false;
    StreamRecord record_;
};

// Tests: the write that would take the total written through streams past `bytes` fails
// (kNoLimit switches the fault off). Lets a test stand in for a full or failing disk.
void FailStreamWritesAfterForTesting(uint64_t bytes);

}  // namespace qor::engine
