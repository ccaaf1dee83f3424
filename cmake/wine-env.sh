# Sourced by the Wine helpers: which loader starts programs here. Programs start through
# the 64-bit loader, which hands a 32-bit program to the 32-bit one (named by WINELOADER
# without its "64"). Whether 32-bit programs run at all depends on the kernel: without
# 32-bit support even the 32-bit loader fails to start.
QEL_WINE=/usr/lib/wine/wine64
export WINELOADER=$QEL_WINE
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  QEL_WINE32=1
else
  QEL_WINE32=0
fi
