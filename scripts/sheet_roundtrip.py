#!/usr/bin/python3
"""A spreadsheet round trip of velmar-cli, checked with mutagen (run by hand).

The sample files are copied to a temporary folder and exported with
`velmar-cli export --csv`; Python's csv module reads the sheet and writes it
back with two cells changed (a title with a comma, quotes, a line break and
Cyrillic letters; a year). After `velmar-cli import`, mutagen must read exactly
those two new values, every other frame of every file as it was, the bytes
after the ID3v2 tag as they were (but for the one ID3v1 title), and the files
not changed byte for byte as they were. A file mutagen changes after the export
must be refused and keep mutagen's value. `velmar-cli undo` must put every file
back byte for byte.

usage: scripts/sheet_roundtrip.py [VELMAR_CLI]   (default: build/cli/velmar-cli)
Exit status 0 when every check passed, 1 when one failed, 77 without mutagen.
"""
import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import mutagen.id3 as id3
except ImportError:
    print("mutagen is not installed: skipped")
    sys.exit(77)

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLI = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/cli/velmar-cli"))
SAMPLES = os.path.join(ROOT, "data/samples")
NEW_TITLE = 'Новая, "песня"\nвторая строка'
failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def run(*args, stdin=None):
    return subprocess.run([CLI, *args], capture_output=True, text=True, input=stdin)


def frames(path):
    """Every ID3v2 frame's values as mutagen reads them, without converting to
    ID3v2.4. The text encoding is left out: Velmar writes a text whose characters
    all lie in Latin-1 as Latin-1, whatever encoding it was read in."""
    try:
        tag = id3.ID3(path, translate=False)
    except id3.ID3NoHeaderError:
        return {}
    return {key: re.sub(r"encoding=<Encoding\.\w+: \d>, ", "", repr(frame)) for key, frame in tag.items()}


def after_v2(data):
    """The bytes after the ID3v2 tag: the audio, then the end tags."""
    if data[:3] != b"ID3":
        return data
    size = 0
    for b in data[6:10]:
        size = size << 7 | b
    return data[10 + size:]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    work = tempfile.mkdtemp(prefix="velmar-sheet-")
    os.environ["XDG_STATE_HOME"] = os.path.join(work, "state")
    lib = os.path.join(work, "lib")
    shutil.copytree(SAMPLES, lib, ignore=lambda d, names: [n for n in names if not n.endswith(".mp3")])
    files = sorted(os.path.join(lib, n) for n in os.listdir(lib))
    original = {f: read(f) for f in files}
    before = {f: frames(f) for f in files}

    sheet = os.path.join(work, "sheet.csv")
    r = run("export", "--csv", "-o", sheet, lib)
    check(r.returncode == 0, "export --csv: " + r.stderr.strip())
    with open(sheet, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    check(len(rows) == len(files), "one row a file")
    titled = next(r for r in rows if "Lanterns" in r["path"])  # ID3v2 and ID3v1
    dated = next(r for r in rows if "Harbour" in r["path"])  # ID3v2 only
    titled["title"] = NEW_TITLE
    dated["year"] = "2020"
    with open(sheet, "w", newline="", encoding="utf-8") as f:
        writer = csv.DictWriter(f, fieldnames=list(rows[0].keys()))
        writer.writeheader()
        writer.writerows(rows)

    r = run("import", sheet)
    check(r.returncode == 0 and r.stderr == "", "import: " + r.stderr.strip())
    for f in files:
        now = frames(f)
        name = os.path.basename(f)
        if f == titled["path"]:
            check(id3.ID3(f, translate=False)["TIT2"].text == [NEW_TITLE], name + ": mutagen reads the new title")
            check({k: v for k, v in now.items() if k != "TIT2"} == {k: v for k, v in before[f].items() if k != "TIT2"},
                  name + ": every other frame as it was")
            rest, was = after_v2(read(f)), after_v2(original[f])
            check(len(rest) == len(was) and rest[:-128] == was[:-128], name + ": the audio as it was")
            check(rest[-128:-125] == b"TAG" and rest[-125:-95] != was[-125:-95] and rest[-95:] == was[-95:],
                  name + ": of the ID3v1 tag only the title changed")
        elif f == dated["path"]:
            check(id3.ID3(f, translate=False)["TYER"].text == ["2020"], name + ": mutagen reads the new year")
            check({k: v for k, v in now.items() if k != "TYER"} == {k: v for k, v in before[f].items() if k != "TYER"},
                  name + ": every other frame as it was")
            check(after_v2(read(f)) == after_v2(original[f]), name + ": the bytes after the ID3v2 tag as they were")
        else:
            check(read(f) == original[f], name + ": not written")

    # A file that another program changed after the export is refused.
    r = run("export", "--csv", "-o", sheet, lib)
    with open(sheet, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    target = next(r for r in rows if "Orbit" in r["path"])
    target["album"] = "From the sheet"
    with open(sheet, "w", newline="", encoding="utf-8") as f:
        writer = csv.DictWriter(f, fieldnames=list(rows[0].keys()))
        writer.writeheader()
        writer.writerows(rows)
    tag = id3.ID3(target["path"])
    tag.add(id3.TALB(encoding=3, text=["From mutagen"]))
    tag.save(v2_version=3)
    changed = read(target["path"])
    r = run("import", sheet)
    check(r.returncode == 1 and "velmar-cli: " + target["path"] + ": the file changed after the sheet was exported"
          in r.stderr, "a file mutagen changed is refused: " + r.stderr.strip())
    check(read(target["path"]) == changed, "and keeps mutagen's album")
    with open(target["path"], "wb") as f:
        f.write(original[target["path"]])

    r = run("undo")
    check(r.returncode == 0, "undo: " + r.stderr.strip())
    for f in files:
        check(read(f) == original[f], os.path.basename(f) + ": put back byte for byte")
    shutil.rmtree(work)
    print("%d check(s) failed" % len(failures) if failures else "every check passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
