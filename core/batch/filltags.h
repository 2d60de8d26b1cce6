#pragma once
// Filling tags from file names: each name is split by a mask into artist, title,
// sub-title, remix, comment, album and track, values shared by all files are added,
// and every file gets new tags.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "batch/outputformat.h"

namespace velmar {

// The first character and every one after a space or a "/" in upper case when it is
// one of a-z; nothing else changes.
std::string CapitalizeWords(std::string_view text);

// Values that are the same for all files; an unset one is not written.
struct TCommonValues {
    std::optional<std::string> Artist = {};  // set: wins over the artist in the names
    std::string Album = {};                  // not empty: wins over the album in the names
    std::string Genre = {}, Copyright = {}, EncodedBy = {}, EncodedUsing = {};
    std::optional<int> Year = {};
    std::optional<std::pair<int, int>> Disc = {};  // current and total
};

struct TFillOptions {
    bool CaseConvert = true;            // values from the names go through CapitalizeWords
    bool GenerateTrackNumbers = false;  // the track is the file's position in the list
    bool SaveID3v1 = true;
    bool SaveID3v2 = true;
};

// What one file gets, exactly as it is written.
struct TFillValues {
    bool Matched = false;  // the name fits the mask (the values are written either way)
    std::string Artist, Title, SubTitle, Remix, Comment, Album, Genre, Track, Year, CD, EncodedBy, EncodedUsing,
        Copyright;
};

// The values for the file at `position` (from 1) whose name, without folder and
// extension, is `name`.
TFillValues FillValuesFor(std::string_view name, std::string_view mask, int position, const TCommonValues& common,
                          const TFillOptions& options);

// Writes the values into the file's tags and saves it in place; `fileCount` is the
// total of the track numbers. Other ID3v2 frames are kept. False after reporting a failure.
bool WriteFillValues(const std::filesystem::path& file, const TFillValues& values, int fileCount,
                     const TCommonValues& common, const TFillOptions& options, TMessageSink& sink);

}  // namespace velmar
