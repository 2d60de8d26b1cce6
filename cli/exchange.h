#pragma once
// `velmar-cli copy`, `export` and `import`: tags copied from one file to others, and
// taken out to a sheet (CSV or JSON) and back.
#include "args.h"

namespace velmar::cli {

// Each exits 0 when done, 1 when a file (or a row of the sheet) was left as it is or
// the sheet could not be read or written, 2 on a usage error; copy and import are
// recorded in the history unless it is null.
extern const TCommand kCopy, kExport, kImport;

}  // namespace velmar::cli
