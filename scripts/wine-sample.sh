# Shared by scripts/run-windows.sh and the end-to-end test of update.exe: a private Wine prefix
# on its own Xvfb, the sample vendor site served from Linux on 127.0.0.1, the sample
# installation inside the prefix's drive_c, and the registry entries written through Wine's
# own registry; the site signed by a key of the sandbox, pinned in the prefix's machine policy.
# Source it with: tool (corvalite-demo), program (update.exe), sandbox set.
# Everything started here is stopped by sample_stop (the caller's EXIT trap).

root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
prefix=$sandbox/prefix
install_dir=$prefix/drive_c/Corvalite
title="Corvalite Product Update Assistant"
server_pid=""
program_pid=""

wine_in() { "$root/scripts/wine-run.sh" "$prefix" "$@"; }
# A Linux path as the prefix's programs see it (Wine maps / to drive Z).
winepath_of() { printf 'Z:%s' "$1" | tr / '\\'; }

source "$root/scripts/processes.sh"  # wait_for

sample_stop() {
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; fi
  wine_in --shutdown 2>/dev/null || true
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
}

# The prefix user's AppData folder, which wineboot also names in the registry's Shell Folders.
wine_user_folder() { ls -d "$prefix"/drive_c/users/*/AppData/Roaming 2>/dev/null | grep -v /Public/ | head -n1; }

# Machine-wide trust in the prefix, as an administrator sets it: a CA (DER) among the machine's
# roots where Wine keeps them (Root\Certificates\<SHA-1 of the DER, upper case>, its Blob the
# property record: id 0x20, 1, length, DER), and the publishers' key hashes as the policy value
# HKLM\SOFTWARE\Policies\Zelmarock\Update\TrustedPublishers (REG_MULTI_SZ). Each is read back.
#   sample_trust_root DER          sample_pin_publishers [HASH...] (none: the value is removed)
trust_reg() {  # OUT.reg --root DER | --pin HASH... | --unpin
  python3 - "$@" <<'PY'
import hashlib, struct, sys
out, args = sys.argv[1], sys.argv[2:]
hexed = lambda data: ",".join("%02x" % b for b in data)
text = "Windows Registry Editor Version 5.00\r\n"
if args[0] == "--root":
    der = open(args[1], "rb").read()
    text += ("\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\%s]\r\n"
             "\"Blob\"=hex:%s\r\n" % (hashlib.sha1(der).hexdigest().upper(),
                                     hexed(struct.pack("<III", 0x20, 1, len(der)) + der)))
else:
    value = "-" if args[0] == "--unpin" else \
        "hex(7):" + hexed("".join(h + "\0" for h in args[1:]).encode("utf-16-le") + b"\0\0")
    text += ("\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Zelmarock\\Update]\r\n"
             "\"TrustedPublishers\"=%s\r\n" % value)
open(out, "wb").write(b"\xff\xfe" + text.encode("utf-16-le"))
PY
}
sample_trust_root() {
  local thumbprint
  thumbprint=$(sha1sum <"$1" | cut -d' ' -f1 | tr a-f A-F)
  if ! trust_reg "$sandbox/root-$thumbprint.reg" --root "$1" ||
    ! wine_in regedit /S "$(winepath_of "$sandbox/root-$thumbprint.reg")" ||
    ! wine_in reg query "HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumbprint" \
      /v Blob >/dev/null; then
    echo "the root $1 did not reach the prefix's store" >&2
    return 1
  fi
}
sample_pin_publishers() {
  local policy='HKLM\SOFTWARE\Policies\Zelmarock\Update' shown hash
  if [ $# -eq 0 ]; then
    trust_reg "$sandbox/pins.reg" --unpin
  else
    trust_reg "$sandbox/pins.reg" --pin "$@"
  fi
  wine_in regedit /S "$(winepath_of "$sandbox/pins.reg")" || return 1
  shown=$(wine_in reg query "$policy" /v TrustedPublishers 2>/dev/null | tr -d '\r' || true)
  for hash in "$@"; do
    grep -q "REG_MULTI_SZ.*$hash" <<<"$shown" || { echo "the pin $hash is not in $policy: $shown" >&2; return 1; }
  done
  if [ $# -eq 0 ] && grep -q TrustedPublishers <<<"$shown"; then
    echo "$policy still pins: $shown" >&2
    return 1
  fi
}

sample_prepare() {
  rm -rf "$sandbox"
  mkdir -p "$sandbox"
  unset DISPLAY WAYLAND_DISPLAY  # the prefix's own Xvfb, never the user's screen
  wine_in --boot >"$sandbox/wineboot.log" 2>&1
  export DISPLAY
  DISPLAY=$(cat "$prefix/xvfb-display")
  # The screen's dots per inch as Display Settings sets them (LogPixels), when asked for.
  if [ -n "${CORVALITE_WINE_DPI:-}" ]; then
    wine_in reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$CORVALITE_WINE_DPI" /f >/dev/null
    wine_in reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
      /v LogPixels /t REG_DWORD /d "$CORVALITE_WINE_DPI" /f >/dev/null
    wine_in wineboot -r >/dev/null 2>&1 || true
  fi

  # The sample vendor signs its programs and libraries with a key made in the sandbox; the
  # prefix trusts its CA and pins its key machine-wide, as an administrator would.
  "$tool" site "$sandbox/site"
  "$tool" sign "$sandbox/site" "$sandbox/keys" >/dev/null
  publisher_key=$(cat "$sandbox/keys/publisher.spki-sha256")
  sample_trust_root "$sandbox/keys/root.der" || return 1
  sample_pin_publishers "$publisher_key" || return 1
  "$tool" serve "$sandbox/site" --port-file "$sandbox/port" >"$sandbox/server.log" 2>&1 &
  server_pid=$!
  wait_for 100 test -s "$sandbox/port" || { cat "$sandbox/server.log"; return 1; }
  base="http://127.0.0.1:$(cat "$sandbox/port")"

  # The products where a Windows setup puts them: the editor below C:\, the web server's
  # files in the user's real AppData folder.
  "$tool" install "$install_dir"
  local appdata
  appdata=$(wine_user_folder)
  [ -n "$appdata" ] || { echo "no AppData folder in $prefix" >&2; return 1; }
  cp -r "$install_dir/AppData/." "$appdata/"
  rm -rf "$install_dir/AppData"

  local update='HKCU\Software\Zelmarock\Update'
  wine_in reg add "$update" /v CatalogueBase /t REG_SZ /d "$base" /f >/dev/null
  wine_in reg add "$update" /v DownloadBase /t REG_SZ /d "$base" /f >/dev/null
  wine_in reg add "$update" /v DownloadDir /t REG_SZ /d 'C:\Corvalite\Downloads' /f >/dev/null
  wine_in reg add "$update" /v AutoUpdate /t REG_DWORD /d 1 /f >/dev/null
  wine_in reg add 'HKCU\Software\Zelmarock\modules' /v PHP /t REG_SZ \
    /d 'C:\Corvalite\Corvalite Editor\CorvaliteEditor.exe' /f >/dev/null
}

sample_start_program() {
  (cd "$(dirname "$program")" && exec "$root/scripts/wine-run.sh" "$prefix" "$program" "$@") \
    >"$sandbox/program.log" 2>&1 &
  program_pid=$!
}

catalogue_fetched() { grep -q "GET /download/utils/list_exe.php" "$sandbox/server.log"; }
window_id() { xwininfo -root -tree 2>/dev/null | grep -F "\"$title\"" | head -n1 | awk '{print $1}'; }
window_shown() { [ -n "$(window_id)" ]; }

# Other windows of the program (the download progress, a message) than the main window.
other_windows_shown() {
  xwininfo -root -tree 2>/dev/null | grep -F '("update.exe" "update.exe")' |
    grep -vF -e "\"$title\"" -e '"Default IME"' -e '(has no name)' | grep -q .
}

no_other_windows() { ! other_windows_shown; }

# The tree is built right after the last list arrives and the progress window has gone; the
# screen is captured (an overlapping window is part of what a user sees) until two agree,
# then cut to the main window.
sample_screenshot() {
  local out=$1 previous="" current geometry
  wait_for 300 no_other_windows || return 1
  for ((n = 0; n < 30; n++)); do
    sleep 0.5
    import -display "$DISPLAY" -window root "$sandbox/shot.png" 2>/dev/null || continue
    current=$(md5sum <"$sandbox/shot.png")
    [ "$current" = "$previous" ] && break
    previous=$current
  done
  geometry=$(xwininfo -id "$(window_id)" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
    /Width:/{w=$2} /Height:/{h=$2} END{print w "x" h "+" x "+" y}')
  [ -s "$sandbox/shot.png" ] && convert "$sandbox/shot.png" -crop "$geometry" +repage "$out"
}

# WM_CLOSE to the program's windows, as a logout or the close box would send.
sample_close_program() {
  wine_in taskkill /im update.exe >/dev/null 2>&1 || true
  wait "$program_pid" 2>/dev/null || true
  program_pid=""
}
