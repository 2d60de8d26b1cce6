// Loading files: where the tags and the audio lie and the stream facts;
// saving them: the bytes between the tags kept, failures leaving the original.
#include "testfiles.h"

using namespace velmar;
using namespace vtest;
using namespace std::string_view_literals;

namespace {

const TFrameShape kCbr;  // MPEG-1 Layer III, 128 kbit/s, 44100 Hz, joint stereo: 417-byte frames

TBytes Junk(size_t n) { return TBytes(n, 0x11); }

// ID3v2 tag, five bytes before the first frame, frames, Lyrics3 block, ID3v1 tag.
TBytes FullFile(int frames = 20) {
    return Cat({Id3Tag(Cat({Id3Frame("TIT2", Txt("Old title")), Id3Frame("PRIV", B("owner\0\x01\xFF\x00"sv))}), 16),
                Junk(5), Frames(kCbr, frames), Lyrics3({{"IND", "00"}, {"AUT", "Writer"}}),
                Id3v1({.Title = "v1 title", .Track = 4, .Genre = 17})});
}

size_t Entries(const fs::path& folder) {
    return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

}  // namespace

TEST(MP3Object, StreamFactsForEveryVersionAndLayer) {
    struct Case {
        TFrameShape s;
        int count;
        const char *version, *layer, *kbps, *hz, *mode, *length;
        double seconds;
    };
    const Case cases[] = {
        {{3, 1, 9, 0, 1}, 50, "MPEG-1", "Layer III", "128", "44100", "Joint Stereo", "00:01", 50 * 1152 / 44100.0},
        {{3, 2, 10, 1, 0}, 60, "MPEG-1", "Layer II", "192", "48000", "Stereo", "00:01", 60 * 1152 / 48000.0},
        {{3, 3, 14, 2, 3}, 100, "MPEG-1", "Layer I", "448", "32000", "Mono", "00:01", 1.2},
        {{2, 1, 8, 0, 3}, 50, "MPEG-2", "Layer III", "64", "22050", "Mono", "00:01", 50 * 576 / 22050.0},
        {{2, 3, 14, 1, 0}, 50, "MPEG-2", "Layer I", "256", "24000", "Stereo", "00:00", 0.8},
        {{2, 2, 14, 2, 2}, 40, "MPEG-2", "Layer II", "160", "16000", "Dual Channel", "00:02", 2.88},
        {{0, 1, 1, 2, 3}, 1000, "MPEG-2.5", "Layer III", "8", "8000", "Mono", "01:12", 72.0},
    };
    TTempDir dir;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " " + c.layer);
        TLoaded f(dir.Put(std::to_string(n++) + ".mp3", Frames(c.s, c.count)), false);
        ASSERT_TRUE(f.Ok);
        const TMP3Object& m = f.File;
        EXPECT_TRUE(m.HasFrame);
        EXPECT_FALSE(m.IsVbr);
        EXPECT_EQ(m.AudioStart, 0);
        EXPECT_TRUE(f.Sink.Messages.empty());
        EXPECT_EQ(Join({m.MpegType, m.MpegVersion, m.Layer, m.Bitrate, m.BitrateType, m.Frequency, m.Mode,
                        m.TotalFrames, m.SongLength}),
                  Join({"Normal", c.version, c.layer, c.kbps, "CBR (Constant Bit Ratio)", c.hz, c.mode,
                        std::to_string(c.count), c.length}));
        EXPECT_NEAR(m.PlaySeconds, c.seconds, 1e-9);
    }
}

TEST(MP3Object, VbrHeadersGiveFrameCountAndAverageBitrate) {
    struct TCase {
        const char* Name;
        TBytes First;
        const char *Type, *Frames, *Length, *Kbps;  // Kbps null: not looked at
    };
    TTempDir dir;
    const TBytes rest = Frames(kCbr, 3);
    const int64_t audio = 4 * 417;
    const char* const vbr = "VBR (Variable Bit Ratio)";
    for (const TCase& c : {
             TCase{"over 100 minutes", VbrFrame(kCbr, "Xing", 230000, -1), vbr, "230000", "100:08", nullptr},
             TCase{"average of the counted bytes", VbrFrame(kCbr, "Xing", 3, audio), vbr, "3", "00:00", "128"},
             TCase{"Info", VbrFrame(kCbr, "Info", 1000, -1), "CBR (Constant Bit Ratio)", "1000", "00:26", "128"},
             TCase{"VBRI", VbrFrame(kCbr, "VBRI", 8506, audio), vbr, "8506", "03:42", nullptr},
             TCase{"no frame count", VbrFrame(kCbr, "Xing", -1, audio), vbr, "4", "00:00", nullptr},  // from the bytes
         }) {
        SCOPED_TRACE(c.Name);
        TLoaded f(dir.Put("f.mp3", Cat({c.First, rest})), false);
        ASSERT_TRUE(f.Ok);
        const TMP3Object& m = f.File;
        EXPECT_TRUE(m.IsVbr == (c.Type == vbr));
        EXPECT_FALSE(m.FramesCounted);
        EXPECT_EQ(Join({m.BitrateType, m.TotalFrames, m.SongLength, c.Kbps ? m.Bitrate : "-"}),
                  Join({c.Type, c.Frames, c.Length, c.Kbps ? c.Kbps : "-"}));
    }
}

// Where the first frame or its VBR header promises another stream than the audio
// holds, the frames are counted when asked (for a file to be played); a stream as
// promised is not walked.
TEST(MP3Object, LengthComesFromTheFramesWhereTheStreamBreaksItsPromise) {
    struct TCase {
        const char* Name;
        TBytes Bytes;
        int64_t Frames;
        bool Counted;
    };
    TTempDir dir;
    TFrameShape fast = kCbr;
    fast.Bitrate = 14;  // 320 kbit/s
    TBytes noise(9000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 2654435761u >> 13);
    const TBytes tag = Id3Tag(Id3Frame("TIT2", Txt("t")));
    for (const TCase& c : {
             TCase{"whole stream", Cat({tag, Frames(kCbr, 80)}), 80, false},
             TCase{"noise over the middle", Cat({tag, Frames(kCbr, 40), noise, Frames(kCbr, 40)}), 80, true},
             TCase{"first frame of another bit rate", Cat({Frame(fast), Frames(kCbr, 60)}), 61, true},
             TCase{"cut short after its Xing header", Cat({VbrFrame(kCbr, "Xing", 1000, 417000), Frames(kCbr, 20)}), 20,
                   true},
             TCase{"nothing whole after its Xing header",
                   Cat({VbrFrame(kCbr, "Xing", 1000, 417000), Slice(Frame(kCbr), 0, 100)}), 0, true},
             TCase{"Xing header that agrees", Cat({VbrFrame(kCbr, "Xing", 25, 21 * 417), Frames(kCbr, 20)}), 25, false},
         }) {
        SCOPED_TRACE(c.Name);
        TCollectingSink sink;
        TMP3Object m(sink);
        m.CountDoubtfulFrames = true;
        ASSERT_TRUE(m.LoadFile(dir.Put("f.mp3", c.Bytes), false));
        EXPECT_EQ(m.Frames, c.Frames);
        EXPECT_EQ(m.FramesCounted, c.Counted);
        EXPECT_NEAR(m.PlaySeconds, c.Frames * 1152 / 44100.0, 1e-9);
    }
}

TEST(MP3Object, FirstFrameIsFoundAtAnyOffsetAndConfirmedByTheNext) {
    TTempDir dir;
    const TBytes tag = Id3Tag(Id3Frame("TIT2", Txt("t")));
    const TBytes junk = Cat({Junk(3), {0xFF, 0xFB, 0x90, 0x64}, Junk(10)});  // a header nothing follows
    TLoaded a(dir.Put("a.mp3", Cat({tag, junk, Frames(kCbr, 10)})));
    EXPECT_EQ(a.File.DataStart * 1000 + a.File.AudioStart, int64_t(tag.size() * 1000 + tag.size() + junk.size()));
    EXPECT_EQ(a.File.TotalFrames, "10");
    EXPECT_EQ(a.File.AudioData, Cat({junk, Frames(kCbr, 10)}));

    const TFrameShape other{3, 1, 9, 1};  // 48000 Hz: a different stream
    TLoaded b(dir.Put("b.mp3", Cat({Frame(kCbr), Frames(other, 5)})));
    EXPECT_EQ(b.File.AudioStart, 417);
    EXPECT_EQ(b.File.Frequency, "48000");

    TLoaded c(dir.Put("c.mp3", Cat({Junk(2), Frame(kCbr), Id3v1({})})));  // one frame up to the ID3v1 tag
    EXPECT_TRUE(c.File.HasFrame);
    EXPECT_EQ(c.File.AudioStart * 1000 + c.File.AudioEnd, 2419);
    EXPECT_EQ(c.File.TotalFrames, "1");
}

TEST(MP3Object, WithoutAFrameTheWholeRegionIsData) {
    TTempDir dir;
    const TBytes tag = Id3Tag(Id3Frame("TIT2", Txt("t")));
    TLoaded f(dir.Put("a.mp3", Cat({tag, TBytes(1000, 0), Id3v1({.Title = "x"})})));
    ASSERT_TRUE(f.Ok);
    const TMP3Object& m = f.File;
    EXPECT_FALSE(m.HasFrame);
    EXPECT_EQ(Join({m.TotalFrames, m.SongLength, m.MpegVersion + m.Layer + m.Bitrate + m.BitrateType + m.Frequency}),
              "0|00:00|");
    EXPECT_EQ(m.AudioStart, int64_t(tag.size()));
    EXPECT_EQ(m.DataStart, m.AudioStart);
    EXPECT_EQ(m.AudioEnd, m.FileSize - 128);
    EXPECT_EQ(m.AudioData, TBytes(1000, 0));
    TLoaded e(dir.Put("empty.mp3", {}));
    EXPECT_TRUE(e.Ok);
    EXPECT_EQ(e.File.FileSize, 0);
    EXPECT_FALSE(e.File.HasFrame);

    for (const fs::path& bad : {dir / "missing.mp3", dir.Path}) {  // no such file; a folder
        TLoaded broken(bad);
        EXPECT_FALSE(broken.Ok);
        ASSERT_EQ(broken.Sink.Messages.size(), 1u);
        EXPECT_EQ(broken.Sink.Messages[0].rfind("MP3Object Unknown Exception: ", 0), 0u);
    }
}

TEST(MP3Object, ALoadThatFailsKeepsTheMessageItReportedUntilTheNextLoad) {
    TTempDir dir;
    TCollectingSink sink;
    TMP3Object file(sink);
    EXPECT_FALSE(file.LoadFile(dir / "missing.mp3", false));
    ASSERT_EQ(sink.Messages.size(), 1u);
    EXPECT_EQ(file.LoadFailure, sink.Messages[0]);
    EXPECT_TRUE(file.LoadFile(dir.Put("good.mp3", Frames(kCbr, 3)), false));
    EXPECT_EQ(file.LoadFailure, "");
}

TEST(MP3Object, RiffWrapperIsWalkedToItsDataChunk) {
    auto le32 = [](uint32_t v) { return TBytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; };
    const TBytes decoy = Frames(kCbr, 2);  // frames inside another chunk do not count
    const TBytes riff = Cat({B("RIFF"), le32(0), B("WAVEfmt "), le32(16), TBytes(16, 0), B("junk"),
                             le32(uint32_t(decoy.size())), decoy, B("data"), le32(417 * 5)});
    TTempDir dir;
    TLoaded f(dir.Put("a.mp3", Cat({riff, Frames(kCbr, 5)})));
    EXPECT_EQ(f.File.MpegType, "Wave/PCM");
    EXPECT_EQ(f.File.AudioStart, int64_t(riff.size()));
}

TEST(MP3Object, TagsAtTheEnd) {
    TTempDir dir;
    const TBytes frames = Frames(kCbr, 4), ly = Lyrics3({{"IND", "10"}, {"LYR", "la la"}}),
                 v1 = Id3v1({.Title = "T", .Track = 2});
    TLoaded both(dir.Put("both.mp3", Cat({frames, ly, v1})));
    EXPECT_TRUE(both.File.Lyrics3().Present);
    EXPECT_EQ(both.File.Lyrics3().Size, int32_t(ly.size()));
    EXPECT_EQ(both.File.Lyrics3().Lyrics, B("la la"));
    EXPECT_EQ(both.File.ID3v1().TrackNumber, 2);
    EXPECT_EQ(both.File.AudioEnd * 10000 + both.File.AudioLength, int64_t(frames.size()) * 10001);
    TLoaded lyrics(dir.Put("lyrics.mp3", Cat({frames, ly})));
    EXPECT_TRUE(lyrics.File.Lyrics3().Present);
    EXPECT_FALSE(lyrics.File.ID3v1().Present);
    EXPECT_EQ(lyrics.File.AudioEnd, int64_t(frames.size()));

    // A footer whose block does not start with LYRICSBEGIN is no tag: its bytes stay audio.
    TLoaded fake(dir.Put("fake.mp3", Cat({frames, B("0123456789000010LYRICS200")})));
    EXPECT_FALSE(fake.File.Lyrics3().Present);
    EXPECT_EQ(fake.File.AudioEnd, fake.File.FileSize);

    // Neither is a block that would begin inside the ID3v2 tag, nor an ID3v1 tag inside it.
    const TBytes tag = Id3Tag(Id3Frame("PRIV", Cat({B("o\0LYRICSBEGIN"sv), Id3v1({.Title = "inside"})})));
    const TBytes footer = B(Digits(tag.size() + 40 - 22, 6) + "LYRICS200");  // begins at offset 22
    TLoaded inside(dir.Put("inside.mp3", Cat({tag, Junk(40), footer})));
    EXPECT_FALSE(inside.File.Lyrics3().Present);
    EXPECT_EQ(inside.File.AudioEnd, inside.File.FileSize);
    TLoaded v1inside(dir.Put("v1inside.mp3", tag));
    EXPECT_FALSE(v1inside.File.ID3v1().Present);
    EXPECT_EQ(v1inside.File.AudioEnd, v1inside.File.FileSize);
}

// A file with every kind of tag in a folder of its own.
class MP3ObjectSave : public testing::Test {
protected:
    void SetUp() override { WriteFile(P, Original); }
    TTempDir Dir;
    const fs::path P = Dir / "song.mp3";
    const TBytes Original = FullFile();
};

TEST_F(MP3ObjectSave, RoundTripKeepsTheBytesBetweenTheTags) {
    for (const bool inMemory : {true, false}) {
        SCOPED_TRACE(inMemory ? "audio in memory" : "audio copied from the file");
        WriteFile(P, Original);
        TLoaded f(P, inMemory);
        ASSERT_TRUE(f.Ok);
        const TBytes data = Slice(Original, f.File.DataStart, f.File.AudioEnd);
        EXPECT_EQ(f.File.AudioStart - f.File.DataStart, 5);
        EXPECT_EQ(f.File.HasAudioData, inMemory);
        const std::string title = "New title \xE2\x9C\x93";
        f.File.ID3v2().TIT2.SetText(title);
        f.File.ID3v1().SetTrackNumber(9);
        ASSERT_TRUE(f.File.SaveFile(P, true, true, true));
        EXPECT_TRUE(f.Sink.Messages.empty());

        TLoaded back(P);
        const TMP3Object& m = back.File;
        EXPECT_EQ(m.AudioData, data);
        EXPECT_EQ(m.ID3v2().PRIV[0].Data, (TBytes{1, 0xFF, 0}));
        EXPECT_EQ(Join({m.ID3v2().TIT2.Text, m.Lyrics3().Author, m.ID3v1().TrackText, m.ID3v1().GenreName}),
                  Join({title, "Writer", "09", "Rock"}));
        EXPECT_EQ(m.FileSize, m.DataStart + int64_t(data.size()) + m.Lyrics3().Size + 128);
        // The saved object describes the new file, so it can save again.
        EXPECT_EQ(std::vector({f.File.DataStart, f.File.AudioStart, f.File.AudioEnd, f.File.FileSize}),
                  std::vector({m.DataStart, m.AudioStart, m.AudioEnd, m.FileSize}));
        const TBytes once = ReadFile(P);
        ASSERT_TRUE(f.File.SaveFile(P, true, true, true));
        EXPECT_EQ(ReadFile(P), once);
        EXPECT_EQ(Entries(Dir.Path), 1u);
    }
}

TEST_F(MP3ObjectSave, TagsNotAskedForAreLeftOut) {
    TLoaded f(P);
    const TBytes data = f.File.AudioData;
    const auto v1 = f.File.ID3v1().Render();
    ASSERT_TRUE(f.File.SaveFile(P, false, false, true));
    EXPECT_EQ(ReadFile(P), Cat({data, TBytes(v1.begin(), v1.end())}));
    ASSERT_TRUE(f.File.SaveFile(P, false, false, false));
    EXPECT_EQ(ReadFile(P), data);
}

TEST_F(MP3ObjectSave, ATagNotUnderstoodIsKeptUnlessReplaced) {
    const TBytes frames = Frames(kCbr, 3), original = Cat({Id3Tag(Id3Frame("TIT2", Txt("x")), 0, 0x10), frames});
    WriteFile(P, original);
    TLoaded f(P);
    EXPECT_FALSE(f.File.ID3v2().Valid);
    EXPECT_EQ(f.File.AudioStart, int64_t(original.size() - frames.size()));
    ASSERT_TRUE(f.File.SaveFile(P, true, false, false));
    EXPECT_EQ(ReadFile(P), original);
    f.File.ID3v2().ReplaceInvalidTag = true;
    f.File.ID3v2().TIT2.SetText("new");
    f.File.ID3v2().TIT2.FrameHeader.Present = true;
    ASSERT_TRUE(f.File.SaveFile(P, true, false, false));
    EXPECT_EQ(ReadFile(P), Cat({Id3Tag(Id3Frame("TIT2", Txt("new")), 1024), frames}));  // grown: room for later edits
}

TEST_F(MP3ObjectSave, KeepsPermissionsAndWritesThroughLinks) {
    const fs::path link = Dir / "link.mp3";
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                           fs::perms::group_write | fs::perms::others_read;  // more than the creation mask lets through
    fs::permissions(P, mode);
    fs::create_symlink(P, link);
    TLoaded f(link);
    f.File.ID3v2().TIT2.SetText("linked");
    ASSERT_TRUE(f.File.SaveFile(link, true, true, true));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(P).permissions(), mode);
    EXPECT_EQ(TLoaded(P).File.ID3v2().TIT2.Text, "linked");
    EXPECT_EQ(Entries(Dir.Path), 2u);
}

TEST_F(MP3ObjectSave, FailuresLeaveTheOriginalUntouched) {
    TLoaded f(P);
    f.File.ID3v2().TIT2.SetText("changed");
    EXPECT_FALSE(f.File.SaveFile(Dir / "missing" / "song.mp3", true, true, true));  // no such folder
    fs::create_directories(Dir / "folder.mp3" / "sub");                             // a folder in the way
    EXPECT_FALSE(f.File.SaveFile(Dir / "folder.mp3", true, true, true));
    ASSERT_EQ(f.Sink.Messages.size(), 2u);
    for (const std::string& m : f.Sink.Messages) EXPECT_EQ(m.rfind("Error MP3Object::SaveFile. Message: ", 0), 0u) << m;
    EXPECT_TRUE(fs::is_directory(Dir / "folder.mp3" / "sub"));
    EXPECT_EQ(Entries(Dir.Path), 2u);  // no new file left behind
    TCollectingSink sink;
    TMP3Object never(sink);
    EXPECT_FALSE(never.SaveFile(P, true, true, true));
    EXPECT_EQ(sink.Messages.size(), 1u);
    EXPECT_EQ(ReadFile(P), Original);
}

TEST_F(MP3ObjectSave, AFileChangedSinceLoadingIsNotOverwritten) {
    TLoaded f(P, false);
    TBytes changed = Original;
    changed[changed.size() - 200] ^= 1;  // same size, another time stamp
    const auto stamp = fs::last_write_time(P);
    WriteFile(P, changed);
    fs::last_write_time(P, stamp + std::chrono::seconds(2));
    EXPECT_FALSE(f.File.SaveFile(P, true, true, true));
    const TBytes longer = FullFile(21);  // another size, the same time stamp
    WriteFile(P, longer);
    fs::last_write_time(P, stamp);
    EXPECT_FALSE(f.File.SaveFile(P, true, true, true));
    ASSERT_EQ(f.Sink.Messages.size(), 2u);
    EXPECT_NE(f.Sink.Messages[0].find("was changed by another program"), std::string::npos);
    EXPECT_EQ(ReadFile(P), longer);
}

TEST_F(MP3ObjectSave, ReadOnlyFolder) {
    // Root may write into any folder: the save is made as an ordinary user then.
    ::chown(Dir.Path.c_str(), kOtherUser, kOtherUser);
    ::chown(P.c_str(), kOtherUser, kOtherUser);
    TTempDir reports;
    fs::permissions(reports.Path, fs::perms::all);
    const std::string failures = AsUser(kOtherUser, reports / "report", [this] {
        TLoaded f(P);  // with its audio: written anew, beside the file
        fs::permissions(Dir.Path, fs::perms::owner_read | fs::perms::owner_exec);
        const bool saved = f.File.SaveFile(P, true, true, true);
        fs::permissions(Dir.Path, fs::perms::owner_all);
        return std::string(saved ? "saved into a read-only folder; " : "") +
               (ReadFile(P) == Original ? "" : "the file changed");
    });
    EXPECT_EQ(failures, "");
}

TEST_F(MP3ObjectSave, WhatTheFormatsCannotHold) {
    TLoaded f(P);
    f.File.Lyrics3().Lyrics.assign(150000, 'l');  // cut to fit, and the cut reported
    ASSERT_TRUE(f.File.SaveFile(P, true, true, true));
    EXPECT_EQ(f.Sink.Messages,
              std::vector<std::string>{"Lyrics3 field LYR is too long for the tag and was cut to 99999 bytes."});
    TLoaded back(P);
    EXPECT_EQ(back.File.Lyrics3().Lyrics, TBytes(99999, 'l'));
    EXPECT_EQ(back.File.Lyrics3().Author, "Writer");

    const TBytes saved = ReadFile(P);  // an ID3v2 tag of 2^28 bytes is not written at all
    back.File.ID3v2().EQUA.Data.assign((size_t(1) << 28) - 49, 0);
    back.File.ID3v2().EQUA.FrameHeader.Present = true;
    EXPECT_FALSE(back.File.SaveFile(P, true, true, true));
    ASSERT_FALSE(back.Sink.Messages.empty());
    EXPECT_EQ(back.Sink.Messages[0], "The ID3v2 tag would be 268435466 bytes long, more than an ID3v2 tag can hold.");
    EXPECT_EQ(ReadFile(P), saved);
}
