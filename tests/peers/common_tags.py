#!/usr/bin/python3
"""The "tags" of `velmar-cli info --json` against what mutagen reads.

For every file of the peer corpus that mutagen's ID3 reader opens (with its
ID3v1 fallback, as it reads by default), the common fields are compared:
title TIT2, artist TPE1, album TALB, album_artist TPE2, year from TDRC (mutagen
turns TYER and TDAT into it), track and track_total from TRCK, disc and
disc_total from TPOS, genre as the names of TCON (`genres`, joined with "/"),
comment (the first COMM without a description, else the ID3v1 comment mutagen
adds as "ID3v1 Comment"), composer TCOM and bpm TBPM. Values mutagen gives as
lists are joined with "/", as velmar joins the values of a frame.

Differences listed in KNOWN are where the two read a file differently on
purpose; each says why. Any other difference fails, and so does a known one
that no longer occurs, so that the list stays true.

usage: common_tags.py VELMAR_CLI CORPUS_FOLDER [--all]
  --all  prints every file's fields side by side
Exit status 0 when the fields agree, 1 when not, 77 without mutagen or the corpus.
"""
import json
import os
import subprocess
import sys

try:
    import mutagen
    from mutagen.id3 import ID3
except ImportError:
    print("mutagen is not installed: skipped")
    sys.exit(77)

# (file under the corpus folder, field): why velmar and mutagen differ there.
KNOWN = {
    ("mutagen/id3v1v2-combined.mp3", "year"):
        "the ID3v2.4 tag holds TYER 2004 and no TDRC; mutagen adds the ID3v1 year 1337 as TDRC and lets it win",
    ("mutagen/apev2-lyricsv2.mp3", "album"):
        "mutagen does not read Lyrics3: its extended album EAL fills the album that neither ID3 tag has",
}


def joined(values):
    return "/".join(str(v) for v in values)


def number_or_text(text):
    text = text.strip()
    return int(text) if text.isdigit() else text


def pair(text, number, total, out):
    left, slash, right = text.partition("/")
    if left.strip():
        out[number] = number_or_text(left)
    if slash and right.strip():
        out[total] = number_or_text(right)


def mutagen_fields(path):
    tags = ID3(path)
    out = {}

    def first(frame_id):
        frames = tags.getall(frame_id)
        return frames[0] if frames else None

    for name, frame_id in (("title", "TIT2"), ("artist", "TPE1"), ("album", "TALB"), ("album_artist", "TPE2"),
                           ("composer", "TCOM")):
        frame = first(frame_id)
        if frame is not None and joined(frame.text):
            out[name] = joined(frame.text)
    date = first("TDRC")
    if date is not None and date.text:
        out["year"] = number_or_text(str(date.text[0])[:4])
    for frame_id, number, total in (("TRCK", "track", "track_total"), ("TPOS", "disc", "disc_total")):
        frame = first(frame_id)
        if frame is not None and frame.text:
            pair(str(frame.text[0]), number, total, out)
    genre = first("TCON")
    if genre is not None and joined(genre.genres):
        out["genre"] = joined(genre.genres)
    comments = tags.getall("COMM")
    for wanted in ("", "ID3v1 Comment"):
        texts = [joined(c.text) for c in comments if c.desc == wanted and joined(c.text)]
        if texts:
            out["comment"] = texts[0]
            break
    bpm = first("TBPM")
    if bpm is not None and bpm.text:
        out["bpm"] = number_or_text(str(bpm.text[0]))
    return out


def main():
    cli, corpus = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if not os.path.isdir(corpus):
        print("no corpus at %s: skipped" % corpus)
        return 77
    show_all = "--all" in sys.argv[3:]
    files = sorted(os.path.relpath(os.path.join(d, n), corpus)
                   for d, _, names in os.walk(corpus) for n in names if not n.endswith(".md"))
    # One run for every file: info takes files of any name when they are named.
    run = subprocess.run([cli, "info", "--json"] + [os.path.join(corpus, f) for f in files],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, encoding="utf-8")
    records = {}
    for line in run.stdout.splitlines():
        record = json.loads(line)
        records[os.path.relpath(record["path"], corpus)] = record
    failed, compared, differences = 0, 0, set()
    print("mutagen", mutagen.version_string)
    for name in files:
        try:
            want = mutagen_fields(os.path.join(corpus, name))
        except Exception as e:  # mutagen cannot read it: nothing to compare with
            if show_all:
                print("%s: mutagen cannot read it (%s)" % (name, type(e).__name__))
            continue
        if name not in records:
            print("FAILED: %s: no record from velmar-cli" % name)
            failed += 1
            continue
        got = records[name].get("tags", {})
        compared += 1
        if show_all:
            print("%s\n  velmar  %s\n  mutagen %s" % (name, got, want))
        for field in sorted(set(got) | set(want)):
            if got.get(field) == want.get(field):
                continue
            differences.add((name, field))
            why = KNOWN.get((name, field))
            print("%s %s: %s velmar %r, mutagen %r%s" % ("known" if why else "FAILED:", name, field,
                                                         got.get(field), want.get(field),
                                                         "\n  (%s)" % why if why else ""))
            failed += 0 if why else 1
    for name, field in sorted(set(KNOWN) - differences):
        print("FAILED: %s %s: listed as a known difference, but velmar and mutagen agree" % (name, field))
        failed += 1
    print("%d files compared, %d differences, %d failed" % (compared, len(differences), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
