#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of its own:
#   wine-run.sh PREFIX PROGRAM [ARGS...]   run one program (the tests' emulator)
#   wine-run.sh PREFIX --boot              make the prefix; without a display start one Xvfb
#   wine-run.sh PREFIX --shutdown          end the prefix's Wine processes and that Xvfb
# Every program of a prefix shares one wineserver and its desktop process, so they share one
# display too: Wine cannot create a window without one.
set -euo pipefail
prefix="$1"; shift
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"  # no Mono or Gecko prompts
case "${1:-}" in
  --boot)
    mkdir -p "$prefix"
    if [ -z "${DISPLAY:-}" ]; then
      fifo="$prefix/xvfb-ready"; rm -f "$fifo"; mkfifo "$fifo"
      setsid Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$fifo" >/dev/null 2>&1 &
      echo $! >"$prefix/xvfb-pid"
      read -r -t 30 number <"$fifo" || { echo "Xvfb did not start" >&2; exit 1; }
      rm -f "$fifo"
      echo ":$number" >"$prefix/xvfb-display"
      export DISPLAY=":$number"
    fi
    wine wineboot -i
    wineserver -w
    ;;
  --shutdown)
    wineserver -k 2>/dev/null || true
    if [ -f "$prefix/xvfb-pid" ]; then kill "$(cat "$prefix/xvfb-pid")" 2>/dev/null || true; fi
    rm -f "$prefix/xvfb-pid" "$prefix/xvfb-display"
    ;;
  *)
    if [ -z "${DISPLAY:-}" ] && [ -f "$prefix/xvfb-display" ]; then
      export DISPLAY="$(cat "$prefix/xvfb-display")"
    fi
    exec wine "$@"
    ;;
esac
