#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brevadin {

struct LogListItem {
    std::string name;               // the file name, without the folder
    std::optional<int64_t> sizeKB;  // none when the size could not be read
};

// What listing a log folder found. The window shows it: the items in the
// list, the folder (or that it is missing) in the status bar, and the error,
// when there is one, once in the fatal-error box.
struct LogListing {
    bool folderExists = false;
    std::vector<LogListItem> items;  // sorted by name
    struct Error {
        std::string procedure;  // "fncGetLogList" or "fncFolderExists"
        int number = 0;
        std::string description;
    };
    std::optional<Error> error;  // the first failure of the listing only
};

// The kilobytes shown for a file of `bytes`: bytes / 1024 + 0.5, rounded to
// nearest with halves to even (so 1,024 bytes show as 2).
int64_t logSizeKB(uint64_t bytes);

// True when path, trimmed of spaces, is not empty and names a folder.
bool fncFolderExists(const std::string& path);

// The folder's ordinary, not hidden files whose names end in ".log" in any
// letter case, with their sizes.
LogListing listLogFolder(const std::string& folder);

}  // namespace brevadin
