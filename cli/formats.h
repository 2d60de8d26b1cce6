#pragma once
// `velmar-cli rename` and `velmar-cli formats`: renaming files by an output format
// and listing the formats of a mode.
#include <string>
#include <vector>

namespace velmar::cli {

// Each returns the exit status: 0 done, 1 a file failed, 2 a usage error.
int Rename(const std::vector<std::string>& args);
int Formats(const std::vector<std::string>& args);

}  // namespace velmar::cli
