#!/usr/bin/env bash
# Builds Velmar and shows it on the bundled sample files: the desktop program when
# there is a display, else the command-line listing of the same files.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Both programs, whichever is shown: `cmake --install build` copies both.
cmake --build build -j "$(nproc)" --target velmar velmar-cli
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/gui/velmar data/samples "$@"
fi
echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): the desktop program needs one." >&2
echo "Showing the command-line listing of data/samples instead; to see the windows without a" >&2
echo "screen, run: xvfb-run -s '-screen 0 1280x800x24' build/gui/velmar data/samples" >&2
exec build/cli/velmar-cli info data/samples "$@"
