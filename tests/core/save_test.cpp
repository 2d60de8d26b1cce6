// What loading and saving cost in system calls, saving tags in place without
// touching the audio, the journal that makes an in-place save safe, and every
// save made to fail (or crash) at each of its system calls in turn.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <map>

#include <zlib.h>

#include "base/sysio.h"
#include "file/filescan.h"
#include "file/inplace.h"
#include "testfiles.h"

using namespace velmar;
using namespace vtest;

namespace {

using sysio::TCall;

const TFrameShape kCbr;  // 417-byte frames

// Counts every call; fails (or, with Crash, abandons the save like a power cut) the
// FailAt-th call of kind Kind, or of any kind when AnyKind.
struct TFaults {
    static inline std::map<TCall, int> Counts;
    static inline TCall Kind = TCall::Write;
    static inline bool AnyKind = false, Crash = false;
    static inline int FailAt = 0, Seen = 0, Error = EIO;
    static inline bool Hit = false;

    static int Hook(TCall call) {
        ++Counts[call];
        // A crash never comes from closing: a destructor closes, and must not throw.
        const bool counted = AnyKind ? call != TCall::Close : call == Kind;
        if (counted && FailAt > 0 && ++Seen == FailAt) {
            Hit = true;
            if (Crash) throw TCrash{};
            return Error;
        }
        return 0;
    }
    struct TCrash {};

    // Watches the calls made while it lives.
    explicit TFaults(int failAt = 0, TCall kind = TCall::Write, bool anyKind = false, bool crash = false) {
        Counts.clear();
        Kind = kind;
        AnyKind = anyKind;
        Crash = crash;
        FailAt = failAt;
        Seen = 0;
        Hit = false;
        Error = EIO;
        sysio::SetHook(&Hook);
    }
    ~TFaults() { sysio::SetHook(nullptr); }
    TFaults(const TFaults&) = delete;
    TFaults& operator=(const TFaults&) = delete;
};

TBytes Tagged(size_t padding, int frames = 12) {
    return Cat({Id3Tag(Cat({Id3Frame("TIT2", Txt("Old title")), Id3Frame("TPE1", Txt("Artist"))}), padding),
                Frames(kCbr, frames), Lyrics3({{"IND", "00"}, {"AUT", "Writer"}}), Id3v1({.Title = "v1", .Track = 4})});
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// A folder for the files and another one as the user's state folder.
class Saving : public testing::Test {
protected:
    void SetUp() override { ::setenv("XDG_STATE_HOME", State.Path.c_str(), 1); }
    void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }
    // Nothing but the file itself is left in its folder or the state folder.
    void ExpectNothingLeftBeside(const fs::path& file) {
        EXPECT_EQ(Names(file.parent_path()), std::vector<std::string>{file.filename().string()});
        EXPECT_EQ(Names(State.Path).size(), fs::exists(State / "velmar") ? 2u : 0u);  // velmar/journals, empty
    }
    TTempDir Dir, State;
    const fs::path P = Dir / "song.mp3";
};

// Every way a save writes a file: in place (the tag, the end growing, the end
// cut off), and anew (a grown tag, a tag removed).
struct TSavePath {
    const char* Name;
    TBytes Original;
    std::function<bool(TMP3Object&, const fs::path&)> Save;
};

std::vector<TSavePath> SavePaths() {
    return {
        {"in place", Tagged(300),
         [](TMP3Object& f, const fs::path& p) {
             f.ID3v2().TIT2.SetText("A new title");
             f.ID3v1().Title = "v1 new";
             return f.SaveFile(p, true, true, true);
         }},
        {"in place, the end grows", Tagged(300),
         [](TMP3Object& f, const fs::path& p) {
             f.Lyrics3().Lyrics = TBytes(3000, 'x');
             return f.SaveFile(p, true, true, true);
         }},
        {"in place, the end cut off", Tagged(300),
         [](TMP3Object& f, const fs::path& p) { return f.SaveFile(p, true, false, false); }},
        {"in place, ID3v1 removed", Tagged(300),
         [](TMP3Object& f, const fs::path&) { return f.RemoveTags(false, false, true); }},
        {"anew, the tag grows", Tagged(0),
         [](TMP3Object& f, const fs::path& p) {
             f.ID3v2().TIT2.SetText("A title that does not fit");
             return f.SaveFile(p, true, true, true);
         }},
        {"anew, ID3v2 removed", Tagged(300),
         [](TMP3Object& f, const fs::path&) { return f.RemoveTags(true, false, false); }},
    };
}

// What a save gives when nothing fails.
TBytes Saved(const TSavePath& path, const fs::path& file) {
    WriteFile(file, path.Original);
    TLoaded f(file, false);
    EXPECT_TRUE(path.Save(f.File, file));
    return ReadFile(file);
}

}  // namespace

TEST_F(Saving, ReadingAFileCostsOneOpenOneStatusAndTwoReads) {
    struct TCase {
        const char* Name;
        TBytes Bytes;
        int Reads;
    };
    const TBytes bigTag = Id3Tag(Cat({Id3Frame("TIT2", Txt("T")), Id3Frame("PRIV", TBytes(20000, 7))}));
    const TBytes lyrics = Lyrics3({{"IND", "00"}, {"LYR", std::string(3000, 'l')}});
    for (const TCase& c : {
             TCase{"no tags", Frames(kCbr, 30), 2},
             TCase{"small tag, ID3v1", Tagged(100, 30), 2},
             TCase{"tag past the head", Cat({bigTag, Frames(kCbr, 30)}), 3},
             TCase{"tag ending at the head's end", Cat({Id3Tag(Id3Frame("TIT2", Txt("T")), 4000), Frames(kCbr, 30)}),
                   3},
             TCase{"long Lyrics3 block", Cat({Frames(kCbr, 30), lyrics, Id3v1({.Title = "x"})}), 3},
             TCase{"smaller than the head", Cat({Id3Tag(Id3Frame("TIT2", Txt("T"))), Frames(kCbr, 3)}), 1},
         }) {
        SCOPED_TRACE(c.Name);
        WriteFile(P, c.Bytes);
        TFaults watch;
        TLoaded f(P, false);
        ASSERT_TRUE(f.Ok);
        EXPECT_TRUE(f.File.HasFrame);
        EXPECT_EQ(watch.Counts[TCall::Open], 1);
        EXPECT_EQ(watch.Counts[TCall::Stat], 1);
        EXPECT_EQ(watch.Counts[TCall::Read], c.Reads);
        EXPECT_EQ(watch.Counts[TCall::Close], 1);
    }
}

TEST_F(Saving, AttributesComeFromTheFilesStatus) {
    WriteFile(P, Tagged(0));
    ::chmod(P.c_str(), 0444);
    EXPECT_EQ(TLoaded(P).File.AttributeLetters, ::geteuid() == 0 ? "" : "R");  // root writes any file
    // An ordinary user, the owner or not, may not write it.
    for (const uid_t owner : {kOtherUser, uid_t(0)}) {
        ::chown(P.c_str(), owner, owner);
        ::chmod(P.c_str(), 0444);
        fs::permissions(Dir.Path, fs::perms::all);
        const std::string failures = AsUser(kOtherUser, Dir / "report", [this] {
            const std::string letters = TLoaded(P).File.AttributeLetters;
            return letters == "R" ? "" : "a read-only file shows \"" + letters + "\"";
        });
        EXPECT_EQ(failures, "");
        fs::remove(Dir / "report");
    }
    ::chmod(P.c_str(), 0644);
    EXPECT_EQ(TLoaded(P).File.AttributeLetters, "");
    const fs::path hidden = Dir / ".hidden.mp3";
    fs::rename(P, hidden);
    EXPECT_EQ(TLoaded(hidden).File.AttributeLetters, "H");
}

TEST_F(Saving, ATagThatFitsIsWrittenInPlaceAndTheAudioIsNotTouched) {
    const TBytes original = Tagged(300);
    WriteFile(P, original);
    const fs::path link = Dir / "link.mp3";
    fs::create_hard_link(P, link);
    struct stat before {};
    ::stat(P.c_str(), &before);

    TLoaded f(P, false);
    const TBytes audio = Slice(original, f.File.DataStart, f.File.AudioEnd);
    const int64_t space = f.File.DataStart;
    f.File.ID3v2().TIT2.SetText("A longer title than before");
    f.File.ID3v1().Title = "v1 changed";
    {
        TFaults watch;
        ASSERT_TRUE(f.File.SaveFile(P, true, true, true));
        // The journal and the two regions, nothing copied.
        EXPECT_EQ(watch.Counts[TCall::Copy], 0);
        EXPECT_EQ(watch.Counts[TCall::Rename], 0);
    }
    const TBytes now = ReadFile(P);
    EXPECT_EQ(now.size(), original.size());
    EXPECT_EQ(Slice(now, space, space + int64_t(audio.size())), audio);
    struct stat after {};
    ::stat(P.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadFile(link), now);  // the hard link sees the change

    TLoaded back(P);
    EXPECT_EQ(back.File.ID3v2().TIT2.Text, "A longer title than before");
    EXPECT_STREQ(back.File.ID3v1().Title.c_str(), "v1 changed");
    EXPECT_EQ(back.File.DataStart, space);
    EXPECT_EQ(back.File.ID3v2().TPE1.Text, "Artist");
    EXPECT_EQ(Names(Dir.Path), (std::vector<std::string>{"link.mp3", "song.mp3"}));

    // Saving again what is there writes nothing at all.
    TFaults watch;
    ASSERT_TRUE(f.File.SaveFile(P, true, true, true));
    EXPECT_EQ(watch.Counts[TCall::Write], 0);
    EXPECT_EQ(ReadFile(P), now);
}

TEST_F(Saving, TheTagsAtTheEndGrowAndShrinkInPlace) {
    WriteFile(P, Tagged(300));
    TLoaded f(P, false);
    const int64_t audioEnd = f.File.AudioEnd;
    const TBytes audio = Slice(ReadFile(P), f.File.DataStart, audioEnd);
    f.File.Lyrics3().Lyrics = TBytes(5000, 'x');
    ASSERT_TRUE(f.File.SaveFile(P, true, true, true));
    EXPECT_EQ(TLoaded(P).File.Lyrics3().Lyrics.size(), 5000u);
    ASSERT_TRUE(f.File.SaveFile(P, true, false, false));  // both dropped: the file ends with its audio
    const TBytes now = ReadFile(P);
    EXPECT_EQ(int64_t(now.size()), audioEnd);
    EXPECT_EQ(Slice(now, f.File.DataStart, audioEnd), audio);
}

TEST_F(Saving, AGrownTagIsWrittenAnewWithRoomForTheNextEdit) {
    WriteFile(P, Tagged(0));
    TLoaded f(P, false);
    const TBytes audio = Slice(ReadFile(P), f.File.DataStart, f.File.AudioEnd);
    f.File.ID3v2().TIT2.SetText("Grown past the old space");
    ASSERT_TRUE(f.File.SaveFile(P, true, true, true));
    TLoaded back(P, false);
    EXPECT_EQ(back.File.ID3v2().TIT2.Text, "Grown past the old space");
    EXPECT_GE(back.File.DataStart, 1024 + 10);
    const TBytes grown = ReadFile(P);
    EXPECT_EQ(Slice(grown, back.File.DataStart, back.File.AudioEnd), audio);

    // The next edit fits: written in place.
    back.File.ID3v2().TIT2.SetText("Grown a little more, and more");
    {
        TFaults watch;
        ASSERT_TRUE(back.File.SaveFile(P, true, true, true));
        EXPECT_EQ(watch.Counts[TCall::Rename], 0);
    }
    EXPECT_EQ(TLoaded(P).File.DataStart, back.File.DataStart);

    // Where the kernel cannot copy between the two files, the audio is copied by hand.
    WriteFile(P, Tagged(0));
    TLoaded again(P, false);
    again.File.ID3v2().TIT2.SetText("Grown past the old space");
    {
        TFaults noKernelCopy(1, TCall::Copy);
        TFaults::Error = EXDEV;
        ASSERT_TRUE(again.File.SaveFile(P, true, true, true));
        EXPECT_TRUE(TFaults::Hit);
    }
    EXPECT_EQ(ReadFile(P), grown);
}

TEST_F(Saving, AnotherUsersGroupWritableFileInAFolderWeMayNotWrite) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the file to another user";
    // Run in a child as an ordinary user in the file's group; the file and folder stay root's.
    const gid_t group = 12345;
    WriteFile(P, Tagged(300));
    ::chown(P.c_str(), 0, group);
    ::chmod(P.c_str(), 0664);
    ::chmod(Dir.Path.c_str(), 0755);
    ::chmod(State.Path.c_str(), 0777);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(1, &group) != 0 || ::setgid(group) != 0 || ::setuid(65534) != 0) ::_exit(3);
        TCollectingSink sink;
        TMP3Object f(sink);
        if (!f.LoadFile(P, false)) ::_exit(4);
        f.ID3v2().TIT2.SetText("Shared");
        ::_exit(f.SaveFile(P, true, true, true) ? 0 : 5);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    struct stat st {};
    ::stat(P.c_str(), &st);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(TLoaded(P).File.ID3v2().TIT2.Text, "Shared");
    EXPECT_EQ(Names(Dir.Path), std::vector<std::string>{"song.mp3"});
}

TEST_F(Saving, EverySaveFailingAtEachCallLeavesTheOriginalOrTheNewFileAndNothingElse) {
    for (const TSavePath& path : SavePaths()) {
        const TBytes expected = Saved(path, P);
        ASSERT_NE(expected, path.Original) << path.Name;
        for (const TCall kind : {TCall::Open, TCall::Write, TCall::Sync, TCall::Truncate, TCall::Rename, TCall::Copy}) {
            for (int n = 1;; ++n) {
                SCOPED_TRACE(std::string(path.Name) + ", failing call " + std::to_string(n) + " of kind " +
                             std::to_string(int(kind)));
                WriteFile(P, path.Original);
                TLoaded f(P, false);
                struct stat read {};
                ::stat(P.c_str(), &read);
                bool saved = false, hit = false;
                {
                    TFaults faults(n, kind);
                    saved = path.Save(f.File, P);
                    hit = TFaults::Hit;
                }
                if (!hit) {
                    EXPECT_TRUE(saved);
                    EXPECT_EQ(ReadFile(P), expected);
                    break;
                }
                EXPECT_EQ(ReadFile(P), saved ? expected : path.Original);
                // Undone, the file keeps the time it was read at, so that it can be saved again.
                struct stat now {};
                ::stat(P.c_str(), &now);
                EXPECT_TRUE(saved || ModificationTime(now) == ModificationTime(read));
                EXPECT_EQ(saved, f.Sink.Messages.empty());
                ExpectNothingLeftBeside(P);
            }
        }
    }
}

TEST_F(Saving, ACrashAtAnyStepLeavesTheOldOrTheNewTagsOnceRecovered) {
    for (const TSavePath& path : SavePaths()) {
        const TBytes expected = Saved(path, P);
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string(path.Name) + ", crash before call " + std::to_string(n));
            WriteFile(P, path.Original);
            TLoaded f(P, false);
            bool crashed = false;
            {
                TFaults crash(n, TCall::Write, true, true);
                try {
                    path.Save(f.File, P);
                } catch (const TFaults::TCrash&) {
                    crashed = true;
                }
            }
            RecoverInterruptedSave(P);
            const TBytes now = ReadFile(P);
            EXPECT_TRUE(now == path.Original || now == expected);
            ExpectNothingLeftBeside(P);
            if (!crashed) break;
        }
    }
}

TEST_F(Saving, TheJournalPutsBackATornTagAndIsDroppedWhenItWasNotWrittenWhole) {
    const TSavePath path = SavePaths()[0];
    const TBytes expected = Saved(path, P);
    const fs::path journal = JournalBeside(P);
    auto crashBeforeTheTagIsWritten = [&] {
        WriteFile(P, path.Original);
        TLoaded f(P, false);
        TFaults crash(2, TCall::Write, false, true);  // the journal is the first write, the tag the second
        EXPECT_THROW(path.Save(f.File, P), TFaults::TCrash);
        return f.File.DataStart;
    };

    // Half of the new tag reached the disk: the old one is put back.
    const int64_t space = crashBeforeTheTagIsWritten();
    ASSERT_TRUE(fs::exists(journal));
    TBytes torn = path.Original;
    std::copy(expected.begin(), expected.begin() + space / 2, torn.begin());
    WriteFile(P, torn);
    EXPECT_EQ(RecoverInterruptedSave(P), TRecovery::RestoredOld);
    EXPECT_EQ(ReadFile(P), path.Original);
    EXPECT_FALSE(fs::exists(journal));

    // Reading the folder only reads: the file is marked, and the next change finishes the save.
    crashBeforeTheTagIsWritten();
    WriteFile(P, torn);
    EXPECT_EQ(ScanFolder(Dir.Path), std::vector<fs::path>{P});
    EXPECT_EQ(ReadFile(P), torn);
    EXPECT_TRUE(HasCutShortSave(P));
    EXPECT_EQ(RecoverInterruptedSave(P), TRecovery::RestoredOld);
    EXPECT_EQ(ReadFile(P), path.Original);
    EXPECT_FALSE(HasCutShortSave(P));

    // A journal cut short: the file was not touched, the journal goes.
    crashBeforeTheTagIsWritten();
    fs::resize_file(journal, fs::file_size(journal) / 2);
    EXPECT_EQ(RecoverInterruptedSave(P), TRecovery::Nothing);
    EXPECT_EQ(ReadFile(P), path.Original);
    EXPECT_FALSE(fs::exists(journal));

    // Everything was written, only the journal was not removed: the new tags stay,
    // whether the file kept its length or not.
    const std::vector<TSavePath> paths = SavePaths();
    for (const TSavePath& inPlace : std::vector(paths.begin(), paths.begin() + 4)) {
        SCOPED_TRACE(inPlace.Name);
        const TBytes whole = Saved(inPlace, P);
        WriteFile(P, inPlace.Original);
        TLoaded f(P, false);
        {
            TFaults crash(1, TCall::Unlink, false, true);
            EXPECT_THROW(inPlace.Save(f.File, P), TFaults::TCrash);
        }
        ASSERT_TRUE(fs::exists(journal));
        EXPECT_EQ(RecoverInterruptedSave(P), TRecovery::KeptNew);
        EXPECT_EQ(ReadFile(P), whole);
    }

    // A file loaded to be changed has the old save finished first: the change goes through.
    crashBeforeTheTagIsWritten();
    WriteFile(P, torn);
    {
        TCollectingSink sink;
        TMP3Object again(sink);
        ASSERT_TRUE(again.LoadForChange(P));
        EXPECT_EQ(again.ID3v2().TIT2.Text, "Old title");
        again.ID3v2().TIT2.SetText("After the crash");
        ASSERT_TRUE(again.SaveFile(P, true, true, true));
        EXPECT_EQ(TLoaded(P).File.ID3v2().TIT2.Text, "After the crash");
        ExpectNothingLeftBeside(P);
    }

    // A journal in use by another save (which holds the file's lock) is left alone.
    crashBeforeTheTagIsWritten();
    {
        const int other = ::open(P.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(other, LOCK_EX), 0);
        EXPECT_THROW(RecoverInterruptedSave(P), EInPlace);
        EXPECT_EQ(ScanFolder(Dir.Path), std::vector<fs::path>{P});
        EXPECT_TRUE(fs::exists(journal));
        TLoaded f(P, false);
        f.File.ID3v2().TIT2.SetText("Meanwhile");
        EXPECT_FALSE(f.File.SaveFile(P, true, true, true));
        EXPECT_EQ(ReadFile(P), path.Original);
        ::close(other);
    }
    EXPECT_EQ(RecoverInterruptedSave(P), TRecovery::RestoredOld);

    // A save of a file with a journal finishes the old save first and refuses to go on.
    crashBeforeTheTagIsWritten();
    TLoaded stale(P, false);
    stale.File.ID3v2().TIT2.SetText("Later");
    WriteFile(P, torn);
    EXPECT_FALSE(stale.File.SaveFile(P, true, true, true));
    EXPECT_EQ(ReadFile(P), path.Original);
    ExpectNothingLeftBeside(P);
}

namespace {

// Replaces the file's name by another file right after the save opened it.
fs::path gReplacement, gReplaced;
int ReplaceAfterOpening(TCall call) {
    if (call == TCall::Stat && !gReplacement.empty()) {
        ::rename(gReplacement.c_str(), gReplaced.c_str());
        gReplacement.clear();
    }
    return 0;
}

// The name of a file's journal in the user's state folder.
fs::path StateJournal(const fs::path& state, const fs::path& file) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : fs::absolute(file).string()) hash = (hash ^ c) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return state / "velmar" / "journals" / (std::string(hex) + ".velmar-journal");
}

}  // namespace

// Each check names the fault it catches.
TEST_F(Saving, InPlaceEditsJournalsAndNamesThatDoNotHoldAreRefused) {
    const TBytes original = Tagged(300);
    WriteFile(P, original);
    {
        // An edit whose tail starts past the end of the file.
        TFileForChange file(P);
        const TBytes head = Slice(original, 0, 10);
        EXPECT_THROW(WriteInPlace(file, {head, int64_t(original.size()) + 1, {}}), EInPlace);
        EXPECT_THROW(WriteInPlace(file, {head, 9, {}}), EInPlace);
        EXPECT_EQ(ReadFile(P), original);
    }

    // A journal whose lengths disagree (its checksum made to fit) is not carried out.
    const fs::path journal = JournalBeside(P);
    auto leaveAJournal = [&] {
        WriteFile(P, original);
        TLoaded f(P, false);
        f.File.ID3v2().TIT2.SetText("New");
        TFaults crash(2, TCall::Write, false, true);
        EXPECT_THROW(f.File.SaveFile(P, true, true, true), TFaults::TCrash);
        return ReadFile(journal);
    };
    TBytes bent = leaveAJournal();
    // Magic, name length, name, the file's device and inode, the journal's own: the old size.
    size_t at = 8 + 8 + size_t(bent[8]) + 32;
    bent[at] ^= 1;
    const uint32_t crc = uint32_t(crc32(0, bent.data(), uInt(bent.size() - 8)));
    for (size_t i = 0; i < 8; ++i) bent[bent.size() - 8 + i] = uint8_t(uint64_t(crc) >> (8 * i));
    WriteFile(journal, bent);
    EXPECT_EQ(RecoverInterruptedSave(P), TRecovery::Nothing);
    EXPECT_EQ(ReadFile(P), original);
    EXPECT_FALSE(fs::exists(journal));

    // The state folder's journal of another file whose name has the same hash is not this file's.
    const TBytes genuine = leaveAJournal();
    fs::remove(journal);
    const fs::path other = Dir / "other.mp3", planted = StateJournal(State.Path, other);
    WriteFile(other, original);
    fs::create_directories(planted.parent_path());
    WriteFile(planted, genuine);
    EXPECT_EQ(RecoverInterruptedSave(other), TRecovery::Nothing);
    EXPECT_TRUE(fs::exists(planted));
    fs::remove(planted);

    // Nothing but a regular file is opened.
    const fs::path fifo = Dir / "fifo.mp3";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        TFaults watch;
        EXPECT_THROW(TFileForChange{fifo}, EInPlace);
        EXPECT_EQ(TFaults::Counts[TCall::Open], 0);
    }
    fs::remove(fifo);

    // A file put in its place between opening and locking (a save that renamed a new file over it).
    gReplaced = P;
    gReplacement = Dir / "newer.mp3";
    WriteFile(gReplacement, original);
    sysio::SetHook(&ReplaceAfterOpening);
    EXPECT_THROW(TFileForChange{P}, EInPlace);
    sysio::SetHook(nullptr);
    EXPECT_TRUE(gReplacement.empty());
}
