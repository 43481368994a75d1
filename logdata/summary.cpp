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

enum class PathKind { Stem, Request, Target };

struct Field {
    int column;
    PathKind kind = PathKind::Stem;
};

// Which fields of the table play each part, in the order they are asked: a
// tab gathered from logs of different formats holds the fields of each, and
// a row fills only its own format's.
struct Roles {
    std::vector<Field> client, path, status, bytes, referrer, agent;
    int ncsaDate = -1, iisDate = -1, iisTime = -1, w3cDate = -1, w3cTime = -1;
    bool anyMoment() const { return ncsaDate >= 0 || iisDate >= 0 || w3cDate >= 0; }
};

std::vector<Field> fieldsOf(const Recordset& t, std::initializer_list<std::string_view> names) {
    std::vector<Field> out;
    for (std::string_view n : names)
        if (int c = t.fieldIndex(n); c >= 0) out.push_back({c});
    return out;
}

Roles rolesOf(const Recordset& t) {
    Roles r;
    r.client = fieldsOf(t, {"c-ip", "Host", "ユーザーのIPアドレス"});
    r.status = fieldsOf(t, {"sc-status", "Status", "サービスのステータスコード"});
    r.bytes = fieldsOf(t, {"sc-bytes", "Byte", "送信バイト数"});
    r.referrer = fieldsOf(t, {"cs(Referer)"});
    r.agent = fieldsOf(t, {"cs(User-Agent)"});
    const std::pair<std::string_view, PathKind> kPaths[] = {{"cs-uri-stem", PathKind::Stem},
                                                            {"Request", PathKind::Request},
                                                            {"操作の対象", PathKind::Target}};
    for (const auto& [name, kind] : kPaths)
        if (int c = t.fieldIndex(name); c >= 0) r.path.push_back({c, kind});
    r.ncsaDate = t.fieldIndex("Date");
    if ((r.iisTime = t.fieldIndex("時刻")) >= 0) r.iisDate = t.fieldIndex("日付");
    // Every loaded table has a "date" (W3C's), empty in NCSA and IIS rows.
    if ((r.w3cTime = t.fieldIndex("time")) >= 0) r.w3cDate = t.fieldIndex("date");
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

// Per value id of each field, the key it counts under (0 for none), and the
// keys' texts. A row counts under its first field that holds a key.
struct KeyMap {
    std::vector<const Column*> columns;
    std::vector<std::vector<uint32_t>> keyOf;
    std::vector<std::string_view> keys;

    uint32_t keyAt(uint32_t row) const {
        for (size_t c = 0; c < columns.size(); ++c)
            if (const uint32_t k = keyOf[c][columns[c]->id(row)]) return k;
        return 0;
    }
};

KeyMap keyMap(const Recordset& t, const std::vector<Field>& fields) {
    KeyMap m;
    for (const Field& f : fields) m.columns.push_back(&t.column(static_cast<size_t>(f.column)));
    m.keyOf.resize(fields.size());
    if (fields.size() == 1 && fields[0].kind == PathKind::Stem) {
        // The values are the keys: their ids serve, with no hashing of a
        // million distinct clients.
        const StringPool& pool = m.columns[0]->pool();
        m.keys.resize(pool.size());
        m.keyOf[0].resize(pool.size());
        for (uint32_t id = 1; id < pool.size(); ++id) {
            m.keys[id] = pool.text(id);
            m.keyOf[0][id] = m.keys[id].empty() ? 0 : id;
        }
        return m;
    }
    std::unordered_map<std::string_view, uint32_t> seen;
    m.keys.push_back({});
    for (size_t c = 0; c < fields.size(); ++c) {
        const StringPool& pool = m.columns[c]->pool();
        m.keyOf[c].resize(pool.size());
        for (uint32_t id = 1; id < pool.size(); ++id) {
            const std::string_view key = pathOf(pool.text(id), fields[c].kind);
            if (key.empty()) continue;
            auto [it, added] = seen.emplace(key, static_cast<uint32_t>(m.keys.size()));
            if (added) m.keys.push_back(key);
            m.keyOf[c][id] = it->second;
        }
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

std::string pathClause(const Recordset& table, const Field& field, std::string_view key) {
    const std::string& f = table.fields()[static_cast<size_t>(field.column)].name;
    const std::string k(key);
    switch (field.kind) {
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

// Any of the fields holding the key.
std::string anyClause(const Recordset& table, const std::vector<Field>& fields,
                      std::string_view key) {
    std::string out;
    for (const Field& f : fields) out += (out.empty() ? "" : " or ") + pathClause(table, f, key);
    return out;
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
    s.hasMomentField = r.anyMoment();

    // Everything a value means is worked out once per distinct value.
    auto perValue = [&](int column, auto read) {
        using T = decltype(read(std::string_view()));
        std::vector<T> out;
        if (column < 0) return out;
        const StringPool& pool = table.column(static_cast<size_t>(column)).pool();
        out.reserve(pool.size());
        for (uint32_t id = 0; id < pool.size(); ++id) out.push_back(read(pool.text(id)));
        return out;
    };
    auto columnOf = [&](int c) { return c < 0 ? nullptr : &table.column(static_cast<size_t>(c)); };
    std::vector<const Column*> bytesCols;
    std::vector<std::vector<uint64_t>> bytesById;
    for (const Field& f : r.bytes) {
        bytesCols.push_back(columnOf(f.column));
        bytesById.push_back(perValue(f.column, bytesOf));
    }
    auto bytesAt = [&](uint32_t row) -> uint64_t {
        for (size_t c = 0; c < bytesCols.size(); ++c)
            if (const uint32_t id = bytesCols[c]->id(row)) return bytesById[c][id];
        return 0;
    };
    const int64_t shift = int64_t{timeDiffHours} * 3600;
    const auto ncsa = perValue(r.ncsaDate, [&](std::string_view v) {
        int64_t x;
        return readNcsaMoment(v, &x) ? x + shift : kNoMoment;
    });
    const auto iisDay = perValue(r.iisDate, [](std::string_view v) {
        int64_t x;
        return readIisDay(v, &x) ? x : kNoMoment;
    });
    const auto iisTime = perValue(r.iisTime, clockSeconds);
    const auto w3cDays = perValue(r.w3cDate, w3cDay);
    const auto w3cTime = perValue(r.w3cTime, clockSeconds);
    const Column *ncsaCol = columnOf(r.ncsaDate), *iisDayCol = columnOf(r.iisDate),
                 *iisTimeCol = columnOf(r.iisTime), *w3cDayCol = columnOf(r.w3cDate),
                 *w3cTimeCol = columnOf(r.w3cTime);
    auto dayAndTime = [](int64_t day, int64_t time) {
        return day == kNoMoment || time == kNoMoment ? kNoMoment : day * 86400 + time;
    };
    auto momentAt = [&](uint32_t row) {
        int64_t m = ncsaCol ? ncsa[ncsaCol->id(row)] : kNoMoment;
        if (m == kNoMoment && iisDayCol)
            m = dayAndTime(iisDay[iisDayCol->id(row)], iisTime[iisTimeCol->id(row)]);
        if (m == kNoMoment && w3cDayCol)
            m = dayAndTime(w3cDays[w3cDayCol->id(row)], w3cTime[w3cTimeCol->id(row)]);
        return m;
    };

    const std::vector<Field>* fieldsOfList[kSummaryListCount] = {&r.client, &r.path, &r.referrer,
                                                                 &r.agent,  &r.path, &r.status};
    std::array<KeyMap, kSummaryListCount> maps;
    std::array<std::vector<Tally>, kSummaryListCount> tallies;
    for (size_t l = 0; l < kSummaryListCount; ++l) {
        if (l == static_cast<size_t>(SummaryList::NotFound)) continue;  // the paths' keys
        maps[l] = keyMap(table, *fieldsOfList[l]);
        tallies[l].resize(maps[l].keys.size());
    }
    const size_t paths = static_cast<size_t>(SummaryList::Paths);
    const size_t statuses = static_cast<size_t>(SummaryList::Statuses);
    const size_t notFound = static_cast<size_t>(SummaryList::NotFound);
    tallies[notFound].resize(maps[paths].keys.size());
    std::vector<char> isNotFound;
    for (std::string_view key : maps[statuses].keys) isNotFound.push_back(key == "404");

    std::vector<int64_t> moments;
    if (s.hasMomentField) moments.resize(rows.size(), kNoMoment);
    int64_t lo = INT64_MAX, hi = INT64_MIN;
    for (size_t i = 0; i < rows.size(); ++i) {
        if ((i & 0xFFFF) == 0 && cancelled && cancelled()) return std::nullopt;
        const uint32_t row = rows[i];
        const uint64_t b = bytesAt(row);
        s.bytes += b;
        uint32_t path = 0, status = 0;
        for (size_t l = 0; l < kSummaryListCount; ++l) {
            if (l == notFound || maps[l].columns.empty()) continue;
            const uint32_t k = maps[l].keyAt(row);
            Tally& t = tallies[l][k];
            ++t.requests;
            t.bytes += b;
            if (l == paths) path = k;
            if (l == statuses) status = k;
        }
        if (status && isNotFound[status]) {
            Tally& t = tallies[notFound][path];
            ++t.requests;
            t.bytes += b;
        }
        if (s.hasMomentField) {
            const int64_t m = moments[i] = momentAt(row);
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
                h.bytes += bytesAt(rows[i]);
            }
        }
    }

    for (size_t k = 1; k < tallies[0].size(); ++k) s.clients += tallies[0][k].requests != 0;
    for (size_t l = 0; l < kSummaryListCount; ++l) {
        const KeyMap& keys = maps[l == notFound ? paths : l];
        s.lists[l] = topOf(keys, tallies[l], l == statuses ? SIZE_MAX : topN);
        if (l == statuses) std::sort(s.lists[l].begin(), s.lists[l].end(), statusBefore);
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
    switch (list) {
        case SummaryList::Clients:
            return anyClause(table, r.client, key);
        case SummaryList::Referrers:
            return anyClause(table, r.referrer, key);
        case SummaryList::Agents:
            return anyClause(table, r.agent, key);
        case SummaryList::Statuses:
            return anyClause(table, r.status, key);
        case SummaryList::Paths:
            return anyClause(table, r.path, key);
        case SummaryList::NotFound:
            if (r.path.empty() || r.status.empty()) return "";
            return andClauses(anyClause(table, r.status, "404"), anyClause(table, r.path, key));
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
