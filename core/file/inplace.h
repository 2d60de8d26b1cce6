#pragma once
// Changing the tags of an audio file where they stand: the bytes at the start
// (the ID3v2 tag, same length as before) and everything from a point near the
// end (the Lyrics3 and ID3v1 tags) are replaced, the audio between is never
// written. A journal holding the bytes about to be replaced is written and
// flushed first, beside the file (or, when its folder cannot take one, in the
// user's state folder), and removed once the new bytes are flushed: after a
// crash at any moment the next change of the file, or `velmar-cli recover`, puts
// it back as it was, or keeps the new tags when they were written whole.
//
// A folder may be shared with other users, who can plant links, FIFOs and files
// of their own under any name. So a file is changed only through TFileForChange
// (a regular file, no link at its name, locked, still the file its name names),
// and a journal is believed only when it is a regular file of the user running
// Velmar that no one else may write, with no other name, that names its own inode
// (a file of the user's given its name does not) and the file's device and inode,
// and when the audio it never wrote is still the audio it saw and each byte of the
// tags is one it saw or one it was writing: otherwise another program changed the
// file since, and the journal is set aside.
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/iofunc.h"

namespace velmar {

// How the name of a save's journal ends: "." + the file's name + this, beside the file.
inline constexpr std::string_view kJournalEnding = ".velmar-journal";

class EInPlace : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file opened to be changed: opened read-write without following a link at its
// name and without blocking (a FIFO never hangs), refused unless it is a regular
// file, locked (flock) against every other save and recovery of it, and checked
// after locking to be still the file its name names, so that a save never writes
// a file another save has just replaced. Throws EInPlace naming the file.
class TFileForChange {
public:
    explicit TFileForChange(const std::filesystem::path& file);
    ~TFileForChange();
    TFileForChange(const TFileForChange&) = delete;
    TFileForChange& operator=(const TFileForChange&) = delete;
    int Fd() const { return Handle; }
    const struct stat& Status() const { return St; }
    const std::filesystem::path& Name() const { return File; }
    // Takes the status again, after the file was written.
    void Refresh();

private:
    std::filesystem::path File;
    int Handle = -1;
    struct stat St {};
};

struct TInPlaceEdit {
    TBytes Head;         // replaces the file's first Head.size() bytes
    int64_t TailAt = 0;  // the file from here on is replaced by Tail
    TBytes Tail;
};

// Writes the edit into the locked file; returns false when the file already holds
// those bytes (nothing is written then). Throws EInPlace when the file is left as
// it was; when even putting it back failed, the message says that the journal
// will do it later.
bool WriteInPlace(TFileForChange& file, const TInPlaceEdit& edit);

// A group of in-place saves made durable together, for a change of many files: while
// one is open (one at a time per process), a save may leave its file to the group
// (Defer) instead of writing it. The group writes each journal without flushing it
// and keeps the file locked; Commit flushes all the journals with one flush of each
// file system, writes the files, flushes them the same way, hears each save done,
// and marks the group committed in the user's state folder (a mark made durable)
// before it removes the journals. After a crash, a journal of a group without its
// mark puts its file back as it was, even one whose new tags are whole: so files and
// a history recorded before the mark agree on which files the change wrote.
class TSaveGroup {
public:
    // Commit is due when this many files, or journals of this many bytes, wait.
    explicit TSaveGroup(size_t files = 1024, size_t bytes = size_t(64) << 20);
    // Drops what was not committed: a file the group did not write yet is left as it
    // was and its journal goes; a commit cut short leaves its journals to the next change.
    ~TSaveGroup();
    TSaveGroup(const TSaveGroup&) = delete;
    TSaveGroup& operator=(const TSaveGroup&) = delete;

    // Names the saves that follow (a change's index of the file) in Commit's failures.
    void SetOwner(size_t owner) { Owner = owner; }
    // Whether a save of this file waits in the group (its lock is held).
    bool Holds(dev_t device, ino_t inode) const;
    size_t Waiting() const { return Items.size(); }
    bool Due() const;
    // Takes the edit of the locked file into the group: writes its journal, unflushed,
    // and keeps the file locked; `done` hears the file's new modification time once
    // it is written. False when the file holds these bytes already (nothing to do).
    bool Defer(TFileForChange& file, const TInPlaceEdit& edit, std::function<void(int64_t)> done);
    // Writes every waiting save as above, telling the change watch (file/changewatch.h)
    // of the group. Returns the owners of the saves that failed, each with why; such a
    // file is left as it was.
    std::vector<std::pair<size_t, std::string>> Commit();

private:
    friend TSaveGroup* SaveGroup();
    struct TPending;
    void Drop();
    size_t FileLimit, ByteLimit;
    size_t Bytes = 0, Owner = 0;
    std::vector<std::unique_ptr<TPending>> Items;
    std::filesystem::path MarkFolder, Mark;
    TSaveGroup* Previous = nullptr;
};

// The group open in this process, when it can take saves (the user's state folder,
// which holds its marks, is there); nullptr otherwise.
TSaveGroup* SaveGroup();

enum class TRecovery {
    Nothing,      // no journal of this user for this file
    RestoredOld,  // the old tags were put back
    KeptNew,      // the new tags were there whole
    SetAside      // the file changed since the journal was written: nothing put back
};
// Finishes a save of the locked file that was cut short: with a journal for it,
// puts the old bytes back unless the new ones are all there, then removes the
// journal. A journal that was not written whole is removed (the file was not
// touched yet). A journal whose file was changed by another program since is
// renamed aside and never put back; `report`, when given, then receives a
// sentence saying so, as it does for a journal left alone because it is not
// this user's. Throws EInPlace when a journal exists but cannot be carried out.
TRecovery RecoverLocked(TFileForChange& file, std::string* report = nullptr);
// The same for a file by name, taking its lock first; throws EInPlace when another
// save holds the lock (its journal is in use then, and left alone).
TRecovery RecoverInterruptedSave(const std::filesystem::path& file, std::string* report = nullptr);

// True when this user's journal of a cut-short save of `file` is waiting, beside
// it or in the state folder. Only looks (no file is opened): for commands that
// read, which mark such a file and leave the finishing to the next change.
// `beside` false leaves out the look beside the file, for a caller that listed its
// folder and saw no journal there (TPathList::ListedBare).
bool HasCutShortSave(const std::filesystem::path& file, bool beside = true);

// The file a change of `file` writes: where a link at its name leads, when the link is
// the user's or root's, else itself (a change of another user's link is refused).
std::filesystem::path WriteTargetOf(const std::filesystem::path& file);

// A name beside `file` for Velmar's own use: "." + its name + `ending`, or, when
// that would exceed the file system's limit on a name, "." + a hash of its name +
// `ending`.
std::filesystem::path NameBeside(const std::filesystem::path& file, std::string_view ending);
// The journal beside a file.
std::filesystem::path JournalBeside(const std::filesystem::path& file);

// Whether `bytes` are a whole journal of this version (a fuzz harness feeds it).
bool IsWholeJournal(std::span<const uint8_t> bytes);

// Nanoseconds since the epoch of a file's status.
int64_t ModificationTime(const struct stat& st);

}  // namespace velmar
