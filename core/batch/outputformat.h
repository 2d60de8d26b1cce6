#pragma once
// Output formats: a text mask of thirteen tag tokens "%00".."%12", with a prefix and
// a suffix for each token. Expanding a mask for a file gives its new name or a line
// of a list; matching a file name against a mask gives tag values back. Formats are
// stored one per file, named by the format, in a folder per mode.
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/messages.h"
#include "file/mp3object.h"

namespace velmar {

constexpr size_t kTokenCount = 13;
// A mask holds at most this many characters.
constexpr size_t kMaxMaskLength = 255;
// A value taken from a file name keeps at most this many characters.
constexpr size_t kMaxParsedField = 64;

using TTokenValues = std::array<std::string, kTokenCount>;

// The modes, each with its own formats; the names are also the names of their folders.
inline constexpr const char* kModeRename = "Rename";
inline constexpr const char* kModeMakeList = "MakeList";
inline constexpr const char* kModeFilenameToTag = "Filename To Tag";

// The tag name of each token, as the format editor and the tag help list them.
const std::array<const char*, kTokenCount>& TokenTagNames();
// The example value of each token, for previews.
const TTokenValues& SampleValues();

struct TPreSuffix {
    std::string Prefix;  // put before a value that is not empty
    std::string Suffix;  // put after it
};

// One format. `User` is the mask in the modes "Rename" and "Filename To Tag", and the
// text that stands for an empty value in "MakeList".
struct TTags {
    std::string User;
    std::array<TPreSuffix, kTokenCount> PreSuffix;
    void Clear() { *this = TTags(); }
};

// Expands a mask: each token becomes its value between its prefix and suffix; an
// empty value becomes nothing, or `User` in the mode "MakeList". Anything else,
// a "%" not followed by a number 00 to 12 included, is copied as it stands.
std::string ExpandMask(std::string_view mask, const TTokenValues& values, const TTags& format, std::string_view mode);

// The values of one loaded file: ID3v2 frames that are present win over the ID3v1
// fields; the song length always comes from the stream.
TTokenValues GatherFileValues(const TMP3Object& file);

struct TMatchResult {
    bool Success = false;
    TTokenValues Fields;  // each at most kMaxParsedField characters
};
// Splits a file name (without folder and extension) by a mask into token values.
TMatchResult MatchFileName(std::string_view name, std::string_view mask);

// Reads a format file; a missing file is reported ("File: <folder><name> not found!")
// and gives nothing. Entries whose number is not a number are reported and skipped.
std::optional<TTags> LoadFormat(const std::filesystem::path& folder, const std::string& name, TMessageSink& sink);
// Writes a format file (CR LF line ends). Returns false after reporting a failure: a
// mask longer than kMaxMaskLength, a name that is no plain file name, a write error.
bool SaveFormat(const std::filesystem::path& folder, const std::string& name, const TTags& format, TMessageSink& sink);
// True for a name that may name a format file: not empty, no path separator, not beginning with ".".
bool IsFormatName(std::string_view name);
// The format names of a folder: its files, sorted by SortNames.
std::vector<std::string> ListFormats(const std::filesystem::path& folder);
// Sorts names by their letters without regard to case (names equal but for case in
// byte order), so that a stored position means the same name in every list.
void SortNames(std::vector<std::string>& names);

}  // namespace velmar
