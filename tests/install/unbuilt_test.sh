#!/usr/bin/env bash
# unbuilt_test.sh CMAKE SOURCE_DIR GENERATOR
#
# `cmake --install` of a build folder whose programs are not (all) built: configures
# the source tree into a temporary folder, builds nothing (a program of each row is
# put in place by hand), installs into a temporary DESTDIR and expects the install
# to fail before it copies anything, naming each missing program and only those.
set -uo pipefail

cmake=$1 source=$2 generator=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-unbuilt.XXXXXX")
trap 'rm -rf "$work"' EXIT
build=$work/build

if ! "$cmake" -S "$source" -B "$build" -G "$generator" -DVELMAR_BENCH=OFF >"$work/configure.log" 2>&1; then
    cat "$work/configure.log"
    echo "FAIL: configuring $source"
    exit 1
fi

failures=0
# programs present before the install | programs the error must name
rows=(
    "-|cli/velmar-cli gui/velmar"
    "cli/velmar-cli|gui/velmar"
    "gui/velmar|cli/velmar-cli"
)
for row in "${rows[@]}"; do
    IFS='|' read -r present missing <<<"$row"
    rm -f "$build/cli/velmar-cli" "$build/gui/velmar"
    [ "$present" = - ] && present=
    for p in $present; do
        printf '#!/bin/sh\n' >"$build/$p" && chmod 755 "$build/$p"
    done
    dest=$work/dest
    rm -rf "$dest"
    DESTDIR=$dest "$cmake" --install "$build" --prefix /usr >"$work/install.log" 2>&1
    status=$?
    log=$(tr '\n' ' ' <"$work/install.log")
    if [ $status -eq 0 ]; then
        echo "FAIL [$present]: the install succeeded"
        failures=$((failures + 1))
    elif [ -e "$dest" ]; then
        echo "FAIL [$present]: the failed install left: $(cd "$dest" && find . -mindepth 1 | head -5 | tr '\n' ' ')"
        failures=$((failures + 1))
    fi
    for p in cli/velmar-cli gui/velmar; do
        named=no
        grep -qF "$build/$p" "$work/install.log" && named=yes
        want=no
        [[ " $missing " == *" $p "* ]] && want=yes
        [ $named = $want ] || { echo "FAIL [$present]: $p named: $named, expected: $want: $log"; failures=$((failures + 1)); }
    done
    grep -qF "Build them first: cmake --build $build" "$work/install.log" ||
        { echo "FAIL [$present]: no advice to build: $log"; failures=$((failures + 1)); }
done
[ $failures -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "All unbuilt-install checks passed."
