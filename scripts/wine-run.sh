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
      setsid Xvfb -displayfd 3 -nolisten tcp -screen 0 "${CORVALITE_XVFB_SCREEN:-1024x768x24}" 3>"$fifo" >/dev/null 2>&1 &
      echo $! >"$prefix/xvfb-pid"
      read -r -t 30 number <"$fifo" || { echo "Xvfb did not start" >&2; exit 1; }
      rm -f "$fifo"
      echo ":$number" >"$prefix/xvfb-display"
      export DISPLAY=":$number"
    fi
    wine wineboot -i
    # Windows has Tahoma among its fonts; Wine draws its own copy but does not list it to
    # programs, so Qt would fall back to whatever serif font it finds first.
    for face in tahoma tahomabd; do
      if [ -f "/usr/share/wine/fonts/$face.ttf" ]; then
        cp "/usr/share/wine/fonts/$face.ttf" "$prefix/drive_c/windows/Fonts/"
        name="Tahoma"; [ "$face" = tahomabd ] && name="Tahoma Bold"
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' \
          /v "$name (TrueType)" /t REG_SZ /d "$face.ttf" /f >/dev/null
      fi
    done
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
