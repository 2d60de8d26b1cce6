#include "change/apply.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "file/inplace.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

class TSilentSink : public TMessageSink {
public:
    void Error(const std::string&) override {}
};

std::unique_ptr<TChange> Record(const TApplyOptions& options, const std::string& command, const std::string& text) {
    static TSilentSink silent;
    if (!options.History) return nullptr;
    return std::make_unique<TChange>(*options.History, command, text, options.Sink ? *options.Sink : silent);
}

}  // namespace

std::vector<TFileOutcome> ApplyChange(const TFileChange& change, const TApplyOptions& options) {
    const size_t count = change.Files.size();
    std::vector<TFileOutcome> outcomes(count);
    std::vector<struct stat> found(count);
    std::vector<bool> ready(count);
    for (size_t i = 0; i < count; ++i) {
        struct stat& st = found[i];
        if (::stat(change.Files[i].c_str(), &st) != 0)
            outcomes[i].Messages.push_back("\"" + change.Files[i].string() + "\" is not there");
        else if (!S_ISREG(st.st_mode))
            outcomes[i].Messages.push_back("\"" + change.Files[i].string() + "\" is not a regular file");
        else
            ready[i] = true;
    }
    const auto recorded = Record(options, change.Command, change.Text);
    // Tags of many files written in place are flushed together, a group at a time; a
    // file's outcome is told once its group is committed.
    std::optional<TSaveGroup> group;
    if (change.TagsOnly && std::count(ready.begin(), ready.end(), true) > 1) group.emplace();
    // The old tags of every file are recorded, and flushed once, before the first is written.
    if (auto* open = dynamic_cast<TChange*>(ChangeWatch()); open && change.TagsOnly) {
        std::vector<fs::path> files;
        for (size_t i = 0; i < count; ++i)
            if (ready[i]) files.push_back(change.Files[i]);
        open->Prepare(files, group && SaveGroup());
    }
    auto commit = [&] {
        if (!group) return;
        for (auto& [i, why] : group->Commit()) {
            outcomes[i].Written = false;
            outcomes[i].Messages.push_back(std::move(why));
        }
    };
    size_t told = 0;
    bool stop = false;
    for (size_t i = 0; i < count && !stop; ++i) {
        if (ready[i]) {
            // A file named twice waits for its first save to be committed (it holds the file's lock).
            if (group && group->Holds(found[i].st_dev, found[i].st_ino)) commit();
            if (group) group->SetOwner(i);
            TCollectingSink sink;
            outcomes[i].Written = change.Write(change.Files[i], sink);
            outcomes[i].Messages = std::move(sink.Messages);
        }
        if (group && group->Waiting() > 0 && !group->Due() && i + 1 < count) continue;
        commit();
        // Every file written is told, even after the caller asked to stop.
        for (; told <= i; ++told)
            if (options.OnFile && !options.OnFile(told, outcomes[told])) stop = true;
    }
    return outcomes;
}

std::vector<TRenameResult> ApplyRenames(const std::vector<TRenamePlan>& plans, const std::string& command,
                                        const TApplyOptions& options,
                                        const std::function<bool(size_t, const TRenameResult&)>& moved) {
    const auto recorded = Record(options, command, "Rename");
    return CarryOutRenames(plans, moved);
}

}  // namespace velmar
