#!/usr/bin/env bash
# The options, run as a user runs them but with no display, no session bus
# and an empty home: each answers with its status and output, and nothing
# is left behind but the autostart entry that --autostart on writes.
#   command_line_test.sh <larkspur executable> <version>
set -u
exe=$1 version=$2
# Beside the executable, so that a hard link to it can sit in an odd path.
tmp=$(mktemp -d "$(dirname "$exe")/command-line-test.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/home"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The sanitizers' settings are all the environment keeps.
clean=(env -i PATH=/usr/bin:/bin ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}")

# Sets status, out and err.
run() {
  "${clean[@]}" HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" "$@" >"$tmp/out" 2>"$tmp/err"
  status=$?
  out=$(cat "$tmp/out") err=$(cat "$tmp/err")
}
expect() {  # status, stdout pattern, stderr pattern, then the command
  local want=$1 outPattern=$2 errPattern=$3; shift 3
  run "$@"
  [ "$status" = "$want" ] || fail "$*: status $status, not $want"
  [[ "$out" == $outPattern ]] || fail "$*: standard output: $out"
  [[ "$err" == $errPattern ]] || fail "$*: standard error: $err"
}

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
desktop-file-validate "$entry" || fail "the autostart entry is not valid"
grep -qx "Exec=$exe" "$entry" || fail "the entry does not run $exe: $(grep Exec "$entry")"
expect 0 "*removed $entry*" "" "$exe" --autostart off
[ ! -e "$entry" ] || fail "--autostart off left $entry"
expect 0 "*was not set*" "" "$exe" --autostart=off
[ -z "$(ls -A "$tmp/home")" ] || fail "--autostart touched the home directory"

# Without XDG_CONFIG_HOME the entry goes under ~/.config; an executable in a
# path with characters the Exec syntax reserves is quoted so that the
# session still finds it.
mkdir "$tmp/odd \$dir"
odd="$tmp/odd \$dir/larkspur"
ln "$exe" "$odd" || cp "$exe" "$odd"
"${clean[@]}" HOME="$tmp/home" "$odd" --autostart on >/dev/null ||
  fail "--autostart on without XDG_CONFIG_HOME"
entry="$tmp/home/.config/autostart/larkspur.desktop"
desktop-file-validate "$entry" || fail "the entry for an odd path is not valid"
grep -qxF "Exec=\"$tmp/odd \\\\\$dir/larkspur\"" "$entry" ||
  fail "the odd path is not quoted: $(grep Exec "$entry")"

exit $((failures > 0))
