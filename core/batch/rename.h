#pragma once
// Renaming files from their tags by an output format: the new names are worked out
// for all files first, so that names that cannot be used are known before anything
// moves, and a file is never moved over another.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "batch/outputformat.h"

namespace velmar {

struct TRenamePlan {
    std::filesystem::path From, To;
    std::string Problem;  // why To cannot be used; empty when it can
    bool Unchanged() const { return From == To; }
};

// The name with the file's extension: kept when the name ends with it already (in any
// case), else appended.
std::string WithExtension(std::string name, const std::string& extension);

// The new name of a file from its token values: the mask expanded with values in
// which "/" and "\" became "-", and a value "." or ".." became "-" (a separator in
// the mask itself still makes a sub-folder), then the file's own extension.
std::string RenamedName(const std::string& mask, TTokenValues values, const TTags& format,
                        const std::string& extension);

// A file's token values; none for a file whose tags could not be read, which is
// never renamed.
using TFileValues = std::optional<TTokenValues>;

// The token values of each file, read from its tags (`sink` receives why a file
// could not be read).
// The files are read on the shared thread pool; `sink` hears each file's messages in file order.
std::vector<TFileValues> ReadTokenValues(const std::vector<std::filesystem::path>& files, TMessageSink& sink);
// The same, handing each file's messages to onFile(index, messages) in file order as
// it is read; `idle` runs about every 50 ms while a file is awaited. onFile or idle
// returning false stops the reading: the values of the files handed over so far are returned.
std::vector<TFileValues> ReadTokenValues(const std::vector<std::filesystem::path>& files,
                                          const std::function<bool(size_t, const std::vector<std::string>&)>& onFile,
                                          const std::function<bool()>& idle = {});

// Plans the renames of files in their order, from their token values: a file that
// could not be read, a name that is empty, leaves the file's folder, is taken by a file that is not being renamed away,
// or is given to two files is marked with a problem.
std::vector<TRenamePlan> PlanRenames(const std::vector<std::filesystem::path>& files,
                                     const std::vector<TFileValues>& values, const std::string& mask,
                                     const TTags& format);
// The same, reading each file for its values.
std::vector<TRenamePlan> PlanRenames(const std::vector<std::filesystem::path>& files, const std::string& mask,
                                     const TTags& format, TMessageSink& sink);

// Why `to` cannot be the new name of `from` now: empty name, outside the folder,
// taken, or a folder that does not exist. Empty when it can.
std::string TargetProblem(const std::filesystem::path& from, const std::filesystem::path& to);

// Moves a file or folder to its new name in the same file system, never over an
// existing one. Returns an empty text on success, else the reason.
std::string MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
// The same for an audio file renamed from its tags: only a regular file (or a link)
// moves, and a save of it that was cut short is finished first.
std::string MoveAudioFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace velmar
