#pragma once
// What the tag editor shows of one file, as plain values: every text and URL
// frame, the lists of the frames that may occur more than once, the ID3v1 and
// Lyrics3 fields. Edits go back by comparing with the values as read, so that a
// frame or field the user did not change stays exactly as it was read.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "file/mp3object.h"

namespace velmar {

struct TLangTextItem {  // COMM and USLT
    std::string Language = "eng", Description, Text;
    bool operator==(const TLangTextItem&) const = default;
};
struct TDescValueItem {  // TXXX and WXXX
    std::string Description, Value;
    bool operator==(const TDescValueItem&) const = default;
};
struct TPictureItem {  // APIC
    uint8_t Type = 3;
    std::string Mime, Description;
    TBytes Data;
    bool operator==(const TPictureItem&) const = default;
};
struct TRatingItem {  // POPM
    std::string Email;
    int Rating = 0;  // 0-255
    uint64_t Counter = 0;
    bool operator==(const TRatingItem&) const = default;
};
struct TPersonItem {  // a pair of IPLS
    std::string Role, Name;
    bool operator==(const TPersonItem&) const = default;
};

struct TV1Fields {
    std::string Title, Artist, Album, Year, Comment, Genre;  // UTF-8 of the stored Latin-1 text
    int Track = 0;                                           // 0: none
    bool operator==(const TV1Fields&) const = default;
};
struct TLyrics3Fields {
    std::string Lyrics, Info, Author, Album, Artist, Title;  // UTF-8 of the stored single-byte text
    std::vector<std::string> Images;                         // the lines of the image field
    bool operator==(const TLyrics3Fields&) const = default;
};

struct TEditorFields {
    // Every text frame (not TXXX) and URL frame (not WXXX) the file has, by
    // identifier, with its text as read (TCON: the genre's name). A frame not in the
    // map is absent.
    std::map<std::string, std::string> Frames;
    std::vector<TLangTextItem> Comments, Lyrics;
    std::vector<TDescValueItem> UserTexts, UserUrls;
    std::vector<TPictureItem> Pictures;
    std::vector<TRatingItem> Ratings;
    std::optional<uint64_t> PlayCounter;  // PCNT
    std::vector<TPersonItem> People;      // IPLS
    TV1Fields V1;
    TLyrics3Fields Lyrics3;
    bool operator==(const TEditorFields&) const = default;

    std::string Frame(const std::string& id) const;                 // empty when absent
    void SetFrame(const std::string& id, const std::string& text);  // empty: absent
};

// The identifiers of the text and URL frames an editor offers, in a user's order.
const std::vector<std::string>& EditableTextFrameIDs();
const std::vector<std::string>& EditableUrlFrameIDs();
// A user's name for a text or URL frame ("Composer", "Official artist webpage").
std::string FrameCaption(const std::string& id);

TEditorFields ReadEditorFields(TMP3Object& file);

// Fills the title, artist, album, year, track, genre and plain comment that have no
// ID3v2 frame with the ID3v1 value, else the Lyrics3 one (title, artist, album), so
// that an editor shows what the file holds; applied as edits, they become ID3v2
// frames. An ID3v2 tag that was not understood gets nothing: it is kept as it is
// until the user changes its values.
void FillFromOlderTags(const TMP3Object& file, TEditorFields& fields);

// Writes into the file's tags what differs between `read` (the fields as they were
// read) and `edited`. The title, artist, album, year, track, genre and plain comment
// also set their ID3v1 fields by the shared rules; ID3v1 fields edited themselves win.
void ApplyEditorFields(const TEditorFields& read, const TEditorFields& edited, TMP3Object& file);
// The same for an editor that first showed `shown` (`read` with FillFromOlderTags): the
// values shown become the tags' values, then the user's edits of them apply, so that a
// value shown and then emptied is emptied in every tag that gave it.
void ApplyEditorFields(const TEditorFields& read, const TEditorFields& shown, const TEditorFields& edited,
                       TMP3Object& file);

// The ID3v1 fields made from the ID3v2 values: title, artist and album cut to fit 30
// characters, the year, the plain comment cut to fit 28, the track number, the genre.
TV1Fields V1FromFrames(const TEditorFields& fields);

// Gives a file that has no ID3v1 tag the one a save will add: made from the ID3v2
// values as they now stand in the file object (V1FromFrames), except the fields
// set in `own` (a text not empty, a track not 0), which win. A file that has an
// ID3v1 tag keeps it as it is.
void FillNewID3v1(TMP3Object& file, const TV1Fields& own = {});

// The MIME type of a picture file by its extension ("" when not a picture type).
std::string PictureMimeType(const std::string& fileName);

}  // namespace velmar
