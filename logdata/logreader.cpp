#include "logdata/logreader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "common/appinfo.h"
#include "logdata/contentfilter.h"
#include "logdata/logformat.h"
#include "logdata/textdecode.h"
#include "logdata/timeshift.h"

namespace brevadin {
namespace {

constexpr size_t kReadBlock = size_t{1} << 20;
constexpr uint32_t kNoId = std::numeric_limits<uint32_t>::max();
constexpr size_t kNoRow = std::numeric_limits<size_t>::max();
constexpr char kProcedure[] = "fncGetRecordsetFromLog";

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens a file for reading; -1 when it cannot be opened or is not a regular
// file. A named pipe or a device named like a log would otherwise block the
// open or never reach an end, so the open itself must not wait for a writer.
int openForReading(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

// read() that retries on interruption; -1 on failure.
ssize_t readSome(int fd, char* buffer, size_t size) {
    for (;;) {
        ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool startsWithBom(const char* data, size_t size) {
    return size >= 3 && std::memcmp(data, "\xef\xbb\xbf", 3) == 0;
}

// A growable byte buffer whose new bytes are left uninitialised.
class ReadBuffer {
public:
    explicit ReadBuffer(size_t size) : data_(new char[size]), size_(size) {}
    char* data() { return data_.get(); }
    size_t size() const { return size_; }
    // Doubles the size, keeping the first `keep` bytes.
    void grow(size_t keep) {
        std::unique_ptr<char[]> bigger(new char[size_ * 2]);
        std::memcpy(bigger.get(), data_.get(), keep);
        data_ = std::move(bigger);
        size_ *= 2;
    }

private:
    std::unique_ptr<char[]> data_;
    size_t size_;
};

struct FileScan {
    bool utf8 = true;       // no malformed UTF-8 sequence
    bool cutAtEnd = false;  // ...but the last one is cut off by the end of the file
    bool bom = false;
    char lineEnd = '\n';  // '\r' for a file whose lines end in CR alone
    int64_t size = 0;     // bytes counted: the part of the file this load reads
};

// The line count of fncGetLineCount, from the current position of fd to its
// end; with `scan`, the same pass also checks the encoding, so the file is
// read only once before loading.
//
// A file without a single LF but with CRs was written with classic Mac OS
// line ends: its CRs are its line ends. Any other file ends lines in LF (an
// LF after a CR included), and a CR elsewhere is part of the text.
int64_t scanOpenFile(int fd, FileScan* scan) {
    std::unique_ptr<char[]> buffer(new char[kReadBlock]);
    Utf8Checker checker;
    int64_t lines = 0;
    int64_t crs = 0;  // counted only as long as no LF has turned up
    int64_t size = 0;
    char last = '\n';
    bool first = true;
    for (;;) {
        ssize_t n = readSome(fd, buffer.get(), kReadBlock);
        if (n < 0) return -2;
        if (n == 0) break;
        const char* data = buffer.get();
        size_t bytes = static_cast<size_t>(n);
        size += n;
        lines += std::count(data, data + bytes, '\n');
        if (lines == 0) crs += std::count(data, data + bytes, '\r');
        last = data[bytes - 1];
        if (scan) {
            if (first && startsWithBom(data, bytes)) {
                scan->bom = true;
                data += 3;
                bytes -= 3;
            }
            if (checker.valid()) checker.feed(data, bytes);
        }
        first = false;
    }
    char lineEnd = '\n';
    if (lines == 0 && crs > 0) {
        lineEnd = '\r';
        lines = crs;
    }
    if (size > 0 && last != lineEnd) ++lines;
    if (scan) {
        scan->utf8 = checker.valid();
        scan->cutAtEnd = checker.valid() && !checker.finish();
        scan->lineEnd = lineEnd;
        scan->size = size;
    }
    return lines;
}

void trimSpacesInto(std::string_view line, std::string& out) {
    out.clear();
    out.reserve(line.size());
    char previous = 0;
    for (char c : line) {
        if (c == ' ' && previous == ' ') continue;
        out += c;
        previous = c;
    }
}

[[noreturn]] void fail(int number, const std::string& description) {
    throw AppError(number, kProcedure, description);
}

// The W3C cut: fncTrimSpaces followed by the split at single spaces, done in
// one pass without copying. A leading or trailing run of spaces still gives
// an empty first or last piece. Appends to `out`.
void splitCollapsed(std::string_view line, std::vector<std::string_view>& out) {
    const char* p = line.data();
    const char* end = p + line.size();
    if (p == end) return;
    for (;;) {
        const char* space = static_cast<const char*>(std::memchr(p, ' ', end - p));
        if (!space) {
            out.emplace_back(p, end - p);
            return;
        }
        out.emplace_back(p, space - p);
        p = space + 1;
        while (p != end && *p == ' ') ++p;
        if (p == end) {
            out.emplace_back();
            return;
        }
    }
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isBlankLine(std::string_view line) {
    return std::all_of(line.begin(), line.end(), isBlank);
}

// The W3C cut for lines that hold a TAB or a double quote: runs of spaces and
// TABs separate values, and a value that opens with a quote runs to the quote
// that a separator or the line end follows (the working draft's quoted
// strings, which Oracle Web Cache and IIS Advanced Logging write for values
// with spaces). It is stored without its quotes, a doubled quote inside as
// one: that unescaping rewrites the value where it lies, which is why the
// line is writable. Edge separators give empty pieces as splitCollapsed does.
void splitQuoted(char* line, size_t length, std::vector<std::string_view>& out) {
    char* p = line;
    char* const end = line + length;
    if (p == end) return;
    for (;;) {
        if (*p == '"') {
            char* write = ++p;
            char* const start = write;
            for (; p != end; ++p) {
                if (*p == '"') {
                    if (p + 1 != end && p[1] == '"') {
                        ++p;
                    } else if (p + 1 == end || isBlank(p[1])) {
                        break;
                    }
                }
                *write++ = *p;
            }
            out.emplace_back(start, static_cast<size_t>(write - start));
            if (p != end) ++p;  // the closing quote
        } else {
            char* const start = p;
            while (p != end && !isBlank(*p)) ++p;
            out.emplace_back(start, static_cast<size_t>(p - start));
        }
        if (p == end) return;
        while (p != end && isBlank(*p)) ++p;
        if (p == end) {
            out.emplace_back();
            return;
        }
    }
}

// End of a bracketed or quoted value that opens at text[open]: the closing
// character that is followed by a space or the end of the line, so that a
// stray quote inside a user agent does not cut it. Backslash escapes inside
// quotes are skipped. npos when the value is never closed.
size_t findClosing(std::string_view text, size_t open, char closing) {
    for (size_t i = open + 1; i < text.size(); ++i) {
        char c = text[i];
        if (closing == '"' && c == '\\') {
            ++i;
            continue;
        }
        if (c == closing && (i + 1 == text.size() || text[i + 1] == ' ')) return i;
    }
    return std::string_view::npos;
}

struct NcsaToken {
    std::string_view text;
    char opener;  // '[' or '"' for a bracketed or quoted value, 0 for a bare one
};

// NCSA lines: values are separated by spaces, except that a value in
// brackets (the date) or quotes (request, referer, user agent and what
// servers append) runs to its closing character and is stored without it.
void splitNcsa(std::string_view line, std::vector<NcsaToken>& out) {
    out.clear();
    size_t i = 0;
    const size_t n = line.size();
    if (n == 0) return;
    for (;;) {
        char c = line[i];
        if (c == '[' || c == '"') {
            size_t close = findClosing(line, i, c == '[' ? ']' : '"');
            if (close == std::string_view::npos) {
                out.push_back({line.substr(i + 1), c});
                return;
            }
            out.push_back({line.substr(i + 1, close - i - 1), c});
            i = close + 1;
        } else {
            size_t space = line.find(' ', i);
            if (space == std::string_view::npos) space = n;
            out.push_back({line.substr(i, space - i), 0});
            i = space;
        }
        if (i >= n) return;
        ++i;  // the one space between values (runs were trimmed before)
        if (i >= n) {
            out.push_back({{}, 0});
            return;
        }
    }
}

// Microsoft IIS lines: values separated by a comma and a space, the line
// ending in a comma.
void splitIis(std::string_view line, std::vector<std::string_view>& out) {
    out.clear();
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    if (!line.empty() && line.back() == ',') line.remove_suffix(1);
    if (line.empty()) return;
    size_t start = 0;
    for (;;) {
        size_t sep = line.find(", ", start);
        if (sep == std::string_view::npos) {
            out.push_back(line.substr(start));
            return;
        }
        out.push_back(line.substr(start, sep - start));
        start = sep + 2;
    }
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

enum class Decode { Utf8, Sanitize, Cp932 };

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
    LineFeeder(int fd, int64_t limit, char lineEnd, Decode decode, bool splitW3c)
        : fd_(fd), limit_(limit), lineEnd_(lineEnd), decode_(decode), splitW3c_(splitW3c) {
        for (int i = 0; i < 3; ++i) {
            blocks_.push_back(std::make_unique<LineBlock>());
            free_.push_back(blocks_.back().get());
        }
        thread_ = std::thread([this] { run(); });
    }

    ~LineFeeder() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    LineFeeder(const LineFeeder&) = delete;
    LineFeeder& operator=(const LineFeeder&) = delete;

    // The next block in file order. Throws what made the reading thread stop.
    LineBlock* next() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
        if (ready_.empty()) {
            if (outOfMemory_) throw std::bad_alloc();
            throw std::runtime_error(failure_.empty() ? "読み込みが途中で止まりました" : failure_);
        }
        LineBlock* block = ready_.front();
        ready_.pop_front();
        return block;
    }

    void recycle(LineBlock* block) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            free_.push_back(block);
        }
        changed_.notify_all();
    }

private:
    LineBlock* takeFree() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty() || stopping_; });
        if (stopping_) return nullptr;
        LineBlock* block = free_.front();
        free_.pop_front();
        return block;
    }

    void publish(LineBlock* block) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ready_.push_back(block);
        }
        changed_.notify_all();
    }

    void run() {
        try {
            produce();
        } catch (const std::bad_alloc&) {
            std::lock_guard<std::mutex> lock(mutex_);
            outOfMemory_ = true;
        } catch (const std::exception& e) {
            std::lock_guard<std::mutex> lock(mutex_);
            failure_ = e.what();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        changed_.notify_all();
    }

    void produce() {
        std::unique_ptr<Cp932Decoder> cp932;
        if (decode_ == Decode::Cp932) cp932 = std::make_unique<Cp932Decoder>();
        // Not a vector: bytes about to be overwritten by read need no zeroing.
        ReadBuffer raw(kReadBlock);
        size_t held = 0;         // bytes of an unfinished line kept from the last read
        int64_t offset = 0;      // bytes read so far
        bool finishing = false;  // past the limit, reading the rest of the last counted line
        bool atEnd = false;
        while (!atEnd) {
            LineBlock* block = takeFree();
            if (!block) return;
            block->text.clear();
            block->lines.clear();
            block->values.clear();
            block->last = false;
            block->readError = 0;
            block->shortened = false;
            size_t end = 0;  // bytes of whole lines to pass on
            for (;;) {
                if (!finishing && offset >= limit_) {
                    if (held == 0) {
                        atEnd = true;
                        break;
                    }
                    finishing = true;
                }
                if (held == raw.size()) raw.grow(held);  // a very long line
                size_t room = raw.size() - held;
                if (!finishing)
                    room = static_cast<size_t>(
                        std::min<int64_t>(static_cast<int64_t>(room), limit_ - offset));
                ssize_t n = readSome(fd_, raw.data() + held, room);
                if (n < 0) {
                    block->readError = errno != 0 ? errno : EIO;
                    atEnd = true;
                    break;
                }
                if (n == 0) {
                    atEnd = true;
                    if (finishing) {
                        end = held;  // the writer stopped within the line: take it as it is
                    } else {
                        // Truncated or cut short under the reader: the partial line
                        // is dropped, and the load must not look complete.
                        block->shortened = true;
                    }
                    break;
                }
                const size_t from = held;
                held += static_cast<size_t>(n);
                offset += n;
                if (finishing) {
                    const void* eol = std::memchr(raw.data() + from, lineEnd_, held - from);
                    if (!eol) continue;
                    // What follows was written after the count: not this load's.
                    end = static_cast<size_t>(static_cast<const char*>(eol) - raw.data()) + 1;
                    held = end;
                    atEnd = true;
                    break;
                }
                // Only whole lines go on; the rest waits for the next read.
                const void* eol = ::memrchr(raw.data(), lineEnd_, held);
                if (!eol) continue;
                end = static_cast<size_t>(static_cast<const char*>(eol) - raw.data()) + 1;
                break;
            }
            fill(*block, std::string_view(raw.data(), end), cp932.get());
            std::memmove(raw.data(), raw.data() + end, held - end);
            held -= end;
            block->last = atEnd;
            publish(block);
        }
    }

    // A file that is not UTF-8 as a whole may still hold UTF-8 lines (logs
    // concatenated across a change of the pages' encoding): each line that is
    // well-formed UTF-8 stays so, and runs of the others go through CP932.
    // Plain ASCII lines count as UTF-8, which CP932 would give them anyway.
    void decodeMixed(std::string_view piece, std::string& out, Cp932Decoder& cp932) {
        size_t runStart = 0;
        bool runUtf8 = true;
        size_t p = 0;
        auto flush = [&](size_t upTo) {
            std::string_view run = piece.substr(runStart, upTo - runStart);
            if (runUtf8) {
                out.append(run);
            } else {
                cp932.decode(run, out);
            }
            runStart = upTo;
        };
        while (p < piece.size()) {
            size_t eol = piece.find(lineEnd_, p);
            size_t next = eol == std::string_view::npos ? piece.size() : eol + 1;
            bool utf8 = isValidUtf8(piece.substr(p, next - p));
            if (utf8 != runUtf8) {
                flush(p);
                runUtf8 = utf8;
            }
            p = next;
        }
        flush(piece.size());
    }

    void fill(LineBlock& block, std::string_view piece, Cp932Decoder* cp932) {
        switch (decode_) {
            case Decode::Utf8:
                block.text.assign(piece);
                break;
            case Decode::Sanitize:
                appendSanitizedUtf8(piece, block.text);
                break;
            case Decode::Cp932:
                decodeMixed(piece, block.text, *cp932);
                break;
        }
        const char* base = block.text.data();
        const char* p = base;
        const char* end = base + block.text.size();
        // Text almost never holds a NUL, and most W3C logs neither a TAB nor a
        // quote: one look at the block spares a look per line.
        const bool anyNul = std::memchr(base, '\0', block.text.size()) != nullptr;
        const bool plain = splitW3c_ && !std::memchr(base, '"', block.text.size()) &&
                           !std::memchr(base, '\t', block.text.size());
        while (p < end) {
            const char* eol = static_cast<const char*>(std::memchr(p, lineEnd_, end - p));
            const char* lineEnd = eol ? eol : end;
            size_t length = static_cast<size_t>(lineEnd - p);
            if (lineEnd_ == '\n' && length > 0 && p[length - 1] == '\r') --length;
            LineBlock::Line line{static_cast<size_t>(p - base), length, block.values.size(),
                                 kUnsplit};
            if (anyNul && std::memchr(p, '\0', length)) {
                line.valueCount = kNotText;
            } else if (length == 0 || (isBlank(*p) && isBlankLine(std::string_view(p, length)))) {
                line.valueCount = kBlankLine;
            } else if (splitW3c_ && *p != '#') {
                if (plain) {
                    splitCollapsed(std::string_view(p, length), block.values);
                } else {
                    splitQuoted(block.text.data() + (p - base), length, block.values);
                }
                line.valueCount = block.values.size() - line.firstValue;
            }
            block.lines.push_back(line);
            p = eol ? eol + 1 : end;
        }
    }

    const int fd_;
    const int64_t limit_;
    const char lineEnd_;
    const Decode decode_;
    const bool splitW3c_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<LineBlock>> blocks_;
    std::deque<LineBlock*> free_;
    std::deque<LineBlock*> ready_;
    bool stopping_ = false;
    bool finished_ = false;
    bool outOfMemory_ = false;
    std::string failure_;
    std::thread thread_;
};

// One call of the reader: the state it keeps from line to line.
class LogLoad {
public:
    LogLoad(const std::string& path, RecordsetPtr& table, int32_t logType, LoadContext& ctx)
        : path_(path), table_(table), logType_(logType), ctx_(ctx) {
        fileName_ = fncGetFileName(path);
        message_ = fileName_ + " を読み込み中";
    }

    RecordsetPtr run();

private:
    enum class Outcome { Finished, Cancelled };

    Outcome readFile(int fd, int64_t lineCount, const FileScan& scan);
    bool lineDone();
    void handleLine(std::string_view line);
    void dataLine(const std::string_view* values, size_t count);
    void handleDirective(std::string_view line);
    void applyFieldList(std::string_view header);
    void bindColumns();
    void addRow(std::string_view line);
    void iisValues(std::string_view line);
    void ncsaValues(std::string_view line);
    std::string ncsaFieldList() const;
    void storeRow(const std::string_view* values, size_t count);
    uint32_t intern(size_t column, std::string_view text);
    void shiftTime();
    std::string_view directiveDay();
    void noteAddress(uint32_t id);
    bool finishHostLookups(bool cancelNow);
    void report(MessageIcon icon, const std::string& text);
    void reportFailure(int number, const std::string& description);
    std::string readHead() const;
    std::string withHint(std::string text) const;

    const std::string& path_;
    RecordsetPtr& table_;
    int32_t logType_;  // kLogTypeAuto gives way to the guessed format
    int fd_ = -1;
    LoadContext& ctx_;
    std::string fileName_;
    std::string message_;

    // Reader state.
    std::vector<std::string> names_;  // the current field list
    std::vector<int> columnOfName_;   // table column of each current name, -1 for none
    bool fieldListKnown_ = false;
    bool ownFieldList_ = false;  // a "#Fields: " line was read: data lines are W3C lines
    int64_t errorLines_ = 0;
    int64_t rowsStored_ = 0;
    int64_t lineNumber_ = 0;
    int64_t lineCount_ = 0;
    std::string directiveDate_;

    // Row building.
    struct ColumnCache {
        std::string_view text;  // the column's previous value, held by its pool
        uint32_t id = 0;
    };
    std::vector<ColumnCache> caches_;
    std::vector<uint32_t> ids_;
    // The columns ids_ holds values for: sized once per field list (a value
    // per name, and the date and time), filled without a check per value.
    std::vector<uint32_t> rowColumns_;
    size_t rowColumnCount_ = 0;
    std::vector<std::string_view> values_;
    std::vector<NcsaToken> tokens_;
    std::vector<std::string_view> hostParts_;
    // What the NCSA lines read so far carried beyond the common layout.
    bool ncsaCombined_ = false;
    bool ncsaForwarded_ = false;
    size_t ncsaExtras_ = 0;
    bool ncsaVirtualHost_ = false;
    std::string trimmed_;
    std::string joined_;
    int dateColumn_ = -1;
    int timeColumn_ = -1;
    int addressColumn_ = -1;

    // Time shift: the row's own "date" and "time" texts, and what the
    // previous row's texts became.
    std::string_view rowDate_;
    std::string_view rowTime_;
    bool lastShiftValid_ = false;
    std::string lastDate_;
    std::string lastTime_;
    uint32_t lastDateId_ = 0;
    uint32_t lastTimeId_ = 0;

    // Client addresses: the distinct ids of "c-ip" met in this load.
    struct Address {
        uint32_t id;
        bool known;
        std::string name;
    };
    std::vector<int32_t> addressSlot_;  // by id: index into addresses_, -1 unseen
    std::vector<Address> addresses_;
    uint32_t lastAddressId_ = kNoId;
    size_t firstAddressRow_ = kNoRow;
};

RecordsetPtr LogLoad::run() {
    if (!table_) table_ = std::make_shared<Recordset>();

    // One open file for the count and the read: a log renamed, replaced or
    // deleted in between is still the one that was counted.
    int raw = openForReading(path_);
    if (raw < 0) return nullptr;
    FileDescriptor fd(raw);
    fd_ = fd.get();
    if (logType_ == kLogTypeAuto) {
        int32_t guess = fncGuessLogType(readHead());
        logType_ = guess >= 0 ? guess : kLogTypeW3c;
    }
    FileScan scan;
    int64_t lineCount = scanOpenFile(fd.get(), &scan);
    try {
        if (lineCount < 0 || ::lseek(fd.get(), scan.bom ? 3 : 0, SEEK_SET) < 0)
            fail(kErrReadFailed, "デバイス I/O エラーです (" + path_ + ")");
        lineCount_ = lineCount;
        if (ctx_.progress) ctx_.progress->setMaxCountMini(lineCount);

        if (logType_ == kLogTypeIis) {
            applyFieldList(kIisFieldList);
        } else if (logType_ == kLogTypeNcsa) {
            applyFieldList(kNcsaFieldList);
        }

        if (readFile(fd.get(), lineCount, scan) == Outcome::Cancelled) {
            finishHostLookups(true);
            return nullptr;
        }
        if (finishHostLookups(false)) return nullptr;

        if (errorLines_ > 0) {
            std::string text = std::to_string(errorLines_) + "個のエラー行が検出されました";
            report(MessageIcon::Exclamation, rowsStored_ == 0 ? withHint(text) : text);
        }
        if (!fieldListKnown_) return nullptr;
        if (table_->fieldExists("cs-uri-stem"))
            table_->setFilter(fncGetFilterString(ctx_.settings.types));
        return table_;
    } catch (const AppError& e) {
        reportFailure(e.number(), e.description());
    } catch (const std::bad_alloc&) {
        reportFailure(kErrOutOfMemory, "メモリが不足しています");
    } catch (const std::exception& e) {
        reportFailure(kErrInternal, std::string("内部エラーです (") + e.what() + ")");
    }
    return nullptr;
}

void LogLoad::reportFailure(int number, const std::string& description) {
    // Rows already added stay; their addresses still get display texts.
    try {
        finishHostLookups(true);
    } catch (...) {
        // The failure being reported is the one the user needs to see.
    }
    report(MessageIcon::Critical,
           withHint(std::string(kProcedure) + ":" + std::to_string(number) + description));
}

// The first bytes of the file, enough for the first lines of any log.
std::string LogLoad::readHead() const {
    std::string head(16384, '\0');
    ssize_t n = ::pread(fd_, head.data(), head.size(), 0);
    head.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return head;
}

// A load that goes wrong on a file of another format tells which one, since
// the setting, not the file, is then what needs changing.
std::string LogLoad::withHint(std::string text) const {
    std::string hint = fncWrongFormatHint(readHead(), logType_, ctx_.formatSetting);
    if (!hint.empty()) (text += '\n') += hint;
    return text;
}

void LogLoad::report(MessageIcon icon, const std::string& text) {
    if (ctx_.messages) ctx_.messages->showMessage(icon, text, kAppTitle);
}

LogLoad::Outcome LogLoad::readFile(int fd, int64_t lineCount, const FileScan& scan) {
    // A BOM says UTF-8 even when some bytes are broken; without one, any
    // malformed byte means the file was written in the Windows code page.
    // A character cut off by the end of the file is no such byte: the file
    // was copied or read while being written, and only that character is lost.
    Decode decode = Decode::Utf8;
    if (scan.bom) {
        decode = scan.utf8 && !scan.cutAtEnd ? Decode::Utf8 : Decode::Sanitize;
    } else if (!scan.utf8) {
        decode = Cp932Decoder().ok() ? Decode::Cp932 : Decode::Sanitize;
    } else if (scan.cutAtEnd) {
        decode = Decode::Sanitize;
    }
    if (table_->isOpen()) table_->reserveRows(table_->storedRowCount() + lineCount);

    const bool w3c = logType_ != kLogTypeIis && logType_ != kLogTypeNcsa;
    LineFeeder feeder(fd, scan.size - (scan.bom ? 3 : 0), scan.lineEnd, decode, w3c);
    for (;;) {
        LineBlock* block = feeder.next();
        for (const LineBlock::Line& line : block->lines) {
            if (line.valueCount == kNotText) {
                ++lineNumber_;
                ++errorLines_;
            } else if (line.valueCount == kBlankLine) {
                ++lineNumber_;
            } else if (line.valueCount == kUnsplit) {
                handleLine(std::string_view(block->text.data() + line.begin, line.length));
            } else {
                ++lineNumber_;
                dataLine(block->values.data() + line.firstValue, line.valueCount);
            }
            if (!lineDone()) {
                feeder.recycle(block);
                return Outcome::Cancelled;
            }
        }
        const bool last = block->last;
        const int readError = block->readError;
        const bool shortened = block->shortened;
        feeder.recycle(block);
        if (readError != 0)
            fail(kErrReadFailed, "デバイス I/O エラーです (" + std::to_string(lineNumber_ + 1) +
                                     " 行目: " + std::strerror(readError) + ")");
        if (shortened)
            fail(kErrReadFailed, "読み込み中にファイルが短くなりました (" +
                                     std::to_string(lineNumber_ + 1) + " 行目から後が読めません)");
        if (last) return Outcome::Finished;
    }
}

// Every line read, whatever its kind, is one step of the small bar.
bool LogLoad::lineDone() {
    return !(ctx_.progress && ctx_.progress->UpdateStatus(message_, 1, true));
}

void LogLoad::handleLine(std::string_view line) {
    ++lineNumber_;
    if (!line.empty() && line.front() == '#') {
        trimSpacesInto(line, trimmed_);
        handleDirective(trimmed_);
        return;
    }
    if (!fieldListKnown_) {
        ++errorLines_;
        return;
    }
    addRow(line);
}

void LogLoad::dataLine(const std::string_view* values, size_t count) {
    if (!fieldListKnown_) {
        ++errorLines_;
        return;
    }
    storeRow(values, count);
}

void LogLoad::handleDirective(std::string_view line) {
    static constexpr std::string_view kDate = "#Date: ";
    static constexpr std::string_view kFields = "#Fields: ";
    if (startsWith(line, "#Software: ") || startsWith(line, "#Version: ")) return;
    if (startsWith(line, kDate)) {
        directiveDate_ = std::string(line.substr(kDate.size()));
        lastShiftValid_ = false;
        return;
    }
    if (startsWith(line, kFields)) {
        // Copied: applyFieldList outlives the buffer the line points into.
        // Names, like values, may be separated by runs of spaces and TABs;
        // a separator in front of the first name makes no nameless first one.
        std::string header;
        for (char c : line.substr(kFields.size())) {
            if (isBlank(c) && (header.empty() || header.back() == ' ')) continue;
            header += isBlank(c) ? ' ' : c;
        }
        applyFieldList(header);
        ownFieldList_ = true;
        return;
    }
    // Any other "#" line is a remark or a directive without meaning here.
}

void LogLoad::applyFieldList(std::string_view header) {
    const size_t count =
        header.empty() ? 0 : static_cast<size_t>(std::count(header.begin(), header.end(), ' ')) + 1;
    if (count > kMaxFieldCount)
        fail(kErrTooManyFields, "フィールド名が多すぎます (" + std::to_string(lineNumber_) +
                                    " 行目: " + std::to_string(count) + " 個。読み込めるのは " +
                                    std::to_string(kMaxFieldCount) + " 個までです)");
    fncMergeFields(table_, header);
    if (table_->fieldCount() > kMaxFieldCount + 1)
        fail(kErrTooManyFields, "フィールド名が多すぎます (" + std::to_string(lineNumber_) +
                                    " 行目まで: 合わせて " + std::to_string(table_->fieldCount()) +
                                    " 個。読み込めるのは " + std::to_string(kMaxFieldCount) +
                                    " 個までです)");
    names_.clear();
    for (std::string_view name : splitAtSpaces(header)) names_.emplace_back(name);
    fieldListKnown_ = true;
    bindColumns();
    int64_t linesLeft = std::max<int64_t>(0, lineCount_ - lineNumber_);
    table_->reserveRows(table_->storedRowCount() + static_cast<size_t>(linesLeft));
}

// Maps the current names to the columns of the (possibly new) table once, so
// that data lines need no name look-ups.
void LogLoad::bindColumns() {
    std::unordered_map<std::string_view, int> columnOf;
    columnOf.reserve(table_->fieldCount());
    for (size_t i = 0; i < table_->fieldCount(); ++i)
        columnOf.try_emplace(table_->fields()[i].name, static_cast<int>(i));
    columnOfName_.clear();
    for (const auto& name : names_) {
        auto it = name.empty() ? columnOf.end() : columnOf.find(name);
        columnOfName_.push_back(it == columnOf.end() ? -1 : it->second);
    }
    caches_.assign(table_->fieldCount(), ColumnCache{});
    ids_.assign(table_->fieldCount(), 0);
    rowColumns_.assign(names_.size() + 2, 0);
    rowColumnCount_ = 0;
    dateColumn_ = table_->fieldIndex("date");
    timeColumn_ = table_->fieldIndex("time");
    addressColumn_ = table_->fieldIndex("c-ip");
    lastShiftValid_ = false;
    lastAddressId_ = kNoId;
}

void LogLoad::addRow(std::string_view line) {
    if (ownFieldList_ || (logType_ != kLogTypeIis && logType_ != kLogTypeNcsa)) {
        trimmed_.assign(line);
        values_.clear();
        splitQuoted(trimmed_.data(), trimmed_.size(), values_);
    } else if (logType_ == kLogTypeIis) {
        iisValues(line);
    } else {
        ncsaValues(line);
    }
    storeRow(values_.data(), values_.size());
}

void LogLoad::iisValues(std::string_view line) {
    trimSpacesInto(line, trimmed_);
    splitIis(trimmed_, values_);
    // Fewer values are no IIS line at all (a W3C or NCSA log read with the
    // wrong setting), and storing them would shift every field.
    if (values_.size() < names_.size())
        fail(kErrNotThisFormat, "型が一致しません (" + std::to_string(lineNumber_) +
                                    " 行目: Microsoft IIS の行は値が " +
                                    std::to_string(names_.size()) + " 個のはずが " +
                                    std::to_string(values_.size()) + " 個)");
    // The fifteenth value, the request's parameters, belongs to the target as
    // its query; commas in it must not make more values.
    if (values_.size() >= 15) {
        joined_.clear();
        for (size_t i = 14; i < values_.size(); ++i) {
            if (i > 14) joined_ += ", ";
            joined_ += values_[i];
        }
        if (joined_ != "-") {
            joined_ = std::string(values_[13]) + "?" + joined_;
            values_[13] = joined_;
        }
        values_.resize(14);
    }
}

// Finds the common layout in the line, with what it may carry around it, and
// places each value at its name's position; a field list that lacks a name
// for what the line carries is widened first, as a "#Fields: " line would.
void LogLoad::ncsaValues(std::string_view line) {
    trimSpacesInto(line, trimmed_);
    splitNcsa(trimmed_, tokens_);
    auto date = std::find_if(tokens_.begin(), tokens_.end(),
                             [](const NcsaToken& t) { return t.opener == '['; });
    // A forwarded-for list in the host position ("10.0.0.2, 10.0.0.1") is
    // one value: a bare piece ending in a comma runs on into the next.
    hostParts_.clear();
    bool joining = false;
    for (auto t = tokens_.begin(); t != date; ++t) {
        if (joining) {
            std::string_view& last = hostParts_.back();
            last = std::string_view(last.data(), t->text.data() + t->text.size() - last.data());
        } else {
            hostParts_.push_back(t->text);
        }
        joining = !t->text.empty() && t->text.back() == ',';
    }
    if (date == tokens_.end() ||
        std::any_of(tokens_.begin(), date, [](const NcsaToken& t) { return t.opener != 0; }) ||
        (hostParts_.size() != 3 && hostParts_.size() != 4)) {
        // No layout this reader knows: the values in order, as a field list
        // would take them, so that a wrong format ends the load.
        values_.clear();
        for (const NcsaToken& t : tokens_) values_.push_back(t.text);
        return;
    }
    const bool virtualHost = hostParts_.size() == 4;
    const size_t after = static_cast<size_t>(date - tokens_.begin()) + 1;
    const size_t trailing = tokens_.size() > after + 3 ? tokens_.size() - after - 3 : 0;
    // What follows the byte count (none on a line cut short).
    auto rest = [&](size_t i) -> const NcsaToken& { return tokens_[after + 3 + i]; };
    const bool combined = trailing >= 2 && rest(0).opener == '"' && rest(1).opener == '"';
    const bool forwarded = combined && trailing >= 3 && rest(2).opener == '"';
    const size_t extras = trailing - (combined ? 2 : 0) - (forwarded ? 1 : 0);
    if ((combined && !ncsaCombined_) || (forwarded && !ncsaForwarded_) || extras > ncsaExtras_ ||
        (virtualHost && !ncsaVirtualHost_)) {
        ncsaCombined_ = ncsaCombined_ || combined;
        ncsaForwarded_ = ncsaForwarded_ || forwarded;
        ncsaExtras_ = std::max(ncsaExtras_, extras);
        ncsaVirtualHost_ = ncsaVirtualHost_ || virtualHost;
        applyFieldList(ncsaFieldList());
    }
    values_.assign(names_.size(), std::string_view());
    const size_t hostFrom = virtualHost ? 1 : 0;
    for (size_t i = 0; i < 3; ++i) values_[i] = hostParts_[hostFrom + i];
    for (size_t i = 0; i < 4 && after - 1 + i < tokens_.size(); ++i)
        values_[3 + i] = tokens_[after - 1 + i].text;
    size_t at = 7;
    size_t next = 0;  // into rest
    if (combined) {
        values_[7] = rest(0).text;
        values_[8] = rest(1).text;
        next = 2;
    }
    if (ncsaCombined_) at = 9;
    if (forwarded) values_[at] = rest(next++).text;
    if (ncsaForwarded_) ++at;
    for (; next < trailing; ++next) values_[at++] = rest(next).text;
    if (virtualHost) values_.back() = hostParts_[0];
}

// The current NCSA names: the common ones, then what the lines so far added.
std::string LogLoad::ncsaFieldList() const {
    std::string list(ncsaCombined_ ? kNcsaCombinedFieldList : kNcsaFieldList);
    if (ncsaForwarded_) (list += ' ') += kNcsaForwardedFor;
    for (size_t i = 1; i <= ncsaExtras_; ++i)
        ((list += ' ') += kNcsaExtraPrefix) += std::to_string(i);
    if (ncsaVirtualHost_) (list += ' ') += kNcsaVirtualHost;
    return list;
}

void LogLoad::storeRow(const std::string_view* values, size_t count) {
    if (count > names_.size())
        fail(kErrTooManyValues, "インデックスが有効範囲にありません (" +
                                    std::to_string(lineNumber_) + " 行目: 値が " +
                                    std::to_string(count) + " 個、フィールド名が " +
                                    std::to_string(names_.size()) + " 個)");
    if (timeColumn_ >= 0) {
        // "date" and "time" are stored once shifted; their raw texts only
        // reach the pools when they cannot be read.
        rowDate_ = std::string_view();
        rowTime_ = std::string_view();
        for (size_t i = 0; i < count; ++i) {
            int column = columnOfName_[i];
            if (column == dateColumn_) {
                rowDate_ = values[i];
            } else if (column == timeColumn_) {
                rowTime_ = values[i];
            } else if (column >= 0) {
                ids_[static_cast<size_t>(column)] = intern(static_cast<size_t>(column), values[i]);
                rowColumns_[rowColumnCount_++] = static_cast<uint32_t>(column);
            }
        }
        shiftTime();
    } else {
        for (size_t i = 0; i < count; ++i) {
            int column = columnOfName_[i];
            if (column >= 0) {
                ids_[static_cast<size_t>(column)] = intern(static_cast<size_t>(column), values[i]);
                rowColumns_[rowColumnCount_++] = static_cast<uint32_t>(column);
            }
        }
    }
    if (addressColumn_ >= 0 && ctx_.hosts) {
        if (firstAddressRow_ == kNoRow) firstAddressRow_ = table_->storedRowCount();
        uint32_t id = ids_[static_cast<size_t>(addressColumn_)];
        if (id != lastAddressId_) {
            noteAddress(id);
            lastAddressId_ = id;
        }
    }
    // Only the columns the line reaches are touched, so a short line in a
    // table of thousands of fields costs its own values.
    table_->appendRowIds(ids_.data(), rowColumns_.data(), rowColumnCount_);
    for (size_t i = 0; i < rowColumnCount_; ++i) ids_[rowColumns_[i]] = 0;
    rowColumnCount_ = 0;
    ++rowsStored_;
}

// Consecutive lines mostly repeat a column's value (same day, same visitor,
// same server), so the previous value is checked before the pool's hash.
uint32_t LogLoad::intern(size_t column, std::string_view text) {
    ColumnCache& cache = caches_[column];
    if (text == cache.text) return cache.id;
    Column& c = table_->column(column);
    uint32_t id = c.intern(text);
    cache.id = id;
    cache.text = c.pool().text(id);
    return id;
}

// The day of the last "#Date: " line, for rows that log no date.
std::string_view LogLoad::directiveDay() {
    size_t space = directiveDate_.find(' ');
    if (space == std::string::npos)
        fail(kErrBadArgument, "プロシージャの呼び出し、または引数が不正です (" +
                                  std::to_string(lineNumber_) +
                                  " 行目: 日付がなく、#Date: 行からも日付を取れません)");
    return std::string_view(directiveDate_).substr(0, space);
}

// Log lines come in time order and many share one second, so the date is
// read only when the row's date or time differs from the previous row's:
// once per distinct second of the log.
void LogLoad::shiftTime() {
    const size_t dateColumn = static_cast<size_t>(dateColumn_);
    const size_t timeColumn = static_cast<size_t>(timeColumn_);
    std::string_view date = rowDate_.empty() ? directiveDay() : rowDate_;
    if (!lastShiftValid_ || rowTime_ != lastTime_ || rowDate_ != lastDate_) {
        if (auto shifted = fncShiftDateTime(date, rowTime_, ctx_.settings.TimeDiff)) {
            lastDateId_ = intern(dateColumn, shifted->date);
            lastTimeId_ = intern(timeColumn, shifted->time);
        } else {
            // Unreadable: both keep the row's own text, an empty date included.
            lastDateId_ = intern(dateColumn, rowDate_);
            lastTimeId_ = intern(timeColumn, rowTime_);
        }
        lastDate_.assign(rowDate_);
        lastTime_.assign(rowTime_);
        lastShiftValid_ = true;
    }
    ids_[dateColumn] = lastDateId_;
    ids_[timeColumn] = lastTimeId_;
    rowColumns_[rowColumnCount_++] = static_cast<uint32_t>(dateColumn);
    rowColumns_[rowColumnCount_++] = static_cast<uint32_t>(timeColumn);
}

// A distinct address is asked for once; a miss resolves in the background
// while the rest of the file is read.
void LogLoad::noteAddress(uint32_t id) {
    if (id >= addressSlot_.size())
        addressSlot_.resize(std::max<size_t>(id + 1, addressSlot_.size() * 2), -1);
    if (addressSlot_[id] >= 0) return;
    addressSlot_[id] = static_cast<int32_t>(addresses_.size());
    Address entry{id, false, {}};
    std::string_view text = table_->column(static_cast<size_t>(addressColumn_)).pool().text(id);
    entry.known = ctx_.hosts->findOrStart(text, entry.name);
    addresses_.push_back(std::move(entry));
}

// Waits for the lookups of the load and turns every address of the rows this
// load added into "name [address]", one new value per distinct address.
// True when the user cancelled while waiting.
bool LogLoad::finishHostLookups(bool cancelNow) {
    if (!ctx_.hosts || firstAddressRow_ == kNoRow) return false;
    bool cancelled = false;
    bool maxSet = false;
    size_t reported = 0;
    const std::string waitMessage = fileName_ + " のホスト名を解決中";
    auto progress = [&](size_t done, size_t total) {
        if (!ctx_.progress) return false;
        if (!maxSet) {
            ctx_.progress->setMaxCountMini(static_cast<int64_t>(total));
            maxSet = true;
        }
        int64_t step = static_cast<int64_t>(done) - static_cast<int64_t>(reported);
        reported = done;
        if (ctx_.progress->UpdateStatus(waitMessage, step, true)) cancelled = true;
        return cancelled;
    };
    std::vector<HostLookup::Resolved> resolved = ctx_.hosts->finishLookups(progress, cancelNow);

    std::unordered_map<std::string_view, const std::string*> names;
    for (const auto& r : resolved) names.emplace(r.address, &r.name);

    Column& column = table_->column(static_cast<size_t>(addressColumn_));
    std::vector<uint32_t> display(addressSlot_.size(), 0);
    for (const Address& a : addresses_) {
        std::string address(column.pool().text(a.id));
        std::string name = "Unknown";
        if (a.known) {
            name = a.name;
        } else if (auto it = names.find(address); it != names.end()) {
            name = *it->second;
        }
        display[a.id] = column.intern(hostDisplayText(name, address));
    }
    // Once only, even if this fails part way and the failure path asks again.
    const size_t first = firstAddressRow_;
    firstAddressRow_ = kNoRow;
    const size_t rows = table_->storedRowCount();
    for (size_t row = first; row < rows; ++row) column.setId(row, display[column.id(row)]);
    return cancelled;
}

}  // namespace

RecordsetPtr fncGetRecordsetFromLog(const std::string& path, RecordsetPtr& table, int32_t logType,
                                    LoadContext& ctx) {
    LogLoad load(path, table, logType, ctx);
    return load.run();
}

RecordsetPtr fncMergeFields(RecordsetPtr& table, std::string_view header) {
    RecordsetPtr old = table ? table : std::make_shared<Recordset>();
    std::vector<FieldInfo> fields;
    // A field list may name thousands of fields, and a log repeats it after
    // every restart: no search through the names per name. The views point
    // into the old table's fields and into header, which outlive the set.
    std::unordered_set<std::string_view> taken;
    auto add = [&](std::string_view name) {
        if (name.empty() || !taken.insert(name).second) return;
        fields.push_back(FieldInfo{std::string(name), FieldType::WideText, 255});
    };
    add("date");
    for (const auto& f : old->fields()) add(f.name);
    for (std::string_view name : splitAtSpaces(header)) add(name);
    table = Recordset::takeOverColumns(*old, fields);
    return table;
}

int64_t fncGetLineCount(const std::string& path) {
    int raw = openForReading(path);
    if (raw < 0) return -1;
    FileDescriptor fd(raw);
    return scanOpenFile(fd.get(), nullptr);
}

std::string fncTrimSpaces(std::string_view line) {
    std::string out;
    trimSpacesInto(line, out);
    return out;
}

bool fncFieldExists(const Recordset& table, std::string_view name) {
    return table.fieldExists(name);
}

std::string fncGetFileName(std::string_view path) {
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return std::string();
    return std::string(path.substr(slash + 1));
}

std::vector<std::string_view> splitAtSpaces(std::string_view text) {
    std::vector<std::string_view> pieces;
    if (text.empty()) return pieces;
    size_t start = 0;
    for (;;) {
        size_t space = text.find(' ', start);
        if (space == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, space - start));
        start = space + 1;
    }
}

}  // namespace brevadin
