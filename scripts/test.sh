#!/usr/bin/env bash
# Installs what is needed, builds Velmar and runs every test twice: once in a
# normal build and once under AddressSanitizer + UndefinedBehaviorSanitizer; the
# player's tests a third time under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_WERROR=ON
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVELMAR_SANITIZE=ON -DVELMAR_BENCH=OFF -DVELMAR_WERROR=ON
cmake --build build-asan -j "$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$jobs")
# The player's engine runs a thread of its own, and the core reads many files on a
# pool of threads: their tests again under ThreadSanitizer (the player's start mpg123
# and lame, hence die_after_fork=0).
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVELMAR_TSAN=ON -DVELMAR_BENCH=OFF -DVELMAR_WERROR=ON
cmake --build build-tsan -j "$jobs" --target gui_playback_test core_parallel_test
(cd build-tsan && TSAN_OPTIONS="die_after_fork=0 halt_on_error=1" ctest --output-on-failure -R '^(gui_playback|core_parallel)$')
echo "All tests passed (normal, address and thread sanitizer builds)."
