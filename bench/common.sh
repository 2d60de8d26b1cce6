# shellcheck shell=bash
# Shared by the benchmark scripts (source it from the top of the source tree).
#
#   bench_build BUILD TARGET...   configures BUILD for benchmarking and builds the
#                                 targets (nothing when SKIP_BUILD=1)
#   bench_folder FOLDER BUILD     makes the folder of 10,000 generated files of the
#                                 tag-reading benchmark when it is missing or was made
#                                 with other settings (needs velmar-bench-gen built)
#   bench_setup FOLDER BUILD TARGET...   both: builds velmar-bench-gen and the
#                                 targets, then makes the folder
bench_build() {
  local build=$1
  shift
  [ "${SKIP_BUILD:-0}" = 1 ] && return 0
  scripts/deps.sh
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_BENCH=ON -DVELMAR_SANITIZE=OFF >/dev/null
  cmake --build "$build" -j 2 --target "$@"
}

bench_folder() {
  local folder=$1 build=$2
  # The same settings and stamp as bench/run-tagread.sh, so the benchmarks share one folder.
  # The stamp is written last, so a folder whose making was cut short is made anew.
  local stamp="$folder/.velmar-bench-stamp"
  local want="count=10000 per_folder=500 seed=20240611 generator=2"
  if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
    rm -rf "$folder"
    "$build/bench/tagread/velmar-bench-gen" "$folder" 10000 500 20240611
    echo "$want" >"$stamp"
  fi
}

bench_setup() {
  local folder=$1 build=$2
  shift 2
  bench_build "$build" velmar-bench-gen "$@"
  bench_folder "$folder" "$build"
}
