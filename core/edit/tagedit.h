#pragma once
// Changing the tags of one loaded file by the rules every tool shares: a named
// field is set in the ID3v2 tag and in the ID3v1 tag (title, artist and album at
// most 30 characters, a longer text cut to 29; the comment at most 28, cut to 27,
// or 30 and 29 without a track number; the year 4), the plain comment is the first
// one without a description, a genre that is in the table is written as its
// number, and a frame whose value did not change keeps its text as it was read.
#include <cstdint>
#include <string>
#include <string_view>

#include "file/mp3object.h"

namespace velmar {

// The fields a user names; each is an ID3v2 frame and, where it has one, an ID3v1 field.
enum class TTagField { Title, Artist, Album, Year, Comment, Track, Disc, Genre };

class TTagEdit {
public:
    explicit TTagEdit(TMP3Object& file) : File(file), V2(file.ID3v2()), V1(file.ID3v1()) {}

    // Sets a field in every tag that has it; an empty value clears it. Track and
    // disc take "N" or "N/M"; returns false (and changes nothing) for other text.
    bool Set(TTagField field, const std::string& value);
    // A comment by description and language (letter case aside); an empty text
    // removes it. Without a language a comment keeps the one it was read with and
    // a new one gets "ENG"; the plain comment (no description) is then the first
    // without a description, and an empty text removes every plain comment. With a
    // language and no description, the plain comment in that language is changed,
    // else the first plain comment takes the text and the language. The first plain
    // comment is also the ID3v1 comment.
    void SetComment(const std::string& text, const std::string& description = {}, const std::string& language = {});
    // The unsynchronised lyrics (USLT) of this description and language (letter
    // case aside); an empty text removes them.
    void SetLyrics(const std::string& text, const std::string& description = {}, const std::string& language = "eng");
    // Any text frame (T..., not TXXX) or URL frame (W..., not WXXX) of the known ones;
    // an empty value removes it. Returns false for another identifier.
    bool SetFrame(std::string_view id, const std::string& value);
    // A user text (TXXX) or user URL (WXXX) by its description; an empty value removes it.
    void SetUserText(const std::string& description, const std::string& value);
    void SetUserUrl(const std::string& description, const std::string& url);
    // A picture; one with the same type and description is replaced. Empty data removes it.
    void SetPicture(const std::string& description, uint8_t pictureType, const std::string& mimeType,
                    const TBytes& data);
    // Every frame with this identifier.
    void Remove(std::string_view id) { V2.RemoveFrames(id); }

    // "N" or "N/M" with whole numbers; total -1 without "/M".
    static bool ParseNumberPair(const std::string& text, int& number, int& total);
    // Why `value` cannot stand in the text or URL frame `id` (empty when it can, and
    // for an empty value, which removes the frame): numbers where the frame holds
    // numbers, N or N/M in TRCK and TPOS, a year of four digits, DDMM and HHMM, a URL
    // without spaces or control characters.
    static std::string FrameValueProblem(std::string_view id, const std::string& value);
    // An ID3v1 text field: Latin-1, as it is when it fits `width`, else its first width - 1 characters.
    static std::string V1Text(const std::string& utf8, size_t width);

    // When set, title, artist and album also go into the extended fields of a
    // Lyrics3 tag the file has (ETT, EAR, EAL).
    bool ExtendLyrics3 = false;

private:
    void SetText(const char* id, const std::string& text);
    TMP3Object& File;
    TID3v2Object& V2;
    TID3v1Object& V1;
};

}  // namespace velmar
