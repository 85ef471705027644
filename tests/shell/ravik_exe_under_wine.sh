#!/usr/bin/env bash
# Usage: ravik_exe_under_wine.sh check PACKAGE.zip SCRATCH FONTS.reg
#        ravik_exe_under_wine.sh screenshot PACKAGE.zip SCRATCH FONTS.reg GAPFILE PNGFILE
# Runs the real Ravik.exe from the unzipped Windows package under Wine, in a prefix made fresh in
# SCRATCH (with FONTS.reg imported), on an Xvfb display of its own, driven with xdotool as a user
# would drive it. RAVIK_WINE and RAVIK_WINESERVER name Wine's programs (Debian's by default).
#   check:      started with a path holding blanks, unquoted, the main window's inside is 407 by
#               215 pixels and the timeline's boxes are blue where they belong; "Link to Registry"
#               in the Tools window writes the file type's keys; a .gap file opened through the
#               shell (ShellExecute) starts the package's Ravik.exe with the file's whole path.
#   screenshot: saves the main window with GAPFILE open as PNGFILE.
set -euo pipefail
mode=$1 package=$(realpath "$2") scratch=$(realpath -m "$3") fonts=$(realpath "$4")
wine=(env WINEPREFIX="$scratch/wine-prefix" WINEDEBUG=-all
      WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=d "${RAVIK_WINE:-/usr/lib/wine/wine64}")

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

cleanup() {
    WINEPREFIX="$scratch/wine-prefix" "${RAVIK_WINESERVER:-/usr/lib/wine/wineserver}" -k 2>/dev/null || true
    if [ -n "${xvfb:-}" ]; then
        kill "$xvfb" 2>/dev/null || true
    fi
    wait 2>/dev/null || true
}

# Waits up to 30 s for `command...` to succeed.
await() {
    local _
    for _ in $(seq 150); do
        if "$@" >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.2
    done
    return 1
}

windows_path() {
    "${wine[@]}" winepath -w "$1" | tr -d '\r'
}

# The visible top-level window with the caption $1 (exactly).
window_named() {
    local found
    found=$(xdotool search --onlyvisible --name "^$1\$") && [ -n "$found" ] && echo "${found%%$'\n'*}"
}

# The timeline of the window $1 shows "$2": one letter per checked column, b for blue (a silence)
# and k for black (speech), at the columns of two silences 100-300 and 1000-1200 ms (393 pixels
# wide, 1200 ms long: boxes over 32.75-98.25 and 327.5-393).
timeline_shows() {
    local seen='' x
    import -window "$1" "$scratch/window.png"
    # The timeline sits at (8, 88) inside the window and is 33 pixels high.
    for x in 33 65 97 328 392 0 31 99 200 326; do
        case $(convert "$scratch/window.png" -format "%[hex:p{$((8 + x)),$((88 + 16))}]" info:) in
        0000FF) seen+=b ;;
        000000) seen+=k ;;
        *) seen+=? ;;
        esac
    done
    [ "$seen" = "$2" ]
}

# A GAP file of two silences, 100-300 and 1000-1200 ms: (int16 start, 0, int16 end, 0) each.
two_silences() {
    printf '\x64\x00\x00\x00\x2c\x01\x00\x00\xe8\x03\x00\x00\xb0\x04\x00\x00' >"$1"
}

rm -rf "$scratch"
mkdir -p "$scratch/Ravik Programs/ravik folder" "$scratch/GAP files"
trap cleanup EXIT

# A display of its own: Xvfb takes a free number and writes it.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
xvfb=$!
await test -s "$scratch/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$scratch/display")"

"${wine[@]}" wineboot --init
"${wine[@]}" regedit /S "$(windows_path "$fonts")"
folder="$scratch/Ravik Programs/ravik folder"
(cd "$folder" && cmake -E tar xf "$package")
program="$(windows_path "$folder")\\Ravik.exe"

if [ "$mode" = screenshot ]; then
    gapfile=$(windows_path "$(realpath "$5")")
    # The whole argument text is the path: split at its blanks, Wine passes it on unquoted.
    # shellcheck disable=SC2086
    "${wine[@]}" "$program" $gapfile &
    await window_named Vesk-Ravik || fail "no main window"
    sleep 2
    import -window "$(window_named Vesk-Ravik)" "$(realpath -m "$6")"
    exit 0
fi

gapfile="$scratch/GAP files/two silences.gap"
two_silences "$gapfile"
# shellcheck disable=SC2086
"${wine[@]}" "$program" $(windows_path "$gapfile") &
await window_named Vesk-Ravik || fail "Ravik.exe showed no main window"
main=$(window_named Vesk-Ravik)
eval "$(xdotool getwindowgeometry --shell "$main")"
[ "$WIDTH x $HEIGHT" = "407 x 215" ] || fail "the main window's inside is $WIDTH x $HEIGHT"
await timeline_shows "$main" bbbbbkkkkk ||
    fail "the timeline of \"$gapfile\" is not blue where its silences are"

# Tools, then Link to Registry. The button row's buttons show when the pointer is over them.
xdotool mousemove --window "$main" 100 20
sleep 0.5
xdotool click 1
await window_named Tools || fail "the Tools button opened no Tools window"
xdotool mousemove --window "$(window_named Tools)" 68 88
sleep 0.5
xdotool click 1
command='HKEY_CLASSES_ROOT\GAPfile\Shell\Open\command'
await "${wine[@]}" reg query "$command" || fail "Link to Registry wrote no $command"
"${wine[@]}" reg query "$command" | tr -d '\r' | grep -qF "REG_SZ    $program %1" ||
    fail "$command is not \"$program %1\": $("${wine[@]}" reg query "$command")"
"${wine[@]}" taskkill /f /im Ravik.exe >/dev/null
await sh -c '! xdotool search --onlyvisible --name "^Vesk-Ravik\$" >/dev/null' ||
    fail "Ravik.exe did not end"

# A double-click in Explorer: the shell opens the file with the registered command.
"${wine[@]}" start /unix "$gapfile"
await window_named Vesk-Ravik || fail "opening \"$gapfile\" started no Ravik.exe"
await timeline_shows "$(window_named Vesk-Ravik)" bbbbbkkkkk ||
    fail "Ravik.exe started by the shell did not open \"$gapfile\""
echo "Ravik.exe opened a path with blanks, registered, and opened a double-clicked file"
