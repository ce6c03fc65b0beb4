#!/usr/bin/env bash
# The Wine test bed of one build folder: an Xvfb display, a project-owned prefix, a warm wineserver.
#   wine-env.sh WINE_DIR up        bring everything up (idempotent, serialised by a lock)
#   wine-env.sh WINE_DIR down      stop wineserver and Xvfb
#   wine-env.sh WINE_DIR run P A.. run a Windows program inside the bed (brings it up first)
# WINE_DIR holds the prefix, the display number, logs, and register.list: DLLs whose
# DllRegisterServer must have run in the prefix (the stand-in control lives only there).
set -euo pipefail

dir=$1; shift
cmd=${1:-up}; shift || true
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

wine_bin=/usr/lib/wine/wine64
[ -x "$wine_bin" ] || wine_bin=$(command -v wine64 || command -v wine)
wineserver_bin=/usr/lib/wine/wineserver
[ -x "$wineserver_bin" ] || wineserver_bin=$(command -v wineserver)

export WINEPREFIX="$dir/prefix"
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No installer dialogs for Mono/Gecko: they would block prefix creation.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
# Recipe of the prefix: change it and every existing prefix is rebuilt.
recipe="kestrel-prefix-4 $("$wine_bin" --version 2>/dev/null)"

log() { echo "wine-env: $*" >&2; }

xvfb_alive() {
  [ -f "$dir/display" ] && [ -f "$dir/xvfb.pid" ] && kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null \
    && [ -S "/tmp/.X11-unix/X$(cat "$dir/display")" ]
}

start_xvfb() {
  xvfb_alive && return 0
  rm -f "$dir/display" "$dir/xvfb.pid"
  # Xvfb picks a free display itself and writes its number once it accepts clients, so beds
  # started at the same moment (a test builds its own) never end up sharing one server.
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$dir/display.new" >"$dir/xvfb.log" 2>&1 </dev/null 9>&- &
  local pid=$! n=""
  for _ in $(seq 1 200); do
    n=$(tr -dc 0-9 <"$dir/display.new" 2>/dev/null || true)
    [ -n "$n" ] && [ -S "/tmp/.X11-unix/X$n" ] && break
    n=""
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  rm -f "$dir/display.new"
  if [ -z "$n" ] || ! kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    log "Xvfb did not start (see $dir/xvfb.log)"; return 1
  fi
  echo "$pid" > "$dir/xvfb.pid"
  echo "$n" > "$dir/display"
}

prefix_ok() {
  [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/user.reg" ] && [ -f "$dir/prefix.stamp" ] \
    && [ "$(cat "$dir/prefix.stamp")" = "$recipe" ]
}

make_prefix() {
  prefix_ok && return 0
  log "creating Wine prefix in $WINEPREFIX"
  "$wineserver_bin" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX" "$dir/prefix.stamp" "$dir/registered.stamp"
  "$wine_bin" wineboot -i >"$dir/wineboot.log" 2>&1 </dev/null 9>&-
  "$wineserver_bin" -w
  # Without a window manager a managed window makes EndDialog stall for two seconds.
  "$wine_bin" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$dir/wineboot.log" 2>&1 </dev/null 9>&-
  # A crashing test program must end with its backtrace, not wait on a crash dialog nobody sees.
  "$wine_bin" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >>"$dir/wineboot.log" 2>&1 </dev/null 9>&-
  "$wineserver_bin" -w
  [ -f "$WINEPREFIX/system.reg" ] || { log "prefix creation failed (see $dir/wineboot.log)"; return 1; }
  echo "$recipe" > "$dir/prefix.stamp"
}

register_dlls() {
  [ -f "$dir/register.list" ] || return 0
  local want; want="$(cat "$dir/register.list")"
  [ -f "$dir/registered.stamp" ] && [ "$(cat "$dir/registered.stamp")" = "$want" ] && return 0
  local dll
  while IFS= read -r dll; do
    [ -n "$dll" ] || continue
    [ -f "$dll" ] || { log "cannot register missing $dll"; return 1; }
    "$wine_bin" regsvr32 /s "Z:${dll//\//\\}" >>"$dir/register.log" 2>&1 </dev/null 9>&- \
      || { log "regsvr32 failed for $dll (see $dir/register.log)"; return 1; }
  done < "$dir/register.list"
  echo "$want" > "$dir/registered.stamp"
}

up() {
  start_xvfb
  export DISPLAY=":$(cat "$dir/display")"
  make_prefix
  # A persistent wineserver keeps every later wine start warm.
  "$wineserver_bin" -p >/dev/null 2>&1 </dev/null 9>&- || true
  register_dlls
}

locked_up() {
  exec 9>"$dir/lock"
  flock 9
  # Long-lived children get the lock's descriptor closed; should one slip through, a failing `up`
  # must still let go of the lock.
  trap 'flock -u 9 2>/dev/null || true' EXIT
  up
  flock -u 9
}

case "$cmd" in
  up) locked_up ;;
  down)
    "$wineserver_bin" -k >/dev/null 2>&1 || true
    if [ -f "$dir/xvfb.pid" ]; then kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true; rm -f "$dir/xvfb.pid"; fi
    ;;
  run)
    locked_up
    export DISPLAY=":$(cat "$dir/display")"
    # Wine's background processes (services, the desktop) inherit the output of whichever program
    # started them and keep it open for as long as they live: give them a file, never the caller's pipe.
    out=$(mktemp "$dir/run.XXXXXX")
    "$wine_bin" "$@" >"$out" 2>&1 </dev/null 9>&- &
    pid=$!
    trap 'kill -KILL $pid 2>/dev/null; cat "$out"; rm -f "$out"; exit 124' TERM INT
    rc=0
    wait $pid || rc=$?
    # Wine's debugger ends a crashed program with an exit code that may well be 0: the crash report
    # in the output decides, whichever of the programs started here crashed.
    crashed=""
    if [ $rc -eq 0 ] && grep -q '^wine: Unhandled' "$out"; then rc=3 crashed=1; fi
    cat "$out"
    [ -z "$crashed" ] || log "a program crashed (see its report above); failing although it ended with 0"
    rm -f "$out"
    exit $rc
    ;;
  env)
    locked_up
    echo "export WINEPREFIX='$WINEPREFIX' DISPLAY=':$(cat "$dir/display")' WINEDEBUG='$WINEDEBUG' WINEDLLOVERRIDES='$WINEDLLOVERRIDES'"
    ;;
  *) log "unknown command $cmd"; exit 2 ;;
esac
