#include "change/apply.h"

#include <sys/stat.h>

#include <memory>

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
    std::vector<TFileOutcome> outcomes(change.Files.size());
    std::vector<bool> ready(change.Files.size());
    for (size_t i = 0; i < change.Files.size(); ++i) {
        struct stat st {};
        if (::stat(change.Files[i].c_str(), &st) != 0)
            outcomes[i].Messages.push_back("\"" + change.Files[i].string() + "\" is not there");
        else if (!S_ISREG(st.st_mode))
            outcomes[i].Messages.push_back("\"" + change.Files[i].string() + "\" is not a regular file");
        else
            ready[i] = true;
    }
    const auto recorded = Record(options, change.Command, change.Text);
    // The old tags of every file are recorded, and flushed once, before the first is written.
    if (auto* open = dynamic_cast<TChange*>(ChangeWatch()); open && change.TagsOnly) {
        std::vector<fs::path> files;
        for (size_t i = 0; i < change.Files.size(); ++i)
            if (ready[i]) files.push_back(change.Files[i]);
        open->Prepare(files);
    }
    for (size_t i = 0; i < change.Files.size(); ++i) {
        if (ready[i]) {
            TCollectingSink sink;
            outcomes[i].Written = change.Write(change.Files[i], sink);
            outcomes[i].Messages = std::move(sink.Messages);
        }
        if (options.OnFile && !options.OnFile(i, outcomes[i])) break;
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
