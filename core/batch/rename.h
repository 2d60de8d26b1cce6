#pragma once
// Renaming files from their tags by an output format. The new names of all files
// are worked out first, together with the names that cannot be used and the order
// of the moves; carrying the plan out then does exactly that and nothing else. A
// file is never moved over another, and never lost when a move fails half way.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "batch/outputformat.h"
#include "file/filescan.h"

namespace velmar {

struct TRenamePlan {
    std::filesystem::path From, To;
    std::string Problem;  // why To cannot be used; empty when it can
    // Where this move comes in the order of moves, from 1; 0 for a file that does not
    // move. A file that takes the name another file leaves moves after that file.
    size_t Step = 0;
    // One of a cycle of names (a swap a <-> b, or a -> b -> c -> a): it is moved aside
    // to a temporary name in its folder before the other files of its cycle move, and
    // takes its new name last. The steps of a cycle follow one another, this one last.
    bool Parked = false;
    // The folders of To that are not there are made (each inside the one before it,
    // never through a link) just before the file moves.
    bool MakeFolders = false;
    // To is Base / Folders / its name. Base is taken as it is named, links and all (the
    // file's own folder, or the target folder the user chose); none of the Folders below
    // it may be a link, at planning and again when the file moves.
    std::filesystem::path Base = {}, Folders = {};
    bool Unchanged() const { return From == To; }
    bool Moves() const { return Problem.empty() && !Unchanged(); }
};

// The name with the file's extension: kept when the name ends with it already (in any
// case), else appended.
std::string WithExtension(std::string name, const std::string& extension);

// The new name of a file from its token values: the mask expanded with values in
// which "/" and "\" became "-", and a value "." or ".." became "-" (a separator in
// the mask itself still makes a sub-folder), then the file's own extension.
std::string RenamedName(const std::string& mask, TTokenValues values, const TTags& format,
                        const std::string& extension);

// True when the mask brings some text of the file's tags into the name: at least one
// of its tokens has a value that is not empty or spaces only. A name made of the
// mask's own text alone (" - " from "%00 - %01" with no artist and no title, or any
// mask without tokens) says nothing about the file and is not used.
bool NameHasTagText(const std::string& mask, const TTokenValues& values, const TTags& format);

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

// Plans the renames of files, one plan per file in their order, from their token
// values. The new names are placed in each file's own folder, or, when `target` is
// given, in that folder (a file moves there, across file systems too). A file keeps
// its name, with the reason as its Problem, when:
// - its tags could not be read;
// - the new name (without the extension) is empty or spaces only, or has no text from
//   the tags (NameHasTagText);
// - the new name leaves the file's folder or the target folder (an absolute name or "..");
// - the target folder is a file, or is not there and `makeFolders` is off;
// - a folder it names is a link or a file, or is not there and `makeFolders` is off;
// - the new name is longer than the file system of its folder allows (in bytes), or
//   the whole path is longer than a path may be;
// - the file is listed twice;
// - another file before it gets the same name;
// - a file of that name exists and is not moved away by this plan (also when the file
//   that has it cannot be renamed itself).
// The other files get the order of their moves (Step, Parked): nothing is ever
// moved onto a name that is not free at that moment.
std::vector<TRenamePlan> PlanRenames(const std::vector<std::filesystem::path>& files,
                                     const std::vector<TFileValues>& values, const std::string& mask,
                                     const TTags& format, bool makeFolders = false,
                                     const std::filesystem::path& target = {});
// The same, reading each file for its values.
std::vector<TRenamePlan> PlanRenames(const std::vector<std::filesystem::path>& files, const std::string& mask,
                                     const TTags& format, TMessageSink& sink, bool makeFolders = false,
                                     const std::filesystem::path& target = {});

// The plans of many files kept compactly: the paths as text (the files' own names
// where a plan keeps them, the folders of their new names once each), no token values.
// A plan is made whole when it is asked for.
class TRenamePlanList {
public:
    size_t size() const { return Plans.size(); }
    TRenamePlan operator[](size_t i) const;
    std::vector<TRenamePlan> All() const;
    // What a report of the plans needs, without making the plan.
    std::string_view From(size_t i) const { return Plans[i].From; }
    std::string_view To(size_t i) const { return Plans[i].To; }
    std::string_view Problem(size_t i) const { return Plans[i].Problem; }

    // Takes one file's plan in: `from`, when given, is a text that lives as long as the
    // list and holds the plan's From. The plans are ordered by Order().
    void Add(const TRenamePlan& plan, const char* from = nullptr);
    // Marks the names given twice, the names taken and the order of the moves, as
    // PlanRenames describes.
    void Order();

private:
    struct TSlim {
        const char *From, *To, *FromKey, *ToKey, *Base, *Folders, *Problem;
        uint32_t Step = 0;
        bool Parked = false, MakeFolders = false, Unchanged = false;
        bool Moves() const { return *Problem == '\0' && !Unchanged; }
    };
    const char* Text(std::string_view text);    // kept once per plan
    const char* Shared(std::string_view text);  // kept once for all the plans that have it
    void SetProblem(TSlim& plan, std::string_view problem) { plan.Problem = Shared(problem); }

    std::vector<TSlim> Plans;
    TPathList Texts;
    std::vector<std::unique_ptr<std::string>> SharedTexts;
    std::unordered_map<std::string_view, const char*> SharedIndex;
};

// The same as PlanRenames for a list of paths, reading each file for its values as it
// comes: no file's values are kept once its plan is made.
TRenamePlanList PlanRenameList(const TPathList& files, const std::string& mask, const TTags& format, TMessageSink& sink,
                               bool makeFolders = false, const std::filesystem::path& target = {});

// Plans moves of files to names given (the files' own folders or others): the same
// checks and order as PlanRenames, for names that do not come from tags. The folders
// of a name given that are not there are made, below the deepest one that is.
std::vector<TRenamePlan> PlanMoves(const std::vector<std::pair<std::filesystem::path, std::filesystem::path>>& moves);

struct TRenameResult {
    bool Moved = false;         // the file has its new name
    std::filesystem::path Now;  // where the file is: To when moved, else From (see Problem)
    std::string Problem;        // why it does not have its new name; empty when it has, or did not move
};

// Carries out the plans in the order of their steps; plans with a problem, and files
// whose name does not change, are left alone (their results: not moved, their
// Problem). A move that fails (another program took the name, the file went away)
// leaves that file where it was and is reported in its result; a parked file that
// cannot take its new name goes back to its old one, the other moves of its cycle
// undone first where they hold that name. Only when even that name was taken
// meanwhile does it stay under its temporary name, which Now and Problem give.
// `moved(index, result)` hears each moving file when its result is final, in the
// order of the moves; returning false stops the work there (a cycle that was begun is
// finished first), and the files not reached are left alone with an empty Problem.
std::vector<TRenameResult> CarryOutRenames(const std::vector<TRenamePlan>& plans,
                                           const std::function<bool(size_t, const TRenameResult&)>& moved = {});

// Moves a file or folder to its new name, never over an existing one. Returns an
// empty text on success, else the reason. A regular file whose new name lies on
// another file system is copied there: to a hidden temporary name in the new folder
// (made exclusively), by the kernel, flushed, checked against the file byte for byte,
// given the file's owner, mode and times, then linked to the new name without
// replacing one; only then is the file removed. A failure at any step removes the
// copy and leaves the file as it was.
std::string MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
// The same for an audio file renamed from its tags: only a regular file (or a link)
// moves, and a save of it that was cut short is finished first.
std::string MoveAudioFile(const std::filesystem::path& from, const std::filesystem::path& to);

// A folder the moves left, and the folder above it where removing stops (that one
// is kept).
struct TLeftFolder {
    std::filesystem::path Folder, Stop;
};

// The folders the files that moved to another folder left. `stops[i]`, when given and
// not empty, is where removing stops for file i (the folder the user named, that the
// file was found in); otherwise only the file's own folder may go, and not even that
// when it was named without a folder (the current folder).
std::vector<TLeftFolder> FoldersLeft(const std::vector<TRenamePlan>& plans, const std::vector<TRenameResult>& results,
                                     const std::vector<std::filesystem::path>& stops = {});

struct TFolderRemoval {
    std::vector<std::filesystem::path> Removed;  // in the order removed, deepest first
    std::vector<std::pair<std::filesystem::path, std::string>> Failed;
};

// Removes each left folder that is empty now, then its parents that became empty, up
// to its stop. Only empty folders go (rmdir); a folder that is not empty ends the
// climb and is no failure. Every folder below a stop is reached from the stop without
// following a link, so a link planted on the way removes nothing.
TFolderRemoval RemoveEmptyFolders(const std::vector<TLeftFolder>& left);

}  // namespace velmar
