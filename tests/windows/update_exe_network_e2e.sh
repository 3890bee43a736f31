#!/usr/bin/env bash
# update.exe under Wine reaching the vendor site the ways Windows is set up for it:
#   update_exe_network_e2e.sh WINDOWS_ZIP CORVALITE_DEMO SANDBOX
# - a manual proxy from Internet Options, with its bypass list, and an automatic configuration
#   (PAC) script: a logging proxy on 127.0.0.1 sees the requests, and the site's host name is
#   one only that proxy resolves, so nothing but the proxy can have fetched the catalogue;
# - HTTPS with a local CA trusted in the prefix's own root store fills the tree; an untrusted,
#   an expired and a wrong-host certificate are refused (no request reaches the site).
set -euo pipefail
zip=$1 tool=$2 sandbox=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/wine-sample.sh
source "$root/scripts/wine-sample.sh"
helper_pids=()
finish() {
  for pid in "${helper_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  sample_stop
}
trap finish EXIT
fail() {
  echo "FAILED: $1" >&2
  tail -n 30 "$sandbox/server.log" "$sandbox/program.log" "$sandbox"/*.log >&2 || true
  exit 1
}
step() { echo "== $*"; }
helper() { python3 "$root/tests/windows/net_helper.py" "$@" & helper_pids+=($!); }

sample_prepare
site_port=$(cat "$sandbox/port")
program_dir="$prefix/drive_c/Program Files/Corvalite Update"
rm -rf "$program_dir" "$sandbox/unzipped"
unzip -q "$zip" -d "$sandbox/unzipped"
mv "$sandbox/unzipped/$(basename "$zip" .zip)" "$program_dir"
program="$program_dir/update.exe"

update='HKCU\Software\Zelmarock\Update'
internet='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
bases() {
  wine_in reg add "$update" /v CatalogueBase /t REG_SZ /d "$1" /f >/dev/null
  wine_in reg add "$update" /v DownloadBase /t REG_SZ /d "$1" /f >/dev/null
}
# Internet Options writes the values and the binary record WinHTTP reads: version, counter,
# flags (1 direct, 2 proxy, 4 script), then the proxy, the bypass list and the script address,
# each as a length and its bytes.
internet_options() {  # FLAGS PROXY BYPASS SCRIPT
  local enable=0; [ $(($1 & 2)) -ne 0 ] && enable=1
  wine_in reg add "$internet" /v ProxyEnable /t REG_DWORD /d $enable /f >/dev/null
  wine_in reg add "$internet" /v ProxyServer /t REG_SZ /d "$2" /f >/dev/null
  wine_in reg add "$internet" /v ProxyOverride /t REG_SZ /d "$3" /f >/dev/null
  if [ -n "$4" ]; then
    wine_in reg add "$internet" /v AutoConfigURL /t REG_SZ /d "$4" /f >/dev/null
  else
    wine_in reg delete "$internet" /v AutoConfigURL /f >/dev/null 2>&1 || true
  fi
  local record
  record=$(python3 -c '
import struct, sys
flags, proxy, bypass, script = int(sys.argv[1]), *[a.encode() for a in sys.argv[2:]]
data = struct.pack("<III", 0x46, 1, flags)
for text in (proxy, bypass, script):
    data += struct.pack("<I", len(text)) + text
data += bytes(32)
print(data.hex())' "$@")
  wine_in reg add "$internet\Connections" /v DefaultConnectionSettings /t REG_BINARY \
    /d "$record" /f >/dev/null
}

run_program() {  # start, wait until the condition holds (or the bound passes), close
  : >"$sandbox/server.log.mark"
  sample_start_program
  wait_for 1200 window_shown || fail "the window did not appear"
  local ok=0
  wait_for "$1" "${@:2}" && ok=1
  # A refused certificate leaves its report open; WM_CLOSE to every window, then the end.
  wine_in taskkill /im update.exe >/dev/null 2>&1 || true
  program_gone() { ! kill -0 "$program_pid" 2>/dev/null; }
  wait_for 100 program_gone || wine_in taskkill /f /im update.exe >/dev/null 2>&1 || true
  wait "$program_pid" 2>/dev/null || true
  program_pid=""
  return $((1 - ok))
}
site_served() { grep -q "GET /download/utils/list_exe.php" "$sandbox/server.log"; }
proxied() { grep -q "GET http://$name:$site_port/download/utils/list_exe.php" "$sandbox/proxy.log"; }
reset_logs() { : >"$sandbox/server.log"; : >"$sandbox/proxy.log"; : >"$sandbox/tls.log"; }

name=vendor.corvalite.test  # resolved by the logging proxy alone
helper proxy "$sandbox/proxy-port" "$sandbox/proxy.log" "$name" "$site_port"
wait_for 100 test -s "$sandbox/proxy-port" || fail "the logging proxy did not start"
proxy="127.0.0.1:$(cat "$sandbox/proxy-port")"
bases "http://$name:$site_port"

step "manual proxy: the catalogue through it"
reset_logs
internet_options 3 "$proxy" "bypass.corvalite.test;<local>" ""
run_program 900 proxied || fail "the proxy did not carry the catalogue"
site_served || fail "the site did not see the proxied request"

step "manual proxy with the site's host in its bypass list: reached directly (and unknown)"
reset_logs
internet_options 3 "$proxy" "*.corvalite.test;<local>" ""
run_program 150 proxied && fail "a bypassed host went through the proxy"
grep -q "$name" "$sandbox/proxy.log" && fail "the proxy saw the bypassed host"

step "automatic configuration script: the catalogue through the proxy it names"
reset_logs
internet_options 5 "" "" "http://$proxy/proxy.pac"
run_program 900 proxied || fail "the PAC script's proxy did not carry the catalogue"
grep -q "GET /proxy.pac" "$sandbox/proxy.log" || fail "the PAC script was never fetched"

internet_options 1 "" "" ""

step "HTTPS: certificates"
certs=$sandbox/certs
mkdir -p "$certs"
(
  cd "$certs"
  quiet() { "$@" >/dev/null 2>&1; }
  quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 \
    -subj "/CN=Corvalite Test Root" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign
  quiet openssl req -newkey rsa:2048 -nodes -keyout site.key -out site.csr -subj "/CN=127.0.0.1"
  printf 'subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' >good.ext
  printf 'subjectAltName=DNS:elsewhere.corvalite.test\nextendedKeyUsage=serverAuth\n' >wronghost.ext
  # The wrong host's certificate names the other host in its subject too: Qt also accepts a
  # matching common name beside non-matching alternative names.
  quiet openssl req -newkey rsa:2048 -nodes -keyout wronghost.key -out wronghost.csr \
    -subj "/CN=elsewhere.corvalite.test"
  for kind in good wronghost; do
    request=site.csr; [ $kind = wronghost ] && request=wronghost.csr
    quiet openssl x509 -req -in $request -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
      -extfile $kind.ext -out $kind.pem
  done
  # Expired: signed by the trusted root, valid only in 2020.
  mkdir -p ca && : >ca/index.txt && echo 01 >ca/serial
  printf '[ca]\ndefault_ca=c\n[c]\ndir=ca\ndatabase=ca/index.txt\nnew_certs_dir=ca\nserial=ca/serial\ndefault_md=sha256\npolicy=p\nunique_subject=no\n[p]\ncommonName=supplied\n' >ca.cnf
  quiet openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in site.csr -out expired.pem \
    -startdate 20200101000000Z -enddate 20200201000000Z -extfile good.ext -notext
  # Untrusted: right name and dates, but its own root.
  quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout untrusted.key -out untrusted.pem -days 30 \
    -subj "/CN=127.0.0.1" -addext subjectAltName=IP:127.0.0.1
  cp site.key good.key; cp site.key expired.key
) || fail "the test certificates could not be made"
for kind in good wronghost expired untrusted; do
  [ -s "$certs/$kind.pem" ] || fail "no $kind certificate"
done

# The root into the prefix's own store, as the sample publisher's CA is.
openssl x509 -in "$certs/ca.pem" -outform DER -out "$certs/ca.der"
sample_trust_root "$certs/ca.der" || fail "the root was not imported"

tls_port() { cat "$sandbox/tls-$1-port"; }
for kind in good wronghost expired untrusted; do
  helper tls "$sandbox/tls-$kind-port" "$certs/$kind.pem" "$certs/$kind.key" "$site_port" "$sandbox/tls.log"
  wait_for 100 test -s "$sandbox/tls-$kind-port" || fail "the $kind TLS server did not start"
done

step "HTTPS with the trusted root: the tree fills"
reset_logs
bases "https://127.0.0.1:$(tls_port good)"
run_program 900 site_served || fail "the catalogue was not fetched over HTTPS"
# A spare connection the run did not need closes without a request when the program ends;
# the tree filling through this server shows the certificate was taken, so only a refused
# handshake counts here.
grep refused "$sandbox/tls.log" | grep -qv "closed without a request" &&
  fail "the trusted certificate was refused"

for kind in untrusted expired wronghost; do
  step "HTTPS with a certificate that is $kind: refused"
  reset_logs
  bases "https://127.0.0.1:$(tls_port $kind)"
  handshake_refused() { grep -q refused "$sandbox/tls.log"; }
  run_program 600 handshake_refused || fail "no handshake was refused for the $kind certificate"
  site_served && fail "a request passed the $kind certificate"
  grep refused "$sandbox/tls.log" | head -n1
done
echo "PASSED"
