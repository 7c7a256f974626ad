#!/usr/bin/env bash
# Makes the Debian package from the build tree (build/, or $BUILD_DIR; built first when
# needed) and checks it as Debian would: lintian finds no error and no warning, the
# AppStream metainfo and the desktop entry validate, the changelog names the package's
# version, and the man pages render at 80 columns with every example line whole.
# Exits non-zero when a check fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
BUILD_DIR="$build" "$root/scripts/build.sh" >/dev/null
status=0
fail() {
    echo "package: $*"
    status=1
}

# A man page at 80 columns: no warning from the formatter, no line wider than the
# terminal, each line of its examples (.nf blocks) whole as written, and each quoted
# argument in the text ('...') on one line.
# Source text as the formatter prints it: escapes for minus, quote, backslash and fonts.
plain() { sed 's/\\-/-/g; s/\\(aq/'\''/g; s/\\e/\\/g; s/\\f[BIRP]//g; s/^ *//'; }
check_manpage() {
    local raw rendered warnings line ok=0
    warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$1: $warnings"; ok=1; }
    raw=$(MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$1" 2>/dev/null)
    if LC_ALL=C.UTF-8 grep -n '.\{81,\}' <<<"$raw"; then
        echo "$1: lines wider than 80 columns"
        ok=1
    fi
    # Hyphens, minus signs and quotes as typed, without the indentation.
    rendered=$(LC_ALL=C sed 's/\xe2\x80\x90/-/g; s/\xe2\x88\x92/-/g; s/\xe2\x80\x99/'\''/g; s/^ *//' <<<"$raw")
    while IFS= read -r line; do
        grep -qxF -- "$line" <<<"$rendered" || { echo "$1: example broken: $line"; ok=1; }
    done < <(awk '/^\.nf/ { inside = 1; next } /^\.fi/ { inside = 0 } inside && !/^\./' "$1" |
        plain)
    while IFS= read -r line; do
        grep -qF -- "$line" <<<"$rendered" || { echo "$1: quoted argument broken: $line"; ok=1; }
    done < <(grep -o '\\(aq.*\\(aq' "$1" | plain)
    return $ok
}

rm -f "$build"/usb-vantor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/usb-vantor_*.deb)
echo "== $deb"
version=$(dpkg-deb -f "$deb" Version)

echo "== lintian"
lintian_rc=0
report=$(lintian --fail-on error,warning "$deb" 2>&1) || lintian_rc=$?
# It notes that it runs as root (CI does): a note about the machine, not the package.
printf '%s\n' "$report" | grep -v 'running with root privileges' || true
[ $lintian_rc -eq 0 ] || fail "lintian found errors or warnings"

echo "== appstreamcli, desktop-file-validate"
appstreamcli validate --no-net \
    "$build/packaging/io.github.usb_vantor.UsbVantor.metainfo.xml" || fail "appstreamcli"
desktop=$(desktop-file-validate "$root/packaging/usb-vantor.desktop" 2>&1) || fail "desktop entry"
[ -z "$desktop" ] || fail "desktop entry: $desktop"

changelog=$(sed -n '1s/^usb-vantor (\([^)]*\)).*/\1/p' "$root/packaging/changelog")
[ "$changelog" = "$version" ] || fail "packaging/changelog names $changelog, the package is $version"

echo "== man pages at 80 columns"
for page in "$build"/packaging/*.1; do
    check_manpage "$page" || fail "$(basename "$page") at 80 columns"
done

[ $status -eq 0 ] && echo "package: $(basename "$deb") passes lintian and the checks"
exit $status
