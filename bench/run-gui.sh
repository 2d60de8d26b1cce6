#!/usr/bin/env bash
# Desktop-program benchmark: adding a folder of 10,000 generated MP3 files to a
# browser window (offscreen platform) against `velmar-cli info` on the same
# folder (goal: at most 1.5 times its wall time), and the peak memory with
# 100,000 rows (the folder added 10 times; goal: under 300 MB).
#
# usage: bench/run-gui.sh [FOLDER]
#   FOLDER     the generated folder (default /tmp/velmar-bench-tagread; made by
#              bench/run-tagread.sh's generator when missing)
# environment: BUILD_DIR (default build-bench), SKIP_BUILD=1 to use an existing build
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/tmp/velmar-bench-tagread}
build=${BUILD_DIR:-build-bench}

source bench/common.sh
bench_setup "$folder" "$build" velmar-cli velmar-bench-measure velmar-bench-gui
measure="$build/bench/tagread/velmar-bench-measure"
gui="$build/bench/gui/velmar-bench-gui"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$build/cli/velmar-cli" info "$folder" >/dev/null  # warm the cache
echo "== velmar-cli info $folder > /dev/null =="
"$measure" --runs 3 -- "$build/cli/velmar-cli" info "$folder" | tee "$log"
cli=$(sed -n 's/^wall_s=\([0-9.]*\).*/\1/p' "$log")

echo "== velmar: add the folder to a browser window, 3 runs =="
adds=()
for run in 1 2 3; do
  "$gui" "$folder" --times 1 | tee "$log"
  adds+=("$(sed -n 's/^add_s=\([0-9.]*\).*/\1/p' "$log")")
done
add=$(printf '%s\n' "${adds[@]}" | sort -n | sed -n 2p)

echo "== velmar: the folder added 10 times (100,000 rows) =="
"$gui" "$folder" --times 10 | tee "$log"
peak=$(sed -n 's/^peak_rss_mb=\([0-9.]*\).*/\1/p' "$log")
before=$(sed -n 's/^rss_before_mb=\([0-9.]*\).*/\1/p' "$log")

echo "== summary =="
awk -v a="$add" -v c="$cli" 'BEGIN { printf "add 10,000 files: %.3f s (median of 3); velmar-cli info: %.3f s; ratio %.2f (goal <= 1.5)\n", a, c, a / c }'
printf '100,000 rows: peak RSS %s MB, of which %s MB before the first add (goal < 300)\n' "$peak" "$before"
