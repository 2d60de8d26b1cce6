#include "batch/rename.h"

#include <fcntl.h>
#include <stdio.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <random>
#include <set>

#include "base/sysio.h"
#include "file/changewatch.h"
#include "file/filereader.h"
#include "file/inplace.h"

namespace velmar {

namespace fs = std::filesystem;

std::string RenamedName(const std::string& mask, TTokenValues values, const TTags& format,
                        const std::string& extension) {
    for (std::string& v : values) {
        std::replace(v.begin(), v.end(), '/', '-');
        std::replace(v.begin(), v.end(), '\\', '-');
        if (v == "." || v == "..") v = "-";
    }
    // The file keeps its own extension, unless the mask wrote it already.
    return WithExtension(ExpandMask(mask, values, format, kModeRename), extension);
}

std::string WithExtension(std::string name, const std::string& extension) {
    const bool hasExtension = name.size() >= extension.size() &&
                              strcasecmp(name.c_str() + name.size() - extension.size(), extension.c_str()) == 0;
    if (!hasExtension || extension.empty()) name += extension;
    return name;
}

bool NameHasTagText(const std::string& mask, const TTokenValues& values, const TTags& format) {
    // A value of spaces only brings nothing; any other value makes the expansion differ
    // from the mask's own text (the expansion with every value empty).
    TTokenValues text = values;
    for (std::string& v : text)
        if (v.find_first_not_of(" \t") == std::string::npos) v.clear();
    return ExpandMask(mask, text, format, kModeRename) != ExpandMask(mask, TTokenValues(), format, kModeRename);
}

namespace {

// A name as the file system sees it, to compare two names of one file.
fs::path Key(const fs::path& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return (ec ? path : absolute).lexically_normal();
}

// The longest name, in bytes, that the file system of `folder` takes.
size_t NameMax(const fs::path& folder) {
    const long max = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return max > 0 ? size_t(max) : 255;
}

bool Exists(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Why a new name (relative to the file's folder) cannot be used, by the name alone.
std::string NameProblem(const fs::path& name, const std::string& extension) {
    const std::string file = name.filename().string();
    const std::string stem = file.substr(0, file.size() - std::min(file.size(), extension.size()));
    if (stem.find_first_not_of(" \t") == std::string::npos) return "the new name is empty";
    if (name.is_absolute()) return "the new name leaves the file's folder";
    for (const fs::path& part : name)
        if (part == "..") return "the new name leaves the file's folder";
    return {};
}

// Why the folders of a new name (relative to `folder`) cannot take it: each must be
// a folder of its own, not a link that leads elsewhere, and be there unless the
// missing ones are to be made.
std::string FolderProblem(const fs::path& folder, const fs::path& name, bool makeFolders) {
    fs::path at = folder;
    for (const fs::path& part : name.parent_path()) {
        if (part.empty() || part == ".") continue;
        at /= part;
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0) return makeFolders ? "" : "the folder " + at.string() + " does not exist";
        if (S_ISLNK(st.st_mode)) return "the folder " + at.string() + " is a link";
        if (!S_ISDIR(st.st_mode)) return at.string() + " is a file, not a folder";
    }
    return {};
}

// Makes the missing folders of `to`, each inside the one before it and never through
// a link. Empty on success, else the reason.
std::string MakeFolders(const fs::path& to) {
    std::vector<fs::path> missing;
    fs::path at = to.parent_path();
    for (struct stat st{}; !at.empty() && ::lstat(at.c_str(), &st) != 0; at = at.parent_path())
        missing.push_back(at.filename());
    int dir = ::open(at.empty() ? "." : at.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (auto part = missing.rbegin(); dir >= 0 && part != missing.rend(); ++part) {
        at /= *part;
        if (::mkdirat(dir, part->c_str(), 0777) != 0 && errno != EEXIST) break;
        const int next = ::openat(dir, part->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(dir);
        dir = next;
    }
    if (dir < 0) return "the folder " + at.string() + " cannot be made: " + std::strerror(errno);
    ::close(dir);
    return {};
}

// Why the file system cannot hold a name that long.
std::string LengthProblem(const fs::path& to) {
    const size_t bytes = to.filename().string().size(), max = NameMax(to.parent_path());
    if (bytes > max)
        return "the new name is too long: " + std::to_string(bytes) + " bytes, at most " + std::to_string(max);
    if (to.string().size() >= PATH_MAX)
        return "the new path is too long: " + std::to_string(to.string().size()) + " bytes, at most " +
               std::to_string(PATH_MAX - 1);
    return {};
}

const char* const kNameTaken = "a file of that name exists";

// Moves `from` to `to` unless `to` is taken: 0, or the error.
int Move(const fs::path& from, const fs::path& to) {
    if (sysio::MoveNoReplace(from.c_str(), to.c_str()) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the exclusive rename: a new link fails where a name is taken.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) != 0) {
        const int error = errno;
        ::unlink(to.c_str());
        return error;
    }
    return 0;
}

std::string MoveProblem(int error) { return error == EEXIST || error == ENOTEMPTY ? kNameTaken : std::strerror(error); }

// Why an audio file cannot be moved now: only a regular file (or a link) moves, never
// a folder or a FIFO that took an audio file's name, and a save of it that was cut
// short is finished first, as its journal goes by the old name.
std::string NotReadyToMove(const fs::path& from) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return std::strerror(errno);
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return "it is not a regular file";
    try {
        std::string report;
        if (RecoverInterruptedSave(from, &report) == TRecovery::SetAside) return report;
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

// A hidden name beside `file` for it to wait under while the others of its cycle
// move: ".NAME.velmar-rename-XXXXXX", the name cut (between characters) so that the
// whole fits the file system.
fs::path TemporaryName(const fs::path& file) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const std::string suffix = ".velmar-rename-";
    constexpr size_t kRandom = 6;
    std::string name = file.filename().string();
    const size_t room = NameMax(file.parent_path()), fixed = 1 + suffix.size() + kRandom;
    size_t keep = room > fixed ? std::min(name.size(), room - fixed) : 0;
    while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
    name = "." + name.substr(0, keep) + suffix;
    std::random_device random;
    for (size_t i = 0; i < kRandom; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    return file.parent_path() / name;
}

// Moves a file aside to a temporary name that was free: that name, or empty and the reason.
std::pair<fs::path, std::string> Park(const fs::path& from) {
    if (std::string problem = NotReadyToMove(from); !problem.empty()) return {{}, problem};
    for (int attempt = 0; attempt < 20; ++attempt) {
        const fs::path temporary = TemporaryName(from);
        const int error = Move(from, temporary);
        if (error == 0) return {temporary, {}};
        if (error != EEXIST) return {{}, MoveProblem(error)};
    }
    return {{}, "no free temporary name"};
}

}  // namespace

std::vector<TFileValues> ReadTokenValues(const std::vector<fs::path>& files, TMessageSink& sink) {
    return ReadTokenValues(files, [&sink](size_t, const std::vector<std::string>& messages) {
        for (const std::string& m : messages) sink.Error(m);
        return true;
    });
}

std::vector<TFileValues> ReadTokenValues(const std::vector<fs::path>& files,
                                         const std::function<bool(size_t, const std::vector<std::string>&)>& onFile,
                                         const std::function<bool()>& idle) {
    std::vector<TFileValues> values;
    values.reserve(files.size());
    ReadFilesInOrder<TFileValues>(
        files,
        [](const fs::path& file, TCollectingSink& sink) {
            TMP3Object object(sink);
            return object.LoadFile(file, false) ? TFileValues(GatherFileValues(object)) : std::nullopt;
        },
        [&](size_t i, TFileRead<TFileValues>&& read) {
            values.push_back(std::move(read.Value));
            return onFile(i, read.Messages);
        },
        idle);
    return values;
}

namespace {

// The plan of one file, with the problems its new name has by itself.
TRenamePlan PlanOne(const fs::path& file, const TFileValues& values, const std::string& mask, const TTags& format,
                    bool makeFolders) {
    if (!values) return {file, file, "its tags could not be read"};
    const std::string extension = file.extension().string();
    const fs::path name(RenamedName(mask, *values, format, extension));
    TRenamePlan plan{file, file.parent_path() / name.relative_path(), {}};
    plan.Problem = NameProblem(name, extension);
    if (plan.Problem.empty() && !NameHasTagText(mask, *values, format))
        plan.Problem = "the new name has no text from the tags";
    if (plan.Problem.empty()) plan.Problem = FolderProblem(file.parent_path(), name.relative_path(), makeFolders);
    plan.MakeFolders = makeFolders;
    if (plan.Problem.empty()) plan.Problem = LengthProblem(plan.To);
    return plan;
}

// A file moves once, and a name goes to the first file that gets it.
void MarkNamesGivenTwice(std::vector<TRenamePlan>& plans, const std::vector<fs::path>& from,
                         const std::vector<fs::path>& to) {
    std::set<fs::path> listed, given;
    for (size_t i = 0; i < plans.size(); ++i) {
        if (!plans[i].Problem.empty()) continue;
        if (!listed.insert(from[i]).second)
            plans[i].Problem = "the file is listed twice";
        else if (!plans[i].Unchanged() && !given.insert(to[i]).second)
            plans[i].Problem = "another file gets the same name";
    }
}

// A name that is there is free only when its file moves away; a file that cannot
// move keeps its name from the file that would take it, and so on along the chain.
void MarkNamesTaken(std::vector<TRenamePlan>& plans, const std::vector<fs::path>& from,
                    const std::vector<fs::path>& to) {
    std::vector<bool> there(plans.size());
    for (size_t i = 0; i < plans.size(); ++i) there[i] = plans[i].Moves() && Exists(plans[i].To);
    for (bool changed = true; changed;) {
        changed = false;
        std::set<fs::path> leaving;
        for (size_t i = 0; i < plans.size(); ++i)
            if (plans[i].Moves()) leaving.insert(from[i]);
        for (size_t i = 0; i < plans.size(); ++i)
            if (plans[i].Moves() && there[i] && !leaving.count(to[i])) {
                plans[i].Problem = kNameTaken;
                changed = true;
            }
    }
}

// The order: a file moves after the file whose name it takes. The names and the new
// names of the moving files are all different, so they form chains and cycles.
void OrderMoves(std::vector<TRenamePlan>& plans, const std::vector<fs::path>& from, const std::vector<fs::path>& to) {
    std::map<fs::path, size_t> moving;
    for (size_t i = 0; i < plans.size(); ++i)
        if (plans[i].Moves()) moving[from[i]] = i;
    std::vector<std::optional<size_t>> after(plans.size());
    for (size_t i = 0; i < plans.size(); ++i)
        if (const auto it = moving.find(to[i]); plans[i].Moves() && it != moving.end()) after[i] = it->second;
    size_t step = 0;
    for (size_t i = 0; i < plans.size(); ++i) {
        if (!plans[i].Moves() || plans[i].Step != 0) continue;
        std::vector<size_t> path = {i};
        bool cycle = false;
        for (size_t j = i; after[j] && plans[*after[j]].Step == 0 && path.size() <= plans.size();) {
            j = *after[j];
            if ((cycle = j == i)) break;
            path.push_back(j);
        }
        // The end of a chain moves first; a cycle's first file waits aside and moves last.
        for (size_t k = path.size(); k-- > (cycle ? 1 : 0);) plans[path[k]].Step = ++step;
        if (cycle) {
            plans[i].Step = ++step;
            plans[i].Parked = true;
        }
    }
}

}  // namespace

std::vector<TRenamePlan> PlanRenames(const std::vector<fs::path>& files, const std::vector<TFileValues>& values,
                                     const std::string& mask, const TTags& format, bool makeFolders) {
    std::vector<TRenamePlan> plans;
    std::vector<fs::path> from, to;  // the names as the file system sees them
    for (size_t i = 0; i < files.size(); ++i) {
        plans.push_back(PlanOne(files[i], i < values.size() ? values[i] : std::nullopt, mask, format, makeFolders));
        from.push_back(Key(plans.back().From));
        to.push_back(Key(plans.back().To));
    }
    MarkNamesGivenTwice(plans, from, to);
    MarkNamesTaken(plans, from, to);
    OrderMoves(plans, from, to);
    return plans;
}

std::vector<TRenamePlan> PlanMoves(const std::vector<std::pair<fs::path, fs::path>>& moves) {
    std::vector<TRenamePlan> plans;
    std::vector<fs::path> from, to;
    for (const auto& [a, b] : moves) {
        plans.push_back({a, b, {}});
        plans.back().MakeFolders = true;  // a folder left empty may have been removed since
        if (!Exists(a)) plans.back().Problem = "the file is not there";
        from.push_back(Key(a));
        to.push_back(Key(b));
    }
    MarkNamesGivenTwice(plans, from, to);
    MarkNamesTaken(plans, from, to);
    OrderMoves(plans, from, to);
    return plans;
}

std::vector<TRenamePlan> PlanRenames(const std::vector<fs::path>& files, const std::string& mask, const TTags& format,
                                     TMessageSink& sink, bool makeFolders) {
    return PlanRenames(files, ReadTokenValues(files, sink), mask, format, makeFolders);
}

namespace {

// Carries out one cycle: `members` in the order of their steps, the parked file last.
void CarryOutCycle(const std::vector<TRenamePlan>& plans, const std::vector<size_t>& members,
                   std::vector<TRenameResult>& results) {
    const size_t parked = members.back();
    const TRenamePlan& p = plans[parked];
    const auto [temporary, problem] = Park(p.From);
    if (!problem.empty()) {
        // Its name stays taken, so no other file of the cycle can move.
        results[parked].Problem = problem;
        for (size_t k = 0; k + 1 < members.size(); ++k)
            results[members[k]].Problem = "its new name is still taken: " + p.From.filename().string() +
                                          " could not be moved aside (" + problem + ")";
        return;
    }
    std::vector<size_t> moved;
    for (size_t k = 0; k + 1 < members.size(); ++k) {
        const TRenamePlan& m = plans[members[k]];
        if (std::string failed = MoveAudioFile(m.From, m.To); !failed.empty()) {
            results[members[k]].Problem = std::move(failed);
            continue;
        }
        results[members[k]] = {true, m.To, {}};
        moved.push_back(members[k]);
    }
    const int error = Move(temporary, p.To);
    if (error == 0) {
        results[parked] = {true, p.To, {}};
        return;
    }
    // It goes back to its old name; where a file of the cycle took that name, the
    // cycle's moves are undone, the last first, until it is free.
    results[parked].Problem = MoveProblem(error);
    bool back = Move(temporary, p.From) == 0;
    for (auto m = moved.rbegin(); !back && m != moved.rend(); ++m) {
        if (Move(plans[*m].To, plans[*m].From) != 0) break;
        results[*m] = {false, plans[*m].From,
                       "moved back to its old name: " + p.From.filename().string() + " could not take its new name"};
        back = Move(temporary, p.From) == 0;
    }
    if (!back) {
        results[parked].Now = temporary;
        results[parked].Problem += "; the file was left as " + temporary.filename().string();
    }
}

}  // namespace

std::vector<TRenameResult> CarryOutRenames(const std::vector<TRenamePlan>& plans,
                                           const std::function<bool(size_t, const TRenameResult&)>& moved) {
    std::vector<TRenameResult> results(plans.size());
    std::vector<size_t> order;
    std::map<fs::path, size_t> parked;  // the parked files by their names
    for (size_t i = 0; i < plans.size(); ++i) {
        results[i].Now = plans[i].From;
        results[i].Problem = plans[i].Problem;
        if (!plans[i].Moves()) continue;
        order.push_back(i);
        if (plans[i].Parked) parked[Key(plans[i].From)] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return plans[a].Step < plans[b].Step; });
    for (size_t k = 0; k < order.size();) {
        // A move onto a parked file's name begins its cycle, which runs to that file.
        size_t end = k;
        if (const auto it = parked.find(Key(plans[order[k]].To)); it != parked.end())
            end = size_t(std::find(order.begin() + ptrdiff_t(k), order.end(), it->second) - order.begin());
        if (end >= order.size()) end = k;
        if (end > k) {
            CarryOutCycle(plans, std::vector<size_t>(order.begin() + ptrdiff_t(k), order.begin() + ptrdiff_t(end) + 1),
                          results);
        } else if (const TRenamePlan& p = plans[order[k]];
                   (results[order[k]].Problem = p.MakeFolders ? MakeFolders(p.To) : std::string()).empty() &&
                   (results[order[k]].Problem = MoveAudioFile(p.From, p.To)).empty()) {
            results[order[k]] = {true, p.To, {}};
        }
        bool goOn = true;
        for (; k <= end; ++k) {
            const TRenameResult& r = results[order[k]];
            if (TChangeWatch* watch = ChangeWatch(); watch && r.Moved) watch->AfterMove(plans[order[k]].From, r.Now);
            if (moved && !moved(order[k], r)) goOn = false;
        }
        if (!goOn) break;
    }
    return results;
}

std::string MoveAudioFile(const fs::path& from, const fs::path& to) {
    if (std::string problem = NotReadyToMove(from); !problem.empty()) return problem;
    return MoveWithoutReplacing(from, to);
}

std::string MoveWithoutReplacing(const fs::path& from, const fs::path& to) {
    const int error = Move(from, to);
    return error == 0 ? std::string() : MoveProblem(error);
}

}  // namespace velmar
