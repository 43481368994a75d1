#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/apperror.h"

namespace brevadin {

// Text assembly with an automatic separator: Append puts AutoSeparater
// between pieces but never before the first one, so a list joins without
// special-casing its first element.
//
// Header-only on purpose: the log core (content-type filter) uses it, and the
// core must not link the export library.
//
// Positions and lengths count characters, not bytes: the text is UTF-8 and a
// character is one code point, so Remove, Insert and setLength never cut a
// Japanese character in half. A malformed byte counts as a character of its
// own. Operations that fail change nothing and throw
// AppError(9999, "StringBuilder", "ArgumentOutOfRangeException").
class StringBuilder {
public:
    StringBuilder() = default;

    const std::string& AutoSeparater() const { return separator_; }
    void setAutoSeparater(std::string_view separator) { separator_ = separator; }

    int64_t Length() const { return static_cast<int64_t>(characterCount(text_)); }

    // Pads with spaces or cuts to `length` characters.
    void setLength(int64_t length) {
        if (length < 0) outOfRange();
        int64_t current = Length();
        if (length > current) {
            text_.append(static_cast<size_t>(length - current), ' ');
        } else {
            text_.resize(byteOffset(length));
        }
    }

    // The separator is due once the text holds more than spaces: a buffer of
    // spaces only counts as empty.
    StringBuilder& Append(std::string_view value) {
        if (!separator_.empty() && text_.find_first_not_of(' ') != std::string::npos)
            text_ += separator_;
        text_ += value;
        return *this;
    }

    const std::string& ToString() const { return text_; }

    StringBuilder& Remove(int64_t startIndex, int64_t length) {
        int64_t current = Length();
        // Written so that huge arguments cannot overflow the sum.
        if (startIndex < 0 || length < 0 || startIndex > current || length > current - startIndex)
            outOfRange();
        size_t from = byteOffset(startIndex);
        size_t to = byteOffset(startIndex + length);
        text_.erase(from, to - from);
        return *this;
    }

    StringBuilder& Insert(int64_t index, std::string_view value) {
        if (index < 0 || index > Length()) outOfRange();
        text_.insert(byteOffset(index), value);
        return *this;
    }

    // Replaces every occurrence, left to right and without overlaps, comparing
    // exactly. An empty oldChar matches nothing.
    StringBuilder& Replace(std::string_view oldChar, std::string_view newChar) {
        if (oldChar.empty()) return *this;
        std::string result;
        size_t pos = 0;
        for (;;) {
            size_t hit = text_.find(oldChar, pos);
            if (hit == std::string::npos) break;
            result.append(text_, pos, hit - pos);
            result += newChar;
            pos = hit + oldChar.size();
        }
        if (pos == 0) return *this;
        result.append(text_, pos, std::string::npos);
        text_ = std::move(result);
        return *this;
    }

private:
    [[noreturn]] static void outOfRange() {
        throw AppError(9999, "StringBuilder", "ArgumentOutOfRangeException");
    }

    static bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

    // A continuation byte directly after an ASCII byte or after another
    // character's full length is malformed; it still belongs to the character
    // before it, which keeps offsets and counts consistent with each other.
    static size_t characterCount(std::string_view text) {
        size_t count = 0;
        for (size_t i = 0; i < text.size(); ++i)
            if (i == 0 || !isContinuation(text[i])) ++count;
        return count;
    }

    // Byte offset of the character at `index` (index <= Length()).
    size_t byteOffset(int64_t index) const {
        if (index <= 0) return 0;
        int64_t seen = 0;
        for (size_t i = 0; i < text_.size(); ++i) {
            if (i == 0 || !isContinuation(text_[i])) {
                if (seen == index) return i;
                ++seen;
            }
        }
        return text_.size();
    }

    std::string text_;
    std::string separator_;
};

}  // namespace brevadin
