#!/usr/bin/env bash
# Installs what is missing, builds the benchmarks (release preset), runs them in a sandbox
# of their own (temporary HOME and XDG folders, offscreen Qt), prints one table and writes
# it to bench/results.md. Benchmarks measure and print; a slow machine never fails them.
#   bash bench/run.sh            everything (about six minutes of runs on two cores, after the build)
#   SIZES="100 1000" bash bench/run.sh      fewer refresh sizes, for a quick look
#   BUILD=build/mine bash bench/run.sh       a build folder already configured with
#                                            CORVALITE_BENCH=ON (built, not re-configured)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
targets=(bench_refresh bench_engine bench_resume bench_startup bench_version_reads
  bench_signature bench_link_wire bench_link_client corvalite-demo)

if [ -n "${BUILD:-}" ]; then
  build=$(cd "$BUILD" && pwd)
  cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
else
  bash scripts/deps.sh
  # The link benchmark's far side; only the benchmark needs it.
  for p in nginx openssl iproute2; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" && continue
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "$p"
  done
  build=$root/build/release
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)" --target "${targets[@]}"
fi

bin=$build/bench
sandbox=$build/bench-run
rm -rf "$sandbox"
mkdir -p "$sandbox/json" "$sandbox/home/.config" "$sandbox/home/.local/share" "$sandbox/runtime"
chmod 700 "$sandbox/runtime"
export HOME=$sandbox/home XDG_CONFIG_HOME=$sandbox/home/.config
export XDG_DATA_HOME=$sandbox/home/.local/share XDG_RUNTIME_DIR=$sandbox/runtime
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
trap 'rm -rf "$sandbox/fixtures" "$sandbox/download"' EXIT

load() { cut -d' ' -f1-3 /proc/loadavg; }
load_before=$(load)
sizes=${SIZES:-100 1000 10000 100000}

# One process per size, mode and repetition, so each peak memory figure belongs to that run
# alone; the modes take turns within each repetition (floor, scripted, http, floor, …), so a
# figure and its reference see the same machine load. Each step logs the load it ran at.
loads=$sandbox/json/loads.txt
: >"$loads"
note_load() { echo "$1 $(cut -d' ' -f1 /proc/loadavg)" >>"$loads"; }
for size in $sizes; do
  for rep in 1 2 3 4 5; do
    for mode in floor scripted http; do
      echo "refresh: $size entries per list, $mode, repetition $rep" >&2
      "$bin/bench_refresh" --size="$size" --mode="$mode" --fixture="$sandbox/fixtures/$size" \
        --benchmark_repetitions=1 --benchmark_min_time=0.2 \
        --benchmark_out="$sandbox/json/refresh-$mode-$size-$rep.json" \
        --benchmark_out_format=json >/dev/null || echo "refresh $mode $size did not finish" >&2
      note_load "refresh-$size"
    done
  done
  rm -rf "$sandbox/fixtures/$size"
done

echo "engine: 1 GiB, engine and curl in turns" >&2
mkdir -p "$sandbox/download"
"$bin/bench_engine" --rounds=3 --bytes="${ENGINE_BYTES:-1073741824}" --dir="$sandbox/download" \
  --benchmark_out="$sandbox/json/engine.json" --benchmark_out_format=json >/dev/null ||
  echo "engine benchmark did not finish" >&2
note_load engine

echo "resume: 256 MiB cut every 32 MiB; with a digest, engine and curl in turns" >&2
"$bin/bench_resume" --rounds=3 --dir="$sandbox/download" \
  --benchmark_out="$sandbox/json/resume.json" --benchmark_out_format=json >/dev/null ||
  echo "resume benchmark did not finish" >&2
note_load resume

echo "start-up" >&2
"$bin/bench_startup" --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true \
  --benchmark_out="$sandbox/json/startup.json" --benchmark_out_format=json >/dev/null ||
  echo "start-up benchmark did not finish" >&2
note_load startup

echo "version reads" >&2
"$bin/bench_version_reads" --benchmark_repetitions=5 \
  --benchmark_out="$sandbox/json/version_reads.json" --benchmark_out_format=json >/dev/null ||
  echo "version read benchmark did not finish" >&2
note_load version_reads

echo "signature check: 100 MiB signed program and a sha-256 pass over it, in turns" >&2
mkdir -p "$sandbox/download"
"$bin/bench_signature" --rounds=7 --dir="$sandbox/download" \
  --benchmark_out="$sandbox/json/signature.json" --benchmark_out_format=json >/dev/null ||
  echo "signature benchmark did not finish" >&2
note_load signature

echo "link: start and \"Update info\" across an emulated link" >&2
"$root/bench/link/run.sh" "$bin" "$build/demo/corvalite-demo" "$sandbox/json/link.md" \
  "${LINK_ROUNDS:-9}" || echo "link benchmark did not finish" >&2

load_after=$(load)
cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)

python3 - "$sandbox/json" "$root/bench/results.md" "$load_before" "$load_after" \
  "$cpu" "$(nproc)" "$commit" "$sizes" <<'PY'
import json, os, statistics, sys, datetime

folder, out, before, after, cpu, cores, commit, sizes = sys.argv[1:9]
sizes = [int(s) for s in sizes.split()]

def runs(name):
    path = os.path.join(folder, name + ".json")
    try:
        with open(path) as f:
            return json.load(f)["benchmarks"]
    except (OSError, ValueError, KeyError):
        return []

def iterations(entries, prefix):
    return [e for e in entries if e.get("run_type") == "iteration" and not e.get("error_occurred")
            and e["name"].startswith(prefix)]

def median(values):
    return statistics.median(values) if values else None

def ms(entry):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry["time_unit"]]
    return entry["real_time"] * scale

def refresh(mode, size):
    entries = [e for rep in range(1, 6)
               for e in iterations(runs(f"refresh-{mode}-{size}-{rep}"), f"refresh/{mode}/{size}")]
    time = median([ms(e) for e in entries])
    memory = max([e.get("peak_rss_kib", 0) for e in entries], default=0) / 1024 or None
    return time, memory

def fmt_ms(v):
    if v is None: return "n/a"
    return f"{v:,.0f} ms".replace(",", " ") if v >= 100 else f"{v:.3g} ms"

def fmt_mib(v): return "n/a" if v is None else f"{v:,.0f} MiB".replace(",", " ")
def ratio(a, b): return None if a is None or b in (None, 0) else a / b
def fmt_ratio(r, suffix="×"): return "n/a" if r is None else f"{r:.2f}{suffix}"
def met(ok): return "n/a" if ok is None else ("yes" if ok else "**no**")
def size_text(n): return f"{n:,}".replace(",", " ")

loads = {}
try:
    for line in open(os.path.join(folder, "loads.txt")):
        step, value = line.split()
        loads.setdefault(step, []).append(float(value))
except OSError:
    pass
def load_of(step):
    values = loads.get(step)
    return f"{statistics.mean(values):.1f}" if values else ""

rows = []
def row(what, result, reference, r, target, ok, step=""):
    rows.append(f"| {what} | {result} | {reference} | {r} | {target} | {ok} | {load_of(step)} |")

data = {(m, s): refresh(m, s) for m in ("floor", "scripted", "http") for s in sizes}
for s in sizes:
    t, _ = data[("scripted", s)]
    f, _ = data[("floor", s)]
    r = ratio(t, f)
    target, ok = "≤ 1.5× floor", None if r is None else r <= 1.5
    if s == 1000:
        target = "< 100 ms and ≤ 1.5× floor"
        ok = None if r is None else (r <= 1.5 and t < 100)
    row(f"Refresh, local work (scripted engine), {size_text(s)} per list", fmt_ms(t),
        f"floor {fmt_ms(f)}", fmt_ratio(r), target, met(ok), f"refresh-{s}")
if 10000 in sizes and 100000 in sizes:
    for mode, label in (("scripted", "local work"), ("http", "real engine over HTTP")):
        g = ratio(data[(mode, 100000)][0], data[(mode, 10000)][0])
        fg = ratio(data[("floor", 100000)][0], data[("floor", 10000)][0])
        row(f"Refresh growth 10 000 → 100 000 per list, {label}", fmt_ratio(g),
            f"floor {fmt_ratio(fg)}", "", "≤ 12×", met(None if g is None else g <= 12))
for s in sizes:
    t, _ = data[("http", s)]
    l, _ = data[("scripted", s)]
    f, _ = data[("floor", s)]
    row(f"Refresh, real engine over local HTTP, {size_text(s)} per list", fmt_ms(t),
        f"local work {fmt_ms(l)}", fmt_ratio(ratio(t, l)), "reported", "", f"refresh-{s}")
for s in sizes:
    _, m = data[("scripted", s)]
    _, h = data[("http", s)]
    _, fm = data[("floor", s)]
    r = ratio(m, fm)
    target = "≤ 1.5× floor" if s == 100000 else "reported"
    ok = met(None if r is None else r <= 1.5) if s == 100000 else ""
    row(f"Peak memory, {size_text(s)} per list (local work / real engine)",
        f"{fmt_mib(m)} / {fmt_mib(h)}", f"floor {fmt_mib(fm)}", fmt_ratio(r), target, ok,
        f"refresh-{s}")

engine = runs("engine")
speeds = {k: [e["bytes_per_second"] / 1e6 for e in iterations(engine, f"download/{k}/")]
          for k in ("engine", "curl")}
e, c = median(speeds["engine"]), median(speeds["curl"])
r = ratio(e, c)
fmt_speed = lambda v: "n/a" if v is None else f"{v:.0f} MB/s"
row(f"Engine throughput, 1 GiB from local HTTP ({len(speeds['engine'])} turns each)",
    fmt_speed(e), f"curl -o {fmt_speed(c)}", fmt_ratio(r), "≥ 0.8× curl",
    met(None if r is None else r >= 0.8), "engine")

resume = runs("resume")
cut = iterations(resume, "resume/cut")
if cut:
    per_byte = cut[0].get("transferred_per_byte")
    row("Transfer cut every 32 MiB, 256 MiB in one run, resumed and verified (sha-256)",
        f"{per_byte:.3f}× its size transferred", f"{cut[0]['bytes_per_second'] / 1e6:.0f} MB/s",
        "", "≤ 1.02× size", met(per_byte <= 1.02))
    row("Damaged or partial files delivered, over the cut run's injected faults",
        f"{cut[0].get('damaged_or_partial_delivered', 0):.0f}",
        f"{cut[0].get('faults', 0):.0f} faults", "", "0", met(cut[0].get('damaged_or_partial_delivered', 1) == 0))
digest = {k: [e["bytes_per_second"] / 1e6 for e in iterations(resume, f"digest/{k}/")]
          for k in ("engine", "curl")}
d, dc = median(digest["engine"]), median(digest["curl"])
row(f"Engine throughput with a sha-256 digest, 256 MiB ({len(digest['engine'])} turns each)",
    fmt_speed(d), f"curl -o {fmt_speed(dc)}", fmt_ratio(ratio(d, dc)), "reported", "")

startup = runs("startup")
u = median([ms(x) for x in iterations(startup, "startup/update")])
m = median([ms(x) for x in iterations(startup, "startup/minimal")])
t = median([ms(x) for x in iterations(startup, "startup/text")])
r = ratio(u, t)
row("Start-up to the main window's first paint (offscreen)", fmt_ms(u),
    f"one-label window {fmt_ms(t)}", fmt_ratio(r), "≤ 1.5× one-label window",
    met(None if r is None else r <= 1.5), "startup")
row("Start-up, the empty window with one line of text (the floor for any window with text)",
    fmt_ms(t), f"empty Qt window {fmt_ms(m)}", fmt_ratio(ratio(t, m)), "reported", "")
w = median([ms(x) for x in iterations(startup, "startup/widgets")])
row("Start-up, the same widgets in plain Qt without the program's own work", fmt_ms(w),
    f"the program {fmt_ms(u)}", fmt_ratio(ratio(u, w)) + " (program / widgets)", "reported", "")

signature = runs("signature")
turns = {k: {e["name"].split("/")[2]: ms(e) for e in iterations(signature, f"signature/{k}/")}
         for k in ("check", "sha256_pass")}
paired = [ratio(turns["check"][n], turns["sha256_pass"][n])
          for n in turns["check"] if n in turns["sha256_pass"]]
r = median([x for x in paired if x is not None])
row(f"Signature check, 100 MiB signed program in the page cache ({len(paired)} turns each)",
    fmt_ms(median(list(turns["check"].values()))),
    f"sha-256 pass {fmt_ms(median(list(turns['sha256_pass'].values())))}", fmt_ratio(r),
    "≤ 1.1× sha-256 pass", met(None if r is None else r <= 1.1), "signature")

for corpus in ("generated", "wine"):
    entries = iterations(runs("version_reads"), f"version_reads/{corpus}")
    if not entries and corpus == "wine":
        row("Version reads, Wine's PE files", "not installed", "", "", "reported", "")
        continue
    v = median([x["items_per_second"] for x in entries])
    files = int(entries[0]["files"]) if entries else 0
    row(f"Version reads, {corpus} PE files ({files} files)",
        "n/a" if v is None else f"{v:,.0f} /s".replace(",", " "), "", "",
        "≥ 20 000 /s" if corpus == "generated" else "reported",
        met(None if v is None else v >= 20000) if corpus == "generated" else "", "version_reads")

try:
    link = open(os.path.join(folder, "link.md")).read().strip()
except OSError:
    link = "not measured"
date = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
text = f"""# Benchmark results

Measured {date} on commit `{commit}`: {cpu}, {cores} cores; Release build (GCC, `release`
preset), Qt offscreen. Load average (1, 5, 15 min) before the run: {before}; after: {after}.
Produced by `bash bench/run.sh`, which rewrites this file.

| Measurement | Result | Reference, same run | Ratio | Target | Met | Load |
|---|---|---|---|---|---|---|
""" + "\n".join(rows) + """

The load column is the mean 1-minute load average at the end of that row's runs.

"Update info" across an emulated link (`bench/link/run.sh`): the program's start until the
tree is filled, and a press of "Update info" on the warm connection until it is filled again,
against Debian's nginx serving the sample vendor site. Round trips added: the figure minus
the 0 ms figure of the same round, over the round-trip time, median over the rounds; the
floor counts the round trips no client can avoid (HTTP: connect, the connection check, the
lists; HTTPS: one more for TLS 1.3; "Update info": the lists).

""" + link + """

For comparison, the same link benchmark with the engine as it was before its transfers
overlapped (2026-12-09 16:36, three rounds, load 2.3): start → tree filled 7.0–7.2 round trips
over HTTP and 10.0–10.1 over HTTPS (one for TLS, two held by the small-packet delay), "Update
info" 4.9–5.3; at 0 ms "Update info" took 70 ms against 5 ms now, most of it the syncs and
resume notes of the five lists.

How each figure is taken:
- **Refresh**: `TForm1::RefreshComponentTree` on a shown main window (offscreen), the lists
  holding N entries each and the installation every second one of them (PHP sub-folders,
  debugger library files, module and utility PE files with version records). Median of five
  repetitions of the wall time per refresh, each refresh followed by the event processing it
  causes (layout, paint). *Local work*: a scripted engine writes the lists; *real engine*:
  the Qt Network engine fetches them from a local HTTP server in the same process.
  *Floor*: a bare `QTreeWidget` filled with the same rows and texts, no logic, plus the same
  files' version records read with the same reader. Each size and mode runs in its own
  process; peak memory is that process's VmHWM.
- **Engine**: the engine and `curl -o` fetch the same 1 GiB generated file from the same
  local HTTP server, in turns (engine, curl, engine, curl, …) into a temporary folder on the
  build's disk, deleted after each turn; median of the turns. The engine writes a hidden
  partial file, which it syncs to disk before it renames it over the destination; curl does not.
- **Resume**: a local server that cuts the connection after every 32 MiB of a 256 MiB file
  (its sha-256 sent as `Repr-Digest`); one `DownloadFiles` must deliver it whole; "transferred"
  is every body byte the engine received, all tries together. The digest rows fetch the same
  file uncut from the same server, engine and `curl -o` in turns (curl checks no digest).
- **Start-up**: a bench-only entry wires the main window exactly as `update.cpp` does, with
  an offline engine so the first showing asks no server, and reports its first paint; the
  reference is a Qt Widgets program showing one empty window with one label, since any
  window that shows text pays for the font configuration; for context, a third program
  shows the window without the label, and a fourth the main window's widgets (buttons,
  five-column tree, status texts, same font and geometry) with plain Qt classes and nothing
  else. Time from just before the spawn to the first paint, median of seven interleaved
  repetitions of five starts each.
- **Version reads**: `TrsFileVersion::GetVersion` over small generated PE32/PE32+ files.

Where the time goes (perf, Release build):
- Refresh: about 40 % of a refresh is reading version records (the floor pays it too); the
  folder listings the floor skips (a status and an extended-attribute read per entry, for the
  Windows attributes) are most of the rest of the gap, around 15 % at 100 000 per list.
- Engine: curl's process copies each byte once, socket to file; the engine copies it from the
  socket in Qt's network thread, hands it to the main thread, and writes it there, and this
  benchmark's server runs in the engine's own process, so on two cores the engine's three
  threads share what curl and the server have to themselves. The server sends its bytes
  from one prepared 16 MiB period of the pattern, so it costs either client little.
  `QSaveFile` also syncs the file before replacing the destination, which curl does not.
- Start-up: the empty window draws no text, so it never loads the font configuration. The
  first text any Qt program draws here loads it through fontconfig (parsing its XML files
  and caches) and opens a font: the one-label row, already above 1.5× the empty window, which
  is why the one-label window is the reference. The program also registers Wine's Tahoma
  from its file at start when it is installed (the window is laid out for it). The main window's
  widgets in plain Qt cost nearly as much as the program (the widgets row); most of the
  program's own share is loading Qt Network and the Kerberos libraries it depends on.
"""
with open(out, "w") as f:
    f.write(text)
print(text)
PY
