// The file streams under the envelope: read ahead and written behind on a worker thread once a
// file outgrows the first buffer. Every byte once and in order, up to the reader's limit; a
// failed write ends the stream with what came before it on disk; and the files of a batch keep
// their sources until the batch is settled.
#include <qor/engine/file_engine.h>
#include <qor/engine/selection_walk.h>
#include <qor/platform/files.h>

#include <random>

#include "durable_batch.h"
#include "engine_internal.h"
#include "engine_test_support.h"
#include "file_stream.h"

namespace qor::engine::test {

using platform::File;

namespace {

// Sizes around the first buffer (64 KiB) and across several ring buffers (512 KiB).
const size_t kSizes[] = {0, 1, 8144, 65535, 65536, 65537, 3 * 1024 * 1024 + 5};

}  // namespace

class FilePipeline : public EngineTest {
  protected:
    void TearDown() override {
        FailStreamWritesAfterForTesting(FileStream::kNoLimit);
        EngineTest::TearDown();
    }

    // Everything the stream gives, in the envelope's pieces; the last status in *end.
    static Bytes ReadThrough(FileStream& stream, int* end) {
        StreamRecord* r = stream.record();
        Bytes got;
        unsigned char piece[8144];
        unsigned int count = 0;
        while ((*end = r->read(piece, &count, sizeof piece, r->context)) == 0)
            got.insert(got.end(), piece, piece + count);
        return got;
    }
};

// A reader that lets its bytes go from the cache as it goes (decryption's, over a file that is
// about to be deleted) reads the same bytes, past several of its steps and with a limit that
// ends between them, and leaves the file as it was.
TEST_F(FilePipeline, ReaderThatDropsBehindReadsTheSameBytesAndLeavesTheFile) {
    const size_t size = 17 * 1024 * 1024 + 5;
    const std::string path = Path("r", "data");
    const Bytes data = Pattern(size, 5);
    WriteAll(path, data);
    for (const uint64_t limit :
         {FileStream::kNoLimit, uint64_t{size - 3}, uint64_t{100}, uint64_t{9 * 1024 * 1024}}) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        File file =
            File::Open(path, platform::kAccessRead, platform::kShareNone, platform::kOpenExisting);
        FileStream stream(&file, limit, true);
        int end = 0;
        const Bytes got = ReadThrough(stream, &end);
        EXPECT_EQ(end, kStreamEnd);
        const size_t expected = static_cast<size_t>(std::min<uint64_t>(size, limit));
        EXPECT_EQ(got, Bytes(data.begin(), data.begin() + static_cast<long>(expected)));
    }
    EXPECT_EQ(ReadAll(path), data);
}

TEST_F(FilePipeline, ReadsEveryByteOnceInOrderUpToTheLimit) {
    for (const size_t size : kSizes) {
        const std::string path = Path("r", "data");
        const Bytes data = Pattern(size, 3);
        WriteAll(path, data);
        for (const uint64_t limit : {FileStream::kNoLimit, uint64_t{size / 2}, uint64_t{65536}}) {
            SCOPED_TRACE(std::to_string(size) + " bytes, limit " + std::to_string(limit));
            File file = File::Open(path, platform::kAccessRead, platform::kShareNone,
                                   platform::kOpenExisting);
            FileStream stream(&file, limit);
            int end = 0;
            const Bytes got = ReadThrough(stream, &end);
            EXPECT_EQ(end, kStreamEnd);
            const size_t expected = static_cast<size_t>(std::min<uint64_t>(size, limit));
            EXPECT_EQ(got, Bytes(data.begin(), data.begin() + static_cast<long>(expected)));
            // The end stays the end.
            StreamRecord* r = stream.record();
            unsigned char byte;
            unsigned int count = 1;
            EXPECT_EQ(r->read(&byte, &count, 1, r->context), kStreamEnd);
            EXPECT_EQ(count, 0u);
        }
    }
}

TEST_F(FilePipeline, WritesEveryByteOnceInOrderWhateverThePieces) {
    std::mt19937 random(5);
    for (const size_t size : kSizes) {
        SCOPED_TRACE(size);
        const std::string path = Path("w", "data");
        const Bytes data = Pattern(size, 4);
        {
            File file = File::Open(path, platform::kAccessWrite, platform::kShareNone,
                                   platform::kCreateAlways);
            FileStream stream(&file);
            StreamRecord* r = stream.record();
            for (size_t at = 0; at < size;) {
                const size_t n = std::min<size_t>(size - at, 1 + random() % 20000);
                ASSERT_EQ(r->write(data.data() + at, static_cast<unsigned int>(n), r->context), 0);
                at += n;
            }
            ASSERT_TRUE(stream.Flush());
            // What follows a flush is written after it, as the trailer follows the envelope.
            ASSERT_EQ(r->write(data.data(), static_cast<unsigned int>(std::min<size_t>(size, 9)),
                               r->context),
                      0);
            ASSERT_TRUE(stream.Flush());
        }
        Bytes expected = data;
        expected.insert(expected.end(), data.begin(),
                        data.begin() + static_cast<long>(std::min<size_t>(size, 9)));
        EXPECT_EQ(ReadAll(path), expected);
    }
}

TEST_F(FilePipeline, FailedWriteEndsTheStreamWithAPrefixOnDisk) {
    const Bytes data = Pattern(3 * 1024 * 1024 + 5, 6);
    for (const uint64_t budget : {uint64_t{0}, uint64_t{1000}, uint64_t{65536}, uint64_t{65537},
                                  uint64_t{2 * 1024 * 1024}}) {
        SCOPED_TRACE(budget);
        const std::string path = Path("f", "data");
        bool failed = false;
        {
            File file = File::Open(path, platform::kAccessWrite, platform::kShareNone,
                                   platform::kCreateAlways);
            FileStream stream(&file);
            StreamRecord* r = stream.record();
            FailStreamWritesAfterForTesting(budget);
            for (size_t at = 0; at < data.size() && !failed; at += 8144) {
                const auto n = static_cast<unsigned int>(std::min<size_t>(8144, data.size() - at));
                failed = r->write(data.data() + at, n, r->context) != 0;
            }
            failed = !stream.Flush() || failed;
            // Once failed, always failed.
            EXPECT_EQ(r->write(data.data(), 1, r->context), kStreamFailed);
            EXPECT_FALSE(stream.Flush());
            FailStreamWritesAfterForTesting(FileStream::kNoLimit);
        }
        EXPECT_TRUE(failed);
        const Bytes written = ReadAll(path);
        EXPECT_LE(written.size(), budget);
        EXPECT_EQ(written, Bytes(data.begin(), data.begin() + static_cast<long>(written.size())));
    }
}

TEST_F(FilePipeline, StreamDroppedBeforeItsFlushEndsCleanly) {
    const std::string path = Path("d", "data");
    const Bytes data = Pattern(2 * 1024 * 1024, 7);
    {
        File file =
            File::Open(path, platform::kAccessWrite, platform::kShareNone, platform::kCreateAlways);
        FileStream stream(&file);
        StreamRecord* r = stream.record();
        ASSERT_EQ(r->write(data.data(), static_cast<unsigned int>(data.size()), r->context), 0);
    }
    const Bytes written = ReadAll(path);
    EXPECT_EQ(written, Bytes(data.begin(), data.begin() + static_cast<long>(written.size())));
}

TEST_F(FilePipeline, BatchedFilesKeepTheirSourcesUntilSettled) {
    options_.removeSource = 1;
    FileWorker& worker = EngineWorker();
    std::vector<std::string> sources, outputs;
    for (int k = 0; k < 5; ++k) {
        sources.push_back(Path("batch", "file" + std::to_string(k)));
        outputs.push_back(sources.back() + ".!!!");
        WriteAll(sources.back(), Pattern(1000 * k, static_cast<uint8_t>(k)));
        ASSERT_EQ(worker.Encrypt(job_, sources.back(), outputs.back()), kEngineOk);
    }
    for (const std::string& source : sources)
        EXPECT_TRUE(platform::Exists(source)) << "kept until the batch is on the medium";
    worker.Settle();
    EXPECT_TRUE(host_.messages.empty());
    for (int k = 0; k < 5; ++k) {
        EXPECT_FALSE(platform::Exists(sources[k]));
        std::string decrypted;
        ASSERT_EQ(worker.Decrypt(job_, outputs[k], &decrypted), kEngineOk);
        EXPECT_EQ(decrypted, sources[k]);
        EXPECT_EQ(ReadAll(decrypted), Pattern(1000 * k, static_cast<uint8_t>(k)));
        EXPECT_TRUE(platform::Exists(outputs[k])) << "kept until the batch is on the medium";
    }
    worker.Settle();
    for (const std::string& output : outputs)
        EXPECT_FALSE(platform::Exists(output));
    EXPECT_EQ(Names(Folder("batch")).size(), 5u);
    EXPECT_TRUE(host_.messages.empty());
}

}  // namespace qor::engine::test
