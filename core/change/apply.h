#pragma once
// The one place that writes a change to a group of files: every tool (the windows
// and velmar-cli alike) builds the change, this checks the files as a whole, writes
// them one by one through the safe save, reports each as it goes, and records the
// change in the history so that it can be undone.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "batch/rename.h"
#include "change/history.h"

namespace velmar {

struct TFileChange {
    std::string Command;  // how the history names where it came from ("velmar-cli set --title X a.mp3")
    std::string Text;     // what it does ("Set tags"); the history adds " of N file(s)"
    std::vector<std::filesystem::path> Files;
    // Writes one file; false after telling the sink why it could not.
    std::function<bool(const std::filesystem::path&, TMessageSink&)> Write;
    // The writes change tags: the old tags of every file are recorded at once, before
    // the first is written. A change of the audio (a repair) records each file's own
    // splices as it is written instead.
    bool TagsOnly = true;
};

struct TFileOutcome {
    bool Written = false;
    std::vector<std::string> Messages;  // why it was not written, or what was noticed
};

// Where a change goes, and who hears of it: `History` null records nothing;
// `OnFile(index, outcome)` hears each file when it is done, in order, and returning
// false stops the change there (the files not reached are not written and have no
// message); `Sink` hears what concerns the change as a whole (it cannot be recorded).
struct TApplyOptions {
    const THistory* History = nullptr;
    TMessageSink* Sink = nullptr;
    std::function<bool(size_t, const TFileOutcome&)> OnFile = {};
};

// Checks every file first: one that is not there, or is not a regular file, is left
// out with the reason before anything is written. Then writes the others in order.
std::vector<TFileOutcome> ApplyChange(const TFileChange& change, const TApplyOptions& options);

// Carries out planned renames (CarryOutRenames) as one change of the history.
std::vector<TRenameResult> ApplyRenames(const std::vector<TRenamePlan>& plans, const std::string& command,
                                        const TApplyOptions& options,
                                        const std::function<bool(size_t, const TRenameResult&)>& moved = {});

}  // namespace velmar
