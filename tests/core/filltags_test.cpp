// Filling tags from file names: capitalisation, the values each file gets, and
// the tags written.
#include "batch/filltags.h"
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
    // No track in the mask: "00"; a name that does not fit still gives what matched.
    v = FillValuesFor("just a title", "%01", 2, {}, caseOn);
    EXPECT_EQ(v.Track, "00");
    v = FillValuesFor("Artist-Title", "%00 - %01", 1, {}, caseOn);
    EXPECT_FALSE(v.Matched);
}

TEST(FillTags, WritingKeepsOtherFramesAndFollowsTheChosenTags) {
    TTempDir dir;
    const TBytes audio = Frames({}, 10);
    const fs::path file =
        dir.Put("03 - a - b.mp3", Cat({Id3Tag(Cat({Id3Frame("TCOM", Txt("Composer")), Id3Frame("TIT2", Txt("Old")),
                                                   Id3Frame("COMM", B("\0engD\0Kept"sv))})),
                                       audio, Id3v1({.Title = "Old", .Genre = 8})}));
    const TCommonValues common{.Year = 2001};
    const TFillValues v = FillValuesFor("03 - a - b", "%10 - %00 - %01", 1, common, {});
    TCollectingSink sink;
    ASSERT_TRUE(WriteFillValues(file, v, 5, common, {.SaveID3v1 = false}, sink));
    TLoaded back(file);
    ASSERT_TRUE(back.Ok);
    const TID3v2Object& t = back.File.ID3v2();
    EXPECT_EQ(t.TCOM.Text, "Composer");
    EXPECT_EQ(t.COMM[0].Text, "Kept");
    EXPECT_EQ(t.TIT2.Text, "B");
    EXPECT_EQ(t.TPE1.Text, "A");
    EXPECT_EQ(t.TRCK.Text, "3/5");
    EXPECT_EQ(t.TYER.Text, "2001");
    EXPECT_FALSE(t.TPOS.FrameHeader.Present);
    EXPECT_FALSE(back.File.ID3v1().Present);
    EXPECT_EQ(back.File.AudioData, audio);
}
