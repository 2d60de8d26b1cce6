#pragma once
// The common fields of a file's tags by name, the way a script wants them: each
// field from the ID3v2 tag, else from the ID3v1 tag, else from the Lyrics3 tag.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "file/mp3object.h"

namespace velmar {

struct TCommonTag {
    std::string_view Name;          // "title", "album_artist", ...
    std::string Text;               // never empty
    std::optional<int64_t> Number;  // of a field of numbers, when its text is a whole number
    bool operator==(const TCommonTag&) const = default;
};

// The fields the file has, in this order: title, artist, album, album_artist,
// year, track, track_total, disc, disc_total, genre, comment, composer, bpm. A
// field comes from the ID3v2 tag (TIT2, TPE1, TALB, TPE2, TYER, TRCK, TPOS, TCON,
// the first COMM without a description, TCOM, TBPM); one that the ID3v2 tag does
// not have, or has with an empty text, from the ID3v1 tag (title, artist, album,
// year, track, genre, comment), else from the Lyrics3 tag (ETT, EAR, EAL). Values
// that a text frame separates by zero characters are joined with "/". Track and
// disc split "N/M" into the number and the total. The genre is a name: references
// to the genre table, "(RX)" and "(CR)" become "Remix" and "Cover", a bare genre
// number its name; several names, and free text that adds to them, are joined with
// "/". ID3v1 and Lyrics3 texts lose the blanks around them.
std::vector<TCommonTag> CommonTags(const TMP3Object& file);

// The genres of a TCON frame as names (see CommonTags); empty when it has none.
std::string GenreNames(const TTCONFrame& tcon);

// A whole number written in decimal digits, blanks around allowed; none for other text.
std::optional<int64_t> WholeNumber(std::string_view text);

}  // namespace velmar
