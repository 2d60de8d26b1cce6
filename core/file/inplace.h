#pragma once
// Changing the tags of an audio file where they stand: the bytes at the start
// (the ID3v2 tag, same length as before) and everything from a point near the
// end (the Lyrics3 and ID3v1 tags) are replaced, the audio between is never
// written. A journal holding the bytes about to be replaced is written and
// flushed first, beside the file (or, when its folder cannot take one, in the
// user's state folder), and removed once the new bytes are flushed: after a
// crash at any moment the next save or folder scan puts the file back as it was,
// or keeps the new tags when they were written whole. The file is locked (flock)
// while it is changed, so that a journal in use is never taken for a crash's.
#include <cstdint>
#include <filesystem>

#include "base/iofunc.h"

namespace velmar {

class EInPlace : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TInPlaceEdit {
    TBytes Head;         // replaces the file's first Head.size() bytes
    int64_t TailAt = 0;  // the file from here on is replaced by Tail
    TBytes Tail;
    // The file as it was read: a file of another size or modification time was
    // changed by someone else meanwhile and is not written.
    int64_t ExpectedSize = 0;
    int64_t ExpectedModification = 0;  // nanoseconds since the epoch
};

// Writes the edit; returns false when the file already holds those bytes (nothing
// is written then). Throws EInPlace when the file is left as it was; when even
// putting it back failed, the message says that the journal will do it later.
bool WriteInPlace(const std::filesystem::path& file, const TInPlaceEdit& edit);

enum class TRecovery { Nothing, RestoredOld, KeptNew };
// Finishes a save that was cut short: with a journal for this file, puts the old
// bytes back unless the new ones are all there, then removes the journal. A
// journal that was not written whole is removed (the file was not touched yet).
// Throws EInPlace when a journal exists but cannot be carried out.
TRecovery RecoverInterruptedSave(const std::filesystem::path& file);

// The journal beside a file, and whether a name found in a folder is one (its file
// is then the name without the leading "." and the ending).
std::filesystem::path JournalBeside(const std::filesystem::path& file);
bool IsJournalName(const std::filesystem::path& name);
std::filesystem::path FileOfJournal(const std::filesystem::path& journal);

// Nanoseconds since the epoch of a file's status.
int64_t ModificationTime(const struct stat& st);

}  // namespace velmar
