#!/bin/sh
# Installs the build as a Debian package would lay it out (prefix /usr, into a scratch
# DESTDIR) and checks what a user gets: the programs on PATH, their files under
# share/tablewright, the menu entry, its icons, the AppStream and MIME files, the gzipped
# manual pages and the package documents. Then starts the installed program, offscreen,
# with a throw-away home and the sample database as its argument: it must come up and
# stay up (ended by the timeout), find its files under share/, and keep its settings
# private.
#   install_layout_test.sh BUILD_DIR
set -eu
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
root="$dest/usr"
fail() { echo "install layout: $*" >&2; exit 1; }

for f in bin/tablewright bin/tablewright-convert share/tablewright/HAND-M.CUR share/tablewright/tablewright.png \
         share/tablewright/Samples/sample.mdb share/applications/tablewright.desktop \
         share/metainfo/com.quernfield.tablewright.metainfo.xml share/mime/packages/tablewright.xml \
         share/doc/tablewright/copyright share/doc/tablewright/changelog.gz \
         share/man/man1/tablewright.1.gz share/man/man1/tablewright-convert.1.gz; do
  [ -f "$root/$f" ] || fail "missing $f"
done
for size in 48 64 128 256; do
  [ -f "$root/share/icons/hicolor/${size}x$size/apps/tablewright.png" ] || fail "no icon of $size pixels"
done
[ -x "$root/bin/tablewright" ] || fail "the program is not executable"
[ ! -e "$root/share/man/man1/tablewright.1" ] || fail "an uncompressed manual page"
gzip -t "$root/share/doc/tablewright/changelog.gz" || fail "changelog.gz is not gzip"
grep -q '^Exec=tablewright %f$' "$root/share/applications/tablewright.desktop" || fail "desktop entry without Exec %f"
grep -q '^Icon=tablewright$' "$root/share/applications/tablewright.desktop" || fail "desktop entry without Icon"
grep -q '^MimeType=.*application/vnd.ms-access;' "$root/share/applications/tablewright.desktop" ||
  fail "desktop entry without the .mdb type"

home="$dest/home"
mkdir -p "$home"
status=0
HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen timeout 4 "$root/bin/tablewright" \
  "$root/share/tablewright/Samples/sample.mdb" >/dev/null 2>&1 || status=$?
[ "$status" = 124 ] || fail "the installed program ended by itself (status $status)"
conf="$home/.config/Quernfield.conf"
[ -f "$conf" ] || fail "no settings file"
[ "$(stat -c %a "$conf")" = 600 ] || fail "settings file mode $(stat -c %a "$conf")"
grep -q '^Check1=1$' "$conf" || fail "the first start stored no choices"
grep -q "^AccessMDBFile=$root/share/tablewright/Samples/sample.mdb\$" "$conf" || fail "the argument was not kept"
"$root/bin/tablewright" --version | grep -q '^tablewright (Tablewright) ' || fail "no --version"
echo "install layout: ok"
