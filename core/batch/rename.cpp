#include "batch/rename.h"

#include <fcntl.h>
#include <stdio.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace velmar {

namespace fs = std::filesystem;

std::string RenamedName(const std::string& mask, TTokenValues values, const TTags& format,
                        const std::string& extension) {
    for (std::string& v : values) {
        std::replace(v.begin(), v.end(), '/', '-');
        std::replace(v.begin(), v.end(), '\\', '-');
        if (v == "." || v == "..") v = "-";
    }
    std::string name = ExpandMask(mask, values, format, kModeRename);
    // The file keeps its own extension, unless the mask wrote it already.
    const bool hasExtension = name.size() >= extension.size() &&
                              strcasecmp(name.c_str() + name.size() - extension.size(), extension.c_str()) == 0;
    return hasExtension && !extension.empty() ? name : name + extension;
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

std::vector<TRenamePlan> PlanRenames(const std::vector<fs::path>& files, const std::string& mask, const TTags& format,
                                     TMessageSink& sink) {
    std::vector<TRenamePlan> plans;
    for (const fs::path& file : files) {
        TMP3Object object(sink);
        TTokenValues values;
        if (object.LoadFile(file, false)) values = GatherFileValues(object);
        const std::string extension = file.extension().string();
        const std::string name = RenamedName(mask, values, format, extension);
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
