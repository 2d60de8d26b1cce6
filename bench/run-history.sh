#!/usr/bin/env bash
# History benchmark: `velmar-cli set --title` over 1,000 copies of the sample files
# with the history of changes on against the same with it off (--no-history; goal:
# at most 1.3 times its wall time), and the size of the history on disk per change.
#
# usage: bench/run-history.sh [FOLDER]
#   FOLDER     where the 1,000 files are made (default /tmp/velmar-bench-history)
# environment: BUILD_DIR (default build-bench), SKIP_BUILD=1 to use an existing build
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/tmp/velmar-bench-history}
build=${BUILD_DIR:-build-bench}

source bench/common.sh
bench_build "$build" velmar-cli velmar-bench-measure
measure="$build/bench/tagread/velmar-bench-measure"
cli="$build/cli/velmar-cli"
rm -rf "$folder"
mkdir -p "$folder/files" "$folder/state"
mapfile -t samples < <(find data/samples -name '*.mp3' | sort)
for i in $(seq 0 999); do cp "${samples[$((i % ${#samples[@]}))]}" "$folder/files/$i.mp3"; done
mapfile -t files < <(find "$folder/files" -name '*.mp3' | sort)
export XDG_STATE_HOME="$folder/state"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Each run sets a title of its own (the nanoseconds), so that every run writes every file.
run() { "$measure" --runs 5 -- sh -c 'exec "$@" --title "$(date +%N)" "$0"/*.mp3' "$folder/files" "$cli" "$@" | tee "$log"; }
echo "== velmar-cli --no-history set --title T (${#files[@]} files) =="
run --no-history set
off=$(sed -n 's/^wall_s=\([0-9.]*\).*/\1/p' "$log")
echo "== velmar-cli set --title T (${#files[@]} files), recorded in the history =="
run set
on=$(sed -n 's/^wall_s=\([0-9.]*\).*/\1/p' "$log")

echo "== summary =="
changes=$(find "$folder/state/velmar/history" -name '*.velmar-change' | wc -l)
bytes=$(du -sb "$folder/state/velmar/history" | cut -f1)
awk -v on="$on" -v off="$off" 'BEGIN { printf "history on: %.3f s; off: %.3f s; ratio %.2f (goal <= 1.3)\n", on, off, on / off }'
echo "history: $changes change(s), $bytes bytes on disk ($((bytes / changes)) bytes per change of ${#files[@]} files)"
