#include "change/history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "base/sysio.h"
#include "batch/rename.h"
#include "file/inplace.h"
#include "file/mp3object.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

// A record is a sequence of entries: a kind letter, the payload's length, the
// payload, and a checksum of all three. Reading stops at the first entry that is not
// whole (a crash while it was written). Kinds:
//   H  the change: id, time, command, text
//   B  a file about to be written: its name, old head, old tail (flushed before the write)
//   A  that file written: its index, new head, new tail, state
//   M  a file moved: old name, new name, state
//   S  a file about to be rewritten with splices: its name, the lengths of its tag
//      regions, its old time, and each splice (offset, bytes taken away, bytes put in);
//      flushed before the write, and followed by an A entry (empty head and tail)
//   G  a group of saves committed: the name of the mark that commits it; the A entries
//      up to its C entry count only with the C entry there, or else the mark
//   C  the end of a group
//   U  the change undone: time; followed by u (index, state) for each file put back
//   R  the change redone; followed by r (index, state)
constexpr char kMagic[8] = {'V', 'E', 'L', 'M', 'A', 'R', 'H', '1'};
constexpr std::string_view kEnding = ".velmar-change";

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

uint32_t Crc(std::span<const uint8_t> a, std::span<const uint8_t> b = {}) {
    uLong crc = crc32(0, nullptr, 0);
    // zlib answers a null buffer with the initial value, which would undo what came before.
    for (const std::span<const uint8_t> part : {a, b})
        if (!part.empty()) crc = crc32(crc, part.data(), uInt(part.size()));
    return uint32_t(crc);
}

class TWriter {
public:
    TBytes Out;
    void U64(uint64_t v) {
        for (int i = 0; i < 8; ++i) Out.push_back(uint8_t(v >> (8 * i)));
    }
    void Bytes(std::span<const uint8_t> b) {
        U64(b.size());
        Out.insert(Out.end(), b.begin(), b.end());
    }
    void Text(std::string_view t) { Bytes({reinterpret_cast<const uint8_t*>(t.data()), t.size()}); }
    void State(const TFileState& s) {
        U64(uint64_t(s.Size));
        U64(uint64_t(s.Modified));
        U64(s.TagCrc);
    }
};

class TReader {
public:
    explicit TReader(std::span<const uint8_t> in) : In(in) {}
    uint64_t U64() {
        if (At + 8 > In.size()) throw std::out_of_range("entry");
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= uint64_t(In[At + size_t(i)]) << (8 * i);
        At += 8;
        return v;
    }
    TBytes Bytes() {
        const uint64_t n = U64();
        if (n > In.size() - At) throw std::out_of_range("entry");
        TBytes b(In.begin() + ptrdiff_t(At), In.begin() + ptrdiff_t(At + n));
        At += size_t(n);
        return b;
    }
    std::string Text() {
        const TBytes b = Bytes();
        return {b.begin(), b.end()};
    }
    TFileState State() {
        TFileState s;
        s.Size = int64_t(U64());
        s.Modified = int64_t(U64());
        s.TagCrc = uint32_t(U64());
        return s;
    }

private:
    std::span<const uint8_t> In;
    size_t At = 0;
};

// The state of a file now, with its tag regions taken as the first `head` bytes and
// the last `tail` bytes; Size -1 when it is not a regular file.
TFileState StateOf(const fs::path& file, int64_t head, int64_t tail, int fd = -1) {
    TFileState s;
    struct stat st {};
    const int own = fd >= 0 ? -1 : sysio::Open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    const int use = fd >= 0 ? fd : own;
    if (use < 0 || sysio::Fstat(use, &st) != 0 || !S_ISREG(st.st_mode) || head + tail > st.st_size) {
        if (own >= 0) sysio::Close(own);
        return s;
    }
    TBytes h(static_cast<size_t>(head)), t(static_cast<size_t>(tail));
    const bool read = sysio::Pread(use, h.data(), h.size(), 0) == ssize_t(h.size()) &&
                      sysio::Pread(use, t.data(), t.size(), off_t(st.st_size - tail)) == ssize_t(t.size());
    if (own >= 0) sysio::Close(own);
    if (!read) return s;
    s.Size = int64_t(st.st_size);
    s.Modified = ModificationTime(st);
    s.TagCrc = Crc(h, t);
    return s;
}

TBytes ReadRange(int fd, int64_t from, int64_t count) {
    TBytes b(size_t(std::max<int64_t>(count, 0)));
    if (sysio::Pread(fd, b.data(), b.size(), off_t(from)) != ssize_t(b.size()))
        throw std::runtime_error("the file became shorter while it was read");
    return b;
}

fs::path RecordName(const fs::path& folder, uint64_t id) {
    char name[32];
    std::snprintf(name, sizeof name, "%010llu", static_cast<unsigned long long>(id));
    return folder / (std::string(name) + std::string(kEnding));
}

TBytes ReadWhole(const fs::path& path) {
    const int fd = sysio::Open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    TBytes in;
    if (fd >= 0 && sysio::Fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        in.resize(size_t(st.st_size));
        if (sysio::Pread(fd, in.data(), in.size(), 0) != ssize_t(in.size())) in.clear();
    }
    if (fd >= 0) sysio::Close(fd);
    return in;
}

// Reads a record; the files' tag bytes only when asked. `readLength`, when given,
// receives the length of the entries that were read whole.
TChangeRecord ReadRecord(const fs::path& path, bool withBytes, size_t* readLength = nullptr) {
    TChangeRecord r;
    const TBytes in = ReadWhole(path);
    r.Bytes = in.size();
    if (readLength) *readLength = 0;
    if (in.size() < sizeof kMagic || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0) return r;
    if (readLength) *readLength = sizeof kMagic;
    auto written = [&r, withBytes](TReader e) {
        const size_t i = size_t(e.U64());
        if (i >= r.Files.size()) return;
        TChangedFile& f = r.Files[i];
        f.NewHead = e.Bytes();
        f.NewTail = e.Bytes();
        f.Done = e.State();
        f.Written = true;
        if (!withBytes) f.NewHead.clear(), f.NewTail.clear();
    };
    // A group's A entries, held until its end: the mark's name and the entries.
    std::optional<std::pair<std::string, std::vector<std::span<const uint8_t>>>> group;
    for (size_t at = sizeof kMagic; at + 13 <= in.size();) {
        const char kind = char(in[at]);
        uint64_t length = 0;
        for (int i = 0; i < 8; ++i) length |= uint64_t(in[at + 1 + size_t(i)]) << (8 * i);
        if (length > in.size() - at - 13) break;
        const std::span<const uint8_t> whole(in.data() + at, 9 + size_t(length));
        uint32_t crc = 0;
        for (int i = 0; i < 4; ++i) crc |= uint32_t(in[at + 9 + size_t(length) + size_t(i)]) << (8 * i);
        if (crc != Crc(whole)) break;
        TReader e(whole.subspan(9));
        at += 13 + size_t(length);
        if (readLength) *readLength = at;
        try {
            switch (kind) {
                case 'H':
                    r.Id = e.U64();
                    r.Time = int64_t(e.U64());
                    r.Command = e.Text();
                    r.Text = e.Text();
                    break;
                case 'B': {
                    TChangedFile f;
                    f.OldName = f.NewName = e.Text();
                    f.OldHead = e.Bytes();
                    f.OldTail = e.Bytes();
                    f.Undone.Modified = int64_t(e.U64());
                    if (!withBytes) f.OldHead.clear(), f.OldTail.clear();
                    r.Files.push_back(std::move(f));
                    break;
                }
                case 'A':
                    if (group)
                        group->second.push_back(whole.subspan(9));
                    else
                        written(e);
                    break;
                case 'G': group.emplace(e.Text(), std::vector<std::span<const uint8_t>>{}); break;
                case 'C':
                    if (group)
                        for (const auto& a : group->second) written(TReader(a));
                    group.reset();
                    break;
                case 'S': {
                    TChangedFile f;
                    f.Spliced = true;
                    f.OldName = f.NewName = e.Text();
                    f.HeadLength = int64_t(e.U64());
                    f.TailLength = int64_t(e.U64());
                    f.Undone.Modified = int64_t(e.U64());
                    for (uint64_t n = e.U64(); n > 0; --n) {
                        TSplice s;
                        s.Offset = int64_t(e.U64());
                        s.Old = e.Bytes();
                        s.New = e.Bytes();
                        if (withBytes) f.Splices.push_back(std::move(s));
                    }
                    r.Files.push_back(std::move(f));
                    break;
                }
                case 'M': {
                    TChangedFile f;
                    f.Moved = f.Written = true;
                    f.OldName = e.Text();
                    f.NewName = e.Text();
                    f.Done = e.State();
                    r.Files.push_back(std::move(f));
                    break;
                }
                case 'U':
                    r.Undone = true;
                    r.UndoneAt = int64_t(e.U64());
                    break;
                case 'R': r.Undone = false; break;
                case 'u':
                case 'r': {
                    const size_t i = size_t(e.U64());
                    if (i < r.Files.size()) (kind == 'u' ? r.Files[i].Undone : r.Files[i].Done) = e.State();
                    break;
                }
                default: break;
            }
        } catch (const std::out_of_range&) {
            break;
        }
    }
    // A group whose end was not recorded (a crash) counts when its mark was made.
    struct stat mark {};
    if (group && ::lstat(group->first.c_str(), &mark) == 0 && S_ISREG(mark.st_mode) && mark.st_uid == ::geteuid()) {
        try {
            for (const auto& a : group->second) written(TReader(a));
        } catch (const std::out_of_range&) {}
    }
    return r;
}

std::vector<std::pair<uint64_t, fs::path>> RecordFiles(const fs::path& folder) {
    std::vector<std::pair<uint64_t, fs::path>> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (!name.ends_with(kEnding) || !e.is_regular_file(ec)) continue;
        out.emplace_back(std::strtoull(name.c_str(), nullptr, 10), e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Appends one entry to an open record.
void AppendEntry(int fd, char kind, const TBytes& payload, bool flush) {
    TBytes entry{uint8_t(kind)};
    for (int i = 0; i < 8; ++i) entry.push_back(uint8_t(uint64_t(payload.size()) >> (8 * i)));
    entry.insert(entry.end(), payload.begin(), payload.end());
    const uint32_t crc = Crc(entry);
    for (int i = 0; i < 4; ++i) entry.push_back(uint8_t(crc >> (8 * i)));
    const off_t end = ::lseek(fd, 0, SEEK_END);
    for (size_t done = 0; done < entry.size();) {
        const ssize_t n = sysio::Pwrite(fd, entry.data() + done, entry.size() - done, end + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error(std::string("Cannot write the history: ") + std::strerror(errno));
        done += size_t(n);
    }
    if (flush && sysio::Fdatasync(fd) != 0)
        throw std::runtime_error(std::string("Cannot flush the history: ") + std::strerror(errno));
}

}  // namespace

std::string Described(const TChangeRecord& change) {
    return change.Text + " of " + std::to_string(change.Files.size()) + " file(s)";
}

fs::path THistory::DefaultFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && fs::path(state).is_absolute())
        return fs::path(state) / "velmar" / "history";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/") / ".local" / "state" / "velmar" / "history";
}

THistory::THistory(fs::path folder, THistoryLimits limits) : Dir(std::move(folder)), Limit(limits) {}

fs::path THistory::OpenFolder() const {
    std::error_code ec;
    fs::create_directories(Dir.parent_path(), ec);
    ::mkdir(Dir.c_str(), 0700);
    struct stat st {};
    if (::lstat(Dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
        throw std::runtime_error("the history folder \"" + Dir.string() +
                                 "\" is not a folder of this user's alone: changes are not recorded");
    return Dir;
}

bool THistory::Readable() const {
    struct stat st {};
    if (::lstat(Dir.c_str(), &st) != 0) return false;  // nothing recorded yet
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
        throw std::runtime_error("the history folder \"" + Dir.string() +
                                 "\" is not a folder of this user's alone: it is not read");
    return true;
}

std::vector<TChangeRecord> THistory::Changes(bool withBytes) const {
    std::vector<TChangeRecord> out;
    // Records that another user could have written are not listed (and so never undone).
    try {
        if (!Readable()) return out;
    } catch (const std::runtime_error&) {
        return out;
    }
    const auto files = RecordFiles(Dir);
    std::map<uint64_t, TCached> seen;
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        if (withBytes) {
            TChangeRecord r = ReadRecord(it->second, true);
            if (r.Id != 0) out.push_back(std::move(r));
            continue;
        }
        // Records only grow: one of the same size and time as when it was read is read already.
        struct stat st {};
        if (::lstat(it->second.c_str(), &st) != 0) continue;
        TCached entry{int64_t(st.st_size), ModificationTime(st), {}};
        const auto cached = Cache.find(it->first);
        if (cached != Cache.end() && cached->second.Size == entry.Size && cached->second.Modified == entry.Modified)
            entry.Record = cached->second.Record;
        else
            entry.Record = ReadRecord(it->second, false);
        if (entry.Record.Id != 0) out.push_back(entry.Record);
        seen.emplace(it->first, std::move(entry));
    }
    if (!withBytes) Cache = std::move(seen);
    return out;
}

TChangeRecord THistory::NextUndo() const {
    for (TChangeRecord& r : Changes())
        if (!r.Undone) return std::move(r);
    return {};
}

TChangeRecord THistory::NextRedo() const {
    TChangeRecord latest;
    for (TChangeRecord& r : Changes())
        if (r.Undone && r.UndoneAt > latest.UndoneAt) latest = std::move(r);
    return latest;
}

void THistory::Prune() const {
    auto files = RecordFiles(Dir);
    uint64_t total = 0;
    size_t kept = 0;
    std::error_code ec;
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        const uint64_t size = fs::file_size(it->second, ec);
        if (kept < Limit.Changes && total + size <= Limit.Bytes) {
            ++kept;
            total += size;
        } else {
            fs::remove(it->second, ec);
        }
    }
}

namespace {

// Where the history's own changes, undos and redos left files: name, size and time.
using TLeftStates = std::set<std::tuple<fs::path, int64_t, int64_t>>;

TLeftStates LeftStates(const std::vector<TChangeRecord>& records) {
    TLeftStates out;
    for (const TChangeRecord& r : records)
        for (const TChangedFile& f : r.Files) {
            if (f.Done.Size >= 0) out.emplace(f.NewName, f.Done.Size, f.Done.Modified);
            if (f.Undone.Size >= 0) out.emplace(f.OldName, f.Undone.Size, f.Undone.Modified);
        }
    return out;
}

// Undoes (or redoes) one change in its record: the written files get `from` bytes
// back where they are in the state `expected`, the moved files their old names. A
// file is also as the change left it when its tags are, and its size and time are
// those a later change, undo or redo of the history left it with: nobody else
// touched it since (a rename, then an edit of the renamed files, undone in turn).
TUndoOutcome Turn(const fs::path& path, const TChangeRecord& r, bool undo, const TUndoProgress& progress,
                  TLeftStates left) {
    auto leftSo = [&](const fs::path& at, const TFileState& now) {
        return left.count({at, now.Size, now.Modified}) > 0;
    };
    TUndoOutcome out{r.Id, r.Text, 0, {}, {}, {}};
    const size_t total = size_t(std::count_if(r.Files.begin(), r.Files.end(), [](const auto& f) { return f.Written; }));
    size_t done = 0;
    auto step = [&] {
        if (progress) progress(++done, total);
    };
    const int fd = sysio::Open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("Cannot open the history record " + path.string());
    struct TClose {
        int Fd;
        ~TClose() { sysio::Close(Fd); }
    } closer{fd};
    TWriter mark;
    mark.U64(uint64_t(NowNs()));
    AppendEntry(fd, undo ? 'U' : 'R', mark.Out, false);

    std::vector<std::pair<fs::path, fs::path>> moves;
    std::vector<size_t> moveIndex;
    for (size_t i = r.Files.size(); i-- > 0;) {
        const TChangedFile& f = r.Files[i];
        if (!f.Written) continue;
        const TFileState& expected = undo ? f.Done : f.Undone;
        const fs::path& at = undo ? f.NewName : f.OldName;
        if (f.Moved) {
            const TFileState now = StateOf(at, 0, 0);
            if (now.Size != expected.Size || (now.Modified != expected.Modified && !leftSo(at, now))) {
                out.LeftAlone.emplace_back(at, "it was changed or moved by another program since");
                step();
                continue;
            }
            moves.emplace_back(at, undo ? f.OldName : f.NewName);
            moveIndex.push_back(i);
            continue;
        }
        // A file another program changed since is left as it is.
        auto changedSince = [&](int64_t headLength, int64_t tailLength) {
            const TFileState now = StateOf(at, headLength, tailLength);
            if (now == expected || (now.Size == expected.Size && now.TagCrc == expected.TagCrc && leftSo(at, now)))
                return false;
            out.LeftAlone.emplace_back(at, "it was changed by another program since");
            step();
            return true;
        };
        auto leftAlone = [&](const TCollectingSink& sink, const char* why) {
            out.LeftAlone.emplace_back(at, sink.Messages.empty() ? why : sink.Messages.back());
            step();
        };
        // The file gets the time it had in the state it returns to, so that the
        // fingerprints of the changes before (or after) this one hold again.
        auto putBack = [&](int64_t headLength, int64_t tailLength) {
            const int64_t time = undo ? f.Undone.Modified : f.Done.Modified;
            const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(time / 1000000000), long(time % 1000000000)}};
            ::utimensat(AT_FDCWD, at.c_str(), times, AT_SYMLINK_NOFOLLOW);
            TWriter e;
            e.U64(i);
            const TFileState put = StateOf(at, headLength, tailLength);
            e.State(put);
            AppendEntry(fd, undo ? 'u' : 'r', e.Out, false);
            left.emplace(at, put.Size, put.Modified);  // a file the change wrote twice is put back step by step
            ++out.Restored;
            out.Rewritten.push_back(at);
            step();
        };
        TCollectingSink sink;
        TMP3Object object(sink);
        if (f.Spliced) {
            // The tag regions stay as they are; the splices, checked byte for byte as they
            // are carried out, take back (or make again) the rest.
            if (changedSince(f.HeadLength, f.TailLength)) continue;
            if (!object.LoadForChange(at) || !object.WriteSplices(undo ? InverseSplices(f.Splices) : f.Splices))
                leftAlone(sink, "its audio is not as the change left it");
            else
                putBack(f.HeadLength, f.TailLength);
            continue;
        }
        const TBytes& head = undo ? f.OldHead : f.NewHead;
        const TBytes& tail = undo ? f.OldTail : f.NewTail;
        const TBytes& nowHead = undo ? f.NewHead : f.OldHead;
        const TBytes& nowTail = undo ? f.NewTail : f.OldTail;
        if (changedSince(int64_t(nowHead.size()), int64_t(nowTail.size()))) continue;
        if (!object.LoadForChange(at) || object.DataStart != int64_t(nowHead.size()) ||
            object.FileSize - object.AudioEnd != int64_t(nowTail.size()) || !object.WriteTagBytes(head, tail))
            leftAlone(sink, "its tags are not where the change left them");
        else
            putBack(int64_t(head.size()), int64_t(tail.size()));
    }
    if (!moves.empty()) {
        const std::vector<TRenameResult> results = CarryOutRenames(PlanMoves(moves), [&](size_t, const TRenameResult&) {
            step();
            return true;
        });
        for (size_t k = 0; k < results.size(); ++k) {
            // A file that could not take its name may still have moved (to a temporary name).
            if (results[k].Now != moves[k].first) out.Moved.emplace_back(moves[k].first, results[k].Now);
            if (!results[k].Moved) {
                out.LeftAlone.emplace_back(moves[k].first, results[k].Problem);
                continue;
            }
            TWriter e;
            e.U64(moveIndex[k]);
            e.State(StateOf(results[k].Now, 0, 0));
            AppendEntry(fd, undo ? 'u' : 'r', e.Out, false);
            ++out.Restored;
        }
    }
    sysio::Fdatasync(fd);
    return out;
}

}  // namespace

TUndoOutcome THistory::Undo(uint64_t id, const TUndoProgress& progress) {
    // Records of a folder another user may write would move and write files of their choosing.
    if (!Readable()) {
        if (id != 0) throw std::runtime_error("there is no change " + std::to_string(id) + " in the history");
        return {};
    }
    for (const auto& [number, path] : [&] {
             auto files = RecordFiles(Dir);
             std::reverse(files.begin(), files.end());
             return files;
         }()) {
        if (id != 0 && number != id) continue;
        const TChangeRecord r = ReadRecord(path, true);
        if (r.Id == 0 || r.Undone) {
            if (id != 0) throw std::runtime_error("change " + std::to_string(id) + " is undone already");
            continue;
        }
        return Turn(path, r, true, progress, LeftStates(Changes()));
    }
    if (id != 0) throw std::runtime_error("there is no change " + std::to_string(id) + " in the history");
    return {};
}

TUndoOutcome THistory::Redo(const TUndoProgress& progress) {
    if (!Readable()) return {};
    const TChangeRecord latest = NextRedo();
    if (latest.Id == 0) return {};
    const fs::path path = RecordName(Dir, latest.Id);
    return Turn(path, ReadRecord(path, true), false, progress, LeftStates(Changes()));
}

TChange::TChange(const THistory& history, std::string command, std::string text, TMessageSink& sink,
                 uint64_t continuing)
    : History(history),
      Command(std::move(command)),
      Text(std::move(text)),
      Sink(sink),
      Continuing(continuing),
      Previous(ChangeWatch()) {
    SetChangeWatch(this);
}

TChange::~TChange() {
    SetChangeWatch(Previous);
    // A group's mark goes once the record says the group ended; kept when that is not sure.
    const bool durable = Fd >= 0 && sysio::Fdatasync(Fd) == 0;
    for (const fs::path& mark : Marks)
        if (durable || Fd < 0 || Failed) ::unlink(mark.c_str());
    if (Fd < 0) return;
    sysio::Close(Fd);
    try {
        History.Prune();
        if (!fs::exists(RecordName(History.Folder(), RecordId)))
            Sink.Error("this change cannot be undone: it is larger than the history may hold");
    } catch (const std::exception&) {}
}

void TChange::Open() {
    if (Fd >= 0 || Failed) return;
    try {
        const fs::path folder = History.OpenFolder();
        const auto files = RecordFiles(folder);
        if (Continuing != 0 && !files.empty() && files.back().first == Continuing) {
            // Still the newest, never undone, and whole to its end: the files are added to it.
            size_t length = 0;
            const TChangeRecord r = ReadRecord(files.back().second, false, &length);
            if (r.Id == Continuing && !r.Undone && r.UndoneAt == 0 && length == r.Bytes &&
                (Fd = sysio::Open(files.back().second.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC)) >= 0) {
                RecordId = Continuing;
                // The files' entries by index, in the record's order: a move has no name to look up.
                for (const TChangedFile& f : r.Files) Written.push_back(f.Moved ? fs::path() : f.OldName);
                return;
            }
        }
        RecordId = files.empty() ? 1 : files.back().first + 1;
        for (;; ++RecordId) {
            const fs::path name = RecordName(folder, RecordId);
            Fd = sysio::Open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (Fd >= 0 || errno != EEXIST) break;
        }
        if (Fd < 0) throw std::runtime_error(std::string("Cannot create a history record: ") + std::strerror(errno));
        if (sysio::Pwrite(Fd, kMagic, sizeof kMagic, 0) != ssize_t(sizeof kMagic))
            throw std::runtime_error(std::string("Cannot write the history: ") + std::strerror(errno));
        TWriter h;
        h.U64(RecordId);
        h.U64(uint64_t(
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                .count()));
        h.Text(Command);
        h.Text(Text);
        AppendEntry(Fd, 'H', h.Out, false);
    } catch (const std::exception& e) {
        Failed = true;
        Sink.Error(std::string(e.what()) + "; this change cannot be undone");
    }
}

std::optional<TChange::TPrepared> TChange::ReadOldTags(const fs::path& file) {
    TCollectingSink sink;
    TMP3Object object(sink);
    if (!object.LoadFile(file, false)) return std::nullopt;
    const int fd = sysio::Open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<TPrepared> old;
    struct stat st {};
    try {
        if (sysio::Fstat(fd, &st) == 0 && st.st_size == object.FileSize)
            old = TPrepared{ReadRange(fd, 0, object.DataStart),
                            ReadRange(fd, object.AudioEnd, st.st_size - object.AudioEnd), ModificationTime(st)};
    } catch (const std::runtime_error&) {}
    sysio::Close(fd);
    return old;
}

namespace {

// A file as the history keeps it: whole from the root, so that an undo run from
// another folder finds it.
std::string RecordedName(const fs::path& file) {
    std::error_code ec;
    const fs::path whole = fs::absolute(file, ec);
    return (ec ? file : whole.lexically_normal()).string();
}

}  // namespace

void TChange::RecordOldTags(const fs::path& file, const TPrepared& old, bool flush) {
    TWriter b;
    b.Text(RecordedName(file));
    b.Bytes(old.Head);
    b.Bytes(old.Tail);
    b.U64(uint64_t(old.Modified));
    AppendEntry(Fd, 'B', b.Out, flush);
    Written.push_back(file);
}

void TChange::Prepare(const std::vector<fs::path>& files, bool inGroups) {
    Open();
    if (Failed) return;
    try {
        for (const fs::path& file : files)
            if (std::optional<TPrepared> old = ReadOldTags(file)) {
                RecordOldTags(file, *old, false);
                Prepared[file] = std::move(*old);
            }
        if (!inGroups && sysio::Fdatasync(Fd) != 0)
            throw std::runtime_error(std::string("Cannot flush the history: ") + std::strerror(errno));
        PreparedDurable = !inGroups;
    } catch (const std::exception& e) {
        Prepared.clear();  // each file then records its own old tags before it is written
        Sink.Error(e.what());
    }
}

void TChange::GroupBegun(const fs::path& mark) {
    if (Failed || Fd < 0) return;
    TWriter g;
    g.Text(mark.string());
    try {
        AppendEntry(Fd, 'G', g.Out, false);
    } catch (const std::exception& e) {
        Sink.Error(std::string(e.what()) + "; this change cannot be undone");
    }
}

void TChange::GroupEnded(const fs::path& mark) {
    // Without its end recorded, the group counts through its mark, which then stays.
    try {
        if (!Failed && Fd >= 0) AppendEntry(Fd, 'C', {}, false);
        Marks.push_back(mark);
    } catch (const std::exception& e) {
        Sink.Error(e.what());
    }
}

void TChange::BeforeWrite(const fs::path& file, int fd, int64_t headLength, int64_t tailFrom, bool inGroup) {
    Open();
    if (Failed) return;
    struct stat st {};
    if (sysio::Fstat(fd, &st) != 0) throw std::runtime_error("Cannot read the status of " + file.string());
    TPrepared now{ReadRange(fd, 0, headLength), ReadRange(fd, tailFrom, int64_t(st.st_size) - tailFrom),
                  ModificationTime(st)};
    // Recorded already, when the file is still as it was then; flushed before the
    // first save that does not wait for a group.
    if (const auto it = Prepared.find(file); it != Prepared.end()) {
        const bool same =
            it->second.Head == now.Head && it->second.Tail == now.Tail && it->second.Modified == now.Modified;
        Prepared.erase(it);
        if (same) {
            if (!inGroup && !PreparedDurable) {
                if (sysio::Fdatasync(Fd) != 0)
                    throw std::runtime_error(std::string("Cannot flush the history: ") + std::strerror(errno));
                PreparedDurable = true;
            }
            return;
        }
    }
    // Flushed before the file is written (or with the group's journals): its old tags
    // are never only in the file.
    RecordOldTags(file, now, !inGroup);
}

void TChange::AfterWrite(const fs::path& file, const TBytes& head, const TBytes& tail, int64_t size, int64_t modified) {
    if (Failed || Fd < 0) return;
    const auto it = std::find(Written.rbegin(), Written.rend(), file);
    if (it == Written.rend()) return;
    TWriter a;
    a.U64(uint64_t(Written.rend() - it - 1));
    a.Bytes(head);
    a.Bytes(tail);
    a.State({size, modified, Crc(head, tail)});
    try {
        AppendEntry(Fd, 'A', a.Out, false);
    } catch (const std::exception& e) {
        Sink.Error(std::string(e.what()) + "; the change of \"" + file.string() + "\" cannot be undone");
    }
}

void TChange::BeforeSplice(const fs::path& file, int fd, const std::vector<TSplice>& splices, int64_t headLength,
                           int64_t tailLength) {
    Open();
    if (Failed) return;
    struct stat st {};
    if (sysio::Fstat(fd, &st) != 0) throw std::runtime_error("Cannot read the status of " + file.string());
    TWriter b;
    b.Text(RecordedName(file));
    b.U64(uint64_t(headLength));
    b.U64(uint64_t(tailLength));
    b.U64(uint64_t(ModificationTime(st)));
    b.U64(splices.size());
    for (const TSplice& s : splices) {
        b.U64(uint64_t(s.Offset));
        b.Bytes(s.Old);
        b.Bytes(s.New);
    }
    // Flushed before the file is written: the bytes taken away are never only in the file.
    AppendEntry(Fd, 'S', b.Out, true);
    Written.push_back(file);
    SplicedRegions[file] = {headLength, tailLength};
}

void TChange::AfterSplice(const fs::path& file, int64_t size, int64_t modified) {
    const auto regions = SplicedRegions.find(file);
    if (Failed || Fd < 0 || regions == SplicedRegions.end()) return;
    const auto it = std::find(Written.rbegin(), Written.rend(), file);
    if (it == Written.rend()) return;
    TFileState state = StateOf(file, regions->second.first, regions->second.second);
    state.Size = size;
    state.Modified = modified;
    SplicedRegions.erase(regions);
    TWriter a;
    a.U64(uint64_t(Written.rend() - it - 1));
    a.Bytes({});
    a.Bytes({});
    a.State(state);
    try {
        AppendEntry(Fd, 'A', a.Out, false);
    } catch (const std::exception& e) {
        Sink.Error(std::string(e.what()) + "; the change of \"" + file.string() + "\" cannot be undone");
    }
}

void TChange::AfterMove(const fs::path& from, const fs::path& to) {
    Open();
    if (Failed) return;
    TWriter m;
    m.Text(RecordedName(from));
    m.Text(RecordedName(to));
    m.State(StateOf(to, 0, 0));
    try {
        AppendEntry(Fd, 'M', m.Out, false);
        Written.push_back({});  // keeps the indexes of the entries in step with the files
    } catch (const std::exception& e) {
        Sink.Error(std::string(e.what()) + "; the rename of \"" + from.string() + "\" cannot be undone");
    }
}

}  // namespace velmar
