#include "inplace.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <span>

#include "base/sysio.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[8] = {'V', 'E', 'L', 'M', 'A', 'R', 'J', '1'};
constexpr const char* kJournalEnding = ".velmar-journal";
constexpr int64_t kMaxJournal = int64_t(1) << 30;  // an ID3v2 tag is below 256 MB

std::string Failure(const std::string& what, const fs::path& name) {
    return what + " \"" + name.string() + "\": " + std::strerror(errno);
}

// A descriptor closed when it goes out of scope.
class TFd {
public:
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
    int Fd;
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

// Only one in-place save or recovery of a file at a time, in this process or another:
// a recovery must never take the journal of a save that is still under way for one
// left by a crash. Where the file system has no locks, saves go on without.
void LockForChange(int fd, const fs::path& name) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        throw EInPlace("Another save of \"" + name.string() + "\" is under way");
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

// What a journal holds: the file it belongs to, the regions an in-place save
// replaces with their old bytes, and a checksum of their new bytes.
struct TJournal {
    std::string File;  // the file's absolute name when the journal was written
    uint64_t Device = 0, Inode = 0;
    int64_t OldSize = 0, NewSize = 0, TailAt = 0;
    uint32_t NewCrc = 0;
    TBytes OldHead, OldTail;

    TBytes Render() const {
        TBytes out(kMagic, kMagic + sizeof kMagic);
        Put64(out, File.size());
        out.insert(out.end(), File.begin(), File.end());
        for (uint64_t v : {Device, Inode, uint64_t(OldSize), uint64_t(NewSize), uint64_t(TailAt),
                           uint64_t(OldHead.size()), uint64_t(OldTail.size()), uint64_t(NewCrc)})
            Put64(out, v);
        out.insert(out.end(), OldHead.begin(), OldHead.end());
        out.insert(out.end(), OldTail.begin(), OldTail.end());
        Put64(out, Crc({out}));
        return out;
    }

    // False for a journal that was not written whole.
    bool Parse(std::span<const uint8_t> in) {
        try {
            if (in.size() < sizeof kMagic + 8 || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0) return false;
            size_t at = in.size() - 8;
            if (Get64(in, at) != Crc({in.first(in.size() - 8)})) return false;
            at = sizeof kMagic;
            const uint64_t nameLength = Get64(in, at);
            if (nameLength > in.size() - at) return false;
            File.assign(reinterpret_cast<const char*>(in.data() + at), size_t(nameLength));
            at += size_t(nameLength);
            Device = Get64(in, at);
            Inode = Get64(in, at);
            OldSize = int64_t(Get64(in, at));
            NewSize = int64_t(Get64(in, at));
            TailAt = int64_t(Get64(in, at));
            const uint64_t headLength = Get64(in, at), tailLength = Get64(in, at);
            NewCrc = uint32_t(Get64(in, at));
            if (headLength + tailLength != in.size() - 8 - at || TailAt < int64_t(headLength) ||
                OldSize != TailAt + int64_t(tailLength))
                return false;
            OldHead.assign(in.begin() + ptrdiff_t(at), in.begin() + ptrdiff_t(at + headLength));
            at += size_t(headLength);
            OldTail.assign(in.begin() + ptrdiff_t(at), in.begin() + ptrdiff_t(at + tailLength));
            return true;
        } catch (const EInPlace&) {
            return false;
        }
    }
};

// The user's own place for journals of files whose folder cannot hold one.
fs::path JournalInStateFolder(const fs::path& file) {
    fs::path base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".local" / "state";
    else
        return {};
    std::error_code ec;
    const std::string name = fs::absolute(file, ec).string();
    uint64_t hash = 14695981039346656037ull;  // FNV-1a: a stable name for the file's path
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return base / "velmar" / "journals" / (std::string(hex) + kJournalEnding);
}

bool CannotCreateHere(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// Writes and flushes the journal, readable by whoever may read the file; returns where it is.
fs::path WriteJournal(const fs::path& file, const TJournal& journal, unsigned mode) {
    const TBytes bytes = journal.Render();
    for (fs::path place : {JournalBeside(file), JournalInStateFolder(file)}) {
        if (place.empty()) continue;
        if (place != JournalBeside(file)) {
            std::error_code ec;
            fs::create_directories(place.parent_path(), ec);
        }
        TFd out(place, O_WRONLY | O_CREAT | O_EXCL, mode);
        if (!out) {
            if (CannotCreateHere(errno)) continue;
            if (errno == EEXIST)
                throw EInPlace("Another save of \"" + file.string() + "\" is under way (\"" + place.string() + "\")");
            throw EInPlace(Failure("Cannot create the journal", place));
        }
        try {
            WriteAll(out.Get(), bytes, 0, place);
            Sync(out.Get(), place);
            if (!out.Close()) throw EInPlace(Failure("Cannot close the journal", place));
            SyncFolder(place.parent_path());
        } catch (...) {
            sysio::Unlink(place.c_str());
            throw;
        }
        return place;
    }
    errno = EACCES;
    throw EInPlace(Failure("Cannot create a journal for", file));
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

}  // namespace

int64_t ModificationTime(const struct stat& st) { return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec; }

fs::path JournalBeside(const fs::path& file) {
    return file.parent_path() / ("." + file.filename().string() + kJournalEnding);
}

bool IsJournalName(const fs::path& name) {
    const std::string s = name.filename().string();
    return s.size() > 1 + std::strlen(kJournalEnding) && s[0] == '.' && s.ends_with(kJournalEnding);
}

fs::path FileOfJournal(const fs::path& journal) {
    const std::string s = journal.filename().string();
    return journal.parent_path() / s.substr(1, s.size() - 1 - std::strlen(kJournalEnding));
}

bool WriteInPlace(const fs::path& file, const TInPlaceEdit& edit) {
    TFd fd(file, O_RDWR);
    if (!fd) throw EInPlace(Failure("Cannot write", file));
    LockForChange(fd.Get(), file);
    struct stat st {};
    if (sysio::Fstat(fd.Get(), &st) != 0) throw EInPlace(Failure("Cannot read the status of", file));
    const int64_t size = int64_t(st.st_size);
    if (size != edit.ExpectedSize || ModificationTime(st) != edit.ExpectedModification)
        throw EInPlace("the file \"" + file.string() + "\" was changed by another program since it was read");
    if (edit.TailAt < int64_t(edit.Head.size()) || edit.TailAt > size)
        throw EInPlace("the new tags do not fit the file \"" + file.string() + "\"");

    TJournal journal;
    journal.OldHead = ReadAll(fd.Get(), 0, int64_t(edit.Head.size()), file);
    journal.OldTail = ReadAll(fd.Get(), edit.TailAt, size - edit.TailAt, file);
    const bool headChanged = journal.OldHead != edit.Head, tailChanged = journal.OldTail != edit.Tail;
    if (!headChanged && !tailChanged) return false;

    std::error_code ec;
    journal.File = fs::absolute(file, ec).string();
    journal.Device = st.st_dev;
    journal.Inode = st.st_ino;
    journal.OldSize = size;
    journal.NewSize = edit.TailAt + int64_t(edit.Tail.size());
    journal.TailAt = edit.TailAt;
    journal.NewCrc = Crc({edit.Head, edit.Tail});
    const fs::path journalName = WriteJournal(file, journal, unsigned(st.st_mode & 0666));

    try {
        if (headChanged) WriteAll(fd.Get(), edit.Head, 0, file);
        if (tailChanged) WriteAll(fd.Get(), edit.Tail, edit.TailAt, file);
        if (journal.NewSize != size) Truncate(fd.Get(), journal.NewSize, file);
        Sync(fd.Get(), file);
    } catch (const EInPlace& e) {
        std::string message = e.what();
        try {
            PutBack(fd.Get(), journal, file);
            const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
            ::futimens(fd.Get(), times);  // as it was read, so that it can be saved again
            RemoveJournal(journalName);
        } catch (const EInPlace&) {
            message += "; its old tags are kept in \"" + journalName.string() +
                       "\" and put back when the file is next saved or its folder is read";
        }
        throw EInPlace(message);
    }
    // The new tags are whole on the disk: a journal left behind now is recognised as done.
    try {
        RemoveJournal(journalName);
    } catch (const EInPlace&) {}
    return true;
}

TRecovery RecoverInterruptedSave(const fs::path& file) {
    for (const fs::path& place : {JournalBeside(file), JournalInStateFolder(file)}) {
        if (place.empty()) continue;
        TJournal journal;
        {
            TFd in(place, O_RDONLY);
            if (!in) {
                // The user's state folder may be another user's (after su, sudo): only this
                // user's journals are there, and only one beside the file is shared.
                if (errno == ENOENT || errno == ENOTDIR || place != JournalBeside(file)) continue;
                throw EInPlace(Failure("Cannot read the journal", place));
            }
            struct stat st {};
            if (sysio::Fstat(in.Get(), &st) != 0) throw EInPlace(Failure("Cannot read the journal", place));
            const bool whole =
                st.st_size <= kMaxJournal && journal.Parse(ReadAll(in.Get(), 0, int64_t(st.st_size), place));
            if (!whole) {  // cut short while it was written: the file was not touched yet
                in.Close();
                RemoveJournal(place);
                continue;
            }
        }
        std::error_code ec;
        if (place != JournalBeside(file) && journal.File != fs::absolute(file, ec).string()) continue;

        TFd fd(file, O_RDWR);
        if (!fd) {
            if (errno == ENOENT) return TRecovery::Nothing;  // kept for the file, should it come back
            throw EInPlace(Failure("Cannot put back the tags of", file));
        }
        LockForChange(fd.Get(), file);
        struct stat st {};
        if (sysio::Fstat(fd.Get(), &st) != 0) throw EInPlace(Failure("Cannot read the status of", file));
        const int64_t size = int64_t(st.st_size);
        if ((st.st_dev == journal.Device && st.st_ino != journal.Inode) || size < journal.TailAt) {
            // Another file now has this name: the journal no longer says anything about it.
            RemoveJournal(place);
            continue;
        }
        TRecovery result = TRecovery::RestoredOld;
        if (size == journal.NewSize) {
            const TBytes head = ReadAll(fd.Get(), 0, int64_t(journal.OldHead.size()), file);
            const TBytes tail = ReadAll(fd.Get(), journal.TailAt, size - journal.TailAt, file);
            if (Crc({head, tail}) == journal.NewCrc) result = TRecovery::KeptNew;
        }
        if (result == TRecovery::RestoredOld) PutBack(fd.Get(), journal, file);
        RemoveJournal(place);
        return result;
    }
    return TRecovery::Nothing;
}

}  // namespace velmar
