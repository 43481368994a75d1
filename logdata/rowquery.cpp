#include "logdata/rowquery.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <numeric>

#include "logdata/textdecode.h"
#include "logdata/timeshift.h"

namespace brevadin {

class RowQuery {
public:
    std::shared_ptr<RowFilter> filter;
};

std::string filterErrorText(const FilterError& e) {
    return std::to_string(e.character + 1) + " 文字目: " + e.message;
}

ParsedQuery parseRowQuery(std::string_view text, const Recordset& table) {
    ParsedQuery out;
    if (std::all_of(text.begin(), text.end(), isFilterSpace)) return out;
    FilterError error;
    auto filter = RowFilter::parse(text, table, &error);
    if (filter)
        out.query = std::make_shared<RowQuery>(RowQuery{std::move(filter)});
    else
        out.error = std::move(error);
    return out;
}

std::vector<uint32_t> filterRows(const Recordset& table, const std::vector<uint32_t>& rows,
                                 RowQuery* query) {
    if (!query) return rows;
    std::vector<uint32_t> kept;
    kept.reserve(rows.size());
    for (uint32_t r : rows)
        if (query->filter->visible(table, r)) kept.push_back(r);
    return kept;
}

// ---------------------------------------------------------------------------
// Typed sort

namespace {

bool blankValue(std::string_view v) {
    return v.empty() || v == "-";
}

// Reads an unsigned decimal of `digits` digits (any count when 0) at `pos`.
bool readNumber(std::string_view v, size_t& pos, size_t minDigits, size_t maxDigits, int* out) {
    size_t start = pos;
    int n = 0;
    while (pos < v.size() && pos - start < maxDigits && v[pos] >= '0' && v[pos] <= '9')
        n = n * 10 + (v[pos++] - '0');
    *out = n;
    return pos - start >= minDigits;
}

bool expect(std::string_view v, size_t& pos, char c) {
    if (pos >= v.size() || v[pos] != c) return false;
    ++pos;
    return true;
}

bool timeOfDay(std::string_view v, size_t& pos, int64_t* seconds) {
    int h, m, s;
    if (!readNumber(v, pos, 1, 2, &h) || !expect(v, pos, ':') || !readNumber(v, pos, 2, 2, &m) ||
        !expect(v, pos, ':') || !readNumber(v, pos, 2, 2, &s) || h > 24 || m > 59 || s > 60)
        return false;
    *seconds = h * 3600 + m * 60 + s;
    return true;
}

// "10/Oct/2000:13:55:36 -0700": seconds since 1970 in UTC.
bool ncsaMoment(std::string_view v, double* out) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    size_t pos = 0;
    int d, y;
    if (!readNumber(v, pos, 1, 2, &d) || !expect(v, pos, '/') || v.size() < pos + 4) return false;
    int month = 0;
    while (month < 12 && v.substr(pos, 3) != kMonths[month]) ++month;
    if (month == 12) return false;
    pos += 3;
    int64_t t;
    if (!expect(v, pos, '/') || !readNumber(v, pos, 4, 4, &y) || !expect(v, pos, ':') ||
        !timeOfDay(v, pos, &t))
        return false;
    int64_t offset = 0;
    if (pos < v.size()) {
        int zone;
        if (!expect(v, pos, ' ') || pos >= v.size() || (v[pos] != '+' && v[pos] != '-'))
            return false;
        const int sign = v[pos++] == '-' ? -1 : 1;
        if (!readNumber(v, pos, 4, 4, &zone) || pos != v.size()) return false;
        offset = sign * ((zone / 100) * 3600 + (zone % 100) * 60);
    }
    *out = static_cast<double>(daysFromCivil(y, month + 1, d) * 86400 + t - offset);
    return true;
}

// IIS writes "05/01/03" (month/day/two-digit year); a four-digit first part
// reads as year/month/day.
bool iisDay(std::string_view v, double* out) {
    size_t pos = 0;
    int a, b, c;
    if (!readNumber(v, pos, 1, 4, &a) || !expect(v, pos, '/') || !readNumber(v, pos, 1, 2, &b) ||
        !expect(v, pos, '/') || !readNumber(v, pos, 1, 4, &c) || pos != v.size())
        return false;
    int y = c, m = a, d = b;
    if (v.find('/') == 4) {
        y = a;
        m = b;
        d = c;
    } else if (c < 100) {
        y = c < 70 ? 2000 + c : 1900 + c;
    }
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    *out = static_cast<double>(daysFromCivil(y, m, d));
    return true;
}

bool iisTime(std::string_view v, double* out) {
    size_t pos = 0;
    int64_t t;
    if (!timeOfDay(v, pos, &t) || pos != v.size()) return false;
    *out = static_cast<double>(t);
    return true;
}

using Reader = bool (*)(std::string_view, double*);

// The reader every non-blank value of the column passes, or null for text.
Reader keyReader(const Recordset& table, size_t column) {
    const std::string& name = table.fields()[column].name;
    const StringPool& pool = table.column(column).pool();
    auto all = [&](Reader read) {
        bool any = false;
        double ignored;
        for (uint32_t id = 1; id < pool.size(); ++id) {
            std::string_view v = pool.text(id);
            if (blankValue(v)) continue;
            if (!read(v, &ignored)) return false;
            any = true;
        }
        return any;
    };
    if (name == "Date" && all(ncsaMoment)) return ncsaMoment;
    if (name == "日付" && all(iisDay)) return iisDay;
    if (name == "時刻" && all(iisTime)) return iisTime;
    if (all(parseFilterNumber)) return parseFilterNumber;
    return nullptr;
}

// Doubles as unsigned integers of the same order.
uint64_t orderedBits(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits >> 63 ? ~bits : bits | (uint64_t{1} << 63);
}

std::vector<uint32_t> ranksOfSorted(const std::vector<KeyedRow>& items,
                                    const std::function<bool(uint32_t, uint32_t)>& same) {
    std::vector<uint32_t> rank(items.size());
    uint32_t r = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0 && !same(items[i].row, items[i - 1].row)) ++r;
        rank[items[i].row] = r;
    }
    return rank;
}

std::vector<uint32_t> rankTyped(const StringPool& pool, Reader read) {
    constexpr double kBlank = -std::numeric_limits<double>::infinity();
    std::vector<double> values(pool.size(), kBlank);
    bool whole = true;
    double lo = std::numeric_limits<double>::infinity(), hi = kBlank;
    for (uint32_t id = 0; id < pool.size(); ++id) {
        std::string_view v = pool.text(id);
        if (blankValue(v) || !read(v, &values[id])) continue;
        const double k = values[id];
        whole = whole && k == std::floor(k) && std::fabs(k) < 0x1p52;
        lo = std::min(lo, k);
        hi = std::max(hi, k);
    }
    // Whole numbers (dates, times, counts) as offsets from the least: few
    // bits differ, so the radix sort makes few passes.
    std::vector<uint64_t> keys(pool.size());
    for (uint32_t id = 0; id < pool.size(); ++id) {
        const double k = values[id];
        keys[id] =
            !whole ? orderedBits(k)
            : k == kBlank
                ? 0
                : static_cast<uint64_t>(static_cast<int64_t>(k) - static_cast<int64_t>(lo)) + 1;
    }
    std::vector<KeyedRow> items(pool.size());
    for (uint32_t id = 0; id < pool.size(); ++id) items[id] = {keys[id], id};
    radixSortKeyed(items, 64);
    return ranksOfSorted(items, [&](uint32_t a, uint32_t b) { return keys[a] == keys[b]; });
}

uint64_t eightBytes(std::string_view v, size_t offset) {
    uint64_t p = 0;
    for (size_t i = offset; i < offset + 8; ++i)
        p = (p << 8) | (i < v.size() ? static_cast<unsigned char>(v[i]) : 0u);
    return p;
}

// Orders items[begin, end), whose texts agree on their first `offset` bytes,
// by character code: a radix sort on the next eight bytes, packed
// big-endian, then the same within each run that agrees on those too. Log
// values often share long beginnings ("host12.example.ne.jp [61.").
void sortTexts(const StringPool& pool, std::vector<KeyedRow>& items, size_t begin, size_t end,
               size_t offset) {
    auto byText = [&](const KeyedRow& a, const KeyedRow& b) {
        return pool.text(a.row).substr(offset) < pool.text(b.row).substr(offset);
    };
    const auto first = items.begin() + static_cast<long>(begin);
    const auto last = items.begin() + static_cast<long>(end);
    if (end - begin < 64 || offset >= 64) {
        std::sort(first, last, byText);
        return;
    }
    std::vector<KeyedRow> part(first, last);
    bool longer = false;
    for (size_t i = 0; i < part.size(); ++i) {
        KeyedRow& e = part[i];
        // The group's texts lie all over the pool: ask for them ahead.
        if (i + 8 < part.size()) __builtin_prefetch(pool.text(part[i + 8].row).data());
        std::string_view v = pool.text(e.row);
        e.key = eightBytes(v, offset);
        longer = longer || v.size() > offset + 8;
    }
    // Ties are ordered below, so small runs need no stable sort.
    if (part.size() < 256)
        std::sort(part.begin(), part.end(),
                  [](const KeyedRow& a, const KeyedRow& b) { return a.key < b.key; });
    else
        radixSortKeyed(part, 64);
    std::copy(part.begin(), part.end(), first);
    for (size_t i = begin; i < end;) {
        size_t j = i + 1;
        while (j < end && items[j].key == items[i].key) ++j;
        // Texts padded with zero bytes and texts holding them tie here.
        if (j - i > 1) {
            if (longer)
                sortTexts(pool, items, i, j, offset + 8);
            else
                std::sort(
                    items.begin() + static_cast<long>(i), items.begin() + static_cast<long>(j),
                    [&](const KeyedRow& a, const KeyedRow& b) {
                        return pool.text(a.row).substr(offset) < pool.text(b.row).substr(offset);
                    });
        }
        i = j;
    }
}

std::vector<uint32_t> rankText(const StringPool& pool) {
    std::vector<KeyedRow> items(pool.size());
    for (uint32_t id = 0; id < pool.size(); ++id) items[id] = {0, id};
    sortTexts(pool, items, 0, items.size(), 0);
    // A pool holds each text once: no two ids tie.
    std::vector<uint32_t> rank(items.size());
    for (size_t i = 0; i < items.size(); ++i) rank[items[i].row] = static_cast<uint32_t>(i);
    return rank;
}

std::vector<uint32_t> rankColumn(const Recordset& table, size_t column) {
    const StringPool& pool = table.column(column).pool();
    Reader read = keyReader(table, column);
    return read ? rankTyped(pool, read) : rankText(pool);
}

}  // namespace

bool readNcsaMoment(std::string_view text, int64_t* seconds) {
    double v;
    if (!ncsaMoment(text, &v)) return false;
    *seconds = static_cast<int64_t>(v);
    return true;
}

bool readIisDay(std::string_view text, int64_t* days) {
    double v;
    if (!iisDay(text, &v)) return false;
    *days = static_cast<int64_t>(v);
    return true;
}

void sortRowsTyped(const Recordset& table, std::vector<uint32_t>& rows,
                   const std::vector<SortKey>& keys) {
    if (keys.empty() || rows.size() < 2) return;
    std::vector<RankedKey> ranked;
    for (const auto& k : keys) {
        ranked.push_back(
            RankedKey{&table.column(k.column), rankColumn(table, k.column), k.descending});
        // An IIS day is read with its time of day: the pair names the moment.
        const int time = table.fieldIndex("時刻");
        if (table.fields()[k.column].name == "日付" && time >= 0)
            ranked.push_back(RankedKey{&table.column(static_cast<size_t>(time)),
                                       rankColumn(table, static_cast<size_t>(time)), k.descending});
    }
    sortRowsByRank(rows, std::move(ranked));
}

// ---------------------------------------------------------------------------
// Find

namespace {

uint32_t lowerCodePoint(uint32_t cp) {
    if ((cp >= 'A' && cp <= 'Z') || (cp >= 0xc0 && cp <= 0xde && cp != 0xd7) ||
        (cp >= 0x391 && cp <= 0x3a9 && cp != 0x3a2) || (cp >= 0x410 && cp <= 0x42f) ||
        (cp >= 0xff21 && cp <= 0xff3a))  // full-width Ａ-Ｚ, common in Japanese text
        return cp + 0x20;
    if (cp >= 0x400 && cp <= 0x40f) return cp + 0x50;
    if (cp >= 0x100 && cp <= 0x17f && cp % 2 == 0 && cp != 0x130 && cp != 0x138) return cp + 1;
    return cp;
}

// Lower-cases into `out`; bytes that are not well-formed UTF-8 stay as they are.
void foldCase(std::string_view v, std::string& out) {
    // Log values are mostly ASCII: fold those bytes in place, in one go.
    out.resize(v.size());
    size_t i = 0;
    for (; i < v.size(); ++i) {
        const auto b = static_cast<unsigned char>(v[i]);
        if (b >= 0x80) break;
        out[i] = static_cast<char>(b >= 'A' && b <= 'Z' ? b + 0x20 : b);
    }
    out.resize(i);
    while (i < v.size()) {
        const auto b = static_cast<unsigned char>(v[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 0x20 : b);
            ++i;
            continue;
        }
        const size_t len = b >= 0xf0 ? 4 : b >= 0xe0 ? 3 : b >= 0xc0 ? 2 : 1;
        uint32_t cp = len == 4 ? b & 0x07u : len == 3 ? b & 0x0fu : b & 0x1fu;
        bool ok = len > 1 && i + len <= v.size();
        for (size_t k = 1; ok && k < len; ++k) {
            const auto c = static_cast<unsigned char>(v[i + k]);
            ok = (c & 0xc0) == 0x80;
            cp = (cp << 6) | (c & 0x3fu);
        }
        if (!ok) {
            out += v[i++];
            continue;
        }
        appendUtf8(out, lowerCodePoint(cp));
        i += len;
    }
}

// Per column, which value ids contain the needle; empty when none does.
// Worked out afresh on each find: a table can change, or another one take
// its place at the same address, between two presses of F3.
std::vector<std::vector<uint8_t>> findMatches(const Recordset& table, std::string_view needle,
                                              bool matchCase) {
    std::vector<std::vector<uint8_t>> hits;
    std::string folded, buffer;
    if (!matchCase) foldCase(needle, folded);
    std::string_view want = matchCase ? needle : std::string_view(folded);
    for (size_t c = 0; c < table.fieldCount(); ++c) {
        const StringPool& pool = table.column(c).pool();
        std::vector<uint8_t> hit(pool.size());
        bool any = false;
        for (uint32_t id = 0; id < pool.size(); ++id) {
            std::string_view v = pool.text(id);
            if (!matchCase) {
                foldCase(v, buffer);
                v = buffer;
            }
            hit[id] = v.find(want) != std::string_view::npos;
            any = any || hit[id];
        }
        hits.push_back(any ? std::move(hit) : std::vector<uint8_t>());
    }
    return hits;
}

}  // namespace

std::optional<CellPosition> findCell(const Recordset& table, const std::vector<uint32_t>& rows,
                                     std::string_view needle, bool matchCase, CellPosition from,
                                     bool forward, bool* wrapped) {
    if (wrapped) *wrapped = false;
    const size_t n = rows.size(), m = table.fieldCount();
    if (needle.empty() || n == 0 || m == 0) return std::nullopt;
    const auto hits = findMatches(table, needle, matchCase);
    if (std::all_of(hits.begin(), hits.end(),
                    [](const std::vector<uint8_t>& h) { return h.empty(); }))
        return std::nullopt;
    size_t r = std::min(from.viewRow, n - 1), c = std::min(from.column, m - 1);
    bool passed = false;
    for (size_t step = 0; step < n * m; ++step) {
        if (forward) {
            if (++c == m) {
                c = 0;
                if (++r == n) {
                    r = 0;
                    passed = true;
                }
            }
        } else {
            if (c == 0) {
                c = m;
                if (r == 0) {
                    r = n;
                    passed = true;
                }
                --r;
            }
            --c;
        }
        const auto& hit = hits[c];
        if (!hit.empty() && hit[table.column(c).id(rows[r])]) {
            if (wrapped) *wrapped = passed;
            return CellPosition{r, c};
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Clauses

std::string valueClause(std::string_view field, std::string_view value, bool exclude) {
    const bool bare = !field.empty() && std::all_of(field.begin(), field.end(), [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
               ch == '_';
    });
    std::string out;
    if (bare) {
        out = field;
    } else {
        out = "[";
        for (char ch : field) out += ch == ']' ? "]]" : std::string(1, ch);
        out += "]";
    }
    out += exclude ? " <> '" : " = '";
    for (char ch : value) out += ch == '\'' ? "''" : std::string(1, ch);
    return out + "'";
}

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isFilterSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isFilterSpace(s.back())) s.remove_suffix(1);
    return s;
}

// An "or" outside quotes, brackets and parentheses, as a word of its own.
bool hasTopLevelOr(std::string_view s) {
    auto wordChar = [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
               ch == '_' || ch == '-' || static_cast<unsigned char>(ch) >= 0x80;
    };
    int depth = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const char ch = s[i];
        if (ch == '\'' || ch == '[') {
            const size_t end = s.find(ch == '\'' ? '\'' : ']', i + 1);
            if (end == std::string_view::npos) return false;
            i = end;  // a doubled quote is two strings in a row: same outcome
        } else if (ch == '(') {
            ++depth;
        } else if (ch == ')') {
            --depth;
        } else if (depth == 0 && (ch == 'o' || ch == 'O') && i + 1 < s.size() &&
                   (s[i + 1] == 'r' || s[i + 1] == 'R') && (i == 0 || !wordChar(s[i - 1])) &&
                   (i + 2 == s.size() || !wordChar(s[i + 2]))) {
            return true;
        }
    }
    return false;
}

std::string side(std::string_view s) {
    return hasTopLevelOr(s) ? "(" + std::string(s) + ")" : std::string(s);
}

}  // namespace

std::string andClauses(std::string_view current, std::string_view clause) {
    current = trimmed(current);
    clause = trimmed(clause);
    if (current.empty()) return std::string(clause);
    if (clause.empty()) return std::string(current);
    return side(current) + " and " + side(clause);
}

}  // namespace brevadin
