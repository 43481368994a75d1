#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/outcome.h"

namespace brevadin {

// Writes a file so that it is never seen half-written: the content goes to a
// temporary file beside the target (path + ".tmp-" and six characters), is
// flushed to disk, and is then renamed over the target. On any failure the
// target is untouched, the temporary file is removed and the outcome says
// why. A save that was killed leaves its temporary
// file behind; the next save of the same path removes it.
//
// A path that is a symbolic link (or a chain of them) stays one: the file it
// ends at is the one replaced, and keeps its permissions.
//
// The writer callback receives a sink; it returns false to abandon the write
// (for instance when the user cancelled an export).
using ByteSink = std::function<bool(std::string_view bytes)>;
Outcome writeFileAtomically(const std::string& path,
                            const std::function<bool(const ByteSink& sink)>& writer);

Outcome writeFileAtomically(const std::string& path, std::string_view content);

// path itself, or the file its chain of symbolic links ends at (which need
// not exist yet).
std::string finalTarget(const std::string& path);

// An exclusive lock held for the holder's lifetime on a lock file beside the
// final target of path (its name + ".lock"), so that programs that read,
// merge and rewrite one file take turns. The lock file stays. Where none can
// be made or locked (a read-only folder, a file system without locks) the
// holder goes ahead unlocked: locked() says which.
class FileLock {
public:
    explicit FileLock(const std::string& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Keeps an unreadable file before a fresh one replaces it: path is renamed to
// path + ".bad" (replacing an older ".bad"). An empty file is left where it is
// for the fresh one to replace, and an older ".bad" stays. Returns true when a
// fresh file may now be written to path: false when nothing was there or the
// rename failed.
bool keepAsBad(const std::string& path);

// The folder that holds the running executable, without a trailing separator.
std::string executableDir();
// The running executable's file name without folder and extension.
std::string executableBaseName();

// Joins a folder and a name with the platform's separator.
std::string joinPath(std::string_view dir, std::string_view name);

}  // namespace brevadin
