#pragma once
// The history of the changes Velmar makes to audio files, kept so that any of them
// can be undone, and redone, later and across restarts. While a change is open
// (TChange), every save and every rename of an audio file is recorded: before a file
// is written, the bytes of the tag regions the save replaces (everything before the
// audio, everything after it; never the audio) are written to the change's record
// and flushed; after it, a fingerprint of the file's new state (size, modification
// time, checksum of the new tag regions). Undo puts the old bytes back through the
// same safe save, and the old names through the same never-replacing moves, but only
// where a file is still exactly as the change left it: a file another program
// changed or moved since is left as it is and reported.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/iofunc.h"
#include "base/messages.h"
#include "file/changewatch.h"

namespace velmar {

// What a file looked like: its size, modification time and the checksum of its
// tag regions.
struct TFileState {
    int64_t Size = -1, Modified = 0;
    uint32_t TagCrc = 0;
    bool operator==(const TFileState&) const = default;
};

// One file of a change: written (its tag regions), moved (its name), or rewritten
// with splices (the bytes taken away and put in, as a repair of its stream makes).
struct TChangedFile {
    bool Moved = false;
    std::filesystem::path OldName, NewName;
    TBytes OldHead, OldTail, NewHead, NewTail;  // a written file's tag regions before and after
    bool Spliced = false;
    std::vector<TSplice> Splices;        // a spliced file's change, offsets of the file before it
    int64_t HeadLength = 0, TailLength = 0;  // its tag regions, which the splices leave as they are
    bool Written = false;                       // the change got to the end of this file
    TFileState Done, Undone;                    // as the change (or a redo) and as an undo left it
};

struct TChangeRecord {
    uint64_t Id = 0;
    int64_t Time = 0;  // seconds since 1970
    std::string Command, Text;
    bool Undone = false;
    int64_t UndoneAt = 0;  // when it was last undone, in nanoseconds; 0 when never
    std::vector<TChangedFile> Files;
    uint64_t Bytes = 0;  // the record's size on disk
};

// How a change is shown: its text and the number of its files, "Rename of 12 file(s)".
std::string Described(const TChangeRecord& change);

struct THistoryLimits {
    size_t Changes = 100;
    uint64_t Bytes = uint64_t(256) << 20;
};

// What an undo or a redo did: the files put back, and those left as they are with the reason.
struct TUndoOutcome {
    uint64_t Id = 0;  // 0: there was nothing to undo or redo
    std::string Text;
    size_t Restored = 0;
    std::vector<std::pair<std::filesystem::path, std::string>> LeftAlone;
    // The files whose tags were written back, and the files that moved: the name each
    // had before and the name it has now.
    std::vector<std::filesystem::path> Rewritten;
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> Moved;
};

// Hears how far an undo or a redo got: the files done, of all the files of the change.
using TUndoProgress = std::function<void(size_t done, size_t total)>;

class THistory {
public:
    // $XDG_STATE_HOME/velmar/history, else ~/.local/state/velmar/history.
    static std::filesystem::path DefaultFolder();
    explicit THistory(std::filesystem::path folder = DefaultFolder(), THistoryLimits limits = {});

    // Every change recorded, newest first (with `withBytes` false, the tag bytes are not
    // kept, and a record is read again only when its file changed since it was last read).
    // None from a folder that is not the user's own and private (another user's, after
    // `sudo -E`): Undo and Redo throw then.
    std::vector<TChangeRecord> Changes(bool withBytes = false) const;
    // The change Undo(0) would undo and the one Redo would redo; Id 0 where there is none.
    TChangeRecord NextUndo() const;
    TChangeRecord NextRedo() const;
    // Undoes the change `id`, or with 0 the newest that is not undone. An undo, once
    // begun, goes through every file of the change.
    TUndoOutcome Undo(uint64_t id = 0, const TUndoProgress& progress = {});
    // Does again the change undone last, when it is still undone.
    TUndoOutcome Redo(const TUndoProgress& progress = {});
    const std::filesystem::path& Folder() const { return Dir; }
    const THistoryLimits& Limits() const { return Limit; }
    // Taken from the next change on, when it ends.
    void SetLimits(const THistoryLimits& limits) { Limit = limits; }

private:
    friend class TChange;
    // The folder, made 0700; throws when it is not the user's own and private.
    std::filesystem::path OpenFolder() const;
    // Whether there is a folder to read; throws when it is not the user's own and private.
    bool Readable() const;
    void Prune() const;
    std::filesystem::path Dir;
    THistoryLimits Limit;
    // The records read without their bytes, by id, with the size and time of the file they were read from.
    struct TCached {
        int64_t Size = -1, Modified = 0;
        TChangeRecord Record;
    };
    mutable std::map<uint64_t, TCached> Cache;
};

// Records the writes and moves of audio files made while it lives as one change of
// the history. The record is made when the first file is about to be written; a
// change that writes nothing leaves nothing. One change at a time per process.
// With `continuing`, the id of an earlier change, the files are added to that change
// when it is still the newest of the history and was never undone (one window's
// saves, one after another, stay one change); otherwise a new change is made.
class TChange : public TChangeWatch {
public:
    TChange(const THistory& history, std::string command, std::string text, TMessageSink& sink,
            uint64_t continuing = 0);
    ~TChange() override;
    TChange(const TChange&) = delete;
    TChange& operator=(const TChange&) = delete;
    uint64_t Id() const { return RecordId; }
    // True when the change could not be recorded (it still ran): it cannot be undone.
    bool NotRecorded() const { return Failed; }

    // Records the old tags of these files at once, before the first of them is written;
    // a file's save then finds its old tags recorded already, unless the file changed
    // meanwhile. They are flushed once, here or (`inGroups`: the files are saved in
    // groups, which flush the record first) by the first save outside a group.
    void Prepare(const std::vector<std::filesystem::path>& files, bool inGroups = false);

    void BeforeWrite(const std::filesystem::path& file, int fd, int64_t headLength, int64_t tailFrom,
                     bool inGroup) override;
    void AfterWrite(const std::filesystem::path& file, const TBytes& head, const TBytes& tail, int64_t size,
                    int64_t modified) override;
    void AfterMove(const std::filesystem::path& from, const std::filesystem::path& to) override;
    void BeforeSplice(const std::filesystem::path& file, int fd, const std::vector<TSplice>& splices,
                      int64_t headLength, int64_t tailLength) override;
    void AfterSplice(const std::filesystem::path& file, int64_t size, int64_t modified) override;
    void GroupBegun(const std::filesystem::path& mark) override;
    int RecordFile() const override { return Fd; }
    void GroupEnded(const std::filesystem::path& mark) override;

private:
    struct TPrepared {
        TBytes Head, Tail;
        int64_t Modified = 0;
    };
    std::map<std::filesystem::path, TPrepared> Prepared;
    bool PreparedDurable = false;
    // A file's tags as a save replaces them (everything before its audio and after
    // it), with its time; none when it cannot be read.
    static std::optional<TPrepared> ReadOldTags(const std::filesystem::path& file);
    void RecordOldTags(const std::filesystem::path& file, const TPrepared& old, bool flush);
    void Open();
    void Append(char kind, const TBytes& payload, bool flush);
    const THistory& History;
    std::string Command, Text;
    TMessageSink& Sink;
    uint64_t RecordId = 0;
    uint64_t Continuing = 0;
    int Fd = -1;
    bool Failed = false;
    TChangeWatch* Previous = nullptr;
    std::vector<std::filesystem::path> Written;  // the files with a "before" entry, by index
    std::map<std::filesystem::path, std::pair<int64_t, int64_t>> SplicedRegions;  // head and tail lengths
    std::vector<std::filesystem::path> Marks;  // of groups whose end is recorded: removed once that is durable
};

}  // namespace velmar
