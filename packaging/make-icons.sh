#!/usr/bin/env bash
# Remakes the desktop icons packaging/icons/velmar-<N>.png (N = 16, 32, 48, 64, 128,
# 256) from the program's own icon, gui/pictures/velmar.png (128 x 128). The results
# are committed; the build and the install do not run this.
#
# Needs: imagemagick.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
source_icon="$repo/gui/pictures/velmar.png"
im=/usr/bin/convert  # ImageMagick itself, whatever else is first on PATH

for need in "$source_icon" "$im"; do
    [ -e "$need" ] || { echo "make-icons: $need is missing (apt-get install imagemagick)" >&2; exit 1; }
done

mkdir -p "$here/icons"
for size in 16 32 48 64 128 256; do
    out="$here/icons/velmar-$size.png"
    # 8 bits a channel with transparency; -strip and no time chunks keep the
    # files the same from one run to the next.
    "$im" "$source_icon" -filter Lanczos -resize "${size}x${size}" -depth 8 -strip \
        -define png:exclude-chunks=date,time "PNG32:$out"
    echo "$out"
done
