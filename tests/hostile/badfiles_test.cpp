// The program's own files in a state nobody wrote them in: stored tables
// with entities, document types and absurd nesting, a host-name cache cut
// off in the middle, and a settings file grown to a hundred thousand lines.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <vector>

#include "config/clsconfig.h"
#include "export/xmlconv.h"
#include "netlookup/hostcache.h"
#include "tests/support/fakeresolver.h"
#include "tests/support/loadfakes.h"
#include "tests/support/tables.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

// --- stored tables ----------------------------------------------------------------

// A stored table of the fields IP and NAME as this program writes it, with
// the given rows and something before it.
std::string table(const std::string& data, const std::string& prolog = "") {
    static const std::string head = [] {
        TempFolder dir;
        EXPECT_TRUE(fncSaveRecordsetToXml(*testing::makeTable({"IP", "NAME"}, {}), dir.file("t")));
        const std::string doc = readFile(dir.file("t"));
        return doc.substr(0, doc.find("<rs:data>"));
    }();
    return prolog + head + "<rs:data>\r\n" + data + "</rs:data>\r\n</xml>";
}

std::string row(const std::string& ip, const std::string& name) {
    return "\t<z:row IP='" + ip + "' NAME='" + name + "'/>\r\n";
}

std::string nested(int depth) {
    std::string out;
    for (int i = 0; i < depth; ++i) out += "<a>";
    for (int i = 0; i < depth; ++i) out += "</a>";
    return out;
}

// Nine levels of entities, each ten of the one below.
std::string billionLaughs() {
    std::string out = "<?xml version='1.0'?>\r\n<!DOCTYPE xml [\r\n<!ENTITY lol 'lol'>\r\n";
    for (int level = 1; level <= 9; ++level) {
        const std::string below = "&lol" + (level > 1 ? std::to_string(level - 1) : "") + ";";
        out += "<!ENTITY lol" + std::to_string(level) + " '";
        for (int i = 0; i < 10; ++i) out += below;
        out += "'>\r\n";
    }
    return out + "]>\r\n";
}

struct XmlCase {
    std::string name;
    std::string document;
    std::vector<std::vector<std::string>> rows;  // IP, NAME of each row; none: refused
};

std::vector<XmlCase> xmlCases() {
    const std::string one = row("192.0.2.1", "one"), two = row("192.0.2.2", "two");
    std::string fieldEntity = table(one);
    fieldEntity.replace(fieldEntity.find("name='NAME'"), 11, "name='&name;'");
    const std::string open = table(one);
    return {
        // The well-formed references, so that refusing the others is no accident.
        {"PredefinedEntitiesAndCharacterReferences",
         table(row("a&amp;b", "&lt;&gt;&quot;&apos;&#x41;&#66;&#x65e5;&#x1F600;")),
         {{"a&b", "<>\"'AB日\xf0\x9f\x98\x80"}}},
        {"UndeclaredEntityInAValue", table(one + row("192.0.2.2", "&nbsp;two"))},
        {"UndeclaredEntityInAFieldName", fieldEntity},
        {"AmpersandThatStartsNoReference", table(row("192.0.2.1", "AT&T"))},
        {"ReferenceToNoCharacter", table(row("192.0.2.1", "&#xD800;"))},
        {"ReferenceBeyondUnicode", table(row("192.0.2.1", "&#x110000;"))},
        // Entities are not expanded at all, so the nine levels cost nothing; the
        // document type alone makes it no stored table.
        {"BillionLaughs", table(row("192.0.2.1", "&lol9;"), billionLaughs())},
        {"ExternalEntity",
         table(row("192.0.2.1", "&secret;"),
               "<!DOCTYPE xml [<!ENTITY secret SYSTEM 'file:///etc/passwd'>]>\r\n")},
        {"DocumentTypeWithoutEntities", table(one, "<!DOCTYPE xml>\r\n")},
        // Elements a stored table does not have are passed over, however deep.
        {"HundredThousandLevelsBetweenRows",
         table(one + nested(100000) + two),
         {{"192.0.2.1", "one"}, {"192.0.2.2", "two"}}},
        {"HundredThousandLevelsNeverClosed",
         open.substr(0, open.find("</rs:data>")) + nested(100000).substr(0, 300000)},
        {"HundredThousandLevelsAsTheWholeDocument", nested(100000)},
    };
}

const std::vector<XmlCase>& allXmlCases() {
    static const std::vector<XmlCase> list = xmlCases();
    return list;
}

class BadStoredTable : public ::testing::TestWithParam<size_t> {};

TEST_P(BadStoredTable, LoadsOnlyWhatIsWellFormed) {
    const XmlCase& c = allXmlCases()[GetParam()];
    TempFolder dir;
    RecordsetPtr t = fncGetRecordsetFromXml(dir.write("table.xml", c.document));
    ASSERT_EQ(t != nullptr, !c.rows.empty());
    if (!t) return;
    ASSERT_EQ(t->fieldCount(), 2u);
    EXPECT_EQ(t->fields()[1].name, "NAME");
    ASSERT_EQ(t->storedRowCount(), c.rows.size());
    for (size_t r = 0; r < c.rows.size(); ++r) {
        EXPECT_EQ(t->value(r, 0), c.rows[r][0]) << r;
        EXPECT_EQ(t->value(r, 1), c.rows[r][1]) << r;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BadStoredTable, ::testing::Range<size_t>(0, allXmlCases().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                             return allXmlCases()[info.param].name;
                         });

// A table of 100,000 fields whose names need aliases that clash with plain
// names, in rows naming few of them: written and read back whole (both ways
// once took time quadratic in the fields); markup in a name and control
// characters and markup in a value read back through the strict references.
TEST(BadStoredTable, HundredThousandFieldsReadBack) {
    TempFolder dir;
    Recordset t;
    const size_t n = 100000;
    auto name = [](size_t i) {
        return i == 2 ? "a&b <c>" : i % 2 ? "c" + std::to_string(i - 1) : "f " + std::to_string(i);
    };
    const std::string odd = "tab\tcr\rlf\n&amp; 'q' \"d\" \x01\x1f";
    for (size_t i = 0; i < n; ++i) t.appendField(name(i));
    t.open();
    t.appendRow();
    const size_t r = t.appendRow();
    for (size_t c : {size_t{0}, size_t{50001}, n - 1}) t.setValue(r, c, c ? name(c) : odd);
    ASSERT_TRUE(fncSaveRecordsetToXml(t, dir.file("t.xml")));
    RecordsetPtr back = fncGetRecordsetFromXml(dir.file("t.xml"));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->fieldCount(), n);
    ASSERT_EQ(back->storedRowCount(), 2u);
    for (size_t c : {size_t{0}, size_t{1}, size_t{2}, size_t{50001}, n - 1}) {
        EXPECT_EQ(back->fields()[c].name, name(c));
        EXPECT_EQ(back->value(0, c), "") << c;
        EXPECT_EQ(back->value(1, c), c == 0 ? odd : c == 50001 || c == n - 1 ? name(c) : "") << c;
    }
}

// --- the host-name cache file -------------------------------------------------------

// A stored table cut off in the middle.
std::string cutTable() {
    const std::string whole = table(row("198.18.0.1", "host0.example") + row("::1", "x"));
    return whole.substr(0, whole.size() / 2);
}

class BadHostsFile : public ::testing::Test {
protected:
    void SetUp() override { path_ = dir_.file("hosts.xml"); }

    // The cache serves and remembers: a known name at once, a new one through
    // the resolver, and a save that a fresh start reads back.
    void expectUsable(HostCache& cache) {
        std::string name;
        EXPECT_TRUE(cache.findOrStart("127.0.0.1", name));
        EXPECT_EQ(name, "Local Host");
        fake_->answer("192.0.2.7", "seven.example");
        EXPECT_EQ(cache.fncGetHostName("192.0.2.7"), "seven.example [192.0.2.7]");
    }

    bool loadsAsCache(const std::string& path, size_t rows) {
        RecordsetPtr t = fncGetRecordsetFromXml(path);
        return t && t->fieldIndex("IP") >= 0 && t->storedRowCount() == rows;
    }

    TempFolder dir_;
    std::string path_;
    std::shared_ptr<testing::FakeResolver> fake_ = std::make_shared<testing::FakeResolver>();
};

// Two processes share one cache file and save it at the same moments, three
// times each: every address either of them learned is in the file at the end.
TEST_F(BadHostsFile, TwoProcessesSavingAtOnceKeepEachOthersAddresses) {
    const int perWriter = 3000;
    auto address = [](int writer, int i) {
        return "198." + std::to_string(18 + writer) + "." + std::to_string(i / 256) + "." +
               std::to_string(i % 256);
    };
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    pid_t children[2];
    for (int writer = 0; writer < 2; ++writer) {
        children[writer] = ::fork();
        ASSERT_GE(children[writer], 0);
        if (children[writer] != 0) continue;
        ::close(go[1]);
        auto resolver = std::make_shared<testing::FakeResolver>();
        for (int i = 0; i < perWriter; ++i) resolver->answer(address(writer, i), "h.example");
        HostCache cache(resolver);
        cache.load(path_);
        char byte;
        bool ok = ::read(go[0], &byte, 1) == 0;  // all start when the parent closes the pipe
        for (int batch = 0; batch < 3; ++batch) {
            std::string name;
            for (int i = batch * perWriter / 3; i < (batch + 1) * perWriter / 3; ++i)
                cache.findOrStart(address(writer, i), name);
            cache.finishLookups(nullptr, false);
            ok = cache.save(path_).ok() && ok;
        }
        ::_exit(ok ? 0 : 1);
    }
    ::close(go[0]);
    ::close(go[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    RecordsetPtr saved = fncGetRecordsetFromXml(path_);
    ASSERT_TRUE(saved);
    std::set<std::string> addresses;
    for (size_t r = 0; r < saved->storedRowCount(); ++r)
        addresses.emplace(saved->value(r, static_cast<size_t>(saved->fieldIndex("IP"))));
    for (int writer = 0; writer < 2; ++writer) {
        int kept = 0;
        for (int i = 0; i < perWriter; ++i) kept += addresses.count(address(writer, i)) ? 1 : 0;
        EXPECT_EQ(kept, perWriter) << "writer " << writer;
    }
    EXPECT_EQ(addresses.count("127.0.0.1"), 1u);
}

// An unreadable file, or a stored table of another shape, is kept aside as
// the one .bad file, the latest, and a fresh cache takes its place; an empty
// file keeps nothing, so that it never destroys what an earlier repair kept.
// All through a link: what is kept aside is its target, and the link stays.
TEST_F(BadHostsFile, UnreadableFilesAreKeptAsideAndTheCacheStartsAfresh) {
    const std::string cut = cutTable();
    ASSERT_TRUE(fncSaveRecordsetToXml(*testing::makeTable({"SVNAME"}, {{"x"}}), dir_.file("o")));
    const std::string foreign = readFile(dir_.file("o"));
    const std::string link = dir_.file("link.xml");
    ASSERT_EQ(::symlink("hosts.xml", link.c_str()), 0);
    const struct {
        const char* name;
        std::string bad, file, badAfter;  // .bad before, the file, .bad after
    } cases[] = {
        {"a later unreadable one", "older", cut, cut},
        {"an empty one", cut, "", cut},
        {"a table of another shape", "", foreign, foreign},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.bad.empty()) writeFile(path_ + ".bad", c.bad);
        writeFile(path_, c.file);
        HostCache cache(fake_);
        const auto [read, fresh] = cache.load(link);
        EXPECT_EQ(read, HostCache::LoadResult::Repaired);
        EXPECT_TRUE(fresh) << fresh.description();
        EXPECT_EQ(readFile(path_ + ".bad"), c.badAfter);
        EXPECT_TRUE(loadsAsCache(path_, 1));  // the loop-back row only
        expectUsable(cache);

        const Outcome saved = cache.save(link);
        ASSERT_TRUE(saved) << saved.description();
        EXPECT_EQ(readFile(path_ + ".bad"), c.badAfter);  // the save leaves the kept file alone
        HostCache next(fake_);
        EXPECT_EQ(next.load(link).value, HostCache::LoadResult::Loaded);
        EXPECT_EQ(next.fncGetHostName("192.0.2.7"), "seven.example [192.0.2.7]");
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        std::filesystem::remove(path_ + ".bad");
    }
    EXPECT_EQ(fake_->calls("192.0.2.7"), static_cast<int>(std::size(cases)));
}

TEST_F(BadHostsFile, AFileThatCannotBeKeptIsNeverWrittenOver) {
    const std::string cut = cutTable();
    writeFile(path_, cut);
    // Something the rename cannot replace sits where the kept file would go.
    std::filesystem::create_directories(path_ + ".bad/inside");
    HostCache cache(fake_);
    const auto [read, kept] = cache.load(path_);
    EXPECT_EQ(read, HostCache::LoadResult::Repaired);
    EXPECT_EQ(kept.description(), path_ + ": " + path_ + ".bad として退避できませんでした");
    EXPECT_EQ(readFile(path_), cut);
    expectUsable(cache);  // from memory

    // The shutdown save must not destroy the only copy either.
    const Outcome refused = cache.save(path_);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.description(), path_ + ": 読めなかったファイルを " + path_ +
                                         ".bad として退避できないため、上書きしません");
    EXPECT_EQ(readFile(path_), cut);
    // A save elsewhere is not held back.
    EXPECT_TRUE(cache.save(dir_.file("other.xml")));

    // Once the way is clear, the next save keeps the file first.
    std::filesystem::remove_all(path_ + ".bad");
    ASSERT_TRUE(cache.save(path_));
    EXPECT_EQ(readFile(path_ + ".bad"), cut);
    EXPECT_TRUE(loadsAsCache(path_, 2));
}

// --- the settings file --------------------------------------------------------------

using Widths = testing::FakeWidths;

std::string settingsSection(const std::string& readPath, int timeDiff, const std::string& all,
                            int logType) {
    return "[brevadin]\nReadPath=" + readPath + "\nTimeDiff=" + std::to_string(timeDiff) +
           "\nIncAll=" + all +
           "\nIncHtml=False\nIncScript=True\nIncArc=False\nIncMovie=True\n"
           "IncSound=False\nLogType=" +
           std::to_string(logType) + "\n";
}

// A hundred thousand lines of other sections before the program's own: only
// what the 256-character buffer holds of the width section is read (a
// documented choice, as is column 0 taking the minimum from the buffer's empty
// pieces); the save rewrites only its own lines, and saving again adds nothing
// twice. Each width section is cut by the buffer at a different place.
TEST(BadSettingsFile, HundredThousandLinesLoadAndSaveOnlyTheirOwn) {
    std::string others = "; hand-kept file\n", insideAnEntry = "[ColWidth]\n";
    for (int s = 0; s < 10000; ++s) {
        others += "[Other" + std::to_string(s) + "]\n";
        for (int k = 0; k < 8; ++k)
            others += "Key" + std::to_string(k) + "=value " + std::to_string(s) + "\n";
        others += "\n";
        insideAnEntry += "Col" + std::to_string(s) + "=" + std::to_string(100 + s) + "\n";
    }
    // Nine entries of 8 characters, fifteen of 9 and one of 22, each with its
    // NUL, fill exactly the 254 characters before the two closing NULs.
    std::string betweenEntries = "[ColWidth]\n";
    for (int i = 1; i <= 24; ++i)
        betweenEntries +=
            "Col" + std::to_string(i) + "=" + std::to_string(i < 10 ? 100 + i * 10 : i * 10) + "\n";
    betweenEntries += "Col25=7777777777777777\nCol26=900\n";
    const struct {
        const char* name;
        std::string widths;
        std::function<int64_t(int64_t)> expected;
    } cases[] = {
        {"between entries", betweenEntries,
         [](int64_t i) {
             return i == 0    ? 50
                    : i == 25 ? 7777777777777777
                    : i > 25  ? 1200
                    : i < 10  ? 100 + i * 10
                              : i * 10;
         }},
        // Ten entries "Col0=100" ... of 9 characters with their NUL, then ones
        // of 10: the buffer ends with "Col2" of "Col26=126", so column 2 keeps
        // its own width and column 26 its old one.
        {"inside an entry", insideAnEntry,
         [](int64_t i) { return i == 0    ? 50
                                : i <= 25 ? 100 + i
                                          : 1200; }},
    };
    for (const auto& w : cases) {
        SCOPED_TRACE(w.name);
        TempFolder dir;
        const std::string path = dir.write(
            "brevadin.ini", others + settingsSection("/var/log/日本語", -5, "False", 1) + w.widths);
        Widths grid(10000);
        clsConfig c(path);
        c.setDBGrid(&grid);
        c.Load();
        for (size_t i = 0; i < grid.w.size(); ++i)
            ASSERT_EQ(grid.w[i], w.expected(int64_t(i))) << i;
        EXPECT_EQ(c.ReadPath, "/var/log/日本語");
        EXPECT_EQ(c.TimeDiff, -5);
        EXPECT_FALSE(c.IncludeAll);
        EXPECT_TRUE(c.IncludeScript);
        EXPECT_EQ(c.LogType, 1);

        grid.w = {700, 800, 900};
        c.ReadPath = "/new";
        c.TimeDiff = 3;
        c.LogType = 0;
        const std::string expected = others + settingsSection("/new", 3, "False", 0) +
                                     "[ColWidth]\nCol0=700\nCol1=800\nCol2=900\n";
        for (int save = 0; save < 2; ++save) {
            ASSERT_TRUE(c.Save());
            ASSERT_EQ(readFile(path).size(), expected.size());
            EXPECT_TRUE(readFile(path) == expected);
        }
    }
}

}  // namespace
}  // namespace brevadin
