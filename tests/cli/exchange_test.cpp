// velmar-cli copy, export and import: the real program on copies of the sample files
// in a temporary folder, with a history of its own per test.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "json.h"
#include "runcli.h"

namespace {

namespace fs = std::filesystem;
using vtest::Json;
using vtest::ParseJson;
using vtest::RunCli;
using vtest::TRun;

const fs::path kSamples = VELMAR_SAMPLES;
const char* const kHarbour = "Northwind Collective - Harbour Lights.mp3";  // ID3v2.3 only
const char* const kLanterns = "Cinder & Vale - Lanterns in the Rain.mp3";  // ID3v2.3 and ID3v1
const char* const kOrbit = "Juniper Static - Slow Orbit.mp3";              // ID3v2.3, no comment
const char* const kSalt = "Marlow Fenwick - Salt Road.mp3";                // ID3v1 only
const char* const kBoats = "Tessa Lorne - Paper Boats.mp3";                // Lyrics3 v2 and ID3v1

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void WriteFile(const fs::path& p, const std::string& data) { std::ofstream(p, std::ios::binary) << data; }

// A value of an exported JSON row as a CSV cell.
std::string Cell(const Json& value) {
    return value.kind == Json::Number ? std::to_string(int64_t(value.number)) : value.str;
}

// Replaces the first `from` after `after` in `text`.
void Replace(std::string& text, const std::string& after, const std::string& from, const std::string& to) {
    const size_t at = text.find(from, text.find(after));
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

class CliExchange : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        Dir = fs::temp_directory_path() /
              ("velmar-cli-exchange-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::create_directories(Dir / "lib");
        ::setenv("XDG_STATE_HOME", (Dir.string() + "-state").c_str(), 1);  // the history of changes
        for (const char* sample : {kHarbour, kLanterns, kOrbit, kSalt, kBoats}) {
            fs::copy_file(kSamples / sample, Dir / "lib" / sample);
            Original[sample] = ReadFile(kSamples / sample);
        }
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(Dir, ec);
        fs::remove_all(Dir.string() + "-state", ec);
    }
    fs::path File(const char* sample) const { return Dir / "lib" / sample; }
    std::vector<Json> JsonExport() const {
        const TRun r = RunCli({"export", "--json", (Dir / "lib").string()});
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<Json> rows;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) rows.push_back(ParseJson(line));
        return rows;
    }
    static const Json& RowOf(const std::vector<Json>& rows, const char* sample) {
        for (const Json& row : rows)
            if (row["path"].str.ends_with(sample)) return row;
        throw std::runtime_error(std::string("no row of ") + sample);
    }
    // The frames of the file's ID3v2 tag, one line each, sorted; and its audio bytes.
    static std::vector<std::string> Frames(const fs::path& file) {
        const Json j = ParseJson(RunCli({"info", "--json", file.string()}).out);
        std::vector<std::string> out;
        if (j["id3v2"].kind == Json::Null) return out;
        for (const Json& f : j["id3v2"]["frames"].items) {
            std::string line;
            for (const auto& [key, value] : f.members)
                line += key + "=" + (value.kind == Json::Number ? std::to_string(value.number) : value.str) + "|";
            out.push_back(line);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    static std::string Audio(const fs::path& file) {
        const Json j = ParseJson(RunCli({"info", "--json", file.string()}).out);
        const size_t start = j["id3v2"].kind == Json::Null ? 0 : size_t(j["id3v2"]["size"].number);
        return ReadFile(file).substr(start, size_t(j["mpeg"]["audio_end"].number) - start);
    }
    void ExpectAllOriginal() {
        for (const auto& [sample, bytes] : Original)
            EXPECT_TRUE(ReadFile(File(sample.c_str())) == bytes) << sample << " is not as it was";
    }
    fs::path Dir;
    std::map<std::string, std::string> Original;
};

TEST_F(CliExchange, ImportWritesExactlyTheCellsThatChangedAndUndoTakesThemBack) {
    std::string sheet = RunCli({"export", "--csv", (Dir / "lib").string()}).out;
    const std::vector<Json> before = JsonExport();
    const std::vector<std::string> lanternsFrames = Frames(File(kLanterns)), harbourFrames = Frames(File(kHarbour));
    // Saved back by a spreadsheet program: a byte-order mark, LF line ends, two cells changed.
    Replace(sheet, kLanterns, ",Lanterns in the Rain,", ",\"New, \"\"quoted\"\"\r\nsecond line\",");
    Replace(sheet, kHarbour, ",2019,", ",2020,");
    Replace(sheet, kSalt, ",7,", ",07,");  // the same number
    for (size_t at = sheet.find("\r\n"); at != std::string::npos; at = sheet.find("\r\n", at)) sheet.erase(at, 1);
    WriteFile(Dir / "sheet.csv", "\xEF\xBB\xBF" + sheet);

    const TRun r = RunCli({"import", (Dir / "sheet.csv").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, File(kLanterns).string() + ": title\n" + File(kHarbour).string() + ": year\n");
    for (const char* untouched : {kOrbit, kSalt, kBoats}) EXPECT_TRUE(ReadFile(File(untouched)) == Original[untouched]);
    for (const char* changed : {kLanterns, kHarbour})
        EXPECT_TRUE(Audio(File(changed)) == Audio(kSamples / changed)) << changed;
    // The other frames stay as they were.
    auto without = [](std::vector<std::string> frames, const std::string& id) {
        std::erase_if(frames, [&id](const std::string& f) { return f.starts_with("id=" + id + "|"); });
        return frames;
    };
    EXPECT_EQ(without(Frames(File(kLanterns)), "TIT2"), without(lanternsFrames, "TIT2"));
    EXPECT_EQ(without(Frames(File(kHarbour)), "TYER"), without(harbourFrames, "TYER"));

    auto tags = [this](const char* sample) {
        return ParseJson(RunCli({"info", "--json", File(sample).string()}).out)["tags"];
    };
    EXPECT_EQ(tags(kLanterns)["title"].str, "New, \"quoted\"\nsecond line");  // the line break as the sheet had it
    EXPECT_EQ(tags(kHarbour)["year"].number, 2020);
    // Read back, only the two values (and the two files' fingerprints) differ.
    const std::vector<Json> now = JsonExport();
    ASSERT_EQ(now.size(), before.size());
    for (size_t i = 0; i < now.size(); ++i) {
        const std::string file = fs::path(now[i]["path"].str).filename().string();
        for (const auto& [key, value] : now[i].members) {
            const Json& was = before[i][key];
            const bool text = value.kind == Json::String;
            if (file == kLanterns && key == "title")
                EXPECT_EQ(value.str, "New, \"quoted\"\nsecond line");
            else if (file == kHarbour && key == "year")
                EXPECT_EQ(value.number, 2020);
            else if (key == "fingerprint")
                EXPECT_EQ(value.str != was.str, file == kLanterns || file == kHarbour) << file;
            else
                EXPECT_TRUE(value.kind == was.kind && (text ? value.str == was.str : value.number == was.number))
                    << file << " " << key;
        }
    }

    const TRun undo = RunCli({"undo"});
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_EQ(undo.out, "undone: change 1, Import tags (2 file(s))\n");
    ExpectAllOriginal();
}

TEST_F(CliExchange, ImportRefusesRowsItCannotTakeAndWritesTheOthers) {
    // A sheet of its own columns: the album changed in every row, one year that is
    // none, one file in two rows.
    std::string sheet = "path,fingerprint,album,year\n";
    for (const Json& row : JsonExport()) {
        const std::string path = row["path"].str;
        const std::string line =
            path + "," + row["fingerprint"].str + ",Changed," + (path.ends_with(kBoats) ? "MMXII" : Cell(row["year"]));
        sheet += line + "\n" + (path.ends_with(kOrbit) ? line + "\n" : "");
    }
    WriteFile(Dir / "sheet.csv", sheet);
    fs::remove(File(kSalt));
    ASSERT_EQ(RunCli({"--no-history", "set", "--comment", "since", File(kHarbour).string()}).status, 0);
    const std::string harbour = ReadFile(File(kHarbour));

    const TRun r = RunCli({"import", (Dir / "sheet.csv").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, File(kLanterns).string() + ": album\n");
    for (const std::string& said :
         {File(kSalt).string() + ": the file is not there any more; the row was not imported",
          File(kHarbour).string() +
              ": the file changed after the sheet was exported (its tags or its size differ); the row was not imported",
          File(kBoats).string() + ": year \"MMXII\" is not a year of up to four digits; the row was not imported",
          File(kOrbit).string() + ": line 3 of the sheet: the file has 2 rows in the sheet; none of them was imported"})
        EXPECT_NE(r.err.find("velmar-cli: " + said + "\n"), std::string::npos) << said << "\n" << r.err;
    EXPECT_TRUE(ReadFile(File(kHarbour)) == harbour);
    for (const char* refused : {kBoats, kOrbit}) EXPECT_TRUE(ReadFile(File(refused)) == Original[refused]);
}

TEST_F(CliExchange, ASheetThatAgreesWithTheFilesWritesNothing) {
    // A file named twice is one row.
    const TRun csv = RunCli(
        {"export", "--csv", "-o", (Dir / "sheet.csv").string(), (Dir / "lib").string(), File(kHarbour).string()});
    EXPECT_EQ(csv.out, (Dir / "sheet.csv").string() + ": 5 file(s)\n");
    const std::string json = RunCli({"export", "--json", (Dir / "lib").string()}).out;
    const auto before = fs::last_write_time(File(kHarbour));
    for (const TRun& r : {RunCli({"import", (Dir / "sheet.csv").string()}), RunCli({"import", "-"}, {}, json)}) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "nothing to import: the files have these values already\n");
    }
    ExpectAllOriginal();
    EXPECT_EQ(fs::last_write_time(File(kHarbour)), before);
    EXPECT_EQ(RunCli({"history"}).out, "");
}

TEST_F(CliExchange, CopyTakesTheFieldsTheSourceHasAndRemovesOnlyNamedOnes) {
    const fs::path source = File(kOrbit);  // no comment, no pictures
    const TRun all = RunCli({"copy", "--from", source.string(), File(kLanterns).string(), source.string()});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out, File(kLanterns).string() + ": title, artist, album, year, track, track_total, genre\n");
    EXPECT_NE(all.err.find(source.string() + ": is the file the tags are copied from"), std::string::npos);
    EXPECT_TRUE(ReadFile(source) == Original[kOrbit]);
    std::vector<Json> rows = JsonExport();
    EXPECT_EQ(RowOf(rows, kLanterns)["comment"].str, "first single");  // the source has none: kept
    for (const char* field : {"title", "artist", "album", "year", "track", "track_total", "genre"})
        EXPECT_EQ(Cell(RowOf(rows, kLanterns)[field]), Cell(RowOf(rows, kOrbit)[field])) << field;

    const TRun named =
        RunCli({"copy", "--from", source.string(), "--fields", "comment, title", File(kHarbour).string()});
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(named.out, File(kHarbour).string() + ": title, comment\n");
    rows = JsonExport();
    EXPECT_EQ(RowOf(rows, kHarbour)["comment"].kind, Json::Null);
    EXPECT_EQ(RowOf(rows, kHarbour)["album"].str, "Tidewater");

    ASSERT_EQ(RunCli({"undo"}).status, 0);
    ASSERT_EQ(RunCli({"undo"}).status, 0);
    ExpectAllOriginal();
}

TEST_F(CliExchange, CopyTakesPicturesOnlyWhenAsked) {
    const fs::path cover = Dir / "cover.png", source = Dir / "source.mp3";
    WriteFile(cover, "\x89PNG not really a picture");
    fs::copy_file(File(kOrbit), source);
    ASSERT_EQ(RunCli({"--no-history", "set", "--picture", cover.string() + ":3:front", source.string()}).status, 0);
    auto pictures = [this](const char* sample) {
        std::vector<std::string> out;
        for (const std::string& f : Frames(File(sample)))
            if (f.starts_with("id=APIC|")) out.push_back(f);
        return out;
    };
    EXPECT_EQ(RunCli({"copy", "--from", source.string(), File(kHarbour).string()}).status, 0);
    EXPECT_TRUE(pictures(kHarbour).empty());
    const TRun r =
        RunCli({"copy", "--from", source.string(), "--fields=pictures", File(kHarbour).string(), File(kSalt).string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, File(kHarbour).string() + ": pictures\n" + File(kSalt).string() + ": pictures\n");
    for (const char* sample : {kHarbour, kSalt}) {
        ASSERT_EQ(pictures(sample).size(), 1u) << sample;
        EXPECT_NE(pictures(sample)[0].find("description=front|"), std::string::npos) << pictures(sample)[0];
    }
    // Pictures named from a file without any remove them.
    EXPECT_EQ(RunCli({"copy", "--from", File(kBoats).string(), "--fields", "pictures", File(kSalt).string()}).status,
              0);
    EXPECT_TRUE(pictures(kSalt).empty());
}

TEST_F(CliExchange, UsageErrorsAndHelp) {
    const std::string song = File(kHarbour).string();
    const std::pair<std::vector<std::string>, std::string> errors[] = {
        {{"export", song}, "export takes one of --csv and --json"},
        {{"copy", song}, "copy needs --from FILE"},
        {{"copy", "--from", song, "--fields", "title,rating", song}, "--fields: \"rating\" is not a field"},
        {{"import", "a.csv", "b.csv"}, "import takes one sheet"},
    };
    for (const auto& [args, error] : errors) {
        const TRun r = RunCli(args);
        EXPECT_EQ(r.status, 2) << error;
        EXPECT_TRUE(r.err.starts_with("velmar-cli: " + error)) << r.err;
    }
    for (const char* command : {"copy", "export", "import"}) {
        const TRun r = RunCli({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_TRUE(r.out.starts_with(std::string("usage: velmar-cli ") + command)) << r.out;
    }
    WriteFile(Dir / "broken.csv", "path,title\n\"/x.mp3,T\n");
    const TRun broken = RunCli({"import", (Dir / "broken.csv").string()});
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.err, "velmar-cli: " + (Dir / "broken.csv").string() +
                              ": the quote that opens a cell on line 2 is never closed; nothing was imported\n");
}

}  // namespace
