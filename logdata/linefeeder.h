#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Feeding a log's lines to the load: opening and scanning the file, then
// reading and decoding it on a thread of its own.
namespace brevadin {

// Owns an open file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens a file for reading; -1 when it cannot be opened or is not a regular
// file.
int openForReading(const std::string& path);

struct FileScan {
    bool utf8 = true;       // no malformed UTF-8 sequence
    bool cutAtEnd = false;  // ...but the last one is cut off by the end of the file
    bool bom = false;
    char lineEnd = '\n';  // '\r' for a file whose lines end in CR alone
    int64_t size = 0;     // bytes counted: the part of the file this load reads
};

// The line count of fncGetLineCount, from the current position of fd to its
// end (-2 when reading fails); with `scan`, the same pass also checks the
// encoding, so the file is read only once before loading.
int64_t scanOpenFile(int fd, FileScan* scan);

enum class Decode { Utf8, Sanitize, Cp932 };

// How a file of this scan is decoded.
Decode decodeFor(const FileScan& scan);

constexpr size_t kUnsplit = std::numeric_limits<size_t>::max();
// A line holding a NUL byte: no log writes one, so it is binary data or the
// zero-filled tail a crash leaves; it is an error line, never a row.
constexpr size_t kNotText = kUnsplit - 1;
// An empty or whitespace-only line: a stray line end (an editor, a copy, a
// server that writes one after its directives) that carries no record.
constexpr size_t kBlankLine = kUnsplit - 2;

// Whole lines of the file, decoded to UTF-8 by the reading thread.
struct LineBlock {
    struct Line {
        size_t begin;
        size_t length;      // without the line end
        size_t firstValue;  // into values
        // kUnsplit: the reader cuts the line itself; kNotText: an error line;
        // kBlankLine: skipped.
        size_t valueCount;
    };
    std::string text;
    std::vector<Line> lines;
    std::vector<std::string_view> values;  // into text
    bool last = false;                     // the end of the file follows these lines
    int readError = 0;                     // errno of a read that failed after these lines
    bool shortened = false;                // the file lost counted bytes while it was read
};

// Reads, decodes and (for W3C lines) cuts the file on a thread of its own,
// a few blocks ahead of the loading thread, which then only stores values.
// Every call back to the caller (progress, messages, host names) stays on the
// loading thread. Memory stays bounded: blocks circulate between the two
// threads and are reused.
//
// Only the `limit` bytes the count saw are read, so a log that its server
// keeps writing loads the lines that were counted, not a moving target; a
// counted last line still being written is read on to its line end.
class LineFeeder {
public:
    LineFeeder(int fd, int64_t limit, char lineEnd, Decode decode, bool splitW3c);
    ~LineFeeder();
    LineFeeder(const LineFeeder&) = delete;
    LineFeeder& operator=(const LineFeeder&) = delete;

    // The next block in file order. Throws what made the reading thread stop.
    LineBlock* next();
    // Hands a block back once its lines are stored.
    void recycle(LineBlock* block);

private:
    class Thread;
    std::unique_ptr<Thread> thread_;
};

}  // namespace brevadin
