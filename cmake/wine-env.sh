# Sourced by the Wine helpers: which loader starts programs here. Programs start through
# the 64-bit loader, which hands a 32-bit program to the 32-bit one (named by WINELOADER
# without its "64"). Whether 32-bit programs run at all depends on the kernel: without
# 32-bit support even the 32-bit loader fails to start.
QEL_WINE=/usr/lib/wine/wine64
export WINELOADER=$QEL_WINE
# A 32-bit ELF handed to a binfmt_misc interpreter (qemu-user) starts, but Wine's threads
# are not reliable under that emulation, so its results would be noise: only a kernel
# that runs 32-bit programs itself counts.
qel_i386_emulated() {
  local f
  for f in /proc/sys/fs/binfmt_misc/*; do
    case ${f##*/} in register|status) continue ;; esac
    grep -qx enabled "$f" 2>/dev/null || continue
    grep -q '^magic 7f454c46010101' "$f" 2>/dev/null && return 0
  done
  return 1
}
if qel_i386_emulated; then
  QEL_WINE32=0
  QEL_WINE32_WHY="32-bit programs start here only under a user-mode emulator (binfmt_misc), which is not reliable with Wine's threads"
elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
  QEL_WINE32=1
else
  QEL_WINE32=0
  QEL_WINE32_WHY="this machine's kernel cannot run 32-bit programs"
fi
