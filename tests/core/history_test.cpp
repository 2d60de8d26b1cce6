// The history of changes: every kind of change undone and redone byte for byte, a
// file changed by another program in between, a change cut short, and the limits.
#include <sys/stat.h>

#include <map>

#include "base/sysio.h"
#include "batch/filltags.h"
#include "batch/rename.h"
#include "batch/wipetags.h"
#include "change/apply.h"
#include "change/history.h"
#include "edit/tagedit.h"
#include "file/inplace.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;

namespace {

TBytes Song(const std::string& title, size_t padding = 64) {
    return Cat({Id3Tag(Cat({Id3Frame("TIT2", Txt(title)), Id3Frame("TPE1", Txt("Band"))}), padding), Frames({}, 8),
                Id3v1({.Title = title, .Track = 2})});
}

// Every file of a folder by name, with its bytes.
std::map<std::string, TBytes> Snapshot(const fs::path& folder) {
    std::map<std::string, TBytes> out;
    for (const auto& e : fs::directory_iterator(folder)) out[e.path().filename().string()] = ReadFile(e.path());
    return out;
}

bool SetTitle(const fs::path& file, const std::string& title) {
    TCollectingSink sink;
    TMP3Object object(sink);
    if (!object.LoadForChange(file)) return false;
    TTagEdit(object).Set(TTagField::Title, title);
    return object.SaveFile(file, true, false, true);
}

struct THistoryTest : testing::Test {
    TTempDir Dir, State;
    THistory History{State / "history"};
    TCollectingSink Sink;
    fs::path A = Dir / "a.mp3", B = Dir / "b.mp3";
    void SetUp() override {
        WriteFile(A, Song("a"));
        WriteFile(B, Song("b"));
    }
};

}  // namespace

TEST_F(THistoryTest, EveryKindOfChangeIsUndoneAndRedoneByteForByte) {
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"a title in place", [&] { SetTitle(A, "new"); }},
        {"a tag that grows", [&] { SetTitle(B, std::string(300, 'x')); }},
        {"tags wiped",
         [&] {
             WipeTags(A, {true, true, false}, Sink);
         }},
        {"filled from names",
         [&] {
             const TFillValues v = FillValuesFor("Artist - Title", "%00 - %01", 1, {}, {});
             WriteFillValues(B, v, 1, {}, {}, Sink);
         }},
        {"a swap of names",
         [&] {
             CarryOutRenames(PlanMoves({{A, B}, {B, A}}));
         }},
    };
    std::vector<std::map<std::string, TBytes>> before, after;
    for (const auto& [name, change] : changes) {
        before.push_back(Snapshot(Dir.Path));
        TChange recorded(History, "test", name, Sink);
        change();
        after.push_back(Snapshot(Dir.Path));
        ASSERT_NE(after.back(), before.back()) << name;
    }
    // Undone newest first, one change at a time, then redone in the order they were undone back.
    for (size_t k = changes.size(); k-- > 0;) {
        const TUndoOutcome out = History.Undo();
        EXPECT_EQ(out.Text, changes[k].first);
        EXPECT_TRUE(out.LeftAlone.empty()) << changes[k].first << ": " << out.LeftAlone[0].second;
        EXPECT_EQ(Snapshot(Dir.Path), before[k]) << changes[k].first;
    }
    EXPECT_EQ(History.Undo().Id, 0u);  // nothing left to undo
    for (size_t k = 0; k < changes.size(); ++k) {
        EXPECT_EQ(History.Redo().Text, changes[k].first);
        EXPECT_EQ(Snapshot(Dir.Path), after[k]) << changes[k].first;
    }
    EXPECT_EQ(History.Undo().Text, changes.back().first);  // a redone change is the newest to undo again
    // Only the user may read the history.
    struct stat st {};
    ASSERT_EQ(::stat(History.Folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    for (const auto& e : fs::directory_iterator(History.Folder()))
        EXPECT_EQ(fs::status(e).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(THistoryTest, AFileChangedOrMovedSinceIsLeftAsItIs) {
    const fs::path c = Dir / "c.mp3";
    {
        TChange change(History, "test", "Set tags", Sink);
        SetTitle(A, "new a");
        SetTitle(B, "new b");
    }
    {
        TChange change(History, "test", "Rename", Sink);
        CarryOutRenames(PlanMoves({{A, c}}));
    }
    fs::rename(c, A);  // moved back by hand: the rename is not undone, and not repeated
    EXPECT_EQ(History.Undo().LeftAlone.size(), 1u);
    SetTitle(B, "changed by another program");
    const TBytes changed = ReadFile(B);
    const TUndoOutcome out = History.Undo();
    ASSERT_EQ(out.LeftAlone.size(), 1u);
    EXPECT_EQ(out.LeftAlone[0].first, B);
    EXPECT_EQ(ReadFile(B), changed);
    EXPECT_EQ(ReadFile(A), Song("a"));
    EXPECT_EQ(out.Restored, 1u);
}

TEST_F(THistoryTest, AChangeCutShortIsUndoneForTheFilesItReached) {
    struct TCrash {};
    static int writes;
    writes = 0;
    {
        TChange change(History, "test", "Set tags", Sink);
        SetTitle(A, "new a");
        // The second file's save dies at its first write to the file (the journal is written first).
        sysio::SetHook([](sysio::TCall call) -> int {
            if (call == sysio::TCall::Write && ++writes == 2) throw TCrash{};
            return 0;
        });
        EXPECT_THROW(SetTitle(B, "new b"), TCrash);
        sysio::SetHook(nullptr);
    }
    RecoverInterruptedSave(B);
    const std::vector<TChangeRecord> changes = History.Changes();
    ASSERT_EQ(changes.size(), 1u);
    ASSERT_EQ(changes[0].Files.size(), 2u);
    EXPECT_TRUE(changes[0].Files[0].Written);
    EXPECT_FALSE(changes[0].Files[1].Written);
    EXPECT_EQ(History.Undo().Restored, 1u);
    EXPECT_EQ(ReadFile(A), Song("a"));
    EXPECT_EQ(ReadFile(B), Song("b"));
}

TEST_F(THistoryTest, TheOldestChangesGoFirstAndOneTooBigIsNotKept) {
    THistory limited(History.Folder(), {.Changes = 2, .Bytes = 4096});
    for (const char* title : {"one", "two", "three"}) {
        TChange change(limited, "test", title, Sink);
        SetTitle(A, title);
    }
    const std::vector<TChangeRecord> kept = limited.Changes();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].Text, "three");
    EXPECT_EQ(kept[1].Text, "two");
    {
        TChange change(limited, "test", "big", Sink);
        SetTitle(B, std::string(5000, 'x'));
    }
    EXPECT_EQ(Sink.Messages.back(), "this change cannot be undone: it is larger than the history may hold");
    EXPECT_EQ(limited.Changes().front().Text, "three");
}

TEST_F(THistoryTest, AChangeRecordsEachFileAsItWasJustBeforeItWasWritten) {
    // The old tags of both files are recorded before the first is written; the second
    // is changed by another program in between, and undo gives back that version.
    TFileChange change{"test", "Set tags", {A, B}, [&](const fs::path& file, TMessageSink&) {
                           if (file == B) WriteFile(B, Song("meanwhile"));
                           return SetTitle(file, "new");
                       }};
    TApplyOptions options;
    options.History = &History;
    const std::vector<TFileOutcome> outcomes = ApplyChange(change, options);
    ASSERT_TRUE(outcomes[0].Written && outcomes[1].Written);
    EXPECT_EQ(History.Undo().Restored, 2u);
    EXPECT_EQ(ReadFile(A), Song("a"));
    EXPECT_EQ(ReadFile(B), Song("meanwhile"));
}

TEST_F(THistoryTest, FilesNamedFromTheCurrentFolderAreUndoneFromAnother) {
    const auto before = Snapshot(Dir.Path);
    const fs::path was = fs::current_path();
    fs::current_path(Dir.Path);
    {
        TChange recorded(History, "test", "relative names", Sink);
        ASSERT_TRUE(SetTitle("a.mp3", "new"));
        CarryOutRenames(PlanMoves({{"b.mp3", "c.mp3"}}));
    }
    fs::current_path(State.Path);
    const TUndoOutcome out = History.Undo();
    fs::current_path(was);
    EXPECT_TRUE(out.LeftAlone.empty()) << out.LeftAlone[0].first << ": " << out.LeftAlone[0].second;
    EXPECT_EQ(Snapshot(Dir.Path), before);
}

// Only records no one else could have written are read, so only they are undone (root
// after `sudo -E` has the user's state folder: the user's records would move and
// write root's files); an entry changed since it was written ends its record.
TEST_F(THistoryTest, OnlyRecordsNoOneElseCouldHaveWrittenAreRead) {
    struct TCase {
        const char* Name;
        std::function<void(const fs::path& folder, const fs::path& record)> Spoil;
        size_t Changes;
        bool Written;  // the file's entry after the save is read
        bool RootOnly = false;
    };
    const std::vector<TCase> cases = {
        {"as it was written", [](const fs::path&, const fs::path&) {}, 1, true},
        {"an entry with a byte changed", [](const fs::path&, const fs::path& r) {
             TBytes b = ReadFile(r);
             b[b.size() - 16] ^= 1;  // the file's time after the save, in the last entry
             WriteFile(r, b);
         }, 1, false},
        {"a folder others may write", [](const fs::path& f, const fs::path&) { ::chmod(f.c_str(), 0770); }, 0, false},
        {"another user's folder", [](const fs::path& f, const fs::path&) { (void)::chown(f.c_str(), kOtherUser, 0); },
         0, false, true},
    };
    for (const TCase& c : cases) {
        if (c.RootOnly && ::geteuid() != 0) continue;
        SCOPED_TRACE(c.Name);
        THistory history(State / c.Name);
        WriteFile(A, Song("a"));
        {
            TChange change(history, "test", "Set tags", Sink);
            ASSERT_TRUE(SetTitle(A, "new"));
        }
        const TBytes saved = ReadFile(A);
        c.Spoil(history.Folder(), *fs::directory_iterator(history.Folder()));
        const std::vector<TChangeRecord> changes = history.Changes();
        ASSERT_EQ(changes.size(), c.Changes);
        if (c.Changes) {
            EXPECT_EQ(changes[0].Files.at(0).Written, c.Written);
            history.Undo();
        } else {
            EXPECT_THROW(history.Undo(), std::runtime_error);
        }
        EXPECT_EQ(ReadFile(A), c.Written ? Song("a") : saved);
    }
}
