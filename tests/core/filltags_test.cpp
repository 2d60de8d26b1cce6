// Filling tags from file names: capitalisation, the values each file gets, and
// the tags written.
#include "batch/filltags.h"
#include "edit/editorfields.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;
using namespace std::string_view_literals;

TEST(FillTags, CapitalizeWords) {
    EXPECT_EQ(CapitalizeWords("check your head"), "Check Your Head");
    EXPECT_EQ(CapitalizeWords("AC/dc live"), "AC/Dc Live");
    EXPECT_EQ(CapitalizeWords("caf\xC3\xA9 \xC3\xA9t\xC3\xA9 x-ray"), "Caf\xC3\xA9 \xC3\xA9t\xC3\xA9 X-ray");
    EXPECT_EQ(CapitalizeWords(""), "");
}

TEST(FillTags, ValuesOfEachFile) {
    const TFillOptions caseOn, caseOff{.CaseConvert = false};
    TFillValues v = FillValuesFor("01 - the band - first song", "%10 - %00 - %01", 1, {}, caseOn);
    EXPECT_TRUE(v.Matched);
    EXPECT_EQ(v.Artist, "The Band");
    EXPECT_EQ(v.Title, "First Song");
    EXPECT_EQ(v.Track, "01");
    EXPECT_EQ(FillValuesFor("01 - the band - first song", "%10 - %00 - %01", 1, {}, caseOff).Title, "first song");

    // Generated numbers win over the names; given artist and album over parsed ones.
    TCommonValues common{.Artist = "Given", .Album = "Album", .Year = 1994, .Disc = std::pair{1, 2}};
    v = FillValuesFor("7 - x - y - z", "%10 - %00 - %05 - %01", 3, common, {.GenerateTrackNumbers = true});
    EXPECT_EQ(v.Track, "03");
    EXPECT_EQ(v.Artist, "Given");
    EXPECT_EQ(v.Album, "Album");
    EXPECT_EQ(v.Year, "1994");
    EXPECT_EQ(v.CD, "01 / 02");
    // A track from the name: three digits are one number, 0 or none is no track.
    for (const auto& [name, track] : {std::pair{"001 - x", "01"}, {"120 - x", "120"}, {"00 - x", ""}, {"x", ""}})
        EXPECT_EQ(FillValuesFor(name, "%10 - %01", 1, {}, caseOn).Track, track) << name;
    EXPECT_FALSE(FillValuesFor("Artist-Title", "%00 - %01", 1, {}, caseOn).Matched);
}

namespace {

// A file that has every kind of value a fill must not lose.
TBytes TaggedFile(bool withV1) {
    const TBytes frames =
        Cat({Id3Frame("TIT2", Txt("Old")), Id3Frame("TPE1", Txt("Old Artist")), Id3Frame("TALB", Txt("Old Album")),
             Id3Frame("TYER", Txt("1990")), Id3Frame("TCON", Txt("(17)")), Id3Frame("TSSE", Txt("LAME -V2")),
             Id3Frame("TPOS", Txt("2/3")), Id3Frame("TRCK", Txt("5/12")), Id3Frame("COMM", B("\0engD\0Kept"sv))});
    return Cat({Id3Tag(frames), Frames({}, 10), Lyrics3({{"IND", "00"}, {"LYR", "words"}}),
                withV1 ? Id3v1({.Title = "Old", .Year = "1990", .Track = 5, .Genre = 17}) : TBytes()});
}

}  // namespace

// Each case names the value a plausible fault would lose or invent.
TEST(FillTags, WritesWhatTheNameBringsAndKeepsEverythingElse) {
    struct TCase {
        const char* Why;
        const char* Name;
        const char* Mask;
        TCommonValues Common;
        TFillOptions Options;
        bool WithV1;
        std::map<std::string, std::string> V2;  // frames expected ("" absent)
        std::string V1Title, V1Album;
        int V1Track;
        const char* V1Comment = nullptr;  // checked when set
    };
    const TFillOptions plain{.CaseConvert = false};
    // clang-format off
    const TCase cases[] = {
        {"only artist and title change", "New Artist - New Title", "%00 - %01", {}, plain, true,
         {{"TPE1", "New Artist"}, {"TIT2", "New Title"}, {"TALB", "Old Album"}, {"TYER", "1990"}, {"TCON", "Rock"},
          {"TSSE", "LAME -V2"}, {"TPOS", "2/3"}, {"TRCK", "5/12"}}, "New Title", "", 5},
        {"three digits, the file's own total", "007 - t", "%10 - %01", {}, plain, true,
         {{"TRCK", "7/12"}, {"TIT2", "t"}}, "t", "", 7},
        {"track 0 is never written", "00 - t", "%10 - %01", {}, plain, true, {{"TRCK", "5/12"}}, "t", "", 5},
        {"generated numbers: the number of files", "t", "%01", {},
         {.CaseConvert = false, .GenerateTrackNumbers = true}, true, {{"TRCK", "2/30"}}, "t", "", 2},
        {"a total given", "3 - t", "%10 - %01", {.TrackTotal = 9}, plain, true, {{"TRCK", "3/9"}}, "t", "", 3},
        {"shared values", "t", "%01", {.Album = "New Album", .Genre = "Jazz", .Year = 2001, .Disc = std::pair{1, 1}},
         plain, true, {{"TALB", "New Album"}, {"TCON", "Jazz"}, {"TYER", "2001"}, {"TPOS", "1/1"}}, "t", "New Album",
         5},
        {"ID3v2 left out stays", "t", "%01", {}, {.CaseConvert = false, .SaveID3v2 = false}, true, {{"TIT2", "Old"}},
         "t", "", 5},
        {"ID3v1 left out stays", "t", "%01", {}, {.CaseConvert = false, .SaveID3v1 = false}, true, {{"TIT2", "t"}},
         "Old", "", 5},
        {"the comment beside a track number", "t - a comment of more than thirty letters", "%01 - %04", {}, plain,
         true, {{"TIT2", "t"}}, "t", "", 5, "a comment of more than thir"},
        {"a new ID3v1 tag takes the ID3v2 values", "t", "%01", {}, plain, false, {{"TIT2", "t"}}, "t", "Old Album",
         5},
    };
    // clang-format on
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Why);
        TTempDir dir;
        const fs::path file = dir.Put("f.mp3", TaggedFile(c.WithV1));
        const TFillValues v = FillValuesFor(c.Name, c.Mask, 2, c.Common, c.Options);
        TCollectingSink sink;
        ASSERT_TRUE(WriteFillValues(file, v, 30, c.Common, c.Options, sink))
            << (sink.Messages.empty() ? "" : sink.Messages[0]);
        TLoaded back(file);
        ASSERT_TRUE(back.Ok);
        const TEditorFields f = ReadEditorFields(back.File);
        for (const auto& [id, text] : c.V2) EXPECT_EQ(f.Frame(id), text) << id;
        EXPECT_EQ(f.Comments.size(), 1u);
        EXPECT_EQ(f.Lyrics3.Lyrics, "words");
        EXPECT_TRUE(back.File.ID3v1().Present);
        EXPECT_EQ(f.V1.Title, c.V1Title);
        if (!c.V1Album.empty()) {
            EXPECT_EQ(f.V1.Album, c.V1Album);
        }
        EXPECT_EQ(f.V1.Track, c.V1Track);
        if (c.V1Comment) {
            EXPECT_EQ(f.V1.Comment, c.V1Comment);
        }
        EXPECT_EQ(back.File.AudioData, Frames({}, 10));
    }
    // A name that does not fit its mask: the file is refused and stays byte for byte.
    TTempDir dir;
    const fs::path file = dir.Put("f.mp3", TaggedFile(true));
    const TBytes before = ReadFile(file);
    TCollectingSink sink;
    EXPECT_FALSE(WriteFillValues(file, FillValuesFor("Artist-Title", "%00 - %01", 1, {}, plain), 1, {}, plain, sink));
    EXPECT_EQ(ReadFile(file), before);
    // An ID3v2 tag that is not understood would lose its frames: the file is refused too.
    const fs::path odd = dir.Put("odd.mp3", Cat({Id3Tag(Id3Frame("TIT2", Txt("Hi")), 4, 0x10), Frames({}, 4)}));
    const TBytes oddBefore = ReadFile(odd);
    EXPECT_FALSE(WriteFillValues(odd, FillValuesFor("t", "%01", 1, {}, plain), 1, {}, plain, sink));
    EXPECT_EQ(ReadFile(odd), oddBefore);
}
