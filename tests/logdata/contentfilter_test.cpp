#include "logdata/contentfilter.h"

#include <gtest/gtest.h>

#include "tests/support/tables.h"

namespace brevadin {
namespace {

using testing::Strings;

// Which requests each choice of content types lets through: the site's root
// always, a type's extensions anywhere in the stem (so "/x.html.bak" counts),
// case-sensitively; "include all" wins over everything else.
TEST(ContentFilter, KeepsTheRootAndTheChosenTypesOnly) {
    const Strings stems = {"/",      "/index.html", "/a.shtml", "/b.asp",    "/c.aspx",
                           "/d.zip", "/e.lzh",      "/f.cab",   "/g.tar.gz", "/h.mpg",
                           "/i.mov", "/j.swf",      "/k.wmv",   "/l.mp3",    "/m.mid",
                           "/n.wav", "/o.gif",      "/sub/",    "/P.HTML",   "/x.html.bak"};
    const Strings root = {"/"}, html = {"/index.html", "/a.shtml", "/x.html.bak"},
                  script = {"/b.asp", "/c.aspx"},
                  archive = {"/d.zip", "/e.lzh", "/f.cab", "/g.tar.gz"},
                  movie = {"/h.mpg", "/i.mov", "/j.swf", "/k.wmv"},
                  sound = {"/l.mp3", "/m.mid", "/n.wav"};
    const struct {
        ContentTypes types;
        std::vector<Strings> kept;
    } cases[] = {
        {{true, true, true, true, true, true}, {stems}},
        {{true, false, false, false, false, false}, {stems}},
        {{false, false, false, false, false, false}, {root}},
        {{false, true, false, false, false, false}, {root, html}},
        {{false, false, true, false, false, false}, {root, script}},
        {{false, false, false, true, false, false}, {root, archive}},
        {{false, false, false, false, true, false}, {root, movie}},
        {{false, false, false, false, false, true}, {root, sound}},
        {{false, true, true, true, true, true}, {root, html, script, archive, movie, sound}}};
    std::vector<Strings> rows;
    for (const auto& s : stems) rows.push_back({s});
    for (const auto& c : cases) {
        auto table = testing::makeTable({"cs-uri-stem"}, rows);
        table->setFilter(fncGetFilterString(c.types));
        Strings expected;
        for (const auto& s : stems)
            for (const auto& kind : c.kept)
                if (std::find(kind.begin(), kind.end(), s) != kind.end()) expected.push_back(s);
        EXPECT_EQ(testing::visibleColumn(*table, "cs-uri-stem"), expected) << table->filter();
    }
}

}  // namespace
}  // namespace brevadin
