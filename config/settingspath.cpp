#include "config/settingspath.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "common/atomicfile.h"

namespace brevadin {
namespace {

std::filesystem::path besideHelp(const std::filesystem::path& exe) {
    return exe / "Help" / "index.html";
}

std::filesystem::path installedHelp(const std::filesystem::path& exe) {
    return exe.parent_path() / "share" / "brevadin" / "help" / "index.html";
}

// Installed by a package: the help page is shared, not beside the program.
bool isInstalled(const std::filesystem::path& exe) {
    std::error_code ec;
    return !std::filesystem::exists(besideHelp(exe), ec) &&
           std::filesystem::exists(installedHelp(exe), ec);
}

}  // namespace

std::string settingsFolder(const std::string& exeFolder) {
    std::string exe = exeFolder.empty() ? executableDir() : exeFolder;
    // /usr/bin is no place for one user's files, even for root, who may write there.
    if (::access(exe.c_str(), W_OK) == 0 && !isInstalled(exe)) return exe;
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = joinPath(home && *home ? home : "/tmp", ".config");
    }
    std::string folder = joinPath(base, "Brevadin");
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

std::string helpFilePath(const std::string& exeFolder) {
    const std::filesystem::path exe = exeFolder.empty() ? executableDir() : exeFolder;
    return (isInstalled(exe) ? installedHelp(exe) : besideHelp(exe)).string();
}

std::string settingsFilePath(const std::string& folder, const std::string& baseName) {
    return joinPath(folder, baseName + ".ini");
}

}  // namespace brevadin
