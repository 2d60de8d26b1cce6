#pragma once
// `velmar-cli list`, `velmar-cli match` and `velmar-cli wipe`: reports of many files
// from list templates, choosing files that fit into a playing time, and removing
// whole tags.
#include <string>
#include <vector>

#include "change/history.h"

namespace velmar::cli {

// Each returns the exit status: 0 done, 1 a file or the report failed, 2 a usage error.
int List(const std::vector<std::string>& args);
int Match(const std::vector<std::string>& args);
int Wipe(const std::vector<std::string>& args, const THistory* history);  // recorded unless null

}  // namespace velmar::cli
