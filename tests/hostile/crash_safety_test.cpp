// A save killed at any moment leaves the old file or the new one, whole, and
// never a mixture, a stub or a truncated copy; nor do the temporary files of
// killed saves pile up or get in the way of the next save.
//
// A writer process (hostile_crash_writer) saves one kind of file over and
// over, alternating two known contents A and B, and is killed with SIGKILL
// after a random delay, from microseconds to a little more than one save.
// After each kill the file must equal A or B byte for byte.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "tests/support/testfiles.h"

extern char** environ;

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

struct Kind {
    const char* name;
    const char* file;  // the target's name
    bool needsSeed;    // the settings save updates an existing file
};

void PrintTo(const Kind& k, std::ostream* os) {
    *os << k.file;
}

// A hand-kept settings file of a few megabytes that every save must carry
// over line for line.
std::string settingsSeed() {
    std::string text = "; settings kept by hand\r\n";
    for (int s = 0; s < 8000; ++s) {
        text += "[Profile" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 6; ++k)
            text += "Entry" + std::to_string(k) + "=/some/longish/path/value/" +
                    std::to_string(s * 6 + k) + "\r\n";
    }
    return text;
}

class Writer {
public:
    // Starts the writer; false when it could not be started.
    bool start(const std::string& kind, const std::string& target, const std::string& mode,
               char first) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        std::string which(1, first);
        std::string program = HOSTILE_CRASH_WRITER;
        std::vector<char*> argv = {program.data(),
                                   const_cast<char*>(kind.c_str()),
                                   const_cast<char*>(target.c_str()),
                                   const_cast<char*>(mode.c_str()),
                                   which.data(),
                                   nullptr};
        int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
        if (rc != 0) pid_ = -1;
        return rc == 0;
    }

    // Waits for the next byte the writer says; 0 when it said nothing in time.
    char next(int timeoutMs = 30000) {
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return 0;
        char c = 0;
        return ::read(out_, &c, 1) == 1 ? c : 0;
    }

    void kill() {
        ::kill(pid_, SIGKILL);
        wait();
    }

    // Waits for a writer that ends by itself; its exit status, -1 for a signal.
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

// Runs one uninterrupted save; false when the writer failed.
bool saveOnce(const std::string& kind, const std::string& target, char which) {
    Writer w;
    return w.start(kind, target, "once", which) && w.wait() == 0;
}

std::set<std::string> strays(const std::filesystem::path& dir, const std::string& file) {
    std::set<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(file + ".tmp-", 0) == 0) out.insert(name);
    }
    return out;
}

class CrashSafety : public ::testing::TestWithParam<Kind> {};

TEST_P(CrashSafety, EveryKillLeavesTheOldOrTheNewFileWhole) {
    const Kind& kind = GetParam();
    TempFolder dir;
    const std::string target = dir.file(kind.file);

    // The two contents, each made by an uninterrupted save.
    const std::string refA = dir.file("ref-a"), refB = dir.file("ref-b");
    if (kind.needsSeed) {
        writeFile(refA, settingsSeed());
        writeFile(refB, settingsSeed());
    }
    ASSERT_TRUE(saveOnce(kind.name, refA, 'A'));
    ASSERT_TRUE(saveOnce(kind.name, refB, 'B'));
    const std::string a = readFile(refA), b = readFile(refB);
    ASSERT_GT(a.size(), 2u << 20);
    ASSERT_GT(b.size(), 2u << 20);
    ASSERT_NE(a, b);
    if (kind.needsSeed) {
        // An update of A's file to B and back gives exactly A and B again,
        // so the file may hold only one of the two whatever came before.
        writeFile(target, a);
        ASSERT_TRUE(saveOnce(kind.name, target, 'B'));
        ASSERT_TRUE(readFile(target) == b);
        ASSERT_TRUE(saveOnce(kind.name, target, 'A'));
        ASSERT_TRUE(readFile(target) == a);
    }
    writeFile(target, a);

    // How long the first save of a fresh writer takes (longer than later
    // ones: nothing is warm yet), and how long of it the writing itself, so
    // that the delays cover all of it.
    TemporaryWatch watch(dir.path(), kind.file);
    ASSERT_TRUE(watch.ok());
    double saveSeconds = 0, writeSeconds = 0;
    for (int i = 0; i < 3; ++i) {
        Writer w;
        watch.drain();
        ASSERT_TRUE(w.start(kind.name, target, "loop", i % 2 ? 'A' : 'B'));
        ASSERT_EQ(w.next(), 'R');
        auto begin = Clock::now();
        ASSERT_TRUE(watch.waitFor(IN_CREATE));
        auto created = Clock::now();
        ASSERT_TRUE(watch.waitFor(IN_MOVED_FROM));
        writeSeconds =
            std::max(writeSeconds, std::chrono::duration<double>(Clock::now() - created).count());
        ASSERT_EQ(w.next(), 'S');
        saveSeconds =
            std::max(saveSeconds, std::chrono::duration<double>(Clock::now() - begin).count());
        w.kill();
    }
    ASSERT_TRUE(readFile(target) == a || readFile(target) == b);

    std::mt19937_64 rng(std::hash<std::string>{}(kind.name));
    const double longest = saveSeconds * 1.3;
    int duringWrite = 0;
    bool holdsA = readFile(target) == a;
    // On a busy machine fewer delays land inside a write: kill on until enough
    // have, within three times the usual number of kills.
    for (int k = 0; k < kKills || (duringWrite < kKills / 10 && k < 3 * kKills); ++k) {
        const std::set<std::string> before = strays(dir.path(), kind.file);
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
        Writer w;
        watch.drain();
        ASSERT_TRUE(w.start(kind.name, target, "loop", holdsA ? 'B' : 'A'));
        ASSERT_EQ(w.next(), 'R') << "kill " << k;
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
        const std::set<std::string> after = strays(dir.path(), kind.file);
        for (const auto& name : after)
            if (!before.count(name)) {
                ++duringWrite;
                break;
            }
        // Each save first removes what killed saves left, so one at most remains.
        ASSERT_LE(after.size(), 1u) << "kill " << k;
    }

    // The next save works and leaves nothing behind.
    ASSERT_TRUE(saveOnce(kind.name, target, 'A'));
    EXPECT_TRUE(readFile(target) == a);
    EXPECT_TRUE(strays(dir.path(), kind.file).empty());

    // The delays must really reach into the writes, or the test proves little.
    EXPECT_GE(duringWrite, kKills / 10);
    RecordProperty("killsDuringWrite", duringWrite);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CrashSafety,
    ::testing::Values(Kind{"hosts", "hosts.xml", false}, Kind{"settings", "brevadin.ini", true},
                      Kind{"xml", "export.xml", false}, Kind{"csv", "export.csv", false}),
    [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brevadin
