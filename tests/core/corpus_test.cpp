// Real files from the test suites of other tag libraries: every one loads and
// saves without touching its audio, and the values those libraries assert are read.
#include "testfiles.h"

using namespace velmar;
using namespace vtest;
using namespace std::string_view_literals;

namespace {

const fs::path kPeers = fs::path(VELMAR_CORPUS) / "peers";

std::unique_ptr<TLoaded> Load(const std::string& name) {
    auto f = std::make_unique<TLoaded>(kPeers / name);
    EXPECT_TRUE(f->Ok) << name;
    return f;
}

// The files come with this team's shared folder, not with the project: without them
// these tests are skipped, saying what is missing.
class Corpus : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::is_directory(kPeers)) GTEST_SKIP() << "no peer test files at " << kPeers.string();
    }
};

}  // namespace

TEST_F(Corpus, EveryFileLoadsAndSavesWithItsAudioUnchanged) {
    TTempDir dir;
    int files = 0;
    for (const auto& library : fs::directory_iterator(kPeers)) {
        if (!library.is_directory()) continue;
        for (const auto& entry : fs::directory_iterator(library.path())) {
            SCOPED_TRACE(entry.path().string());
            const fs::path copy = dir / (library.path().filename().string() + "-" + entry.path().filename().string());
            const TBytes original = ReadFile(entry.path());
            WriteFile(copy, original);
            TLoaded f(copy);
            ASSERT_TRUE(f.Ok);
            const TMP3Object& m = f.File;
            EXPECT_EQ(m.FileSize, int64_t(original.size()));
            EXPECT_LE(m.DataStart, m.AudioStart);
            EXPECT_LE(m.AudioStart, m.AudioEnd);
            EXPECT_LE(m.AudioEnd, m.FileSize);
            const TBytes data = Slice(original, m.DataStart, m.AudioEnd);
            EXPECT_EQ(m.AudioData, data);
            const int64_t firstFrame = m.AudioStart - m.DataStart;
            const std::string facts = m.TotalFrames + " " + m.SongLength + " " + m.Bitrate + " " + m.Frequency;
            ASSERT_TRUE(f.File.SaveFile(copy, m.ID3v2().Present, m.Lyrics3().Present, m.ID3v1().Present));

            TLoaded back(copy);
            const TMP3Object& b = back.File;
            ASSERT_TRUE(back.Ok);
            EXPECT_EQ(b.AudioData, data);
            EXPECT_EQ(b.AudioStart - b.DataStart, firstFrame);
            EXPECT_EQ(b.TotalFrames + " " + b.SongLength + " " + b.Bitrate + " " + b.Frequency, facts);
            EXPECT_EQ(b.ID3v1().Present, m.ID3v1().Present);
            EXPECT_EQ(b.Lyrics3().Present, m.Lyrics3().Present);
            ++files;
        }
    }
    EXPECT_GE(files, 60);
}

TEST_F(Corpus, StreamFactsAsThePeersFindThem) {
    struct Case {
        const char* file;
        const char *version, *kbps, *hz;
        bool vbr;
        double seconds;
        int64_t firstFrame;
    };
    const Case cases[] = {
        {"taglib/xing.mp3", "MPEG-1", "32", "44100", false, 2.064, 0},
        {"taglib/bladeenc.mp3", "MPEG-1", "64", "44100", false, 3.553, 0},
        {"taglib/ape-id3v1.mp3", "MPEG-1", "32", "44100", false, -1, 0},
        {"taglib/invalid-frames1.mp3", "MPEG-1", "160", "44100", false, 0.392, 327},
        {"taglib/invalid-frames2.mp3", "MPEG-1", "192", "44100", false, 0.314, 374},
        {"taglib/invalid-frames3.mp3", "MPEG-1", "320", "44100", false, 0.183, 969},
        {"taglib/garbage.mp3", "MPEG-1", "64", "44100", false, -1, 2255},
        {"taglib/lame_cbr.mp3", "MPEG-1", "64", "44100", false, 1887.164, -1},
        {"taglib/lame_vbr.mp3", "MPEG-1", "70", "44100", true, 1887.164, -1},
        {"taglib/mpeg2.mp3", "MPEG-2", "25", "22050", true, 5387.285, 0},
        {"taglib/duplicate_id3v2.mp3", "MPEG-1", "128", "44100", false, -1, -1},
        {"mutagen/vbri.mp3", "MPEG-1", "233", "44100", true, 222.198, -1},
        {"mutagen/bad-xing.mp3", "MPEG-1", "48", "44100", true, 0, -1},
        {"mutagen/lame397v9short.mp3", "MPEG-2", nullptr, "24000", true, -1, 0},
        {"mutagen/silence-44-s-mpeg25.mp3", "MPEG-2.5", nullptr, "12000", true, -1, 0},
        {"mutagen/silence-44-s.mp3", "MPEG-1", "32", "44100", false, -1, 1314},
        {"id3lib/jules.mp3", "MPEG-1", "128", "44100", false, 4.728, 0},
        {"id3lib/crc53865.mp3", "MPEG-1", "224", "44100", false, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const auto f = Load(c.file);
        const TMP3Object& m = f->File;
        EXPECT_TRUE(m.HasFrame);
        EXPECT_EQ(m.IsVbr, c.vbr);
        EXPECT_TRUE(f->Sink.Messages.empty());
        EXPECT_EQ(Join({m.MpegVersion, m.Bitrate, m.Frequency}), Join({c.version, c.kbps ? c.kbps : m.Bitrate, c.hz}));
        if (c.seconds >= 0) {
            EXPECT_NEAR(m.PlaySeconds, c.seconds, 0.001);
        }
        if (c.firstFrame >= 0) {
            EXPECT_EQ(m.AudioStart, c.firstFrame);
        }
    }
    EXPECT_EQ(Load("mutagen/bad-xing.mp3")->File.SongLength, "00:00");
    EXPECT_EQ(Load("taglib/mpeg2.mp3")->File.SongLength, "89:47");
}

TEST_F(Corpus, Id3v23TagsReadAsThePeersReadThem) {
    const auto silence = Load("mutagen/silence-44-s.mp3");
    const TID3v2Object& s = silence->File.ID3v2();
    EXPECT_TRUE(s.Valid);
    EXPECT_EQ(
        Join({s.TIT2.Text, s.TALB.Text, s.TPE1.Text, s.TIT1.Text, s.TCON.Refinement, std::to_string(s.TRCK.Number),
              std::to_string(s.TRCK.Total), std::to_string(s.TLEN.Value), std::to_string(s.TYER.Value)}),
        "Silence|Quod Libet Test Data|piman|Silence|Silence|2|10|3000|2004");

    EXPECT_EQ(Load("taglib/unsynch.id3")->File.ID3v2().TIT2.Text, "My babe just cares for me");

    const auto picture = Load("id3lib/230-picture.tag");
    const TID3v2Object& p = picture->File.ID3v2();
    ASSERT_EQ(p.APICCount, 1);
    EXPECT_EQ(
        Join({p.APIC[0].MIMEType, std::to_string(p.APIC[0].PictureType), p.APIC[0].Description, p.TCOM.Text,
              p.TPE3.Text, p.TCON.Genre1Name}),
        "image/jpeg|11|B/W picture of Saint-Sa\xC3\xABns|Camille Saint-Sa\xC3\xABns|Ondrej Len\xC3\xA1rd|Classical");
    ASSERT_EQ(p.APIC[0].PictureData.size(), 8156u);
    EXPECT_EQ(Slice(p.APIC[0].PictureData, 0, 2), (TBytes{0xFF, 0xD8}));
    EXPECT_EQ(p.IPLS.People.substr(0, 21), std::string("Producer\0Martin Sauer", 21));

    const auto unicode = Load("id3lib/230-unicode.tag");
    const TTXXXFrame& u = unicode->File.ID3v2().TXXX[0];
    EXPECT_EQ(Join({u.Description, u.Value}), "example text frame|This text and the description should be in Unicode.");
    const auto compressed = Load("id3lib/230-compressed.tag");
    const TTXXXFrame& c = compressed->File.ID3v2().TXXX[0];
    EXPECT_EQ(Join({c.Description, c.Value.substr(0, 55)}),
              "compression example|This sample user text frame came from an ID3v2-3.0 tag.");

    const auto xp = Load("id3lib/win-xp.mp3");
    const TID3v2Object& w = xp->File.ID3v2();
    // Texts stored with a closing terminator read without it.
    EXPECT_EQ(Join({w.TPE1.Text, w.TIT2.Text, w.COMM[0].Language, w.COMM[0].Description, w.COMM[0].Text}),
              "test|test|DEU||test");

    const auto good = Load("id3lib/jules-goodtag.mp3");
    const TID3v2Object& j = good->File.ID3v2();
    EXPECT_EQ(Join({j.TIT2.Text, j.TALB.Text, j.TPE1.Text, j.COMM[0].Text, j.TYER.Text}),
              "Jules|No Album|No Artist|No Comment|1999");
    EXPECT_EQ(good->File.AudioData, ReadFile(kPeers / "id3lib/jules.mp3"));

    const auto spot = Load("id3lib/thatspot.mp3");
    const TID3v2Object& t = spot->File.ID3v2();
    EXPECT_EQ(Join({t.TIT2.Text, t.TPE1.Text, t.TALB.Text, t.TCON.Refinement, std::to_string(t.TLEN.Value),
                    std::to_string(t.APIC[0].PictureData.size())}),
              "That Spot Right There|Carey Bell|Mellow Down Easy|Blues|15000|22361");
    EXPECT_EQ(t.PCNT.Counter, (TBytes{0, 0, 0, 4}));
    ASSERT_EQ(t.RawFrames.size(), 1u);
    EXPECT_EQ(t.RawFrames[0].FrameHeader.FrameID, "TRDO");

    const auto w000 = Load("taglib/w000.mp3");
    ASSERT_EQ(w000->File.ID3v2().RawFrames.size(), 1u);
    EXPECT_EQ(w000->File.ID3v2().RawFrames[0].Data, B("lukas.lalinsky@example.com____"));

    EXPECT_EQ(Load("taglib/duplicate_id3v2.mp3")->File.DataStart, 3943);
}

TEST_F(Corpus, Id3v1AndLyrics3) {
    const auto v1 = Load("mutagen/silence-44-s-v1.mp3");
    const TID3v1Object& a = v1->File.ID3v1();
    EXPECT_EQ(Join({TID3v1Object::FieldText(a.Title), TID3v1Object::FieldText(a.Artist),
                    TID3v1Object::FieldText(a.Album), a.Year, a.TrackText, a.GenreName}),
              "Silence|piman|Quod Libet Test Data|2004|02|Darkwave");
    EXPECT_FALSE(v1->File.ID3v2().Present);

    const auto lyr = Load("id3lib/example.lyr");
    const TLyricsObject& l = lyr->File.Lyrics3();
    EXPECT_TRUE(l.Present);
    EXPECT_TRUE(l.HasLyrics);
    EXPECT_TRUE(l.HasTimestamps);
    EXPECT_EQ(l.Size, 1064 + 15);
    EXPECT_EQ(lyr->File.AudioEnd, 0);
    ASSERT_GE(l.Lyrics.size(), 7u);
    EXPECT_EQ(
        Join({l.ExtAlbum, l.ExtArtist, l.ExtTitle, l.Author, std::string(l.Lyrics.begin(), l.Lyrics.begin() + 7)}),
        "Album name that is larger then 30 chars !|Artist name or band that is larger then 30 chars !|"
        "Track name which is larger then 30 chars !|The lyrics were written by someone.. is it you ?|[00:02]");
    EXPECT_EQ(Join({lyr->File.ID3v1().GenreName, TID3v1Object::FieldText(lyr->File.ID3v1().Title)}),
              "Blues|Track name which is larger the");
}
