#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace brevadin {

// Checks text for well-formed UTF-8 piece by piece, so a file can be checked
// while it is read in blocks: a sequence may straddle two pieces. Overlong
// forms, surrogates and code points above U+10FFFF are malformed.
class Utf8Checker {
public:
    void feed(const char* data, size_t size);
    // True when everything fed so far is well formed and no sequence is left
    // unfinished at the end.
    bool finish() const { return valid_ && need_ == 0; }
    bool valid() const { return valid_; }

private:
    bool valid_ = true;
    int need_ = 0;                   // continuation bytes still due
    uint8_t lo_ = 0x80, hi_ = 0xbf;  // allowed range of the next continuation byte
};

bool isValidUtf8(std::string_view text);

// Appends `text` to `out`, each malformed sequence replaced by U+FFFD.
void appendSanitizedUtf8(std::string_view text, std::string& out);

// Appends the UTF-8 form of a code point (at most U+10FFFF; the caller checks).
void appendUtf8(std::string& out, uint32_t codePoint);

// Windows' Shift_JIS (code page 932) to UTF-8 through iconv. Bytes that are
// not CP932 become U+FFFD; nothing is dropped silently.
class Cp932Decoder {
public:
    Cp932Decoder();
    ~Cp932Decoder();
    Cp932Decoder(const Cp932Decoder&) = delete;
    Cp932Decoder& operator=(const Cp932Decoder&) = delete;

    // False when the C library has no CP932 converter.
    bool ok() const { return handle_ != nullptr; }
    // Appends the UTF-8 form of `text`. A character cut off at the end of
    // `text` is taken as malformed, so pass whole lines.
    void decode(std::string_view text, std::string& out);

private:
    void* handle_ = nullptr;
};

// ISO-2022-JP (as WHOIS servers in Japan answer) to UTF-8, fed as the bytes
// arrive. The shift state and a sequence cut off at the end of a piece carry
// over to the next piece, so the pieces decode exactly as their whole would.
// Bytes that are not ISO-2022-JP become U+FFFD, except CR and LF, which stay
// line ends even where a server forgot to shift back to ASCII first.
class Iso2022JpDecoder {
public:
    Iso2022JpDecoder();
    ~Iso2022JpDecoder();
    Iso2022JpDecoder(const Iso2022JpDecoder&) = delete;
    Iso2022JpDecoder& operator=(const Iso2022JpDecoder&) = delete;

    // Appends the UTF-8 form of what `chunk` completes.
    void decode(std::string_view chunk, std::string& out);
    // Appends what is left over at the end of the text (a cut-off sequence
    // becomes U+FFFD) and starts over in ASCII.
    void finish(std::string& out);
    // Forgets everything, for a new text.
    void reset();

private:
    void convert(std::string& out, bool atEnd);

    void* handle_ = nullptr;
    std::string pending_;  // bytes of a sequence not complete yet
};

}  // namespace brevadin
