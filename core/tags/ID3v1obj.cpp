#include "ID3v1obj.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace velmar {

// NOLINTNEXTLINE(readability-function-size): a table of names
const std::vector<std::string>& GenreTable() {
    static const std::vector<std::string> kNames = {"Blues",
                                                    "Classic Rock",
                                                    "Country",
                                                    "Dance",
                                                    "Disco",
                                                    "Funk",
                                                    "Grunge",
                                                    "Hip-Hop",
                                                    "Jazz",
                                                    "Metal",
                                                    "New Age",
                                                    "Oldies",
                                                    "Other",
                                                    "Pop",
                                                    "R&B",
                                                    "Rap",
                                                    "Reggae",
                                                    "Rock",
                                                    "Techno",
                                                    "Industrial",
                                                    "Alternative",
                                                    "Ska",
                                                    "Death Metal",
                                                    "Pranks",
                                                    "Soundtrack",
                                                    "Euro-Techno",
                                                    "Ambient",
                                                    "Trip-Hop",
                                                    "Vocal",
                                                    "Jazz+Funk",
                                                    "Fusion",
                                                    "Trance",
                                                    "Classical",
                                                    "Instrumental",
                                                    "Acid",
                                                    "House",
                                                    "Game",
                                                    "Sound Clip",
                                                    "Gospel",
                                                    "Noise",
                                                    "Alt. Rock",
                                                    "Bass",
                                                    "Soul",
                                                    "Punk",
                                                    "Space",
                                                    "Meditative",
                                                    "Instrumental Pop",
                                                    "Instrumental Rock",
                                                    "Ethnic",
                                                    "Gothic",
                                                    "Darkwave",
                                                    "Techno-Industrial",
                                                    "Electronic",
                                                    "Pop-Folk",
                                                    "Eurodance",
                                                    "Dream",
                                                    "Southern Rock",
                                                    "Comedy",
                                                    "Cult",
                                                    "Gangsta",
                                                    "Top 40",
                                                    "Christian Rap",
                                                    "Pop/Funk",
                                                    "Jungle",
                                                    "Native American",
                                                    "Cabaret",
                                                    "New Wave",
                                                    "Psychedelic",
                                                    "Rave",
                                                    "Showtunes",
                                                    "Trailer",
                                                    "Lo-Fi",
                                                    "Tribal",
                                                    "Acid Punk",
                                                    "Acid Jazz",
                                                    "Polka",
                                                    "Retro",
                                                    "Musical",
                                                    "Rock & Roll",
                                                    "Hard Rock",
                                                    "Folk",
                                                    "Folk/Rock",
                                                    "National Folk",
                                                    "Swing",
                                                    "Fast-Fusion",
                                                    "Bebop",
                                                    "Latin",
                                                    "Revival",
                                                    "Celtic",
                                                    "Bluegrass",
                                                    "Avantgarde",
                                                    "Gothic Rock",
                                                    "Progressive Rock",
                                                    "Psychedelic Rock",
                                                    "Symphonic Rock",
                                                    "Slow Rock",
                                                    "Big Band",
                                                    "Chorus",
                                                    "Easy Listening",
                                                    "Acoustic",
                                                    "Humour",
                                                    "Speech",
                                                    "Chanson",
                                                    "Opera",
                                                    "Chamber Music",
                                                    "Sonata",
                                                    "Symphony",
                                                    "Booty Bass",
                                                    "Primus",
                                                    "Porn Groove",
                                                    "Satire",
                                                    "Slow Jam",
                                                    "Club",
                                                    "Tango",
                                                    "Samba",
                                                    "Folklore",
                                                    "Ballad",
                                                    "Power Ballad",
                                                    "Rythmic Soul",
                                                    "Freestyle",
                                                    "Duet",
                                                    "Punk Rock",
                                                    "Drum Solo",
                                                    "Acapella",
                                                    "Euro-House",
                                                    "Dance Hall",
                                                    "Goa",
                                                    "Drum & Bass",
                                                    "Club-House",
                                                    "Hardcore",
                                                    "Terror",
                                                    "Indie",
                                                    "Brit Pop",
                                                    "Negerpunk",
                                                    "Polsk punk",
                                                    "Beat",
                                                    "Christian Gangsta Rap",
                                                    "Heavy Metal",
                                                    "Black Metal",
                                                    "Crossover",
                                                    "Contemporary Christian",
                                                    "Christian Rock",
                                                    "Merengue",
                                                    "Salsa",
                                                    "Thrash Metal",
                                                    "Anime",
                                                    "JPop",
                                                    "Synthpop"};
    return kNames;
}

int GenreIndexOf(std::string_view name) {
    const auto& names = GenreTable();
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& n = names[i];
        if (n.size() == name.size() && std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
                return std::tolower(uint8_t(a)) == std::tolower(uint8_t(b));
            }))
            return int(i);
    }
    return -1;
}

TID3v1Object::TID3v1Object() : GenreNames(GenreTable()) {}

namespace {
// Blanks at the end of a field become zero bytes.
void ZeroTrailingBlanks(std::string& field) {
    for (size_t i = field.size(); i > 0 && (field[i - 1] == ' ' || field[i - 1] == '\0'); --i) field[i - 1] = '\0';
}
}  // namespace

void TID3v1Object::ReadTag(const uint8_t* b) {
    Present = true;
    TagSize = 128;
    auto take = [b](size_t at, size_t n) { return std::string(reinterpret_cast<const char*>(b + at), n); };
    Title = take(0, 30);
    ZeroTrailingBlanks(Title);
    Artist = take(30, 30);
    ZeroTrailingBlanks(Artist);
    Album = take(60, 30);
    ZeroTrailingBlanks(Album);
    Year = take(90, 4);
    if (b[122] == 0) {
        Comment = take(94, 28) + std::string(2, '\0');
        SetTrackNumber(b[123]);
    } else {
        Comment = take(94, 30);
        SetTrackNumber(0);
    }
    ZeroTrailingBlanks(Comment);
    ReadGenreByte = b[124];
    GenreName = b[124] < GenreNames.size() ? GenreNames[b[124]] : std::string();
    ReadGenreName = GenreName;
    GenreIndex = b[124];
}

void TID3v1Object::ReadTag(TStream& stream) {
    uint8_t b[125];
    stream.ReadExact(b, sizeof b);
    ReadTag(b);
}

void TID3v1Object::SetTrackNumber(uint8_t track) {
    TrackNumber = track;
    TrackText = track ? FormatTwoDigits(track) : std::string();
}

std::array<uint8_t, 128> TID3v1Object::Render() {
    std::array<uint8_t, 128> out{};
    std::memcpy(out.data(), "TAG", 3);
    auto put = [&out](size_t at, const std::string& s, size_t n) {
        std::memcpy(out.data() + at, s.data(), std::min(n, s.size()));
    };
    put(3, Title, 30);
    put(33, Artist, 30);
    put(63, Album, 30);
    put(93, Year, 4);
    if (TrackNumber != 0) {
        put(97, Comment, 28);
        out[125] = 0;
        out[126] = TrackNumber;
    } else {
        put(97, Comment, 30);  // without a track number the whole comment fits
    }
    // An unchanged genre keeps the byte it was read with (genres outside the table included).
    if (!GenreName.empty() && GenreName == ReadGenreName)
        GenreIndex = ReadGenreByte;
    else if (GenreName.empty() && ReadGenreName.empty() && Present)
        GenreIndex = ReadGenreByte;
    else {
        const int i = GenreIndexOf(GenreName);
        GenreIndex = i < 0 ? 255 : uint8_t(i);
    }
    out[127] = GenreIndex;
    return out;
}

void TID3v1Object::WriteTag(TStream& stream) {
    const auto b = Render();
    stream.Write(b.data(), b.size());
}

std::string TID3v1Object::FieldText(const std::string& field) {
    const size_t end = field.find('\0');
    return field.substr(0, end);
}

void TID3v1Object::SetField(std::string& field, std::string_view latin1, size_t width) {
    field.assign(latin1.substr(0, std::min(width, latin1.size())));
    field.resize(width, '\0');
}

}  // namespace velmar
