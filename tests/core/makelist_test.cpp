// Reports from list templates, match to time and wiping whole tags, on real files.
#include <sys/stat.h>

#include "batch/makelist.h"
#include "batch/matchtotime.h"
#include "batch/wipetags.h"
#include "file/inplace.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;

namespace {

TTokenValues Values(std::initializer_list<std::pair<size_t, std::string>> given) {
    TTokenValues v;
    for (const auto& [n, text] : given) v[n] = text;
    return v;
}

std::string Text(const fs::path& file) {
    const TBytes b = ReadFile(file);
    return std::string(b.begin(), b.end());
}

}  // namespace

TEST(MakeList, LinesOfTopEachFileAndEnd) {
    TTags dash;
    dash.User = "-";
    const std::vector<TTokenValues> three = {Values({{0, "A"}, {1, "x"}}), Values({{0, "B"}}), Values({{1, "z"}})};
    // Top and end are written as they stand, tokens included; the main lines once per file.
    EXPECT_EQ(ReportLines({{"My files %00"}, {"%00 ; %01"}, {"End"}}, three, dash, TReportKind::Plain),
              (std::vector<std::string>{"My files %00", "A ; x", "B ; -", "- ; z", "End"}));
    EXPECT_EQ(ReportLines({{"T"}, {"1 %00", "2 %01"}, {}}, {three[0], three[1]}, TTags(), TReportKind::Plain),
              (std::vector<std::string>{"T", "1 A", "2 x", "1 B", "2 "}));
    EXPECT_EQ(ReportLines({{"T"}, {}, {"E"}}, three, dash, TReportKind::Plain), (std::vector<std::string>{"T", "E"}));
}

TEST(MakeList, ValuesAreEscapedForTheReportButTemplateTextIsNot) {
    TTags format;
    format.PreSuffix[1] = {"<b>", "</b>"};
    format.User = "&nbsp;";
    const std::vector<TTokenValues> files = {Values({{0, "Rock & Roll <Live>"}, {1, "Say \"hi\", then go"}})};
    const TListTemplates list = {{"<tr>"}, {"<td>%00</td><td>%01</td><td>%05</td>"}, {}};
    EXPECT_EQ(ReportLines(list, files, format, TReportKind::Html)[1],
              "<td>Rock &amp; Roll &lt;Live&gt;</td><td><b>Say &quot;hi&quot;, then go</b></td><td>&nbsp;</td>");
    EXPECT_EQ(ReportLines({{}, {"%00,%01"}, {}}, files, TTags(), TReportKind::Csv)[0],
              "Rock & Roll <Live>,\"Say \"\"hi\"\", then go\"");
    EXPECT_EQ(EscapeValue("two\nlines", TReportKind::Csv), "\"two\nlines\"");
    EXPECT_EQ(EscapeValue("a & b", TReportKind::Plain), "a & b");
    EXPECT_EQ(ReportKindOf("x/list.HTM"), TReportKind::Html);
    EXPECT_EQ(ReportKindOf("list.html"), TReportKind::Html);
    EXPECT_EQ(ReportKindOf("list.Csv"), TReportKind::Csv);
    EXPECT_EQ(ReportKindOf("list.txt"), TReportKind::Plain);
}

TEST(MakeList, ListsAndReportsOnDisk) {
    TTempDir dir;
    const fs::path lists = dir / "Lists";
    fs::create_directories(lists / "b list");
    fs::create_directories(lists / "A list");
    fs::create_directories(lists / ".hidden");
    dir.Put("Lists/stray.txt", B("x"));
    EXPECT_EQ(ListNames(lists), (std::vector<std::string>{"A list", "b list"}));

    TCollectingSink sink;
    ASSERT_TRUE(SaveList(lists, "A list", {{"<html>", "Übersicht"}, {"%01"}, {}}, sink));
    EXPECT_EQ(Text(lists / "A list" / "top.txt"), "<html>\r\nÜbersicht\r\n");
    EXPECT_EQ(Text(lists / "A list" / "end.txt"), "");
    const TListTemplates back = LoadList(lists, "A list");
    EXPECT_EQ(back.Top, (std::vector<std::string>{"<html>", "Übersicht"}));
    EXPECT_TRUE(LoadList(lists, "b list").Main.empty());  // missing files are empty templates

    // A report of a real file and one that cannot be read; UTF-8, CR LF.
    const fs::path song = dir.Put("song.mp3", Cat({Id3Tag(Id3Frame("TIT2", Txt("Caf\xE9 & Bar"))), Frames({}, 5)}));
    const fs::path report = dir / "out.html";
    ASSERT_TRUE(MakeList({{"<p>"}, {"[%01]"}, {"</p>"}}, {song, dir / "gone.mp3"}, TTags(), report, sink));
    EXPECT_EQ(Text(report), "<p>\r\n[Café &amp; Bar]\r\n[]\r\n</p>\r\n");
    EXPECT_EQ(sink.Messages.size(), 1u);  // the missing file

    // A report that cannot be written is reported and the old one stays whole.
    fs::create_directories(dir / "taken.txt");
    sink.Messages.clear();
    EXPECT_FALSE(MakeList({{"x"}, {}, {}}, {}, TTags(), dir / "taken.txt", sink));
    EXPECT_FALSE(MakeList({{"x"}, {}, {}}, {}, TTags(), dir / "missing" / "r.txt", sink));
    ASSERT_EQ(sink.Messages.size(), 2u);
    EXPECT_NE(sink.Messages[1].find("No such file or directory"), std::string::npos);
    EXPECT_FALSE(MakeList({{"new"}, {"%01"}, {}}, {song}, TTags(), report, sink, [](size_t) { return false; }));
    EXPECT_EQ(Text(report), "<p>\r\n[Café &amp; Bar]\r\n[]\r\n</p>\r\n");
    for (const auto& entry : fs::directory_iterator(dir.Path))  // no temporary file left behind
        EXPECT_EQ(entry.path().filename().string().find(".velmar-"), std::string::npos);
}

// A report is written beside its name and renamed over it: whatever another user put
// at its name or beside it is never written through, a writer killed earlier leaves
// nothing for good, and a name at the file system's limit is written.
TEST(MakeList, AReportIsWrittenBesideItsNameWhateverIsPlantedThere) {
    struct TCase {
        const char* Name;
        std::string Report;
        std::function<void(const fs::path& report, const fs::path& outside)> Plant;
        bool BesideStays;  // what was planted beside the report is there after it was written
        bool RootOnly = false;
    };
    const std::vector<TCase> cases = {
        {"a name at the limit", std::string(251, 'r') + ".txt", [](const fs::path&, const fs::path&) {}, false},
        {"a file left by a killed writer", "r.txt",
         [](const fs::path& r, const fs::path&) { WriteFile(NameBeside(r, ".velmar-new"), B("half a rep")); }, false},
        {"a link at the report's name", "r.txt",
         [](const fs::path& r, const fs::path& outside) { fs::create_symlink(outside, r); }, false},
        {"a link beside it", "r.txt",
         [](const fs::path& r, const fs::path& outside) { fs::create_symlink(outside, NameBeside(r, ".velmar-new")); },
         true},
        {"another user's file beside it", "r.txt",
         [](const fs::path& r, const fs::path&) {
             const fs::path planted = NameBeside(r, ".velmar-new");
             WriteFile(planted, B("theirs"));
             (void)::chown(planted.c_str(), kOtherUser, kOtherUser);
             ::chmod(planted.c_str(), 0666);
         },
         true, true},
    };
    for (const TCase& c : cases) {
        if (c.RootOnly && ::geteuid() != 0) continue;
        SCOPED_TRACE(c.Name);
        TTempDir dir, elsewhere;
        const fs::path report = dir / c.Report, outside = elsewhere.Put("secret", B("not a report"));
        const fs::path beside = NameBeside(report, ".velmar-new");
        c.Plant(report, outside);
        const bool planted = fs::exists(fs::symlink_status(beside));
        const TBytes besideBefore =
            planted && fs::is_regular_file(fs::symlink_status(beside)) ? ReadFile(beside) : TBytes();
        EXPECT_EQ(ReplaceFileContents(report, "the report\r\n"), "");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(report)));
        EXPECT_EQ(Text(report), "the report\r\n");
        EXPECT_EQ(Text(outside), "not a report");
        // Nothing of the writer's is left beside the report; what another user planted is as it was.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator()), c.BesideStays ? 2 : 1);
        if (c.BesideStays && fs::is_regular_file(fs::symlink_status(beside))) {
            EXPECT_EQ(ReadFile(beside), besideBefore);
        }
    }
}

TEST(MatchToTime, TakesWhatKeepsTheTotalBelowTheTarget) {
    const TMatchToTime m = MatchToTime({1800, 1800, 600, std::nullopt, 10}, 3600);
    EXPECT_EQ(m.Chosen, (std::vector<bool>{true, false, true, false, true}));
    EXPECT_EQ(m.TotalSeconds, 2410);
    EXPECT_EQ(MatchTotalText(2400), "A total time of 40:00 was selected.");
    EXPECT_EQ(MatchTotalText(0), "A total time of 00:00 was selected.");
    EXPECT_EQ(MatchTotalText(6000 + 59), "A total time of 100:59 was selected.");

    // A stream of more than 100 minutes is read whole (300000 frames of 1152 samples at 44.1 kHz).
    TTempDir dir;
    const fs::path longFile = dir.Put("long.mp3", Cat({VbrFrame({}, "Xing", 300000, 10000), Frames({}, 3)}));
    TCollectingSink sink;
    EXPECT_EQ(PlaySecondsOf(longFile, sink), 7836);
    EXPECT_EQ(PlaySecondsOf(dir / "gone.mp3", sink), std::nullopt);
    EXPECT_EQ(sink.Messages.size(), 1u);
}

TEST(WipeTags, RemovesTheChosenTagsAndKeepsEveryOtherByte) {
    const TBytes v2 = Id3Tag(Id3Frame("TIT2", Txt("Title")), 40);
    const TBytes audio = Frames({}, 6);
    const TBytes lyrics = Lyrics3({{"IND", "00"}, {"ETT", "Lyrics title"}});
    const TBytes v1 = Id3v1({.Title = "Old", .Track = 3});
    TTempDir dir;
    TCollectingSink sink;
    for (int mask = 1; mask < 8; ++mask) {
        const TWipeChoice choice{(mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0};
        SCOPED_TRACE(mask);
        const fs::path file = dir.Put("all.mp3", Cat({v2, audio, lyrics, v1}));
        TWipeChoice removed;
        EXPECT_EQ(WipeTags(file, choice, sink, &removed), TWipeResult::Wiped);
        EXPECT_TRUE(removed.ID3v2 == choice.ID3v2 && removed.ID3v1 == choice.ID3v1 &&
                    removed.Lyrics3 == choice.Lyrics3);
        EXPECT_EQ(ReadFile(file), Cat({choice.ID3v2 ? TBytes() : v2, audio, choice.Lyrics3 ? TBytes() : lyrics,
                                       choice.ID3v1 ? TBytes() : v1}));
    }
    // A file without the chosen tags is not written at all.
    const fs::path plain = dir.Put("plain.mp3", Cat({audio, v1}));
    struct stat before {};
    ::stat(plain.c_str(), &before);
    const TWipeChoice v2AndLyrics{true, false, true};
    EXPECT_FALSE(TagsToWipe(plain, v2AndLyrics, sink)->Any());
    EXPECT_FALSE(TagsToWipe(dir / "gone.mp3", v2AndLyrics, sink));
    EXPECT_EQ(WipeTags(plain, v2AndLyrics, sink), TWipeResult::Untouched);
    struct stat after {};
    ::stat(plain.c_str(), &after);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(WipeTags(dir / "gone.mp3", v2AndLyrics, sink), TWipeResult::Failed);
    EXPECT_TRUE(sink.Messages.size() >= 1);
}
