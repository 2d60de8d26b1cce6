// Tags as a sheet and back: CSV cells and records as spreadsheet programs write
// them, sheets in CSV and JSON, the changes a row makes to a file, fingerprints,
// and writing values to real files.
#include <fcntl.h>
#include <sys/stat.h>

#include "batch/tagsheet.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;
using namespace std::string_view_literals;
using namespace std::string_literals;

namespace {

using TRecords = std::vector<std::vector<std::string>>;

TRecords Cells(const std::vector<TCsvRecord>& records) {
    TRecords out;
    for (const TCsvRecord& r : records) out.push_back(r.Cells);
    return out;
}

std::vector<TCommonTag> Tags(std::initializer_list<std::pair<std::string_view, std::string>> fields) {
    std::vector<TCommonTag> tags;
    for (const auto& [name, text] : fields) tags.push_back({name, text, WholeNumber(text)});
    return tags;
}

}  // namespace

TEST(TagSheet, CsvRecordsAsSpreadsheetProgramsWriteThem) {
    const struct {
        std::string_view Text;
        char Separator;
        TRecords Expected;
    } cases[] = {
        {"a,b\r\nc,d\r\n", ',', {{"a", "b"}, {"c", "d"}}},
        {"a,b\nc,d", ',', {{"a", "b"}, {"c", "d"}}},  // LF, and no line end at the end
        {"a\rb\r", ',', {{"a"}, {"b"}}},              // CR alone
        {"\xEF\xBB\xBFpath,title\r\n", ',', {{"path", "title"}}},
        {"\"x,y\",\"say \"\"hi\"\"\"\r\n", ',', {{"x,y", "say \"hi\""}}},
        {"\"two\r\nlines\",b\r\nnext\r\n", ',', {{"two\r\nlines", "b"}, {"next"}}},
        {",,\r\n\r\n", ',', {{"", "", ""}, {""}}},
        {"\"\"\r\n", ',', {{""}}},
        {"a;\"b;c\";d\r\n", ';', {{"a", "b;c", "d"}}},
        {"a\tb\r\n", '\t', {{"a", "b"}}},
        {"a,b", ';', {{"a,b"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Text));
        EXPECT_EQ(Cells(ParseCsv(c.Text, c.Separator)), c.Expected);
    }
    // Lines are counted through quoted line breaks of either kind.
    const std::vector<TCsvRecord> records = ParseCsv("h\r\n\"1\r\n2\n3\"\r\nlast\r\n");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].Line, 2u);
    EXPECT_EQ(records[2].Line, 5u);
    EXPECT_THROW(ParseCsv("a,\"open\r\nb\r\n"), std::invalid_argument);
}

TEST(TagSheet, CellsAreQuotedWhenNeededAndReadBackAsTheyWere) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"plain", "plain"},       {"", ""},
        {"a,b", "\"a,b\""},       {"say \"x\"", "\"say \"\"x\"\"\""},
        {"l1\nl2", "\"l1\nl2\""}, {"cr\r", "\"cr\r\""},
        {" lead", "\" lead\""},   {"trail\t", "\"trail\t\""},
        {"in ner", "in ner"},     {"Звёзды", "Звёзды"},
    };
    std::vector<std::string> values;
    for (const auto& [value, cell] : cases) {
        EXPECT_EQ(CsvCell(value), cell) << value;
        values.emplace_back(value);
    }
    EXPECT_EQ(CsvCell("a;b", ';'), "\"a;b\"");
    const std::string record = CsvRecord(values);
    EXPECT_TRUE(record.ends_with("\r\n"));
    EXPECT_EQ(Cells(ParseCsv(record)), TRecords{values});
}

TEST(TagSheet, FormulasAreGuardedAndEveryValueComesBack) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"=1+1", "'=1+1"},    {"+44", "'+44"}, {"-ism", "'-ism"}, {"@home", "'@home"}, {"\tx", "'\tx"}, {"'=x", "''=x"},
        {"'plain", "'plain"}, {"a=b", "a=b"},  {"", ""},          {"'", "'"},
    };
    for (const auto& [value, cell] : cases) {
        EXPECT_EQ(GuardFormula(value), cell) << value;
        EXPECT_EQ(UnguardFormula(cell), value) << cell;
    }
    // A program that took the "'" as its own mark and dropped it gives the value itself.
    EXPECT_EQ(UnguardFormula("=1+1"), "=1+1");
}

TEST(TagSheet, SheetsInCsvAndJson) {
    const struct {
        std::string_view Name, Text;
        std::string Path;
        std::optional<std::string> Fingerprint;
        TFieldValues Values;
        std::string Problem = {};
    } cases[] = {
        {"columns in any order and case, others ignored",
         "Title, PATH ,rating,year\r\nT,/a.mp3,5,2001\r\n",
         "/a.mp3",
         std::nullopt,
         {{"title", "T"}, {"year", "2001"}}},
        {"a missing cell at the end is empty",
         "path,fingerprint,title,genre\n/a.mp3, v1-9 ,T\n",
         "/a.mp3",
         "v1-9",
         {{"title", "T"}, {"genre", ""}}},
        {"semicolons, a byte-order mark, a guarded formula",
         "\xEF\xBB\xBFpath;title\r\n/a.mp3;'=x\r\n",
         "/a.mp3",
         std::nullopt,
         {{"title", "=x"}}},
        {"an empty fingerprint is none", "path,fingerprint\n/a.mp3,\n", "/a.mp3", std::nullopt, {}},
        {"Latin-1 text", "path,title\n/a.mp3,Caf\xE9\n", "/a.mp3", std::nullopt, {{"title", "Caf\xC3\xA9"}}},
        {"a cell past the header",
         "path,title\n/a.mp3,T,extra\n",
         "/a.mp3",
         std::nullopt,
         {{"title", "T"}},
         "the row has 3 cells and the header only 2"},
        {"empty cells past the header are nothing",
         "path,title\n/a.mp3,T,,\n",
         "/a.mp3",
         std::nullopt,
         {{"title", "T"}}},
        {"a row without a path",
         "path,title\n,T\n",
         "",
         std::nullopt,
         {{"title", "T"}},
         "the row names no file (its path is empty)"},
        {"JSON lines: numbers, null, escapes",
         "{\"path\":\"/a.mp3\",\"fingerprint\":\"v1-1\",\"track\":3,\"genre\":null,\"title\":\"\\u00e9\\ud83c\\udfb5\","
         "\"x\":{\"y\":[1,true]}}\n",
         "/a.mp3",
         "v1-1",
         {{"track", "3"}, {"genre", ""}, {"title", "\xC3\xA9\xF0\x9F\x8E\xB5"}}},
        {"JSON array", " [ {\"path\":\"/a.mp3\",\"Year\":\"1999\"} ]", "/a.mp3", std::nullopt, {{"year", "1999"}}},
        {"JSON value of another kind",
         "{\"path\":\"/a.mp3\",\"title\":true}",
         "/a.mp3",
         std::nullopt,
         {},
         "the value of \"title\" is not a text, a number or null"},
        {"JSON without a path",
         "{\"title\":\"T\"}",
         "",
         std::nullopt,
         {{"title", "T"}},
         "the row names no file (it has no \"path\")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Name));
        const std::vector<TSheetRow> rows = ReadSheet(c.Text);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].Path, c.Path);
        EXPECT_EQ(rows[0].Fingerprint, c.Fingerprint);
        if (c.Problem.empty()) {
            EXPECT_EQ(rows[0].Values, c.Values);
        }
        EXPECT_EQ(rows[0].Problem, c.Problem);
    }
    // Rows without a cell are skipped; lines count from the header.
    const std::vector<TSheetRow> rows = ReadSheet("path\r\n\r\n,\r\n/b.mp3\r\n");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Line, 4u);
    for (std::string_view broken : {"title\n/a.mp3\n"sv, "path,title,Title\n"sv, "path\n\"/a.mp3\n"sv,
                                    "{\"path\":\"/a.mp3\""sv, "[{\"path\":\"/a.mp3\"}"sv, "{\"path\":01}"sv})
        EXPECT_THROW(ReadSheet(broken), std::invalid_argument) << broken;
}

TEST(TagSheet, ExportedRowsReadBackAsTheFileValues) {
    const std::vector<TCommonTag> tags =
        Tags({{"title", "=cmd, \"quoted\"\nline"}, {"year", "2001"}, {"track", "03"}, {"genre", "Rock/Remix"}});
    const std::string header = SheetCsvHeader();
    EXPECT_EQ(header,
              "path,fingerprint,title,artist,album,album_artist,year,track,track_total,disc,disc_total,genre,comment,"
              "composer,bpm\r\n");
    for (const std::string& sheet :
         {header + SheetCsvRow("/m/a b.mp3", "v1-5-a-b", tags), SheetJsonRow("/m/a b.mp3", "v1-5-a-b", tags) + "\n"}) {
        SCOPED_TRACE(sheet);
        const std::vector<TSheetRow> rows = ReadSheet(sheet);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].Path, "/m/a b.mp3");
        EXPECT_EQ(rows[0].Fingerprint, "v1-5-a-b");
        EXPECT_EQ(rows[0].Values.size(), SheetFields().size());
        EXPECT_TRUE(ChangedFields(rows[0].Values, tags).empty());
    }
    EXPECT_NE(SheetJsonRow("/a", "f", tags).find("\"track\":3,\"track_total\":null"), std::string::npos);
}

TEST(TagSheet, ARowChangesTheFieldsWhoseValuesDiffer) {
    const std::vector<TCommonTag> now =
        Tags({{"title", "Song"}, {"year", "2001"}, {"track", "03"}, {"genre", "Rock"}, {"bpm", "120"}});
    const struct {
        TFieldValues Wanted;
        std::vector<TFieldChange> Expected;
    } cases[] = {
        {{{"title", "Song"}, {"year", "2001"}, {"genre", "Rock"}}, {}},
        {{{"track", "3"}, {"year", " 2001 "}, {"bpm", "0120"}}, {}},
        {{{"track", "4"}}, {{"track", "4"}}},
        {{{"track", " 04 "}}, {{"track", "04"}}},
        {{{"title", "song"}}, {{"title", "song"}}},
        {{{"title", "Song "}}, {{"title", "Song "}}},
        {{{"genre", ""}, {"artist", ""}}, {{"genre", ""}}},
        {{{"composer", "Ada"}, {"title", "New"}}, {{"title", "New"}, {"composer", "Ada"}}},
        {{{"disc_total", "x"}}, {{"disc_total", "x"}}},
    };
    for (const auto& c : cases) EXPECT_EQ(ChangedFields(c.Wanted, now), c.Expected) << c.Wanted.size();
}

TEST(TagSheet, ValuesThatCannotBeWrittenAreNamed) {
    const struct {
        std::vector<TCommonTag> Now;
        std::vector<TFieldChange> Changes;
        std::string Problem;
    } cases[] = {
        {{}, {{"year", "2001"}, {"track", "7"}, {"bpm", ""}}, ""},
        {{}, {{"year", "20011"}}, "year \"20011\" is not a year of up to four digits"},
        {{}, {{"track", "7b"}}, "track \"7b\" is not a whole number"},
        {{}, {{"bpm", "12.5"}}, "bpm \"12.5\" is not a whole number"},
        {{}, {{"disc", "99999999999"}}, "disc \"99999999999\" is not a whole number"},
        {{}, {{"title", "a\0b"s}}, "title holds a zero character"},
        {{}, {{"track_total", "9"}}, "track_total \"9\" needs a track number; give one, or empty track_total too"},
        {Tags({{"track", "2"}}), {{"track_total", "9"}}, ""},
        {Tags({{"track", "2"}, {"track_total", "9"}}),
         {{"track", ""}},
         "track_total \"9\" needs a track number; give one, or empty track_total too"},
        {Tags({{"track", "2"}, {"track_total", "9"}}), {{"track", ""}, {"track_total", ""}}, ""},
        {Tags({{"disc_total", "2"}}), {{"title", "x"}}, ""},
        {Tags({{"disc_total", "2"}}),
         {{"disc_total", "3"}},
         "disc_total \"3\" needs a disc number; give one, or empty disc_total too"},
    };
    for (const auto& c : cases) EXPECT_EQ(ChangesProblem(c.Changes, c.Now), c.Problem) << c.Changes[0].Field;
}

namespace {

// An ID3v2 tag (title, track 3/12, two comments) with 64 bytes of padding.
TBytes Tag() {
    return Id3Tag(Cat({Id3Frame("TIT2", Txt("Song")), Id3Frame("TRCK", Txt("3/12")),
                       Id3Frame("COMM", B("\0engNote\0described"sv)), Id3Frame("COMM", B("\0eng\0plain"sv))}),
                  64);
}
// The tag, audio and an ID3v1 tag.
TBytes TaggedFile() { return Cat({Tag(), Frames({}, 20), Id3v1({.Title = "Song", .Year = "2001", .Track = 3})}); }

struct TStat {
    int64_t Size, Modified;
};
TStat StatOf(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return {int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::string Fingerprint(const fs::path& p) {
    TLoaded f(p, false);
    return TagFingerprint(p, f.File);
}

}  // namespace

TEST(TagSheet, TheFingerprintFollowsTheTagsAndTheSize) {
    TTempDir dir;
    const TBytes original = TaggedFile();
    const size_t tagEnd = Tag().size(), audioAt = tagEnd + 100;
    const struct {
        std::string_view Name;
        std::function<void(TBytes&)> Change;
        bool Differs;
    } cases[] = {
        {"a byte of the ID3v2 tag", [](TBytes& b) { b[25] ^= 1; }, true},
        {"a byte of its padding", [tagEnd](TBytes& b) { b[tagEnd - 3] = 'x'; }, true},
        {"a byte of the ID3v1 tag", [](TBytes& b) { b[b.size() - 5] ^= 1; }, true},
        {"a byte appended", [](TBytes& b) { b.push_back(0); }, true},
        {"a byte of the audio", [audioAt](TBytes& b) { b[audioAt] ^= 1; }, false},
    };
    const fs::path a = dir.Put("a.mp3", original);
    const std::string before = Fingerprint(a);
    EXPECT_TRUE(before.starts_with("v1-" + std::to_string(original.size()) + "-")) << before;
    for (const auto& c : cases) {
        TBytes changed = original;
        c.Change(changed);
        EXPECT_EQ(Fingerprint(dir.Put("b.mp3", changed)) != before, c.Differs) << c.Name;
    }
    // The file's time is not part of it.
    const struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
    ::utimensat(AT_FDCWD, a.c_str(), times, 0);
    EXPECT_EQ(Fingerprint(a), before);
}

TEST(TagSheet, WritingValuesChangesOnlyWhatDiffers) {
    TTempDir dir;
    const struct {
        std::string_view Name;
        TFieldValues Fields;
        std::string Track, Title, Comment;
        std::string V1Title;
        int V1Track;
    } cases[] = {
        {"the total alone", {{"track_total", "14"}}, "3/14", "Song", "plain", "Song", 3},
        {"the number alone", {{"track", "5"}}, "5/12", "Song", "plain", "Song", 5},
        {"both removed", {{"track", ""}, {"track_total", ""}}, "", "Song", "plain", "Song", 0},
        {"title and comment", {{"title", "New"}, {"comment", "c"}}, "3/12", "New", "c", "New", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Name));
        const fs::path file = dir.Put("a.mp3", TaggedFile());
        TCollectingSink sink;
        std::vector<std::string> changed;
        ASSERT_EQ(WriteTagValues(file, {c.Fields, std::nullopt, Fingerprint(file)}, sink, &changed),
                  TTagWrite::Written);
        EXPECT_EQ(changed.size(), c.Fields.size());
        TLoaded f(file, false);
        EXPECT_EQ(f.File.ID3v2().TRCK.FrameHeader.Present ? f.File.ID3v2().TRCK.Text : "", c.Track);
        EXPECT_EQ(f.File.ID3v2().TIT2.Text, c.Title);
        ASSERT_EQ(f.File.ID3v2().COMMCount, 2);
        EXPECT_EQ(f.File.ID3v2().COMM[0].Text, "described");  // a comment with a description is not the comment
        EXPECT_EQ(f.File.ID3v2().COMM[1].Text, c.Comment);
        EXPECT_EQ(TID3v1Object::FieldText(f.File.ID3v1().Title), c.V1Title);
        EXPECT_EQ(f.File.ID3v1().TrackNumber, c.V1Track);
    }
}

TEST(TagSheet, ALyrics3ValueFollowsSoThatWhatIsWrittenReadsBack) {
    TTempDir dir;
    const fs::path file =
        dir.Put("a.mp3", Cat({Frames({}, 20), Lyrics3({{"IND", "00"}, {"ETT", "Old"}, {"EAR", "Ann"}}), Id3v1({})}));
    for (const std::string& title : {"New"s, ""s}) {
        TCollectingSink sink;
        ASSERT_EQ(WriteTagValues(file, {{{"title", title}}, {}, {}}, sink), TTagWrite::Written) << title;
        TLoaded f(file, false);
        const std::vector<TCommonTag> tags = CommonTags(f.File);
        EXPECT_EQ(ChangedFields({{"title", title}, {"artist", "Ann"}}, tags), std::vector<TFieldChange>{}) << title;
        EXPECT_EQ(f.File.Lyrics3().ExtTitle, title);
    }
}

TEST(TagSheet, AFileThatAgreesOrChangedIsNotWritten) {
    TTempDir dir;
    const fs::path file = dir.Put("a.mp3", TaggedFile());
    const std::string fingerprint = Fingerprint(file);
    const TBytes bytes = ReadFile(file);
    const TStat before = StatOf(file);
    const struct {
        std::string_view Name;
        TTagValues Values;
        TTagWrite Result;
        std::string Message;
    } cases[] = {
        {"the same values",
         {{{"title", "Song"}, {"track", "03"}, {"year", "2001"}}, {}, fingerprint},
         TTagWrite::Unchanged,
         ""},
        {"the same values, another fingerprint", {{{"title", "Song"}}, {}, "v1-0-0-0"}, TTagWrite::Unchanged, ""},
        {"no pictures given to a file that has none", {{}, std::vector<TPicture>{}, {}}, TTagWrite::Unchanged, ""},
        {"another value, another fingerprint",
         {{{"title", "New"}}, {}, "v1-0-0-0"},
         TTagWrite::Failed,
         "the file changed after the sheet was exported (its tags or its size differ)"},
        {"a value that cannot be written",
         {{{"year", "later"}}, {}, fingerprint},
         TTagWrite::Failed,
         "year \"later\" is not a year of up to four digits"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Name));
        TCollectingSink sink;
        EXPECT_EQ(WriteTagValues(file, c.Values, sink), c.Result);
        EXPECT_EQ(sink.Messages, c.Message.empty() ? std::vector<std::string>{} : std::vector{c.Message});
        EXPECT_EQ(ReadFile(file), bytes);
        EXPECT_EQ(StatOf(file).Modified, before.Modified);
    }
    TCollectingSink sink;
    EXPECT_EQ(PlanTagValues(dir / "gone.mp3", {}, sink), std::nullopt);
    EXPECT_EQ(sink.Messages, std::vector<std::string>{"the file is not there any more"});
}
