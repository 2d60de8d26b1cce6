#!/usr/bin/env bash
# Remakes the program's compiled-in pictures (gui/pictures/*.bmp, velmar.png) and the
# fourteen palettes of the colour variants (data/GFX/COLTAB/C[MB][0-6].ACT).
#
# Needs: tango-icon-theme (the icons), imagemagick (composing them), fonts-dejavu-core
# (the lettering) and /usr/bin/python3 (the 8-bit backgrounds, the palettes and the
# other drawn pictures). The results are committed; the build does not run this.
#
#   gui/pictures/make-pictures.sh            write the pictures and palettes
#   gui/pictures/make-pictures.sh --preview  also write every colour variant as PNG
#                                            into /tmp/velmar-pictures-preview
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
coltab="$repo/data/GFX/COLTAB"
tango=/usr/share/icons/Tango
im=/usr/bin/convert  # ImageMagick itself, whatever else is first on PATH
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

for need in "$tango/16x16" "$tango/32x32" "$im" "$font" /usr/bin/python3; do
    [ -e "$need" ] || { echo "make-pictures: $need is missing (apt-get install tango-icon-theme imagemagick fonts-dejavu-core python3)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$coltab"

# ---------------------------------------------------------------- drawn pictures and palettes
/usr/bin/python3 - "$here" "$coltab" <<'PY'
import math, random, struct, sys

out, coltab = sys.argv[1], sys.argv[2]
TAU = 2 * math.pi

def bmp8(path, w, h, index, palette):
    """8-bit Windows bitmap: 40-byte picture header, 256 palette entries, pixels at byte 1078."""
    stride = (w + 3) & ~3
    pixels = bytearray()
    for y in range(h - 1, -1, -1):  # bottom row first
        pixels += bytes(index(x, y) for x in range(w)) + bytes(stride - w)
    head = struct.pack('<2sIHHI', b'BM', 1078 + len(pixels), 0, 0, 1078)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(pixels), 2835, 2835, 256, 256)
    pal = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    assert len(head + info) == 54 and len(pal) == 1024
    with open(path, 'wb') as f:
        f.write(head + info + pal + pixels)

def bmp24(path, w, h, colour):
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = colour(x, y)
            row += bytes((clamp8(b), clamp8(g), clamp8(r)))
        pixels += row + bytes(stride - 3 * w)
    head = struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(head + info + pixels)

def clamp8(v):
    return max(0, min(255, int(round(v))))

def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))

def smooth(t):
    return t * t * (3 - 2 * t)

# Index i of both 8-bit pictures is a brightness level: 0 darkest, 255 lightest.
# Each palette is a ramp of one colour through those levels (dark, full, light), so
# every variant keeps the picture's shading and only changes its colour.
RAMPS = [  # default, red, green, blue, cyan, violet, magenta
    ((16, 20, 28), (82, 96, 118), (224, 228, 236)),
    ((34, 4, 6), (172, 32, 34), (255, 214, 200)),
    ((4, 28, 10), (42, 138, 54), (214, 248, 206)),
    ((4, 10, 46), (38, 82, 196), (206, 222, 255)),
    ((0, 30, 36), (18, 146, 168), (208, 246, 250)),
    ((22, 8, 42), (112, 62, 182), (232, 218, 255)),
    ((38, 4, 32), (182, 40, 152), (255, 212, 244)),
]

def ramp(dark, full, light, i):
    t = i / 255
    return tuple(clamp8(v) for v in (mix(dark, full, smooth(t / 0.55)) if t < 0.55
                                     else mix(full, light, smooth((t - 0.55) / 0.45))))

def main_palette(k):
    return [ramp(*RAMPS[k], i) for i in range(256)]

def browser_palette(k):
    # The strip carries dark icons: its ramp starts lighter than the main one.
    dark, full, light = RAMPS[k]
    return [ramp(mix(dark, full, 0.45), full, light, i) for i in range(256)]

def write_act(path, palette):
    with open(path, 'wb') as f:
        f.write(b''.join(bytes(c) for c in palette))

for k in range(7):
    write_act(f'{coltab}/CM{k}.ACT', main_palette(k))
    write_act(f'{coltab}/CB{k}.ACT', browser_palette(k))

rng = random.Random(1987)

# Main background, 640 x 480: soft interlaced waves, periodic in both directions so
# that tiling shows no seams; a little grain keeps flat parts from banding.
W, H = 640, 480
def background(x, y):
    u, v = x / W, y / H
    wu = u + 0.06 * math.sin(TAU * (2 * v)) + 0.03 * math.sin(TAU * (5 * v + 3 * u))
    wv = v + 0.05 * math.sin(TAU * (3 * u + 0.25))
    s = (0.34 * math.sin(TAU * (2 * wu + wv))
         + 0.26 * math.sin(TAU * (3 * wv - wu) + 1.3)
         + 0.16 * math.sin(TAU * (5 * wu + 4 * wv) + 0.7)
         + 0.10 * math.cos(TAU * (7 * wv + 2 * wu)))
    return s
values = [[background(x, y) for x in range(W)] for y in range(H)]
lo = min(min(r) for r in values); hi = max(max(r) for r in values)
grain = [[rng.uniform(-1.5, 1.5) for x in range(W)] for y in range(H)]
bmp8(f'{out}/background.bmp', W, H,
     lambda x, y: clamp8(28 + 196 * (values[y][x] - lo) / (hi - lo) + grain[y][x]), main_palette(0))

# Browser tool strip, 80 x 600: a rounded bar lit from the left with slow ripples
# running down it (periodic along its height).
BW, BH = 80, 600
def strip(x, y):
    u, v = x / (BW - 1), y / BH
    bar = 0.58 + 0.28 * math.cos(math.pi * (u - 0.3)) - 0.25 * max(0.0, u - 0.85) / 0.15
    ripple = 0.045 * math.sin(TAU * (3 * v + 0.3 * math.sin(TAU * u))) + 0.015 * math.sin(TAU * (11 * v - u))
    return clamp8(255 * (bar + ripple - 0.12) + rng.uniform(-1, 1))
bmp8(f'{out}/browser.bmp', BW, BH, strip, browser_palette(0))

# About window water, 400 x 300: overlapping rings of ripples on deep water.
AW, AH = 400, 300
centres = [(120, 110, 0.21, 60), (300, 190, 0.17, 80), (210, 260, 0.25, 50)]
def water(x, y):
    s = 0.0
    for cx, cy, k, d in centres:
        r = math.hypot(x - cx, y - cy)
        s += math.sin(r * k) * math.exp(-r / (3 * d))
    depth = y / AH
    base = mix((24, 92, 150), (6, 30, 70), depth)
    light = max(0.0, s) ** 1.6
    c = mix(base, (170, 226, 250), min(1.0, 0.55 * light))
    return mix(c, (4, 16, 40), max(0.0, -s) * 0.25)
bmp24(f'{out}/about_water.bmp', AW, AH, water)

# Tool-bar strip, 1024 x 28: brushed light metal.
TW, TH = 1024, 28
streak = [rng.uniform(-5, 5) for _ in range(TW)]
def toolbar(x, y):
    if y == 0: return (250, 251, 253)
    if y == TH - 1: return (150, 154, 164)
    g = mix((238, 240, 244), (192, 197, 206), y / TH)
    return tuple(c + streak[x] * 0.6 for c in g)
bmp24(f'{out}/toolbar.bmp', TW, TH, toolbar)

# Equalizer panel, 320 x 140: ten slider grooves over a dark panel with the
# +12 / 0 / -12 dB lines.
EW, EH = 320, 140
grooves = [34 + 28 * i for i in range(10)]
def equalizer(x, y):
    c = mix((46, 50, 60), (22, 24, 30), y / EH)
    if y in (20, 70, 120) and 20 <= x < EW - 12: c = (78, 86, 104)
    if 20 <= y <= 120:
        for gx in grooves:
            if gx - 2 <= x <= gx + 1: c = (10, 11, 14)
            elif x == gx + 2: c = (96, 102, 118)
    if y < 2 or x < 2: c = (96, 102, 118)
    if y >= EH - 2 or x >= EW - 2: c = (12, 13, 16)
    return c
bmp24(f'{out}/equalizer.bmp', EW, EH, equalizer)

# Volume / position bar, 120 x 12: a sunken groove.
VW, VH = 120, 12
def volume(x, y):
    if y < 3 or y > 8: return (206, 210, 218)
    if y == 3 or x in (0, VW - 1): return (96, 100, 110)
    if y == 8: return (250, 251, 253)
    return mix((40, 44, 52), (84, 90, 104), (y - 4) / 4)
bmp24(f'{out}/volume_bar.bmp', VW, VH, volume)

# Position marker, 12 x 12: a round knob on magenta (the transparent colour).
def knob(x, y):
    r = math.hypot(x - 5.5, y - 5.5)
    if r > 5.6: return (255, 0, 255)
    if r > 4.7: return (70, 74, 84)
    lit = math.hypot(x - 3.5, y - 3.5) / 7
    return mix((252, 253, 255), (150, 156, 170), min(1.0, lit))
bmp24(f'{out}/position_button.bmp', 12, 12, knob)
PY

# ---------------------------------------------------------------- icons
# An icon with its transparent parts made magenta: pixels at least half opaque keep
# their colour, the rest become the key colour, so no pink fringe is left. An opaque
# pixel of exactly the key colour is moved off it, so that it does not turn transparent.
keyed() {  # keyed SOURCE SIZE OUT [MODULATE]
    "$im" "$1" -resize "$2x$2" ${4:+-modulate "$4"} -channel A -threshold 50% +channel \
        -fill '#FE00FE' -opaque '#FF00FF' -background '#FF00FF' -flatten -alpha off "$3"
}
icon() {  # icon NAME SIZE: the path of a Tango icon
    local found
    found=$(find "$tango/$2x$2" -name "$1.png" -print -quit)
    [ -n "$found" ] || { echo "make-pictures: no $1.png in $tango/$2x$2" >&2; exit 1; }
    echo "$found"
}
# A picture drawn pixel by pixel, for the small icons Tango lacks: standard input holds
# one "letter #rrggbb" line per colour, an empty line, then the rows ("." is transparent).
pixels() {  # pixels OUT
    awk '
        !rows && NF == 2 { colour[$1] = $2; colours++; next }
        !rows && NF == 0 { rows = 1; next }
        rows && NF { grid[n++] = $1 }
        END {
            printf "/* XPM */\nstatic char *p[] = {\n\"%d %d %d 1\",\n\". c None\",\n", length(grid[0]), n, colours + 1
            for (c in colour) printf "\"%s c %s\",\n", c, colour[c]
            for (i = 0; i < n; i++) printf "\"%s\"%s\n", grid[i], (i < n - 1 ? "," : "};")
        }' | "$im" xpm:- "$1"
}
# A vector drawing in the pixel coordinates of a SIZE x SIZE icon, drawn eight times as
# large and boxed down, so that edges on whole pixels stay sharp and slants are smooth.
drawn() {  # drawn SIZE MVG OUT
    local big=$(( $1 * 8 ))
    "$im" -size "${big}x${big}" xc:none -draw "scale 8,8 $2" -filter box -resize "$1x$1" "$3"
}
# A sign over an icon (both the same size), with a one-pixel white rim where the sign
# lies on the icon, so that it stands out from it.
with_sign() {  # with_sign ICON SIGN OUT
    "$im" "$1" \( "$2" -channel A -morphology dilate square:1 +channel -fill white -colorize 100 \) \
        -compose atop -composite "$2" -compose over -composite "$3"
}
# The signs of adding (a green plus) and removing (a red cross), in the lower right
# corner: 10 pixels of 16, 18 of 32.
sign() {  # sign add|remove SIZE OUT
    case "$1-$2" in
        add-16) pixels "$work/sign.png" <<'XPM'
d #3a7a04
r #8ae234

...dddd...
...drrd...
...drrd...
ddddrrdddd
drrrrrrrrd
drrrrrrrrd
ddddrrdddd
...drrd...
...drrd...
...dddd...
XPM
            ;;
        remove-16) pixels "$work/sign.png" <<'XPM'
d #a40000
r #ef2929

.dd....dd.
drrd..drrd
drrrddrrrd
.drrrrrrd.
..drrrrd..
..drrrrd..
.drrrrrrd.
drrrddrrrd
drrd..drrd
.dd....dd.
XPM
            ;;
        add-32) drawn 32 'fill #3a7a04 polygon 20,14 26,14 26,20 32,20 32,26 26,26 26,32 20,32 20,26 14,26 14,20 20,20
            fill #8ae234 polygon 21,15 25,15 25,21 31,21 31,25 25,25 25,31 21,31 21,25 15,25 15,21 21,21' "$work/sign.png" ;;
        remove-32) drawn 32 'fill #a40000 translate 23,23 rotate 45 rectangle -10.5,-3.3 10.5,3.3 rectangle -3.3,-10.5 3.3,10.5
            fill #ef2929 rectangle -9.1,-2 9.1,2 rectangle -2,-9.1 2,9.1' "$work/sign.png" ;;
    esac
    "$im" "$work/sign.png" -background none -gravity southeast -extent "$2x$2" "$3"
}
# A name field with its text selected and the text cursor in it (renaming).
rename_icon() {  # rename_icon SIZE OUT
    if [ "$1" = 16 ]; then
        pixels "$2" <<'XPM'
g #555753
w #ffffff
s #3465a4
k #2e3436

............kkk.
.............k..
gggggggggggggkgg
gwwwwwwwwwwwwkwg
gsssssswsssswkwg
gsssssswsssswkwg
gsswwsswwwsswkwg
gsssswswsswswkwg
gsswwwswsswswkwg
gswsswswsswswkwg
gsswwwswwwsswkwg
gssssssssssswkwg
gwwwwwwwwwwwwkwg
gggggggggggggkgg
.............k..
............kkk.
XPM
    else
        "$im" -size 32x32 xc:none -fill '#555753' -draw 'rectangle 0,8 31,23' \
            -fill white -draw 'rectangle 1,9 30,22' -fill '#3465a4' -draw 'rectangle 3,11 21,20' \
            -font "$font" -pointsize 12 -fill white -gravity northwest -annotate +4+7 'ab' \
            -fill '#2e3436' -draw 'rectangle 24,4 25,27 rectangle 22,3 27,4 rectangle 22,27 27,28' "$2"
    fi
}
# A magic wand with sparkles (the wizard); Tango has no such icon.
wizard_icon() {  # wizard_icon SIZE OUT
    if [ "$1" = 16 ]; then
        pixels "$2" <<'XPM'
k #2e3436
g #888a85
w #ffffff
o #c4a000
y #edd400
Y #fce94f

............o...
............y...
.....y.....yYy..
....yYy..oyYwYyo
.....y.....yYy..
.........gg.y...
........gwwgo...
.......gwwg.....
......gwwg......
......kkk....y..
.....kkk....yYy.
....kkk......y..
...kkk..........
..kkk...........
.kkk............
................
XPM
    else
        drawn 32 'stroke #2e3436 stroke-width 4.5 line 3,29 17,15
            stroke #888a85 stroke-width 5 line 16.5,15.5 21,11 stroke white stroke-width 3 line 17,15 21,11
            stroke none fill #c4a000 polygon 24,1 25.8,6.2 31,8 25.8,9.8 24,15 22.2,9.8 17,8 22.2,6.2
            fill #fce94f polygon 24,3 25.2,6.8 29,8 25.2,9.2 24,13 22.8,9.2 19,8 22.8,6.8
            fill #edd400 polygon 10,4 11,7 14,8 11,9 10,12 9,9 6,8 9,7 polygon 27,18 27.8,20.2 30,21 27.8,21.8 27,24 26.2,21.8 24,21 26.2,20.2' "$2"
    fi
}
# A list with a star (making a new list): text-x-generic with the star of document-new.
make_list_icon() {  # make_list_icon SIZE OUT
    local star=$(( $1 / 2 ))
    "$im" "$(icon text-x-generic "$1")" \( "$(icon document-new "$1")" -crop "${star}x${star}+${star}+0" +repage \) \
        -gravity northeast -geometry +0+0 -composite "$2"
}
# A list with a green arrow into it (loading a playlist). Tango's document-open, an
# open folder with a sheet, reads as a printer at this size.
load_list_icon() {  # load_list_icon OUT
    pixels "$1" <<'XPM'
g #888a85
w #ffffff
b #3465a4
d #4e9a06
r #8ae234

.....ggggggggggg
.....gwwwwwwwwwg
.....gwbwggggwwg
.....gwwwwwwwwwg
.....gwbwgggggwg
.....gwwwwwwwwwg
.....gwbwggggwwg
.....dwwwwwwwwwg
.....ddbwgggggwg
ddddddrdwwwwwwwg
drrrrrrrdggggwwg
drrrrrrrrdwwwwwg
drrrrrrrdgggggwg
ddddddrdwwwwwwwg
.....ddwwwwwwwwg
.....dgggggggggg
XPM
}
# Two windows, the front one crossed out (closing all browsers); window-new shows one
# window with a star for opening one.
close_all_icon() {  # close_all_icon OUT
    pixels "$1" <<'XPM'
f #555753
b #3465a4
w #ffffff
r #cc0000

fffffffffff.....
fbbbbbbbbbf.....
fwwwwwwwwwf.....
fwwwwwwwwwf.....
fwwwwwwwwwf.....
fwwwffffffffffff
fwwwfbbbbbbbbbbf
fwwwfwwwwwwwwwwf
fffffwwrrwwrrwwf
....fwwwrrrrwwwf
....fwwwwrrwwwwf
....fwwwwrrwwwwf
....fwwwrrrrwwwf
....fwwrrwwrrwwf
....fwwwwwwwwwwf
....ffffffffffff
XPM
}
# An "i" on a tile of the program icon's colours (about the program); Tango's
# dialog-information is a light bulb, and help-browser is already a round "?".
about_icon() {  # about_icon OUT
    pixels "$1" <<'XPM'
k #161b24
a #7f95b4
b #5d7191
c #3d4a60
e #27303f
w #ffffff

.kkkkkkkkkkkkkk.
kaaaaaaaaaaaaaak
kaaaaaawwaaaaaak
kaaaaaawwaaaaaak
kbbbbbbbbbbbbbbk
kbbbbbwwwbbbbbbk
kbbbbbbwwbbbbbbk
kccccccwwcccccck
kccccccwwcccccck
kccccccwwcccccck
kccccccwwcccccck
keeeeeewweeeeeek
keeeeewwwweeeeek
keeeeeeeeeeeeeek
keeeeeeeeeeeeeek
.kkkkkkkkkkkkkk.
XPM
}
# Ten bands of a graphic equalizer, drawn here (Tango has no such icon).
equalizer_icon() {  # equalizer_icon OUT
    "$im" -size 16x16 xc:none -fill '#2e3436' \
        -draw 'rectangle 0,15 15,15' \
        -fill '#4e9a06' -stroke '#2e5e08' -strokewidth 1 \
        -draw 'rectangle 1,8 3,14' -draw 'rectangle 5,4 7,14' -draw 'rectangle 9,6 11,14' -draw 'rectangle 13,10 15,14' \
        -stroke none -fill '#fce94f' \
        -draw 'rectangle 1,8 3,9' -draw 'rectangle 5,4 7,5' -draw 'rectangle 9,6 11,7' -draw 'rectangle 13,10 15,11' "$1"
}

# The order of both tool-bar strips; toolbaricons.h and README.md list it too.
toolbar_icons=(
    window-new @load-playlist document-save preferences-system go-up go-down view-refresh edit-find
    edit-clear utilities-system-monitor appointment-new media-skip-backward media-seek-backward
    media-playback-start media-playback-pause media-playback-stop media-seek-forward media-skip-forward
    accessories-text-editor @rename @make-list @wizard
    @add-files @add-directory @delete @equalizer @about help-browser system-log-out @close-all
)
browser_icons=(@add-files @add-directory @delete accessories-text-editor @rename @make-list @wizard)
[ "${#toolbar_icons[@]}" -eq 30 ] && [ "${#browser_icons[@]}" -eq 7 ] || { echo "make-pictures: wrong icon count" >&2; exit 1; }

source_of() {  # source_of NAME SIZE: an image file for a name of the lists above
    local out="$work/src-$1-$2.png"
    case "$1" in
        @add-files) sign add "$2" "$work/sign-$2.png"; with_sign "$(icon audio-x-generic "$2")" "$work/sign-$2.png" "$out" ;;
        @add-directory) sign add "$2" "$work/sign-$2.png"; with_sign "$(icon folder "$2")" "$work/sign-$2.png" "$out" ;;
        @delete) sign remove "$2" "$work/sign-$2.png"; with_sign "$(icon audio-x-generic "$2")" "$work/sign-$2.png" "$out" ;;
        @rename) rename_icon "$2" "$out" ;;
        @make-list) make_list_icon "$2" "$out" ;;
        @wizard) wizard_icon "$2" "$out" ;;
        @load-playlist) load_list_icon "$out" ;;
        @close-all) close_all_icon "$out" ;;
        @about) about_icon "$out" ;;
        @equalizer) equalizer_icon "$out" ;;
        # Tango draws the player buttons light grey, which at 16 pixels looks like a
        # disabled button; darker grey gives them the contrast of the other icons.
        media-*) "$im" "$(icon "$1" "$2")" -channel RGB -level 0%,100%,0.6 +channel "$out" ;;
        *) out=$(icon "$1" "$2") ;;
    esac
    echo "$out"
}

# Normal images are the icons in their own full colour (Qt greys them out itself for
# disabled buttons); hot ones, under the mouse, are a little brighter and more vivid.
for state in hot normal; do
    if [ "$state" = hot ]; then mod=110,125,100; else mod=; fi
    cells=()
    for i in "${!toolbar_icons[@]}"; do
        keyed "$(source_of "${toolbar_icons[$i]}" 16)" 16 "$work/tb-$state-$i.png" "$mod"
        cells+=("$work/tb-$state-$i.png")
    done
    "$im" "${cells[@]}" +append -type TrueColor "BMP3:$here/toolbar_$state.bmp"

    cells=()
    for i in "${!browser_icons[@]}"; do
        keyed "$(source_of "${browser_icons[$i]}" 32)" 32 "$work/bi-$state-$i.png" "$mod"
        # Each cell is 32 x 40: the icon in the middle, magenta above and below.
        "$im" "$work/bi-$state-$i.png" -background '#FF00FF' -gravity center -extent 32x40 "$work/bc-$state-$i.png"
        cells+=("$work/bc-$state-$i.png")
    done
    "$im" "${cells[@]}" +append -type TrueColor "BMP3:$here/browser_${state:0:1}icons.bmp"
done

# ---------------------------------------------------------------- lettering and program icon
# About window lettering, 400 x 300, on magenta; drawn without smoothing so that its
# edges hold no blend of the key colour.
"$im" -size 400x300 xc:'#FF00FF' +antialias -font "$font" -gravity center \
    -pointsize 86 -fill '#0b2a4a' -annotate +4-26 'Velmar' \
    -fill '#f4f8ff' -stroke '#0b2a4a' -strokewidth 2 -annotate +0-30 'Velmar' \
    -stroke none -pointsize 22 -fill '#0b2a4a' -annotate +2+42 'MP3 Organizer' \
    -fill '#dbe8f6' -annotate +0+40 'MP3 Organizer' \
    -alpha off -type TrueColor "BMP3:$here/about_font.bmp"

# Program icon, 128 x 128: two notes on a rounded tile of the default background colour.
"$im" -size 128x128 xc:none \
    \( -size 120x120 gradient:'#7f95b4'-'#27303f' \) -geometry +4+4 -compose over -composite \
    \( -size 128x128 xc:none -fill white -draw 'roundrectangle 4,4 123,123 22,22' \) -compose dst-in -composite \
    -compose over -fill none -stroke '#161b24' -strokewidth 3 -draw 'roundrectangle 5,5 122,122 21,21' \
    -stroke none -font "$font" -pointsize 92 -gravity center \
    -fill '#10151d' -annotate +3+5 $'\u266B' -fill '#f4f8ff' -annotate +0+2 $'\u266B' \
    -define png:exclude-chunks=date,time "$here/velmar.png"

# ---------------------------------------------------------------- preview of the colour variants
if [ "${1:-}" = --preview ]; then
    preview=/tmp/velmar-pictures-preview
    mkdir -p "$preview"
    /usr/bin/python3 - "$here" "$coltab" "$preview" <<'PY'
import sys
here, coltab, out = sys.argv[1:]
for base, prefix in (('background', 'CM'), ('browser', 'CB')):
    data = open(f'{here}/{base}.bmp', 'rb').read()
    for k in range(7):
        rgb = open(f'{coltab}/{prefix}{k}.ACT', 'rb').read()
        pal = b''.join(bytes((rgb[3*i+2], rgb[3*i+1], rgb[3*i], 0)) for i in range(256))
        open(f'{out}/{base}-{k}.bmp', 'wb').write(data[:54] + pal + data[1078:])
PY
    for f in "$preview"/*.bmp; do "$im" "$f" "${f%.bmp}.png" && rm "$f"; done
    echo "previews in $preview"
fi
