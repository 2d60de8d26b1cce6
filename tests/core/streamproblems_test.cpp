// The stream checker goes on past a break: every damaged stretch with its offset,
// kind and length, on streams built in code and on lame and twolame output.
#include <algorithm>
#include <cstdlib>
#include <random>

#include "file/mpegchecker.h"
#include "testfiles.h"

namespace {

using namespace vtest;
using velmar::TMPEGChecker;
using K = velmar::TProblemKind;
using O = velmar::TCheckOutcome;

// "garbage@2085+300 tag@2802+128 ": a list in one text.
std::string Listed(const velmar::TCheckResult& r) {
    std::string out;
    for (const velmar::TCheckProblem& p : r.Problems)
        out += std::string(velmar::ProblemKindName(p.Kind)) + "@" + std::to_string(p.Offset) + "+" +
               std::to_string(p.Bytes) + " ";
    return out;
}

TBytes Junk(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    TBytes b(n);
    for (auto& x : b) x = uint8_t(random() % 0xF0);
    return b;
}

TBytes ApeTag() {
    const TBytes item = Cat({{5, 0, 0, 0, 0, 0, 0, 0}, B("Title"), {0}, B("Hello")});
    auto block = [&](uint32_t flags) {
        TBytes b = B("APETAGEX");
        for (uint32_t v : {2000u, uint32_t(item.size() + 32), 1u, flags})
            for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
        b.resize(32, 0);
        return b;
    };
    return Cat({block(0xA0000000u), item, block(0x80000000u)});  // a header, the item, a footer
}

// Frames of 417 bytes (MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, joint stereo) damaged in
// every way; the verdict is the one the report's first lines give of the first break.
TEST(StreamProblems, EveryBreakOfABuiltStream) {
    const TFrameShape s{};
    auto kind = [](uint8_t version, uint8_t layer, uint8_t bitrate, uint8_t sampling, uint8_t mode) {
        return TFrameShape{version, layer, bitrate, sampling, mode, false, false};
    };
    const TFrameShape k48 = kind(3, 1, 9, 1, 1), mpeg2 = kind(2, 1, 9, 0, 1), layer2 = kind(3, 2, 9, 0, 1);
    const TBytes f5 = Frames(s, 5), f9 = Frames(s, 9), frame = Frame(s), cut = Slice(frame, 0, 100);
    const TBytes start = Id3Tag(Id3Frame("TIT2", Txt("S")), 20);  // 42 bytes
    auto vbr = [&](std::string_view marker, int64_t frames, int64_t bytes, const TBytes& rest) {
        return Cat({VbrFrame(s, marker, frames, bytes), rest});
    };
    TBytes zeroed = Frames(s, 10);
    std::fill(zeroed.begin() + 2 * 417 + 100, zeroed.begin() + 6 * 417, 0);
    struct TRow {
        std::string Name;
        TBytes File;
        std::string Want;
        int64_t Frames;
        O Verdict;
    };
    const std::vector<TRow> rows = {
        {"garbage twice", Cat({f5, Junk(300, 1), f5, Junk(7, 2), f5}), "garbage@2085+300 garbage@4470+7 ", 15,
         O::SyncError},
        {"a frame cut short", Cat({f5, cut, f5}), "cut-frame@2085+100 ", 10, O::SyncError},
        {"the first frame cut short", Cat({cut, f5}), "cut-frame@0+100 ", 5, O::SyncError},
        {"two frames of 48 kHz", Cat({f5, Frames(k48, 2), f5}), "foreign-frame@2085+768 ", 10, O::Ok},
        {"an MPEG-2 frame", Cat({f5, Frame(mpeg2), f5}), "foreign-frame@2085+261 ", 10, O::Ok},
        {"a Layer II frame", Cat({f5, Frame(layer2), f5}), "foreign-frame@2085+522 ", 10, O::Ok},
        {"a mono frame", Cat({f5, Frame(kind(3, 1, 9, 0, 3)), f5}), "foreign-frame@2085+417 ", 10, O::Ok},
        {"two frames of 48 kHz first", Cat({Frames(k48, 2), f5}), "foreign-frame@0+768 ", 5, O::Ok},
        {"stereo, joint stereo and bit rates mixed",
         Cat({f5, Frames(kind(3, 1, 9, 0, 0), 3), Frames(kind(3, 1, 5, 0, 1), 3), f5}), "", 16, O::Ok},
        {"an ID3v1 tag", Cat({f5, Id3v1(TV1{}), f5}), "tag@2085+128 ", 10, O::SyncError},
        {"an ID3v2 tag", Cat({f5, start, f5}), "tag@2085+42 ", 10, O::Ok},
        {"an APE tag", Cat({f5, ApeTag(), f5}), "tag@2085+83 ", 10, O::SyncError},
        {"a Lyrics3 tag", Cat({f5, Lyrics3({{"IND", "00"}}), f5}), "tag@2085+36 ", 10, O::SyncError},
        {"garbage after the ID3v2 tag", Cat({start, {0, 0, 0}, f5}), "garbage@42+3 ", 5, O::SyncError},
        {"the last frame cut short", Cat({f5, Slice(frame, 0, 300)}), "cut-last-frame@2085+300 ", 5, O::CutShort},
        {"the last frame cut in its header", Cat({f5, {0xFF, 0xFB}}), "cut-last-frame@2085+2 ", 5, O::ReadError},
        {"garbage at the end", Cat({f5, {1, 2}}), "garbage@2085+2 ", 5, O::ReadError},
        {"a frame, garbage, the stream", Cat({frame, Junk(5, 3), f5}), "garbage@417+5 ", 6, O::SyncError},
        {"two 48 kHz frames, then garbage", Cat({f5, Frames(k48, 2), Junk(30, 5), f5}),
         "foreign-frame@2085+768 garbage@2853+30 ", 10, O::SyncError},
        {"a 48 kHz frame inside garbage", Cat({f5, Frame(k48), Junk(30, 4), f5}), "garbage@2085+414 ", 10,
         O::SyncError},
        {"frames in pairs between garbage first", Cat({Frames(s, 2), {1}, Frames(s, 2), {2}, f5}),
         "garbage@834+1 garbage@1669+1 ", 9, O::SyncError},
        {"the Xing frame cut short", Cat({Slice(VbrFrame(s, "Xing", 3, -1), 0, 100), f5}), "cut-frame@0+100 ", 5,
         O::SyncError},
        {"the Xing frame cut short in a short file",
         Cat({Slice(VbrFrame(s, "Xing", 3, -1), 0, 100), start, Junk(277, 6)}),
         "cut-frame@0+100 tag@100+42 garbage@142+277 ", 0, O::ReadError},
        {"zeroes over four frame headers", zeroed, "garbage@1251+1251 ", 7, O::SyncError},
        // A Xing header counts the frames with or without its own, and all bytes.
        {"Xing without its own frame", vbr("Xing", 9, 4170, f9), "", 10, O::Ok},
        {"Xing with its own frame", vbr("Xing", 10, 4170, f9), "", 10, O::Ok},
        {"Xing without counts", vbr("Xing", -1, -1, f9), "", 10, O::Ok},
        {"Xing counting too few frames", vbr("Xing", 5, 4170, f9), "vbr-header@0+417 ", 10, O::Ok},
        {"Xing counting a byte too many", vbr("Xing", 9, 4171, f9), "vbr-header@0+417 ", 10, O::Ok},
        {"VBRI counting too few bytes", vbr("VBRI", 9, 3753, f9), "vbr-header@0+417 ", 10, O::Ok},
        {"Xing after garbage", Cat({{1, 2}, vbr("Xing", 3, 4170, f9)}), "garbage@0+2 vbr-header@2+417 ", 10,
         O::SyncError},
        // Damage after the header was written: it counts a frame cut short whole, and no other stream's.
        {"Xing and a frame cut short", vbr("Xing", 10, 4170, Cat({Frames(s, 4), cut, Frames(s, 4)})),
         "cut-frame@2085+100 ", 9, O::SyncError},
        {"Xing and a 48 kHz frame", vbr("Xing", 9, 4170, Cat({Frames(s, 4), Frame(k48), f5})),
         "foreign-frame@2085+384 ", 10, O::Ok},
    };
    TTempDir dir;
    // Small blocks make the walk and the search for the next frame cross block borders.
    for (const size_t block : {TMPEGChecker::kBlockSize, size_t(64), size_t(1000)}) {
        TMPEGChecker checker(block);
        for (const TRow& row : rows) {
            SCOPED_TRACE(row.Name + ", blocks of " + std::to_string(block));
            const velmar::TCheckResult r = checker.CheckFile(dir.Put("damaged.mp3", row.File));
            EXPECT_EQ(Listed(r), row.Want);
            EXPECT_EQ(r.Frames, row.Frames);
            EXPECT_EQ(r.Outcome, row.Verdict);
            EXPECT_EQ(r.IsError(), !row.Want.empty());
        }
    }
}

TEST(StreamProblems, ReportListsEveryProblem) {
    const TFrameShape s{};
    const TBytes f5 = Frames(s, 5), k48 = Frame(TFrameShape{3, 1, 9, 1, 1, false, false});
    TTempDir dir;
    const fs::path file = dir.Put("a.mp3", Cat({VbrFrame(s, "Xing", 3, 900), Frames(s, 4), k48, f5, {0xFF, 1, 2}}));
    velmar::TCheckResult r = TMPEGChecker().CheckFile(file);
    EXPECT_EQ(r.Lines, (std::vector<std::string>{
                           "FATAL ERROR:", "Could not read MPEG Header.", "Offset: 4554 of 4557", "Problems found: 3",
                           "At offset 0: the Xing header counts 3 frames and 900 bytes, the stream has 10 frames and "
                           "4170 bytes.",
                           "At offset 2085: 1 frame of another stream (MPEG-1 Layer III, 48000 Hz, stereo), 384 bytes.",
                           "At offset 4554: the last frame cut short, 3 bytes.", "", "File: " + file.string(), "",
                           std::string(92, '-'), ""}));

    // A list kept short: the first problems by offset, and how many more there are.
    r = TMPEGChecker(TMPEGChecker::kBlockSize, 2)
            .CheckFile(dir.Put("b.mp3", Cat({VbrFrame(s, "Info", 2, -1), f5, {1}, f5, {2}, f5})));
    EXPECT_EQ(Listed(r), "vbr-header@0+417 garbage@2502+1 ");
    EXPECT_EQ(r.ProblemCount, 3);
    EXPECT_EQ(r.Lines[6], "And 1 problem more.");

    // A whole chain with problems has no "No error(s) found.".
    r = TMPEGChecker().CheckFile(dir.Put("c.mp3", Cat({VbrFrame(s, "Xing", -1, 4170), f5})));
    EXPECT_EQ(std::vector<std::string>(r.Lines.begin(), r.Lines.begin() + 3),
              (std::vector<std::string>{"Sync Check Report:", "Problems found: 1",
                                        "At offset 0: the Xing header counts 4170 bytes, the stream has 2502 bytes."}));
}

// Streams of lame and twolame from the same signal, each damaged at a quarter, a half
// and three quarters of its frames (a VBR header's count at its first, a cut at its last).
TEST(StreamProblems, EveryDamagedPlaceOfEncodedStreams) {
    TTempDir dir;
    WriteFile(dir / "44.wav", SineWav(44100));
    WriteFile(dir / "22.wav", SineWav(22050));
    // Each with a stream of another sampling rate to take a frame from.
    const std::vector<std::pair<std::string, size_t>> encoders = {{"lame --quiet -b 128 44.wav", 2},
                                                                  {"lame --quiet -V 2 44.wav", 3},
                                                                  {"lame --quiet --resample 22.05 -V 5 44.wav", 0},
                                                                  {"lame --quiet --resample 11.025 -b 32 44.wav", 2},
                                                                  {"twolame --quiet -b 192 44.wav", 5},
                                                                  {"twolame --quiet -b 64 22.wav", 4}};
    std::vector<std::vector<TBytes>> streams;  // frame by frame
    for (const auto& [command, other] : encoders) {
        const std::string line = "cd '" + dir.Path.string() + "' && " + command + " --quiet out.mp3";
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
        const TBytes b = ReadFile(dir / "out.mp3");
        streams.emplace_back();
        for (size_t pos = 0, length; pos + 4 <= b.size(); pos += length) {
            length = size_t(velmar::FrameLength(b.data() + pos));
            ASSERT_GT(length, 0u) << command;
            streams.back().push_back(Slice(b, int64_t(pos), int64_t(std::min(b.size(), pos + length))));
        }
    }
    enum D { Garbage, Cut, V1, Splice, Count, LastCut };
    const std::vector<std::vector<D>> rows = {{Garbage},
                                              {Cut},
                                              {V1},
                                              {Splice},
                                              {Count},
                                              {LastCut},
                                              {Garbage, Cut},
                                              {V1, Splice, LastCut},
                                              {Count, Garbage, Cut}};
    TMPEGChecker checker;
    for (size_t i = 0; i < streams.size(); ++i)
        for (const std::vector<D>& damages : rows) {
            const std::vector<TBytes>& frames = streams[i];
            const size_t n = frames.size();
            velmar::TVBR_MPEGSync vbr;
            const bool hasCount = vbr.ReadVbrHeader(frames[0].data(), frames[0].size()) && vbr.Frames > 0;
            if (!hasCount && std::count(damages.begin(), damages.end(), Count)) continue;
            TBytes file = Id3Tag(Id3Frame("TIT2", Txt("Encoded")), 100);
            std::vector<size_t> at;  // the frame of each damage
            for (size_t d = 0, quarter = 1; d < damages.size(); ++d)
                at.push_back(damages[d] == Count ? 0 : damages[d] == LastCut ? n - 1 : n * quarter++ / 4);
            int64_t whole = 0, longest = 0;
            std::vector<std::pair<int64_t, K>> places;
            for (size_t f = 0; f < n; ++f) {
                TBytes frame = frames[f];
                longest = std::max(longest, int64_t(frame.size()));
                for (size_t k = 0; k < damages.size(); ++k) {
                    const D d = damages[k];
                    if (at[k] != f) continue;
                    const TBytes insert = d == Garbage  ? Junk(123, unsigned(f))
                                          : d == V1     ? Id3v1(TV1{})
                                          : d == Splice ? streams[encoders[i].second][10]
                                                        : TBytes{};
                    const K kinds[] = {K::Garbage, K::CutFrame, K::Tag, K::ForeignFrame, K::VbrHeader, K::CutLastFrame};
                    places.push_back({int64_t(file.size()), kinds[d]});
                    file = Cat({file, insert});
                    if (d == Cut || d == LastCut) frame.resize(frame.size() * (d == Cut ? 1 : 2) / 3);
                    if (d == Count)  // the frame count follows the marker and the flags word
                        for (size_t p = 4; p + 12 <= frame.size(); ++p)
                            if (std::memcmp(&frame[p], vbr.Kind == vbr.Info ? "Info" : "Xing", 4) == 0)
                                frame[p + 11] ^= 0x55;
                }
                whole += frame.size() == frames[f].size();
                file = Cat({file, frame});
            }
            const velmar::TCheckResult r = checker.CheckFile(dir.Put("d.mp3", Cat({file, Id3v1(TV1{})})));
            SCOPED_TRACE(encoders[i].first + ": " + Listed(r));
            ASSERT_EQ(r.Problems.size(), places.size());
            for (size_t p = 0; p < places.size(); ++p) {
                EXPECT_EQ(r.Problems[p].Kind, places[p].second) << p;
                EXPECT_LE(std::abs(r.Problems[p].Offset - places[p].first), longest) << p;
            }
            EXPECT_EQ(r.Frames, whole);
        }
}

}  // namespace
