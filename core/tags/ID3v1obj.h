#pragma once
// The 128-byte ID3v1 tag at the end of a file, and the genre table.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/iofunc.h"

namespace velmar {

// The 148 genre names, indexed by the ID3v1 genre byte.
const std::vector<std::string>& GenreTable();
// Index of a genre name, compared without regard to letter case; -1 when absent.
int GenreIndexOf(std::string_view name);

class TID3v1Object {
public:
    TID3v1Object();

    // Reads the 125 bytes that follow "TAG"; `tag` points at them.
    void ReadTag(const uint8_t* tag125);
    void ReadTag(TStream& stream);  // the stream stands right after "TAG"
    // Writes 128 bytes at the stream's position.
    void WriteTag(TStream& stream);
    std::array<uint8_t, 128> Render();

    // Field access as text (Latin-1 bytes, trailing zero bytes removed).
    static std::string FieldText(const std::string& field);
    // Sets a field from Latin-1 text, cut to the field's width and zero-padded.
    static void SetField(std::string& field, std::string_view latin1, size_t width);

    const std::vector<std::string>& GenreNames;
    bool Present = false;
    std::string Title = std::string(30, '\0');
    std::string Artist = std::string(30, '\0');
    std::string Comment = std::string(30, '\0');  // characters 29 and 30 only without a track number
    std::string Album = std::string(30, '\0');
    std::string Year = std::string(4, '\0');
    uint8_t TrackNumber = 0;   // 0: no track number
    std::string TrackText;     // the track number with at least two digits; empty without one
    uint8_t GenreIndex = 255;  // 255: no genre
    std::string GenreName;
    int32_t TagSize = 0;

    void SetTrackNumber(uint8_t track);

private:
    uint8_t ReadGenreByte = 255;
    std::string ReadGenreName;
};

}  // namespace velmar
