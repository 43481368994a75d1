// Sort, filter and find over a 1,000,000-row tab: the typed sort on text,
// number and NCSA date columns, the grown filter language, and a find that
// has to pass every cell. Prints each figure next to its target.
//
//   bench_query [--rows N]

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "bench/benchrandom.h"
#include "logdata/recordset.h"
#include "logdata/rowquery.h"

using namespace brevadin;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kMaxSortMs = 300.0;
constexpr double kMaxFilterMs = 200.0;
constexpr double kMaxFindMs = 300.0;

using bench::Lcg;

// A W3C extended log of a busy site: c-ip is nearly unique per row, the
// worst case for ranking texts and for matching a find per value.
RecordsetPtr makeW3c(size_t rows) {
    static const char* const kFields[] = {"date",           "time",      "s-ip",      "cs-method",
                                          "cs-uri-stem",    "c-ip",      "sc-status", "sc-bytes",
                                          "cs(User-Agent)", "time-taken"};
    static const char* const kStems[] = {"/index.html", "/css/style.css", "/images/logo.gif",
                                         "/products/list.asp", "/download/tool.zip"};
    static const char* const kAgents[] = {"Mozilla/4.0+(compatible;+MSIE+6.0;+Windows+NT+5.1)",
                                          "Mozilla/5.0+(Windows;+U;+ja-JP;+rv:1.3)+Gecko/20030312",
                                          "Googlebot/2.1+(+http://www.googlebot.com/bot.html)"};
    static const char* const kStatus[] = {"200", "200", "304", "404", "301", "500"};
    auto t = std::make_shared<Recordset>();
    for (const char* f : kFields) t->appendField(f);
    t->open();
    t->reserveRows(rows);
    Lcg rng;
    std::vector<uint32_t> ids(std::size(kFields));
    char buf[96];
    int second = 0;
    for (size_t i = 0; i < rows; ++i) {
        second += static_cast<int>(rng.below(3));
        std::snprintf(buf, sizeof buf, "2003-05-%02d", 1 + second / 86400 % 28);
        ids[0] = t->column(0).intern(buf);
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", second / 3600 % 24, second / 60 % 60,
                      second % 60);
        ids[1] = t->column(1).intern(buf);
        ids[2] = t->column(2).intern("192.168.1.10");
        ids[3] = t->column(3).intern(rng.below(20) ? "GET" : "POST");
        ids[4] = t->column(4).intern(kStems[rng.below(std::size(kStems))]);
        std::snprintf(buf, sizeof buf, "host%u.example.ne.jp [61.%u.%u.%u]", rng.below(5000),
                      rng.below(256), rng.below(256), rng.below(256));
        ids[5] = t->column(5).intern(buf);
        ids[6] = t->column(6).intern(kStatus[rng.below(std::size(kStatus))]);
        std::snprintf(buf, sizeof buf, "%u", rng.below(60000));
        ids[7] = t->column(7).intern(rng.below(50) ? buf : "-");
        ids[8] = t->column(8).intern(kAgents[rng.below(std::size(kAgents))]);
        std::snprintf(buf, sizeof buf, "%u", rng.below(900));
        ids[9] = t->column(9).intern(buf);
        t->appendRowIds(ids.data());
    }
    return t;
}

// NCSA rows whose Date is a distinct second each, in two zones.
RecordsetPtr makeNcsa(size_t rows) {
    auto t = std::make_shared<Recordset>();
    for (const char* f : {"Host", "Date", "Status"}) t->appendField(f);
    t->open();
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    Lcg rng;
    uint32_t ids[3];
    char buf[64];
    for (size_t i = 0; i < rows; ++i) {
        const uint32_t s = rng.below(86400 * 28);
        std::snprintf(buf, sizeof buf, "%02u/%s/2000:%02u:%02u:%02u %s", 1 + s / 86400,
                      kMonths[i % 12], s / 3600 % 24, s / 60 % 60, s % 60,
                      i % 3 ? "+0900" : "-0700");
        ids[1] = t->column(1).intern(buf);
        std::snprintf(buf, sizeof buf, "10.0.%u.%u", rng.below(256), rng.below(256));
        ids[0] = t->column(0).intern(buf);
        ids[2] = t->column(2).intern(rng.below(9) ? "200" : "404");
        t->appendRowIds(ids);
    }
    return t;
}

// The newest-first order a tab opens with.
std::vector<uint32_t> newestFirst(const Recordset& t) {
    std::vector<uint32_t> rows(t.storedRowCount());
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint32_t>(rows.size() - 1 - i);
    return rows;
}

double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

double lastCpuMs = 0;

// The best of three runs: other work on a shared machine only ever adds.
// The processor time of the best run is kept too, for a loaded machine.
double timeMs(const std::function<void()>& work) {
    double best = 1e300;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        const double cpu = cpuMs();
        work();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (ms < best) {
            best = ms;
            lastCpuMs = cpuMs() - cpu;
        }
    }
    return best;
}

bool report(const char* what, double ms, double target) {
    const bool ok = ms <= target;
    std::printf("%-44s %7.1f ms (cpu %6.1f)   target <= %.0f ms   %s\n", what, ms, lastCpuMs,
                target, ok ? "ok" : "MISSED");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    size_t rows = 1000000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0 && i + 1 < argc) {
            rows = std::strtoull(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "usage: bench_query [--rows N]\n");
            return 2;
        }
    }
    RecordsetPtr w3c = makeW3c(rows);
    RecordsetPtr ncsa = makeNcsa(rows);
    std::printf("tables          %zu rows; c-ip %zu distinct, Date %zu distinct\n", rows,
                w3c->column(5).distinctCount(), ncsa->column(1).distinctCount());
    bool ok = true;

    const struct {
        const char* what;
        const Recordset* table;
        std::vector<SortKey> keys;
    } sorts[] = {
        {"sort c-ip (text)", w3c.get(), {{5, false}}},
        {"sort sc-bytes desc (number, \"-\")", w3c.get(), {{7, true}}},
        {"sort sc-status, time-taken (numbers)", w3c.get(), {{6, false}, {9, false}}},
        {"sort NCSA Date (moment with zone)", ncsa.get(), {{1, false}}},
    };
    for (const auto& s : sorts) {
        const std::vector<uint32_t> start = newestFirst(*s.table);
        std::vector<uint32_t> order;
        ok &= report(s.what, timeMs([&] {
                         order = start;
                         sortRowsTyped(*s.table, order, s.keys);
                     }),
                     kMaxSortMs);
    }

    for (const char* expr : {"sc-status >= 400 and [cs(User-Agent)] like '*bot*'",
                             "c-ip like '*[61.1*' or not (cs-uri-stem = '/index.html')",
                             "NOT sc-bytes < 1000 AND time-taken <= 300"}) {
        const std::vector<uint32_t> order = newestFirst(*w3c);
        size_t kept = 0;
        const double ms = timeMs([&] {
            ParsedQuery q = parseRowQuery(expr, *w3c);
            kept = filterRows(*w3c, order, q.query.get()).size();
        });
        const std::string what = "filter (" + std::to_string(kept) + " kept) " + expr;
        ok &= report(what.substr(0, 44).c_str(), ms, kMaxFilterMs);
    }

    // The only match is the cell just before the start: every cell is passed.
    const std::vector<uint32_t> order = newestFirst(*w3c);
    const std::string needle(w3c->value(order[0], 5));
    for (bool matchCase : {false, true}) {
        bool found = true;
        const double ms = timeMs([&] {
            bool wrapped = false;
            auto at = findCell(*w3c, order, needle, matchCase, CellPosition{0, 5}, true, &wrapped);
            found = found && at && at->viewRow == 0 && at->column == 5 && wrapped;
        });
        if (!found) {
            std::printf("find did not come round to its start\n");
            ok = false;
        }
        ok &=
            report(matchCase ? "find all cells, case" : "find all cells, any case", ms, kMaxFindMs);
    }
    return ok ? 0 : 1;
}
