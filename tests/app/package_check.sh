#!/bin/sh
# The Debian desktop tools' checks of what the program installs, each skipped (exit 77)
# where its tool is not installed:
#   package_check.sh desktop SOURCE_DIR   desktop-file-validate on the menu entry
#   package_check.sh metainfo SOURCE_DIR  appstreamcli validate --pedantic on the AppStream
#                                         file (--no-net: its addresses are not fetched)
#   package_check.sh deb BUILD_DIR        cpack -G DEB, then lintian: no error and no warning
set -u
tool_or_skip() { command -v "$1" >/dev/null 2>&1 || { echo "$1 is not installed: skipped"; exit 77; }; }
case $1 in
  desktop)
    tool_or_skip desktop-file-validate
    exec desktop-file-validate "$2/packaging/tablewright.desktop" ;;
  metainfo)
    tool_or_skip appstreamcli
    exec appstreamcli validate --pedantic --no-net "$2/packaging/com.quernfield.tablewright.metainfo.xml" ;;
  deb)
    tool_or_skip lintian
    tool_or_skip cpack
    out=$(mktemp -d)
    trap 'rm -rf "$out"' EXIT
    (cd "$2" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log"; exit 1; }
    deb=$(ls "$out"/*.deb)
    lintian --no-tag-display-limit "$deb" >"$out/lintian.txt" 2>&1
    cat "$out/lintian.txt"
    ! grep -q '^[EW]: ' "$out/lintian.txt" ;;
  *) echo "usage: package_check.sh desktop|metainfo|deb DIR" >&2; exit 2 ;;
esac
