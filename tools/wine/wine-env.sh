# Sourced by the Wine helpers: one private prefix inside the build folder, Korean
# code pages, no Mono/Gecko offers, and an Xvfb display owned by the harness.
TESSAL_ROOT=${TESSAL_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
TESSAL_WINE_DIR=${TESSAL_WINE_DIR:-$TESSAL_ROOT/build/wine}
export WINEPREFIX=$TESSAL_WINE_DIR/prefix
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=ko_KR.UTF-8
# "wine" is the harness's own (tools/wine/bin/wine): the same Wine, unrandomised.
case ":$PATH:" in *":$TESSAL_ROOT/tools/wine/bin:"*) ;; *) export PATH="$TESSAL_ROOT/tools/wine/bin:$PATH" ;; esac
mkdir -p "$TESSAL_WINE_DIR"

_tessal_alive() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

# Creates the prefix once: boot, Korean font substitutes, done marker.
tessal_wine_prefix() {
  [ -f "$WINEPREFIX/.tessal-ready" ] && return 0
  rm -rf "$WINEPREFIX"
  wine wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
  wineserver -w
  local reg=$TESSAL_WINE_DIR/fonts.reg
  {
    printf 'REGEDIT4\r\n\r\n'
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
    for f in Gulim '굴림' GulimChe '굴림체' 'MS Shell Dlg' 'MS Shell Dlg 2' Dotum '돋움' \
             Batang '바탕' 'Malgun Gothic' '맑은 고딕' Tahoma; do
      printf '"%s"="NanumGothic"\r\n' "$f"
    done
  } | iconv -f UTF-8 -t CP949 > "$reg"
  wine regedit "$reg" </dev/null >/dev/null 2>&1 9>&-
  wineserver -w
  touch "$WINEPREFIX/.tessal-ready"
}

# A display for windowed programs, started by the harness and kept until tessal_wine_stop.
tessal_xvfb() {
  local pidf=$TESSAL_WINE_DIR/xvfb.pid dispf=$TESSAL_WINE_DIR/display
  if _tessal_alive "$pidf" && [ -f "$dispf" ]; then export DISPLAY=$(cat "$dispf"); return 0; fi
  local n=90
  while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
  setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 9>&- &
  echo $! > "$pidf"
  echo ":$n" > "$dispf"
  export DISPLAY=":$n"
  local i
  for i in $(seq 1 100); do [ -e /tmp/.X11-unix/X$n ] && return 0; sleep 0.1; done
  echo "wine harness: Xvfb did not start on :$n" >&2
  return 1
}

# The prefix's server, detached from every pipe so that no test waits on it,
# and one trivial program that boots the prefix's services once.
tessal_wineserver() {
  local pidf=$TESSAL_WINE_DIR/wineserver.pid
  _tessal_alive "$pidf" && return 0
  setsid wineserver -f -p </dev/null >/dev/null 2>&1 9>&- &
  echo $! > "$pidf"
  wine cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
}

tessal_wine_ready() {
  (
    flock 9
    tessal_wine_prefix
    tessal_xvfb
    tessal_wineserver
  ) 9>"$TESSAL_WINE_DIR/.lock"
  export DISPLAY=$(cat "$TESSAL_WINE_DIR/display")
}

tessal_wine_stop() {
  wineserver -k 2>/dev/null || true
  local p
  for p in wineserver xvfb; do
    if _tessal_alive "$TESSAL_WINE_DIR/$p.pid"; then kill "$(cat "$TESSAL_WINE_DIR/$p.pid")" 2>/dev/null || true; fi
    rm -f "$TESSAL_WINE_DIR/$p.pid"
  done
  rm -f "$TESSAL_WINE_DIR/display"
}

# A prefix made afresh (whatever ran in it before is ended), ready, and ended
# again when the calling script exits.
tessal_wine_fresh() {
  tessal_wine_stop
  rm -rf "$WINEPREFIX"
  tessal_wine_ready
  trap tessal_wine_stop EXIT
}
