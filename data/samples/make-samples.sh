#!/usr/bin/env bash
# Remakes the sample MP3 files of this folder: short tunes made here, encoded
# with lame, with the kinds of tags Velmar reads (ID3v2.3 Latin-1 and UTF-16,
# ID3v1/1.1, Lyrics3 v2) and the kinds of streams it meets (CBR, VBR with a
# Xing header, MPEG-2 mono). Needs lame and /usr/bin/python3 (scripts/deps.sh).
set -euo pipefail
cd "$(dirname "$0")"
PY=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# tune NAME SECONDS RATE CHANNELS NOTE...: a WAV of plucked notes (MIDI numbers).
tune() {
    "$PY" - "$work/$1.wav" "${@:2}" <<'EOF'
import math, struct, sys, wave
path, seconds, rate, channels = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
notes = [int(n) for n in sys.argv[5:]]
total = int(seconds * rate)
step = total // len(notes)
frames = bytearray()
for i in range(total):
    n = notes[min(i // step, len(notes) - 1)]
    t = (i % step) / rate
    f = 440.0 * 2 ** ((n - 69) / 12)
    v = math.exp(-3 * t) * (math.sin(2 * math.pi * f * t) + 0.3 * math.sin(4 * math.pi * f * t))
    left = int(9000 * v)
    frames += struct.pack('<h', left) if channels == 1 else struct.pack('<hh', left, int(left * 0.7))
with wave.open(path, 'wb') as w:
    w.setnchannels(channels)
    w.setsampwidth(2)
    w.setframerate(rate)
    w.writeframes(bytes(frames))
EOF
}

enc() { lame --quiet --noreplaygain "$@"; }

# ID3v2.3 only, every common field, CBR 128 kbit/s joint stereo.
tune harbour 4 44100 2 60 64 67 72 67 64 60 55
enc -b 128 -m j --id3v2-only --tt "Harbour Lights" --ta "Northwind Collective" --tl "Tidewater" \
    --ty 2019 --tn 3/10 --tg "Folk" --tc "Recorded live at the pier" \
    "$work/harbour.wav" "Northwind Collective - Harbour Lights.mp3"

# ID3v1.1 only (with a track number), CBR 160 kbit/s.
tune salt 3 44100 2 57 59 60 62 64 62 60
enc -b 160 --id3v1-only --tt "Salt Road" --ta "Marlow Fenwick" --tl "Dust and Harbour" --ty 2008 \
    --tn 7 --tg "Country" --tc "demo take" \
    "$work/salt.wav" "Marlow Fenwick - Salt Road.mp3"

# ID3v2.3 and ID3v1 together, CBR 192 kbit/s plain stereo.
tune lanterns 3 44100 2 65 69 72 77 72 69
enc -b 192 -m s --add-id3v2 --tt "Lanterns in the Rain" --ta "Cinder & Vale" --tl "Low Tide Letters" \
    --ty 2021 --tn 1/9 --tg "Indie" --tc "first single" \
    "$work/lanterns.wav" "Cinder & Vale - Lanterns in the Rain.mp3"

# Variable bit rate: a Xing header in the first frame.
tune orbit 5 44100 2 48 55 60 63 67 70 72 75 79
enc -V 4 --id3v2-only --tt "Slow Orbit" --ta "Juniper Static" --tl "Satellites" --ty 2016 --tn 5/12 \
    --tg "Electronic" "$work/orbit.wav" "Juniper Static - Slow Orbit.mp3"

# MPEG-2: 22050 Hz mono at 32 kbit/s, both tags.
tune bulletin 4 22050 1 62 62 69 62 57
enc -b 32 -m m --add-id3v2 --tt "Night Bulletin" --ta "Old Quay Radio" --tl "Shipping Forecasts" \
    --ty 1998 --tn 2 --tg "Speech" \
    "$work/bulletin.wav" "Old Quay Radio - Night Bulletin.mp3"

# ID3v2.3 texts in UTF-16 (Cyrillic and Japanese), no ID3v1.
tune zvezde 3 44100 2 69 72 76 81 76
enc -b 128 --id3v2-only --id3v2-utf16 --tt "Звёзды над рекой" --ta "Мира Ковач" --tl "夜の灯り" \
    --ty 2020 --tn 4 --tc "Ещё одна песня о море" \
    "$work/zvezde.wav" "Mira Kovac - Zvezdy nad rekoj.mp3"

# ID3v1 with a Lyrics3 v2 block before it.
tune boats 3 44100 2 67 71 74 79 74 71
enc -b 128 --id3v1-only --tt "Paper Boats" --ta "Tessa Lorne" --tl "Gutter Rivers" --ty 2012 \
    --tn 2 --tg "Pop" "$work/boats.wav" "Tessa Lorne - Paper Boats.mp3"
"$PY" - "Tessa Lorne - Paper Boats.mp3" <<'EOF'
import sys
path = sys.argv[1]
fields = [
    ("IND", b"10"),
    ("LYR", b"Fold the page and let it go\r\nDown the gutter, down the road\r\n"),
    ("INF", b"Lyrics typed from the sleeve"),
    ("AUT", b"T. Lorne"),
    ("EAL", b"Gutter Rivers (Deluxe Edition of the Year)"),
    ("EAR", b"Tessa Lorne and the Drainpipes"),
    ("ETT", b"Paper Boats (Longer Title Than Thirty Bytes)"),
]
block = b"LYRICSBEGIN" + b"".join(n.encode() + b"%05d" % len(d) + d for n, d in fields)
block += b"%06d" % len(block) + b"LYRICS200"
data = open(path, "rb").read()
assert data[-128:-125] == b"TAG"
open(path, "wb").write(data[:-128] + block + data[-128:])
EOF
ls -l ./*.mp3
