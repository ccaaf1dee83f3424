#!/bin/bash
# Runs one Windows program in the session's private Wine prefix, bounded in time, with no
# terminal input (Wine's helpers must not hold a caller's pipes open).
: "${WINEPREFIX:?no Wine session: start one with scripts/wine-session.sh start <prefix>}"
export WINEDEBUG=${WINEDEBUG:--all}
. "$(dirname "$0")/wine-env.sh"
exec timeout -k 5 "${QEL_WINE_TIMEOUT:-300}" "$QEL_WINE" "$@" </dev/null
