#!/usr/bin/env python3
"""Makes a collection of damaged MP3 files for the repair benchmark.

usage: make-collection.py BASES OUT MB

BASES holds encoder output (*.mp3, no tags). Each file of OUT is an ID3v2 tag, copies
of one base stream joined frame by frame up to about 5 MB (the first copy keeps its
VBR header, which then counts one copy only), damaged at one to three places (garbage,
a frame cut short, an ID3v1 tag inside the audio), and an ID3v1 tag at the end.
"""
import os
import random
import sys

BITRATES = {  # (version bits, layer bits) -> kbit/s by index
    (3, 1): [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
    (3, 2): [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384],
    (2, 1): [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
    (2, 2): [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
}
RATES = {3: [44100, 48000, 32000], 2: [22050, 24000, 16000], 0: [11025, 12000, 8000]}


def frame_length(h):
    version, layer = (h[1] >> 3) & 3, (h[1] >> 1) & 3
    bitrate = BITRATES[(3 if version == 3 else 2, layer)][h[2] >> 4] * 1000
    rate = RATES[version][(h[2] >> 2) & 3]
    pad = (h[2] >> 1) & 1
    if layer == 1:  # Layer III
        return (144 if version == 3 else 72) * bitrate // rate + pad
    return 144 * bitrate // rate + pad  # Layer II


def frames(data):
    out, pos = [], 0
    while pos + 4 <= len(data):
        n = frame_length(data[pos:pos + 4])
        out.append(data[pos:pos + n])
        pos += n
    return out


def id3v2(title):
    body = b"TIT2" + (len(title) + 1).to_bytes(4, "big") + b"\0\0\0" + title.encode()
    body += b"\0" * 200
    size = len(body)
    syncsafe = bytes([(size >> 21) & 127, (size >> 14) & 127, (size >> 7) & 127, size & 127])
    return b"ID3\3\0\0" + syncsafe + body


def id3v1(title):
    return (b"TAG" + title.encode().ljust(30, b"\0") + b"\0" * 94 + b"\xff")[:128]


def main():
    bases, out, mb = sys.argv[1], sys.argv[2], int(sys.argv[3])
    os.makedirs(out, exist_ok=True)
    streams = [frames(open(os.path.join(bases, f), "rb").read()) for f in sorted(os.listdir(bases)) if f.endswith(".mp3")]
    rnd = random.Random(24)
    total, n = 0, 0
    while total < mb * 1024 * 1024:
        base = streams[n % len(streams)]
        body = list(base)
        while sum(map(len, body)) < 5 * 1024 * 1024:
            body += base[1:]  # the copies without their VBR header frame
        places = sorted(rnd.sample(range(10, len(body) - 1), rnd.randint(1, 3)))
        parts = []
        for i, frame in enumerate(body):
            if i in places:
                kind = rnd.randrange(3)
                if kind == 0:
                    parts.append(bytes(rnd.randrange(0xF0) for _ in range(rnd.randint(1, 2000))))
                elif kind == 1:
                    frame = frame[: len(frame) // 2]
                else:
                    parts.append(id3v1("inside"))
            parts.append(frame)
        data = id3v2("File %d" % n) + b"".join(parts) + id3v1("File %d" % n)
        with open(os.path.join(out, "%04d.mp3" % n), "wb") as f:
            f.write(data)
        total += len(data)
        n += 1
    print("%d files, %.1f MB" % (n, total / 1048576))


main()
