// The tag editor's values: every frame kind read into plain values and written
// back, and only what was edited changes.
#include "edit/editorfields.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;

namespace {

TBytes Z(std::string_view s) { return Cat({B(s), {0}}); }

// A file with every kind of frame the editor shows, an unknown frame, ID3v1 and Lyrics3.
TBytes Everything() {
    const TBytes frames = Cat({
        Id3Frame("TIT2", Txt("Title")),
        Id3Frame("TPE1", Txt("Artist")),
        Id3Frame("TCON", Txt("(17)")),
        Id3Frame("TRCK", Txt("3/12")),
        Id3Frame("TDAT", Txt("2512")),
        Id3Frame("TCOM", Txt("Composer")),
        Id3Frame("WOAR", B("http://artist.example/")),
        Id3Frame("COMM", Cat({{0}, B("deu"), Z(""), B("Plain")})),
        Id3Frame("COMM", Cat({{0}, B("eng"), Z("Mood"), B("Calm")})),
        Id3Frame("USLT", Cat({{0}, B("eng"), Z(""), B("la la\nla")})),
        Id3Frame("TXXX", Cat({{0}, Z("Catalog"), B("X-1")})),
        Id3Frame("WXXX", Cat({{0}, Z("Shop"), B("http://shop.example/")})),
        Id3Frame("APIC", Cat({{0}, Z("image/png"), {3}, Z("Front"), B("\x89PNG-data")})),
        Id3Frame("POPM", Cat({Z("me@example.org"), {196}, {0, 0, 1, 2}})),
        Id3Frame("PCNT", {0, 0, 0, 9}),
        Id3Frame("IPLS", Cat({{0}, Z("producer"), Z("Ann"), Z("mixer"), B("Bo")})),
        Id3Frame("XYZW", B("kept as it is")),
    });
    return Cat({Id3Tag(frames, 64), Frames({}, 4), Lyrics3({{"IND", "10"}, {"LYR", "words"}, {"EAL", "L3 Album"}}),
                Id3v1({.Title = "V1 Title", .Album = "V1 Album", .Track = 3, .Genre = 17})});
}

}  // namespace

TEST(EditorFields, EveryKindIsReadAndAnUneditedSaveKeepsItAll) {
    TTempDir dir;
    const fs::path file = dir.Put("all.mp3", Everything());
    TLoaded before(file);
    ASSERT_TRUE(before.Ok);
    const TEditorFields f = ReadEditorFields(before.File);
    EXPECT_EQ(f.Frame("TCON"), "Rock");
    EXPECT_EQ(f.Frame("TRCK"), "3/12");
    EXPECT_EQ(f.Frame("WOAR"), "http://artist.example/");
    EXPECT_EQ(f.Comments, (std::vector<TLangTextItem>{{"deu", "", "Plain"}, {"eng", "Mood", "Calm"}}));
    EXPECT_EQ(f.Lyrics.at(0).Text, "la la\nla");
    EXPECT_EQ(f.UserTexts, (std::vector<TDescValueItem>{{"Catalog", "X-1"}}));
    EXPECT_EQ(f.UserUrls.at(0).Value, "http://shop.example/");
    ASSERT_EQ(f.Pictures.size(), 1u);
    EXPECT_EQ(f.Pictures[0].Type, 3);
    EXPECT_EQ(f.Pictures[0].Data, B("\x89PNG-data"));
    EXPECT_EQ(f.Ratings, (std::vector<TRatingItem>{{"me@example.org", 196, 258}}));
    EXPECT_EQ(f.PlayCounter, 9u);
    EXPECT_EQ(f.People, (std::vector<TPersonItem>{{"producer", "Ann"}, {"mixer", "Bo"}}));
    EXPECT_EQ(f.V1.Title, "V1 Title");
    EXPECT_EQ(f.V1.Track, 3);
    EXPECT_EQ(f.Lyrics3.Album, "L3 Album");

    const TBytes lyrics3 = Lyrics3({{"IND", "10"}, {"LYR", "words"}, {"EAL", "L3 Album"}});
    ApplyEditorFields(f, f, before.File);
    ASSERT_TRUE(before.File.SaveFile(file, true, true, true));
    // The Lyrics3 block as it was, in its own field order, before the ID3v1 tag.
    const TBytes saved = ReadFile(file);
    EXPECT_EQ(Slice(saved, int64_t(saved.size() - 128 - lyrics3.size()), int64_t(saved.size() - 128)), lyrics3);
    TLoaded after(file);
    EXPECT_EQ(ReadEditorFields(after.File), f);
    EXPECT_EQ(after.File.ID3v2().TDAT.Text, "2512");  // parsed frames keep their text
    EXPECT_EQ(after.File.ID3v2().TCON.Text, "(17)");
    ASSERT_EQ(after.File.ID3v2().RawFrames.size(), 1u);
    EXPECT_EQ(after.File.ID3v2().RawFrames[0].Data, B("kept as it is"));
}

TEST(EditorFields, OnlyEditedValuesChangeAndID3v1FollowsTheSharedRules) {
    TTempDir dir;
    const fs::path file = dir.Put("all.mp3", Everything());
    TLoaded loaded(file);
    const TEditorFields read = ReadEditorFields(loaded.File);
    TEditorFields edited = read;
    edited.SetFrame("TALB", std::string(31, 'a'));  // ID3v1 takes its first 29 characters
    edited.SetFrame("TCOM", "");                    // removed
    edited.SetFrame("TPE2", "Ниже");                // added, not Latin-1
    edited.Comments[0].Text = "New plain comment";
    edited.Comments.push_back({"fra", "Autre", "Texte"});
    edited.Pictures.clear();
    edited.Ratings[0].Rating = 255;
    edited.People.pop_back();
    edited.V1.Title = "Own V1 title";          // an ID3v1 field edited itself wins
    edited.V1.Artist = std::string(30, 'v');   // cut to 30 ...
    edited.V1.Comment = std::string(30, 'c');  // ... and the comment to 28 beside the track
    edited.Lyrics3.Lyrics = "new words";
    ApplyEditorFields(read, edited, loaded.File);
    ASSERT_TRUE(loaded.File.SaveFile(file, true, true, true));

    TLoaded back(file);
    const TEditorFields now = ReadEditorFields(back.File);
    EXPECT_EQ(now.Frames, edited.Frames);
    EXPECT_EQ(now.Comments, edited.Comments);
    EXPECT_TRUE(now.Pictures.empty());
    EXPECT_EQ(now.Ratings, edited.Ratings);
    EXPECT_EQ(now.People, edited.People);
    EXPECT_EQ(now.UserTexts, read.UserTexts);
    EXPECT_EQ(now.V1.Album, std::string(29, 'a'));
    EXPECT_EQ(now.V1.Title, "Own V1 title");
    EXPECT_EQ(now.V1.Artist, std::string(30, 'v'));
    EXPECT_EQ(now.V1.Comment, std::string(28, 'c'));
    EXPECT_EQ(now.Lyrics3.Lyrics, "new words");
    EXPECT_EQ(back.File.ID3v2().TCON.Text, "(17)");  // not edited: as read

    // Values for a new ID3v1 tag come from the ID3v2 values.
    const TV1Fields v1 = V1FromFrames(now);
    EXPECT_EQ(v1.Album, std::string(29, 'a'));
    EXPECT_EQ(v1.Track, 3);
    EXPECT_EQ(v1.Genre, "Rock");
    EXPECT_EQ(v1.Comment, "New plain comment");
    // The year's first four characters; a track ID3v1 cannot hold is none; the comment
    // takes 30 characters without a track, 28 with one.
    TEditorFields f;
    f.Frames = {{"TYER", "2001-05-03"}, {"TRCK", "300/301"}};
    f.Comments = {{"eng", "", std::string(30, 'c')}};
    const TV1Fields made = V1FromFrames(f);
    EXPECT_EQ(std::tuple(made.Year, made.Track, made.Comment), std::tuple("2001", 0, std::string(30, 'c')));
    f.Frames["TRCK"] = "4";
    EXPECT_EQ(V1FromFrames(f).Comment, std::string(27, 'c'));
    EXPECT_EQ(PictureMimeType("Cover.JPEG"), "image/jpeg");
    EXPECT_EQ(PictureMimeType("x.bmp"), "image/bitmap");
    EXPECT_EQ(PictureMimeType("x.txt"), "");
}

TEST(EditorFields, ANewID3v1TagIsMadeFromTheID3v2ValuesAndOwnFieldsWin) {
    TTempDir dir;
    const TBytes frames =
        Cat({Id3Frame("TIT2", Txt("Title")), Id3Frame("TPE1", Txt("Artist")),
             Id3Frame("TALB", Txt(std::string(31, 'a'))), Id3Frame("TYER", Txt("1999")), Id3Frame("TRCK", Txt("3/12")),
             Id3Frame("TCON", Txt("(17)")), Id3Frame("COMM", Cat({{0}, B("eng"), Z(""), B(std::string(29, 'c'))}))});
    struct TCase {
        const char* Name;
        bool HasV1;
        TV1Fields Own;
        TV1Fields Expected;
    };
    const TV1Fields made{"Title", "Artist", std::string(29, 'a'), "1999", std::string(27, 'c'), "Rock", 3};
    TV1Fields own;
    own.Title = "Own title";
    own.Track = 9;
    TV1Fields mixed = made;
    mixed.Title = own.Title;
    mixed.Track = own.Track;
    const TCase cases[] = {
        {"new tag from the frames", false, {}, made},
        {"own fields win", false, own, mixed},
        {"a tag the file has stays", true, {}, {"V1 Title", "", "", "", "", "Rock", 3}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TBytes v1 = c.HasV1 ? Id3v1({.Title = "V1 Title", .Track = 3, .Genre = 17}) : TBytes();
        const fs::path file = dir.Put("new.mp3", Cat({Id3Tag(frames, 16), Frames({}, 4), v1}));
        TLoaded loaded(file);
        FillNewID3v1(loaded.File, c.Own);
        ASSERT_TRUE(loaded.File.SaveFile(file, true, false, true));
        TLoaded back(file);
        EXPECT_EQ(ReadEditorFields(back.File).V1, c.Expected);
    }
}

TEST(EditorFields, ATagNotUnderstoodIsKeptUnlessItsValuesChange) {
    TTempDir dir;
    const TBytes tag = Id3Tag(Id3Frame("TIT2", Txt("Hi")), 4, 0x10);  // an unknown header flag
    const fs::path file = dir.Put("odd.mp3", Cat({tag, Frames({}, 4), Id3v1({.Title = "V1"})}));
    TLoaded loaded(file);
    const TEditorFields read = ReadEditorFields(loaded.File);
    TEditorFields edited = read;
    edited.V1.Title = "Only ID3v1";
    ApplyEditorFields(read, edited, loaded.File);
    ASSERT_TRUE(loaded.File.SaveFile(file, true, false, true));
    EXPECT_EQ(Slice(ReadFile(file), 0, int64_t(tag.size())), tag);
    TLoaded back(file);
    EXPECT_EQ(ReadEditorFields(back.File).V1.Title, "Only ID3v1");
}
