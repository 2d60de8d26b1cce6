// Changing tags by named fields: ID3v1 widths and cuts, which comment is the
// comment, comments and lyrics by language, genres, numbers, user frames and
// pictures, and the order of frames.
#include "edit/tagedit.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;
using namespace std::string_view_literals;

namespace {

// A file with an ID3v2 tag of these frames, MPEG audio, and optional end tags.
struct TEditFile {
    explicit TEditFile(const TBytes& frames, const TBytes& tail = {}) {
        Path = Dir.Put("a.mp3", Cat({Id3Tag(frames), Frames({}, 20), tail}));
        Loaded = std::make_unique<TLoaded>(Path);
    }
    TMP3Object& File() { return Loaded->File; }
    TID3v2Object& V2() { return File().ID3v2(); }
    TID3v1Object& V1() { return File().ID3v1(); }
    // Saves with every tag and reads the file again.
    void SaveAndReload() {
        ASSERT_TRUE(File().SaveFile(Path, true, File().Lyrics3().Present, true));
        Loaded = std::make_unique<TLoaded>(Path);
    }
    TTempDir Dir;
    fs::path Path;
    std::unique_ptr<TLoaded> Loaded;
};

}  // namespace

TEST(TagEdit, ID3v1FieldsAreCutAsTheTagEditorCutsThem) {
    TEditFile f({});
    TTagEdit edit(f.File());
    const struct {
        TTagField Field;
        std::string Value, Expected;
        std::string TID3v1Object::*Member;
    } cases[] = {
        {TTagField::Title, std::string(30, 't'), std::string(30, 't'), &TID3v1Object::Title},
        {TTagField::Title, std::string(31, 't'), std::string(29, 't'), &TID3v1Object::Title},
        {TTagField::Artist, std::string(40, 'a'), std::string(29, 'a'), &TID3v1Object::Artist},
        {TTagField::Album, "Caf\xC3\xA9 \xE2\x98\x83", "Caf\xE9 ?", &TID3v1Object::Album},
        {TTagField::Year, "19995", "1999", &TID3v1Object::Year},
        {TTagField::Comment, std::string(30, 'c'), std::string(30, 'c'), &TID3v1Object::Comment},
        {TTagField::Comment, std::string(31, 'c'), std::string(29, 'c'), &TID3v1Object::Comment},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Value);
        ASSERT_TRUE(edit.Set(c.Field, c.Value));
        EXPECT_EQ(TID3v1Object::FieldText(f.V1().*c.Member), c.Expected);
    }
    // With a track number the comment has 28 characters: a longer one keeps 27.
    ASSERT_TRUE(edit.Set(TTagField::Track, "4/12"));
    EXPECT_EQ(TID3v1Object::FieldText(f.V1().Comment), std::string(27, 'c'));
    for (const auto& [length, kept] : {std::pair{28, 28}, {29, 27}}) {
        edit.Set(TTagField::Comment, std::string(size_t(length), 'd'));
        EXPECT_EQ(TID3v1Object::FieldText(f.V1().Comment), std::string(size_t(kept), 'd')) << length;
    }
    EXPECT_EQ(f.V1().TrackNumber, 4);
    EXPECT_EQ(f.V2().TRCK.Text, "4/12");
    // The ID3v2 frames take the whole texts.
    EXPECT_EQ(f.V2().TIT2.Text, std::string(31, 't'));
}

TEST(TagEdit, ThePlainCommentIsTheFirstWithoutADescriptionAndKeepsItsLanguage) {
    TEditFile f(Cat({Id3Frame("COMM", B("\0engNote\0described"sv)), Id3Frame("COMM", B("\0deu\0plain"sv))}));
    TTagEdit edit(f.File());
    edit.Set(TTagField::Comment, "changed");
    ASSERT_EQ(f.V2().COMMCount, 2);
    EXPECT_EQ(f.V2().COMM[1].Text, "changed");
    EXPECT_EQ(f.V2().COMM[1].Language, "deu");
    EXPECT_EQ(f.V2().COMM[0].Text, "described");

    edit.SetComment("second", "Note", "fra");  // same description, other language: a new comment
    ASSERT_EQ(f.V2().COMMCount, 3);
    EXPECT_EQ(f.V2().COMM[2].Language, "fra");
    EXPECT_EQ(TID3v1Object::FieldText(f.V1().Comment), "changed");  // only the plain one is ID3v1's

    edit.SetComment("", "Note", "eng");
    ASSERT_EQ(f.V2().COMMCount, 2);
    EXPECT_EQ(f.V2().COMM[0].Text, "changed");
    for (const TFrameRef& ref : f.V2().FrameOrder) EXPECT_NE(f.V2().Frame(ref), nullptr) << ref.FrameID;
    f.SaveAndReload();
    ASSERT_EQ(f.V2().COMMCount, 2);
    EXPECT_EQ(f.V2().COMM[1].Language, "fra");
}

TEST(TagEdit, NumbersGenresAndClearing) {
    const struct {
        const char* Text;
        bool Ok;
        int Number, Total;
    } pairs[] = {{"7", true, 7, -1},  {"07/12", true, 7, 12}, {"0", true, 0, -1},  {"5/0", true, 5, 0},
                 {"-1", false, 0, 0}, {"7/", false, 0, 0},    {"/7", false, 0, 0}, {"7/12/3", false, 0, 0},
                 {"", false, 0, 0},   {"x", false, 0, 0}};
    for (const auto& p : pairs) {
        int number = 0, total = 0;
        EXPECT_EQ(TTagEdit::ParseNumberPair(p.Text, number, total), p.Ok) << p.Text;
        EXPECT_TRUE(!p.Ok || std::pair(number, total) == std::pair(p.Number, p.Total)) << p.Text;
    }

    TEditFile f(Cat({Id3Frame("TIT2", Txt("Old")), Id3Frame("TDAT", Txt("2512")), Id3Frame("TIT2", Txt("Again"))}));
    TTagEdit edit(f.File());
    EXPECT_FALSE(edit.Set(TTagField::Track, "three"));
    EXPECT_FALSE(edit.Set(TTagField::Disc, "1/"));
    EXPECT_FALSE(f.V2().TRCK.FrameHeader.Present);
    ASSERT_TRUE(edit.Set(TTagField::Track, "300"));  // more than ID3v1 holds: no ID3v1 track
    EXPECT_EQ(f.V1().TrackNumber, 0);
    ASSERT_TRUE(edit.Set(TTagField::Disc, "1/2"));
    ASSERT_TRUE(edit.Set(TTagField::Genre, "Rock"));
    ASSERT_TRUE(edit.Set(TTagField::Title, ""));
    EXPECT_FALSE(f.V2().TIT2.FrameHeader.Present);
    EXPECT_TRUE(f.V2().RawFrames.empty());  // the repeated title went with it
    f.SaveAndReload();
    EXPECT_EQ(f.V2().TCON.Text, "(17)");
    EXPECT_EQ(f.V1().GenreIndex, 17);
    EXPECT_EQ(f.V2().TPOS.Text, "1/2");
    EXPECT_EQ(f.V2().TDAT.Text, "2512");  // untouched, as read
    EXPECT_FALSE(f.V2().TIT2.FrameHeader.Present);

    TTagEdit again(f.File());
    again.Set(TTagField::Genre, "Not A Genre");
    EXPECT_EQ(f.V2().TCON.Refinement, "Not A Genre");
    again.Set(TTagField::Genre, "");
    EXPECT_FALSE(f.V2().TCON.FrameHeader.Present);
    f.SaveAndReload();
    EXPECT_EQ(f.V1().GenreIndex, 255);
}

TEST(TagEdit, FramesUserFramesAndPictures) {
    TEditFile f(Cat({Id3Frame("TXXX", B("\0Mood\0Calm"sv)), Id3Frame("TXXX", B("\0Key\0Am"sv))}));
    TTagEdit edit(f.File());
    EXPECT_TRUE(edit.SetFrame("TCOM", "Composer"));
    EXPECT_TRUE(edit.SetFrame("WOAR", "https://example.org/artist"));
    EXPECT_FALSE(edit.SetFrame("TXXX", "x"));
    EXPECT_FALSE(edit.SetFrame("APIC", "x"));
    EXPECT_FALSE(edit.SetFrame("ZZZZ", "x"));
    edit.SetUserText("Mood", "Bright");
    edit.SetUserText("Key", "");
    edit.SetUserUrl("Shop", "https://example.org/shop");
    const TBytes png = {0x89, 'P', 'N', 'G', 1, 2, 3}, jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 0xFF, 0xD9};
    edit.SetPicture("Cover", 3, "image/png", png);
    edit.SetPicture("Cover", 3, "image/jpeg", jpeg);  // the same type and description: replaced
    edit.SetPicture("Cover", 4, "image/png", png);    // another type: a second picture
    edit.SetPicture("Back", 4, "image/jpeg", {0xFF, 0xD8});
    edit.SetPicture("Back", 4, "image/jpeg", {});
    for (const TFrameRef& ref : f.V2().FrameOrder) EXPECT_NE(f.V2().Frame(ref), nullptr) << ref.FrameID;
    EXPECT_EQ(f.V2().FrameOrder.size(), 6u);  // TXXX, TCOM, WOAR, WXXX, APIC, APIC
    f.SaveAndReload();
    EXPECT_EQ(f.V2().TCOM.Text, "Composer");
    EXPECT_EQ(f.V2().WOAR.URL, "https://example.org/artist");
    ASSERT_EQ(f.V2().TXXXCount, 1);
    EXPECT_EQ(f.V2().TXXX[0].Value, "Bright");
    ASSERT_EQ(f.V2().WXXXCount, 1);
    EXPECT_EQ(f.V2().WXXX[0].Description, "Shop");
    ASSERT_EQ(f.V2().APICCount, 2);
    EXPECT_EQ(f.V2().APIC[0].PictureType, 3);
    EXPECT_EQ(f.V2().APIC[0].MIMEType, "image/jpeg");
    EXPECT_EQ(f.V2().APIC[0].PictureData, jpeg);
    EXPECT_EQ(f.V2().APIC[1].PictureType, 4);
    EXPECT_EQ(f.V2().APIC[1].PictureData, png);
}

TEST(TagEdit, CommentsAndLyricsByLanguageAndDescription) {
    TEditFile f(Cat({Id3Frame("COMM", B("\0eng\0first"sv)), Id3Frame("COMM", B("\0deu\0zweite"sv)),
                     Id3Frame("COMM", B("\0engNote\0described"sv)), Id3Frame("USLT", B("\0eng\0old words"sv))}));
    TTagEdit edit(f.File());
    // The plain comment in the language asked for (letter case aside); ID3v1 keeps the first plain one.
    edit.SetComment("neu", "", "DEU");
    ASSERT_EQ(f.V2().COMMCount, 3);
    EXPECT_EQ(f.V2().COMM[1].Text, "neu");
    EXPECT_EQ(TID3v1Object::FieldText(f.V1().Comment), "first");
    // No plain comment in that language: the first plain comment takes text and language.
    edit.SetComment("en français", "", "fra");
    ASSERT_EQ(f.V2().COMMCount, 3);
    EXPECT_EQ(f.V2().COMM[0].Language, "fra");
    EXPECT_EQ(TID3v1Object::FieldText(f.V1().Comment),
              "en fran\xE7"
              "ais");                           // Latin-1
    edit.SetComment("changed", "Note", "ENG");  // "ENG" is the comment read as "eng"
    ASSERT_EQ(f.V2().COMMCount, 3);
    EXPECT_EQ(f.V2().COMM[2].Text, "changed");
    // Removing one plain comment leaves the other, which ID3v1 then shows; without a language all go.
    edit.SetComment("", "", "fra");
    ASSERT_EQ(f.V2().COMMCount, 2);
    EXPECT_EQ(TID3v1Object::FieldText(f.V1().Comment), "neu");
    edit.SetComment("");
    ASSERT_EQ(f.V2().COMMCount, 1);
    EXPECT_EQ(f.V2().COMM[0].Description, "Note");
    EXPECT_EQ(TID3v1Object::FieldText(f.V1().Comment), "");

    edit.SetLyrics("new words");  // replaces the lyrics read in "eng"
    edit.SetLyrics("Слова", "", "rus");
    ASSERT_EQ(f.V2().USLTCount, 2);
    EXPECT_EQ(f.V2().USLT[0].Text, "new words");
    edit.SetLyrics("", "", "ENG");
    for (const TFrameRef& ref : f.V2().FrameOrder) EXPECT_NE(f.V2().Frame(ref), nullptr) << ref.FrameID;
    f.SaveAndReload();
    ASSERT_EQ(f.V2().USLTCount, 1);
    EXPECT_EQ(f.V2().USLT[0].Language, "rus");
    EXPECT_EQ(f.V2().USLT[0].Text, "Слова");
    ASSERT_EQ(f.V2().COMMCount, 1);
    EXPECT_EQ(f.V2().COMM[0].Text, "changed");
}

TEST(TagEdit, Lyrics3ExtendedFieldsFollowWhenAsked) {
    const TBytes tail =
        Cat({Lyrics3({{"IND", "00"}, {"ETT", "Old Title That Is Longer Than Thirty"}}), Id3v1({.Title = "Old"})});
    TEditFile f({}, tail);
    ASSERT_TRUE(f.File().Lyrics3().Present);
    TTagEdit edit(f.File());
    edit.Set(TTagField::Title, "Kept Apart");
    EXPECT_EQ(f.File().Lyrics3().ExtTitle, "Old Title That Is Longer Than Thirty");
    edit.ExtendLyrics3 = true;
    edit.Set(TTagField::Title, "A New Title That Runs Past Thirty Characters");
    f.SaveAndReload();
    EXPECT_EQ(f.File().Lyrics3().ExtTitle, "A New Title That Runs Past Thirty Characters");
    EXPECT_EQ(TID3v1Object::FieldText(f.V1().Title), "A New Title That Runs Past Th");
}
