#pragma once
// Match to time: in list order, the files that together fit into a playing time.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/messages.h"

namespace velmar {

// A file's play length in whole seconds, or nothing after reporting why it cannot be read.
std::optional<int64_t> PlaySecondsOf(const std::filesystem::path& file, TMessageSink& sink);

struct TMatchToTime {
    std::vector<bool> Chosen;  // one per file, in order
    int64_t TotalSeconds = 0;
};
// Walks the files in order and takes each one whose length keeps the total strictly
// below the target; one that does not fit is skipped and the walk goes on. A file
// without a length is not taken.
TMatchToTime MatchToTime(const std::vector<std::optional<int64_t>>& lengths, int64_t targetSeconds);
// "A total time of mm:ss was selected." (minutes of any size).
std::string MatchTotalText(int64_t seconds);

}  // namespace velmar
