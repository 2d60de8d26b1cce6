#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs one of them for a number of seconds.
#
#   tests/fuzz/run-fuzz.sh checker|tagreader|journal [SECONDS] [libFuzzer options...]
#
# Seeds: ../shared/corpus and data/samples (read only). New inputs go to
# build-fuzz/corpus-NAME, crashes to build-fuzz/artifacts/. Set BUILD_DIR to
# build elsewhere. Runs in one process, so that it shares the machine.
# Needs the Debian packages clang and libclang-rt-14-dev (not part of
# scripts/deps.sh: no test of the normal run needs them).
set -euo pipefail
command -v clang++ >/dev/null || { echo "run-fuzz.sh: clang++ not found (apt-get install clang libclang-rt-14-dev)" >&2; exit 1; }
cd "$(dirname "$0")/../.."
name=${1:?usage: run-fuzz.sh checker|tagreader|journal [SECONDS] [libFuzzer options...]}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
case $name in checker|tagreader|journal) ;; *) echo "run-fuzz.sh: unknown harness $name" >&2; exit 2 ;; esac

build=${BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMAR_FUZZ=ON -DVELMAR_SANITIZE=ON -DVELMAR_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target "fuzz_$name"

corpus="$build/corpus-$name"
mkdir -p "$corpus" "$build/artifacts"
seeds=(data/samples)
[ -d ../shared/corpus ] && seeds+=(../shared/corpus)

# Saving a file flushes it to the disk; on a memory file system that costs nothing.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" \
  -max_len=65536 -timeout=20 -rss_limit_mb=4096 -artifact_prefix="$build/artifacts/$name-" \
  "$@" "$corpus" "${seeds[@]}"
