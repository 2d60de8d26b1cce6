#!/usr/bin/env bash
# Reading and saving costs of velmar-cli, set against what the work needs at least
# and against TagLib.
#
#   warm    10,000 generated files (the tag-reading benchmark's folder), page cache
#           warm, best of RUNS after a warm-up: the least I/O a reader must do (a C
#           program that walks the folder and reads 4 KiB at the head and 256 bytes
#           at the tail of every file), `velmar-cli info --json FOLDER`, and a TagLib
#           reader. Goals: velmar / bound <= 1.5, TagLib / velmar >= 3.
#   cold    the same three with the page cache dropped before every run (needs
#           root). Goal: velmar faster than the single-threaded bound.
#   save    `velmar-cli set --title` over 1,000 files of 4 MB whose tag has 2 KiB of
#           padding, timed with a final `sync`: wall time and bytes written. Goals:
#           < 10 MB written in all, >= 10 times as fast as a save that rewrites every
#           file (OLD_CLI; by default velmar-cli of commit 8bef3cb, built here).
#   memory  peak memory and wall time of `set --title` on one 1 GB file (goal
#           < 64 MB), and of a save that must rewrite it (an 8 KB picture that does
#           not fit in the padding).
#
# usage: bench/run-io.sh [--section warm|cold|save|memory|all]...   (default all)
# environment:
#   BUILD_DIR    build folder (default build-bench); SKIP_BUILD=1 uses it as it is
#   CLI          the velmar-cli measured (default BUILD_DIR/cli/velmar-cli, built here)
#   OLD_CLI      the velmar-cli that rewrites whole files, for the save comparison;
#                without it, commit 8bef3cb (the last one before saving in place) is
#                checked out in a git worktree at OLD_DIR (default /tmp/velmar-old)
#                and its velmar-cli built there; OLD_CLI=none leaves the comparison out
#   RUNS (5)     timed runs per reader, warm cache
#   COLD_RUNS (3) runs per reader, cold cache
#   SAVE_RUNS (3) timed saves per program
#   MEMORY_RUNS (2) saves of each kind on the 1 GB file
#   FOLDER (/tmp/velmar-bench-tagread), SAVE_FOLDER (/tmp/velmar-bench-save),
#   BIG_FOLDER (/tmp/velmar-bench-big)   where the files are made; each is made once
#                and kept (about 1.1 GB, 4.2 GB and 1.1 GB), and put back as it was
#                before every save
#
# Every section prints name=value lines; a summary with the goals comes last.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; }

sections=()
while [ $# -gt 0 ]; do
  case $1 in
    --section)
      [ $# -ge 2 ] || { usage >&2; exit 2; }
      sections+=("$2")
      shift 2
      ;;
    --section=*) sections+=("${1#*=}"); shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "run-io.sh: unknown argument $1" >&2; usage >&2; exit 2 ;;
  esac
done
[ ${#sections[@]} -gt 0 ] || sections=(all)
want_warm=0 want_cold=0 want_save=0 want_memory=0
for s in "${sections[@]}"; do
  case $s in
    warm) want_warm=1 ;;
    cold) want_cold=1 ;;
    save) want_save=1 ;;
    memory) want_memory=1 ;;
    all) want_warm=1 want_cold=1 want_save=1 want_memory=1 ;;
    *) echo "run-io.sh: unknown section $s (warm, cold, save, memory or all)" >&2; exit 2 ;;
  esac
done

build=${BUILD_DIR:-build-bench}
runs=${RUNS:-5}
cold_runs=${COLD_RUNS:-3}
save_runs=${SAVE_RUNS:-3}
memory_runs=${MEMORY_RUNS:-2}
folder=${FOLDER:-/tmp/velmar-bench-tagread}
save_folder=${SAVE_FOLDER:-/tmp/velmar-bench-save}
big_folder=${BIG_FOLDER:-/tmp/velmar-bench-big}
old_ref=8bef3cb
old_dir=${OLD_DIR:-/tmp/velmar-old}
save_count=1000
save_size=$((4 * 1024 * 1024))
big_size=$((1024 * 1024 * 1024))

source bench/common.sh

# ---------------------------------------------------------------- building
targets=(velmar-bench-gen velmar-bench-bound velmar-bench-iocount velmar-bench-savegen)
# velmar-cli is built here only when it is the one measured; CLI=path measures another.
[ -n "${CLI:-}" ] || targets+=(velmar-cli)
bench_build "$build" "${targets[@]}"
# The TagLib reader exists only where TagLib was found; without it its figures are left out.
if [ "${SKIP_BUILD:-0}" != 1 ]; then
  cmake --build "$build" -j 2 --target velmar-bench-taglib-read 2>/dev/null || true
fi
cli=${CLI:-$build/cli/velmar-cli}
bin="$build/bench/io"
bound="$bin/velmar-bench-bound"
iocount="$bin/velmar-bench-iocount"
savegen="$bin/velmar-bench-savegen"
taglib="$bin/velmar-bench-taglib-read"
for program in "$cli" "$bound" "$iocount" "$savegen"; do
  [ -x "$program" ] || { echo "run-io.sh: $program is missing (build it, or leave SKIP_BUILD unset)" >&2; exit 1; }
done
have_taglib=1
[ -x "$taglib" ] || { have_taglib=0; echo "run-io.sh: $taglib is missing (no TagLib): the TagLib figures are left out"; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
summary="$tmp/summary"
: >"$summary"
out="$tmp/out"  # the name=value lines of the last measured command

# ---------------------------------------------------------------- helpers
# value NAME FILE: the value of the first NAME=value line.
value() { sed -n "s/^$1=\([^ ]*\).*/\1/p" "$2" | head -n1; }

# measure COMMAND...: runs it once under velmar-bench-iocount (standard output thrown
# away) into $out; stops the script when the command fails, since a failed run's
# figures mean nothing.
measure() {
  if ! "$iocount" -- "$@" >"$out"; then
    echo "run-io.sh: this failed (exit $(value exit "$out")): $*" >&2
    exit 1
  fi
}

# min and median of the numbers on standard input
min() { sort -g | head -n1; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# col_min FILE N, col_max FILE N: the least and the largest number of column N
col_min() { cut -d' ' -f"$2" "$1" | min; }
col_max() { cut -d' ' -f"$2" "$1" | sort -g | tail -n1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
mb() { awk -v b="$1" 'BEGIN { if (b == "n/a" || b == "") print "n/a"; else printf "%.2f", b / 1e6 }'; }

# The three readers of the folder, by name.
readers=(bound velmar)
[ $have_taglib = 1 ] && readers+=(taglib)
run_reader() {
  case $1 in
    bound) measure "$bound" "$folder" ;;
    velmar) measure "$cli" info --json "$folder" ;;
    taglib) measure "$taglib" "$folder" ;;
  esac
}

# Checks once that every reader sees the same files, so that none is faster by reading fewer.
check_counts() {
  local n_bound n_velmar n_taglib
  n_bound=$("$bound" "$folder" | sed -n 's/^files=\([0-9]*\).*/\1/p')
  # velmar-cli info --json prints one line per file; it exits 1 when a file could not be read.
  n_velmar=$({ "$cli" info --json "$folder" || true; } | wc -l)
  echo "files: bound $n_bound, velmar-cli info $n_velmar"
  [ "$n_bound" = "$n_velmar" ] || echo "WARNING: the bound and velmar-cli do not read the same number of files"
  if [ $have_taglib = 1 ]; then
    n_taglib=$("$taglib" "$folder" | sed -n 's/^files=\([0-9]*\).*/\1/p')
    echo "files: TagLib $n_taglib"
    [ "$n_bound" = "$n_taglib" ] || echo "WARNING: the bound and the TagLib reader do not read the same number of files"
  fi
}

# The block device under a path and its sectors written so far (field 7 of its stat), for
# the bytes that really reach the disk; empty where no such device is found.
disk_stat=""
find_disk() {
  local source name
  source=$(df --output=source "$1" 2>/dev/null | tail -n1) || return 0
  name=$(basename "$(readlink -f "$source" 2>/dev/null || echo "$source")")
  [ -r "/sys/class/block/$name/stat" ] && disk_stat="/sys/class/block/$name/stat"
  return 0
}
disk_sectors() { [ -n "$disk_stat" ] && awk '{ print $7 }' "$disk_stat" || echo 0; }

# Other programs' work slows every figure: the load when a section starts says how much.
show_load() { echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) (on $(nproc) cores)"; }

can_drop_caches() { [ "$(id -u)" = 0 ] && { echo 3 >/proc/sys/vm/drop_caches; } 2>/dev/null; }
drop_caches() { sync && echo 3 >/proc/sys/vm/drop_caches; }

# ---------------------------------------------------------------- warm cache
if [ $want_warm = 1 ]; then
  bench_folder "$folder" "$build"
  echo "== warm cache: ${readers[*]} on $folder, best of $runs runs after a warm-up =="
  show_load
  check_counts
  for r in "${readers[@]}"; do run_reader "$r"; done  # warm-up: the files and the programs in the cache
  for r in "${readers[@]}"; do : >"$tmp/warm-$r"; done
  for ((i = 1; i <= runs; i++)); do
    line="run $i:"
    # The readers take turns, so that a slow moment of the machine does not fall on one only.
    for r in "${readers[@]}"; do
      run_reader "$r"
      value wall_s "$out" >>"$tmp/warm-$r"
      line+=" $r $(value wall_s "$out") s (peak RSS $(value peak_rss_mb "$out") MB),"
    done
    echo "${line%,}"
  done
  w_bound=$(min <"$tmp/warm-bound")
  w_velmar=$(min <"$tmp/warm-velmar")
  w_taglib=n/a
  [ $have_taglib = 1 ] && w_taglib=$(min <"$tmp/warm-taglib")
  echo "warm_bound_s=$w_bound"
  echo "warm_velmar_s=$w_velmar"
  echo "warm_taglib_s=$w_taglib"
  echo "warm_velmar_over_bound=$(ratio "$w_velmar" "$w_bound") (goal <= 1.5)"
  echo "warm_taglib_over_velmar=$(ratio "$w_taglib" "$w_velmar") (goal >= 3)"
  printf 'warm cache: bound %s s, velmar-cli info %s s, TagLib %s s; velmar/bound %s (goal <= 1.5), TagLib/velmar %s (goal >= 3)\n' \
    "$w_bound" "$w_velmar" "$w_taglib" "$(ratio "$w_velmar" "$w_bound")" "$(ratio "$w_taglib" "$w_velmar")" >>"$summary"
fi

# ---------------------------------------------------------------- cold cache
if [ $want_cold = 1 ]; then
  bench_folder "$folder" "$build"
  echo "== cold cache: ${readers[*]} on $folder, $cold_runs runs each, page cache dropped before every run =="
  show_load
  if ! can_drop_caches; then
    echo "cold: skipped, /proc/sys/vm/drop_caches cannot be written (run as root, outside a read-only /proc)"
    echo "cold cache: skipped (needs root to drop the page cache)" >>"$summary"
  else
    echo "(the programs and their libraries are dropped too: each run starts them from the disk)"
    for r in "${readers[@]}"; do : >"$tmp/cold-$r"; done
    for ((i = 1; i <= cold_runs; i++)); do
      line="run $i:"
      for r in "${readers[@]}"; do
        drop_caches
        run_reader "$r"
        value wall_s "$out" >>"$tmp/cold-$r"
        line+=" $r $(value wall_s "$out") s (read $(mb "$(value read_bytes "$out")") MB from the disk),"
      done
      echo "${line%,}"
    done
    for r in "${readers[@]}"; do
      echo "cold_${r}_s=$(min <"$tmp/cold-$r") (best of $cold_runs, median $(median <"$tmp/cold-$r"))"
    done
    c_bound=$(min <"$tmp/cold-bound")
    c_velmar=$(min <"$tmp/cold-velmar")
    c_taglib=n/a
    [ $have_taglib = 1 ] && c_taglib=$(min <"$tmp/cold-taglib")
    echo "cold_bound_over_velmar=$(ratio "$c_bound" "$c_velmar") (goal > 1: velmar faster than the single-threaded bound)"
    printf 'cold cache: bound %s s, velmar-cli info %s s, TagLib %s s; bound/velmar %s (goal > 1)\n' \
      "$c_bound" "$c_velmar" "$c_taglib" "$(ratio "$c_bound" "$c_velmar")" >>"$summary"
  fi
fi

# ---------------------------------------------------------------- the files that saves change
# make_save_files FOLDER COUNT SIZE: makes the files once (a stamp names the settings),
# then puts them back as they were before every save; only what a save changed is written.
make_save_files() {
  local dir=$1 count=$2 size=$3
  local stamp="$dir/.velmar-bench-stamp" want="count=$count size=$size savegen=1"
  if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
    rm -rf "$dir"
    echo "making $count files of $size bytes in $dir"
    "$savegen" "$dir" "$count" "$size"
    echo "$want" >"$stamp"
  fi
}
# restore_save_files FOLDER COUNT SIZE: puts the files back; prints what it found changed.
restore_save_files() { "$savegen" "$1" "$2" "$3"; }

# timed_save LABEL PROGRAM ARGS...: one save from the restored files, timed with a final
# sync so that the written bytes reach the disk within the time; its figures in $out.
timed_save() {
  local label=$1
  shift
  sync  # whatever was written before does not fall into the time
  local before after
  before=$(disk_sectors)
  measure sh -c '"$@" && sync' sh "$@"
  after=$(disk_sectors)
  echo "disk_written_bytes=$(((after - before) * 512))" >>"$out"
  printf '%s: wall %s s, wchar %s MB, write_bytes %s MB, ru_oublock %s MB, disk %s MB, peak RSS %s MB\n' "$label" \
    "$(value wall_s "$out")" "$(mb "$(value wchar "$out")")" "$(mb "$(value write_bytes "$out")")" \
    "$(mb "$(value oublock_bytes "$out")")" "$(mb "$(value disk_written_bytes "$out")")" "$(value peak_rss_mb "$out")"
}

# After a save, putting the files back must find every one changed; otherwise the save did not happen.
check_all_saved() {
  local report=$1 count=$2
  local unchanged
  unchanged=$(sed -n 's/.*unchanged=\([0-9]*\).*/\1/p' <<<"$report")
  if [ "$unchanged" != 0 ]; then
    echo "run-io.sh: $unchanged of $count files were not changed by the save: $report" >&2
    exit 1
  fi
}

# ---------------------------------------------------------------- saving
if [ $want_save = 1 ]; then
  echo "== saving: set --title over $save_count files of 4 MB (2 KiB of padding in the tag), $save_runs runs =="
  show_load
  old_cli=${OLD_CLI:-}
  if [ "$old_cli" = none ]; then
    old_cli=""
    echo "full rewrite: left out (OLD_CLI=none)"
  elif [ -z "$old_cli" ]; then
    # The reference: the last commit whose velmar-cli rewrote every file it saved.
    if ! git cat-file -e "$old_ref^{commit}" 2>/dev/null; then
      echo "full rewrite: left out, commit $old_ref is not in this repository (give OLD_CLI=path)"
    elif [ -d "$old_dir" ] && [ "$(git -C "$old_dir" rev-parse HEAD 2>/dev/null | cut -c1-7)" != "$old_ref" ]; then
      echo "full rewrite: left out, $old_dir is not a checkout of $old_ref (remove it, or give OLD_DIR or OLD_CLI)"
    else
      if [ ! -d "$old_dir" ]; then
        # -f: a worktree whose folder was deleted (a /tmp emptied at boot) is still registered.
        git worktree add -f --detach "$old_dir" "$old_ref"
      fi
      if [ "${SKIP_BUILD:-0}" != 1 ]; then
        cmake -S "$old_dir" -B "$old_dir/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_GUI=OFF -DVELMAR_BENCH=OFF \
          -DVELMAR_SANITIZE=OFF >/dev/null
        cmake --build "$old_dir/build" -j 2 --target velmar-cli
      fi
      old_cli="$old_dir/build/cli/velmar-cli"
      [ -x "$old_cli" ] || { echo "full rewrite: left out, $old_cli was not built"; old_cli=""; }
    fi
  fi
  [ -n "$old_cli" ] && echo "full rewrite by: $old_cli (commit $old_ref unless OLD_CLI was given)"

  make_save_files "$save_folder" "$save_count" "$save_size"
  find_disk "$save_folder"
  mapfile -t save_files < <(find "$save_folder" -maxdepth 1 -name 's*.mp3' | sort)
  echo "files: ${#save_files[@]} in $save_folder ($(du -sh "$save_folder" | cut -f1))"
  echo "every run starts from the same files (put back first), page cache warm; the time includes a final sync"
  [ -n "$disk_stat" ] && echo "disk = sectors written to $(basename "$(dirname "$disk_stat")") during the run: other programs' writes count too"
  echo "restore: $(restore_save_files "$save_folder" "$save_count" "$save_size")"
  programs=(velmar)
  [ -n "$old_cli" ] && programs+=(old)
  for p in "${programs[@]}"; do : >"$tmp/save-$p"; done
  for ((i = 1; i <= save_runs; i++)); do
    # Alternating titles of the same length, each shorter than the one the files are made with.
    title="Saved title $((i % 2))"
    for p in "${programs[@]}"; do
      program=$cli
      [ "$p" = old ] && program=$old_cli
      timed_save "run $i $p" "$program" set --title "$title" "${save_files[@]}"
      printf '%s %s %s %s %s\n' "$(value wall_s "$out")" "$(value wchar "$out")" "$(value write_bytes "$out")" \
        "$(value oublock_bytes "$out")" "$(value disk_written_bytes "$out")" >>"$tmp/save-$p"
      report=$(restore_save_files "$save_folder" "$save_count" "$save_size")
      echo "  restore: $report"
      check_all_saved "$report" "$save_count"
    done
  done
  # The best time; the bytes of the run that wrote the most.
  velmar_wall=$(col_min "$tmp/save-velmar" 1)
  velmar_wchar=$(col_max "$tmp/save-velmar" 2)
  velmar_wbytes=$(col_max "$tmp/save-velmar" 3)
  velmar_oublock=$(col_max "$tmp/save-velmar" 4)
  velmar_disk=$(col_max "$tmp/save-velmar" 5)
  echo "save_velmar_s=$velmar_wall (best of $save_runs, median $(cut -d' ' -f1 "$tmp/save-velmar" | median), with the final sync)"
  echo "save_velmar_wchar_mb=$(mb "$velmar_wchar") (most of $save_runs runs; goal < 10)"
  echo "save_velmar_write_bytes_mb=$(mb "$velmar_wbytes") (dirtied page cache; goal < 10)"
  echo "save_velmar_oublock_mb=$(mb "$velmar_oublock")"
  echo "save_velmar_disk_mb=$(mb "$velmar_disk") (whole disk during the run)"
  speedup=n/a
  if [ -n "$old_cli" ]; then
    old_wall=$(col_min "$tmp/save-old" 1)
    echo "save_old_s=$old_wall (best of $save_runs, median $(cut -d' ' -f1 "$tmp/save-old" | median))"
    echo "save_old_wchar_mb=$(mb "$(col_max "$tmp/save-old" 2)")"
    echo "save_old_write_bytes_mb=$(mb "$(col_max "$tmp/save-old" 3)")"
    echo "save_old_oublock_mb=$(mb "$(col_max "$tmp/save-old" 4)")"
    echo "save_old_disk_mb=$(mb "$(col_max "$tmp/save-old" 5)")"
    speedup=$(ratio "$old_wall" "$velmar_wall")
    echo "save_speedup=$speedup (full rewrite / velmar; goal >= 10)"
  fi
  printf 'saving %s files: velmar %s s, wchar %s MB, write_bytes %s MB (goal < 10 MB); full rewrite %s s; speedup %s (goal >= 10)\n' \
    "$save_count" "$velmar_wall" "$(mb "$velmar_wchar")" "$(mb "$velmar_wbytes")" "${old_wall:-n/a}" "$speedup" >>"$summary"
fi

# ---------------------------------------------------------------- memory
if [ $want_memory = 1 ]; then
  echo "== memory: saving one 1 GB file =="
  show_load
  make_save_files "$big_folder" 1 "$big_size"
  find_disk "$big_folder"
  big="$big_folder/s0000.mp3"
  picture="$big_folder/cover.jpg"
  "$savegen" --picture "$picture" 8192
  echo "restore: $(restore_save_files "$big_folder" 1 "$big_size")"
  size_before=$(stat -c %s "$big")
  : >"$tmp/mem-fit"
  : >"$tmp/mem-grow"
  for ((i = 1; i <= memory_runs; i++)); do
    timed_save "run $i: set --title (fits in the padding)" "$cli" set --title "Big title $((i % 2))" "$big"
    echo "$(value peak_rss_mb "$out") $(value wall_s "$out") $(value wchar "$out")" >>"$tmp/mem-fit"
    report=$(restore_save_files "$big_folder" 1 "$big_size")
    echo "  restore: $report"
    check_all_saved "$report" 1
    timed_save "run $i: set --picture (8 KB, does not fit: the file is rewritten)" "$cli" set --picture "$picture" "$big"
    echo "$(value peak_rss_mb "$out") $(value wall_s "$out") $(value wchar "$out")" >>"$tmp/mem-grow"
    size_after=$(stat -c %s "$big")
    [ "$size_after" -gt "$size_before" ] || echo "WARNING: the file did not grow ($size_before bytes before, $size_after after)"
    report=$(restore_save_files "$big_folder" 1 "$big_size")
    echo "  restore: $report"
    check_all_saved "$report" 1
  done
  # The largest peak, the best time, the most written.
  m_fit_rss=$(col_max "$tmp/mem-fit" 1)
  m_fit_wall=$(col_min "$tmp/mem-fit" 2)
  m_fit_wchar=$(col_max "$tmp/mem-fit" 3)
  m_grow_rss=$(col_max "$tmp/mem-grow" 1)
  m_grow_wall=$(col_min "$tmp/mem-grow" 2)
  m_grow_wchar=$(col_max "$tmp/mem-grow" 3)
  echo "memory_fits_peak_rss_mb=$m_fit_rss (largest of $memory_runs; goal < 64)"
  echo "memory_fits_wall_s=$m_fit_wall (best of $memory_runs, with the final sync)"
  echo "memory_fits_wchar_mb=$(mb "$m_fit_wchar")"
  echo "memory_rewrite_peak_rss_mb=$m_grow_rss"
  echo "memory_rewrite_wall_s=$m_grow_wall"
  echo "memory_rewrite_wchar_mb=$(mb "$m_grow_wchar")"
  printf 'saving a 1 GB file: a title that fits peak RSS %s MB (goal < 64), %s s; rewritten (8 KB picture) peak RSS %s MB, %s s\n' \
    "$m_fit_rss" "$m_fit_wall" "$m_grow_rss" "$m_grow_wall" >>"$summary"
fi

echo "== summary =="
cat "$summary"
