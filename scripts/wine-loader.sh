# Sourced by the test and demo scripts. Debian's `wine` command starts Wine's
# 32-bit loader whenever wine32 is installed, but a kernel built without IA-32
# emulation cannot start 32-bit Linux programs at all. There the 64-bit loader
# runs the 64-bit programs (a `wine` of our own ahead in PATH, also for
# wineboot, which calls `wine-stable`), and VK_WINE32 says the 32-bit
# programs cannot run.
vk_use_wine_loader() {
  local dir="$1"
  VK_WINE32=yes
  if [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    VK_WINE32=no
    mkdir -p "$dir"
    local name
    for name in wine wine-stable; do
      printf '#!/bin/sh\n# This kernel runs no 32-bit programs: the 64-bit loader alone.\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$dir/$name"
      chmod +x "$dir/$name"
    done
    export PATH="$dir:$PATH"
  fi
  export VK_WINE32
}
