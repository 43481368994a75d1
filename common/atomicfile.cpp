#include "common/atomicfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace brevadin {
namespace {

std::string errnoText(int err) {
    return std::strerror(err);
}

bool writeAll(int fd, std::string_view bytes, int& err) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

constexpr std::string_view kTempMark = ".tmp-";
constexpr size_t kTempSuffix = 6;  // the XXXXXX of mkstemp

// Removes the temporary files that earlier saves of path left behind when
// they were killed, so that they cannot pile up beside it. A save holds a
// lock on its temporary file for as long as it runs, and the system drops the
// lock of a killed process: an unlocked one belongs to nobody any more.
void removeAbandonedTemporaries(const std::string& path) {
    std::filesystem::path target(path);
    std::string dir = target.parent_path().string();
    if (dir.empty()) dir = ".";
    const std::string prefix = target.filename().string() + std::string(kTempMark);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (struct dirent* entry = ::readdir(d)) {
        std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + kTempSuffix ||
            name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string file = joinPath(dir, name);
        int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        // The name must still be the file that was locked before it goes.
        struct stat held {};
        struct stat named {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
            S_ISREG(held.st_mode) && ::lstat(file.c_str(), &named) == 0 &&
            named.st_ino == held.st_ino && named.st_dev == held.st_dev)
            ::unlink(file.c_str());
        ::close(fd);
    }
    ::closedir(d);
}

}  // namespace

std::string finalTarget(const std::string& path) {
    std::string current = path;
    // As many links as the system itself follows before it gives up.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        ssize_t n = ::readlink(current.c_str(), buffer.data(), buffer.size());
        if (n < 0 || static_cast<size_t>(n) >= buffer.size()) return current;
        std::string link(buffer.data(), static_cast<size_t>(n));
        if (link.empty()) return current;
        if (link.front() == '/') {
            current = link;
        } else {
            const std::string dir = std::filesystem::path(current).parent_path().string();
            current = dir.empty() ? link : joinPath(dir, link);
        }
    }
    return current;
}

FileLock::FileLock(const std::string& path) {
    const std::string lockPath = finalTarget(path) + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        ::close(fd_);
        fd_ = -1;
        return;
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);
}

Outcome writeFileAtomically(const std::string& givenPath,
                            const std::function<bool(const ByteSink& sink)>& writer) {
    auto fail = [](std::string why) { return Outcome::failed(std::move(why)); };
    // A link stays a link: its final target is what gets replaced, from a
    // temporary file beside it so that the rename stays on one file system.
    const std::string path = finalTarget(givenPath);
    removeAbandonedTemporaries(path);
    std::string tmpl = path + std::string(kTempMark) + std::string(kTempSuffix, 'X');
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return fail(path + ": " + errnoText(errno));
    const std::string tmpPath(name.data());
    // Marks the file as in use until the rename is done (see
    // removeAbandonedTemporaries): the lock lives on in a second descriptor
    // past the close whose result the save checks. Where the file system has
    // no locks, strays are simply never removed.
    ::flock(fd, LOCK_EX | LOCK_NB);
    struct Held {
        int lock;
        const std::string& tmp;
        bool renamed = false;
        ~Held() {
            // Also when the writer throws: no temporary file outlives a failed save.
            if (!renamed) ::unlink(tmp.c_str());
            if (lock >= 0) ::close(lock);
        }
    } held{::fcntl(fd, F_DUPFD_CLOEXEC, 0), tmpPath};

    // Keep the permissions an existing target had; a new file gets 0644 less the umask.
    struct stat st {};
    mode_t mode = 0644;
    if (::stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    ::fchmod(fd, mode);

    // Buffer small writes so that a writer emitting many short pieces stays cheap.
    std::string buffer;
    buffer.reserve(1 << 20);
    int err = 0;
    bool ok = true;
    ByteSink sink = [&](std::string_view bytes) {
        if (!ok) return false;
        if (buffer.size() + bytes.size() > (1u << 20)) {
            if (!writeAll(fd, buffer, err)) return ok = false;
            buffer.clear();
            if (bytes.size() >= (1u << 20)) {
                if (!writeAll(fd, bytes, err)) return ok = false;
                return true;
            }
        }
        buffer.append(bytes);
        return true;
    };
    bool completed = false;
    try {
        completed = writer(sink);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (ok && completed) ok = writeAll(fd, buffer, err);
    if (ok && completed && ::fsync(fd) != 0) {
        err = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok && completed) {
        err = errno;
        ok = false;
    }
    if (!ok || !completed)
        return fail(ok ? path + ": 中止されました" : path + ": " + errnoText(err));
    if (::rename(tmpPath.c_str(), path.c_str()) != 0) {
        err = errno;
        return fail(path + ": " + errnoText(err));
    }
    held.renamed = true;
    // Make the rename itself durable.
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (dir.empty()) dir = ".";
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return {};
}

Outcome writeFileAtomically(const std::string& path, std::string_view content) {
    return writeFileAtomically(path, [&](const ByteSink& sink) { return sink(content); });
}

bool keepAsBad(const std::string& givenPath) {
    // Through a link, the file kept aside is its target: the link stays for
    // the fresh file to be written through.
    const std::string path = finalTarget(givenPath);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    // An empty file holds nothing worth keeping, and renaming it would
    // destroy the ".bad" an earlier failure kept.
    if (S_ISREG(st.st_mode) && st.st_size == 0) return true;
    return ::rename(path.c_str(), (path + ".bad").c_str()) == 0;
}

std::string executableDir() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return exe.parent_path().string();
}

std::string executableBaseName() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "brevadin";
    return exe.stem().string();
}

std::string joinPath(std::string_view dir, std::string_view name) {
    std::string out(dir);
    if (!out.empty() && out.back() != '/') out += '/';
    out += name;
    return out;
}

}  // namespace brevadin
