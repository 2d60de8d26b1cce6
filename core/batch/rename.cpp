#include "batch/rename.h"

#include <fcntl.h>
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

std::vector<TTokenValues> ReadTokenValues(const std::vector<fs::path>& files, TMessageSink& sink) {
    return ReadTokenValues(files, [&sink](size_t, const std::vector<std::string>& messages) {
        for (const std::string& m : messages) sink.Error(m);
        return true;
    });
}

std::vector<TTokenValues> ReadTokenValues(const std::vector<fs::path>& files,
                                          const std::function<bool(size_t, const std::vector<std::string>&)>& onFile,
                                          const std::function<bool()>& idle) {
    std::vector<TTokenValues> values;
    values.reserve(files.size());
    ReadFilesInOrder<TTokenValues>(
        files,
        [](const fs::path& file, TCollectingSink& sink) {
            TMP3Object object(sink);
            return object.LoadFile(file, false) ? GatherFileValues(object) : TTokenValues{};
        },
        [&](size_t i, TFileRead<TTokenValues>&& read) {
            values.push_back(std::move(read.Value));
            return onFile(i, read.Messages);
        },
        idle);
    return values;
}

std::vector<TRenamePlan> PlanRenames(const std::vector<fs::path>& files, const std::vector<TTokenValues>& values,
                                     const std::string& mask, const TTags& format) {
    std::vector<TRenamePlan> plans;
    plans.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const fs::path& file = files[i];
        const std::string extension = file.extension().string();
        const std::string name = RenamedName(mask, i < values.size() ? values[i] : TTokenValues{}, format, extension);
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

std::string MoveWithoutReplacing(const fs::path& from, const fs::path& to) {
    // A save of the file that was cut short is finished first: its journal names the old name.
    try {
        RecoverInterruptedSave(from);
    } catch (const std::exception& e) {
        return e.what();
    }
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
