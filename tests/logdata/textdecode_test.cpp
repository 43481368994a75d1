#include "logdata/textdecode.h"

#include <gtest/gtest.h>

namespace brevadin {
namespace {

TEST(Utf8Check, WellFormedAndMalformed) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain ascii text that is longer than a word"));
    EXPECT_TRUE(isValidUtf8("ログ ①ｱ \xf0\x9f\x98\x80"));
    EXPECT_FALSE(isValidUtf8("\x83\x65\x83\x58"));  // CP932 テス
    EXPECT_FALSE(isValidUtf8("\xc0\xaf"));          // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xe0\x80\xaf"));      // overlong
    EXPECT_FALSE(isValidUtf8("\xed\xa0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xf4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("abc\xe3\x83"));       // cut off at the end
    EXPECT_FALSE(isValidUtf8("\xbf"));              // lone continuation
}

TEST(Utf8Check, SequencesMayStraddlePieces) {
    const std::string text = "日本語のログ, 12345678 ①";
    Utf8Checker checker;
    for (char c : text) checker.feed(&c, 1);
    EXPECT_TRUE(checker.finish());

    Utf8Checker broken;
    broken.feed("\xe3\x83", 2);
    EXPECT_TRUE(broken.valid());
    EXPECT_FALSE(broken.finish());
    broken.feed("A", 1);
    EXPECT_FALSE(broken.valid());
}

TEST(Utf8Sanitize, ReplacesEachBrokenSequence) {
    std::string out;
    appendSanitizedUtf8(
        "a\xff"
        "b\xe3\x83"
        "c",
        out);
    EXPECT_EQ(out,
              "a\xef\xbf\xbd"
              "b\xef\xbf\xbd"
              "c");
    out.clear();
    appendSanitizedUtf8("ok ログ", out);
    EXPECT_EQ(out, "ok ログ");
    out.clear();
    appendSanitizedUtf8("\xe3\x83", out);
    EXPECT_EQ(out, "\xef\xbf\xbd");
}

TEST(Cp932, DecodesWindowsShiftJisAndMarksBadBytes) {
    Cp932Decoder decoder;
    ASSERT_TRUE(decoder.ok());
    std::string out = "x";
    decoder.decode("\x83\x65\x83\x58\x83\x67 \xb1 \x87\x40 \x81\x60", out);
    EXPECT_EQ(out, "xテスト ｱ ① ～");
    out.clear();
    // 0xa0 is no CP932 character; a lead byte at the very end is cut off.
    decoder.decode(
        "a\xa0"
        "b\x83",
        out);
    EXPECT_EQ(out,
              "a\xef\xbf\xbd"
              "b\xef\xbf\xbd");
}

// "ネットワーク情報" as a JPNIC answer sends it: shifted to JIS X 0208 and back.
const std::string kJisAnswer =
    "a. [\x1b$B%M%C%H%o!<%/>pJs\x1b(B] JP\r\n"
    "b. \x1b$BF|K\\\x1b(B\n";
const std::string kJisAnswerUtf8 = "a. [ネットワーク情報] JP\r\nb. 日本\n";

std::string decodeInPieces(const std::string& bytes, size_t piece) {
    Iso2022JpDecoder decoder;
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += piece)
        decoder.decode(std::string_view(bytes).substr(i, piece), out);
    decoder.finish(out);
    return out;
}

TEST(Iso2022Jp, PiecesDecodeAsTheirWhole) {
    EXPECT_EQ(decodeInPieces(kJisAnswer, kJisAnswer.size()), kJisAnswerUtf8);
    // Every cut: inside escape sequences, between the two bytes of a
    // character, right after a shift.
    for (size_t piece = 1; piece < 8; ++piece)
        EXPECT_EQ(decodeInPieces(kJisAnswer, piece), kJisAnswerUtf8) << "pieces of " << piece;
}

TEST(Iso2022Jp, BadBytesAreMarkedAndLineEndsKept) {
    // 8-bit bytes are not ISO-2022-JP; a line end inside a two-byte run (a
    // server that forgot to shift back) still ends the line.
    EXPECT_EQ(decodeInPieces("x\xff\xfey", 100), "x\xef\xbf\xbd\xef\xbf\xbdy");
    std::string unshifted = "\x1b$BF|\n";
    std::string out = decodeInPieces(unshifted, 100);
    EXPECT_EQ(out.substr(0, 3), "日");
    EXPECT_EQ(out.back(), '\n');
    EXPECT_TRUE(isValidUtf8(out));
    // A text cut off inside a character or an escape sequence ends in one
    // mark per stray byte, never in silence.
    EXPECT_EQ(decodeInPieces("ab\x1b$", 1), "ab\xef\xbf\xbd$");
    std::string cut = decodeInPieces("\x1b$BF", 1);
    EXPECT_EQ(cut, "\xef\xbf\xbd");
}

TEST(Iso2022Jp, ResetForgetsTheShiftState) {
    Iso2022JpDecoder decoder;
    std::string out;
    decoder.decode("\x1b$BF", out);
    decoder.reset();
    decoder.decode("ab", out);
    decoder.finish(out);
    EXPECT_EQ(out, "ab");
}

}  // namespace
}  // namespace brevadin
