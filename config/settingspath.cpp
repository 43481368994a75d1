#include "config/settingspath.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "common/atomicfile.h"

namespace brevadin {

std::string settingsFolder(const std::string& exeFolder) {
    std::string exe = exeFolder.empty() ? executableDir() : exeFolder;
    if (::access(exe.c_str(), W_OK) == 0) return exe;
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
    const std::filesystem::path beside = exe / "Help" / "index.html";
    const std::filesystem::path installed =
        exe.parent_path() / "share" / "brevadin" / "help" / "index.html";
    std::error_code ec;
    if (!std::filesystem::exists(beside, ec) && std::filesystem::exists(installed, ec))
        return installed.string();
    return beside.string();
}

std::string settingsFilePath(const std::string& folder, const std::string& baseName) {
    return joinPath(folder, baseName + ".ini");
}

}  // namespace brevadin
