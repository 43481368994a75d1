// Loads a 1,000,000-line W3C extended log as the viewer does (time shift +9,
// host names, the HTML + script content filter) and prints wall time and
// peak memory next to their targets.
//
//   bench_load [log file]
//
// Without an argument the log is generated once with brevadin-genlog
// into $BREVADIN_BENCH_DATA (or /tmp/brevadin-bench) and reused afterwards.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "logdata/loadcontext.h"
#include "logdata/logreader.h"
#include "logdata/recordset.h"

using namespace brevadin;

namespace {

constexpr double kMaxSeconds = 1.0;
constexpr double kMaxRssShare = 0.75;  // of the file's size
constexpr long kLines = 1000000;

long long fileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

std::string ensureLog() {
    const char* env = std::getenv("BREVADIN_BENCH_DATA");
    std::string dir = env && *env ? env : "/tmp/brevadin-bench";
    ::mkdir(dir.c_str(), 0755);
    std::string path = dir + "/genlog-w3c-1m.log";
    if (fileSize(path) > 0) return path;
    std::string tmp = path + ".part";
    std::printf("generating %s ...\n", path.c_str());
    std::fflush(stdout);
    pid_t pid = ::fork();
    if (pid == 0) {
        std::string lines = std::to_string(kLines);
        ::execl(BREVADIN_GENLOG, "brevadin-genlog", "--format", "w3c", "--lines", lines.c_str(),
                "-o", tmp.c_str(), static_cast<char*>(nullptr));
        std::perror(BREVADIN_GENLOG);
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0 || std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "could not generate %s\n", path.c_str());
        std::exit(2);
    }
    return path;
}

// Answers every address at once from names prepared before the timed load,
// as a warm host-name cache does.
class PreparedHosts : public HostLookup {
public:
    explicit PreparedHosts(const std::string& path) {
        std::ifstream in(path);
        std::string line;
        int column = -1;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("#Fields: ", 0) == 0) {
                column = -1;
                int i = 0;
                size_t start = 9;
                for (;;) {
                    size_t sp = line.find(' ', start);
                    if (line.compare(start,
                                     sp == std::string::npos ? std::string::npos : sp - start,
                                     "c-ip") == 0)
                        column = i;
                    if (sp == std::string::npos) break;
                    start = sp + 1;
                    ++i;
                }
                continue;
            }
            if (line.empty() || line[0] == '#' || column < 0) continue;
            size_t start = 0;
            for (int i = 0; i < column && start != std::string::npos; ++i) {
                start = line.find(' ', start);
                if (start != std::string::npos) ++start;
            }
            if (start == std::string::npos) continue;
            std::string address = line.substr(start, line.find(' ', start) - start);
            names_.try_emplace(address, "host-" + std::to_string(names_.size()) + ".example.jp");
        }
    }

    bool findOrStart(std::string_view address, std::string& name) override {
        ++asked_;
        auto it = names_.find(std::string(address));
        if (it == names_.end()) return false;
        name = it->second;
        return true;
    }
    std::vector<Resolved> finishLookups(const std::function<bool(size_t, size_t)>&, bool) override {
        return {};
    }

    size_t known() const { return names_.size(); }
    size_t asked() const { return asked_; }

private:
    std::unordered_map<std::string, std::string> names_;
    size_t asked_ = 0;
};

class CountingProgress : public ProgressSink {
public:
    void setMaxCount(int64_t) override {}
    void setMaxCountMini(int64_t max) override { max_ = max; }
    bool UpdateStatus(const std::string&, int64_t step, bool) override {
        count_ += step;
        return false;
    }
    int64_t max_ = 0;
    int64_t count_ = 0;
};

class PrintedMessages : public MessageSink {
public:
    void showMessage(MessageIcon, const std::string& text, const std::string&) override {
        std::printf("message: %s\n", text.c_str());
    }
};

long peakRssKiB() {
    struct rusage usage;
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path = argc > 1 ? argv[1] : ensureLog();
    long long size = fileSize(path);
    if (size <= 0) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 2;
    }
    PreparedHosts hosts(path);
    CountingProgress progress;
    PrintedMessages messages;
    LoadContext ctx;
    ctx.settings.TimeDiff = 9;
    ctx.settings.types = ContentTypes{false, true, true, false, false, false};
    ctx.progress = &progress;
    ctx.messages = &messages;
    ctx.hosts = &hosts;

    long rssBefore = peakRssKiB();
    auto start = std::chrono::steady_clock::now();
    RecordsetPtr table;
    RecordsetPtr result = fncGetRecordsetFromLog(path, table, kLogTypeW3c, ctx);
    size_t visible = result ? result->rowCount() : 0;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    long rss = peakRssKiB();
    if (!result) {
        std::fprintf(stderr, "the load gave no table\n");
        return 1;
    }

    double sizeMiB = static_cast<double>(size) / (1024.0 * 1024.0);
    double rssMiB = static_cast<double>(rss) / 1024.0;
    double share = static_cast<double>(rss) * 1024.0 / static_cast<double>(size);
    bool timeOk = seconds <= kMaxSeconds;
    bool rssOk = share <= kMaxRssShare;
    std::printf("file           %s (%.1f MiB, %lld lines counted)\n", path.c_str(), sizeMiB,
                static_cast<long long>(progress.max_));
    std::printf("rows           %zu stored, %zu visible under \"%s\"\n", result->storedRowCount(),
                visible, result->filter().c_str());
    std::printf("host look-ups  %zu (distinct addresses %zu)\n", hosts.asked(), hosts.known());
    std::printf("wall time      %.3f s    target <= %.2f s   %s\n", seconds, kMaxSeconds,
                timeOk ? "ok" : "MISSED");
    std::printf(
        "peak RSS       %.1f MiB = %.2f x file size (%.1f MiB before the load)   "
        "target <= %.2f x   %s\n",
        rssMiB, share, static_cast<double>(rssBefore) / 1024.0, kMaxRssShare,
        rssOk ? "ok" : "MISSED");
    return timeOk && rssOk ? 0 : 1;
}
