// The stream checker over files built in code, real lame output and the peer corpus.
#include <cstdlib>
#include <random>

#include "file/mpegchecker.h"
#include "testfiles.h"

namespace {

using namespace vtest;
using velmar::TCheckOutcome;
using velmar::TCheckResult;

const std::string kSep(92, '-');

// A 32-byte APE footer (or header) for a tag whose items take `items` bytes.
TBytes ApeBlock(size_t items, bool withHeader, bool isHeader) {
    TBytes b = B("APETAGEX");
    auto le = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
    };
    le(2000);
    le(uint32_t(items + 32));
    le(1);
    le((withHeader ? 0x80000000u : 0) | (isHeader ? 0x20000000u : 0));
    b.resize(32, 0);
    return b;
}
TBytes ApeTag(bool withHeader) {
    const TBytes item = Cat({{5, 0, 0, 0, 0, 0, 0, 0}, B("Title"), {0}, B("Hello")});
    return Cat(
        {withHeader ? ApeBlock(item.size(), true, true) : TBytes{}, item, ApeBlock(item.size(), withHeader, false)});
}

TBytes V1(const std::string& title) {
    TV1 v;
    v.Title = title;
    return Id3v1(v);
}

// An ID3v2.4 tag with a footer, as appended at the end of a file.
TBytes AppendedId3v24() {
    TBytes t = Id3Tag(Id3Frame("TIT2", Txt("End")), 0, 0x10, 4);
    TBytes footer(t.begin(), t.begin() + 10);
    std::memcpy(footer.data(), "3DI", 3);
    return Cat({t, footer});
}

class MpegChecker : public ::testing::Test {
protected:
    TCheckResult Check(const TBytes& bytes, const std::string& name = "test.mp3") {
        Last = Dir / name;
        WriteFile(Last, bytes);
        return Checker.CheckFile(Last);
    }
    // The report of a file with an error; `problems` are the lines that list them.
    std::vector<std::string> ErrorLines(const std::string& reason, int64_t offset, int64_t size,
                                        const std::vector<std::string>& problems = {}) const {
        std::vector<std::string> lines = {"FATAL ERROR:", reason,
                                          "Offset: " + std::to_string(offset) + " of " + std::to_string(size)};
        if (!problems.empty()) lines.push_back("Problems found: " + std::to_string(problems.size()));
        lines.insert(lines.end(), problems.begin(), problems.end());
        lines.insert(lines.end(), {"", "File: " + Last.string(), "", kSep, ""});
        return lines;
    }
    TTempDir Dir;
    fs::path Last;
    velmar::TMPEGChecker Checker;
};

TEST_F(MpegChecker, IntactStreamsOfEveryVersionAndLayer) {
    for (uint8_t version : {3, 2, 0})
        for (uint8_t layer : {3, 2, 1})
            for (uint8_t bitrate : {1, 8, 14}) {
                TFrameShape s;
                s.Version = version;
                s.Layer = layer;
                s.Bitrate = bitrate;
                s.Sampling = 1;
                TBytes stream;
                for (int i = 0; i < 25; ++i) {
                    s.Padding = i % 3 == 0;
                    s.Crc = i % 2 == 0;
                    stream = Cat({stream, Frame(s, unsigned(i))});
                }
                const TCheckResult r = Check(stream);
                SCOPED_TRACE(testing::Message()
                             << "version " << int(version) << " layer " << int(layer) << " bitrate " << int(bitrate));
                EXPECT_EQ(r.Outcome, TCheckOutcome::Ok);
                EXPECT_EQ(r.Frames, 25);
                EXPECT_FALSE(r.IsError());
            }
    const TCheckResult r = Check(Frames(TFrameShape{}, 10));
    EXPECT_EQ(r.Lines, (std::vector<std::string>{"Sync Check Report:", "No error(s) found.", "",
                                                 "File: " + Last.string(), "", kSep, ""}));
    EXPECT_EQ(velmar::CheckedFilesLine(3), "3 file(s) checked.");
}

TEST_F(MpegChecker, TagsAtBothEndsAreNotErrors) {
    const TBytes audio = Frames(TFrameShape{}, 12);
    const TBytes title = Id3Frame("TIT2", Txt("Title"));
    const TBytes v1 = V1("Title");
    const TBytes lyrics = Lyrics3({{"IND", "00"}, {"ETT", "Title"}});
    TBytes extended = Cat({{0, 0, 0, 6, 0, 0, 0, 0, 0, 20}, title});
    const std::vector<std::pair<std::string, TBytes>> heads = {
        {"none", {}},
        {"padding", Id3Tag(title, 500)},
        {"extended header", Id3Tag(extended, 20, 0x40)},
        {"unsynchronisation", Id3Tag(Cat({Id3Frame("TIT2", {0, 0xFF, 0x00, 0xE0}), {0xFF, 0x00}}), 0, 0x80)},
        {"two tags", Cat({Id3Tag(title, 10), Id3Tag(title, 0, 0, 4)})},
    };
    const std::vector<std::pair<std::string, TBytes>> tails = {
        {"none", {}},
        {"ID3v1", v1},
        {"Lyrics3", lyrics},
        {"Lyrics3 + ID3v1", Cat({lyrics, v1})},
        {"APEv2", ApeTag(true)},
        {"APEv2 without header + ID3v1", Cat({ApeTag(false), v1})},
        {"APEv2 + Lyrics3 + ID3v1", Cat({ApeTag(true), lyrics, v1})},
        {"appended ID3v2", AppendedId3v24()},
        {"APEv2 + appended ID3v2", Cat({ApeTag(true), AppendedId3v24()})},
        {"ID3v1 + appended ID3v2", Cat({v1, AppendedId3v24()})},
    };
    for (const auto& [headName, head] : heads)
        for (const auto& [tailName, tail] : tails) {
            SCOPED_TRACE(headName + " / " + tailName);
            const TCheckResult r = Check(Cat({head, audio, tail}));
            EXPECT_EQ(r.Outcome, TCheckOutcome::Ok) << (r.Lines.size() > 2 ? r.Lines[2] : "");
            EXPECT_EQ(r.Frames, 12);
        }
    // Size bytes 00 00 02 01: a tag of 257 + 10 bytes, after which the walk starts.
    const TCheckResult r = Check(Cat({Id3Tag(title, 257 - title.size()), audio}));
    EXPECT_EQ(r.AudioStart, 267);
    EXPECT_EQ(r.Outcome, TCheckOutcome::Ok);
}

TEST_F(MpegChecker, GarbageAndZeroesAreReportedWhereTheChainBreaks) {
    const TFrameShape s{};
    const TBytes frame = Frame(s);
    const int64_t len = int64_t(frame.size());  // 417
    const TBytes before = Frames(s, 5), after = Frames(s, 5);

    TBytes file = Cat({before, {0x42}, after});
    TCheckResult r = Check(file);
    EXPECT_EQ(r.Outcome, TCheckOutcome::SyncError);
    EXPECT_EQ(r.Lines, ErrorLines("No MPEG Sync nibbles.", 5 * len, int64_t(file.size()),
                                  {"At offset 2085: 1 byte of garbage."}));

    TBytes junk(300);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 13 % 251);
    file = Cat({Id3Tag(Id3Frame("TIT2", Txt("T")), 50), before, junk, after, V1("T")});
    r = Check(file);
    EXPECT_EQ(r.Outcome, TCheckOutcome::SyncError);
    EXPECT_EQ(r.Offset, r.AudioStart + 5 * len);

    // Zeroes from the middle of the third frame: the fourth frame's header is gone.
    file = Frames(s, 10);
    std::fill(file.begin() + 2 * len + 100, file.begin() + 6 * len, 0);
    r = Check(file);
    EXPECT_EQ(r.Outcome, TCheckOutcome::SyncError);
    EXPECT_EQ(r.Offset, 3 * len);

    // Junk between the ID3v2 tag and the first frame: the walk starts right after the tag.
    const TBytes tag = Id3Tag(Id3Frame("TIT2", Txt("T")), 20);
    r = Check(Cat({tag, {0, 0, 0}, after}));
    EXPECT_EQ(r.Outcome, TCheckOutcome::SyncError);
    EXPECT_EQ(r.Offset, int64_t(tag.size()));

    // A Lyrics3 v1 block is not known: its bytes break the chain.
    r = Check(Cat({after, B("LYRICSBEGINhello LYRICSEND")}));
    EXPECT_EQ(r.Outcome, TCheckOutcome::SyncError);
    EXPECT_EQ(r.Offset, 5 * len);
}

TEST_F(MpegChecker, ReservedHeaderValuesAreSyncErrors) {
    const TFrameShape s{};
    const TBytes good = Frames(s, 4);
    const auto h = Header(s);
    const std::vector<std::array<uint8_t, 4>> reserved = {
        {h[0], uint8_t((h[1] & ~0x18) | 0x08), h[2], h[3]},  // version 01
        {h[0], uint8_t(h[1] & ~0x06), h[2], h[3]},           // layer 00
        {h[0], h[1], uint8_t(h[2] | 0xF0), h[3]},            // bit-rate index 15
        {h[0], h[1], uint8_t(h[2] | 0x0C), h[3]},            // sampling index 3
    };
    for (const auto& bad : reserved) {
        const TCheckResult r = Check(Cat({good, TBytes(bad.begin(), bad.end()), TBytes(400, 1), good}));
        EXPECT_EQ(r.Outcome, TCheckOutcome::SyncError);
        EXPECT_EQ(r.Offset, int64_t(good.size()));
    }
}

TEST_F(MpegChecker, LastFrameCutShort) {
    const TBytes stream = Frames(TFrameShape{}, 6);
    const int64_t last = 5 * 417;
    TBytes file(stream.begin(), stream.end() - 100);
    TCheckResult r = Check(file);
    EXPECT_TRUE(r.IsError());
    EXPECT_EQ(r.Lines, ErrorLines("Last MPEG frame is cut short.", last, int64_t(file.size()),
                                  {"At offset 2085: the last frame cut short, 317 of 417 bytes."}));

    // Cut before an ID3v1 tag: the tag is found, the short frame still reported.
    r = Check(Cat({file, V1("T")}));
    EXPECT_EQ(r.Outcome, TCheckOutcome::CutShort);
    EXPECT_EQ(r.Offset, last);

    // Fewer than four bytes left where a header should start.
    file = TBytes(stream.begin(), stream.begin() + last + 2);
    r = Check(file);
    EXPECT_EQ(r.Lines, ErrorLines("Could not read MPEG Header.", last, int64_t(file.size()),
                                  {"At offset 2085: the last frame cut short, 2 bytes."}));
}

TEST_F(MpegChecker, FreeFormatIsNotCheckableButNoError) {
    TFrameShape s{};
    s.Bitrate = 0;
    const auto h = Header(s);
    TBytes file = Cat({TBytes(h.begin(), h.end()), TBytes(600, 1)});
    TCheckResult r = Check(file);
    EXPECT_EQ(r.Outcome, TCheckOutcome::FreeFormat);
    EXPECT_FALSE(r.IsError());
    EXPECT_EQ(r.Lines, (std::vector<std::string>{"Sync Check Report:", "Free-format stream: frames cannot be checked.",
                                                 "Offset: 0 of 604", "", "File: " + Last.string(), "", kSep, ""}));
}

TEST_F(MpegChecker, FilesWithoutAudioNeverCrash) {
    TCheckResult r = Check({});
    EXPECT_EQ(r.Lines, ErrorLines("No MPEG audio data.", 0, 0));

    const TBytes tag = Id3Tag(Id3Frame("TIT2", Txt("Only a tag")), 100);
    r = Check(tag);
    EXPECT_EQ(r.Outcome, TCheckOutcome::NoAudio);
    EXPECT_EQ(r.Offset, int64_t(tag.size()));
    EXPECT_EQ(Check(V1("T")).Outcome, TCheckOutcome::NoAudio);
    EXPECT_EQ(Check(Cat({ApeTag(true), V1("T")})).Outcome, TCheckOutcome::NoAudio);
    EXPECT_EQ(Check(B("ID3\x03")).Outcome, TCheckOutcome::NoAudio);  // a header cut short

    // A tag that claims more bytes than the file has.
    TBytes big = Id3Tag(Id3Frame("TIT2", Txt("T")));
    big[7] = 0x7F;
    EXPECT_EQ(Check(Cat({big, Frames(TFrameShape{}, 3)})).Outcome, TCheckOutcome::NoAudio);

    std::mt19937 random(7);
    for (size_t size : {1u, 3u, 4u, 100u, 5000u, 300000u}) {
        TBytes noise(size);
        for (auto& b : noise) b = uint8_t(random());
        r = Check(noise);
        EXPECT_TRUE(r.IsError() || r.Outcome == TCheckOutcome::FreeFormat) << size;
        EXPECT_GE(r.Offset, 0);
        EXPECT_LE(r.Offset, int64_t(size));
    }

    // An input the fuzzer found: an ID3v2.4 COMM frame whose body is empty.
    r = Check(TBytes{0x49, 0x44, 0x33, 0x04, 0x00, 0x40, 0x00, 0x00, 0x01, 0x38, 0x00, 0x00, 0x00, 0x0c, 0x01, 0x20,
                     0x05, 0x47, 0x0f, 0x0f, 0x54, 0x14, 0x43, 0x4f, 0x4d, 0x4d, 0x00, 0x00, 0x00, 0x00, 0x17, 0x00,
                     0x00, 0x6e, 0x2e, 0x2e, 0x3f, 0x20, 0x3a, 0x29, 0x54, 0x44, 0x52, 0x43, 0xfa, 0xff, 0xff, 0xfa,
                     0xff, 0xff, 0xff, 0xcd, 0x30, 0x32, 0x33, 0x54, 0x52, 0x43, 0x4b, 0x00, 0x00, 0x00, 0x02, 0x00,
                     0x00, 0x00, 0x31, 0x54, 0x41, 0x4c, 0x64, 0x20, 0x44, 0x6f, 0x6c, 0x6b, 0x6f, 0x77});
    EXPECT_EQ(r.Outcome, TCheckOutcome::NoAudio);
}

TEST_F(MpegChecker, FilesThatCannotBeOpened) {
    TCheckResult r = Checker.CheckFile(Dir / "missing.mp3");
    EXPECT_EQ(r.Outcome, TCheckOutcome::OpenError);
    EXPECT_EQ(r.Lines[1], "Could not open file: No such file or directory.");
    EXPECT_EQ(r.Lines[3], "File: " + (Dir / "missing.mp3").string());
    EXPECT_EQ(Checker.CheckFile(Dir.Path).Outcome, TCheckOutcome::OpenError);
}

TEST_F(MpegChecker, RiffWrapperWalksItsDataChunk) {
    const TBytes audio = Frames(TFrameShape{}, 8);
    auto le32 = [](uint32_t v) { return TBytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; };
    const TBytes fmt = Cat({B("fmt "), le32(18), TBytes(18, 0)});
    const TBytes data = Cat({B("data"), le32(uint32_t(audio.size())), audio});
    const TBytes list = Cat({B("LIST"), le32(4), B("INFO")});
    const TBytes body = Cat({B("WAVE"), fmt, data, list});
    const TCheckResult r = Check(Cat({B("RIFF"), le32(uint32_t(body.size())), body}));
    EXPECT_EQ(r.Outcome, TCheckOutcome::Ok);
    EXPECT_EQ(r.Frames, 8);
}

TEST_F(MpegChecker, LameOutputHasNoErrors) {
    const fs::path wav = Dir / "sine.wav";
    WriteFile(wav, SineWav(44100));
    const std::vector<std::pair<std::string, std::string>> modes = {
        {"cbr", "-b 128"},
        {"vbr", "-V 4"},
        {"abr", "--abr 96"},
        {"22k", "--resample 22.05 -b 48"},
        {"11k", "--resample 11.025 -b 24"},
        {"8k", "--resample 8 -b 16"},
        {"mono", "-m m -b 64"},
        {"tagged", "-b 96 --add-id3v2 --tt Title --ta Artist --tc Comment"},
    };
    for (const auto& [name, options] : modes) {
        const fs::path mp3 = Dir / (name + ".mp3");
        const std::string command = "lame --quiet " + options + " '" + wav.string() + "' '" + mp3.string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const TCheckResult r = Checker.CheckFile(mp3);
        EXPECT_EQ(r.Outcome, TCheckOutcome::Ok) << name << ": " << (r.Lines.size() > 2 ? r.Lines[2] : "");
        EXPECT_GT(r.Frames, 10) << name;
    }
}

TEST_F(MpegChecker, PeerCorpusNeverCrashes) {
    const fs::path corpus = VELMAR_CORPUS;
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        const TCheckResult r = Checker.CheckFile(entry.path());
        EXPECT_GE(r.Lines.size(), 7u);
        ++files;
    }
    EXPECT_GT(files, 0);
    const fs::path peers = corpus / "peers";
    // Audio, APEv2 and ID3v2 with footer at the end; audio, ID3v1 and ID3v2 with footer.
    EXPECT_EQ(Checker.CheckFile(peers / "mutagen/audacious-trailing-id32-apev2.mp3").Outcome, TCheckOutcome::Ok);
    EXPECT_EQ(Checker.CheckFile(peers / "mutagen/audacious-trailing-id32-id31.mp3").Outcome, TCheckOutcome::Ok);
    EXPECT_EQ(Checker.CheckFile(peers / "taglib/duplicate_id3v2.mp3").Outcome, TCheckOutcome::Ok);
    // A broken frame inside the stream, before APEv2, Lyrics3 and ID3v1.
    const TCheckResult r = Checker.CheckFile(peers / "mutagen/apev2-lyricsv2.mp3");
    EXPECT_EQ(r.Outcome, TCheckOutcome::SyncError);
    EXPECT_EQ(r.Offset, 0x9e4);
}

}  // namespace
