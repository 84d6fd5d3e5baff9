#include "durable_batch.h"

#include <qor/platform/files.h>

#include <set>

#include "crypt_context.h"
#include "engine_internal.h"
#include "file_stream.h"

namespace qor::engine {

namespace {

using platform::File;

// Past these, the waits saved no longer matter beside the bytes themselves.
constexpr size_t kMaxFiles = 256;
constexpr uint64_t kMaxBytes = 32 * 1024 * 1024;

uint64_t SizeOf(const std::string& path) {
    File file =
        File::Open(path, platform::kAccessRead, platform::kShareRead, platform::kOpenExisting);
    uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(&size)) return 0;
    return size;
}

// Opens each file for flushing; flushes them together, and one by one only when that fails, to
// learn which. Returns, per file, whether it is on the medium.
std::vector<bool> FlushAll(const std::vector<std::string>& paths) {
    std::vector<File> files;
    files.reserve(paths.size());
    std::vector<File*> open;
    for (const std::string& path : paths) {
        files.push_back(File::Open(path, platform::kAccessWrite, platform::kShareNone,
                                   platform::kOpenExisting));
        if (files.back().IsOpen()) open.push_back(&files.back());
    }
    std::vector<bool> flushed(paths.size(), false);
    const bool together = platform::FlushFiles(open);
    for (size_t k = 0; k < files.size(); ++k) {
        if (files[k].IsOpen()) flushed[k] = together || files[k].Flush();
    }
    return flushed;
}

// Each distinct folder once; false for the entries whose folder could not be flushed.
std::vector<bool> FlushFolders(const std::vector<std::string>& paths) {
    std::set<std::string> done, failed;
    std::vector<bool> result;
    for (const std::string& path : paths) {
        const std::string folder = FolderToFlush(path);
        if (done.insert(folder).second && !platform::FlushFolder(folder)) failed.insert(folder);
        result.push_back(failed.count(folder) == 0);
    }
    return result;
}

}  // namespace

void DurableBatch::AddEncrypted(const FileJob& job, const std::string& source,
                                const std::string& output, const FileState& state) {
    encrypted_.push_back({job, source, output, state});
    bytes_ += SizeOf(output);
}

void DurableBatch::AddDecrypted(const FileJob& job, const std::string& encrypted,
                                const std::string& decrypted, const FileState& state) {
    decrypted_.push_back({job, encrypted, decrypted, state});
    bytes_ += SizeOf(decrypted);
}

bool DurableBatch::Full() const {
    return encrypted_.size() + decrypted_.size() >= kMaxFiles || bytes_ >= kMaxBytes;
}

void DurableBatch::Settle() {
    SettleEncrypted();
    SettleDecrypted();
    bytes_ = 0;
}

void DurableBatch::SettleEncrypted() {
    if (encrypted_.empty()) return;
    std::vector<Entry> entries;
    entries.swap(encrypted_);

    // The encrypted files first: a file that is not on the medium keeps its plaintext.
    std::vector<std::string> outputs;
    for (const Entry& e : entries)
        outputs.push_back(e.result);
    const std::vector<bool> flushed = FlushAll(outputs);
    std::vector<Entry> kept;
    std::vector<std::string> keptOutputs;
    for (size_t k = 0; k < entries.size(); ++k) {
        if (!flushed[k]) {
            ReportEncryptFailure(entries[k].job, kStreamFailed, entries[k].source);
            platform::DeleteFile(entries[k].result);
            continue;
        }
        kept.push_back(entries[k]);
        keptOutputs.push_back(entries[k].result);
    }
    // Their names too; where that cannot be made sure, the plaintext stays.
    const std::vector<bool> named = FlushFolders(keptOutputs);

    // Then the plaintexts: overwritten, flushed together, deleted.
    std::vector<File> overwritten(kept.size());
    std::vector<bool> zeroized(kept.size(), false);
    std::vector<File*> open;
    for (size_t k = 0; k < kept.size(); ++k) {
        if (!named[k]) continue;
        zeroized[k] = OverwriteContents(kept[k].source, kept[k].job.progress, &overwritten[k]) == 0;
        if (zeroized[k]) open.push_back(&overwritten[k]);
    }
    const bool together = platform::FlushFiles(open);
    std::vector<std::string> deleted;
    for (size_t k = 0; k < kept.size(); ++k) {
        if (zeroized[k] && !together) zeroized[k] = overwritten[k].Flush();
        overwritten[k].Close();
        if (!named[k] || !zeroized[k]) ReportZeroizeFailure(kept[k].job, kept[k].source);
        if (named[k] && platform::DeleteFile(kept[k].source)) deleted.push_back(kept[k].source);
        CarryFileState(kept[k].state, kept[k].result, true);
    }
    // The deletions on the medium as well: after a power cut the overwritten remains must not
    // come back under the plaintexts' names.
    FlushFolders(deleted);
}

void DurableBatch::SettleDecrypted() {
    if (decrypted_.empty()) return;
    std::vector<Entry> entries;
    entries.swap(decrypted_);

    std::vector<std::string> results;
    for (const Entry& e : entries)
        results.push_back(e.result);
    const std::vector<bool> flushed = FlushAll(results);
    std::vector<std::string> keptResults;
    for (size_t k = 0; k < entries.size(); ++k) {
        if (flushed[k]) keptResults.push_back(entries[k].result);
    }
    const std::vector<bool> named = FlushFolders(keptResults);
    size_t next = 0;
    std::vector<std::string> deleted;
    for (size_t k = 0; k < entries.size(); ++k) {
        Entry& e = entries[k];
        if (!flushed[k]) {
            // Not on the medium: the plaintext may be incomplete there, so it goes, and the
            // encrypted file stays.
            ReportDecryptFailure(e.job, kStreamFailed, e.source);
            platform::DeleteFile(e.result);
            continue;
        }
        if (FinishDecryption(e.job, e.state, e.source, e.result, named[next++]))
            deleted.push_back(e.source);
    }
    // A power cut after the run finds the plaintexts alone, not their encrypted files beside.
    FlushFolders(deleted);
}

}  // namespace qor::engine
