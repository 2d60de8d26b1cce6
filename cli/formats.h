#pragma once
// `velmar-cli rename`, `velmar-cli fill` and `velmar-cli formats`: renaming files by
// an output format, filling tags from file names, and listing the formats of a mode.
#include <filesystem>
#include <string>
#include <vector>

#include "args.h"
#include "batch/datafolders.h"
#include "change/history.h"

namespace velmar::cli {

// The DATA folders: `given` (--data) alone; else the user's own DATA folder, where
// the desktop program keeps the formats and lists the user made or changed, then
// the shipped one: VELMAR_DATA, else PREFIX/share/velmar of an installed
// PREFIX/bin/velmar-cli, else the one the program was built with.
TDataFolders DataFolders(const std::string& given);

// Each exits 0 when done, 1 when a file failed, 2 on a usage error. The changes
// are recorded in the history unless it is null.
extern const TCommand kRename, kFormats, kFill;

}  // namespace velmar::cli
