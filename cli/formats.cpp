#include "formats.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "batch/rename.h"
#include "file/filescan.h"

namespace velmar::cli {

namespace fs = std::filesystem;

namespace {

const char* const kRenameUsage =
    "usage: velmar-cli rename (--format NAME | --mask MASK) [--dry-run] [--data DIR] FILE...\n"
    "  Renames each file from its tags by an output format of mode \"Rename\" (or a mask\n"
    "  given here), keeping its folder and its extension. Tag values that hold \"/\", \"\\\",\n"
    "  \".\" or \"..\" have them replaced by \"-\"; a \"/\" in the mask makes a sub-folder.\n"
    "  A file is never renamed over another file: a name that is taken, empty or given\n"
    "  to two files is reported and that file stays where it is. Prints \"OLD -> NEW\"\n"
    "  for each file; --dry-run moves nothing.\n";

const char* const kFormatsUsage =
    "usage: velmar-cli formats [--mode rename|fill|list] [--data DIR]\n"
    "  Prints the names of the output formats of a mode (default rename), sorted.\n";

// The DATA folder: --data, else VELMAR_DATA, else the one the program was built with.
fs::path DataFolder(const std::string& given) {
    if (!given.empty()) return given;
    if (const char* env = std::getenv("VELMAR_DATA"); env && *env) return env;
#ifdef VELMAR_SOURCE_DATA
    return VELMAR_SOURCE_DATA;
#else
    return "DATA";
#endif
}

int UsageError(const std::string& error, const char* usage) {
    std::cerr << "velmar-cli: " << error << "\n" << usage;
    return 2;
}

class TFileSink : public TMessageSink {
public:
    void Error(const std::string& text) override { std::cerr << "velmar-cli: " << text << "\n"; }
};

}  // namespace

int Formats(const std::vector<std::string>& args) {
    std::string data, mode = kModeRename;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help") {
            std::cout << kFormatsUsage;
            return 0;
        }
        if ((a == "--mode" || a == "--data") && i + 1 < args.size()) {
            const std::string& v = args[++i];
            if (a == "--data")
                data = v;
            else if (v == "rename")
                mode = kModeRename;
            else if (v == "fill")
                mode = kModeFilenameToTag;
            else if (v == "list")
                mode = kModeMakeList;
            else
                return UsageError("--mode takes rename, fill or list, not \"" + v + "\"", kFormatsUsage);
        } else {
            return UsageError("unknown option " + a, kFormatsUsage);
        }
    }
    std::vector<std::string> names = ListFormats(DataFolder(data) / "Outputs" / mode);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) std::cout << n << "\n";
    return 0;
}

int Rename(const std::vector<std::string>& args) {
    std::string data, formatName, mask;
    bool dryRun = false, haveMask = false;
    std::vector<fs::path> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help") {
            std::cout << kRenameUsage;
            return 0;
        }
        if (a == "--dry-run") {
            dryRun = true;
        } else if (a == "--format" || a == "--mask" || a == "--data") {
            if (i + 1 >= args.size()) return UsageError(a + " needs a value", kRenameUsage);
            const std::string& v = args[++i];
            if (a == "--format")
                formatName = v;
            else if (a == "--data")
                data = v;
            else
                mask = v;
            haveMask = haveMask || a == "--mask";
        } else if (a.starts_with("--")) {
            return UsageError("unknown option " + a, kRenameUsage);
        } else {
            files.emplace_back(a);
        }
    }
    if (haveMask == !formatName.empty()) return UsageError("rename takes either --format or --mask", kRenameUsage);
    if (files.empty()) return UsageError("rename needs at least one file", kRenameUsage);
    if (haveMask && mask.size() > kMaxMaskLength)
        return UsageError("a mask holds at most " + std::to_string(kMaxMaskLength) + " characters", kRenameUsage);

    TFileSink sink;
    TTags format;
    if (!haveMask) {
        const auto loaded = LoadFormat(DataFolder(data) / "Outputs" / kModeRename, formatName, sink);
        if (!loaded) return 2;
        format = *loaded;
        mask = format.User;
    }
    int status = 0;
    for (const TRenamePlan& plan : PlanRenames(files, mask, format, sink)) {
        std::string problem = plan.Problem;
        if (problem.empty() && !dryRun && !plan.Unchanged()) problem = MoveWithoutReplacing(plan.From, plan.To);
        if (!problem.empty()) {
            std::cerr << "velmar-cli: " << plan.From.string() << ": not renamed to \"" << plan.To.filename().string()
                      << "\": " << problem << "\n";
            status = 1;
            continue;
        }
        std::cout << plan.From.string() << " -> " << plan.To.string() << "\n";
    }
    return status;
}

}  // namespace velmar::cli
