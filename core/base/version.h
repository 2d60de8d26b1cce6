#pragma once
// The program's version, set once as the project version in the top CMakeLists.txt.
#include <string>

namespace velmar {

inline constexpr int kVersionMajor = VELMAR_VERSION_MAJOR;
inline constexpr int kVersionMinor = VELMAR_VERSION_MINOR;
// "1.3"
inline std::string VersionText() { return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor); }

}  // namespace velmar
