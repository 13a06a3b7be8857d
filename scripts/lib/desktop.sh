# A virtual desktop for machines without a display: Xvfb on a free display, openbox, trayer as the
# tray host and a headless PulseAudio with a null sink. Source it, call desktop_start, and
# desktop_stop at the end. Sets DISPLAY, XDG_RUNTIME_DIR and PULSE_SERVER for what runs after.

desktop_pids=()

desktop_start() {
  desktop_dir=$(mktemp -d /tmp/halvane-desktop.XXXXXX)
  chmod 700 "$desktop_dir"
  local n
  for n in $(shuf -i 100-899 -n 50); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
  done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  desktop_pids+=($!)
  export DISPLAY=":$n" XDG_RUNTIME_DIR="$desktop_dir" QT_QPA_PLATFORM=xcb
  unset WAYLAND_DISPLAY
  local i
  for i in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo >/dev/null 2>&1 || { echo "desktop: Xvfb did not start" >&2; return 1; }
  openbox --sm-disable >/dev/null 2>&1 &
  desktop_pids+=($!)
  trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 --SetDockType true \
    --SetPartialStrut true >/dev/null 2>&1 &
  desktop_pids+=($!)
  mkdir -p "$desktop_dir/pulse"
  cat >"$desktop_dir/test.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$desktop_dir/pulse/native
load-module module-null-sink sink_name=demo_sink norewinds=1
set-default-sink demo_sink
PA
  PULSE_RUNTIME_PATH="$desktop_dir/pulse" pulseaudio -n -F "$desktop_dir/test.pa" --daemonize=no \
    --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes --log-level=error >/dev/null 2>&1 &
  desktop_pids+=($!)
  export PULSE_SERVER="unix:$desktop_dir/pulse/native"
  for i in $(seq 1 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  sleep 1
}

desktop_stop() {
  local i
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do kill "${desktop_pids[$i]}" 2>/dev/null || true; done
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do wait "${desktop_pids[$i]}" 2>/dev/null || true; done
  desktop_pids=()
  [ -n "${desktop_dir:-}" ] && rm -rf "$desktop_dir"
}
