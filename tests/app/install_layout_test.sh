#!/bin/sh
# Installs the build as a Debian package would lay it out (prefix /usr, into a scratch
# DESTDIR) and checks what a user gets: the program folder with the program, its pictures
# and the sample database, the launcher on PATH, the menu entry and its icon. Then starts
# the installed program through the launcher, offscreen, with a throw-away home: it must
# come up and stay up (ended by the timeout), and keep its settings private.
#   install_layout_test.sh BUILD_DIR
set -eu
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
root="$dest/usr"
fail() { echo "install layout: $*" >&2; exit 1; }

for f in lib/tablewright/tablewright lib/tablewright/HAND-M.CUR lib/tablewright/tablewright.png \
         lib/tablewright/Samples/sample.mdb bin/tablewright-convert share/applications/tablewright.desktop \
         share/icons/hicolor/256x256/apps/tablewright.png; do
  [ -f "$root/$f" ] || fail "missing $f"
done
[ -x "$root/lib/tablewright/tablewright" ] || fail "the program is not executable"
[ -L "$root/bin/tablewright" ] || fail "bin/tablewright is not a link"
[ "$(readlink -f "$root/bin/tablewright")" = "$(readlink -f "$root/lib/tablewright/tablewright")" ] ||
  fail "bin/tablewright does not lead to the program folder"
grep -q '^Exec=tablewright$' "$root/share/applications/tablewright.desktop" || fail "desktop entry without Exec"
grep -q '^Icon=tablewright$' "$root/share/applications/tablewright.desktop" || fail "desktop entry without Icon"

home="$dest/home"
mkdir -p "$home"
status=0
HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen timeout 4 "$root/bin/tablewright" \
  >/dev/null 2>&1 || status=$?
[ "$status" = 124 ] || fail "the installed program ended by itself (status $status)"
conf="$home/.config/Quernfield.conf"
[ -f "$conf" ] || fail "no settings file"
[ "$(stat -c %a "$conf")" = 600 ] || fail "settings file mode $(stat -c %a "$conf")"
grep -q '^Check1=1$' "$conf" || fail "the first start stored no choices"
echo "install layout: ok"
