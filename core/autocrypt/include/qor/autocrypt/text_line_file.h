// A plain text file read and written a line at a time: the plain form of the AutoCrypt list.
// Lines end in CR LF when written; reading accepts LF, CR LF or nothing at the end of the file.
#pragma once

#include <qor/platform/files.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qor::autocrypt {

enum TextLineStatus : int {
    kTextLineOk = 0,
    kTextLineEnd = 280,     // nothing more to read
    kTextLineFailed = 288,  // any other failure, "not open" included
};

class TextLineFile {
  public:
    enum class Access { kRead, kWrite };

    // kRead opens an existing file; kWrite creates it or truncates it (new files are readable by
    // their owner only).
    TextLineFile(const std::string& path, Access access);
    // Closes the file; what was read stays in the caller's strings, the read buffer is wiped.
    ~TextLineFile();
    TextLineFile(const TextLineFile&) = delete;
    TextLineFile& operator=(const TextLineFile&) = delete;

    // Reads up to `limit` - 1 characters, or to the end of the line (its LF included) if that
    // comes first, then strips trailing LF and CR characters. A longer line is continued by
    // the next call.
    int ReadLine(std::string* line, size_t limit);
    // Writes the text and then CR LF, in one write.
    int WriteLine(const std::string& text);
    // Up to `limit` bytes as they are; *count receives how many.
    int ReadBlock(void* buffer, size_t* count, size_t limit);
    int WriteBlock(const void* buffer, size_t count);
    int Rewind();
    bool IsOpen() const { return file_.IsOpen(); }

  private:
    // One byte from the buffer, refilled as needed: false at the end of the file or on failure.
    bool NextByte(uint8_t* byte);

    platform::File file_;
    uint8_t buffer_[4096];
    uint32_t filled_ = 0;
    uint32_t at_ = 0;
    bool failed_ = false;
};

}  // namespace qor::autocrypt
