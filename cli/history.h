#pragma once
// `velmar-cli undo`, `redo` and `history`, and the change every command that
// writes files is recorded as.
#include <memory>
#include <string>
#include <vector>

#include "base/messages.h"
#include "change/history.h"

namespace velmar::cli {

// The change a writing command is recorded as, or none for `--dry-run` and for
// commands that write no audio file.
std::unique_ptr<TChange> ChangeFor(const std::string& command, const std::vector<std::string>& args,
                                   const THistory& history, TMessageSink& sink);

// Each returns the exit status: 0 done, 1 a file was left as it is or nothing was
// there to undo, 2 a usage error.
int Undo(const std::vector<std::string>& args, THistory& history);
int Redo(const std::vector<std::string>& args, THistory& history);
int History(const std::vector<std::string>& args, const THistory& history);

}  // namespace velmar::cli
