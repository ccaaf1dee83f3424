#!/bin/bash
# check-imports.sh <bin-folder>...: fails when a binary imports a mingw runtime DLL.
set -eu
bad=0
for dir in "$@"; do
  for f in "$dir"/*.exe "$dir"/*.dll; do
    [ -e "$f" ] || continue
    if x86_64-w64-mingw32-objdump -p "$f" | grep -iE 'DLL Name: (libgcc|libstdc|libwinpthread)'; then
      echo "check-imports: $f needs a mingw runtime DLL" >&2
      bad=1
    fi
  done
done
exit $bad
