#include "logdata/recordset.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "logdata/recordfilter.h"

namespace brevadin {

// ---------------------------------------------------------------------------
// Column

Column::Column() = default;

namespace {

// Below this many bytes a column stays dense whatever it holds: the sparse
// form would save next to nothing.
constexpr size_t kSmallColumnBytes = 256;

uint8_t widthFor(uint32_t id) {
    return id < 0x100u ? 1 : id < 0x10000u ? 2 : 4;
}

}  // namespace

void Column::reserve(size_t rows) {
    if (!sparseForm_) bytes_.reserve(rows * width_);
}

void Column::widen(uint32_t id) {
    uint8_t need = widthFor(id);
    if (need <= width_) return;
    std::vector<uint8_t> wider;
    wider.reserve(std::max(bytes_.capacity() / width_, rows_ + 1) * need);
    wider.resize(rows_ * need);
    for (size_t r = 0; r < rows_; ++r) {
        uint32_t v = this->id(r);
        if (need == 2) {
            uint16_t s = static_cast<uint16_t>(v);
            std::memcpy(&wider[r * 2], &s, 2);
        } else {
            std::memcpy(&wider[r * 4], &v, 4);
        }
    }
    bytes_.swap(wider);
    width_ = need;
}

uint32_t Column::sparseId(size_t row) const {
    auto it = std::lower_bound(sparse_.begin(), sparse_.end(), row,
                               [](const SparseEntry& e, size_t r) { return e.row < r; });
    return it != sparse_.end() && it->row == row ? it->id : 0;
}

void Column::toSparse() {
    std::vector<SparseEntry> entries;
    entries.reserve(filled_ + 1);
    for (size_t r = 0; r < rows_; ++r)
        if (uint32_t v = id(r)) entries.push_back(SparseEntry{static_cast<uint32_t>(r), v});
    std::vector<uint8_t>().swap(bytes_);
    rows_ = 0;
    filled_ = 0;
    width_ = 1;
    sparse_.swap(entries);
    sparseForm_ = true;
}

void Column::toDense() {
    std::vector<SparseEntry> entries;
    entries.swap(sparse_);
    sparseForm_ = false;
    width_ = widthFor(pool_.size() == 0 ? 0 : static_cast<uint32_t>(pool_.size() - 1));
    rows_ = entries.empty() ? 0 : entries.back().row + 1;
    bytes_.assign(rows_ * width_, 0);
    filled_ = 0;
    for (const SparseEntry& e : entries) setId(e.row, e.id);
}

void Column::setSparse(size_t row, uint32_t id) {
    if (sparse_.empty() || sparse_.back().row < row) {
        if (id != 0) sparse_.push_back(SparseEntry{static_cast<uint32_t>(row), id});
    } else {
        auto it = std::lower_bound(sparse_.begin(), sparse_.end(), row,
                                   [](const SparseEntry& e, size_t r) { return e.row < r; });
        if (it != sparse_.end() && it->row == row) {
            if (id != 0)
                it->id = id;
            else
                sparse_.erase(it);
        } else if (id != 0) {
            sparse_.insert(it, SparseEntry{static_cast<uint32_t>(row), id});
        }
    }
    // Back to one id per row once that costs well under the pairs: the
    // margin keeps a column near the boundary from switching on every row.
    if (sparse_.empty()) return;
    const size_t width = widthFor(static_cast<uint32_t>(pool_.size() - 1));
    if ((sparse_.back().row + size_t{1}) * width * 4 < sparse_.size() * sizeof(SparseEntry) * 3)
        toDense();
}

void Column::setIdSlow(size_t row, uint32_t id) {
    if (sparseForm_) {
        setSparse(row, id);
        return;
    }
    if (row >= rows_) {
        if (id == 0) return;  // rows past the stored ones are empty already
        if (row > rows_) {
            // Filling the gap costs a byte or more per row; the sparse form
            // costs a pair per value. Take whichever is smaller.
            const size_t denseBytes = (row + 1) * std::max(width_, widthFor(id));
            if (denseBytes > kSmallColumnBytes &&
                denseBytes > (filled_ + 1) * sizeof(SparseEntry)) {
                toSparse();
                setSparse(row, id);
                return;
            }
            widenFor(id);
            bytes_.resize(row * width_, 0);
        } else {
            widenFor(id);
        }
        // The reader appends every value of every row: grow by the id's bytes
        // rather than resizing and then storing.
        switch (width_) {
            case 1:
                bytes_.push_back(static_cast<uint8_t>(id));
                break;
            case 2: {
                uint16_t s = static_cast<uint16_t>(id);
                const auto* b = reinterpret_cast<const uint8_t*>(&s);
                bytes_.insert(bytes_.end(), b, b + 2);
                break;
            }
            default: {
                const auto* b = reinterpret_cast<const uint8_t*>(&id);
                bytes_.insert(bytes_.end(), b, b + 4);
                break;
            }
        }
        rows_ = row + 1;
        ++filled_;
        return;
    }
    const uint32_t old = this->id(row);
    filled_ = filled_ + (id != 0) - (old != 0);
    widenFor(id);
    switch (width_) {
        case 1:
            bytes_[row] = static_cast<uint8_t>(id);
            break;
        case 2: {
            uint16_t s = static_cast<uint16_t>(id);
            std::memcpy(&bytes_[row * 2], &s, 2);
            break;
        }
        default:
            std::memcpy(&bytes_[row * 4], &id, 4);
            break;
    }
}

uint32_t Column::intern(std::string_view text) {
    return pool_.intern(text);
}

// ---------------------------------------------------------------------------
// Sorting

namespace {

// rank[id] orders the column's distinct values by character code.
std::vector<uint32_t> rankValues(const Column& column) {
    const StringPool& pool = column.pool();
    std::vector<uint32_t> ids(pool.size());
    std::iota(ids.begin(), ids.end(), 0u);
    std::sort(ids.begin(), ids.end(),
              [&](uint32_t a, uint32_t b) { return pool.text(a) < pool.text(b); });
    std::vector<uint32_t> rank(pool.size());
    uint32_t r = 0;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i > 0 && pool.text(ids[i]) != pool.text(ids[i - 1])) ++r;
        rank[ids[i]] = r;
    }
    return rank;
}

int bitsFor(uint64_t maxValue) {
    int bits = 0;
    while (bits < 64 && (maxValue >> bits) != 0) ++bits;
    return bits;
}

}  // namespace

void sortRows(const Recordset& table, std::vector<uint32_t>& rows,
              const std::vector<SortKey>& keys) {
    if (keys.empty() || rows.size() < 2) return;
    std::vector<RankedKey> ranked;
    for (const auto& k : keys)
        ranked.push_back(
            RankedKey{&table.column(k.column), rankValues(table.column(k.column)), k.descending});
    sortRowsByRank(rows, std::move(ranked));
}

void sortRowsByRank(std::vector<uint32_t>& rows, std::vector<RankedKey> keys) {
    if (keys.empty() || rows.size() < 2) return;
    struct KeyRank {
        const Column* column;
        std::vector<uint32_t> rank;
        uint32_t maxRank;
        bool descending;
        int bits;
    };
    std::vector<KeyRank> ranks;
    int totalBits = 0;
    for (auto& k : keys) {
        KeyRank kr{k.column, std::move(k.rank), 0, k.descending, 0};
        for (uint32_t r : kr.rank) kr.maxRank = std::max(kr.maxRank, r);
        kr.bits = std::max(1, bitsFor(kr.maxRank));
        totalBits += kr.bits;
        ranks.push_back(std::move(kr));
    }

    auto rankOf = [](const KeyRank& kr, uint32_t row) {
        uint32_t r = kr.rank[kr.column->id(row)];
        return kr.descending ? kr.maxRank - r : r;
    };

    if (totalBits <= 64) {
        // One packed integer per row; the radix sort keeps ties in their
        // incoming order.
        std::vector<KeyedRow> entries(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            uint64_t key = 0;
            for (const auto& kr : ranks) key = (key << kr.bits) | rankOf(kr, rows[i]);
            entries[i] = KeyedRow{key, rows[i]};
        }
        radixSortKeyed(entries, totalBits);
        for (size_t i = 0; i < rows.size(); ++i) rows[i] = entries[i].row;
        return;
    }
    std::stable_sort(rows.begin(), rows.end(), [&](uint32_t a, uint32_t b) {
        for (const auto& kr : ranks) {
            uint32_t ra = rankOf(kr, a), rb = rankOf(kr, b);
            if (ra != rb) return ra < rb;
        }
        return false;
    });
}

void radixSortKeyed(std::vector<KeyedRow>& items, int bits) {
    constexpr int kDigit = 11;
    constexpr size_t kBuckets = size_t{1} << kDigit;
    if (items.size() < 2) return;
    const uint64_t mask = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
    if (items.size() < 256) {
        std::stable_sort(items.begin(), items.end(), [mask](const KeyedRow& a, const KeyedRow& b) {
            return (a.key & mask) < (b.key & mask);
        });
        return;
    }
    // Only the bits where keys differ need passes.
    uint64_t differ = 0;
    for (const KeyedRow& e : items) differ |= (e.key ^ items.front().key) & mask;
    if (differ == 0) return;
    const int low = __builtin_ctzll(differ), high = 64 - __builtin_clzll(differ);
    std::vector<KeyedRow> other(items.size());
    std::vector<size_t> count(kBuckets);
    for (int shift = low; shift < high; shift += kDigit) {
        std::fill(count.begin(), count.end(), 0);
        for (const KeyedRow& e : items) ++count[(e.key >> shift) & (kBuckets - 1)];
        // A digit every key shares moves nothing.
        if (count[(items.front().key >> shift) & (kBuckets - 1)] == items.size()) continue;
        size_t sum = 0;
        for (size_t& c : count) {
            const size_t n = c;
            c = sum;
            sum += n;
        }
        for (const KeyedRow& e : items) other[count[(e.key >> shift) & (kBuckets - 1)]++] = e;
        items.swap(other);
    }
}

// ---------------------------------------------------------------------------
// Recordset

void Recordset::requireOpen() const {
    if (!open_) throw RecordsetError(kErrTableClosed, "テーブルが開かれていません");
}

void Recordset::appendField(std::string name, FieldType type, int64_t definedSize) {
    if (open_)
        throw RecordsetError(kErrTableOpen, "開いているテーブルにはフィールドを追加できません");
    if (fieldExists(name))
        throw RecordsetError(kErrDuplicateField, "フィールド \"" + name + "\" は既にあります");
    fields_.push_back(FieldInfo{std::move(name), type, definedSize});
    columns_.emplace_back();
    indexField(fields_.size() - 1);
}

void Recordset::indexField(size_t column) {
    fieldIndex_.try_emplace(fields_[column].name, column);
}

int Recordset::fieldIndex(std::string_view name) const {
    auto it = fieldIndex_.find(name);
    return it == fieldIndex_.end() ? -1 : static_cast<int>(it->second);
}

void Recordset::open() {
    if (open_) return;
    for (auto& c : columns_) c = Column();
    rows_ = 0;
    open_ = true;
    filterText_.clear();
    filter_.reset();
    sortText_.clear();
    sortKeys_.clear();
    view_.clear();
    viewCoveredRows_ = 0;
    viewValid_ = true;
    cursor_ = 0;
    adding_ = false;
}

void Recordset::close() {
    for (auto& c : columns_) c = Column();
    rows_ = 0;
    open_ = false;
    filterText_.clear();
    filter_.reset();
    sortText_.clear();
    sortKeys_.clear();
    view_.clear();
    view_.shrink_to_fit();
    viewCoveredRows_ = 0;
    viewValid_ = true;
    cursor_ = 0;
    adding_ = false;
}

size_t Recordset::appendRow() {
    requireOpen();
    return rows_++;
}

void Recordset::appendRowIds(const uint32_t* ids) {
    for (size_t c = 0; c < columns_.size(); ++c) columns_[c].setId(rows_, ids[c]);
    ++rows_;
}

void Recordset::appendRowIds(const uint32_t* ids, const uint32_t* columns, size_t count) {
    for (size_t i = 0; i < count; ++i) columns_[columns[i]].setId(rows_, ids[columns[i]]);
    ++rows_;
}

void Recordset::reserveRows(size_t rows) {
    // A table this wide is not a real server's log, and its columns are
    // mostly empty: room for every row in each would be memory for nothing.
    if (columns_.size() > 256) return;
    for (auto& c : columns_) c.reserve(rows);
}

void Recordset::setValue(size_t storageRow, size_t column, std::string_view text) {
    Column& c = columns_[column];
    c.setId(storageRow, c.intern(text));
    // A changed value can move the row in a sorted view or across the filter.
    if (filter_ || !sortKeys_.empty()) invalidateView();
}

bool Recordset::rowVisible(size_t storageRow) const {
    return !filter_ || filter_->visible(columns_, storageRow);
}

void Recordset::rebuildView() const {
    if (!viewValid_) {
        view_.clear();
        viewCoveredRows_ = 0;
    }
    if (viewValid_ && viewCoveredRows_ == rows_) return;
    if (!sortKeys_.empty() && viewCoveredRows_ != 0) {
        // New rows must be sorted in among the old ones.
        view_.clear();
        viewCoveredRows_ = 0;
    }
    view_.reserve(rows_);
    for (size_t r = viewCoveredRows_; r < rows_; ++r)
        if (rowVisible(r)) view_.push_back(static_cast<uint32_t>(r));
    viewCoveredRows_ = rows_;
    if (!sortKeys_.empty()) sortRows(*this, view_, sortKeys_);
    viewValid_ = true;
}

const std::vector<uint32_t>& Recordset::view() const {
    rebuildView();
    return view_;
}

size_t Recordset::rowCount() const {
    if (!filter_ && sortKeys_.empty()) return rows_;
    return view().size();
}

size_t Recordset::viewRow(size_t i) const {
    if (!filter_ && sortKeys_.empty()) return i;
    return view()[i];
}

void Recordset::setFilter(std::string_view expression) {
    requireOpen();
    bool blank = std::all_of(expression.begin(), expression.end(), isFilterSpace);
    if (blank) {
        filter_.reset();
        filterText_.clear();
    } else {
        filter_ = RowFilter::parse(expression, *this);  // throws, leaving the old filter
        filterText_ = std::string(expression);
    }
    invalidateView();
    cursor_ = 0;
}

void Recordset::setSort(std::string_view spec) {
    requireOpen();
    std::vector<SortKey> keys;
    size_t pos = 0;
    auto fail = [&](const std::string& why) {
        throw RecordsetError(kErrBadFilter,
                             "並べ替え \"" + std::string(spec) + "\" を解釈できません: " + why);
    };
    while (pos < spec.size()) {
        size_t end = spec.find(',', pos);
        if (end == std::string_view::npos) end = spec.size();
        std::string_view part = spec.substr(pos, end - pos);
        pos = end + 1;
        while (!part.empty() && isFilterSpace(part.front())) part.remove_prefix(1);
        while (!part.empty() && isFilterSpace(part.back())) part.remove_suffix(1);
        if (part.empty()) {
            if (end == spec.size() && keys.empty()) break;
            fail("空の項目があります");
        }
        bool descending = false;
        auto endsWithWord = [&](std::string_view word) {
            if (part.size() <= word.size() || !isFilterSpace(part[part.size() - word.size() - 1]))
                return false;
            for (size_t i = 0; i < word.size(); ++i) {
                char c = part[part.size() - word.size() + i];
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                if (c != word[i]) return false;
            }
            return true;
        };
        if (endsWithWord("DESC")) {
            descending = true;
            part.remove_suffix(4);
        } else if (endsWithWord("ASC")) {
            part.remove_suffix(3);
        }
        while (!part.empty() && isFilterSpace(part.back())) part.remove_suffix(1);
        if (part.size() >= 2 && part.front() == '[' && part.back() == ']')
            part = part.substr(1, part.size() - 2);
        int column = fieldIndex(part);
        if (column < 0)
            throw RecordsetError(kErrFieldNotFound,
                                 "並べ替えのフィールド \"" + std::string(part) + "\" はありません");
        keys.push_back(SortKey{static_cast<size_t>(column), descending});
    }
    sortKeys_ = std::move(keys);
    sortText_ = sortKeys_.empty() ? std::string() : std::string(spec);
    invalidateView();
    cursor_ = 0;
}

void Recordset::addNew() {
    requireOpen();
    if (adding_) update();
    addingRow_ = appendRow();
    adding_ = true;
}

void Recordset::setField(std::string_view name, std::string_view value) {
    requireOpen();
    int column = fieldIndex(name);
    if (column < 0)
        throw RecordsetError(kErrFieldNotFound,
                             "フィールド \"" + std::string(name) + "\" はありません");
    size_t row = adding_ ? addingRow_ : currentRow();
    setValue(row, static_cast<size_t>(column), value);
}

void Recordset::update() {
    requireOpen();
    if (!adding_) return;
    adding_ = false;
    // The committed row stays current.
    if (!filter_ && sortKeys_.empty()) {
        cursor_ = addingRow_;
        return;
    }
    const auto& v = view();
    auto it = std::find(v.begin(), v.end(), static_cast<uint32_t>(addingRow_));
    cursor_ = static_cast<size_t>(it - v.begin());
}

std::string_view Recordset::field(size_t column) const {
    requireOpen();
    if (column >= columns_.size())
        throw RecordsetError(kErrFieldNotFound,
                             "フィールド番号 " + std::to_string(column) + " はありません");
    return value(adding_ ? addingRow_ : currentRow(), column);
}

std::string_view Recordset::field(std::string_view name) const {
    int column = fieldIndex(name);
    if (column < 0)
        throw RecordsetError(kErrFieldNotFound,
                             "フィールド \"" + std::string(name) + "\" はありません");
    return field(static_cast<size_t>(column));
}

void Recordset::moveFirst() {
    requireOpen();
    if (adding_) update();
    cursor_ = 0;
}

void Recordset::moveNext() {
    requireOpen();
    if (adding_) update();
    if (eof()) throw RecordsetError(kErrNoCurrentRow, "現在のレコードがありません");
    ++cursor_;
}

bool Recordset::eof() const {
    return !open_ || cursor_ >= rowCount();
}

size_t Recordset::currentRow() const {
    if (eof()) throw RecordsetError(kErrNoCurrentRow, "現在のレコードがありません");
    return viewRow(cursor_);
}

bool Recordset::find(std::string_view criterion) {
    requireOpen();
    if (adding_) update();
    auto filter = RowFilter::parse(criterion, *this);
    size_t n = rowCount();
    for (; cursor_ < n; ++cursor_)
        if (filter->visible(columns_, viewRow(cursor_))) return true;
    return false;
}

std::shared_ptr<Recordset> Recordset::takeOverColumns(Recordset& old,
                                                      const std::vector<FieldInfo>& fields) {
    auto fresh = std::make_shared<Recordset>();
    // Names are matched through hash maps: a log's field list can hold
    // thousands of names, and a search per name would make this quadratic.
    std::unordered_set<std::string_view> names;
    names.reserve(fields.size());
    for (const auto& f : fields) {
        if (!names.insert(f.name).second)
            throw RecordsetError(kErrDuplicateField,
                                 "フィールド \"" + f.name + "\" は既にあります");
        fresh->fields_.push_back(f);
        fresh->columns_.emplace_back();
        fresh->indexField(fresh->fields_.size() - 1);
    }
    fresh->open();
    std::unordered_map<std::string_view, size_t> oldColumn;
    if (old.open_) {
        oldColumn.reserve(old.fields_.size());
        for (size_t i = 0; i < old.fields_.size(); ++i)
            oldColumn.try_emplace(old.fields_[i].name, i);
    }
    size_t rows = old.open_ ? old.rows_ : 0;
    for (size_t i = 0; i < fresh->fields_.size(); ++i) {
        auto it = oldColumn.find(fresh->fields_[i].name);
        int from = it == oldColumn.end() ? -1 : static_cast<int>(it->second);
        // A new column reads as empty for the old rows as it is.
        if (from >= 0) {
            fresh->columns_[i] = std::move(old.columns_[static_cast<size_t>(from)]);
            old.columns_[static_cast<size_t>(from)] = Column();
        }
    }
    fresh->rows_ = rows;
    old.close();
    return fresh;
}

}  // namespace brevadin
