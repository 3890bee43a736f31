#!/usr/bin/env bash
# The link benchmark: the program starts and presses "Update info" against Debian's nginx
# across an emulated link, at several round-trip times, over HTTP and HTTPS.
#
#   bash bench/link/run.sh <bin folder> <demo tool> <out.md> [rounds]
#
# Two network namespaces of its own, joined by one wire (bench_link_wire, two TUN devices)
# per link setting, each with its own /30 pair of addresses that exist only inside these
# namespaces; nginx serves the sample vendor site on the far side over HTTP/1.1 and, with a
# CA made for this run, HTTPS with HTTP/2 on 443 and HTTPS with HTTP/1.1 only on 8443; the
# program runs on the near side. LINK_SCHEMES picks the schemes (default: all three) and
# LINK_SETTINGS the links (name:one-way ms:loss %[:bytes/s]). Every setting runs once per
# round, the 0 ms link in the same round as its reference. A link with a bandwidth (the
# default has 4 KiB/s at 100 ms) runs over HTTP only, the normal start in turns with one that
# asks for the lists one at a time (CORVALITE_BENCH_OVERLAP=1), against the floor of the
# lists' bytes at that bandwidth plus the round trips. After the rounds a long session on the
# 0 ms link over HTTP presses "Update info" 1000 times and notes the resident size after 10,
# 100 and 1000 presses (SOAK=0 skips it). Everything it made is removed when it ends. It
# needs root; without it it prints why and skips.
set -euo pipefail
bin=$1 demo=$2 out=$3 rounds=${4:-5}
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
skip() { echo "link benchmark skipped: $*" >&2; printf 'skipped: %s\n' "$*" >"$out"; exit 0; }

nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || skip "nginx is not installed (apt-get install nginx)"
[ "$(id -u)" -eq 0 ] || skip "it needs root to create network namespaces"
[ -c /dev/net/tun ] || skip "there is no /dev/net/tun"

near=cvlink$$n far=cvlink$$f
work=$(mktemp -d)
wires=()
nginx_pid=
cleanup() {
  set +e
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  for pid in "${wires[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  ip netns del "$near" 2>/dev/null
  ip netns del "$far" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
ip netns add "$near" 2>/dev/null || skip "cannot create network namespaces here"
ip netns add "$far" || skip "cannot create network namespaces here"
ip -n "$near" link set lo up
ip -n "$far" link set lo up

# Settings: name, one-way delay in ms, loss in %, bandwidth in bytes per second (0 or none:
# unlimited).
settings=(${LINK_SETTINGS:-"0:0:0" "50:25:0" "100:50:0" "200:100:0" "100l:50:1" "100s:50:0:4096"})
for i in "${!settings[@]}"; do
  IFS=: read -r _ oneway loss bandwidth <<<"${settings[$i]}"
  coproc_out="$work/wire$i.out"
  CORVALITE_WIRE_LOG=${WIRE_LOG:+$WIRE_LOG/wire$i.log} "$bin/bench_link_wire" "/run/netns/$near" "cvn$i" "/run/netns/$far" "cvf$i" "$oneway" "$loss" ${bandwidth:-0} \
    >"$coproc_out" &
  wires+=($!)
  for _ in $(seq 100); do grep -q ready "$coproc_out" 2>/dev/null && break; sleep 0.05; done
  grep -q ready "$coproc_out" || skip "the wire did not start"
  ip -n "$near" addr add "10.77.$i.1" peer "10.77.$i.2" dev "cvn$i"
  ip -n "$far" addr add "10.77.$i.2" peer "10.77.$i.1" dev "cvf$i"
  ip -n "$near" link set "cvn$i" up
  ip -n "$far" link set "cvf$i" up
done

# A CA of this run and a server certificate for the far side's addresses.
san=$(for i in "${!settings[@]}"; do printf 'IP:10.77.%s.2,' "$i"; done)
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
  -subj "/CN=Corvalite bench CA" -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=bench server" \
  -keyout "$work/server.key" -out "$work/server.csr" 2>/dev/null
printf 'subjectAltName=%s\n' "${san%,}" >"$work/san.ext"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
  -CAcreateserial -days 2 -extfile "$work/san.ext" -out "$work/server.pem" 2>/dev/null

"$demo" site "$work/site"
"$demo" install "$work/install"
mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
user root;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 512; }
http {
  access_log off;
  default_type text/plain;
  types { application/octet-stream exe dll; }
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  keepalive_requests 10000;
  server {
    listen 80;
    listen 443 ssl http2;
    listen 8443 ssl;
    ssl_certificate $work/server.pem;
    ssl_certificate_key $work/server.key;
    ssl_protocols TLSv1.2 TLSv1.3;
    root $work/site;
  }
}
CONF
ip netns exec "$far" "$nginx" -p "$work/nginx" -e "$work/nginx/error.log" \
  -c "$work/nginx/nginx.conf" &
nginx_pid=$!
for _ in $(seq 100); do
  ip netns exec "$far" bash -c 'exec 3<>/dev/tcp/127.0.0.1/443' 2>/dev/null && break
  sleep 0.05
done

# One hive per link and scheme; the program folder is the bench's bin folder.
schemes=${LINK_SCHEMES:-http https https1}
for i in "${!settings[@]}"; do
  for scheme in $schemes; do
    base="$scheme://10.77.$i.2"
    [ "$scheme" = https1 ] && base="https://10.77.$i.2:8443"
    "$demo" hive "$work/home-$scheme-$i/corvalite-update/HKCU.reg" "$work/install" "$base"
  done
done

CORVALITE_BENCH_CA=$work/ca.pem LINK_SCHEMES=$schemes SOAK=${SOAK:-1} ip netns exec "$near" python3 - \
  "$bin/bench_link_client" "$work" "$out" "$rounds" "${settings[@]}" <<'PY'
import os, statistics, subprocess, sys, time

client, work, out, rounds = sys.argv[1:5]
rounds = int(rounds)
settings = [(s.split(":") + ["0"])[:4] for s in sys.argv[5:]]
schemes = os.environ["LINK_SCHEMES"].split()
labels = {"http": "HTTP", "https": "HTTPS", "https1": "HTTPS, HTTP/1.1 only"}
runs = {}  # (setting index, scheme) -> list of (start s, update s, load)
serial = {}  # setting index -> the same, with the lists asked for one at a time
def limited(i): return float(settings[i][3]) > 0

def once(i, scheme, extra={}):
    env = dict(os.environ, XDG_CONFIG_HOME=f"{work}/home-{scheme}-{i}", **extra)
    start = time.monotonic_ns()
    done = subprocess.run([client], env=env, capture_output=True, text=True, timeout=60)
    marks = {}
    for line in done.stdout.splitlines():
        word, *values = line.split()
        marks[word] = [int(v) for v in values]
    if done.returncode != 0 or "filled" not in marks or "update" not in marks:
        print(f"run {settings[i][0]} ms {scheme} failed: {done.stderr.strip()[:300]}", file=sys.stderr)
        return None
    load = float(open("/proc/loadavg").read().split()[0])
    return ((marks["filled"][0] - start) / 1e9, (marks["update"][1] - marks["update"][0]) / 1e9, load)

for r in range(rounds):
    for i in range(len(settings)):
        if limited(i):
            # A slow link over HTTP only: the normal start against one list at a time.
            if "http" not in schemes: continue
            result = once(i, "http")
            if result: runs.setdefault((i, "http"), []).append(result)
            result = once(i, "http", {"CORVALITE_BENCH_OVERLAP": "1"})
            if result: serial.setdefault(i, []).append(result)
            continue
        for scheme in schemes:
            result = once(i, scheme)
            if result: runs.setdefault((i, scheme), []).append(result)
    print(f"link: round {r + 1} of {rounds}", file=sys.stderr)

def med(values): return statistics.median(values) if values else None
floors = {"http": (3, 1), "https": (4, 1), "https1": (4, 1)}
targets = {"http": 3.5, "https": 4.5, "https1": 4.5}
rows = []
base = {s: runs.get((0, s), []) for s in schemes}
lossless = {}
for i, (name, oneway, loss, _) in enumerate(settings):
    if limited(i): continue
    rtt = 2 * float(oneway) / 1000
    for scheme in schemes:
        got = runs.get((i, scheme), [])
        if not got:
            rows.append(f"| {name.rstrip('l')} ms | {labels[scheme]} | no run finished | | | | | | |")
            continue
        start, update = med([g[0] for g in got]), med([g[1] for g in got])
        load = statistics.mean(g[2] for g in got)
        ref_start, ref_update = med([g[0] for g in base[scheme]]), med([g[1] for g in base[scheme]])
        if rtt == 0:
            rows.append(f"| 0 ms | {labels[scheme]} | {start:.3f} s | {update:.3f} s | (reference) | | | | {load:.1f} |")
            continue
        # Round trips the link added, per round against the 0 ms run of the same round.
        paired = list(zip(got, base[scheme]))
        rt_start = med([(g[0] - b[0]) / rtt for g, b in paired])
        rt_update = med([(g[1] - b[1]) / rtt for g, b in paired])
        f_start, f_update = floors[scheme]
        if loss != "0":
            ref = lossless.get(scheme)
            ratio = start / ref if ref else None
            verdict = "n/a" if ratio is None else ("yes" if ratio <= 1.2 else "**no**")
            rows.append(f"| {name[:-1]} ms, {loss} % loss | {labels[scheme]} | {start:.3f} s | {update:.3f} s | "
                        f"{rt_start:.2f} / {f_start} | {rt_update:.2f} / {f_update} | "
                        f"{ratio:.2f}× lossless | {verdict} | {load:.1f} |")
            continue
        if name == "100": lossless[scheme] = start
        ok = rt_start <= targets[scheme] and rt_update <= 1.5
        rows.append(f"| {name} ms | {labels[scheme]} | {start:.3f} s | {update:.3f} s | "
                    f"{rt_start:.2f} / {f_start} | {rt_update:.2f} / {f_update} | "
                    f"start ≤ {targets[scheme]}, update ≤ 1.5 | {'yes' if ok else '**no**'} | {load:.1f} |")
n = min((len(v) for v in runs.values()), default=0)
text = (f"| Link (round trip) | Scheme | Start → tree filled | \"Update info\" → tree filled | "
        f"Round trips added, start / floor | Round trips added, \"Update info\" / floor | Target | Met | Load |\n"
        "|---|---|---|---|---|---|---|---|---|\n" + "\n".join(rows) + "\n")
text += f"\nMedians of {n} interleaved rounds; the load is the mean 1-minute load average over the row's runs.\n"

# The slow link: both starts in turns; the floor is the lists' bytes at the bandwidth plus
# the round trips (HTTP's three for the start, one for "Update info").
site = os.path.join(work, "site")
lists = ["download/php/list_dbg.php", "download/php/list.php", "download/php/versions.php",
         "download/utils/list_mod.php", "download/utils/list_exe.php"]
list_bytes = sum(os.path.getsize(os.path.join(site, l)) for l in lists)
slow = []
for i, (name, oneway, loss, bandwidth) in enumerate(settings):
    if not limited(i): continue
    rtt, rate = 2 * float(oneway) / 1000, float(bandwidth)
    label = f"{rtt * 1000:g} ms, {rate / 1024:g} KiB/s" + (f", {loss} % loss" if loss != "0" else "")
    both, one = runs.get((i, "http"), []), serial.get(i, [])
    if not both or not one:
        slow.append(f"| {label} | no run finished | | | | | |")
        continue
    s_both, u_both = med([g[0] for g in both]), med([g[1] for g in both])
    s_one, u_one = med([g[0] for g in one]), med([g[1] for g in one])
    load = statistics.mean(g[2] for g in both + one)
    f_start, f_update = list_bytes / rate + 3 * rtt, list_bytes / rate + rtt
    ok = s_both <= s_one and u_both <= u_one
    slow.append(f"| {label} | {s_both:.3f} s / {u_both:.3f} s | {s_one:.3f} s / {u_one:.3f} s | "
                f"{f_start:.3f} s / {f_update:.3f} s | overlapped ≤ one at a time | "
                f"{'yes' if ok else '**no**'} | {load:.1f} |")
if slow:
    text += ("\n| Slow link (HTTP) | Overlapped: start / \"Update info\" | One at a time: start / \"Update info\" | "
             "Floor: start / \"Update info\" | Target | Met | Load |\n|---|---|---|---|---|---|---|\n"
             + "\n".join(slow) + "\n")
    text += (f"\nEach time to the tree filled, medians of the rounds, the two starts in turns; the floor is "
             f"the lists' {list_bytes} bytes at the bandwidth plus the round trips (3 for the start, 1 for "
             f"\"Update info\"), without headers.\n")

# The long session: one start on the 0 ms link over HTTP, then "Update info" again and again.
soak_at = [10, 100, 1000]
plain = [i for i, s in enumerate(settings) if float(s[1]) == 0 and s[2] == "0" and not limited(i)]
if os.environ.get("SOAK", "1") != "0" and plain and "http" in schemes:
    env = dict(os.environ, XDG_CONFIG_HOME=f"{work}/home-http-{plain[0]}",
               CORVALITE_BENCH_SOAK=" ".join(map(str, soak_at)))
    done = subprocess.run([client], env=env, capture_output=True, text=True, timeout=1800)
    load = float(open("/proc/loadavg").read().split()[0])
    rss = {}
    for line in done.stdout.splitlines():
        word, *values = line.split()
        if word == "rss": rss[int(values[0])] = int(values[1])
    if done.returncode != 0 or any(c not in rss for c in soak_at):
        print(f"soak failed: {done.stderr.strip()[:300]}", file=sys.stderr)
        text += "\nLong session: did not finish.\n"
    else:
        growth = (rss[1000] - rss[100]) / 1024
        text += ("\n| Long session (0 ms, HTTP) | After 10 refreshes | After 100 | After 1000 | "
                 "100 → 1000 | Target | Met | Load |\n|---|---|---|---|---|---|---|---|\n"
                 f"| resident size (VmRSS) | {rss[10] / 1024:.1f} MB | {rss[100] / 1024:.1f} MB | "
                 f"{rss[1000] / 1024:.1f} MB | {growth:+.2f} MB | within 1 MB | "
                 f"{'yes' if growth <= 1 else '**no**'} | {load:.1f} |\n")
        text += "\nOne start, then \"Update info\" pressed from the event loop 1000 times; the start's timed press counts.\n"
open(out, "w").write(text)
print(text)
PY
