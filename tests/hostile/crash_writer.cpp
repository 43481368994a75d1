// The writer the crash test kills: it saves one kind of file the program
// writes (the host-name cache, the settings, an XML or CSV export) with one
// of two fixed contents, A or B, built the same way on every run so that the
// checker knows both byte for byte.
//
//   hostile_crash_writer KIND TARGET once A|B   one save, exit 0 when it worked
//   hostile_crash_writer KIND TARGET loop A|B   saves A, B, A, ... (starting
//       with the given one) until killed; writes "R" to standard output once
//       the first content is built and "S" after every save that worked
//
// KIND is hosts, settings, xml or csv. For settings, TARGET must already hold
// the file to update: a save rewrites only its own lines of it.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "config/clsconfig.h"
#include "export/csvexport.h"
#include "export/xmlconv.h"
#include "netlookup/hostcache.h"
#include "tests/support/loadfakes.h"

namespace brevadin {
namespace {

// The cache must never ask anybody: every name it saves is already known.
class NoResolver : public Resolver {
public:
    std::string reverseLookup(const std::string&) override { return {}; }
};

std::string twoDigits(int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

RecordsetPtr hostTable(bool b) {
    auto t = std::make_shared<Recordset>();
    t->appendField("IP", FieldType::NarrowText, 50);
    t->appendField("NAME", FieldType::NarrowText, 255);
    t->appendField("UPDATED", FieldType::DateTime);
    t->appendField("CREATED", FieldType::DateTime);
    t->open();
    // The same addresses and times in both, names differing: a save merges
    // in what the file holds and the cache lacks or has older, which here is
    // nothing, so each save writes its own contents whole.
    for (int i = 0; i < 16000; ++i) {
        size_t r = t->appendRow();
        // Distinct times, so that the newest-first order of a save is fixed.
        std::string when = "2003-05-" + twoDigits(1 + i / 3600 % 28) + "T" +
                           twoDigits(i / 60 % 24) + ":" + twoDigits(i % 60) + ":" +
                           twoDigits(i / 1440 % 60);
        t->setValue(r, 0,
                    "198.18." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256));
        t->setValue(r, 1,
                    (b ? "b-host" : "a-host") + std::to_string(i) +
                        ".dynamic-pool.customer.some-regional-provider.example.ne.jp");
        t->setValue(r, 2, when);
        t->setValue(r, 3, when);
    }
    return t;
}

RecordsetPtr logTable(bool b) {
    auto t = std::make_shared<Recordset>();
    for (const char* f : {"date", "time", "c-ip", "cs-method", "cs-uri-stem", "cs(Referer)",
                          "sc-status", "sc-bytes", "cs(User-Agent)"})
        t->appendField(f);
    t->open();
    const std::string agent = b ? "Mozilla/4.0+(compatible;+MSIE+6.0;+Windows+NT+5.1)+"
                                : "Mozilla/5.0+(X11;+Linux+i686;+rv:1.4)+Gecko/20030624+";
    for (int i = 0; i < (b ? 10000 : 8000); ++i) {
        const std::string n = std::to_string(i);
        const std::string values[] = {
            b ? "2003-05-02" : "2003-05-01",
            twoDigits(i / 3600 % 24) + ":" + twoDigits(i / 60 % 60) + ":" + twoDigits(i % 60),
            "Host " + std::to_string(i % 500) + " [192.0.2." + std::to_string(i % 254) + "]",
            i % 7 ? "GET" : "POST",
            "/日本語/page" + n + (b ? ".html" : ".htm"),
            "http://search.example.jp/search?q=\"" + std::to_string(i * 7) +
                "\",'x'&y=<z>&lang=ja&ie=Shift_JIS&oe=UTF-8&sourceid=navclient&num=100&start=" +
                std::to_string(i % 977) + "&filter=0&safe=off",
            i % 13 ? "200" : "404",
            std::to_string(1000 + i * 3),
            agent + n};
        size_t r = t->appendRow();
        for (size_t c = 0; c < std::size(values); ++c) t->setValue(r, c, values[c]);
    }
    return t;
}

// Every column of a grid has the same width; the two contents differ in both.
using Widths = testing::FakeWidths;

struct Contents {
    RecordsetPtr table[2];
    std::unique_ptr<HostCache> hosts[2];
    std::unique_ptr<Widths> grid[2];
    std::unique_ptr<clsConfig> config[2];
};

// Builds content `i` (0 for A, 1 for B) unless it is built already.
void build(const std::string& kind, const std::string& target, Contents& c, int i) {
    const bool b = i == 1;
    if (kind == "hosts") {
        if (c.hosts[i]) return;
        c.hosts[i] = std::make_unique<HostCache>(std::make_shared<NoResolver>());
        c.hosts[i]->adopt(hostTable(b));
    } else if (kind == "xml" || kind == "csv") {
        if (c.table[i]) return;
        c.table[i] = logTable(b);
    } else if (kind == "settings") {
        if (c.config[i]) return;
        c.grid[i] = std::make_unique<Widths>(b ? 25000 : 20000, b ? 2000 : 1000);
        c.config[i] = std::make_unique<clsConfig>(target);
        clsConfig& s = *c.config[i];
        s.setDBGrid(c.grid[i].get());
        s.ReadPath = b ? "/var/log/httpd/日本語" : "/var/log/iis";
        s.TimeDiff = b ? -5 : 9;
        bool* flags[] = {&s.IncludeAll,     &s.IncludeHTML,  &s.IncludeScript,
                         &s.IncludeArchive, &s.IncludeMovie, &s.IncludeSound};
        for (int f = 0; f < 6; ++f) *flags[f] = (f % 2 == 1) == b;
        s.LogType = b ? 1 : 2;
    }
}

bool save(const std::string& kind, const std::string& target, Contents& c, int which) {
    build(kind, target, c, which);
    std::string error;
    bool ok = false;
    if (kind == "hosts") ok = c.hosts[which]->save(target, &error);
    if (kind == "xml") ok = fncSaveRecordsetToXml(*c.table[which], target, &error);
    if (kind == "csv") ok = saveRecordsetToCsv(*c.table[which], target, &error);
    if (kind == "settings") ok = c.config[which]->Save(&error);
    if (!ok) std::fprintf(stderr, "hostile_crash_writer: %s\n", error.c_str());
    return ok;
}

void say(char c) {
    while (::write(STDOUT_FILENO, &c, 1) < 0 && errno == EINTR) {
    }
}

}  // namespace
}  // namespace brevadin

int main(int argc, char** argv) {
    using namespace brevadin;
    if (argc != 5 || (std::strcmp(argv[4], "A") != 0 && std::strcmp(argv[4], "B") != 0)) {
        std::fprintf(stderr, "usage: hostile_crash_writer KIND TARGET once|loop A|B\n");
        return 2;
    }
    const std::string kind = argv[1], target = argv[2], mode = argv[3];
    int which = argv[4][0] == 'B' ? 1 : 0;
    Contents contents;
    if (mode == "once") return save(kind, target, contents, which) ? 0 : 1;
    if (mode != "loop") return 2;
    // Only the first content is made before the kills may begin; the other
    // is made after the first save, where kills are rarer.
    build(kind, target, contents, which);
    say('R');
    for (;;) {
        if (!save(kind, target, contents, which)) return 1;
        say('S');
        which = 1 - which;
    }
}
