#!/usr/bin/env bash
# Rename benchmark: `velmar-cli rename --dry-run` over the 10,000 generated MP3 files
# of the tag-reading benchmark against `velmar-cli info` on the same files (goal:
# at most 1.5 times its wall time). Both read every file's tags; rename also works
# out and checks every new name.
#
# usage: bench/run-rename.sh [FOLDER]
#   FOLDER     the generated folder (default /tmp/velmar-bench-tagread; made by
#              the tag-reading benchmark's generator when missing)
# environment: BUILD_DIR (default build-bench), SKIP_BUILD=1 to use an existing build
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/tmp/velmar-bench-tagread}
build=${BUILD_DIR:-build-bench}

source bench/common.sh
bench_setup "$folder" "$build" velmar-cli velmar-bench-measure
measure="$build/bench/tagread/velmar-bench-measure"
cli="$build/cli/velmar-cli"
mapfile -t files < <(find "$folder" -name '*.mp3' | sort)

log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$cli" info "${files[@]}" >/dev/null  # warm the cache
echo "== velmar-cli info (${#files[@]} files) > /dev/null =="
"$measure" --runs 5 -- "$cli" info "${files[@]}" | tee "$log"
info=$(sed -n 's/^wall_s=\([0-9.]*\).*/\1/p' "$log")
echo "== velmar-cli rename --mask '%10 - %00 - %01' --dry-run (${#files[@]} files) > /dev/null =="
# Generated files without tags share one name: their messages go nowhere.
"$measure" --runs 5 -- sh -c 'exec "$@" 2>/dev/null' sh "$cli" rename --mask '%10 - %00 - %01' --dry-run "${files[@]}" |
  tee "$log"
rename=$(sed -n 's/^wall_s=\([0-9.]*\).*/\1/p' "$log")

echo "== summary =="
awk -v r="$rename" -v i="$info" 'BEGIN { printf "rename --dry-run: %.3f s; info: %.3f s; ratio %.2f (goal <= 1.5)\n", r, i, r / i }'
