#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Usage: debian_package_test.sh PACKAGE SOURCE_ROOT   (as root)
# Installs the Debian package on this machine as a user does (apt-get install ./PACKAGE), checks
# what the installed package gives (gaptool's version, the manual, the GAP file type's default
# program, detect, bash completion), then purges it and checks that every file it brought is
# gone again. The machine is left as it was found, also when a check fails.
set -uo pipefail

package=$(realpath "$1") root=$(realpath "$2")
failures=0
ok() { echo "ok: $*"; }
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
skip() { echo "SKIPPED: $*"; }

if [ "$(id -u)" -ne 0 ]; then
    echo "This test installs a package: run it as root." >&2
    exit 2
fi
name=$(dpkg-deb -f "$package" Package)
version=$(dpkg-deb -f "$package" Version)
if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'ok installed'; then
    # Replacing the user's own installation and then purging it would not leave it as found.
    skip "$name is installed on this machine already; the package test would remove it"
    exit 0
fi

scratch=$(mktemp -d)
apt=(env DEBIAN_FRONTEND=noninteractive apt-get -y -o DPkg::Lock::Timeout=600)
# What the installation adds: the package and any dependency not installed yet, which the end
# removes again. Recommends are not installed (a sound server brings services and system users
# that a purge leaves behind); that each of them exists is checked below.
mapfile -t added < <("${apt[@]}" install -s --no-install-recommends "$package" 2>/dev/null |
    sed -n 's/^Inst \([^ ]*\) .*/\1/p')
cleanup() {
    if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q 'ok installed'; then
        "${apt[@]}" purge "$name" >/dev/null
    fi
    local extra=() package
    for package in "${added[@]}"; do
        [ "$package" != "$name" ] && apt-mark showauto "$package" | grep -q . &&
            extra+=("$package")
    done
    ((${#extra[@]} == 0)) || "${apt[@]}" purge "${extra[@]}" >/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The package's paths, and which of them the machine held before (shared folders such as
# /usr/share/man/man1, which must outlive the package).
mapfile -t paths < <(dpkg-deb --fsys-tarfile "$package" | tar -t | sed -e 's|^\.||' -e 's|/$||' |
    sed '/^$/d')
declare -A before=()
for path in "${paths[@]}"; do
    [ -e "$path" ] || [ -L "$path" ] && before[$path]=1
done
# What dpkg's triggers make from the package: the MIME database's entry for the type.
made_by_triggers=/usr/share/mime/application/x-gap.xml
[ -e "$made_by_triggers" ] && before[$made_by_triggers]=1

# A desktop user with no settings of their own, seeing only the system's data.
mkdir -p "$scratch/home" "$scratch/config" "$scratch/data"
as_user=(env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u DISPLAY -u WAYLAND_DISPLAY
    HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
    XDG_DATA_DIRS=/usr/share XDG_CONFIG_DIRS=/etc/xdg)
cp "$root/examples/speech.gap" "$scratch/copy.gap"

# Each group of recommended alternatives names a package the archive has.
recommended() {
    local group alternative found
    while read -r group; do
        [ -z "$group" ] && continue
        found=""
        for alternative in ${group//|/ }; do
            apt-cache show --no-all-versions "$alternative" >/dev/null 2>&1 &&
                found+=" $alternative"
        done
        if [ -n "$found" ]; then
            ok "the recommended \"$group\": apt knows$found"
        else
            fail "no package of the recommended \"$group\" is known to apt"
        fi
    done < <(dpkg-deb -f "$package" Recommends | tr ',' '\n')
}
if compgen -G '/var/lib/apt/lists/*_Packages*' >/dev/null; then
    recommended
else
    skip "the recommendations: apt has no package lists here (apt-get update never ran)"
fi

echo "== apt-get install $package"
if ! "${apt[@]}" install --no-install-recommends "$package"; then
    fail "apt-get could not install $package"
    exit 1
fi

# Every file of the package is there, except what this machine's dpkg is told to leave out.
rules() { grep -hs "^$1" /etc/dpkg/dpkg.cfg.d/* | sed "s/^$1[= ]*//"; }
excludes=$(rules path-exclude) includes=$(rules path-include)
left_out() {
    local pattern
    for pattern in $includes; do
        # shellcheck disable=SC2053 # the pattern is a glob
        [[ $1 == $pattern ]] && return 1
    done
    for pattern in $excludes; do
        # shellcheck disable=SC2053
        [[ $1 == $pattern ]] && return 0
    done
    return 1
}
missing=0
for path in "${paths[@]}"; do
    if ! [ -e "$path" ] && ! left_out "$path"; then
        fail "$path is in the package but not installed"
        missing=1
    fi
done
((missing)) || ok "every file of the package is installed"

if [ "$(/usr/bin/gaptool --version)" = "gaptool (Ravik) $version" ]; then
    ok "gaptool --version prints the package's version $version"
else
    fail "gaptool --version prints \"$(/usr/bin/gaptool --version)\", the package is $version"
fi

for page in gaptool ravik; do
    file=/usr/share/man/man1/$page.1.gz
    if left_out "$file"; then
        skip "man -w $page: this machine's dpkg leaves out $file" \
            "($(grep -ls '^path-exclude' /etc/dpkg/dpkg.cfg.d/* | tr '\n' ' '))"
    elif man -a -w "$page" 2>/dev/null | grep -qxF "$file"; then
        ok "man -w $page finds $file"
    else
        fail "man -w $page gives \"$(man -a -w "$page" 2>&1)\", not $file"
    fi
done

default=$("${as_user[@]}" xdg-mime query default application/x-gap 2>&1)
if [ "$default" = ravik.desktop ]; then
    ok "xdg-mime's default for application/x-gap is ravik.desktop"
else
    fail "xdg-mime's default for application/x-gap is \"$default\""
fi
type=$("${as_user[@]}" xdg-mime query filetype "$scratch/copy.gap" 2>&1)
if [ "$type" = application/x-gap ]; then
    ok "xdg-mime gives a .gap file the type application/x-gap"
else
    fail "xdg-mime gives a .gap file the type \"$type\""
fi

# The window program starts with what the package depends on, and stays up with a file open.
"${as_user[@]}" QT_QPA_PLATFORM=offscreen /usr/bin/ravik "$scratch/copy.gap" \
    >"$scratch/ravik.log" 2>&1 &
ravik=$!
sleep 3
if kill "$ravik" 2>/dev/null; then
    ok "the installed ravik starts and stays up with a GAP file open"
else
    fail "the installed ravik ended at once: $(cat "$scratch/ravik.log")"
fi
wait "$ravik" 2>/dev/null

mkdir -p "$scratch/detect"
cp "$root/examples/speech.wav" "$scratch/detect/"
if /usr/bin/gaptool detect "$scratch/detect/speech.wav" >/dev/null &&
    cmp -s "$scratch/detect/speech.gap" "$root/examples/speech.gap"; then
    ok "gaptool detect writes examples/speech.gap for a copy of examples/speech.wav"
else
    fail "gaptool detect did not write examples/speech.gap for a copy of examples/speech.wav"
fi

# bash-completion's own loader finds the completion the first time gaptool is completed.
offered=$("${as_user[@]}" bash --norc --noprofile -c '
    source /usr/share/bash-completion/bash_completion
    _completion_loader gaptool
    complete -p gaptool || exit 1
    COMP_WORDS=(gaptool "") COMP_CWORD=1 COMP_LINE="gaptool " COMP_POINT=8
    _gaptool gaptool "" gaptool
    echo "${COMPREPLY[*]}"' 2>&1 | tr '\n' ' ')
commands=$(/usr/bin/gaptool --help | grep -oE '^  [a-z][a-z-]*' | tr -d ' ')
missing=0
for command in $commands; do
    [[ " $offered " == *" $command "* ]] || missing=1
done
if ((missing)) || [[ $offered != "complete -F _gaptool gaptool"* ]]; then
    fail "bash completion of 'gaptool ' gives \"$offered\""
else
    ok "bash-completion loads the completion, which offers every command of gaptool --help"
fi

mapfile -t installed < <(dpkg -L "$name")
echo "== apt-get purge $name"
"${apt[@]}" purge "$name" || fail "apt-get could not purge $name"
left=0
for path in "${installed[@]}" "$made_by_triggers"; do
    [ "$path" = /. ] && continue
    if [ -n "${before[$path]-}" ]; then
        [ -e "$path" ] || { fail "the purge removed $path, which was there before"; left=1; }
    elif [ -e "$path" ] || [ -L "$path" ]; then
        fail "the purge left $path"
        left=1
    fi
done
((left)) || ok "the purge removed every file the package installed, and no other"
default=$("${as_user[@]}" xdg-mime query default application/x-gap 2>&1)
if [ -z "$default" ]; then
    ok "after the purge, application/x-gap has no default program"
else
    fail "after the purge, the default for application/x-gap is \"$default\""
fi

if ((failures > 0)); then
    echo "$failures check(s) of the installed package failed"
    exit 1
fi
echo "The package installs, works and purges cleanly"
