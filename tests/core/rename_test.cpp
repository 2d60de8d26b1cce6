// Renaming by format: names from tag values, the names that cannot be used, and
// moves that never replace a file.
#include "batch/rename.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;
using namespace std::string_view_literals;

namespace {

TBytes Tagged(std::initializer_list<std::pair<const char*, std::string>> texts) {
    TBytes frames;
    for (const auto& [id, text] : texts) frames = Cat({frames, Id3Frame(id, Txt(text))});
    return Cat({Id3Tag(frames), Frames({}, 5)});
}

}  // namespace

TEST(Rename, NamesFromTagValues) {
    const struct {
        const char* Mask;
        std::vector<std::pair<size_t, std::string>> Values;
        const char* Extension;
        std::string Expected;
    } cases[] = {
        {"%10 - %01", {{10, "03"}, {1, "Intro"}}, ".mp3", "03 - Intro.mp3"},
        {"%00 - %01", {}, ".mp3", " - .mp3"},
        {"%00 - %01", {{0, "AC/DC"}, {1, "a\\b"}}, ".MP3", "AC-DC - a-b.MP3"},  // separators from values
        {"%00/%01", {{0, ".."}, {1, "."}}, ".mp2", "-/-.mp2"},                  // the mask's own "/" stays
        {"%01.mp3", {{1, "Song"}}, ".MP3", "Song.mp3"},                         // the mask wrote the extension
        {"%01", {{1, "x.."}}, ".mp3", "x...mp3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Mask);
        TTokenValues v;
        for (const auto& [n, text] : c.Values) v[n] = text;
        EXPECT_EQ(RenamedName(c.Mask, v, TTags(), c.Extension), c.Expected);
    }
}

TEST(Rename, PlansMarkNamesThatCannotBeUsed) {
    TTempDir dir;
    const fs::path a = dir.Put("a.mp3", Tagged({{"TIT2", "Same"}})), b = dir.Put("b.mp3", Tagged({{"TIT2", "Same"}})),
                   c = dir.Put("c.mp3", Tagged({{"TIT2", "Taken"}})), d = dir.Put("d.mp3", Tagged({})),
                   e = dir.Put("e.mp3", Tagged({{"TIT2", "e"}})), f = dir.Put("f.mp3", Tagged({{"TIT2", "a"}})),
                   g = dir.Put("g.MP3", Tagged({{"TIT2", "Sub"}}));
    dir.Put("Taken.mp3", {});
    TCollectingSink sink;
    const auto plans = PlanRenames({a, b, c, d, e, f, g}, "%01", TTags(), sink);
    ASSERT_EQ(plans.size(), 7u);
    const std::vector<std::string> problems = {
        "", "another file gets the same name", "a file of that name exists", "the new name is empty", "", "", ""};
    for (size_t i = 0; i < plans.size(); ++i) {
        SCOPED_TRACE(plans[i].From.string());
        EXPECT_EQ(plans[i].Problem, problems[i]);
    }
    EXPECT_EQ(plans[0].To, dir / "Same.mp3");
    EXPECT_TRUE(plans[4].Unchanged());      // e.mp3 keeps its name
    EXPECT_EQ(plans[5].To, dir / "a.mp3");  // a.mp3 is renamed away first, so its name is free
    EXPECT_EQ(plans[6].To, dir / "Sub.MP3");

    // A sub-folder from the mask must exist; a mask cannot lead out of the folder.
    EXPECT_EQ(PlanRenames({a}, "x/%01", TTags(), sink)[0].Problem,
              "the folder " + (dir / "x").string() + " does not exist");
    EXPECT_EQ(PlanRenames({a}, "../%01", TTags(), sink)[0].Problem, "the new name leaves the file's folder");
    EXPECT_EQ(PlanRenames({a}, "/%01", TTags(), sink)[0].Problem, "the new name leaves the file's folder");
}

TEST(Rename, MovesNeverReplaceAFile) {
    TTempDir dir;
    const fs::path from = dir.Put("from.mp3", B("from")), taken = dir.Put("taken.mp3", B("taken"));
    EXPECT_FALSE(MoveWithoutReplacing(from, taken).empty());
    EXPECT_EQ(ReadFile(taken), B("taken"));
    EXPECT_EQ(ReadFile(from), B("from"));
    EXPECT_EQ(MoveWithoutReplacing(from, dir / "new.mp3"), "");
    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(ReadFile(dir / "new.mp3"), B("from"));
}

TEST(Rename, NamesAskedForAgainAreCheckedLikePlannedOnes) {
    TTempDir dir;
    const fs::path from = dir.Put("from.MP3", B("from"));
    dir.Put("taken.MP3", B("taken"));
    EXPECT_EQ(WithExtension("Intro", ".MP3"), "Intro.MP3");
    EXPECT_EQ(WithExtension("Intro.mp3", ".MP3"), "Intro.mp3");  // written already, in any case
    EXPECT_EQ(TargetProblem(from, dir / "free.MP3"), "");
    EXPECT_EQ(TargetProblem(from, dir / "taken.MP3"), "a file of that name exists");
    EXPECT_EQ(TargetProblem(from, dir / ".MP3"), "the new name is empty");
    EXPECT_EQ(TargetProblem(from, dir / ".." / "up.MP3"), "the new name leaves the file's folder");
    EXPECT_EQ(TargetProblem(from, dir / "none" / "x.MP3"), "the folder " + (dir / "none").string() + " does not exist");
}
