// The ID3v1 tag, the genre table and the Lyrics3 v2.00 block.
#include <cstdio>
#include <cstring>
#include <map>

#include "testfiles.h"

using namespace velmar;
using namespace vtest;
using namespace std::string_view_literals;

namespace {
TID3v1Object ReadV1(const TBytes& block) {
    TID3v1Object v1;
    v1.ReadTag(block.data() + 3);
    return v1;
}
TBytes Render(TID3v1Object& v1) {
    const auto a = v1.Render();
    return TBytes(a.begin(), a.end());
}
}  // namespace

TEST(ID3v1, ReadsFieldsTrackAndGenre) {
    const TID3v1Object v1 = ReadV1(Id3v1({"Four" + std::string(26, ' '), std::string(30, ' '), "Al bum  ", "2004",
                                          "Twenty-eight characters ok  ", 12, 17}));
    EXPECT_TRUE(v1.Present);
    EXPECT_EQ(v1.Title, "Four" + std::string(26, '\0'));  // trailing blanks become zero bytes
    EXPECT_EQ(v1.Artist, std::string(30, '\0'));
    EXPECT_EQ(TID3v1Object::FieldText(v1.Album) + "|" + v1.Year + "|" + v1.TrackText + "|" + v1.GenreName,
              "Al bum|2004|12|Rock");
    EXPECT_EQ(v1.Comment, "Twenty-eight characters ok" + std::string(4, '\0'));
    EXPECT_EQ(ReadV1(Id3v1({.Track = 7})).TrackText, "07");
    // Track byte 0, or a non-zero byte before it (ID3v1.0, 30-character comment): no track.
    const TID3v1Object noTrack = ReadV1(Id3v1({.Comment = "short", .Track = 0}));
    EXPECT_EQ(noTrack.TrackNumber, 0);
    EXPECT_EQ(noTrack.TrackText, "");
    const TID3v1Object v10 = ReadV1(Id3v1({.Comment = "a comment of exactly thirty ch"}));
    EXPECT_EQ(v10.Comment + "|" + v10.TrackText, "a comment of exactly thirty ch|");
    // Genre bytes outside the table read as no genre.
    EXPECT_EQ(ReadV1(Id3v1({.Genre = 255})).GenreName + ReadV1(Id3v1({.Genre = 148})).GenreName, "");
    EXPECT_EQ(ReadV1(Id3v1({.Genre = 147})).GenreName, "Synthpop");
    EXPECT_EQ(GenreTable().size(), 148u);
    EXPECT_EQ(GenreIndexOf("ALT. ROCK"), 40);
    EXPECT_EQ(GenreIndexOf("Alt. Roc"), -1);
}

// Every entry of the genre table against a second source: mutagen's list, which
// spells seven of the old Winamp names the modern way.
TEST(ID3v1, GenreTableAgreesWithMutagen) {
    FILE* pipe = ::popen(
        "/usr/bin/python3 -c 'from mutagen._constants import GENRES; print(\"\\n\".join(GENRES))' "
        "2>/dev/null",
        "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> theirs;
    char line[256];
    while (std::fgets(line, sizeof line, pipe)) theirs.emplace_back(line, std::strcspn(line, "\n"));
    if (::pclose(pipe) != 0 || theirs.size() < 148) GTEST_SKIP() << "python3-mutagen is not installed";
    const std::map<size_t, std::string> spelledOtherwise = {
        {59, "Gangsta Rap"}, {81, "Folk-Rock"},  {118, "Rhythmic Soul"}, {123, "A Cappella"},
        {132, "BritPop"},    {133, "Afro-Punk"}, {134, "Polsk Punk"}};
    ASSERT_EQ(GenreTable().size(), 148u);
    for (size_t i = 0; i < GenreTable().size(); ++i) {
        SCOPED_TRACE(i);
        const auto other = spelledOtherwise.find(i);
        EXPECT_EQ(other == spelledOtherwise.end() ? GenreTable()[i] : other->second, theirs[i]);
    }
}

TEST(ID3v1, ReadTagsWriteBackByteForByte) {
    for (const TV1& v : {TV1{"Title", "Artist", "Album", "1999", "Comment", 3, 12},
                         TV1{"T", "", "", "", "a comment of exactly thirty ch", -1, 255},
                         TV1{"Odd genre", "", "", "", "", 0, 200}, TV1{"", "", "", "", "x", 255, 0}}) {
        const TBytes block = Id3v1(v);
        TID3v1Object v1 = ReadV1(block);
        EXPECT_EQ(Render(v1), block) << v.Title;
    }
}

TEST(ID3v1, WritingGenresAndTracks) {
    TID3v1Object fresh;
    TID3v1Object::SetField(fresh.Title, "A title longer than thirty characters", 30);
    TBytes b = Render(fresh);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 34), std::string("TAGA title longer than thirty cha\0", 34));
    EXPECT_EQ(b[126] * 1000 + b[127], 255);  // no track, no genre
    fresh.GenreName = "alt. rock";
    EXPECT_EQ(Render(fresh)[127], 40);
    fresh.GenreName = "Not a genre";
    EXPECT_EQ(Render(fresh)[127], 255);
    TID3v1Object read = ReadV1(Id3v1({.Genre = 200}));
    read.GenreName = "Rock";
    EXPECT_EQ(Render(read)[127], 17);
    TID3v1Object cleared = ReadV1(Id3v1({.Genre = 17}));
    cleared.GenreName.clear();
    EXPECT_EQ(Render(cleared)[127], 255);
    // A track number turns an ID3v1.0 tag into ID3v1.1: the comment keeps 28 characters.
    TID3v1Object v10 = ReadV1(Id3v1({.Comment = "a comment of exactly thirty ch"}));
    v10.SetTrackNumber(5);
    b = Render(v10);
    EXPECT_EQ(std::string(b.begin() + 97, b.begin() + 127), std::string("a comment of exactly thirty \0\x05", 30));
}

TEST(Lyrics3, WritesTheExactBlock) {
    TLyricsObject ly;
    ly.HasTimestamps = true;
    EXPECT_TRUE(ly.Render().empty());  // no field: nothing to write
    ly.HasTimestamps = false;
    ly.Author = "Abcde";
    const TBytes b = ly.Render();
    EXPECT_EQ(std::string(b.begin(), b.end()), "LYRICSBEGININD0000200AUT00005Abcde000034LYRICS200");
}

TEST(Lyrics3, EveryFieldRoundTrips) {
    TLyricsObject ly;
    ly.Author = "Author";
    ly.ExtAlbum = "Album that is longer than thirty characters";
    ly.ExtArtist = "Artist";
    ly.ExtTitle = "Title";
    ly.Lyrics = B("[00:01]line one\r\n[00:02]line\0two"sv);
    ly.Info = B("info");
    ly.Images = B("cover.jpg||00:00");
    ly.HasTimestamps = true;
    const TBytes b = ly.Render();
    TLyricsObject back;
    back.ReadTag(b);
    EXPECT_TRUE(back.Present);
    EXPECT_TRUE(back.HasLyrics);
    EXPECT_TRUE(back.HasTimestamps);
    EXPECT_EQ(back.Author + "|" + back.ExtAlbum + "|" + back.ExtArtist + "|" + back.ExtTitle,
              ly.Author + "|" + ly.ExtAlbum + "|" + ly.ExtArtist + "|" + ly.ExtTitle);
    EXPECT_EQ(Cat({back.Lyrics, back.Info, back.Images}), Cat({ly.Lyrics, ly.Info, ly.Images}));
    EXPECT_EQ(back.Render(), b);
}

TEST(Lyrics3, ReadingIndicatorsAndBrokenFields) {
    TLyricsObject a, b, c, d, e;
    a.ReadTag(Lyrics3({{"IND", "110"}, {"AUT", "me"}}));
    EXPECT_TRUE(a.HasLyrics);
    EXPECT_TRUE(a.HasTimestamps);
    EXPECT_EQ(a.Author, "me");
    const TBytes claimsLyrics = Lyrics3({{"IND", "10"}, {"EAR", "x"}});
    b.ReadTag(claimsLyrics);
    EXPECT_TRUE(b.HasLyrics);
    EXPECT_FALSE(b.HasTimestamps);
    EXPECT_EQ(b.Render(), claimsLyrics);  // unchanged: as it was read
    b.ExtArtist = "y";
    EXPECT_EQ(b.Render()[19], '0');  // written from the lyrics it holds: none
    // An unknown name, a length that is not a number or one that runs past the block ends the parse.
    const TBytes unknown = Lyrics3({{"ETT", "t"}, {"XYZ", "?"}, {"AUT", "lost"}});
    c.ReadTag(unknown);
    EXPECT_EQ(c.ExtTitle + "|" + c.Author, "t|");
    EXPECT_EQ(c.Render(), unknown);  // what follows is not lost while nothing is changed
    d.ReadTag(B("LYRICSBEGINAUT0000xabcEAL00002ab000030LYRICS200"));
    EXPECT_EQ(d.Author + d.ExtAlbum, "");
    TBytes over = Lyrics3({{"EAL", "ab"}, {"AUT", "abc"}});
    over[11 + 10 + 7] = '9';  // AUT00009
    e.ReadTag(over);
    EXPECT_EQ(e.ExtAlbum + "|" + e.Author, "ab|");
}
