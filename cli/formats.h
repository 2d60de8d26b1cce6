#pragma once
// `velmar-cli rename`, `velmar-cli fill` and `velmar-cli formats`: renaming files by
// an output format, filling tags from file names, and listing the formats of a mode.
#include <string>
#include <vector>

namespace velmar::cli {

// Each returns the exit status: 0 done, 1 a file failed, 2 a usage error.
int Rename(const std::vector<std::string>& args);
int Formats(const std::vector<std::string>& args);
int Fill(const std::vector<std::string>& args);

}  // namespace velmar::cli
