#!/bin/bash
# wine-session.sh start|stop <prefix>
# A private Wine prefix with a persistent wineserver started detached, so that no Wine
# helper holds the pipes of ctest or of a caller's $(...) open.
set -u
cmd=${1:?start or stop}
export WINEPREFIX=$(realpath -m "${2:?prefix folder}")
export WINEDEBUG=-all
. "$(dirname "$0")/../cmake/wine-env.sh"

case "$cmd" in
  start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      # No Mono or Gecko downloads on a closed network.
      WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 "$QEL_WINE" wineboot.exe --init </dev/null >/dev/null 2>&1
      timeout 120 wineserver -w </dev/null >/dev/null 2>&1
    fi
    setsid wineserver -p </dev/null >/dev/null 2>&1 &
    sleep 0.2
    timeout 120 "$QEL_WINE" wineboot.exe </dev/null >/dev/null 2>&1
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-session: could not create the prefix $WINEPREFIX" >&2
      exit 1
    fi
    ;;
  stop)
    timeout 30 wineserver -k </dev/null >/dev/null 2>&1
    timeout 30 wineserver -w </dev/null >/dev/null 2>&1
    true
    ;;
  *)
    echo "usage: $0 start|stop <prefix>" >&2
    exit 2
    ;;
esac
