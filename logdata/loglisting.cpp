#include "logdata/loglisting.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace brevadin {

int64_t logSizeKB(uint64_t bytes) {
    // (bytes + 512) / 1024 exactly, then the half goes to the even neighbour.
    uint64_t q = (bytes + 512) / 1024;
    uint64_t r = (bytes + 512) % 1024;
    if (r > 512 || (r == 512 && (q & 1) != 0)) ++q;
    return static_cast<int64_t>(q);
}

bool fncFolderExists(const std::string& path) {
    size_t a = path.find_first_not_of(' ');
    if (a == std::string::npos) return false;
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

LogListing listLogFolder(const std::string& folder) {
    LogListing out;
    out.folderExists = fncFolderExists(folder);
    if (!out.folderExists) return out;
    auto fail = [&](int number, const std::string& description) {
        if (!out.error) out.error = LogListing::Error{"fncGetLogList", number, description};
    };
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    if (ec) {
        fail(ec.value(), folder + ": " + ec.message());
        return out;
    }
    for (; it != end; it.increment(ec)) {
        if (ec) {
            fail(ec.value(), folder + ": " + ec.message());
            break;
        }
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.' || name.size() < 5) continue;
        std::string ext = name.substr(name.size() - 4);
        for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (ext != ".log") continue;
        struct stat st {};
        if (::stat(it->path().c_str(), &st) != 0) {
            // A name whose file cannot be examined (a dangling link, no
            // permission) stays listed without a size.
            int err = errno;
            fail(err, it->path().string() + ": " + std::strerror(err));
            out.items.push_back({name, std::nullopt});
            continue;
        }
        if (!S_ISREG(st.st_mode)) continue;
        out.items.push_back({name, logSizeKB(static_cast<uint64_t>(st.st_size))});
    }
    std::sort(out.items.begin(), out.items.end(),
              [](const LogListItem& a, const LogListItem& b) { return a.name < b.name; });
    return out;
}

}  // namespace brevadin
