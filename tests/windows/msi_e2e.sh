#!/usr/bin/env bash
# The Windows Installer package under Wine, in a fresh prefix of its own:
#   msi_e2e.sh WINDOWS_ZIP SANDBOX [CORVALITE_DEMO]
# Packages the folder the released ZIP holds with scripts/build-msi.sh, signed by a key made
# here, twice: as the project's version with one more library (as if a later release dropped
# it) and as a newer version. Checks the tables with msiinfo, then as an administrator would:
# the older installs (files, all users' menu entry, uninstall entry); the newer replaces it
# (one entry, the dropped library gone); the older is then refused; removing the newer leaves
# no program file and no menu entry but the user's own settings. With CORVALITE_DEMO the prefix
# is the sample's (site served, signed and pinned) and the installed program fills its tree.
set -euo pipefail
zip=$1 sandbox=$2 tool=${3:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
program=""
# shellcheck source=scripts/wine-sample.sh
source "$root/scripts/wine-sample.sh"  # prefix, wine_in, winepath_of, the sample, sample_stop
trap sample_stop EXIT
fail() {
  echo "FAILED: $1" >&2
  tail -n 30 "$sandbox/server.log" "$sandbox/program.log" 2>/dev/null >&2 || true
  exit 1
}
step() { echo "== $*"; }

if [ -n "$tool" ]; then
  sample_prepare || fail "the sample could not be prepared"
else
  rm -rf "$sandbox"; mkdir -p "$sandbox"
  wine_in --boot >"$sandbox/wineboot.log" 2>&1
fi
mkdir -p "$sandbox/msi-keys"
unzip -q "$zip" -d "$sandbox/unzipped"
deployed="$sandbox/unzipped/$(basename "$zip" .zip)"
# Names outside the code page in the folder packaged and the packages' own path.
packages="$sandbox/Pakete Łódź 下载 📦"
old_dir="$packages/old"
mkdir -p "$packages"
cp -r "$deployed" "$old_dir"
cp "$deployed/libwinpthread-1.dll" "$old_dir/retired.dll"

version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
newer="${version%.*}.$((${version##*.} + 1))"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$sandbox/msi-keys/key.pem" -out "$sandbox/msi-keys/cert.pem" \
  -days 2 -subj "/O=Zelmarock/CN=Zelmarock Test Package Signing" \
  -addext "extendedKeyUsage=codeSigning" 2>/dev/null
sign=(--key "$sandbox/msi-keys/key.pem" --cert "$sandbox/msi-keys/cert.pem")
old_msi="$packages/old.msi" new_msi="$packages/new.msi"
bash "$root/scripts/build-msi.sh" --version "$version" "${sign[@]}" "$old_dir" "$old_msi"
bash "$root/scripts/build-msi.sh" --version "$newer" "${sign[@]}" "$deployed" "$new_msi"

step "signed, tables"
for msi in "$old_msi" "$new_msi"; do
  osslsigncode verify -CAfile "$sandbox/msi-keys/cert.pem" -in "$msi" >"$sandbox/verify.log" 2>&1 ||
    { cat "$sandbox/verify.log" >&2; fail "$msi: the signature does not verify"; }
done
# Rows of a table, without its three header lines and the CRs msiinfo ends lines with.
rows() { msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4; }
tables=$(msiinfo tables "$new_msi")
for t in File Component Shortcut Upgrade Property LaunchCondition Icon; do
  grep -qx "$t" <<<"$tables" || fail "no $t table"
done
# One File row per file of the folder, under its own name.
rows "$new_msi" File | cut -f3 | sed 's/.*|//' | sort >"$sandbox/file-names"
find "$deployed" -type f -printf '%f\n' | sort >"$sandbox/folder-names"
diff "$sandbox/folder-names" "$sandbox/file-names" || fail "the File table is not the deployed folder"
rows "$new_msi" Shortcut | grep -q $'^UpdateShortcut\tProgramMenuFolder\t.*\t\[INSTALLDIR\]update.exe\t' ||
  fail "no menu shortcut to update.exe"
property() { rows "$1" Property | awk -F'\t' -v p="$2" '$1 == p { print $2 }'; }
[ "$(property "$new_msi" ProductVersion)" = "$newer" ] || fail "ProductVersion is not $newer"
[ "$(property "$new_msi" Manufacturer)" = Zelmarock ] || fail "Manufacturer is not Zelmarock"
[ -n "$(property "$new_msi" ARPPRODUCTICON)" ] || fail "no ARPPRODUCTICON"
[ "$(property "$old_msi" UpgradeCode)" = "$(property "$new_msi" UpgradeCode)" ] || fail "the UpgradeCode changed"
[ "$(property "$old_msi" ProductCode)" != "$(property "$new_msi" ProductCode)" ] || fail "the ProductCode did not change"
upgrade_code=$(property "$new_msi" UpgradeCode)
rows "$new_msi" Upgrade | grep -q "^$upgrade_code.*WIX_DOWNGRADE_DETECTED" || fail "no downgrade row"
rows "$new_msi" LaunchCondition | grep -qx $'NOT WIX_DOWNGRADE_DETECTED\tA newer version of Corvalite Product Update Assistant is already installed.' ||
  fail "no downgrade refusal with its message"

program_dir="$prefix/drive_c/Program Files/Corvalite Update"
# ALLUSERS=1 puts ProgramMenuFolder in the all-users menu on Windows; Wine's msiexec puts it
# in the installing user's menu whatever ALLUSERS is, so the shortcut is looked for in both.
[ "$(property "$new_msi" ALLUSERS)" = 1 ] || fail "the package is not per machine (ALLUSERS)"
menus=("$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
       "$(wine_user_folder)/Microsoft/Windows/Start Menu/Programs")
shortcuts() { find "${menus[@]}" -name 'Corvalite Product Update Assistant.lnk' 2>/dev/null || true; }
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
msiexec() { wine_in msiexec "$@"; }
# The uninstall entries of our packages: their keys, one a line.
entries() {
  wine_in reg query "$uninstall" /s 2>/dev/null | tr -d '\r' | awk '
    /^HKEY_/ { n = split($0, part, "\\"); key = part[n] }
    $1 == "DisplayName" && $0 ~ /REG_SZ +Corvalite Product Update Assistant$/ { print key }'
}
entry_value() { wine_in reg query "$uninstall\\$1" /v "$2" 2>/dev/null | awk -v v="$2" '$1 == v { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' | tr -d '\r'; }

step "the older one installs"
msiexec /i "$(winepath_of "$old_msi")" /qn /l*v "$(winepath_of "$sandbox/install-old.log")" || fail "the install failed"
[ -f "$program_dir/update.exe" ] && [ -f "$program_dir/platforms/qwindows.dll" ] || fail "update.exe or its plugins are not installed"
[ -f "$program_dir/retired.dll" ] || fail "the older package's own library is not installed"
[ "$(shortcuts | wc -l)" = 1 ] || fail "no menu entry"
old_code=$(property "$old_msi" ProductCode)
[ "$(entries)" = "$old_code" ] || fail "the uninstall entry is not $old_code: $(entries)"
[ "$(entry_value "$old_code" DisplayVersion)" = "$version" ] || fail "DisplayVersion is not $version"
[ "$(entry_value "$old_code" Publisher)" = Zelmarock ] || fail "Publisher is not Zelmarock"
settings='HKCU\Software\Zelmarock\Update'
wine_in reg add "$settings" /v KeptAcrossUninstall /t REG_SZ /d 'C:\Kept' /f >/dev/null

step "the newer one replaces it"
msiexec /i "$(winepath_of "$new_msi")" /qn /l*v "$(winepath_of "$sandbox/install-new.log")" || fail "the upgrade failed"
new_code=$(property "$new_msi" ProductCode)
[ "$(entries)" = "$new_code" ] || fail "not one uninstall entry of the newer package: $(entries)"
[ "$(entry_value "$new_code" DisplayVersion)" = "$newer" ] || fail "DisplayVersion is not $newer"
[ -f "$program_dir/update.exe" ] || fail "update.exe is gone after the upgrade"
[ ! -e "$program_dir/retired.dll" ] || fail "the older version's library was left behind"
diff -r "$deployed" "$program_dir" || fail "the installed folder is not the deployed folder"

step "the older one is refused"
if msiexec /i "$(winepath_of "$old_msi")" /qn /l*v "$(winepath_of "$sandbox/downgrade.log")"; then
  fail "the downgrade was not refused"
fi
# Wine's quiet install logs no message text; the refusal must come from the launch condition.
grep -aq "LaunchConditions. Return value [^1]" "$sandbox/downgrade.log" || fail "the launch condition did not refuse it"
[ "$(entries)" = "$new_code" ] || fail "the refused downgrade changed the uninstall entries: $(entries)"
[ -f "$program_dir/update.exe" ] || fail "the refused downgrade removed update.exe"

if [ -n "$tool" ]; then
  step "the installed program fills its tree from the sample site"
  program="$program_dir/update.exe"
  sample_start_program
  wait_for 1200 window_shown || fail "the installed program's window did not appear"
  wait_for 600 catalogue_fetched || fail "the catalogue was not fetched"
  sample_screenshot "$sandbox/filled.png" || fail "no picture of the filled tree"
  for list in php/list_dbg.php php/list.php php/versions.php utils/list_mod.php utils/list_exe.php; do
    grep -q "^GET /download/$list" "$sandbox/server.log" || fail "the tree was filled without $list"
  done
  sample_close_program
fi

step "uninstall"
msiexec /x "$(winepath_of "$new_msi")" /qn || fail "the uninstall failed"
left=$(find "$program_dir" 2>/dev/null || true)
[ -z "$left" ] || fail "left after uninstall: $left"
[ -z "$(shortcuts)" ] || fail "the menu entry is left: $(shortcuts)"
[ -z "$(entries)" ] || fail "an uninstall entry is left: $(entries)"
wine_in reg query "$settings" /v KeptAcrossUninstall 2>/dev/null | grep -q 'C:\\Kept' ||
  fail "the user's settings were removed"
echo "msi_e2e: passed"
