// The thread pool's ordered map, the parallel folder scan and the ordered file
// reader: results in their order whatever order the threads finish in, reading
// bounded ahead, cancelling, failures kept to their item. A target of its own, so
// that the ThreadSanitizer run builds and runs just these.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <stdexcept>
#include <thread>

#include "../core/testfiles.h"
#include "file/filereader.h"
#include "file/filescan.h"

namespace {

using namespace velmar;
using namespace vtest;

// A short pause that differs from item to item, so that items finish out of order.
void Jitter(size_t i) {
    thread_local std::minstd_rand random(unsigned(std::hash<std::thread::id>()(std::this_thread::get_id())));
    std::this_thread::sleep_for(std::chrono::microseconds((i * 7919 + random()) % 400));
}

TEST(OrderedMap, DeliversInOrderOnTheCallerWhileReadingOnSeveralThreadsBoundedAhead) {
    constexpr size_t n = 2000;
    const size_t window = OrderedMapWindow(n);
    std::atomic<size_t> delivered{0}, furthestAhead{0};
    std::mutex lock;
    std::set<std::thread::id> readers;
    std::vector<size_t> finishOrder;
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<size_t> seen;
    const bool all = OrderedMap<size_t>(
        n,
        [&](size_t i) {
            const size_t ahead = i - delivered.load();
            size_t was = furthestAhead.load();
            while (ahead > was && !furthestAhead.compare_exchange_weak(was, ahead)) {}
            Jitter(i);
            const std::lock_guard guard(lock);
            readers.insert(std::this_thread::get_id());
            finishOrder.push_back(i);
            return i * i;
        },
        [&](size_t i, TItemResult<size_t>&& r) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            EXPECT_TRUE(r.Ok());
            EXPECT_EQ(*r.Value, i * i);
            seen.push_back(i);
            delivered = seen.size();
            return true;
        });
    EXPECT_TRUE(all);
    ASSERT_EQ(seen.size(), n);
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(seen[i], i);
    EXPECT_GT(readers.size(), 1u);
    EXPECT_EQ(readers.count(caller), 0u);
    EXPECT_FALSE(std::is_sorted(finishOrder.begin(), finishOrder.end()));  // the threads did overtake each other
    EXPECT_LT(furthestAhead.load(), window);
}

TEST(OrderedMap, CancelStopsStartingAndWaitsForTheReadsUnderWay) {
    constexpr size_t n = 5000;
    std::atomic<size_t> started{0}, running{0};
    std::vector<size_t> seen;
    const bool all = OrderedMap<int>(
        n,
        [&](size_t i) {
            ++started;
            ++running;
            Jitter(i);
            --running;
            return 0;
        },
        [&](size_t i, TItemResult<int>&&) {
            seen.push_back(i);
            return i < 10;
        });
    EXPECT_FALSE(all);
    EXPECT_EQ(seen.size(), 11u);  // item 10 said stop
    EXPECT_EQ(running.load(), 0u);
    EXPECT_LE(started.load(), 10 + OrderedMapWindow(n));
    // Cancelling on the last item still says so.
    EXPECT_FALSE(OrderedMap<int>(
        3, [](size_t) { return 0; }, [](size_t i, TItemResult<int>&&) { return i < 2; }));
}

// Items are handed out in runs; a run with a slow item still hands on the items of
// it that are done, as the caller wakes to idle, so that progress shows.
TEST(OrderedMap, ASlowRunHandsOnWhatOfItIsDone) {
    constexpr size_t n = 320;
    const size_t chunk = detail::ChunkFor(n, TThreadPool::Shared());
    ASSERT_GE(chunk, 2u);
    const size_t slow = chunk - 1;  // the last item of the first run
    std::atomic<bool> release{false};
    std::vector<size_t> seen;
    size_t seenAtRelease = 0;
    const bool all = OrderedMap<int>(
        n,
        [&](size_t i) {
            for (int k = 0; i == slow && !release && k < 1000; ++k)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return 0;
        },
        [&](size_t i, TItemResult<int>&&) {
            seen.push_back(i);
            return true;
        },
        [&] {
            if (!release && seen.size() == slow) {
                seenAtRelease = seen.size();
                release = true;
            }
            return true;
        });
    EXPECT_TRUE(all);
    EXPECT_EQ(seenAtRelease, slow);  // every item before the slow one, while it was still read
    ASSERT_EQ(seen.size(), n);
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(seen[i], i);
}

TEST(OrderedMap, IdleRunsWhileWaitingAndCanCancel) {
    std::atomic<bool> release{false};
    int idles = 0;
    std::vector<size_t> seen;
    const bool all = OrderedMap<int>(
        8,
        [&](size_t i) {
            while (i == 3 && !release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return 0;
        },
        [&](size_t i, TItemResult<int>&&) {
            seen.push_back(i);
            return true;
        },
        [&] {
            if (++idles == 3) release = true;
            return true;
        });
    EXPECT_TRUE(all);
    EXPECT_GE(idles, 3);
    EXPECT_EQ(seen, (std::vector<size_t>{0, 1, 2, 3, 4, 5, 6, 7}));

    std::atomic<bool> stop{false};
    seen.clear();
    const bool stopped = OrderedMap<int>(
        8,
        [&](size_t i) {
            while (i == 3 && !stop) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return 0;
        },
        [&](size_t i, TItemResult<int>&&) {
            seen.push_back(i);
            return true;
        },
        [&] {
            if (seen.size() < 3) return true;  // a slow start is no reason to stop
            stop = true;
            return false;
        });
    EXPECT_FALSE(stopped);
    EXPECT_EQ(seen, (std::vector<size_t>{0, 1, 2}));
}

TEST(OrderedMap, AnExceptionFailsOnlyItsItemAndMapsNestInsideReads) {
    std::vector<std::string> outcomes;
    EXPECT_TRUE(OrderedMap<std::string>(
        20,
        [](size_t i) -> std::string {
            if (i == 7) throw std::runtime_error("seven is broken");
            if (i == 11) throw 11;
            return std::to_string(i);
        },
        [&](size_t, TItemResult<std::string>&& r) {
            outcomes.push_back(r.Ok() ? *r.Value : "failed: " + r.Failure);
            return true;
        }));
    ASSERT_EQ(outcomes.size(), 20u);
    EXPECT_EQ(outcomes[6], "6");
    EXPECT_EQ(outcomes[7], "failed: seven is broken");
    EXPECT_EQ(outcomes[8], "8");
    EXPECT_EQ(outcomes[11], "failed: unknown error");
    EXPECT_EQ(outcomes[19], "19");

    // A read that maps again runs its inner map in turn on its own thread instead of
    // waiting for pool threads that are all busy with outer reads.
    std::vector<size_t> sums;
    EXPECT_TRUE(OrderedMap<size_t>(
        64,
        [](size_t i) {
            size_t sum = 0;
            OrderedMap<size_t>(
                10, [i](size_t k) { return i * k; },
                [&sum](size_t, TItemResult<size_t>&& r) {
                    sum += *r.Value;
                    return true;
                });
            return sum;
        },
        [&](size_t, TItemResult<size_t>&& r) {
            sums.push_back(*r.Value);
            return true;
        }));
    ASSERT_EQ(sums.size(), 64u);
    EXPECT_EQ(sums[5], 5u * 45);
}

// ---- folder scan ----

// The order the scan promises, by a plain recursive walk: own audio files sorted,
// then each sub-folder sorted, linked folders left out.
void ReferenceWalk(const fs::path& folder, std::vector<fs::path>& out) {
    std::vector<fs::path> files, folders;
    for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
        if (e.is_directory() && e.is_symlink()) continue;
        if (e.is_directory())
            folders.push_back(e.path());
        else if (IsAudioFileName(e.path().filename()))
            files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    out.insert(out.end(), files.begin(), files.end());
    for (const fs::path& f : folders) ReferenceWalk(f, out);
}

TEST(ScanFolder, ListsOwnFilesBeforeSubFoldersLikeASequentialWalk) {
    TTempDir dir;
    const fs::path root = dir / "tree";
    // Five levels, folders of different widths, names whose order differs from their making.
    std::minstd_rand random(20240611);
    std::vector<fs::path> folders{root};
    for (size_t k = 0; k < folders.size() && folders.size() < 120; ++k) {
        const int children = int(random() % 5);
        for (int c = 0; c < children && fs::relative(folders[k], root).string().size() < 40; ++c)
            folders.push_back(folders[k] / ("d" + std::to_string(random() % 1000)));
    }
    size_t made = 0;
    for (const fs::path& f : folders) {
        fs::create_directories(f);
        for (int i = int(random() % 30); i > 0; --i, ++made)
            WriteFile(f / ("t" + std::to_string(random() % 100000) + (i % 4 ? ".mp3" : ".MP2")), B("x"));
        WriteFile(f / "cover.jpg", B("x"));
    }
    fs::create_directories(root / "a.mp3");  // a folder named like a file is walked, not listed
    WriteFile(root / "a.mp3" / "inside.mp3", B("x"));
    fs::create_directory_symlink(root / "a.mp3", root / "linked");
    fs::create_directory_symlink(root, root / "loop.mp3");  // never followed, never listed

    std::vector<fs::path> expected;
    ReferenceWalk(root, expected);
    ASSERT_GT(expected.size(), 500u);
    EXPECT_EQ(ScanFolder(root), expected);
    EXPECT_EQ(*ScanFolderWithProgress(root, [](size_t) { return true; }), expected);

    // By hand on a small part: own files first, then the folders by name.
    const fs::path small = dir / "small";
    for (const char* name : {"b.mp3", "sub/a.mp3", "a.MPA", "sub/deeper/c.mp3", "z.mp3", "sub2/y.mp3"}) {
        fs::create_directories((small / name).parent_path());
        WriteFile(small / name, B("x"));
    }
    EXPECT_EQ(ScanFolder(small),
              (std::vector<fs::path>{small / "a.MPA", small / "b.mp3", small / "z.mp3", small / "sub/a.mp3",
                                     small / "sub/deeper/c.mp3", small / "sub2/y.mp3"}));
    EXPECT_TRUE(ScanFolder(dir / "missing").empty());
    // Paths as given: a file, a folder's files, another file.
    EXPECT_EQ(
        ExpandPaths({small / "z.mp3", small / "sub", dir / "gone.mp3"}),
        (std::vector<fs::path>{small / "z.mp3", small / "sub/a.mp3", small / "sub/deeper/c.mp3", dir / "gone.mp3"}));
}

// ---- file reader ----

TEST(ReadFilesInOrder, EachFileKeepsItsValueAndItsOwnMessagesInOrder) {
    TTempDir dir;
    std::vector<fs::path> files;
    const TBytes audio = Frames({}, 4);
    for (int i = 0; i < 300; ++i) {
        if (i % 37 == 5) {
            files.push_back(dir / ("gone" + std::to_string(i) + ".mp3"));
            continue;
        }
        TV1 v1;
        v1.Title = "Song " + std::to_string(i);
        files.push_back(dir.Put("f" + std::to_string(i) + ".mp3", Cat({audio, Id3v1(v1)})));
    }
    size_t next = 0;
    EXPECT_TRUE(ReadFilesInOrder<std::string>(
        files,
        [](const fs::path& file, TCollectingSink& sink) {
            TMP3Object object(sink);
            const std::string name = file.filename().string();
            sink.Error("first of " + name);
            std::string title = object.LoadFile(file, false) ? TID3v1Object::FieldText(object.ID3v1().Title) : "";
            std::this_thread::sleep_for(std::chrono::microseconds(name.size() * 37 % 200));
            sink.Error("last of " + name);
            return title;
        },
        [&](size_t i, TFileRead<std::string>&& read) {
            EXPECT_EQ(i, next++);
            const std::string name = files[i].filename().string();
            EXPECT_FALSE(read.Failed);
            const bool gone = name.starts_with("gone");
            EXPECT_EQ(read.Value, gone ? "" : "Song " + std::to_string(i));
            // The loader's own message about a missing file comes between the two of this read.
            EXPECT_EQ(read.Messages.size(), gone ? 3u : 2u) << name;
            EXPECT_EQ(read.Messages.front(), "first of " + name);
            EXPECT_EQ(read.Messages.back(), "last of " + name);
            return true;
        }));
    EXPECT_EQ(next, files.size());
}

TEST(ReadFilesInOrder, AThrowingReadKeepsItsEarlierMessagesAndCancelStops) {
    const std::vector<fs::path> files = {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"};
    std::map<size_t, TFileRead<int>> got;
    EXPECT_TRUE(ReadFilesInOrder<int>(
        files,
        [](const fs::path& file, TCollectingSink& sink) {
            sink.Error("reading " + file.string());
            if (file == "c.mp3") throw std::runtime_error("c cannot be read");
            return 1;
        },
        [&](size_t i, TFileRead<int>&& read) {
            got[i] = std::move(read);
            return true;
        }));
    ASSERT_EQ(got.size(), 5u);
    EXPECT_TRUE(got[2].Failed);
    EXPECT_EQ(got[2].Value, 0);
    EXPECT_EQ(got[2].Messages, (std::vector<std::string>{"reading c.mp3", "Error: c cannot be read"}));
    EXPECT_FALSE(got[3].Failed);
    EXPECT_EQ(got[3].Value, 1);
    EXPECT_EQ(got[3].Messages, (std::vector<std::string>{"reading d.mp3"}));

    size_t delivered = 0;
    EXPECT_FALSE(ReadFilesInOrder<int>(
        files, [](const fs::path&, TCollectingSink&) { return 0; },
        [&](size_t, TFileRead<int>&&) { return ++delivered < 2; }));
    EXPECT_EQ(delivered, 2u);
}

}  // namespace
