#!/usr/bin/env bash
# update.exe under Wine against the sample vendor site, driven from outside as a user would:
#   update_exe_e2e.sh WINDOWS_ZIP CORVALITE_DEMO PRODUCT_WINDOWS_EXE SANDBOX
# The released ZIP is unpacked into a fresh prefix as a user would unpack it, so the program
# starts with nothing but what the ZIP holds, and its own folder (and the default download
# folder in it) is a Windows folder. Checks: online and the catalogue fetched;
# a missing module downloaded and moved into the server's modules folder by the shell (which
# needs the tree filled and a row selected); the debugger listener refused while the editor's
# hidden instance window exists; with the sample publisher's pin taken from the machine policy,
# the next module refused and removed; the settings in the real registry after WM_CLOSE;
# from the console, --list, --install, a module replaced and its copy kept in the store,
# --restore there and back (refused while the editor runs), and a replace killed before and
# after placing finished or undone by the next start; two copies installing one utility at
# once, the second refused without touching the first's download.
# As a user outside ASCII: the prefix's user is "josé", the editor lives below a folder
# with letters outside the code page, the program's folder is read-only (a standard user
# below C:\Program Files, so the lists go to the user's local application data), and the
# download folder has Latin-1 and CJK letters; it must read back unchanged at close.
set -euo pipefail
zip=$1 tool=$2 product_windows=$3 sandbox=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/wine-sample.sh
source "$root/scripts/wine-sample.sh"
helper_pid=""
program_dir="$prefix/drive_c/Program Files/Corvalite Update"
finish() {
  if [ -n "$helper_pid" ]; then kill "$helper_pid" 2>/dev/null || true; fi
  chattr -i "$program_dir" 2>/dev/null || true  # so the next run can clear the sandbox
  sample_stop
}
trap finish EXIT
fail() {
  echo "FAILED: $1" >&2
  import -display "$DISPLAY" -window root "$sandbox/failure.png" 2>/dev/null &&
    echo "screen at failure: $sandbox/failure.png" >&2
  tail -n 30 "$sandbox/server.log" "$sandbox/program.log" >&2 || true
  exit 1
}
step() { echo "== $*"; }

export USER=josé  # wineboot names the prefix's user after it
sample_prepare
# The editor below a folder no code page holds, the download folder likewise; only a UTF-16
# .reg file carries such text into the registry ("wine reg add" passes the code page).
editor_folder='Programme Łódź 下载'
download_dir='C:\Downloads\Größe Ünïcode 下载'
mv "$install_dir" "$prefix/drive_c/$editor_folder"
mkdir -p "$prefix/drive_c/Downloads/Größe Ünïcode 下载"
reg_text() { printf '%s' "$1" | sed 's/\\/\\\\/g'; }
{
  printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Zelmarock\\Update]\r\n"DownloadDir"="%s"\r\n\r\n' \
    "$(reg_text "$download_dir")"
  printf '[HKEY_CURRENT_USER\\Software\\Zelmarock\\modules]\r\n"PHP"="%s"\r\n' \
    "$(reg_text "C:\\$editor_folder\\Corvalite Editor\\CorvaliteEditor.exe")"
} | iconv -f UTF-8 -t UTF-16 >"$sandbox/unicode.reg"
wine_in regedit /S "$(winepath_of "$sandbox/unicode.reg")" || fail "the .reg file was not imported"
rm -rf "$program_dir" "$sandbox/unzipped"
unzip -q "$zip" -d "$sandbox/unzipped"
mv "$sandbox/unzipped/$(basename "$zip" .zip)" "$program_dir"
# Not writable, as C:\Program Files is for a standard user; immutable, since the mode bits
# do not stop root, which Wine may run as here.
chattr +i "$program_dir" 2>/dev/null || chmod a-w "$program_dir"
program="$program_dir/update.exe"
user_dir=$(ls -d "$prefix/drive_c/users/"*/ | grep -v -e /Public/ -e /root/ -e "/$(id -un)/" || true)
[ "$(basename "$user_dir")" = "josé" ] || fail "the prefix's user is not josé: $user_dir"

step "start: online, catalogue fetched"
sample_start_program
wait_for 1200 window_shown || fail "the window did not appear"
wait_for 600 catalogue_fetched || fail "the catalogue was not fetched (offline?)"
grep -q "^HEAD /" "$sandbox/server.log" || fail "no connection check reached the server"
win=$(window_id)
lists="$prefix/drive_c/users/josé/AppData/Local/Zelmarock/Update"
[ -d "$lists" ] || fail "the lists did not go to the user's local application data ($lists)"
ls "$prefix/drive_c/users"
[ "$(ls "$prefix/drive_c/users" | grep -c 'jos')" = 1 ] || fail "a second, garbled user folder appeared"

# Rows at the window's fixed layout (client coordinates): the seventh row is "Modules".
row_y() { echo $((81 + 19 * $1)); }
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; }
download_and_install() { click 347 26; }
served() { grep -q "GET $1" "$sandbox/server.log"; }

step "a missing module, installed through the shell"
modules="$(wine_user_folder)/Zelmarock/modules"
[ ! -e "$modules/mod_deflate.dll" ] || fail "the sample already has mod_deflate.dll"
# The tree is built right after the last list; once two pictures agree it is on the screen.
sample_screenshot "$sandbox/filled.png" || fail "no picture of the filled tree"
# Select "Modules", open it, take its first entry.
click 60 "$(row_y 5)"
xdotool key --window "$win" Right Down
download_and_install
wait_for 300 served /download/utils/mod_deflate.dll || fail "the module was not downloaded"
wait_for 300 test -f "$modules/mod_deflate.dll" || fail "the module did not reach $modules"
[ -z "$(ls -A "$prefix/drive_c/Downloads/Größe Ünïcode 下载")" ] ||
  fail "the download was copied, not moved"

step "the debugger listener refused while the editor runs"
(cd "$(dirname "$product_windows")" && exec "$root/scripts/wine-run.sh" "$prefix" "$product_windows") \
  >"$sandbox/helper.log" 2>&1 &
helper_pid=$!
# Its windows are never shown, so X never hears of them: wait until Wine runs the helper's
# own code (its command line becomes the program's path); it makes the windows first thing.
helper_running() { ps -eo args | grep -q '^[^ ]*product_windows\.exe'; }
wait_for 300 helper_running || fail "the editor's stand-in did not start"
# The refresh after the install has ended once the picture stands still again.
sample_screenshot "$sandbox/installed.png" || fail "no picture after the install"
click 60 "$(row_y 1)"
download_and_install
dialog_id() { xwininfo -root -tree 2>/dev/null | grep -F "\"$1\": (\"update.exe\"" | awk '{print $1}'; }
dialog_shown() { [ -n "$(dialog_id "$1")" ]; }
answer() { xdotool key --window "$(dialog_id "$1")" Return; }
# The listener is up to date, so the program first asks; Yes goes on to the running check.
wait_for 300 dialog_shown Confirm || fail "no question about the up-to-date listener"
answer Confirm
wait_for 300 dialog_shown Information || fail "no notice that the editor is running"
served /download/DbgListener.exe && fail "the listener was downloaded while the editor ran"
answer Information
wait_for 100 bash -c "! xwininfo -root -tree | grep -qF '\"Information\": (\"update.exe\"'" ||
  fail "the notice did not close"

step "the publisher's pin taken away: the next module refused and removed"
# The machine's list is read at every check, so no restart is needed.
sample_pin_publishers || fail "the pin could not be taken away"
click 60 "$(row_y 5)"
xdotool key --window "$win" Right Down Down
download_and_install
wait_for 300 dialog_shown Error || fail "no refusal of a module signed by an unpinned publisher"
served /download/utils/mod_headers.dll || fail "the refused module was never downloaded"
[ ! -e "$modules/mod_headers.dll" ] || fail "the unpinned module was placed in $modules"
[ -z "$(ls -A "$prefix/drive_c/Downloads/Größe Ünïcode 下载")" ] ||
  fail "the refused module was left in the download folder"
answer Error
wait_for 100 bash -c "! xwininfo -root -tree | grep -qF '\"Error\": (\"update.exe\"'" ||
  fail "the refusal did not close"

step "close (WM_CLOSE): settings in the registry"
sample_close_program
settings=$(wine_in reg query 'HKCU\Software\Zelmarock\Update')
echo "$settings" | tr -d '\r' | grep -qE 'AutoUpdate +REG_DWORD +0x1$' || fail "AutoUpdate was not kept"
# "reg query" prints in the code page; the exported UTF-16 file holds the text itself.
rm -f "$sandbox/export.reg"
wine_in reg export 'HKCU\Software\Zelmarock\Update' "$(winepath_of "$sandbox/export.reg")" /y >/dev/null
stored=$(iconv -f UTF-16 -t UTF-8 "$sandbox/export.reg" | tr -d '\r' | grep '^"DownloadDir"=')
echo "$stored"
[ "$stored" = "\"DownloadDir\"=\"$(reg_text "$download_dir")\"" ] ||
  fail "DownloadDir did not read back identical: $stored"
step "without the window: update.exe --list and --install from a console"
# A window program writes nowhere unless it attaches to its starter's console or is given
# handles; both ways must reach the caller. The pin is still away, so an install is refused.
wine_in "$program" --list >"$sandbox/list.txt" 2>"$sandbox/list.err" ||
  fail "--list failed: $(cat "$sandbox/list.err")"
tr -d '\r' <"$sandbox/list.txt" | grep -qP '^mod_deflate\.dll\t.*mod_deflate\.dll\t.*\tOK$' ||
  fail "--list does not show the installed module: $(cat "$sandbox/list.txt")"
[ "$(grep -c . "$sandbox/list.txt")" -gt 10 ] || fail "--list printed too few rows"
set +e
wine_in "$program" --install mod_headers.dll >/dev/null 2>"$sandbox/install.err"
status=$?
set -e
[ "$status" = 4 ] || fail "a refused install ended with $status, not 4"
[ "$(grep -c '^update: mod_headers.dll: ' "$sandbox/install.err")" = 1 ] ||
  fail "the refusal is not one line naming the component: $(cat "$sandbox/install.err")"
[ ! -e "$modules/mod_headers.dll" ] || fail "the refused module was placed"
wine_in cmd /c "$(winepath_of "$program")" --version | tr -d '\r' | grep -qx 'update [0-9.]*' ||
  fail "--version did not reach the console"

step "without the window: the store of replaced files, --restore and the journal"
sample_pin_publishers "$publisher_key" || fail "the pin could not be put back"
store="$lists/replaced"
sha() { sha256sum <"$1" | cut -d' ' -f1; }
rewrite="$modules/mod_rewrite.dll"
old_rewrite=$(sha "$rewrite")
new_rewrite=$(sha "$sandbox/site/download/utils/mod_rewrite.dll")
[ "$old_rewrite" != "$new_rewrite" ] || fail "the sample's mod_rewrite.dll is the one served"
wine_in "$program" --install mod_rewrite.dll >/dev/null 2>"$sandbox/replace.err" ||
  fail "--install over mod_rewrite.dll failed: $(cat "$sandbox/replace.err")"
[ "$(sha "$rewrite")" = "$new_rewrite" ] || fail "the served mod_rewrite.dll is not in place"
index=$(grep -l 'mod_rewrite\.dll$' "$store"/*/index 2>/dev/null || true)
[ "$(echo "$index" | grep -c .)" = 1 ] ||
  fail "the store below the local application data does not hold one copy: $(ls -R "$store" 2>&1)"
slot=$(dirname "$index")
[ "$(sha "$slot/previous")" = "$old_rewrite" ] || fail "the kept copy is not the replaced module"
[ ! -e "$store/journal" ] || fail "the journal outlived the install"
restore() {
  wine_in "$program" --restore "$@" >/dev/null 2>"$sandbox/restore.err" ||
    fail "--restore $* failed: $(cat "$sandbox/restore.err")"
}
restore mod_rewrite.dll
[ "$(sha "$rewrite")" = "$old_rewrite" ] || fail "--restore did not put the old module back"
[ "$(sha "$slot/previous")" = "$new_rewrite" ] || fail "--restore did not keep the module it replaced"
restore mod_rewrite.dll
[ "$(sha "$rewrite")" = "$new_rewrite" ] || fail "a second --restore did not undo the first"
set +e
wine_in "$program" --restore mod_ssl.dll >/dev/null 2>"$sandbox/restore.err"
status=$?
set -e
[ "$status" = 1 ] || fail "--restore without a kept copy ended with $status, not 1"
grep -q '^update: mod_ssl.dll: no previous copy' "$sandbox/restore.err" ||
  fail "no line saying mod_ssl.dll has no kept copy: $(cat "$sandbox/restore.err")"

# A replace killed half way leaves the journal and the store as they stood at that step; the
# next start (here --list) finishes or undoes it before it reads the folder. The journal is
# written as the program writes it, for the module beside mod_rewrite.dll.
target_of_rewrite=$(sed -n 's/^target=//p' "$index" | tr -d '\r')
ssl_target="${target_of_rewrite%mod_rewrite.dll}mod_ssl.dll"
store_win="${target_of_rewrite%%AppData\\*}AppData\\Local\\Zelmarock\\Update\\replaced\\"
slot_of() {  # the slot folder's name: FNV-1a of the target's UTF-8 bytes
  python3 -c 'import sys
h = 14695981039346656037
for b in sys.argv[1].encode(): h = ((h ^ b) * 1099511628211) % 2**64
print("%016x" % h)' "$1"
}
[ "$(slot_of "$target_of_rewrite")" = "$(basename "$slot")" ] ||
  fail "the slot of $target_of_rewrite is not named as this script names it"
ssl="$modules/mod_ssl.dll"
ssl_slot="$store/$(slot_of "$ssl_target")"
old_ssl=$(sha "$ssl")
new_ssl=$(sha "$sandbox/site/download/utils/mod_ssl.dll")
[ "$old_ssl" != "$new_ssl" ] || fail "the sample's mod_ssl.dll is the one served"
killed_at() {  # PHASE: the journal as the program leaves it before and after the placing
  printf 'at=2000\nphase=%s\nslot=%s%s\\\ntarget=%s\nversion=1.0.0.0\n' "$1" "$store_win" \
    "$(basename "$ssl_slot")" "$ssl_target" >"$store/journal"
}
after_list() {
  wine_in "$program" --list >/dev/null 2>"$sandbox/replay.err" ||
    fail "--list after a stop failed: $(cat "$sandbox/replay.err")"
  [ ! -e "$store/journal" ] || fail "the journal is still there after $1"
  [ "$(find "$modules" -maxdepth 1 -name 'mod_ssl.dll*' | wc -l)" = 1 ] ||
    fail "not exactly one mod_ssl.dll after $1: $(ls "$modules")"
}
# Killed once the old module was kept, while the shell's move had taken it away: put back.
mkdir -p "$ssl_slot"
cp "$ssl" "$ssl_slot/next"
head -c 100 "$ssl" >"$ssl_slot/next.part"
rm "$ssl"
killed_at keeping
after_list "a stop after the old module was kept"
[ "$(sha "$ssl")" = "$old_ssl" ] || fail "the module kept before the stop was not put back"
[ ! -e "$ssl_slot" ] || fail "the undone replace left its slot: $(ls "$ssl_slot")"
# Killed once the new module was placed: the replace is finished and the old one kept.
mkdir -p "$ssl_slot"
cp "$ssl" "$ssl_slot/next"
cp "$sandbox/site/download/utils/mod_ssl.dll" "$ssl"
killed_at keeping
after_list "a stop after the new module was placed"
[ "$(sha "$ssl")" = "$new_ssl" ] || fail "the placed module did not stay"
[ "$(sha "$ssl_slot/previous")" = "$old_ssl" ] || fail "the replaced module was not kept"
grep -qx 'replaced=2000' "$ssl_slot/index" || fail "the kept module's index is not the journal's"
restore mod_ssl.dll
[ "$(sha "$ssl")" = "$old_ssl" ] || fail "the module the finished replace kept cannot be restored"

# The editor's stand-in still runs: a kept listener is not put back, as in the window.
listener="$prefix/drive_c/$editor_folder/Corvalite Editor/DbgListener.exe"
listener_target="C:\\$editor_folder\\Corvalite Editor\\DbgListener.exe"
listener_slot="$store/$(slot_of "$listener_target")"
mkdir -p "$listener_slot"
printf 'an older listener' >"$listener_slot/previous"
printf 'replaced=1000\nsize=17\ntarget=%s\nversion=\n' "$listener_target" >"$listener_slot/index"
old_listener=$(sha "$listener")
set +e
wine_in "$program" --restore "Debugger listener" >/dev/null 2>"$sandbox/restore.err"
status=$?
set -e
[ "$status" = 5 ] || fail "--restore while the editor runs ended with $status, not 5"
[ "$(grep -c '^update: Debugger listener: ' "$sandbox/restore.err")" = 1 ] ||
  fail "the refusal is not one line naming the listener: $(cat "$sandbox/restore.err")"
[ "$(sha "$listener")" = "$old_listener" ] || fail "the listener was replaced while the editor ran"
step "two copies at once: the second leaves the first's download alone"
# The utility stays in flight, a byte at a time, until the gate file exists.
gate=$sandbox/gate
rm -f "$gate"
CORVALITE_SERVE_GATE="/download/utils/htdigest.exe=$gate" "$tool" serve "$sandbox/site" \
  --port-file "$sandbox/port-gated" >"$sandbox/gated.log" 2>&1 &
gated_pid=$!
wait_for 100 test -s "$sandbox/port-gated" || fail "the gated server did not start"
wine_in reg add 'HKCU\Software\Zelmarock\Update' /v DownloadBase /t REG_SZ \
  /d "http://127.0.0.1:$(cat "$sandbox/port-gated")" /f >/dev/null
wine_in "$program" --install htdigest.exe >/dev/null 2>"$sandbox/first.err" &
first=$!
wait_for 900 grep -q "GET /download/utils/htdigest.exe" "$sandbox/gated.log" ||
  fail "the first copy did not begin the download: $(cat "$sandbox/first.err")"
set +e
wine_in "$program" --install htdigest.exe >/dev/null 2>"$sandbox/second.err"
status=$?
set -e
touch "$gate"
[ "$status" = 3 ] || fail "the second copy ended with $status, not 3: $(cat "$sandbox/second.err")"
grep -q '^update: htdigest.exe: .*being downloaded by another window' "$sandbox/second.err" ||
  fail "the second copy did not say the file is being downloaded: $(cat "$sandbox/second.err")"
wait "$first" || fail "the first copy failed: $(cat "$sandbox/first.err")"
[ "$(grep -c 'GET /download/utils/htdigest.exe' "$sandbox/gated.log")" = 1 ] ||
  fail "the utility was requested more than once: $(cat "$sandbox/gated.log")"
placed=$(find "$prefix/drive_c/users" -name htdigest.exe -not -path '*/Downloads/*' | head -n1)
[ -n "$placed" ] || fail "the utility was not placed"
[ "$(sha "$placed")" = "$(sha "$sandbox/site/download/utils/htdigest.exe")" ] ||
  fail "the placed utility is not the one served"
kill "$gated_pid" 2>/dev/null || true
echo "PASSED"
