#include "base/threadpool.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace velmar {

namespace {
thread_local bool tOnWorker = false;
}  // namespace

TThreadPool::TThreadPool(unsigned threads) {
    threads = std::max(1u, threads);
    Threads.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) Threads.emplace_back([this] { Work(); });
}

TThreadPool::~TThreadPool() {
    {
        const std::lock_guard lock(Lock);
        Stopping = true;
    }
    Wake.notify_all();
    for (std::thread& t : Threads) t.join();
}

void TThreadPool::Post(std::function<void()> task) {
    {
        const std::lock_guard lock(Lock);
        Tasks.push_back(std::move(task));
    }
    Wake.notify_one();
}

bool TThreadPool::OnWorkerThread() { return tOnWorker; }

void TThreadPool::Work() {
    tOnWorker = true;
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(Lock);
            Wake.wait(lock, [this] { return Stopping || !Tasks.empty(); });
            if (Tasks.empty()) return;  // stopping, and every queued task has run
            task = std::move(Tasks.front());
            Tasks.pop_front();
        }
        try {
            task();
        } catch (...) {
            // A task reports its own failures; one that escapes must not end the thread.
        }
    }
}

TThreadPool& TThreadPool::Shared() {
    static TThreadPool pool(std::max(4u, std::thread::hardware_concurrency()));
    return pool;
}

namespace detail {

namespace {

// What the calling thread and the tasks of one run share. Tasks hold it too, so it
// lives until the last of them has let go of it.
struct TRunState {
    std::mutex Lock;
    std::condition_variable Finished;
    std::vector<char> Done;  // by slot: the item's work has finished
    static constexpr size_t kNobody = size_t(-1);
    size_t Running = 0;           // tasks not yet finished
    size_t WaitingFor = kNobody;  // the item the calling thread sleeps for: only it wakes the caller
};

constexpr auto kIdleEvery = std::chrono::milliseconds(50);

// One run of neighbouring items on a pool thread; each item's slot is marked done as it finishes.
void RunChunk(TRunState& state, const std::function<void(size_t)>& work, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
        try {
            work(i);
        } catch (...) {
            // The item's slot stays empty: the map reports it as not read.
        }
        const std::lock_guard lock(state.Lock);
        state.Done[i % state.Done.size()] = 1;
        if (state.WaitingFor == i) state.Finished.notify_all();
    }
    const std::lock_guard lock(state.Lock);
    if (--state.Running == 0) state.Finished.notify_all();
}

}  // namespace

bool RunInOrder(size_t n, size_t chunk, size_t window, TThreadPool& pool, const std::function<void(size_t)>& work,
                const std::function<bool(size_t)>& deliver, const std::function<bool()>& idle) {
    chunk = std::max<size_t>(1, chunk);
    window = std::max(chunk, window);
    const auto state = std::make_shared<TRunState>();
    state->Done.assign(window, 0);
    size_t started = 0, delivered = 0;
    // Starts every run whose items all fit in the window ahead of the next delivery.
    auto startRuns = [&] {
        for (size_t end; started < n && (end = std::min(n, started + chunk)) - delivered <= window; started = end) {
            {
                const std::lock_guard lock(state->Lock);
                ++state->Running;
            }
            pool.Post([state, &work, begin = started, end] { RunChunk(*state, work, begin, end); });
        }
    };
    // `work` is the caller's: every task that may call it has finished before this returns.
    auto waitForRunning = [&state] {
        std::unique_lock lock(state->Lock);
        state->Finished.wait(lock, [&state] { return state->Running == 0; });
    };
    bool cancelled = false;
    auto lastIdle = std::chrono::steady_clock::now();
    try {
        while (delivered < n && !cancelled) {
            startRuns();
            // The caller sleeps until the whole run holding the next item is done (a run
            // marks its items in order), then hands them all on: one wake-up per run. A
            // run still under way when the caller wakes to idle hands on what of it is
            // done, so that slow items show as they finish.
            const size_t end = std::min(n, (delivered / chunk + 1) * chunk);
            size_t ready = delivered;
            {
                std::unique_lock lock(state->Lock);
                const char& done = state->Done[(end - 1) % window];
                state->WaitingFor = end - 1;
                const bool whole =
                    state->Finished.wait_until(lock, lastIdle + kIdleEvery, [&done] { return done != 0; });
                state->WaitingFor = TRunState::kNobody;
                if (whole) {
                    ready = end;
                } else {
                    while (ready < end && state->Done[ready % window]) ++ready;
                }
                for (size_t i = delivered; i < ready; ++i) state->Done[i % window] = 0;
            }
            const bool whole = ready == end;
            while (delivered < ready && !cancelled) cancelled = !deliver(delivered++);
            if (!whole && !cancelled) {
                lastIdle = std::chrono::steady_clock::now();
                cancelled = idle && !idle();
            }
        }
    } catch (...) {
        waitForRunning();
        throw;
    }
    waitForRunning();
    return !cancelled;
}

}  // namespace detail

}  // namespace velmar
