#!/usr/bin/env bash
# Stream checker benchmark: MB/s of `TMPEGChecker` over about 1.1 GB of intact MP3
# files of 5-10 MB (lame output joined into one stream whose VBR header counts it
# all, with tags), against reading the same
# files once (the bound for cached files) and against mp3val, all with a warm
# cache; then the checker's verdicts against mp3val's on intact and damaged files,
# and on the peer corpus (../shared/corpus) when it is there; then how many of
# the damaged places of files with one to three of them each finds.
#
# usage: bench/run-checker.sh [FOLDER]
#   FOLDER     where the files are made (default /tmp/velmar-bench-checker);
#              made again when missing or made with other settings
# environment: BUILD_DIR (default build-bench), MB (1100), ROUNDS (3),
#              SKIP_BUILD=1 to use an existing build as it is
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-/tmp/velmar-bench-checker}
build=${BUILD_DIR:-build-bench}
mb=${MB:-1100}
rounds=${ROUNDS:-3}

if [ "${SKIP_BUILD:-0}" != 1 ]; then
  scripts/deps.sh
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_BENCH=ON -DVELMAR_SANITIZE=OFF >/dev/null
  cmake --build "$build" -j 2 --target velmar-bench-checker
fi
bin="$build/bench/checker/velmar-bench-checker"

# The stamp is written last, so a folder whose making was cut short is made anew.
stamp="$folder.stamp"
want="mb=$mb generator=2 $(lame --version | head -n1)"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
  rm -rf "$folder" "$folder.bases" "$stamp"
  "$bin" prepare "$folder.bases" "$folder" "$mb"
  echo "$want" >"$stamp"
fi

echo "== speed (warm cache) =="
"$bin" speed "$folder" "$rounds"
echo "== verdicts against mp3val =="
rm -rf "$folder.cases"
extra=()
[ -d ../shared/corpus ] && extra+=(../shared/corpus)
"$bin" verdicts "$folder.bases" "$folder.cases" "${extra[@]}"
echo "== damaged places found, against mp3val =="
rm -rf "$folder.spots"
"$bin" spots "$folder.bases" "$folder.spots"
