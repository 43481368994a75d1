#pragma once

#include <string>

namespace brevadin {

// The folder that holds the settings file, hosts.xml and whoissv.xml: the
// executable's folder when it is writable and not that of an installed
// package (see helpFilePath), otherwise the user's configuration folder ($XDG_CONFIG_HOME/Brevadin,
// else ~/.config/Brevadin), created when needed. exeFolder defaults to the running executable's
// folder.
std::string settingsFolder(const std::string& exeFolder = std::string());

// The help page: Help/index.html beside the executable (the build tree, a
// copied program folder), else the copy an installed package keeps in
// ../share/brevadin/help; the first when neither is there, so that the
// message about it names the usual place.
std::string helpFilePath(const std::string& exeFolder = std::string());

// The settings file in that folder: the executable's base name + ".ini".
std::string settingsFilePath(const std::string& folder, const std::string& baseName);

}  // namespace brevadin
