#pragma once
// The one place every write and every move of an audio file is seen from, so that
// a history of changes can record what each replaced. Process-wide, set for the
// length of one change; none by default.
#include <cstdint>
#include <filesystem>
#include <vector>

#include "base/iofunc.h"

namespace velmar {

// One change of a file's bytes by a rewrite: at `Offset` (of the file before it),
// the bytes `Old` give way to `New`. A list of them, in order of offset and apart,
// is the whole change; its inverse, taken on the new file, puts the old one back.
struct TSplice {
    int64_t Offset = 0;
    TBytes Old, New;
    bool operator==(const TSplice&) const = default;
};
// The splices that turn the file the list made back into the one it was made from.
std::vector<TSplice> InverseSplices(const std::vector<TSplice>& splices);

class TChangeWatch {
public:
    virtual ~TChangeWatch() = default;
    // Before the file is written: `fd` is the file, locked; the save replaces its
    // first `headLength` bytes and everything from `tailFrom` on. With `inGroup`, the
    // save waits for a group's commit, which first flushes RecordFile's file system:
    // what is recorded now need not be flushed here. Throwing stops the save.
    virtual void BeforeWrite(const std::filesystem::path& file, int fd, int64_t headLength, int64_t tailFrom,
                             bool inGroup) = 0;
    // After the save: the file begins with `head` and ends with `tail` (its new tags),
    // and has this size and modification time (nanoseconds).
    virtual void AfterWrite(const std::filesystem::path& file, const TBytes& head, const TBytes& tail, int64_t size,
                            int64_t modified) = 0;
    // After an audio file was given a new name.
    virtual void AfterMove(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    // Before the file (locked, `fd`) is rewritten with these splices, all of them between
    // its first `headLength` bytes and its last `tailLength` ones, which stay as they are.
    // Throwing stops the rewrite.
    virtual void BeforeSplice(const std::filesystem::path& file, int fd, const std::vector<TSplice>& splices,
                              int64_t headLength, int64_t tailLength) = 0;
    // After that rewrite: the file's new size and modification time.
    virtual void AfterSplice(const std::filesystem::path& file, int64_t size, int64_t modified) = 0;
    // A group of saves (file/inplace.h TSaveGroup) is committed: the AfterWrite calls
    // that follow, up to GroupEnded, are its files, which count as written only once
    // the file `mark` is made durable, together with what is recorded by then (the
    // group flushes the file system of RecordFile with its journals', and with the
    // mark's). After GroupEnded
    // the watch owns the mark: it removes it once its own record of the group's end
    // is durable.
    virtual void GroupBegun(const std::filesystem::path& /*mark*/) {}
    virtual int RecordFile() const { return -1; }
    virtual void GroupEnded(const std::filesystem::path& /*mark*/) {}
};

void SetChangeWatch(TChangeWatch* watch);
TChangeWatch* ChangeWatch();

}  // namespace velmar
