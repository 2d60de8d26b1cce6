#pragma once
// `velmar-cli rename`, `velmar-cli fill` and `velmar-cli formats`: renaming files by
// an output format, filling tags from file names, and listing the formats of a mode.
#include <filesystem>
#include <string>
#include <vector>

#include "batch/datafolders.h"
#include "change/history.h"

namespace velmar::cli {

// The DATA folders: `given` (--data) alone; else the user's own DATA folder, where
// the desktop program keeps the formats and lists the user made or changed, then
// the shipped one: VELMAR_DATA, else PREFIX/share/velmar of an installed
// PREFIX/bin/velmar-cli, else the one the program was built with.
TDataFolders DataFolders(const std::string& given);

// Each returns the exit status: 0 done, 1 a file failed, 2 a usage error. The
// changes are recorded in `history` unless it is null.
int Rename(const std::vector<std::string>& args, const THistory* history);
int Formats(const std::vector<std::string>& args);
int Fill(const std::vector<std::string>& args, const THistory* history);

}  // namespace velmar::cli
