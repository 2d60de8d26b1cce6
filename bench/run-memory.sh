#!/usr/bin/env bash
# Memory benchmark: the peak resident memory (and wall time) of velmar-cli's reading
# commands over collections of 1,000, 10,000 and 100,000 generated MP3 files:
#
#   info --json       every file's record
#   check             every file's stream walked, a line a file
#   list              a report of every file (one line a file: "%01 - %00")
#   match             the files that fill 600 minutes
#   rename --dry-run  every file's new name planned and checked (--mask "%01 - %00")
#
# Goal: each under 32 MB at 100,000 files; memory should not grow with the files
# beyond what the list of their names takes.
#
# usage: bench/run-memory.sh [FOLDER]
#   FOLDER   where the collections are made (default /tmp/velmar-bench-memory), one
#            sub-folder per size; each is made once and kept for the next runs. The
#            files are the tag-reading benchmark's with 8 KiB of audio each (its tags,
#            pictures and trailing tags), about 1.5 GB for all three sizes.
# environment: BUILD_DIR (default build-bench), SKIP_BUILD=1 to use an existing
#              build as it is, CLI (the velmar-cli measured; default BUILD_DIR's),
#              SIZES ("1000 10000 100000"), RUNS (1: the largest peak of RUNS runs)
#
# Prints a line per command and size, name=value lines, and a summary with the goal.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/tmp/velmar-bench-memory}
build=${BUILD_DIR:-build-bench}
sizes=${SIZES:-1000 10000 100000}
runs=${RUNS:-1}
per_folder=500
seed=20240611
audio_kb=8
goal_mb=32

source bench/common.sh
targets=(velmar-bench-gen velmar-bench-measure)
[ -n "${CLI:-}" ] || targets+=(velmar-cli)
bench_build "$build" "${targets[@]}"
cli=${CLI:-$build/cli/velmar-cli}
gen="$build/bench/tagread/velmar-bench-gen"
measure="$build/bench/tagread/velmar-bench-measure"
for program in "$cli" "$gen" "$measure"; do
  [ -x "$program" ] || { echo "run-memory.sh: $program is missing (build it, or leave SKIP_BUILD unset)" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '%%01 - %%00\n' >"$tmp/main.txt"
summary="$tmp/summary"
: >"$summary"

# The collection of N files, made when missing or made with other settings; the stamp
# is written last, so a collection whose making was cut short is made anew.
collection() {
  local n=$1 dir="$folder/$1"
  local stamp="$dir/.velmar-bench-stamp" want="count=$1 per_folder=$per_folder seed=$seed audio_kb=$audio_kb generator=2"
  if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
    rm -rf "$dir"
    echo "making $n files in $dir" >&2
    "$gen" "$dir" "$n" "$per_folder" "$seed" "$audio_kb" >&2
    echo "$want" >"$stamp"
  fi
  echo "$dir"
}

# run NAME ARGS...: velmar-cli ARGS under the measure tool; messages about single
# files (generated files without tags cannot be renamed) go nowhere, and a status of
# 1 (files damaged, files not renamed) is no failure of the run.
run() {
  local name=$1
  shift
  "$measure" --runs "$runs" -- sh -c 'exec "$@" 2>/dev/null' sh "$cli" --no-history "$@" >"$tmp/out"
  local rss wall
  rss=$(sed -n 's/^peak_rss_mb=\([0-9.]*\).*/\1/p' "$tmp/out")
  wall=$(sed -n 's/^wall_s=\([0-9.]*\).*/\1/p' "$tmp/out")
  printf '%-18s %7s files: peak RSS %6s MB, wall %s s\n' "$name" "$n" "$rss" "$wall"
  local key
  key=$(tr -cs 'a-z0-9' '_' <<<"$name" | sed 's/^_*//; s/_*$//')
  echo "${key}_${n}_peak_rss_mb=$rss"
  echo "$name $n $rss" >>"$summary"
}

echo "== peak memory of velmar-cli: $cli =="
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) (on $(nproc) cores)"
for n in $sizes; do
  dir=$(collection "$n")
  "$cli" info --json "$dir" >/dev/null 2>&1 || true  # the files in the page cache
  run "info --json" info --json "$dir"
  run "check" check "$dir"
  run "list" list --main "$tmp/main.txt" -o "$tmp/report.txt" "$dir"
  run "match" match --minutes 600 "$dir"
  run "rename --dry-run" rename --mask '%01 - %00' --dry-run "$dir"
done

echo "== summary: peak RSS in MB (goal < $goal_mb at 100000 files) =="
awk -v goal="$goal_mb" '
  { key = $1; for (i = 2; i <= NF - 2; ++i) key = key " " $i
    n = $(NF - 1); rss = $NF
    if (!(key in seen)) { seen[key] = 1; order[++count] = key }
    cell[key, n] = rss; sizes[n] = 1
    if (n == 100000 && rss + 0 >= goal) over = over " " key }
  END {
    line = sprintf("%-18s", "command"); ns = 0
    for (s in sizes) list[++ns] = s + 0
    for (i = 1; i <= ns; ++i) for (j = i + 1; j <= ns; ++j) if (list[j] < list[i]) { t = list[i]; list[i] = list[j]; list[j] = t }
    for (i = 1; i <= ns; ++i) line = line sprintf(" %9s", list[i])
    print line
    for (k = 1; k <= count; ++k) {
      line = sprintf("%-18s", order[k])
      for (i = 1; i <= ns; ++i) line = line sprintf(" %9s", cell[order[k], list[i]])
      print line
    }
    if (over != "") print "over the goal at 100000 files:" over
  }' "$summary"
