#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking Velmar needs,
# as root or else through sudo. Safe to run again: only missing packages are installed.
set -euo pipefail
pkgs=(
  cmake g++ make pkgconf
  zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev
  libtag1-dev          # peer in the tag-reading benchmark
  lame twolame         # make the sample files and test streams (twolame: Layer II)
  python3 python3-mutagen eyed3 id3v2   # peers that the interoperability tests read and write with
  mp3val               # peer in the stream checker benchmark
  libmpg123-dev mpg123 # the player: decoding and sound output (mpg123 brings the output modules)
  qt6-base-dev         # the desktop program (brings libgl-dev, libglx-dev and the platform plugins)
  dbus-daemon          # the tests' private session bus
  xvfb xauth imagemagick   # run the desktop program without a screen and take screenshots of it
  fonts-dejavu-core fonts-wqy-microhei   # readable text in the windows, Cyrillic and CJK included
  desktop-file-utils appstream man-db   # the install test checks the desktop file, the metainfo and the manual pages
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  # Root installs directly; anyone else through sudo (which may ask for a password).
  as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
      echo "deps.sh: missing packages: ${missing[*]}" >&2
      echo "deps.sh: run this script as root, or install sudo, to install them" >&2
      exit 1
    fi
    echo "deps.sh: not running as root, so installing through sudo"
    as_root=(sudo)
  fi
  echo "deps.sh: installing ${missing[*]}"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
