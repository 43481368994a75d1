// The per-format line cutting over arbitrary lines. Every piece must lie in
// the text it was cut from, and the quick W3C cut must agree with the general
// one on every line it may be given (no quote, no TAB).

#include <string>
#include <vector>

#include "logdata/linesplit.h"
#include "tests/fuzz/fuzz_support.h"

using namespace brevadin;

static void inside(const std::vector<std::string_view>& pieces, std::string_view text) {
    for (std::string_view p : pieces)
        if (!p.empty() &&
            (p.data() < text.data() || p.data() + p.size() > text.data() + text.size()))
            fuzz::broken("piece outside its line", p);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string line(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> quoted, plain, iis, ncsa;
    std::string copy = line, trimmed, joined;
    splitW3cQuoted(copy.data(), copy.size(), quoted);
    inside(quoted, copy);
    if (line.find_first_of("\"\t") == std::string::npos) {
        splitW3cPlain(line, plain);
        if (plain != quoted) fuzz::broken("quick W3C cut differs", line);
    }
    splitIis(line, iis);
    inside(iis, line);
    joinIisQuery(iis, joined);
    trimSpacesInto(line, trimmed);
    NcsaLayout layout;
    for (int i = 0; i < 2; ++i) layout.place(trimmed, ncsa);
    inside(ncsa, trimmed);
    return 0;
}
