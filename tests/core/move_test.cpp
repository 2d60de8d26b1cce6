// Organizing files into a tree: new names under a target folder, never through a
// link nor over a file; moves to another file system by a checked copy that loses
// nothing when any step fails, undone the same way; folders left empty removed.
#include <fcntl.h>
#include <sys/stat.h>

#include <map>
#include <set>

#include "base/sysio.h"
#include "batch/rename.h"
#include "change/history.h"
#include "file/inplace.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;

namespace {

TBytes Song(const std::string& artist, const std::string& album, const std::string& title) {
    return Cat(
        {Id3Tag(Cat({Id3Frame("TPE1", Txt(artist)), Id3Frame("TALB", Txt(album)), Id3Frame("TIT2", Txt(title))})),
         Frames({}, 5)});
}

// Every entry below `folder`, links not followed, as "name" or "name/" for a folder.
std::set<std::string> Tree(const fs::path& folder) {
    std::set<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        out.insert(it->path().lexically_relative(folder).string() +
                   (it->is_directory() && !it->is_symlink() ? "/" : ""));
    return out;
}

// Moves between folders fail with EXDEV, as between two file systems, so that every
// move copies. Calls of `Kind` numbered FailFrom to FailTo fail with `Error`; with
// `Meddle`, the FailFrom-th runs it instead and goes through.
struct TAcross {
    static inline sysio::TCall Kind = sysio::TCall::Open;
    static inline int FailFrom = 0, FailTo = 0, Seen = 0, Error = 0;
    static inline std::function<void()> Meddle;
    static int Hook(sysio::TCall call) {
        if (call == sysio::TCall::Move) return EXDEV;
        if (call != Kind || FailFrom == 0) return 0;
        ++Seen;
        if (Seen < FailFrom || Seen > FailTo) return 0;
        if (Meddle) {
            Meddle();
            return 0;
        }
        return Error;
    }
    explicit TAcross(sysio::TCall kind = sysio::TCall::Open, int from = 0, int to = 0, int error = EIO,
                     std::function<void()> meddle = {}) {
        Kind = kind;
        FailFrom = from;
        FailTo = std::max(from, to);
        Seen = 0;
        Error = error;
        Meddle = std::move(meddle);
        sysio::SetHook(&Hook);
    }
    ~TAcross() {
        sysio::SetHook(nullptr);
        Meddle = nullptr;
    }
};

struct TStat {
    mode_t Mode = 0;
    int64_t Modified = 0;
};
TStat StatOf(const fs::path& file) {
    struct stat st {};
    ::lstat(file.c_str(), &st);
    return {mode_t(st.st_mode & 07777), ModificationTime(st)};
}

}  // namespace

// Each row: the target tree as a user (or another user) left it, and where the file
// goes. Nothing is ever written through a link, nor over a file.
TEST(Move, NewNamesUnderATargetFolderNeverGoThroughALinkNorOverAFile) {
    const struct {
        const char* Name;
        std::function<void(const fs::path&lib, const fs::path&elsewhere)> Before, Between;
        std::string Mask;
        bool Make;
        std::string Planned, Done;  // the problems, relative paths spelled under "lib"
        const char* Lands;          // where the file is afterwards, relative to the test folder
    } cases[] = {
        {"made", {}, {}, "%00/%05/%01", true, "", "", "lib/A/B/T.mp3"},
        {"not made", {}, {}, "%00/%05/%01", false, "the folder lib does not exist", "", "in/song.mp3"},
        {"the target is a file",
         [](auto& lib, auto&) { WriteFile(lib, B("x")); },
         {},
         "%01",
         true,
         "lib is a file, not a folder",
         "",
         "in/song.mp3"},
        {"the target is a link the user gave",
         [](auto& lib, auto& elsewhere) { fs::create_directory_symlink(elsewhere, lib); },
         {},
         "%00/%01",
         true,
         "",
         "",
         "elsewhere/A/T.mp3"},
        {"a link below the target",
         [](auto& lib, auto& elsewhere) {
             fs::create_directories(lib);
             fs::create_directory_symlink(elsewhere, lib / "A");
         },
         {},
         "%00/%05/%01",
         true,
         "the folder lib/A is a link",
         "",
         "in/song.mp3"},
        {"a link deeper",
         [](auto& lib, auto& elsewhere) {
             fs::create_directories(lib / "A");
             fs::create_directory_symlink(elsewhere, lib / "A" / "B");
         },
         {},
         "%00/%05/%01",
         true,
         "the folder lib/A/B is a link",
         "",
         "in/song.mp3"},
        {"a link planted after planning", [](auto& lib, auto&) { fs::create_directories(lib); },
         [](auto& lib, auto& elsewhere) { fs::create_directory_symlink(elsewhere, lib / "A"); }, "%00/%05/%01", true,
         "", "the folder lib/A is a link", "in/song.mp3"},
        {"the name is taken",
         [](auto& lib, auto&) {
             fs::create_directories(lib / "A");
             WriteFile(lib / "A" / "T.mp3", B("taken"));
         },
         {},
         "%00/%01",
         true,
         "a file of that name exists",
         "",
         "in/song.mp3"},
        {"out of the target", {}, {}, "../%01", true, "the new name leaves the target folder", "", "in/song.mp3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const fs::path lib = dir / "lib", elsewhere = dir / "elsewhere", song = dir / "in" / "song.mp3";
        fs::create_directories(elsewhere);
        fs::create_directories(song.parent_path());
        const TBytes bytes = Song("A", "B", "T");
        WriteFile(song, bytes);
        if (c.Before) c.Before(lib, elsewhere);
        const std::set<std::string> others = Tree(dir.Path);
        TCollectingSink sink;
        const std::vector<TRenamePlan> plans = PlanRenames({song}, c.Mask, {}, sink, c.Make, lib);
        auto spelled = [&](std::string text) {
            if (const size_t at = text.find("lib"); at != std::string::npos && text != "a file of that name exists")
                text.replace(at, 3, lib.string());
            return text;
        };
        EXPECT_EQ(plans[0].Problem, spelled(c.Planned));
        if (c.Between) c.Between(lib, elsewhere);
        const TRenameResult result = CarryOutRenames(plans)[0];
        EXPECT_EQ(result.Problem, spelled(c.Planned.empty() ? c.Done : c.Planned));
        EXPECT_EQ(ReadFile(dir / c.Lands), bytes);
        EXPECT_EQ(result.Now, result.Moved ? plans[0].To : song);
        // Nothing else appeared or went, but the folders made on the way.
        std::set<std::string> now = Tree(dir.Path), before = others;
        before.erase("in/song.mp3");
        now.erase(c.Lands);
        for (const char* made : {"lib/", "lib/A/", "lib/A/B/", "elsewhere/A/"})
            if (result.Moved) now.erase(made), before.erase(made);
        if (c.Between) before = Tree(dir.Path), before.erase(c.Lands);
        EXPECT_EQ(now, before);
    }
}

// Every step of a move to another file system, made to fail: the file stays as it
// was under its name, and no copy (nor temporary file) is left in the new folder.
// The steps that may fall back (the kernel's copy) do, and the move goes through.
TEST(Move, AMoveToAnotherFileSystemLosesNothingWhicheverStepFails) {
    using sysio::TCall;
    TTempDir dir;
    const fs::path from = dir / "in" / "song.mp3", to = dir / "out" / "song.mp3";
    const TBytes bytes = Cat({Song("A", "B", "T"), Frames({}, 200)}), other = B("another file");
    auto corruptCopy = [&] {
        for (const auto& e : fs::directory_iterator(to.parent_path())) {
            std::fstream f(e.path(), std::ios::in | std::ios::out | std::ios::binary);
            f.seekp(100);
            f.put('\x55');
        }
    };
    const struct {
        const char* Name;
        TCall Kind;
        int From, To, Error;
        std::function<void()> Meddle;
        std::string Problem;  // how it begins; empty: moved
    } cases[] = {
        {"all goes well", TCall::Open, 0, 0, 0, {}, ""},
        {"no kernel copy between these file systems", TCall::Copy, 1, 1, EXDEV, {}, ""},
        {"no kernel copy at all", TCall::Copy, 1, 2, EINVAL, {}, ""},
        {"the copy cannot be made", TCall::Open, 2, 2, EACCES, {}, "the copy cannot be made in"},
        {"copying fails", TCall::Copy, 1, 1, EIO, {}, "the file cannot be copied: "},
        {"flushing fails", TCall::Sync, 1, 1, EIO, {}, "the copy cannot be flushed"},
        {"reading back fails", TCall::Read, 1, 1, EIO, {}, "the copy cannot be read back"},
        {"flushing the mode and times fails", TCall::Sync, 2, 2, EIO, {}, "the copy cannot be flushed"},
        {"the name cannot be taken", TCall::Place, 1, 1, EACCES, {}, "the copy cannot take its name"},
        {"the file cannot be removed", TCall::Unlink, 1, 1, EACCES, {}, "the file cannot be removed from"},
        {"the file changes while it is copied", TCall::Sync, 1, 1, 0,
         [&] { std::ofstream(from, std::ios::binary | std::ios::app) << "more"; }, "the file was changed while"},
        {"the copy comes back different", TCall::Read, 1, 1, 0, corruptCopy, "the copy differs from the file"},
        {"the name is taken meanwhile", TCall::Place, 1, 1, 0, [&] { WriteFile(to, other); },
         "a file of that name exists"},
        {"the file is replaced meanwhile", TCall::Place, 1, 1, 0,
         [&] {
             WriteFile(dir / "in" / "other", other);
             fs::rename(dir / "in" / "other", from);
         },
         "the file was replaced by another program"},
    };
    const int64_t kTime = 1'000'000'000'123'456'789;  // 2001, with nanoseconds
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(dir / "in");
        fs::remove_all(dir / "out");
        fs::create_directories(from.parent_path());
        fs::create_directories(to.parent_path());
        WriteFile(from, bytes);
        ::chmod(from.c_str(), 0640);
        const struct timespec times[2] = {{kTime / 1'000'000'000, kTime % 1'000'000'000},
                                          {kTime / 1'000'000'000, kTime % 1'000'000'000}};
        ::utimensat(AT_FDCWD, from.c_str(), times, 0);
        std::string problem;
        {
            const TAcross across(c.Kind, c.From, c.To, c.Error, c.Meddle);
            problem = MoveAudioFile(from, to);
        }
        EXPECT_TRUE(problem.starts_with(c.Problem) && problem.empty() == c.Problem.empty()) << problem;
        if (c.Problem.empty()) {
            EXPECT_FALSE(fs::exists(from));
            EXPECT_EQ(ReadFile(to), bytes);
            EXPECT_EQ(StatOf(to).Mode, 0640u);
            EXPECT_EQ(StatOf(to).Modified, kTime);
            EXPECT_EQ(Tree(dir / "out"), std::set<std::string>{"song.mp3"});
            continue;
        }
        // The file as it was (or as the other program left it), and nothing of the copy.
        const bool replaced = c.Problem.starts_with("the file was replaced"),
                   grown = c.Problem.starts_with("the file was changed"),
                   taken = c.Problem.starts_with("a file of that name");
        EXPECT_EQ(ReadFile(from), replaced ? other : grown ? Cat({bytes, B("more")}) : bytes);
        if (!replaced && !grown) {
            EXPECT_EQ(StatOf(from).Modified, kTime);
        }
        EXPECT_EQ(Tree(dir / "out"), taken ? std::set<std::string>{"song.mp3"} : std::set<std::string>{});
        if (taken) {
            EXPECT_EQ(ReadFile(to), other);
        }
    }
}

// A rename into a target folder on "another file system" is one change of the
// history: undo copies each file back the same way, into the folders it left, which
// --remove-empty had removed; redo moves them again.
TEST(Move, AMoveAcrossFileSystemsIsUndoneAndRedoneTheSameWay) {
    TTempDir dir, state;
    THistory history(state / "history");
    const fs::path in = dir / "in", lib = dir / "lib";
    const std::vector<fs::path> files = {in / "x" / "one.mp3", in / "x" / "deeper" / "two.mp3", in / "y" / "three.mp3"};
    std::map<fs::path, TBytes> before;
    for (const fs::path& f : files) {
        fs::create_directories(f.parent_path());
        WriteFile(f, Song("Band", f.parent_path().filename().string(), f.stem().string()));
        before[f] = ReadFile(f);
    }
    WriteFile(in / "y" / "cover.jpg", B("stays"));
    const TAcross across;
    TCollectingSink sink;
    const std::vector<TRenamePlan> plans = PlanRenames(files, "%00/%05/%01", {}, sink, true, lib);
    std::vector<TRenameResult> results;
    {
        TChange change(history, "test", "Rename", sink);
        results = CarryOutRenames(plans);
    }
    for (const TRenameResult& r : results) EXPECT_TRUE(r.Moved) << r.Problem;
    const std::set<std::string> tree = {
        "Band/", "Band/x/", "Band/x/one.mp3", "Band/deeper/", "Band/deeper/two.mp3", "Band/y/", "Band/y/three.mp3"};
    EXPECT_EQ(Tree(lib), tree);
    // The folders left empty go, up to the folder named; y keeps its cover.
    const TFolderRemoval removal = RemoveEmptyFolders(FoldersLeft(plans, results, {in, in, in}));
    EXPECT_TRUE(removal.Failed.empty());
    EXPECT_EQ(removal.Removed, (std::vector<fs::path>{in / "x" / "deeper", in / "x"}));
    EXPECT_EQ(Tree(in), (std::set<std::string>{"y/", "y/cover.jpg"}));

    const TUndoOutcome undone = history.Undo();
    EXPECT_EQ(undone.Restored, 3u);
    EXPECT_TRUE(undone.LeftAlone.empty());
    for (const auto& [file, bytes] : before) EXPECT_EQ(ReadFile(file), bytes) << file;
    EXPECT_EQ(Tree(lib), (std::set<std::string>{"Band/", "Band/x/", "Band/deeper/", "Band/y/"}));
    EXPECT_EQ(history.Redo().Restored, 3u);
    EXPECT_EQ(Tree(lib), tree);
}

// Which folders go: only those a moved file left, each with its parents up to the
// folder named (kept), and only when empty; a link on the way is never followed.
TEST(Move, OnlyFoldersTheMovesLeftEmptyAreRemoved) {
    const struct {
        const char* Name;
        std::vector<std::string> Files;  // under "in"; the first moves
        bool Moved, StopGiven;           // the file moved; it was found in the folder "in"
        std::function<void(const fs::path& in, const fs::path& elsewhere)> Meddle;
        std::set<std::string> Left;  // what stays under "in"
    } cases[] = {
        {"up to the folder named", {"a/b/c/song.mp3"}, true, true, {}, {}},
        {"a folder not empty stays", {"a/b/song.mp3", "a/other.mp3"}, true, true, {}, {"a/", "a/other.mp3"}},
        {"a file named: its own folder only", {"a/b/song.mp3"}, true, false, {}, {"a/"}},
        {"a file that did not move", {"a/b/song.mp3"}, false, true, {}, {"a/", "a/b/", "a/b/song.mp3"}},
        {"a link planted on the way",
         {"a/b/song.mp3"},
         true,
         true,
         [](auto& in, auto& elsewhere) {
             fs::rename(in / "a", elsewhere / "a");
             fs::create_directory_symlink(elsewhere / "a", in / "a");
         },
         {"a"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const fs::path in = dir / "in", elsewhere = dir / "elsewhere", out = dir / "out";
        for (const fs::path& d : {in, elsewhere, out}) fs::create_directories(d);
        for (const std::string& f : c.Files) {
            fs::create_directories((in / f).parent_path());
            WriteFile(in / f, B(f));
        }
        const fs::path song = in / c.Files[0];
        std::vector<TRenamePlan> plans = PlanMoves({{song, out / "song.mp3"}});
        std::vector<TRenameResult> results = {{false, song, "not moved"}};
        if (c.Moved) results = CarryOutRenames(plans);
        if (c.Meddle) c.Meddle(in, elsewhere);
        const std::vector<fs::path> stops = {c.StopGiven ? in : fs::path()};
        const TFolderRemoval removal = RemoveEmptyFolders(FoldersLeft(plans, results, stops));
        EXPECT_EQ(Tree(in), c.Left);
        if (c.Meddle) {
            EXPECT_EQ(Tree(elsewhere), (std::set<std::string>{"a/", "a/b/"}));
        }
        EXPECT_EQ(removal.Failed.empty(), !c.Meddle);
    }
    // A file renamed in its own folder leaves nothing; nor does one named without a folder.
    const std::vector<TRenamePlan> same = PlanMoves({{"a/x.mp3", "a/y.mp3"}, {"x.mp3", "out/x.mp3"}});
    EXPECT_TRUE(FoldersLeft(same, {{true, "a/y.mp3", ""}, {true, "out/x.mp3", ""}}).empty());
}
