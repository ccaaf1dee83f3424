# Sourced by the Wine helpers: which loader starts programs here. Debian's wine script
# prefers the 32-bit loader whenever wine32 is installed, but a kernel without 32-bit
# support cannot start it; then only 64-bit programs can run, through wine64.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  QEL_WINE=/usr/lib/wine/wine
  QEL_WINE32=1
else
  QEL_WINE=/usr/lib/wine/wine64
  QEL_WINE32=0
  export WINELOADER=$QEL_WINE
fi
