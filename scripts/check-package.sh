#!/usr/bin/env bash
# Checks the install layout and the Debian package of a finished build:
#   1. `cmake --install` into an empty temporary prefix gives every file a user needs;
#   2. CPack builds orvalis_<version>_amd64.deb, with library dependencies found by dpkg-shlibdeps;
#   3. the package, unpacked with dpkg-deb -x, holds the same layout, and its desktop entry, AppStream
#      data and the package itself pass desktop-file-validate, appstreamcli and lintian;
#   4. the unpacked program and the one in the prefix start offscreen, load the built-in
#      instrument, import their own sc.reg and open their own help index (--check-installation).
# Usage: scripts/check-package.sh [build-folder]. Any failure ends the run with a non-zero status.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "check-package: $*" >&2; exit 1; }
step() { echo "== $*"; }

# Every file the installed program needs below <root> (a prefix such as /usr).
check_layout() {
    local root=$1 missing=0 f
    local required=(
        bin/orvalis
        bin/orvalis-ctf
        libexec/orvalis/orvalis-ctf-pictures
        share/orvalis/sc.reg
        share/man/man1/orvalis.1.gz
        share/man/man1/orvalis-ctf.1.gz
        share/bash-completion/completions/orvalis-ctf
        share/doc/orvalis/copyright
    )
    local desktop=("$root"/share/applications/*.desktop)
    [ ${#desktop[@]} -eq 1 ] && [ -f "${desktop[0]}" ] || fail "$root: expected one desktop entry in share/applications"
    app_id=$(basename "${desktop[0]}" .desktop)
    required+=("share/metainfo/$app_id.metainfo.xml")
    # What the source tree ships must arrive: every help page, every icon size.
    if [ -d "$source_dir/data/help" ]; then
        while IFS= read -r f; do required+=("share/orvalis/help/$f"); done \
            < <(cd "$source_dir/data/help" && find . -type f | sed 's|^\./||')
        required+=(share/orvalis/help/index.html)
    fi
    if [ -f "$source_dir/data/icons/orvalis.svg" ]; then
        required+=("share/icons/hicolor/scalable/apps/$app_id.svg")
    fi
    for f in "$source_dir"/data/icons/hicolor/*/apps/orvalis.png; do
        [ -f "$f" ] || continue
        local size=${f#"$source_dir"/data/icons/hicolor/}; size=${size%%/*}
        required+=("share/icons/hicolor/$size/apps/$app_id.png")
    done
    for f in "${required[@]}"; do
        [ -e "$root/$f" ] || { echo "missing in $root: $f" >&2; missing=1; }
    done
    [ $missing -eq 0 ] || fail "install layout incomplete"
    local icon
    icon=$(sed -n 's/^Icon=//p' "${desktop[0]}")
    [ "$icon" = "$app_id" ] || fail "desktop entry names icon '$icon', not '$app_id'"
    if ! ls "$root"/share/icons/hicolor/*/apps/"$app_id".* > /dev/null 2>&1; then
        echo "note: no icon named $app_id installed yet (data/icons/ has none)"
    fi
    echo "layout of $root: ${#required[@]} files present"
}

# The shell program of <root>, with no display and no platform named: its version, a curve of the
# built-in instrument, a chart drawn offscreen; its manual page reads without warnings and its
# completion file loads in bash.
check_shell_program() {
    local root=$1 out
    out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/bin/orvalis-ctf" --version) \
        || fail "$root/bin/orvalis-ctf --version failed"
    [ "$out" = "orvalis-ctf $version" ] || fail "$root/bin/orvalis-ctf --version says '$out'"
    out=$(cd "$work" && env -u DISPLAY XDG_CONFIG_HOME="$work/ctf-config" "$root/bin/orvalis-ctf" curve) \
        || fail "$root/bin/orvalis-ctf curve failed"
    [ "$(wc -l <<< "$out")" -eq 4098 ] || fail "$root/bin/orvalis-ctf curve did not print 4098 lines"
    (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/ctf-config" \
        XDG_RUNTIME_DIR="$work/run" "$root/bin/orvalis-ctf" chart --out "$work/ctf.svg") \
        || fail "$root/bin/orvalis-ctf chart failed without a display"
    grep -q "<svg" "$work/ctf.svg" || fail "$root/bin/orvalis-ctf chart wrote no SVG"
    rm -f "$work/ctf.svg"
    local warnings
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$root/share/man/man1/orvalis-ctf.1.gz" 2>&1 > /dev/null) || true
    [ -z "$warnings" ] || { echo "$warnings"; fail "the manual page of orvalis-ctf has warnings"; }
    bash -c "source /usr/share/bash-completion/bash_completion 2> /dev/null; source '$root/share/bash-completion/completions/orvalis-ctf' && complete -p orvalis-ctf" > /dev/null \
        || fail "the completion file of orvalis-ctf does not load"
    echo "ok: orvalis-ctf of $root"
}

# Starts the program of <root> without a display; it must pass every check it makes.
check_program() {
    local root=$1 out
    out=$(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run" \
          "$root/bin/orvalis" --check-installation 2>&1) || { echo "$out"; fail "$root/bin/orvalis --check-installation failed"; }
    echo "$out"
    grep -q "^ok: default list $root/share/orvalis/sc.reg " <<< "$out" \
        || fail "$root/bin/orvalis did not import $root/share/orvalis/sc.reg"
    if [ -d "$source_dir/data/help" ]; then
        grep -q "^ok: help index $root/share/orvalis/help/index.html " <<< "$out" \
            || fail "$root/bin/orvalis did not open $root/share/orvalis/help/index.html"
    fi
}

mkdir -p "$work/run" && chmod 700 "$work/run"

step "install into an empty prefix"
cmake --install "$build" --prefix "$work/prefix" > /dev/null
check_layout "$work/prefix"
check_program "$work/prefix"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
check_shell_program "$work/prefix"

step "build the Debian package"
rm -f "$build"/orvalis_*.deb
(cd "$build" && cpack -G DEB > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/orvalis_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $(basename "$deb") in $build"
echo "$(basename "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -q "libqt6widgets6" <<< "$depends" || fail "Depends lacks the Qt libraries (dpkg-shlibdeps did not run?)"

step "unpack and validate"
dpkg-deb -x "$deb" "$work/root"
check_layout "$work/root/usr"
desktop-file-validate "$work/root/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$app_id.metainfo.xml"
grep -q "<release version=\"$version\"" "$work/root/usr/share/metainfo/$app_id.metainfo.xml" \
    || fail "the AppStream data has no release $version"
# Errors fail the run; warnings are shown.
lintian_status=0
lintian --fail-on error --display-level ">=warning" "$deb" > "$work/lintian.log" 2>&1 || lintian_status=$?
grep -v "^running with root privileges" "$work/lintian.log" || true
[ $lintian_status -eq 0 ] || fail "lintian reports errors"

step "start the unpacked program"
check_program "$work/root/usr"
check_shell_program "$work/root/usr"
echo "package checks passed: $deb"
