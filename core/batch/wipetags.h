#pragma once
// Removing whole tags from files.
#include <filesystem>
#include <optional>

#include "base/messages.h"

namespace velmar {

struct TWipeChoice {
    bool ID3v2 = false;  // any ID3v2 tag the file has, whatever its version
    bool ID3v1 = false;
    bool Lyrics3 = false;
    bool Any() const { return ID3v2 || ID3v1 || Lyrics3; }
};

enum class TWipeResult { Wiped, Untouched, Failed };

// Saves the file without the chosen tags, keeping the others and every audio byte;
// `removed` (when given) receives the tags it removed. A file that has none of the
// chosen tags is not touched at all. Failed after reporting why to `sink`; the file
// is then as it was.
TWipeResult WipeTags(const std::filesystem::path& file, TWipeChoice choice, TMessageSink& sink,
                     TWipeChoice* removed = nullptr);
// The chosen tags the file has, without changing it (for a dry run); nothing after
// reporting why the file cannot be read.
std::optional<TWipeChoice> TagsToWipe(const std::filesystem::path& file, TWipeChoice choice, TMessageSink& sink);

}  // namespace velmar
