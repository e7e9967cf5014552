# Sourced by every script that installs, builds or runs Windows programs: decides whether
# this machine runs 32-bit (i386) Linux programs, which 32-bit Wine and so the x86 program
# need. Some machines' kernels refuse them ("Exec format error"); on others 32-bit Wine
# cannot be installed on the day (a mirror whose i386 index lags), which counts the same.
#
# Sets and exports:
#   DORVANE_I386       yes or no: yes where i386 programs run and the i386 set below is
#                      installed (set-up asks the kernel alone, to know what to install)
#   DORVANE_I386_WHY   where it is no, the reason, in words for the test summary
# DORVANE_NO_I386=1 forces the answer no, so that the 64-bit-only path can be tried on any
# machine.
#
# The probe is a 96-byte static i386 program that only exits with status 42 (int 0x80, no
# loader, no library), written at run time: it asks the kernel itself, before any i386
# package is installed, and costs a few milliseconds.

dorvane_i386_probe() {
  if [ "${DORVANE_NO_I386:-}" = 1 ]; then
    DORVANE_I386=no
    DORVANE_I386_WHY="DORVANE_NO_I386=1 is set"
    return
  fi
  local dir probe out rc
  # In the build folder: the native tests run programs from there, so it is never noexec.
  dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build"
  mkdir -p "$dir"
  probe="$(mktemp "$dir/.i386-probe.XXXXXX")"
  # ELF header (52 bytes), one PT_LOAD program header (32 bytes) mapping the file at
  # 0x08048000, then the code at 0x08048054: mov eax,1; mov ebx,42; int 0x80 (exit(42)).
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000' >>"$probe"
  printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$probe"
  printf '\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000' >>"$probe"
  printf '\270\001\000\000\000\273\052\000\000\000\315\200' >>"$probe"
  chmod +x "$probe"
  rc=0
  out="$( { "$probe"; } 2>&1)" || rc=$?
  rm -f "$probe"
  if [ "$rc" = 42 ]; then
    DORVANE_I386=yes
    DORVANE_I386_WHY=""
  else
    DORVANE_I386=no
    # The shell says e.g. "...: cannot execute binary file: Exec format error".
    DORVANE_I386_WHY="this machine does not run 32-bit (i386) Linux programs (an i386 program gave: ${out##*: }${out:+, }status $rc)"
  fi
}

# The i386 packages the x86 program needs under Wine: 32-bit Wine, and the i386 ODBC manager
# and FreeTDS driver its 32-bit odbc32 forwards to (scripts/setup.sh installs them).
DORVANE_I386_PACKAGES=(wine32:i386 libodbc2:i386 tdsodbc:i386)
# Where set-up could not install them, it leaves its reason here (apt's first error line).
DORVANE_I386_NOTE="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/setup-i386.why"

# dorvane_i386_wine: 32-bit Wine that is not installed counts as 32-bit programs that cannot
# run: where the probe said yes but a package of the i386 set is missing, the answer becomes
# no, with set-up's reason when it tried and failed (a half-synced mirror, say).
dorvane_i386_wine() {
  [ "$DORVANE_I386" = yes ] || return 0
  local installed
  installed="$(dpkg-query -W -f='${Status}\n' "${DORVANE_I386_PACKAGES[@]}" 2>/dev/null | grep -c 'install ok installed' || true)"
  [ "$installed" != "${#DORVANE_I386_PACKAGES[@]}" ] || return 0
  DORVANE_I386=no
  DORVANE_I386_WHY="$(cat "$DORVANE_I386_NOTE" 2>/dev/null || true)"
  [ -n "$DORVANE_I386_WHY" ] || DORVANE_I386_WHY="32-bit Wine is not installed (scripts/setup.sh installs it)"
}

# Asked once per run: scripts started by another script inherit the answer. A script that
# runs set-up asks again afterwards (dorvane_i386_probe, then dorvane_i386_wine), since
# set-up may just have installed 32-bit Wine, or failed to.
if [ -z "${DORVANE_I386:-}" ] || { [ "${DORVANE_NO_I386:-}" = 1 ] && [ "$DORVANE_I386" = yes ]; }; then
  dorvane_i386_probe
  dorvane_i386_wine
fi
export DORVANE_I386 DORVANE_I386_WHY

# dorvane_wine64_only DIR: where 32-bit programs cannot run, Debian's wine wrapper must not
# choose the 32-bit loader, which it does whenever wine32 is installed; then every Wine call,
# 64-bit ones included, fails. The wrapper and the wineboot/winepath launchers are found
# through PATH, so DIR/wine64-only gets a wine and a wine-stable that start the 64-bit loader, and
# goes first in PATH. Nothing of the system's is changed.
dorvane_wine64_only() {
  [ "$DORVANE_I386" = no ] || return 0
  local loader=/usr/lib/wine/wine64 bin="$1/wine64-only"
  [ -x "$loader" ] || loader="$(command -v wine64 || echo /usr/lib/wine/wine64)"
  mkdir -p "$bin"
  local name
  for name in wine wine-stable; do
    printf '#!/bin/sh\n# 64-bit Wine only: this machine does not run 32-bit programs.\nexport WINELOADER=%s\nexec %s "$@"\n' \
      "$loader" "$loader" >"$bin/$name"
    chmod +x "$bin/$name"
  done
  export WINELOADER="$loader"
  case ":$PATH:" in *":$bin:"*) ;; *) export PATH="$bin:$PATH" ;; esac
}
