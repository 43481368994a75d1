#include "logdata/linefeeder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "logdata/linesplit.h"
#include "logdata/logreader.h"
#include "logdata/textdecode.h"

namespace brevadin {
namespace {

constexpr size_t kReadBlock = size_t{1} << 20;

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

}  // namespace

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

// A named pipe or a device named like a log would otherwise block the
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

Decode decodeFor(const FileScan& scan) {
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
    return decode;
}

class LineFeeder::Thread {
public:
    Thread(int fd, int64_t limit, char lineEnd, Decode decode, bool splitW3c)
        : fd_(fd), limit_(limit), lineEnd_(lineEnd), decode_(decode), splitW3c_(splitW3c) {
        for (int i = 0; i < 3; ++i) {
            blocks_.push_back(std::make_unique<LineBlock>());
            free_.push_back(blocks_.back().get());
        }
        thread_ = std::thread([this] { run(); });
    }

    ~Thread() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

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
                    splitW3cPlain(std::string_view(p, length), block.values);
                } else {
                    splitW3cQuoted(block.text.data() + (p - base), length, block.values);
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

LineFeeder::LineFeeder(int fd, int64_t limit, char lineEnd, Decode decode, bool splitW3c)
    : thread_(std::make_unique<Thread>(fd, limit, lineEnd, decode, splitW3c)) {}

LineFeeder::~LineFeeder() = default;

LineBlock* LineFeeder::next() {
    return thread_->next();
}

void LineFeeder::recycle(LineBlock* block) {
    thread_->recycle(block);
}

int64_t fncGetLineCount(const std::string& path) {
    int raw = openForReading(path);
    if (raw < 0) return -1;
    FileDescriptor fd(raw);
    return scanOpenFile(fd.get(), nullptr);
}

}  // namespace brevadin
