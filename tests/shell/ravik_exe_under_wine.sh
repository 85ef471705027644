#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Usage: ravik_exe_under_wine.sh check PACKAGE.zip SCRATCH SETTINGS.reg
#        ravik_exe_under_wine.sh install SETUP.exe SCRATCH SETTINGS.reg PACKAGE.zip
#        ravik_exe_under_wine.sh screenshot PACKAGE.zip SCRATCH SETTINGS.reg GAPFILE PNGFILE
# Runs the real Ravik.exe from the Windows package under Wine, in a prefix made fresh in SCRATCH
# (with SETTINGS.reg imported), on an Xvfb display of its own, driven with xdotool as a user would
# drive it. RAVIK_WINE and RAVIK_WINESERVER name Wine's programs (Debian's by default).
#   check:      started with a path holding blanks, unquoted and quoted, the main window's inside
#               is 407 by 215 pixels and the timeline's boxes are blue where they belong; every
#               character of a status line with "I" and "!" is drawn; "Link to Registry" in the
#               Tools window writes the file type's keys; a .gap file opened through the shell
#               (ShellExecute) starts the package's Ravik.exe with the file's whole path.
#   install:    the installer, silent (/S), puts exactly the zip's files (and its uninstaller)
#               into %LOCALAPPDATA%\Programs\Ravik, a Start menu entry, the file type's keys
#               under the user's own classes and an entry in the installed programs; a .gap file
#               opened through the shell starts the installed Ravik.exe; the uninstaller, silent,
#               leaves the prefix's files and the user's registry as they were before.
#   screenshot: saves the main window with GAPFILE open as PNGFILE.
set -euo pipefail
mode=$1 package=$(realpath "$2") scratch=$(realpath -m "$3") settings=$(realpath "$4")
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

# Waits up to ${patience} s (60 by default) for `command...` to succeed: a loaded machine starts
# Wine's programs slowly.
await() {
    local _
    for _ in $(seq $((${patience:-60} * 5))); do
        if "$@" >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.2
    done
    return 1
}

# Waits until no program runs in the prefix any more.
settle() {
    WINEPREFIX="$scratch/wine-prefix" "${RAVIK_WINESERVER:-/usr/lib/wine/wineserver}" -w
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

# wineboot returns while the new prefix's set-up (rundll32 installing wine.inf, services) still
# runs: nothing else starts in the prefix until every process of it has ended.
"${wine[@]}" wineboot --init
settle
"${wine[@]}" regedit /S "$(windows_path "$settings")"
settle
gapfile="$scratch/GAP files/two silences.gap"
two_silences "$gapfile"

# Ends every Ravik.exe and waits until its window is gone.
end_ravik() {
    "${wine[@]}" taskkill /f /im Ravik.exe >/dev/null
    await sh -c '! xdotool search --onlyvisible --name "^Vesk-Ravik\$" >/dev/null' ||
        fail "Ravik.exe did not end"
}

# A double-click in Explorer: the shell opens the file with the registered command, and the
# program shows it (in install mode the installed one is the only Ravik.exe there is).
double_click_opens() {
    # Without a registered program Wine's shell asks in a dialog: that is a failure too.
    timeout 60 "${wine[@]}" start /unix "$gapfile" || fail "the shell could not open \"$gapfile\""
    await window_named Vesk-Ravik || fail "opening \"$gapfile\" started no Ravik.exe"
    await timeline_shows "$(window_named Vesk-Ravik)" bbbbbkkkkk ||
        fail "Ravik.exe started by the shell did not open \"$gapfile\""
    end_ravik
}

if [ "$mode" = install ]; then
    setup=$package zip=$(realpath "$5")
    user_folder() { # a folder of the user's, as Wine's shell knows it, on this side
        "${wine[@]}" winepath -u "$("${wine[@]}" cmd /c echo "%$1%" | tr -d '\r')"
    }
    local_appdata=$(user_folder LOCALAPPDATA)
    start_menu="$(user_folder APPDATA)/Microsoft/Windows/Start Menu/Programs"
    installed="$local_appdata/Programs/Ravik"
    # What is there before: every file of the prefix's drive, and the user's registry. The
    # temporary folders aside: the uninstaller runs from a copy of itself there, which Windows
    # removes at the next start.
    drive=$(realpath "$scratch/wine-prefix/drive_c")
    temp=$(realpath -m "$(user_folder TEMP)")
    listing() {
        (cd "$drive" && find . -path ./windows/temp -prune -o -path "./${temp#"$drive/"}" -prune \
            -o -print | sort)
    }
    listing >"$scratch/before.txt"
    "${wine[@]}" reg export HKCU "$(windows_path "$scratch")\\before.reg" /y >/dev/null

    "${wine[@]}" "$(windows_path "$setup")" /S || fail "the silent install failed"
    settle
    (cd "$installed" && find . -type f | sed 's|^\./||' | sort) >"$scratch/installed.txt"
    (cmake -E tar tf "$zip" | sed 's|/$||' | grep -v '/$' | while read -r f; do
        [ -d "$installed/$f" ] || echo "$f"; done
     echo Uninstall.exe) | sort >"$scratch/expected.txt"
    diff "$scratch/expected.txt" "$scratch/installed.txt" >&2 ||
        fail "the installer did not install exactly the zip's files and its uninstaller"
    [ -f "$start_menu/Ravik.lnk" ] || fail "no Start menu entry in $start_menu"

    program="$(windows_path "$installed")\\Ravik.exe"
    value() { # the data of value $2 ("" for the unnamed one) of key $1
        local flag=(/v "$2")
        [ -n "$2" ] || flag=(/ve)
        "${wine[@]}" reg query "$1" "${flag[@]}" 2>/dev/null | tr -d '\r' |
            sed -n 's/^ *[^ ].*  *REG_[A-Z_]*  *//p'
    }
    classes='HKEY_CURRENT_USER\Software\Classes'
    uninstall='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ravik'
    expect_value() {
        local got
        got=$(value "$1" "$2")
        [ "$got" = "$3" ] || fail "$1 ${2:-(default)} is \"$got\", not \"$3\""
    }
    expect_value "$classes\\.gap" "" GAPfile
    expect_value "$classes\\.gap" "Content Type" "GAP File"
    expect_value "$classes\\GAPfile\\defaulticon" "" "$(windows_path "$installed")\\GAP.ico"
    expect_value "$classes\\GAPfile\\Shell\\Open\\command" "" "\"$program\" \"%1\""
    expect_value "$uninstall" DisplayName Ravik
    expect_value "$uninstall" UninstallString "\"$(windows_path "$installed")\\Uninstall.exe\""
    expect_value "$uninstall" QuietUninstallString \
        "\"$(windows_path "$installed")\\Uninstall.exe\" /S"

    # Windows shows the user's own classes in HKEY_CLASSES_ROOT, over the machine's; Wine 8
    # does not merge them, so its shell is shown them the way Windows' view would, for as long
    # as the file is opened.
    for key in .gap GAPfile; do
        "${wine[@]}" reg copy "$classes\\$key" "HKEY_LOCAL_MACHINE\\Software\\Classes\\$key" \
            /s /f >/dev/null || fail "could not show $key to Wine's shell"
    done
    double_click_opens
    for key in .gap GAPfile; do
        "${wine[@]}" reg delete "HKEY_LOCAL_MACHINE\\Software\\Classes\\$key" /f >/dev/null
    done

    "${wine[@]}" "$(windows_path "$installed")\\Uninstall.exe" /S || fail "the silent uninstall failed"
    settle # the uninstaller goes on from a copy of itself in the temporary folder
    listing >"$scratch/after.txt"
    diff "$scratch/before.txt" "$scratch/after.txt" >&2 ||
        fail "the uninstaller left files behind or took others away"
    "${wine[@]}" reg export HKCU "$(windows_path "$scratch")\\after.reg" /y >/dev/null
    if iconv -f UTF-16LE -t UTF-8 "$scratch/after.reg" | grep -iE 'ravik|gapfile|\\\.gap\]'; then
        fail "the uninstaller left the keys above in the user's registry"
    fi
    echo "Installed silently, opened a double-clicked file, uninstalled without a trace"
    exit 0
fi

folder="$scratch/Ravik Programs/ravik folder"
(cd "$folder" && cmake -E tar xf "$package")
program="$(windows_path "$folder")\\Ravik.exe"

if [ "$mode" = screenshot ]; then
    # The whole argument text is the path: split at its blanks, Wine passes it on unquoted.
    # shellcheck disable=SC2086
    "${wine[@]}" "$program" $(windows_path "$(realpath "$5")") &
    patience=120 await window_named Vesk-Ravik || fail "no main window"
    sleep 2
    import -window "$(window_named Vesk-Ravik)" "$(realpath -m "$6")"
    exit 0
fi

# Started with a path holding blanks, unquoted: the whole argument text is the path. The first
# program in a new prefix takes longest.
# shellcheck disable=SC2086
"${wine[@]}" "$program" $(windows_path "$gapfile") &
patience=120 await window_named Vesk-Ravik || fail "Ravik.exe showed no main window"
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
"${wine[@]}" reg query "$command" | tr -d '\r' | grep -qF "REG_SZ    \"$program\" \"%1\"" ||
    fail "$command is not \"$program\" \"%1\": $("${wine[@]}" reg query "$command")"
end_ravik

# Started with the path in quotation marks, as cmd or a shortcut passes it (Wine quotes an
# argument with blanks).
"${wine[@]}" "$program" "$(windows_path "$gapfile")" &
await window_named Vesk-Ravik || fail "Ravik.exe started with a quoted path showed no window"
await timeline_shows "$(window_named Vesk-Ravik)" bbbbbkkkkk ||
    fail "Ravik.exe started with \"$gapfile\" in quotation marks did not open it"
end_ravik

# Every character of a status line is drawn: the failure line (the list's second, after the
# graph's first) naming a path in a drive that does not exist, without and with " I ! I ! I !"
# in it, has exactly six more marks (runs of columns with ink) with it.
marks_of_failure_line() {
    "${wine[@]}" "$program" "$1" &
    await window_named Vesk-Ravik || fail "Ravik.exe started with $1 showed no window"
    sleep 1
    import -window "$(window_named Vesk-Ravik)" "$scratch/status.png"
    end_ravik
    convert "$scratch/status.png" -crop 390x16+10+151 +repage -threshold 60% -negate \
        -scale '390x1!' -threshold 0 txt:- |
        awk 'NR > 1 { ink = ($0 ~ /#FFFFFF|white/); if (ink && !was) n++; was = ink }
             END { print n + 0 }'
}
plain=$(marks_of_failure_line 'Q:\ x.gap')
marked=$(marks_of_failure_line 'Q:\ I ! I ! I ! x.gap')
[ "$plain" -gt 20 ] || fail "the failure line shows $plain marks: it is not where it was looked for"
[ "$((marked - plain))" -eq 6 ] ||
    fail "the status line with \" I ! I ! I !\" has $((marked - plain)) marks more, not 6"

double_click_opens
echo "Ravik.exe opened a path with blanks, unquoted and quoted, drew every character," \
    "registered, and opened a double-clicked file"
