// brevadin-export: loads logs (or a saved table) through the same pipeline as
// the viewer and writes the result as XML or CSV, counts its rows, or sums
// them up.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/appinfo.h"
#include "common/atomicfile.h"
#include "config/settingspath.h"
#include "export/csvexport.h"
#include "export/xmlconv.h"
#include "logdata/loadcommands.h"
#include "logdata/loadcontext.h"
#include "logdata/logreader.h"
#include "logdata/rowquery.h"
#include "logdata/summary.h"
#include "netlookup/clsnslookup.h"
#include "netlookup/hostcache.h"
#include "tools/terminalprogress.h"

namespace brevadin {
namespace {

constexpr const char* kUsage =
    "usage: brevadin-export [options] INPUT...\n"
    "\n"
    "INPUT is one or more log files, gathered into one table in the given order,\n"
    "or one saved table (.xml).\n"
    "\n"
    "options:\n"
    "  -o FILE           write the table to FILE; a name ending in xml or csv (any\n"
    "                    letter case) picks the form\n"
    "  --count           print the number of rows left after --types and --filter\n"
    "                    and write nothing (instead of -o)\n"
    "  --summary         print totals, requests per hour and the top lists of the rows\n"
    "                    left after --types and --filter as UTF-8 TSV sections (each\n"
    "                    \"# name\", a header line, rows, an empty line), to standard\n"
    "                    output or to -o FILE when FILE ends in tsv; NCSA dates are\n"
    "                    moved into the zone of --gmt-diff\n"
    "  --top N           rows of each top list of --summary (default 20)\n"
    "  --log-type N      0 Microsoft IIS, 1 NCSA common, 2 W3C extended (default 2),\n"
    "                    3 or auto: each file as its first lines show\n"
    "  --gmt-diff H      hours added to W3C dates and times, -23..23 (default 9)\n"
    "  --types LIST      all (default), none (only requests for \"/\"), or a comma\n"
    "                    list of html,script,archive,movie,sound\n"
    "  --filter EXPR     keep the rows EXPR holds for, in the viewer's filter language:\n"
    "                    =, <>, <, <=, >, >= (as numbers when both sides are), like\n"
    "                    with * or %, not, and, or, parentheses; e.g.\n"
    "                    \"sc-status >= 400 and [cs(User-Agent)] like '*bot*'\"\n"
    "                    applied after --types; a bad EXPR exits with status 2\n"
    "  --sort LIST       FIELD[:asc|:desc][,FIELD...] (asc by default): numbers, NCSA\n"
    "                    Date and IIS 日付/時刻 by their value, the rest as text; rows\n"
    "                    with equal keys keep the table's order, which is also the\n"
    "                    order without --sort\n"
    "  --hosts FILE      host-name cache (default hosts.xml beside this program, or in\n"
    "                    ~/.config/Brevadin for an installed program or one whose\n"
    "                    folder is not writable)\n"
    "  --no-dns          send no DNS queries; addresses the cache lacks show as\n"
    "                    \"Unknown [address]\" and are not cached\n"
    "  --quiet           no progress bar and no warnings; when the run fails, the\n"
    "                    messages and the reason are still printed\n"
    "  -h, --help        show this text\n";

int usageError(const std::string& why) {
    std::fprintf(stderr, "brevadin-export: %s\n\n%s", why.c_str(), kUsage);
    return 2;
}

std::optional<int> parseInt(const std::string& text, int lo, int hi) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return std::nullopt;
    return static_cast<int>(v);
}

bool parseTypes(const std::string& text, ContentTypes& types) {
    types = ContentTypes{};
    if (text == "all") return true;
    types.IncludeAll = types.IncludeHTML = types.IncludeScript = types.IncludeArchive =
        types.IncludeMovie = types.IncludeSound = false;
    if (text == "none") return true;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(',', pos);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(pos, end - pos);
        pos = end + 1;
        if (item == "html")
            types.IncludeHTML = true;
        else if (item == "script")
            types.IncludeScript = true;
        else if (item == "archive")
            types.IncludeArchive = true;
        else if (item == "movie")
            types.IncludeMovie = true;
        else if (item == "sound")
            types.IncludeSound = true;
        else
            return false;
    }
    return true;
}

bool endsWithXml(const std::string& name) {
    return exportKindForFileName(name) == ExportKind::Xml;
}

// Any letter case, as -o's xml and csv.
bool endsWithTsv(const std::string& name) {
    if (name.size() < 3) return false;
    std::string tail = name.substr(name.size() - 3);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == "tsv";
}

// What makes two names one file: device and inode after following links, so
// that a hard link or a "./" path is caught too. A file not there yet is
// known by its path with links and "." and ".." resolved.
std::string fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    std::error_code ec;
    auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    return "path:" + (ec ? path : canonical.string());
}

// Why an input cannot be read, in the words the user sees; empty when it can.
std::string unreadableInput(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return "ファイルが見つかりません: " + path;
        return "読み込めません: " + path + " (" + std::strerror(errno) + ")";
    }
    if (S_ISDIR(st.st_mode)) return "フォルダです: " + path;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return "読み込めません: " + path + " (" + std::strerror(errno) + ")";
    ::close(fd);
    return {};
}

// The reader's message boxes, as lines on standard error. --quiet holds them
// back instead of dropping them: a run that fails prints what it held, so a
// script that runs the exporter quietly still learns why it failed.
class StderrMessages : public MessageSink {
public:
    explicit StderrMessages(bool quiet) : quiet_(quiet) {}
    void showMessage(MessageIcon icon, const std::string& text, const std::string&) override {
        if (icon == MessageIcon::Critical) sawFailure = true;
        const char* kind = icon == MessageIcon::Critical      ? "エラー: "
                           : icon == MessageIcon::Exclamation ? "警告: "
                                                              : "";
        std::string line = std::string("brevadin-export: ") + kind + text + "\n";
        if (quiet_)
            held_ += line;
        else
            std::fputs(line.c_str(), stderr);
    }
    // Prints what --quiet held back (and the reason the run ends with).
    int fail(int status) {
        std::fputs(held_.c_str(), stderr);
        held_.clear();
        quiet_ = false;
        return status;
    }
    int fail(int status, MessageIcon icon, const std::string& reason) {
        fail(status);
        showMessage(icon, reason, "");
        return status;
    }

    bool sawFailure = false;

private:
    bool quiet_;
    std::string held_;
};

// --no-dns: answers only from what the cache file holds, starts no lookup, so
// the reader shows every other address as "Unknown [address]" and nothing new
// is stored.
class CacheOnlyLookup : public HostLookup {
public:
    explicit CacheOnlyLookup(const Recordset& cache) {
        int ip = cache.fieldIndex("IP"), name = cache.fieldIndex("NAME");
        if (ip < 0 || name < 0) return;
        for (size_t i = 0; i < cache.rowCount(); ++i) {
            size_t row = cache.viewRow(i);
            names_.emplace(std::string(cache.value(row, static_cast<size_t>(ip))),
                           std::string(cache.value(row, static_cast<size_t>(name))));
        }
    }
    bool findOrStart(std::string_view address, std::string& name) override {
        auto it = names_.find(std::string(address));
        if (it == names_.end()) return false;
        name = it->second;
        return true;
    }
    std::vector<Resolved> finishLookups(const std::function<bool(size_t, size_t)>&, bool) override {
        return {};
    }

private:
    std::unordered_map<std::string, std::string> names_;
};

// "FIELD[:asc|:desc][,FIELD...]" into keys; the reason when it names no field
// of the table or a direction other than those two.
std::string parseSortList(const std::string& list, const Recordset& table,
                          std::vector<SortKey>& keys) {
    size_t pos = 0;
    while (pos < list.size()) {
        size_t end = std::min(list.find(',', pos), list.size());
        std::string item = list.substr(pos, end - pos);
        pos = end + 1;
        SortKey key;
        const size_t colon = item.rfind(':');
        if (colon != std::string::npos) {
            std::string dir = item.substr(colon + 1);
            for (char& ch : dir)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (dir != "asc" && dir != "desc")
                return "並べ替えの向き \"" + item.substr(colon + 1) +
                       "\" は asc か desc で指定してください";
            key.descending = dir == "desc";
            item.resize(colon);
        }
        const int column = table.fieldIndex(item);
        if (column < 0) return "並べ替えるフィールド \"" + item + "\" はこのログにありません";
        key.column = static_cast<size_t>(column);
        keys.push_back(key);
    }
    return std::string();
}

struct Options {
    std::string output;
    bool count = false;
    bool summary = false;
    int top = 20;
    std::string filter;
    std::string sort;
    int logType = 2;
    int gmtDiff = 9;
    ContentTypes types;
    std::string hosts;
    bool noDns = false;
    bool quiet = false;
    std::vector<std::string> inputs;
};

int run(int argc, char** argv) {
    Options o;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* opt) -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            (void)opt;
            return args[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "-o") {
            auto v = value("-o");
            if (!v || v->empty()) return usageError("-o needs a file name");
            o.output = *v;
        } else if (a == "--count") {
            o.count = true;
        } else if (a == "--summary") {
            o.summary = true;
        } else if (a == "--top") {
            auto v = value("--top");
            auto n = v ? parseInt(*v, 1, 1000000) : std::nullopt;
            if (!n) return usageError("--top takes a whole number from 1");
            o.top = *n;
        } else if (a == "--filter" || a == "--sort") {
            auto v = value(a.c_str());
            if (!v) return usageError(a + " needs a value");
            (a == "--filter" ? o.filter : o.sort) = *v;
        } else if (a == "--log-type") {
            auto v = value("--log-type");
            std::optional<int> n = v && *v == "auto" ? kLogTypeAuto : std::optional<int>();
            if (v && !n) n = parseInt(*v, 0, 3);
            if (!n) return usageError("--log-type takes 0, 1, 2, 3 or auto");
            o.logType = *n;
        } else if (a == "--gmt-diff") {
            auto v = value("--gmt-diff");
            auto n = v ? parseInt(*v, -23, 23) : std::nullopt;
            if (!n) return usageError("--gmt-diff takes a whole number of hours from -23 to 23");
            o.gmtDiff = *n;
        } else if (a == "--types") {
            auto v = value("--types");
            if (!v || !parseTypes(*v, o.types))
                return usageError(
                    "--types takes all, none or a comma list of "
                    "html,script,archive,movie,sound");
        } else if (a == "--hosts") {
            auto v = value("--hosts");
            if (!v || v->empty()) return usageError("--hosts needs a file name");
            o.hosts = *v;
        } else if (a == "--no-dns") {
            o.noDns = true;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--") {
            o.inputs.insert(o.inputs.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option " + a);
        } else {
            o.inputs.push_back(a);
        }
    }
    if (o.inputs.empty()) return usageError("no input");
    if (o.count && o.summary) return usageError("give either --count or --summary");
    if (o.summary && !o.output.empty() && !endsWithTsv(o.output))
        return usageError("--summary writes to a file whose name ends in tsv");
    if (!o.summary && o.count == !o.output.empty())
        return usageError("give either -o FILE or --count");
    ExportKind kind = ExportKind::Unknown;
    if (!o.count && !o.summary) {
        kind = exportKindForFileName(o.output);
        if (kind == ExportKind::Unknown) {
            std::fprintf(stderr, "brevadin-export: %s\n", "拡張子を特定できませんでした。");
            return 2;
        }
    }
    bool savedTable = o.inputs.size() == 1 && endsWithXml(o.inputs[0]);
    const std::string hostsPath =
        o.hosts.empty() ? joinPath(settingsFolder(), "hosts.xml") : o.hosts;

    // A file written here must be none of those read: -o over an input
    // would replace the log with its own export.
    std::vector<std::pair<std::string, std::string>> written;  // option, path
    if (!o.output.empty()) written.emplace_back("-o", o.output);
    if (!savedTable) written.emplace_back("--hosts", hostsPath);
    for (size_t w = 0; w < written.size(); ++w) {
        const std::string id = fileIdentity(written[w].second);
        for (const std::string& input : o.inputs) {
            if (fileIdentity(input) != id) continue;
            std::fprintf(stderr, "brevadin-export: %s のファイルが入力と同じです: %s と %s\n",
                         written[w].first.c_str(), written[w].second.c_str(), input.c_str());
            return 2;
        }
        for (size_t other = w + 1; other < written.size(); ++other) {
            if (fileIdentity(written[other].second) != id) continue;
            std::fprintf(stderr, "brevadin-export: %s と %s が同じファイルです: %s と %s\n",
                         written[w].first.c_str(), written[other].first.c_str(),
                         written[w].second.c_str(), written[other].second.c_str());
            return 2;
        }
    }

    StderrMessages messages(o.quiet);
    bool inputsReadable = true;
    for (const std::string& input : o.inputs) {
        std::string why = unreadableInput(input);
        if (why.empty()) continue;
        messages.showMessage(MessageIcon::Critical, why, "");
        inputsReadable = false;
    }
    if (!inputsReadable) return messages.fail(1);
    std::unique_ptr<TerminalProgress> progress;
    if (!o.quiet && isatty(STDERR_FILENO)) progress = std::make_unique<TerminalProgress>(stderr);

    RecordsetPtr table;
    std::vector<std::string> withoutLines;
    HostCache hosts;
    std::unique_ptr<CacheOnlyLookup> cacheOnly;
    if (savedTable) {
        table = fncGetRecordsetFromXml(o.inputs[0]);
        if (!table) {
            return messages.fail(1, MessageIcon::Critical,
                                 o.inputs[0] + ": 保存されたテーブルとして読み込めません");
        }
    } else {
        if (const Outcome read = hosts.load(hostsPath).outcome; !read)
            messages.showMessage(MessageIcon::Exclamation, read.description(), "");
        if (o.noDns) cacheOnly = std::make_unique<CacheOnlyLookup>(hosts.table());
        LoadContext ctx;
        ctx.settings.TimeDiff = o.gmtDiff;
        ctx.settings.types = o.types;
        ctx.progress = progress.get();
        ctx.messages = &messages;
        ctx.hosts = o.noDns ? static_cast<HostLookup*>(cacheOnly.get()) : &hosts;
        ctx.formatSetting = "--log-type の指定";
        LoadResult r = o.inputs.size() == 1 ? loadSingleLog("", o.inputs[0], o.logType, ctx)
                                            : gatherLogs("", o.inputs, o.logType, ctx);
        if (progress) progress->finish();
        table = r.table;
        withoutLines = r.withoutLines;
        if (!o.noDns)
            if (const Outcome saved = hosts.save(hostsPath); !saved)
                messages.showMessage(MessageIcon::Exclamation, saved.description(), "");
    }
    // A failed load has said why already.
    if (!messages.sawFailure)
        for (const std::string& name : withoutLines)
            messages.showMessage(MessageIcon::Information, "ログの行がありません: " + name, "");
    if (!table || table->rowCount() == 0) {
        if (!messages.sawFailure && withoutLines.size() < o.inputs.size())
            return messages.fail(1, MessageIcon::Information, "表示できるログがありません");
        return messages.fail(1);
    }
    ParsedQuery query = parseRowQuery(o.filter, *table);
    if (query.error) {
        std::fprintf(stderr, "brevadin-export: --filter: %s\n",
                     filterErrorText(*query.error).c_str());
        return 2;
    }
    std::vector<SortKey> keys;
    if (std::string why = parseSortList(o.sort, *table, keys); !why.empty()) {
        std::fprintf(stderr, "brevadin-export: --sort: %s\n", why.c_str());
        return 2;
    }
    std::vector<uint32_t> rows = filterRows(*table, table->view(), query.query.get());
    sortRowsTyped(*table, rows, keys);
    if (o.count) {
        std::printf("%zu\n", rows.size());
        return 0;
    }
    if (o.summary) {
        const std::string tsv =
            summaryTsv(*summarize(*table, rows, o.gmtDiff, static_cast<size_t>(o.top)));
        if (o.output.empty()) {
            std::fwrite(tsv.data(), 1, tsv.size(), stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        const Outcome written = writeFileAtomically(o.output, tsv);
        if (!written) return messages.fail(1, MessageIcon::Critical, written.description());
        return 0;
    }
    const Outcome exported = kind == ExportKind::Xml
                                 ? fncSaveRecordsetToXml(*table, o.output, {}, &rows)
                                 : saveRecordsetToCsv(*table, o.output, {}, &rows);
    if (!exported) return messages.fail(1, MessageIcon::Critical, exported.description());
    return 0;
}

}  // namespace
}  // namespace brevadin

int main(int argc, char** argv) {
    try {
        return brevadin::run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "brevadin-export: %s\n", e.what());
        return 1;
    }
}
