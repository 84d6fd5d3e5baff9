// The disk side of a file stream, moved to a worker thread so that reading, the cipher and
// writing overlap: a reader that fills buffers ahead of the envelope, a writer that drains them
// behind it. The worker calls nothing but the file's own read and write; the envelope, the
// progress hook and every message stay on the caller's thread. The bytes and their order in the
// file are exactly those of one thread reading and writing in turn.
//
// A small file never starts a thread: the first buffer is served (or written) on the caller's
// thread, and only a file larger than that sets the ring of buffers and its worker going.
#pragma once

#include <qor/platform/files.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qor::engine {

// A run of bytes of the file, with what became of reading or writing it.
struct PipeBuffer {
    std::unique_ptr<uint8_t[]> bytes;
    size_t capacity = 0;
    size_t size = 0;
    size_t used = 0;  // high-water mark, wiped before the buffer is freed
};

// Fills buffers from the file's current position, at most `limit` bytes in all. With
// `dropBehind`, the file is read once from its start and not again: what has been read is let
// go from the system's cache as the reading goes on, on the worker, so that deleting the file
// afterwards does not throw all of its cached pages away at once on the caller's thread.
class ReadAhead {
  public:
    ReadAhead(platform::File& file, uint64_t limit, bool dropBehind = false);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next run of bytes: *data and *size (0 at the end). False when the read failed.
    bool Next(const uint8_t** data, size_t* size);

  private:
    enum class State { kFree, kFilled, kEnd, kFailed };
    void Run();
    // Reads into `buffer` on whichever thread calls it.
    State Fill(PipeBuffer& buffer);
    void Start();

    platform::File& file_;
    uint64_t remaining_;
    const bool dropBehind_;
    uint64_t read_ = 0;       // bytes read so far
    uint64_t droppedTo_ = 0;  // the cache has been let go below this offset
    PipeBuffer first_;
    bool firstServed_ = false;
    bool finished_ = false;  // the end or a failure has been handed out
    std::vector<PipeBuffer> ring_;
    std::vector<State> states_;
    size_t consumer_ = 0;  // index of the buffer the caller holds or waits for
    bool holding_ = false;
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread worker_;
};

// Takes the bytes given in order and writes them to the file from its current position.
class WriteBehind {
  public:
    explicit WriteBehind(platform::File& file);
    ~WriteBehind();  // drops what was not flushed
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // False once any write has failed.
    bool Put(const uint8_t* bytes, size_t length);
    // Everything given so far written; false when any write failed.
    bool Flush();

  private:
    enum class State { kFree, kPending };
    // Hands the current buffer over (written at once while no worker runs).
    bool Submit();
    bool WriteOut(PipeBuffer& buffer);
    void Run();

    platform::File& file_;
    PipeBuffer first_;
    PipeBuffer* current_ = &first_;
    std::vector<PipeBuffer> ring_;
    std::vector<State> states_;
    size_t producer_ = 0;  // ring index of the buffer being filled
    size_t pending_ = 0;   // buffers handed over and not yet written
    uint64_t written_ = 0;
    uint64_t writeBackFrom_ = 0;
    bool failed_ = false;
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread worker_;
};

// Tests: the write that would take the total written through streams past `bytes` fails
// (kNoWriteLimit switches the fault off). Lets a test stand in for a full or failing disk.
inline constexpr uint64_t kNoWriteLimit = ~uint64_t{0};
void FailPipelineWritesAfterForTesting(uint64_t bytes);

}  // namespace qor::engine
