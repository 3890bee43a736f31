# Sourced by the scripts that start servers and programs: what they started, stopped in
# reverse order, and a bounded wait for a condition.
pids=()
stop_started() {
  # Newest first: the program, the window manager, the X server, then the vendor server.
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
}

# Poll for a condition for up to $1 tenths of a second.
wait_for() {
  local tenths=$1; shift
  for ((n = 0; n < tenths; n++)); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

# Whether a window manager has taken the display over: a window mapped before that may be
# left unmanaged and never shown.
window_manager_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
