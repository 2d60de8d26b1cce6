#pragma once
// Filling tags from file names: each name is split by a mask into artist, title,
// sub-title, remix, comment, album and track, values shared by all files are added,
// and each file whose name fits its mask gets them. A value that neither the name
// nor the shared values bring leaves the file's own value as it is.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "batch/outputformat.h"

namespace velmar {

// The first character and every one after a space or a "/" in upper case when it is
// one of a-z; nothing else changes.
std::string CapitalizeWords(std::string_view text);

// Values that are the same for all files; an unset or empty one is not written.
struct TCommonValues {
    std::optional<std::string> Artist = {};  // set: wins over the artist in the names
    std::string Album = {};                  // not empty: wins over the album in the names
    std::string Genre = {}, Copyright = {}, EncodedBy = {}, EncodedUsing = {};
    std::optional<int> Year = {};
    std::optional<std::pair<int, int>> Disc = {};  // current and total
    std::optional<int> TrackTotal = {};            // set: the total of every track number written
};

struct TFillOptions {
    bool CaseConvert = true;            // values from the names go through CapitalizeWords
    bool GenerateTrackNumbers = false;  // the track is the file's position in the list
    bool SaveID3v1 = true;              // the values go into ID3v1 (a new tag when the file has none)
    bool SaveID3v2 = true;              // the values go into ID3v2 (a new tag when the file has none)
};

// What one file gets, exactly as it is written; an empty value leaves the file's own.
struct TFillValues {
    bool Matched = false;  // the name fits the mask; a file whose name does not is not written
    std::string Artist, Title, SubTitle, Remix, Comment, Album, Genre, Track, Year, CD, EncodedBy, EncodedUsing,
        Copyright;
};

// The values for the file at `position` (from 1) whose name, without folder and
// extension, is `name`. The track is the number from the name or the position, at
// least two digits; empty when there is neither or it is 0.
TFillValues FillValuesFor(std::string_view name, std::string_view mask, int position, const TCommonValues& common,
                          const TFillOptions& options);

// Writes the values into the file's tags and saves it in place. The track's total is
// `fileCount` for generated numbers, else common.TrackTotal when set, else the
// file's own. Every other value, frame and tag of the file stays; a tag the options
// leave out is neither made nor changed. A file whose name did not fit its mask is
// refused. False after reporting a failure.
bool WriteFillValues(const std::filesystem::path& file, const TFillValues& values, int fileCount,
                     const TCommonValues& common, const TFillOptions& options, TMessageSink& sink);

}  // namespace velmar
