#include "batch/rename.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

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

namespace {

// Why a new name (relative to the file's folder) cannot be used; empty when it can.
std::string NameProblem(const fs::path& name, const std::string& extension) {
    const std::string file = name.filename().string();
    if (file.size() <= extension.size()) return "the new name is empty";
    if (name.is_absolute()) return "the new name leaves the file's folder";
    for (const fs::path& part : name)
        if (part == "..") return "the new name leaves the file's folder";
    return {};
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

std::vector<TRenamePlan> PlanRenames(const std::vector<fs::path>& files, const std::vector<TFileValues>& values,
                                     const std::string& mask, const TTags& format) {
    std::vector<TRenamePlan> plans;
    plans.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const fs::path& file = files[i];
        const std::string extension = file.extension().string();
        if (i >= values.size() || !values[i]) {
            plans.push_back({file, file, "its tags could not be read"});
            continue;
        }
        const std::string name = RenamedName(mask, *values[i], format, extension);
        TRenamePlan plan{file, file.parent_path() / fs::path(name).relative_path(), {}};
        plan.Problem = NameProblem(fs::path(name), extension);
        plans.push_back(std::move(plan));
    }
    // Names taken: by another plan before (two files, one name), or by a file that stays where it is.
    std::set<fs::path> leaving, given;
    for (const TRenamePlan& p : plans)
        if (p.Problem.empty() && !p.Unchanged()) leaving.insert(fs::absolute(p.From).lexically_normal());
    for (TRenamePlan& p : plans) {
        if (!p.Problem.empty() || p.Unchanged()) continue;
        const fs::path target = fs::absolute(p.To).lexically_normal();
        std::error_code ec;
        if (!given.insert(target).second)
            p.Problem = "another file gets the same name";
        else if (fs::exists(fs::symlink_status(target, ec)) && !leaving.count(target))
            p.Problem = "a file of that name exists";
        else if (!fs::is_directory(target.parent_path(), ec))
            p.Problem = "the folder " + target.parent_path().string() + " does not exist";
    }
    return plans;
}

std::vector<TRenamePlan> PlanRenames(const std::vector<fs::path>& files, const std::string& mask, const TTags& format,
                                     TMessageSink& sink) {
    return PlanRenames(files, ReadTokenValues(files, sink), mask, format);
}

std::string TargetProblem(const fs::path& from, const fs::path& to) {
    const fs::path relative = to.lexically_relative(from.parent_path());
    if (std::string problem = NameProblem(relative, from.extension().string()); !problem.empty()) return problem;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(to, ec))) return "a file of that name exists";
    if (!fs::is_directory(to.parent_path(), ec)) return "the folder " + to.parent_path().string() + " does not exist";
    return {};
}

std::string MoveAudioFile(const fs::path& from, const fs::path& to) {
    // Only a regular file moves (never a folder or a FIFO that took an audio file's
    // name), and a save of it that was cut short is finished first: its journal
    // goes by the old name.
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return std::strerror(errno);
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return "it is not a regular file";
    try {
        std::string report;
        if (RecoverInterruptedSave(from, &report) == TRecovery::SetAside) return report;
    } catch (const std::exception& e) {
        return e.what();
    }
    return MoveWithoutReplacing(from, to);
}

std::string MoveWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    if (errno != EINVAL && errno != ENOSYS) return std::strerror(errno);
    // A file system without the exclusive rename: a new link fails where a name is taken.
    if (::link(from.c_str(), to.c_str()) != 0) return std::strerror(errno);
    if (::unlink(from.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(to.c_str());
        return reason;
    }
    return {};
}

}  // namespace velmar
