#include "file/changewatch.h"

#include <atomic>

namespace velmar {

namespace {
std::atomic<TChangeWatch*> gWatch{nullptr};
}

void SetChangeWatch(TChangeWatch* watch) { gWatch = watch; }
TChangeWatch* ChangeWatch() { return gWatch; }

}  // namespace velmar
