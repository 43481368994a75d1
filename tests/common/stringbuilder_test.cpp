#include "common/stringbuilder.h"

#include <gtest/gtest.h>

namespace brevadin {
namespace {

StringBuilder withText(std::string_view text) {
    StringBuilder b;
    b.Append(text);
    return b;
}

// Runs `change` and checks that it raises the builder's one error and leaves
// the text alone.
template <class F>
void expectOutOfRange(StringBuilder& b, F change) {
    const std::string before = b.ToString();
    try {
        change(b);
        ADD_FAILURE() << "no error raised";
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), 9999);
        EXPECT_EQ(e.source(), "StringBuilder");
        EXPECT_EQ(e.description(), "ArgumentOutOfRangeException");
    }
    EXPECT_EQ(b.ToString(), before);
}

TEST(StringBuilder, SeparatorGoesBetweenPiecesOnly) {
    StringBuilder b;
    b.setAutoSeparater(" or ");
    EXPECT_EQ(b.AutoSeparater(), " or ");
    b.Append("a").Append("b").Append("c");
    EXPECT_EQ(b.ToString(), "a or b or c");

    StringBuilder spaces;
    spaces.Append("   ");
    spaces.setAutoSeparater(" or ");
    spaces.Append("x");
    EXPECT_EQ(spaces.ToString(), "   x");

    StringBuilder empty = withText("a");
    empty.setAutoSeparater(" or ");
    empty.Append("");
    EXPECT_EQ(empty.ToString(), "a or ");

    StringBuilder plain;
    plain.Append("a").Append("").Append("b");
    EXPECT_EQ(plain.ToString(), "ab");

    // Only spaces count as blank: a NUL-separated list gets its separator.
    StringBuilder nul;
    nul.setAutoSeparater(std::string_view("\0", 1));
    nul.Append("Col1=10").Append("Col2=20");
    EXPECT_EQ(nul.ToString(), std::string("Col1=10\0Col2=20", 15));
}

TEST(StringBuilder, SettingLengthPadsOrCuts) {
    StringBuilder b = withText("abc");
    b.setLength(5);
    EXPECT_EQ(b.ToString(), "abc  ");
    EXPECT_EQ(b.Length(), 5);
    b.setLength(1);
    EXPECT_EQ(b.ToString(), "a");
    b.setLength(0);
    EXPECT_EQ(b.ToString(), "");

    StringBuilder c = withText("abc");
    expectOutOfRange(c, [](StringBuilder& s) { s.setLength(-1); });
}

TEST(StringBuilder, Remove) {
    StringBuilder b = withText("abcdef");
    b.Remove(1, 2);
    EXPECT_EQ(b.ToString(), "adef");

    StringBuilder c = withText("abcdef");
    expectOutOfRange(c, [](StringBuilder& s) { s.Remove(4, 3); });
    expectOutOfRange(c, [](StringBuilder& s) { s.Remove(-1, 1); });
    expectOutOfRange(c, [](StringBuilder& s) { s.Remove(1, -1); });
    expectOutOfRange(c, [](StringBuilder& s) { s.Remove(1, INT64_MAX); });
    c.Remove(6, 0);
    EXPECT_EQ(c.ToString(), "abcdef");
    c.Remove(0, 6);
    EXPECT_EQ(c.ToString(), "");
}

TEST(StringBuilder, Insert) {
    StringBuilder b = withText("abc");
    b.Insert(0, "x");
    EXPECT_EQ(b.ToString(), "xabc");
    StringBuilder c = withText("abc");
    c.Insert(3, "x");
    EXPECT_EQ(c.ToString(), "abcx");
    expectOutOfRange(c, [](StringBuilder& s) { s.Insert(5, "x"); });
    expectOutOfRange(c, [](StringBuilder& s) { s.Insert(-1, "x"); });
}

TEST(StringBuilder, Replace) {
    StringBuilder b = withText("abcb");
    b.Replace("b", "XY");
    EXPECT_EQ(b.ToString(), "aXYcXY");
    StringBuilder overlap = withText("aaaa");
    overlap.Replace("aa", "b");
    EXPECT_EQ(overlap.ToString(), "bb");
    StringBuilder cased = withText("Bb");
    cased.Replace("b", "");
    EXPECT_EQ(cased.ToString(), "B");
    cased.Replace("", "z");
    EXPECT_EQ(cased.ToString(), "B");
}

TEST(StringBuilder, PositionsCountCharactersNotBytes) {
    StringBuilder b = withText("ログ解析");
    EXPECT_EQ(b.Length(), 4);
    b.Remove(1, 1);
    EXPECT_EQ(b.ToString(), "ロ解析");
    b.Insert(1, "グ");
    EXPECT_EQ(b.ToString(), "ログ解析");
    b.setLength(2);
    EXPECT_EQ(b.ToString(), "ログ");
    b.setLength(3);
    EXPECT_EQ(b.ToString(), "ログ ");
    expectOutOfRange(b, [](StringBuilder& s) { s.Insert(4, "x"); });
}

TEST(StringBuilder, LongTextsHaveNoSixteenBitLimit) {
    StringBuilder b;
    b.setLength(40000);
    EXPECT_EQ(b.Length(), 40000);
    b.Insert(39999, "x");
    EXPECT_EQ(b.ToString()[39999], 'x');
}

}  // namespace
}  // namespace brevadin
