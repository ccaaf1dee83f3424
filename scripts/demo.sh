#!/bin/bash
# The demo: the radio power service on the simulated firmware, end to end under Wine.
# Installs what is missing, builds, and runs everything in a private prefix below build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${QEL_BUILD:-$root/build}")

say() { printf '\n== %s\n' "$*"; }

"$root/scripts/install-deps.sh" >/dev/null
say "building (x64, x86)"
"$root/scripts/build.sh" "$build" >/dev/null

export WINEPREFIX="$build/demo-wine"
. "$root/cmake/wine-env.sh"
run() { "$root/cmake/wine-run.sh" "$@" 2>/dev/null | tr -d '\r'; }
x64="$build/x64/bin"
service="$x64/sim/QelVxWmi.exe"
cleanup() {
  run net stop QELVXWMI >/dev/null || true
  run "$service" -UnregServer >/dev/null || true
  "$root/scripts/wine-session.sh" stop "$WINEPREFIX"
}
trap cleanup EXIT
"$root/scripts/wine-session.sh" start "$WINEPREFIX"

# Readable logs: information lines for the service and the client library.
run reg add 'HKCU\Software\DevuRezAzeve' /v TraceLevel /t REG_SZ /d TBDOL_INFORMATION /f >/dev/null

say "registering and starting the service QELVXWMI (simulated firmware)"
run "$service" -Service
run net start QELVXWMI | grep -v '^$' || true

say "radiocheck <client library>: is the modem present?"
if [ "$QEL_WINE32" = 1 ]; then check="$build/x86/bin/radiocheck.exe"; lib="$build/x86/bin/QelVxAux.dll"; bits=32
else check="$x64/radiocheck.exe"; lib="$x64/QelVxAux.dll"; bits=64
  echo "  ($QEL_WINE32_WHY: using the 64-bit builds)"; fi
set +e
"$root/cmake/wine-run.sh" "$check" "$(run winepath -w "$lib")" >/dev/null 2>&1
code=$?
set -e
[ "$code" = 255 ] && code=-1
echo "  radiocheck ($bits-bit) exit code: $code"

say "a client through QelVxAux.dll: read, switch off and on, hardware switch notifications"
run "$x64/radiodemo.exe" "$(run winepath -w "$x64/QelVxAux.dll")" "$(run winepath -w "$x64/firmwarectl.exe")"

say "the connection plug-in wmcqel.dll in a connection-manager host (wmchost), over the client library and the simulated modem SDK"
fw="$(run winepath -w "$x64/firmwarectl.exe")"
sdkdir="$(run winepath -w "$x64/sim/sdk/full")"
plugin_out=$(mktemp)
WINEDEBUG=-all,+debugstr "$root/cmake/wine-run.sh" "$x64/wmchost.exe" --sdk-dir "$sdkdir" \
  startup setpower 0 run "$fw" status setpower 1 run "$fw" status \
  run "$fw" "switch off" wait 14 5000 run "$fw" "switch on" wait 11 5000 shutdown \
  2>"$plugin_out" | tr -d '\r' | sed 's/^/  /' || echo "  (the host reported a failure)"
say "the plug-in's debugger output (without the 18 subscription lines of each switch-over)"
grep -o 'OutputDebugStringA "[^"]*' "$plugin_out" | sed 's/^OutputDebugStringA "//; s/\\n$//' |
  grep -v 'QXNotify(' | head -n 40 || true
rm -f "$plugin_out"

say "the plug-in's network and device information and the modem lock (a provisioned simulated modem)"
"$root/cmake/wine-run.sh" "$x64/wmchost.exe" --sdk-dir "$sdkdir" simmodem startup networkinfo deviceinfo \
  setlock 1 9999 setlock 1 1234 setlock 1 1234 setlock 0 1234 shutdown \
  2>/dev/null | tr -d '\r' | grep -v '^bound' | sed 's/^/  /' || echo "  (the host reported a failure)"

say "short messages through the plug-in: two sent (the network's status), one received (notification 5), read and deleted"
WINEDEBUG=-all "$root/cmake/wine-run.sh" "$x64/wmchost.exe" --sdk-dir "$sdkdir" \
  startup smsstatus 3 0 smssend 2065550123 "On my way, ten minutes" \
  smsstatus 2 97 smssend 2065550199 "Is this number still yours?" smssent \
  smsdeliver 41 4255550123 "Lunch at noon?" wait 5 5000 smscount 0 smsread first smsdelete 41 smscount 0 shutdown \
  2>/dev/null | tr -d '\r' | grep -Ev 'callback slot [0-9]+: index ([0-46-9]|[0-9][0-9])$' | sed 's/^/  /' ||
  echo "  (the host reported a failure)"

say "the plug-in's field-test trace: three seconds of header and lines (wmchost fieldtest)"
WINEDEBUG=-all "$root/cmake/wine-run.sh" "$x64/wmchost.exe" --sdk-dir "$sdkdir" simmodem startup fieldtest 3200 shutdown \
  2>/dev/null | tr -d '\r' | iconv -f CP1252 -t UTF-8 | grep -E '^WMC_|^sim|^field test' | sed 's/^/  /' ||
  echo "  (the host reported a failure)"

# --- The device information module (QelVXWM) in the welcome application's place.
say "the device information module QelVXWM.dll in the welcome application's place (welcomeapp): a simulated CDMA modem"
welcome="$x64/demo-qelvxwm"
rm -rf "$welcome" && mkdir -p "$welcome"
cp "$x64/QelVXWM.dll" "$x64/QelVxAux.dll" "$x64/sim/module/QelCardDetect.dll" "$x64/sim/module/Qel32_KX450.dll" "$welcome/"
cp "$x64/sim/sdk/full/Qel_Evdomx.dll" "$welcome/qel_evdomx.dll"
module="$(run winepath -w "$welcome/QelVXWM.dll")"
appdata=$(run cmd /c echo %APPDATA% | tail -n 1)
saved="$appdata\\Veltra Vazudari\\Logs\\QelVXWM.xml"
for modem in cdma gsm; do
  if [ "$modem" = gsm ]; then say "the same module for a simulated GSM modem with a usable SIM"; fi
  run "$x64/welcomeapp.exe" --modem "$modem" "$module" | sed 's/^/  /' || echo "  (welcomeapp reported a failure)"
  echo "  saved as $saved ($(wc -c <"$(run winepath -u "$saved")") bytes)"
done
# --- end of the device information module

# The logs' folder: "Application Data\Veltra Vazudari\Logs" under the user's profile.
profile=$(run cmd /c echo %USERPROFILE% | tail -n 1)
logdir="$(run winepath -u "$profile\\Application Data\\Veltra Vazudari\\Logs")"
say "tail of the service's log (QelVxWmi.log)"
tail -n 12 "$logdir/QelVxWmi.log" | tr -d '\r' | cut -c1-150
say "tail of the client library's log (QelVxAux.log)"
tail -n 12 "$logdir/QelVxAux.log" | tr -d '\r' | cut -c1-150

say "stopping and unregistering the service"
run net stop QELVXWMI | grep -v '^$' || true
run "$service" -UnregServer
echo "  done"
