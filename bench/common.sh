# Shared by the benchmark scripts: builds the targets they name (unless SKIP_BUILD=1)
# and makes the folder of 10,000 generated files when it is missing.
#   bench_setup FOLDER BUILD TARGET...
bench_setup() {
  local folder=$1 build=$2
  shift 2
  if [ "${SKIP_BUILD:-0}" != 1 ]; then
    scripts/deps.sh
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_BENCH=ON -DVELMAR_SANITIZE=OFF >/dev/null
    cmake --build "$build" -j 2 --target velmar-bench-gen "$@"
  fi
  local stamp="$folder/.velmar-bench-stamp"
  if [ ! -f "$stamp" ]; then
    rm -rf "$folder"
    "$build/bench/tagread/velmar-bench-gen" "$folder" 10000 500 20240611
    echo "count=10000 per_folder=500 seed=20240611 generator=2" >"$stamp"
  fi
}
