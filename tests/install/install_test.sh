#!/usr/bin/env bash
# install_test.sh CMAKE BUILD_DIR VERSION SAMPLES_DIR
#
# Installs the build as a package build would, with `cmake --install --prefix /usr
# --strip` into a temporary DESTDIR, and checks the result as a user would meet it:
# nothing outside the prefix, the programs stripped, the shipped DATA folder without
# the samples and without what the program writes at run time, the desktop file
# (desktop-file-validate) and the AppStream metainfo of the same id (appstreamcli
# validate-tree), the icons (PNGs of the size their folder names), the
# manual pages (man renders them without a warning), `--version` of both programs
# without a display, velmar-cli finding the installed DATA folder, and the installed
# velmar started on a fresh home with a read-only DATA folder: it keeps running,
# writes its settings and pictures under that home, and nothing into the prefix.
# Exit status 77 (skipped) without desktop-file-validate, appstreamcli, readelf or man.
set -uo pipefail

cmake=$1 build=$2 version=$3 samples=$4

for tool in desktop-file-validate appstreamcli readelf man col timeout; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is missing (apt-get install desktop-file-utils appstream binutils man-db bsdextrautils coreutils)"
        exit 77
    fi
done

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-install.XXXXXX")
chmod 755 "$work"  # man may read the pages as another user
cleanup() {
    chmod -R u+w "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
dest=$work/dest
prefix=$dest/usr
data=$prefix/share/velmar

# A clean environment: no display, no session bus, no Velmar variables.
clean_env=(env -i "PATH=/usr/local/bin:/usr/bin:/bin" "LANG=C.UTF-8" "HOME=$work/nohome")

# ---------------------------------------------------------------- install
if ! DESTDIR=$dest "$cmake" --install "$build" --prefix /usr --strip >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi
pass "cmake --install --strip into DESTDIR $dest"

outside=$(cd "$dest" && find . -mindepth 1 -maxdepth 1 ! -name usr -print)
[ -z "$outside" ] || fail "installed outside the prefix: $outside"
for f in bin/velmar bin/velmar-cli; do
    [ -f "$prefix/$f" ] || continue
    sections=$(readelf -S --wide "$prefix/$f" 2>&1)
    grep -qE '\.text' <<<"$sections" || fail "readelf cannot read $f: $sections"
    ! grep -qE '\.(symtab|debug_info)( |$)' <<<"$sections" || fail "$f is not stripped"
done

for f in bin/velmar bin/velmar-cli; do
    [ -f "$prefix/$f" ] && [ -x "$prefix/$f" ] && continue
    fail "$f is not an installed program"
done
for f in "Outputs/Rename/Artist - Title" "Outputs/Filename To Tag/Track - Artist - Title" \
    "Outputs/MakeList/Default" "Lists/CSV/main.txt" "Lists/HTML Table/top.txt" \
    "Lists/Plain Text/end.txt" GFX/COLTAB/CM0.ACT GFX/COLTAB/CB6.ACT; do
    [ -f "$data/$f" ] || fail "share/velmar/$f is missing"
done
# Neither the samples nor what a run from the source tree leaves in data/.
left_over=$(cd "$data" && find . \( -iname '*.mp3' -o -path ./samples -o -path './Recent Files' \
    -o -path ./DB -o -path './GFX/*.BMP' -o -path ./GFX/background.bmp -o -path ./GFX/browser.bmp \
    -o -name '.git*' \) -print)
[ -z "$left_over" ] || fail "share/velmar holds what it should not: $left_over"
[ -z "$(find "$prefix" -iname '*.mp3' -print)" ] || fail "sample files were installed"
pass "programs and DATA folder"

# ---------------------------------------------------------------- desktop file and icons
app_id=com.orvanedesign.velmar
desktop=$prefix/share/applications/$app_id.desktop
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
if [ -f "$desktop" ]; then
    out=$(desktop-file-validate "$desktop" 2>&1)
    status=$?
    if [ $status -ne 0 ] || [ -n "$out" ]; then fail "desktop-file-validate (status $status): $out"; fi
    for line in "Name=Velmar" "GenericName=MP3 Organizer" "Exec=velmar %F" "Icon=velmar" "Terminal=false" \
        "Type=Application" "Categories=AudioVideo;Audio;Player;" "MimeType=audio/mpeg;audio/x-mpegurl;audio/x-scpls;"; do
        grep -qxF "$line" "$desktop" || fail "$app_id.desktop lacks \"$line\""
    done
    grep -q '^Comment=.' "$desktop" || fail "$app_id.desktop has no Comment"
else
    fail "share/applications/$app_id.desktop is missing"
fi
if [ -f "$metainfo" ]; then
    out=$(appstreamcli validate-tree --no-net --strict "$prefix" 2>&1)
    status=$?
    [ $status -eq 0 ] || fail "appstreamcli validate-tree (status $status): $out"
    for line in "<id>$app_id</id>" "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" \
        "<binary>velmar</binary>" "<binary>velmar-cli</binary>"; do
        grep -qF "$line" "$metainfo" || fail "$app_id.metainfo.xml lacks $line"
    done
else
    fail "share/metainfo/$app_id.metainfo.xml is missing"
fi
# The width and height of a PNG: big-endian at bytes 16 and 20, after the signature and "IHDR".
png_size() {
    [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || return 1
    od -An -j16 -N8 -tu1 "$1" | awk '{ printf "%dx%d\n", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}
for size in 16 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/velmar.png
    if [ ! -f "$icon" ]; then
        fail "icon ${size}x${size} is missing"
    elif [ "$(png_size "$icon")" != "${size}x${size}" ]; then
        fail "icon ${size}x${size} is a PNG of $(png_size "$icon" || echo 'no PNG')"
    fi
done
pass "desktop file, metainfo and icons"

# ---------------------------------------------------------------- manual pages
for page in velmar velmar-cli; do
    file=$prefix/share/man/man1/$page.1
    if [ ! -f "$file" ]; then
        fail "share/man/man1/$page.1 is missing"
        continue
    fi
    MANWIDTH=80 MANPAGER=cat PAGER=cat man --warnings -l "$file" 2>"$work/$page.err" | col -b >"$work/$page.txt"
    [ -s "$work/$page.err" ] && fail "man $page.1 complains: $(cat "$work/$page.err")"
    sections=(NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT EXAMPLES)
    [ $page = velmar-cli ] && sections+=("EXIT STATUS" COMMANDS)
    for s in "${sections[@]}"; do
        grep -qx "$s" "$work/$page.txt" || fail "$page.1 has no $s section"
    done
    for text in "Orvane Design/Velmar.ini" VELMAR_DATA VELMAR_CONFIG "share/velmar" "Velmar $version"; do
        grep -qF "$text" "$work/$page.txt" || fail "$page.1 does not mention \"$text\""
    done
    wide=$(awk 'length > 80' "$work/$page.txt")
    [ -s "$work/$page.txt" ] || fail "man renders $page.1 as nothing"
    [ -z "$wide" ] || fail "$page.1 renders lines wider than 80 columns: $wide"
done
for command in info set check rename fill formats list match wipe pictures; do
    grep -qE "^   $command( |$)" "$work/velmar-cli.txt" || fail "velmar-cli.1 does not document $command"
done
pass "manual pages"

# ---------------------------------------------------------------- --version without a display
for program in velmar velmar-cli; do
    out=$("${clean_env[@]}" "$prefix/bin/$program" --version 2>&1)
    [ "$out" = "$program $version" ] || fail "$program --version printed \"$out\", not \"$program $version\""
done
out=$("${clean_env[@]}" "$prefix/bin/velmar" --help 2>&1)
[[ $out == usage:\ velmar* ]] || fail "velmar --help printed \"$out\""
pass "--version and --help"

# velmar-cli takes its formats from the installed DATA folder, also when started through a link.
cp "$data/Outputs/Rename/Artist - Title" "$data/Outputs/Rename/Installed Only"
mkdir -p "$work/links"
ln -s "$prefix/bin/velmar-cli" "$work/links/velmar-cli"
for cli in "$prefix/bin/velmar-cli" "$work/links/velmar-cli"; do
    out=$("${clean_env[@]}" "$cli" formats 2>&1)
    grep -qx "Installed Only" <<<"$out" || fail "$cli formats does not read share/velmar: $out"
done
pass "velmar-cli finds share/velmar"

# ---------------------------------------------------------------- the installed program on a fresh home
home=$work/home
mkdir -p "$home" "$work/tmp" "$work/run"
mkdir -m 700 "$home/runtime"
sample=$(find "$samples" -maxdepth 1 -name '*.mp3' -print -quit)
if [ -z "$sample" ]; then
    fail "no sample MP3 in $samples"
else
    cp "$sample" "$work/song.mp3"
fi
chmod -R a-w "$data"
# Everything in the prefix, with sizes and times, to see that the run adds or changes nothing.
snapshot() { (cd "$prefix" && find . -printf '%p %y %s %T@\n' | LC_ALL=C sort); }
snapshot >"$work/before.txt"
(
    cd "$work/run" &&
        exec env -i "PATH=/usr/local/bin:/usr/bin:/bin" "LANG=C.UTF-8" "HOME=$home" \
            "XDG_CONFIG_HOME=$home/.config" "XDG_DATA_HOME=$home/.local/share" "XDG_CACHE_HOME=$home/.cache" \
            "XDG_STATE_HOME=$home/.local/state" "XDG_RUNTIME_DIR=$home/runtime" "TMPDIR=$work/tmp" \
            QT_QPA_PLATFORM=offscreen timeout 4 "$prefix/bin/velmar" "$work/song.mp3"
) >"$work/velmar.log" 2>&1
status=$?
if [ $status -ne 124 ]; then
    fail "the installed velmar ended with status $status within 4 seconds (124 expected: still running)"
    sed 's/^/  velmar: /' "$work/velmar.log"
fi
settings="$home/.config/Orvane Design/Velmar.ini"
[ -s "$settings" ] || fail "no settings in $settings"
own="$home/.local/share/Orvane Design/Velmar/DATA/GFX"
for colour in DEFAULT RED GREEN BLUE CYAN VIOLET MAGENTA; do
    for kind in MAIN BROWSER; do
        [ -s "$own/${kind}_$colour.BMP" ] || fail "no ${kind}_$colour.BMP in $own"
    done
done
for picture in FONT WATER; do
    [ -s "$own/$picture.BMP" ] || fail "no $picture.BMP in $own"
done
snapshot >"$work/after.txt"
if ! diff -u "$work/before.txt" "$work/after.txt" >"$work/prefix.diff"; then
    fail "the run changed the prefix:"
    cat "$work/prefix.diff"
fi
[ -z "$sample" ] || cmp -s "$sample" "$work/song.mp3" || fail "opening the file changed it"
pass "velmar from the prefix on a fresh home"

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "All install checks passed."
