#pragma once
// `velmar-cli repair`: repairs the damaged MPEG streams of files, as one change of the history.
#include "args.h"

namespace velmar::cli {

// Exits 0 when every file was repaired or had nothing to repair, 1 when a file could
// not be repaired (it is left as it is), 2 on a usage error.
extern const TCommand kRepair;

}  // namespace velmar::cli
