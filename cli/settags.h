#pragma once
// `velmar-cli set`: the values to change and applying them to a loaded file.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "file/mp3object.h"

namespace velmar::cli {

struct TSetOptions {
    std::optional<std::string> Title, Artist, Album, Year, Comment, Track, Genre;
    std::vector<std::pair<std::string, std::string>> Frames;  // --frame ID=TEXT
    std::vector<std::string> Removals;                        // --remove ID
    std::optional<bool> WriteV2, WriteV1, WriteLyrics3;
    bool ReplaceV2 = false;

    bool SetsID3v2() const {
        return Title || Artist || Album || Year || Comment || Track || Genre || !Frames.empty() || !Removals.empty();
    }
};

// Parses the options; returns an error text for a usage error, else empty.
std::string ParseSetOptions(const std::vector<std::string>& args, TSetOptions& options,
                            std::vector<std::string>& files);
// Loads, changes and saves one file; failures go to the sink. Returns true on success.
bool SetTags(const std::string& path, const TSetOptions& options, TMessageSink& sink);

}  // namespace velmar::cli
