#pragma once
// The one place every write and every move of an audio file is seen from, so that
// a history of changes can record what each replaced. Process-wide, set for the
// length of one change; none by default.
#include <cstdint>
#include <filesystem>

#include "base/iofunc.h"

namespace velmar {

class TChangeWatch {
public:
    virtual ~TChangeWatch() = default;
    // Before the file is written: `fd` is the file, locked; the save replaces its
    // first `headLength` bytes and everything from `tailFrom` on. Throwing stops the save.
    virtual void BeforeWrite(const std::filesystem::path& file, int fd, int64_t headLength, int64_t tailFrom) = 0;
    // After the save: the file begins with `head` and ends with `tail` (its new tags),
    // and has this size and modification time (nanoseconds).
    virtual void AfterWrite(const std::filesystem::path& file, const TBytes& head, const TBytes& tail, int64_t size,
                            int64_t modified) = 0;
    // After an audio file was given a new name.
    virtual void AfterMove(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
};

void SetChangeWatch(TChangeWatch* watch);
TChangeWatch* ChangeWatch();

}  // namespace velmar
