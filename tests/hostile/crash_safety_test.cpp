// A save killed at any moment leaves the old file or the new one, whole, and
// never a mixture, a stub or a truncated copy; nor do the temporary files of
// killed saves pile up or get in the way of the next save.
//
// A forked writer saves one kind of file over and over (the host-name cache,
// the settings, an XML or CSV export), alternating two known contents A and
// B, and is killed with SIGKILL after a random delay, from microseconds to a
// little more than one save. After each kill the file must equal A or B byte
// for byte.

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include "config/clsconfig.h"
#include "export/csvexport.h"
#include "export/xmlconv.h"
#include "netlookup/hostcache.h"
#include "tests/support/fakeresolver.h"
#include "tests/support/loadfakes.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using Clock = std::chrono::steady_clock;
using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kKills = 60;  // the sanitizer makes every save several times slower
#else
constexpr int kKills = 200;
#endif

// The same addresses and times in A and B, names differing: a save merges in
// what the file holds and the cache lacks or has older, which here is
// nothing, so each save writes its own contents whole. The exports write the
// same table, with markup and Japanese in it.
RecordsetPtr hostTable(bool b) {
    auto t = std::make_shared<Recordset>();
    t->appendField("IP", FieldType::NarrowText, 50);
    t->appendField("NAME", FieldType::NarrowText, 255);
    t->appendField("UPDATED", FieldType::DateTime);
    t->appendField("CREATED", FieldType::DateTime);
    t->open();
    for (int i = 0; i < 6000; ++i) {
        // Distinct times, so that the newest-first order of a save is fixed.
        char when[24];
        std::snprintf(when, sizeof when, "2003-05-%02dT%02d:%02d:%02d", 1 + i / 3600 % 28,
                      i / 60 % 24, i % 60, i / 1440 % 60);
        const std::string values[] = {
            "198.18." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256),
            (b ? "b-host" : "a-host") + std::to_string(i) + ".<日本語>&'pool'.example.ne.jp", when,
            when};
        size_t r = t->appendRow();
        for (size_t c = 0; c < 4; ++c) t->setValue(r, c, values[c]);
    }
    return t;
}

// A save of content A or B of one kind to one path, built once, to be run
// again and again.
using Save = std::function<Outcome()>;

Save saver(const std::string& kind, const std::string& target, bool b) {
    if (kind == "hosts") {
        // Every name it saves is known already: the fake is never asked.
        auto cache = std::make_shared<HostCache>(std::make_shared<testing::FakeResolver>());
        cache->adopt(hostTable(b));
        return [cache, target] { return cache->save(target); };
    }
    if (kind == "settings") {
        auto grid = std::make_shared<testing::FakeWidths>(b ? 7000 : 6000, b ? 2000 : 1000);
        auto s = std::make_shared<clsConfig>(target);
        s->setDBGrid(grid.get());
        s->ReadPath = b ? "/var/log/httpd/日本語" : "/var/log/iis";
        s->TimeDiff = b ? -5 : 9;
        bool* flags[] = {&s->IncludeAll,     &s->IncludeHTML,  &s->IncludeScript,
                         &s->IncludeArchive, &s->IncludeMovie, &s->IncludeSound};
        for (int f = 0; f < 6; ++f) *flags[f] = (f % 2 == 1) == b;
        s->LogType = b ? 1 : 2;
        return [s, grid] { return s->Save(); };
    }
    RecordsetPtr table = hostTable(b);
    if (kind == "xml") return [=] { return fncSaveRecordsetToXml(*table, target); };
    return [=] { return saveRecordsetToCsv(*table, target); };
}

// A hand-kept settings file of a few megabytes that every save must carry
// over line for line.
std::string settingsSeed() {
    std::string text = "; settings kept by hand\r\n";
    for (int s = 0; s < 2500; ++s) {
        text += "[Profile" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 6; ++k)
            text += "Entry" + std::to_string(k) + "=/some/longish/path/value/" +
                    std::to_string(s * 6 + k) + "\r\n";
    }
    return text;
}

// A child that saves first, second, first, ... until killed, and writes a
// byte to its pipe after every save that worked.
class Writer {
public:
    Writer(const Save& first, const Save& second) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            for (int i = 0; (i % 2 ? second : first)(); ++i)
                if (::write(fds[1], "S", 1) != 1) break;
            ::_exit(1);
        }
        ::close(fds[1]);
        out_ = fds[0];
    }
    bool started() const { return pid_ > 0; }

    // Waits until the child reports a save; false when it said nothing in time.
    bool saved(int timeoutMs = 30000) {
        pollfd p{out_, POLLIN, 0};
        char c = 0;
        return ::poll(&p, 1, timeoutMs) > 0 && ::read(out_, &c, 1) == 1;
    }

    void kill() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    ~Writer() {
        if (pid_ > 0) kill();
        if (out_ >= 0) ::close(out_);
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// Sees the temporary file of a save appear and go: the save's writing runs
// from its creation to its rename over the target.
class TemporaryWatch {
public:
    TemporaryWatch(const std::string& dir, std::string target)
        : fd_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)), prefix_(std::move(target) + ".tmp-") {
        if (fd_ >= 0) ::inotify_add_watch(fd_, dir.c_str(), IN_CREATE | IN_MOVED_FROM);
    }
    ~TemporaryWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    // Forgets what happened so far.
    void drain() {
        alignas(inotify_event) char buffer[4096];
        while (::read(fd_, buffer, sizeof buffer) > 0) {
        }
    }
    // Waits until a temporary file is created (mask IN_CREATE) or renamed
    // away (IN_MOVED_FROM); false after timeoutMs.
    bool waitFor(uint32_t mask, int timeoutMs = 10000) {
        auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            ssize_t n = ::read(fd_, buffer, sizeof buffer);
            for (ssize_t at = 0; n > 0 && at < n;) {
                auto* e = reinterpret_cast<inotify_event*>(buffer + at);
                if ((e->mask & mask) && e->len > 0 &&
                    std::string_view(e->name).rfind(prefix_, 0) == 0)
                    return true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
            if (n > 0) continue;
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left));
        }
    }

private:
    int fd_;
    std::string prefix_;
};

std::set<std::string> strays(const std::filesystem::path& dir, const std::string& file) {
    std::set<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(file + ".tmp-", 0) == 0) out.insert(name);
    }
    return out;
}

class CrashSafety : public ::testing::TestWithParam<std::string> {};

TEST_P(CrashSafety, EveryKillLeavesTheOldOrTheNewFileWhole) {
    const std::string kind = GetParam(), file = kind + ".target";
    const bool needsSeed = kind == "settings";  // its save updates an existing file
    TempFolder dir;
    const std::string target = dir.file(file);

    // The two contents, each made by an uninterrupted save.
    const std::string refA = dir.file("ref-a"), refB = dir.file("ref-b");
    if (needsSeed) {
        writeFile(refA, settingsSeed());
        writeFile(refB, settingsSeed());
    }
    ASSERT_TRUE(saver(kind, refA, false)());
    ASSERT_TRUE(saver(kind, refB, true)());
    const std::string a = readFile(refA), b = readFile(refB);
    ASSERT_GT(a.size(), 500u << 10);
    ASSERT_GT(b.size(), 500u << 10);
    ASSERT_NE(a, b);
    const Save saveA = saver(kind, target, false), saveB = saver(kind, target, true);
    if (needsSeed) {
        // An update of A's file to B and back gives exactly A and B again,
        // so the file may hold only one of the two whatever came before.
        writeFile(target, a);
        ASSERT_TRUE(saveB());
        ASSERT_TRUE(readFile(target) == b);
        ASSERT_TRUE(saveA());
        ASSERT_TRUE(readFile(target) == a);
    }
    writeFile(target, a);

    // How long the first save of a fresh writer takes (longer than later
    // ones: its pages are not its own yet), and how long of it the writing itself, so
    // that the delays cover all of it.
    TemporaryWatch watch(dir.path(), file);
    ASSERT_TRUE(watch.ok());
    double saveSeconds = 0, writeSeconds = 0;
    for (int i = 0; i < 3; ++i) {
        watch.drain();
        auto begin = Clock::now();
        Writer w(i % 2 ? saveA : saveB, i % 2 ? saveB : saveA);
        ASSERT_TRUE(w.started());
        ASSERT_TRUE(watch.waitFor(IN_CREATE));
        auto created = Clock::now();
        ASSERT_TRUE(watch.waitFor(IN_MOVED_FROM));
        writeSeconds =
            std::max(writeSeconds, std::chrono::duration<double>(Clock::now() - created).count());
        ASSERT_TRUE(w.saved());
        saveSeconds =
            std::max(saveSeconds, std::chrono::duration<double>(Clock::now() - begin).count());
        w.kill();
    }
    ASSERT_TRUE(readFile(target) == a || readFile(target) == b);

    std::mt19937_64 rng(std::hash<std::string>{}(kind));
    const double longest = saveSeconds * 1.3;
    int duringWrite = 0;
    bool holdsA = readFile(target) == a;
    // On a busy machine fewer delays land inside a write: kill on until enough
    // have, within three times the usual number of kills.
    for (int k = 0; k < kKills || (duringWrite < kKills / 10 && k < 3 * kKills); ++k) {
        const std::set<std::string> before = strays(dir.path(), file);
        // A third of the delays spread evenly over a save, a third on a log
        // scale so that the first microseconds get kills too, and a third
        // counted from the moment the temporary file appears, over the
        // writing, the flush and the rename (a settings save spends most of
        // its time reading and rewriting the text before it writes at all).
        double seconds = 0;
        const bool fromCreation = k % 3 == 2;
        switch (k % 3) {
            case 0:
                seconds = std::uniform_real_distribution<double>(0, longest)(rng);
                break;
            case 1:
                seconds = std::exp(
                    std::uniform_real_distribution<double>(std::log(1e-6), std::log(longest))(rng));
                break;
            default:
                seconds = std::uniform_real_distribution<double>(0, writeSeconds * 1.2)(rng);
        }
        watch.drain();
        Writer w(holdsA ? saveB : saveA, holdsA ? saveA : saveB);
        ASSERT_TRUE(w.started()) << "kill " << k;
        if (fromCreation) {
            ASSERT_TRUE(watch.waitFor(IN_CREATE)) << "kill " << k;
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        w.kill();

        const std::string now = readFile(target);
        const bool whole = now == a || now == b;
        ASSERT_TRUE(whole) << "kill " << k << " after " << seconds * 1e6 << " µs left "
                           << now.size() << " bytes that are neither A nor B";
        holdsA = now == a;
        // A new temporary file left behind: the kill landed inside a write.
        const std::set<std::string> after = strays(dir.path(), file);
        for (const auto& name : after)
            if (!before.count(name)) {
                ++duringWrite;
                break;
            }
        // Each save first removes what killed saves left, so one at most remains.
        ASSERT_LE(after.size(), 1u) << "kill " << k;
    }

    // The next save works and leaves nothing behind.
    ASSERT_TRUE(saveA());
    EXPECT_TRUE(readFile(target) == a);
    EXPECT_TRUE(strays(dir.path(), file).empty());

    // The delays must really reach into the writes, or the test proves little.
    EXPECT_GE(duringWrite, kKills / 10);
    RecordProperty("killsDuringWrite", duringWrite);
}

// A save through a chain of two links (one relative, one absolute), to a
// target not there yet and then over it: the links stay links, and the
// target gets what a plain save writes and keeps its permissions.
TEST_P(CrashSafety, ASaveThroughLinksWritesTheirTarget) {
    const std::string kind = GetParam();
    TempFolder dir;
    ASSERT_TRUE(saver(kind, dir.file("plain"), false)());
    const std::string target = dir.file("real/target");
    std::filesystem::create_directory(dir.file("real"));
    ASSERT_EQ(::symlink("real/target", dir.file("inner").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("inner").c_str(), dir.file("outer").c_str()), 0);
    const Save save = saver(kind, dir.file("outer"), false);
    for (bool targetExists : {false, true}) {
        SCOPED_TRACE(targetExists ? "over the target" : "no target yet");
        if (targetExists) {
            ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
        }
        ASSERT_TRUE(save());
        EXPECT_TRUE(std::filesystem::is_symlink(dir.file("outer")));
        EXPECT_TRUE(std::filesystem::is_symlink(dir.file("inner")));
        EXPECT_TRUE(readFile(target) == readFile(dir.file("plain")));
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        if (targetExists) {
            EXPECT_EQ(st.st_mode & 07777, 0640u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, CrashSafety, ::testing::Values("hosts", "settings", "xml", "csv"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace brevadin
