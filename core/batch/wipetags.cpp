#include "batch/wipetags.h"

#include "file/mp3object.h"

namespace velmar {

namespace {

// The chosen tags that the loaded file has.
TWipeChoice Found(const TMP3Object& object, TWipeChoice choice) {
    return {choice.ID3v2 && object.ID3v2().Present, choice.ID3v1 && object.ID3v1().Present,
            choice.Lyrics3 && object.Lyrics3().Present};
}

}  // namespace

std::optional<TWipeChoice> TagsToWipe(const std::filesystem::path& file, TWipeChoice choice, TMessageSink& sink) {
    TMP3Object object(sink);
    if (!object.LoadFile(file, false)) return std::nullopt;
    return Found(object, choice);
}

TWipeResult WipeTags(const std::filesystem::path& file, TWipeChoice choice, TMessageSink& sink, TWipeChoice* removed) {
    TMP3Object object(sink);
    if (!object.LoadForChange(file)) return TWipeResult::Failed;
    const TWipeChoice found = Found(object, choice);
    if (removed) *removed = found;
    if (!found.Any()) return TWipeResult::Untouched;
    return object.RemoveTags(found.ID3v2, found.Lyrics3, found.ID3v1) ? TWipeResult::Wiped : TWipeResult::Failed;
}

}  // namespace velmar
