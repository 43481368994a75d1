#include "logdata/textdecode.h"

#include <gtest/gtest.h>

namespace brevadin {
namespace {

const std::string kMark = "\xef\xbf\xbd";  // U+FFFD

TEST(Utf8, CheckWholeAndInPiecesAndMarkEachBrokenSequence) {
    const struct {
        std::string text;
        std::string sanitized;  // "": the text is valid UTF-8
    } cases[] = {
        {"", ""},
        {"plain ascii text that is longer than a word", ""},
        {"ログ ①ｱ \xf0\x9f\x98\x80", ""},
        {"\x83\x65", kMark + "e"},                            // CP932 テ
        {"\xc0\xaf", kMark + kMark},                          // overlong "/"
        {"\xe0\x80\xaf", kMark + kMark + kMark},              // overlong
        {"\xed\xa0\x80", kMark + kMark + kMark},              // surrogate
        {"\xf4\x90\x80\x80", kMark + kMark + kMark + kMark},  // above U+10FFFF
        {"abc\xe3\x83", "abc" + kMark},                       // cut off at the end
        {"\xbf", kMark},                                      // lone continuation
        {"a\xff"
         "b\xe3\x83"
         "c",
         "a" + kMark + "b" + kMark + "c"},
    };
    for (const auto& c : cases) {
        const bool valid = c.sanitized.empty();
        EXPECT_EQ(isValidUtf8(c.text), valid) << c.text;
        Utf8Checker checker;  // one byte at a time: sequences straddle pieces
        for (char ch : c.text) checker.feed(&ch, 1);
        EXPECT_EQ(checker.finish(), valid) << c.text;
        std::string out;
        appendSanitizedUtf8(c.text, out);
        EXPECT_EQ(out, valid ? c.text : c.sanitized);
    }
    // A cut sequence is still valid until something other than its rest follows.
    Utf8Checker broken;
    broken.feed("\xe3\x83", 2);
    EXPECT_TRUE(broken.valid());
    broken.feed("A", 1);
    EXPECT_FALSE(broken.valid());
}

std::string decodeInPieces(const std::string& bytes, size_t piece) {
    Iso2022JpDecoder decoder;
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += piece)
        decoder.decode(std::string_view(bytes).substr(i, piece), out);
    decoder.finish(out);
    return out;
}

TEST(Iso2022Jp, EveryCutDecodesAsTheWhole) {
    const struct {
        std::string bytes, utf8;
    } cases[] = {
        // "ネットワーク情報" as a JPNIC answer sends it: shifted to JIS X 0208 and back.
        {"a. [\x1b$B%M%C%H%o!<%/>pJs\x1b(B] JP\r\nb. \x1b$BF|K\\\x1b(B\n",
         "a. [ネットワーク情報] JP\r\nb. 日本\n"},
        // 8-bit bytes are not ISO-2022-JP.
        {"x\xff\xfey", "x" + kMark + kMark + "y"},
        // A line end inside a two-byte run (a server that forgot to shift
        // back) still ends the line.
        {"\x1b$BF|\n", "日\n"},
        // A text cut off inside a character or an escape sequence ends in one
        // mark per stray byte, never in silence.
        {"ab\x1b$", "ab" + kMark + "$"},
        {"\x1b$BF", kMark},
    };
    // Cuts inside escape sequences, between the two bytes of a character,
    // right after a shift.
    for (const auto& c : cases)
        for (size_t piece = 1; piece < 8; ++piece)
            EXPECT_EQ(decodeInPieces(c.bytes, piece), c.utf8)
                << c.utf8 << " in pieces of " << piece;
}

}  // namespace
}  // namespace brevadin
