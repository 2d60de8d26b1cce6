// Repairing damaged streams: lame and twolame output damaged at known places is
// repaired, checks clean, decodes to the frames it keeps, keeps its tags byte for
// byte, and is undone byte for byte; what cannot or need not be repaired is not
// written; a rewrite made to fail leaves the damaged file.
#include <sys/stat.h>

#include <cstdlib>
#include <random>

#include "base/sysio.h"
#include "change/apply.h"
#include "change/history.h"
#include "file/mpegchecker.h"
#include "file/mpegrepair.h"
#include "testfiles.h"

namespace {

using namespace vtest;
using namespace velmar;

TBytes Junk(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    TBytes b(n);
    for (auto& x : b) x = uint8_t(random() % 0xF0);
    return b;
}

// Repairs the files as one change of `history`; the outcome of each.
std::vector<TRepairOutcome> Repair(const std::vector<fs::path>& files, const THistory* history) {
    std::vector<TRepairOutcome> outcomes;
    TFileChange change{"test", "Repair streams", files, [&](const fs::path& file, TMessageSink& sink) {
                           outcomes.push_back(RepairFile(file, false, sink));
                           return outcomes.back().Written;
                       }};
    change.TagsOnly = false;
    ApplyChange(change, {history, nullptr, {}});
    return outcomes;
}

// The frames mpg123 decodes (without gapless trimming): the samples of its WAV output
// over the samples of a frame.
int64_t DecodedFrames(const fs::path& file, const fs::path& wav, int samplesPerFrame, int channels) {
    const std::string line = "mpg123 -q --no-gapless -w '" + wav.string() + "' '" + file.string() + "' 2>/dev/null";
    if (std::system(line.c_str()) != 0) return -1;
    return (int64_t(fs::file_size(wav)) - 44) / (2 * channels) / samplesPerFrame;
}

// Streams of lame and twolame (MPEG-1, -2 and -2.5, layers II and III, CBR and VBR with
// a Xing header), damaged at a quarter, half and three quarters of their frames.
TEST(Repair, EncodedStreamsComeBackWhole) {
    TTempDir dir;
    WriteFile(dir / "44.wav", SineWav(44100));
    WriteFile(dir / "22.wav", SineWav(22050));
    struct TEncoder {
        std::string Command;
        int SamplesPerFrame;
    };
    const std::vector<TEncoder> encoders = {{"lame --quiet -b 128 44.wav", 1152},
                                            {"lame --quiet -V 2 44.wav", 1152},
                                            {"lame --quiet --resample 22.05 -V 5 44.wav", 576},
                                            {"lame --quiet --resample 11.025 -b 32 44.wav", 576},
                                            {"twolame --quiet -b 192 44.wav", 1152},
                                            {"twolame --quiet -b 64 22.wav", 1152}};
    enum D { Garbage, Cut, V1, LastCut, Count };
    const std::vector<std::vector<D>> rows = {{Garbage}, {Cut}, {V1}, {LastCut}, {Count}, {Garbage, V1, Cut},
                                              {Count, Garbage, Cut, LastCut}};
    const TBytes head = Id3Tag(Id3Frame("TIT2", Txt("Encoded")), 100);
    const TBytes tail = Cat({Lyrics3({{"IND", "00"}}), Id3v1(TV1{.Title = "End"})});
    THistory history(dir / "history");
    for (const TEncoder& encoder : encoders) {
        const std::string line = "cd '" + dir.Path.string() + "' && " + encoder.Command + " out.mp3";
        ASSERT_EQ(std::system(line.c_str()), 0) << line;
        const TBytes b = ReadFile(dir / "out.mp3");
        std::vector<TBytes> frames;
        for (size_t pos = 0, length; pos + 4 <= b.size(); pos += length) {
            length = size_t(FrameLength(b.data() + pos));
            ASSERT_GT(length, 0u);
            frames.push_back(Slice(b, int64_t(pos), int64_t(std::min(b.size(), pos + length))));
        }
        TVBR_MPEGSync vbr;
        const bool header = vbr.ReadVbrHeader(frames[0].data(), frames[0].size());
        const int channels = (frames[0][3] >> 6) == 3 ? 1 : 2;
        for (const std::vector<D>& damages : rows) {
            if (!header && std::count(damages.begin(), damages.end(), Count)) continue;
            SCOPED_TRACE(encoder.Command + ", damages " + std::to_string(damages.size()) + " from " +
                         std::to_string(damages[0]));
            const size_t n = frames.size();
            TBytes audio;
            int64_t whole = 0;
            std::vector<size_t> at;  // the frame of each damage
            for (size_t d = 0, quarter = 1; d < damages.size(); ++d)
                at.push_back(damages[d] == Count ? 0 : damages[d] == LastCut ? n - 1 : n * quarter++ / 4);
            for (size_t f = 0; f < n; ++f) {
                TBytes frame = frames[f];
                for (size_t k = 0; k < damages.size(); ++k) {
                    const D d = damages[k];
                    if (at[k] != f) continue;
                    if (d == Garbage) audio = Cat({audio, Junk(123, unsigned(f))});
                    if (d == V1) audio = Cat({audio, Id3v1(TV1{.Title = "Inside"})});
                    if (d == Cut || d == LastCut) frame.resize(frame.size() / 2);
                    if (d == Count)
                        for (size_t p = 4; p + 12 <= frame.size(); ++p)
                            if (std::memcmp(&frame[p], vbr.Kind == vbr.Info ? "Info" : "Xing", 4) == 0) frame[p + 11] ^= 0x55;
                }
                whole += frame.size() == frames[f].size();
                audio = Cat({audio, frame});
            }
            const TBytes damaged = Cat({head, audio, tail});
            const fs::path file = dir.Put("d.mp3", damaged);
            const std::vector<TRepairOutcome> out = Repair({file}, &history);
            ASSERT_EQ(out.size(), 1u);
            ASSERT_TRUE(out[0].Written) << out[0].Plan.Reason;
            EXPECT_EQ(out[0].Plan.Repaired, int64_t(damages.size()));

            const TBytes repaired = ReadFile(file);
            const TCheckResult check = TMPEGChecker().CheckFile(file);
            EXPECT_FALSE(check.IsError()) << (check.Lines.size() > 4 ? check.Lines[4] : "");
            EXPECT_EQ(check.Frames, whole);
            EXPECT_EQ(Slice(repaired, 0, int64_t(head.size())), head);
            EXPECT_EQ(Slice(repaired, int64_t(repaired.size() - tail.size()), int64_t(repaired.size())), tail);
            EXPECT_EQ(DecodedFrames(file, dir / "out.wav", encoder.SamplesPerFrame, channels), whole - (header ? 1 : 0));

            // The header counts the repaired stream: frames without its own, all bytes.
            TVBR_MPEGSync after;
            if (header && after.ReadVbrHeader(repaired.data() + head.size(), 200)) {
                EXPECT_EQ(after.Frames, whole - 1);
                EXPECT_EQ(after.Bytes, int64_t(repaired.size() - head.size() - tail.size()));
            }

            const TUndoOutcome undone = history.Undo();
            EXPECT_EQ(undone.Restored, 1u);
            EXPECT_EQ(ReadFile(file), damaged);
            EXPECT_EQ(history.Redo().Restored, 1u);
            EXPECT_EQ(ReadFile(file), repaired);
        }
    }
}

// Built streams: what the repair does to each, in its words, and what it leaves.
TEST(Repair, WhatEachRepairDoes) {
    const TFrameShape s{};
    const TBytes f5 = Frames(s, 5), f9 = Frames(s, 9), cut = Slice(Frame(s), 0, 100);
    const TBytes k48 = Frames(TFrameShape{3, 1, 9, 1, 1, false, false}, 2);
    struct TRow {
        std::string Name;
        TBytes File;
        std::string Want;  // the summary
        bool Written;
        bool Failed;
    };
    const std::vector<TRow> rows = {
        {"intact", f9, "nothing to repair", false, false},
        {"garbage", Cat({f5, B("junk"), f5}), "removed 4 bytes of garbage at 2085; 1 problem repaired", true, false},
        {"garbage after two frames of an untagged file", Cat({Frames(s, 2), B("junk"), f5}),
         "removed 4 bytes of garbage at 834; 1 problem repaired", true, false},
        {"a tag inside", Cat({f5, Id3v1(TV1{}), f5}), "removed an ID3v1 tag (128 bytes) at 2085; 1 problem repaired",
         true, false},
        {"a frame cut short", Cat({f5, cut, f5}),
         "removed a frame cut short (100 of 417 bytes) at 2085; 1 problem repaired", true, false},
        {"the last frame cut short", Cat({f5, cut}),
         "removed the last frame cut short (100 bytes) at 2085; 1 problem repaired", true, false},
        {"Xing counting too few", Cat({VbrFrame(s, "Xing", 3, 4170), f9}),
         "rewrote the Xing header (9 frames, 4170 bytes) at 0; 1 problem repaired", true, false},
        {"Xing and a frame cut short", Cat({VbrFrame(s, "Xing", 10, 4587), Frames(s, 4), cut, f5}),
         "rewrote the Xing header (9 frames, 4170 bytes) at 0, removed a frame cut short (100 of 417 bytes) at 2085; "
         "1 problem repaired",
         true, false},
        {"Xing agreeing after garbage goes", Cat({VbrFrame(s, "Xing", 9, 4170), Frames(s, 4), B("xx"), f5}),
         "removed 2 bytes of garbage at 2085; 1 problem repaired", true, false},
        {"VBRI whose table cannot hold the stream", Cat({VbrFrame(s, "VBRI", 3, 4170), f9}),
         "removed the VBRI header, which cannot be corrected at 0; 1 problem repaired", true, false},
        {"frames of another stream are left", Cat({f5, k48, f5}), "nothing to repair; left 2 frames of another stream at 2085",
         false, false},
        {"garbage and another stream", Cat({f5, k48, B("zz"), f5}),
         "removed 2 bytes of garbage at 2853; 1 problem repaired; left 2 frames of another stream at 2085", true, false},
        {"no two agreeing frames", Cat({Frame(s), Junk(500, 1)}),
         "cannot be repaired: no two frames of one stream agree; left as it is", false, true},
        {"not audio", B("just a text file, named like audio"),
         "cannot be repaired: no two frames of one stream agree; left as it is", false, true},
    };
    TTempDir dir;
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const fs::path file = dir.Put("a.mp3", row.File);
        TCollectingSink sink;
        const TRepairOutcome dry = RepairFile(file, true, sink);
        EXPECT_EQ(ReadFile(file), row.File);
        const TRepairOutcome out = RepairFile(file, false, sink);
        EXPECT_EQ(RepairSummary(out, false), row.Want);
        EXPECT_EQ(out.Written, row.Written);
        EXPECT_EQ(out.Failed, row.Failed);
        EXPECT_EQ(dry.Plan.Splices, out.Plan.Splices);
        if (!row.Written) {
            EXPECT_EQ(ReadFile(file), row.File);
        } else {
            EXPECT_EQ(out.Plan.Left.empty(), !TMPEGChecker().CheckFile(file).IsError());
        }
    }
    // A dry run says "would".
    TCollectingSink sink;
    const TRepairOutcome dry = RepairFile(dir.Put("b.mp3", Cat({f5, B("junk"), f5})), true, sink);
    EXPECT_EQ(RepairSummary(dry, true), "would remove 4 bytes of garbage at 2085; 1 problem to repair");
}

// Every system call of the rewrite made to fail leaves the damaged file as it was, and nothing beside it.
TEST(Repair, FailedRewriteLeavesTheFile) {
    static int failAt = 0, seen = 0;
    static sysio::TCall kind = sysio::TCall::Write;
    // A header to rewrite, so that the rewrite writes bytes of its own as well as copying.
    const TBytes damaged = Cat({VbrFrame({}, "Xing", 3, 4170), Frames({}, 4), B("junk"), Frames({}, 5)});
    for (const sysio::TCall call :
         {sysio::TCall::Open, sysio::TCall::Write, sysio::TCall::Sync, sysio::TCall::Rename, sysio::TCall::Copy}) {
        SCOPED_TRACE(int(call));
        TTempDir dir;
        const fs::path file = dir.Put("a.mp3", damaged);
        kind = call;
        seen = 0;
        // The last call of its kind: the rewrite is under way.
        int calls = 0;
        sysio::SetHook([](sysio::TCall c) { return c == kind ? (++seen, 0) : 0; });
        TCollectingSink probe;
        RepairFile(file, false, probe);
        calls = seen;
        sysio::SetHook(nullptr);
        WriteFile(file, damaged);
        ASSERT_GT(calls, 0);
        failAt = calls;
        seen = 0;
        sysio::SetHook([](sysio::TCall c) { return c == kind && ++seen == failAt ? EIO : 0; });
        TCollectingSink sink;
        const TRepairOutcome out = RepairFile(file, false, sink);
        sysio::SetHook(nullptr);
        EXPECT_FALSE(out.Written);
        EXPECT_TRUE(out.Failed);
        EXPECT_FALSE(sink.Messages.empty());
        EXPECT_EQ(ReadFile(file), damaged);
        size_t entries = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path)) ++entries;
        EXPECT_EQ(entries, 1u);
    }
}

// Undo puts back only a file as the repair left it.
TEST(Repair, UndoRefusesAFileChangedSince) {
    TTempDir dir;
    THistory history(dir / "history");
    const TBytes damaged = Cat({Frames({}, 5), B("junk"), Frames({}, 5)});
    struct TRow {
        std::string Name;
        std::function<void(const fs::path&)> Change;
        bool Restored;
    };
    const std::vector<TRow> rows = {
        {"untouched", [](const fs::path&) {}, true},
        {"a byte of audio changed",
         [](const fs::path& f) {
             TBytes b = ReadFile(f);
             b[1000] ^= 1;
             WriteFile(f, b);
         },
         false},
        {"grown", [](const fs::path& f) { WriteFile(f, Cat({ReadFile(f), Frames({}, 1)})); }, false},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const fs::path file = dir.Put("a.mp3", damaged);
        ASSERT_TRUE(Repair({file}, &history)[0].Written);
        row.Change(file);
        const TBytes before = ReadFile(file);
        const TUndoOutcome out = history.Undo();
        EXPECT_EQ(out.Restored, row.Restored ? 1u : 0u);
        EXPECT_EQ(ReadFile(file), row.Restored ? damaged : before);
    }
}

}  // namespace
