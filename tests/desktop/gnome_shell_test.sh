#!/usr/bin/env bash
# The real program inside a real GNOME Shell: headless on Wayland, the
# program on Xwayland against the simulated player, its tray item drawn in
# the top bar by the AppIndicator extension and read back through the
# shell's Eval, which the extension beside this script opens. Checks the
# label, the icon's pixels, the item across track changes, a command from
# outside and the item's menu opened by a click.
#
#   gnome_shell_test.sh BUILD_DIR                   the checks; exit 77 (skip)
#                                                   without gnome-shell
#   gnome_shell_test.sh BUILD_DIR --screenshot DIR  also saves the top bar
#                                                   with the open menu as
#                                                   DIR/gnome-shell-menu.png
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
shots=$([ "${2:-}" != --screenshot ] || { mkdir -p "$3" && cd "$3" && pwd; }) || exit 2
command -v gnome-shell >/dev/null || { echo "SKIP: gnome-shell is not installed"; exit 77; }

# Outside the session: a private runtime directory and a stand-in system bus
# (the shell's login manager client needs one), then the rest again inside
# a session bus of its own. Bounded as a whole, whatever hangs inside.
if [ -z "${LARKSPUR_SHELL_WORK:-}" ]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/larkspur-gnome-shell.XXXXXX")
  # The sandbox's home exists before the bus starts the settings service,
  # which writes there; mutter will not start Xwayland without .X11-unix.
  mkdir -m 700 "$work/run" && mkdir -p "$work/sandbox/home" && mkdir -p -m 1777 /tmp/.X11-unix
  dbus-daemon --session --nofork --address="unix:path=$work/system-bus" >/dev/null 2>&1 &
  system_bus=$!
  trap 'kill $system_bus; wait $system_bus; rm -rf "$work"' EXIT
  for _ in $(seq 100); do [ -S "$work/system-bus" ] && break; sleep 0.1; done
  env -u DISPLAY -u WAYLAND_DISPLAY -u XAUTHORITY -u XDG_CONFIG_HOME -u XDG_DATA_HOME \
    -u XDG_CACHE_HOME -u DBUS_SESSION_BUS_ADDRESS HOME="$work/sandbox/home" XDG_RUNTIME_DIR="$work/run" \
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system-bus" XDG_SESSION_TYPE=wayland \
    XDG_CURRENT_DESKTOP=GNOME LARKSPUR_SHELL_WORK="$work" \
    timeout -k 30 540 dbus-run-session -- "$0" "$@"
  exit
fi

work=$LARKSPUR_SHELL_WORK
cd "$here/../.." && . scripts/lib/sandbox.sh || exit 2
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
shell_pid=""

# shell_eval JS: prints the string the JavaScript returns; fails when the
# shell does not answer or the code throws.
shell_eval() {
  local reply
  reply=$(timeout 20 gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Eval "$1" 2>&1) && [[ $reply == "(true, '\""*"\"')" ]] || return 1
  reply=${reply#"(true, '\""} && echo "${reply%"\"')"}"
}
shell_is() { [ "$(shell_eval "$1")" = "$2" ]; }

# The shell leads a process group, so that its children end with it.
stop_shell() { [ -z "$shell_pid" ] || { kill -KILL -- "-$shell_pid" && wait "$shell_pid"; } 2>/dev/null; shell_pid=""; }
trap 'stop_shell; sandbox_stop' EXIT
trap 'exit 143' INT TERM

sandbox_prepare "$work/sandbox" "$build" || exit 1
extension=larkspur-test@larkspur
mkdir -p "$HOME/.local/share/gnome-shell/extensions" && cp -r "$here/$extension" "$_"
gsettings set org.gnome.shell disable-user-extensions false
gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com', '$extension']"
gsettings set org.gnome.desktop.interface enable-animations false

# Now and then the shell's start hangs in a child it forks to launch the
# input method daemon: a start that does not finish is ended and tried again.
for attempt in 1 2 3; do
  setsid gnome-shell --headless --wayland --virtual-monitor 1280x800 >>"$work/shell.log" 2>&1 &
  shell_pid=$!
  wait_for 90 "GNOME Shell's start" shell_is \
    '!Main.layoutManager._startingUp && !Main.overview.visible ? "up" : ""' up && break
  stop_shell
  [ "$attempt" -lt 3 ] || { cat "$work/shell.log" >&2; exit 1; }
done

# Xwayland takes the first free display, which need not be :0. GTK on
# Wayland, as a Wayland session runs the program (the sandbox asks for X11).
export WAYLAND_DISPLAY=wayland-0 DISPLAY=$(shell_eval 'imports.gi.GLib.getenv("DISPLAY")')
export XAUTHORITY=$(compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" | head -1)
[ -n "$DISPLAY" ] && [ -n "$XAUTHORITY" ] || { echo "FAIL: no Xwayland" >&2; exit 1; }
unset GDK_BACKEND
sandbox_start_program || { cat "$SANDBOX/program.log" >&2; exit 1; }

# Our item in the top bar, and what it shows: "label|x,y,w,h" of its icon,
# or "missing".
item="Object.values(Main.panel.statusArea).find(i => i?._indicator?.id === 'larkspur')"
item() {
  shell_eval "(() => {
    const item = $item;
    if (!item || !item.visible || !item.mapped) return 'missing';
    const icon = item.icon, [x, y] = icon.get_transformed_position(), [w, h] = icon.get_transformed_size();
    return (item._label?.text ?? '') + '|' + (icon.gicon && icon.visible ? [x, y, w, h].map(Math.round).join(',') : 'none');
  })()"
}
shows_label() { [ "$(item | cut -d'|' -f1)" = "$1" ]; }

# The icon stands out from the dark top bar: some of its pixels are bright.
# (Unsafe mode lets any caller take screenshots.)
icon_bright() {
  local x y w h
  IFS=, read -r x y w h <<<"$(item | cut -d'|' -f2)"
  [ -n "$h" ] && gdbus call --session --dest org.gnome.Shell.Screenshot \
    --object-path /org/gnome/Shell/Screenshot --method org.gnome.Shell.Screenshot.ScreenshotArea \
    "$x" "$y" "$w" "$h" false "$work/icon.png" >/dev/null &&
    [ "$(convert "$work/icon.png" -colorspace gray -threshold 50% -format '%[fx:maxima]' info:)" = 1 ]
}

wait_for 30 "the label in the top bar" shows_label "Harbour Lights • Mira Holt, Cedar Lane" ||
  fail "top bar shows: $(item)"

# A command from outside changes the track, which keeps the item, its label
# and its icon.
"$build/bin/larkspur" --command next || fail "--command next exited with $?"
wait_for 30 "the next track's label" shows_label "Paper Boats • The Quiet Arcs" || fail "after Next: $(item)"
wait_for 20 "the icon" icon_bright || fail "the icon cannot be seen: $(item)"

# A click on the item opens its menu, filled from the program's (labels
# start with the entry's text; the shortcut hint follows).
click_js="(() => {
  const { Clutter, GLib } = imports.gi, item = $item, now = GLib.get_monotonic_time();
  const [x, y] = item.get_transformed_position(), [w, h] = item.get_transformed_size();
  const pointer = globalThis.larkspurPointer ??= Clutter.get_default_backend().get_default_seat()
    .create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
  pointer.notify_absolute_motion(now, x + w / 2, y + h / 2);
  pointer.notify_button(now, Clutter.BUTTON_PRIMARY, Clutter.ButtonState.PRESSED);
  pointer.notify_button(now, Clutter.BUTTON_PRIMARY, Clutter.ButtonState.RELEASED);
  return 'clicked';
})()"
menu_js="(() => { const menu = $item.menu; return menu.isOpen ?
  menu._getMenuItems().filter(m => m.visible && m.label).map(m => m.label.text).join('|') : 'closed'; })()"
shell_is "$click_js" clicked || fail "could not click the item"
wait_for 30 "the open menu" eval '[[ "|$(shell_eval "$menu_js")" == *"|Next"*"|Quit"* ]]' ||
  fail "the menu: $(shell_eval "$menu_js")"

# The right end of the top bar down to the menu's foot.
if [ -n "$shots" ]; then
  read -r left bottom <<<"$(shell_eval "(() => { const menu = $item.menu.actor, [x, y] = menu.get_transformed_position();
    return [x, y + menu.get_transformed_size()[1]].map(Math.round).join(' '); })()")"
  gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
    --method org.gnome.Shell.Screenshot.Screenshot false false "$work/screen.png" >/dev/null &&
    convert "$work/screen.png" -crop "$((1280 - left + 16))x$((bottom + 16))+$((left - 16))+0" +repage \
      -strip -define png:compression-level=9 "$shots/gnome-shell-menu.png" || fail "no screenshot"
fi

[ "$failures" = 0 ] || { echo "$failures check(s) failed; GNOME Shell's log:" >&2; tail -50 "$work/shell.log" >&2; }
exit $((failures > 0))
