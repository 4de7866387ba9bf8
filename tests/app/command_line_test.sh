#!/usr/bin/env bash
# The options, run as a user runs them but with no display, no session bus
# and an empty home: each answers with its status and output, and nothing
# is left behind but the autostart entry that --autostart on writes.
#   command_line_test.sh <larkspur executable> <version>
set -u
exe=$1 version=$2
# Beside the executable, so that a hard link to it can sit in an odd path.
tmp=$(mktemp -d "$(dirname "$exe")/command-line-test.XXXXXX") && mkdir "$tmp/home"
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect STATUS STDOUT-PATTERN STDERR-PATTERN COMMAND...: runs it with the
# sanitizers' settings all the environment keeps.
expect() {
  local want=$1 outPattern=$2 errPattern=$3 status out err; shift 3
  env -i PATH=/usr/bin:/bin ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" \
    HOME="$tmp/home" ${XDG_CONFIG_HOME+XDG_CONFIG_HOME="$XDG_CONFIG_HOME"} "$@" >"$tmp/out" 2>"$tmp/err"
  status=$? out=$(cat "$tmp/out") err=$(cat "$tmp/err")
  [ "$status" = "$want" ] && [[ "$out" == $outPattern ]] && [[ "$err" == $errPattern ]] ||
    fail "$*: status $status (not $want), standard output: $out, standard error: $err"
}

XDG_CONFIG_HOME=$tmp/config
expect 0 "Usage: larkspur *--autostart on|off*--command next|previous*--help*--version*" "" "$exe" --help
expect 0 "Larkspur $version" "" "$exe" --version
expect 2 "" "larkspur: unknown option \"--bogus\"*Usage: larkspur*" "$exe" --bogus
expect 2 "" "*unexpected \"extra\"*Usage:*" "$exe" --version extra
expect 2 "" "*--autostart needs a value*Usage:*" "$exe" --autostart
expect 2 "" "*--autostart takes on or off*Usage:*" "$exe" --autostart=maybe
expect 2 "" "*--command takes next, previous*Usage:*" "$exe" --command=play
[ -z "$(ls -A "$tmp/home")" ] && [ ! -e "$tmp/config" ] || fail "an option left files behind"

# On writes a valid entry that starts this very executable; off removes it,
# and says so when there was none.
entry="$tmp/config/autostart/larkspur.desktop"
expect 0 "*wrote $entry*" "" "$exe" --autostart on
desktop-file-validate "$entry" && grep -qx "Exec=$exe" "$entry" || fail "the entry: $(cat "$entry")"
expect 0 "*removed $entry*" "" "$exe" --autostart off
expect 0 "*was not set*" "" "$exe" --autostart=off
[ -z "$(ls -A "$tmp/home")" ] || fail "--autostart touched the home directory"

# Without XDG_CONFIG_HOME the entry goes under ~/.config; an executable in a
# path with characters the Exec syntax reserves is quoted so that the
# session still finds it.
unset XDG_CONFIG_HOME
mkdir "$tmp/odd \$dir" && { ln "$exe" "$tmp/odd \$dir/larkspur" || cp "$exe" "$tmp/odd \$dir/larkspur"; }
expect 0 "*" "" "$tmp/odd \$dir/larkspur" --autostart on
entry="$tmp/home/.config/autostart/larkspur.desktop"
desktop-file-validate "$entry" && grep -qxF "Exec=\"$tmp/odd \\\\\$dir/larkspur\"" "$entry" ||
  fail "the entry for an odd path: $(cat "$entry")"

exit $((failures > 0))
