// A change of many files saves their tags in place as one group, flushed together.
// Whatever call of the group fails, or wherever the process dies, every file ends as
// its old or its new self once its journal is carried out, and the history counts as
// written exactly the files that are new: undoing the change gives every old file back.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "base/sysio.h"
#include "batch/filltags.h"
#include "batch/wipetags.h"
#include "change/apply.h"
#include "file/inplace.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;

namespace {

constexpr int kFiles = 20;

TBytes Song(const std::string& title) {
    return Cat({Id3Tag(Id3Frame("TIT2", Txt(title)), 300), Frames(TFrameShape{}, 5), Id3v1({.Title = "v1"})});
}

ino_t Inode(const fs::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Fails (or, with Crash, abandons the process at) the FailAt-th system call but a close.
struct TFault {
    struct TCrash {};
    static inline int FailAt = 0, Seen = 0;
    static inline bool Crash = false, Hit = false;
    static int Hook(sysio::TCall call) {
        if (call == sysio::TCall::Close || ++Seen != FailAt) return 0;
        Hit = true;
        if (Crash) throw TCrash{};
        return EIO;
    }
    TFault(int failAt, bool crash) {
        FailAt = failAt;
        Crash = crash;
        Seen = 0;
        Hit = false;
        sysio::SetHook(&Hook);
    }
    ~TFault() { sysio::SetHook(nullptr); }
};

struct BatchSave : ::testing::Test {
    TTempDir Dir, State;
    THistory History{State / "history"};
    TCollectingSink Sink;
    std::vector<fs::path> Files;
    void SetUp() override {
        ::setenv("XDG_STATE_HOME", State.Path.c_str(), 1);
        for (int i = 0; i < kFiles; ++i) Files.push_back(Dir / ("s" + std::to_string(i) + ".mp3"));
    }
    void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }

    static TFileChange Retitle(std::vector<fs::path> files) {
        return {"test", "Set tags", std::move(files), [](const fs::path& file, TMessageSink& sink) {
                    TMP3Object object(sink);
                    if (!object.LoadForChange(file)) return false;
                    object.ID3v2().TIT2.SetText("New " + file.stem().string());
                    return object.SaveFile(file, true, false, true);
                }};
    }
    TBytes Old(size_t i) const { return Song("Old " + Files[i].stem().string()); }
    TBytes New(size_t i) const { return Song("New " + Files[i].stem().string()); }
    std::vector<std::string> Left() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Dir.Path)) names.push_back(e.path().filename().string());
        return names;
    }
};

TEST_F(BatchSave, EveryFileEndsOldOrNewAndTheHistorySaysWhichWhereverTheBatchFails) {
    const TBytes expectedNew = [&] {
        WriteFile(Files[0], Old(0));
        Retitle({Files[0]}).Write(Files[0], Sink);
        return ReadFile(Files[0]);
    }();
    ASSERT_EQ(expectedNew, New(0));  // the new title fits the tag's space: saved in place
    for (const bool crash : {false, true}) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE((crash ? "abandoned at call " : "failed call ") + std::to_string(n));
            fs::remove_all(State / "history");
            for (size_t i = 0; i < Files.size(); ++i) WriteFile(Files[i], Old(i));
            std::vector<TFileOutcome> outcomes;
            TCollectingSink sink;
            {
                // The change outlives the faults: a process that dies ends no change.
                TChange change(History, "test", "Set tags", sink);
                TFault fault(n, crash);
                try {
                    outcomes = ApplyChange(Retitle(Files), {nullptr, &sink});
                } catch (const TFault::TCrash&) {
                }
                if (!TFault::Hit) n = -1;  // every call was gone through: this was the last round
            }
            // A change the history could not record is said to be one that cannot be undone.
            const bool unrecorded = std::any_of(sink.Messages.begin(), sink.Messages.end(), [](const std::string& m) {
                return m.find("cannot be undone") != std::string::npos;
            });
            for (const fs::path& file : Files) RecoverInterruptedSave(file);

            std::map<std::string, bool> recorded;
            const auto changes = History.Changes();
            if (!changes.empty())
                for (const TChangedFile& f : changes[0].Files) recorded[fs::path(f.OldName).filename()] = f.Written;
            int written = 0;
            for (size_t i = 0; i < Files.size(); ++i) {
                const TBytes now = ReadFile(Files[i]);
                const bool isNew = now == New(i);
                ASSERT_TRUE(isNew || now == Old(i)) << Files[i];
                written += isNew;
                if (!unrecorded) {
                    EXPECT_EQ(recorded[Files[i].filename()], isNew) << Files[i];
                }
                if (!crash) {
                    EXPECT_EQ(outcomes.at(i).Written, isNew) << Files[i];
                }
            }
            EXPECT_EQ(Left().size(), Files.size());  // no journal or temporary file beside them
            if (n < 0) {
                EXPECT_EQ(written, kFiles);
                break;
            }
            if (unrecorded) continue;
            if (written > 0) History.Undo();
            for (size_t i = 0; i < Files.size(); ++i) EXPECT_EQ(ReadFile(Files[i]), Old(i)) << Files[i];
        }
    }
}

// A batch flushes a few times in all, not for each file; a file named twice is
// written once its first save is committed.
TEST_F(BatchSave, ABatchFlushesAFewTimesInAllAndTakesAFileNamedTwice) {
    for (size_t i = 0; i < Files.size(); ++i) WriteFile(Files[i], Old(i));
    static int syncs;
    syncs = 0;
    sysio::SetHook([](sysio::TCall call) { return call == sysio::TCall::Sync ? (++syncs, 0) : 0; });
    std::vector<fs::path> named = Files;
    named.push_back(Files[3]);
    size_t told = 0;
    const auto outcomes = ApplyChange(Retitle(named), {&History, &Sink, [&](size_t i, const TFileOutcome&) {
                                                           EXPECT_EQ(i, told++);
                                                           return true;
                                                       }});
    sysio::SetHook(nullptr);
    EXPECT_EQ(told, named.size());
    for (size_t i = 0; i < named.size(); ++i) EXPECT_TRUE(outcomes[i].Written) << i;
    for (size_t i = 0; i < Files.size(); ++i) EXPECT_EQ(ReadFile(Files[i]), New(i));
    EXPECT_LE(syncs, 7);  // two groups (the second holds the file named twice), three flushes each, and the history
    History.Undo();
    for (size_t i = 0; i < Files.size(); ++i) EXPECT_EQ(ReadFile(Files[i]), Old(i));
}

// Every tool that changes tags writes them where they stand when they fit, in a batch
// as alone: the file keeps its inode and no byte of its audio is written again.
TEST_F(BatchSave, EveryToolSavesInPlaceWhenTheTagFits) {
    TFillValues fill;
    fill.Matched = true;
    fill.Artist = "Fill artist";
    fill.Track = "03";
    const struct {
        const char* Tool;
        std::function<bool(const fs::path&, TMessageSink&)> Write;
    } tools[] = {
        {"set", Retitle({}).Write},
        {"fill", [&](const fs::path& f, TMessageSink& sink) { return WriteFillValues(f, fill, 2, {}, {}, sink); }},
        {"wipe of the tags at the end",
         [](const fs::path& f, TMessageSink& sink) {
             return WipeTags(f, {.ID3v1 = true, .Lyrics3 = true}, sink) == TWipeResult::Wiped;
         }},
    };
    for (const auto& tool : tools) {
        for (const size_t files : {size_t(1), size_t(2)}) {
            SCOPED_TRACE(std::string(tool.Tool) + ", files: " + std::to_string(files));
            std::vector<fs::path> named(Files.begin(), Files.begin() + ptrdiff_t(files));
            std::vector<ino_t> inodes;
            for (size_t i = 0; i < files; ++i) {
                WriteFile(Files[i], Old(i));
                inodes.push_back(Inode(Files[i]));
            }
            static int rewrites;
            rewrites = 0;
            sysio::SetHook([](sysio::TCall call) {
                if (call == sysio::TCall::Rename || call == sysio::TCall::Copy) ++rewrites;
                return 0;
            });
            const auto outcomes = ApplyChange({"test", tool.Tool, named, tool.Write}, {nullptr, &Sink});
            sysio::SetHook(nullptr);
            EXPECT_EQ(rewrites, 0);
            for (size_t i = 0; i < files; ++i) {
                EXPECT_TRUE(outcomes[i].Written);
                EXPECT_NE(ReadFile(Files[i]), Old(i));
                EXPECT_EQ(Inode(Files[i]), inodes[i]);
            }
        }
    }
}

}  // namespace
