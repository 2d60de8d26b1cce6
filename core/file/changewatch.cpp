#include "file/changewatch.h"

#include <atomic>

namespace velmar {

namespace {
std::atomic<TChangeWatch*> gWatch{nullptr};
}

void SetChangeWatch(TChangeWatch* watch) { gWatch = watch; }
TChangeWatch* ChangeWatch() { return gWatch; }

std::vector<TSplice> InverseSplices(const std::vector<TSplice>& splices) {
    std::vector<TSplice> out;
    int64_t shift = 0;  // how much longer the new file is up to here
    for (const TSplice& s : splices) {
        out.push_back({s.Offset + shift, s.New, s.Old});
        shift += int64_t(s.New.size()) - int64_t(s.Old.size());
    }
    return out;
}

}  // namespace velmar
