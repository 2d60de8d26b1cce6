#pragma once
// Repairing a damaged MPEG stream from the checker's list of its damaged places:
// garbage between frames, frames cut short and tags inside the audio are taken
// away, and a Xing, Info or VBRI header is rewritten to count the frames and bytes
// the stream has (or taken away with its frame when it cannot be). The tags at the
// start and at the end stay byte for byte as they are; frames of another stream are
// whole audio and are left. The file is rewritten by the safe full rewrite, and the
// history records the bytes taken away, so that an undo puts them back.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/messages.h"
#include "file/changewatch.h"
#include "file/mpegchecker.h"

namespace velmar {

// One thing a repair does, at an offset of the damaged file.
struct TRepairStep {
    bool Rewrite = false;  // the VBR header rewritten; else bytes taken away
    int64_t Offset = 0;
    std::string What;  // "417 bytes of garbage", "the Xing header (9 frames, 4170 bytes)"
};

struct TRepairPlan {
    enum TVerdict {
        Nothing,  // no damage a repair takes away (frames of another stream may be left)
        Repair,   // the splices below repair the file
        Cannot,   // the file is left as it is; Reason says why
    };
    TVerdict Verdict = Nothing;
    std::string Reason;
    std::vector<TSplice> Splices;    // in order of offset
    std::vector<TRepairStep> Steps;  // in order of offset
    std::vector<std::string> Left;   // damage left as it is: "2 frames of another stream at 2085"
    int64_t Repaired = 0;            // the checker's problems the splices take away
    int64_t Frames = 0;              // whole frames of the stream after the repair
};

// Works out the repair of `file` from its check (which must be of the file as it is now).
TRepairPlan PlanRepair(const std::filesystem::path& file, const TCheckResult& check);

// What became of one file.
struct TRepairOutcome {
    TRepairPlan Plan;
    bool Written = false;  // the file was rewritten
    bool Failed = false;   // it could not be repaired (Plan.Cannot, or the rewrite failed; the sink heard why)
};

// Checks the file, plans its repair and, unless `dryRun`, rewrites it (within the
// change open at the time, if any). A file that cannot be read, has no two agreeing
// frames or whose rewrite fails is left as it is.
TRepairOutcome RepairFile(const std::filesystem::path& file, bool dryRun, TMessageSink& sink);

// "removed 417 bytes of garbage at 12345, rewrote the Xing header at 0 (...); 2 problems
// repaired", with "would remove" and "to repair" for a dry run; "nothing to repair";
// damage left is named after "; left ".
std::string RepairSummary(const TRepairOutcome& outcome, bool dryRun);

}  // namespace velmar
