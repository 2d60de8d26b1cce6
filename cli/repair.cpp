#include "repair.h"

#include <iostream>

#include "file/mpegrepair.h"
#include "history.h"
#include "report.h"
#include "say.h"

namespace velmar::cli {

namespace fs = std::filesystem;

namespace {

const char* const kRepairUsage =
    "usage: velmar-cli repair [--dry-run] PATH...\n"
    "  Repairs the damaged MPEG stream of each file: removes garbage between frames,\n"
    "  frames cut short and tags inside the audio, and rewrites a Xing, Info or VBRI\n"
    "  header to count the stream (or removes one that cannot be corrected); the tags\n"
    "  at the start and the end stay as they are, frames of another stream are left.\n"
    "  Prints \"FILE: removed ... at OFFSET, ...; N problems repaired\", or \"FILE: nothing\n"
    "  to repair\". A file with no two agreeing frames is left as it is. --dry-run\n"
    "  prints what would be done and changes nothing. Undo takes a repair back.\n";

int Repair(const TArgs& args, THistory* history) {
    if (args.Operands.empty()) return args.UsageError("repair needs at least one file");
    const bool dryRun = args.Has("--dry-run");
    const std::vector<fs::path> files = args.Paths();
    int status = 0;
    auto print = [&](const fs::path& file, const TRepairOutcome& outcome, const std::vector<std::string>& messages) {
        for (const std::string& m : messages) Say(file.string(), m);
        if (outcome.Failed) {
            status = 1;
            if (outcome.Plan.Verdict != TRepairPlan::Cannot) return;  // the rewrite failed: the message says why
            Say(file.string(), RepairSummary(outcome, dryRun));
            return;
        }
        std::cout << Printable(file.string()) << ": " << RepairSummary(outcome, dryRun) << "\n";
    };
    if (dryRun) {
        for (const fs::path& file : files) {
            TCollectingSink sink;
            const TRepairOutcome outcome = RepairFile(file, true, sink);
            print(file, outcome, sink.Messages);
        }
        return status;
    }
    std::vector<TRepairOutcome> outcomes(files.size());
    std::vector<bool> reached(files.size());
    const fs::path* first = nullptr;  // the change's own list, which the writes are handed from
    TFileChange change{CommandLine("repair", args.Given), "Repair streams", files,
                       [&](const fs::path& file, TMessageSink& sink) {
                           const size_t i = size_t(&file - first);
                           reached[i] = true;
                           outcomes[i] = RepairFile(file, false, sink);
                           return outcomes[i].Written;
                       }};
    change.TagsOnly = false;
    first = change.Files.data();
    TApplyOptions options = Recording(history);
    options.OnFile = [&](size_t i, const TFileOutcome& outcome) {
        if (reached[i]) {
            print(files[i], outcomes[i], outcome.Messages);
            return true;
        }
        // Not taken at all (not there, not a regular file): its message says why.
        for (const std::string& m : outcome.Messages) Say(files[i].string(), m);
        status = 1;
        return true;
    };
    ApplyChange(change, options);
    return status;
}

}  // namespace

const TCommand kRepair{"repair", kRepairUsage, {{"--dry-run"}}, Repair};

}  // namespace velmar::cli
