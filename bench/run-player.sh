#!/usr/bin/env bash
# Player benchmark: CPU time of the program's player while it plays 60 seconds of a
# 128 kbit/s MP3 (made with lame from a generated tone and noise) to the silent
# output, in real time (goal: below 5% of one core).
#
# usage: bench/run-player.sh
# environment: BUILD_DIR (default build-bench), SKIP_BUILD=1 to use an existing build
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
if [ "${SKIP_BUILD:-0}" != 1 ]; then
  scripts/deps.sh
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMAR_BENCH=ON -DVELMAR_SANITIZE=OFF >/dev/null
  cmake --build "$build" -j 2 --target velmar-bench-player
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# 60 seconds of stereo music-like sound: two tones and a little noise.
python3 - "$work/sixty.wav" <<'PY'
import math, random, struct, sys, wave
rate = 44100
random.seed(7)
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate)
    frames = bytearray()
    for i in range(rate * 60):
        v = 6000 * math.sin(2 * math.pi * 220 * i / rate) + 3000 * math.sin(2 * math.pi * 1760 * i / rate)
        v += random.uniform(-800, 800)
        frames += struct.pack("<hh", int(v), int(-v))
    w.writeframes(bytes(frames))
PY
lame --quiet -b 128 "$work/sixty.wav" "$work/sixty.mp3"
echo "== velmar-bench-player: 60 s of 128 kbit/s to the silent output =="
QT_QPA_PLATFORM=offscreen "$build/bench/player/velmar-bench-player" "$work/sixty.mp3"
