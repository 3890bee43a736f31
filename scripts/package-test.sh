#!/usr/bin/env bash
# Builds the Debian package from a built preset, checks it as Debian's tools do, unpacks it into
# a temporary root, makes the program's folder unwritable, and runs a first run from there on
# the sample vendor site: the catalogue must come through the user's cache, the tree must fill,
# and a download with no download folder set must land in the user's download folder (and stay
# there, which only a file signed by a pinned publisher does).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$PWD/build/${1:-default}
tool=$build/demo/corvalite-demo

cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/corvalite-update_*.deb | head -n1)
echo "== package: $deb"
lintian --fail-on error "$deb"

work=$(mktemp -d)
source scripts/processes.sh
cleanup() {
  stop_started
  if [ -e "$work/xdg/corvalite-update" ] && [ ! -O "$work/xdg/corvalite-update" ]; then
    sudo rm -rf "$work/xdg/corvalite-update"
  fi
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
fail() {
  import -window root "$build/package-test-failure.png" 2>/dev/null || true
  echo "package-test: $1" >&2
  if [ -n "${DISPLAY:-}" ]; then xwininfo -root -tree 2>&1 | grep -v '(has no name)' | head -n 30 >&2; fi
  pgrep -a -f "$root/usr" >&2 || echo "(the program is not running)" >&2
  tail -n 20 "$work/server.log" "$work/program.log" >&2 || true
  exit 1
}

root=$work/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root"/usr/share/applications/corvalite-update.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
program=$root/usr/bin/corvalite-update
chmod -R a-w "$root/usr/lib/corvalite-update"

# Root may write anywhere, so as root the program runs as nobody, for whom the folder is shut.
as_user=()
if [ "$(id -u)" -eq 0 ]; then as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups); fi
if "${as_user[@]}" test -w "$root/usr/lib/corvalite-update"; then
  fail "the program folder is still writable"
fi

home=$work/home
mkdir -p "$home/.config" "$home/runtime"
# The site signed by a key made here, pinned in a machine-wide list of this test's own that
# nobody may change but root, and everybody (the program runs as nobody) may read.
"$tool" site "$work/site"
"$tool" sign "$work/site" "$work/keys"
"$tool" trust "$work/xdg" "$work/keys" 2>/dev/null
if [ "$(id -u)" -ne 0 ]; then sudo chown -R root:root "$work/xdg/corvalite-update"; fi
"${as_user[@]}" test -r "$work/xdg/corvalite-update/trusted-publishers" ||
  fail "the program's user cannot read the trust list"
if "${as_user[@]}" test -w "$work/xdg/corvalite-update/trusted-publishers"; then
  fail "the program's user could change the trust list"
fi
"$tool" install "$work/install"
"$tool" serve "$work/site" --port-file "$work/port" >"$work/server.log" 2>&1 &
pids+=($!)
wait_for 100 test -s "$work/port" || fail "the sample server did not start"
hive=$home/.config/corvalite-update/HKCU.reg
"$tool" hive "$hive" "$work/install" "http://127.0.0.1:$(cat "$work/port")"
# No download folder set: downloads go to the default one.
sed -i 's|^"DownloadDir"=.*|"DownloadDir"=""|' "$hive"
grep -q '^"DownloadDir"=""' "$hive" || fail "the sample hive has no download folder to empty"
# "Download" opens the download folder once it has done with the file, after a refusal only
# once its message was answered: this opener notes that it was asked.
mkdir -p "$work/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >>"%s/opened"\n' "$home" >"$work/bin/xdg-open"
chmod 755 "$work/bin" "$work/bin/xdg-open"
chmod -R a+rwX "$home" "$work/install"
chmod 700 "$home/runtime"
[ "$(id -u)" -ne 0 ] || chown -R 65534:65534 "$home"

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
wait_for 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 100 window_manager_ready || fail "openbox did not start"

"${as_user[@]}" env -i DISPLAY="$DISPLAY" HOME="$home" XDG_RUNTIME_DIR="$home/runtime" \
  XDG_CONFIG_DIRS="$work/xdg" PATH="$work/bin:/usr/bin:/bin" LANG=C.UTF-8 "$program" >"$work/program.log" 2>&1 &
pids+=($!)

title="Corvalite Product Update Assistant"
window_id() { xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n1; }
served() { grep -q "GET $1" "$work/server.log"; }
wait_for 600 served /download/utils/list_exe.php || fail "the catalogue was not fetched"
window_shown() { [ -n "$(window_id)" ]; }
wait_for 300 window_shown || fail "the window did not appear"
# The lists are read and removed right before the tree is built.
cache=$home/.cache/corvalite-update
cache_emptied() { [ -d "$cache" ] && [ -z "$(ls -A "$cache")" ]; }
wait_for 300 cache_emptied || fail "catalogue lists not read from $cache"

# The first row of a filled tree is the editor with its setup: click it, then "Download"
# (positions in the window as it is laid out).
window=$(window_id)
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool mousemove --window "$window" --sync 80 80 click 1
xdotool mousemove --window "$window" --sync 202 25 click 1
downloaded=$home/Downloads/Corvalite/php_editor_php5.exe
wait_for 300 test -s "$home/opened" || fail "the download did not end by opening its folder"
grep -qF "Downloads/Corvalite" "$home/opened" || fail "another folder was opened: $(cat "$home/opened")"
[ -s "$downloaded" ] || fail "no download kept in $home/Downloads/Corvalite (refused?)"
cmp -s "$downloaded" "$work/site/download/php_editor_php5.exe" || fail "the download differs"
echo "== package: installed program filled its tree from a read-only folder"
