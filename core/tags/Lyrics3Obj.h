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
    TBytes Render(TMessageSink* sink = nullptr);
    void WriteTag(TStream& stream, TMessageSink* sink = nullptr);

    bool Present = false;
    int32_t Size = -1;
    bool HasLyrics = false;
    bool HasTimestamps = false;
    std::string Author, ExtAlbum, ExtArtist, ExtTitle;  // single-byte text as stored
    TBytes Lyrics, Info, Images;
};

}  // namespace velmar
