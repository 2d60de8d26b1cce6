// File-list cells of real files, playlists and saved window files on disk,
// search matching and the colour variants of the background pictures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file/mp3object.h"
#include "views/listcells.h"
#include "views/pictures.h"
#include "views/playlist.h"
#include "views/searchmatch.h"

namespace {

namespace fs = std::filesystem;
using namespace velmar;
using Cells = std::map<std::string, std::string>;

struct TempDir {
    TempDir() {
        static std::atomic<unsigned> n{0};
        Path = fs::temp_directory_path() / ("velmar-browser-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
        fs::create_directories(Path);
    }
    ~TempDir() { fs::remove_all(Path); }
    fs::path operator/(const std::string& name) const { return Path / name; }
    fs::path Path;
};

void Write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Ten MPEG-1 Layer III frames of 128 kbit/s at 44100 Hz (417 bytes each).
std::string Audio() {
    std::string frame(417, '\x11');
    frame.replace(0, 4, "\xFF\xFB\x90\x00", 4);
    std::string out;
    for (int i = 0; i < 10; ++i) out += frame;
    return out;
}

std::string Be32(size_t n) { return {char(n >> 24), char(n >> 16), char(n >> 8), char(n)}; }
std::string V2Frame(const std::string& id, const std::string& body) {
    return id + Be32(body.size()) + std::string(2, '\0') + body;
}
std::string V2Text(const std::string& id, const std::string& text) { return V2Frame(id, std::string(1, '\0') + text); }
std::string V2Tag(const std::string& frames, char version = 3) {
    const size_t n = frames.size();
    return std::string("ID3") + version + '\0' + '\0' + char(n >> 21 & 0x7F) + char(n >> 14 & 0x7F) +
           char(n >> 7 & 0x7F) + char(n & 0x7F) + frames;
}
// ID3v1.1 when track > 0, else ID3v1.0 (no track number).
std::string V1Tag(const std::string& title, const std::string& artist, int track, unsigned char genre) {
    std::string t = "TAG" + std::string(125, '\0');
    t.replace(3, title.size(), title);
    t.replace(33, artist.size(), artist);
    t.replace(93, 4, "1999");
    if (track > 0) t[126] = char(track);
    t[127] = char(genre);
    return t;
}

Cells CellsOf(const fs::path& file) {
    TCollectingSink sink;
    TMP3Object mp3(sink);
    if (!mp3.LoadFile(file, false)) return UnreadableFileCells(file.string());
    return ListCells(mp3, file.string());
}

TEST(ListCells, Id3v2WinsCellByCellOverId3v1) {
    TempDir dir;
    const fs::path both = dir / "both.mp3";
    Write(both,
          V2Tag(V2Text("TIT2", std::string("X\0", 2)) + V2Text("TRCK", "3/12") + V2Text("TCON", "(17)Heavy Rock") +
                V2Frame("COMM", std::string("\0eng\0First", 10)) + V2Frame("COMM", std::string("\0eng\0Second", 11)) +
                V2Frame("TXXX", std::string("\0Mood\0Calm", 10))) +
              Audio() + V1Tag("Y", "Caf\xE9", 7, 9));
    Cells c = CellsOf(both);
    EXPECT_EQ(c["Path"], (dir.Path / "").string());
    EXPECT_EQ(c["Filename"], "both.mp3");
    EXPECT_EQ(c["Tags"], "1 2 ");
    EXPECT_EQ(c["Title"], "X");                     // the zero that ended the text is cut
    EXPECT_EQ(c["Artist / Group"], "Caf\xC3\xA9");  // no TPE1: the ID3v1 artist, as UTF-8
    EXPECT_EQ(c["Track"], "03/12");
    EXPECT_EQ(c["Genre"], "Heavy Rock");  // the refinement wins over the genre number
    EXPECT_EQ(c["Comment(s)"], "First");
    EXPECT_EQ(c["User Text(s)"], "Calm");
    EXPECT_EQ(c["Year"], "1999");
    EXPECT_EQ(c["Length"], "00:00");
    EXPECT_FALSE(c.contains("Remix"));
    EXPECT_FALSE(c.contains("Att. Pics"));

    const fs::path noTitle = dir / "notitle.mp3";
    Write(noTitle, V2Tag(V2Text("TPE1", "A") + V2Text("TCON", "(17)(9)") + V2Text("TRCK", "5")) + Audio() +
                       V1Tag("Y", "B", 7, 0));
    c = CellsOf(noTitle);
    EXPECT_EQ(c["Title"], "Y");
    EXPECT_EQ(c["Artist / Group"], "A");
    EXPECT_EQ(c["Genre"], "Rock/Metal");
    EXPECT_EQ(c["Track"], "05");  // no total, no "/"

    // A tag of a version that is not understood shows as present, but its frames are not used.
    const fs::path odd = dir / "odd.mp3";
    Write(odd, V2Tag(V2Text("TIT2", "X"), 5) + Audio() + V1Tag("Y", "", 0, 255));
    c = CellsOf(odd);
    EXPECT_EQ(c["Tags"], "1 2 ");
    EXPECT_EQ(c["Title"], "Y");
    EXPECT_EQ(c["Track"], "00/?");
    EXPECT_FALSE(c.contains("Genre"));  // genre byte 255: no genre
    EXPECT_FALSE(c.contains("Artist / Group"));
}

TEST(ListCells, Id3v1OnlyAndSizesAndUnreadableFiles) {
    TempDir dir;
    const std::string tail = V1Tag("T", "", 0, 17);
    Write(dir / "kb.mp3", Audio() + std::string(999999 - 4170 - 128, '\0') + tail);
    Write(dir / "mb.mp3", Audio() + std::string(1000000 - 4170 - 128, '\0') + tail);
    Cells kb = CellsOf(dir / "kb.mp3"), mb = CellsOf(dir / "mb.mp3");
    EXPECT_EQ(kb["Size"], "976,6 Kb");
    EXPECT_EQ(mb["Size"], "1,0 Mb");
    EXPECT_EQ(kb["Tags"], "1   ");
    EXPECT_EQ(kb["Track"], "00/?");
    EXPECT_EQ(kb["Genre"], "Rock");
    EXPECT_EQ(SizeText(9728), "9,5 Kb");
    EXPECT_EQ(SizeText(3 * 1048576 - 1), "3,0 Mb");
    EXPECT_EQ(TagsText(true, true, true), "1 2 L");

    const Cells gone = CellsOf(dir / "sub" / "gone.mp3");
    EXPECT_EQ(
        gone,
        (Cells{{"Path", (dir / "sub" / "").string()}, {"Filename", "gone.mp3"}, {"Tags", "    "}, {"Size", "0,0 Kb"}}));

    ASSERT_EQ(ColumnCatalogue().size(), 18u);
    EXPECT_STREQ(ColumnCatalogue()[8].Caption, "Length");
    EXPECT_EQ(ColumnCatalogue()[8].Position, 8);
    EXPECT_EQ(ColumnCatalogue()[9].Position, -1);
    EXPECT_EQ(CellAlignment("Track"), TCellAlignment::Centre);
    EXPECT_EQ(CellAlignment("Att. Pics"), TCellAlignment::Right);
    EXPECT_EQ(CellAlignment("User Text(s)"), TCellAlignment::Left);
}

TEST(Playlist, PlsAndM3uRoundTripAndForeignFiles) {
    TempDir dir;
    std::vector<std::string> names;
    for (int i = 0; i < 5; ++i) {
        names.push_back((dir / ("s" + std::to_string(i) + ".mp3")).string());
        Write(names.back(), "x");
    }
    const std::vector<std::string> three = {names[1], names[3], names[4]};
    WritePlaylist(dir / "list.PLS", three);
    EXPECT_EQ(Read(dir / "list.PLS"), "[playlist]\r\nFile1=" + names[1] + "\r\nFile2=" + names[3] +
                                          "\r\nFile3=" + names[4] + "\r\nNumberOfEntries=3\r\n");
    EXPECT_EQ(ReadPlaylist(dir / "list.PLS"), three);
    WritePlaylist(dir / "list.m3u", three);
    EXPECT_EQ(Read(dir / "list.m3u"), names[1] + "\r\n" + names[3] + "\r\n" + names[4] + "\r\n");
    EXPECT_EQ(ReadPlaylist(dir / "list.m3u"), three);
    WritePlaylist(dir / "list.txt", three);
    EXPECT_EQ(Read(dir / "list.txt"), "");
    EXPECT_EQ(PlaylistKindOf("a.M3u"), TPlaylistKind::M3U);

    // Only the first "=" separates; titles and lengths are no file names.
    fs::create_directories(dir / "sub");
    Write(dir / "a=b.mp3", "x");
    Write(dir / "sub" / "c.mp3", "x");
    Write(dir / "in.pls", "[playlist]\nFile1=" + (dir / "missing.mp3").string() + "\nFile2=" +
                              (dir / "a=b.mp3").string() + "\nTitle2=s0.mp3\nFile3=sub/c.mp3\nNumberOfEntries=3\n");
    EXPECT_EQ(ReadPlaylist(dir / "in.pls"),
              (std::vector<std::string>{(dir / "a=b.mp3").string(), (dir / "sub/c.mp3").string()}));

    // A BOM, LF line ends, comments, blank lines, a folder and relative entries (against the playlist's folder).
    Write(dir / "sub" / "in.m3u", "\xEF\xBB\xBF#EXTM3U\n#EXTINF:12,Song\nc.mp3\n\n../s2.mp3\r\n.\n" + names[0]);
    EXPECT_EQ(ReadPlaylist(dir / "sub" / "in.m3u"),
              (std::vector<std::string>{(dir / "sub/c.mp3").string(), names[2], names[0]}));

    EXPECT_THROW(ReadPlaylist(dir / "none.m3u"), std::runtime_error);
    EXPECT_THROW(WritePlaylist(dir / "no" / "such.m3u", three), std::runtime_error);
}

TEST(Playlist, WindowControlFilesAndSavedLists) {
    TempDir dir;
    const TWindowPlacement p{640, 480, -8, 12, 1, {true, false, true}};
    WriteWindowControl(dir / "WND0.ctl", p);
    EXPECT_EQ(Read(dir / "WND0.ctl"), "640\r\n480\r\n-8\r\n12\r\n1\r\n1\r\n0\r\n1\r\n");
    const auto back = ReadWindowControl(dir / "WND0.ctl");
    ASSERT_TRUE(back);
    EXPECT_EQ(std::vector<int>({back->Width, back->Height, back->Left, back->Top, back->State}),
              std::vector<int>({640, 480, -8, 12, 1}));
    EXPECT_EQ(back->Selected, p.Selected);

    Write(dir / "five.ctl", "1\n2\n3\n4\n0\nx\n1");
    EXPECT_EQ(ReadWindowControl(dir / "five.ctl")->Selected, (std::vector<bool>{false, true}));
    Write(dir / "empty.ctl", "1\r\n2\r\n3\r\n4\r\n2\r\n");
    EXPECT_TRUE(ReadWindowControl(dir / "empty.ctl")->Selected.empty());
    Write(dir / "short.ctl", "1\r\n2\r\n3\r\n");
    EXPECT_FALSE(ReadWindowControl(dir / "short.ctl"));
    Write(dir / "text.ctl", "1\r\nwide\r\n3\r\n4\r\n0\r\n");
    EXPECT_FALSE(ReadWindowControl(dir / "text.ctl"));
    EXPECT_FALSE(ReadWindowControl(dir / "missing.ctl"));

    for (const char* name : {"WND10.m3u", "WND2.m3u", "WND0.M3U", "WND2.ctl", "other.m3u", "WNDx.m3u", "WND.m3u"})
        Write(dir / name, "");
    EXPECT_EQ(SavedWindowLists(dir.Path),
              (std::vector<fs::path>{dir / "WND0.M3U", dir / "WND2.m3u", dir / "WND10.m3u"}));
    EXPECT_TRUE(SavedWindowLists(dir / "none").empty());
}

TEST(Search, RowMatchesWithAndWithoutCase) {
    const std::vector<std::string> row = {"/music/", "song.mp3", "Rock", "Caf\xC3\xA9"};
    EXPECT_TRUE(RowMatches(row, "rock", false));
    EXPECT_FALSE(RowMatches(row, "rock", true));
    EXPECT_TRUE(RowMatches(row, "Rock", true));
    EXPECT_TRUE(RowMatches(row, "SONG.MP3", false));
    EXPECT_TRUE(RowMatches(row, "caf\xC3\xA9", false));
    EXPECT_FALSE(RowMatches(row, "CAF\xC3\x89", false));  // only a-z change case
    EXPECT_FALSE(RowMatches(row, "jazz", false));
    EXPECT_FALSE(RowMatches({}, "x", false));
}

TEST(Search, RowsSearchedSelectedKeptOrCopied) {
    const std::vector<std::vector<std::string>> rows = {{"a", "Rock"}, {"b", "Jazz"}, {"c", "rock"}, {"d", "Pop"}};
    auto cells = [&rows](size_t r) { return rows[r]; };
    const std::vector<char> before = {0, 1, 1, 1};
    const struct {
        const char* Name;
        TSearchRequest Request;
        std::vector<char> Selection;
        std::vector<size_t> Matches;
    } cases[] = {
        {"all rows", {"rock", false, false, false, false}, {1, 0, 1, 0}, {0, 2}},
        {"case", {"rock", false, true, false, false}, {0, 0, 1, 0}, {2}},
        {"kept", {"Pop", false, true, true, false}, {0, 1, 1, 1}, {3}},
        {"kept and added", {"Rock", false, true, true, false}, {1, 1, 1, 1}, {0}},
        {"selected rows only", {"rock", true, false, false, false}, {0, 0, 1, 0}, {2}},
        {"copied", {"rock", false, false, false, true}, {0, 0, 0, 0}, {0, 2}},
        {"copied and kept", {"rock", false, false, true, true}, {0, 1, 1, 1}, {0, 2}},
        {"no match", {"Blues", false, false, false, false}, {0, 0, 0, 0}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TSearchOutcome out = SearchRows(before, c.Request, cells);
        EXPECT_EQ(out.Selection, c.Selection);
        EXPECT_EQ(out.Matches, c.Matches);
    }
}

TEST(Playlist, GatheredFilesOfFoldersPlaylistsAndFiles) {
    TempDir dir;
    fs::create_directories(dir / "music" / "sub");
    for (const char* name :
         {"music/b.mp3", "music/a.MP2", "music/sub/c.mp3", "music/cover.jpg", "one.mp3", "notes.txt"})
        Write(dir / name, "x");
    Write(dir / "list.m3u", "one.mp3\nmusic/sub/c.mp3\n");
    const std::vector<fs::path> given = {dir / "list.m3u", dir / "music", dir / "notes.txt", dir / "gone.mp3",
                                         dir / "none.m3u"};
    const TGatheredFiles withLists = GatherFiles(given, true);
    EXPECT_EQ(withLists.Files,
              (std::vector<fs::path>{dir / "one.mp3", dir / "music/sub/c.mp3", dir / "music/a.MP2", dir / "music/b.mp3",
                                     dir / "music/sub/c.mp3", dir / "notes.txt", dir / "gone.mp3"}));
    ASSERT_EQ(withLists.Errors.size(), 1u);
    EXPECT_EQ(withLists.Errors[0].first, dir / "none.m3u");

    // Without playlists, as for dropped files: folders and audio names only.
    const TGatheredFiles dropped = GatherFiles(given, false);
    EXPECT_EQ(dropped.Files, (std::vector<fs::path>{dir / "music/a.MP2", dir / "music/b.mp3", dir / "music/sub/c.mp3",
                                                    dir / "gone.mp3"}));
    EXPECT_EQ(dropped.Skipped, 3);
    EXPECT_TRUE(dropped.Errors.empty());
}

// A 4 x 2 picture: 54 header bytes, a grey palette, 8 pixel bytes.
std::string Bitmap(int bits, uint32_t pixelOffset) {
    std::string b(54, '\0');
    auto put = [&b](size_t at, uint32_t v, int width) {
        for (int i = 0; i < width; ++i) b[at + size_t(i)] = char(v >> (8 * i));
    };
    put(0, 'B' | 'M' << 8, 2);
    put(2, 1086, 4);
    put(10, pixelOffset, 4);
    put(14, 40, 4);
    put(18, 4, 4);
    put(22, 2, 4);
    put(26, 1, 2);
    put(28, uint32_t(bits), 2);
    for (int i = 0; i < 256; ++i) b += {char(i), char(i), char(i), 0};
    return b + "\x00\x01\x02\x03\xFC\xFD\xFE\xFF";
}

TEST(Pictures, ColourVariantsTakeThePaletteAndKeepThePixels) {
    TempDir dir;
    Write(dir / "base.bmp", Bitmap(8, 1078));
    std::string red, ramp;
    for (int i = 0; i < 256; ++i) red += {char(i), 0, 0}, ramp += {char(1), char(2), char(i)};
    Write(dir / "CM0.ACT", red);
    Write(dir / "CM1.ACT", ramp + std::string(4, '\0'));  // a trailer after the 768 bytes is ignored
    BuildColourVariants(dir / "base.bmp", {dir / "CM0.ACT", dir / "CM1.ACT"}, {dir / "v0.bmp", dir / "v1.bmp"});
    const std::string base = Read(dir / "base.bmp"), v0 = Read(dir / "v0.bmp"), v1 = Read(dir / "v1.bmp");
    ASSERT_EQ(v0.size(), base.size());
    EXPECT_EQ(v0.substr(0, 54), base.substr(0, 54));
    EXPECT_EQ(v0.substr(1078), base.substr(1078));
    EXPECT_EQ(v0.substr(54 + 4 * 200, 4), std::string("\0\0\xC8\0", 4));  // blue, green, red, 0
    EXPECT_EQ(v1.substr(54 + 4 * 200, 4), std::string("\xC8\x02\x01\0", 4));

    Write(dir / "deep.bmp", Bitmap(24, 1078));
    Write(dir / "moved.bmp", Bitmap(8, 1082));
    Write(dir / "short.ACT", red.substr(0, 700));
    auto message = [&](const fs::path& base, const fs::path& palette) {
        try {
            BuildColourVariants(base, {palette}, {dir / "out.bmp"});
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_NE(message(dir / "deep.bmp", dir / "CM0.ACT").find("24 bits per pixel"), std::string::npos);
    EXPECT_NE(message(dir / "moved.bmp", dir / "CM0.ACT").find("byte 1082"), std::string::npos);
    EXPECT_NE(message(dir / "base.bmp", dir / "short.ACT").find("768"), std::string::npos);
    EXPECT_NE(message(dir / "absent.bmp", dir / "CM0.ACT").find("absent.bmp"), std::string::npos);
    EXPECT_THROW(BuildColourVariants(dir / "base.bmp", {dir / "CM0.ACT"}, {}), std::runtime_error);
}

// The pictures and palettes the program ships: every base makes its seven variants,
// the icon strips have the cell sizes the windows cut them by, the resource file names only existing files.
TEST(Pictures, ShippedPicturesAndPalettes) {
    const fs::path root = fs::path(VELMAR_SAMPLES).parent_path().parent_path();
    const fs::path gfx = root / "gui" / "pictures";
    TempDir dir;
    for (const auto& [base, prefix] : {std::pair{"background.bmp", "CM"}, std::pair{"browser.bmp", "CB"}}) {
        std::vector<fs::path> palettes, variants;
        for (int k = 0; k < 7; ++k) {
            palettes.push_back(root / "data" / "GFX" / "COLTAB" / (prefix + std::to_string(k) + ".ACT"));
            variants.push_back(dir / (prefix + std::to_string(k) + ".bmp"));
            EXPECT_EQ(fs::file_size(palettes.back()), 768u);
        }
        ASSERT_NO_THROW(BuildColourVariants(gfx / base, palettes, variants));
        EXPECT_EQ(Read(variants[6]).substr(1078), Read(gfx / base).substr(1078));
    }
    auto size = [&](const char* name) {
        const std::string b = Read(gfx / name);
        auto le = [&b](size_t at) { return int(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); };
        return std::vector<int>{le(18), le(22), le(28)};  // width, height, bits per pixel
    };
    EXPECT_EQ(size("toolbar_hot.bmp"), (std::vector<int>{30 * 16, 16, 24}));
    EXPECT_EQ(size("toolbar_normal.bmp"), (std::vector<int>{30 * 16, 16, 24}));
    EXPECT_EQ(size("browser_hicons.bmp"), (std::vector<int>{7 * 32, 40, 24}));
    EXPECT_EQ(size("browser_nicons.bmp"), (std::vector<int>{7 * 32, 40, 24}));

    const std::string qrc = Read(gfx / "velmar.qrc");
    int files = 0;
    for (size_t at = qrc.find("<file "); at != std::string::npos; at = qrc.find("<file ", at + 1), ++files) {
        const size_t from = qrc.find('>', at) + 1;
        EXPECT_TRUE(fs::exists(gfx / qrc.substr(from, qrc.find('<', from) - from))) << qrc.substr(at, 60);
    }
    EXPECT_EQ(files, 13);
}

}  // namespace
