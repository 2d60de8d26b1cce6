// The common fields of a file's tags by name: which tag gives each, genre names,
// "N/M" split into number and total, texts that are no numbers.
#include "testfiles.h"
#include "views/commontags.h"

using namespace velmar;
using namespace vtest;
using namespace std::string_view_literals;

namespace {

struct TTags {
    TBytes V2;  // frames of an ID3v2 tag; none when empty
    std::optional<TV1> V1 = std::nullopt;
    std::vector<std::pair<std::string, std::string>> L3 = {};
    uint8_t Version = 3;
};

// The fields as `name=3` for a number and `name="text"` for a text, in order.
std::string Fields(const TTags& tags) {
    TTempDir dir;
    TBytes file = tags.V2.empty() ? TBytes{} : Id3Tag(tags.V2, 0, 0, tags.Version);
    file = Cat({file, Frames({}, 3)});
    if (!tags.L3.empty()) file = Cat({file, Lyrics3(tags.L3)});
    if (tags.V1) file = Cat({file, Id3v1(*tags.V1)});
    TLoaded loaded(dir.Put("a.mp3", file));
    EXPECT_TRUE(loaded.Ok);
    std::string out;
    for (const TCommonTag& t : CommonTags(loaded.File)) {
        out += (out.empty() ? "" : " ") + std::string(t.Name) + "=";
        out += t.Number ? std::to_string(*t.Number) : "\"" + t.Text + "\"";
    }
    return out;
}

TBytes F(std::string_view id, std::string_view text) { return Id3Frame(id, Txt(text)); }
TBytes Comment(std::string_view description, std::string_view text) {
    return Id3Frame("COMM", Cat({{0}, B("eng"), B(description), {0}, B(text)}));
}

// An ID3v2.4 frame: sync-safe size (the sizes here stay below 128).
TBytes F24(std::string_view id, std::string_view text) {
    return Cat({B(id), {0, 0, 0, uint8_t(text.size() + 1), 0, 0, 3}, B(text)});
}

struct TCase {
    std::string What;
    TTags Tags;
    const char* Fields;
};

void Check(const std::vector<TCase>& cases) {
    for (const TCase& c : cases) EXPECT_EQ(Fields(c.Tags), c.Fields) << c.What;
}

}  // namespace

TEST(CommonTags, EachFieldFromID3v2ThenID3v1ThenLyrics3) {
    Check({
        {"every field from ID3v2",
         {Cat({F("TIT2", "T"), F("TPE1", "A"), F("TALB", "L"), F("TPE2", "AA"), F("TYER", "2004"), F("TRCK", "3/12"),
               F("TPOS", "1/2"), F("TCON", "(17)"), Comment("", "C"), F("TCOM", "Co"), F("TBPM", "120")})},
         R"(title="T" artist="A" album="L" album_artist="AA" year=2004 track=3 track_total=12 disc=1 disc_total=2 )"
         R"(genre="Rock" comment="C" composer="Co" bpm=120)"},
        {"ID3v2 wins over ID3v1 and Lyrics3",
         {F("TIT2", "v2"), TV1{.Title = "v1"}, {{"IND", "00"}, {"ETT", "l3"}}},
         R"(title="v2")"},
        {"ID3v1 fills what ID3v2 has not",
         {Cat({F("TIT2", "v2"), F("TRCK", "3")}),
          TV1{.Title = "v1", .Artist = "a1", .Album = "l1", .Year = "1999", .Comment = "c1", .Track = 7, .Genre = 8}},
         R"(title="v2" artist="a1" album="l1" year=1999 track=3 genre="Jazz" comment="c1")"},
        {"an empty ID3v2 text is filled too", {F("TIT2", ""), TV1{.Title = "v1"}}, R"(title="v1")"},
        {"Lyrics3 fills after ID3v1",
         {{}, TV1{.Artist = "a1"}, {{"IND", "00"}, {"ETT", "l3 title"}, {"EAR", "l3 artist"}, {"EAL", "l3 album"}}},
         R"(title="l3 title" artist="a1" album="l3 album")"},
        {"ID3v1 and Lyrics3 texts lose their blanks",
         {{}, TV1{.Title = "  v1  ", .Year = "1999"}, {{"IND", "00"}, {"EAR", "l3   "}}},
         R"(title="v1" artist="l3" year=1999)"},
        {"ID3v1 without track and genre", {{}, TV1{.Title = "v1", .Track = 0, .Genre = 255}}, R"(title="v1")"},
        {"an ID3v1 genre byte outside the table is none", {{}, TV1{.Genre = 200}}, ""},
        {"the plain comment is the first without a description",
         {Cat({Comment("iTunNORM", "x"), Comment("", "plain"), Comment("", "second")}), TV1{.Comment = "c1"}},
         R"(comment="plain")"},
        {"comments with descriptions only leave it to ID3v1",
         {Comment("iTunNORM", "x"), TV1{.Comment = "c1"}},
         R"(comment="c1")"},
        {"repeats of a text frame and zero-separated values are joined",
         {Cat({F("TPE1", "piman"), F("TPE1", "jzig"), F("TCOM", "a\0b\0"sv)})},
         R"(artist="piman/jzig" composer="a/b")"},
        {"ID3v2.4: the year of TDRC, values joined",
         {Cat({F24("TDRC", "2004-05-06T10:00"), F24("TPE1", "a\0b"sv), F24("TCON", "17\0Live"sv)}), std::nullopt, {}, 4},
         R"(artist="a/b" year=2004 genre="Rock/Live")"},
    });
}

TEST(CommonTags, GenresAreNames) {
    std::vector<TCase> cases;
    const std::pair<std::string_view, const char*> genres[] = {
        {"(17)", R"(genre="Rock")"},
        {"(17)Rock", R"(genre="Rock")"},
        {"17", R"(genre="Rock")"},
        {"(RX)", R"(genre="Remix")"},
        {"(CR)", R"(genre="Cover")"},
        {"Synthwave", R"(genre="Synthwave")"},
        {"(17)(18)", R"(genre="Rock/Techno")"},
        {"(17)Live", R"(genre="Rock/Live")"},
    };
    for (const auto& [text, fields] : genres)
        cases.push_back({"TCON " + std::string(text), {F("TCON", text), TV1{.Genre = 8}}, fields});
    cases.push_back({"an empty TCON leaves the ID3v1 genre", {F("TCON", ""), TV1{.Genre = 17}}, R"(genre="Rock")"});
    Check(cases);
}

TEST(CommonTags, NumbersAndTheirTotals) {
    std::vector<TCase> cases;
    const std::pair<std::string_view, const char*> tracks[] = {
        {"3/12", "track=3 track_total=12"},
        {"03", "track=3"},
        {"3/", "track=3"},
        {"/12", "track_total=12"},
        {" 3 / 12 ", "track=3 track_total=12"},
        {"A1", R"(track="A1")"},
        {"3/x", R"(track=3 track_total="x")"},
        {"99999999999999999999", R"(track="99999999999999999999")"},  // too large for a number
    };
    for (const auto& [text, fields] : tracks) cases.push_back({"TRCK " + std::string(text), {F("TRCK", text)}, fields});
    const std::pair<std::string_view, const char*> years[] = {
        {"2004", "year=2004"},
        {"99", "year=99"},
        {"2004-05-06", "year=2004"},  // a date gives its year
        {"\xfe\xff", "year=1999"},    // no year: the ID3v1 year fills
    };
    for (const auto& [text, fields] : years)
        cases.push_back({"TYER " + std::string(text), {F("TYER", text), TV1{.Year = "1999"}}, fields});
    cases.insert(cases.end(), {
                                  {"disc", {F("TPOS", "1/2")}, "disc=1 disc_total=2"},
                                  {"bpm that is no whole number", {F("TBPM", "120.5")}, R"(bpm="120.5")"},
                                  {"ID3v1 track when ID3v2 has none", {F("TIT2", "t"), TV1{.Track = 5}},
                                   R"(title="t" track=5)"},
                                  {"an ID3v1 year that is no year", {{}, TV1{.Year = "19x9"}}, ""},
                              });
    Check(cases);
}
