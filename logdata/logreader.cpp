#include "logdata/logreader.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "common/appinfo.h"
#include "logdata/contentfilter.h"
#include "logdata/linefeeder.h"
#include "logdata/linesplit.h"
#include "logdata/logformat.h"
#include "logdata/timeshift.h"

namespace brevadin {
namespace {

constexpr uint32_t kNoId = std::numeric_limits<uint32_t>::max();
constexpr size_t kNoRow = std::numeric_limits<size_t>::max();
constexpr char kProcedure[] = "fncGetRecordsetFromLog";

[[noreturn]] void fail(int number, const std::string& description) {
    throw AppError(number, kProcedure, description);
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// One call of the reader: the state it keeps from line to line.
class LogLoad {
public:
    LogLoad(const std::string& path, RecordsetPtr& table, int32_t logType, LoadContext& ctx)
        : path_(path), table_(table), logType_(logType), ctx_(ctx) {
        fileName_ = fncGetFileName(path);
        message_ = fileName_ + " を読み込み中";
    }

    RecordsetPtr run();

private:
    enum class Outcome { Finished, Cancelled };

    Outcome readFile(int fd, int64_t lineCount, const FileScan& scan);
    bool lineDone();
    void handleLine(std::string_view line);
    void dataLine(const std::string_view* values, size_t count);
    void handleDirective(std::string_view line);
    void applyFieldList(std::string_view header);
    void bindColumns();
    void addRow(std::string_view line);
    void iisValues(std::string_view line);
    void ncsaValues(std::string_view line);
    void storeRow(const std::string_view* values, size_t count);
    uint32_t intern(size_t column, std::string_view text);
    void shiftTime();
    std::string_view directiveDay();
    void noteAddress(uint32_t id);
    bool finishHostLookups(bool cancelNow);
    void report(MessageIcon icon, const std::string& text);
    void reportFailure(int number, const std::string& description);
    std::string readHead() const;
    std::string withHint(std::string text) const;

    const std::string& path_;
    RecordsetPtr& table_;
    int32_t logType_;  // kLogTypeAuto gives way to the guessed format
    int fd_ = -1;
    LoadContext& ctx_;
    std::string fileName_;
    std::string message_;

    // Reader state.
    std::vector<std::string> names_;  // the current field list
    std::vector<int> columnOfName_;   // table column of each current name, -1 for none
    bool fieldListKnown_ = false;
    bool ownFieldList_ = false;  // a "#Fields: " line was read: data lines are W3C lines
    int64_t errorLines_ = 0;
    int64_t rowsStored_ = 0;
    int64_t lineNumber_ = 0;
    int64_t lineCount_ = 0;
    std::string directiveDate_;

    // Row building.
    struct ColumnCache {
        std::string_view text;  // the column's previous value, held by its pool
        uint32_t id = 0;
    };
    std::vector<ColumnCache> caches_;
    std::vector<uint32_t> ids_;
    // The columns ids_ holds values for: sized once per field list (a value
    // per name, and the date and time), filled without a check per value.
    std::vector<uint32_t> rowColumns_;
    size_t rowColumnCount_ = 0;
    std::vector<std::string_view> values_;
    NcsaLayout ncsaLayout_;
    std::string trimmed_;
    std::string joined_;
    int dateColumn_ = -1;
    int timeColumn_ = -1;
    int addressColumn_ = -1;

    // Time shift: the row's own "date" and "time" texts, and what the
    // previous row's texts became.
    std::string_view rowDate_;
    std::string_view rowTime_;
    bool lastShiftValid_ = false;
    std::string lastDate_;
    std::string lastTime_;
    uint32_t lastDateId_ = 0;
    uint32_t lastTimeId_ = 0;

    // Client addresses: the distinct ids of "c-ip" met in this load.
    struct Address {
        uint32_t id;
        bool known;
        std::string name;
    };
    std::vector<int32_t> addressSlot_;  // by id: index into addresses_, -1 unseen
    std::vector<Address> addresses_;
    uint32_t lastAddressId_ = kNoId;
    size_t firstAddressRow_ = kNoRow;
};

RecordsetPtr LogLoad::run() {
    if (!table_) table_ = std::make_shared<Recordset>();

    // One open file for the count and the read: a log renamed, replaced or
    // deleted in between is still the one that was counted.
    int raw = openForReading(path_);
    if (raw < 0) return nullptr;
    FileDescriptor fd(raw);
    fd_ = fd.get();
    if (logType_ == kLogTypeAuto) {
        int32_t guess = fncGuessLogType(readHead());
        logType_ = guess >= 0 ? guess : kLogTypeW3c;
    }
    FileScan scan;
    int64_t lineCount = scanOpenFile(fd.get(), &scan);
    try {
        if (lineCount < 0 || ::lseek(fd.get(), scan.bom ? 3 : 0, SEEK_SET) < 0)
            fail(kErrReadFailed, "デバイス I/O エラーです (" + path_ + ")");
        lineCount_ = lineCount;
        if (ctx_.progress) ctx_.progress->setMaxCountMini(lineCount);

        if (logType_ == kLogTypeIis) {
            applyFieldList(kIisFieldList);
        } else if (logType_ == kLogTypeNcsa) {
            applyFieldList(kNcsaFieldList);
        }

        if (readFile(fd.get(), lineCount, scan) == Outcome::Cancelled) {
            finishHostLookups(true);
            return nullptr;
        }
        if (finishHostLookups(false)) return nullptr;

        ctx_.errorLines += errorLines_;
        if (errorLines_ > 0) {
            std::string text = std::to_string(errorLines_) + "個のエラー行が検出されました";
            report(MessageIcon::Exclamation, rowsStored_ == 0 ? withHint(text) : text);
        }
        if (!fieldListKnown_) return nullptr;
        if (table_->fieldExists("cs-uri-stem"))
            table_->setFilter(fncGetFilterString(ctx_.settings.types));
        return table_;
    } catch (const AppError& e) {
        reportFailure(e.number(), e.description());
    } catch (const std::bad_alloc&) {
        reportFailure(kErrOutOfMemory, "メモリが不足しています");
    } catch (const std::exception& e) {
        reportFailure(kErrInternal, std::string("内部エラーです (") + e.what() + ")");
    }
    return nullptr;
}

void LogLoad::reportFailure(int number, const std::string& description) {
    ctx_.failures.push_back(Failure{number, description});
    // Rows already added stay; their addresses still get display texts.
    try {
        finishHostLookups(true);
    } catch (...) {
        // The failure being reported is the one the user needs to see.
    }
    report(MessageIcon::Critical,
           withHint(std::string(kProcedure) + ":" + std::to_string(number) + description));
}

// The first bytes of the file, enough for the first lines of any log.
std::string LogLoad::readHead() const {
    std::string head(16384, '\0');
    ssize_t n = ::pread(fd_, head.data(), head.size(), 0);
    head.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return head;
}

// A load that goes wrong on a file of another format tells which one, since
// the setting, not the file, is then what needs changing.
std::string LogLoad::withHint(std::string text) const {
    std::string hint = fncWrongFormatHint(readHead(), logType_, ctx_.formatSetting);
    if (!hint.empty()) (text += '\n') += hint;
    return text;
}

void LogLoad::report(MessageIcon icon, const std::string& text) {
    if (ctx_.messages) ctx_.messages->showMessage(icon, text, kAppTitle);
}

LogLoad::Outcome LogLoad::readFile(int fd, int64_t lineCount, const FileScan& scan) {
    const Decode decode = decodeFor(scan);
    if (table_->isOpen()) table_->reserveRows(table_->storedRowCount() + lineCount);

    const bool w3c = logType_ != kLogTypeIis && logType_ != kLogTypeNcsa;
    LineFeeder feeder(fd, scan.size - (scan.bom ? 3 : 0), scan.lineEnd, decode, w3c);
    for (;;) {
        LineBlock* block = feeder.next();
        for (const LineBlock::Line& line : block->lines) {
            if (line.valueCount == kNotText) {
                ++lineNumber_;
                ++errorLines_;
            } else if (line.valueCount == kBlankLine) {
                ++lineNumber_;
            } else if (line.valueCount == kUnsplit) {
                handleLine(std::string_view(block->text.data() + line.begin, line.length));
            } else {
                ++lineNumber_;
                dataLine(block->values.data() + line.firstValue, line.valueCount);
            }
            if (!lineDone()) {
                feeder.recycle(block);
                return Outcome::Cancelled;
            }
        }
        const bool last = block->last;
        const int readError = block->readError;
        const bool shortened = block->shortened;
        feeder.recycle(block);
        if (readError != 0)
            fail(kErrReadFailed, "デバイス I/O エラーです (" + std::to_string(lineNumber_ + 1) +
                                     " 行目: " + std::strerror(readError) + ")");
        if (shortened)
            fail(kErrReadFailed, "読み込み中にファイルが短くなりました (" +
                                     std::to_string(lineNumber_ + 1) + " 行目から後が読めません)");
        if (last) return Outcome::Finished;
    }
}

// Every line read, whatever its kind, is one step of the small bar.
bool LogLoad::lineDone() {
    return !(ctx_.progress && ctx_.progress->UpdateStatus(message_, 1, true));
}

void LogLoad::handleLine(std::string_view line) {
    ++lineNumber_;
    if (!line.empty() && line.front() == '#') {
        trimSpacesInto(line, trimmed_);
        handleDirective(trimmed_);
        return;
    }
    if (!fieldListKnown_) {
        ++errorLines_;
        return;
    }
    addRow(line);
}

void LogLoad::dataLine(const std::string_view* values, size_t count) {
    if (!fieldListKnown_) {
        ++errorLines_;
        return;
    }
    storeRow(values, count);
}

void LogLoad::handleDirective(std::string_view line) {
    static constexpr std::string_view kDate = "#Date: ";
    static constexpr std::string_view kFields = "#Fields: ";
    if (startsWith(line, "#Software: ") || startsWith(line, "#Version: ")) return;
    if (startsWith(line, kDate)) {
        directiveDate_ = std::string(line.substr(kDate.size()));
        lastShiftValid_ = false;
        return;
    }
    if (startsWith(line, kFields)) {
        // Copied: applyFieldList outlives the buffer the line points into.
        // Names, like values, may be separated by runs of spaces and TABs;
        // a separator in front of the first name makes no nameless first one.
        std::string header;
        for (char c : line.substr(kFields.size())) {
            if (isBlank(c) && (header.empty() || header.back() == ' ')) continue;
            header += isBlank(c) ? ' ' : c;
        }
        applyFieldList(header);
        ownFieldList_ = true;
        return;
    }
    // Any other "#" line is a remark or a directive without meaning here.
}

void LogLoad::applyFieldList(std::string_view header) {
    const size_t count =
        header.empty() ? 0 : static_cast<size_t>(std::count(header.begin(), header.end(), ' ')) + 1;
    if (count > kMaxFieldCount)
        fail(kErrTooManyFields, "フィールド名が多すぎます (" + std::to_string(lineNumber_) +
                                    " 行目: " + std::to_string(count) + " 個。読み込めるのは " +
                                    std::to_string(kMaxFieldCount) + " 個までです)");
    fncMergeFields(table_, header);
    if (table_->fieldCount() > kMaxFieldCount + 1)
        fail(kErrTooManyFields, "フィールド名が多すぎます (" + std::to_string(lineNumber_) +
                                    " 行目まで: 合わせて " + std::to_string(table_->fieldCount()) +
                                    " 個。読み込めるのは " + std::to_string(kMaxFieldCount) +
                                    " 個までです)");
    names_.clear();
    for (std::string_view name : splitAtSpaces(header)) names_.emplace_back(name);
    fieldListKnown_ = true;
    bindColumns();
    int64_t linesLeft = std::max<int64_t>(0, lineCount_ - lineNumber_);
    table_->reserveRows(table_->storedRowCount() + static_cast<size_t>(linesLeft));
}

// Maps the current names to the columns of the (possibly new) table once, so
// that data lines need no name look-ups.
void LogLoad::bindColumns() {
    std::unordered_map<std::string_view, int> columnOf;
    columnOf.reserve(table_->fieldCount());
    for (size_t i = 0; i < table_->fieldCount(); ++i)
        columnOf.try_emplace(table_->fields()[i].name, static_cast<int>(i));
    columnOfName_.clear();
    for (const auto& name : names_) {
        auto it = name.empty() ? columnOf.end() : columnOf.find(name);
        columnOfName_.push_back(it == columnOf.end() ? -1 : it->second);
    }
    caches_.assign(table_->fieldCount(), ColumnCache{});
    ids_.assign(table_->fieldCount(), 0);
    rowColumns_.assign(names_.size() + 2, 0);
    rowColumnCount_ = 0;
    dateColumn_ = table_->fieldIndex("date");
    timeColumn_ = table_->fieldIndex("time");
    addressColumn_ = table_->fieldIndex("c-ip");
    lastShiftValid_ = false;
    lastAddressId_ = kNoId;
}

void LogLoad::addRow(std::string_view line) {
    if (ownFieldList_ || (logType_ != kLogTypeIis && logType_ != kLogTypeNcsa)) {
        trimmed_.assign(line);
        values_.clear();
        splitW3cQuoted(trimmed_.data(), trimmed_.size(), values_);
    } else if (logType_ == kLogTypeIis) {
        iisValues(line);
    } else {
        ncsaValues(line);
    }
    storeRow(values_.data(), values_.size());
}

void LogLoad::iisValues(std::string_view line) {
    trimSpacesInto(line, trimmed_);
    splitIis(trimmed_, values_);
    // Fewer values are no IIS line at all (a W3C or NCSA log read with the
    // wrong setting), and storing them would shift every field.
    if (values_.size() < names_.size())
        fail(kErrNotThisFormat, "型が一致しません (" + std::to_string(lineNumber_) +
                                    " 行目: Microsoft IIS の行は値が " +
                                    std::to_string(names_.size()) + " 個のはずが " +
                                    std::to_string(values_.size()) + " 個)");
    // The fifteenth value, the request's parameters, belongs to the target as
    // its query; commas in it must not make more values.
    joinIisQuery(values_, joined_);
}

// A field list that lacks a name for what the line carries is widened
// first, as a "#Fields: " line would.
void LogLoad::ncsaValues(std::string_view line) {
    trimSpacesInto(line, trimmed_);
    if (ncsaLayout_.place(trimmed_, values_)) applyFieldList(ncsaLayout_.fieldList());
}

void LogLoad::storeRow(const std::string_view* values, size_t count) {
    if (count > names_.size())
        fail(kErrTooManyValues, "インデックスが有効範囲にありません (" +
                                    std::to_string(lineNumber_) + " 行目: 値が " +
                                    std::to_string(count) + " 個、フィールド名が " +
                                    std::to_string(names_.size()) + " 個)");
    if (timeColumn_ >= 0) {
        // "date" and "time" are stored once shifted; their raw texts only
        // reach the pools when they cannot be read.
        rowDate_ = std::string_view();
        rowTime_ = std::string_view();
        for (size_t i = 0; i < count; ++i) {
            int column = columnOfName_[i];
            if (column == dateColumn_) {
                rowDate_ = values[i];
            } else if (column == timeColumn_) {
                rowTime_ = values[i];
            } else if (column >= 0) {
                ids_[static_cast<size_t>(column)] = intern(static_cast<size_t>(column), values[i]);
                rowColumns_[rowColumnCount_++] = static_cast<uint32_t>(column);
            }
        }
        shiftTime();
    } else {
        for (size_t i = 0; i < count; ++i) {
            int column = columnOfName_[i];
            if (column >= 0) {
                ids_[static_cast<size_t>(column)] = intern(static_cast<size_t>(column), values[i]);
                rowColumns_[rowColumnCount_++] = static_cast<uint32_t>(column);
            }
        }
    }
    if (addressColumn_ >= 0 && ctx_.hosts) {
        if (firstAddressRow_ == kNoRow) firstAddressRow_ = table_->storedRowCount();
        uint32_t id = ids_[static_cast<size_t>(addressColumn_)];
        if (id != lastAddressId_) {
            noteAddress(id);
            lastAddressId_ = id;
        }
    }
    // Only the columns the line reaches are touched, so a short line in a
    // table of thousands of fields costs its own values.
    table_->appendRowIds(ids_.data(), rowColumns_.data(), rowColumnCount_);
    for (size_t i = 0; i < rowColumnCount_; ++i) ids_[rowColumns_[i]] = 0;
    rowColumnCount_ = 0;
    ++rowsStored_;
}

// Consecutive lines mostly repeat a column's value (same day, same visitor,
// same server), so the previous value is checked before the pool's hash.
uint32_t LogLoad::intern(size_t column, std::string_view text) {
    ColumnCache& cache = caches_[column];
    if (text == cache.text) return cache.id;
    Column& c = table_->column(column);
    uint32_t id = c.intern(text);
    cache.id = id;
    cache.text = c.pool().text(id);
    return id;
}

// The day of the last "#Date: " line, for rows that log no date.
std::string_view LogLoad::directiveDay() {
    size_t space = directiveDate_.find(' ');
    if (space == std::string::npos)
        fail(kErrBadArgument, "プロシージャの呼び出し、または引数が不正です (" +
                                  std::to_string(lineNumber_) +
                                  " 行目: 日付がなく、#Date: 行からも日付を取れません)");
    return std::string_view(directiveDate_).substr(0, space);
}

// Log lines come in time order and many share one second, so the date is
// read only when the row's date or time differs from the previous row's:
// once per distinct second of the log.
void LogLoad::shiftTime() {
    const size_t dateColumn = static_cast<size_t>(dateColumn_);
    const size_t timeColumn = static_cast<size_t>(timeColumn_);
    std::string_view date = rowDate_.empty() ? directiveDay() : rowDate_;
    if (!lastShiftValid_ || rowTime_ != lastTime_ || rowDate_ != lastDate_) {
        if (auto shifted = fncShiftDateTime(date, rowTime_, ctx_.settings.TimeDiff)) {
            lastDateId_ = intern(dateColumn, shifted->date);
            lastTimeId_ = intern(timeColumn, shifted->time);
        } else {
            // Unreadable: both keep the row's own text, an empty date included.
            lastDateId_ = intern(dateColumn, rowDate_);
            lastTimeId_ = intern(timeColumn, rowTime_);
        }
        lastDate_.assign(rowDate_);
        lastTime_.assign(rowTime_);
        lastShiftValid_ = true;
    }
    ids_[dateColumn] = lastDateId_;
    ids_[timeColumn] = lastTimeId_;
    rowColumns_[rowColumnCount_++] = static_cast<uint32_t>(dateColumn);
    rowColumns_[rowColumnCount_++] = static_cast<uint32_t>(timeColumn);
}

// A distinct address is asked for once; a miss resolves in the background
// while the rest of the file is read.
void LogLoad::noteAddress(uint32_t id) {
    if (id >= addressSlot_.size())
        addressSlot_.resize(std::max<size_t>(id + 1, addressSlot_.size() * 2), -1);
    if (addressSlot_[id] >= 0) return;
    addressSlot_[id] = static_cast<int32_t>(addresses_.size());
    Address entry{id, false, {}};
    std::string_view text = table_->column(static_cast<size_t>(addressColumn_)).pool().text(id);
    entry.known = ctx_.hosts->findOrStart(text, entry.name);
    addresses_.push_back(std::move(entry));
}

// Waits for the lookups of the load and turns every address of the rows this
// load added into "name [address]", one new value per distinct address.
// True when the user cancelled while waiting.
bool LogLoad::finishHostLookups(bool cancelNow) {
    if (!ctx_.hosts || firstAddressRow_ == kNoRow) return false;
    bool cancelled = false;
    bool maxSet = false;
    size_t reported = 0;
    const std::string waitMessage = fileName_ + " のホスト名を解決中";
    auto progress = [&](size_t done, size_t total) {
        if (!ctx_.progress) return false;
        if (!maxSet) {
            ctx_.progress->setMaxCountMini(static_cast<int64_t>(total));
            maxSet = true;
        }
        int64_t step = static_cast<int64_t>(done) - static_cast<int64_t>(reported);
        reported = done;
        if (ctx_.progress->UpdateStatus(waitMessage, step, true)) cancelled = true;
        return cancelled;
    };
    std::vector<HostLookup::Resolved> resolved = ctx_.hosts->finishLookups(progress, cancelNow);

    std::unordered_map<std::string_view, const std::string*> names;
    for (const auto& r : resolved) names.emplace(r.address, &r.name);

    Column& column = table_->column(static_cast<size_t>(addressColumn_));
    std::vector<uint32_t> display(addressSlot_.size(), 0);
    for (const Address& a : addresses_) {
        std::string address(column.pool().text(a.id));
        std::string name = "Unknown";
        if (a.known) {
            name = a.name;
        } else if (auto it = names.find(address); it != names.end()) {
            name = *it->second;
        }
        display[a.id] = column.intern(hostDisplayText(name, address));
    }
    // Once only, even if this fails part way and the failure path asks again.
    const size_t first = firstAddressRow_;
    firstAddressRow_ = kNoRow;
    const size_t rows = table_->storedRowCount();
    for (size_t row = first; row < rows; ++row) column.setId(row, display[column.id(row)]);
    return cancelled;
}

}  // namespace

RecordsetPtr fncGetRecordsetFromLog(const std::string& path, RecordsetPtr& table, int32_t logType,
                                    LoadContext& ctx) {
    LogLoad load(path, table, logType, ctx);
    return load.run();
}

RecordsetPtr fncMergeFields(RecordsetPtr& table, std::string_view header) {
    RecordsetPtr old = table ? table : std::make_shared<Recordset>();
    std::vector<FieldInfo> fields;
    // A field list may name thousands of fields, and a log repeats it after
    // every restart: no search through the names per name. The views point
    // into the old table's fields and into header, which outlive the set.
    std::unordered_set<std::string_view> taken;
    auto add = [&](std::string_view name) {
        if (name.empty() || !taken.insert(name).second) return;
        fields.push_back(FieldInfo{std::string(name), FieldType::WideText, 255});
    };
    add("date");
    for (const auto& f : old->fields()) add(f.name);
    for (std::string_view name : splitAtSpaces(header)) add(name);
    table = Recordset::takeOverColumns(*old, fields);
    return table;
}

bool fncFieldExists(const Recordset& table, std::string_view name) {
    return table.fieldExists(name);
}

std::string fncGetFileName(std::string_view path) {
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return std::string();
    return std::string(path.substr(slash + 1));
}

}  // namespace brevadin
