// Renaming by format: names from tag values, the names that cannot be used, the order
// of the moves, and moves that never replace or lose a file.
#include <map>
#include <sstream>

#include "base/sysio.h"
#include "batch/rename.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;

namespace {

TBytes Tagged(std::initializer_list<std::pair<const char*, std::string>> texts) {
    TBytes frames;
    for (const auto& [id, text] : texts) frames = Cat({frames, Id3Frame(id, Txt(text))});
    return Cat({Id3Tag(frames), Frames({}, 5)});
}

// A folder written as "a=b c=": a.mp3 titled "b", c.mp3 without tags; `staying` names
// other files ("Taken" for Taken.mp3). Each file's bytes are its own.
struct TFolder {
    TTempDir Dir;
    std::vector<fs::path> Files;
    std::map<TBytes, std::string> Owners;  // bytes -> the name without ".mp3" they had at first
    explicit TFolder(const std::string& files, const std::string& staying = "") {
        std::istringstream in(files), other(staying);
        for (std::string entry; in >> entry;) {
            const std::string name = entry.substr(0, entry.find('=')), title = entry.substr(name.size() + 1);
            const TBytes bytes = title.empty() ? Tagged({{"TENC", name}}) : Tagged({{"TIT2", title}, {"TENC", name}});
            Files.push_back(Dir.Put(name + ".mp3", bytes));
            Owners[bytes] = name;
        }
        for (std::string name; other >> name;) Owners[ReadFile(Dir.Put(name + ".mp3", B(name)))] = name;
    }
    // Every entry, hidden ones too, sorted: "b<a" for b.mp3 holding the bytes a.mp3 had.
    std::string Listing() const {
        std::map<std::string, std::string> entries;
        for (const auto& e : fs::directory_iterator(Dir.Path)) {
            const auto owner = Owners.find(ReadFile(e.path()));
            std::string name = e.path().filename().string();
            if (name.ends_with(".mp3")) name.resize(name.size() - 4);
            entries[name] = owner == Owners.end() ? "?" : owner->second;
        }
        std::string out;
        for (const auto& [name, owner] : entries) out += (out.empty() ? "" : " ") + name + "<" + owner;
        return out;
    }
};

}  // namespace

TEST(Rename, NamesFromTagValues) {
    const struct {
        const char* Mask;
        std::vector<std::pair<size_t, std::string>> Values;
        const char* Extension;
        std::string Expected;
        bool TagText;
    } cases[] = {
        {"%10 - %01", {{10, "03"}, {1, "Intro"}}, ".mp3", "03 - Intro.mp3", true},
        {"%00 - %01", {}, ".mp3", " - .mp3", false},
        {"%00 - %01", {{0, " "}, {1, "  "}}, ".mp3", "  -   .mp3", false},            // spaces are no text
        {"%00 - %01", {{4, "comment"}}, ".mp3", " - .mp3", false},                    // a value the mask does not use
        {"Intro", {{1, "x"}}, ".mp3", "Intro.mp3", false},                            // no tokens at all
        {"%00 - %01", {{0, "AC/DC"}, {1, "a\\b"}}, ".MP3", "AC-DC - a-b.MP3", true},  // separators from values
        {"%00/%01", {{0, ".."}, {1, "."}}, ".mp2", "-/-.mp2", true},                  // the mask's own "/" stays
        {"%01.mp3", {{1, "Song"}}, ".MP3", "Song.mp3", true},                         // the mask wrote the extension
        {"%01", {{1, "x.."}}, ".mp3", "x...mp3", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Expected);
        TTokenValues v;
        for (const auto& [n, text] : c.Values) v[n] = text;
        EXPECT_EQ(RenamedName(c.Mask, v, TTags(), c.Extension), c.Expected);
        EXPECT_EQ(NameHasTagText(c.Mask, v, TTags()), c.TagText);
    }
}

// Each folder: the problems the plan marks, and the folder after it was carried out.
TEST(Rename, PlansAreCarriedOutAsPlannedAndNeverReplaceAFile) {
    const std::string taken = "a file of that name exists";
    const struct {
        const char* Name;
        const char* Mask;
        std::string Files, Staying;
        std::vector<std::string> Problems;
        std::string After;
    } cases[] = {
        {"chain", "%01", "a=b b=c", "", {"", ""}, "b<a c<b"},
        {"swap", "%01", "a=b b=a", "", {"", ""}, "a<b b<a"},
        {"three-cycle", "%01", "a=b b=c c=a", "", {"", "", ""}, "a<c b<a c<b"},
        {"a cycle and a chain", "%01", "x=y a=b y=x b=c", "", {"", "", "", ""}, "b<a c<b x<y y<x"},
        // b would take the name of a, which cannot move.
        {"taken by a staying file", "%01", "a=Taken b=a", "Taken", {taken, taken}, "Taken<Taken a<a b<b"},
        {"two files, one name", "%01", "a=Same b=Same", "", {"", "another file gets the same name"}, "Same<a b<b"},
        {"274-byte name",
         "%01",
         "a=" + std::string(270, 'L'),
         "",
         {"the new name is too long: 274 bytes, at most 255"},
         "a<a"},
        {"empty tags", "%00 - %01", "a=", "", {"the new name has no text from the tags"}, "a<a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TFolder folder(c.Files, c.Staying);
        TCollectingSink sink;
        const std::vector<TRenamePlan> plans = PlanRenames(folder.Files, c.Mask, TTags(), sink);
        ASSERT_EQ(plans.size(), c.Problems.size());
        const std::vector<TRenameResult> results = CarryOutRenames(plans);
        for (size_t i = 0; i < plans.size(); ++i) {
            EXPECT_EQ(plans[i].Problem, c.Problems[i]) << i;
            EXPECT_EQ(results[i].Problem, c.Problems[i]) << i;
            EXPECT_EQ(results[i].Now, results[i].Moved ? plans[i].To : plans[i].From) << i;
        }
        EXPECT_EQ(folder.Listing(), c.After);
    }
}

TEST(Rename, PlansMarkNamesThatCannotBeUsed) {
    const TFolder folder("a=Same d= e=e");
    const fs::path& dir = folder.Dir.Path;
    fs::create_directory(dir / "real");
    fs::create_directory_symlink("/tmp", dir / "link");
    TCollectingSink sink;
    const auto plans =
        PlanRenames({folder.Files[0], folder.Files[1], folder.Files[2], dir / "." / "a.mp3"}, "%01", TTags(), sink);
    EXPECT_EQ(plans[1].Problem, "the new name is empty");
    EXPECT_TRUE(plans[2].Unchanged() && plans[2].Problem.empty());  // e.mp3 keeps its name
    EXPECT_EQ(plans[3].Problem, "the file is listed twice");

    // A sub-folder from the mask must exist and be a folder of its own; a mask cannot lead out of the folder.
    const std::vector<fs::path> a = {folder.Files[0]};
    EXPECT_EQ(PlanRenames(a, "real/%01", TTags(), sink)[0].Problem, "");
    EXPECT_EQ(PlanRenames(a, "x/%01", TTags(), sink)[0].Problem,
              "the folder " + (dir / "x").string() + " does not exist");
    EXPECT_EQ(PlanRenames(a, "link/%01", TTags(), sink)[0].Problem,
              "the folder " + (dir / "link").string() + " is a link");
    EXPECT_EQ(PlanRenames(a, "../%01", TTags(), sink)[0].Problem, "the new name leaves the file's folder");
    EXPECT_EQ(PlanRenames(a, "/%01", TTags(), sink)[0].Problem, "the new name leaves the file's folder");
}

namespace {

// The n-th move of a file fails, or has a file planted at `Plant` just before it.
struct TMoveFault {
    static inline int FailAt = 0, Seen = 0;
    static inline fs::path Plant;
    static int Hook(sysio::TCall call) {
        if (call != sysio::TCall::Move || ++Seen != FailAt) return 0;
        if (Plant.empty()) return EACCES;
        WriteFile(Plant, B("planted"));
        return 0;
    }
    TMoveFault(int failAt, fs::path plant) {
        FailAt = failAt;
        Seen = 0;
        Plant = std::move(plant);
        sysio::SetHook(&Hook);
    }
    ~TMoveFault() { sysio::SetHook(nullptr); }
};

}  // namespace

// A cycle a -> b -> c -> a moves: a aside, c to a, b to c, a to b. Whichever of these
// fails, every file is back under its own name; only when another program takes a's
// name meanwhile does a stay, whole, under its temporary name.
TEST(Rename, AMoveThatFailsHalfWayLosesNoFile) {
    for (int failAt = 1; failAt <= 5; ++failAt) {
        SCOPED_TRACE(failAt);
        TFolder folder("a=b b=c c=a");
        folder.Owners[B("planted")] = "planted";
        TCollectingSink sink;
        const auto plans = PlanRenames(folder.Files, "%01", TTags(), sink);
        EXPECT_TRUE(plans[0].Parked && !plans[1].Parked && !plans[2].Parked);
        const bool plant = failAt == 5;
        std::vector<TRenameResult> results;
        {
            const TMoveFault fault(plant ? 2 : failAt, plant ? folder.Files[0] : fs::path());
            results = CarryOutRenames(plans);
        }
        for (const TRenameResult& r : results) EXPECT_TRUE(!r.Moved && !r.Problem.empty());
        if (!plant) {
            EXPECT_EQ(folder.Listing(), "a<a b<b c<c");
            continue;
        }
        const std::string parked = results[0].Now.filename().string();
        EXPECT_NE(results[0].Problem.find("left as " + parked), std::string::npos);
        EXPECT_EQ(folder.Listing(), parked + "<a a<planted b<b c<c");
    }
}

TEST(Rename, StoppingFinishesTheCycleItBegan) {
    const TFolder folder("a=b b=a x=y");
    TCollectingSink sink;
    int heard = 0;
    const auto results = CarryOutRenames(PlanRenames(folder.Files, "%01", TTags(), sink),
                                         [&](size_t, const TRenameResult&) { return ++heard > 2; });
    EXPECT_EQ(heard, 2);
    EXPECT_TRUE(results[0].Moved && results[1].Moved && !results[2].Moved && results[2].Problem.empty());
    EXPECT_EQ(folder.Listing(), "a<b b<a x<x");
}

TEST(Rename, MovesNeverReplaceAFile) {
    TTempDir dir;
    const fs::path from = dir.Put("from.mp3", B("from")), taken = dir.Put("taken.mp3", B("taken"));
    EXPECT_EQ(MoveWithoutReplacing(from, taken), "a file of that name exists");
    EXPECT_EQ(ReadFile(taken), B("taken"));
    EXPECT_EQ(ReadFile(from), B("from"));
    EXPECT_EQ(MoveWithoutReplacing(from, dir / "new.mp3"), "");
    EXPECT_EQ(ReadFile(dir / "new.mp3"), B("from"));
}

// Sub-folders named by the mask are made (never through a link, never over a file)
// when asked.
TEST(Rename, FoldersTheMaskNamesAreMadeWhenAsked) {
    TTempDir dir;
    const fs::path in = dir / "in", file = in / "song.mp3", renamed = in / "New" / "deeper" / "Title.mp3";
    fs::create_directories(dir / "elsewhere");
    fs::create_directories(in);
    fs::create_symlink(dir / "elsewhere", in / "Linked");
    WriteFile(in / "Filed", B("not a folder"));
    const struct {
        std::string Artist;
        bool Make;
        std::string Problem;  // how the plan's problem begins; empty: none
    } cases[] = {{"New", true, ""},
                 {"New", false, "the folder " + (in / "New").string() + " does not exist"},
                 {"Linked", true, "the folder " + (in / "Linked").string() + " is a link"},
                 {"Filed", true, (in / "Filed").string() + " is a file"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Artist + (c.Make ? ", made" : ""));
        WriteFile(file, Tagged({{"TPE1", c.Artist}, {"TIT2", "Title"}}));
        TCollectingSink sink;
        const std::vector<TRenamePlan> plans = PlanRenames({file}, "%00/deeper/%01", {}, sink, c.Make);
        EXPECT_TRUE(plans[0].Problem.starts_with(c.Problem)) << plans[0].Problem;
        const std::vector<TRenameResult> results = CarryOutRenames(plans);
        EXPECT_EQ(results[0].Moved, c.Problem.empty());
        EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
        if (!results[0].Moved) continue;
        EXPECT_TRUE(fs::is_regular_file(renamed));
        // Moved back into a folder that is not there (an undo): it is made.
        EXPECT_TRUE(CarryOutRenames(PlanMoves({{renamed, dir / "out" / "song.mp3"}}))[0].Moved);
        fs::rename(dir / "out" / "song.mp3", file);
        fs::remove_all(in / "New");
    }
}
