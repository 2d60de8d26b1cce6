// Black-box tests of velmar-cli: the real program on real files in temporary folders.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "base/sysio.h"
#include "base/version.h"
#include "file/mp3object.h"
#include "json.h"
#include "runcli.h"

namespace {

namespace fs = std::filesystem;
using vtest::Json;
using vtest::ParseJson;
using vtest::RunCli;
using vtest::Spawn;
using vtest::TRun;
using vtest::TRunOptions;

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::string data(size_t(fs::file_size(p)), '\0');
    in.read(data.data(), std::streamsize(data.size()));
    return data;
}
void WriteFile(const fs::path& p, const std::string& data) { std::ofstream(p, std::ios::binary) << data; }

const fs::path kSamples = VELMAR_SAMPLES;
const char* const kHarbour = "Northwind Collective - Harbour Lights.mp3";  // ID3v2.3 only
const char* const kLanterns = "Cinder & Vale - Lanterns in the Rain.mp3";  // ID3v2.3 and ID3v1
const char* const kBoats = "Tessa Lorne - Paper Boats.mp3";                // Lyrics3 v2 and ID3v1

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        Dir = fs::temp_directory_path() /
              ("velmar-cli-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::create_directories(Dir);
        ::setenv("XDG_STATE_HOME", (Dir.string() + "-state").c_str(), 1);  // the history of changes
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(Dir / "ro", fs::perms::owner_all, ec);
        fs::remove_all(Dir, ec);
        fs::remove_all(Dir.string() + "-state", ec);
    }
    fs::path Copy(const char* sample, const fs::path& to) {
        fs::create_directories(to.parent_path());
        fs::copy_file(kSamples / sample, to);
        return to;
    }
    static Json Info(const fs::path& file) {
        const TRun r = RunCli({"info", "--json", file.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        return ParseJson(r.out);
    }
    // The bytes between the tags: after the ID3v2 tag up to a Lyrics3 or ID3v1 tag.
    static std::string Between(const fs::path& file) {
        const Json j = Info(file);
        const size_t start = j["id3v2"].kind == Json::Null ? 0 : size_t(j["id3v2"]["size"].number);
        const size_t end = size_t(j["mpeg"]["audio_end"].number);
        return ReadFile(file).substr(start, end - start);
    }
    static std::string FrameText(const Json& info, const std::string& id) {
        for (const Json& f : info["id3v2"]["frames"].items)
            if (f["id"].str == id) return f["text"].str;
        return "<missing>";
    }
    // Every frame as one line of its fields, sorted.
    static std::vector<std::string> FrameSet(const Json& info) {
        std::vector<std::string> out;
        for (const Json& f : info["id3v2"]["frames"].items) {
            std::string line;
            for (const auto& [key, value] : f.members)
                line += key + "=" + (value.kind == Json::Number ? std::to_string(value.number) : value.str) + "|";
            out.push_back(line);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    fs::path Dir;
};

TEST_F(CliTest, InfoWalksFoldersOwnFilesFirstSortedAndTakesOnlyMpegNames) {
    const fs::path root = Dir / "music";
    for (const char* name :
         {"b.mp3", "X.MP3", "c.mp2", "a_dir/z.mp3", "a_dir/inner/y.mp3", "album.mp3/t.mp3", "sub1/a.mp3"})
        Copy(kHarbour, root / name);
    WriteFile(root / "x.wav", "RIFF");
    WriteFile(root / "cover.jpg", "JFIF");
    const TRun r = RunCli({"info", "--json", root.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> paths;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) paths.push_back(ParseJson(line)["path"].str);
    const std::string p = root.string() + "/";
    EXPECT_EQ(paths, (std::vector<std::string>{p + "X.MP3", p + "b.mp3", p + "c.mp2", p + "a_dir/z.mp3",
                                               p + "a_dir/inner/y.mp3", p + "album.mp3/t.mp3", p + "sub1/a.mp3"}));
}

TEST_F(CliTest, InfoJsonShapeAndValuesOfEverySample) {
    const std::vector<std::vector<std::string>> frameShapes = {
        {"id", "text"},
        {"id", "description", "value"},
        {"id", "description", "url"},
        {"id", "url"},
        {"id", "language", "description", "text"},
        {"id", "mime", "picture_type", "description", "data_size"},
        {"id", "data_size"},
        {"id", "text", "data_size"},
        {"id", "url", "data_size"}};
    std::map<std::string, Json> byName;
    for (const auto& entry : fs::directory_iterator(kSamples)) {
        if (entry.path().extension() != ".mp3") continue;
        const Json j = Info(entry.path());
        byName[entry.path().filename().string()] = j;
        SCOPED_TRACE(entry.path().string());
        EXPECT_EQ(j.Keys(), (std::vector<std::string>{"path", "size", "attributes", "mpeg", "tags", "id3v1", "id3v2",
                                                      "lyrics3", "errors"}));
        EXPECT_EQ(j["size"].number, double(fs::file_size(entry.path())));
        EXPECT_EQ(j["mpeg"].Keys(),
                  (std::vector<std::string>{"type", "version", "layer", "bitrate", "bitrate_type", "vbr", "frequency",
                                            "mode", "frames", "length", "seconds", "audio_start", "audio_end"}));
        EXPECT_EQ(j["mpeg"]["vbr"].boolean, j["mpeg"]["bitrate_type"].str.starts_with("VBR"));
        EXPECT_EQ(j["mpeg"]["layer"].str, "Layer III");
        EXPECT_GT(j["mpeg"]["frames"].number, 50);
        if (j["id3v1"].kind != Json::Null) {
            EXPECT_EQ(j["id3v1"].Keys(), (std::vector<std::string>{"title", "artist", "album", "year", "comment",
                                                                   "track", "genre", "genre_index"}));
        }
        if (j["id3v2"].kind != Json::Null) {
            EXPECT_EQ(j["id3v2"].Keys(), (std::vector<std::string>{"valid", "version", "size", "frames"}));
            EXPECT_TRUE(j["id3v2"]["valid"].boolean);
            for (const Json& f : j["id3v2"]["frames"].items)
                EXPECT_NE(std::find(frameShapes.begin(), frameShapes.end(), f.Keys()), frameShapes.end())
                    << f["id"].str;
        }
        EXPECT_EQ(j["errors"].kind, Json::Array);
        EXPECT_TRUE(j["errors"].items.empty());
    }
    ASSERT_GE(byName.size(), 7u);
    const Json& harbour = byName[kHarbour];
    EXPECT_EQ(FrameText(harbour, "TIT2"), "Harbour Lights");
    EXPECT_EQ(FrameText(harbour, "TRCK"), "3/10");
    EXPECT_EQ(harbour["mpeg"]["bitrate"].number, 128);
    const Json& utf16 = byName["Mira Kovac - Zvezdy nad rekoj.mp3"];
    EXPECT_EQ(FrameText(utf16, "TIT2"), "Звёзды над рекой");
    EXPECT_EQ(FrameText(utf16, "TALB"), "夜の灯り");
    const Json& mpeg2 = byName["Old Quay Radio - Night Bulletin.mp3"]["mpeg"];
    EXPECT_EQ(mpeg2["version"].str, "MPEG-2");
    EXPECT_EQ(mpeg2["frequency"].number, 22050);
    EXPECT_EQ(mpeg2["mode"].str, "Mono");
    EXPECT_EQ(byName["Juniper Static - Slow Orbit.mp3"]["mpeg"]["bitrate_type"].str.substr(0, 3), "VBR");
    const Json& boats = byName[kBoats];
    EXPECT_EQ(boats["lyrics3"]["ext_title"].str, "Paper Boats (Longer Title Than Thirty Bytes)");
    EXPECT_EQ(boats["lyrics3"]["lyrics"].str, "Fold the page and let it go\r\nDown the gutter, down the road\r\n");
    EXPECT_EQ(boats["id3v1"]["title"].str, "Paper Boats");
    EXPECT_EQ(boats["id3v1"]["track"].number, 2);
    // The tags by name: numbers as numbers, what no tag has left out.
    const Json& tags = harbour["tags"];
    EXPECT_EQ(tags.Keys(),
              (std::vector<std::string>{"title", "artist", "album", "year", "track", "track_total", "genre", "comment"}));
    EXPECT_EQ(tags["title"].str, "Harbour Lights");
    EXPECT_EQ(tags["genre"].str, "Folk");
    EXPECT_EQ(tags["comment"].str, "Recorded live at the pier");
    for (const char* number : {"year", "track", "track_total"}) EXPECT_EQ(tags[number].kind, Json::Number) << number;
    EXPECT_EQ(tags["year"].number + tags["track"].number + tags["track_total"].number, 2019 + 3 + 10);
    // Lyrics3's long title fills what ID3v1 lacks: nothing here, the ID3v1 title is there.
    EXPECT_EQ(boats["tags"]["title"].str, "Paper Boats");
    EXPECT_EQ(boats["tags"]["genre"].str, "Pop");
    EXPECT_EQ(boats["tags"]["track"].number, 2);
}

TEST_F(CliTest, InfoJsonOfAnID3v24FileListsTheFramesItHolds) {
    const fs::path file = fs::path(VELMAR_CORPUS) / "peers/taglib/extended-header.mp3";  // ID3v2.4, no audio
    if (!fs::exists(file)) GTEST_SKIP() << "the peer corpus is not there: " << file;
    const Json j = Info(file);
    std::vector<std::string> frames;
    for (const Json& f : j["id3v2"]["frames"].items) frames.push_back(f["id"].str + "=" + f["text"].str);
    EXPECT_EQ(frames, (std::vector<std::string>{"TDOR=2013", "TDRC=2013", "TCON=Folk/Power Metal", "TIT2=Druids",
                                                "TPE1=Excelsis", "TALB=Vo Chrieger U Drache", "TRCK=03"}));
    EXPECT_EQ(j["tags"]["year"].number, 2013);
    EXPECT_EQ(j["tags"]["track"].number, 3);
    EXPECT_EQ(j["tags"]["genre"].str, "Folk/Power Metal");
    EXPECT_EQ(j["mpeg"]["vbr"].kind, Json::Null);  // no MPEG frame to tell
    const TRun text = RunCli({"info", file.string()});
    EXPECT_NE(text.out.find("    TDRC: 2013\n    TCON: Folk/Power Metal\n"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("TYER"), std::string::npos) << text.out;
    // A saved file holds an ID3v2.3 tag, and is shown so.
    const fs::path copy = Dir / "v24.mp3";
    fs::copy_file(file, copy);
    ASSERT_EQ(RunCli({"set", "--title", "New", copy.string()}).status, 0);
    const Json saved = Info(copy);
    EXPECT_EQ(saved["id3v2"]["version"].str, "2.3.0");
    EXPECT_EQ(FrameText(saved, "TYER"), "2013");
    EXPECT_EQ(FrameText(saved, "TDRC"), "<missing>");
}

TEST_F(CliTest, InfoOfAFileThatCannotBeReadSaysWhyInPlainWordsInTheRecordAndOnStandardError) {
    const fs::path fifo = Dir / "fifo.mp3", missing = Dir / "missing.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string good = Copy(kHarbour, Dir / "good.mp3").string();
    const struct {
        fs::path Path;
        std::string Why;
    } cases[] = {
        {missing, "cannot open the file: No such file or directory"},
        {fifo, "cannot open the file: not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path.string());
        const TRun json = RunCli({"info", "--json", c.Path.string(), good});
        EXPECT_EQ(json.status, 1);
        EXPECT_EQ(json.err, "velmar-cli: " + c.Path.string() + ": " + c.Why + "\n");
        std::istringstream lines(json.out);
        std::string line;
        std::getline(lines, line);
        const Json failed = ParseJson(line);
        EXPECT_EQ(failed.Keys(), (std::vector<std::string>{"path", "error", "errors"}));
        EXPECT_EQ(failed["path"].str, c.Path.string());
        EXPECT_EQ(failed["error"].str, c.Why);
        ASSERT_EQ(failed["errors"].items.size(), 1u);
        EXPECT_EQ(failed["errors"].items[0].str, c.Why);
        std::getline(lines, line);
        EXPECT_EQ(ParseJson(line)["path"].str, good);  // the next file still comes
        const TRun text = RunCli({"info", c.Path.string()});
        EXPECT_EQ(text.status, 1);
        EXPECT_EQ(text.out, c.Path.string() + "\n  Error: " + c.Why + "\n\n");  // a blank line ends a record
        EXPECT_EQ(text.err, json.err);
    }
}

TEST_F(CliTest, ExitStatuses) {
    const std::string file = Copy(kHarbour, Dir / "a.mp3").string();
    const std::string missing = (Dir / "missing.mp3").string();
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"play", file},
                                               {"info"},
                                               {"info", "--xml", file},
                                               {"set"},
                                               {"set", "--title"},
                                               {"set", "--title", "x"},
                                               {"set", "--track", "two", file},
                                               {"set", "--frame", "TXXX=x", file},
                                               {"set", "--frame", "WXXX=x", file},
                                               {"set", "--frame", "TIT2", file},
                                               {"set", "--year", "abc", file},
                                               {"set", "--year", "20245", file},
                                               {"set", "--frame", "TRCK=one", file},
                                               {"set", "--frame", "TPOS=1/x", file},
                                               {"set", "--frame", "TYER=99", file},
                                               {"set", "--frame", "TDAT=1a05", file},
                                               {"set", "--frame", "TBPM=120.5", file},
                                               {"set", "--frame", "WOAR=http://a b", file},
                                               {"formats", "--data", missing},
                                               {"set", "--remove", "ti", file},
                                               {"set", "--bogus", file}})
        EXPECT_EQ(RunCli(args).status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(RunCli({"--help"}).status, 0);
    const TRun version = RunCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "velmar-cli " + velmar::VersionText() + "\n");
    EXPECT_EQ(RunCli({"info", file}).status, 0);
    const TRun info = RunCli({"info", "--json", file, missing});
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.err.rfind("velmar-cli: " + missing + ": ", 0), 0u) << info.err;  // said on stderr too
    std::istringstream lines(info.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_TRUE(ParseJson(first)["errors"].items.empty());
    EXPECT_FALSE(ParseJson(second)["errors"].items.empty());
    EXPECT_EQ(RunCli({"set", "--title", "x", missing}).status, 1);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(RunCli({"set", "--title", "x", missing, file}).status, 1);  // the other file is still done
    EXPECT_EQ(FrameText(Info(file), "TIT2"), "x");
}

TEST_F(CliTest, SetWritesValuesKeepsOtherFramesAndAudio) {
    const fs::path file = Copy(kLanterns, Dir / "l.mp3");
    const std::string audio = Between(file);
    const TRun r =
        RunCli({"set",       "--title", "Café Noir",      "--artist", "Ωmega Ensemble", "--album",    "Nights",
                "--year",    "2024",    "--track",        "4/12",     "--genre",        "Jazz",       "--comment",
                "new words", "--frame", "TCOM=Ada Byrne", "--frame", "WOAR=https://example.org/", "--remove", "TLEN",
                "--frame",   "TPOS=1/2", "--frame",       "TBPM=120", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json j = Info(file);
    EXPECT_EQ(j["id3v2"]["version"].str, "2.3.0");
    EXPECT_EQ(FrameText(j, "TIT2"), "Café Noir");
    EXPECT_EQ(FrameText(j, "TPE1"), "Ωmega Ensemble");
    EXPECT_EQ(FrameText(j, "TALB"), "Nights");
    EXPECT_EQ(FrameText(j, "TYER"), "2024");
    EXPECT_EQ(FrameText(j, "TRCK"), "4/12");
    EXPECT_EQ(FrameText(j, "TCOM"), "Ada Byrne");
    EXPECT_EQ(FrameText(j, "TPOS") + " " + FrameText(j, "TBPM"), "1/2 120");
    std::string url;
    for (const Json& f : j["id3v2"]["frames"].items)
        if (f["id"].str == "WOAR") url = f["url"].str;
    EXPECT_EQ(url, "https://example.org/");  // a URL frame set by --frame
    EXPECT_EQ(FrameText(j, "TSSE"), "LAME 64bits version 3.100 (http://lame.sf.net)");  // untouched
    EXPECT_EQ(FrameText(j, "TLEN"), "<missing>");
    int comments = 0;
    for (const Json& f : j["id3v2"]["frames"].items)
        if (f["id"].str == "COMM") {
            ++comments;
            EXPECT_EQ(f["text"].str, "new words");
            EXPECT_EQ(f["language"].str, "eng");  // the comment keeps the language it had
        }
    EXPECT_EQ(comments, 1);
    const Json& v1 = j["id3v1"];
    EXPECT_EQ(v1["title"].str, "Café Noir");
    EXPECT_EQ(v1["album"].str, "Nights");
    EXPECT_EQ(v1["year"].str, "2024");
    EXPECT_EQ(v1["track"].number, 4);
    EXPECT_EQ(v1["genre"].str, "Jazz");
    EXPECT_EQ(v1["comment"].str, "new words");
    EXPECT_EQ(Between(file), audio);

    // Dropping ID3v1 keeps the rest.
    ASSERT_EQ(RunCli({"set", "--no-v1", file.string()}).status, 0);
    const Json k = Info(file);
    EXPECT_EQ(k["id3v1"].kind, Json::Null);
    EXPECT_EQ(FrameText(k, "TIT2"), "Café Noir");
    EXPECT_EQ(Between(file), audio);
}

TEST_F(CliTest, SetAddsID3v2ToLyricsFileAndKeepsLyricsAndID3v1) {
    const fs::path file = Copy(kBoats, Dir / "b.mp3");
    const Json before = Info(file);
    const std::string audio = Between(file);
    ASSERT_EQ(RunCli({"set", "--artist", "Tessa Lorne & Co", file.string()}).status, 0);
    const Json after = Info(file);
    EXPECT_EQ(FrameText(after, "TPE1"), "Tessa Lorne & Co");
    EXPECT_EQ(after["id3v1"]["artist"].str, "Tessa Lorne & Co");
    EXPECT_EQ(after["id3v1"]["title"].str, "Paper Boats");
    for (const char* key : {"lyrics", "info", "author", "ext_album", "ext_artist", "ext_title"})
        EXPECT_EQ(after["lyrics3"][key].str, before["lyrics3"][key].str) << key;
    EXPECT_EQ(Between(file), audio);
}

TEST_F(CliTest, SetWithoutOptionsLeavesTagContentsAndAudioAsTheyWere) {
    for (const auto& entry : fs::directory_iterator(kSamples)) {
        if (entry.path().extension() != ".mp3") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const fs::path file = Dir / entry.path().filename();
        fs::copy_file(entry.path(), file);
        const Json before = Info(file);
        const std::string audio = Between(file);
        ASSERT_EQ(RunCli({"set", file.string()}).status, 0);
        const Json after = Info(file);
        EXPECT_EQ(Between(file), audio);
        for (const char* key : {"id3v1", "lyrics3"}) {
            const bool same = before[key].kind == after[key].kind && before[key].Keys() == after[key].Keys();
            EXPECT_TRUE(same) << key;
            for (const std::string& k : before[key].Keys())
                EXPECT_EQ(after[key][k].str, before[key][k].str) << key << "." << k;
        }
        ASSERT_EQ(before["id3v2"].kind, after["id3v2"].kind);
        if (before["id3v2"].kind == Json::Null) continue;
        // Frames are written in the program's own order: compare them as sets.
        EXPECT_EQ(FrameSet(after), FrameSet(before));
    }
}

TEST_F(CliTest, TagOfAnUnknownVersionIsWrittenBackUnlessReplaced) {
    // An ID3v2 tag of a version this program does not read, in front of real frames.
    const std::string sample = ReadFile(kSamples / kHarbour);
    const size_t v2size = size_t(Info(kSamples / kHarbour)["id3v2"]["size"].number);
    std::string tag = std::string("ID3\x05\x00\x00\x00\x00\x00\x14", 10) + std::string(20, 'q');
    const fs::path file = Dir / "future.mp3";
    WriteFile(file, tag + sample.substr(v2size));
    const std::string original = ReadFile(file);
    const Json j = Info(file);
    EXPECT_FALSE(j["id3v2"]["valid"].boolean);
    EXPECT_TRUE(j["id3v2"]["frames"].items.empty());

    EXPECT_EQ(RunCli({"set", file.string()}).status, 0);
    EXPECT_EQ(ReadFile(file), original);
    EXPECT_EQ(RunCli({"set", "--title", "New", file.string()}).status, 1);
    EXPECT_EQ(ReadFile(file), original);
    ASSERT_EQ(RunCli({"set", "--replace-v2", "--title", "New", file.string()}).status, 0);
    const Json k = Info(file);
    EXPECT_EQ(k["id3v2"]["version"].str, "2.3.0");
    EXPECT_EQ(FrameText(k, "TIT2"), "New");
    EXPECT_EQ(Between(file), original.substr(30));
}

TEST_F(CliTest, FullDiskLeavesTheOriginalUntouched) {
    const fs::path file = Copy(kHarbour, Dir / "full" / "a.mp3");
    const std::string original = ReadFile(file);
    TRunOptions o;
    o.fileSizeLimit = original.size() / 2;
    // A title longer than the tag's space: the file must be written anew.
    const TRun r = RunCli({"set", "--title", std::string(300, 'T'), file.string()}, o);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(ReadFile(file), original);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1) << "a temporary file was left";
}

TEST_F(CliTest, KilledWhileSavingLeavesTheOriginalUntouched) {
    // About 60 MB of MPEG frames behind the sample's tag.
    const std::string sample = ReadFile(kSamples / kHarbour);
    const Json j = Info(kSamples / kHarbour);
    const size_t start = size_t(j["mpeg"]["audio_start"].number);
    const std::string frames = sample.substr(start);
    std::string big = sample.substr(0, start);
    while (big.size() < 60u << 20) big += frames;
    const fs::path file = Dir / "big" / "big.mp3";
    fs::create_directories(file.parent_path());
    WriteFile(file, big);

    bool caught = false;
    for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        // A title longer than the tag's space: the file is written anew, beside the original.
        const pid_t pid = Spawn({"set", "--title", std::string(300, 'I'), file.string()}, {}, devNull, devNull);
        ::close(devNull);
        const std::string tempPrefix = ".big.mp3.velmar-new";
        int ws = 0;
        while (::waitpid(pid, &ws, WNOHANG) == 0) {
            for (const auto& e : fs::directory_iterator(file.parent_path()))
                if (e.path().filename().string().starts_with(tempPrefix)) {
                    ::kill(pid, SIGKILL);
                    caught = true;
                    break;
                }
            if (caught) break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (caught) {
            ::waitpid(pid, &ws, 0);
            ASSERT_TRUE(WIFSIGNALED(ws));
        } else {
            WriteFile(file, big);  // the save finished first: start again from the original
        }
    }
    if (!caught) GTEST_SKIP() << "the save always finished before it could be interrupted";
    EXPECT_TRUE(ReadFile(file) == big) << "the original was changed";
    // A left temporary file is not taken for an audio file, and the next save works.
    const TRun info = RunCli({"info", "--json", file.parent_path().string()});
    EXPECT_EQ(std::count(info.out.begin(), info.out.end(), '\n'), 1);
    ASSERT_EQ(RunCli({"set", "--title", std::string(400, 'F'), file.string()}).status, 0);
    EXPECT_EQ(FrameText(Info(file), "TIT2"), std::string(400, 'F'));
    EXPECT_FALSE(fs::exists(file.parent_path() / ".big.mp3.velmar-new"));  // the killed save's file went
}

TEST_F(CliTest, TargetInReadOnlyFolderFailsAndStaysUntouched) {
    const fs::path folder = Dir / "ro";
    const fs::path file = Copy(kHarbour, folder / "a.mp3");
    const std::string original = ReadFile(file);
    TRunOptions o;
    if (::geteuid() == 0) {
        // Root may write anywhere: run the program as an ordinary user that owns the file.
        o.user = 65534;
        if (::chown(Dir.c_str(), o.user, o.user) != 0 || ::chown(folder.c_str(), o.user, o.user) != 0 ||
            ::chown(file.c_str(), o.user, o.user) != 0)
            GTEST_SKIP() << "cannot hand the folder to an ordinary user";
    }
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const TRun r = RunCli({"set", "--title", std::string(300, 'N'), file.string()}, o);  // must be written anew
    if (r.status == 126 || r.status == 127) GTEST_SKIP() << "cannot run the program as an ordinary user";
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("a.mp3"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(file), original);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
}

// An ordinary user may replace files in a folder it may write, but not a file it may not
// write, and not a file it cannot give back to its owner.
TEST_F(CliTest, SaveKeepsTheFilesProtectionAndOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand files to another user";
    const uid_t other = 65534;
    const fs::path folder = Dir / "shared";
    fs::create_directories(folder);
    fs::permissions(Dir, fs::perms::all);
    fs::permissions(folder, fs::perms::all);
    struct TCase {
        const char* Name;
        fs::perms Mode;
        bool Saved;
    };
    for (const TCase& c :
         {TCase{"readonly.mp3", fs::perms(0444), false}, TCase{"everyones.mp3", fs::perms(0666), false}}) {
        SCOPED_TRACE(c.Name);
        const fs::path file = Copy(kHarbour, folder / c.Name);  // root's file
        fs::permissions(file, c.Mode);
        const std::string original = ReadFile(file);
        // An album longer than the tag's space: the file would have to be written anew.
        const TRun r = RunCli({"set", "--album", std::string(300, 'X'), file.string()}, {.user = other});
        if (r.status == 126 || r.status == 127) GTEST_SKIP() << "cannot run the program as an ordinary user";
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("velmar-cli: " + file.string() + ": Cannot "), std::string::npos) << r.err;
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(st.st_mode & 07777, unsigned(c.Mode));
        EXPECT_TRUE(ReadFile(file) == original) << "the file was changed";
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << "a temporary file was left behind";

    // Once the tag has room, a change that fits is written in place: a user who may
    // write the file may change it, and it stays its owner's.
    const fs::path everyones = folder / "everyones.mp3";
    ASSERT_EQ(RunCli({"set", "--comment", "room", everyones.string()}).status, 0);
    ASSERT_EQ(RunCli({"set", "--album", "X", everyones.string()}, {.user = other}).status, 0);
    struct stat kept {};
    ASSERT_EQ(::stat(everyones.c_str(), &kept), 0);
    EXPECT_EQ(kept.st_uid, 0u);
    EXPECT_EQ(FrameText(Info(everyones), "TALB"), "X");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2);

    // Root saving another user's file leaves it that user's, with its mode.
    const fs::path theirs = Copy(kHarbour, folder / "theirs.mp3");
    ASSERT_EQ(::chown(theirs.c_str(), other, other), 0);
    fs::permissions(theirs, fs::perms(0640));
    ASSERT_EQ(RunCli({"set", "--album", "X", theirs.string()}).status, 0);
    struct stat st {};
    ASSERT_EQ(::stat(theirs.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, other);
    EXPECT_EQ(st.st_gid, other);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(FrameText(Info(theirs), "TALB"), "X");
}

// Damaged frame walks and odd extended headers: a save keeps every frame a reader finds.
TEST_F(CliTest, SaveKeepsFramesAroundAMalformedFrameAndBehindAnOddExtendedHeader) {
    auto frame = [](const std::string& id, const std::string& body) {
        const uint32_t n = uint32_t(body.size());
        return id + std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n), 0, 0} + body;
    };
    auto tag = [](const std::string& ext, const std::string& frames) {
        const size_t n = ext.size() + frames.size();
        return std::string("ID3\x03\x00", 5) + char(ext.empty() ? 0 : 0x40) +
               std::string{char(n >> 21 & 0x7F), char(n >> 14 & 0x7F), char(n >> 7 & 0x7F), char(n & 0x7F)} + ext +
               frames;
    };
    const std::string audio =
        ReadFile(Copy(kHarbour, Dir / "source.mp3")).substr(size_t(Info(Dir / "source.mp3")["id3v2"]["size"].number));
    const std::string tit2 = frame("TIT2", std::string("\0Title", 6)), tpe1 = frame("TPE1", std::string("\0Artist", 7)),
                      comm = frame("COMM", std::string("\0engD\0Text", 11));
    const std::string malformed = tag("", tit2 + frame(std::string("X\x01Y\x02", 4), "12345") + tpe1 + comm);
    const std::string ext12 = tag(std::string("\0\0\0\x0C", 4) + std::string(12, '\0'), tit2 + tpe1);
    for (const auto& [name, head] : {std::pair{"malformed.mp3", malformed}, std::pair{"ext12.mp3", ext12}}) {
        SCOPED_TRACE(name);
        const fs::path file = Dir / name;
        WriteFile(file, head + audio);
        ASSERT_EQ(RunCli({"set", "--album", "X", file.string()}).status, 0);
        const Json after = Info(file);
        EXPECT_EQ(FrameText(after, "TIT2"), "Title");
        EXPECT_EQ(FrameText(after, "TPE1"), "Artist");
        EXPECT_EQ(FrameText(after, "TALB"), "X");
        EXPECT_EQ(FrameText(after, "COMM"), name == std::string("malformed.mp3") ? "Text" : "<missing>");
        EXPECT_TRUE(Between(file) == audio) << "the audio changed";
    }
}

TEST_F(CliTest, SetCutsLongID3v1TextsAsTheTagEditorDoes) {
    const fs::path file = Copy(kLanterns, Dir / "l.mp3");
    const std::string title31 = "A Title Of Thirty-One Letters!!";
    ASSERT_EQ(title31.size(), 31u);
    ASSERT_EQ(RunCli({"set", "--title", title31, "--album", std::string(30, 'b'), file.string()}).status, 0);
    const Json after = Info(file);
    EXPECT_EQ(after["id3v1"]["title"].str, title31.substr(0, 29));
    EXPECT_EQ(after["id3v1"]["album"].str, std::string(30, 'b'));
    EXPECT_EQ(FrameText(after, "TIT2"), title31);
}

// A file that gets its first ID3v1 tag gets the ID3v2 values in it; one that has an ID3v1 tag keeps it.
TEST_F(CliTest, SetV1MakesANewID3v1TagFromTheID3v2Values) {
    const fs::path orbit = Copy("Juniper Static - Slow Orbit.mp3", Dir / "o.mp3");  // ID3v2 only
    const fs::path boats = Copy(kBoats, Dir / "b.mp3");                             // ID3v1 with its own values
    const std::string album31 = "An Album Title Of 31 Characters";
    ASSERT_EQ(album31.size(), 31u);
    ASSERT_EQ(RunCli({"set", "--album", album31, "--v1", orbit.string()}).status, 0);
    ASSERT_EQ(RunCli({"set", "--v1", boats.string()}).status, 0);
    const Json o = Info(orbit), b = Info(boats);
    const std::pair<const char*, std::string> want[] = {{"title", "Slow Orbit"},
                                                        {"artist", "Juniper Static"},
                                                        {"album", album31.substr(0, 29)},
                                                        {"year", "2016"},
                                                        {"genre", "Electronic"}};
    for (const auto& [key, value] : want) EXPECT_EQ(o["id3v1"][key].str, value) << key;
    EXPECT_EQ(o["id3v1"]["track"].number, 5);
    EXPECT_EQ(b["id3v1"]["title"].str, "Paper Boats");
    EXPECT_EQ(b["id3v1"]["track"].number, 2);
}

// Texts with the characters JSON must escape come back value by value through a JSON parser.
TEST_F(CliTest, InfoJsonEscapesBackslashQuoteAndControlCharacters) {
    const fs::path file = Copy(kHarbour, Dir / "j.mp3");
    const std::string title = "back\\slash \"quoted\" tab\tline\nbell\x07end";
    const std::string artist = "\x01\x1F \xE2\x80\xA8 caf\xC3\xA9";
    ASSERT_EQ(RunCli({"set", "--title", title, "--artist", artist, "--v1", file.string()}).status, 0);
    const TRun r = RunCli({"info", "--json", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    Json j;
    ASSERT_NO_THROW(j = ParseJson(r.out.substr(0, r.out.find_last_not_of('\n') + 1))) << r.out;
    EXPECT_EQ(FrameText(j, "TIT2"), title);
    EXPECT_EQ(FrameText(j, "TPE1"), artist);
    EXPECT_EQ(j["id3v1"]["title"].str, title.substr(0, 29));
    EXPECT_EQ(j["path"].str, file.string());
}

TEST_F(CliTest, RenameByMaskOrFormatNeverOverAnotherFile) {
    const fs::path lanterns = Copy(kLanterns, Dir / "a.mp3"), harbour = Copy(kHarbour, Dir / "b.MP3"),
                   again = Copy(kHarbour, Dir / "c.MP3");
    const std::string bytes = ReadFile(harbour);
    const TRun dry = RunCli({"rename", "--mask", "%10 - %01", "--dry-run", lanterns.string(), harbour.string()});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.out, lanterns.string() + " -> " + (Dir / "01 - Lanterns in the Rain.mp3").string() + "\n" +
                           harbour.string() + " -> " + (Dir / "03 - Harbour Lights.MP3").string() + "\n");
    EXPECT_TRUE(fs::exists(lanterns));

    // Two files with the same tags: the second is reported and stays where it is.
    const TRun r = RunCli({"rename", "--format", "Track - Title", "--data", VELMAR_SOURCE "/data", lanterns.string(),
                           harbour.string(), again.string()});
    EXPECT_EQ(r.status, 2) << r.err;  // no format of that name
    const TRun real = RunCli({"rename", "--mask", "%10 - %01", lanterns.string(), harbour.string(), again.string()});
    EXPECT_EQ(real.status, 1);
    EXPECT_NE(real.err.find("c.MP3: not renamed"), std::string::npos) << real.err;
    EXPECT_TRUE(fs::exists(again));
    EXPECT_FALSE(fs::exists(harbour));
    EXPECT_EQ(ReadFile(Dir / "03 - Harbour Lights.MP3"), bytes);
    EXPECT_TRUE(fs::exists(Dir / "01 - Lanterns in the Rain.mp3"));

    const TRun shipped =
        RunCli({"rename", "--format", "Track. Title", "--data", VELMAR_SOURCE "/data", again.string()});
    EXPECT_EQ(shipped.status, 0) << shipped.err;
    EXPECT_TRUE(fs::exists(Dir / "03. Harbour Lights.MP3"));
}

// The dry run marks exactly what the real run cannot do, and the real run does all
// the rest: a chain and a swap of names go through; a name too long stays unused.
TEST_F(CliTest, RenameCarriesOutChainsAndSwapsAsTheDryRunShows) {
    const std::string longTitle(270, 'L');  // 274 bytes with the extension
    const std::vector<std::pair<std::string, std::string>> titles = {
        {"a.mp3", "b"}, {"b.mp3", "c"}, {"x.mp3", "y"}, {"y.mp3", "x"}, {"long.mp3", longTitle}};
    std::vector<std::string> args = {"rename", "--mask", "%01"};
    std::map<std::string, std::string> before;
    for (const auto& [name, title] : titles) {
        const fs::path f = Copy(kHarbour, Dir / name);
        ASSERT_EQ(RunCli({"set", "--title", title, f.string()}).status, 0);
        before[name] = ReadFile(f);
        args.push_back(f.string());
    }
    auto moved = [&](const char* from, const char* to) {
        return (Dir / from).string() + " -> " + (Dir / to).string() + "\n";
    };
    const std::string moves =
        moved("a.mp3", "b.mp3") + moved("b.mp3", "c.mp3") + moved("x.mp3", "y.mp3") + moved("y.mp3", "x.mp3");
    const std::string refused = "velmar-cli: " + (Dir / "long.mp3").string() + ": not renamed to \"" + longTitle +
                                ".mp3\": the new name is too long: 274 bytes, at most 255\n";
    std::vector<std::string> dryArgs = args;
    dryArgs.back() = "--dry-run";  // without long.mp3 nothing is refused
    EXPECT_EQ(RunCli(dryArgs).status, 0);
    dryArgs.push_back(args.back());
    const TRun dry = RunCli(dryArgs);
    EXPECT_EQ(dry.status, 1);
    EXPECT_EQ(dry.out, moves);
    EXPECT_EQ(dry.err, refused);
    for (const auto& [name, bytes] : before) EXPECT_EQ(ReadFile(Dir / name), bytes) << name;

    const TRun real = RunCli(args);
    EXPECT_EQ(real.status, 1);
    EXPECT_EQ(real.out, dry.out);
    EXPECT_EQ(real.err, dry.err);
    const std::map<std::string, std::string> after = {{"b.mp3", before["a.mp3"]},
                                                      {"c.mp3", before["b.mp3"]},
                                                      {"x.mp3", before["y.mp3"]},
                                                      {"y.mp3", before["x.mp3"]},
                                                      {"long.mp3", before["long.mp3"]}};
    std::map<std::string, std::string> now;
    for (const auto& e : fs::directory_iterator(Dir)) now[e.path().filename().string()] = ReadFile(e.path());
    EXPECT_TRUE(now == after) << "not the files planned";
}

TEST_F(CliTest, FormatsListsTheFormatsOfAMode) {
    const TRun r = RunCli({"formats", "--mode", "list", "--data", VELMAR_SOURCE "/data"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Default\n");
    const TRun rename = RunCli({"formats", "--data", VELMAR_SOURCE "/data"});
    EXPECT_EQ(rename.out, "Artist - Album - Track - Title\nArtist - Title\nTrack - Artist - Title\nTrack. Title\n");
    EXPECT_EQ(RunCli({"formats", "--mode", "other"}).status, 2);
    EXPECT_EQ(RunCli({"rename", "--mask", "%01"}).status, 2);
    EXPECT_EQ(RunCli({"rename", "--mask", "%01", "--format", "x", "f.mp3"}).status, 2);
    EXPECT_EQ(RunCli({"rename", "--help"}).status, 0);

    // Without --data: the user's own formats and lists (where the desktop program saves
    // them), then the shipped ones; the user's copy of a shipped name wins.
    const fs::path user = Dir / "xdg" / "Orvane Design" / "Velmar" / "DATA";
    fs::create_directories(user / "Outputs" / "Rename");
    fs::create_directories(user / "Lists" / "Mine");
    WriteFile(user / "Outputs" / "Rename" / "Mine", "[Misc]\r\nuser=%01 (mine)\r\n");
    WriteFile(user / "Outputs" / "Rename" / "Track. Title", "[Misc]\r\nuser=%01 (changed)\r\n");
    WriteFile(user / "Lists" / "Mine" / "main.txt", "%01\n");
    const std::string xdg = (Dir / "xdg").string(),
                      old = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    ::setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    ::setenv("VELMAR_DATA", VELMAR_SOURCE "/data", 1);
    const TRun both = RunCli({"formats"});
    EXPECT_EQ(both.out, "Artist - Album - Track - Title\nArtist - Title\nMine\nTrack - Artist - Title\nTrack. Title\n");
    const fs::path song = Copy(kHarbour, Dir / "a.mp3");
    for (const auto& [format, renamed] : {std::pair{"Mine", " (mine)"}, {"Track. Title", " (changed)"}}) {
        const TRun r = RunCli({"rename", "--dry-run", "--format", format, song.string()});
        EXPECT_NE(r.out.find(renamed), std::string::npos) << format << ": " << r.out << r.err;
    }
    EXPECT_EQ(RunCli({"list", "--list", "Mine", "-o", (Dir / "l.txt").string(), song.string()}).status, 0);
    EXPECT_TRUE(fs::exists(Dir / "l.txt"));
    old.empty() ? ::unsetenv("XDG_DATA_HOME") : ::setenv("XDG_DATA_HOME", old.c_str(), 1);
    ::unsetenv("VELMAR_DATA");
}

TEST_F(CliTest, FillFromNamesThenRenameBackGivesTheNames) {
    const std::string audio = Between(Copy(kHarbour, Dir / "source.mp3"));
    std::vector<std::string> files;
    for (const char* name : {"03 - The Band - First Song.mp3", "04 - The Band - Second Song.mp3"}) {
        files.push_back((Dir / "in" / name).string());
        fs::create_directories(Dir / "in");
        WriteFile(files.back(), audio);
    }
    std::vector<std::string> args = {"fill", "--mask", "%10 - %00 - %01", "--album", "Live", "--year", "2001"};
    args.insert(args.end(), files.begin(), files.end());
    const TRun dry = RunCli([&] {
        auto a = args;
        a.push_back("--dry-run");
        return a;
    }());
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("  Title: First Song\n"), std::string::npos) << dry.out;
    EXPECT_EQ(Info(files[0])["id3v2"].kind, Json::Null);  // nothing written yet
    ASSERT_EQ(RunCli(args).status, 0);
    const Json first = Info(files[0]);
    EXPECT_EQ(FrameText(first, "TPE1"), "The Band");
    EXPECT_EQ(FrameText(first, "TIT2"), "First Song");
    EXPECT_EQ(FrameText(first, "TRCK"), "3");  // no total: the files had none
    EXPECT_EQ(FrameText(first, "TALB"), "Live");
    EXPECT_EQ(first["id3v1"]["year"].str, "2001");
    EXPECT_TRUE(Between(files[0]) == audio) << "the audio changed";

    // Renamed away and back by the same mask: the names come again.
    for (const char* mask : {"%01 (%00) %10", "%10 - %00 - %01"}) {
        std::vector<std::string> now;
        for (const auto& e : fs::directory_iterator(Dir / "in")) now.push_back(e.path().string());
        std::vector<std::string> rename = {"rename", "--mask", mask};
        rename.insert(rename.end(), now.begin(), now.end());
        ASSERT_EQ(RunCli(rename).status, 0) << mask;
    }
    for (const std::string& f : files) EXPECT_TRUE(fs::exists(f)) << f;
    EXPECT_EQ(RunCli({"fill", "--genre", "No Such Genre", "--mask", "%01", files[0]}).status, 2);
}

// ---- list, match, wipe ----

// Two files whose values hold what HTML and CSV reports must escape; the second has no album.
std::pair<fs::path, fs::path> TagTwoForLists(const fs::path& a, const fs::path& b) {
    EXPECT_EQ(RunCli({"set", "--artist", "Fish & Chips <Live>", "--title", "Say \"Hi\", then go", "--album",
                      "Ünïcode 東京", "--year", "2020", "--track", "7", a.string()})
                  .status,
              0);
    EXPECT_EQ(RunCli({"set", "--artist", "Мира, Ковач", "--title", "Plain", "--album", "", "--track", "12", b.string()})
                  .status,
              0);
    return {a, b};
}

TEST_F(CliTest, ListEscapesValuesForHtmlAndCsvReportsInTheOrderGiven) {
    const auto [a, b] = TagTwoForLists(Copy(kHarbour, Dir / "in" / "a.mp3"), Copy(kHarbour, Dir / "in" / "b.mp3"));
    WriteFile(Dir / "top.txt", "<table>\n");
    WriteFile(Dir / "main.txt", "<tr><td>%10</td><td>%00</td><td>%01</td><td>%05</td><td>%11</td></tr>\n");
    WriteFile(Dir / "end.txt", "</table>\n");
    const fs::path html = Dir / "r.html";
    const TRun r = RunCli({"list", "--top", (Dir / "top.txt").string(), "--main", (Dir / "main.txt").string(), "--end",
                           (Dir / "end.txt").string(), "-o", html.string(), b.string(), a.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, html.string() + ": 2 file(s)\n");
    EXPECT_EQ(ReadFile(html),
              "<table>\r\n<tr><td>12</td><td>Мира, Ковач</td><td>Plain</td><td></td><td>2019</td></tr>\r\n"
              "<tr><td>07</td><td>Fish &amp; Chips &lt;Live&gt;</td><td>Say &quot;Hi&quot;, then go</td>"
              "<td>Ünïcode 東京</td><td>2020</td></tr>\r\n</table>\r\n");

    // The shipped CSV list; the extension is told apart in any letter case.
    const fs::path csv = Dir / "r.CSV";
    ASSERT_EQ(
        RunCli({"list", "--list", "CSV", "--data", VELMAR_SOURCE "/data", "-o", csv.string(), b.string(), a.string()})
            .status,
        0);
    EXPECT_EQ(ReadFile(csv),
              "Track,Artist,Title,Album,Year,Length\r\n12,\"Мира, Ковач\",Plain,,2019,00:04\r\n"
              "07,Fish & Chips <Live>,\"Say \"\"Hi\"\", then go\",Ünïcode 東京,2020,00:04\r\n");

    // A format's prefixes, suffixes and text for empty values are template text, not escaped.
    fs::create_directories(Dir / "data" / "Outputs" / "MakeList");
    WriteFile(Dir / "data" / "Outputs" / "MakeList" / "Marked",
              "[Misc]\r\nuser=n/a & <none>\r\n\r\n[Prefix]\r\n05=<i>\r\n\r\n[Suffix]\r\n05=</i>\r\n");
    WriteFile(Dir / "two.txt", "%00|%05");
    const fs::path marked = Dir / "m.htm";
    const TRun f = RunCli({"list", "--main", (Dir / "two.txt").string(), "--format", "Marked", "--data",
                           (Dir / "data").string(), "-o", marked.string(), b.string(), a.string()});
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(ReadFile(marked), "Мира, Ковач|n/a & <none>\r\nFish &amp; Chips &lt;Live&gt;|<i>Ünïcode 東京</i>\r\n");

    // A folder is scanned; a plain report takes the values as they are.
    WriteFile(Dir / "title.txt", "%01\r\n");
    const fs::path plain = Dir / "r.txt";
    ASSERT_EQ(
        RunCli({"list", "--main", (Dir / "title.txt").string(), "-o", plain.string(), (Dir / "in").string()}).status,
        0);
    EXPECT_EQ(ReadFile(plain), "Say \"Hi\", then go\r\nPlain\r\n");
}

TEST_F(CliTest, ListReportsUnreadableFilesAndKeepsAReportItCannotReplace) {
    const fs::path file = Copy(kHarbour, Dir / "a.mp3"), missing = Dir / "missing.mp3";
    WriteFile(Dir / "main.txt", "[%01]\n");
    auto list = [&](const fs::path& report, const TRunOptions& o = {}) {
        return RunCli(
            {"list", "--main", (Dir / "main.txt").string(), "-o", report.string(), file.string(), missing.string()}, o);
    };
    // A file that cannot be read gets empty values; the report is still written.
    const TRun r = list(Dir / "r.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(missing.string() + ": "), std::string::npos) << r.err;
    EXPECT_EQ(r.out, (Dir / "r.txt").string() + ": 2 file(s)\n");
    EXPECT_EQ(ReadFile(Dir / "r.txt"), "[Harbour Lights]\r\n[]\r\n");

    const TRun noFolder = list(Dir / "nowhere" / "r.txt");
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_NE(noFolder.err.find((Dir / "nowhere" / "r.txt").string() + "\": No such file or directory"),
              std::string::npos)
        << noFolder.err;
    EXPECT_EQ(noFolder.out, "");
    fs::create_directories(Dir / "folder.txt");
    const TRun folder = list(Dir / "folder.txt");
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("folder.txt\": it is not a plain file"), std::string::npos) << folder.err;

    // A report that does not fit on the disk leaves the old one whole and no temporary file.
    fs::create_directories(Dir / "full");
    WriteFile(Dir / "full" / "r.txt", "old\r\n");
    TRunOptions o;
    o.fileSizeLimit = 8;
    const TRun full = list(Dir / "full" / "r.txt", o);
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("r.txt\": File too large"), std::string::npos) << full.err;
    EXPECT_EQ(ReadFile(Dir / "full" / "r.txt"), "old\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "full"), {}), 1) << "a temporary file was left";
}

// MPEG-2.5 Layer III frames, 8 kbit/s at 12 kHz, mono: 48 bytes and 48 ms each.
void WriteStream(const fs::path& file, int seconds) {
    std::string frame(48, '\x11');
    frame.replace(0, 4, "\xFF\xE3\x14\xC0", 4);
    std::string out;
    out.reserve(size_t(seconds) * 1000);
    for (int i = 0; i < seconds * 1000 / 48; ++i) out += frame;
    WriteFile(file, out);
}

TEST_F(CliTest, MatchTakesEachFileThatKeepsTheTotalStrictlyBelowTheTime) {
    const std::string a = (Dir / "a.mp3").string(), b = (Dir / "b.mp3").string(), c = (Dir / "c.mp3").string();
    WriteStream(a, 30 * 60);
    WriteStream(b, 30 * 60);
    WriteStream(c, 10 * 60);
    auto match = [&](const std::string& minutes, std::vector<std::string> files) {
        files.insert(files.begin(), {"match", "--minutes", minutes});
        return RunCli(files);
    };
    // 30 + 30 reaches 60 minutes, so the second file is passed over and the third still fits.
    const TRun sixty = match("60", {a, b, c});
    EXPECT_EQ(sixty.status, 0) << sixty.err;
    EXPECT_EQ(sixty.out, a + "\n" + c + "\nA total time of 40:00 was selected.\n");
    EXPECT_EQ(match("70", {a, b, c}).out, a + "\n" + b + "\nA total time of 60:00 was selected.\n");
    EXPECT_EQ(match("71", {a, b, c}).out, a + "\n" + b + "\n" + c + "\nA total time of 70:00 was selected.\n");
    EXPECT_EQ(match("200", {a, b, a, b, c}).out,
              a + "\n" + b + "\n" + a + "\n" + b + "\n" + c + "\nA total time of 130:00 was selected.\n");
    const TRun none = match("10", {a, b, c});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "A total time of 00:00 was selected.\n");
    // A folder is scanned; a file that cannot be read is reported and not chosen.
    const std::string missing = (Dir / "missing.mp3").string();
    const TRun scanned = match("45", {missing, Dir.string()});
    EXPECT_EQ(scanned.status, 1);
    EXPECT_NE(scanned.err.find(missing + ": "), std::string::npos) << scanned.err;
    EXPECT_EQ(scanned.out, a + "\n" + c + "\nA total time of 40:00 was selected.\n");
}

TEST_F(CliTest, WipeEveryChoiceRemovesOnlyThoseTagsAndKeepsEveryOtherByte) {
    // A file with all three tags: the sample's Lyrics3 and ID3v1 tags and a new ID3v2 tag.
    const fs::path source = Copy(kBoats, Dir / "source.mp3");
    ASSERT_EQ(RunCli({"set", "--artist", "Tessa Lorne & Co", source.string()}).status, 0);
    const Json j = Info(source);
    const std::string original = ReadFile(source);
    const size_t v2 = size_t(j["id3v2"]["size"].number), audioEnd = size_t(j["mpeg"]["audio_end"].number);
    ASSERT_EQ(original.substr(original.size() - 128, 3), "TAG");
    const std::string head = original.substr(0, v2), audio = original.substr(v2, audioEnd - v2),
                      lyrics = original.substr(audioEnd, original.size() - 128 - audioEnd),
                      v1 = original.substr(original.size() - 128);
    ASSERT_TRUE(lyrics.ends_with("LYRICS200"));
    for (int mask = 1; mask < 8; ++mask) {
        const bool wipeV2 = mask & 1, wipeLyrics = mask & 2, wipeV1 = mask & 4;
        std::vector<std::string> args = {"wipe"};
        std::string names;
        for (const auto& [on, flag, name] :
             {std::tuple{wipeV2, "--v2", "ID3v2"}, std::tuple{wipeLyrics, "--lyrics3", "Lyrics3"},
              std::tuple{wipeV1, "--v1", "ID3v1"}})
            if (on) {
                args.push_back(flag);
                names += (names.empty() ? "" : ", ") + std::string(name);
            }
        SCOPED_TRACE(names);
        const fs::path file = Dir / ("w" + std::to_string(mask) + ".mp3");
        fs::copy_file(source, file);
        args.push_back(file.string());

        args.insert(args.begin() + 1, "--dry-run");
        const TRun dry = RunCli(args);
        EXPECT_EQ(dry.status, 0) << dry.err;
        EXPECT_EQ(dry.out, file.string() + ": would remove " + names + "\n");
        EXPECT_TRUE(ReadFile(file) == original) << "the dry run changed the file";

        args.erase(args.begin() + 1);
        const TRun r = RunCli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, file.string() + ": removed " + names + "\n");
        const std::string want = (wipeV2 ? "" : head) + audio + (wipeLyrics ? "" : lyrics) + (wipeV1 ? "" : v1);
        EXPECT_TRUE(ReadFile(file) == want) << "not exactly the kept tags around the audio";
        const Json after = Info(file);
        EXPECT_EQ(after["id3v2"].kind == Json::Null, wipeV2);
        EXPECT_EQ(after["lyrics3"].kind == Json::Null, wipeLyrics);
        EXPECT_EQ(after["id3v1"].kind == Json::Null, wipeV1);
    }
}

TEST_F(CliTest, WipeLeavesFilesWithoutTheChosenTagsUntouchedAndGoesOnAfterAFailure) {
    const std::string sample = ReadFile(kSamples / kHarbour);
    const fs::path bare = Dir / "bare.mp3", onlyV2 = Copy(kHarbour, Dir / "v2.mp3");
    WriteFile(bare, sample.substr(size_t(Info(kSamples / kHarbour)["id3v2"]["size"].number)));
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(bare, old);
    fs::last_write_time(onlyV2, old);
    const std::string bareBytes = ReadFile(bare);
    const std::string missing = (Dir / "missing.mp3").string();

    const TRun r = RunCli({"wipe", "--v2", "--v1", "--lyrics3", missing, bare.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(missing + ": "), std::string::npos) << r.err;
    EXPECT_EQ(r.out, bare.string() + ": none of the chosen tags, left as it is\n");
    EXPECT_TRUE(ReadFile(bare) == bareBytes);
    EXPECT_EQ(fs::last_write_time(bare), old);

    const TRun dry = RunCli({"wipe", "--dry-run", "--v1", missing, onlyV2.string()});
    EXPECT_EQ(dry.status, 1);
    EXPECT_EQ(dry.out, onlyV2.string() + ": none of the chosen tags, left as it is\n");
    ASSERT_EQ(RunCli({"wipe", "--v1", "--lyrics3", onlyV2.string()}).status, 0);
    EXPECT_TRUE(ReadFile(onlyV2) == sample);
    EXPECT_EQ(fs::last_write_time(onlyV2), old);
}

TEST_F(CliTest, ListMatchAndWipeUsageErrors) {
    const std::string file = Copy(kHarbour, Dir / "a.mp3").string(), report = (Dir / "r.html").string();
    const std::string data = VELMAR_SOURCE "/data", top = (Dir / "top.txt").string();
    WriteFile(top, "x\n");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"list", "-o", report, file},                                 // no templates
             {"list", "--list", "CSV", "--top", top, "-o", report, file},  // both
             {"list", "--list", "CSV", file},                              // no report
             {"list", "--list", "CSV", "-o", report},                      // no files
             {"list", "--list", "CSV", "-o"},                              // no value
             {"list", "--list", "CSV", "-x", "-o", report, file},          // unknown option
             {"list", "--list", "No Such List", "--data", data, "-o", report, file},
             {"list", "--list", "..", "--data", data, "-o", report, file},
             {"list", "--list", "CSV", "--format", "No Such Format", "--data", data, "-o", report, file},
             {"list", "--top", (Dir / "missing.txt").string(), "-o", report, file},
             {"list", "--top", Dir.string(), "-o", report, file},
             {"match", file},
             {"match", "--minutes"},
             {"match", "--minutes", "5"},
             {"match", "--minutes", "0", file},
             {"match", "--minutes", "-5", file},
             {"match", "--minutes", "+5", file},
             {"match", "--minutes", "1.5", file},
             {"match", "--minutes", "", file},
             {"match", "--minutes", "99999999999999999999", file},
             {"match", "--minutes", "153722867280912931", file},  // its seconds do not fit in 64 bits
             {"match", "--seconds", "5", file},
             {"wipe", file},
             {"wipe", "--dry-run", file},
             {"wipe", "--v1"},
             {"wipe", "--v3", file}}) {
        const TRun r = RunCli(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("velmar-cli: "), std::string::npos) << ::testing::PrintToString(args);
        EXPECT_EQ(r.out, "") << ::testing::PrintToString(args);
    }
    EXPECT_FALSE(fs::exists(report));
    for (const char* command : {"list", "match", "wipe"}) {
        const TRun help = RunCli({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.out.starts_with(std::string("usage: velmar-cli ") + command)) << help.out;
    }
    EXPECT_EQ(RunCli({"match", "--minutes", "153722867280912930", file}).status, 0);
    EXPECT_NE(RunCli({"--help"}).out.find("velmar-cli wipe "), std::string::npos);
}

// ---- pictures, comments, user frames and lyrics ----

// Picture bytes with every byte value, runs of 0xFF and zeros, larger than any text frame.
std::string PictureBytes(const std::string& head, size_t size) {
    std::string data = head;
    for (size_t i = 0; data.size() < size; ++i) data += i % 7 == 0 ? '\xFF' : char(i * 31 % 256);
    return data;
}

// The frames of one identifier as info --json shows them.
std::vector<Json> FramesOf(const Json& info, const std::string& id) {
    std::vector<Json> out;
    for (const Json& f : info["id3v2"]["frames"].items)
        if (f["id"].str == id) out.push_back(f);
    return out;
}

TEST_F(CliTest, PicturesAreAddedReplacedByTypeAndDescriptionRemovedAndWrittenBackExactly) {
    const fs::path file = Copy(kHarbour, Dir / "song.mp3");
    const std::string audio = Between(file);
    const std::string cover = PictureBytes("\xFF\xD8\xFF\xE0", 300000), other = PictureBytes("\xFF\xD8\xFF\xE1", 5000),
                      png = PictureBytes("\x89PNG\r\n\x1A\n", 1234);
    WriteFile(Dir / "cover.jpg", cover);
    WriteFile(Dir / "other.JPEG", other);
    WriteFile(Dir / "back.Png", png);
    auto set = [&](std::vector<std::string> options) {
        options.insert(options.begin(), "set");
        options.push_back(file.string());
        const TRun r = RunCli(options);
        EXPECT_EQ(r.status, 0) << r.err;
    };
    auto listing = [&] {
        const TRun r = RunCli({"pictures", file.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    };
    set({"--picture", (Dir / "cover.jpg").string() + ":3:Front"});
    EXPECT_EQ(listing(), "1: 3 Cover (front), image/jpeg, \"Front\", 300000 bytes\n");
    set({"--picture", (Dir / "other.JPEG").string() + ":3:Front"});  // the same type and description
    EXPECT_EQ(listing(), "1: 3 Cover (front), image/jpeg, \"Front\", 5000 bytes\n");
    set({"--picture", (Dir / "cover.jpg").string() + ":3:Front", "--picture", (Dir / "back.Png").string() + ":3:Back",
         "--picture", (Dir / "back.Png").string() + ":4:Front: with colon"});
    EXPECT_EQ(listing(),
              "1: 3 Cover (front), image/jpeg, \"Front\", 300000 bytes\n"
              "2: 3 Cover (front), image/png, \"Back\", 1234 bytes\n"
              "3: 4 Cover (back), image/png, \"Front: with colon\", 1234 bytes\n");
    EXPECT_EQ(FrameText(Info(file), "TIT2"), "Harbour Lights");
    EXPECT_TRUE(Between(file) == audio) << "the audio changed";

    // Written back byte for byte, named by the file's stem, index and MIME type.
    const fs::path out = Dir / "out";
    const TRun written = RunCli({"pictures", file.string(), "-o", out.string()});
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(written.out, (out / "song-1.jpg").string() + "\n" + (out / "song-2.png").string() + "\n" +
                               (out / "song-3.png").string() + "\n");
    EXPECT_TRUE(ReadFile(out / "song-1.jpg") == cover);
    EXPECT_TRUE(ReadFile(out / "song-3.png") == png);

    // A name that is taken is reported and left as it is; the others are still written.
    const fs::path again = Dir / "again";
    fs::create_directories(again);
    WriteFile(again / "song-2.png", "keep");
    const TRun taken = RunCli({"pictures", "-o", again.string(), file.string()});
    EXPECT_EQ(taken.status, 1);
    EXPECT_NE(taken.err.find((again / "song-2.png").string() + ": already exists"), std::string::npos) << taken.err;
    EXPECT_EQ(taken.out, (again / "song-1.jpg").string() + "\n" + (again / "song-3.png").string() + "\n");
    EXPECT_EQ(ReadFile(again / "song-2.png"), "keep");

    // Every picture goes before the new one is added.
    set({"--picture", (Dir / "back.Png").string(), "--remove-pictures"});
    EXPECT_EQ(listing(), "1: 3 Cover (front), image/png, \"\", 1234 bytes\n");
    set({"--remove-pictures"});
    EXPECT_EQ(listing(), "");
    EXPECT_TRUE(FramesOf(Info(file), "APIC").empty());
    const TRun none = RunCli({"pictures", "-o", (Dir / "none").string(), file.string()});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_TRUE(Between(file) == audio) << "the audio changed";
}

TEST_F(CliTest, PictureAndLyricsFilesThatCannotBeTakenLeaveEveryFileUntouched) {
    const fs::path a = Copy(kHarbour, Dir / "a.mp3"), b = Copy(kLanterns, Dir / "b.mp3");
    const std::string aBytes = ReadFile(a), bBytes = ReadFile(b);
    WriteFile(Dir / "cover.jpg", "\xFF\xD8\xFF\xD9");
    WriteFile(Dir / "empty.png", "");
    fs::create_directories(Dir / "folder.gif");
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
             {"--picture", (Dir / "missing.jpg").string()},
             {"--picture", (Dir / "folder.gif").string()},
             {"--picture", (Dir / "empty.png").string()},  // no data would mean removing the picture
             {"--picture", (Dir / "cover.jpg").string(), "--lyrics", (Dir / "missing.txt").string()}}) {
        std::vector<std::string> args = {"set", "--title", "Changed"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {a.string(), b.string()});
        const TRun r = RunCli(args);
        EXPECT_EQ(r.status, 1) << ::testing::PrintToString(options);
        EXPECT_NE(r.err.find("velmar-cli: "), std::string::npos) << r.err;
        EXPECT_TRUE(ReadFile(a) == aBytes && ReadFile(b) == bBytes) << ::testing::PrintToString(options);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), {}), 5) << "a temporary file was left";

    // Usage errors: an extension that is no picture type is named; nothing is read or written.
    const TRun txt = RunCli({"set", "--picture", (Dir / "cover.txt").string() + ":3:Front", a.string()});
    EXPECT_EQ(txt.status, 2);
    EXPECT_NE(txt.err.find("\".txt\""), std::string::npos) << txt.err;
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"set", "--picture", (Dir / "cover.jpg").string() + ":21", a.string()},
                                               {"set", "--picture", (Dir / "cover").string(), a.string()},
                                               {"set", "--picture", (Dir / "cover.jpg").string() + ":x", a.string()},
                                               {"set", "--comment-lang", "en", "--comment", "x", a.string()},
                                               {"set", "--comment-desc", "D", a.string()},
                                               {"set", "--txxx", "no equals sign", a.string()},
                                               {"set", "--wxxx"},
                                               {"pictures"},
                                               {"pictures", a.string(), b.string()},
                                               {"pictures", a.string(), "-o"},
                                               {"pictures", "--all", a.string()}}) {
        const TRun r = RunCli(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(r.out, "") << ::testing::PrintToString(args);
    }
    EXPECT_TRUE(ReadFile(a) == aBytes);
    EXPECT_EQ(RunCli({"pictures", (Dir / "missing.mp3").string()}).status, 1);
    for (const char* command : {"set", "pictures"}) {
        const TRun help = RunCli({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.out.starts_with(std::string("usage: velmar-cli ") + command)) << help.out;
    }
}

TEST_F(CliTest, CommentsUserFramesAndLyricsByTheirDescriptions) {
    const fs::path file = Copy(kHarbour, Dir / "a.mp3");
    const std::string audio = Between(file);
    const std::string plain = FramesOf(Info(file), "COMM").at(0)["text"].str;
    ASSERT_EQ(RunCli({"set", "--comment", "Ein Kommentar – ✓", "--comment-lang", "deu", "--comment-desc", "Notiz",
                      "--txxx", "Ключ=значение", "--txxx", "CATALOG=VLM-7", "--wxxx", "Shop=https://shop.example/",
                      "--wxxx", "=https://plain.example/", file.string()})
                  .status,
              0);
    Json j = Info(file);
    std::vector<Json> comments = FramesOf(j, "COMM");
    ASSERT_EQ(comments.size(), 2u);
    EXPECT_EQ(comments[0]["text"].str, plain);  // the plain comment is another one
    EXPECT_EQ(comments[1]["language"].str, "deu");
    EXPECT_EQ(comments[1]["description"].str, "Notiz");
    EXPECT_EQ(comments[1]["text"].str, "Ein Kommentar – ✓");
    std::vector<Json> texts = FramesOf(j, "TXXX"), urls = FramesOf(j, "WXXX");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0]["description"].str + "=" + texts[0]["value"].str, "Ключ=значение");
    ASSERT_EQ(urls.size(), 2u);
    EXPECT_EQ(urls[1]["description"].str + "=" + urls[1]["url"].str, "=https://plain.example/");

    // Lyrics from a UTF-8 file (a byte-order mark is not text); again replaces them.
    const std::string words = "東京の夜\nЗвёзды над рекой\r\nΣτίχοι\n";
    WriteFile(Dir / "words.txt", "\xEF\xBB\xBF" + words);
    WriteFile(Dir / "empty.txt", "");
    ASSERT_EQ(RunCli({"set", "--lyrics", (Dir / "words.txt").string(), file.string()}).status, 0);
    ASSERT_EQ(RunCli({"set", "--lyrics", (Dir / "words.txt").string(), "--comment", "", "--comment-lang", "DEU",
                      "--comment-desc", "Notiz", "--txxx", "Ключ=", "--wxxx", "Shop=", file.string()})
                  .status,
              0);
    j = Info(file);
    const std::vector<Json> lyrics = FramesOf(j, "USLT");
    ASSERT_EQ(lyrics.size(), 1u);
    EXPECT_EQ(lyrics[0]["language"].str, "eng");
    EXPECT_EQ(lyrics[0]["description"].str, "");
    EXPECT_EQ(lyrics[0]["text"].str, words);
    comments = FramesOf(j, "COMM");
    ASSERT_EQ(comments.size(), 1u);
    EXPECT_EQ(comments[0]["text"].str, plain);
    texts = FramesOf(j, "TXXX");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]["description"].str, "CATALOG");
    urls = FramesOf(j, "WXXX");
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(urls[0]["description"].str, "");

    ASSERT_EQ(RunCli({"set", "--lyrics", (Dir / "empty.txt").string(), file.string()}).status, 0);
    EXPECT_TRUE(FramesOf(Info(file), "USLT").empty());
    EXPECT_TRUE(Between(file) == audio) << "the audio changed";
}

}  // namespace

TEST_F(CliTest, NoCommandWaitsOnAFifoOrWritesADeviceOrAFileThatIsNotAudio) {
    const fs::path fifo = Dir / "x.mp3", device = Dir / "z.mp3", text = Dir / "notes.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    fs::create_symlink("/dev/zero", device);
    WriteFile(text, "not audio\n");
    const std::string data = VELMAR_SOURCE "/data", list = (Dir / "out.csv").string();
    for (const fs::path& f : {fifo, device, text}) {
        SCOPED_TRACE(f.filename().string());
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
                 {"info", f.string()},
                 {"set", "--title", "T", f.string()},
                 {"fill", "--mask", "%01", f.string()},
                 {"wipe", "--v2", f.string()},
                 {"rename", "--mask", "%01", "--data", data, f.string()},
                 {"pictures", f.string(), "-o", Dir.string()},
                 {"list", "--list", "CSV", "--data", data, "-o", list, f.string()},
                 {"match", "--minutes", "1", f.string()},
                 {"recover", f.string()},
             }) {
            const TRun r = RunCli(args);
            // A text file is read as a file without audio; recover finds no journal to carry out.
            const bool reads = args[0] == "info" || args[0] == "list" || args[0] == "match" || args[0] == "pictures" ||
                               args[0] == "wipe";  // no ID3v2 tag to remove
            if ((f == text && reads) || args[0] == "recover") continue;
            EXPECT_NE(r.status, 0) << args[0];
            EXPECT_NE((r.out + r.err).find(f.filename().string()), std::string::npos) << args[0] << ": " << r.err;
        }
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file("/dev/zero"));
    EXPECT_EQ(ReadFile(text), "not audio\n");
}

namespace {
struct TKilled {};
int KillAtSecondWrite(velmar::sysio::TCall call) {
    static int writes = 0;
    if (call == velmar::sysio::TCall::Write && ++writes == 2) throw TKilled{};
    return 0;
}
}  // namespace

TEST_F(CliTest, ACutShortSaveIsReportedByReadingAndFinishedByRecover) {
    const fs::path file = Dir / "song.mp3";
    Copy(kHarbour, file);
    const std::string original = ReadFile(file);
    const fs::path whole = Dir / "whole.mp3";  // the same save, not cut short
    Copy(kHarbour, whole);
    for (const fs::path& f : {whole, file}) {
        // A save killed after its journal was written, before the new tag was.
        velmar::TCollectingSink sink;
        velmar::TMP3Object song(sink);
        ASSERT_TRUE(song.LoadFile(f, false));
        song.ID3v2().TIT2.SetText("Never finished");
        if (f == whole) {
            ASSERT_TRUE(song.SaveFile(f, true, false, false));
            continue;
        }
        velmar::sysio::SetHook(&KillAtSecondWrite);
        EXPECT_THROW(song.SaveFile(f, true, false, false), TKilled);
        velmar::sysio::SetHook(nullptr);
    }
    // Part of the new title reached the disk.
    std::string torn = original;
    const size_t title = torn.find("TIT2") + 14;
    std::copy_n(ReadFile(whole).begin(), title, torn.begin());
    fs::remove(whole);
    ASSERT_NE(torn, original);
    WriteFile(file, torn);
    for (const char* command : {"info", "check", "match"}) {
        const TRun r =
            RunCli(command == std::string("match") ? std::vector<std::string>{command, "--minutes", "9", Dir.string()}
                                                   : std::vector<std::string>{command, Dir.string()});
        EXPECT_EQ(ReadFile(file), torn) << command << " wrote the file";
    }
    // Named by a link of the user's, by the file's own name, or found in its folder, the file is marked.
    const fs::path link = Dir / "link.mp3";
    fs::create_symlink(file, link);
    for (const fs::path& name : {file, link, Dir})
        EXPECT_NE(RunCli({"info", "--json", name.string()}).out.find("cut short"), std::string::npos) << name;
    fs::remove(link);
    const TRun r = RunCli({"recover", Dir.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, file.string() + ": the old tags were put back\n");
    EXPECT_EQ(ReadFile(file), original);
    EXPECT_EQ(RunCli({"recover", file.string()}).out, "no save was cut short\n");
    for (const fs::path& name : {file, Dir})
        EXPECT_EQ(RunCli({"info", "--json", name.string()}).out.find("cut short"), std::string::npos) << name;
}

TEST_F(CliTest, RenameMakesTheFoldersTheMaskNamesAndUndoPutsTheFileBack) {
    const fs::path song = Copy(kHarbour, Dir / "in" / "song.mp3");
    const TRun r = RunCli({"rename", "--mask", "%00/%05/%10 %01", song.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(Dir / "in" / "Northwind Collective" / "Tidewater" / "03 Harbour Lights.mp3"));
    ASSERT_EQ(RunCli({"undo"}).status, 0);
    EXPECT_TRUE(fs::is_regular_file(song));
}

// Files named "Artist - Album - NN - Title.mp3", tagged from their names, renamed into
// ROOT/Artist/Album/NN Title.mp3: every file there with its audio as it was, the
// folder they came from removed (not the one named), and undo puts every file back
// byte for byte.
class OrganizeTest : public CliTest {
protected:
    void OrganizeAndUndo(const fs::path& root) {
        const std::string audio = Between(Copy(kHarbour, Dir / "source.mp3"));
        const std::vector<std::pair<std::string, std::string>> names = {
            {"Cinder & Vale - First - 01 - Lanterns.mp3", "Cinder & Vale/First/01 Lanterns.mp3"},
            {"Cinder & Vale - First - 02 - Rain.mp3", "Cinder & Vale/First/02 Rain.mp3"},
            {"Cinder & Vale - Second - 01 - Harbour.mp3", "Cinder & Vale/Second/01 Harbour.mp3"},
            {"Tessa Lorne - Paper - 07 - Boats.mp3", "Tessa Lorne/Paper/07 Boats.mp3"},
            {"Tessa Lorne - Paper - 08 - Salt Road.mp3", "Tessa Lorne/Paper/08 Salt Road.mp3"},
        };
        const fs::path in = Dir / "in", incoming = in / "incoming";
        fs::create_directories(incoming);
        for (const auto& [name, renamed] : names) WriteFile(incoming / name, audio);
        ASSERT_EQ(RunCli({"fill", "--mask", "%00 - %05 - %10 - %01", in.string()}).status, 0);
        std::map<fs::path, std::string> tagged;
        for (const auto& [name, renamed] : names) tagged[incoming / name] = ReadFile(incoming / name);

        const TRun r =
            RunCli({"rename", "--mask", "%00/%05/%10 %01", "--to", root.string(), "--remove-empty", in.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        std::string out;
        for (const auto& [name, renamed] : names)
            out += (incoming / name).string() + " -> " + (root / renamed).string() + "\n";
        EXPECT_EQ(r.out, out + "removed " + incoming.string() + "\n");
        for (const auto& [name, renamed] : names) {
            EXPECT_TRUE(Between(root / renamed) == audio) << renamed;
            EXPECT_EQ(ReadFile(root / renamed), tagged[incoming / name]) << renamed;
        }
        EXPECT_FALSE(fs::exists(incoming));
        EXPECT_TRUE(fs::is_directory(in));

        const TRun undo = RunCli({"undo"});
        EXPECT_EQ(undo.status, 0) << undo.err;
        EXPECT_EQ(undo.out, "undone: change 2, Rename (5 file(s))\n");
        for (const auto& [file, bytes] : tagged) EXPECT_EQ(ReadFile(file), bytes) << file;
        for (const auto& e : fs::recursive_directory_iterator(root)) EXPECT_FALSE(e.is_regular_file()) << e.path();
    }
};

TEST_F(OrganizeTest, RenameToARootBuildsTheTreeAndUndoPutsEveryFileBack) { OrganizeAndUndo(Dir / "LIB"); }

TEST_F(OrganizeTest, RenameToARootOnAnotherFileSystemCopiesChecksAndUndoCopiesBack) {
    const fs::path other = "/dev/shm";
    struct stat here {};
    struct stat there {};
    if (::stat(Dir.c_str(), &here) != 0 || ::stat(other.c_str(), &there) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << other << " is not a file system apart from " << Dir << ": the copy across is not tried";
    const struct TRoot {
        fs::path Path;
        ~TRoot() {
            std::error_code ec;
            fs::remove_all(Path, ec);
        }
    } root{other / Dir.filename()};
    OrganizeAndUndo(root.Path);
}

TEST_F(CliTest, EveryCommandPrintsItsUsageForHelpAndH) {
    for (const char* command : {"info", "set", "check", "rename", "fill", "formats", "list", "match", "wipe", "pictures",
                                "recover", "undo", "redo", "history"})
        for (const char* help : {"--help", "-h"}) {
            const TRun r = RunCli({command, help});
            EXPECT_EQ(r.status, 0) << command << " " << help << ": " << r.err;
            EXPECT_NE(r.out.find(std::string("velmar-cli ") + command), std::string::npos) << command << " " << help;
        }
}

// The one argument convention: "--" ends the options for every command, so a path
// that begins with "-" is a path there and an unknown option before it.
TEST_F(CliTest, EveryCommandTakesPathsAfterDoubleDash) {
    const fs::path odd = Copy(kHarbour, Dir / "-x.mp3");
    const std::vector<std::vector<std::string>> commands = {
        {"info"},         {"check"},           {"set", "--title", "T"}, {"rename", "--mask", "%01", "--dry-run"},
        {"recover"},      {"match", "--minutes", "9"}, {"wipe", "--v1", "--dry-run"},
        {"fill", "--mask", "%01", "--dry-run"}, {"list", "--main", odd.string(), "-o", (Dir / "r.txt").string()}};
    const fs::path was = fs::current_path();
    fs::current_path(Dir);
    for (std::vector<std::string> args : commands) {
        args.push_back("-x.mp3");
        const TRun refused = RunCli(args);
        EXPECT_EQ(refused.status, 2) << args[0];
        EXPECT_NE(refused.err.find("unknown option -x.mp3"), std::string::npos) << args[0] << ": " << refused.err;
        args.insert(args.end() - 1, "--");
        const TRun taken = RunCli(args);
        EXPECT_LT(taken.status, 2) << args[0] << ": " << taken.err;
        EXPECT_EQ(taken.err.find("unknown option"), std::string::npos) << args[0] << ": " << taken.err;
    }
    fs::current_path(was);
}

TEST_F(CliTest, OptionsTakeTheirValueJoinedOrApartAndUsageErrorsExitTwo) {
    const fs::path song = Copy(kHarbour, Dir / "a.mp3");
    ASSERT_EQ(RunCli({"set", "--title=Joined = kept", song.string()}).status, 0);
    EXPECT_NE(RunCli({"info", song.string()}).out.find("Joined = kept"), std::string::npos);
    const std::pair<std::vector<std::string>, std::string> errors[] = {
        {{"set", "--bogus", "x", song.string()}, "unknown option --bogus"},
        {{"set", song.string(), "--title"}, "--title needs a value"},
        {{"info", "--json=yes", song.string()}, "--json takes no value"},
        {{"match", "--minutes=0", song.string()}, "--minutes takes a positive whole number"},
        {{"formats", "stray"}, "formats takes no paths"},
        {{"wipe", "--dry-run", song.string()}, "wipe needs at least one of"}};
    for (const auto& [args, error] : errors) {
        const TRun r = RunCli(args);
        EXPECT_EQ(r.status, 2) << error;
        EXPECT_TRUE(r.err.starts_with("velmar-cli: " + error)) << r.err;
        EXPECT_EQ(r.out, "") << error;
    }
    // Help wins over an error beside it.
    EXPECT_EQ(RunCli({"set", "--bogus", "-h"}).status, 0);
}

TEST_F(CliTest, PathsComeFromStandardInputOneALineOrNulSeparated) {
    const fs::path a = Copy(kHarbour, Dir / "lib" / "a.mp3"), b = Copy(kLanterns, Dir / "lib" / "sub" / "b c.mp3");
    const std::string walked = RunCli({"info", "--json", (Dir / "lib").string()}).out;
    ASSERT_NE(walked.find("b c.mp3"), std::string::npos);
    for (const auto& [input, nul] : {std::pair{a.string() + "\n" + b.string() + "\n", false},
                                     std::pair{a.string() + '\0' + b.string() + '\0', true},
                                     std::pair{(Dir / "lib").string(), false}}) {
        std::vector<std::string> args = {"info", "--json", "-"};
        if (nul) args.insert(args.begin() + 2, "-0");
        const TRun r = RunCli(args, {}, input);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, walked) << input;
    }
}

// Every reading command takes the same files in the same order from any way of
// naming them: folders walked (own files sorted, then sub-folders; linked folders,
// FIFOs and names without an MPEG extension left out), lists on standard input of
// any length, and a path given twice taken twice.
TEST_F(CliTest, ReadingCommandsTakeTheFilesGivenInTheirOrderHoweverTheyAreNamed) {
    const fs::path root = Dir / "lib";
    for (const char* name : {"b.mp3", "X.MP3", "sub/a.mp3", "sub.mp3/in.mp3"}) Copy(kHarbour, root / name);
    fs::create_directory_symlink(root / "sub", root / "linked.mp3");
    fs::create_symlink(root / "b.mp3", root / "l.mp3");
    ASSERT_EQ(::mkfifo((root / "f.mp3").c_str(), 0644), 0);
    WriteFile(root / ".mp3", "hidden, no extension");
    const std::string r = root.string(), b = r + "/b.mp3", a = r + "/sub/a.mp3";
    const std::vector<std::string> walked = {r + "/X.MP3", b, r + "/l.mp3", a, r + "/sub.mp3/in.mp3"};
    // A list longer than one read of standard input, its entries of different lengths.
    std::string longList, longNul;
    std::vector<std::string> longPaths;
    for (int i = 0; i < 1500; ++i) {
        std::string path = r;
        for (int k = 0; k < i % 23; ++k) path += "/.";
        longPaths.push_back(path + "/b.mp3");
        longList += longPaths.back() + "\n";
        longNul += longPaths.back() + '\0';
    }
    ASSERT_GT(longList.size(), 65536u);
    auto with = [](std::vector<std::string> v, const std::vector<std::string>& more) {
        v.insert(v.end(), more.begin(), more.end());
        return v;
    };
    struct TCase {
        std::vector<std::string> Operands;
        std::string Input;
        std::vector<std::string> Files;
    };
    const TCase cases[] = {
        {{r}, "", walked},
        {{r + "/"}, "", walked},  // one separator between the folder and its files
        {{"-"}, r + "\n", walked},
        {{"-"}, "\n" + b + "\n\n" + a, {b, a}},  // empty lines skipped, the last without its line end
        {{"-0", "-"}, b + '\0' + r + "/sub" + '\0', {b, a}},
        {{"-", b, "-"}, a + "\n", {a, b}},  // standard input is read once
        {{r + "/sub", r + "/sub"}, "", {a, a}},
        {{b, r}, "", with({b}, walked)},
        {{"-"}, longList, longPaths},
        {{"-0", "-"}, longNul, longPaths},
    };
    auto checkJsonPaths = [](const TRun& run) {
        std::vector<std::string> paths;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);) paths.push_back(ParseJson(line)["path"].str);
        return paths;
    };
    auto matchPaths = [](const TRun& run) {
        std::vector<std::string> paths;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);)
            if (!line.starts_with("A total time")) paths.push_back(line);
        return paths;
    };
    const std::pair<std::vector<std::string>, std::function<std::vector<std::string>(const TRun&)>> commands[] = {
        {{"info", "--json"}, checkJsonPaths},
        {{"check", "--json"}, checkJsonPaths},
        {{"match", "--minutes", "900"}, matchPaths}};
    for (const auto& [command, pathsOf] : commands)
        for (const TCase& c : cases) {
            const TRun run = RunCli(with(command, c.Operands), {}, c.Input);
            const std::string what =
                command[0] + " " + c.Operands.back() + " (input of " + std::to_string(c.Input.size()) + " bytes)";
            EXPECT_EQ(run.status, 0) << what << ": " << run.err;
            EXPECT_EQ(pathsOf(run), c.Files) << what;
        }
    // A rename plans each file once: the second naming of it is refused.
    const TRun twice = RunCli({"rename", "--mask", "%01", "--dry-run", r + "/sub", a});
    EXPECT_EQ(twice.status, 1);
    EXPECT_EQ(twice.out, a + " -> " + r + "/sub/Harbour Lights.mp3\n");
    EXPECT_EQ(twice.err, "velmar-cli: " + a + ": not renamed to \"Harbour Lights.mp3\": the file is listed twice\n");
}

// Removing the folders a rename left empty stops at the folder each file was found
// in, however the folders and files are named: a folder named keeps itself, a file
// named itself lets only its own folder go.
TEST_F(CliTest, RenameRemovesEmptyFoldersUpToTheFolderEachFileWasNamedBy) {
    struct TCase {
        std::vector<std::string> Given;
        std::string Input;
    };
    const TCase cases[] = {
        {{"in", "loose/b.mp3", "in2"}, ""},
        {{"loose/b.mp3", "in", "in2"}, ""},
        {{"-"}, "in\nloose/b.mp3\nin2\n"},
    };
    const fs::path was = fs::current_path();
    for (const TCase& c : cases) {
        fs::remove_all(Dir);
        Copy(kHarbour, Dir / "in/sub/a.mp3");
        Copy(kLanterns, Dir / "loose/b.mp3");
        Copy("Juniper Static - Slow Orbit.mp3", Dir / "in2/deep/c.mp3");
        fs::current_path(Dir);
        std::vector<std::string> args = {"rename", "--mask", "%01", "--to", "out", "--remove-empty"};
        args.insert(args.end(), c.Given.begin(), c.Given.end());
        const TRun r = RunCli(args, {}, c.Input);
        fs::current_path(was);
        const std::string what = c.Given.front() + " first";
        EXPECT_EQ(r.status, 0) << what << ": " << r.err;
        for (const char* gone : {"in/sub", "loose", "in2/deep"})
            EXPECT_FALSE(fs::exists(Dir / gone)) << what << ": " << gone;
        for (const char* kept : {"in", "in2", "out/Harbour Lights.mp3", "out/Slow Orbit.mp3"})
            EXPECT_TRUE(fs::exists(Dir / kept)) << what << ": " << kept;
    }
}

// A report is written as its files are read, in pieces: a report longer than one
// piece is whole, and one of a few lines too.
TEST_F(CliTest, ListReportsOfAnyLengthAreWrittenWhole) {
    const fs::path a = Copy(kHarbour, Dir / "a.mp3"), b = Copy(kLanterns, Dir / "b.mp3");
    const std::string title = "Harbour Lights", other = "Lanterns in the Rain";
    for (const size_t width : {size_t(0), size_t(300) << 10}) {
        const std::string filler(width, 'x');
        WriteFile(Dir / "main.txt", "[%01]" + filler + "\n");
        WriteFile(Dir / "top.txt", "top\n");
        const fs::path report = Dir / "report.txt";
        const TRun r = RunCli({"list", "--top", (Dir / "top.txt").string(), "--main", (Dir / "main.txt").string(), "-o",
                               report.string(), a.string(), b.string(), a.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, report.string() + ": 3 file(s)\n");
        const std::string row = "]" + filler + "\r\n";
        EXPECT_TRUE(ReadFile(report) == "top\r\n[" + title + row + "[" + other + row + "[" + title + row)
            << width << ": " << ReadFile(report).size() << " bytes";
    }
}

TEST_F(CliTest, CommandsThatWriteWalkFolders) {
    Copy(kHarbour, Dir / "lib" / "a.mp3");
    Copy(kLanterns, Dir / "lib" / "sub" / "b.mp3");
    ASSERT_EQ(RunCli({"set", "--album", "Walked", (Dir / "lib").string()}).status, 0);
    for (const char* file : {"a.mp3", "sub/b.mp3"})
        EXPECT_NE(RunCli({"info", (Dir / "lib" / file).string()}).out.find("Walked"), std::string::npos) << file;
    const TRun wipe = RunCli({"wipe", "--v1", "--dry-run", (Dir / "lib").string()});
    EXPECT_NE(wipe.out.find("b.mp3: would remove ID3v1"), std::string::npos) << wipe.out;
}

// What went wrong is said on standard error, naming the file, in plain words.
TEST_F(CliTest, MessagesNameTheFileInPlainWords) {
    const std::string gone = (Dir / "gone.mp3").string();
    WriteFile(Dir / "text.mp3", "hello");
    const std::string text = (Dir / "text.mp3").string();
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"info", gone}, gone + ": cannot open the file: No such file or directory"},
        {{"info", "--json", gone}, gone + ": cannot open the file: No such file or directory"},
        {{"match", "--minutes", "3", gone}, gone + ": cannot open the file"},
        {{"pictures", gone}, gone + ": cannot open the file"},
        {{"set", "--title", "T", gone}, gone + ": the file is not there"},
        {{"wipe", "--v2", gone}, gone + ": the file is not there"},
        {{"set", "--title", "T", text}, text + ": the file holds neither MPEG audio nor an ID3 tag"}};
    for (const auto& [args, said] : cases) {
        const TRun r = RunCli(args);
        EXPECT_EQ(r.status, 1) << said;
        EXPECT_NE(r.err.find("velmar-cli: " + said), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("MP3Object"), std::string::npos) << r.err;
    }
}
