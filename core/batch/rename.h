#pragma once
// Renaming files from their tags by an output format: the new names are worked out
// for all files first, so that names that cannot be used are known before anything
// moves, and a file is never moved over another.
#include <filesystem>
#include <string>
#include <vector>

#include "batch/outputformat.h"

namespace velmar {

struct TRenamePlan {
    std::filesystem::path From, To;
    std::string Problem;  // why To cannot be used; empty when it can
    bool Unchanged() const { return From == To; }
};

// The new name of a file from its token values: the mask expanded with values in
// which "/" and "\" became "-", and a value "." or ".." became "-" (a separator in
// the mask itself still makes a sub-folder), then the file's own extension.
std::string RenamedName(const std::string& mask, TTokenValues values, const TTags& format,
                        const std::string& extension);

// Plans the renames of files in their order: each file is read for its tags; a name
// that is empty, taken by a file that is not being renamed away, or given to two files
// is marked with a problem. `sink` receives the messages of reading the files.
std::vector<TRenamePlan> PlanRenames(const std::vector<std::filesystem::path>& files, const std::string& mask,
                                     const TTags& format, TMessageSink& sink);

// Moves a file to its new name in the same file system, never over an existing file.
// Returns an empty text on success, else the reason.
std::string MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace velmar
