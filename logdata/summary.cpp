#include "logdata/summary.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <initializer_list>
#include <unordered_map>

#include "logdata/rowquery.h"
#include "logdata/timeshift.h"

namespace brevadin {
namespace {

constexpr int64_t kNoMoment = INT64_MIN;
// Past this many hours (over a century) the series would be a misread year's
// artefact and cost memory for nothing.
constexpr int64_t kMaxHourSpan = 1000000;

enum class MomentKind { None, W3c, Ncsa, Iis };
enum class PathKind { Stem, Request, Target };

// Which field of the table plays each part; -1 where it has none.
struct Roles {
    int client = -1, path = -1, status = -1, bytes = -1, referrer = -1, agent = -1;
    int date = -1, time = -1;
    MomentKind moment = MomentKind::None;
    PathKind pathKind = PathKind::Stem;
};

int firstField(const Recordset& t, std::initializer_list<std::string_view> names) {
    for (std::string_view n : names)
        if (int i = t.fieldIndex(n); i >= 0) return i;
    return -1;
}

Roles rolesOf(const Recordset& t) {
    Roles r;
    r.client = firstField(t, {"c-ip", "Host", "ユーザーのIPアドレス"});
    r.status = firstField(t, {"sc-status", "Status", "サービスのステータスコード"});
    r.bytes = firstField(t, {"sc-bytes", "Byte", "送信バイト数"});
    r.referrer = firstField(t, {"cs(Referer)"});
    r.agent = firstField(t, {"cs(User-Agent)"});
    if ((r.path = t.fieldIndex("cs-uri-stem")) < 0) {
        if ((r.path = t.fieldIndex("Request")) >= 0)
            r.pathKind = PathKind::Request;
        else if ((r.path = t.fieldIndex("操作の対象")) >= 0)
            r.pathKind = PathKind::Target;
    }
    // Every loaded table has a "date" (W3C's); NCSA and IIS tables leave it
    // empty and carry their own moment fields.
    if ((r.date = t.fieldIndex("Date")) >= 0) {
        r.moment = MomentKind::Ncsa;
    } else if ((r.date = t.fieldIndex("日付")) >= 0 && (r.time = t.fieldIndex("時刻")) >= 0) {
        r.moment = MomentKind::Iis;
    } else if ((r.date = t.fieldIndex("date")) >= 0 && (r.time = t.fieldIndex("time")) >= 0) {
        r.moment = MomentKind::W3c;
    }
    return r;
}

bool digitsAt(std::string_view v, size_t pos, size_t n, int* out) {
    if (v.size() < pos + n) return false;
    int x = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (v[i] < '0' || v[i] > '9') return false;
        x = x * 10 + (v[i] - '0');
    }
    *out = x;
    return true;
}

// W3C "2003-05-01": days since 1970.
int64_t w3cDay(std::string_view v) {
    int y, m, d;
    if (v.size() != 10 || v[4] != '-' || v[7] != '-' || !digitsAt(v, 0, 4, &y) ||
        !digitsAt(v, 5, 2, &m) || !digitsAt(v, 8, 2, &d) || m < 1 || m > 12 || d < 1 || d > 31)
        return kNoMoment;
    return daysFromCivil(y, m, d);
}

// "hh:mm:ss", a fraction of a second after it ignored: seconds into the day.
int64_t clockSeconds(std::string_view v) {
    int h, m, s;
    const size_t hourDigits = v.size() > 1 && v[1] == ':' ? 1 : 2;
    const size_t p = hourDigits + 1;
    if (!digitsAt(v, 0, hourDigits, &h) || v.size() < p + 5 || v[p - 1] != ':' ||
        !digitsAt(v, p, 2, &m) || v[p + 2] != ':' || !digitsAt(v, p + 3, 2, &s) || h > 23 ||
        m > 59 || s > 60)
        return kNoMoment;
    return h * 3600 + m * 60 + s;
}

uint64_t bytesOf(std::string_view v) {
    uint64_t n = 0;
    if (v.empty() || v.size() > 19) return 0;
    for (char c : v) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    return n;
}

int64_t floorDiv(int64_t a, int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The request's target without its query: "GET /a/b?x=1 HTTP/1.1" gives
// "/a/b"; a request of one word is its own target.
std::string_view pathOf(std::string_view v, PathKind kind) {
    if (kind == PathKind::Request) {
        if (size_t sp = v.find(' '); sp != std::string_view::npos) {
            v.remove_prefix(sp + 1);
            v = v.substr(0, v.find(' '));
        }
    }
    if (kind != PathKind::Stem) v = v.substr(0, v.find('?'));
    return v;
}

// Per value id of one column, the id of the key it counts under (0 for
// none), and the keys' texts.
struct KeyMap {
    std::vector<uint32_t> keyOf;
    std::vector<std::string_view> keys;
};

KeyMap keyMap(const Column& c, std::optional<PathKind> derive) {
    const StringPool& pool = c.pool();
    KeyMap m;
    m.keyOf.resize(pool.size());
    if (!derive || *derive == PathKind::Stem) {
        m.keys.resize(pool.size());
        for (uint32_t id = 1; id < pool.size(); ++id) {
            m.keys[id] = pool.text(id);
            m.keyOf[id] = m.keys[id].empty() ? 0 : id;
        }
        return m;
    }
    std::unordered_map<std::string_view, uint32_t> seen;
    m.keys.push_back({});
    for (uint32_t id = 1; id < pool.size(); ++id) {
        const std::string_view key = pathOf(pool.text(id), *derive);
        if (key.empty()) continue;
        auto [it, added] = seen.emplace(key, static_cast<uint32_t>(m.keys.size()));
        if (added) m.keys.push_back(key);
        m.keyOf[id] = it->second;
    }
    return m;
}

struct Tally {
    uint64_t requests = 0;
    uint64_t bytes = 0;
};

std::vector<SummaryEntry> topOf(const KeyMap& m, const std::vector<Tally>& t, size_t topN) {
    std::vector<uint32_t> ids;
    for (uint32_t k = 1; k < t.size(); ++k)
        if (t[k].requests) ids.push_back(k);
    auto before = [&](uint32_t a, uint32_t b) {
        if (t[a].requests != t[b].requests) return t[a].requests > t[b].requests;
        return m.keys[a] < m.keys[b];
    };
    const size_t n = std::min(topN, ids.size());
    std::partial_sort(ids.begin(), ids.begin() + static_cast<long>(n), ids.end(), before);
    std::vector<SummaryEntry> out;
    for (size_t i = 0; i < n; ++i)
        out.push_back({std::string(m.keys[ids[i]]), t[ids[i]].requests, t[ids[i]].bytes});
    return out;
}

// Status codes as numbers where they are numbers, any other text after them.
bool statusBefore(const SummaryEntry& a, const SummaryEntry& b) {
    auto number = [](const std::string& s) {
        return s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos
                   ? INT64_MAX
                   : std::stoll(s);
    };
    const int64_t x = number(a.key), y = number(b.key);
    return x != y ? x < y : a.key < b.key;
}

std::string fieldRef(std::string_view name) {
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
    return plain ? std::string(name) : "[" + std::string(name) + "]";
}

std::string likeClause(std::string_view field, std::string_view pattern) {
    std::string out = fieldRef(field) + " like '";
    for (char c : pattern) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

std::string pathClause(const Recordset& table, const Roles& r, std::string_view key) {
    const std::string& f = table.fields()[static_cast<size_t>(r.path)].name;
    const std::string k(key);
    switch (r.pathKind) {
        case PathKind::Stem:
            return valueClause(f, key, false);
        case PathKind::Target:
            return valueClause(f, key, false) + " or " + likeClause(f, k + "?*");
        case PathKind::Request:
            return valueClause(f, key, false) + " or " + likeClause(f, "* " + k) + " or " +
                   likeClause(f, "* " + k + " *") + " or " + likeClause(f, "* " + k + "?*");
    }
    return {};
}

// A key in a TSV cell: tabs and line ends would break the row.
std::string cell(std::string_view v) {
    std::string out(v);
    for (char& c : out)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return out;
}

constexpr const char* kListTitles[kSummaryListCount] = {"top clients",   "top paths",
                                                        "top referrers", "top user agents",
                                                        "top 404 paths", "status codes"};

}  // namespace

std::optional<Summary> summarize(const Recordset& table, const std::vector<uint32_t>& rows,
                                 int timeDiffHours, size_t topN,
                                 const std::function<bool()>& cancelled) {
    const Roles r = rolesOf(table);
    Summary s;
    s.requests = rows.size();
    s.hasMomentField = r.moment != MomentKind::None;

    // Everything a value means is worked out once per distinct value.
    const Column* bytesCol = r.bytes >= 0 ? &table.column(static_cast<size_t>(r.bytes)) : nullptr;
    std::vector<uint64_t> bytesById;
    if (bytesCol)
        for (uint32_t id = 0; id < bytesCol->pool().size(); ++id)
            bytesById.push_back(bytesOf(bytesCol->pool().text(id)));

    const Column* dateCol = r.date >= 0 ? &table.column(static_cast<size_t>(r.date)) : nullptr;
    const Column* timeCol = r.time >= 0 ? &table.column(static_cast<size_t>(r.time)) : nullptr;
    std::vector<int64_t> dateById, timeById;
    if (s.hasMomentField) {
        for (uint32_t id = 0; id < dateCol->pool().size(); ++id) {
            const std::string_view v = dateCol->pool().text(id);
            int64_t x = kNoMoment;
            if (r.moment == MomentKind::W3c) {
                x = w3cDay(v);
            } else if (r.moment == MomentKind::Iis) {
                if (!readIisDay(v, &x)) x = kNoMoment;
            } else if (readNcsaMoment(v, &x)) {
                x += int64_t{timeDiffHours} * 3600;
            } else {
                x = kNoMoment;
            }
            dateById.push_back(x);
        }
        if (timeCol)
            for (uint32_t id = 0; id < timeCol->pool().size(); ++id)
                timeById.push_back(clockSeconds(timeCol->pool().text(id)));
    }

    struct ListSource {
        const Column* column = nullptr;
        KeyMap map;
        std::vector<Tally> tally;
    };
    std::array<ListSource, kSummaryListCount> src;
    const int columnOf[kSummaryListCount] = {r.client, r.path, r.referrer,
                                             r.agent,  r.path, r.status};
    for (size_t l = 0; l < kSummaryListCount; ++l) {
        if (columnOf[l] < 0) continue;
        src[l].column = &table.column(static_cast<size_t>(columnOf[l]));
        const bool path = l == static_cast<size_t>(SummaryList::Paths) ||
                          l == static_cast<size_t>(SummaryList::NotFound);
        src[l].map = keyMap(*src[l].column, path ? std::optional(r.pathKind) : std::nullopt);
        src[l].tally.resize(src[l].map.keys.size());
    }
    std::vector<char> notFoundById;
    if (r.status >= 0)
        for (uint32_t id = 0; id < src[5].column->pool().size(); ++id)
            notFoundById.push_back(src[5].column->pool().text(id) == "404");
    auto& notFound = src[static_cast<size_t>(SummaryList::NotFound)];

    std::vector<int64_t> moments;
    if (s.hasMomentField) moments.resize(rows.size(), kNoMoment);
    int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (size_t i = 0; i < rows.size(); ++i) {
        if ((i & 0xFFFF) == 0 && cancelled && cancelled()) return std::nullopt;
        const uint32_t row = rows[i];
        const uint64_t b = bytesCol ? bytesById[bytesCol->id(row)] : 0;
        s.bytes += b;
        for (size_t l = 0; l < kSummaryListCount - 2; ++l) {
            ListSource& ls = src[l];
            if (!ls.column) continue;
            Tally& t = ls.tally[ls.map.keyOf[ls.column->id(row)]];
            ++t.requests;
            t.bytes += b;
        }
        if (src[5].column) {
            const uint32_t status = src[5].column->id(row);
            Tally& t = src[5].tally[status];
            ++t.requests;
            t.bytes += b;
            if (notFoundById[status] && notFound.column) {
                Tally& n = notFound.tally[notFound.map.keyOf[notFound.column->id(row)]];
                ++n.requests;
                n.bytes += b;
            }
        }
        if (s.hasMomentField) {
            int64_t m = dateById[dateCol->id(row)];
            if (timeCol && m != kNoMoment) {
                const int64_t t = timeById[timeCol->id(row)];
                m = t == kNoMoment ? kNoMoment : m * 86400 + t;
            }
            moments[i] = m;
            if (m != kNoMoment) {
                lo = std::min(lo, m);
                hi = std::max(hi, m);
            }
        }
    }

    if (lo <= hi) {
        s.first = lo;
        s.last = hi;
        s.firstHour = floorDiv(lo, 3600);
        const int64_t span = floorDiv(hi, 3600) - s.firstHour + 1;
        if (span <= kMaxHourSpan) {
            s.hours.resize(static_cast<size_t>(span));
            for (size_t i = 0; i < rows.size(); ++i) {
                if (moments[i] == kNoMoment) continue;
                SummaryEntry& h =
                    s.hours[static_cast<size_t>(floorDiv(moments[i], 3600) - s.firstHour)];
                ++h.requests;
                h.bytes += bytesCol ? bytesById[bytesCol->id(rows[i])] : 0;
            }
        }
    }

    if (src[0].column)
        for (uint32_t k = 1; k < src[0].tally.size(); ++k)
            s.clients += src[0].tally[k].requests != 0;
    for (size_t l = 0; l < kSummaryListCount; ++l) {
        if (!src[l].column) continue;
        const bool all = l == static_cast<size_t>(SummaryList::Statuses);
        s.lists[l] = topOf(src[l].map, src[l].tally, all ? SIZE_MAX : topN);
        if (all) std::sort(s.lists[l].begin(), s.lists[l].end(), statusBefore);
    }
    return s;
}

std::string summaryMomentText(int64_t seconds) {
    int64_t y;
    int m, d;
    const int64_t day = floorDiv(seconds, 86400), t = seconds - day * 86400;
    civilFromDays(day, y, m, d);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04lld-%02d-%02d %02d:%02d:%02d", static_cast<long long>(y), m,
                  d, static_cast<int>(t / 3600), static_cast<int>(t / 60 % 60),
                  static_cast<int>(t % 60));
    return buf;
}

std::string summaryHourText(int64_t hour) {
    return summaryMomentText(hour * 3600).substr(0, 13);
}

std::string summaryClause(const Recordset& table, SummaryList list, std::string_view key) {
    const Roles r = rolesOf(table);
    auto named = [&](int f) { return table.fields()[static_cast<size_t>(f)].name; };
    switch (list) {
        case SummaryList::Clients:
            return r.client < 0 ? "" : valueClause(named(r.client), key, false);
        case SummaryList::Referrers:
            return r.referrer < 0 ? "" : valueClause(named(r.referrer), key, false);
        case SummaryList::Agents:
            return r.agent < 0 ? "" : valueClause(named(r.agent), key, false);
        case SummaryList::Statuses:
            return r.status < 0 ? "" : valueClause(named(r.status), key, false);
        case SummaryList::Paths:
            return r.path < 0 ? "" : pathClause(table, r, key);
        case SummaryList::NotFound:
            if (r.path < 0 || r.status < 0) return "";
            return andClauses(valueClause(named(r.status), "404", false),
                              pathClause(table, r, key));
    }
    return {};
}

std::string summaryListTsv(const Summary& s, SummaryList list) {
    std::string out = list == SummaryList::Statuses ? "status" : "key";
    out += "\trequests\tbytes\n";
    for (const SummaryEntry& e : s.list(list))
        out +=
            cell(e.key) + "\t" + std::to_string(e.requests) + "\t" + std::to_string(e.bytes) + "\n";
    return out;
}

std::string summaryTsv(const Summary& s) {
    std::string out = "# totals\nname\tvalue\n";
    out += "requests\t" + std::to_string(s.requests) + "\n";
    out += "bytes\t" + std::to_string(s.bytes) + "\n";
    out += "clients\t" + std::to_string(s.clients) + "\n";
    out += "first\t" + (s.first ? summaryMomentText(*s.first) : std::string()) + "\n";
    out += "last\t" + (s.last ? summaryMomentText(*s.last) : std::string()) + "\n\n";
    out += "# requests per hour\nhour\trequests\tbytes\n";
    for (size_t i = 0; i < s.hours.size(); ++i)
        out += summaryHourText(s.firstHour + static_cast<int64_t>(i)) + "\t" +
               std::to_string(s.hours[i].requests) + "\t" + std::to_string(s.hours[i].bytes) + "\n";
    out += "\n";
    for (size_t l = 0; l < kSummaryListCount; ++l)
        out += std::string("# ") + kListTitles[l] + "\n" +
               summaryListTsv(s, static_cast<SummaryList>(l)) + "\n";
    return out;
}

}  // namespace brevadin
