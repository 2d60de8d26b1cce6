#include "inplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>

#include "base/sysio.h"
#include "file/changewatch.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

// "VELMARJ" and a version: 3 for a save of its own, 4 for one of a group (it names the group's mark).
constexpr char kMagic[8] = {'V', 'E', 'L', 'M', 'A', 'R', 'J', '4'};
constexpr size_t kVersionAt = sizeof kMagic - 1;
constexpr std::string_view kAsideEnding = ".velmar-aside";  // shorter than the journal's: the name always fits
constexpr std::string_view kMarkEnding = ".velmar-committed";
// An ID3v2 tag is below 256 MB, the tags at the end below 4 MB; a journal holds them old and new.
constexpr int64_t kMaxJournal = 2 * ((int64_t(1) << 28) + (int64_t(1) << 22)) + 4096;
constexpr int64_t kFingerprintSpan = 64 * 1024;
constexpr size_t kNameMax = 255;  // bytes of one name, on every file system Velmar writes to

std::string Failure(const std::string& what, const fs::path& name) {
    return what + " \"" + name.string() + "\": " + std::strerror(errno);
}

// A descriptor closed when it goes out of scope.
class TFd {
public:
    TFd() = default;
    TFd(const fs::path& path, int flags, unsigned mode = 0) : Fd(sysio::Open(path.c_str(), flags, mode)) {}
    ~TFd() {
        if (Fd >= 0) sysio::Close(Fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    explicit operator bool() const { return Fd >= 0; }
    int Get() const { return Fd; }
    // Closes now; a failed close of a file just written means its data may be lost.
    bool Close() {
        const int fd = Fd;
        Fd = -1;
        return sysio::Close(fd) == 0;
    }

private:
    int Fd = -1;
};

void WriteAll(int fd, std::span<const uint8_t> bytes, int64_t at, const fs::path& name) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = sysio::Pwrite(fd, bytes.data() + done, bytes.size() - done, off_t(at + int64_t(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            throw EInPlace(Failure("Cannot write", name));
        }
        done += size_t(n);
    }
}

TBytes ReadAll(int fd, int64_t at, int64_t count, const fs::path& name) {
    TBytes bytes(size_t(std::max<int64_t>(count, 0)));
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = sysio::Pread(fd, bytes.data() + done, bytes.size() - done, off_t(at + int64_t(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EInPlace(Failure("Cannot read", name));
        if (n == 0) throw EInPlace("The file \"" + name.string() + "\" is shorter than it was");
        done += size_t(n);
    }
    return bytes;
}

// The data and the length; the modification time need not wait for the disk.
void Sync(int fd, const fs::path& name) {
    if (sysio::Fdatasync(fd) != 0) throw EInPlace(Failure("Cannot flush", name));
}

void Truncate(int fd, int64_t size, const fs::path& name) {
    if (sysio::Ftruncate(fd, off_t(size)) != 0) throw EInPlace(Failure("Cannot change the length of", name));
}

// Makes a name made or removed in a folder durable.
void SyncFolder(const fs::path& folder) {
    TFd dir(folder.empty() ? fs::path(".") : folder, O_RDONLY | O_DIRECTORY);
    if (!dir || sysio::Fsync(dir.Get()) != 0) throw EInPlace(Failure("Cannot flush the folder", folder));
}

uint32_t Crc(std::initializer_list<std::span<const uint8_t>> parts) {
    uLong crc = crc32(0, nullptr, 0);
    for (const auto& part : parts)
        for (size_t done = 0; done < part.size();) {
            const uInt n = uInt(std::min<size_t>(part.size() - done, 1u << 30));
            crc = crc32(crc, part.data() + done, n);
            done += n;
        }
    return uint32_t(crc);
}

std::string HexHash(std::string_view text) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a: a stable name for a text
    for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

// The audio a save never writes, between the head it replaces and the point the
// tail starts, seen through its first and last 64 KiB: when these differ from the
// journal's, another program changed the file since.
uint32_t AudioFingerprint(int fd, int64_t headLength, int64_t tailAt, const fs::path& name) {
    const int64_t firstEnd = std::min(tailAt, headLength + kFingerprintSpan);
    const int64_t lastFrom = std::max(firstEnd, tailAt - kFingerprintSpan);
    return Crc({ReadAll(fd, headLength, firstEnd - headLength, name), ReadAll(fd, lastFrom, tailAt - lastFrom, name)});
}

void Put64(TBytes& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

uint64_t Get64(std::span<const uint8_t> in, size_t& at) {
    uint64_t v = 0;
    if (at + 8 > in.size()) throw EInPlace("short");
    for (int i = 0; i < 8; ++i) v |= uint64_t(in[at + size_t(i)]) << (8 * i);
    at += 8;
    return v;
}

// What a journal holds: the file it belongs to, the journal's own device and inode
// (a file of the user's renamed or linked to a journal's name names others), the
// regions an in-place save replaces with their old and their new bytes, and a
// fingerprint of the audio between them. A save of a group also names the mark
// that tells whether the group was committed.
struct TJournal {
    std::string File;  // the file's absolute name when the journal was written
    std::string Mark;  // empty for a save of its own
    uint64_t Device = 0, Inode = 0;
    uint64_t OwnDevice = 0, OwnInode = 0;
    int64_t OldSize = 0, NewSize = 0, TailAt = 0;
    uint32_t AudioCrc = 0;
    TBytes OldHead, OldTail, NewHead, NewTail;

    TBytes Render() const {
        TBytes out(kMagic, kMagic + sizeof kMagic);
        if (Mark.empty()) out[kVersionAt] = '3';
        Put64(out, File.size());
        out.insert(out.end(), File.begin(), File.end());
        if (!Mark.empty()) {
            Put64(out, Mark.size());
            out.insert(out.end(), Mark.begin(), Mark.end());
        }
        for (uint64_t v :
             {Device, Inode, OwnDevice, OwnInode, uint64_t(OldSize), uint64_t(NewSize), uint64_t(TailAt),
              uint64_t(OldHead.size()), uint64_t(OldTail.size()), uint64_t(NewTail.size()), uint64_t(AudioCrc)})
            Put64(out, v);
        for (const TBytes* part : {&OldHead, &OldTail, &NewHead, &NewTail})
            out.insert(out.end(), part->begin(), part->end());
        Put64(out, Crc({out}));
        return out;
    }

    enum TParsed { Whole, Torn, Foreign };
    // Torn: a journal of this kind not written whole (the save had not touched the
    // file yet). Foreign: not a journal this version writes.
    TParsed Parse(std::span<const uint8_t> in) {
        if (in.size() < sizeof kMagic || std::memcmp(in.data(), kMagic, kVersionAt) != 0 ||
            (in[kVersionAt] != '3' && in[kVersionAt] != '4'))
            return Foreign;
        try {
            if (in.size() < sizeof kMagic + 8) return Torn;
            size_t at = in.size() - 8;
            if (Get64(in, at) != Crc({in.first(in.size() - 8)})) return Torn;
            at = sizeof kMagic;
            auto text = [&in, &at](std::string& out) {
                const uint64_t length = Get64(in, at);
                if (length > in.size() - at) throw EInPlace("short");
                out.assign(reinterpret_cast<const char*>(in.data() + at), size_t(length));
                at += size_t(length);
            };
            text(File);
            if (in[kVersionAt] == '4') text(Mark);
            Device = Get64(in, at);
            Inode = Get64(in, at);
            OwnDevice = Get64(in, at);
            OwnInode = Get64(in, at);
            OldSize = int64_t(Get64(in, at));
            NewSize = int64_t(Get64(in, at));
            TailAt = int64_t(Get64(in, at));
            const uint64_t headLength = Get64(in, at), oldTailLength = Get64(in, at), newTailLength = Get64(in, at);
            AudioCrc = uint32_t(Get64(in, at));
            // Each length is checked alone before they are added up, so that no sum wraps around.
            const uint64_t room = in.size() - 8 - std::min<uint64_t>(at, in.size() - 8);
            if (at > in.size() - 8 || headLength > room || oldTailLength > room || newTailLength > room ||
                2 * headLength + oldTailLength + newTailLength != room || TailAt < int64_t(headLength) ||
                TailAt > int64_t(1) << 62 || OldSize != TailAt + int64_t(oldTailLength) ||
                NewSize != TailAt + int64_t(newTailLength))
                return Torn;
            for (auto [part, length] : {std::pair{&OldHead, headLength}, std::pair{&OldTail, oldTailLength},
                                        std::pair{&NewHead, headLength}, std::pair{&NewTail, newTailLength}}) {
                part->assign(in.begin() + ptrdiff_t(at), in.begin() + ptrdiff_t(at + length));
                at += size_t(length);
            }
            return Whole;
        } catch (const EInPlace&) {
            return Torn;
        }
    }
};

// The user's own folder for journals of files whose folder cannot hold one: made
// 0700, and used only when it is a folder of this user that no one else may write
// (after `sudo -E` the state folder named in the environment is another user's).
fs::path StateJournalFolder(bool make) {
    fs::path base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".local" / "state";
    else
        return {};
    const fs::path folder = base / "velmar" / "journals";
    if (make) {
        std::error_code ec;
        fs::create_directories(base, ec);
        ::mkdir((base / "velmar").c_str(), 0700);
        ::mkdir(folder.c_str(), 0700);
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 022) != 0)
        return {};
    return folder;
}

fs::path JournalInStateFolder(const fs::path& file, bool make = false) {
    const fs::path folder = StateJournalFolder(make);
    if (folder.empty()) return {};
    std::error_code ec;
    return folder / (HexHash(fs::absolute(file, ec).string()) + std::string(kJournalEnding));
}

bool CannotCreateHere(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// A journal this user may have written: a regular file of theirs, for a file of
// theirs (root writes any file, and no one else can make a file of root's), that no
// one else may write and that has no other name (a file of the user's that another
// user may write, linked to a journal's name, is theirs to fill).
bool Believable(const struct stat& journal, const struct stat& file) {
    const uid_t me = ::geteuid();
    return S_ISREG(journal.st_mode) && journal.st_uid == me && (file.st_uid == me || me == 0) &&
           journal.st_nlink == 1 && (journal.st_mode & 022) == 0;
}

// Journals this process put in the state folder: a listing looks there again after each.
std::atomic<uint64_t> gStateJournals{0};

// Writes and flushes the journal, readable by whoever may read the file and written
// by this user alone; returns where it is. A name beside the file that is taken
// already is someone else's (the file's own journal was dealt with under its lock):
// the state folder takes it then.
fs::path WriteJournal(const TFileForChange& file, TJournal& journal, bool flush = true) {
    const unsigned mode = unsigned(file.Status().st_mode & 0644);
    for (const bool beside : {true, false}) {
        const fs::path place = beside ? JournalBeside(file.Name()) : JournalInStateFolder(file.Name(), true);
        if (place.empty()) continue;
        TFd out(place, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK, beside ? mode : 0600);
        if (out && !beside) ++gStateJournals;
        if (!out) {
            if (CannotCreateHere(errno) || (beside && errno == EEXIST)) continue;
            throw EInPlace(Failure("Cannot create the journal", place));
        }
        try {
            struct stat own {};
            if (sysio::Fstat(out.Get(), &own) != 0) throw EInPlace(Failure("Cannot read the status of", place));
            journal.OwnDevice = own.st_dev;
            journal.OwnInode = own.st_ino;
            WriteAll(out.Get(), journal.Render(), 0, place);
            if (flush) Sync(out.Get(), place);
            if (!out.Close()) throw EInPlace(Failure("Cannot close the journal", place));
            if (flush) SyncFolder(place.parent_path());
        } catch (...) {
            sysio::Unlink(place.c_str());
            throw;
        }
        return place;
    }
    errno = EACCES;
    throw EInPlace(Failure("Cannot create a journal for", file.Name()));
}

// Needs no flush of the folder: a journal that comes back after a crash finds the
// file as it describes it (its new bytes whole, or its old ones put back) and goes again.
void RemoveJournal(const fs::path& journal) {
    if (sysio::Unlink(journal.c_str()) != 0 && errno != ENOENT)
        throw EInPlace(Failure("Cannot remove the journal", journal));
}

// Puts the old bytes of the journal back into the open file.
void PutBack(int fd, const TJournal& journal, const fs::path& file) {
    WriteAll(fd, journal.OldHead, 0, file);
    WriteAll(fd, journal.OldTail, journal.TailAt, file);
    Truncate(fd, journal.OldSize, file);
    Sync(fd, file);
}

// Renames a journal that must not be carried out, so that it is kept for whoever
// wants its bytes and no longer marks the file; says where it is.
std::string SetAside(const fs::path& journal, const fs::path& file, const std::string& why) {
    std::string name = journal.filename().string();
    name.replace(name.size() - kJournalEnding.size(), kJournalEnding.size(), kAsideEnding);
    const fs::path aside = journal.parent_path() / name;
    const fs::path kept = sysio::Rename(journal.c_str(), aside.c_str()) == 0 ? aside : journal;
    return "a save of \"" + file.string() + "\" was cut short, and " + why +
           ": its old tags were not put back and are kept in \"" + kept.string() + "\"";
}

// Whether every byte of a region as the file holds it now is the byte the save
// found there or the one it was writing: a save cut short leaves any mix of the two
// (pages reach the disk in any order), another program's change leaves others.
bool EachByteOldOrNew(const TBytes& now, const TBytes& old, const TBytes& written) {
    for (size_t i = 0; i < now.size(); ++i)
        if (!(i < old.size() && now[i] == old[i]) && !(i < written.size() && now[i] == written[i])) return false;
    return true;
}

// Why a whole journal must not be carried out on the locked file (another file took
// its name, or another program changed it since), or nullptr; `allNew` then tells
// whether the file holds the new bytes whole.
const char* WhyNotCarriedOut(const TJournal& journal, const TFileForChange& file, bool& allNew) {
    const struct stat& st = file.Status();
    const int64_t size = int64_t(st.st_size);
    if (journal.Device != uint64_t(st.st_dev) || journal.Inode != uint64_t(st.st_ino))
        return "another file has taken its name since";
    // The save leaves the file at its old length, its new one or, cut short, between them.
    if (size < std::min(journal.OldSize, journal.NewSize) || size > std::max(journal.OldSize, journal.NewSize) ||
        AudioFingerprint(file.Fd(), int64_t(journal.OldHead.size()), journal.TailAt, file.Name()) != journal.AudioCrc)
        return "another program has changed the file since";
    const TBytes head = ReadAll(file.Fd(), 0, int64_t(journal.OldHead.size()), file.Name());
    const TBytes tail = ReadAll(file.Fd(), journal.TailAt, size - journal.TailAt, file.Name());
    if (!EachByteOldOrNew(head, journal.OldHead, journal.NewHead) ||
        !EachByteOldOrNew(tail, journal.OldTail, journal.NewTail))
        return "another program has changed its tags since";
    allNew = size == journal.NewSize && head == journal.NewHead && tail == journal.NewTail;
    return nullptr;
}

void Note(std::string* report, const std::string& text) {
    if (report) *report = text;
}

}  // namespace

int64_t ModificationTime(const struct stat& st) { return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec; }

fs::path NameBeside(const fs::path& file, std::string_view ending) {
    const std::string name = file.filename().string();
    std::string beside = "." + name + std::string(ending);
    if (beside.size() > kNameMax) beside = "." + HexHash(name) + std::string(ending);
    return file.parent_path() / beside;
}

fs::path JournalBeside(const fs::path& file) { return NameBeside(file, kJournalEnding); }

namespace {

// A link that only the user or root may have made: another user's link, in a folder
// shared with them, would lead a change to a file of the user's (or root's) they chose.
bool FollowedForAChange(const struct stat& link) { return link.st_uid == ::geteuid() || link.st_uid == 0; }

}  // namespace

fs::path WriteTargetOf(const fs::path& file) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode) || !FollowedForAChange(st)) return file;
    std::error_code ec;
    fs::path target = fs::canonical(file, ec);
    return ec ? file : target;
}

TFileForChange::TFileForChange(const fs::path& file) : File(file) {
    // The name is looked at first, so that nothing but a regular file is ever opened
    // (opening a device can act on it, opening a FIFO can wait for a writer).
    struct stat named {};
    if (::lstat(file.c_str(), &named) != 0) throw EInPlace(Failure("Cannot write", file));
    auto notRegular = [&file] {
        return EInPlace("\"" + file.string() + "\" is not a regular file: it is left as it is");
    };
    if (S_ISLNK(named.st_mode) && !FollowedForAChange(named))
        throw EInPlace("\"" + file.string() + "\" is a link made by another user: it is left as it is");
    if (!S_ISREG(named.st_mode)) throw notRegular();
    Handle = sysio::Open(file.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (Handle < 0) throw EInPlace(Failure("Cannot write", file));
    try {
        Refresh();
        if (!S_ISREG(St.st_mode)) throw notRegular();
        if (::flock(Handle, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            throw EInPlace("Another save of \"" + file.string() + "\" is under way");
        // Another save may have renamed a new file over the name while this one waited.
        if (::lstat(file.c_str(), &named) != 0 || named.st_dev != St.st_dev || named.st_ino != St.st_ino)
            throw EInPlace("the file \"" + file.string() + "\" was replaced by another program meanwhile");
    } catch (...) {
        sysio::Close(Handle);
        throw;
    }
}

TFileForChange::~TFileForChange() {
    if (Handle >= 0) sysio::Close(Handle);
}

void TFileForChange::Refresh() {
    if (sysio::Fstat(Handle, &St) != 0) throw EInPlace(Failure("Cannot read the status of", File));
}

namespace {

// The journal of an edit of the locked file, its old bytes read; none when the file
// holds the new bytes already.
std::optional<TJournal> JournalOf(const TFileForChange& file, const TInPlaceEdit& edit) {
    const int fd = file.Fd();
    const fs::path& name = file.Name();
    const struct stat& st = file.Status();
    const int64_t size = int64_t(st.st_size);
    if (edit.TailAt < int64_t(edit.Head.size()) || edit.TailAt > size)
        throw EInPlace("the new tags do not fit the file \"" + name.string() + "\"");
    TJournal journal;
    journal.OldHead = ReadAll(fd, 0, int64_t(edit.Head.size()), name);
    journal.OldTail = ReadAll(fd, edit.TailAt, size - edit.TailAt, name);
    if (journal.OldHead == edit.Head && journal.OldTail == edit.Tail) return std::nullopt;
    std::error_code ec;
    journal.File = fs::absolute(name, ec).string();
    journal.Device = st.st_dev;
    journal.Inode = st.st_ino;
    journal.OldSize = size;
    journal.NewSize = edit.TailAt + int64_t(edit.Tail.size());
    journal.TailAt = edit.TailAt;
    journal.NewHead = edit.Head;
    journal.NewTail = edit.Tail;
    journal.AudioCrc = AudioFingerprint(fd, int64_t(edit.Head.size()), edit.TailAt, name);
    return journal;
}

// Writes the journal's new bytes into the file, without flushing them.
void WriteNewBytes(int fd, const TJournal& journal, const fs::path& name) {
    if (journal.NewHead != journal.OldHead) WriteAll(fd, journal.NewHead, 0, name);
    if (journal.NewTail != journal.OldTail) WriteAll(fd, journal.NewTail, journal.TailAt, name);
    if (journal.NewSize != journal.OldSize) Truncate(fd, journal.NewSize, name);
}

// After a write of the file failed: puts its old bytes and time back and removes the
// journal; returns the message of the failure, which says where the old tags are
// kept when even that failed.
std::string TakeBack(int fd, const struct stat& read, const TJournal& journal, const fs::path& journalName,
                     const fs::path& name, std::string message) {
    try {
        PutBack(fd, journal, name);
        const struct timespec times[2] = {{0, UTIME_OMIT}, read.st_mtim};
        ::futimens(fd, times);  // as it was read, so that it can be saved again
        RemoveJournal(journalName);
    } catch (const EInPlace&) {
        message += "; its old tags are kept in \"" + journalName.string() +
                   "\" and put back by the next change of the file or by velmar-cli recover";
    }
    return message;
}

}  // namespace

bool WriteInPlace(TFileForChange& file, const TInPlaceEdit& edit) {
    std::optional<TJournal> journal = JournalOf(file, edit);
    if (!journal) return false;
    const fs::path journalName = WriteJournal(file, *journal);
    try {
        WriteNewBytes(file.Fd(), *journal, file.Name());
        Sync(file.Fd(), file.Name());
    } catch (const EInPlace& e) {
        throw EInPlace(TakeBack(file.Fd(), file.Status(), *journal, journalName, file.Name(), e.what()));
    }
    // The new tags are whole on the disk: a journal left behind now is recognised as done.
    try {
        RemoveJournal(journalName);
    } catch (const EInPlace&) {}
    file.Refresh();
    return true;
}

namespace {

TSaveGroup* gGroup = nullptr;
std::atomic<uint64_t> gMarks{0};

// Flushes the file system of each descriptor once; false when one flush failed.
bool SyncFileSystems(const std::vector<std::pair<dev_t, int>>& fds) {
    bool whole = true;
    std::vector<dev_t> done;
    for (const auto& [device, fd] : fds) {
        if (std::find(done.begin(), done.end(), device) != done.end()) continue;
        done.push_back(device);
        if (sysio::Syncfs(fd) != 0) whole = false;
    }
    return whole;
}

// Whether the mark of a group's commit is there: a regular file of this user's.
bool Committed(const std::string& mark) {
    struct stat st {};
    return ::lstat(mark.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

}  // namespace

struct TSaveGroup::TPending {
    int Fd = -1;  // the locked file's descriptor, duplicated: the lock lasts as long as it
    fs::path Name;
    struct stat Read {};
    TJournal Journal;
    fs::path JournalName;
    int JournalFolder = -1;  // the folder of a journal kept in the state folder, on a file system of its own
    size_t Owner = 0;
    std::function<void(int64_t)> Done;
    bool Touched = false;  // the file may hold some of its new bytes
    bool Failed = false;

    ~TPending() {
        if (JournalFolder >= 0) sysio::Close(JournalFolder);
        if (Fd >= 0) sysio::Close(Fd);
    }
};

TSaveGroup::TSaveGroup(size_t files, size_t bytes) : FileLimit(files), ByteLimit(bytes), Previous(gGroup) {
    // A descriptor stays open for each file waiting: the process may open more when its
    // hard limit allows, and never more than a quarter of what it may open wait.
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const rlim_t wanted = rlim_t(FileLimit) * 4;
        if (limit.rlim_cur < wanted && limit.rlim_max > limit.rlim_cur) {
            limit.rlim_cur = std::min(wanted, limit.rlim_max);
            ::setrlimit(RLIMIT_NOFILE, &limit);
            ::getrlimit(RLIMIT_NOFILE, &limit);
        }
        FileLimit = std::max<size_t>(1, std::min<size_t>(FileLimit, size_t(limit.rlim_cur) / 4));
    }
    MarkFolder = StateJournalFolder(true);
    gGroup = this;
}

TSaveGroup::~TSaveGroup() {
    gGroup = Previous;
    Drop();
}

TSaveGroup* SaveGroup() { return gGroup && !gGroup->MarkFolder.empty() ? gGroup : nullptr; }

bool TSaveGroup::Holds(dev_t device, ino_t inode) const {
    return std::any_of(Items.begin(), Items.end(), [&](const auto& p) {
        return p->Read.st_dev == device && p->Read.st_ino == inode;
    });
}

bool TSaveGroup::Due() const { return Items.size() >= FileLimit || Bytes >= ByteLimit; }

bool TSaveGroup::Defer(TFileForChange& file, const TInPlaceEdit& edit, std::function<void(int64_t)> done) {
    std::optional<TJournal> journal = JournalOf(file, edit);
    if (!journal) return false;
    if (Items.empty()) {
        char name[64];
        std::snprintf(name, sizeof name, "%d-%lld-%llu", int(::getpid()),
                      static_cast<long long>(std::chrono::system_clock::now().time_since_epoch().count()),
                      static_cast<unsigned long long>(++gMarks));
        Mark = MarkFolder / (name + std::string(kMarkEnding));
    }
    journal->Mark = Mark.string();
    auto pending = std::make_unique<TPending>();
    pending->Fd = ::fcntl(file.Fd(), F_DUPFD_CLOEXEC, 0);
    if (pending->Fd < 0) throw EInPlace(Failure("Cannot keep open", file.Name()));
    pending->JournalName = WriteJournal(file, *journal, false);
    if (struct stat js {}; ::stat(pending->JournalName.parent_path().c_str(), &js) == 0 && js.st_dev != file.Status().st_dev)
        pending->JournalFolder = sysio::Open(pending->JournalName.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    pending->Name = file.Name();
    pending->Read = file.Status();
    pending->Owner = Owner;
    pending->Done = std::move(done);
    Bytes += journal->OldHead.size() + journal->OldTail.size() + journal->NewHead.size() + journal->NewTail.size();
    pending->Journal = std::move(*journal);
    Items.push_back(std::move(pending));
    return true;
}

void TSaveGroup::Drop() {
    // A journal goes with a save that wrote nothing to its file; one whose file may
    // hold some of its new bytes stays, for the next change of the file to finish.
    for (const auto& p : Items)
        if (!p->Touched) ::unlink(p->JournalName.c_str());
    Items.clear();
    Bytes = 0;
}

std::vector<std::pair<size_t, std::string>> TSaveGroup::Commit() {
    std::vector<std::pair<size_t, std::string>> failed;
    if (Items.empty()) return failed;
    auto fail = [&failed](TPending& p, std::string why) {
        failed.emplace_back(p.Owner, std::move(why));
        p.Failed = true;
    };
    // Every journal, and what the history recorded, is on the disk before the first file is written.
    TChangeWatch* watch = ChangeWatch();
    std::vector<std::pair<dev_t, int>> journals, files;
    if (struct stat st {}; watch && watch->RecordFile() >= 0 && ::fstat(watch->RecordFile(), &st) == 0)
        journals.emplace_back(st.st_dev, watch->RecordFile());
    for (const auto& p : Items) {
        journals.emplace_back(p->JournalFolder >= 0 ? dev_t(p->Journal.OwnDevice) : p->Read.st_dev,
                              p->JournalFolder >= 0 ? p->JournalFolder : p->Fd);
        files.emplace_back(p->Read.st_dev, p->Fd);
    }
    if (!SyncFileSystems(journals)) {
        const std::string why = std::string("Cannot flush the journals of the save: ") + std::strerror(errno);
        for (const auto& p : Items) fail(*p, "\"" + p->Name.string() + "\": " + why);
        Drop();
        return failed;
    }
    for (const auto& p : Items) {
        try {
            p->Touched = true;
            WriteNewBytes(p->Fd, p->Journal, p->Name);
        } catch (const EInPlace& e) {
            fail(*p, TakeBack(p->Fd, p->Read, p->Journal, p->JournalName, p->Name, e.what()));
        }
    }
    // One flush of each file system; when it fails, each file's own flush tells which failed.
    if (!SyncFileSystems(files))
        for (const auto& p : Items)
            if (!p->Failed && sysio::Fdatasync(p->Fd) != 0)
                fail(*p, TakeBack(p->Fd, p->Read, p->Journal, p->JournalName, p->Name,
                                  Failure("Cannot flush", p->Name)));
    // The mark, made durable, commits the group. Until it is there, a journal left by a
    // crash puts its file back as it was, even with its new tags whole, and a history
    // counts none of the group's files as written; from then on both count them all.
    // (The history records them first, and its record becomes durable with the mark.)
    if (watch) watch->GroupBegun(Mark);
    for (const auto& p : Items) {
        struct stat now {};
        if (p->Failed) continue;
        if (sysio::Fstat(p->Fd, &now) != 0)  // its time cannot be recorded: the file goes back
            fail(*p, TakeBack(p->Fd, p->Read, p->Journal, p->JournalName, p->Name,
                              Failure("Cannot read the status of", p->Name)));
        else if (p->Done)
            p->Done(ModificationTime(now));
    }
    // One flush of the state folder's file system makes the mark and the history durable together.
    bool marked = false;
    if (TFd mark(Mark, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600); mark && mark.Close()) {
        TFd dir(MarkFolder, O_RDONLY | O_DIRECTORY);
        std::vector<std::pair<dev_t, int>> state;
        struct stat st {};
        for (const int fd : {dir.Get(), watch ? watch->RecordFile() : -1})
            if (fd >= 0 && ::fstat(fd, &st) == 0) state.emplace_back(st.st_dev, fd);
        marked = dir && SyncFileSystems(state);
    }
    // Without a durable mark the group is not committed: its files go back as they were.
    if (!marked) {
        const std::string why = Failure("Cannot record that the save is whole in", MarkFolder);
        for (const auto& p : Items)
            if (!p->Failed) fail(*p, TakeBack(p->Fd, p->Read, p->Journal, p->JournalName, p->Name, why));
        ::unlink(Mark.c_str());
    }
    bool journalsGone = marked;
    for (const auto& p : Items)
        if (marked && !p->Failed && sysio::Unlink(p->JournalName.c_str()) != 0 && errno != ENOENT)
            journalsGone = false;
    // The mark stays while a journal of the group does, so that the journal keeps the new
    // tags; else it goes once the history's record of the group's end is durable.
    if (journalsGone && watch)
        watch->GroupEnded(Mark);
    else if (journalsGone)
        sysio::Unlink(Mark.c_str());
    Items.clear();
    Bytes = 0;
    return failed;
}

TRecovery RecoverLocked(TFileForChange& file, std::string* report) {
    const fs::path& name = file.Name();
    const struct stat st = file.Status();
    for (const bool beside : {true, false}) {
        const fs::path place = beside ? JournalBeside(name) : JournalInStateFolder(name);
        if (place.empty()) continue;
        TJournal journal;
        TJournal::TParsed parsed;
        struct stat js {};
        {
            // Never through a link, never waiting on a FIFO, never a file of someone else's.
            TFd in(place, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
            if (!in) {
                if (errno == ENOENT || errno == ENOTDIR) continue;
            } else if (sysio::Fstat(in.Get(), &js) != 0) {
                throw EInPlace(Failure("Cannot read the journal", place));
            }
            if (!in || !Believable(js, st) || js.st_size > kMaxJournal) {
                Note(report, "\"" + place.string() + "\" was not written by a save of yours: it is left alone");
                continue;
            }
            parsed = journal.Parse(ReadAll(in.Get(), 0, int64_t(js.st_size), place));
        }
        if (parsed == TJournal::Torn) {  // cut short while it was written: the file was not touched yet
            RemoveJournal(place);
            continue;
        }
        std::error_code ec;
        if (parsed == TJournal::Whole && !beside && journal.File != fs::absolute(name, ec).string())
            continue;  // another file's name with the same hash
        if (parsed == TJournal::Whole &&
            (journal.OwnDevice != uint64_t(js.st_dev) || journal.OwnInode != uint64_t(js.st_ino))) {
            // A file given the journal's name: not the file this journal was written as.
            Note(report, "\"" + place.string() + "\" was not written by a save of yours: it is left alone");
            continue;
        }
        bool allNew = false;
        if (const char* why = parsed == TJournal::Foreign ? "its journal is not one this version of Velmar can read"
                                                          : WhyNotCarriedOut(journal, file, allNew)) {
            Note(report, SetAside(place, name, why));
            return TRecovery::SetAside;
        }
        // A save of a group that was never committed is taken back whole.
        if (!journal.Mark.empty() && !Committed(journal.Mark)) allNew = false;
        const TRecovery result = allNew ? TRecovery::KeptNew : TRecovery::RestoredOld;
        if (result == TRecovery::RestoredOld) {
            PutBack(file.Fd(), journal, name);
            file.Refresh();
        }
        RemoveJournal(place);
        return result;
    }
    return TRecovery::Nothing;
}

TRecovery RecoverInterruptedSave(const fs::path& file, std::string* report) {
    // Nothing to do, and nothing opened, when there is no journal at all.
    struct stat st {};
    const fs::path state = JournalInStateFolder(file);
    if (::lstat(JournalBeside(file).c_str(), &st) != 0 && (state.empty() || ::lstat(state.c_str(), &st) != 0))
        return TRecovery::Nothing;
    TFileForChange locked(file);
    return RecoverLocked(locked, report);
}

bool IsWholeJournal(std::span<const uint8_t> bytes) {
    TJournal journal;
    return journal.Parse(bytes) == TJournal::Whole;
}

namespace {

// The folder of journals in the user's state folder, when it holds an entry, else empty.
// It is looked at once a second at most by each thread (a listing asks for every file),
// at once after this process put a journal there, and at once when the environment
// names another state folder; nothing is made per call but the two looks at it.
const std::string& StateJournalsWithEntries() {
    struct TSeen {
        std::string Xdg, Home, Folder;
        std::chrono::steady_clock::time_point At;
        uint64_t Journals = 0;
        bool Entries = false;
    };
    thread_local TSeen seen;
    static const std::string none;
    const char* xdg = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    xdg = xdg ? xdg : "";
    home = home ? home : "";
    const auto now = std::chrono::steady_clock::now();
    const uint64_t journals = gStateJournals.load();
    if (seen.Xdg != xdg || seen.Home != home || seen.Journals != journals || now - seen.At >= std::chrono::seconds(1)) {
        seen = {xdg, home, {}, now, journals, false};
        if (*xdg)
            seen.Folder = std::string(xdg) + "/velmar/journals/";
        else if (*home)
            seen.Folder = std::string(home) + "/.local/state/velmar/journals/";
        if (DIR* dir = seen.Folder.empty() ? nullptr : ::opendir(seen.Folder.c_str())) {
            while (const dirent* e = ::readdir(dir))
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                    seen.Entries = true;
                    break;
                }
            ::closedir(dir);
        }
    }
    return seen.Entries ? seen.Folder : none;
}

}  // namespace

bool HasCutShortSave(const fs::path& file, bool beside) {
    // Called for every file a listing reads: the names are made as plain text, and the
    // state folder is looked into only when it holds anything.
    auto journalOfMine = [](const char* place) {
        struct stat st {};
        return ::lstat(place, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1 &&
               (st.st_mode & 022) == 0;
    };
    const std::string& name = file.native();
    if (beside) {
        const size_t slash = name.rfind('/');
        const size_t base = slash == std::string::npos ? 0 : slash + 1;
        std::string place;
        if (1 + name.size() - base + kJournalEnding.size() > kNameMax) {
            place = JournalBeside(file).native();
        } else {
            place.reserve(name.size() + 1 + kJournalEnding.size());
            place.append(name, 0, base).append(1, '.').append(name, base).append(kJournalEnding);
        }
        if (journalOfMine(place.c_str())) return true;
    }
    const std::string& folder = StateJournalsWithEntries();
    if (folder.empty()) return false;
    std::error_code ec;
    const std::string state =
        folder + HexHash(file.is_absolute() ? name : fs::absolute(file, ec).native()) + std::string(kJournalEnding);
    return journalOfMine(state.c_str()) && !StateJournalFolder(false).empty();
}

}  // namespace velmar
