#pragma once
// Reads many files at once on the shared thread pool and hands each file's result
// and messages back to the calling thread in the files' order.
#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/messages.h"
#include "base/threadpool.h"
#include "file/filescan.h"

namespace velmar {

// What reading one file gave: the read's value and the messages it sent, in order.
template <class T>
struct TFileRead {
    T Value{};                          // T{} when the read threw
    std::vector<std::string> Messages;  // the file's own messages only
    bool Failed = false;                // the read threw; "Error: " and its text is the last message
};

// Calls read(i, sink) for the items 0..n-1 on the pool, each with a sink of its
// own, and hands the results to deliver(i, result) on the calling thread in index
// order. `deliver` or `idle` returning false cancels (see OrderedMap); `idle` runs
// about every 50 ms while the calling thread waits. True when every item was delivered.
// `read` runs on several threads at once: it may only touch what belongs to its item.
template <class T>
bool ReadItemsInOrder(size_t n, const std::function<T(size_t, TCollectingSink&)>& read,
                      const std::function<bool(size_t, TFileRead<T>&&)>& deliver,
                      const std::function<bool()>& idle = {}) {
    return OrderedMap<TFileRead<T>>(
        n,
        [&read](size_t i) {
            TFileRead<T> r;
            TCollectingSink sink;
            try {
                r.Value = read(i, sink);
            } catch (const std::exception& e) {
                sink.Messages.push_back(std::string("Error: ") + e.what());
                r.Failed = true;
            }
            r.Messages = std::move(sink.Messages);
            return r;
        },
        [&deliver](size_t i, TItemResult<TFileRead<T>>&& item) {
            if (item.Ok()) return deliver(i, std::move(*item.Value));
            TFileRead<T> failed;
            failed.Messages.push_back("Error: " + item.Failure);
            failed.Failed = true;
            return deliver(i, std::move(failed));
        },
        idle);
}

// The same for files: read(path, sink) for each of `files`.
template <class T>
bool ReadFilesInOrder(const std::vector<std::filesystem::path>& files,
                      const std::function<T(const std::filesystem::path&, TCollectingSink&)>& read,
                      const std::function<bool(size_t, TFileRead<T>&&)>& deliver,
                      const std::function<bool()>& idle = {}) {
    return ReadItemsInOrder<T>(
        files.size(), [&](size_t i, TCollectingSink& sink) { return read(files[i], sink); }, deliver, idle);
}

// The same for a list of paths: each path is made an object only while its file is read.
template <class T>
bool ReadFilesInOrder(const TPathList& files,
                      const std::function<T(const std::filesystem::path&, TCollectingSink&)>& read,
                      const std::function<bool(size_t, TFileRead<T>&&)>& deliver,
                      const std::function<bool()>& idle = {}) {
    return ReadItemsInOrder<T>(
        files.size(), [&](size_t i, TCollectingSink& sink) { return read(std::filesystem::path(files[i]), sink); },
        deliver, idle);
}

}  // namespace velmar
