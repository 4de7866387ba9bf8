#!/usr/bin/env bash
# `cmake --install` into a temporary DESTDIR: the tree a distribution or a
# user's /usr/local gets, checked with the tools a desktop and a software
# centre read it with.
#   installed_tree_test.sh <build directory> <version>
set -u
build=$1 version=$2
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null || { echo "FAIL: install"; exit 1; }
cd "$dest/usr" || exit 1

# Exactly these files: the program, its images (those the build tree holds
# beside bin/), the icon in the theme, the menu entry, the metadata, the page.
expected=$( (cd "$build" && find share/larkspur -type f)
  printf '%s\n' bin/larkspur share/applications/larkspur.desktop \
    share/icons/hicolor/128x128/apps/larkspur.png share/icons/hicolor/256x256/apps/larkspur.png \
    share/icons/hicolor/scalable/apps/larkspur.svg share/man/man1/larkspur.1 \
    share/metainfo/larkspur.metainfo.xml)
diff <(sort <<<"$expected") <(find . -type f | sed 's|^\./||' | sort) ||
  fail "the installed files differ (< expected, > installed)"
[ -x bin/larkspur ] || fail "bin/larkspur is not executable"
[ "$(file share/icons/hicolor/*/apps/larkspur.png | grep -cE '/([0-9]+)x\1/apps/larkspur.png: PNG image data, \1 x \1,')" = 2 ] ||
  fail "the icons' sizes: $(file share/icons/hicolor/*/apps/larkspur.png)"

desktop-file-validate share/applications/larkspur.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net share/metainfo/larkspur.metainfo.xml && grep -q \
  "<release version=\"$version\"" share/metainfo/larkspur.metainfo.xml || fail "the metadata"

page=$(MANWIDTH=80 man -l --warnings=w share/man/man1/larkspur.1 2>"$dest/man.err")
[ ! -s "$dest/man.err" ] || fail "man warns: $(cat "$dest/man.err")"
[[ "$page" == *"Larkspur $version"* && "$page" == *--autostart* ]] ||
  fail "the manual page is not that of $version with its options"

exit $((failures > 0))
