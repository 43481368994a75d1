#include "common/stringbuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace brevadin {
namespace {

using Change = std::function<void(StringBuilder&)>;

// Every change, the text it starts from and the text it leaves; no text
// after means it must raise the builder's one error and leave the text alone.
TEST(StringBuilder, EditsCountCharactersAndRefuseOutOfRangePositions) {
    const auto length = [](int64_t n) { return Change([n](StringBuilder& b) { b.setLength(n); }); };
    const auto remove = [](int64_t at, int64_t n) {
        return Change([=](StringBuilder& b) { b.Remove(at, n); });
    };
    const auto insert = [](int64_t at, std::string s) {
        return Change([=](StringBuilder& b) { b.Insert(at, s); });
    };
    const auto replace = [](std::string from, std::string to) {
        return Change([=](StringBuilder& b) { b.Replace(from, to); });
    };
    const struct {
        std::string before;
        Change change;
        std::optional<std::string> after;
    } cases[] = {{"abc", length(5), "abc  "},
                 {"abc", length(0), ""},
                 {"abc", length(-1), std::nullopt},
                 {"abcdef", remove(1, 2), "adef"},
                 {"abcdef", remove(6, 0), "abcdef"},
                 {"abcdef", remove(4, 3), std::nullopt},
                 {"abcdef", remove(-1, 1), std::nullopt},
                 {"abcdef", remove(1, -1), std::nullopt},
                 {"abcdef", remove(1, INT64_MAX), std::nullopt},
                 {"abc", insert(0, "x"), "xabc"},
                 {"abc", insert(3, "x"), "abcx"},
                 {"abc", insert(4, "x"), std::nullopt},
                 {"abc", insert(-1, "x"), std::nullopt},
                 {"abcb", replace("b", "XY"), "aXYcXY"},
                 {"aaaa", replace("aa", "b"), "bb"},
                 {"Bb", replace("b", ""), "B"},
                 {"Bb", replace("", "z"), "Bb"},
                 {"ログ解析", remove(1, 1), "ロ解析"},
                 {"ロ解析", insert(1, "グ"), "ログ解析"},
                 {"ログ解析", length(3), "ログ解"},
                 {"ログ", length(3), "ログ "},
                 {"ログ解析", insert(5, "x"), std::nullopt},
                 {std::string(40000, ' '), insert(39999, "x"), std::string(39999, ' ') + "x "}};
    for (const auto& c : cases) {
        StringBuilder b;
        b.Append(c.before);
        try {
            c.change(b);
            EXPECT_EQ(b.ToString(), c.after) << c.before;
        } catch (const AppError& e) {
            EXPECT_FALSE(c.after) << c.before << " raised";
            EXPECT_EQ(e.number(), 9999);
            EXPECT_EQ(e.source(), "StringBuilder");
            EXPECT_EQ(e.description(), "ArgumentOutOfRangeException");
            EXPECT_EQ(b.ToString(), c.before);
        }
    }
    StringBuilder b;
    b.setLength(40000);  // no 16-bit limit
    EXPECT_EQ(b.Length(), 40000);
}

TEST(StringBuilder, SeparatorGoesBetweenPiecesOnly) {
    const struct {
        std::string start, separator;
        std::vector<std::string> pieces;
        std::string result;
    } cases[] = {
        {"", " or ", {"a", "b", "c"}, "a or b or c"},
        {"   ", " or ", {"x"}, "   x"},  // blank text takes no separator
        {"a", " or ", {""}, "a or "},
        {"", "", {"a", "", "b"}, "ab"},
        // Only spaces count as blank: a NUL-separated list gets its separator.
        {"", std::string(1, '\0'), {"Col1=10", "Col2=20"}, std::string("Col1=10\0Col2=20", 15)}};
    for (const auto& c : cases) {
        StringBuilder b;
        b.Append(c.start);
        b.setAutoSeparater(c.separator);
        EXPECT_EQ(b.AutoSeparater(), c.separator);
        for (const auto& p : c.pieces) b.Append(p);
        EXPECT_EQ(b.ToString(), c.result);
        EXPECT_EQ(b.Length(), static_cast<int64_t>(c.result.size()));
    }
}

}  // namespace
}  // namespace brevadin
