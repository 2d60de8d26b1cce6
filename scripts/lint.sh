#!/usr/bin/env bash
# Checks the code: its layout against .clang-format and the static checks of
# .clang-tidy (among them the size of functions).
#
#   scripts/lint.sh              both
#   scripts/lint.sh format       the layout only; with --fix the files are rewritten
#   scripts/lint.sh tidy         the static checks only (core/, cli/ and gui/)
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
fix=${2:-}

for tool in clang-format clang-tidy; do
  command -v "$tool" >/dev/null || { DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$tool"; }
done

if [ "$what" = all ] || [ "$what" = format ]; then
  mapfile -t sources < <(git ls-files '*.cpp' '*.h')
  if [ "$fix" = --fix ]; then
    clang-format -i "${sources[@]}"
  else
    clang-format --dry-run -Werror "${sources[@]}"
    echo "Layout: ${#sources[@]} files follow .clang-format."
  fi
fi

if [ "$what" = all ] || [ "$what" = tidy ]; then
  scripts/deps.sh
  cmake -S . -B build-lint -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DVELMAR_BENCH=OFF >/dev/null
  # The moc files the desktop program's sources need.
  cmake --build build-lint -j "$(nproc)" --target velmar_gui_autogen >/dev/null
  mapfile -t units < <(git ls-files 'core/*.cpp' 'cli/*.cpp' 'gui/*.cpp')
  printf '%s\n' "${units[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p build-lint --quiet
  echo "Static checks: ${#units[@]} files pass .clang-tidy."
fi
