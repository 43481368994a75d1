#include "common/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace brevadin {
namespace {

std::string errnoText(int err) { return std::strerror(err); }

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

}  // namespace

bool writeFileAtomically(const std::string& path,
                         const std::function<bool(const ByteSink& sink)>& writer,
                         std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    std::string tmpl = path + ".tmp-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return fail(path + ": " + errnoText(errno));
    const std::string tmpPath(name.data());

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
    bool completed = writer(sink);
    if (ok && completed) ok = writeAll(fd, buffer, err);
    if (ok && completed && ::fsync(fd) != 0) {
        err = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok && completed) {
        err = errno;
        ok = false;
    }
    if (!ok || !completed) {
        ::unlink(tmpPath.c_str());
        return fail(ok ? path + ": 中止されました" : path + ": " + errnoText(err));
    }
    if (::rename(tmpPath.c_str(), path.c_str()) != 0) {
        err = errno;
        ::unlink(tmpPath.c_str());
        return fail(path + ": " + errnoText(err));
    }
    // Make the rename itself durable.
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (dir.empty()) dir = ".";
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

bool writeFileAtomically(const std::string& path, std::string_view content, std::string* error) {
    return writeFileAtomically(
        path, [&](const ByteSink& sink) { return sink(content); }, error);
}

bool keepAsBad(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
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
