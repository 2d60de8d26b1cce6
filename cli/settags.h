#pragma once
// `velmar-cli set`: the values to change and applying them to a loaded file.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "args.h"
#include "file/mp3object.h"

namespace velmar::cli {

// --picture FILE[:TYPE[:DESC]]: the file is read once, before any MP3 is touched.
struct TPictureOption {
    std::string File;
    uint8_t Type = 3;  // front cover
    std::string Description, MimeType;
    TBytes Data;
};

struct TSetOptions {
    std::optional<std::string> Title, Artist, Album, Year, Comment, Track, Genre;
    std::optional<std::string> CommentLanguage, CommentDescription;
    std::vector<std::pair<std::string, std::string>> Frames;     // --frame ID=TEXT
    std::vector<std::string> Removals;                           // --remove ID
    std::vector<std::pair<std::string, std::string>> UserTexts;  // --txxx DESC=TEXT
    std::vector<std::pair<std::string, std::string>> UserUrls;   // --wxxx DESC=URL
    std::vector<TPictureOption> Pictures;
    bool RemovePictures = false;
    std::optional<std::string> LyricsFile;
    std::string Lyrics;  // the text of LyricsFile, once read
    std::optional<bool> WriteV2, WriteV1, WriteLyrics3;
    bool ReplaceV2 = false;

    bool SetsID3v2() const {
        return Title || Artist || Album || Year || Comment || Track || Genre || !Frames.empty() || !Removals.empty() ||
               !UserTexts.empty() || !UserUrls.empty() || !Pictures.empty() || RemovePictures || LyricsFile;
    }
};

extern const char* const kSetUsage;

// The MIME type a picture file's extension stands for (letter case aside); empty for another extension.
std::string PictureMimeType(const std::string& file);

// The options `set` takes.
std::vector<TOptionSpec> SetOptionSpecs();
// Takes the parsed options in; returns an error text for a usage error, else empty.
std::string ParseSetOptions(const TArgs& args, TSetOptions& options);
// Reads the picture and lyrics files the options name; returns an error text for
// one that cannot be read (with its name as Printable shows it), else empty.
std::string ReadSetFiles(TSetOptions& options);
// Loads, changes and saves one file; failures go to the sink. Returns true on success.
bool SetTags(const std::string& path, const TSetOptions& options, TMessageSink& sink);

}  // namespace velmar::cli
