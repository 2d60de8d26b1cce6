// A folder shared with another user who plants journals, links, FIFOs, devices
// and files of their own, and two saves of one file at once: nothing is written
// that the user did not ask for, nothing hangs, and no change reported saved is lost.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "base/sysio.h"
#include "batch/rename.h"
#include "file/filescan.h"
#include "file/inplace.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;

namespace {

const TFrameShape kCbr;
constexpr uid_t kOther = kOtherUser;

TBytes Tagged(size_t padding) {
    return Cat({Id3Tag(Cat({Id3Frame("TIT2", Txt("Old title")), Id3Frame("TPE1", Txt("Artist"))}), padding),
                Frames(kCbr, 40), Id3v1({.Title = "v1", .Track = 4})});
}

bool Root() { return ::geteuid() == 0; }

// A save killed after its journal was written and half of its new tag: the file is
// torn, its first bytes new and the rest old, as a save cut short leaves it.
struct TCrash {};
int gWrites = 0;
int CrashAtSecondWrite(sysio::TCall call) {
    if (call == sysio::TCall::Write && ++gWrites == 2) throw TCrash{};
    return 0;
}

void LeaveATornSave(const fs::path& file) {
    // The bytes the save writes, from the same save of a copy.
    const fs::path copy = file.parent_path() / "whole-copy";
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    {
        TLoaded whole(copy, false);
        whole.File.ID3v2().TIT2.SetText("A new title");
        whole.File.SaveFile(copy, true, false, true);
    }
    const TBytes written = ReadFile(copy);
    fs::remove(copy);
    TLoaded f(file, false);
    f.File.ID3v2().TIT2.SetText("A new title");
    gWrites = 0;
    sysio::SetHook(&CrashAtSecondWrite);
    try {
        f.File.SaveFile(file, true, false, true);
    } catch (const TCrash&) {}
    sysio::SetHook(nullptr);
    // Half of what changes in the tag reached the disk: a tag that reads, but not the old one.
    TBytes torn = ReadFile(file);
    const auto end = torn.begin() + f.File.DataStart;
    const auto first = std::mismatch(torn.begin(), end, written.begin()).first;
    const auto last = std::mismatch(std::make_reverse_iterator(end), torn.rend(),
                                    std::make_reverse_iterator(written.begin() + f.File.DataStart))
                          .first.base();
    std::copy(written.begin(), written.begin() + (first - torn.begin() + last - torn.begin()) / 2, torn.begin());
    WriteFile(file, torn);
}

std::string Check(bool held, const std::string& what) { return held ? "" : what + "; "; }

// One planted (or genuine) journal beside a torn file, and what must come of it.
struct TPlanted {
    const char* Name;
    std::function<void(const fs::path& file, const fs::path& journal)> Plant;
    TRecovery Expected;
    bool RootOnly = false;
};

std::vector<TPlanted> Plantings() {
    return {
        {"the user's own journal (believed)", [](const fs::path&, const fs::path&) {}, TRecovery::RestoredOld},
        {"another user's journal", [](const fs::path&, const fs::path& j) { (void)::chown(j.c_str(), kOther, kOther); }, TRecovery::Nothing,
         true},
        {"a link to a journal", [](const fs::path& f, const fs::path& j) {
             const fs::path real = f.parent_path() / "real-journal";
             fs::rename(j, real);
             fs::create_symlink(real, j);
         }, TRecovery::Nothing},
        {"a FIFO", [](const fs::path&, const fs::path& j) {
             fs::remove(j);
             ::mkfifo(j.c_str(), 0666);
         }, TRecovery::Nothing},
        {"a link to a device", [](const fs::path&, const fs::path& j) {
             fs::remove(j);
             fs::create_symlink("/dev/zero", j);
         }, TRecovery::Nothing},
        {"a device node", [](const fs::path&, const fs::path& j) {
             fs::remove(j);
             ::mknod(j.c_str(), S_IFCHR | 0600, makedev(1, 5));
         }, TRecovery::Nothing, true},
        {"a huge file of the user's", [](const fs::path&, const fs::path& j) { fs::resize_file(j, int64_t(1) << 30); },
         TRecovery::Nothing},
        // A file of the user's that another user may write, or may give the journal's name.
        {"a journal with a second name", [](const fs::path& f, const fs::path& j) {
             fs::create_hard_link(j, f.parent_path() / "second-name");
         }, TRecovery::Nothing},
        {"a journal others may write", [](const fs::path&, const fs::path& j) { ::chmod(j.c_str(), 0666); },
         TRecovery::Nothing},
        {"another file of the user's given the journal's name", [](const fs::path& f, const fs::path& j) {
             const fs::path other = f.parent_path() / "picture.jpg";
             WriteFile(other, ReadFile(j));
             fs::rename(other, j);
         }, TRecovery::Nothing},
        {"a journal of another file that took the name", [](const fs::path& f, const fs::path&) {
             const fs::path copy = f.parent_path() / "copy";
             fs::copy_file(f, copy);
             fs::rename(copy, f);
         }, TRecovery::SetAside},
        {"a file changed by another program since", [](const fs::path& f, const fs::path&) {
             TBytes b = ReadFile(f);
             b.insert(b.begin() + 2000, 7, 0);  // retagged with a larger tag: the audio moved
             WriteFile(f, b);
         }, TRecovery::SetAside},
        {"tags changed in place by another program since", [](const fs::path& f, const fs::path&) {
             TBytes b = ReadFile(f);
             const std::string_view artist = "Artist";
             std::fill_n(std::search(b.begin(), b.end(), artist.begin(), artist.end()), artist.size(), 'Z');
             WriteFile(f, b);
         }, TRecovery::SetAside},
    };
}

// Every planting, as the user running these checks: listing and reading never write,
// recovery believes only the genuine journal, and a save goes through untouched by the rest.
std::string PlantedJournalsChangeNothing(const fs::path& dir) {
    std::string failures;
    for (const TPlanted& p : Plantings()) {
        if (p.RootOnly && !Root()) continue;
        const fs::path folder = dir / "shared";
        fs::remove_all(folder);
        fs::create_directories(folder);
        const fs::path file = folder / "song.mp3", journal = JournalBeside(file);
        const TBytes original = Tagged(300);
        WriteFile(file, original);
        LeaveATornSave(file);
        p.Plant(file, journal);
        const TBytes planted = ReadFile(file);
        const std::string name = std::string(p.Name) + ": ";

        ScanFolder(folder);
        TLoaded listed(file, false);
        failures += Check(ReadFile(file) == planted, name + "reading the folder wrote the file");

        std::string report;
        TRecovery got = TRecovery::Nothing;
        try {
            got = RecoverInterruptedSave(file, &report);
        } catch (const std::exception& e) {
            failures += name + "recovery failed: " + e.what() + "; ";
        }
        failures += Check(got == p.Expected, name + "recovery gave " + std::to_string(int(got)));
        const TBytes after = ReadFile(file);
        failures += Check(after == (got == TRecovery::RestoredOld ? original : planted), name + "recovery wrote");
        if (p.Expected != TRecovery::RestoredOld) failures += Check(!report.empty(), name + "nothing was reported");

        TLoaded f(file, false);
        f.File.ID3v2().TIT2.SetText("Saved later");
        const bool saved = f.File.SaveFile(file, true, false, true);
        failures += Check(saved, name + "a later save failed: " + (saved ? "" : f.Sink.Messages.back()));
        TLoaded back(file, false);
        failures += Check(back.File.ID3v2().TIT2.Text == "Saved later", name + "the later save was lost");
        failures += Check(Slice(ReadFile(file), back.File.DataStart, back.File.AudioEnd) ==
                              Slice(after, f.File.DataStart, f.File.AudioEnd),
                          name + "the audio changed");
    }
    return failures;
}

}  // namespace

TEST(Hostile, PlantedJournalsChangeNothingForTheUserOrForRoot) {
    TTempDir dir, state;
    ::setenv("XDG_STATE_HOME", state.Path.c_str(), 1);
    EXPECT_EQ(PlantedJournalsChangeNothing(dir.Path), "");
    if (Root()) {
        // The same as an ordinary user, whose attacker is root.
        fs::permissions(dir.Path, fs::perms::all);
        EXPECT_EQ(AsUser(kOther, dir / "report",
                         [&] {
                             // Root's state folder is not the user's: it is never used.
                             ::setenv("XDG_STATE_HOME", (dir / "user-state").c_str(), 1);
                             return PlantedJournalsChangeNothing(dir / "user");
                         }),
                  "");
    }
    ::unsetenv("XDG_STATE_HOME");
}

TEST(Hostile, SpecialFilesUnderAudioNamesAreNeitherWaitedOnNorWritten) {
    TTempDir dir;
    const fs::path text = dir.Put("notes.mp3", B("shopping list: milk, eggs\n"));
    const fs::path fifo = dir / "pipe.mp3", device = dir / "zero.mp3", folder = dir / "folder.mp3";
    ::mkfifo(fifo.c_str(), 0666);
    fs::create_symlink("/dev/null", device);
    fs::create_directory(folder);
    const fs::path real = dir.Put("real.mp3", Tagged(0));
    for (const fs::path& name : {text, fifo, device, folder}) {
        SCOPED_TRACE(name.filename().string());
        TLoaded f(name, false);
        EXPECT_EQ(f.Ok, name == text);  // a FIFO would hang here if it were opened to be read
        EXPECT_EQ(f.File.LoadForChange(name), name == text);
        TLoaded other(real, false);
        other.File.ID3v2().TIT2.SetText("A title long enough to be written anew");
        EXPECT_FALSE(other.File.SaveFile(name, true, false, false));
        EXPECT_FALSE(f.File.SaveFile(name, true, false, false));
        EXPECT_FALSE(f.File.RemoveTags(true, true, true));
        EXPECT_FALSE(f.Sink.Messages.empty());
    }
    EXPECT_EQ(ReadFile(text), B("shopping list: milk, eggs\n"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(fs::directory_iterator(folder), fs::directory_iterator());
    // None of them is renamed from tags it could not read; nor is a file the user may not read.
    const fs::path locked = dir.Put("locked.mp3", Tagged(0));
    ::chmod(locked.c_str(), 0);
    fs::permissions(dir.Path, fs::perms::all);
    const std::string failures = AsUser(kOther, dir / "report", [&] {
        TCollectingSink sink;
        std::string out;
        for (const TRenamePlan& plan : PlanRenames({fifo, device, folder, locked}, "%01 %02", TTags(), sink))
            out += Check(plan.Problem == "its tags could not be read", plan.From.filename().string() + " is renamed");
        return out;
    });
    EXPECT_EQ(failures, "");
}

// Only a file that holds MPEG audio or an ID3 tag is written: bytes that happen to look
// like a frame header or two inside a file that is not audio do not make it one.
TEST(Hostile, OnlyFilesThatHoldAudioOrATagAreWritten) {
    const TBytes other(6000, 'x');  // bytes of another kind of file, with no 0xFF among them
    const auto bytes = Header(kCbr);
    const TBytes header(bytes.begin(), bytes.end());
    struct TCase {
        const char* Name;
        TBytes Bytes;
        bool Written;
    };
    const std::vector<TCase> cases = {
        {"a text", B("shopping list: milk, eggs\n"), false},
        {"a frame header near the end of other bytes", Cat({other, header, TBytes(100, 'x')}), false},
        {"two frames inside other bytes", Cat({other, Frames(kCbr, 2), other}), false},
        {"frames after other bytes", Cat({other, Frames(kCbr, 6)}), true},
        {"a stream of two frames", Frames(kCbr, 2), true},
        {"nothing yet", {}, true},
    };
    TTempDir dir;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const fs::path file = dir.Put("song.mp3", c.Bytes);
        TLoaded f(file, false);
        ASSERT_TRUE(f.Ok);
        f.File.ID3v2().TIT2.SetText("Title");
        EXPECT_EQ(f.File.SaveFile(file, true, false, true), c.Written);
        if (!c.Written) {
            EXPECT_EQ(ReadFile(file), c.Bytes);
            EXPECT_TRUE(!f.Sink.Messages.empty() &&
                        f.Sink.Messages.back().find("holds neither MPEG audio nor an ID3 tag") != std::string::npos);
        }
    }
}

// A change follows a link at a file's name only when the user or root made it: another
// user's link in a shared folder would lead root's (or the user's) save, wipe or fill
// of that folder to a file of theirs the other user chose, even one they cannot read.
TEST(Hostile, AChangeFollowsOnlyALinkTheUserOrRootMade) {
    if (!Root()) GTEST_SKIP() << "needs root to make another user's link";
    struct TCase {
        const char* Name;
        uid_t LinkOwner, Saver;
        bool Followed;
    };
    const std::vector<TCase> cases = {
        {"root's own link", 0, 0, true},
        {"another user's link, for root", kOther, 0, false},
        {"root's link, for the user", 0, kOther, true},
        {"the user's own link", kOther, kOther, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        fs::permissions(dir.Path, fs::perms::all);
        const fs::path target = dir.Put("private.mp3", Tagged(300)), link = dir / "shared.mp3";
        (void)::chown(target.c_str(), c.Saver, c.Saver);
        fs::create_symlink(target, link);
        (void)::lchown(link.c_str(), c.LinkOwner, c.LinkOwner);
        const std::string failures = AsUser(c.Saver, dir / "report", [&] {
            TLoaded f(link, false);
            f.File.ID3v2().TIT2.SetText("Through the link");
            std::string out = Check(f.File.SaveFile(link, true, false, true) == c.Followed, "the save");
            TLoaded wiped(link, false);
            out += Check(wiped.File.RemoveTags(false, false, true) == c.Followed, "the wipe");
            out += Check(c.Followed || wiped.Sink.Messages.back().find("link made by another user") != std::string::npos,
                         "no message names the link");
            return out;
        });
        EXPECT_EQ(failures, "");
        EXPECT_EQ(ReadFile(target) == Tagged(300), !c.Followed);
        EXPECT_TRUE(fs::is_symlink(link));
    }
}

// The temporary file of a rewrite that was killed goes with the next save of the
// file, in place or not; one that cannot go (another user's, in a folder where only
// owners remove files) stops no save.
TEST(Hostile, ARewritesLeftoverGoesWithTheNextSaveAndOneThatCannotGoStopsNone) {
    struct TCase {
        const char* Name;
        size_t Grow;  // title length: 0 fits in place
        std::function<void(const fs::path& leftover)> Plant;
        bool Removable;
        bool RootOnly = false;
    };
    const std::vector<TCase> cases = {
        {"in place", 0, [](const fs::path& l) { WriteFile(l, B("left by a killed save")); }, true},
        {"written anew", 2000, [](const fs::path& l) { WriteFile(l, B("left by a killed save")); }, true},
        {"a folder under its name", 2000, [](const fs::path& l) { fs::create_directory(l); }, false},
        {"another user's, in a sticky folder", 2000,
         [](const fs::path& l) {
             WriteFile(l, B("planted"));
             fs::permissions(l.parent_path(), fs::perms::all | fs::perms::sticky_bit);
         },
         false, true},
    };
    for (const TCase& c : cases) {
        if (c.RootOnly && !Root()) continue;
        SCOPED_TRACE(c.Name);
        TTempDir dir, state;
        const fs::path folder = dir / "shared", file = folder / "song.mp3";
        fs::create_directory(folder);
        WriteFile(file, Tagged(300));
        const fs::path leftover = NameBeside(file, ".velmar-new");
        c.Plant(leftover);
        if (Root()) {  // the user's file in a folder shared with root
            (void)::chown(file.c_str(), kOther, kOther);
            for (const fs::path& f : {dir.Path, state.Path, folder})
                fs::permissions(f, fs::perms::all, fs::perm_options::add);
        }
        const std::string failures = AsUser(kOther, dir / "report", [&] {
            ::setenv("XDG_STATE_HOME", (state / "user").c_str(), 1);
            TLoaded f(file, false);
            f.File.ID3v2().TIT2.SetText(c.Grow ? std::string(c.Grow, 'g') : "New");
            std::string out = Check(f.File.SaveFile(file, true, false, true), "the save failed");
            out += Check(TLoaded(file, false).File.ID3v2().TIT2.Text == (c.Grow ? std::string(c.Grow, 'g') : "New"),
                         "the title was not saved");
            out += Check(fs::exists(fs::symlink_status(leftover)) != c.Removable, "the leftover");
            // Nothing else is left beside the file.
            const auto names = std::distance(fs::directory_iterator(folder), fs::directory_iterator());
            out += Check(names == (c.Removable ? 1 : 2), std::to_string(names) + " names in the folder");
            return out;
        });
        EXPECT_EQ(failures, "");
    }
}

TEST(Hostile, TwoSavesOfOneFileAtOnceNeverLoseAChangeReportedSaved) {
    const std::string kFirst = "Saved by the first, long enough not to fit in forty bytes of room";
    TTempDir dir;
    const fs::path file = dir / "song.mp3";
    struct TRace {
        const char* Name;
        size_t Padding;
        bool SecondWipes;
    };
    for (const TRace race : {TRace{"both grow the tag", 0, false}, TRace{"one grows, one fits", 40, false},
                             TRace{"a save and a wipe", 300, true}}) {
        SCOPED_TRACE(race.Name);
        const fs::path ref = dir.Put("ref.mp3", Tagged(race.Padding));
        TLoaded r(ref, false);
        const TBytes audio = Slice(ReadFile(ref), r.File.DataStart, r.File.AudioEnd);
        for (int trial = 0; trial < 40; ++trial) {
            WriteFile(file, Tagged(race.Padding));
            int ready[2], go[2];
            ASSERT_EQ(::pipe(ready), 0);
            ASSERT_EQ(::pipe(go), 0);
            std::vector<pid_t> children;
            for (int who = 0; who < 2; ++who) {
                const pid_t pid = ::fork();
                if (pid == 0) {
                    TLoaded f(file, false);
                    char c = 'r';
                    ::close(go[1]);
                    // Both have read the file; then both save at once.
                    if (::write(ready[1], &c, 1) != 1 || ::read(go[0], &c, 1) != 0) ::_exit(9);
                    if (who == 1 && race.SecondWipes) ::_exit(f.File.RemoveTags(true, false, false) ? 0 : 1);
                    f.File.ID3v2().TIT2.SetText(who == 0 ? kFirst : "Second");
                    ::_exit(f.File.SaveFile(file, true, false, true) ? 0 : 1);
                }
                children.push_back(pid);
            }
            for (int both = 0; both < 2; ++both) {
                char c;
                ASSERT_EQ(::read(ready[0], &c, 1), 1);
            }
            ::close(go[1]);
            std::vector<bool> saved;
            for (pid_t pid : children) {
                int status = 0;
                ::waitpid(pid, &status, 0);
                saved.push_back(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            }
            for (int fd : {ready[0], ready[1], go[0]}) ::close(fd);
            ASSERT_FALSE(saved[0] && saved[1]) << "trial " << trial;
            TLoaded now(file, false);
            ASSERT_TRUE(now.Ok);
            const std::string expected = saved[0] ? kFirst : saved[1] && !race.SecondWipes ? "Second" : "";
            if (saved[0] || saved[1]) {
                EXPECT_EQ(now.File.ID3v2().TIT2.Text, expected) << "trial " << trial;
            }
            EXPECT_EQ(Slice(ReadFile(file), now.File.DataStart, now.File.AudioEnd), audio);
        }
    }
}

TEST(Hostile, NamesAtTheFileSystemsLimitAreSavedRecoveredAndRenamed) {
    TTempDir dir, state;
    ::setenv("XDG_STATE_HOME", state.Path.c_str(), 1);
    const fs::path file = dir / (std::string(250, 'n') + ".mp3");
    const TBytes original = Tagged(300);
    WriteFile(file, original);
    {
        TLoaded f(file, false);
        f.File.ID3v2().TIT2.SetText("In place");
        EXPECT_TRUE(f.File.SaveFile(file, true, false, true)) << f.Sink.Messages.front();
        f.File.ID3v2().TIT2.SetText(std::string(1000, 'g'));  // grown: written anew
        EXPECT_TRUE(f.File.SaveFile(file, true, false, true));
    }
    // A killed rewrite's leftover goes with the next save.
    WriteFile(NameBeside(file, ".velmar-new"), B("left by a killed save"));
    {
        TLoaded f(file, false);
        f.File.ID3v2().TIT2.SetText(std::string(3000, 'h'));
        EXPECT_TRUE(f.File.SaveFile(file, true, false, true));
        EXPECT_FALSE(fs::exists(NameBeside(file, ".velmar-new")));
    }
    LeaveATornSave(file);
    EXPECT_TRUE(HasCutShortSave(file));
    EXPECT_EQ(RecoverInterruptedSave(file), TRecovery::RestoredOld);
    EXPECT_EQ(TLoaded(file, false).File.ID3v2().TIT2.Text, std::string(3000, 'h'));
    // With its place beside the file taken by a file no save of the user's wrote, the
    // journal goes to the state folder, where a listing finds it by any name of the file.
    {
        const fs::path short_ = dir / "short.mp3";
        WriteFile(short_, original);
        WriteFile(JournalBeside(short_), B("someone else's"));
        fs::permissions(JournalBeside(short_), fs::perms::all);
        EXPECT_FALSE(HasCutShortSave(short_));
        LeaveATornSave(short_);
        ASSERT_EQ(std::distance(fs::directory_iterator(state / "velmar" / "journals"), fs::directory_iterator()), 1);
        const fs::path was = fs::current_path();
        fs::current_path(dir.Path);
        EXPECT_TRUE(HasCutShortSave("short.mp3"));
        fs::current_path(was);
        EXPECT_TRUE(HasCutShortSave(short_));
        EXPECT_EQ(RecoverInterruptedSave(short_), TRecovery::RestoredOld);
        EXPECT_FALSE(HasCutShortSave(short_));
        fs::remove(short_);
        fs::remove(JournalBeside(short_));
    }
    const fs::path renamed = dir / (std::string(251, 'r') + ".mp3");
    EXPECT_EQ(MoveAudioFile(file, renamed), "");
    TLoaded wiped(renamed, false);
    EXPECT_TRUE(wiped.File.RemoveTags(true, false, false));
    EXPECT_FALSE(TLoaded(renamed, false).File.ID3v2().Present);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator()), 1);
    ::unsetenv("XDG_STATE_HOME");
}

TEST(Hostile, AUsersJournalServesOnlyTheirOwnFilesAndLiesOnlyWhereNoOneElseWrites) {
    if (!Root()) GTEST_SKIP() << "needs root to give files to another user";
    TTempDir dir;
    fs::permissions(dir.Path, fs::perms::all);
    // A file of root's that the user may write, in a folder the user may write, and
    // one in a folder only root writes.
    const fs::path shared = dir / "shared.mp3", locked = dir / "locked" / "song.mp3";
    fs::create_directories(locked.parent_path());
    for (const fs::path& f : {shared, locked}) {
        WriteFile(f, Tagged(300));
        fs::permissions(f, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    }
    const std::string failures = AsUser(kOther, dir / "report", [&] {
        std::string failed;
        // The user's own journal for root's file: believed, it would let the user
        // write bytes of their choice into it through root's next recovery.
        ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
        LeaveATornSave(shared);
        const TBytes torn = ReadFile(shared);
        failed += Check(RecoverInterruptedSave(shared) == TRecovery::Nothing, "another's file was recovered");
        failed += Check(ReadFile(shared) == torn, "another's file was written by recovery");
        // A state folder others may write into is never used for a journal: the save fails.
        fs::create_directories(dir / "state" / "velmar" / "journals");
        ::chmod((dir / "state" / "velmar" / "journals").c_str(), 0770);
        TLoaded f(locked, false);
        f.File.ID3v2().TIT2.SetText("New");
        failed += Check(!f.File.SaveFile(locked, true, false, true), "a journal went into a group-writable folder");
        failed += Check(ReadFile(locked) == Tagged(300), "the file changed");
        return failed;
    });
    EXPECT_EQ(failures, "");
}
