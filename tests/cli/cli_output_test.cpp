// What velmar-cli prints of names and tag texts it does not control: text output
// shows control characters escaped, JSON output is valid UTF-8, and the check
// report is never written through a link planted at its name.
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "../core/testfiles.h"
#include "json.h"
#include "runcli.h"

namespace {

namespace fs = std::filesystem;
using vtest::B;
using vtest::RunCli;
using vtest::TBytes;

// A short MP3 file whose ID3v2 title is the given text frame body.
TBytes Mp3WithTitle(const TBytes& titleBody) {
    return vtest::Cat({vtest::Id3Tag(vtest::Id3Frame("TIT2", titleBody)), vtest::Frames(vtest::TFrameShape{}, 6)});
}

// Where `text` holds a control character other than the line end (C0, DEL, or a C1
// character in UTF-8); empty when it holds none.
std::string RawControl(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t c = uint8_t(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() && uint8_t(text[i + 1]) < 0xA0;
        if ((c < 0x20 && c != '\n') || c == 0x7F || c1)
            return "byte " + std::to_string(c) + " at " + std::to_string(i) + " of: " + std::string(text);
    }
    return {};
}

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t len = velmar::Utf8SequenceAt(text, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

TEST(CliOutput, ControlCharactersOfNamesAndTitlesAreShownEscapedInTextOutput) {
    struct TCase {
        std::string Name, Shown;
    };
    const TCase cases[] = {
        {"esc\x1b]0;owned\x07.mp3", "esc\\x1b]0;owned\\x07.mp3"},
        {"cr\rFile: forged.mp3", "cr\\rFile: forged.mp3"},
        {"lf\nFile: forged.mp3", "lf\\nFile: forged.mp3"},
        {"del\x7f.mp3", "del\\x7f.mp3"},
        {"tab\t and \\x1b as text.mp3", "tab\\t and \\\\x1b as text.mp3"},
        {"\xff\xfe not UTF-8.mp3", "\\xff\\xfe not UTF-8.mp3"},
        {"Żółw 日本.mp3", "Żółw 日本.mp3"},
    };
    // Latin-1 text: ESC, CR, LF and the C1 character CSI (0x9B).
    const TBytes title = vtest::Txt("Ti\x1b[2Jtle\r\n\x9b end");
    const std::string shownTitle = "Ti\\x1b[2Jtle\\r\\n\\u009b end";
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Shown);
        const vtest::TTempDir dir;
        const fs::path file = dir.Put(c.Name, Mp3WithTitle(title));
        const std::string shownPath = dir.Path.string() + "/" + c.Shown;

        const vtest::TRun info = RunCli({"info", file.string()});
        EXPECT_EQ(info.status, 0) << info.err;
        EXPECT_NE(info.out.find(shownPath + "\n"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("TIT2: " + shownTitle + "\n"), std::string::npos) << info.out;
        EXPECT_EQ(RawControl(info.out), "");

        const fs::path report = dir / "check.log";
        const vtest::TRun check = RunCli({"check", "--verbose", "--report", report.string(), file.string()});
        EXPECT_NE(check.out.find("\nFile: " + shownPath + "\n"), std::string::npos) << check.out;
        EXPECT_EQ(RawControl(check.out), "");
        EXPECT_EQ(vtest::ReadFile(report), B(check.out));

        // A message about a file names it on standard error.
        const vtest::TRun set = RunCli({"set", "--title", "x", (dir / ("gone " + c.Name)).string()});
        EXPECT_EQ(set.status, 1);
        EXPECT_EQ(set.err.rfind("velmar-cli: " + dir.Path.string() + "/gone " + c.Shown + ": ", 0), 0u) << set.err;
        EXPECT_EQ(RawControl(set.err), "");
    }
}

TEST(CliOutput, CheckReportReplacesAPlantedLinkAndNeverWritesThroughIt) {
    const vtest::TTempDir dir;
    const fs::path file = dir.Put("a.mp3", Mp3WithTitle(vtest::Txt("A")));
    const fs::path victim = dir.Put("victim.txt", B("keep me"));
    const fs::path report = dir / "report.log";
    fs::create_symlink(victim, report);
    const vtest::TRun r = RunCli({"check", "--report", report.string(), file.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vtest::ReadFile(victim), B("keep me"));
    EXPECT_FALSE(fs::is_symlink(report));
    EXPECT_EQ(vtest::ReadFile(report), B(r.out));
}

TEST(CliOutput, CheckReportThatCannotBeWrittenIsNamedAndFails) {
    const vtest::TTempDir dir;
    const fs::path file = dir.Put("a.mp3", Mp3WithTitle(vtest::Txt("A")));
    fs::create_directory(dir / "folder\x1b");
    struct TCase {
        fs::path Report;
        std::string Shown;
        bool Checked;  // the files are checked before the report turns out unwritable
    } const cases[] = {
        {dir / "missing\x1b" / "r.log", dir.Path.string() + "/missing\\x1b/r.log", false},
        {dir / "folder\x1b", dir.Path.string() + "/folder\\x1b", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Shown);
        const vtest::TRun r = RunCli({"check", "--report", c.Report.string(), file.string()});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("velmar-cli: cannot write the report " + c.Shown + ": ", 0), 0u) << r.err;
        EXPECT_EQ(r.out.empty(), !c.Checked) << r.out;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator()), 2);  // no temporary file left
}

TEST(CliOutput, InfoJsonIsValidUtf8WithBytesThatAreNotShownAsReplacementCharacters) {
    struct TCase {
        std::string Name, Read;  // the file's name, and its path's name as a JSON reader gets it
    };
    const TCase cases[] = {
        {"\xff\xfe.mp3", "\uFFFD\uFFFD.mp3"},
        {"cut\xe2\x82.mp3", "cut\uFFFD\uFFFD.mp3"},
        {"overlong\xc0\xaf.mp3", "overlong\uFFFD\uFFFD.mp3"},
        {"\xffÉcole.mp3", "\uFFFDÉcole.mp3"},
        {"Żółw 日本.mp3", "Żółw 日本.mp3"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Read);
        const vtest::TTempDir dir;
        // A UTF-8 title that is not UTF-8.
        const fs::path file = dir.Put(c.Name, Mp3WithTitle(vtest::Txt("Caf\xe9 \xff\xfe", 3)));
        const vtest::TRun r = RunCli({"info", "--json", file.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(IsValidUtf8(r.out)) << r.out;
        EXPECT_EQ(r.out.find("\\ufffd") != std::string::npos, c.Read.find("\uFFFD") != std::string::npos);
        EXPECT_EQ(vtest::ParseJson(r.out)["path"].str, dir.Path.string() + "/" + c.Read);
    }
}

// A record far longer than the room it starts with, with escapes in its long text,
// comes out whole.
TEST(CliOutput, InfoJsonHoldsATitleFarLongerThanARecordUsuallyIs) {
    const std::string title = std::string(3000, 'a') + "\"\\\n" + std::string(5000, 'b');
    const vtest::TTempDir dir;
    const fs::path file = dir.Put("long.mp3", Mp3WithTitle(vtest::Txt(title, 3)));
    const vtest::TRun r = RunCli({"info", "--json", file.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vtest::ParseJson(r.out)["tags"]["title"].str, title);
}

}  // namespace
