#!/usr/bin/env bash
# Installs the Debian 12 packages Dorvane needs to build, run and test. Idempotent:
# apt-get runs only when a package is missing.
#
# A mirror in the middle of a sync is an ordinary day: a failed `apt-get update` is tried
# twice more, then set-up goes on with the package lists the machine has. The amd64 set is
# installed on its own, first; set-up fails only when a package of it cannot be installed.
# The i386 set (32-bit Wine) that cannot be installed leaves the run on the 64-bit-only
# path, with apt's reason in $DORVANE_I386_NOTE, and an i386 architecture this run added
# for nothing removed again. The next run tries again.
set -euo pipefail
# Set-up ran already in this run: the script that started this one ran it.
[ "${DORVANE_SET_UP:-}" != 1 ] || exit 0
# shellcheck source=i386.sh
source "$(dirname "${BASH_SOURCE[0]}")/i386.sh"
# What to install goes by the kernel's answer alone, not by what is installed now.
dorvane_i386_probe

PACKAGES=(
  cmake make g++ clang googletest libstb-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-i686-posix wine wine64
  xvfb x11-utils xdotool imagemagick fonts-wqy-microhei fonts-wine locales
  unixodbc unixodbc-dev tdsodbc freetds-bin nodejs libssl-dev
  python3 procps
  # The naming check (scripts/check-names.sh).
  clang-tidy
  # The second compiler's linker (ld.lld, for Clang's x64 build); signing and its test.
  lld osslsigncode openssl
  # The release's winget manifest, checked against its schema (scripts/check-manifest.py).
  python3-jsonschema python3-yaml
)
# npm ships inside NodeSource's nodejs; with Debian's own nodejs it is a package of its own.
command -v npm >/dev/null || PACKAGES+=(npm)

# missing PACKAGE...: prints those not installed.
missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
mapfile -t MISSING < <(missing "${PACKAGES[@]}")
# A machine that cannot run i386 programs gets none of the i386 set: it could not run, and
# it costs minutes (the x86 program is still built there).
MISSING_I386=()
if [ "$DORVANE_I386" = yes ]; then
  mapfile -t MISSING_I386 < <(missing "${DORVANE_I386_PACKAGES[@]}")
else
  echo "setup: no 32-bit Wine: $DORVANE_I386_WHY"
fi

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
LOG="$(mktemp)"
trap 'rm -f "$LOG"' EXIT
# first_error: apt's first error line in $LOG, without its "E: " (else its last line).
first_error() {
  local line
  line="$(sed -n 's/^E: //p' "$LOG" | head -n 1)"
  [ -n "$line" ] || line="$(grep . "$LOG" | tail -n 1)"
  echo "$line"
}
# install [OPTION...] PACKAGE...: apt-get install, its output kept in $LOG.
install() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" >"$LOG" 2>&1
}

# The :i386 packages need the i386 architecture (Debian's multiarch).
ADDED_I386=0
if [ ${#MISSING_I386[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture"
  $SUDO dpkg --add-architecture i386
  ADDED_I386=1
fi

if [ $((${#MISSING[@]} + ${#MISSING_I386[@]})) -gt 0 ]; then
  echo "setup: installing ${MISSING[*]} ${MISSING_I386[*]}"
  updated=0
  for attempt in 1 2 3; do
    if $SUDO apt-get update -qq >"$LOG" 2>&1; then updated=1; break; fi
    [ "$attempt" = 3 ] || sleep 5
  done
  if [ "$updated" = 0 ]; then
    echo "setup: apt-get update failed 3 times; going on with the package lists this machine has ($(first_error))"
  fi
fi

if [ ${#MISSING[@]} -gt 0 ] && ! install "${MISSING[@]}"; then
  echo "setup: apt-get install failed: $(first_error)" >&2
  # Which packages apt refuses, each with its reason: one simulated install each.
  for p in "${MISSING[@]}"; do
    apt-get install -s -qq --no-install-recommends "$p" >"$LOG" 2>&1 || echo "setup:   $p: $(first_error)" >&2
  done
  exit 1
fi

if [ ${#MISSING_I386[@]} -gt 0 ]; then
  # --no-remove: an i386 package is never worth an amd64 one apt would take away for it.
  if install --no-remove "${MISSING_I386[@]}"; then
    rm -f "$DORVANE_I386_NOTE"
  else
    mkdir -p "$(dirname "$DORVANE_I386_NOTE")"
    echo "32-bit Wine could not be installed: $(first_error)" >"$DORVANE_I386_NOTE"
    echo "setup: $(cat "$DORVANE_I386_NOTE"); going on without it (the x86 program is built, not run)"
    # An architecture this run added for nothing goes again, or every later apt-get update
    # would fetch its lagging index too (dpkg keeps it while any i386 package is installed).
    if [ "$ADDED_I386" = 1 ] && ! dpkg-query -W -f='${Architecture}\n' 2>/dev/null | grep -qx i386; then
      echo "setup: removing the i386 architecture again"
      $SUDO dpkg --remove-architecture i386
    fi
  fi
elif [ "$DORVANE_I386" = yes ]; then
  rm -f "$DORVANE_I386_NOTE"
fi

# Chinese texts render and Wine picks the Chinese locale only when glibc has it.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  echo "setup: generating the zh_CN.UTF-8 locale"
  $SUDO sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
