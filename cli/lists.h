#pragma once
// `velmar-cli list`, `velmar-cli match` and `velmar-cli wipe`: reports of many files
// from list templates, choosing files that fit into a playing time, and removing
// whole tags.
#include <string>
#include <vector>

#include "args.h"

namespace velmar::cli {

// Each exits 0 when done, 1 when a file or the report failed, 2 on a usage error;
// wipe is recorded in the history unless it is null.
extern const TCommand kList, kMatch, kWipe;

}  // namespace velmar::cli
