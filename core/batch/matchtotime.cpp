#include "batch/matchtotime.h"

#include "base/iofunc.h"
#include "file/mp3object.h"

namespace velmar {

std::optional<int64_t> PlaySecondsOf(const std::filesystem::path& file, TMessageSink& sink) {
    TMP3Object object(sink);
    if (!object.LoadFile(file, false)) return std::nullopt;
    return int64_t(object.PlaySeconds);
}

TMatchToTime MatchToTime(const std::vector<std::optional<int64_t>>& lengths, int64_t targetSeconds) {
    TMatchToTime result;
    result.Chosen.assign(lengths.size(), false);
    for (size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] && result.TotalSeconds + *lengths[i] < targetSeconds) {
            result.TotalSeconds += *lengths[i];
            result.Chosen[i] = true;
        }
    return result;
}

std::string MatchTotalText(int64_t seconds) {
    return "A total time of " + FormatPlayLength(seconds) + " was selected.";
}

}  // namespace velmar
