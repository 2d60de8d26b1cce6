#!/usr/bin/env bash
# Batch saves: a title change of COUNT tagged files of SIZE bytes (an ID3v2.3 tag with
# 2 KiB of padding, so the new title fits in place), by velmar-cli and by the peers
# mid3v2, kid3-cli and eyeD3, each timed with a final `sync`, on a quiet disk and while
# another process writes to the same disk with direct I/O (a disk under load). The
# tools take turns within each round; the files are put back before every save.
# Reports, per tool and disk: the least wall time of the rounds, and the bytes each
# file cost the storage (write_bytes of /proc/PID/io over COUNT) and the program's write
# calls (wchar over COUNT); then velmar's time over mid3v2's.
#
# usage: bench/run-batch.sh
# environment:
#   COUNT (300), SIZE (1048576), RUNS (3)   files, their size, rounds
#   DISK (quiet,loaded)   which disks: quiet, loaded or both
#   TOOLS (velmar mid3v2 kid3-cli eyeD3)   a missing peer is left out, and said so
#   FOLDER (/var/tmp/velmar-bench-batch)    where the files are made and kept: it must
#                                           be on a disk (not tmpfs), as the load is
#   BUILD_DIR (build-bench); SKIP_BUILD=1 uses it as it is
set -euo pipefail
cd "$(dirname "$0")/.."
count=${COUNT:-300}
size=${SIZE:-1048576}
runs=${RUNS:-3}
disks=${DISK:-quiet,loaded}
folder=${FOLDER:-/var/tmp/velmar-bench-batch}
build=${BUILD_DIR:-build-bench}
read -r -a tools <<<"${TOOLS:-velmar mid3v2 kid3-cli eyeD3}"
title="A new title"

source bench/common.sh
# kid3-cli is measured only here, so it is not among the project's packages.
if ! command -v kid3-cli >/dev/null && [ "$(id -u)" = 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q kid3-cli >/dev/null 2>&1 || true
fi
bench_build "$build" velmar-cli velmar-bench-iocount velmar-bench-savegen
cli=$build/cli/velmar-cli
iocount=$build/bench/io/velmar-bench-iocount
savegen=$build/bench/io/velmar-bench-savegen

work=$(mktemp -d "${folder%/*}/velmar-bench-batch-work.XXXXXX")
load_pid=""
cleanup() {
  [ -n "$load_pid" ] && kill "$load_pid" 2>/dev/null && wait "$load_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
files="$folder/files"
mkdir -p "$files"
# Velmar's history and journals live on the same disk as the files.
export XDG_STATE_HOME="$work/state"

command_of() {
  case $1 in
    velmar) echo "$cli set --title"' "$T" "$D"/*.mp3' ;;
    mid3v2) echo 'mid3v2 -t "$T" "$D"/*.mp3' ;;
    kid3-cli) echo 'kid3-cli -c "set title \"$T\"" -c save "$D"/*.mp3' ;;
    eyeD3) echo 'eyeD3 --quiet --no-color -t "$T" "$D"/*.mp3' ;;
  esac
}
available=()
for tool in "${tools[@]}"; do
  program=$tool
  [ "$tool" = velmar ] && program=$cli
  if command -v "$program" >/dev/null; then available+=("$tool"); else echo "$tool: not installed, left out"; fi
done

value() { sed -n "s/^$1=\([^ ]*\).*/\1/p" "$2" | head -n1; }

# A writer that keeps the disk busy with direct I/O (no page cache of its own to flush).
start_load() {
  (while :; do dd if=/dev/zero of="$work/load" bs=4M count=128 oflag=direct conv=notrunc status=none; done) &
  load_pid=$!
  sleep 1
}
stop_load() {
  kill "$load_pid" 2>/dev/null || true
  wait "$load_pid" 2>/dev/null || true
  load_pid=""
  rm -f "$work/load"
}

results="$work/results"
: >"$results"
for disk in ${disks//,/ }; do
  echo "== $disk disk: title change of $count files of $size bytes, $runs rounds =="
  [ "$disk" = loaded ] && start_load
  for ((round = 1; round <= runs; round++)); do
    for tool in "${available[@]}"; do
      "$savegen" "$files" "$count" "$size" >/dev/null
      sync
      out="$work/out"
      T=$title D=$files "$iocount" -- sh -c "$(command_of "$tool") >/dev/null 2>&1 && sync" >"$out" ||
        { echo "$tool failed: $(cat "$out")" >&2; exit 1; }
      # Every file must have been changed, or the save did not happen.
      changed=$("$savegen" "$files" "$count" "$size" | sed -n 's/.*unchanged=\([0-9]*\).*/\1/p')
      [ "$changed" = 0 ] || { echo "$tool left $changed of $count files unchanged" >&2; exit 1; }
      echo "$disk $tool $(value wall_s "$out") $(value write_bytes "$out") $(value wchar "$out")" | tee -a "$results"
    done
  done
  [ "$disk" = loaded ] && stop_load
done

echo "== summary (least wall time of $runs rounds; bytes per file) =="
for disk in ${disks//,/ }; do
  mid=$(awk -v d="$disk" '$1 == d && $2 == "mid3v2" { print $3 }' "$results" | sort -g | head -n1)
  for tool in "${available[@]}"; do
    awk -v d="$disk" -v t="$tool" -v n="$count" -v mid="$mid" '
      $1 == d && $2 == t { if (best == "" || $3 < best) { best = $3; wb = $4; wc = $5 } }
      END { if (best == "") exit
            printf "%-7s %-9s wall %6.3f s  storage %8.0f B/file  write calls %8.0f B/file", d, t, best, wb / n, wc / n
            if (mid != "") printf "  x mid3v2 %.2f", best / mid
            printf "\n" }' "$results"
  done
done
