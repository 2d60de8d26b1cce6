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
#include <span>
#include <string>
#include <string_view>

#include "base/iofunc.h"

namespace velmar {

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
bool HasCutShortSave(const std::filesystem::path& file);

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
