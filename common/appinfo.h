#pragma once

#include <string>

namespace brevadin {

// Facts about the application that several windows and the core share.
inline constexpr const char* kAppTitle = "Brevadin";
inline constexpr int kVersionMajor = BREVADIN_VERSION_MAJOR;
inline constexpr int kVersionMinor = BREVADIN_VERSION_MINOR;
// The last of the four version numbers: the caption and the About box show
// major + "." + revision, never the minor number.
inline constexpr int kVersionRevision = BREVADIN_VERSION_REVISION;

}  // namespace brevadin
