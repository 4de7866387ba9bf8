# Shared by scripts/demo and scripts/figures: a sandbox in which the real
# program runs against the simulated player, artwork of our own served from
# loopback, a temporary HOME and, when asked, a private X server with a tray
# panel. Source it, then call the functions; `sandbox_stop` ends everything
# that was started here.
#
# Every wait polls a condition and gives up after a time-out.

SANDBOX_PIDS=()

die() { echo "${0##*/}: $*" >&2; exit 1; }

# wait_for SECONDS WHAT COMMAND...: polls COMMAND every 0.1 s until it succeeds.
wait_for() {
  local limit=$1 what=$2
  shift 2
  local deadline=$(($(date +%s%N) + limit * 1000000000))
  until "$@" >/dev/null 2>&1; do
    if (($(date +%s%N) >= deadline)); then
      echo "${0##*/}: timed out after ${limit}s waiting for ${what}" >&2
      return 1
    fi
    sleep 0.1
  done
}

# sandbox_build BUILD_DIR: configures and builds what the sandbox runs.
sandbox_build() {
  local dir=$1
  [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$dir" --target larkspur-loopback spotify-sim
}

# sandbox_prepare ROOT BUILD_DIR: artwork, items, HTTP server, endpoints,
# the simulated player as `spotify`, HOME with settings. Exports what the
# program needs. BUILD_DIR is relative to the source tree or absolute.
sandbox_prepare() {
  SANDBOX=$1
  local build=$2
  [[ $build == /* ]] || build=$PWD/$build
  mkdir -p "$SANDBOX"/{www/image,bin,home/Library/Preferences,cache}
  sandbox_artwork "$SANDBOX/www/image"
  : >"$SANDBOX/www/index.html"
  cat >"$SANDBOX/items" <<'ITEMS'
track|3Hk1zqYbM2pWa7VdT0cLxR|Harbour Lights - 2019 Remaster|Mira Holt;Cedar Lane|Tidal Rooms|214000|larkspur-dusk|2|0.61
track|7Qe2yTnCk4rVb8WfU1dMzS|Paper Boats|The Quiet Arcs|Satellites|187000|larkspur-meadow|5|0.48
track|1Rf3xUoDl5sWc9XgV2eNaT|Night Ferry (Live)|Nadia Ferro|Night Ferry|263000|larkspur-ember|1|0.73
ITEMS
  SANDBOX_PORT_FILE=$SANDBOX/http.port
  # Port 0: the system picks a free port; the server prints it.
  python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$SANDBOX/www" \
    >"$SANDBOX/http.log" 2>&1 &
  SANDBOX_PIDS+=($!)
  wait_for 10 "the artwork server" grep -q "port [0-9]" "$SANDBOX/http.log" || return 1
  SANDBOX_PORT=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$SANDBOX/http.log" | head -1)
  local base="http://127.0.0.1:$SANDBOX_PORT"
  cat >"$SANDBOX/endpoints" <<END
probeUrl=$base/
imagePrefix=$base/image/
webHost=127.0.0.1:$SANDBOX_PORT
otherAppsUrl=$base/apps
tempDirectory=$SANDBOX/cache/
END
  # The program starts the player as `spotify` from PATH; the wrapper notes
  # its process id so that the sandbox can stop it.
  cat >"$SANDBOX/bin/spotify" <<END
#!/bin/sh
echo \$\$ >"$SANDBOX/player.pid"
exec "$build/tools/spotify-sim" "\$@"
END
  chmod +x "$SANDBOX/bin/spotify"
  SANDBOX_RECORD=$SANDBOX/player.record
  : >"$SANDBOX_RECORD"
  export LARKSPUR_SIM_ARGS="--items $SANDBOX/items --art-base $base/image/ --record $SANDBOX_RECORD"
  export LARKSPUR_ENDPOINTS_FILE=$SANDBOX/endpoints
  export PATH="$SANDBOX/bin:$PATH"
  export HOME=$SANDBOX/home
  export NO_AT_BRIDGE=1 GDK_BACKEND=x11
  sandbox_settings "$SANDBOX/home/Library/Preferences/Larkspur.plist"
  SANDBOX_PROGRAM=$build/tools/larkspur-loopback
}

# Three album covers of our own: gradients, a shape and a caption. The
# caption's font is named by its file: ImageMagick's default font comes from
# a package that scripts/install-deps does not install.
sandbox_artwork() {
  local dir=$1 font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
  convert -font "$font" -size 300x300 gradient:'#1d2b64-#f8cdda' -fill '#fff5' \
    -draw 'circle 150,170 150,90' -fill white -pointsize 28 -gravity south -annotate +0+24 'Tidal Rooms' "$dir/larkspur-dusk.png"
  convert -font "$font" -size 300x300 gradient:'#a8e063-#2f7336' -fill '#ffffff66' \
    -draw 'polygon 40,260 150,60 260,260' -fill white -pointsize 28 -gravity south \
    -annotate +0+24 'Satellites' "$dir/larkspur-meadow.png"
  convert -font "$font" -size 300x300 radial-gradient:'#ffd452-#a8321e' -fill '#00000055' \
    -draw 'rectangle 60,60 240,240' -fill white -pointsize 28 -gravity south \
    -annotate +0+24 'Night Ferry' "$dir/larkspur-ember.png"
  # The artwork address ends in the bare identifier.
  for f in "$dir"/*.png; do mv "$f" "${f%.png}"; done
}

# Settings with the artist shown and six shortcuts, so that the menu and the
# shortcuts window have something to show. "Close Spotify on Exit" is on: the
# simulated player ends with the program.
sandbox_settings() {
  cat >"$1" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>Val9</key><integer>0</integer>
  <key>Val11</key><integer>0</integer>
  <key>Val17</key><integer>1</integer>
  <key>Val19</key><integer>0</integer>
  <key>Val51</key><integer>1</integer>
  <key>Val31</key><string>⌃⌥N</string>
  <key>Val33</key><string>⌃⌥B</string>
  <key>Val35</key><string>⌃⌥R</string>
  <key>Val37</key><string>⌃⌥S</string>
  <key>Val39</key><string>⌃⌥P</string>
  <key>Val41</key><string>⌃⌥D</string>
</dict>
</plist>
PLIST
  chmod 600 "$1"
}

# sandbox_xserver: a private Xvfb; sets DISPLAY.
sandbox_xserver() {
  local fdfile=$SANDBOX/display
  Xvfb -displayfd 3 -screen 0 1024x640x24 -nolisten tcp 3>"$fdfile" 2>"$SANDBOX/xvfb.log" &
  SANDBOX_PIDS+=($!)
  wait_for 10 "the X server" grep -q '[0-9]' "$fdfile" || return 1
  export DISPLAY=:$(head -1 "$fdfile")
}

# sandbox_panel: a window manager and a tray panel that shows item labels,
# on the current (private) session bus. Needs sandbox_xserver first.
sandbox_panel() {
  local conf=$SANDBOX/config
  mkdir -p "$conf/xfce4/xfconf/xfce-perchannel-xml"
  # One panel in the top left corner, as wide as what it holds, with only the
  # indicator plugin, read by the settings daemon (xfconfd).
  cat >"$conf/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="1"/>
      <property name="length-adjust" type="bool" value="true"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="icon-size" type="uint" value="22"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="indicator"/>
  </property>
</channel>
XML
  cat >"$conf/xfce4/xfconf/xfce-perchannel-xml/xfwm4.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfwm4" version="1.0">
  <property name="general" type="empty">
    <property name="use_compositing" type="bool" value="false"/>
    <property name="workspace_count" type="int" value="1"/>
  </property>
</channel>
XML
  export XDG_CONFIG_HOME=$conf XDG_CACHE_HOME=$SANDBOX/xdg-cache XDG_DATA_HOME=$SANDBOX/xdg-data
  # Started here rather than by the bus, which would give it the bus's
  # environment and so the system-wide panel layout instead of ours.
  /usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd >"$SANDBOX/xfconfd.log" 2>&1 &
  SANDBOX_PIDS+=($!)
  wait_for 10 "the settings daemon" sandbox_bus_has org.xfce.Xfconf || return 1
  xfwm4 --compositor=off >"$SANDBOX/xfwm4.log" 2>&1 &
  SANDBOX_PIDS+=($!)
  /usr/libexec/ayatana-indicator-application/ayatana-indicator-application-service \
    >"$SANDBOX/indicator.log" 2>&1 &
  SANDBOX_PIDS+=($!)
  wait_for 15 "the tray watcher on the bus" sandbox_bus_has org.kde.StatusNotifierWatcher || return 1
  xfce4-panel --disable-wm-check >"$SANDBOX/panel.log" 2>&1 &
  SANDBOX_PIDS+=($!)
  wait_for 20 "the panel window" xdotool search --onlyvisible --class xfce4-panel || return 1
}

sandbox_bus_has() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q "boolean true"
}

# sandbox_start_program: starts the program and waits until the simulated
# player has been asked for the playing item.
sandbox_start_program() {
  "$SANDBOX_PROGRAM" >"$SANDBOX/program.log" 2>&1 &
  SANDBOX_PROGRAM_PID=$!
  SANDBOX_PIDS+=($SANDBOX_PROGRAM_PID)
  wait_for 20 "the simulated player" sandbox_bus_has org.mpris.MediaPlayer2.spotify || return 1
  wait_for 20 "the first artwork download" sandbox_artwork_cached || return 1
}

sandbox_artwork_cached() { compgen -G "$SANDBOX/cache/larkspur-*/*.jpeg" >/dev/null; }

# Ends everything started here, newest first, and the player the program
# started.
sandbox_stop() {
  local i pid
  if [ -n "${SANDBOX:-}" ] && [ -s "$SANDBOX/player.pid" ]; then
    SANDBOX_PIDS=("$(cat "$SANDBOX/player.pid")" "${SANDBOX_PIDS[@]}")
  fi
  for ((i = ${#SANDBOX_PIDS[@]} - 1; i >= 0; i--)); do
    pid=${SANDBOX_PIDS[i]}
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${SANDBOX_PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  SANDBOX_PIDS=()
}
