#!/usr/bin/env bash
# Tag-reading benchmark: Velmar's core against TagLib on a folder of 10,000
# generated MP3 files (files per second, warm cache), then the peak memory and
# wall time of `velmar-cli info --json FOLDER`.
#
# usage: bench/run-tagread.sh [FOLDER]
#   FOLDER     where the files are made (default /tmp/velmar-bench-tagread);
#              made again when missing or made with other settings
# environment: BUILD_DIR (default build-bench), COUNT (10000), ROUNDS (3),
#              SKIP_BUILD=1 to use an existing build as it is
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/tmp/velmar-bench-tagread}
build=${BUILD_DIR:-build-bench}
count=${COUNT:-10000}
rounds=${ROUNDS:-3}
per_folder=500
seed=20240611

if [ "${SKIP_BUILD:-0}" != 1 ]; then
  scripts/deps.sh
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_BENCH=ON -DVELMAR_SANITIZE=OFF >/dev/null
  cmake --build "$build" -j 2 --target velmar-cli velmar-bench-gen velmar-bench-tagread velmar-bench-measure
fi
bin="$build/bench/tagread"

# The stamp is written last, so a folder whose making was cut short is made anew.
stamp="$folder/.velmar-bench-stamp"
want="count=$count per_folder=$per_folder seed=$seed generator=2"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
  rm -rf "$folder"
  "$bin/velmar-bench-gen" "$folder" "$count" "$per_folder" "$seed"
  echo "$want" >"$stamp"
fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "== tag reading: velmar vs TagLib =="
"$bin/velmar-bench-tagread" "$folder" --rounds "$rounds" | tee "$log"
echo "== velmar-cli info --json $folder > /dev/null =="
"$bin/velmar-bench-measure" --runs 3 -- "$build/cli/velmar-cli" info --json "$folder" | tee -a "$log"

value() { sed -n "s/^$1=\([0-9.]*\).*/\1/p" "$log" | head -n1; }
echo "== summary =="
printf 'velmar %s files/s, TagLib %s files/s, ratio %s (goal >= 2)\n' \
  "$(value velmar_files_per_s)" "$(value taglib_files_per_s)" "$(value ratio)"
printf 'velmar-cli info: peak RSS %s MB (goal < 64), wall %s s for %s files\n' \
  "$(value peak_rss_mb)" "$(value wall_s)" "$count"
