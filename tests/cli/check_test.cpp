// velmar-cli check: the real program over files in a temporary folder.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "json.h"

namespace {

namespace fs = std::filesystem;

struct TRun {
    int Status = -1;
    std::string Out;
};

TRun RunCli(const std::string& arguments) {
    TRun r;
    const std::string command = std::string("'") + VELMAR_CLI + "' " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.Out.append(buffer, n);
    const int status = ::pclose(pipe);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Frames of MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: 417 bytes each.
std::string Frames(int count) {
    std::string frame(417, '\x11');
    frame.replace(0, 4, "\xFF\xFB\x90\x00", 4);
    std::string out;
    for (int i = 0; i < count; ++i) out += frame;
    return out;
}

class CliCheck : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("velmar-cli-check-" + std::to_string(::getpid()));
        fs::remove_all(Dir);
        fs::create_directories(Dir / "sub");
    }
    void TearDown() override { fs::remove_all(Dir); }
    void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }
    fs::path Dir;
};

TEST_F(CliCheck, ReportsEveryFileOfAFolderAndWritesTheReport) {
    Write(Dir / "a.mp3", Frames(5));
    Write(Dir / "sub" / "b.mp3", Frames(3) + "junk" + Frames(2));
    Write(Dir / "notes.txt", "not audio");
    const fs::path report = Dir / "report.log";
    const TRun r = RunCli("check --verbose --report " + Quote(report) + " " + Quote(Dir));
    EXPECT_EQ(r.Status, 1);
    const std::string sep(92, '-');
    const std::vector<std::string> expected = {"Sync Check Report:",
                                               "No error(s) found.",
                                               "",
                                               "File: " + (Dir / "a.mp3").string(),
                                               "",
                                               sep,
                                               "",
                                               "FATAL ERROR:",
                                               "No MPEG Sync nibbles.",
                                               "Offset: 1251 of 2089",
                                               "Problems found: 1",
                                               "At offset 1251: 4 bytes of garbage.",
                                               "",
                                               "File: " + (Dir / "sub" / "b.mp3").string(),
                                               "",
                                               sep,
                                               "",
                                               "2 file(s) checked."};
    EXPECT_EQ(SplitLines(r.Out), expected);
    std::ifstream in(report, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), r.Out);

    // By default a line a file, to be read at a glance or searched; --json a record a file.
    const std::string a = (Dir / "a.mp3").string(), b = (Dir / "sub" / "b.mp3").string();
    EXPECT_EQ(SplitLines(RunCli("check " + Quote(Dir) + " " + Quote(Dir / "gone.mp3")).Out),
              (std::vector<std::string>{
                  "OK  " + a, "DAMAGED  " + b + ": 1 problem at offset 1251 of 2089: 4 bytes of garbage",
                  "FAILED  " + (Dir / "gone.mp3").string() + ": Could not open file: No such file or directory",
                  "3 file(s) checked."}));
    EXPECT_EQ(
        SplitLines(RunCli("check --json " + Quote(Dir / "sub")).Out),
        std::vector<std::string>{"{\"path\":\"" + b +
                                 "\",\"ok\":false,\"frames\":5,\"problems\":[{\"offset\":1251,\"kind\":\"garbage\","
                                 "\"bytes\":4}],\"problem_count\":1,\"verdict\":\"damaged\",\"outcome\":\"sync-error\","
                                 "\"message\":\"No MPEG Sync nibbles\",\"offset\":1251,\"size\":2089}"});
}

// Every damaged place of a file, as a record and as a line (--verbose prints the checker's report).
TEST_F(CliCheck, EveryProblemOfAFile) {
    // Garbage, an ID3v1 tag inside the audio, and the last frame cut short.
    std::string v1(128, '\0');
    v1.replace(0, 3, "TAG");
    Write(Dir / "three.mp3", Frames(2) + "junk" + Frames(2) + v1 + Frames(2) + Frames(1).substr(0, 100));
    // A whole chain whose Info header counts 7 frames where there are 3.
    std::string info = Frames(3);
    info.replace(36, 12, std::string("Info\0\0\0\x01\0\0\0\x07", 12));
    Write(Dir / "info.mp3", info);
    const std::string three = (Dir / "three.mp3").string(), infoPath = (Dir / "info.mp3").string();

    const TRun json = RunCli("check --json " + Quote(Dir / "three.mp3") + " " + Quote(Dir / "info.mp3"));
    EXPECT_EQ(json.Status, 1);
    const std::vector<std::string> records = SplitLines(json.Out);
    ASSERT_EQ(records.size(), 2u);
    const vtest::Json r = vtest::TJsonReader(records[0]).Document();
    EXPECT_FALSE(r["ok"].boolean);
    EXPECT_EQ(r["frames"].number, 6);
    std::string problems;
    for (const vtest::Json& p : r["problems"].items)
        problems += p["kind"].str + "@" + std::to_string(int(p["offset"].number)) + "+" +
                    std::to_string(int(p["bytes"].number)) + " ";
    EXPECT_EQ(problems, "garbage@834+4 tag@1672+128 cut-last-frame@2634+100 ");
    EXPECT_EQ(r["problems"].items[1]["tag"].str, "ID3v1");
    EXPECT_EQ(r["problems"].items[2]["frame_bytes"].number, 417);
    const vtest::Json i = vtest::TJsonReader(records[1]).Document();
    const vtest::Json& vbr = i["problems"].items.at(0);
    EXPECT_FALSE(i["ok"].boolean);
    EXPECT_EQ(vbr["kind"].str, "vbr-header");
    EXPECT_EQ(vbr["header_frames"].number, 7);
    EXPECT_EQ(vbr["stream_frames"].number, 3);

    EXPECT_EQ(
        SplitLines(RunCli("check " + Quote(Dir / "three.mp3") + " " + Quote(Dir / "info.mp3")).Out),
        (std::vector<std::string>{"DAMAGED  " + three + ": 3 problems, first at offset 834 of 2734: 4 bytes of garbage",
                                  "DAMAGED  " + infoPath +
                                      ": 1 problem at offset 0 of 1251: the Info header counts 7 frames, "
                                      "the stream has 3 frames",
                                  "2 file(s) checked."}));
}

TEST_F(CliCheck, ExitStatuses) {
    Write(Dir / "good.mp3", Frames(4));
    TRun r = RunCli("check " + Quote(Dir / "good.mp3"));
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(SplitLines(r.Out).back(), "1 file(s) checked.");

    r = RunCli("check --verbose " + Quote(Dir / "good.mp3") + " " + Quote(Dir / "missing.mp3"));
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Out.find("FATAL ERROR:\nCould not open file: No such file or directory.\n\nFile: " +
                         (Dir / "missing.mp3").string()),
              std::string::npos);
    EXPECT_EQ(SplitLines(r.Out).back(), "2 file(s) checked.");

    EXPECT_EQ(RunCli("check").Status, 2);
    EXPECT_EQ(RunCli("check --report").Status, 2);
    EXPECT_EQ(RunCli("check --fast " + Quote(Dir / "good.mp3")).Status, 2);
    EXPECT_EQ(
        RunCli("check --report " + Quote(Dir / "no-such-folder" / "r.log") + " " + Quote(Dir / "good.mp3")).Status, 1);
}

}  // namespace
