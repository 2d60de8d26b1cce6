// What the desktop program needs of the history of changes: the saves of one window
// continue its change while that change is the newest and was never undone; an undo
// names the files it wrote back and the files it moved, and tells how far it got;
// the next change to undo and to redo.
#include "change/history.h"

#include <gtest/gtest.h>

#include "batch/rename.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;

namespace {

TBytes Song(const std::string& title) {
    return Cat({Id3Tag(Id3Frame("TIT2", Txt(title)), 200), Frames(TFrameShape{}, 6), Id3v1({.Title = "v1"})});
}

void Retitle(const fs::path& file, const std::string& title) {
    TLoaded f(file, false);
    ASSERT_TRUE(f.Ok);
    f.File.ID3v2().TIT2.SetText(title);
    ASSERT_TRUE(f.File.SaveFile(file, true, false, true));
}

struct Changes : ::testing::Test {
    TTempDir Dir, State;
    THistory History{State / "history"};
    TCollectingSink Sink;

    // Saves the files' new titles as one change, continuing `continuing`; returns the change's id.
    uint64_t Edit(std::initializer_list<std::pair<fs::path, const char*>> titles, uint64_t continuing) {
        TChange change(History, "test", "Edit tags", Sink, continuing);
        for (const auto& [file, title] : titles) Retitle(file, title);
        return change.Id();
    }
};

TEST_F(Changes, OneWindowsSavesStayOneChangeWhileItIsNewestAndNeverUndone) {
    const fs::path a = Dir.Put("a.mp3", Song("A")), b = Dir.Put("b.mp3", Song("B"));
    const TBytes aBefore = ReadFile(a), bBefore = ReadFile(b);

    const uint64_t first = Edit({{a, "A2"}}, 0);
    EXPECT_EQ(Edit({{b, "B2"}, {a, "A3"}}, first), first);
    ASSERT_EQ(History.Changes().size(), 1u);
    EXPECT_EQ(Described(History.Changes()[0]), "Edit tags of 3 file(s)");

    // A rename in between: the window's next save is a change of its own.
    {
        TChange rename(History, "test", "Rename", Sink);
        CarryOutRenames(PlanMoves({{b, Dir / "c.mp3"}}));
    }
    const uint64_t third = Edit({{a, "A4"}}, first);
    EXPECT_NE(third, first);
    EXPECT_EQ(History.NextUndo().Id, third);
    EXPECT_EQ(History.NextRedo().Id, 0u);

    const TUndoOutcome undone = History.Undo();
    EXPECT_EQ(undone.Id, third);
    EXPECT_EQ(undone.Rewritten, std::vector<fs::path>{a});
    EXPECT_TRUE(undone.Moved.empty());
    EXPECT_EQ(History.NextRedo().Id, third);

    const TUndoOutcome moved = History.Undo();
    EXPECT_EQ(moved.Text, "Rename");
    EXPECT_EQ(moved.Moved, (std::vector<std::pair<fs::path, fs::path>>{{Dir / "c.mp3", b}}));
    EXPECT_TRUE(moved.Rewritten.empty());

    // The continued change goes back whole, file by file, the newest write first.
    std::vector<std::pair<size_t, size_t>> steps;
    const TUndoOutcome all = History.Undo(0, [&](size_t done, size_t total) { steps.emplace_back(done, total); });
    EXPECT_EQ(all.Id, first);
    for (const auto& [f, why] : all.LeftAlone) ADD_FAILURE() << f << ": " << why;  // none
    EXPECT_EQ(all.Restored, 3u);
    EXPECT_EQ(steps, (std::vector<std::pair<size_t, size_t>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(ReadFile(a), aBefore);
    EXPECT_EQ(ReadFile(b), bBefore);
    EXPECT_EQ(History.NextUndo().Id, 0u);
    EXPECT_EQ(History.NextRedo().Id, first);

    // An undone change is never continued.
    EXPECT_NE(Edit({{a, "A5"}}, first), first);
    EXPECT_EQ(History.Changes().size(), 4u);
}

TEST_F(Changes, ARedoNamesTheFilesItMovesAgainAndOnesLeftAlone) {
    const fs::path a = Dir.Put("a.mp3", Song("A")), b = Dir.Put("b.mp3", Song("B"));
    {
        TChange rename(History, "test", "Rename", Sink);
        CarryOutRenames(PlanMoves({{a, Dir / "x.mp3"}, {b, Dir / "y.mp3"}}));
    }
    ASSERT_EQ(History.Undo().Restored, 2u);
    Retitle(b, "changed by another program");
    const TUndoOutcome again = History.Redo();
    EXPECT_EQ(again.Moved, (std::vector<std::pair<fs::path, fs::path>>{{a, Dir / "x.mp3"}}));
    ASSERT_EQ(again.LeftAlone.size(), 1u);
    EXPECT_EQ(again.LeftAlone[0].first, b);
    EXPECT_TRUE(fs::exists(b));
}

}  // namespace
namespace {

// A rename and an edit of the same file, in either order: undone in turn, the file is
// back under its name byte for byte; redone in turn, it is as both left it.
TEST_F(Changes, ARenameAndAnEditOfOneFileAreUndoneAndRedoneInTurn) {
    for (const bool renameFirst : {true, false}) {
        SCOPED_TRACE(renameFirst ? "rename, then edit" : "edit, then rename");
        const fs::path a = Dir.Put(renameFirst ? "a1.mp3" : "a2.mp3", Song("A")), x = Dir / "x.mp3";
        const TBytes before = ReadFile(a);
        auto rename = [&] {
            TChange change(History, "test", "Rename", Sink);
            CarryOutRenames(PlanMoves({{a, x}}));
        };
        if (renameFirst) rename();
        Edit({{renameFirst ? x : a, "A2"}}, 0);
        if (!renameFirst) rename();
        const TBytes after = ReadFile(x);
        for (int k = 0; k < 2; ++k) {
            const TUndoOutcome out = History.Undo();
            for (const auto& [f, why] : out.LeftAlone) ADD_FAILURE() << "undo: " << f << ": " << why;
        }
        EXPECT_EQ(ReadFile(a), before);
        EXPECT_FALSE(fs::exists(x));
        for (int k = 0; k < 2; ++k) {
            const TUndoOutcome out = History.Redo();
            for (const auto& [f, why] : out.LeftAlone) ADD_FAILURE() << "redo: " << f << ": " << why;
        }
        EXPECT_EQ(ReadFile(x), after);
        EXPECT_FALSE(fs::exists(a));
        fs::remove(x);
    }
}

}  // namespace
