#pragma once
// `velmar-cli check`: the MPEG stream checker over files and folders.
#include <filesystem>
#include <string>
#include <vector>

#include "args.h"

namespace velmar::cli {

struct TCheckOptions {
    enum TStyle { Lines, Verbose, Json } Style = Lines;  // a line per file, the full report, a JSON record per file
    std::string ReportFile;                              // --report FILE: the report is also written there
    TPathList Files;                                     // the files, folders walked
};

// Takes the parsed options in; returns an error text for a usage error, else empty.
std::string ParseCheckOptions(const TArgs& args, TCheckOptions& options);
// Checks every file and prints the report; with a report file, writes the report
// beside it and renames it over it. Returns 0 when no file had errors and the
// report was written, else 1.
int RunCheck(const TCheckOptions& options);

}  // namespace velmar::cli
