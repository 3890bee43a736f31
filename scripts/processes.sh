# Sourced by the scripts that start servers and programs: what they started, stopped in
# reverse order, and a bounded wait for a condition.
pids=()
stop_started() {
  # Newest first: the program, the window manager, the X server, then the vendor server.
  # A program held in a modal message (a refusal that failed the run) may not end on TERM:
  # it gets ten seconds, then KILL, so a failed run still ends.
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${pids[i]}" 2>/dev/null || true
    wait_for 100 process_ended "${pids[i]}" || kill -KILL "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
}

# Whether a process has ended: gone, or a zombie not yet reaped.
process_ended() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 0
  [[ $state == Z* ]]
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
