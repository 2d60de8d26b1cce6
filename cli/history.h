#pragma once
// `velmar-cli undo`, `redo` and `history`, and how the commands that write files
// hand their changes to the core and print what became of each file.
#include <string>
#include <vector>

#include "args.h"
#include "base/messages.h"
#include "change/apply.h"
#include "change/history.h"

namespace velmar::cli {

// "velmar-cli COMMAND ARGS...", as the history shows where a change came from.
std::string CommandLine(const std::string& command, const std::vector<std::string>& args);

// Applies a change (recorded in `history` unless it is null), printing each file's
// messages as "velmar-cli: FILE: text" when it is done. 0 when every file was
// written, else 1.
int ApplyPrinting(const TFileChange& change, const THistory* history);
// The options that record a change in `history` (none when null), its own messages printed.
TApplyOptions Recording(const THistory* history);

// Each exits 0 when done, 1 when a file was left as it is or nothing was there to
// undo, 2 on a usage error.
extern const TCommand kUndo, kRedo, kHistory;

}  // namespace velmar::cli
