#!/usr/bin/python3
"""velmar-cli against the peer tag tools of Debian.

Files are tagged by mutagen, eyeD3 and id3lib's id3v2; `velmar-cli info --json`
must show exactly what each peer wrote. Then `velmar-cli set` rewrites them and
the peers must read the new values, every frame that was not changed as it was,
and the same bytes between the tags. Stream facts of files that lame (and
twolame, for Layer II) made are compared with mutagen's. HTML and CSV reports of
`velmar-cli list` are read back with html.parser and csv, `velmar-cli match` is
held to its rule, and after `velmar-cli wipe` the peers find no tag.

With EDITOR_RESAVE (what the tag editor's Save does), files the peers tagged are
saved unchanged and must read back as they were, and values of every kind the
editor edits must read back in mutagen.

usage: peer_roundtrip.py VELMAR_CLI TEMP_FOLDER [EDITOR_RESAVE]
Exit status 0 when every check passed, 1 when one failed, 77 without mutagen.
"""
import csv
import html.parser
import io
import json
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

try:
    import mutagen.id3 as id3
    import mutagen.mp3 as mp3
except ImportError:
    print("mutagen is not installed: skipped")
    sys.exit(77)

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from common_tags import mutagen_fields  # noqa: E402  (after the check for mutagen)

CLI = os.path.abspath(sys.argv[1])
EDITOR = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", "samples")
os.makedirs(sys.argv[2], exist_ok=True)
WORK = tempfile.mkdtemp(prefix="peer-", dir=sys.argv[2])
checks = {"passed": 0, "failed": 0}


def check(ok, what, detail=""):
    if ok:
        checks["passed"] += 1
    else:
        checks["failed"] += 1
        print("FAILED: %s%s" % (what, ("\n  " + str(detail)) if detail else ""))
    return ok


def check_eq(got, want, what):
    return check(got == want, what, "got  %r\n  want %r" % (got, want))


def run(*cmd, errors="strict"):
    """Runs a program. id3lib's id3v2 prints ID3v1 texts as their bytes: give errors="replace" for it."""
    return subprocess.run(list(cmd), stdout=subprocess.PIPE, stderr=subprocess.PIPE, encoding="utf-8", errors=errors)


def have(tool):
    if shutil.which(tool):
        return True
    print("%s is not installed: its checks are skipped" % tool)
    return False


def path_in_work(name):
    return os.path.join(WORK, name)


# ---- velmar-cli ----
def info(path):
    r = run(CLI, "info", "--json", path)
    check_eq(r.returncode, 0, "velmar-cli info exit status for " + path)
    j = json.loads(r.stdout)
    check_eq(j["errors"], [], "velmar-cli info errors for " + path)
    return j


def set_tags(path, *options):
    r = run(CLI, "set", *options, path)
    check(r.returncode == 0, "velmar-cli set %s %s" % (" ".join(options), path), r.stderr)


# ---- reading the file without any tag library ----
def between(path):
    """The bytes after the ID3v2 tag and before Lyrics3 and ID3v1 tags."""
    return between_bytes(open(path, "rb").read())


def between_bytes(data):
    start, end = 0, len(data)
    if data[:3] == b"ID3":
        start = 10 + sum(b << (7 * (3 - i)) for i, b in enumerate(data[6:10])) + (10 if data[5] & 0x10 else 0)
    if data[end - 128:end - 125] == b"TAG":
        end -= 128
    if data[end - 9:end] == b"LYRICS200":
        end -= int(data[end - 15:end - 9]) + 15
    return data[start:end]


def raw_frames(path):
    """(identifier, body) of every frame of an ID3v2.3 tag, in file order."""
    data = open(path, "rb").read()
    if data[:3] != b"ID3":
        return []
    size = sum(b << (7 * (3 - i)) for i, b in enumerate(data[6:10]))
    area = data[10:10 + size]
    if data[5] & 0x80:
        area = area.replace(b"\xff\x00", b"\xff")
    frames, pos = [], 0
    while pos + 10 <= len(area) and area[pos:pos + 4] != b"\0\0\0\0":
        n = struct.unpack(">I", area[pos + 4:pos + 8])[0]
        frames.append((area[pos:pos + 4].decode("latin1"), area[pos + 10:pos + 10 + n]))
        pos += 10 + n
    return frames


# ---- mutagen's view of a tag, in the shape velmar-cli prints ----
def peer_tags(path):
    return id3.ID3(path, translate=False, load_v1=False)


def shaped(f):
    """A mutagen frame as velmar-cli shows it; None for frames shown by size only."""
    fid = f.FrameID
    joined = lambda texts: "\0".join(str(t) for t in texts)
    if fid == "TXXX":
        return {"id": fid, "description": f.desc, "value": joined(f.text)}
    if fid == "WXXX":
        return {"id": fid, "description": f.desc, "url": f.url}
    if fid in ("COMM", "USLT"):
        return {"id": fid, "language": f.lang, "description": f.desc,
                "text": joined(f.text) if fid == "COMM" else f.text}
    if fid == "APIC":
        return {"id": fid, "mime": f.mime, "picture_type": int(f.type), "description": f.desc,
                "data_size": len(f.data)}
    if fid[0] == "T":
        return {"id": fid, "text": joined(f.text)}
    if fid[0] == "W":
        return {"id": fid, "url": f.url}
    return None


def expected_frames(path):
    out = [s for s in (shaped(f) for f in peer_tags(path).values()) if s]
    shown = {s["id"] for s in out}
    out += [{"id": fid, "data_size": len(body)} for fid, body in raw_frames(path) if fid not in shown]
    return sorted(json.dumps(s, sort_keys=True, ensure_ascii=False) for s in out)


def velmar_frames(j):
    out = []
    for f in j["id3v2"]["frames"]:
        f = dict(f)
        if "text" in f or "url" in f:
            f.pop("data_size", None)  # frames kept raw show their size too
        out.append(json.dumps(f, sort_keys=True, ensure_ascii=False))
    return sorted(out)


def check_tags_by_name(j, path, label, differ=None):
    """The "tags" of the record are what mutagen reads, but for the fields in `differ`: (velmar's, mutagen's)."""
    got, want = dict(j["tags"]), mutagen_fields(path)
    for field, (ours, theirs) in (differ or {}).items():
        check_eq((got.pop(field, None), want.pop(field, None)), (ours, theirs), "%s: %s differs" % (label, field))
    check_eq(got, want, label + ": tags by name as mutagen reads them")


def check_shows_peer_tag(path, label):
    j = info(path)
    check_eq(j["id3v2"] and j["id3v2"]["version"], "2.3.0", label + ": ID3v2 version")
    check_eq(velmar_frames(j), expected_frames(path), label + ": frames shown as the peer wrote them")
    check_tags_by_name(j, path, label)
    return j


def frame_values(path):
    """Every frame mutagen reads, by identifier, without text encodings; unknown frames as bytes."""
    tags = peer_tags(path)
    out = {}
    for f in tags.values():
        s = shaped(f)
        out.setdefault(f.FrameID, []).append(json.dumps(s, sort_keys=True) if s else repr(f))
    for raw in tags.unknown_frames:
        out.setdefault(raw[:4].decode("latin1"), []).append(raw.hex())
    return {k: sorted(v) for k, v in out.items()}


def check_kept(before, after, changed, label):
    for fid in sorted(set(before) | set(after)):
        if fid not in changed:
            check_eq(after.get(fid), before.get(fid), "%s: frame %s kept" % (label, fid))


def v1_of(path):
    frames = id3.ParseID3v1(open(path, "rb").read()[-128:], v2_version=3) or {}
    text = lambda k: str(frames[k].text[0]) if k in frames else ""
    return {"title": text("TIT2"), "artist": text("TPE1"), "album": text("TALB"), "year": text("TYER"),
            "comment": text("COMM"), "track": int(text("TRCK")) if "TRCK" in frames else None,
            "genre": frames["TCON"].genres[0] if "TCON" in frames else ""}


def check_v1(j, path, label):
    shown = {k: j["id3v1"][k] for k in ("title", "artist", "album", "year", "comment", "track", "genre")}
    check_eq(shown, v1_of(path), label + ": ID3v1 as mutagen reads it")


# ---- audio ----
def make_wav(name, rate, channels, seconds):
    path = path_in_work(name)
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        frames = bytearray()
        for i in range(int(rate * seconds)):
            v = int(8000 * math.sin(2 * math.pi * (330 + 110 * (i * 4 // rate)) * i / rate))
            frames += struct.pack("<h", v) * channels
        w.writeframes(bytes(frames))
    return path


def untagged_copy(name):
    """A sample's MPEG frames with no tag around them."""
    path = path_in_work(name)
    data = open(os.path.join(SAMPLES, "Marlow Fenwick - Salt Road.mp3"), "rb").read()
    open(path, "wb").write(data[:-128])
    return path


def editor_resave_keeps(path, label):
    """Saving a copy through the tag editor without a change keeps every frame and the audio."""
    if not EDITOR:
        return None
    copy = path_in_work(label + "-editor.mp3")
    shutil.copyfile(path, copy)
    before, audio = frame_values(copy), between(copy)
    r = run(EDITOR, copy)
    check_eq(r.returncode, 0, label + ": the editor saves the file " + r.stderr)
    check_eq(frame_values(copy), before, label + ": the editor's unchanged save keeps every frame")
    check_eq(between(copy), audio, label + ": the editor's unchanged save keeps the audio")
    return copy


def editor_edits_read_by_mutagen(path):
    """A value of every kind the editor edits, as mutagen reads it; the other frames as they were."""
    before = frame_values(path)
    r = run(EDITOR, "--edit", path)
    if not check_eq(r.returncode, 0, "the editor saves its edits " + r.stderr):
        return
    tags = peer_tags(path)
    check_eq(str(tags["TIT2"]), "Editor title ünï", "editor: title")
    check_eq(str(tags["TCOM"]), "Компо́зитор", "editor: composer")
    check_eq(str(tags["TPUB"]), "Harbour Records", "editor: publisher")
    check_eq([w.url for w in tags.getall("WOAR")], ["https://artist.example.org/"], "editor: artist link")
    check(("fra", "Note", "Très bien") in [(c.lang, c.desc, str(c)) for c in tags.getall("COMM")], "editor: comment")
    check(("Editor", ["値"]) in [(t.desc, t.text) for t in tags.getall("TXXX")], "editor: user text")
    check(("Editor link", "https://editor.example.org/") in [(w.desc, w.url) for w in tags.getall("WXXX")],
          "editor: user link")
    check(("deu", "Strophe", "Erste Zeile\nZweite Zeile") in [(u.lang, u.desc, u.text) for u in tags.getall("USLT")],
          "editor: lyrics")
    check((4, "Back", "image/png", b"\x89PNG\x01\x02\x03") in
          [(a.type, a.desc, a.mime, a.data) for a in tags.getall("APIC")], "editor: picture")
    check(("editor@example.org", 128, 3) in [(p.email, p.rating, p.count) for p in tags.getall("POPM")],
          "editor: popularimeter")
    check_eq([c.count for c in tags.getall("PCNT")], [42], "editor: play counter")
    check_eq([list(p) for p in tags["IPLS"].people], [["producer", "Ann Editor"]], "editor: involved people")
    check_kept(before, frame_values(path),
               {"TIT2", "TCOM", "TPUB", "WOAR", "COMM", "TXXX", "WXXX", "USLT", "APIC", "POPM", "PCNT", "IPLS"},
               "editor: the frames not edited")


def closing_zero_texts():
    """mutagen ends ID3v2.3 UTF-16 texts with a terminator: read, edited and saved without it."""
    path = untagged_copy("picard.mp3")
    tags = id3.ID3()
    tags.add(id3.TIT2(encoding=1, text="Picard Style"))
    tags.add(id3.TPE1(encoding=1, text="Ünïcode Artist"))
    tags.save(path, v2_version=3)
    check(b"S\x00t\x00y\x00l\x00e\x00\x00\x00" in open(path, "rb").read(), "mutagen wrote a closing terminator")
    shown = {f["id"]: f["text"] for f in info(path)["id3v2"]["frames"]}
    check_eq((shown.get("TIT2"), shown.get("TPE1")), ("Picard Style", "Ünïcode Artist"), "read without the zero")
    set_tags(path, "--title", "Picard Style (Live)")
    tags = id3.ID3(path)
    check_eq((str(tags["TIT2"]), str(tags["TPE1"])), ("Picard Style (Live)", "Ünïcode Artist"),
             "edited without a zero inside, the other text as it was")


def undo_every_change():
    """set, fill, rename, wipe and a picture on mutagen-tagged files, then undo five
    times: every file byte for byte as it was, under its old name. A file mutagen
    changed after a change is left as mutagen left it, named, with exit status 1."""
    folder = path_in_work("undo")
    os.makedirs(folder)
    os.environ["XDG_STATE_HOME"] = path_in_work("undo-state")  # a history of these changes alone
    for n, name in enumerate(["Band - One.mp3", "Band - Two.mp3"]):
        path = os.path.join(folder, name)
        shutil.copy(untagged_copy("u%d.mp3" % n), path)
        tags = id3.ID3()
        tags.add(id3.TIT2(encoding=1, text="Título %d" % n))
        tags.add(id3.TRCK(encoding=0, text="%d/2" % (n + 1)))
        tags.add(id3.COMM(encoding=0, lang="eng", desc="", text="kept"))
        tags.save(path, v2_version=3)
    def state():
        return {n: open(os.path.join(folder, n), "rb").read() for n in sorted(os.listdir(folder))}
    original = state()
    files = lambda: [os.path.join(folder, n) for n in sorted(os.listdir(folder))]
    picture = os.path.join(WORK, "cover.png")
    with open(picture, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + bytes(range(256)))
    steps = [("set", "--title", "Changed"), ("fill", "--mask", "%00 - %01"), ("rename", "--mask", "%10 %01"),
             ("wipe", "--v1"), ("set", "--picture", picture)]
    for step in steps:
        r = run(CLI, *step, *files())
        check_eq(r.returncode, 0, "velmar-cli %s: %s" % (step[0], r.stderr))
    for _ in steps:
        r = run(CLI, "undo")
        check_eq(r.returncode, 0, "velmar-cli undo: " + r.stderr)
    check(state() == original, "five undos give every file back byte for byte under its name", sorted(state()))
    r = run(CLI, "undo")
    check_eq(r.returncode, 1, "nothing more to undo")
    # Changed by mutagen after a change: left alone and named.
    run(CLI, "set", "--title", "Velmar", *files())
    victim = files()[0]
    tags = id3.ID3(victim)
    tags.add(id3.TALB(encoding=1, text="Mutagen album"))
    tags.save(victim, v2_version=3)
    mutagen_bytes = open(victim, "rb").read()
    r = run(CLI, "undo")
    check_eq(r.returncode, 1, "undo with a file changed since exits 1")
    check(os.path.basename(victim) in r.stderr, "the file changed since is named", r.stderr)
    check(open(victim, "rb").read() == mutagen_bytes, "the file changed since is left as mutagen left it")
    check(open(files()[1], "rb").read() == original[os.path.basename(files()[1])], "the other file is undone")


# ---- the checks ----
def mutagen_written():
    path = untagged_copy("mutagen.mp3")
    picture = b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 2

    class XYZW(id3.TextFrame):  # an identifier neither library knows
        pass

    tags = id3.ID3()
    tags.add(id3.TIT2(encoding=0, text="Café Society"))
    tags.add(id3.TPE1(encoding=1, text="Łucja Żmuda & 東京 Strings"))
    tags.add(id3.TALB(encoding=1, text="Nocturnes"))
    tags.add(id3.TIT3(encoding=1, text="Live 🎵 take"))
    tags.add(id3.TDRC(encoding=0, text="1999"))
    tags.add(id3.TRCK(encoding=0, text="5/11"))
    tags.add(id3.TCON(encoding=0, text="(8)Jazz"))
    tags.add(id3.TPOS(encoding=0, text="1/2"))
    tags.add(id3.TCMP(encoding=0, text="1"))
    tags.add(id3.TSO2(encoding=1, text="Zmuda, Łucja"))
    tags.add(id3.COMM(encoding=0, lang="eng", desc="", text="plain comment"))
    tags.add(id3.COMM(encoding=1, lang="eng", desc="Mood", text="Ruhig – still"))
    tags.add(id3.COMM(encoding=0, lang="deu", desc="", text="Kommentar"))
    tags.add(id3.TXXX(encoding=0, desc="CATALOG", text="VLM-0042"))
    tags.add(id3.TXXX(encoding=1, desc="Ключ", text="значение"))
    tags.add(id3.USLT(encoding=1, lang="eng", desc="", text="Line one\nLine two\r\nЛиния три"))
    tags.add(id3.APIC(encoding=0, mime="image/png", type=3, desc="Front", data=picture))
    tags.add(id3.WOAR(url="https://example.org/zmuda"))
    tags.add(id3.WXXX(encoding=0, desc="Shop", url="https://shop.example.org/"))
    tags.add(id3.POPM(email="listener@example.org", rating=196, count=12))
    tags.add(id3.PRIV(owner="velmar-test", data=b"\x00\x01\x02secret"))
    tags.add(XYZW(encoding=1, text="unknown ü"))
    tags.update_to_v23()
    tags.save(path, v2_version=3, v1=2)

    j = check_shows_peer_tag(path, "mutagen")
    check_v1(j, path, "mutagen")
    edited = editor_resave_keeps(path, "mutagen")
    if edited:
        editor_edits_read_by_mutagen(edited)
    check_eq(len([f for f in j["id3v2"]["frames"] if f["id"] == "COMM"]), 3, "mutagen: three comments")
    audio = between(path)
    before = frame_values(path)
    # --comment changes the first comment without a description, whatever its language.
    comments = [(c.lang, c.desc, str(c)) for c in peer_tags(path).getall("COMM")]
    first = next(i for i, c in enumerate(comments) if c[1] == "")
    comments[first] = (comments[first][0], "", "changed")

    set_tags(path)
    check_eq(frame_values(path), before, "mutagen: set without options keeps every frame")
    check_eq(between(path), audio, "mutagen: set without options keeps the audio")
    check_shows_peer_tag(path, "mutagen after set")

    set_tags(path, "--title", "Neuer Titel für dich", "--artist", "Новый исполнитель", "--year", "2001",
             "--track", "6/11", "--genre", "Blues", "--comment", "changed", "--frame", "TCOM=Ada Byrne",
             "--remove", "TXXX")
    tags = peer_tags(path)
    check_eq(tags.version, (2, 3, 0), "mutagen: version after set")
    check_eq(str(tags["TIT2"]), "Neuer Titel für dich", "mutagen: new title")
    check_eq(str(tags["TPE1"]), "Новый исполнитель", "mutagen: new artist")
    check_eq(str(tags["TYER"]), "2001", "mutagen: new year")
    check_eq(str(tags["TRCK"]), "6/11", "mutagen: new track")
    check_eq(tags["TCON"].genres, ["Blues"], "mutagen: new genre")
    check_eq(str(tags["TCOM"]), "Ada Byrne", "mutagen: new composer")
    check_eq(tags.getall("TXXX"), [], "mutagen: TXXX removed")
    check_eq(sorted((c.lang, c.desc, str(c)) for c in tags.getall("COMM")), sorted(comments),
             "mutagen: only the first comment without description changed")
    check_kept(before, frame_values(path), {"TIT2", "TPE1", "TYER", "TRCK", "TCON", "COMM", "TCOM", "TXXX"},
               "mutagen after changes")
    check_eq(between(path), audio, "mutagen: changes keep the audio")
    v1 = v1_of(path)
    check_eq((v1["title"], v1["year"], v1["track"], v1["genre"], v1["comment"]),
             ("Neuer Titel für dich", "2001", 6, "Blues", "changed"), "mutagen: new ID3v1 values")
    if have("id3v2"):
        listing = run("id3v2", "-l", path, errors="replace").stdout
        check("TIT2 (Title/songname/content description): Neuer Titel f\u00fcr dich" in listing, "id3v2 -l shows the new title", listing)
    if have("eyeD3"):
        shown = json.loads(run("eyeD3", "--no-config", "-P", "json", path).stdout)
        check_eq((shown.get("title"), shown.get("artist"), shown.get("composer")),
                 ("Neuer Titel für dich", "Новый исполнитель", "Ada Byrne"), "eyeD3 reads the new values")


def eyed3_written():
    if not have("eyeD3"):
        return
    path = untagged_copy("eyed3.mp3")
    lyrics = path_in_work("lyrics.txt")
    open(lyrics, "w").write("Erste Zeile\nzweite Zeile\n")
    r = run("eyeD3", "--no-config", "--to-v2.3", "--encoding", "utf16", "-t", "Glass Harbour", "-a", "Øystein Vale",
            "-A", "Northern Drift", "-n", "2", "-N", "10", "-G", "Ambient", "--composer", "Ida Kross",
            "-c", "eyeD3 comment", "--add-comment", "second:Notes:deu", "--user-text-frame", "Label:Fjord Records",
            "--add-lyrics", lyrics, "--url-frame", "WOAR:http://vale.example/", "--user-url-frame", "Shop:http://s.example/",
            "--add-popularity", "fan@example.org:200:7", "--text-frame", "TPUB:Fjord", path)
    if not check_eq(r.returncode, 0, "eyeD3 writes a tag: " + r.stderr):
        return
    check_shows_peer_tag(path, "eyeD3")
    editor_resave_keeps(path, "eyeD3")
    audio, before = between(path), frame_values(path)
    set_tags(path)
    check_eq(frame_values(path), before, "eyeD3: set without options keeps every frame")
    set_tags(path, "--album", "Southern Drift", "--track", "3/10")
    check_kept(before, frame_values(path), {"TALB", "TRCK"}, "eyeD3 after changes")
    check_eq(between(path), audio, "eyeD3: changes keep the audio")
    shown = json.loads(run("eyeD3", "--no-config", "-P", "json", path).stdout)
    check_eq((shown.get("album"), shown.get("title"), shown.get("artist"), shown.get("track_num")),
             ("Southern Drift", "Glass Harbour", "Øystein Vale", {"count": 3, "total": 10}), "eyeD3 reads the result")


def id3lib_written():
    if not have("id3v2"):
        return
    path = untagged_copy("id3lib.mp3")
    r = run("id3v2", "-a", "Hollow Pines", "-t", "Ember Field", "-A", "Cold Rooms", "-y", "2003", "-T", "4/9",
            "-g", "17", "-c", "liner:Recorded in one take:eng", "--TCOM", "Jo Brandt", "--TXXX", "Catalog:HP-07",
            "--WOAR", "http://hollowpines.example/", "--USLT", "Words:first line\nsecond line:eng",
            "--TPUB", "Tin Roof", path)
    if not check_eq(r.returncode, 0, "id3v2 writes the tags: " + r.stderr):
        return
    j = check_shows_peer_tag(path, "id3lib")
    check_v1(j, path, "id3lib")
    editor_resave_keeps(path, "id3lib")

    def listing():
        blocks, v1 = [], []
        for line in run("id3v2", "-l", path, errors="replace").stdout.splitlines():
            if line.startswith("id3v"):
                continue
            if len(line) > 5 and line[:4].isalnum() and line[4] == " " and line[5] == "(":
                blocks.append(line)
            elif blocks:
                blocks[-1] += "\n" + line
            else:
                v1.append(line)
        return sorted(blocks), v1

    audio, (frames_before, v1_before) = between(path), listing()
    set_tags(path)
    check_eq(listing(), (frames_before, v1_before), "id3lib: set without options, as id3v2 -l lists it")
    set_tags(path, "--title", "Ember Field (Reprise)")
    frames_after, _ = listing()
    check_eq([b for b in frames_after if not b.startswith("TIT2")], [b for b in frames_before if not b.startswith("TIT2")],
             "id3lib: frames other than the title kept")
    check("TIT2 (Title/songname/content description): Ember Field (Reprise)" in frames_after, "id3lib reads the new title",
          frames_after)
    check_eq(v1_of(path)["title"], "Ember Field (Reprise)", "id3lib: new ID3v1 title")
    check_eq(between(path), audio, "id3lib: changes keep the audio")

    # An ID3v1.1 tag alone, written by id3lib.
    only_v1 = untagged_copy("id3lib-v1.mp3")
    run("id3v2", "-1", "-a", "Quiet Harbour", "-t", "Tin Cans", "-A", "Shore", "-y", "1987", "-T", "12", "-g", "24",
        "-c", "v1 comment", only_v1)
    j = info(only_v1)
    check_eq(j["id3v2"], None, "id3lib -1: no ID3v2 tag")
    check_v1(j, only_v1, "id3lib -1")
    audio = between(only_v1)
    set_tags(only_v1, "--no-v2", "--artist", "Quiet Harbour Band")
    check_eq(v1_of(only_v1)["artist"], "Quiet Harbour Band", "id3lib -1: new ID3v1 artist")
    check_eq(open(only_v1, "rb").read()[:3] != b"ID3", True, "id3lib -1: --no-v2 writes no ID3v2 tag")
    check_eq(between(only_v1), audio, "id3lib -1: audio kept")


MODES = {0: "Stereo", 1: "Joint Stereo", 2: "Dual Channel", 3: "Mono"}
VERSIONS = {1: "MPEG-1", 2: "MPEG-2", 2.5: "MPEG-2.5"}
LAYERS = {1: "Layer I", 2: "Layer II", 3: "Layer III"}


def stream_facts():
    stereo44 = make_wav("s44.wav", 44100, 2, 3)
    mono44 = make_wav("m44.wav", 44100, 1, 3)
    cases = [
        ("cbr-info.mp3", ["lame", "-b", "128", "-m", "j", stereo44]),
        ("cbr-noinfo.mp3", ["lame", "-t", "-b", "192", "-m", "s", stereo44]),
        ("vbr.mp3", ["lame", "-V", "2", stereo44]),
        ("vbr-mono.mp3", ["lame", "-V", "5", "-m", "m", mono44]),
        ("mono.mp3", ["lame", "-b", "96", "-m", "m", mono44]),
        ("mpeg2.mp3", ["lame", "--resample", "22.05", "-b", "64", stereo44]),
        ("mpeg2-noinfo.mp3", ["lame", "-t", "--resample", "24", "-b", "48", "-m", "m", mono44]),
        ("mpeg25.mp3", ["lame", "--resample", "11.025", "-b", "32", stereo44]),
        ("mpeg25-noinfo.mp3", ["lame", "-t", "--resample", "8", "-b", "16", "-m", "m", mono44]),
    ]
    if shutil.which("twolame"):
        cases.append(("layer2.mp2", ["twolame", "--quiet", "-b", "192", stereo44]))
        cases.append(("layer2-mono.mp2", ["twolame", "--quiet", "-b", "64", "-m", "m", mono44]))
    else:
        print("twolame is not installed: Layer II is not checked")
    for name, cmd in cases:
        path = path_in_work(name)
        if cmd[0] == "lame":
            cmd = cmd[:1] + ["--quiet"] + cmd[1:]
        r = run(*cmd, path)
        if not check_eq(r.returncode, 0, "%s makes %s: %s" % (cmd[0], name, r.stderr)):
            continue
        for tagged in (False, True):
            label = name + (" with tags" if tagged else "")
            if tagged:
                tags = id3.ID3()
                tags.add(id3.TIT2(encoding=0, text="Stream " + name))
                tags.save(path, v2_version=3, v1=2)
            peer = mp3.MP3(path).info
            mpeg = info(path)["mpeg"]
            check_eq((mpeg["version"], mpeg["layer"], mpeg["frequency"], mpeg["mode"]),
                     (VERSIONS[peer.version], LAYERS[peer.layer], peer.sample_rate, MODES[peer.mode]),
                     label + ": version, layer, frequency, mode")
            check(abs(mpeg["bitrate"] - peer.bitrate / 1000) <= 1, label + ": bit rate",
                  "velmar %s, mutagen %s" % (mpeg["bitrate"], peer.bitrate / 1000))
            check_eq(mpeg["bitrate_type"].startswith("VBR"), peer.bitrate_mode == mp3.BitrateMode.VBR, label + ": VBR")
            # mutagen's length leaves out the encoder delay and padding that a LAME header names.
            length = peer.length
            with open(path, "rb") as f:
                f.seek(peer.frame_offset + (mp3.XingHeader.get_offset(peer) if peer.layer == 3 else 0))
                try:
                    xing = mp3.XingHeader(f)
                except mp3.XingHeaderError:
                    xing = None
            if xing and xing.lame_header:
                length += (xing.lame_header.encoder_delay_start + xing.lame_header.encoder_padding_end) / peer.sample_rate
            if xing and xing.frames >= 0:
                check(abs(mpeg["frames"] - xing.frames) <= 1, label + ": frames",
                      "velmar %s, header %s" % (mpeg["frames"], xing.frames))
            check(abs(mpeg["seconds"] - length) <= 0.1, label + ": length",
                  "velmar %s, mutagen %.3f" % (mpeg["seconds"], length))


# ---- ID3v2.4 tags, read into the same values and written back as ID3v2.3 ----
def comparable(tags):
    """Every frame mutagen reads, by key, without encodings; several values as a set of parts."""
    out = {}
    for key, f in tags.items():
        if f.FrameID in ("TIPL", "TMCL", "IPLS"):
            out.setdefault("people", set()).update(tuple(p) for p in f.people)
        elif f.FrameID == "TDRC":
            out[key] = str(f)[:16]
        elif f.FrameID[0] == "T":
            out[key] = (getattr(f, "desc", ""), frozenset(part for t in f.text for part in str(t).split("/")))
        else:
            s = shaped(f)
            out[key] = json.dumps(s, sort_keys=True) if s else repr(f)
    return out


def check_v24_round_trip(path, label, expect_shown, tags_differ=None):
    j = info(path)
    check_eq(j["id3v2"] and j["id3v2"]["version"], "2.4.0", label + ": version shown")
    shown = {f["id"]: f.get("text", f.get("value")) for f in j["id3v2"]["frames"]}
    for fid, text in expect_shown.items():
        check_eq(shown.get(fid), text, "%s: %s shown" % (label, fid))
    check_tags_by_name(j, path, label, tags_differ)
    audio, before = between(path), comparable(id3.ID3(path))
    set_tags(path, "--title", "X")
    after_tags = id3.ID3(path)
    check_eq(after_tags.version, (2, 3, 0), label + ": written as ID3v2.3")
    check_eq(str(after_tags["TIT2"]), "X", label + ": new title")
    after = comparable(after_tags)
    for key in sorted(set(before) | set(after)):
        if key != "TIT2":
            check_eq(after.get(key), before.get(key), "%s: %s kept" % (label, key))
    check_eq(between(path), audio, label + ": audio kept")


def v24_written():
    path = untagged_copy("mutagen24.mp3")
    tags = id3.ID3()
    tags.add(id3.TIT2(encoding=3, text="Café ☃ Nights"))
    tags.add(id3.TPE1(encoding=3, text=["Anna Łoś", "東京 Strings"]))
    tags.add(id3.TALB(encoding=1, text="Nocturnes"))
    tags.add(id3.TDRC(encoding=3, text="2004-05-17T12:30"))
    tags.add(id3.TCON(encoding=3, text=["Jazz", "17"]))
    tags.add(id3.TRCK(encoding=3, text="5/11"))
    tags.add(id3.TSOP(encoding=3, text="Łoś, Anna"))
    tags.add(id3.TIPL(encoding=3, people=[["producer", "Ann"], ["engineer", "Bo"]]))
    tags.add(id3.TMCL(encoding=3, people=[["piano", "Cy"]]))
    tags.add(id3.COMM(encoding=3, lang="eng", desc="", text="Ünïcode comment"))
    tags.add(id3.TXXX(encoding=3, desc="MOOD", text=["calm", "slow"]))
    tags.add(id3.USLT(encoding=3, lang="eng", desc="", text="Line one\nЛиния два"))
    tags.add(id3.APIC(encoding=3, mime="image/png", type=3, desc="Front ☃", data=b"\x89PNG" + bytes(300)))
    tags.add(id3.RVA2(desc="track", channel=1, gain=-2.5, peak=0.9))
    tags.save(path, v2_version=4)
    # The frames the file holds, not the ID3v2.3 ones they are kept as (TYER, TDAT, TIME, IPLS).
    # A genre number among the names comes first in the ID3v2.3 form, so its name comes first.
    check_v24_round_trip(path, "mutagen 2.4", {
        "TIT2": "Café ☃ Nights", "TPE1": "Anna Łoś/東京 Strings", "TDRC": "2004-05-17T12:30", "TYER": None,
        "TDAT": None, "TIME": None, "TCON": "(17)Jazz", "TSOP": "Łoś, Anna", "TXXX": "calm/slow",
        "TIPL": "producer/Ann/engineer/Bo", "TMCL": "piano/Cy", "IPLS": None},
        tags_differ={"genre": ("Rock/Jazz", "Jazz/Rock")})
    if have("eyeD3"):
        path = untagged_copy("eyed3-24.mp3")
        r = run("eyeD3", "--no-config", "--to-v2.4", "-t", "Fjäll ☃", "-a", "Øystein Vale", "-A", "Drift",
                "-n", "2", "-N", "10", "-Y", "2011", "-G", "Ambient", "-c", "ein Kommentar",
                "--user-text-frame", "Label:Fjord", path)
        if check_eq(r.returncode, 0, "eyeD3 writes a 2.4 tag: " + r.stderr):
            check_v24_round_trip(path, "eyeD3 2.4", {"TIT2": "Fjäll ☃", "TPE1": "Øystein Vale", "TRCK": "02/10",
                                                      "TDRL": "2011", "TXXX": "Fjord"})


def rename_expected(track, artist, title, ext):
    """The name the rename rules give for '%10 - %00 - %01'."""
    def safe(v):
        v = v.replace("/", "-").replace("\\", "-")
        return "-" if v in (".", "..") else v
    return "%s - %s - %s%s" % (track, safe(artist), safe(title), ext)


def rename_peer_tagged():
    folder = path_in_work("rename")
    os.makedirs(folder)
    made = []  # (path, expected new name or None when the name is taken)

    def tagged(name, frames, encoding=3):
        path = os.path.join(folder, name)
        shutil.copy(untagged_copy("r-" + name), path)
        t = id3.ID3()
        for frame, text in frames:
            t.add(getattr(id3, frame)(encoding=encoding, text=[text]))
        t.save(path, v2_version=3)
        return path

    made.append((tagged("a.mp3", [("TRCK", "1"), ("TPE1", "AC/DC"), ("TIT2", "Ünïcode\\Path")], encoding=1),
                 rename_expected("01", "AC-DC", "Ünïcode-Path", ".mp3")))
    made.append((tagged("b.MP3", [("TRCK", "2/9"), ("TPE1", "."), ("TIT2", "..")], encoding=0),
                 rename_expected("02", "-", "-", ".MP3")))
    made.append((tagged("c.mp3", [("TRCK", "4")]), rename_expected("04", "", "", ".mp3")))
    if have("eyeD3") and have("id3v2"):
        for name in ("d.mp3", "e.mp3"):
            path = os.path.join(folder, name)
            shutil.copy(untagged_copy("r-" + name), path)
        r = run("eyeD3", "--no-config", "--to-v2.3", "-t", "Same", "-a", "Equal", "-n", "5", os.path.join(folder, "d.mp3"))
        check_eq(r.returncode, 0, "eyeD3 tags a file to rename: " + r.stderr)
        r = run("id3v2", "-t", "Same", "-a", "Equal", "-T", "5", os.path.join(folder, "e.mp3"))
        check_eq(r.returncode, 0, "id3lib tags a file to rename: " + r.stderr)
        made.append((os.path.join(folder, "d.mp3"), rename_expected("05", "Equal", "Same", ".mp3")))
        made.append((os.path.join(folder, "e.mp3"), None))  # the same name as d.mp3: reported, left in place
    contents = {path: open(path, "rb").read() for path, _ in made}
    r = run(CLI, "rename", "--mask", "%10 - %00 - %01", *[path for path, _ in made])
    taken = any(expected is None for _, expected in made)
    check_eq(r.returncode, 1 if taken else 0, "rename exit status: " + r.stderr)
    for path, expected in made:
        where = path if expected is None else os.path.join(folder, expected)
        check(os.path.exists(where), "renamed as the rules say: " + where, sorted(os.listdir(folder)))
        if os.path.exists(where):
            check(open(where, "rb").read() == contents[path], "renaming keeps every byte of " + where)
        if expected is None:
            check(os.path.basename(path) + ": not renamed" in r.stderr, "the taken name is reported", r.stderr)
    check_eq(len(os.listdir(folder)), len(made), "no file is lost or overwritten")


def fill_read_by_peers():
    """Files tagged by mutagen get only artist and title from their names: every other
    value stays, and a file whose name does not fit the mask is left byte for byte."""
    folder = path_in_work("fill")
    os.makedirs(folder)
    names = ["The Band - First Song.mp3", "The Band - Second Song.mp3"]
    paths = [os.path.join(folder, n) for n in names]
    unfit = os.path.join(folder, "bonus track.mp3")
    for n, p in enumerate(paths + [unfit]):
        shutil.copy(untagged_copy("f.mp3"), p)
        tags = id3.ID3()
        for frame in (id3.TDRC(encoding=0, text="1999"), id3.TCON(encoding=0, text="(8)Jazz"),
                      id3.TSSE(encoding=1, text="LAME 3.100 -V2"), id3.TPOS(encoding=0, text="1/2"),
                      id3.TRCK(encoding=0, text="%d/12" % (n + 3)), id3.TIT2(encoding=1, text="Old")):
            tags.add(frame)
        tags.save(p, v2_version=3)
    audio = between(paths[0])
    unfit_bytes = open(unfit, "rb").read()
    r = run(CLI, "fill", "--mask", "%00 - %01", *paths, unfit)
    check_eq(r.returncode, 1, "velmar-cli fill with a name that does not fit: " + r.stderr)
    check("bonus track.mp3" in r.stderr, "the file left is named", r.stderr)
    check(open(unfit, "rb").read() == unfit_bytes, "the file whose name does not fit is byte-identical")
    t = id3.ID3(paths[0])
    check_eq({k: str(t[k]) for k in ("TPE1", "TIT2", "TRCK", "TDRC", "TCON", "TSSE", "TPOS")},
             {"TPE1": "The Band", "TIT2": "First Song", "TRCK": "3/12", "TDRC": "1999", "TCON": "Jazz",
              "TSSE": "LAME 3.100 -V2", "TPOS": "1/2"}, "mutagen reads the filled tags and every value kept")
    check_eq(between(paths[0]), audio, "fill keeps the audio")
    if have("eyeD3"):
        shown = json.loads(run("eyeD3", "--no-config", "-P", "json", paths[1]).stdout)
        check_eq((shown.get("title"), shown.get("artist"), shown.get("track_num")),
                 ("Second Song", "The Band", {"count": 4, "total": 12}), "eyeD3 reads the filled tags")
    if have("id3v2"):
        listing = run("id3v2", "-l", paths[0], errors="replace").stdout
        check("TIT2 (Title/songname/content description): First Song" in listing, "id3lib reads the filled title", listing)
    os.remove(unfit)
    # Renamed away and back by the same mask: the names come again.
    for mask in ("%01 by %00", "%00 - %01"):
        now = [os.path.join(folder, n) for n in sorted(os.listdir(folder))]
        check_eq(run(CLI, "rename", "--mask", mask, *now).returncode, 0, "rename by " + mask)
    check_eq(sorted(os.listdir(folder)), names, "renaming back gives the names again")


# ---- pictures, comments, user frames and lyrics ----
def tiny_jpeg():
    """A baseline JPEG of one grey pixel: one quantisation table, one-code Huffman tables, one block."""
    def segment(marker, body):
        return b"\xff" + bytes([marker]) + struct.pack(">H", len(body) + 2) + body
    one_code = bytes([1] + [0] * 15) + b"\x00"  # a single code of length 1 for the symbol 0
    return (b"\xff\xd8" + segment(0xE0, b"JFIF\0\x01\x01\x00\x00\x01\x00\x01\x00\x00")
            + segment(0xDB, b"\x00" + b"\x01" * 64)
            + segment(0xC0, b"\x08\x00\x01\x00\x01\x01\x01\x11\x00")
            + segment(0xC4, b"\x00" + one_code) + segment(0xC4, b"\x10" + one_code)
            + segment(0xDA, b"\x01\x01\x00\x00\x3f\x00")
            + b"\x3f"  # DC difference 0, end of block, padded with ones
            + b"\xff\xd9")


def make_jpeg(name):
    path = path_in_work(name)
    if have("convert"):
        r = run("convert", "-size", "64x48", "gradient:navy-gold", path)
        if r.returncode == 0 and open(path, "rb").read()[:3] == b"\xff\xd8\xff":
            return path
        check(False, "convert makes a JPEG", r.stderr)
    open(path, "wb").write(tiny_jpeg())
    return path


def pictures_and_texts_read_by_mutagen():
    path = untagged_copy("pictures.mp3")
    back = b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 3
    tags = id3.ID3()
    tags.add(id3.TIT2(encoding=1, text="Picture Day ✓"))
    tags.add(id3.TPE1(encoding=0, text="Harbour Lights"))
    tags.add(id3.COMM(encoding=0, lang="eng", desc="", text="plain comment"))
    tags.add(id3.TXXX(encoding=0, desc="Old", text="goes"))
    tags.add(id3.TXXX(encoding=0, desc="Kept", text="stays"))
    tags.add(id3.APIC(encoding=0, mime="image/png", type=4, desc="Back", data=back))
    tags.save(path, v2_version=3)
    audio, before = between(path), frame_values(path)
    jpeg = make_jpeg("cover.jpg")
    cover = open(jpeg, "rb").read()

    # Given twice: the second replaces the first, as it has the same type and description.
    for _ in range(2):
        set_tags(path, "--picture", jpeg + ":3:Front")
    pictures = peer_tags(path).getall("APIC")
    fronts = [p for p in pictures if p.type == 3]
    check_eq(len(fronts), 1, "mutagen reads one front cover")
    if fronts:
        check_eq((fronts[0].mime, fronts[0].desc, fronts[0].data == cover), ("image/jpeg", "Front", True),
                 "mutagen: the front cover's MIME type, description and bytes")
    check_eq([(p.type, p.mime, p.desc, p.data == back) for p in pictures if p.type != 3],
             [(4, "image/png", "Back", True)], "mutagen: the back cover is kept")
    check_kept(before, frame_values(path), {"APIC"}, "pictures")
    check_eq(between(path), audio, "pictures: the audio is kept")
    listing = run(CLI, "pictures", path)
    check_eq((listing.returncode, listing.stdout),
             (0, '1: 4 Cover (back), image/png, "Back", %d bytes\n2: 3 Cover (front), image/jpeg, "Front", %d bytes\n'
              % (len(back), len(cover))), "velmar-cli pictures lists both")
    out = path_in_work("pictures-out")
    r = run(CLI, "pictures", "-o", out, path)
    written = [os.path.join(out, n) for n in ("pictures-1.png", "pictures-2.jpg")]
    check_eq((r.returncode, r.stdout, r.stderr), (0, "".join(w + "\n" for w in written), ""), "velmar-cli pictures -o")
    check(all(os.path.exists(w) for w in written) and open(written[1], "rb").read() == cover
          and open(written[0], "rb").read() == back, "pictures -o writes the bytes back byte for byte")
    r = run(CLI, "pictures", "-o", out, path)
    check_eq(r.returncode, 1, "pictures -o does not write over the pictures written before")
    check(open(written[1], "rb").read() == cover, "the picture written before is left as it is")

    lyrics_file = path_in_work("lyrics.txt")
    words = "Звёзды над рекой\n夜の灯り\nΣτίχοι – ✓\n"
    open(lyrics_file, "w", encoding="utf-8").write(words)
    set_tags(path, "--comment", "Комментарий ✓", "--comment-lang", "rus", "--comment-desc", "Заметка",
             "--txxx", "Настроение=спокойно", "--txxx", "Old=", "--wxxx", "Магазин=https://shop.example.org/a?b=1",
             "--lyrics", lyrics_file)
    tags = peer_tags(path)
    check_eq(sorted((c.lang, c.desc, str(c)) for c in tags.getall("COMM")),
             [("eng", "", "plain comment"), ("rus", "Заметка", "Комментарий ✓")], "mutagen reads both comments")
    check_eq(sorted((t.desc, str(t)) for t in tags.getall("TXXX")), [("Kept", "stays"), ("Настроение", "спокойно")],
             "mutagen reads the user texts, one removed")
    check_eq([(w.desc, w.url) for w in tags.getall("WXXX")], [("Магазин", "https://shop.example.org/a?b=1")],
             "mutagen reads the user URL")
    check_eq([(u.lang, u.desc, u.text) for u in tags.getall("USLT")], [("eng", "", words)], "mutagen reads the lyrics")
    check_kept(before, frame_values(path), {"APIC", "COMM", "TXXX", "WXXX", "USLT"}, "texts")

    open(lyrics_file, "w").close()  # no lyrics: removes them
    set_tags(path, "--comment", "", "--comment-lang", "rus", "--comment-desc", "Заметка", "--wxxx", "Магазин=",
             "--lyrics", lyrics_file, "--remove-pictures")
    tags = peer_tags(path)
    check_eq([(c.lang, c.desc, str(c)) for c in tags.getall("COMM")], [("eng", "", "plain comment")],
             "mutagen: the described comment is removed, the plain one kept")
    check_eq((tags.getall("WXXX"), tags.getall("USLT"), tags.getall("APIC")), ([], [], []),
             "mutagen: user URL, lyrics and pictures removed")
    check_eq(str(tags["TIT2"]), "Picture Day ✓", "mutagen: the title is kept")
    check_eq(between(path), audio, "removing keeps the audio")


# ---- list, match, wipe ----
DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data")
# Track, artist, title, album, year of each file, with what HTML and CSV reports must escape.
LIST_VALUES = {
    "a-mutagen.mp3": ("11", 'Björk & "Friends", Ltd.', "<Intro> & Ευχαριστώ", 'Сборник, "Лучшее"', "2004"),
    "b-eyed3.mp3": ("12", "Zoë <Quartet>", 'Œuvre "No. 5", pt 2', "東京 & Osaka", "1999"),
    "c-id3lib.mp3": ("13", 'Ærø & <Søn>, "Co"', 'Über, "Straße"', "Ελλάδα > Κρήτη", "2001"),
}


class TableCells(html.parser.HTMLParser):
    """The text of every <td> cell, row by row."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows, self.cell = [], None

    def handle_starttag(self, tag, attrs):
        if tag == "tr":
            self.rows.append([])
        elif tag == "td":
            self.cell = ""

    def handle_endtag(self, tag):
        if tag == "td" and self.cell is not None:
            self.rows[-1].append(self.cell)
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data


def list_read_back():
    if not (have("eyeD3") and have("id3v2")):
        return
    folder = path_in_work("list")
    os.makedirs(folder)
    paths = {name: os.path.join(folder, name) for name in LIST_VALUES}
    for name, path in paths.items():
        shutil.copy(untagged_copy("l-" + name), path)
    track, artist, title, album, year = LIST_VALUES["a-mutagen.mp3"]
    tags = id3.ID3()
    for frame, text in (("TRCK", track), ("TPE1", artist), ("TIT2", title), ("TALB", album), ("TYER", year)):
        tags.add(getattr(id3, frame)(encoding=1, text=text))
    tags.save(paths["a-mutagen.mp3"], v2_version=3, v1=2)
    track, artist, title, album, year = LIST_VALUES["b-eyed3.mp3"]
    r = run("eyeD3", "--no-config", "--to-v2.3", "--encoding", "utf16", "-n", track, "-a", artist, "-t", title,
            "-A", album, "--recording-date", year, paths["b-eyed3.mp3"])
    check_eq(r.returncode, 0, "eyeD3 tags a file to list: " + r.stderr)
    track, artist, title, album, year = LIST_VALUES["c-id3lib.mp3"]
    r = run("id3v2", "-T", track, "-a", artist, "-t", title, "-A", album, "-y", year, paths["c-id3lib.mp3"])
    check_eq(r.returncode, 0, "id3lib tags a file to list: " + r.stderr)
    # Rows as the tools wrote the values, with the length velmar-cli info shows; folders are scanned by name.
    want = [list(LIST_VALUES[n]) + [info(paths[n])["mpeg"]["length"]] for n in sorted(LIST_VALUES)]
    for lst, report in (("HTML Table", "list.html"), ("CSV", "list.csv")):
        report = path_in_work(report)
        r = run(CLI, "list", "--list", lst, "--data", DATA, "-o", report, folder)
        check_eq((r.returncode, r.stdout, r.stderr), (0, "%s: 3 file(s)\n" % report, ""), "velmar-cli list " + lst)
        text = open(report, "rb").read()
        check(text.endswith(b"\r\n") and b"\n" not in text.replace(b"\r\n", b""), lst + ": CR LF line ends")
        if report.endswith(".html"):
            rows = [line for line in text.decode("utf-8").split("\r\n") if line.startswith("<tr><td>")]
            bare = "".join(rows)
            for reference in ("&amp;", "&lt;", "&gt;", "&quot;"):
                bare = bare.replace(reference, "")
            check('&' not in bare and '"' not in bare, lst + ": & and quotes in values as character references", rows)
            cells = TableCells()
            cells.feed(text.decode("utf-8"))
            rows = [row for row in cells.rows if row]  # the header row holds <th> cells
        else:
            rows = list(csv.reader(io.StringIO(text.decode("utf-8"), newline="")))[1:]
        check_eq(rows, want, lst + ": one row per file with the values the peers wrote")


def write_stream(path, seconds):
    """MPEG-2.5 Layer III frames, 8 kbit/s at 12 kHz, mono: 48 bytes and 48 ms each (125 frames in 6 s)."""
    assert seconds % 6 == 0
    frame = b"\xff\xe3\x14\xc0" + b"\x11" * 44
    open(path, "wb").write(frame * (seconds * 1000 // 48))


def match_by_rule():
    folder = path_in_work("match")
    os.makedirs(folder)
    lengths = [30 * 60, 30 * 60, 10 * 60 + 6, 20 * 60, 15 * 60, 4 * 60 + 12]
    paths = [os.path.join(folder, "%02d.mp3" % i) for i in range(len(lengths))]
    for path, seconds in zip(paths, lengths):
        write_stream(path, seconds)
    tags = id3.ID3()
    tags.add(id3.TIT2(encoding=1, text="Tagged ✓"))
    tags.save(paths[2], v2_version=3, v1=2)  # tags add nothing to the length
    # mutagen counts an ID3v1 tag into the length it estimates: 128 bytes are 0.128 s here.
    peer = [mp3.MP3(p).info.length for p in paths]
    check(all(abs(a - b) < 0.2 for a, b in zip(peer, lengths)), "mutagen reads the lengths made", peer)
    # 60 minutes: 30 + 30 is not below, so the second file is passed over and later ones still fit.
    for target in (1, 60, 61, 70, 200):
        chosen, total = [], 0
        for p, length in zip(paths, lengths):
            if total + length < target * 60:
                chosen.append(p)
                total += length
        r = run(CLI, "match", "--minutes", str(target), folder)
        want = "".join(p + "\n" for p in chosen) + "A total time of %02d:%02d was selected.\n" % divmod(total, 60)
        check_eq((r.returncode, r.stdout, r.stderr), (0, want, ""), "velmar-cli match --minutes %d" % target)


def wipe_read_by_peers():
    folder = path_in_work("wipe")
    os.makedirs(folder)
    files = {name: os.path.join(folder, name) for name in ("mutagen.mp3", "lyrics3.mp3", "bare.mp3")}
    shutil.copy(untagged_copy("w-mutagen.mp3"), files["mutagen.mp3"])
    tags = id3.ID3()
    tags.add(id3.TIT2(encoding=1, text="Wipe me ✓"))
    tags.add(id3.COMM(encoding=1, lang="eng", desc="", text="gone"))
    tags.save(files["mutagen.mp3"], v2_version=3, v1=2)
    shutil.copy(os.path.join(SAMPLES, "Tessa Lorne - Paper Boats.mp3"), files["lyrics3.mp3"])  # Lyrics3 and ID3v1
    shutil.copy(untagged_copy("w-bare.mp3"), files["bare.mp3"])
    if have("eyeD3"):
        files["eyed3.mp3"] = shutil.copy(untagged_copy("w-eyed3.mp3"), os.path.join(folder, "eyed3.mp3"))
        r = run("eyeD3", "--no-config", "--to-v2.4", "-t", "Four", "-a", "Ünïcode", files["eyed3.mp3"])
        check_eq(r.returncode, 0, "eyeD3 tags a file to wipe: " + r.stderr)
    if have("id3v2"):
        files["id3lib.mp3"] = shutil.copy(untagged_copy("w-id3lib.mp3"), os.path.join(folder, "id3lib.mp3"))
        r = run("id3v2", "-t", "Both tags", "-a", "id3lib", "-T", "3", files["id3lib.mp3"])
        check_eq(r.returncode, 0, "id3lib tags a file to wipe: " + r.stderr)
    os.utime(files["bare.mp3"], ns=(10**18, 10**18))
    before = {name: open(p, "rb").read() for name, p in files.items()}
    bare_time = os.stat(files["bare.mp3"]).st_mtime_ns
    r = run(CLI, "wipe", "--v1", "--v2", "--lyrics3", *files.values())
    check_eq(r.returncode, 0, "velmar-cli wipe: " + r.stderr)
    removed = {"mutagen.mp3": "ID3v2, ID3v1", "lyrics3.mp3": "Lyrics3, ID3v1", "eyed3.mp3": "ID3v2",
               "id3lib.mp3": "ID3v2, ID3v1"}
    check_eq(r.stdout, "".join("%s: %s\n" % (p, "removed " + removed[n] if n in removed else
                                              "none of the chosen tags, left as it is") for n, p in files.items()),
             "velmar-cli wipe says what it removed")
    for name, path in files.items():
        data = open(path, "rb").read()
        check(data == between_bytes(before[name]), name + ": only the audio bytes are left, as they were")
        try:
            id3.ID3(path)
            check(False, name + ": mutagen finds no tag after wiping")
        except id3.ID3NoHeaderError:
            check(True, name + ": mutagen finds no tag")
        check(b"LYRICSBEGIN" not in data, name + ": no Lyrics3 tag is left")
        if shutil.which("id3v2"):
            listing = run("id3v2", "-l", path, errors="replace").stdout
            check("No ID3 tag" in listing, name + ": id3lib finds no tag", listing)
    check(before["bare.mp3"] == open(files["bare.mp3"], "rb").read(), "a file without tags keeps every byte")
    check_eq(os.stat(files["bare.mp3"]).st_mtime_ns, bare_time, "a file without tags is not written")



def main():
    try:
        mutagen_written()
        eyed3_written()
        id3lib_written()
        v24_written()
        rename_peer_tagged()
        fill_read_by_peers()
        closing_zero_texts()
        undo_every_change()
        pictures_and_texts_read_by_mutagen()
        list_read_back()
        match_by_rule()
        wipe_read_by_peers()
        stream_facts()
    finally:
        shutil.rmtree(WORK, ignore_errors=True)
    print("peer_roundtrip: %d checks passed, %d checks failed" % (checks["passed"], checks["failed"]))
    return 1 if checks["failed"] else 0


if __name__ == "__main__":
    sys.exit(main())
