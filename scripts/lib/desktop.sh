# A virtual desktop for machines without a display: Xvfb on a free display, openbox, trayer as the
# tray host and a headless PulseAudio with a null sink. Source it, call desktop_start, and
# desktop_stop at the end. Sets DISPLAY, XDG_RUNTIME_DIR and PULSE_SERVER for what runs after.
# Each server writes to its own log in $desktop_dir/logs and is killed by the kernel when the
# script that started it dies, however it dies.

desktop_pids=()

# desktop_daemon NAME PROGRAM ARGS...: starts one server of the desktop in the background.
desktop_daemon() {
  local name=$1
  shift
  setpriv --pdeathsig KILL -- "$@" </dev/null >>"$desktop_dir/logs/$name.log" 2>&1 &
  desktop_pids+=($!)
}

desktop_fail() {
  desktop_dir_keep=1
  echo "desktop: $1 (log: $desktop_dir/logs/$2.log)" >&2
  tail -n 5 "$desktop_dir/logs/$2.log" >&2 2>/dev/null || true
  return 1
}

desktop_start() {
  desktop_dir=$(mktemp -d /tmp/halvane-desktop.XXXXXX)
  chmod 700 "$desktop_dir"
  mkdir -p "$desktop_dir/logs" "$desktop_dir/pulse"
  local p
  for p in Xvfb xdpyinfo openbox trayer pulseaudio pactl setpriv; do
    command -v "$p" >/dev/null 2>&1 || { echo "desktop: $p is not installed (run scripts/setup)" >&2; return 1; }
  done
  local n
  for n in $(shuf -i 100-899 -n 50); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
  done
  desktop_daemon Xvfb Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset
  export DISPLAY=":$n" XDG_RUNTIME_DIR="$desktop_dir" QT_QPA_PLATFORM=xcb
  unset WAYLAND_DISPLAY
  local i
  for i in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo >/dev/null 2>&1 || { desktop_fail "Xvfb did not start on $DISPLAY" Xvfb; return 1; }
  desktop_daemon openbox openbox --sm-disable
  for i in $(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
    { desktop_fail "the window manager openbox did not come up" openbox; return 1; }
  desktop_daemon trayer trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 \
    --SetDockType true --SetPartialStrut true
  cat >"$desktop_dir/test.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$desktop_dir/pulse/native
load-module module-null-sink sink_name=demo_sink norewinds=1
set-default-sink demo_sink
PA
  PULSE_RUNTIME_PATH="$desktop_dir/pulse" desktop_daemon pulseaudio pulseaudio -n -F "$desktop_dir/test.pa" \
    --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes --log-target=stderr --log-level=error
  export PULSE_SERVER="unix:$desktop_dir/pulse/native"
  for i in $(seq 1 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || { desktop_fail "the audio server pulseaudio did not answer" pulseaudio; return 1; }
  sleep 1
}

desktop_stop() {
  local i
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do kill "${desktop_pids[$i]}" 2>/dev/null || true; done
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do wait "${desktop_pids[$i]}" 2>/dev/null || true; done
  desktop_pids=()
  [ -n "${desktop_dir:-}" ] && [ -z "${desktop_dir_keep:-}" ] && rm -rf "$desktop_dir"
}
