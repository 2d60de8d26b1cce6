#pragma once
// `velmar-cli check`: the MPEG stream checker over files and folders.
#include <string>
#include <vector>

namespace velmar::cli {

struct TCheckOptions {
    enum TStyle { Lines, Verbose, Json } Style = Lines;  // a line per file, the full report, a JSON record per file
    std::string ReportFile;                              // --report FILE: the report is also written there
    std::vector<std::string> Paths;                      // files, and folders scanned for audio files
};

// Parses the options; returns an error text for a usage error, else empty.
std::string ParseCheckOptions(const std::vector<std::string>& args, TCheckOptions& options);
// Checks every file and prints the report; with a report file, writes the report
// beside it and renames it over it. Returns 0 when no file had errors and the
// report was written, else 1.
int RunCheck(const TCheckOptions& options);

}  // namespace velmar::cli
