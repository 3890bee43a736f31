#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program on the sample vendor site and the
# sample installation of demo/, in a sandbox of its own under build/default/demo-sandbox/
# (its own HOME and XDG folders; the user's real ones are never touched). The site is signed
# by a key made in the sandbox, which the sandbox's machine-wide list (XDG_CONFIG_DIRS) pins.
# With a display it opens the window. Without one it runs the program on Xvfb, waits until
# the tree is filled, saves a screenshot in the sandbox and prints its path. With
# --readme-picture it also replaces docs/screenshot.png, the README's picture: a deliberate step,
# so that an ordinary run leaves the work tree as it was.
set -euo pipefail
readme_picture=false
[ "${1:-}" = --readme-picture ] && readme_picture=true
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh
bash scripts/build.sh default

build=$root/build/default
tool=$build/demo/corvalite-demo
program=$build/src/update
sandbox=$build/demo-sandbox
screenshot=$sandbox/screenshot.png
title="Corvalite Product Update Assistant"

# A fresh sandbox every run, so every run starts from the same samples. Its trust list was
# handed to root when this runs as another user (see below), so root takes it away again.
trust=$sandbox/xdg
if [ -e "$trust/corvalite-update" ] && [ ! -O "$trust/corvalite-update" ]; then
  sudo rm -rf "$trust/corvalite-update"
fi
rm -rf "$sandbox"
mkdir -p "$sandbox"

# Keep the way to the user's own X server before HOME moves.
if [ -n "${DISPLAY:-}" ] && [ -z "${XAUTHORITY:-}" ] && [ -f "$HOME/.Xauthority" ]; then
  export XAUTHORITY="$HOME/.Xauthority"
fi
export HOME=$sandbox/home
export XDG_CONFIG_HOME=$HOME/.config
export XDG_DATA_HOME=$HOME/.local/share
export XDG_CACHE_HOME=$HOME/.cache
if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -d "${XDG_RUNTIME_DIR}" ]; then
  export XDG_RUNTIME_DIR=$sandbox/runtime
fi
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# The window is laid out for Tahoma; Wine's font of that name keeps the columns as designed.
if [ -f /usr/share/wine/fonts/tahoma.ttf ]; then
  mkdir -p "$XDG_CONFIG_HOME/fontconfig"
  cat >"$XDG_CONFIG_HOME/fontconfig/fonts.conf" <<'EOF'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <dir>/usr/share/wine/fonts</dir>
</fontconfig>
EOF
fi

# The desktop entry and icon, for the sandbox's menu only.
mkdir -p "$XDG_DATA_HOME/applications" "$XDG_DATA_HOME/icons/hicolor/scalable/apps"
sed "s|^Exec=.*|Exec=\"$program\"|" packaging/linux/corvalite-update.desktop \
  > "$XDG_DATA_HOME/applications/corvalite-update.desktop"
cp src/resources/corvalite-update.svg "$XDG_DATA_HOME/icons/hicolor/scalable/apps/"

source scripts/processes.sh
trap stop_started EXIT
trap 'exit 130' INT TERM

# The sample vendor signs its programs and libraries with a key made for this sandbox, and
# the sandbox's machine-wide list pins it, as an administrator pins a vendor's key in /etc/xdg.
# The program ignores a list its user could change, so as another user root must own it.
"$tool" site "$sandbox/site"
"$tool" sign "$sandbox/site" "$sandbox/keys"
"$tool" trust "$trust" "$sandbox/keys" 2>/dev/null
if [ "$(id -u)" -ne 0 ]; then sudo chown -R root:root "$trust/corvalite-update"; fi
export XDG_CONFIG_DIRS="$trust:${XDG_CONFIG_DIRS:-/etc/xdg}"
"$tool" install "$sandbox/install"
"$tool" serve "$sandbox/site" --port-file "$sandbox/port" >"$sandbox/server.log" 2>&1 &
pids+=($!)
wait_for 100 test -s "$sandbox/port" || { cat "$sandbox/server.log"; exit 1; }
base="http://127.0.0.1:$(cat "$sandbox/port")"
"$tool" hive "$XDG_CONFIG_HOME/corvalite-update/HKCU.reg" "$sandbox/install" "$base"
echo "Sample vendor site at $base, sample installation in $sandbox/install"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  # The program ends when its window is closed; the trap then stops the server.
  "$program"
  exit 0
fi

# --- no display: a virtual one, a screenshot, and an orderly end ---
exec 3>"$sandbox/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$sandbox/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
wait_for 100 test -s "$sandbox/display" || { cat "$sandbox/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$sandbox/display")"
unset WAYLAND_DISPLAY
if command -v openbox >/dev/null; then
  openbox --sm-disable >"$sandbox/openbox.log" 2>&1 &
  pids+=($!)
  wait_for 100 window_manager_ready || echo "openbox did not start; going on without it" >&2
fi

"$program" >"$sandbox/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)

catalogue_fetched() { grep -q "GET /download/utils/list_exe.php" "$sandbox/server.log"; }
# The program's own window (it has a class; Qt's hidden leader window of the same name not).
window_id() {
  xwininfo -root -tree 2>/dev/null | grep -F "\"$title\": (\"" | head -n1 | awk '{print $1}'
}
# The window manager's frame around it: the ancestor right below the root.
frame_id() {
  local id=$1 info
  while info=$(xwininfo -id "$id" -children 2>/dev/null) &&
    ! grep -q "Parent window id: .*(the root window)" <<<"$info"; do
    id=$(awk '/Parent window id/{print $4}' <<<"$info")
  done
  echo "$id"
}
window_shown() { [ -n "$(window_id)" ]; }
fail() {
  echo "run.sh: $1" >&2
  tail -n 20 "$sandbox/server.log" "$sandbox/program.log" >&2 || true
  exit 1
}

wait_for 600 window_shown || fail "the window did not appear"
wait_for 600 catalogue_fetched || fail "the program did not fetch the catalogue"

# The tree is built right after the last list arrives; take pictures until two agree.
capture() { import -display "$DISPLAY" -window root "$1" 2>/dev/null; }
previous=""
for ((n = 0; n < 20; n++)); do
  sleep 0.5
  capture "$sandbox/shot.png" || continue
  current=$(md5sum <"$sandbox/shot.png")
  [ "$current" = "$previous" ] && break
  previous=$current
done
[ -s "$sandbox/shot.png" ] || fail "no screenshot could be taken"

# The window with its frame, as a desktop shows it.
import -display "$DISPLAY" -window "$(frame_id "$(window_id)")" "$screenshot" 2>/dev/null ||
  cp "$sandbox/shot.png" "$screenshot"

# SIGTERM closes the window as its close box would, so the settings are saved.
kill -TERM "$program_pid"
wait "$program_pid" || true
echo "Screenshot: $screenshot"
if $readme_picture; then
  cp "$screenshot" docs/screenshot.png
  echo "README picture replaced: docs/screenshot.png"
fi
