#!/usr/bin/env bash
# Repair benchmark: `velmar-cli repair` against `mp3val -f` on the same collection of
# damaged files (a copy each, warm cache), time and result: each tool's output is
# checked again by both (mp3val's warnings, velmar-cli check's DAMAGED lines).
#
# usage: bench/run-repair.sh [FOLDER]
#   FOLDER     where the files are made (default /tmp/velmar-bench-repair)
# environment: BUILD_DIR (default build), MB (300)
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/tmp/velmar-bench-repair}
build=${BUILD_DIR:-build}
mb=${MB:-300}
cli="$PWD/$build/cli/velmar-cli"
[ -x "$cli" ] || cmake --build "$build" -j 2 --target velmar-cli

stamp="$folder.stamp"
want="mb=$mb generator=1 $(lame --version | head -n1)"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
  rm -rf "$folder" "$stamp"
  mkdir -p "$folder/bases"
  python3 - "$folder/bases/s.wav" <<'PY'
import math, struct, sys, wave
w = wave.open(sys.argv[1], "wb"); w.setnchannels(2); w.setsampwidth(2); w.setframerate(44100)
w.writeframes(b"".join(struct.pack("<hh", int(9000 * math.sin(i * 0.0627)), int(7000 * math.sin(i * 0.031 + (i % 441) * 0.01)))
                       for i in range(44100 * 30)))
PY
  ( cd "$folder/bases" && lame --quiet -b 128 s.wav cbr.mp3 && lame --quiet -V 2 s.wav vbr.mp3 &&
    lame --quiet --resample 22.05 -V 5 s.wav mpeg2.mp3 && twolame --quiet -b 192 s.wav layer2.mp3 && rm s.wav )
  python3 bench/repair/make-collection.py "$folder/bases" "$folder/damaged" "$mb"
  echo "$want" >"$stamp"
fi

count() { grep -c "$1" || true; }
rm -rf "$folder/velmar" "$folder/mp3val" "$folder/state"
cp -r "$folder/damaged" "$folder/velmar"
cp -r "$folder/damaged" "$folder/mp3val"
cat "$folder"/velmar/*.mp3 "$folder"/mp3val/*.mp3 >/dev/null  # warm cache
files=$(ls "$folder/damaged" | wc -l)
size=$(du -sm "$folder/damaged" | cut -f1)
echo "== $files damaged files, $size MB =="
echo "before: mp3val warnings $(mp3val "$folder"/damaged/*.mp3 | count WARNING)," \
     "velmar-cli check DAMAGED $("$cli" check "$folder"/damaged/*.mp3 | count '^DAMAGED')"

export XDG_STATE_HOME="$folder/state"  # the history of the repair, kept apart
t0=$(date +%s.%N)
"$cli" repair "$folder"/velmar/*.mp3 >"$folder/velmar.log" 2>&1 || true
t1=$(date +%s.%N)
mp3val -f -nb "$folder"/mp3val/*.mp3 >"$folder/mp3val.log" 2>&1 || true
t2=$(date +%s.%N)
echo "velmar-cli repair: $(echo "$t1 - $t0" | bc) s ($(count 'repaired' <"$folder/velmar.log") files repaired)"
echo "mp3val -f -nb:     $(echo "$t2 - $t1" | bc) s ($(count FIXED <"$folder/mp3val.log") FIXED lines)"
echo "history of the repair: $(du -sk "$folder/state" | cut -f1) KiB"

for tool in velmar mp3val; do
  echo "after $tool: mp3val warnings $(mp3val "$folder/$tool"/*.mp3 | count WARNING)," \
       "velmar-cli check DAMAGED $("$cli" check "$folder/$tool"/*.mp3 | count '^DAMAGED')," \
       "bytes $(du -sb "$folder/$tool" | cut -f1)"
done
echo "mp3val's warnings after velmar's repair, by kind:"
mp3val "$folder"/velmar/*.mp3 | grep WARNING | sed 's/.*WARNING: "[^"]*"[^:]*: //' | sort | uniq -c | head -5 || true
t3=$(date +%s.%N)
"$cli" undo >/dev/null
t4=$(date +%s.%N)
echo "velmar-cli undo: $(echo "$t4 - $t3" | bc) s; byte for byte: $(diff -rq "$folder/damaged" "$folder/velmar" >/dev/null && echo yes || echo no)"
