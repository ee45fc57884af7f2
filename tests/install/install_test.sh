#!/bin/sh
# Installs the build into a scratch DESTDIR as a package would, and checks
# that every file is in its usual place below the prefix and that the
# desktop tools accept what we install.
#   install_test.sh BUILD_DIR VERSION
set -eu
BUILD=$1
VERSION=$2
DEST=$(mktemp -d)
trap 'rm -rf "$DEST"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

DESTDIR=$DEST cmake --install "$BUILD" --prefix /usr >/dev/null || fail "cmake --install failed"
P=$DEST/usr
S=$P/share

for f in bin/tavora bin/tavora-run bin/brennel \
         share/applications/tavora.desktop \
         share/icons/hicolor/scalable/apps/tavora.svg \
         share/mime/packages/tavora.xml \
         share/tavora/examples/sum.cod share/tavora/examples/factorial.cod share/tavora/examples/sort.cod \
         share/tavora/examples/README.md; do
  [ -s "$P/$f" ] || fail "missing $f"
done
for size in 16 22 24 32 48 64 128 256; do
  [ -s "$S/icons/hicolor/${size}x${size}/apps/tavora.png" ] || fail "missing ${size}x${size} icon"
done

# Every program has its manual page and answers --version with the
# project's version, without a display.
for program in "$P"/bin/*; do
  name=$(basename "$program")
  [ -s "$S/man/man1/$name.1.gz" ] || fail "no manual page for $name"
  if command -v man >/dev/null; then
    warnings=$(MANWIDTH=80 man --warnings -l "$S/man/man1/$name.1.gz" 2>&1 >/dev/null) || fail "man cannot show $name.1"
    [ -z "$warnings" ] || fail "$name.1: $warnings"
  fi
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$program" --version) || fail "$name --version failed"
  [ "$out" = "$name $VERSION" ] || fail "$name --version printed '$out'"
done

# The desktop entry is valid, starts an installed program and names an
# installed icon.
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is not installed (desktop-file-utils)"
desktop-file-validate "$S/applications/tavora.desktop" | grep -v '^[^:]*: hint:' | grep . && fail "desktop-file-validate complained"
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$S/applications/tavora.desktop")
[ -x "$P/bin/$exec_program" ] || fail "Exec names $exec_program, which is not installed"
grep -qx 'Icon=tavora' "$S/applications/tavora.desktop" || fail "desktop entry names another icon"
grep -q '^MimeType=application/x-tavora-cod;' "$S/applications/tavora.desktop" || fail "desktop entry does not open .cod images"

# The file type builds into a MIME database that maps *.cod to it.
if command -v update-mime-database >/dev/null; then
  update-mime-database "$S/mime" || fail "update-mime-database refused the MIME type"
  grep -q 'application/x-tavora-cod:\*\.cod' "$S/mime/globs2" || fail "*.cod is not mapped to the type"
fi
echo "install test passed"
