#pragma once
// The Lyrics3 v2.00 block between the audio and the ID3v1 tag.
#include <cstdint>
#include <string>
#include <vector>

#include "base/iofunc.h"
#include "base/messages.h"

namespace velmar {

class TLyricsObject {
public:
    // Parses a whole block ("LYRICSBEGIN" ... "LYRICS200"); `Size` must hold its length.
    void ReadTag(std::span<const uint8_t> block);
    void ReadTag(TStream& stream);  // the stream stands on the "L" of "LYRICSBEGIN"
    // The block as written, or nothing when every field is empty. A field longer
    // than the format's five digits allow is cut, and the cut reported to `sink`.
    // While no field differs from what was read, the block is the one read, byte for
    // byte (its own field order, and any fields after one this reader does not know).
    TBytes Render(TMessageSink* sink = nullptr);
    void WriteTag(TStream& stream, TMessageSink* sink = nullptr);

    bool Present = false;
    int32_t Size = -1;
    bool HasLyrics = false;
    bool HasTimestamps = false;
    std::string Author, ExtAlbum, ExtArtist, ExtTitle;  // single-byte text as stored
    TBytes Lyrics, Info, Images;

private:
    struct TValues {
        std::string Author, ExtAlbum, ExtArtist, ExtTitle;
        TBytes Lyrics, Info, Images;
        bool HasTimestamps = false;
        bool operator==(const TValues&) const = default;
    };
    TValues Values() const { return {Author, ExtAlbum, ExtArtist, ExtTitle, Lyrics, Info, Images, HasTimestamps}; }
    TBytes ReadBlock;   // the block as read
    TValues ReadValues;  // what was read from it
};

}  // namespace velmar
