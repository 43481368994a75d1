// Per-format line cutting: where a value's edges are easy to get wrong.

#include "logdata/linesplit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logdata/logreader.h"

namespace brevadin {
namespace {

// "<a><b>": an empty piece stays visible, and no piece at all gives "".
std::string show(const std::vector<std::string_view>& pieces) {
    std::string out;
    for (std::string_view p : pieces) ((out += '<') += p) += '>';
    return out;
}

TEST(LineSplit, W3cValues) {
    const struct {
        const char* line;
        const char* want;
    } cases[] = {
        {"a b  c", "<a><b><c>"},
        {"  a b ", "<><a><b><>"},
        {"a\t\tb \t c", "<a><b><c>"},
        {"\"x y\" z", "<x y><z>"},
        {"\"say \"\"hi\"\"\" z", "<say \"hi\"><z>"},
        {"a\"b c", "<a\"b><c>"},
        {"\"a\"b\" c", "<a\"b><c>"},
        {"\"un closed", "<un closed>"},
        {"\"\" x", "<><x>"},
        {"\"\"", "<>"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string line = c.line;
        std::vector<std::string_view> quoted;
        splitW3cQuoted(line.data(), line.size(), quoted);
        EXPECT_EQ(show(quoted), c.want) << c.line;
        // Blocks without quotes or TABs take the quick way: it must cut alike.
        if (std::string_view(c.line).find_first_of("\"\t") == std::string_view::npos) {
            std::vector<std::string_view> plain;
            splitW3cPlain(c.line, plain);
            EXPECT_EQ(show(plain), c.want) << c.line;
        }
    }
}

TEST(LineSplit, IisValues) {
    const struct {
        const char* line;
        const char* want;
    } cases[] = {
        {"a, b,c, d,  ", "<a><b,c><d>"},
        {"a, , b,", "<a><><b>"},
        {",", ""},
        {"1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, /t, q=1, r=2,",
         "<1><2><3><4><5><6><7><8><9><10><11><12><13></t?q=1, r=2>"},
        {"1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, /t, -,",
         "<1><2><3><4><5><6><7><8><9><10><11><12><13></t>"},
    };
    for (const auto& c : cases) {
        std::vector<std::string_view> values;
        std::string joined;
        splitIis(c.line, values);
        joinIisQuery(values, joined);
        EXPECT_EQ(show(values), c.want) << c.line;
    }
}

TEST(LineSplit, NcsaLayouts) {
    const std::string head = "1.2.3.4 - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 5";
    const std::string common =
        "<1.2.3.4><-><-><10/Oct/2000:13:55:36 -0700><GET / HTTP/1.0><200><5>";
    const struct {
        std::string line;
        std::string want;
        size_t names;  // in the field list afterwards
    } cases[] = {
        {head, common, 7},
        {head + " \"http://r/\" \"Moz \\\"x\\\" y\"", common + "<http://r/><Moz \\\"x\\\" y>", 9},
        {head + " \"r\" \"ua\" \"10.0.0.9\"", common + "<r><ua><10.0.0.9>", 10},
        {head + " \"r\" \"ua\" 0.123", common + "<r><ua><0.123>", 10},
        {head + " 0.123", common + "<0.123>", 8},
        {"www.example.com:80 " + head, common + "<www.example.com:80>", 8},
        {"10.0.0.2, 10.0.0.1 - - [d] \"GET  /\"   200 5",
         "<10.0.0.2, 10.0.0.1><-><-><d><GET /><200><5>", 7},
        {"1.2.3.4 - - [10/Oct", "<1.2.3.4><-><-><10/Oct><><><>", 7},
        {"a \"b c\" d", "<a><b c><d>", 7},
        {"\"a - - [d] r 1 2", "<a - - [d] r 1 2>", 7},
    };
    for (const auto& c : cases) {
        NcsaLayout layout;
        std::string trimmed;
        std::vector<std::string_view> values;
        trimSpacesInto(c.line, trimmed);
        EXPECT_EQ(layout.place(trimmed, values), c.names != 7) << c.line;
        EXPECT_EQ(show(values), c.want) << c.line;
        EXPECT_EQ(splitAtSpaces(layout.fieldList()).size(), c.names) << c.line;
    }
}

}  // namespace
}  // namespace brevadin
