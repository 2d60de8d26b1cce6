#!/usr/bin/env bash
# no_display_test.sh VELMAR
#
# Starts the program in an environment holding only PATH, HOME and the variables of
# each row: where Qt's platform plugin would find no display, the program must end
# with status 1 and say why; where a platform can start, it must keep running.
set -uo pipefail

velmar=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/velmar-nodisplay.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/run"

failures=0
# status (124: still running after 4 s) | variables [-- arguments] | what the error output must hold
rows=(
    "1|-|neither DISPLAY nor WAYLAND_DISPLAY is set"
    "1|QT_QPA_PLATFORM=xcb|the platform xcb needs DISPLAY"
    "1|QT_QPA_PLATFORM=wayland|the platform wayland needs"
    "1|QT_QPA_PLATFORM=wayland;xcb:nograb|the platform wayland;xcb:nograb needs"
    "1|DISPLAY=|neither DISPLAY nor WAYLAND_DISPLAY is set"
    "1|QT_QPA_PLATFORM=offscreen -- -platform xcb|the platform xcb needs DISPLAY"
    "124|QT_QPA_PLATFORM=offscreen|"
    "124|QT_QPA_PLATFORM=xcb;offscreen|"
    "124|-- -platform offscreen|"
    "124|QT_QPA_PLATFORM=xcb -- --platform offscreen|"
)
for row in "${rows[@]}"; do
    IFS='|' read -r want vars text <<<"$row"
    [ "$vars" = - ] && vars=
    read -ra words <<<"$vars"
    extra=() args=()
    for ((i = 0; i < ${#words[@]}; i++)); do
        [ "${words[i]}" = -- ] && { args=("${words[@]:i+1}"); break; }
        extra+=("${words[i]}")
    done
    home=$(mktemp -d "$work/home.XXXXXX")
    env -i "PATH=$PATH" "HOME=$home" "XDG_RUNTIME_DIR=$work/run" "${extra[@]}" \
        timeout 4 "$velmar" "${args[@]}" --config "$home" >"$work/out" 2>"$work/err"
    status=$?
    if [ "$status" != "$want" ]; then
        echo "FAIL [$vars]: status $status, $want expected"
        sed 's/^/  /' "$work/err"
        failures=$((failures + 1))
    elif [ -n "$text" ] && ! grep -qF "$text" "$work/err"; then
        echo "FAIL [$vars]: the message lacks \"$text\":"
        sed 's/^/  /' "$work/err"
        failures=$((failures + 1))
    elif [ "$want" = 1 ] && ! grep -q '^velmar: no display' "$work/err"; then
        echo "FAIL [$vars]: no \"velmar: no display\" line:"
        sed 's/^/  /' "$work/err"
        failures=$((failures + 1))
    else
        echo "ok [$vars]: status $status"
    fi
done
[ $failures -eq 0 ] || { echo "$failures row(s) failed"; exit 1; }
