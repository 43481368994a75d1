#include "logdata/textdecode.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace brevadin {
namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ull;
constexpr char kReplacement[] = "\xef\xbf\xbd";

// Starts a sequence at lead byte c: how many continuation bytes follow and
// the range the first of them must lie in. Returns false for a byte that
// cannot start a sequence.
bool startSequence(uint8_t c, int& need, uint8_t& lo, uint8_t& hi) {
    lo = 0x80;
    hi = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
        need = 1;
    } else if (c >= 0xe0 && c <= 0xef) {
        need = 2;
        if (c == 0xe0) lo = 0xa0;  // overlong
        if (c == 0xed) hi = 0x9f;  // surrogates
    } else if (c >= 0xf0 && c <= 0xf4) {
        need = 3;
        if (c == 0xf0) lo = 0x90;  // overlong
        if (c == 0xf4) hi = 0x8f;  // above U+10FFFF
    } else {
        return false;
    }
    return true;
}

}  // namespace

void Utf8Checker::feed(const char* data, size_t size) {
    const auto* p = reinterpret_cast<const uint8_t*>(data);
    size_t i = 0;
    while (valid_ && i < size) {
        if (need_ == 0) {
            // Log text is almost all ASCII: skip it a word at a time.
            while (i + 8 <= size) {
                uint64_t w;
                std::memcpy(&w, p + i, 8);
                if (w & kHighBits) break;
                i += 8;
            }
            if (i >= size) break;
            uint8_t c = p[i++];
            if (c < 0x80) continue;
            if (!startSequence(c, need_, lo_, hi_)) valid_ = false;
        } else {
            uint8_t c = p[i++];
            if (c < lo_ || c > hi_) {
                valid_ = false;
            } else {
                --need_;
                lo_ = 0x80;
                hi_ = 0xbf;
            }
        }
    }
}

bool isValidUtf8(std::string_view text) {
    Utf8Checker checker;
    checker.feed(text.data(), text.size());
    return checker.finish();
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xc0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xe0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    }
}

void appendSanitizedUtf8(std::string_view text, std::string& out) {
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        size_t start = i;
        while (i < n && p[i] < 0x80) ++i;
        out.append(text.data() + start, i - start);
        if (i >= n) break;
        int need = 0;
        uint8_t lo = 0, hi = 0;
        if (!startSequence(p[i], need, lo, hi)) {
            out += kReplacement;
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool good = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= n || p[j] < lo || p[j] > hi) {
                good = false;
                break;
            }
            lo = 0x80;
            hi = 0xbf;
        }
        if (good) {
            out.append(text.data() + i, j - i);
        } else {
            // One replacement for the broken start; the offending byte is
            // looked at again, as it may begin a sequence of its own.
            out += kReplacement;
        }
        i = j;
    }
}

namespace {

// The iconv loop both decoders share: converts what is left of the input onto
// the end of `out`, growing it as needed. At a byte the converter refuses,
// `bad(errno, byte)` gives the text to write in its place (the conversion goes
// on after the byte), or nothing to stop there and leave the rest unread.
template <class Bad>
void iconvAppend(iconv_t cd, char*& in, size_t& inLeft, std::string& out, Bad bad) {
    size_t used = out.size();
    // Two input bytes give at most 3 UTF-8 bytes, a replaced single byte 3.
    out.resize(used + inLeft * 3 + 16);
    while (inLeft > 0) {
        char* dst = out.data() + used;
        size_t outLeft = out.size() - used;
        size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
        used = static_cast<size_t>(dst - out.data());
        if (rc != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() + inLeft * 3 + 16);
            continue;
        }
        const std::optional<std::string_view> instead = bad(errno, *in);
        if (!instead) break;
        if (out.size() - used < instead->size()) out.resize(out.size() + 16);
        std::memcpy(out.data() + used, instead->data(), instead->size());
        used += instead->size();
        ++in;
        --inLeft;
    }
    out.resize(used);
}

}  // namespace

Cp932Decoder::Cp932Decoder() {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd != reinterpret_cast<iconv_t>(-1)) handle_ = cd;
}

Cp932Decoder::~Cp932Decoder() {
    if (handle_) iconv_close(static_cast<iconv_t>(handle_));
}

void Cp932Decoder::decode(std::string_view text, std::string& out) {
    if (!handle_) {
        appendSanitizedUtf8(text, out);
        return;
    }
    auto cd = static_cast<iconv_t>(handle_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    // EILSEQ (not CP932) or EINVAL (cut off at the end): mark one byte and go
    // on after it.
    iconvAppend(cd, in, inLeft, out, [cd](int, char) -> std::optional<std::string_view> {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return std::string_view(kReplacement, 3);
    });
}

Iso2022JpDecoder::Iso2022JpDecoder() {
    iconv_t cd = iconv_open("UTF-8", "ISO-2022-JP");
    if (cd != reinterpret_cast<iconv_t>(-1)) handle_ = cd;
}

Iso2022JpDecoder::~Iso2022JpDecoder() {
    if (handle_) iconv_close(static_cast<iconv_t>(handle_));
}

void Iso2022JpDecoder::reset() {
    pending_.clear();
    if (handle_) iconv(static_cast<iconv_t>(handle_), nullptr, nullptr, nullptr, nullptr);
}

void Iso2022JpDecoder::decode(std::string_view chunk, std::string& out) {
    pending_.append(chunk);
    convert(out, false);
}

void Iso2022JpDecoder::finish(std::string& out) {
    convert(out, true);
    reset();
}

void Iso2022JpDecoder::convert(std::string& out, bool atEnd) {
    if (pending_.empty()) return;
    if (!handle_) {
        // Without a converter only ASCII can be trusted; the rest is marked.
        for (char c : pending_) {
            if (static_cast<unsigned char>(c) < 0x80)
                out += c;
            else
                out += kReplacement;
        }
        pending_.clear();
        return;
    }
    auto cd = static_cast<iconv_t>(handle_);
    char* in = pending_.data();
    size_t inLeft = pending_.size();
    iconvAppend(cd, in, inLeft, out,
                [atEnd](int error, char byte) -> std::optional<std::string_view> {
                    // A sequence cut off at the end of the piece waits for the
                    // next one.
                    if (error == EINVAL && !atEnd) return std::nullopt;
                    // Not ISO-2022-JP here (or cut off for good): mark one byte
                    // and go on after it in the same shift state; line ends
                    // stay line ends.
                    if (byte == '\r') return std::string_view("\r");
                    if (byte == '\n') return std::string_view("\n");
                    return std::string_view(kReplacement, 3);
                });
    pending_.erase(0, pending_.size() - inLeft);
}

}  // namespace brevadin
