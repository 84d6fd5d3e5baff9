#include "file_pipeline.h"

#include <qor/secure_buffer.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <system_error>

namespace qor::engine {

namespace {

// The first buffer serves small files on the caller's thread; a larger file goes through a ring
// of larger buffers. At most 64 KiB + 4 x 512 KiB per stream, whatever the file's size.
constexpr size_t kFirstSize = 64 * 1024;
constexpr size_t kRingSize = 512 * 1024;
constexpr size_t kRingCount = 4;
// Written bytes are sent on to the medium every so often, so that the disk works while the
// cipher does and the flush at the end has little left to wait for.
constexpr uint64_t kWriteBackStep = 8 * 1024 * 1024;
// Read bytes are let go from the cache in steps of this size (only by a reader asked to).
constexpr uint64_t kDropStep = 8 * 1024 * 1024;

std::atomic<uint64_t> gWriteBudget{kNoWriteLimit};

void Allocate(PipeBuffer& buffer, size_t capacity) {
    buffer.bytes.reset(new uint8_t[capacity]);
    buffer.capacity = capacity;
    buffer.size = 0;
    buffer.used = 0;
}

// The buffers held plaintext.
void Wipe(PipeBuffer& buffer) {
    if (buffer.bytes) SecureWipe(buffer.bytes.get(), buffer.used);
    buffer.used = 0;
}

// Starts `body` on a thread of its own; false when the system will not give one.
bool StartThread(std::thread& thread, void (*body)(void*), void* argument) {
    try {
        thread = std::thread(body, argument);
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace

void FailPipelineWritesAfterForTesting(uint64_t bytes) {
    gWriteBudget = bytes;
}

// ---- Reading ahead ----------------------------------------------------------------------------

ReadAhead::ReadAhead(platform::File& file, uint64_t limit, bool dropBehind)
    : file_(file), remaining_(limit), dropBehind_(dropBehind) {
    Allocate(first_, kFirstSize);
}

ReadAhead::~ReadAhead() {
    if (worker_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }
    Wipe(first_);
    for (PipeBuffer& buffer : ring_)
        Wipe(buffer);
}

ReadAhead::State ReadAhead::Fill(PipeBuffer& buffer) {
    buffer.size = 0;
    const uint64_t want = std::min<uint64_t>(buffer.capacity, remaining_);
    uint32_t got = 0;
    if (want != 0 && !file_.Read(buffer.bytes.get(), static_cast<uint32_t>(want), &got)) {
        return State::kFailed;
    }
    if (got == 0) {
        // The last part of a large file; a small one is left alone, as one call would cost
        // more than the few pages it lets go.
        if (dropBehind_ && droppedTo_ != 0 && read_ > droppedTo_) {
            file_.AdviseDone(droppedTo_, read_ - droppedTo_);
            droppedTo_ = read_;
        }
        return State::kEnd;
    }
    buffer.size = got;
    buffer.used = std::max(buffer.used, buffer.size);
    remaining_ -= got;
    read_ += got;
    // Here, on the worker for a large file, rather than all at once when the file is deleted.
    if (dropBehind_ && read_ - droppedTo_ >= kDropStep) {
        file_.AdviseDone(droppedTo_, read_ - droppedTo_);
        droppedTo_ = read_;
    }
    return State::kFilled;
}

void ReadAhead::Start() {
    ring_.resize(kRingCount);
    for (PipeBuffer& buffer : ring_)
        Allocate(buffer, kRingSize);
    states_.assign(kRingCount, State::kFree);
    file_.AdviseSequential();
    if (!StartThread(
            worker_, [](void* self) { static_cast<ReadAhead*>(self)->Run(); }, this)) {
        ring_.clear();  // the first buffer goes on serving, on this thread
    }
}

void ReadAhead::Run() {
    for (size_t at = 0;; at = (at + 1) % kRingCount) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || states_[at] == State::kFree; });
            if (stop_) return;
        }
        const State state = Fill(ring_[at]);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            states_[at] = state;
        }
        changed_.notify_all();
        if (state != State::kFilled) return;
    }
}

bool ReadAhead::Next(const uint8_t** data, size_t* size) {
    *data = nullptr;
    *size = 0;
    if (finished_) return true;
    if (!worker_.joinable()) {
        // Served on this thread: a small file, or a system without a thread to spare.
        const State state = Fill(first_);
        if (state == State::kFailed) {
            finished_ = true;
            return false;
        }
        if (state == State::kEnd) {
            finished_ = true;
            return true;
        }
        *data = first_.bytes.get();
        *size = first_.size;
        // A full first buffer with more to come: the rest is read ahead from now on.
        if (!firstServed_ && first_.size == first_.capacity && remaining_ > 0) Start();
        firstServed_ = true;
        return true;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (holding_) {
        states_[consumer_] = State::kFree;
        consumer_ = (consumer_ + 1) % kRingCount;
        holding_ = false;
        changed_.notify_all();
    }
    changed_.wait(lock, [&] { return states_[consumer_] != State::kFree; });
    switch (states_[consumer_]) {
        case State::kFilled:
            holding_ = true;
            *data = ring_[consumer_].bytes.get();
            *size = ring_[consumer_].size;
            return true;
        case State::kEnd:
            finished_ = true;
            return true;
        default:
            finished_ = true;
            return false;
    }
}

// ---- Writing behind ---------------------------------------------------------------------------

WriteBehind::WriteBehind(platform::File& file) : file_(file) {
    Allocate(first_, kFirstSize);
}

WriteBehind::~WriteBehind() {
    if (worker_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }
    Wipe(first_);
    for (PipeBuffer& buffer : ring_)
        Wipe(buffer);
}

bool WriteBehind::WriteOut(PipeBuffer& buffer) {
    const size_t size = buffer.size;
    buffer.size = 0;
    if (size == 0) return true;
    const uint64_t budget = gWriteBudget.load();
    if (budget != kNoWriteLimit) {
        if (size > budget) {
            gWriteBudget = 0;
            return false;
        }
        gWriteBudget = budget - size;
    }
    if (!file_.Write(buffer.bytes.get(), static_cast<uint32_t>(size))) return false;
    written_ += size;
    if (written_ - writeBackFrom_ >= kWriteBackStep) {
        file_.StartWriteBack(0, 0);
        writeBackFrom_ = written_;
    }
    return true;
}

void WriteBehind::Run() {
    for (size_t at = 0;; at = (at + 1) % kRingCount) {
        bool skip = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stop_ || states_[at] == State::kPending; });
            if (stop_) return;
            skip = failed_;  // after a failure nothing more is written
        }
        const bool ok = skip || WriteOut(ring_[at]);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!ok) failed_ = true;
            ring_[at].size = 0;
            states_[at] = State::kFree;
            --pending_;
        }
        changed_.notify_all();
    }
}

bool WriteBehind::Submit() {
    if (!worker_.joinable()) {
        const bool wasFirst = current_ == &first_ && ring_.empty();
        const bool full = current_->size == current_->capacity;
        if (!WriteOut(*current_)) {
            failed_ = true;
            return false;
        }
        if (!wasFirst || !full) return true;
        // The first buffer was not enough: the rest goes through the ring, written by a worker
        // (or still on this thread, should the system give no thread).
        ring_.resize(kRingCount);
        for (PipeBuffer& buffer : ring_)
            Allocate(buffer, kRingSize);
        states_.assign(kRingCount, State::kFree);
        current_ = &ring_[0];
        producer_ = 0;
        StartThread(
            worker_, [](void* self) { static_cast<WriteBehind*>(self)->Run(); }, this);
        return true;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    states_[producer_] = State::kPending;
    ++pending_;
    changed_.notify_all();
    producer_ = (producer_ + 1) % kRingCount;
    changed_.wait(lock, [&] { return failed_ || states_[producer_] == State::kFree; });
    current_ = &ring_[producer_];
    current_->size = 0;
    return !failed_;
}

bool WriteBehind::Put(const uint8_t* bytes, size_t length) {
    if (worker_.joinable()) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failed_) return false;
    } else if (failed_) {
        return false;
    }
    while (length > 0) {
        const size_t n = std::min(length, current_->capacity - current_->size);
        std::memcpy(current_->bytes.get() + current_->size, bytes, n);
        current_->size += n;
        current_->used = std::max(current_->used, current_->size);
        bytes += n;
        length -= n;
        if (current_->size == current_->capacity && !Submit()) return false;
    }
    return true;
}

bool WriteBehind::Flush() {
    if (!worker_.joinable()) {
        if (failed_) return false;
        if (!WriteOut(*current_)) failed_ = true;
        return !failed_;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (current_->size > 0) {
        states_[producer_] = State::kPending;
        ++pending_;
        changed_.notify_all();
        producer_ = (producer_ + 1) % kRingCount;
    }
    changed_.wait(lock, [&] { return pending_ == 0; });
    current_ = &ring_[producer_];
    current_->size = 0;
    return !failed_;
}

}  // namespace qor::engine
