#!/usr/bin/env bash
# Builds Velmar and shows it on the bundled sample files.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target velmar-cli
exec build/cli/velmar-cli info data/samples "$@"
