#!/usr/bin/env bash
# Installs what is needed, builds Velmar and runs every test twice: once in a
# normal build and once under AddressSanitizer + UndefinedBehaviorSanitizer.
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
echo "All tests passed (normal and sanitizer builds)."
