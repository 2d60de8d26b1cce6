#pragma once
// A small pool of worker threads and an ordered parallel map on it: many files are
// read at once, while their results reach the caller one by one in their order.
#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmar {

class TThreadPool {
public:
    explicit TThreadPool(unsigned threads);
    // Waits for the tasks already queued, then ends the threads.
    ~TThreadPool();
    TThreadPool(const TThreadPool&) = delete;
    TThreadPool& operator=(const TThreadPool&) = delete;

    unsigned Size() const { return unsigned(Threads.size()); }
    // Queues a task; it runs on one of the threads. A task that throws is ended there.
    void Post(std::function<void()> task);
    // True on the threads of any pool.
    static bool OnWorkerThread();

    // The pool every part of the program shares: max(4, hardware threads), made on first use.
    static TThreadPool& Shared();

private:
    void Work();

    std::mutex Lock;
    std::condition_variable Wake;
    std::deque<std::function<void()>> Tasks;
    bool Stopping = false;
    std::vector<std::thread> Threads;
};

// The outcome of one item of an ordered map: the value `read` returned, or the
// text of the exception that ended it.
template <class T>
struct TItemResult {
    std::optional<T> Value;
    std::string Failure;  // the exception's what(), when there is no value
    bool Ok() const { return Value.has_value(); }
};

namespace detail {
// Runs work(i) for i = 0..n-1 on the pool in runs of `chunk` neighbouring items, none
// more than `window` items ahead of the one next delivered (window a multiple of
// chunk), and calls deliver(i) on this thread in index order once work(i) has
// finished. `idle` runs about every 50 ms while this thread waits. Either returning
// false stops: nothing new starts, and the work under way is waited for. `work`
// must not throw. True when every item was delivered.
bool RunInOrder(size_t n, size_t chunk, size_t window, TThreadPool& pool, const std::function<void(size_t)>& work,
                const std::function<bool(size_t)>& deliver, const std::function<bool()>& idle);
// Neighbouring items a thread takes at once: up to 64 when there are many, so that
// small items (a warm file's tags take microseconds) do not cost the caller a wake-up
// every few of them; single ones when there are few.
inline size_t ChunkFor(size_t n, const TThreadPool& pool) {
    return std::clamp<size_t>(n / (8 * size_t(pool.Size())), 1, 64);
}
}  // namespace detail

// The most items an ordered map of n items reads ahead of the one it delivers next:
// a few runs per thread.
inline size_t OrderedMapWindow(size_t n, const TThreadPool& pool = TThreadPool::Shared()) {
    return 4 * size_t(pool.Size()) * detail::ChunkFor(n, pool);
}

// Runs read(i) for the items 0..n-1 on the pool and hands each result to
// deliver(i, result) on the calling thread, strictly in index order. At most
// OrderedMapWindow(n) items are read ahead of delivery, so memory stays bounded for any n.
// `deliver` returning false cancels: no further item is started, the items under way
// are waited for and their results dropped. While the calling thread waits for the
// next result it calls `idle` (when given) about every 50 ms; false from it cancels
// the same way. An exception thrown by `read` becomes that item's Failure. Called on
// a thread of the pool (a read that maps again), or for fewer than two items, the
// items are read in turn on the calling thread. `on` is the pool, the shared one when
// null. True when every item was delivered.
template <class T>
bool OrderedMap(size_t n, const std::function<T(size_t)>& read,
                const std::function<bool(size_t, TItemResult<T>&&)>& deliver, const std::function<bool()>& idle = {},
                TThreadPool* on = nullptr) {
    auto readOne = [&read](size_t i) {
        TItemResult<T> r;
        try {
            r.Value.emplace(read(i));
        } catch (const std::exception& e) {
            r.Failure = e.what();
        } catch (...) {
            r.Failure = "unknown error";
        }
        return r;
    };
    if (n < 2 || TThreadPool::OnWorkerThread()) {
        for (size_t i = 0; i < n; ++i)
            if (!deliver(i, readOne(i))) return false;
        return true;
    }
    // The shared pool is made only here: reading one file starts no threads.
    TThreadPool& pool = on ? *on : TThreadPool::Shared();
    const size_t window = OrderedMapWindow(n, pool);
    // Item i's result waits in slot i % window; the window keeps two items under way from sharing one.
    std::vector<std::optional<TItemResult<T>>> results(window);
    return detail::RunInOrder(
        n, detail::ChunkFor(n, pool), window, pool, [&](size_t i) { results[i % window].emplace(readOne(i)); },
        [&](size_t i) {
            std::optional<TItemResult<T>>& slot = results[i % window];
            TItemResult<T> r = slot ? std::move(*slot) : TItemResult<T>{std::nullopt, "the item was not read"};
            slot.reset();
            return deliver(i, std::move(r));
        },
        idle);
}

}  // namespace velmar
