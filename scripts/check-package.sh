#!/usr/bin/env bash
# Builds the Debian package from an already built folder (cpack only installs
# what is built) and checks what it holds after unpacking it with dpkg -x into
# a temporary folder: both programs run, the desktop entry, icons, man page,
# metainfo (appstreamcli validate) and copyright file are where Debian wants
# them, and it depends on the Qt 5 runtime.
# usage: scripts/check-package.sh [BUILD_DIR]
set -euo pipefail
BUILD="$(realpath "${1:-build}")"
(cd "$BUILD" && cpack -G DEB > /dev/null)
DEB="$(ls -t "$BUILD"/sonalign_*_*.deb | head -n1)"
TMP="$(mktemp -d)"
trap 'rm -rf "$TMP"' EXIT
dpkg-deb -x "$DEB" "$TMP"

fail() { echo "package check: $*" >&2; exit 1; }
[ "$(dpkg-deb -f "$DEB" Package)" = sonalign ] || fail "package name"
deps="$(dpkg-deb -f "$DEB" Depends)"
for d in libqt5core5a libqt5gui5 libqt5widgets5 libqt5xml5; do
  grep -q "$d" <<<"$deps" || fail "does not depend on $d"
done
for f in usr/bin/sonalign usr/bin/sonalign-cli usr/share/applications/sonalign.desktop \
         usr/share/icons/hicolor/scalable/apps/sonalign.svg usr/share/man/man1/sonalign-cli.1.gz \
         usr/share/metainfo/org.sonalign.Sonalign.metainfo.xml usr/share/doc/sonalign/copyright; do
  [ -s "$TMP/$f" ] || fail "missing $f"
done
for size in 16 22 24 32 48 64 128 256; do
  [ -s "$TMP/usr/share/icons/hicolor/${size}x${size}/apps/sonalign.png" ] || fail "missing ${size}px icon"
done
[ -x "$TMP/usr/bin/sonalign" ] || fail "sonalign is not executable"
grep -q "GNU GENERAL PUBLIC LICENSE" "$TMP/usr/share/doc/sonalign/copyright" || fail "copyright lacks the GPL text"
"$TMP/usr/bin/sonalign-cli" --version | grep -qx "sonalign-cli [0-9.]*" || fail "sonalign-cli --version"
"$TMP/usr/bin/sonalign-cli" restore --help | grep -q "^Undoes a hide" || fail "sonalign-cli restore --help"
zcat "$TMP/usr/share/man/man1/sonalign-cli.1.gz" | grep -q "restore" || fail "man page lacks the restore command"
appstreamcli validate --no-net "$TMP/usr/share/metainfo/org.sonalign.Sonalign.metainfo.xml" > /dev/null \
  || fail "appstreamcli validate"
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$TMP/usr/share/applications/sonalign.desktop" || fail "desktop-file-validate"
fi
echo "package ok: $(basename "$DEB")"
