#include "batch/rename.h"

#include <fcntl.h>
#include <stdio.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdint>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <utility>

#include "base/sysio.h"
#include "file/changewatch.h"
#include "file/filereader.h"
#include "file/inplace.h"

namespace velmar {

namespace fs = std::filesystem;

std::string RenamedName(const std::string& mask, TTokenValues values, const TTags& format,
                        const std::string& extension) {
    for (std::string& v : values) {
        std::replace(v.begin(), v.end(), '/', '-');
        std::replace(v.begin(), v.end(), '\\', '-');
        if (v == "." || v == "..") v = "-";
    }
    // The file keeps its own extension, unless the mask wrote it already.
    return WithExtension(ExpandMask(mask, values, format, kModeRename), extension);
}

std::string WithExtension(std::string name, const std::string& extension) {
    const bool hasExtension = name.size() >= extension.size() &&
                              strcasecmp(name.c_str() + name.size() - extension.size(), extension.c_str()) == 0;
    if (!hasExtension || extension.empty()) name += extension;
    return name;
}

bool NameHasTagText(const std::string& mask, const TTokenValues& values, const TTags& format) {
    // A value of spaces only brings nothing; any other value makes the expansion differ
    // from the mask's own text (the expansion with every value empty).
    TTokenValues text = values;
    for (std::string& v : text)
        if (v.find_first_not_of(" \t") == std::string::npos) v.clear();
    return ExpandMask(mask, text, format, kModeRename) != ExpandMask(mask, TTokenValues(), format, kModeRename);
}

namespace {

// A name as the file system sees it, to compare two names of one file.
fs::path Key(const fs::path& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return (ec ? path : absolute).lexically_normal();
}

// The same for a folder, without a separator at its end ("a/." is "a").
fs::path FolderKey(const fs::path& folder) {
    const fs::path key = Key(folder.empty() ? fs::path(".") : folder);
    return key.has_filename() || key == key.root_path() ? key : key.parent_path();
}

// The longest name, in bytes, that the file system of `folder` takes (of the deepest
// of its folders that is there, for a folder still to be made).
size_t NameMax(fs::path folder) {
    for (;;) {
        const long max = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
        if (max > 0) return size_t(max);
        if (folder.empty() || folder == folder.parent_path()) return 255;
        folder = folder.parent_path();
    }
}

// Closes a descriptor when it goes.
struct TFd {
    int Fd = -1;
    TFd() = default;
    explicit TFd(int fd) : Fd(fd) {}
    TFd(TFd&& other) noexcept : Fd(std::exchange(other.Fd, -1)) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() {
        if (Fd >= 0) ::close(Fd);
    }
};

std::string ErrorText(int error) { return std::strerror(error); }

bool Exists(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Why a new name (relative to the folder it is placed in, `where`) cannot be used, by
// the name alone.
std::string NameProblem(const fs::path& name, const std::string& extension, const std::string& where) {
    const std::string file = name.filename().string();
    const std::string stem = file.substr(0, file.size() - std::min(file.size(), extension.size()));
    if (stem.find_first_not_of(" \t") == std::string::npos) return "the new name is empty";
    if (name.is_absolute()) return "the new name leaves " + where;
    for (const fs::path& part : name)
        if (part == "..") return "the new name leaves " + where;
    return {};
}

// Why the folders of a new name cannot take it: `base` must be a folder (it is taken
// as named, links and all), and each of `folders` below it a folder of its own, not a
// link that leads elsewhere; every one must be there unless the missing ones are to
// be made.
std::string FolderProblem(const fs::path& base, const fs::path& folders, bool makeFolders) {
    struct stat st {};
    if (::stat(base.empty() ? "." : base.c_str(), &st) != 0) {
        if (errno != ENOENT) return "the folder " + base.string() + " cannot be reached: " + ErrorText(errno);
        if (!makeFolders) return "the folder " + base.string() + " does not exist";
    } else if (!S_ISDIR(st.st_mode)) {
        return base.string() + " is a file, not a folder";
    }
    fs::path at = base;
    for (const fs::path& part : folders) {
        if (part.empty() || part == ".") continue;
        at /= part;
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0) return makeFolders ? "" : "the folder " + at.string() + " does not exist";
        if (S_ISLNK(st.st_mode)) return "the folder " + at.string() + " is a link";
        if (!S_ISDIR(st.st_mode)) return at.string() + " is a file, not a folder";
    }
    return {};
}

// Makes the missing folders of `to`, each inside the one before it and never through
// a link. Empty on success, else the reason.
std::string MakeFolders(const fs::path& to) {
    std::vector<fs::path> missing;
    fs::path at = to.parent_path();
    for (struct stat st{}; !at.empty() && ::lstat(at.c_str(), &st) != 0; at = at.parent_path())
        missing.push_back(at.filename());
    int dir = ::open(at.empty() ? "." : at.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (auto part = missing.rbegin(); dir >= 0 && part != missing.rend(); ++part) {
        at /= *part;
        if (::mkdirat(dir, part->c_str(), 0777) != 0 && errno != EEXIST) break;
        const int next = ::openat(dir, part->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(dir);
        dir = next;
    }
    if (dir < 0) return "the folder " + at.string() + " cannot be made: " + std::strerror(errno);
    ::close(dir);
    return {};
}

// Opens the folder `base` / `folders`: `base` as it is named (made, with the folders
// above it that are missing, when `make`), each of `folders` inside the one before it,
// never through a link, made when missing and `make`. The open folder, or -1 and the
// reason in `problem`.
int OpenFolder(const fs::path& base, const fs::path& folders, bool make, std::string& problem) {
    const fs::path named = base.empty() ? fs::path(".") : base;
    int dir = ::open(named.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 && errno == ENOENT && make) {
        if (problem = MakeFolders(named / "-"); !problem.empty()) return -1;
        dir = ::open(named.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (dir < 0) {
        problem = "the folder " + named.string() + " cannot be opened: " + ErrorText(errno);
        return -1;
    }
    fs::path at = base;
    for (const fs::path& part : folders) {
        if (part.empty() || part == ".") continue;
        at /= part;
        constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(dir, part.c_str(), kFlags);
        int error = errno;
        if (next < 0 && error == ENOENT && make) {
            if (::mkdirat(dir, part.c_str(), 0777) == 0 || errno == EEXIST) next = ::openat(dir, part.c_str(), kFlags);
            error = errno;
        }
        if (next < 0) {
            struct stat st {};
            const bool there = ::fstatat(dir, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
            if (there && S_ISLNK(st.st_mode))
                problem = "the folder " + at.string() + " is a link";
            else if (there && !S_ISDIR(st.st_mode))
                problem = at.string() + " is a file, not a folder";
            else if (error == ENOENT && !make)
                problem = "the folder " + at.string() + " does not exist";
            else
                problem =
                    "the folder " + at.string() + " cannot be " + (there ? "opened: " : "made: ") + ErrorText(error);
            ::close(dir);
            return -1;
        }
        ::close(dir);
        dir = next;
    }
    return dir;
}

// Why the file system cannot hold a name that long.
std::string LengthProblem(const fs::path& to) {
    const size_t bytes = to.filename().string().size(), max = NameMax(to.parent_path());
    if (bytes > max)
        return "the new name is too long: " + std::to_string(bytes) + " bytes, at most " + std::to_string(max);
    if (to.string().size() >= PATH_MAX)
        return "the new path is too long: " + std::to_string(to.string().size()) + " bytes, at most " +
               std::to_string(PATH_MAX - 1);
    return {};
}

const char* const kNameTaken = "a file of that name exists";

// What became of one move: Error 0 when the file has its new name; else the errno of
// the failure, with Why when more is known than the errno says.
struct TMoved {
    int Error = 0;
    std::string Why;
};

std::string MoveProblem(const TMoved& moved) {
    if (moved.Error == 0) return {};
    if (!moved.Why.empty()) return moved.Why;
    return moved.Error == EEXIST || moved.Error == ENOTEMPTY ? kNameTaken : ErrorText(moved.Error);
}

// A hidden name beside `file` for Velmar's own use: ".NAME" + `ending` + "XXXXXX", the
// name cut (between characters) so that the whole fits the file system.
fs::path TemporaryName(const fs::path& file, const std::string& ending) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    constexpr size_t kRandom = 6;
    std::string name = file.filename().string();
    const size_t room = NameMax(file.parent_path()), fixed = 1 + ending.size() + kRandom;
    size_t keep = room > fixed ? std::min(name.size(), room - fixed) : 0;
    while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
    name = "." + name.substr(0, keep) + ending;
    std::random_device random;
    for (size_t i = 0; i < kRandom; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    return file.parent_path() / name;
}

// True when `path` still names the file of status `st` (no link followed).
bool StillNames(const fs::path& path, const struct stat& st) {
    struct stat now {};
    return ::lstat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino;
}

constexpr size_t kCopyBlock = size_t(1) << 20;

// Copies the `size` bytes of `in` to the empty file `out` by the kernel: copy_file_range,
// else sendfile (file systems that do not copy for one another), else by hand. Empty,
// or why it failed.
std::string CopyData(int in, int out, off_t size) {
    enum class TWay { Range, Send, Hand } way = TWay::Range;
    off_t inAt = 0, outAt = 0;
    TBytes block;
    while (inAt < size) {
        const size_t want = size_t(std::min<off_t>(size - inAt, off_t(kCopyBlock)));
        ssize_t n = -1;
        if (way == TWay::Range) {
            n = sysio::CopyFileRange(in, &inAt, out, &outAt, want);
        } else if (way == TWay::Send) {
            n = sysio::SendFile(out, in, &inAt, want);
            if (n > 0) outAt += n;
        } else if ((n = sysio::Pread(in, block.data(), want, inAt)) > 0) {
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = sysio::Pwrite(out, block.data() + done, size_t(n - done), outAt + done);
                if (w < 0 && errno == EINTR) continue;
                if (w <= 0) return "the copy cannot be written: " + ErrorText(w < 0 ? errno : EIO);
                done += w;
            }
            inAt += n;
            outAt += n;
        }
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && way != TWay::Hand &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            // The next way begins where this one stopped.
            way = way == TWay::Range ? TWay::Send : TWay::Hand;
            if (way == TWay::Send && ::lseek(out, outAt, SEEK_SET) != outAt) way = TWay::Hand;
            if (way == TWay::Hand) block.resize(kCopyBlock);
            continue;
        }
        if (n == 0) return "the file became shorter while it was copied";
        return "the file cannot be copied: " + ErrorText(errno);
    }
    return {};
}

// True when the first `size` bytes of both files are the same.
std::string CompareData(int a, int b, off_t size) {
    TBytes x(kCopyBlock), y(kCopyBlock);
    for (off_t at = 0; at < size;) {
        const size_t want = size_t(std::min<off_t>(size - at, off_t(kCopyBlock)));
        const ssize_t n = sysio::Pread(a, x.data(), want, at), m = sysio::Pread(b, y.data(), want, at);
        if (n < 0 || m < 0) return "the copy cannot be read back: " + ErrorText(errno);
        if (n != ssize_t(want) || m != ssize_t(want)) return "the copy cannot be read back whole";
        if (std::memcmp(x.data(), y.data(), want) != 0)
            return "the copy differs from the file at byte " + std::to_string(at) + " or after";
        at += off_t(want);
    }
    return {};
}

// Fills the new file `out` with the file `in` of status `st`: its owner and group, its
// data, checked to be the same, its mode and times; flushed. Empty, or why not.
std::string CopyAndCheck(int in, const struct stat& st, int out) {
    struct stat made {};
    if (sysio::Fstat(out, &made) != 0) return "the copy cannot be read: " + ErrorText(errno);
    if ((made.st_uid != st.st_uid || made.st_gid != st.st_gid) && ::fchown(out, st.st_uid, st.st_gid) != 0)
        return "the copy cannot keep the file's owner and group: " + ErrorText(errno);
    if (std::string problem = CopyData(in, out, st.st_size); !problem.empty()) return problem;
    if (sysio::Fsync(out) != 0) return "the copy cannot be flushed: " + ErrorText(errno);
    // Nothing may have changed the file while it was copied.
    struct stat now {};
    if (sysio::Fstat(in, &now) != 0 || now.st_size != st.st_size || ModificationTime(now) != ModificationTime(st))
        return "the file was changed while it was copied";
    if (sysio::Fstat(out, &made) != 0 || made.st_size != st.st_size)
        return "the copy has " + std::to_string(made.st_size) + " bytes instead of " + std::to_string(st.st_size);
    // Read back from the disk where the file system lets its cache of the copy go.
    ::posix_fadvise(out, 0, 0, POSIX_FADV_DONTNEED);
    if (std::string problem = CompareData(in, out, st.st_size); !problem.empty()) return problem;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(out, st.st_mode & 07777) != 0 || ::futimens(out, times) != 0)
        return "the copy cannot keep the file's mode and times: " + ErrorText(errno);
    if (sysio::Fsync(out) != 0) return "the copy cannot be flushed: " + ErrorText(errno);
    return {};
}

void SyncFolder(int dir) { ::fsync(dir); }

void SyncFolder(const fs::path& folder) {
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    ::fsync(dir);
    ::close(dir);
}

// Moves the regular file `from` into the folder `dir` (on another file system) under
// the name of `to`: a checked copy linked into place without replacing a name, then
// the file removed. Any failure removes the copy; the file stays as it was.
TMoved CopyAcross(const fs::path& from, int dir, const fs::path& to) {
    auto failed = [](std::string why) { return TMoved{EIO, std::move(why)}; };
    const std::string name = to.filename().string();
    const TFd in(sysio::Open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (in.Fd < 0) return errno == ELOOP ? failed("a link is not moved to another file system") : TMoved{errno, {}};
    struct stat st {};
    if (sysio::Fstat(in.Fd, &st) != 0) return {errno, {}};
    if (!S_ISREG(st.st_mode)) return failed("only a regular file is moved to another file system");
    // Saves of the file take this lock: none is under way while the file is copied.
    if (::flock(in.Fd, LOCK_EX | LOCK_NB) != 0)
        return failed(errno == EWOULDBLOCK ? "a save of the file is under way"
                                           : "the file cannot be locked: " + ErrorText(errno));
    if (!StillNames(from, st)) return failed("the file was replaced by another program meanwhile");
    // The file must leave its folder at the end, or the copy is in vain.
    const fs::path folder = from.parent_path().empty() ? fs::path(".") : from.parent_path();
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return failed("the file cannot be removed from " + folder.string() + ": " + ErrorText(errno));

    std::string temporary;
    TFd out;
    for (int attempt = 0; attempt < 20 && out.Fd < 0; ++attempt) {
        temporary = TemporaryName(to, ".velmar-move-").filename().string();
        out.Fd = sysio::OpenAt(dir, temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY, 0600);
        if (out.Fd < 0 && errno != EEXIST)
            return failed("the copy cannot be made in " + to.parent_path().string() + ": " + ErrorText(errno));
    }
    if (out.Fd < 0) return failed("no free temporary name for the copy");

    std::string problem = CopyAndCheck(in.Fd, st, out.Fd);
    bool placed = false;
    if (problem.empty()) {
        int error = sysio::PlaceNoReplace(dir, temporary.c_str(), name.c_str()) == 0 ? 0 : errno;
        placed = error == 0;
        if (error == EINVAL || error == ENOSYS) {
            // A file system without the exclusive rename: a new link fails where a name is taken.
            error = sysio::LinkAt(dir, temporary.c_str(), name.c_str()) == 0 ? 0 : errno;
            placed = error == 0;
            if (placed) ::unlinkat(dir, temporary.c_str(), 0);
        }
        if (!placed) problem = error == EEXIST ? kNameTaken : "the copy cannot take its name: " + ErrorText(error);
    }
    if (!placed) {
        ::unlinkat(dir, temporary.c_str(), 0);
        return problem == kNameTaken ? TMoved{EEXIST, {}} : failed(problem);
    }
    SyncFolder(dir);
    // Only the file copied goes: the one its name still names.
    if (!StillNames(from, st))
        problem = "the file was replaced by another program meanwhile";
    else if (sysio::Unlink(from.c_str()) != 0)
        problem = "the file cannot be removed from " + folder.string() + ": " + ErrorText(errno);
    if (problem.empty()) {
        SyncFolder(folder);
        return {};
    }
    // The copy goes again, when it is still the one made here.
    struct stat copy {};
    struct stat now {};
    if (sysio::Fstat(out.Fd, &copy) == 0 && ::fstatat(dir, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == copy.st_dev && now.st_ino == copy.st_ino && ::unlinkat(dir, name.c_str(), 0) == 0)
        SyncFolder(dir);
    else
        problem += "; a copy was left as " + to.string();
    return failed(problem);
}

// Moves `from` into the open folder `dir` under the name of `to` unless that is taken;
// across file systems by a checked copy.
TMoved MoveInto(const fs::path& from, int dir, const fs::path& to) {
    const std::string name = to.filename().string();
    if (sysio::MoveNoReplaceAt(from.c_str(), dir, name.c_str()) == 0) return {};
    int error = errno;
    if (error == EINVAL || error == ENOSYS) {
        // A file system without the exclusive rename: a new link fails where a name is taken.
        if (::linkat(AT_FDCWD, from.c_str(), dir, name.c_str(), 0) == 0) {
            if (::unlink(from.c_str()) == 0) return {};
            error = errno;
            ::unlinkat(dir, name.c_str(), 0);
            return {error, {}};
        }
        error = errno;
    }
    if (error == EXDEV) return CopyAcross(from, dir, to);
    return {error, {}};
}

// Moves `from` to `to` (whose folder is there) unless `to` is taken.
TMoved Move(const fs::path& from, const fs::path& to) {
    const fs::path folder = to.parent_path().empty() ? fs::path(".") : to.parent_path();
    const TFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Fd < 0) return {errno, {}};
    return MoveInto(from, dir.Fd, to);
}

// Why an audio file cannot be moved now: only a regular file (or a link) moves, never
// a folder or a FIFO that took an audio file's name, and a save of it that was cut
// short is finished first, as its journal goes by the old name.
std::string NotReadyToMove(const fs::path& from) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) return std::strerror(errno);
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return "it is not a regular file";
    try {
        std::string report;
        if (RecoverInterruptedSave(from, &report) == TRecovery::SetAside) return report;
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

// Moves a file aside, for it to wait while the others of its cycle move, to a hidden
// name beside it that was free (".NAME.velmar-rename-XXXXXX"): that name, or empty
// and the reason.
std::pair<fs::path, std::string> Park(const fs::path& from) {
    if (std::string problem = NotReadyToMove(from); !problem.empty()) return {{}, problem};
    for (int attempt = 0; attempt < 20; ++attempt) {
        const fs::path temporary = TemporaryName(from, ".velmar-rename-");
        const TMoved moved = Move(from, temporary);
        if (moved.Error == 0) return {temporary, {}};
        if (moved.Error != EEXIST) return {{}, MoveProblem(moved)};
    }
    return {{}, "no free temporary name"};
}

// Moves a planned file into its folder, making the folders as planned.
std::string MovePlanned(const TRenamePlan& p) {
    if (std::string problem = NotReadyToMove(p.From); !problem.empty()) return problem;
    // A plan made by hand names no base: the new name's own folder.
    const bool based = !p.Base.empty() || !p.Folders.empty();
    std::string problem;
    const TFd dir(
        OpenFolder(based ? p.Base : p.To.parent_path(), based ? p.Folders : fs::path(), p.MakeFolders, problem));
    if (dir.Fd < 0) return problem;
    return MoveProblem(MoveInto(p.From, dir.Fd, p.To));
}

}  // namespace

std::vector<TFileValues> ReadTokenValues(const std::vector<fs::path>& files, TMessageSink& sink) {
    return ReadTokenValues(files, [&sink](size_t, const std::vector<std::string>& messages) {
        for (const std::string& m : messages) sink.Error(m);
        return true;
    });
}

std::vector<TFileValues> ReadTokenValues(const std::vector<fs::path>& files,
                                         const std::function<bool(size_t, const std::vector<std::string>&)>& onFile,
                                         const std::function<bool()>& idle) {
    std::vector<TFileValues> values;
    values.reserve(files.size());
    ReadFilesInOrder<TFileValues>(
        files,
        [](const fs::path& file, TCollectingSink& sink) {
            TMP3Object object(sink);
            return object.LoadFile(file, false) ? TFileValues(GatherFileValues(object)) : std::nullopt;
        },
        [&](size_t i, TFileRead<TFileValues>&& read) {
            values.push_back(std::move(read.Value));
            return onFile(i, read.Messages);
        },
        idle);
    return values;
}

namespace {

// The plan of one file, with the problems its new name has by itself.
TRenamePlan PlanOne(const fs::path& file, const TFileValues& values, const std::string& mask, const TTags& format,
                    bool makeFolders, const fs::path& target) {
    if (!values) return {file, file, "its tags could not be read"};
    const std::string extension = file.extension().string();
    const fs::path name(RenamedName(mask, *values, format, extension));
    const fs::path base = target.empty() ? file.parent_path() : target;
    TRenamePlan plan{file, base / name.relative_path(), {}};
    plan.Base = base;
    plan.Folders = name.relative_path().parent_path();
    plan.MakeFolders = makeFolders;
    // The same name written another way ("./a.mp3" for "a.mp3") is no change.
    if (Key(plan.To) == Key(file)) plan.To = file;
    plan.Problem = NameProblem(name, extension, target.empty() ? "the file's folder" : "the target folder");
    if (plan.Problem.empty() && !NameHasTagText(mask, *values, format))
        plan.Problem = "the new name has no text from the tags";
    if (plan.Problem.empty()) plan.Problem = FolderProblem(base, plan.Folders, makeFolders);
    if (plan.Problem.empty()) plan.Problem = LengthProblem(plan.To);
    return plan;
}

bool ExistsText(const char* path) {
    struct stat st {};
    return ::lstat(path, &st) == 0;
}

}  // namespace

const char* TRenamePlanList::Text(std::string_view text) {
    Texts.Add(text);
    return Texts[Texts.size() - 1];
}

const char* TRenamePlanList::Shared(std::string_view text) {
    if (text.empty()) return "";
    if (const auto it = SharedIndex.find(text); it != SharedIndex.end()) return it->second;
    SharedTexts.push_back(std::make_unique<std::string>(text));
    const std::string& kept = *SharedTexts.back();
    SharedIndex.emplace(std::string_view(kept), kept.c_str());
    return kept.c_str();
}

void TRenamePlanList::Add(const TRenamePlan& plan, const char* from) {
    // Names as the file system sees them, kept only where they differ from the names as given.
    const std::string& fromText = plan.From.native();
    const std::string& toText = plan.To.native();
    TSlim s{};
    s.From = from ? from : Text(fromText);
    s.To = toText == fromText ? s.From : Text(toText);
    const std::string fromKey = Key(plan.From).native();
    s.FromKey = fromKey == fromText ? s.From : Text(fromKey);
    const std::string toKey = Key(plan.To).native();
    s.ToKey = toKey == toText ? s.To : toKey == fromKey ? s.FromKey : Text(toKey);
    s.Base = Shared(plan.Base.native());
    s.Folders = Shared(plan.Folders.native());
    s.Problem = Shared(plan.Problem);
    s.Step = uint32_t(plan.Step);
    s.Parked = plan.Parked;
    s.MakeFolders = plan.MakeFolders;
    s.Unchanged = plan.Unchanged();
    Plans.push_back(s);
}

TRenamePlan TRenamePlanList::operator[](size_t i) const {
    const TSlim& s = Plans[i];
    TRenamePlan plan{fs::path(s.From), fs::path(s.To), std::string(s.Problem)};
    plan.Step = s.Step;
    plan.Parked = s.Parked;
    plan.MakeFolders = s.MakeFolders;
    plan.Base = fs::path(s.Base);
    plan.Folders = fs::path(s.Folders);
    return plan;
}

std::vector<TRenamePlan> TRenamePlanList::All() const {
    std::vector<TRenamePlan> plans;
    plans.reserve(size());
    for (size_t i = 0; i < size(); ++i) plans.push_back((*this)[i]);
    return plans;
}

void TRenamePlanList::Order() {
    // The plans are looked up by name through lists of their numbers sorted by the name
    // (4 bytes a plan), not through tables of the names.
    const size_t n = Plans.size();
    auto sortedBy = [this](std::vector<uint32_t>& order, auto key) {
        std::stable_sort(order.begin(), order.end(),
                         [&](uint32_t a, uint32_t b) { return std::strcmp(key(Plans[a]), key(Plans[b])) < 0; });
    };
    auto fromKey = [](const TSlim& p) { return p.FromKey; };
    auto toKey = [](const TSlim& p) { return p.ToKey; };
    // A file moves once, and a name goes to the first file that gets it: of the plans
    // of one name, sorted in their order, all but the first get the problem.
    auto laterOnes = [&](std::vector<uint32_t>& order, auto key, const char* problem) {
        sortedBy(order, key);
        for (size_t k = 1; k < order.size(); ++k)
            if (std::strcmp(key(Plans[order[k]]), key(Plans[order[k - 1]])) == 0) SetProblem(Plans[order[k]], problem);
    };
    std::vector<uint32_t> order;
    order.reserve(n);
    for (size_t i = 0; i < n; ++i)
        if (!*Plans[i].Problem) order.push_back(uint32_t(i));
    laterOnes(order, fromKey, "the file is listed twice");
    std::erase_if(order, [this](uint32_t i) { return *Plans[i].Problem || Plans[i].Unchanged; });
    std::sort(order.begin(), order.end());
    laterOnes(order, toKey, "another file gets the same name");

    // The files that move, sorted by their names; a name is had by one of them at most now.
    order.clear();
    for (size_t i = 0; i < n; ++i)
        if (Plans[i].Moves()) order.push_back(uint32_t(i));
    sortedBy(order, fromKey);
    constexpr uint32_t kNone = UINT32_MAX;
    auto mover = [&](const TSlim& p) {
        const auto at = std::lower_bound(order.begin(), order.end(), p.ToKey, [this](uint32_t i, const char* name) {
            return std::strcmp(Plans[i].FromKey, name) < 0;
        });
        return at != order.end() && std::strcmp(Plans[*at].FromKey, p.ToKey) == 0 && Plans[*at].Moves() ? *at : kNone;
    };
    // A name that is there is free only when its file moves away; a file that cannot
    // move keeps its name from the file that would take it, and so on along the chain.
    std::vector<bool> there(n);
    for (size_t i = 0; i < n; ++i) there[i] = Plans[i].Moves() && ExistsText(Plans[i].To);
    for (bool changed = true; changed;) {
        changed = false;
        for (size_t i = 0; i < n; ++i)
            if (Plans[i].Moves() && there[i] && mover(Plans[i]) == kNone) {
                SetProblem(Plans[i], kNameTaken);
                changed = true;
            }
    }
    // The order: a file moves after the file whose name it takes. The names and the new
    // names of the moving files are all different, so they form chains and cycles.
    std::vector<uint32_t> after(n, kNone);
    for (size_t i = 0; i < n; ++i)
        if (Plans[i].Moves()) after[i] = mover(Plans[i]);
    uint32_t step = 0;
    for (size_t i = 0; i < n; ++i) {
        if (!Plans[i].Moves() || Plans[i].Step != 0) continue;
        std::vector<size_t> path = {i};
        bool cycle = false;
        for (size_t j = i; after[j] != kNone && Plans[after[j]].Step == 0 && path.size() <= n;) {
            j = after[j];
            if ((cycle = j == i)) break;
            path.push_back(j);
        }
        // The end of a chain moves first; a cycle's first file waits aside and moves last.
        for (size_t k = path.size(); k-- > (cycle ? 1 : 0);) Plans[path[k]].Step = ++step;
        if (cycle) {
            Plans[i].Step = ++step;
            Plans[i].Parked = true;
        }
    }
}

std::vector<TRenamePlan> PlanRenames(const std::vector<fs::path>& files, const std::vector<TFileValues>& values,
                                     const std::string& mask, const TTags& format, bool makeFolders,
                                     const fs::path& target) {
    TRenamePlanList plans;
    for (size_t i = 0; i < files.size(); ++i)
        plans.Add(PlanOne(files[i], i < values.size() ? values[i] : std::nullopt, mask, format, makeFolders, target));
    plans.Order();
    return plans.All();
}

std::vector<TRenamePlan> PlanMoves(const std::vector<std::pair<fs::path, fs::path>>& moves) {
    TRenamePlanList plans;
    for (const auto& [a, b] : moves) {
        TRenamePlan plan{a, b, {}};
        // A folder left empty may have been removed since: the missing ones are made
        // below the deepest that is there.
        plan.MakeFolders = true;
        plan.Base = b.parent_path();
        for (struct stat st{}; !plan.Base.empty() && ::lstat(plan.Base.c_str(), &st) != 0;) {
            plan.Folders = plan.Base.filename() / plan.Folders;
            plan.Base = plan.Base.parent_path();
        }
        if (plan.Base.empty()) plan.Base = ".";
        if (!Exists(a)) plan.Problem = "the file is not there";
        plans.Add(plan);
    }
    plans.Order();
    return plans.All();
}

std::vector<TRenamePlan> PlanRenames(const std::vector<fs::path>& files, const std::string& mask, const TTags& format,
                                     TMessageSink& sink, bool makeFolders, const fs::path& target) {
    return PlanRenames(files, ReadTokenValues(files, sink), mask, format, makeFolders, target);
}

TRenamePlanList PlanRenameList(const TPathList& files, const std::string& mask, const TTags& format, TMessageSink& sink,
                               bool makeFolders, const fs::path& target) {
    TRenamePlanList plans;
    ReadFilesInOrder<TFileValues>(
        files,
        [](const fs::path& file, TCollectingSink& fileSink) {
            TMP3Object object(fileSink);
            return object.LoadFile(file, false) ? TFileValues(GatherFileValues(object)) : std::nullopt;
        },
        [&](size_t i, TFileRead<TFileValues>&& read) {
            for (const std::string& m : read.Messages) sink.Error(m);
            plans.Add(PlanOne(fs::path(files[i]), read.Value, mask, format, makeFolders, target), files[i]);
            return true;
        });
    plans.Order();
    return plans;
}

namespace {

// Carries out one cycle: `members` in the order of their steps, the parked file last.
void CarryOutCycle(const std::vector<TRenamePlan>& plans, const std::vector<size_t>& members,
                   std::vector<TRenameResult>& results) {
    const size_t parked = members.back();
    const TRenamePlan& p = plans[parked];
    const auto [temporary, problem] = Park(p.From);
    if (!problem.empty()) {
        // Its name stays taken, so no other file of the cycle can move.
        results[parked].Problem = problem;
        for (size_t k = 0; k + 1 < members.size(); ++k)
            results[members[k]].Problem = "its new name is still taken: " + p.From.filename().string() +
                                          " could not be moved aside (" + problem + ")";
        return;
    }
    std::vector<size_t> moved;
    for (size_t k = 0; k + 1 < members.size(); ++k) {
        const TRenamePlan& m = plans[members[k]];
        if (std::string failed = MoveAudioFile(m.From, m.To); !failed.empty()) {
            results[members[k]].Problem = std::move(failed);
            continue;
        }
        results[members[k]] = {true, m.To, {}};
        moved.push_back(members[k]);
    }
    const TMoved last = Move(temporary, p.To);
    if (last.Error == 0) {
        results[parked] = {true, p.To, {}};
        return;
    }
    // It goes back to its old name; where a file of the cycle took that name, the
    // cycle's moves are undone, the last first, until it is free.
    results[parked].Problem = MoveProblem(last);
    bool back = Move(temporary, p.From).Error == 0;
    for (auto m = moved.rbegin(); !back && m != moved.rend(); ++m) {
        if (Move(plans[*m].To, plans[*m].From).Error != 0) break;
        results[*m] = {false, plans[*m].From,
                       "moved back to its old name: " + p.From.filename().string() + " could not take its new name"};
        back = Move(temporary, p.From).Error == 0;
    }
    if (!back) {
        results[parked].Now = temporary;
        results[parked].Problem += "; the file was left as " + temporary.filename().string();
    }
}

}  // namespace

std::vector<TRenameResult> CarryOutRenames(const std::vector<TRenamePlan>& plans,
                                           const std::function<bool(size_t, const TRenameResult&)>& moved) {
    std::vector<TRenameResult> results(plans.size());
    std::vector<size_t> order;
    std::map<fs::path, size_t> parked;  // the parked files by their names
    for (size_t i = 0; i < plans.size(); ++i) {
        results[i].Now = plans[i].From;
        results[i].Problem = plans[i].Problem;
        if (!plans[i].Moves()) continue;
        order.push_back(i);
        if (plans[i].Parked) parked[Key(plans[i].From)] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return plans[a].Step < plans[b].Step; });
    for (size_t k = 0; k < order.size();) {
        // A move onto a parked file's name begins its cycle, which runs to that file.
        size_t end = k;
        if (const auto it = parked.find(Key(plans[order[k]].To)); it != parked.end())
            end = size_t(std::find(order.begin() + ptrdiff_t(k), order.end(), it->second) - order.begin());
        if (end >= order.size()) end = k;
        if (end > k) {
            CarryOutCycle(plans, std::vector<size_t>(order.begin() + ptrdiff_t(k), order.begin() + ptrdiff_t(end) + 1),
                          results);
        } else if (const TRenamePlan& p = plans[order[k]]; (results[order[k]].Problem = MovePlanned(p)).empty()) {
            results[order[k]] = {true, p.To, {}};
        }
        bool goOn = true;
        for (; k <= end; ++k) {
            const TRenameResult& r = results[order[k]];
            if (TChangeWatch* watch = ChangeWatch(); watch && r.Moved) watch->AfterMove(plans[order[k]].From, r.Now);
            if (moved && !moved(order[k], r)) goOn = false;
        }
        if (!goOn) break;
    }
    return results;
}

std::string MoveAudioFile(const fs::path& from, const fs::path& to) {
    if (std::string problem = NotReadyToMove(from); !problem.empty()) return problem;
    return MoveWithoutReplacing(from, to);
}

std::string MoveWithoutReplacing(const fs::path& from, const fs::path& to) { return MoveProblem(Move(from, to)); }

std::vector<TLeftFolder> FoldersLeft(const std::vector<TRenamePlan>& plans, const std::vector<TRenameResult>& results,
                                     const std::vector<fs::path>& stops) {
    std::vector<TLeftFolder> left;
    std::set<fs::path> seen;
    for (size_t i = 0; i < plans.size() && i < results.size(); ++i) {
        const fs::path folder = plans[i].From.parent_path(), key = FolderKey(folder);
        if (!results[i].Moved || FolderKey(results[i].Now.parent_path()) == key) continue;
        const bool stopGiven = i < stops.size() && !stops[i].empty();
        // A file named without a folder is in the current folder, which stays.
        if (!stopGiven && (key == FolderKey(".") || key == key.root_path())) continue;
        if (seen.insert(key).second) left.push_back({folder, stopGiven ? stops[i] : key.parent_path()});
    }
    return left;
}

TFolderRemoval RemoveEmptyFolders(const std::vector<TLeftFolder>& left) {
    TFolderRemoval out;
    for (const TLeftFolder& l : left) {
        const fs::path stop = FolderKey(l.Stop), below = FolderKey(l.Folder).lexically_relative(stop);
        if (below.empty() || below == "." || *below.begin() == "..") continue;
        const std::vector<fs::path> parts(below.begin(), below.end());
        // The folders from the stop down to the one above the left folder, each opened
        // inside the one before it without following a link.
        std::vector<TFd> open;
        open.reserve(parts.size());
        open.emplace_back(::open(stop.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        int error = open.back().Fd < 0 ? errno : 0;
        fs::path at = stop;
        for (size_t k = 0; error == 0 && k + 1 < parts.size(); ++k) {
            at /= parts[k];
            open.emplace_back(
                ::openat(open.back().Fd, parts[k].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            error = open.back().Fd < 0 ? errno : 0;
        }
        if (error != 0) {
            // Gone already with an earlier one is fine; a link or a file on the way is not followed.
            if (error != ENOENT) out.Failed.emplace_back(at, "not reached: " + ErrorText(error));
            continue;
        }
        // Named as the folder was given ("in/a/b" stays relative), each parent by its name.
        at = l.Folder.lexically_normal();
        if (!at.has_filename()) at = at.parent_path();
        if (std::distance(at.begin(), at.end()) < std::ptrdiff_t(parts.size())) at = stop / below;
        for (size_t k = parts.size(); k-- > 0; at = at.parent_path()) {
            if (::unlinkat(open[k].Fd, parts[k].c_str(), AT_REMOVEDIR) == 0) {
                out.Removed.push_back(at);
                continue;
            }
            if (errno == ENOENT) continue;
            if (errno != ENOTEMPTY && errno != EEXIST) out.Failed.emplace_back(at, ErrorText(errno));
            break;
        }
    }
    return out;
}

}  // namespace velmar
